// The analysing entry points: .rwn text, project JSON text, a project file, and the demo.

#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "binding.hpp"
#include "errors.hpp"
#include "functions.hpp"
#include "io/project/project.hpp"
#include "io/text_file.hpp"
#include "network/analysis.hpp"
#include "parse/rwn.hpp"
#include "released_lock.hpp"
#include "result_dict.hpp"

namespace rillway::py {

namespace {

namespace net = rillway::network;
namespace proj = rillway::io::project;

// Binds the single text parameter of an entry point.
bool text_argument(const Signature& signature, PyObject* args, PyObject* kwargs,
                   std::string_view& out) {
    BoundArguments bound;
    return bind_arguments(signature, args, kwargs, bound) &&
           to_text(bound[0], signature.names[0], out);
}

// What a call computes without the interpreter lock: the analysis and the document's name, or
// the failure and the exception it becomes.
struct Analysed {
    std::string name;
    net::Analysis analysis;
};
struct Failed {
    enum class Kind { value, os } kind;
    std::string message;
};
using Computed = std::variant<Analysed, Failed>;

Computed run_analysis(std::string name, const net::Network& network, const net::IdfParams& idf,
                      const net::DesignOptions& options) {
    net::AnalysisOutcome outcome = net::analyze(network, idf, options);
    if (const auto* error = std::get_if<net::NetworkError>(&outcome)) {
        return Failed{Failed::Kind::value, "analysis failed: " + net::display(*error)};
    }
    return Analysed{std::move(name), std::get<net::Analysis>(std::move(outcome))};
}

// Read, convert, fill the design options, analyse.
Computed analyze_project_text(std::string_view text) {
    std::variant<proj::Project, std::string> read = proj::read_project(text);
    if (const auto* message = std::get_if<std::string>(&read)) {
        return Failed{Failed::Kind::value, "invalid project JSON: " + *message};
    }
    const proj::Project& project = std::get<proj::Project>(read);
    const net::Network network = project.to_analysis_network();
    return run_analysis(project.name, network, project.idf(), project.design_options());
}

Computed analyze_rwn_text(std::string_view text) {
    auto parsed = parse::parse_rwn(text);
    if (const auto* message = std::get_if<std::string>(&parsed)) {
        return Failed{Failed::Kind::value, "cannot parse .rwn: " + *message};
    }
    const parse::RwnDocument& document = std::get<parse::RwnDocument>(parsed);
    return run_analysis("", document.network, document.idf, document.options);
}

Computed analyze_file_at(const std::string& path) {
    auto contents = io::read_utf8_file(path);
    if (const auto* error = std::get_if<io::ReadError>(&contents)) {
        return Failed{Failed::Kind::os, "cannot read " + path + ": " + error->description};
    }
    return analyze_project_text(std::get<std::string>(contents));
}

// Back under the lock: the result dictionary, or the exception.
PyObject* to_python(const Computed& computed) {
    if (const auto* failed = std::get_if<Failed>(&computed)) {
        return raise(failed->kind == Failed::Kind::os ? PyExc_OSError : PyExc_ValueError,
                     failed->message);
    }
    const Analysed& done = std::get<Analysed>(computed);
    return analysis_to_dict(done.name, done.analysis);
}

}  // namespace

PyObject* analyze_rwn(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSig{"analyze_rwn", {"text"}, 1, false};
    return guarded([&]() -> PyObject* {
        std::string_view text;
        if (!text_argument(kSig, args, kwargs, text)) return nullptr;
        return to_python(without_lock([&] { return analyze_rwn_text(text); }));
    });
}

PyObject* analyze_project(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSig{"analyze_project", {"project_json"}, 1, false};
    return guarded([&]() -> PyObject* {
        std::string_view text;
        if (!text_argument(kSig, args, kwargs, text)) return nullptr;
        return to_python(without_lock([&] { return analyze_project_text(text); }));
    });
}

PyObject* analyze_file(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSig{"analyze_file", {"path"}, 1, false};
    return guarded([&]() -> PyObject* {
        std::string_view path;
        if (!text_argument(kSig, args, kwargs, path)) return nullptr;
        return to_python(without_lock([&] { return analyze_file_at(std::string(path)); }));
    });
}

PyObject* demo_project_json(PyObject*, PyObject*) {
    return guarded([&]() -> PyObject* {
        const std::string text = proj::write_project(proj::Project::demo());
        return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "strict");
    });
}

}  // namespace rillway::py
