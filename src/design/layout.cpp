#include "design/layout.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

#include "hydraulics/constants.hpp"
#include "hydraulics/depth_solvers.hpp"

namespace rillway::design {

using hydraulics::kManningUs;
using hydraulics::kTwoThirds;

namespace {

// Halvings of the bracket of the steepest slope; the bracket is at most a few decades wide, so
// the slope is found to about 1e-9 of itself, far below any grid step of the inverts.
constexpr int kSlopeHalvings = 40;

}  // namespace

double full_capacity(const hydraulics::Section& section, double n, double slope) {
    if (n <= 0.0) return 0.0;
    // The order of the factors is the analysis's own, so a capacity checked here is the
    // capacity the analysis reports, to the bit.
    return std::sqrt(std::fmax(slope, 0.0)) *
           std::pow(section.full_hydraulic_radius(), kTwoThirds) * (kManningUs / n) *
           section.full_area();
}

double self_cleansing_slope(const hydraulics::Section& section, double n, double v) {
    const double term = v * n / (kManningUs * std::pow(section.full_hydraulic_radius(), kTwoThirds));
    return term * term;
}

double capacity_slope(const hydraulics::Section& section, double n, double q) {
    const double unit = full_capacity(section, n, 1.0);  // the capacity at S = 1
    const double ratio = q / unit;
    return ratio * ratio;
}

double design_velocity(const hydraulics::Section& section, double n, double q, double slope) {
    if (!(q > 0.0)) return 0.0;
    const std::optional<double> depth = hydraulics::normal_depth(q, n, slope, section, kManningUs);
    const double area = depth ? section.geometry(*depth, hydraulics::GeometryParts::area).area
                              : section.full_area();
    return area > 0.0 ? q / area : 0.0;
}

SteepestSlope steepest_slope(const hydraulics::Section& section, double n, double q,
                             double s_low, double s_high, double v_max) {
    if (design_velocity(section, n, q, s_high) <= v_max) return {true, s_high};
    if (!(design_velocity(section, n, q, s_low) <= v_max)) return {};
    // The design velocity rises with the slope (the normal depth falls, and so the flow area),
    // so bisection on the slope keeps s_low within the limit throughout.
    double low = s_low;
    double high = s_high;
    for (int i = 0; i < kSlopeHalvings && high - low > 1e-6 * high; ++i) {
        const double mid = 0.5 * (low + high);
        if (design_velocity(section, n, q, mid) <= v_max) {
            low = mid;
        } else {
            high = mid;
        }
    }
    return {true, low};
}

Placement lay(const EndLimits& limits, double d, double s_low, const LevelGrid& grid) {
    double top = std::min(limits.crown_up - d, limits.invert_up);
    if (std::isinf(top) && top > 0.0) top = limits.fallback_up;
    Placement placement;
    placement.steps_up = grid.steps_below(top);
    const double z_up = grid.feet(placement.steps_up);
    // Rounding the lower end down keeps the slope at least s_low.
    placement.steps_dn = grid.steps_below(z_up - s_low * std::fmax(limits.length, 0.0));
    if (std::isfinite(limits.crown_dn)) {
        placement.steps_dn = std::min(placement.steps_dn, grid.steps_below(limits.crown_dn - d));
    }
    if (std::isfinite(limits.outfall_dn)) {
        placement.steps_dn = std::min(placement.steps_dn, grid.steps_below(limits.outfall_dn));
    }
    return placement;
}

Placement flatten(const Placement& placement, const EndLimits& limits, double s_high,
                  const LevelGrid& grid) {
    Placement flat = placement;
    const double length = std::fmax(limits.length, 0.0);
    if (std::isfinite(limits.outfall_dn)) {
        // Rounding the lower end up keeps the slope at most s_high.
        const double raised = grid.steps_above(grid.feet(placement.steps_up) - s_high * length);
        flat.steps_dn = std::max(placement.steps_dn, raised);
    } else {
        // Rounding the upper end down keeps the slope at most s_high.
        const double lowered = grid.steps_below(grid.feet(placement.steps_dn) + s_high * length);
        flat.steps_up = std::min(placement.steps_up, lowered);
    }
    return flat;
}

double slope_of(const Placement& placement, double length, const LevelGrid& grid) {
    if (!(length > 0.0)) return 0.0;
    return (grid.feet(placement.steps_up) - grid.feet(placement.steps_dn)) / length;
}

}  // namespace rillway::design
