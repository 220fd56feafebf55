#pragma once
// The energy grade line of the FHWA access-hole energy method, swept from the outfalls
// upstream: each structure's energy level from its outlet pipe (network/energy_loss.hpp),
// then every pipe into it from its outlet end to its upstream end along the energy line.
//
// Glossary (feet, seconds, cfs): EGL energy grade line, HGL hydraulic grade line, E_a the
// structure's energy level above its outlet invert, hv velocity head V^2 / 2g, y depth.
//
// Readings of the manual where it leaves a choice, chosen to reproduce its worked example (3rd
// ed. Example 7-3 part 2, 4th ed. Examples 9.1 and 9.2) through the whole network:
// - a steep pipe (y_n below 98 % of y_c) runs at normal depth from its entrance, so E_i is its
//   normal depth plus velocity head and outlet control does not apply;
// - the water below drowns a steep pipe's outlet face when its depth over the outlet invert
//   exceeds the jet's sequent depth; the jump then stays in the barrel unless the subcritical
//   profile from the face still stands above the sequent depth at the upstream end, which drowns
//   the entrance, and the structure above then stands at the higher of its levels from the
//   drowned and the free entrance;
// - a pipe that plunges (its invert above E_ai) leaves at its normal depth plus velocity head
//   with no exit loss, unless the structure's final level stands higher;
// - V_o is the outlet pipe's velocity at the depth its profile reaches at the structure;
// - V_i of an inflow pipe's exit loss is its velocity at the depth the structure's level
//   stands at its outlet, between its critical depth and its rise;
// - a pipe into an outfall starts at the higher of the tailwater and (y_c + D) / 2 over its
//   outlet invert and loses its whole velocity head there (an exit into still water), so a
//   submerged outlet keeps the tailwater as its hydraulic grade line;
// - the surface inflow of an inlet is its outlet flow less its pipe inflows.

#include <cstddef>
#include <vector>

#include "network/analysis.hpp"
#include "network/network.hpp"
#include "network/routing.hpp"

namespace rillway::network {

struct PipeSolvers;

struct NodeLines {
    std::vector<double> hgl;  // per node: the structure's still water stands at its EGL
    std::vector<double> egl;
};

// Fills hgl_up, hgl_dn, egl_up and egl_dn of every pipe result (the upstream values stay
// absent for adverse pipes) and returns both lines of every node.
[[nodiscard]] NodeLines energy_grade_line(const Network& network, const Links& links,
                                          const std::vector<std::size_t>& order,
                                          std::vector<PipeResult>& pipes,
                                          const DesignOptions& options,
                                          const PipeSolvers& solvers);

// The sweep of the loss method in use: the energy line above for the FHWA energy method, else
// the grade line of the standard or HEC-22 structure loss (egl left empty). The analysis and
// design mode both check the freeboard on this line.
[[nodiscard]] NodeLines method_grade_lines(const Network& network, const Links& links,
                                           const std::vector<std::size_t>& order,
                                           std::vector<PipeResult>& pipes,
                                           const DesignOptions& options,
                                           const PipeSolvers& solvers);

}  // namespace rillway::network
