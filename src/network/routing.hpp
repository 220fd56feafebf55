#pragma once
// Resolution of pipe ends, the flow routing order of the nodes and the accumulated C*A.
//
// Node and pipe indices are positions in the network's lists. Adjacency is kept in flat
// index arrays (compressed rows), so building it costs one pass over the pipes and no
// per-node allocation.

#include <cstddef>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "network/network.hpp"

namespace rillway::network {

using IdMap = std::unordered_map<std::string, std::size_t>;

// Node id -> node index; a duplicated id resolves to the last node bearing it.
[[nodiscard]] IdMap index(const Network& network);

// Kahn's method with a last-in-first-out stack seeded with the sources in ascending index
// order: every node comes after all nodes with a pipe into it. The first pipe with an unknown
// end decides the error (its upstream id before its downstream id); a loop gives Cycle.
[[nodiscard]] std::variant<std::vector<std::size_t>, NetworkError> topo_order(
    const Network& network, const IdMap& ids);

// C*A reaching each node, node-list order: min(c * frequency_factor, 1) * area of the node
// itself, then the totals of the upstream ends of its inflow pipes in pipe-list order. Pipes
// whose ends do not resolve are ignored (topo_order has rejected them already).
[[nodiscard]] std::vector<double> accumulate_ca_vec(const Network& network, const IdMap& ids,
                                                    const std::vector<std::size_t>& order,
                                                    double frequency_factor);

// Pipe ends and the inflow/outflow lists of every node, each list in pipe-list order.
// The pipes into node v are in_pipes[in_begin[v] .. in_begin[v + 1]), likewise for outflows.
struct Links {
    std::vector<std::size_t> from;  // per pipe: upstream node index
    std::vector<std::size_t> to;    // per pipe: downstream node index
    std::vector<std::size_t> in_begin;
    std::vector<std::size_t> in_pipes;
    std::vector<std::size_t> out_begin;
    std::vector<std::size_t> out_pipes;

    [[nodiscard]] std::size_t inflow_count(std::size_t v) const { return in_begin[v + 1] - in_begin[v]; }
    [[nodiscard]] std::size_t outflow_count(std::size_t v) const { return out_begin[v + 1] - out_begin[v]; }
};

// Requires every pipe end to resolve in ids (as after a successful topo_order).
[[nodiscard]] Links link_pipes(const Network& network, const IdMap& ids);

}  // namespace rillway::network
