#include "network/bypass.hpp"

#include <cmath>
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "network/design_pass.hpp"
#include "network/loads.hpp"

namespace rillway::network {

namespace {

constexpr std::size_t kNowhere = kBypassLost;

bool typed(const Node& node) noexcept { return is_street_inlet(node); }

// Where each street inlet's bypass goes (kNowhere: lost), or the first bad link.
std::variant<std::vector<std::size_t>, NetworkError> bypass_targets(const Network& network) {
    std::unordered_map<std::string_view, std::size_t> ids;
    ids.reserve(network.nodes.size());
    for (std::size_t v = 0; v < network.nodes.size(); ++v) ids.emplace(network.nodes[v].id, v);

    std::vector<std::size_t> target(network.nodes.size(), kNowhere);
    for (std::size_t v = 0; v < network.nodes.size(); ++v) {
        const Node& node = network.nodes[v];
        if (!typed(node) || !node.bypass_to) continue;
        const std::string& to = *node.bypass_to;
        if (node.street->sag) {
            return NetworkError{InvalidBypass{"node '" + node.id + "': an inlet in a sag takes all "
                                              "that reaches it, so it cannot have a bypass_to ('" +
                                              to + "')"}};
        }
        const auto found = ids.find(to);
        if (found == ids.end()) {
            return NetworkError{InvalidBypass{"node '" + node.id + "': bypass_to names no structure ('" +
                                              to + "')"}};
        }
        if (network.nodes[found->second].kind == NodeKind::outfall) {
            return NetworkError{InvalidBypass{"node '" + node.id + "': bypass_to names the outfall '" +
                                              to + "'; leave it out for a bypass that is lost"}};
        }
        target[v] = found->second;
    }
    return target;
}

// The loop that the walk along the bypass links from `start` runs into, as "A -> B -> A"; none
// when the walk leaves the inlets first (a node downstream of a loop).
std::optional<std::string> loop_from(const Network& network, const std::vector<std::size_t>& target,
                                     std::size_t start) {
    std::vector<std::size_t> seen_at(network.nodes.size(), kNowhere);
    std::vector<std::size_t> path;
    std::size_t v = start;
    while (v != kNowhere && seen_at[v] == kNowhere) {
        seen_at[v] = path.size();
        path.push_back(v);
        v = target[v];
    }
    if (v == kNowhere) return std::nullopt;
    std::string text;
    for (std::size_t i = seen_at[v]; i < path.size(); ++i) text += network.nodes[path[i]].id + " -> ";
    return text + network.nodes[v].id;
}

}  // namespace

bool is_street_inlet(const Node& node) noexcept {
    return node.street && node.street->inlet.type != hydraulics::InletType::none;
}

bool has_street_inlets(const Network& network) noexcept {
    for (const Node& node : network.nodes) {
        if (typed(node)) return true;
    }
    return false;
}

double own_runoff(const Node& node, const IdfParams& idf, const DesignOptions& options) {
    return own_ca(node, options.frequency_factor) *
           design_intensity(std::fmax(node.tc, options.min_tc), idf, options.intensity_override);
}

InletResult inlet_result(const Node& node, double q_own, double ca_own, double q_carry,
                         double ca_carry) {
    const StreetInlet& street = *node.street;
    InletResult r;
    r.id = node.id;
    r.type = street.inlet.type;
    r.sag = street.sag;
    r.q_own = q_own;
    r.q_carryover = q_carry;
    r.q_approach = q_own + q_carry;
    r.ca_approach = ca_own + ca_carry;
    r.spread_allow = street.spread_allow;
    if (street.sag) {
        const hydraulics::InSag s = hydraulics::inlet_in_sag(r.q_approach, street.gutter, street.inlet);
        r.spread = s.spread;
        r.depth = s.depth;
        r.ponded_depth = s.ponded_depth;
        r.regime = s.regime;
        r.efficiency = 1.0;
        r.q_intercepted = r.q_approach;
        r.q_bypass = 0.0;
    } else {
        const hydraulics::OnGrade g = hydraulics::inlet_on_grade(r.q_approach, street.gutter, street.inlet);
        r.spread = g.approach.spread;
        r.depth = g.approach.depth;
        r.gutter_velocity = g.approach.velocity;
        r.efficiency = g.efficiency;
        r.q_intercepted = g.q_intercepted;
        r.q_bypass = g.q_bypass;
        r.bypass_to = node.bypass_to;
    }
    r.ca_captured = r.ca_approach * r.efficiency;
    r.spread_exceeded = street.spread_allow && r.spread > *street.spread_allow;
    return r;
}

std::variant<BypassLinks, NetworkError> bypass_links(const Network& network) {
    const std::size_t count = network.nodes.size();
    for (const Node& node : network.nodes) {
        if (!typed(node)) continue;
        const StreetInlet& s = *node.street;
        if (auto problem = hydraulics::check_inlet(s.gutter, s.inlet, s.sag)) {
            return NetworkError{InvalidInlet{node.id, *problem}};
        }
        if (s.spread_allow && !(*s.spread_allow > 0.0 && std::isfinite(*s.spread_allow))) {
            return NetworkError{InvalidInlet{
                node.id, {hydraulics::InletField::spread_allow, "must be a positive number"}}};
        }
    }
    auto targets = bypass_targets(network);
    if (auto* error = std::get_if<NetworkError>(&targets)) return std::move(*error);
    BypassLinks links{std::get<std::vector<std::size_t>>(std::move(targets)), {}};
    const std::vector<std::size_t>& target = links.target;

    // Kahn's method, ties in node order: every inlet after all that bypass to it.
    std::vector<std::size_t> waiting(count, 0);
    for (std::size_t v = 0; v < count; ++v) {
        if (target[v] != kNowhere && typed(network.nodes[target[v]])) ++waiting[target[v]];
    }
    std::deque<std::size_t> ready;
    std::size_t inlets = 0;
    for (std::size_t v = 0; v < count; ++v) {
        if (!typed(network.nodes[v])) continue;
        ++inlets;
        if (waiting[v] == 0) ready.push_back(v);
    }
    while (!ready.empty()) {
        const std::size_t v = ready.front();
        ready.pop_front();
        links.order.push_back(v);
        if (const std::size_t to = target[v];
            to != kNowhere && typed(network.nodes[to]) && --waiting[to] == 0) {
            ready.push_back(to);
        }
    }
    // Inlets left waiting lie on a loop of bypass links or downstream of one.
    if (links.order.size() != inlets) {
        for (std::size_t v = 0; v < count; ++v) {
            if (!typed(network.nodes[v]) || waiting[v] == 0) continue;
            if (auto loop = loop_from(network, target, v)) {
                return NetworkError{InvalidBypass{"bypass_to forms a loop: " + *loop}};
            }
        }
    }
    return links;
}

std::variant<StreetPass, NetworkError> street_pass(const Network& network, const IdfParams& idf,
                                                   const DesignOptions& options) {
    if (!has_street_inlets(network)) return StreetPass{};
    auto checked = bypass_links(network);
    if (auto* error = std::get_if<NetworkError>(&checked)) return std::move(*error);
    const BypassLinks& links = std::get<BypassLinks>(checked);
    const std::size_t count = network.nodes.size();
    std::vector<double> q_carry(count, 0.0);
    std::vector<double> ca_carry(count, 0.0);
    std::vector<std::optional<InletResult>> results(count);
    StreetPass pass;
    pass.pipe_ca.assign(count, 0.0);
    for (const std::size_t v : links.order) {
        const Node& node = network.nodes[v];
        InletResult r = inlet_result(node, own_runoff(node, idf, options),
                                     own_ca(node, options.frequency_factor), q_carry[v], ca_carry[v]);
        pass.pipe_ca[v] = r.ca_captured;
        if (const std::size_t to = links.target[v]; to != kNowhere) {
            q_carry[to] += r.q_bypass;
            ca_carry[to] += r.ca_approach - r.ca_captured;
        } else {
            r.bypass_to.reset();
        }
        results[v] = std::move(r);
    }
    for (std::size_t v = 0; v < count; ++v) {
        if (results[v]) {
            pass.inlets.push_back(std::move(*results[v]));
        } else {
            pass.pipe_ca[v] = own_ca(network.nodes[v], options.frequency_factor) + ca_carry[v];
        }
    }
    if (options.pipe_flows == PipeFlows::total_area) pass.pipe_ca.clear();
    return pass;
}

}  // namespace rillway::network
