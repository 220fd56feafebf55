// The backwater profile computed as written: the depth terms afresh at every trial depth. The
// production profile (network/profile.cpp) must return the same bits in every case.

#include <cmath>

#include "hydraulics/constants.hpp"
#include "reference/analysis.hpp"

namespace rillway::network::reference {

using hydraulics::kBisectTolerance;

namespace {

// Signs agree only when both are non-zero numbers on the same side.
bool same_sign(double a, double b) noexcept { return (a > 0.0 && b > 0.0) || (a < 0.0 && b < 0.0); }

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

}  // namespace rillway::network::reference
