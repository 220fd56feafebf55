#include "network/grade_line.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>

#include "hydraulics/constants.hpp"
#include "hydraulics/perimeter_bounds.hpp"

namespace rillway::network {

using hydraulics::kBisectTolerance;
using hydraulics::kManningUs;
using hydraulics::kTwoThirds;

namespace {

constexpr double kTwoG = 64.4;              // 2 * 32.2 ft/s2: hv = V^2 / 64.4
constexpr double kAdverseSlope = -1e-6;     // steeper uphill than this, a pipe is adverse
constexpr double kSupercriticalRatio = 0.98;  // y_n below 98 % of y_c is treated as supercritical
constexpr double kMinLength = 1e-9;         // ft; shorter pipes are not profiled
constexpr double kFullChargeRatio = 3.2;    // HEC-22: d / D_o from which the structure runs full

// (Q / conveyance)^2, 0 without roughness or conveyance.
double friction_slope_of(double q, double n, double area, double hydraulic_radius) noexcept {
    if (n <= 0.0) return 0.0;
    const double conveyance = (kManningUs / n) * area * std::pow(hydraulic_radius, kTwoThirds);
    if (!(conveyance > 0.0)) return 0.0;
    const double ratio = q / conveyance;
    return ratio * ratio;
}

// Signs agree only when both are non-zero numbers on the same side.
bool same_sign(double a, double b) noexcept { return (a > 0.0 && b > 0.0) || (a < 0.0 && b < 0.0); }

double surcharged_surface(const Conduit& c, double h_v) {
    const hydraulics::Section& s = c.section;
    const double sf_full = friction_slope_of(c.q, c.n, s.full_area(), s.full_hydraulic_radius());
    return std::fmax(h_v, c.z_dn + s.rise) + c.length * sf_full;
}

}  // namespace

namespace {

// Sf and hv from the geometry at an already clamped depth.
DepthTerms terms_of(const hydraulics::SectionGeometry& g, double n, double q) noexcept {
    DepthTerms terms;
    terms.friction_slope = friction_slope_of(q, n, g.area, g.hydraulic_radius);
    if (g.area <= 0.0) {
        terms.velocity_head = 0.0;
    } else {
        const double v = q / g.area;
        terms.velocity_head = v * v / kTwoG;
    }
    return terms;
}

// Explicit comparisons keep a NaN depth NaN; the caller guarantees rise >= 1e-4.
double profile_depth(double depth, double rise) noexcept {
    const double y = depth < kMinProfileDepth ? kMinProfileDepth : depth;
    return y > rise ? rise : y;
}

}  // namespace

DepthTerms depth_terms(const hydraulics::Section& section, double n, double q, double depth) {
    return terms_of(section.geometry(profile_depth(depth, section.rise)), n, q);
}

namespace {

// The sign of a profile residual, which is all the bisection reads of it.
enum class Sign { negative, zero, positive, not_a_number };

Sign sign_of(double value) noexcept {
    if (value > 0.0) return Sign::positive;
    if (value < 0.0) return Sign::negative;
    return value == 0.0 ? Sign::zero : Sign::not_a_number;
}

bool same_sign(Sign a, Sign b) noexcept {
    return a == b && (a == Sign::positive || a == Sign::negative);
}

bool within(double value, double lo, double hi) noexcept { return value >= lo && value <= hi; }

// A residual bound must clear zero by this share of the magnitudes it is made of before it
// decides: far above the few units in the last place by which pow may stray from monotone.
constexpr double kDecisionMargin = 1e-12;

// The profile's depth terms for one conduit: the terms at a depth, remembered for the two
// depths every reach asks for again (the full pipe at the top of the bracket, the critical
// depth at its foot), and the sign of a reach's energy residual, which for an ellipse is often
// settled by bounds on its perimeter.
class ProfileTerms {
public:
    // Perimeter bounds decide only where K/n and Q keep every conveyance and friction slope a
    // normal double, so that Sf grows with the perimeter without a jump to 0 or infinity.
    ProfileTerms(const Conduit& c, double critical)
        : c_(c),
          perimeters_(c.section),
          bounded_(perimeters_.active() && within(kManningUs / c.n, 0x1p-60, 0x1p60) &&
                   within(c.q, 0x1p-100, 0x1p100)),
          depths_{c.section.rise, profile_depth(critical, c.section.rise)} {}

    // depth_terms(section, n, q, depth), bit for bit.
    DepthTerms at(double depth) {
        const double y = profile_depth(depth, c_.section.rise);
        const int slot = y == depths_[0] ? 0 : y == depths_[1] ? 1 : -1;
        if (slot >= 0 && known_[slot]) return terms_[slot];
        const DepthTerms terms = compute(y);
        if (slot >= 0) {
            terms_[slot] = terms;
            known_[slot] = true;
        }
        return terms;
    }

    // The sign of (z_upper + t + hv(t)) - (e_down + dx (Sf(t) + sf_down) / 2).
    Sign residual(double t, double z_upper, double e_down, double dx, double sf_down) {
        const auto value = [&](const DepthTerms& up) {
            return (z_upper + t + up.velocity_head) -
                   (e_down + dx * (up.friction_slope + sf_down) / 2.0);
        };
        if (bounded_) {
            const double y = profile_depth(t, c_.section.rise);
            const bool remembered =
                (y == depths_[0] && known_[0]) || (y == depths_[1] && known_[1]);
            const auto range = remembered ? std::nullopt : perimeters_.bounds(y);
            if (range) {
                hydraulics::SectionGeometry g =
                    c_.section.geometry(y, hydraulics::GeometryParts::area);
                const auto terms_with = [&](double perimeter) {
                    g.wetted_perimeter = perimeter;
                    g.hydraulic_radius = hydraulics::hydraulic_radius(g.area, perimeter);
                    return terms_of(g, c_.n, c_.q);
                };
                if (range->exact) return sign_of(value(terms_with(range->lo)));
                // Sf rises with the perimeter, so the residual falls; R = 0 at P = 0 would
                // break that, so a range reaching 0 decides nothing.
                if (range->lo > 0.0) {
                    const DepthTerms wettest = terms_with(range->hi);
                    const double scale = std::fabs(z_upper) + std::fabs(t) +
                                         std::fabs(wettest.velocity_head) + std::fabs(e_down) +
                                         std::fabs(dx * (wettest.friction_slope + sf_down));
                    const double margin = kDecisionMargin * scale;
                    if (value(wettest) > margin) return Sign::positive;
                    if (value(terms_with(range->lo)) < -margin) return Sign::negative;
                }
            }
        }
        return sign_of(value(at(t)));
    }

private:
    // The terms at an already clamped depth; an ellipse's perimeter is remembered for bounds.
    DepthTerms compute(double y) {
        hydraulics::SectionGeometry g;
        if (perimeters_.active()) {
            g = c_.section.geometry(y, hydraulics::GeometryParts::area);
            g.wetted_perimeter = perimeters_.exact(y);
            g.hydraulic_radius = hydraulics::hydraulic_radius(g.area, g.wetted_perimeter);
        } else {
            g = c_.section.geometry(y, hydraulics::GeometryParts::conveyance);
        }
        return terms_of(g, c_.n, c_.q);
    }

    const Conduit& c_;
    hydraulics::PerimeterBounds perimeters_;
    bool bounded_;
    std::array<double, 2> depths_;  // the full pipe, the critical depth (clamped)
    std::array<DepthTerms, 2> terms_{};
    std::array<bool, 2> known_{};
};

}  // namespace

double backwater_surface(const Conduit& c, double h_v) {
    const double rise = c.section.rise;
    const double y_c1 = std::fmax(c.y_c, kMinProfileDepth);
    const double e0 = std::fmax(h_v, c.z_dn + y_c1);
    // No flow, no length, or a pipe too small for the depth clamp: carry the outlet surface up.
    if (c.q <= 0.0 || c.length <= kMinLength || rise < kMinProfileDepth) {
        return e0 + (c.z_up - c.z_dn);
    }

    const double dx = c.length / kProfileReaches;
    const double s0 = (c.z_up - c.z_dn) / c.length;
    ProfileTerms terms(c, y_c1);
    // The depth may exceed the rise; the section terms are then those of the full pipe.
    double y = std::fmax(e0 - c.z_dn, y_c1);
    for (int i = 0; i < kProfileReaches; ++i) {
        const double z_down = c.z_dn + static_cast<double>(i) * dx * s0;
        const double z_upper = c.z_dn + static_cast<double>(i + 1) * dx * s0;
        const DepthTerms down = terms.at(y);
        const double e_down = z_down + y + down.velocity_head;
        const double sf_down = down.friction_slope;
        const auto residual = [&](double t) {
            return terms.residual(t, z_upper, e_down, dx, sf_down);
        };

        double lo = y_c1;
        double hi = std::fmax(y + 2.0, 2.0 * rise);
        Sign s_lo = residual(lo);
        if (s_lo == Sign::zero) {
            y = y_c1;
            continue;
        }
        if (same_sign(s_lo, residual(hi))) {
            y = std::fmax(c.y_n, y_c1);  // no root in the bracket
            continue;
        }
        for (int k = 0; k < kProfileHalvings; ++k) {
            const double mid = (lo + hi) / 2.0;
            const Sign s_mid = residual(mid);
            if (same_sign(s_mid, s_lo)) {
                lo = mid;
                s_lo = s_mid;
            } else {
                hi = mid;
            }
            if (hi - lo < kBisectTolerance) break;
        }
        y = std::fmax((lo + hi) / 2.0, y_c1);
    }
    return c.z_up + y;
}

WaterSurface upstream_surface(const Conduit& c, double h_v) {
    if (c.surcharged) return {surcharged_surface(c, h_v), false};
    if (c.y_n < kSupercriticalRatio * c.y_c && c.z_dn + c.section.rise >= h_v) {
        return {c.z_up + c.y_n, true};
    }
    return {backwater_surface(c, h_v), false};
}

namespace reference {

double backwater_surface(const Conduit& c, double h_v) {
    const double rise = c.section.rise;
    const double y_c1 = std::fmax(c.y_c, kMinProfileDepth);
    const double e0 = std::fmax(h_v, c.z_dn + y_c1);
    // No flow, no length, or a pipe too small for the depth clamp: carry the outlet surface up.
    if (c.q <= 0.0 || c.length <= kMinLength || rise < kMinProfileDepth) {
        return e0 + (c.z_up - c.z_dn);
    }

    const double dx = c.length / kProfileReaches;
    const double s0 = (c.z_up - c.z_dn) / c.length;
    // The depth may exceed the rise; the section terms are then those of the full pipe.
    double y = std::fmax(e0 - c.z_dn, y_c1);
    for (int i = 0; i < kProfileReaches; ++i) {
        const double z_down = c.z_dn + static_cast<double>(i) * dx * s0;
        const double z_upper = c.z_dn + static_cast<double>(i + 1) * dx * s0;
        const DepthTerms down = depth_terms(c.section, c.n, c.q, y);
        const double e_down = z_down + y + down.velocity_head;
        const double sf_down = down.friction_slope;
        // Energy residual of a trial upstream depth t.
        const auto residual = [&](double t) {
            const DepthTerms up = depth_terms(c.section, c.n, c.q, t);
            return (z_upper + t + up.velocity_head) -
                   (e_down + dx * (up.friction_slope + sf_down) / 2.0);
        };

        double lo = y_c1;
        double hi = std::fmax(y + 2.0, 2.0 * rise);
        double f_lo = residual(lo);
        if (f_lo == 0.0) {
            y = y_c1;
            continue;
        }
        if (same_sign(f_lo, residual(hi))) {
            y = std::fmax(c.y_n, y_c1);  // no root in the bracket
            continue;
        }
        for (int k = 0; k < kProfileHalvings; ++k) {
            const double mid = (lo + hi) / 2.0;
            const double f_mid = residual(mid);
            if (same_sign(f_mid, f_lo)) {
                lo = mid;
                f_lo = f_mid;
            } else {
                hi = mid;
            }
            if (hi - lo < kBisectTolerance) break;
        }
        y = std::fmax((lo + hi) / 2.0, y_c1);
    }
    return c.z_up + y;
}

WaterSurface upstream_surface(const Conduit& c, double h_v) {
    if (c.surcharged) return {surcharged_surface(c, h_v), false};
    if (c.y_n < kSupercriticalRatio * c.y_c && c.z_dn + c.section.rise >= h_v) {
        return {c.z_up + c.y_n, true};
    }
    return {reference::backwater_surface(c, h_v), false};
}

}  // namespace reference

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

// Standard junction-and-bend loss of pipe p (u -> v), taken at v's turn into its first outflow.
double standard_loss(const Network& network, const Links& links, std::size_t p, double velocity,
                     const DesignOptions& options) {
    const std::size_t u = links.from[p];
    const std::size_t v = links.to[p];
    double k_bend = 0.0;
    if (options.bend_loss_coeff > 0.0 && links.outflow_count(v) > 0) {
        const std::size_t next = links.to[links.out_pipes[links.out_begin[v]]];
        const Node& nu = network.nodes[u];
        const Node& nv = network.nodes[v];
        const Node& nw = network.nodes[next];
        const double cos_phi = turn_cosine(nv.x - nu.x, nv.y - nu.y, nw.x - nv.x, nw.y - nv.y);
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

GradeLineResult grade_line(const Network& network, const Links& links,
                           const std::vector<std::size_t>& order,
                           const std::vector<PipeFlow>& flows, const DesignOptions& options,
                           hydraulics::Evaluation evaluation) {
    constexpr double kUnset = std::numeric_limits<double>::quiet_NaN();
    GradeLineResult result;
    result.node_hgl.assign(network.nodes.size(), kUnset);
    result.hgl_up.assign(network.pipes.size(), std::nullopt);
    result.hgl_dn.assign(network.pipes.size(), std::nullopt);
    std::vector<double>& hgl = result.node_hgl;

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
            const PipeFlow& flow = flows[p];
            result.hgl_dn[p] = h_v;
            if (flow.slope < kAdverseSlope) continue;  // the upstream end stays unknown

            Conduit conduit;
            conduit.section = pipe.section;
            conduit.n = pipe.n;
            conduit.length = pipe.length;
            conduit.z_up = flow.z_up;
            conduit.z_dn = flow.z_dn;
            conduit.q = flow.q;
            conduit.y_n = flow.normal_depth ? *flow.normal_depth : pipe.section.rise;
            conduit.y_c = flow.critical_depth;
            conduit.surcharged = flow.surcharged;
            const WaterSurface w = evaluation == hydraulics::Evaluation::reference
                                       ? reference::upstream_surface(conduit, h_v)
                                       : upstream_surface(conduit, h_v);

            double loss = 0.0;
            if (!w.free_outlet) {
                loss = options.hec22_structure_loss
                           ? hec22_loss(network, links, p, flow.velocity, w.level, flow.z_up, options)
                           : standard_loss(network, links, p, flow.velocity, options);
            }
            const double upstream = w.level + loss;
            result.hgl_up[p] = upstream;
            const std::size_t u = links.from[p];
            hgl[u] = std::fmax(hgl[u], upstream);  // NaN on either side never wins
        }
    }
    return result;
}

}  // namespace rillway::network
