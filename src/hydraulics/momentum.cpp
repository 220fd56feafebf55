#include "hydraulics/momentum.hpp"

#include <array>
#include <cmath>

#include "hydraulics/constants.hpp"

namespace rillway::hydraulics {

namespace {

// Five-point Gauss-Legendre on equal panels: A(eta) is smooth inside the section, and its
// square-root shoulders at the invert and the crown of a round pipe cost a relative error below
// 1e-7 with 16 panels, far inside the depth tolerance the sequent depth is bisected to.
constexpr int kMomentPanels = 16;
constexpr std::array<double, 5> kGaussNodes = {-0.9061798459386640, -0.5384693101056831, 0.0,
                                               0.5384693101056831, 0.9061798459386640};
constexpr std::array<double, 5> kGaussWeights = {0.2369268850561891, 0.4786286704993665,
                                                 0.5688888888888889, 0.4786286704993665,
                                                 0.2369268850561891};

double area_at(const Section& section, double depth) {
    return section.geometry(depth, GeometryParts::area).area;
}

}  // namespace

double area_moment(const Section& section, double depth) {
    if (!(depth > 0.0)) return 0.0;
    const double wetted = std::fmin(depth, section.rise);
    const double h = wetted / kMomentPanels;
    double sum = 0.0;
    for (int panel = 0; panel < kMomentPanels; ++panel) {
        const double mid = (static_cast<double>(panel) + 0.5) * h;
        for (std::size_t k = 0; k < kGaussNodes.size(); ++k) {
            sum += kGaussWeights[k] * area_at(section, mid + kGaussNodes[k] * h / 2.0);
        }
    }
    double moment = sum * h / 2.0;
    // Full: the pressure on the section rises with the head over the crown.
    if (depth > section.rise) moment += section.full_area() * (depth - section.rise);
    return moment;
}

double specific_force(double q, const Section& section, double depth, double g) {
    const double area = area_at(section, depth);
    const double flux = area > 0.0 ? q * q / (g * area) : 0.0;
    return flux + area_moment(section, depth);
}

double sequent_depth(double q, const Section& section, double y1, double y_c, double g) {
    if (!(q > 0.0) || !(y1 < y_c) || !(y1 > 0.0) || !(section.full_area() > 0.0)) return y1;
    const double target = specific_force(q, section, y1, g);
    // Above y_c the specific force rises with depth (dM/dy = A (1 - Froude^2) > 0), and above
    // the rise by at least the full area per unit depth, so the bracket holds the one root.
    double lo = y_c;
    double hi = std::fmax(y_c, section.rise) + target / section.full_area();
    if (specific_force(q, section, lo, g) >= target) return lo;
    for (int k = 0; k < kMaxHalvings && hi - lo > kBisectTolerance; ++k) {
        const double mid = (lo + hi) / 2.0;
        if (specific_force(q, section, mid, g) < target) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return (lo + hi) / 2.0;
}

}  // namespace rillway::hydraulics
