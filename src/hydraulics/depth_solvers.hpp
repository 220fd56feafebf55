#pragma once
// Normal and critical depth by fixed-budget bisection, for any Section kind.
//
// Glossary: q flow, n Manning roughness, S slope, K Manning factor, g gravitational acceleration
// (32.2 ft/s2 or 9.81 m/s2). Depths share the length unit of the section.

#include <optional>

#include "hydraulics/manning.hpp"
#include "hydraulics/section.hpp"

namespace rillway::hydraulics {

// Depth of uniform flow carrying q, bisected on [0, depth of the sampled peak]; none when q
// exceeds the sampled peak flow (so also for n <= 0 or S <= 0). q <= 0 gives 0.
[[nodiscard]] std::optional<double> normal_depth(double q, double n, double slope,
                                                 const Section& section, double k);

// As above with the peak scan already done for this section, n, S and K.
[[nodiscard]] std::optional<double> normal_depth(double q, double n, double slope,
                                                 const Section& section, double k,
                                                 const PeakFlow& peak);

// Depth at which q is critical (q^2 T = g A^3), bisected on [1e-6 rise, 0.999 rise].
// q <= 0 gives 0.
[[nodiscard]] double critical_depth(double q, const Section& section, double g);

// Round-pipe forms used by the calculators.
[[nodiscard]] std::optional<double> normal_depth(double q, double diameter, double n,
                                                 double slope, double k);
[[nodiscard]] double critical_depth(double q, double diameter, double g);

}  // namespace rillway::hydraulics
