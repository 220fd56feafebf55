#pragma once
// The momentum of open-channel flow in a closed conduit, and the sequent depth of a hydraulic
// jump: the subcritical depth whose specific force equals a supercritical depth's.
//
// Glossary (the caller's length unit): y depth above the invert, A flow area, y_bar depth of the
// area's centroid below the water surface, q flow, g gravitational acceleration, M specific force
// q^2 / (g A) + A y_bar. Above the rise the conduit is full and the depth is the piezometric
// head over the invert, so A y_bar grows by the full area per unit of depth.

#include "hydraulics/section.hpp"

namespace rillway::hydraulics {

// A y_bar at a depth (the first moment of the flow area about the water surface), the integral
// of A(eta) over [0, y]; above the rise the full area times (y - rise) is added.
[[nodiscard]] double area_moment(const Section& section, double depth);

// M = q^2 / (g A) + A y_bar; the area is taken at the depth clamped into [0, rise].
[[nodiscard]] double specific_force(double q, const Section& section, double depth, double g);

// The depth above critical depth y_c whose specific force equals that of the supercritical depth
// y1, bisected on [y_c, y_c + M(y1) / A_full + rise]; y1 itself when y1 >= y_c (no jump) or when
// q <= 0.
[[nodiscard]] double sequent_depth(double q, const Section& section, double y1, double y_c,
                                   double g);

}  // namespace rillway::hydraulics
