// The network as the analysis sees it, read from either format, and the plain-text format
// converted into a project document.

#include <array>
#include <string>
#include <string_view>
#include <variant>

#include "binding.hpp"
#include "dict_rows.hpp"
#include "documents.hpp"
#include "errors.hpp"
#include "formats/project/project.hpp"
#include "functions.hpp"
#include "network/bypass.hpp"
#include "network/routing.hpp"
#include "released_lock.hpp"

namespace rillway::py {

namespace {

namespace net = rillway::network;
namespace proj = rillway::formats::project;

constexpr std::array<const char*, 15> kSettingKeys = {
    "idf_a", "idf_b", "idf_c", "intensity", "tailwater", "min_tc", "min_slope", "junction_k",
    "bend_loss_coeff", "hec22_structure_loss", "frequency_factor", "access_hole_diameter",
    "loss_method", "flow_split", "min_flow_from_upstream"};
constexpr std::array<const char*, 12> kNodeKeys = {
    "id", "kind", "x", "y", "invert", "rim", "area_ac", "c", "tc_inlet", "diameter_ft",
    "benching", "inflow_cfs"};
constexpr std::array<const char*, 12> kPipeKeys = {
    "id", "from", "to", "length", "shape", "rise", "span", "n", "invert_up", "invert_dn",
    "side_slope", "barrels"};

constexpr std::array<const char*, 23> kInletKeys = {
    "id", "type", "grate_type", "sag", "length", "grates", "grate_width", "curb_length",
    "curb_height", "throat", "slot_width", "local_depression", "local_depression_width",
    "clogging", "splash_velocity", "opening_ratio", "cross_slope", "gutter_slope", "gutter_n",
    "gutter_width", "gutter_depression", "spread_allow", "bypass_to"};

// The street inlets as the analysis takes them (ft, the roadway's defaults filled in), node
// order; an empty list without any.
PyRef street_inlets(const net::Network& network) {
    std::array<PyRef, kInletKeys.size()> keys;
    if (!make_keys(kInletKeys, keys)) return PyRef();
    PyRef list = PyRef::steal(PyList_New(0));
    if (!list) return list;
    for (const net::Node& n : network.nodes) {
        if (!n.street || n.street->inlet.type == hydraulics::InletType::none) continue;
        const net::StreetInlet& s = *n.street;
        const hydraulics::Inlet& i = s.inlet;
        PyRef row = make_row(keys, {text(n.id), text(hydraulics::inlet_type_word(i.type)),
                                    text(hydraulics::grate_type_word(i.grate)), flag(s.sag),
                                    number(i.length), PyRef::steal(PyLong_FromUnsignedLong(i.grates)),
                                    number(i.grate_width), number(i.curb_length),
                                    number(i.curb_height), text(hydraulics::throat_word(i.throat)),
                                    number(i.slot_width), number(i.local_depression),
                                    number(i.local_depression_width), number(i.clogging),
                                    number(i.splash_velocity), number(i.opening_ratio),
                                    number(s.gutter.cross_slope), number(s.gutter.long_slope),
                                    number(s.gutter.n), number(s.gutter.width),
                                    number(s.gutter.depression), optional_number(s.spread_allow),
                                    n.bypass_to ? text(*n.bypass_to) : PyRef::borrow(Py_None)});
        if (!row || PyList_Append(list.get(), row.get()) < 0) return PyRef();
    }
    return list;
}

// An open channel's banks as (left, right), None for a closed section.
PyRef side_slopes(const hydraulics::Section& section) {
    if (!section.open()) return PyRef::borrow(Py_None);
    return PyRef::steal(Py_BuildValue("(dd)", section.slope_left, section.slope_right));
}

// {"name", "settings", "nodes", "pipes"} in input order, every value in the analysis units.
PyObject* network_to_dict(const NetworkInput& input, const net::Links& links) {
    std::array<PyRef, kSettingKeys.size()> setting_keys;
    std::array<PyRef, kNodeKeys.size()> node_keys;
    std::array<PyRef, kPipeKeys.size()> pipe_keys;
    if (!make_keys(kSettingKeys, setting_keys) || !make_keys(kNodeKeys, node_keys) ||
        !make_keys(kPipeKeys, pipe_keys)) {
        return nullptr;
    }
    const net::DesignOptions& o = input.options;
    PyRef settings = make_row(setting_keys, {number(input.idf.a), number(input.idf.b),
                                             number(input.idf.c),
                                             optional_number(o.intensity_override),
                                             optional_number(o.tailwater), number(o.min_tc),
                                             number(o.min_slope), number(o.junction_k),
                                             number(o.bend_loss_coeff),
                                             flag(o.hec22_structure_loss),
                                             number(o.frequency_factor),
                                             number(o.access_hole_diameter),
                                             text(net::loss_method_word(o.method())),
                                             text(net::flow_split_word(o.flow_split)),
                                             flag(o.min_flow_from_upstream)});
    PyRef nodes = make_list(input.network.nodes, [&](const net::Node& n) {
        return make_row(node_keys, {text(n.id), text(proj::kind_word(n.kind)), number(n.x),
                                    number(n.y), number(n.invert), number(n.rim), number(n.area),
                                    number(n.c), number(n.tc), number(n.diameter),
                                    text(net::benching_word(n.benching)), number(n.inflow)});
    });
    std::size_t p = 0;
    PyRef pipes = make_list(input.network.pipes, [&](const net::Pipe& pipe) {
        const std::size_t index = p++;
        return make_row(pipe_keys, {text(pipe.id), text(pipe.from), text(pipe.to),
                                    number(pipe.length), text(proj::shape_word(pipe.section.kind)),
                                    number(pipe.section.rise), number(pipe.section.span),
                                    number(pipe.n),
                                    number(net::upstream_invert(input.network, links, index)),
                                    number(net::downstream_invert(input.network, links, index)),
                                    side_slopes(pipe.section),
                                    PyRef::steal(PyLong_FromUnsignedLong(pipe.barrels))});
    });
    PyRef result = PyRef::steal(PyDict_New());
    PyRef name = text(input.name);
    if (!settings || !nodes || !pipes || !result || !name ||
        PyDict_SetItemString(result.get(), "name", name.get()) < 0 ||
        PyDict_SetItemString(result.get(), "settings", settings.get()) < 0 ||
        PyDict_SetItemString(result.get(), "nodes", nodes.get()) < 0 ||
        PyDict_SetItemString(result.get(), "pipes", pipes.get()) < 0) {
        return nullptr;
    }
    // Only a network with street inlets has the key, so that other views keep their shape.
    if (net::has_street_inlets(input.network)) {
        PyRef inlets = street_inlets(input.network);
        if (!inlets || PyDict_SetItemString(result.get(), "inlets", inlets.get()) < 0) return nullptr;
    }
    return result.release();
}

// The network read and its ends resolved, as the analysis does (its errors included).
struct Viewed {
    std::vector<std::string> warnings;
    Outcome<std::pair<NetworkInput, net::Links>> outcome;
};

Viewed view(Outcome<NetworkInput> read) {
    if (auto* failure = std::get_if<Failure>(&read)) return {{}, std::move(*failure)};
    NetworkInput& input = std::get<NetworkInput>(read);
    std::vector<std::string> warnings = std::move(input.warnings);
    auto resolved = net::resolve(input.network);
    if (const auto* error = std::get_if<net::NetworkError>(&resolved)) {
        return {std::move(warnings), network_failure(*error)};
    }
    return {std::move(warnings),
            std::pair{std::move(input), std::get<net::Links>(std::move(resolved))}};
}

PyObject* network_view(const Viewed& viewed) {
    if (!issue_warnings(viewed.warnings)) return nullptr;
    if (const auto* failure = std::get_if<Failure>(&viewed.outcome)) return raise_failure(*failure);
    const auto& [input, links] = std::get<std::pair<NetworkInput, net::Links>>(viewed.outcome);
    return network_to_dict(input, links);
}

// The project document of a .rwn text, or the failure.
Outcome<std::string> convert_rwn(std::string_view text) {
    Outcome<NetworkInput> read = read_rwn_input(text);
    if (auto* failure = std::get_if<Failure>(&read)) return std::move(*failure);
    NetworkInput& input = std::get<NetworkInput>(read);
    auto resolved = net::resolve(input.network);
    if (const auto* error = std::get_if<net::NetworkError>(&resolved)) return network_failure(*error);
    auto converted = proj::project_from_network(std::move(input.name), input.network, input.idf,
                                                input.options);
    if (const auto* message = std::get_if<std::string>(&converted)) {
        return Failure{Failure::Kind::value, "cannot convert .rwn: " + *message};
    }
    return proj::write_project(std::get<proj::Project>(converted));
}

}  // namespace

PyObject* read_project(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSig{"read_project", {"project_json"}, 1, false};
    return guarded([&]() -> PyObject* {
        std::string_view text;
        if (!text_argument(kSig, args, kwargs, text)) return nullptr;
        return network_view(without_lock([&] { return view(read_project_input(text)); }));
    });
}

PyObject* check_project(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSig{"check_project", {"project_json"}, 1, false};
    return guarded([&]() -> PyObject* {
        std::string_view text;
        if (!text_argument(kSig, args, kwargs, text)) return nullptr;
        const Viewed viewed = without_lock([&] { return view(read_project_input(text)); });
        if (!issue_warnings(viewed.warnings)) return nullptr;
        if (const auto* failure = std::get_if<Failure>(&viewed.outcome)) return raise_failure(*failure);
        Py_RETURN_NONE;
    });
}

PyObject* read_rwn(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSig{"read_rwn", {"text"}, 1, false};
    return guarded([&]() -> PyObject* {
        std::string_view text;
        if (!text_argument(kSig, args, kwargs, text)) return nullptr;
        return network_view(without_lock([&] { return view(read_rwn_input(text)); }));
    });
}

PyObject* rwn_to_project(PyObject*, PyObject* args, PyObject* kwargs) {
    static constexpr Signature kSig{"rwn_to_project", {"text"}, 1, false};
    return guarded([&]() -> PyObject* {
        std::string_view text;
        if (!text_argument(kSig, args, kwargs, text)) return nullptr;
        const Outcome<std::string> json = without_lock([&] { return convert_rwn(text); });
        if (const auto* failure = std::get_if<Failure>(&json)) return raise_failure(*failure);
        const std::string& out = std::get<std::string>(json);
        return PyUnicode_DecodeUTF8(out.data(), static_cast<Py_ssize_t>(out.size()), "replace");
    });
}

}  // namespace rillway::py
