#pragma once
// Manning's equation on closed sections: flow at a depth and the peak of the partial-flow curve.
//
// Glossary: Q flow, n Manning roughness, S slope (ratio), K Manning factor (1.486 for cfs with
// feet, 1.0 for m3/s with metres), y depth. Q(y) = (K/n) * A(y) * R(y)^(2/3) * sqrt(max(S, 0)).

#include <cmath>

#include "hydraulics/constants.hpp"
#include "hydraulics/section.hpp"

namespace rillway::hydraulics {

struct PeakFlow {
    double flow = 0.0;   // largest sampled Manning flow
    double depth = 0.0;  // first sampled depth at which it occurs
};

// Conveyance (K/n) A R^(2/3): the flow per square root of slope. n must be nonzero.
[[nodiscard]] inline double conveyance(double area, double hydraulic_radius, double n,
                                       double k) noexcept;

// Manning flow of the section at a depth; 0 when n <= 0, when S <= 0 or when dry.
[[nodiscard]] double manning_flow(const Section& section, double n, double slope, double depth,
                                  double k);

// The same from a geometry already at hand (its area and hydraulic radius).
[[nodiscard]] double manning_flow(const SectionGeometry& geometry, double n, double slope,
                                  double k) noexcept;

// Largest Manning flow over the depths i * rise / 2000, i = 1 ... 2000 (strictly greater wins,
// so ties keep the shallower depth). (0, 0) when n <= 0. Usually found from a dozen samples
// around the peak (peak_search.hpp); the result is always that of the full scan.
[[nodiscard]] PeakFlow peak_flow_scan(const Section& section, double n, double slope, double k);

// Round-pipe forms used by the calculators, taking their arguments in the calculators' order.
[[nodiscard]] double circular_q(double diameter, double n, double slope, double depth, double k);
[[nodiscard]] PeakFlow max_capacity(double diameter, double n, double slope, double k);

// Capacity of the completely full section, sqrt(S) R_f^(2/3) (K/n) A_f with S clamped below at 0;
// 0 when n <= 0. The factors are multiplied in this order, which the analysis results keep.
[[nodiscard]] double full_flow_capacity(const Section& section, double n, double slope, double k);

// Just-full Manning capacity of a round pipe from A = pi D^2 / 4 and R = D / 4 (not the peak).
[[nodiscard]] double just_full_capacity(double diameter, double n, double slope, double k) noexcept;

inline double conveyance(double area, double hydraulic_radius, double n, double k) noexcept {
    return (k / n) * area * std::pow(hydraulic_radius, kTwoThirds);
}

}  // namespace rillway::hydraulics
