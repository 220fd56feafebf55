#include "network/grade_line.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "network/profile.hpp"
#include "network/solvers.hpp"

namespace rillway::network {

namespace {

constexpr double kAdverseSlope = -1e-6;     // steeper uphill than this, a pipe is adverse
constexpr double kFullChargeRatio = 3.2;    // HEC-22: d / D_o from which the structure runs full

}  // namespace

double turn_cosine(double ax, double ay, double bx, double by) noexcept {
    const double len_a = std::sqrt(ax * ax + ay * ay);
    const double len_b = std::sqrt(bx * bx + by * by);
    if (len_a == 0.0 || len_b == 0.0) return 1.0;
    return std::clamp((ax * bx + ay * by) / (len_a * len_b), -1.0, 1.0);
}

double bend_coefficient(double bend_loss_coeff, double cos_phi) noexcept {
    if (bend_loss_coeff <= 0.0) return 0.0;
    return 0.5 * bend_loss_coeff * (1.0 - cos_phi);
}

double hec22_coefficient(double b, double d_out, double d_in, double cos_theta,
                         double depth_ratio) noexcept {
    if (d_out <= 0.0) return 0.0;
    const double sin_theta = std::sqrt(1.0 - cos_theta * cos_theta);
    const double b_ratio = b / d_out;
    const double k0 = 1.4 * std::pow(b_ratio, 0.15) * sin_theta + 0.1 * b_ratio * (1.0 - sin_theta);
    const double c_d = depth_ratio >= kFullChargeRatio
                           ? 1.0
                           : std::clamp(0.5 * std::pow(depth_ratio, 0.6), 0.0, 1.0);
    double c_big_d = 1.0;
    if (!(d_in <= 0.0 || depth_ratio < kFullChargeRatio)) {
        const double r = d_out / d_in;
        c_big_d = r * r * r;
    }
    return c_big_d * k0 * c_d;
}

namespace {

// Standard junction-and-bend loss of pipe p (u -> v) at u, where the water turns from u's first
// inflow (w -> u) into p: the structure in which the turn happens carries its loss, as in the
// HEC-22 method below.
double standard_loss(const Network& network, const Links& links, std::size_t p, double velocity,
                     const DesignOptions& options) {
    const std::size_t u = links.from[p];
    const std::size_t v = links.to[p];
    double k_bend = 0.0;
    if (options.bend_loss_coeff > 0.0 && links.inflow_count(u) > 0) {
        const std::size_t w = links.from[links.in_pipes[links.in_begin[u]]];
        const Node& nw = network.nodes[w];
        const Node& nu = network.nodes[u];
        const Node& nv = network.nodes[v];
        const double cos_phi = turn_cosine(nu.x - nw.x, nu.y - nw.y, nv.x - nu.x, nv.y - nu.y);
        k_bend = bend_coefficient(options.bend_loss_coeff, cos_phi);
    }
    return velocity * velocity * (k_bend + options.junction_k) / kTwoG;
}

// HEC-22 access-hole loss of pipe p (u -> v) at u, from u's first inflow into p.
double hec22_loss(const Network& network, const Links& links, std::size_t p, double velocity,
                  double w, double z_up, const DesignOptions& options) {
    const std::size_t u = links.from[p];
    const std::size_t v = links.to[p];
    const double d_out = network.pipes[p].section.rise;
    double d_in = 0.0;
    double cos_theta = 1.0;
    if (links.inflow_count(u) > 0) {
        const std::size_t inflow = links.in_pipes[links.in_begin[u]];
        const Node& nw = network.nodes[links.from[inflow]];
        const Node& nu = network.nodes[u];
        const Node& nv = network.nodes[v];
        cos_theta = turn_cosine(nu.x - nw.x, nu.y - nw.y, nv.x - nu.x, nv.y - nu.y);
        d_in = network.pipes[inflow].section.rise;
    }
    double k = 0.0;
    if (d_out > 0.0) {
        const double depth_ratio = std::fmax(w - z_up, 0.0) / d_out;
        k = hec22_coefficient(options.access_hole_diameter, d_out, d_in, cos_theta, depth_ratio);
    }
    const double factor = options.hec22_factor > 0.0 ? options.hec22_factor : 1.0;
    return std::fmax(k * factor, 0.0) * (velocity * velocity) / kTwoG;
}

}  // namespace

std::vector<double> grade_line(const Network& network, const Links& links,
                               const std::vector<std::size_t>& order,
                               std::vector<PipeResult>& pipes, const DesignOptions& options,
                               const PipeSolvers& solvers) {
    constexpr double kUnset = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> hgl(network.nodes.size(), kUnset);

    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const std::size_t v = *it;
        const Node& node = network.nodes[v];
        if (node.kind == NodeKind::outfall && std::isnan(hgl[v])) {
            hgl[v] = options.tailwater ? *options.tailwater : node.invert;
        }
        if (std::isnan(hgl[v])) hgl[v] = node.invert;  // reached by no pipe
        const double h_v = hgl[v];

        for (std::size_t s = links.in_begin[v]; s < links.in_begin[v + 1]; ++s) {
            const std::size_t p = links.in_pipes[s];
            const Pipe& pipe = network.pipes[p];
            PipeResult& flow = pipes[p];
            flow.hgl_dn = h_v;
            if (flow.slope < kAdverseSlope) continue;  // the upstream end stays unknown

            const Conduit conduit = conduit_of(pipe, flow);
            const WaterSurface w = upstream_surface(conduit, h_v, solvers.backwater_surface);

            double loss = 0.0;
            if (!w.free_outlet) {
                loss = options.method() == LossMethod::hec22
                           ? hec22_loss(network, links, p, flow.velocity, w.level, flow.z_up, options)
                           : standard_loss(network, links, p, flow.velocity, options);
            }
            double upstream = w.level + loss;
            // The still water that drives q into the pipe stands at least at the pipe's critical
            // energy, on either side of the steep test: the subcritical branch alone can give
            // less (about y_c + K V_c^2/2g where the profile starts near critical depth), and
            // the level would then drop as a rising flow makes the pipe steep. The free outlet
            // stands exactly there already.
            if (flow.design_q > 0.0 && !w.free_outlet) {
                upstream = std::fmax(upstream, critical_energy(conduit));
            }
            flow.hgl_up = upstream;
            const std::size_t u = links.from[p];
            hgl[u] = std::fmax(hgl[u], upstream);  // NaN on either side never wins
        }
    }
    return hgl;
}

}  // namespace rillway::network
