#pragma once
// The hydraulic grade line, swept from the outfalls upstream after the design pass.
//
// Glossary (feet, seconds, cfs): H grade line (water-surface or piezometric elevation),
// W water surface at a pipe's upstream end before the structure loss, h_L structure loss,
// z_up / z_dn pipe inverts, D rise, L length, y depth, y_n normal depth (D when the pipe
// cannot carry the flow), y_c critical depth, Sf friction slope, hv velocity head V^2 / 2g,
// K loss coefficient.

#include <cstddef>
#include <optional>
#include <vector>

#include "hydraulics/reference.hpp"
#include "hydraulics/section.hpp"
#include "network/design_pass.hpp"
#include "network/network.hpp"
#include "network/routing.hpp"

namespace rillway::network {

// The backwater profile splits every pipe into this many reaches.
inline constexpr int kProfileReaches = 12;
// Bisection budget of one profile step (the depth solvers allow 200).
inline constexpr int kProfileHalvings = 80;
// Profile depths are clamped to at least this, so shallower pipes are not profiled.
inline constexpr double kMinProfileDepth = 1e-4;

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
    bool surcharged = false;
};

// Friction slope and velocity head at a depth clamped into [1e-4, D].
struct DepthTerms {
    double friction_slope = 0.0;
    double velocity_head = 0.0;
};
[[nodiscard]] DepthTerms depth_terms(const hydraulics::Section& section, double n, double q,
                                     double depth);

struct WaterSurface {
    double level = 0.0;        // W
    bool free_outlet = false;  // free supercritical outlet: no structure loss is added
};

// W of a pipe whose downstream node stands at h_v: surcharged, free supercritical outlet, or
// the backwater profile, in that order of precedence.
[[nodiscard]] WaterSurface upstream_surface(const Conduit& conduit, double h_v);

// The profile branch alone (including its shortcuts for no flow, no length and a rise too
// small to profile, where the outlet water surface is carried up parallel to the bed).
// Depth terms that recur are computed once, and an elliptical pipe integrates its perimeter
// only where bounds on it leave the sign of a residual open; the result is always that of
// reference::backwater_surface.
[[nodiscard]] double backwater_surface(const Conduit& conduit, double h_v);

namespace reference {
// The same two computed as written: the depth terms afresh at every trial depth.
[[nodiscard]] WaterSurface upstream_surface(const Conduit& conduit, double h_v);
[[nodiscard]] double backwater_surface(const Conduit& conduit, double h_v);
}  // namespace reference

// cos of the angle between two plan directions, clamped to [-1, 1]; 1 when either has zero
// length.
[[nodiscard]] double turn_cosine(double ax, double ay, double bx, double by) noexcept;

// Standard bend coefficient 0.5 * coeff * (1 - cos phi); 0 when coeff <= 0.
[[nodiscard]] double bend_coefficient(double bend_loss_coeff, double cos_phi) noexcept;

// HEC-22 access-hole coefficient K = C_D * K0 * C_d, before the user factor. b access-hole
// diameter, d_out / d_in outlet and first-inlet rise (d_in 0 without inflow), depth_ratio the
// water depth above the outlet invert over d_out.
[[nodiscard]] double hec22_coefficient(double b, double d_out, double d_in, double cos_theta,
                                       double depth_ratio) noexcept;

struct GradeLineResult {
    std::vector<double> node_hgl;               // per node
    std::vector<std::optional<double>> hgl_up;  // per pipe; absent for adverse pipes
    std::vector<std::optional<double>> hgl_dn;  // per pipe
};

[[nodiscard]] GradeLineResult grade_line(
    const Network& network, const Links& links, const std::vector<std::size_t>& order,
    const std::vector<PipeFlow>& flows, const DesignOptions& options,
    hydraulics::Evaluation evaluation = hydraulics::Evaluation::fast);

}  // namespace rillway::network
