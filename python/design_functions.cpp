// The design entry point: a project document in, the designed document, its analysis, one
// record per pipe and the unmet rules out. It reads, designs and writes the designed document
// with the interpreter lock released, so calls from several Python threads run in parallel;
// the result dictionary is built after the lock is taken back.

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "binding.hpp"
#include "design/project_design.hpp"
#include "documents.hpp"
#include "errors.hpp"
#include "functions.hpp"
#include "formats/project/project.hpp"
#include "released_lock.hpp"
#include "result_dict.hpp"

namespace rillway::py {

namespace {

namespace proj = rillway::formats::project;
namespace des = rillway::design;

constexpr std::array<const char*, 7> kPipeKeys = {"id",    "diameter",  "invert_up", "invert_dn",
                                                  "slope", "governing", "met"};

PyRef text(std::string_view value) {
    return PyRef::steal(
        PyUnicode_DecodeUTF8(value.data(), static_cast<Py_ssize_t>(value.size()), "replace"));
}

PyRef pipe_record(const std::string& id, const des::PipeDesign& d) {
    PyRef row = PyRef::steal(PyDict_New());
    if (!row) return row;
    std::array<PyRef, 7> values = {text(id),
                                   PyRef::steal(PyFloat_FromDouble(d.diameter)),
                                   PyRef::steal(PyFloat_FromDouble(d.invert_up)),
                                   PyRef::steal(PyFloat_FromDouble(d.invert_dn)),
                                   PyRef::steal(PyFloat_FromDouble(d.slope)),
                                   text(des::name(d.governing)),
                                   PyRef::borrow(d.met ? Py_True : Py_False)};
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!values[i] || PyDict_SetItemString(row.get(), kPipeKeys[i], values[i].get()) < 0) {
            return PyRef();
        }
    }
    return row;
}

PyRef inlet_record(const std::string& id, const des::InletDesign& d) {
    PyRef row = PyRef::steal(PyDict_New());
    if (!row) return row;
    const std::array<std::pair<const char*, PyRef>, 5> values = {{
        {"id", text(id)},
        {"length", PyRef::steal(PyFloat_FromDouble(d.length))},
        {"grates", PyRef::steal(PyLong_FromUnsignedLong(d.grates))},
        {"governing", text(des::name(d.governing))},
        {"met", PyRef::borrow(d.met ? Py_True : Py_False)},
    }};
    for (const auto& [key, value] : values) {
        if (!value || PyDict_SetItemString(row.get(), key, value.get()) < 0) return PyRef();
    }
    return row;
}

// What a call computes without the lock: the design and the document it writes.
struct Designed {
    des::ProjectDesign design;
    std::string document;
    std::vector<std::string> warnings;
};

Outcome<Designed> design_text(std::string_view project_json) {
    auto read = proj::read_project(project_json);
    if (const auto* message = std::get_if<std::string>(&read)) {
        return Failure{Failure::Kind::value, "invalid project JSON: " + *message};
    }
    auto outcome = des::design_project(std::get<proj::Project>(read));
    if (const auto* error = std::get_if<des::DesignError>(&outcome)) {
        const bool rules = std::holds_alternative<des::InvalidRules>(*error);
        return Failure{Failure::Kind::value,
                       (rules ? "invalid design rules: " : "design failed: ") + des::display(*error)};
    }
    Designed done{std::get<des::ProjectDesign>(std::move(outcome)), {},
                  std::get<proj::Project>(read).fallback_warnings()};
    done.document = proj::write_project(done.design.project);
    return done;
}

PyObject* design_to_dict(const Designed& done) {
    const des::ProjectDesign& designed = done.design;
    PyRef project = text(done.document);
    PyRef result = PyRef::steal(analysis_to_dict(designed.project.name, designed.design.analysis));
    PyRef pipes = PyRef::steal(PyList_New(0));
    PyRef unmet = PyRef::steal(PyList_New(0));
    if (!project || !result || !pipes || !unmet) return nullptr;
    for (std::size_t p = 0; p < designed.design.pipes.size(); ++p) {
        PyRef row = pipe_record(designed.project.pipes[p].id, designed.design.pipes[p]);
        if (!row || PyList_Append(pipes.get(), row.get()) < 0) return nullptr;
    }
    for (const std::string& line : designed.design.unmet) {
        PyRef item = text(line);
        if (!item || PyList_Append(unmet.get(), item.get()) < 0) return nullptr;
    }
    PyRef out = PyRef::steal(PyDict_New());
    if (!out || PyDict_SetItemString(out.get(), "project", project.get()) < 0 ||
        PyDict_SetItemString(out.get(), "result", result.get()) < 0 ||
        PyDict_SetItemString(out.get(), "pipes", pipes.get()) < 0 ||
        PyDict_SetItemString(out.get(), "unmet", unmet.get()) < 0) {
        return nullptr;
    }
    // Only a design with street inlets has the key, so that other results keep their shape.
    if (!designed.inlets.empty()) {
        PyRef inlets = PyRef::steal(PyList_New(0));
        if (!inlets) return nullptr;
        for (const des::InletDesign& d : designed.inlets) {
            PyRef row = inlet_record(designed.project.nodes[d.node].id, d);
            if (!row || PyList_Append(inlets.get(), row.get()) < 0) return nullptr;
        }
        if (PyDict_SetItemString(out.get(), "inlets", inlets.get()) < 0) return nullptr;
    }
    return out.release();
}

}  // namespace

PyObject* design_project(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSig{"design_project", {"project_json"}, 1, false};
    return guarded([&]() -> PyObject* {
        std::string_view text_arg;
        if (!text_argument(kSig, args, kwargs, text_arg)) return nullptr;
        const Outcome<Designed> done = without_lock([&] { return design_text(text_arg); });
        if (const auto* failure = std::get_if<Failure>(&done)) return raise_failure(*failure);
        const Designed& designed = std::get<Designed>(done);
        if (!issue_warnings(designed.warnings)) return nullptr;
        if (!issue_warnings(designed.design.design.analysis.notes)) return nullptr;
        return design_to_dict(designed);
    });
}

}  // namespace rillway::py
