#pragma once
// Resolution of pipe ends and the flow routing order of the nodes.
//
// Node and pipe indices are positions in the network's lists. One pass resolves every pipe end
// to a node index and builds the adjacency in flat index arrays (compressed rows); the routing
// order, the loads (network/loads.hpp), the design pass and the grade line all work from that result.

#include <cstddef>
#include <variant>
#include <vector>

#include "network/network.hpp"

namespace rillway::network {

// Pipe ends and the inflow/outflow lists of every node, each list in pipe-list order.
// The pipes into node v are in_pipes[in_begin[v] .. in_begin[v + 1]), likewise for outflows.
struct Links {
    std::vector<std::size_t> from;  // per pipe: upstream node index
    std::vector<std::size_t> to;    // per pipe: downstream node index
    std::vector<std::size_t> in_begin;
    std::vector<std::size_t> in_pipes;
    std::vector<std::size_t> out_begin;
    std::vector<std::size_t> out_pipes;

    [[nodiscard]] std::size_t node_count() const { return in_begin.size() - 1; }
    [[nodiscard]] std::size_t inflow_count(std::size_t v) const { return in_begin[v + 1] - in_begin[v]; }
    [[nodiscard]] std::size_t outflow_count(std::size_t v) const { return out_begin[v + 1] - out_begin[v]; }
};

// Maps every pipe end to its node. A node id borne twice is refused first (the first repeated
// id in node order); then the first pipe in list order with an end that names no node decides
// the error (its upstream id before its downstream id).
[[nodiscard]] std::variant<Links, NetworkError> resolve(const Network& network);

// Kahn's method with a last-in-first-out stack seeded with the sources in ascending index
// order: every node comes after all nodes with a pipe into it. A loop gives Cycle.
[[nodiscard]] std::variant<std::vector<std::size_t>, NetworkError> topo_order(const Links& links);

// The pipe's own inverts, or those of the nodes its ends resolve to.
[[nodiscard]] double upstream_invert(const Network& network, const Links& links, std::size_t p);
[[nodiscard]] double downstream_invert(const Network& network, const Links& links, std::size_t p);

}  // namespace rillway::network
