#include "result_dict.hpp"

#include <array>
#include <optional>
#include <string>

#include "dict_rows.hpp"
#include "errors.hpp"

namespace rillway::py {

namespace {

constexpr std::array<const char*, 17> kPipeKeys = {
    "id", "from", "to", "slope", "total_ca", "tc", "travel_time", "intensity", "design_q",
    "capacity", "pct_full", "velocity", "normal_depth", "critical_depth", "hgl_up", "hgl_dn",
    "surcharged"};
constexpr std::array<const char*, 6> kNodeKeys = {"id", "tc", "rim", "hgl", "freeboard", "floods"};
// Appended under the FHWA energy method only, so the other methods' records stay as they were.
constexpr std::array<const char*, 2> kPipeEnergyKeys = {"egl_up", "egl_dn"};
constexpr std::array<const char*, 1> kNodeEnergyKeys = {"egl"};
// Appended under min_flow_from_upstream only, for the same reason.
constexpr std::array<const char*, 1> kPipeRaisedKeys = {"flow_from_upstream"};

template <std::size_t N>
bool append(PyObject* row, const std::array<PyRef, N>& keys, std::array<PyRef, N>&& values) {
    for (std::size_t i = 0; i < N; ++i) {
        if (!values[i] || PyDict_SetItem(row, keys[i].get(), values[i].get()) < 0) return false;
    }
    return true;
}

}  // namespace

PyObject* analysis_to_dict(std::string_view name, const network::Analysis& analysis) {
    std::array<PyRef, 17> pipe_keys;
    std::array<PyRef, 6> node_keys;
    std::array<PyRef, 2> pipe_energy_keys;
    std::array<PyRef, 1> node_energy_keys;
    std::array<PyRef, 1> pipe_raised_keys;
    if (!make_keys(kPipeKeys, pipe_keys) || !make_keys(kNodeKeys, node_keys) ||
        !make_keys(kPipeEnergyKeys, pipe_energy_keys) ||
        !make_keys(kNodeEnergyKeys, node_energy_keys) ||
        !make_keys(kPipeRaisedKeys, pipe_raised_keys)) {
        return nullptr;
    }
    const bool energy = analysis.loss_method == network::LossMethod::fhwa_energy;

    PyRef pipes = PyRef::steal(PyList_New(0));
    if (!pipes) return nullptr;
    for (const network::PipeResult& p : analysis.pipes) {
        PyRef row = make_row(pipe_keys, {text(p.id), text(p.from), text(p.to), number(p.slope),
                                         number(p.total_ca), number(p.tc), number(p.travel_time),
                                         number(p.intensity), number(p.design_q),
                                         number(p.capacity), number(p.pct_full),
                                         number(p.velocity), optional_number(p.normal_depth),
                                         number(p.critical_depth), optional_number(p.hgl_up),
                                         optional_number(p.hgl_dn), flag(p.surcharged)});
        if (!row) return nullptr;
        if (energy && !append(row.get(), pipe_energy_keys,
                              {optional_number(p.egl_up), optional_number(p.egl_dn)})) {
            return nullptr;
        }
        if (analysis.marks_flow_from_upstream &&
            !append(row.get(), pipe_raised_keys, {flag(p.flow_from_upstream)})) {
            return nullptr;
        }
        if (PyList_Append(pipes.get(), row.get()) < 0) return nullptr;
    }

    PyRef nodes = PyRef::steal(PyList_New(0));
    if (!nodes) return nullptr;
    for (const network::NodeResult& n : analysis.nodes) {
        PyRef row = make_row(node_keys, {text(n.id), number(n.tc), number(n.rim), number(n.hgl),
                                         number(n.freeboard), flag(n.floods)});
        if (!row) return nullptr;
        if (energy && !append(row.get(), node_energy_keys, {optional_number(n.egl)})) return nullptr;
        if (PyList_Append(nodes.get(), row.get()) < 0) return nullptr;
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
