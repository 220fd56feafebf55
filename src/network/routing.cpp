#include "network/routing.hpp"

#include <algorithm>
#include <cmath>

namespace rillway::network {

namespace {

// Counting sort of (key, value) pairs into compressed rows, keeping the input order within a
// row: begin has keys + 1 entries, values are grouped by key.
void build_rows(std::size_t keys, const std::vector<std::size_t>& key_of,
                const std::vector<std::size_t>& value_of, std::vector<std::size_t>& begin,
                std::vector<std::size_t>& values) {
    begin.assign(keys + 1, 0);
    for (const std::size_t k : key_of) ++begin[k + 1];
    for (std::size_t k = 0; k < keys; ++k) begin[k + 1] += begin[k];
    values.resize(key_of.size());
    std::vector<std::size_t> next(begin.begin(), begin.end() - 1);
    for (std::size_t i = 0; i < key_of.size(); ++i) values[next[key_of[i]]++] = value_of[i];
}

}  // namespace

IdMap index(const Network& network) {
    IdMap ids;
    ids.reserve(network.nodes.size());
    for (std::size_t i = 0; i < network.nodes.size(); ++i) {
        ids.insert_or_assign(network.nodes[i].id, i);  // a later namesake wins
    }
    return ids;
}

std::variant<std::vector<std::size_t>, NetworkError> topo_order(const Network& network,
                                                                 const IdMap& ids) {
    const std::size_t node_count = network.nodes.size();
    const std::size_t pipe_count = network.pipes.size();
    std::vector<std::size_t> from(pipe_count);
    std::vector<std::size_t> to(pipe_count);
    for (std::size_t p = 0; p < pipe_count; ++p) {
        const Pipe& pipe = network.pipes[p];
        const auto up = ids.find(pipe.from);
        if (up == ids.end()) return NetworkError{UnknownNode{pipe.from}};
        const auto down = ids.find(pipe.to);
        if (down == ids.end()) return NetworkError{UnknownNode{pipe.to}};
        from[p] = up->second;
        to[p] = down->second;
    }

    std::vector<std::size_t> succ_begin;
    std::vector<std::size_t> successors;
    build_rows(node_count, from, to, succ_begin, successors);
    std::vector<std::size_t> in_degree(node_count, 0);
    for (const std::size_t v : to) ++in_degree[v];

    std::vector<std::size_t> stack;
    for (std::size_t v = 0; v < node_count; ++v) {
        if (in_degree[v] == 0) stack.push_back(v);
    }
    std::vector<std::size_t> order;
    order.reserve(node_count);
    while (!stack.empty()) {
        const std::size_t u = stack.back();
        stack.pop_back();
        order.push_back(u);
        for (std::size_t s = succ_begin[u]; s < succ_begin[u + 1]; ++s) {
            const std::size_t v = successors[s];
            if (--in_degree[v] == 0) stack.push_back(v);
        }
    }
    if (order.size() != node_count) return NetworkError{Cycle{}};
    return order;
}

std::vector<double> accumulate_ca_vec(const Network& network, const IdMap& ids,
                                      const std::vector<std::size_t>& order,
                                      double frequency_factor) {
    const std::size_t node_count = network.nodes.size();
    std::vector<std::size_t> up_of;
    std::vector<std::size_t> down_of;
    up_of.reserve(network.pipes.size());
    down_of.reserve(network.pipes.size());
    for (const Pipe& pipe : network.pipes) {
        const auto up = ids.find(pipe.from);
        const auto down = ids.find(pipe.to);
        if (up == ids.end() || down == ids.end()) continue;
        up_of.push_back(up->second);
        down_of.push_back(down->second);
    }
    std::vector<std::size_t> up_begin;
    std::vector<std::size_t> upstream;
    build_rows(node_count, down_of, up_of, up_begin, upstream);

    std::vector<double> totals(node_count, 0.0);
    for (const std::size_t u : order) {
        const Node& node = network.nodes[u];
        // The cap applies to the node's own coefficient only; accumulated totals are not capped.
        // A NaN coefficient stays NaN rather than being raised to the cap.
        const double coefficient = node.c * frequency_factor;
        double total = (coefficient > 1.0 ? 1.0 : coefficient) * node.area;
        for (std::size_t s = up_begin[u]; s < up_begin[u + 1]; ++s) total += totals[upstream[s]];
        totals[u] = total;
    }
    return totals;
}

Links link_pipes(const Network& network, const IdMap& ids) {
    const std::size_t pipe_count = network.pipes.size();
    Links links;
    links.from.resize(pipe_count);
    links.to.resize(pipe_count);
    for (std::size_t p = 0; p < pipe_count; ++p) {
        links.from[p] = ids.at(network.pipes[p].from);
        links.to[p] = ids.at(network.pipes[p].to);
    }
    std::vector<std::size_t> pipe_ids(pipe_count);
    for (std::size_t p = 0; p < pipe_count; ++p) pipe_ids[p] = p;
    build_rows(network.nodes.size(), links.to, pipe_ids, links.in_begin, links.in_pipes);
    build_rows(network.nodes.size(), links.from, pipe_ids, links.out_begin, links.out_pipes);
    return links;
}

}  // namespace rillway::network
