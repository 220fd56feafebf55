#include "reference/hydraulics.hpp"

#include <algorithm>
#include <cmath>

#include "hydraulics/constants.hpp"

namespace rillway::hydraulics::reference {

double manning_flow(const Section& section, double n, double slope, double depth, double k) {
    const SectionGeometry g = section.geometry(depth);  // checks the rise first
    if (n <= 0.0) return 0.0;
    return (k / n) * g.area * std::pow(g.hydraulic_radius, kTwoThirds) *
           std::sqrt(std::max(slope, 0.0));
}

PeakFlow peak_flow_scan(const Section& section, double n, double slope, double k) {
    require_valid_rise(section.rise);
    PeakFlow best;
    if (n <= 0.0) return best;
    for (int i = 1; i <= kScanPoints; ++i) {
        const double y = i * section.rise / kScanPoints;
        const double q = reference::manning_flow(section, n, slope, y, k);
        if (q > best.flow) {  // NaN never replaces the best
            best.flow = q;
            best.depth = y;
        }
    }
    return best;
}

std::optional<double> normal_depth(double q, double n, double slope, const Section& section,
                                   double k, const PeakFlow& peak) {
    if (q <= 0.0) return 0.0;
    if (q > peak.flow) return std::nullopt;
    double lo = 0.0;
    double hi = peak.depth;
    for (int i = 0; i < kMaxHalvings; ++i) {
        const double mid = (lo + hi) * 0.5;
        if (reference::manning_flow(section, n, slope, mid, k) > q) {
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
    return reference::normal_depth(q, n, slope, section, k,
                                   reference::peak_flow_scan(section, n, slope, k));
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
        if (a > 0.0 && t > 0.0 && t * (q * q) > g * (a * a * a)) {
            lo = mid;
        } else {
            hi = mid;
        }
        if (hi - lo < kBisectTolerance) break;
    }
    return (lo + hi) * 0.5;
}

}  // namespace rillway::hydraulics::reference
