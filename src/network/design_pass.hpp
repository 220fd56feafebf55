#pragma once
// The rational-method design pass: walks the routing order from the sources to the outfalls,
// giving every node its time of concentration and every pipe its intensity, design flow,
// slopes, capacities, normal and critical depth, velocity and travel time.
//
// Glossary: tc time of concentration (min), i intensity (in/hr), C*A runoff-weighted area (ac),
// Q design flow (cfs), S slope (ft/ft), y depth (ft), V velocity (ft/s), n Manning roughness.

#include <cstddef>
#include <optional>
#include <vector>

#include "hydraulics/section.hpp"
#include "network/analysis.hpp"
#include "network/loads.hpp"
#include "network/network.hpp"
#include "network/routing.hpp"
#include "network/solvers.hpp"

namespace rillway::network {

// Hydraulics of one pipe carrying q: every field of its result but the ids, total_ca, tc and
// the grade line. Requires a rise that is a number >= 0.
[[nodiscard]] PipeResult design_pipe(const hydraulics::Section& section, double n, double length,
                                     double z_up, double z_dn, double q, double intensity,
                                     double min_slope,
                                     const PipeSolvers& solvers = production_solvers());

// The slope the hydraulics use: the geometric one, or min_slope where that is flat.
[[nodiscard]] double design_slope(double slope, double min_slope) noexcept;

// design_pipe for all of a pipe's barrels carrying q together: the hydraulics are those of one
// barrel carrying pipe.barrel_flow(q); design_q, capacity and peak_capacity are the whole
// pipe's (so pct_full and the surcharge are the barrel's).
[[nodiscard]] PipeResult design_barrels(const Pipe& pipe, double z_up, double z_dn, double q,
                                        double intensity, double min_slope,
                                        const PipeSolvers& solvers = production_solvers());

// i = a / (max(tc, 0) + b)^c, or the override when one is given.
[[nodiscard]] double design_intensity(double tc, const IdfParams& idf,
                                      const std::optional<double>& override_intensity) noexcept;

// The design flow of pipe p leaving a structure at this intensity: its C*A times the
// intensity plus its known inflow; under min_flow_from_upstream at least its share of the
// largest design flow among the pipes entering the structure (whose results `pipes` holds),
// which sets `raised`.
struct DesignFlow {
    double q = 0.0;       // cfs
    bool raised = false;  // the flow from upstream decided it
};
[[nodiscard]] DesignFlow design_flow(const Loads& loads, const Links& links, std::size_t p,
                                     double intensity, const std::vector<PipeResult>& pipes,
                                     bool min_flow_from_upstream) noexcept;

struct DesignPassResult {
    std::vector<double> tc;         // per node, min
    std::vector<PipeResult> pipes;  // per pipe, complete but for the grade line
};

[[nodiscard]] DesignPassResult design_pass(const Network& network, const Links& links,
                                           const std::vector<std::size_t>& order,
                                           const Loads& loads,
                                           const IdfParams& idf, const DesignOptions& options,
                                           const PipeSolvers& solvers);

}  // namespace rillway::network
