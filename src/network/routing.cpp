#include "network/routing.hpp"

#include <string_view>
#include <unordered_map>

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

std::variant<Links, NetworkError> resolve(const Network& network) {
    const std::size_t node_count = network.nodes.size();
    const std::size_t pipe_count = network.pipes.size();
    // Views into the node list, which outlives the map.
    std::unordered_map<std::string_view, std::size_t> ids;
    ids.reserve(node_count);
    for (std::size_t i = 0; i < node_count; ++i) {
        // A namesake would take the flow meant for the other, so it is refused outright.
        if (!ids.emplace(network.nodes[i].id, i).second) {
            return NetworkError{DuplicateNode{network.nodes[i].id}};
        }
    }

    Links links;
    links.from.resize(pipe_count);
    links.to.resize(pipe_count);
    for (std::size_t p = 0; p < pipe_count; ++p) {
        const Pipe& pipe = network.pipes[p];
        const auto up = ids.find(pipe.from);
        if (up == ids.end()) return NetworkError{UnknownNode{pipe.from}};
        const auto down = ids.find(pipe.to);
        if (down == ids.end()) return NetworkError{UnknownNode{pipe.to}};
        links.from[p] = up->second;
        links.to[p] = down->second;
    }
    std::vector<std::size_t> pipe_ids(pipe_count);
    for (std::size_t p = 0; p < pipe_count; ++p) pipe_ids[p] = p;
    build_rows(node_count, links.to, pipe_ids, links.in_begin, links.in_pipes);
    build_rows(node_count, links.from, pipe_ids, links.out_begin, links.out_pipes);
    return links;
}

std::variant<std::vector<std::size_t>, NetworkError> topo_order(const Links& links) {
    const std::size_t node_count = links.node_count();
    std::vector<std::size_t> in_degree(node_count, 0);
    for (std::size_t v = 0; v < node_count; ++v) in_degree[v] = links.inflow_count(v);

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
        for (std::size_t s = links.out_begin[u]; s < links.out_begin[u + 1]; ++s) {
            const std::size_t v = links.to[links.out_pipes[s]];
            if (--in_degree[v] == 0) stack.push_back(v);
        }
    }
    if (order.size() != node_count) return NetworkError{Cycle{}};
    return order;
}

double upstream_invert(const Network& network, const Links& links, std::size_t p) {
    const Pipe& pipe = network.pipes[p];
    return pipe.invert_up ? *pipe.invert_up : network.nodes[links.from[p]].invert;
}

double downstream_invert(const Network& network, const Links& links, std::size_t p) {
    const Pipe& pipe = network.pipes[p];
    return pipe.invert_dn ? *pipe.invert_dn : network.nodes[links.to[p]].invert;
}

}  // namespace rillway::network
