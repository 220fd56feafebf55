// The batch entry point: one document read once and analysed under many scenarios, with the
// results returned as columns rather than one dictionary per pipe.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "errors.hpp"
#include "functions.hpp"
#include "formats/project/project.hpp"
#include "formats/rwn/rwn.hpp"
#include "released_lock.hpp"
#include "result_dict.hpp"
#include "scenario/scenario.hpp"

namespace rillway::py {

namespace {

namespace net = rillway::network;
namespace sc = rillway::scenario;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr const char* kFields = "return_period, intensity_factor, c_factor, n_factor, tailwater, name";

enum class Format { project, rwn };

// One scenario field that is a number, or None for its default.
bool scenario_number(PyObject* value, std::size_t index, const char* field,
                     std::optional<double>& out) {
    if (value == Py_None) return true;
    const double number = PyFloat_AsDouble(value);
    if (number == -1.0 && PyErr_Occurred()) {
        // Only a value of the wrong type is reworded; a failing __float__ keeps its own error.
        if (!PyErr_ExceptionMatches(PyExc_TypeError)) return false;
        PyErr_Clear();
        PyRef type = PyRef::steal(PyType_GetName(Py_TYPE(value)));
        const char* type_text = type ? PyUnicode_AsUTF8AndSize(type.get(), nullptr) : nullptr;
        if (type_text == nullptr) PyErr_Clear();
        raise(PyExc_TypeError, "scenario " + std::to_string(index) + ": " + field +
                                   " must be a number or None, not " +
                                   (type_text != nullptr ? type_text : "this object"));
        return false;
    }
    out = number;
    return true;
}

// A dict, or any object with keys() and item access (collections.abc.Mapping, a pandas
// Series). PyMapping_Check cannot tell: every class with __getitem__ passes it, lists too.
bool is_mapping(PyObject* object) {
    return PyDict_Check(object) || PyObject_HasAttrString(object, "keys") != 0;
}

// A mapping with some of the fields; None stands for a field's default.
bool to_scenario(PyObject* item, std::size_t index, sc::Scenario& out) {
    if (!is_mapping(item)) {
        raise(PyExc_TypeError,
              "scenario " + std::to_string(index) + " must be a mapping of " + kFields);
        return false;
    }
    PyRef keys = PyRef::steal(PyMapping_Keys(item));
    PyRef iterator = keys ? PyRef::steal(PyObject_GetIter(keys.get())) : PyRef();
    if (!iterator) return false;
    while (PyRef key = PyRef::steal(PyIter_Next(iterator.get()))) {
        PyRef value = PyRef::steal(PyObject_GetItem(item, key.get()));
        if (!value) return false;
        std::optional<double> number;
        auto is = [&](const char* name) {
            return PyUnicode_Check(key.get()) && PyUnicode_CompareWithASCIIString(key.get(), name) == 0;
        };
        if (is("name")) continue;  // the caller's label; the analysis does not read it
        const char* field = is("return_period")      ? "return_period"
                            : is("tailwater")        ? "tailwater"
                            : is("intensity_factor") ? "intensity_factor"
                            : is("c_factor")         ? "c_factor"
                            : is("n_factor")         ? "n_factor"
                                                     : nullptr;
        if (field == nullptr) {
            PyRef text = PyRef::steal(PyObject_Repr(key.get()));
            const char* key_text = text ? PyUnicode_AsUTF8AndSize(text.get(), nullptr) : nullptr;
            if (key_text == nullptr) return false;
            raise(PyExc_ValueError, "scenario " + std::to_string(index) + ": unknown field " +
                                        key_text + " (expected " + kFields + ")");
            return false;
        }
        if (!scenario_number(value.get(), index, field, number)) return false;
        const std::string_view name(field);
        if (name == "return_period") out.return_period = number;
        else if (name == "tailwater") out.tailwater = number;
        else if (number && name == "intensity_factor") out.intensity_factor = *number;
        else if (number && name == "c_factor") out.c_factor = *number;
        else if (number && name == "n_factor") out.n_factor = *number;
    }
    return !PyErr_Occurred();
}

bool to_scenarios(PyObject* sequence, std::vector<sc::Scenario>& out) {
    // Iterating a string, or a mapping's keys, would read nonsense as scenarios.
    if (PyUnicode_Check(sequence) || PyBytes_Check(sequence) || is_mapping(sequence)) {
        raise(PyExc_TypeError, "scenarios must be a sequence of mappings");
        return false;
    }
    PyRef iterator = PyRef::steal(PyObject_GetIter(sequence));
    if (!iterator) return false;
    while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
        sc::Scenario scenario;
        if (!to_scenario(item.get(), out.size(), scenario)) return false;
        out.push_back(scenario);
    }
    return !PyErr_Occurred();
}

// The columns of a batch, scenario-major: entry s * count + i for scenario s and element i.
// A value the analysis does not give (hgl_up of an adverse pipe, every value of a failed
// scenario) is NaN, a flag of a failed scenario false.
struct Columns {
    std::string name;
    std::vector<std::string> pipe_id, pipe_from, pipe_to, node_id;
    std::vector<net::NodeKind> node_kind;
    std::vector<double> design_q, pct_full, velocity, hgl_up, hgl_dn, hgl, freeboard;
    std::vector<std::uint8_t> surcharged, floods;
    // The street inlets (nodes whose inlet has a type), in node order; empty without any.
    std::vector<std::string> inlet_id;
    std::vector<double> q_approach, spread, q_bypass;
    std::vector<std::uint8_t> spread_exceeded;
    std::vector<std::optional<std::string>> errors;
};

Columns run_batch(std::string name, const sc::Base& base, const std::vector<sc::Scenario>& scenarios) {
    const std::size_t pipes = base.network.pipes.size();
    const std::size_t nodes = base.network.nodes.size();
    const std::size_t count = scenarios.size();
    Columns c;
    c.name = std::move(name);
    for (const net::Pipe& p : base.network.pipes) {
        c.pipe_id.push_back(p.id);
        c.pipe_from.push_back(p.from);
        c.pipe_to.push_back(p.to);
    }
    for (const net::Node& n : base.network.nodes) {
        c.node_id.push_back(n.id);
        c.node_kind.push_back(n.kind);
        if (n.street && n.street->inlet.type != hydraulics::InletType::none) c.inlet_id.push_back(n.id);
    }
    const std::size_t inlets = c.inlet_id.size();
    for (auto* column : {&c.q_approach, &c.spread, &c.q_bypass}) column->assign(count * inlets, kNaN);
    c.spread_exceeded.assign(count * inlets, 0);
    for (auto* column : {&c.design_q, &c.pct_full, &c.velocity, &c.hgl_up, &c.hgl_dn}) {
        column->assign(count * pipes, kNaN);
    }
    c.hgl.assign(count * nodes, kNaN);
    c.freeboard.assign(count * nodes, kNaN);
    c.surcharged.assign(count * pipes, 0);
    c.floods.assign(count * nodes, 0);
    c.errors.resize(count);

    sc::Runner runner(base);
    for (std::size_t s = 0; s < count; ++s) {
        sc::ScenarioOutcome outcome = runner.analyze(scenarios[s]);
        if (const auto* error = std::get_if<sc::ScenarioError>(&outcome)) {
            c.errors[s] = sc::display(*error);
            continue;
        }
        const net::Analysis& a = std::get<net::Analysis>(outcome);
        for (std::size_t i = 0; i < pipes; ++i) {
            const net::PipeResult& r = a.pipes[i];
            const std::size_t at = s * pipes + i;
            c.design_q[at] = r.design_q;
            c.pct_full[at] = r.pct_full;
            c.velocity[at] = r.velocity;
            c.hgl_up[at] = r.hgl_up.value_or(kNaN);
            c.hgl_dn[at] = r.hgl_dn.value_or(kNaN);
            c.surcharged[at] = r.surcharged ? 1 : 0;
        }
        for (std::size_t i = 0; i < nodes; ++i) {
            const net::NodeResult& r = a.nodes[i];
            const std::size_t at = s * nodes + i;
            c.hgl[at] = r.hgl;
            c.freeboard[at] = r.freeboard;
            c.floods[at] = r.floods ? 1 : 0;
        }
        for (std::size_t i = 0; i < inlets && i < a.inlets.size(); ++i) {
            const net::InletResult& r = a.inlets[i];
            const std::size_t at = s * inlets + i;
            c.q_approach[at] = r.q_approach;
            c.spread[at] = r.spread;
            c.q_bypass[at] = r.q_bypass;
            c.spread_exceeded[at] = r.spread_exceeded ? 1 : 0;
        }
    }
    return c;
}

struct ReadFailure {
    std::string message;
};
using Batch = std::variant<Columns, ReadFailure>;

Batch read_and_run(std::string_view text, Format format, const std::vector<sc::Scenario>& scenarios) {
    if (format == Format::rwn) {
        auto parsed = formats::parse_rwn(text);
        if (auto* message = std::get_if<std::string>(&parsed)) {
            return ReadFailure{"cannot parse .rwn: " + *message};
        }
        const sc::Base base = sc::from_rwn(std::get<formats::RwnDocument>(std::move(parsed)));
        return run_batch("", base, scenarios);
    }
    auto read = formats::project::read_project(text);
    if (auto* message = std::get_if<std::string>(&read)) {
        return ReadFailure{"invalid project JSON: " + *message};
    }
    const formats::project::Project& project = std::get<formats::project::Project>(read);
    return run_batch(project.name, sc::from_project(project), scenarios);
}

PyRef text(const std::string& value) {
    return PyRef::steal(
        PyUnicode_DecodeUTF8(value.data(), static_cast<Py_ssize_t>(value.size()), "replace"));
}

PyRef text_list(const std::vector<std::string>& values) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(values.size())));
    if (!list) return list;
    for (std::size_t i = 0; i < values.size(); ++i) {
        PyRef item = text(values[i]);
        // PyList_SetItem steals the reference, also when it fails.
        if (!item || PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item.release()) < 0) {
            return PyRef();
        }
    }
    return list;
}

// A read-only memoryview of format `format` over a copy of the values.
template <typename T>
PyRef column(const std::vector<T>& values, const char* format) {
    PyRef bytes = PyRef::steal(PyBytes_FromStringAndSize(
        reinterpret_cast<const char*>(values.data()), static_cast<Py_ssize_t>(values.size() * sizeof(T))));
    PyRef view = bytes ? PyRef::steal(PyMemoryView_FromObject(bytes.get())) : PyRef();
    return view ? PyRef::steal(PyObject_CallMethod(view.get(), "cast", "s", format)) : PyRef();
}

bool put(PyObject* dict, const char* key, PyRef value) {
    return value && PyDict_SetItemString(dict, key, value.get()) == 0;
}

PyObject* columns_to_dict(const Columns& c) {
    std::vector<std::string> kinds;
    kinds.reserve(c.node_kind.size());
    for (net::NodeKind kind : c.node_kind) {
        kinds.emplace_back(formats::project::kind_word(kind));
    }
    PyRef pipes = PyRef::steal(PyDict_New());
    PyRef nodes = PyRef::steal(PyDict_New());
    PyRef errors = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(c.errors.size())));
    PyRef result = PyRef::steal(PyDict_New());
    if (!pipes || !nodes || !errors || !result) return nullptr;
    if (!put(pipes.get(), "id", text_list(c.pipe_id)) ||
        !put(pipes.get(), "from", text_list(c.pipe_from)) ||
        !put(pipes.get(), "to", text_list(c.pipe_to)) ||
        !put(pipes.get(), "design_q", column(c.design_q, "d")) ||
        !put(pipes.get(), "pct_full", column(c.pct_full, "d")) ||
        !put(pipes.get(), "velocity", column(c.velocity, "d")) ||
        !put(pipes.get(), "hgl_up", column(c.hgl_up, "d")) ||
        !put(pipes.get(), "hgl_dn", column(c.hgl_dn, "d")) ||
        !put(pipes.get(), "surcharged", column(c.surcharged, "?")) ||
        !put(nodes.get(), "id", text_list(c.node_id)) ||
        !put(nodes.get(), "kind", text_list(kinds)) ||
        !put(nodes.get(), "hgl", column(c.hgl, "d")) ||
        !put(nodes.get(), "freeboard", column(c.freeboard, "d")) ||
        !put(nodes.get(), "floods", column(c.floods, "?"))) {
        return nullptr;
    }
    for (std::size_t s = 0; s < c.errors.size(); ++s) {
        PyRef item = c.errors[s] ? text(*c.errors[s]) : PyRef::borrow(Py_None);
        if (!item || PyList_SetItem(errors.get(), static_cast<Py_ssize_t>(s), item.release()) < 0) {
            return nullptr;
        }
    }
    if (!put(result.get(), "name", text(c.name)) || !put(result.get(), "pipes", std::move(pipes)) ||
        !put(result.get(), "nodes", std::move(nodes)) ||
        !put(result.get(), "errors", std::move(errors))) {
        return nullptr;
    }
    if (!c.inlet_id.empty()) {
        PyRef inlets = PyRef::steal(PyDict_New());
        if (!inlets || !put(inlets.get(), "id", text_list(c.inlet_id)) ||
            !put(inlets.get(), "q_approach", column(c.q_approach, "d")) ||
            !put(inlets.get(), "spread", column(c.spread, "d")) ||
            !put(inlets.get(), "q_bypass", column(c.q_bypass, "d")) ||
            !put(inlets.get(), "spread_exceeded", column(c.spread_exceeded, "?")) ||
            !put(result.get(), "inlets", std::move(inlets))) {
            return nullptr;
        }
    }
    return result.release();
}

}  // namespace

PyObject* analyze_scenarios(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        static const char* keywords[] = {"text", "scenarios", "format", nullptr};
        PyObject* text_object = nullptr;
        PyObject* scenario_objects = nullptr;
        const char* format_text = "project";
        if (!PyArg_ParseTupleAndKeywords(args, kwargs, "UO|$s:analyze_scenarios",
                                         const_cast<char**>(keywords), &text_object,
                                         &scenario_objects, &format_text)) {
            return nullptr;
        }
        const std::string_view format_name(format_text);
        if (format_name != "project" && format_name != "rwn") {
            return raise(PyExc_ValueError, "format must be 'project' or 'rwn', not '" +
                                               std::string(format_name) + "'");
        }
        const Format format = format_name == "rwn" ? Format::rwn : Format::project;
        Py_ssize_t size = 0;
        const char* data = PyUnicode_AsUTF8AndSize(text_object, &size);
        if (data == nullptr) return nullptr;
        const std::string_view text_view(data, static_cast<std::size_t>(size));
        std::vector<sc::Scenario> scenarios;
        if (!to_scenarios(scenario_objects, scenarios)) return nullptr;

        const Batch batch = without_lock([&] { return read_and_run(text_view, format, scenarios); });
        if (const auto* failure = std::get_if<ReadFailure>(&batch)) {
            return raise(PyExc_ValueError, failure->message);
        }
        return columns_to_dict(std::get<Columns>(batch));
    });
}

}  // namespace rillway::py
