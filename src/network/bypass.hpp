#pragma once
// The street above the pipes: each street inlet takes what reaches it along the gutter (its own
// runoff and the bypass of the inlets that name it in `bypass_to`), intercepts its share by the
// HEC-22 equations (hydraulics/inlet.hpp), and passes the rest on, or loses it from the system.
//
// Glossary: C*A runoff-weighted area (ac), i intensity (in/hr), Q flow (cfs), E efficiency.
// An inlet's own runoff is C*A i at its own inlet time (no shorter than min_tc); carry-over
// keeps no time of its own. The load travels with the water: an inlet passes into its
// structure the C*A of its approach flow times E, and the rest goes with the bypass, so that
// sum(own C*A) = sum(captured C*A) + sum(lost C*A).

#include <cstddef>
#include <variant>
#include <vector>

#include "network/analysis.hpp"
#include "network/network.hpp"

namespace rillway::network {

// True when the node has an inlet with a type; when some node has one.
[[nodiscard]] bool is_street_inlet(const Node& node) noexcept;
[[nodiscard]] bool has_street_inlets(const Network& network) noexcept;

inline constexpr std::size_t kBypassLost = static_cast<std::size_t>(-1);

// The street inlets' bypass links, checked, and the order water reaches the inlets.
struct BypassLinks {
    std::vector<std::size_t> target;  // per node: where its bypass goes; kBypassLost: lost
    std::vector<std::size_t> order;   // the street inlets, each after all that bypass to it
};

// Refuses, one message each: an inlet value the equations cannot take, a bypass_to naming no
// structure or an outfall, a sag inlet with a bypass_to, and bypass_to links in a loop. Node
// ids must be unique (routing.hpp's resolve checks that first).
[[nodiscard]] std::variant<BypassLinks, NetworkError> bypass_links(const Network& network);

// A street inlet's own runoff, C*A i at its own inlet time (no shorter than min_tc), cfs.
[[nodiscard]] double own_runoff(const Node& node, const IdfParams& idf,
                                const DesignOptions& options);

// A street inlet taking its approach flow: its own runoff and C*A and those carried over to it.
[[nodiscard]] InletResult inlet_result(const Node& node, double q_own, double ca_own,
                                       double q_carry, double ca_carry);

struct StreetPass {
    std::vector<InletResult> inlets;  // node order, street inlets only
    // Per node, the C*A the structure passes into the pipes (Loads::street_ca): a street
    // inlet's captured load, any other structure's own C*A plus whatever bypass reaches it (it
    // takes all of it). Empty where the pipes take each structure's own C*A whole: without
    // street inlets, or under PipeFlows::total_area.
    std::vector<double> pipe_ca;
};

// An empty pass without street inlets; refuses what bypass_links refuses.
[[nodiscard]] std::variant<StreetPass, NetworkError> street_pass(const Network& network,
                                                                 const IdfParams& idf,
                                                                 const DesignOptions& options);

}  // namespace rillway::network
