#pragma once
// The size of one round pipe of a design: every catalog size laid as it would be built, and the
// smallest that works and lies no deeper than a larger one would.
//
// Glossary (feet, cfs, ft/s): D diameter, Q design flow, n Manning roughness, S slope, z invert,
// L length. A size is laid at S = max(self-cleansing slope, the slope at which its just-full
// capacity carries Q / max_pct_full), at its highest placement no flatter than that (layout.hpp:
// following the ground where the ground is steeper), and flattened by a drop where Q would pass
// the largest velocity.

#include <cstddef>
#include <optional>
#include <vector>

#include "design/layout.hpp"
#include "design/rules.hpp"
#include "hydraulics/section.hpp"

namespace rillway::design {

// The highest placement of `section` no flatter than s_low, flattened by a drop at the upper
// structure (into an outfall: at the outfall) where the ground is so steep that q would pass
// rules.max_velocity_fps. Returns whether the velocity rule could be kept.
[[nodiscard]] bool lay_within_velocity(const hydraulics::Section& section, double n, double q,
                                       const EndLimits& limits, double s_low, const Rules& rules,
                                       const LevelGrid& grid, Placement& out);

// Why the size below the chosen one was not taken.
enum class SmallerSize {
    none,         // the chosen size is the first one allowed
    lies_deeper,  // it carries Q only on a slope that puts an invert lower
    too_fast,     // it carries Q only faster than the largest velocity
};

struct SizeChoice {
    std::optional<std::size_t> index;  // none: no size keeps the velocity rule
    Placement placement;
    SmallerSize smaller = SmallerSize::none;
};

// The size of catalog_ft (ascending, ft) from index `start` up for a pipe of roughness n
// carrying q between `limits`. Each size is laid as above; a size that keeps the velocity rule
// is allowed. One placement lies no deeper than another when neither of its inverts is lower
// (whole grid steps, so the comparison is exact and transitive). The choice is the smallest
// allowed size that lies no deeper than every larger allowed size; so the size below the chosen
// one is either not allowed or lies deeper than it.
//
// Only the inverts count. Where crowns are matched, a smaller pipe at the same or a higher
// downstream invert has a lower crown there, and the pipe below, whose crown may stand no
// higher, starts lower by the difference in crowns; that is not counted as lying deeper: the
// pipe below is laid afterwards under the crown it meets, with a size floor no larger than the
// smaller pipe (sizes only may not decrease downstream), and it keeps the drop below this
// pipe's invert, which the comparison does count.
[[nodiscard]] SizeChoice choose_size(const std::vector<double>& catalog_ft, std::size_t start,
                                     double n, double q, const EndLimits& limits,
                                     const Rules& rules, const LevelGrid& grid);

}  // namespace rillway::design
