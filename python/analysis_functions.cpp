// The analysing entry points: .rwn text, project JSON text, a project file, and the demo. Each
// reads and analyses with the interpreter lock released, so calls from several Python threads
// run in parallel; the result dictionary is built after the lock is taken back.

#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "binding.hpp"
#include "documents.hpp"
#include "errors.hpp"
#include "formats/project/project.hpp"
#include "functions.hpp"
#include "network/analysis.hpp"
#include "released_lock.hpp"
#include "result_dict.hpp"

namespace rillway::py {

namespace {

namespace net = rillway::network;

// What a call computes without the lock: the analysis or its failure, with the warnings that
// reading gave, which are issued first either way.
struct Analysed {
    std::string name;
    std::vector<std::string> warnings;
    Outcome<net::Analysis> outcome;
};

Analysed analyse(Outcome<NetworkInput> read) {
    if (auto* failure = std::get_if<Failure>(&read)) return {"", {}, std::move(*failure)};
    NetworkInput& input = std::get<NetworkInput>(read);
    net::AnalysisOutcome outcome = net::analyze(input.network, input.idf, input.options);
    if (const auto* error = std::get_if<net::NetworkError>(&outcome)) {
        return {std::move(input.name), std::move(input.warnings), network_failure(*error)};
    }
    return {std::move(input.name), std::move(input.warnings),
            std::get<net::Analysis>(std::move(outcome))};
}

PyObject* to_python(const Analysed& done) {
    if (!issue_warnings(done.warnings)) return nullptr;
    if (const auto* failure = std::get_if<Failure>(&done.outcome)) return raise_failure(*failure);
    const net::Analysis& analysis = std::get<net::Analysis>(done.outcome);
    if (!issue_warnings(analysis.notes)) return nullptr;
    return analysis_to_dict(done.name, analysis);
}

}  // namespace

PyObject* analyze_rwn(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSig{"analyze_rwn", {"text"}, 1, false};
    return guarded([&]() -> PyObject* {
        std::string_view text;
        if (!text_argument(kSig, args, kwargs, text)) return nullptr;
        return to_python(without_lock([&] { return analyse(read_rwn_input(text)); }));
    });
}

PyObject* analyze_project(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSig{"analyze_project", {"project_json"}, 1, false};
    return guarded([&]() -> PyObject* {
        std::string_view text;
        if (!text_argument(kSig, args, kwargs, text)) return nullptr;
        return to_python(without_lock([&] { return analyse(read_project_input(text)); }));
    });
}

PyObject* analyze_file(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSig{"analyze_file", {"path"}, 1, false};
    return guarded([&]() -> PyObject* {
        std::string_view path;
        if (!text_argument(kSig, args, kwargs, path)) return nullptr;
        return to_python(without_lock([&] { return analyse(read_project_file(std::string(path))); }));
    });
}

PyObject* demo_project_json(PyObject*, PyObject*) {
    return guarded([&]() -> PyObject* {
        const std::string text = formats::project::write_project(formats::project::Project::demo());
        return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "strict");
    });
}

PyObject* project_schema_json(PyObject*, PyObject*) {
    return guarded([&]() -> PyObject* {
        const std::string text = formats::project::write_schema();
        return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "strict");
    });
}

}  // namespace rillway::py
