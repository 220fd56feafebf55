#pragma once
// One pipe of a design: the full-flow limits of a section and the laying of its two inverts.
//
// Glossary (feet, cfs, ft/s): D rise (the diameter of a round pipe), A full area, R full
// hydraulic radius, n Manning roughness, S slope, Q flow, V velocity, L length, z invert.

#include <cstddef>

#include "design/rules.hpp"
#include "hydraulics/section.hpp"

namespace rillway::design {

// Just-full Manning capacity Q = (1.486 / n) A R^(2/3) S^(1/2), the expression the analysis
// reports as `capacity`; 0 for n <= 0.
[[nodiscard]] double full_capacity(const hydraulics::Section& section, double n, double slope);

// The flattest slope whose full-flow velocity reaches v: S = (v n / (1.486 R^(2/3)))^2, for a
// round pipe R = D / 4 and S = 2.87 n^2 v^2 / D^(4/3) (HEC-22 4th ed., eq. 9-3 rearranged).
[[nodiscard]] double self_cleansing_slope(const hydraulics::Section& section, double n, double v);

// The slope at which the just-full capacity is q.
[[nodiscard]] double capacity_slope(const hydraulics::Section& section, double n, double q);

// The velocity of q at normal depth on slope s (the analysis's design velocity): q over the
// flow area at normal depth, or over the full area when the pipe cannot carry q.
[[nodiscard]] double design_velocity(const hydraulics::Section& section, double n, double q,
                                     double slope);

// The steepest slope in [s_low, s_high] whose design velocity stays within v_max, to a relative
// 1e-6; s_high itself when it does, none when even s_low is too fast.
struct SteepestSlope {
    bool found = false;
    double slope = 0.0;
};
[[nodiscard]] SteepestSlope steepest_slope(const hydraulics::Section& section, double n, double q,
                                           double s_low, double s_high, double v_max);

// Where the ends of one pipe may lie, from its structures and the pipes entering upstream.
struct EndLimits {
    double crown_up;     // the crown at the upstream end no higher (cover, crowns matched)
    double invert_up;    // the invert at the upstream end no higher (drop, inverts matched)
    double crown_dn;     // the crown at the downstream end no higher (cover); +inf at an outfall
    double outfall_dn;   // the outfall invert a pipe aims at; +inf for other structures
    double fallback_up;  // the upstream invert when nothing above limits it (the structure's)
    double length;
};

// A pipe's inverts as whole steps of the level grid.
struct Placement {
    double steps_up = 0.0;
    double steps_dn = 0.0;
};

// The highest placement of a pipe of rise d no flatter than s_low: the upstream end at its
// limit, the downstream end at the cover line (at the outfall invert for a pipe into an
// outfall) or lower where the ground is flatter than s_low.
[[nodiscard]] Placement lay(const EndLimits& limits, double d, double s_low, const LevelGrid& grid);

// The same pipe flattened to at most s_high: by lowering its upstream end (a drop in the
// upstream structure), or, into an outfall, by raising its downstream end (the drop is then
// at the outfall, where it costs no depth).
[[nodiscard]] Placement flatten(const Placement& placement, const EndLimits& limits,
                                double s_high, const LevelGrid& grid);

// (z_up - z_dn) / L of a placement; 0 for a pipe without length.
[[nodiscard]] double slope_of(const Placement& placement, double length, const LevelGrid& grid);

}  // namespace rillway::design
