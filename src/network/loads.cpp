#include "network/loads.hpp"

#include <cmath>

#include "hydraulics/constants.hpp"
#include "hydraulics/manning.hpp"
#include "network/design_pass.hpp"

namespace rillway::network {

Loads empty_loads(const Network& network, const DesignOptions& options) {
    Loads loads;
    loads.ca.assign(network.nodes.size(), 0.0);
    for (const Node& node : network.nodes) {
        if (node.inflow != 0.0) {
            loads.inflow.assign(network.nodes.size(), 0.0);
            break;
        }
    }
    if (options.flow_split == FlowSplit::capacity) loads.share.assign(network.pipes.size(), 1.0);
    return loads;
}

void gather(const Network& network, const Links& links, std::size_t u, double frequency_factor,
            Loads& loads) {
    const Node& node = network.nodes[u];
    // The cap applies to the node's own coefficient only; accumulated totals are not capped.
    // A NaN coefficient stays NaN rather than being raised to the cap.
    const double coefficient = node.c * frequency_factor;
    double total = (coefficient > 1.0 ? 1.0 : coefficient) * node.area;
    for (std::size_t s = links.in_begin[u]; s < links.in_begin[u + 1]; ++s) {
        total += loads.pipe_ca(links, links.in_pipes[s]);
    }
    loads.ca[u] = total;
    if (loads.inflow.empty()) return;
    double inflow = node.inflow;
    for (std::size_t s = links.in_begin[u]; s < links.in_begin[u + 1]; ++s) {
        inflow += loads.pipe_inflow(links, links.in_pipes[s]);
    }
    loads.inflow[u] = inflow;
}

void split_among_leaving(const Network& network, const Links& links, std::size_t u,
                         double min_slope, Loads& loads) {
    if (loads.share.empty() || links.outflow_count(u) < 2) return;
    const std::size_t first = links.out_begin[u];
    const std::size_t last = links.out_begin[u + 1];
    double sum = 0.0;
    for (std::size_t s = first; s < last; ++s) {
        const std::size_t p = links.out_pipes[s];
        const Pipe& pipe = network.pipes[p];
        const double slope = pipe.length > 0.0 ? (upstream_invert(network, links, p) -
                                                  downstream_invert(network, links, p)) / pipe.length
                                               : 0.0;
        const double capacity = static_cast<double>(pipe.barrels) *
                                hydraulics::full_flow_capacity(pipe.section, pipe.n,
                                                               design_slope(slope, min_slope),
                                                               hydraulics::kManningUs);
        // The share holds the capacity until the sum is known.
        loads.share[p] = std::isfinite(capacity) && capacity > 0.0 ? capacity : 0.0;
        sum += loads.share[p];
    }
    const double count = static_cast<double>(last - first);
    for (std::size_t s = first; s < last; ++s) {
        double& share = loads.share[links.out_pipes[s]];
        share = sum > 0.0 && std::isfinite(sum) ? share / sum : 1.0 / count;
    }
}

Loads route_loads(const Network& network, const Links& links,
                  const std::vector<std::size_t>& order, const DesignOptions& options) {
    Loads loads = empty_loads(network, options);
    for (const std::size_t u : order) {
        gather(network, links, u, options.frequency_factor, loads);
        split_among_leaving(network, links, u, options.min_slope, loads);
    }
    return loads;
}

std::vector<std::string> split_notes(const Network& network, const Links& links,
                                     const DesignOptions& options) {
    std::vector<std::string> notes;
    if (options.flow_split != FlowSplit::whole) return notes;
    for (std::size_t u = 0; u < network.nodes.size(); ++u) {
        const std::size_t count = links.outflow_count(u);
        if (count < 2) continue;
        std::string pipes;
        for (std::size_t s = links.out_begin[u]; s < links.out_begin[u + 1]; ++s) {
            if (!pipes.empty()) pipes += ", ";
            pipes += network.pipes[links.out_pipes[s]].id;
        }
        notes.push_back("structure " + network.nodes[u].id + " has " + std::to_string(count) +
                        " pipes leaving it (" + pipes +
                        "): each carries the whole C*A and inflow that reach it, counted again "
                        "where the routes meet; flow_split \"capacity\" divides them");
    }
    return notes;
}

}  // namespace rillway::network
