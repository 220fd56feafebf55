#pragma once
// Cross-sections, closed conduits and open channels, and their flow geometry.
//
// Glossary (all lengths in the caller's unit, feet or metres):
//   y  depth of flow above the invert      H  rise (vertical extent; the diameter of a round pipe,
//   A  flow area                              the bank height of an open channel)
//   P  wetted perimeter                    B  span (horizontal extent; an open channel's bottom
//   R  hydraulic radius A/P                   width)
//   T  top width of the water surface      D  diameter of a round pipe
//   z_l, z_r  side slopes of an open channel's left and right banks, horizontal over vertical
//
// Every depth is clamped into [0, rise]. A rise below zero or not a number violates the
// section invariant: the geometry routines throw SectionInvariantError instead of computing.

#include <stdexcept>
#include <string>

namespace rillway::hydraulics {

// The open kinds have no roof: a trapezoid (B, H, z_l, z_r), an open rectangle (z = 0) and a
// triangle (B = 0).
enum class SectionKind { circular, rectangular, elliptical, arch, trapezoid, rect_open, triangle };

struct SectionGeometry {
    double area = 0.0;
    double wetted_perimeter = 0.0;
    double hydraulic_radius = 0.0;
    double top_width = 0.0;
};

// The quantities a geometry query computes. The area always is; a part left out stays 0. A part
// is computed by the same expressions whatever else is asked for, so it agrees to the last bit
// with the full query. Manning's equation needs no top width and the Froude condition no
// perimeter, and for an ellipse the perimeter is most of the cost.
enum class GeometryParts : unsigned char {
    area,        // A
    conveyance,  // A, P, R
    surface,     // A, T
    all,         // A, P, R, T
};

// A violated library invariant (a negative or not-a-number rise reaching the geometry).
class SectionInvariantError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

struct Section {
    SectionKind kind = SectionKind::circular;
    double rise = 0.0;  // diameter of a circular section
    double span = 0.0;  // equals the diameter for a circular section
    double slope_left = 0.0;   // z_l of an open channel; 0 for the other kinds
    double slope_right = 0.0;  // z_r

    static Section circular(double diameter) { return {SectionKind::circular, diameter, diameter, 0.0, 0.0}; }
    static Section rectangular(double rise, double span) { return {SectionKind::rectangular, rise, span, 0.0, 0.0}; }
    static Section elliptical(double rise, double span) { return {SectionKind::elliptical, rise, span, 0.0, 0.0}; }
    static Section arch(double rise, double span) { return {SectionKind::arch, rise, span, 0.0, 0.0}; }
    static Section trapezoid(double rise, double bottom, double left, double right) {
        return {SectionKind::trapezoid, rise, bottom, left, right};
    }
    static Section rect_open(double rise, double span) {
        return {SectionKind::rect_open, rise, span, 0.0, 0.0};
    }
    static Section triangle(double rise, double left, double right) {
        return {SectionKind::triangle, rise, 0.0, left, right};
    }

    // Open to the air above its banks: "full" means bank-full, and no roof is ever wetted.
    [[nodiscard]] bool open() const noexcept { return kind >= SectionKind::trapezoid; }

    // A, P, R, T at the depth clamped into [0, rise].
    [[nodiscard]] SectionGeometry geometry(double depth) const;
    // The chosen parts at the depth clamped into [0, rise]; the others are 0.
    [[nodiscard]] SectionGeometry geometry(double depth, GeometryParts parts) const;
    // Flow area of the completely full conduit (an open channel at bank-full depth).
    [[nodiscard]] double full_area() const noexcept;
    // Perimeter of the completely full conduit (a box counts its roof; an open channel's is
    // its wetted perimeter at bank-full depth).
    [[nodiscard]] double full_perimeter() const;
    // full area / full perimeter, 0 when the perimeter is not positive.
    [[nodiscard]] double full_hydraulic_radius() const;
};

// Throws SectionInvariantError unless rise >= 0.
void require_valid_rise(double rise);

// R = A / P when P > 0, else 0: the rule every kind applies.
[[nodiscard]] double hydraulic_radius(double area, double perimeter) noexcept;

// Geometry of a circular segment of diameter D at depth y (y already clamped, D >= 0).
[[nodiscard]] SectionGeometry circular_segment(double y, double diameter) noexcept;

// Circular-pipe geometry: identical to Section::circular(diameter).geometry(depth).
[[nodiscard]] SectionGeometry circular_geometry(double diameter, double depth);

// Arc length of the wetted ellipse of rise H and span B at a depth (both sides of the section),
// by Simpson's rule with 256 subintervals.
[[nodiscard]] double elliptical_wetted_perimeter(double depth, double rise, double span);

// The water surface of an ellipse of rise H and span B at a depth: the parameter t
// (x = B/2 sin t, height = H/2 (1 - cos t)) that elliptical_wetted_perimeter integrates to,
// computed exactly as it does (0 when H <= 0), and the arc speed there, half the perimeter's
// integrand, |d(x, height)/dt| = sqrt((B/2 cos t)^2 + (H/2 sin t)^2). The speed is taken from
// cos t = 1 - y / (H/2) itself rather than from a sine and cosine of t, which would cost as much
// again: for spans within 1/16 and 16 rises it lies within 1e-13 of the speed at the computed t.
struct EllipseSurface {
    double t = 0.0;
    double speed = 0.0;
};
[[nodiscard]] EllipseSurface elliptical_surface(double depth, double rise, double span);

}  // namespace rillway::hydraulics
