#include "network/design_pass.hpp"

#include <cmath>

#include "hydraulics/constants.hpp"
#include "hydraulics/manning.hpp"

namespace rillway::network {

using hydraulics::kGravityUs;
using hydraulics::kManningUs;

namespace {

// Below this magnitude a geometric slope counts as flat and the design uses min_slope.
constexpr double kFlatSlope = 1e-6;

}  // namespace

double design_slope(double slope, double min_slope) noexcept {
    return std::fabs(slope) < kFlatSlope ? min_slope : slope;
}

DesignFlow design_flow(const Loads& loads, const Links& links, std::size_t p, double intensity,
                       const std::vector<PipeResult>& pipes, bool min_flow_from_upstream) noexcept {
    DesignFlow flow;
    flow.q = loads.pipe_ca(links, p) * intensity;
    // Added only where there is an inflow, so a network without one keeps its flows' bits.
    if (!loads.inflow.empty()) flow.q += loads.pipe_inflow(links, p);
    if (!min_flow_from_upstream) return flow;
    const std::size_t u = links.from[p];
    double upstream = 0.0;
    for (std::size_t s = links.in_begin[u]; s < links.in_begin[u + 1]; ++s) {
        upstream = std::fmax(upstream, pipes[links.in_pipes[s]].design_q);
    }
    upstream *= loads.share_of(p);
    if (upstream > flow.q) {
        flow.q = upstream;
        flow.raised = true;
    }
    return flow;
}

double design_intensity(double tc, const IdfParams& idf,
                        const std::optional<double>& override_intensity) noexcept {
    if (override_intensity) return *override_intensity;
    return idf.a / std::pow(std::fmax(tc, 0.0) + idf.b, idf.c);
}

PipeResult design_pipe(const hydraulics::Section& section, double n, double length, double z_up,
                       double z_dn, double q, double intensity, double min_slope,
                       const PipeSolvers& solvers) {
    PipeResult r;
    r.z_up = z_up;
    r.z_dn = z_dn;
    r.slope = length > 0.0 ? (z_up - z_dn) / length : 0.0;
    r.design_slope = design_slope(r.slope, min_slope);
    r.intensity = intensity;
    r.design_q = q;

    // One scan serves both the peak capacity and the normal-depth bracket.
    const hydraulics::PeakFlow peak = solvers.peak_flow_scan(section, n, r.design_slope, kManningUs);
    r.peak_capacity = peak.flow;
    if (q <= 0.0) {
        r.normal_depth = 0.0;
    } else if (n <= 0.0) {
        r.normal_depth = std::nullopt;  // no roughness, no uniform flow (also for a NaN q)
    } else {
        r.normal_depth = solvers.normal_depth(q, n, r.design_slope, section, kManningUs, peak);
    }
    r.critical_depth = solvers.critical_depth(q, section, kGravityUs);
    r.over_peak = q > r.peak_capacity;

    double area = 0.0;
    if (r.over_peak) {
        area = section.full_area();
    } else {
        area = solvers.flow_area(section, r.normal_depth ? *r.normal_depth : section.rise);
    }
    r.velocity = area > 0.0 ? q / area : 0.0;
    r.travel_time = r.velocity > 0.0 ? length / r.velocity / 60.0 : 0.0;

    const double full_area = section.full_area();
    r.capacity = hydraulics::full_flow_capacity(section, n, r.design_slope, kManningUs);
    r.full_flow_velocity = full_area > 0.0 ? r.capacity / full_area : 0.0;
    r.pct_full = r.capacity > 0.0 ? q / r.capacity : 0.0;
    // An adverse pipe, or one with neither a positive slope nor a positive capacity, is never
    // reported as surcharged: its zero capacity says nothing about the pipe running full.
    r.surcharged = r.over_peak && !(r.design_slope < 0.0) && !(r.slope <= 0.0 && r.capacity <= 0.0);
    return r;
}

PipeResult design_barrels(const Pipe& pipe, double z_up, double z_dn, double q, double intensity,
                          double min_slope, const PipeSolvers& solvers) {
    PipeResult r = design_pipe(pipe.section, pipe.n, pipe.length, z_up, z_dn, pipe.barrel_flow(q),
                               intensity, min_slope, solvers);
    if (pipe.barrels != 1) {
        const double barrels = pipe.barrels;
        r.design_q = q;
        r.capacity *= barrels;
        r.peak_capacity *= barrels;
    }
    return r;
}

DesignPassResult design_pass(const Network& network, const Links& links,
                             const std::vector<std::size_t>& order,
                             const Loads& loads, const IdfParams& idf,
                             const DesignOptions& options, const PipeSolvers& solvers) {
    DesignPassResult result;
    result.tc.assign(network.nodes.size(), 0.0);
    result.pipes.resize(network.pipes.size());

    for (const std::size_t u : order) {
        const Node& node = network.nodes[u];
        // fmax ignores a NaN operand, so one bad inflow time cannot hide the others.
        double tc = node.kind == NodeKind::outfall ? 0.0 : node.tc;
        for (std::size_t s = links.in_begin[u]; s < links.in_begin[u + 1]; ++s) {
            const std::size_t p = links.in_pipes[s];
            tc = std::fmax(tc, result.tc[links.from[p]] + result.pipes[p].travel_time);
        }
        tc = std::fmax(tc, options.min_tc);
        result.tc[u] = tc;

        if (links.outflow_count(u) == 0) continue;
        const double intensity = design_intensity(tc, idf, options.intensity_override);
        for (std::size_t s = links.out_begin[u]; s < links.out_begin[u + 1]; ++s) {
            const std::size_t p = links.out_pipes[s];
            const Pipe& pipe = network.pipes[p];
            const DesignFlow flow = design_flow(loads, links, p, intensity, result.pipes,
                                                options.min_flow_from_upstream);
            PipeResult& r = result.pipes[p];
            r = design_barrels(pipe, upstream_invert(network, links, p),
                               downstream_invert(network, links, p), flow.q, intensity,
                               options.min_slope, solvers);
            r.id = pipe.id;
            r.from = pipe.from;
            r.to = pipe.to;
            r.total_ca = loads.pipe_ca(links, p);
            r.tc = tc;
            r.flow_from_upstream = flow.raised;
        }
    }
    return result;
}

}  // namespace rillway::network
