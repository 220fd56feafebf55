#include "documents.hpp"

#include <utility>

#include "errors.hpp"
#include "formats/project/project.hpp"
#include "formats/rwn/rwn.hpp"
#include "formats/text/file.hpp"

namespace rillway::py {

Outcome<NetworkInput> read_rwn_input(std::string_view text) {
    auto parsed = formats::parse_rwn(text);
    if (auto* message = std::get_if<std::string>(&parsed)) {
        return Failure{Failure::Kind::value, "cannot parse .rwn: " + *message};
    }
    formats::RwnDocument& document = std::get<formats::RwnDocument>(parsed);
    return NetworkInput{"", std::move(document.network), document.idf, document.options, {}};
}

Outcome<NetworkInput> read_project_input(std::string_view text) {
    auto read = formats::project::read_project(text);
    if (auto* message = std::get_if<std::string>(&read)) {
        return Failure{Failure::Kind::value, "invalid project JSON: " + *message};
    }
    const formats::project::Project& project = std::get<formats::project::Project>(read);
    return NetworkInput{project.name, project.to_analysis_network(), project.idf(),
                        project.design_options(), project.fallback_warnings()};
}

Outcome<NetworkInput> read_project_file(const std::string& path) {
    auto contents = formats::read_utf8_file(path);
    if (const auto* error = std::get_if<formats::ReadError>(&contents)) {
        return Failure{Failure::Kind::os, "cannot read " + path + ": " + error->description};
    }
    return read_project_input(std::get<std::string>(contents));
}

Failure network_failure(const network::NetworkError& error) {
    return Failure{Failure::Kind::value, "analysis failed: " + network::display(error)};
}

bool issue_warnings(const std::vector<std::string>& warnings) {
    for (const std::string& warning : warnings) {
        if (!warn_input(warning)) return false;
    }
    return true;
}

PyObject* raise_failure(const Failure& failure) {
    return raise(failure.kind == Failure::Kind::os ? PyExc_OSError : PyExc_ValueError,
                 failure.message);
}

}  // namespace rillway::py
