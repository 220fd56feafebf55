#pragma once
// The water surface at the upstream end of one pipe, given the grade line at its downstream
// structure: a surcharged pipe's pressure line, a free supercritical outlet, or the 12-reach
// standard-step backwater profile.
//
// Glossary (feet, seconds, cfs): H grade line (water-surface or piezometric elevation),
// W water surface at a pipe's upstream end before the structure loss, z_up / z_dn pipe
// inverts, D rise, L length, y depth, y_n normal depth (D when the pipe cannot carry the flow),
// y_c critical depth, Sf friction slope, hv velocity head V^2 / 2g.

#include "hydraulics/constants.hpp"
#include "hydraulics/manning.hpp"
#include "hydraulics/section.hpp"
#include "network/analysis.hpp"
#include "network/network.hpp"

namespace rillway::network {

// The backwater profile splits every pipe into this many reaches.
inline constexpr int kProfileReaches = 12;
// Bisection budget of one profile step (the depth solvers allow 200).
inline constexpr int kProfileHalvings = 80;
// Profile depths are clamped to at least this, so shallower pipes are not profiled.
inline constexpr double kMinProfileDepth = 1e-4;
// Pipes shorter than this (ft) are not profiled.
inline constexpr double kMinProfileLength = 1e-9;
// 2g in ft/s2: a velocity head is V^2 / 64.4.
inline constexpr double kTwoG = 64.4;

// One non-adverse pipe as the grade line sees it.
struct Conduit {
    hydraulics::Section section;
    double n = 0.0;
    double length = 0.0;
    double z_up = 0.0;
    double z_dn = 0.0;
    double q = 0.0;
    double y_n = 0.0;  // normal depth, or the rise when the pipe cannot carry q
    double y_c = 0.0;  // critical depth (0 when q <= 0)
    bool surcharged = false;  // q above the peak capacity: the pipe runs full
};

// A pipe with the flow the design pass gave it.
[[nodiscard]] Conduit conduit_of(const Pipe& pipe, const PipeResult& flow);

// Friction slope and velocity head at a depth clamped into [1e-4, D].
struct DepthTerms {
    double friction_slope = 0.0;
    double velocity_head = 0.0;
};
[[nodiscard]] DepthTerms depth_terms(const hydraulics::Section& section, double n, double q,
                                     double depth);

// (Q / conveyance)^2, 0 without roughness or conveyance. Inline: the profile evaluates it at
// every trial depth, and a call per evaluation measurably slows the analysis.
[[nodiscard]] inline double friction_slope(double q, double n, double area,
                                           double hydraulic_radius) noexcept {
    if (n <= 0.0) return 0.0;
    const double k = hydraulics::conveyance(area, hydraulic_radius, n, hydraulics::kManningUs);
    if (!(k > 0.0)) return 0.0;
    const double ratio = q / k;
    return ratio * ratio;
}

struct WaterSurface {
    double level = 0.0;        // W
    bool free_outlet = false;  // free supercritical outlet: no structure loss is added
};

// The profile branch alone (including its shortcuts for no flow, no length and a rise too
// small to profile, where the outlet water surface is carried up parallel to the bed).
// Depth terms that recur are computed once, and an elliptical pipe integrates its perimeter
// only where bounds on it leave the sign of a residual open; the result is always that of the
// reference copy (src/reference), which computes the depth terms afresh at every trial depth.
[[nodiscard]] double backwater_surface(const Conduit& conduit, double h_v);

// The critical energy at the pipe's entrance, z_up + y_c' + hv(y_c') with y_c' = max(y_c, 1e-4)
// and hv taken at y_c' clamped to the rise: the least level the still water of the upstream
// structure can stand at and still drive q into the pipe.
[[nodiscard]] double critical_energy(const Conduit& conduit);

// W of a pipe whose downstream node stands at h_v: surcharged, free supercritical outlet, or
// the backwater profile (computed by `backwater`), in that order of precedence.
[[nodiscard]] WaterSurface upstream_surface(
    const Conduit& conduit, double h_v,
    double (*backwater)(const Conduit&, double) = backwater_surface);

}  // namespace rillway::network
