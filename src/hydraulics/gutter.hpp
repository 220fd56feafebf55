#pragma once
// Flow in the street gutter against the curb, FHWA HEC-22 (3rd ed. 2009, section 4.3; 4th ed.
// 2024, the same methods): the modified Manning (Izzard) equation of a triangular gutter and
// the composite section of a continuously depressed gutter.
//
// Glossary (US customary: ft, ft/ft, cfs, ft/s):
//   T spread, the width of water from the curb; d depth at the curb; A flow area; V = Q/A
//   S_x pavement cross slope, S_L longitudinal slope, n Manning roughness of the gutter
//   W gutter width, a gutter depression below the projected pavement slope, S_w = S_x + a/W
//   T_s = T - W, the spread on the pavement beyond the gutter
//   E_o frontal ratio, the share of the flow within a width of the curb
//
//   Q = (0.56/n) S_x^1.67 S_L^0.5 T^2.67          (HEC-22 Eq. 4-2, the printed exponents)
//   E_o = 1 / {1 + (S_w/S_x) / [(1 + (S_w/S_x)/(T/W - 1))^2.67 - 1]}   (Eq. 4-4)

namespace rillway::hydraulics {

inline constexpr double kIzzardUs = 0.56;           // ft^(1/3)/s; 0.376 in SI, not an exact conversion
inline constexpr double kIzzardCrossExponent = 1.67;  // on S_x, as printed (not 5/3)
inline constexpr double kIzzardSpreadExponent = 2.67;  // on T, as printed (not 8/3)

struct Gutter {
    double cross_slope = 0.0;  // S_x
    double long_slope = 0.0;   // S_L
    double n = 0.016;
    double width = 0.0;       // W; 0 for a street without a gutter of its own
    double depression = 0.0;  // a, continuous along the gutter

    // A gutter of its own width: the composite section (which with a = 0 is the plain
    // triangle, through Eq. 4-4 rather than the closed form).
    [[nodiscard]] bool composite() const noexcept { return width > 0.0; }
    // S_w: the cross slope within the gutter (S_x where there is no depression).
    [[nodiscard]] double gutter_slope() const noexcept {
        return composite() ? cross_slope + depression / width : cross_slope;
    }

    friend bool operator==(const Gutter&, const Gutter&) = default;
};

// The gutter's state at one spread.
struct GutterFlow {
    double q = 0.0;
    double spread = 0.0;    // T
    double depth = 0.0;     // d at the curb: T S_w inside the gutter, T S_x + a beyond
    double area = 0.0;      // A: S_w T^2/2 inside the gutter, S_x T^2/2 + a W/2 beyond
    double velocity = 0.0;  // V = Q/A; 0 when dry
    double e_o = 1.0;       // frontal ratio of the gutter width (1 when the spread is within it)
};

// Q at a spread. Continuous at T = W: inside the gutter the section is the S_w triangle, and
// the composite form tends to exactly that value as T_s -> 0 (see gutter.cpp).
[[nodiscard]] double gutter_q(const Gutter& gutter, double spread) noexcept;

// The whole state at a spread.
[[nodiscard]] GutterFlow gutter_at_spread(const Gutter& gutter, double spread) noexcept;

// The spread that carries q (q <= 0 gives a dry gutter): closed form in a triangle, bisection
// on the monotone Q(T) of the composite section.
[[nodiscard]] GutterFlow gutter_spread(const Gutter& gutter, double q) noexcept;

// E_o, the share of the flow at spread T that runs within `width` of the curb: the uniform
// 1 - (1 - width/T)^2.67 in a triangle, Eq. 4-4 for the gutter width of a composite section,
// that share scaled by the ratio of the flow areas for a narrower width (as EPA SWMM 5.2
// does), and for a wider one Eq. 4-4 plus the uniform share of the pavement flow beyond.
[[nodiscard]] double frontal_ratio(const Gutter& gutter, double spread, double width) noexcept;

// Height of the pavement surface at a distance x from the curb, above the gutter flowline:
// S_w x inside the gutter, S_x x + a beyond.
[[nodiscard]] double surface_rise(const Gutter& gutter, double x) noexcept;

// The spread of still water standing a depth at the curb (the inverse of surface_rise).
[[nodiscard]] double spread_at_depth(const Gutter& gutter, double depth) noexcept;

}  // namespace rillway::hydraulics
