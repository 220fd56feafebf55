#include "network/design_pass.hpp"

#include <cmath>

#include "hydraulics/constants.hpp"
#include "hydraulics/depth_solvers.hpp"
#include "hydraulics/manning.hpp"

namespace rillway::network {

using hydraulics::kGravityUs;
using hydraulics::kManningUs;

namespace {

// Below this magnitude a geometric slope counts as flat and the design uses min_slope.
constexpr double kFlatSlope = 1e-6;

}  // namespace

double design_intensity(double tc, const IdfParams& idf,
                        const std::optional<double>& override_intensity) noexcept {
    if (override_intensity) return *override_intensity;
    return idf.a / std::pow(std::fmax(tc, 0.0) + idf.b, idf.c);
}

PipeFlow design_pipe(const hydraulics::Section& section, double n, double length, double z_up,
                     double z_dn, double q, double intensity, double min_slope,
                     hydraulics::Evaluation evaluation) {
    const bool reference = evaluation == hydraulics::Evaluation::reference;
    PipeFlow flow;
    flow.z_up = z_up;
    flow.z_dn = z_dn;
    flow.slope = length > 0.0 ? (z_up - z_dn) / length : 0.0;
    flow.design_slope = std::fabs(flow.slope) < kFlatSlope ? min_slope : flow.slope;
    flow.intensity = intensity;
    flow.q = q;

    // One scan serves both the peak capacity and the normal-depth bracket.
    const hydraulics::PeakFlow peak =
        reference ? hydraulics::reference::peak_flow_scan(section, n, flow.design_slope, kManningUs)
                  : hydraulics::peak_flow_scan(section, n, flow.design_slope, kManningUs);
    flow.peak_capacity = peak.flow;
    if (q <= 0.0) {
        flow.normal_depth = 0.0;
    } else if (n <= 0.0) {
        flow.normal_depth = std::nullopt;  // no roughness, no uniform flow (also for a NaN q)
    } else {
        const double s = flow.design_slope;
        flow.normal_depth =
            reference ? hydraulics::reference::normal_depth(q, n, s, section, kManningUs, peak)
                      : hydraulics::normal_depth(q, n, s, section, kManningUs, peak);
    }
    flow.critical_depth = reference ? hydraulics::reference::critical_depth(q, section, kGravityUs)
                                    : hydraulics::critical_depth(q, section, kGravityUs);
    flow.surcharged = q > flow.peak_capacity;

    double area = 0.0;
    if (flow.surcharged) {
        area = section.full_area();
    } else {
        const double depth = flow.normal_depth ? *flow.normal_depth : section.rise;
        area = reference ? section.geometry(depth).area
                         : section.geometry(depth, hydraulics::GeometryParts::area).area;
    }
    flow.velocity = area > 0.0 ? q / area : 0.0;
    flow.travel_time = flow.velocity > 0.0 ? length / flow.velocity / 60.0 : 0.0;
    return flow;
}

DesignPassResult design_pass(const Network& network, const Links& links,
                             const std::vector<std::size_t>& order,
                             const std::vector<double>& total_ca, const IdfParams& idf,
                             const DesignOptions& options, hydraulics::Evaluation evaluation) {
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
            const Node& down = network.nodes[links.to[p]];
            const double z_up = pipe.invert_up ? *pipe.invert_up : node.invert;
            const double z_dn = pipe.invert_dn ? *pipe.invert_dn : down.invert;
            result.pipes[p] = design_pipe(pipe.section, pipe.n, pipe.length, z_up, z_dn,
                                          total_ca[u] * intensity, intensity, options.min_slope,
                                          evaluation);
        }
    }
    return result;
}

}  // namespace rillway::network
