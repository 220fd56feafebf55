#include "documents.hpp"

#include <utility>
#include <variant>

#include "errors.hpp"
#include "formats/project/project.hpp"
#include "formats/rwn/rwn.hpp"

namespace rillway::py {

std::optional<NetworkInput> read_rwn_input(std::string_view text) {
    auto parsed = formats::parse_rwn(text);
    if (const auto* message = std::get_if<std::string>(&parsed)) {
        raise(PyExc_ValueError, "cannot parse .rwn: " + *message);
        return std::nullopt;
    }
    formats::RwnDocument& document = std::get<formats::RwnDocument>(parsed);
    return NetworkInput{"", std::move(document.network), document.idf, document.options};
}

std::optional<NetworkInput> read_project_input(std::string_view text) {
    auto read = formats::project::read_project(text);
    if (const auto* message = std::get_if<std::string>(&read)) {
        raise(PyExc_ValueError, "invalid project JSON: " + *message);
        return std::nullopt;
    }
    const formats::project::Project& project = std::get<formats::project::Project>(read);
    return NetworkInput{project.name, project.to_analysis_network(), project.idf(),
                        project.design_options()};
}

PyObject* raise_network_error(const network::NetworkError& error) {
    return raise(PyExc_ValueError, "analysis failed: " + network::display(error));
}

}  // namespace rillway::py
