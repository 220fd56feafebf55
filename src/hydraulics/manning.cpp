#include "hydraulics/manning.hpp"

#include <algorithm>
#include <cmath>

#include "hydraulics/constants.hpp"
#include "hydraulics/peak_search.hpp"

namespace rillway::hydraulics {

double manning_flow(const SectionGeometry& g, double n, double slope, double k) noexcept {
    if (n <= 0.0) return 0.0;
    return conveyance(g.area, g.hydraulic_radius, n, k) * std::sqrt(std::max(slope, 0.0));
}

double manning_flow(const Section& section, double n, double slope, double depth, double k) {
    // The top width plays no part, so it is not computed.
    return manning_flow(section.geometry(depth, GeometryParts::conveyance), n, slope, k);
}

PeakFlow peak_flow_scan(const Section& section, double n, double slope, double k) {
    require_valid_rise(section.rise);
    PeakFlow best;
    if (n <= 0.0) return best;
    // With S <= 0 or not a number every sample is 0 or not a number: none beats the first 0.
    if (!(slope > 0.0)) return best;
    if (const std::optional<PeakFlow> peak = windowed_peak(section, n, slope, k)) return *peak;
    for (int i = 1; i <= kScanPoints; ++i) {
        const double y = i * section.rise / kScanPoints;
        const double q = manning_flow(section, n, slope, y, k);
        if (q > best.flow) {  // NaN never replaces the best
            best.flow = q;
            best.depth = y;
        }
    }
    return best;
}

double circular_q(double diameter, double n, double slope, double depth, double k) {
    return manning_flow(Section::circular(diameter), n, slope, depth, k);
}

PeakFlow max_capacity(double diameter, double n, double slope, double k) {
    return peak_flow_scan(Section::circular(diameter), n, slope, k);
}

double just_full_capacity(double diameter, double n, double slope, double k) noexcept {
    const double area = kPi * diameter * diameter * 0.25;
    const double radius = diameter * 0.25;
    return conveyance(area, radius, n, k) * std::sqrt(std::max(slope, 0.0));
}

double full_flow_capacity(const Section& section, double n, double slope, double k) {
    if (n <= 0.0) return 0.0;
    return std::sqrt(std::fmax(slope, 0.0)) * std::pow(section.full_hydraulic_radius(), kTwoThirds) *
           (k / n) * section.full_area();
}

}  // namespace rillway::hydraulics
