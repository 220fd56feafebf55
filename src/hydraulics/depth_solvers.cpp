#include "hydraulics/depth_solvers.hpp"

#include "hydraulics/constants.hpp"

namespace rillway::hydraulics {

std::optional<double> normal_depth(double q, double n, double slope, const Section& section,
                                   double k, const PeakFlow& peak) {
    if (q <= 0.0) return 0.0;
    if (q > peak.flow) return std::nullopt;  // the pipe cannot pass q at any sampled depth
    // The upper end is the depth of the peak, so the lower of two candidate depths is found.
    double lo = 0.0;
    double hi = peak.depth;
    for (int i = 0; i < kMaxHalvings; ++i) {
        const double mid = (lo + hi) * 0.5;
        if (manning_flow(section, n, slope, mid, k) > q) {
            hi = mid;
        } else {
            lo = mid;
        }
        if (hi - lo < kBisectTolerance) break;
    }
    return (lo + hi) * 0.5;
}

std::optional<double> normal_depth(double q, double n, double slope, const Section& section,
                                   double k) {
    if (q <= 0.0) return 0.0;
    return normal_depth(q, n, slope, section, k, peak_flow_scan(section, n, slope, k));
}

double critical_depth(double q, const Section& section, double g) {
    if (q <= 0.0) return 0.0;
    require_valid_rise(section.rise);
    double lo = 0.000001 * section.rise;
    double hi = 0.999 * section.rise;
    for (int i = 0; i < kMaxHalvings; ++i) {
        const double mid = (lo + hi) * 0.5;
        const SectionGeometry geo = section.geometry(mid);
        const double a = geo.area;
        const double t = geo.top_width;
        // Supercritical at mid (Froude > 1): the critical depth lies deeper.
        if (a > 0.0 && t > 0.0 && t * (q * q) > g * (a * a * a)) {
            lo = mid;
        } else {
            hi = mid;
        }
        if (hi - lo < kBisectTolerance) break;
    }
    return (lo + hi) * 0.5;
}

std::optional<double> normal_depth(double q, double n, double slope, double diameter, double k) {
    return normal_depth(q, n, slope, Section::circular(diameter), k);
}

double critical_depth(double q, double diameter, double g) {
    return critical_depth(q, Section::circular(diameter), g);
}

}  // namespace rillway::hydraulics
