#include "hydraulics/section.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <string>

#include "hydraulics/constants.hpp"

namespace rillway::hydraulics {

void require_valid_rise(double rise) {
    if (!(rise >= 0.0)) {
        throw SectionInvariantError("section rise must be a number of zero or more, got " +
                                    std::to_string(rise));
    }
}

double hydraulic_radius(double area, double perimeter) noexcept {
    return perimeter > 0.0 ? area / perimeter : 0.0;
}

namespace {

double clamp_depth(double depth, double rise) noexcept {
    // NaN depth stays NaN: std::max/min would pick the bound, so compare explicitly.
    double y = depth < 0.0 ? 0.0 : depth;
    return y > rise ? rise : y;
}

// Each kind computes the area always and the perimeter (with R) and the top width only when
// asked; the expressions are the same either way.
template <bool kPerimeter, bool kTopWidth>
SectionGeometry segment(double y, double diameter) noexcept {
    const double theta = 2.0 * std::acos(1.0 - 2.0 * y / diameter);  // central angle under water
    SectionGeometry g;
    g.area = (theta - std::sin(theta)) * (diameter * diameter * 0.125);
    if constexpr (kPerimeter) {
        g.wetted_perimeter = diameter * theta / 2.0;
        g.hydraulic_radius = hydraulic_radius(g.area, g.wetted_perimeter);
    }
    if constexpr (kTopWidth) g.top_width = diameter * std::sin(theta / 2.0);
    return g;
}

template <bool kPerimeter, bool kTopWidth>
SectionGeometry rectangular_geometry(double y, double span) noexcept {
    SectionGeometry g;
    g.area = y * span;
    if constexpr (kPerimeter) {
        g.wetted_perimeter = 2.0 * y + span;  // floor and walls; the roof never counts
        g.hydraulic_radius = hydraulic_radius(g.area, g.wetted_perimeter);
    }
    if constexpr (kTopWidth) g.top_width = span;
    return g;
}

template <bool kPerimeter, bool kTopWidth>
SectionGeometry elliptical_geometry(double y, double rise, double span) {
    // The ellipse is the circle of diameter H stretched horizontally by m = B/H.
    const double m = span / rise;
    const SectionGeometry circle = segment<false, kTopWidth>(y, rise);
    SectionGeometry g;
    g.area = m * circle.area;
    if constexpr (kTopWidth) g.top_width = m * circle.top_width;
    if constexpr (kPerimeter) {
        g.wetted_perimeter = elliptical_wetted_perimeter(y, rise, span);
        g.hydraulic_radius = hydraulic_radius(g.area, g.wetted_perimeter);
    }
    return g;
}

template <bool kPerimeter, bool kTopWidth>
SectionGeometry arch_geometry(double y, double rise, double span) noexcept {
    const double r = span / 2.0;                  // crown radius
    const double w = std::max(rise - r, 0.0);     // wall height below the springing line
    SectionGeometry g;
    if (y <= w) {
        g.area = y * span;
        if constexpr (kPerimeter) g.wetted_perimeter = 2.0 * y + span;
        if constexpr (kTopWidth) g.top_width = span;
    } else {
        const double z = std::min(y - w, r);      // surface height above the springing line
        const double c = std::sqrt(std::max(r * r - z * z, 0.0));  // half-chord at the surface
        const double phi = std::asin(std::clamp(z / r, -1.0, 1.0));
        g.area = span * w + r * r * phi + z * c;
        if constexpr (kPerimeter) g.wetted_perimeter = 2.0 * w + span + 2.0 * r * phi;
        if constexpr (kTopWidth) g.top_width = 2.0 * c;
    }
    if constexpr (kPerimeter) g.hydraulic_radius = hydraulic_radius(g.area, g.wetted_perimeter);
    return g;
}

// Every open kind is a trapezoid: bottom B, banks rising z_l and z_r horizontally per unit of
// height (the open rectangle has z = 0, the triangle B = 0).
//   A = y (B + (z_l + z_r) y / 2),  P = B + y (sqrt(1 + z_l^2) + sqrt(1 + z_r^2)),
//   T = B + (z_l + z_r) y
template <bool kPerimeter, bool kTopWidth>
SectionGeometry open_geometry(double y, const Section& s) noexcept {
    const double spread = s.slope_left + s.slope_right;
    SectionGeometry g;
    g.area = y * (s.span + 0.5 * spread * y);
    if constexpr (kPerimeter) {
        const double banks = std::sqrt(1.0 + s.slope_left * s.slope_left) +
                             std::sqrt(1.0 + s.slope_right * s.slope_right);
        g.wetted_perimeter = s.span + y * banks;
        g.hydraulic_radius = hydraulic_radius(g.area, g.wetted_perimeter);
    }
    if constexpr (kTopWidth) g.top_width = s.span + spread * y;
    return g;
}

template <bool kPerimeter, bool kTopWidth>
SectionGeometry kind_geometry(const Section& s, double y) {
    switch (s.kind) {
        case SectionKind::circular: return segment<kPerimeter, kTopWidth>(y, s.rise);
        case SectionKind::rectangular:
            return rectangular_geometry<kPerimeter, kTopWidth>(y, s.span);
        case SectionKind::elliptical:
            return elliptical_geometry<kPerimeter, kTopWidth>(y, s.rise, s.span);
        case SectionKind::arch: return arch_geometry<kPerimeter, kTopWidth>(y, s.rise, s.span);
        case SectionKind::trapezoid:
        case SectionKind::rect_open:
        case SectionKind::triangle: return open_geometry<kPerimeter, kTopWidth>(y, s);
    }
    return {};
}

}  // namespace

SectionGeometry circular_segment(double y, double diameter) noexcept {
    return segment<true, true>(y, diameter);
}

SectionGeometry circular_geometry(double diameter, double depth) {
    require_valid_rise(diameter);
    return circular_segment(clamp_depth(depth, diameter), diameter);
}

SectionGeometry Section::geometry(double depth) const {
    require_valid_rise(rise);
    return kind_geometry<true, true>(*this, clamp_depth(depth, rise));
}

SectionGeometry Section::geometry(double depth, GeometryParts parts) const {
    require_valid_rise(rise);
    const double y = clamp_depth(depth, rise);
    switch (parts) {
        case GeometryParts::area: return kind_geometry<false, false>(*this, y);
        case GeometryParts::conveyance: return kind_geometry<true, false>(*this, y);
        case GeometryParts::surface: return kind_geometry<false, true>(*this, y);
        case GeometryParts::all: break;
    }
    return kind_geometry<true, true>(*this, y);
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
        case SectionKind::trapezoid:
        case SectionKind::rect_open:
        case SectionKind::triangle: return open_geometry<false, false>(rise, *this).area;
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
        case SectionKind::trapezoid:
        case SectionKind::rect_open:
        case SectionKind::triangle: return open_geometry<true, false>(rise, *this).wetted_perimeter;
    }
    return 0.0;
}

double Section::full_hydraulic_radius() const {
    // An elliptical full perimeter integrates over the rise, so a negative rise still throws.
    const double perimeter = full_perimeter();
    return perimeter > 0.0 ? full_area() / perimeter : 0.0;
}

EllipseSurface elliptical_surface(double depth, double rise, double span) {
    require_valid_rise(rise);
    const double b = rise / 2.0;
    if (b <= 0.0) return {0.0, span / 2.0};
    const double y = clamp_depth(depth, rise);
    const double u = std::clamp(1.0 - y / b, -1.0, 1.0);  // cos t
    // (u, sqrt(1 - u^2)) is the point of the unit circle at the exact arc cosine of u, within
    // 1e-15 of the one at the rounded t; the speed moves by at most |f'| <= |a^2 - b^2| / (2 m)
    // per unit of t, m the smaller semi-axis, which at 16:1 is 1.3e-13 of the speed.
    const double ac = span / 2.0 * u;
    const double bs = b * std::sqrt((1.0 - u) * (1.0 + u));
    return {std::acos(u), std::sqrt(ac * ac + bs * bs)};
}

namespace {

// The arc length of the wetted ellipse by Simpson's rule, for a depth already within the rise.
double integrate_elliptical_perimeter(double y, double rise, double span) noexcept {
    const double a = span / 2.0;  // horizontal semi-axis
    const double b = rise / 2.0;  // vertical semi-axis
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

// Elliptical perimeters this thread has integrated, by the bits of rise, span and depth.
// An analysis asks for the same perimeter again and again: a pipe's normal depth is solved when
// it is sized and again for its grade line, and every pipe of a size searches the same depths
// for its greatest flow and integrates the same full perimeter. A remembered value is the value
// the integral gives, so results do not change; a direct-mapped table of 1,024 slots (32 KiB a
// thread) keeps nearly all the repeats of a 2,000-pipe network.
class PerimeterMemo {
public:
    struct Slot {
        std::uint64_t rise = 0, span = 0, depth = 0;  // all zero: empty (a zero rise is not kept)
        double perimeter = 0.0;
    };

    Slot& slot(double rise, double span, double depth) noexcept {
        const std::uint64_t key = std::bit_cast<std::uint64_t>(rise) * 0x9E3779B97F4A7C15ULL ^
                                  std::bit_cast<std::uint64_t>(span) * 0xC2B2AE3D27D4EB4FULL ^
                                  std::bit_cast<std::uint64_t>(depth) * 0x165667B19E3779F9ULL;
        return slots_[(key >> 32) % kSlots];
    }

    static bool holds(const Slot& slot, double rise, double span, double depth) noexcept {
        return slot.rise == std::bit_cast<std::uint64_t>(rise) &&
               slot.span == std::bit_cast<std::uint64_t>(span) &&
               slot.depth == std::bit_cast<std::uint64_t>(depth);
    }

private:
    static constexpr std::size_t kSlots = 1024;
    std::array<Slot, kSlots> slots_{};
};

thread_local PerimeterMemo perimeter_memo;

}  // namespace

double elliptical_wetted_perimeter(double depth, double rise, double span) {
    require_valid_rise(rise);
    if (rise / 2.0 <= 0.0) return 0.0;  // no vertical semi-axis: nothing to wet
    const double y = clamp_depth(depth, rise);
    PerimeterMemo::Slot& slot = perimeter_memo.slot(rise, span, y);
    if (!PerimeterMemo::holds(slot, rise, span, y)) {
        slot = {std::bit_cast<std::uint64_t>(rise), std::bit_cast<std::uint64_t>(span),
                std::bit_cast<std::uint64_t>(y), integrate_elliptical_perimeter(y, rise, span)};
    }
    return slot.perimeter;
}

}  // namespace rillway::hydraulics
