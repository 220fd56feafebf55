#pragma once
// What reaches each structure and what each pipe leaving it takes: the accumulated C*A, the
// known inflow, and their split among the pipes where several leave one structure.
//
// Glossary: C*A runoff-weighted area (ac), Q known inflow (cfs), share the fraction of what
// reaches a structure that one leaving pipe takes (1 for every pipe under FlowSplit::whole).

#include <cstddef>
#include <string>
#include <vector>

#include "network/network.hpp"
#include "network/routing.hpp"

namespace rillway::network {

struct Loads {
    std::vector<double> ca;      // per node: C*A reaching it, acres
    std::vector<double> inflow;  // per node: known inflow reaching it, cfs; empty: none anywhere
    std::vector<double> share;   // per pipe; empty: every pipe takes the whole (FlowSplit::whole)

    [[nodiscard]] double share_of(std::size_t p) const noexcept {
        return share.empty() ? 1.0 : share[p];
    }
    // The pipe's part of what reaches its upper structure. Under the whole split the product
    // is never formed, so the totals stay those of the plain accumulation to the bit.
    [[nodiscard]] double pipe_ca(const Links& links, std::size_t p) const noexcept {
        return share.empty() ? ca[links.from[p]] : share[p] * ca[links.from[p]];
    }
    [[nodiscard]] double pipe_inflow(const Links& links, std::size_t p) const noexcept {
        if (inflow.empty()) return 0.0;
        return share.empty() ? inflow[links.from[p]] : share[p] * inflow[links.from[p]];
    }
};

// Empty loads sized for the network: shares only under FlowSplit::capacity, inflows only when
// some node has one. gather() then fills them structure by structure.
[[nodiscard]] Loads empty_loads(const Network& network, const DesignOptions& options);

// What reaches u: min(c * frequency_factor, 1) * area of the node itself, then the parts of
// its entering pipes in pipe-list order; the same for the known inflow. The pipes entering u
// must have their shares, the structures above u their loads.
void gather(const Network& network, const Links& links, std::size_t u, double frequency_factor,
            Loads& loads);

// Under FlowSplit::capacity, the shares of the pipes leaving u in proportion to their
// full-flow Manning capacities at their design slopes (an adverse pipe has none); equal shares
// when none of them has a positive capacity. Does nothing under FlowSplit::whole.
void split_among_leaving(const Network& network, const Links& links, std::size_t u,
                         double min_slope, Loads& loads);

// The loads of the network as it stands, structure by structure in the routing order.
[[nodiscard]] Loads route_loads(const Network& network, const Links& links,
                                const std::vector<std::size_t>& order,
                                const DesignOptions& options);

// One line per structure with several pipes leaving it, in node order, naming the structure,
// its pipes and the reading taken ("structure J1 has 2 pipes leaving it (P2, R1): each carries
// the whole C*A and inflow that reach it; flow_split \"capacity\" divides them").
[[nodiscard]] std::vector<std::string> split_notes(const Network& network, const Links& links,
                                                   const DesignOptions& options);

}  // namespace rillway::network
