#include "hydraulics/depth_solvers.hpp"

#include "hydraulics/constants.hpp"
#include "hydraulics/perimeter_bounds.hpp"
#include "hydraulics/premises.hpp"

namespace rillway::hydraulics {

namespace {

using premises::kDecisionMargin;

// Answers manning_flow(section, n, S, depth, K) > q, as that computation would, integrating an
// elliptical perimeter only when its bounds leave the answer open.
class FlowAbove {
public:
    FlowAbove(const Section& section, double n, double slope, double k, double q)
        : section_(section), n_(n), slope_(slope), k_(k), q_(q), perimeters_(section),
          // Flows near a q this far above the subnormals keep their relative rounding bounds.
          bounded_(perimeters_.active() && q >= 0x1p-200) {}

    bool operator()(double depth) {
        if (!bounded_) return manning_flow(section_, n_, slope_, depth, k_) > q_;
        SectionGeometry g = section_.geometry(depth, GeometryParts::area);
        if (const auto range = perimeters_.bounds(depth)) {
            if (range->exact) return flow(g, range->lo) > q_;
            // The flow falls as the perimeter grows; R = 0 at P = 0 would break that.
            if (range->lo > 0.0) {
                if (flow(g, range->hi) > q_ * (1.0 + kDecisionMargin)) return true;
                if (flow(g, range->lo) < q_ * (1.0 - kDecisionMargin)) return false;
            }
        }
        return flow(g, perimeters_.exact(depth)) > q_;
    }

private:
    double flow(SectionGeometry& g, double perimeter) const {
        g.wetted_perimeter = perimeter;
        g.hydraulic_radius = hydraulic_radius(g.area, perimeter);
        return manning_flow(g, n_, slope_, k_);
    }

    const Section& section_;
    double n_;
    double slope_;
    double k_;
    double q_;
    PerimeterBounds perimeters_;
    bool bounded_;
};

}  // namespace

std::optional<double> normal_depth(double q, double n, double slope, const Section& section,
                                   double k, const PeakFlow& peak) {
    if (q <= 0.0) return 0.0;
    if (q > peak.flow) return std::nullopt;  // the pipe cannot pass q at any sampled depth
    // The upper end is the depth of the peak, so the lower of two candidate depths is found.
    FlowAbove above(section, n, slope, k, q);
    double lo = 0.0;
    double hi = peak.depth;
    for (int i = 0; i < kMaxHalvings; ++i) {
        const double mid = (lo + hi) * 0.5;
        if (above(mid)) {
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
        // The Froude condition needs no perimeter.
        const SectionGeometry geo = section.geometry(mid, GeometryParts::surface);
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

std::optional<double> normal_depth(double q, double diameter, double n, double slope, double k) {
    return normal_depth(q, n, slope, Section::circular(diameter), k);
}

double critical_depth(double q, double diameter, double g) {
    return critical_depth(q, Section::circular(diameter), g);
}

}  // namespace rillway::hydraulics
