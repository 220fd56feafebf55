// The analysing entry points: .rwn text, project JSON text, a project file, and the demo.

#include <string>
#include <string_view>
#include <variant>

#include "binding.hpp"
#include "documents.hpp"
#include "errors.hpp"
#include "formats/project/project.hpp"
#include "formats/text/file.hpp"
#include "functions.hpp"
#include "network/analysis.hpp"
#include "result_dict.hpp"

namespace rillway::py {

namespace {

namespace net = rillway::network;

PyObject* run_analysis(const std::optional<NetworkInput>& input) {
    if (!input) return nullptr;
    net::AnalysisOutcome outcome = net::analyze(input->network, input->idf, input->options);
    if (const auto* error = std::get_if<net::NetworkError>(&outcome)) {
        return raise_network_error(*error);
    }
    return analysis_to_dict(input->name, std::get<net::Analysis>(outcome));
}

}  // namespace

PyObject* analyze_rwn(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSig{"analyze_rwn", {"text"}, 1, false};
    return guarded([&]() -> PyObject* {
        std::string_view text;
        if (!text_argument(kSig, args, kwargs, text)) return nullptr;
        return run_analysis(read_rwn_input(text));
    });
}

PyObject* analyze_project(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSig{"analyze_project", {"project_json"}, 1, false};
    return guarded([&]() -> PyObject* {
        std::string_view text;
        if (!text_argument(kSig, args, kwargs, text)) return nullptr;
        return run_analysis(read_project_input(text));
    });
}

PyObject* analyze_file(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSig{"analyze_file", {"path"}, 1, false};
    return guarded([&]() -> PyObject* {
        std::string_view path;
        if (!text_argument(kSig, args, kwargs, path)) return nullptr;
        auto contents = formats::read_utf8_file(std::string(path));
        if (const auto* error = std::get_if<formats::ReadError>(&contents)) {
            return raise(PyExc_OSError,
                         "cannot read " + std::string(path) + ": " + error->description);
        }
        return run_analysis(read_project_input(std::get<std::string>(contents)));
    });
}

PyObject* demo_project_json(PyObject*, PyObject*) {
    return guarded([&]() -> PyObject* {
        const std::string text = formats::project::write_project(formats::project::Project::demo());
        return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "strict");
    });
}

}  // namespace rillway::py
