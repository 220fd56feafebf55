#pragma once
// The hydraulic grade line, swept from the outfalls upstream after the design pass, and the
// structure losses added where a pipe leaves a structure.
//
// Glossary (feet, seconds, cfs): H grade line, W water surface at a pipe's upstream end before
// the structure loss (network/profile.hpp), h_L structure loss, D_o / D_i outlet and inlet
// rise, b access-hole diameter, K loss coefficient, V design velocity; h_L = K V^2 / 2g.

#include <cstddef>
#include <vector>

#include "network/analysis.hpp"
#include "network/network.hpp"
#include "network/routing.hpp"

namespace rillway::network {

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

// Sweeps the routing order backwards: fills hgl_up and hgl_dn of every pipe result and returns
// the grade line of every node.
[[nodiscard]] std::vector<double> grade_line(const Network& network, const Links& links,
                                             const std::vector<std::size_t>& order,
                                             std::vector<PipeResult>& pipes,
                                             const DesignOptions& options,
                                             const PipeSolvers& solvers);

}  // namespace rillway::network
