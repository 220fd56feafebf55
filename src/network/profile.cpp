#include "network/profile.hpp"

#include <array>
#include <cmath>
#include <optional>

#include "hydraulics/constants.hpp"
#include "hydraulics/manning.hpp"
#include "hydraulics/perimeter_bounds.hpp"
#include "hydraulics/premises.hpp"

namespace rillway::network {

using hydraulics::kBisectTolerance;
using hydraulics::kManningUs;
using hydraulics::premises::kDecisionMargin;
using hydraulics::premises::within;

namespace {

constexpr double kSupercriticalRatio = 0.98;  // y_n below 98 % of y_c is treated as supercritical

double surcharged_surface(const Conduit& c, double h_v) {
    const hydraulics::Section& s = c.section;
    const double sf_full = friction_slope(c.q, c.n, s.full_area(), s.full_hydraulic_radius());
    return std::fmax(h_v, c.z_dn + s.rise) + c.length * sf_full;
}

}  // namespace

Conduit conduit_of(const Pipe& pipe, const PipeResult& flow) {
    Conduit c;
    c.section = pipe.section;
    c.n = pipe.n;
    c.length = pipe.length;
    c.z_up = flow.z_up;
    c.z_dn = flow.z_dn;
    c.q = pipe.barrel_flow(flow.design_q);  // the grade line of one barrel
    c.y_n = flow.normal_depth ? *flow.normal_depth : pipe.section.rise;
    c.y_c = flow.critical_depth;
    c.surcharged = flow.over_peak;
    return c;
}

namespace {

// Sf and hv from the geometry at an already clamped depth.
DepthTerms terms_of(const hydraulics::SectionGeometry& g, double n, double q) noexcept {
    DepthTerms terms;
    terms.friction_slope = friction_slope(q, n, g.area, g.hydraulic_radius);
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

// The depth a reach starts from, as its residual needs it: the velocity head always (it needs
// only the area), the friction slope exactly or, for an ellipse, between the slopes of the
// bounds on its perimeter. A reach ends at the middle of its last bracket, a depth nothing has
// integrated at; most of the next reach's decisions hold for any friction slope in those
// bounds, so the integral is left until one does not, and the last reach never needs it.
struct ReachStart {
    double depth = 0.0;  // clamped
    double velocity_head = 0.0;
    double friction_low = 0.0;
    double friction_high = 0.0;
    bool exact = false;  // friction_low == friction_high is the friction slope
};

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
          bounded_(perimeters_.active() && hydraulics::premises::normal_size(kManningUs / c.n) &&
                   within(c.q, 0x1p-100, 0x1p100)),
          depths_{c.section.rise, profile_depth(critical, c.section.rise)} {}

    // depth_terms(section, n, q, depth), bit for bit.
    DepthTerms at(double depth) {
        const double y = profile_depth(depth, c_.section.rise);
        const int slot = remembered_slot(y);
        if (slot >= 0 && known_[slot]) return terms_[slot];
        const DepthTerms terms = compute(y);
        if (slot >= 0) {
            terms_[slot] = terms;
            known_[slot] = true;
        }
        return terms;
    }

    // The start of a reach at a depth: exact, or bounded when the perimeter is not known there.
    ReachStart start_at(double depth) {
        const double y = profile_depth(depth, c_.section.rise);
        if (bounded_ && !remembered(y)) {
            const auto range = perimeters_.bounds(y);
            if (range && !range->exact && range->lo > 0.0) {
                hydraulics::SectionGeometry g =
                    c_.section.geometry(y, hydraulics::GeometryParts::area);
                const DepthTerms driest = terms_with(g, range->lo);
                const DepthTerms wettest = terms_with(g, range->hi);
                return {y, driest.velocity_head, driest.friction_slope, wettest.friction_slope,
                        false};
            }
        }
        const DepthTerms terms = at(y);
        return {y, terms.velocity_head, terms.friction_slope, terms.friction_slope, true};
    }

    // The sign of (z_upper + t + hv(t)) - (e_down + dx (Sf(t) + sf_down) / 2), sf_down being the
    // friction slope of the reach's start, made exact here when its bounds leave the sign open.
    Sign residual(double t, double z_upper, double e_down, double dx, ReachStart& start) {
        if (bounded_) {
            if (const std::optional<Sign> sign = bounded_sign(t, z_upper, e_down, dx, start)) {
                return *sign;
            }
            make_exact(start);
        }
        return sign_of(residual_value(at(t), t, z_upper, e_down, dx, start.friction_low));
    }

private:
    static double residual_value(const DepthTerms& up, double t, double z_upper, double e_down,
                                 double dx, double sf_down) noexcept {
        return (z_upper + t + up.velocity_head) -
               (e_down + dx * (up.friction_slope + sf_down) / 2.0);
    }

    // The sign as the perimeter bounds at t and at the reach's start settle it, the start made
    // exact when that settles it; none when only the terms at t can.
    std::optional<Sign> bounded_sign(double t, double z_upper, double e_down, double dx,
                                     ReachStart& start) {
        const double y = profile_depth(t, c_.section.rise);
        DepthTerms wettest;
        DepthTerms driest;
        bool up_exact = false;
        if (remembered(y)) {
            wettest = driest = at(y);
            up_exact = true;
        } else {
            const auto range = perimeters_.bounds(y);
            if (!range || !(range->exact || range->lo > 0.0)) return std::nullopt;
            hydraulics::SectionGeometry g =
                c_.section.geometry(y, hydraulics::GeometryParts::area);
            if (range->exact) {
                wettest = driest = terms_with(g, range->lo);
                up_exact = true;
            } else {
                // Sf rises with the perimeter, so the residual falls; R = 0 at P = 0 would break
                // that, so a range reaching 0 decides nothing.
                wettest = terms_with(g, range->hi);
                driest = terms_with(g, range->lo);
            }
        }
        const auto value = [&](const DepthTerms& up, double sf_down) {
            return residual_value(up, t, z_upper, e_down, dx, sf_down);
        };
        for (;;) {
            if (up_exact && start.exact) return sign_of(value(wettest, start.friction_low));
            // The residual falls as either friction slope rises, and the margin covers the units
            // in the last place by which the slopes may stray from that order.
            const double scale = std::fabs(z_upper) + std::fabs(t) +
                                 std::fabs(wettest.velocity_head) + std::fabs(e_down) +
                                 std::fabs(dx * (wettest.friction_slope + start.friction_high));
            const double margin = kDecisionMargin * scale;
            if (value(wettest, start.friction_high) > margin) return Sign::positive;
            if (value(driest, start.friction_low) < -margin) return Sign::negative;
            if (start.exact) return std::nullopt;
            make_exact(start);
        }
    }

    int remembered_slot(double y) const noexcept {
        return y == depths_[0] ? 0 : y == depths_[1] ? 1 : -1;
    }

    bool remembered(double y) const noexcept {
        const int slot = remembered_slot(y);
        return slot >= 0 && known_[slot];
    }

    DepthTerms terms_with(hydraulics::SectionGeometry& g, double perimeter) const noexcept {
        g.wetted_perimeter = perimeter;
        g.hydraulic_radius = hydraulics::hydraulic_radius(g.area, perimeter);
        return terms_of(g, c_.n, c_.q);
    }

    void make_exact(ReachStart& start) {
        if (start.exact) return;
        const DepthTerms terms = at(start.depth);
        start.friction_low = start.friction_high = terms.friction_slope;
        start.exact = true;
    }

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
    if (c.q <= 0.0 || c.length <= kMinProfileLength || rise < kMinProfileDepth) {
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
        ReachStart start = terms.start_at(y);
        const double e_down = z_down + y + start.velocity_head;
        const auto residual = [&](double t) {
            return terms.residual(t, z_upper, e_down, dx, start);
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

double critical_energy(const Conduit& c) {
    // Only the velocity head is needed, so only the area is computed: an ellipse's perimeter
    // integral is most of the cost of its full geometry.
    const double y_c1 = std::fmax(c.y_c, kMinProfileDepth);
    const hydraulics::SectionGeometry g = c.section.geometry(
        profile_depth(y_c1, c.section.rise), hydraulics::GeometryParts::area);
    return c.z_up + y_c1 + terms_of(g, c.n, c.q).velocity_head;
}

WaterSurface upstream_surface(const Conduit& c, double h_v,
                              double (*backwater)(const Conduit&, double)) {
    if (c.surcharged) return {surcharged_surface(c, h_v), false};
    if (c.y_n < kSupercriticalRatio * c.y_c && c.z_dn + c.section.rise >= h_v) {
        // Water leaving a structure into a steep pipe passes critical depth at the entrance, so
        // the still water in the structure stands at least at the critical energy, not at the
        // normal depth further down the pipe.
        return {critical_energy(c), true};
    }
    return {backwater(c, h_v), false};
}

}  // namespace rillway::network
