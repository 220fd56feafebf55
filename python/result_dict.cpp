#include "result_dict.hpp"

#include <array>
#include <optional>
#include <string>

#include "errors.hpp"

namespace rillway::py {

namespace {

constexpr std::array<const char*, 17> kPipeKeys = {
    "id", "from", "to", "slope", "total_ca", "tc", "travel_time", "intensity", "design_q",
    "capacity", "pct_full", "velocity", "normal_depth", "critical_depth", "hgl_up", "hgl_dn",
    "surcharged"};
constexpr std::array<const char*, 6> kNodeKeys = {"id", "tc", "rim", "hgl", "freeboard", "floods"};

PyRef text(const std::string& value) {
    return PyRef::steal(
        PyUnicode_DecodeUTF8(value.data(), static_cast<Py_ssize_t>(value.size()), "replace"));
}
PyRef number(double value) { return PyRef::steal(PyFloat_FromDouble(value)); }
PyRef optional_number(const std::optional<double>& value) {
    return value ? number(*value) : PyRef::borrow(Py_None);
}
PyRef flag(bool value) { return PyRef::borrow(value ? Py_True : Py_False); }

// The key strings are made once per call and shared by every row.
template <std::size_t N>
bool make_keys(const std::array<const char*, N>& names, std::array<PyRef, N>& keys) {
    for (std::size_t i = 0; i < N; ++i) {
        keys[i] = PyRef::steal(PyUnicode_InternFromString(names[i]));
        if (!keys[i]) return false;
    }
    return true;
}

template <std::size_t N>
PyRef make_row(const std::array<PyRef, N>& keys, std::array<PyRef, N>&& values) {
    PyRef row = PyRef::steal(PyDict_New());
    if (!row) return row;
    for (std::size_t i = 0; i < N; ++i) {
        if (!values[i] || PyDict_SetItem(row.get(), keys[i].get(), values[i].get()) < 0) {
            return PyRef();
        }
    }
    return row;
}

}  // namespace

bool exported_surcharged(const network::PipeResult& pipe) noexcept {
    return pipe.surcharged && !(pipe.design_slope < 0.0) &&
           !(pipe.slope <= 0.0 && pipe.capacity <= 0.0);
}

PyObject* analysis_to_dict(std::string_view name, const network::Analysis& analysis) {
    std::array<PyRef, 17> pipe_keys;
    std::array<PyRef, 6> node_keys;
    if (!make_keys(kPipeKeys, pipe_keys) || !make_keys(kNodeKeys, node_keys)) return nullptr;

    PyRef pipes = PyRef::steal(PyList_New(0));
    if (!pipes) return nullptr;
    for (const network::PipeResult& p : analysis.pipes) {
        PyRef row = make_row(pipe_keys, {text(p.id), text(p.from), text(p.to), number(p.slope),
                                         number(p.total_ca), number(p.tc), number(p.travel_time),
                                         number(p.intensity), number(p.design_q),
                                         number(p.capacity), number(p.pct_full),
                                         number(p.velocity), optional_number(p.normal_depth),
                                         number(p.critical_depth), optional_number(p.hgl_up),
                                         optional_number(p.hgl_dn), flag(exported_surcharged(p))});
        if (!row || PyList_Append(pipes.get(), row.get()) < 0) return nullptr;
    }

    PyRef nodes = PyRef::steal(PyList_New(0));
    if (!nodes) return nullptr;
    for (const network::NodeResult& n : analysis.nodes) {
        PyRef row = make_row(node_keys, {text(n.id), number(n.tc), number(n.rim), number(n.hgl),
                                         number(n.rim - n.hgl), flag(n.floods)});
        if (!row || PyList_Append(nodes.get(), row.get()) < 0) return nullptr;
    }

    PyRef result = PyRef::steal(PyDict_New());
    PyRef name_text = text(std::string(name));
    if (!result || !name_text || PyDict_SetItemString(result.get(), "name", name_text.get()) < 0 ||
        PyDict_SetItemString(result.get(), "pipes", pipes.get()) < 0 ||
        PyDict_SetItemString(result.get(), "nodes", nodes.get()) < 0) {
        return nullptr;
    }
    return result.release();
}

}  // namespace rillway::py
