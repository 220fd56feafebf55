#include "hydraulics/section.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "hydraulics/constants.hpp"

namespace rillway::hydraulics {

void require_valid_rise(double rise) {
    if (!(rise >= 0.0)) {
        throw SectionInvariantError("section rise must be a number of zero or more, got " +
                                    std::to_string(rise));
    }
}

namespace {

double clamp_depth(double depth, double rise) noexcept {
    // NaN depth stays NaN: std::max/min would pick the bound, so compare explicitly.
    double y = depth < 0.0 ? 0.0 : depth;
    return y > rise ? rise : y;
}

double ratio_or_zero(double area, double perimeter) noexcept {
    return perimeter > 0.0 ? area / perimeter : 0.0;
}

SectionGeometry rectangular_geometry(double y, double span) noexcept {
    SectionGeometry g;
    g.area = y * span;
    g.wetted_perimeter = 2.0 * y + span;  // floor and walls; the roof never counts
    g.hydraulic_radius = ratio_or_zero(g.area, g.wetted_perimeter);
    g.top_width = span;
    return g;
}

SectionGeometry elliptical_geometry(double y, double rise, double span) {
    // The ellipse is the circle of diameter H stretched horizontally by m = B/H.
    const double m = span / rise;
    const SectionGeometry circle = circular_segment(y, rise);
    SectionGeometry g;
    g.area = m * circle.area;
    g.top_width = m * circle.top_width;
    g.wetted_perimeter = elliptical_wetted_perimeter(y, rise, span);
    g.hydraulic_radius = ratio_or_zero(g.area, g.wetted_perimeter);
    return g;
}

SectionGeometry arch_geometry(double y, double rise, double span) noexcept {
    const double r = span / 2.0;                  // crown radius
    const double w = std::max(rise - r, 0.0);     // wall height below the springing line
    SectionGeometry g;
    if (y <= w) {
        g.area = y * span;
        g.wetted_perimeter = 2.0 * y + span;
        g.top_width = span;
    } else {
        const double z = std::min(y - w, r);      // surface height above the springing line
        const double c = std::sqrt(std::max(r * r - z * z, 0.0));  // half-chord at the surface
        const double phi = std::asin(std::clamp(z / r, -1.0, 1.0));
        g.area = span * w + r * r * phi + z * c;
        g.wetted_perimeter = 2.0 * w + span + 2.0 * r * phi;
        g.top_width = 2.0 * c;
    }
    g.hydraulic_radius = ratio_or_zero(g.area, g.wetted_perimeter);
    return g;
}

}  // namespace

SectionGeometry circular_segment(double y, double diameter) noexcept {
    const double theta = 2.0 * std::acos(1.0 - 2.0 * y / diameter);  // central angle under water
    SectionGeometry g;
    g.area = (theta - std::sin(theta)) * (diameter * diameter * 0.125);
    g.wetted_perimeter = diameter * theta / 2.0;
    g.hydraulic_radius = ratio_or_zero(g.area, g.wetted_perimeter);
    g.top_width = diameter * std::sin(theta / 2.0);
    return g;
}

SectionGeometry circular_geometry(double depth, double diameter) {
    require_valid_rise(diameter);
    return circular_segment(clamp_depth(depth, diameter), diameter);
}

SectionGeometry Section::geometry(double depth) const {
    require_valid_rise(rise);
    const double y = clamp_depth(depth, rise);
    switch (kind) {
        case SectionKind::circular: return circular_segment(y, rise);
        case SectionKind::rectangular: return rectangular_geometry(y, span);
        case SectionKind::elliptical: return elliptical_geometry(y, rise, span);
        case SectionKind::arch: return arch_geometry(y, rise, span);
    }
    return {};
}

double Section::full_area() const noexcept {
    switch (kind) {
        case SectionKind::circular: return kPi * rise * rise * 0.25;
        case SectionKind::rectangular: return rise * span;
        case SectionKind::elliptical: return rise * (span * kPi) * 0.25;
        case SectionKind::arch: {
            const double r = span / 2.0;
            const double w = std::max(rise - r, 0.0);
            return kPi * r * r * 0.5 + w * span;
        }
    }
    return 0.0;
}

double Section::full_perimeter() const {
    switch (kind) {
        case SectionKind::circular: return kPi * rise;
        case SectionKind::rectangular: return 2.0 * (span + rise);
        case SectionKind::elliptical: return elliptical_wetted_perimeter(rise, rise, span);
        case SectionKind::arch: {
            const double w = std::max(rise - span / 2.0, 0.0);
            return 0.5 * span * kPi + (2.0 * w + span);
        }
    }
    return 0.0;
}

double Section::full_hydraulic_radius() const {
    // An elliptical full perimeter integrates over the rise, so a negative rise still throws.
    const double perimeter = full_perimeter();
    return perimeter > 0.0 ? full_area() / perimeter : 0.0;
}

double elliptical_wetted_perimeter(double depth, double rise, double span) {
    require_valid_rise(rise);
    const double a = span / 2.0;  // horizontal semi-axis
    const double b = rise / 2.0;  // vertical semi-axis
    if (b <= 0.0) return 0.0;
    const double y = clamp_depth(depth, rise);
    // Parametrised from the invert: x = a sin t, height = b (1 - cos t).
    const double u = std::clamp(1.0 - y / b, -1.0, 1.0);
    const double t_surface = std::acos(u);
    const double h = t_surface * (1.0 / kSimpsonIntervals);
    if (h <= 0.0) return 0.0;  // dry
    const auto integrand = [a, b](double t) {
        const double ac = a * std::cos(t);
        const double bs = b * std::sin(t);
        return std::sqrt(ac * ac + bs * bs);
    };
    double sum = a + integrand(t_surface);
    for (int i = 1; i < kSimpsonIntervals; ++i) {
        sum += (i % 2 == 1 ? 4.0 : 2.0) * integrand(i * h);
    }
    return (h / 3.0) * 2.0 * sum;  // one side doubled: the surface cuts both walls
}

}  // namespace rillway::hydraulics
