#include "design/size_choice.hpp"

#include <cmath>

namespace rillway::design {

namespace {

// Largest ratio of the velocity at normal depth to the full-flow velocity in a round pipe
// (1.139 at 81% depth, from Manning's equation on the circular segment), rounded up.
constexpr double kPeakVelocityRatio = 1.15;

bool no_deeper(const Placement& a, const Placement& b) noexcept {
    return a.steps_up >= b.steps_up && a.steps_dn >= b.steps_dn;
}

}  // namespace

bool lay_within_velocity(const hydraulics::Section& section, double n, double q,
                         const EndLimits& limits, double s_low, const Rules& rules,
                         const LevelGrid& grid, Placement& out) {
    out = lay(limits, section.rise, s_low, grid);
    const double slope = slope_of(out, limits.length, grid);
    // Why the shortcut holds: below the peak of a round pipe's flow curve the velocity at
    // normal depth never exceeds 1.14 times the full-flow velocity (its largest value, at
    // about 81% depth), and a flow above the peak fills the pipe and runs at Q / A, which
    // the capacity rule keeps below the full-flow velocity times max_pct_full. So a pipe
    // whose bound is within the limit needs no normal depth here.
    const double full_velocity = full_capacity(section, n, slope) / section.full_area();
    const double bound = full_velocity * std::fmax(kPeakVelocityRatio, rules.max_pct_full);
    if (section.kind == hydraulics::SectionKind::circular && bound <= rules.max_velocity_fps) {
        return true;
    }
    if (design_velocity(section, n, q, slope) <= rules.max_velocity_fps) return true;
    const SteepestSlope steepest = steepest_slope(section, n, q, s_low, slope, rules.max_velocity_fps);
    if (!steepest.found) return false;
    out = flatten(out, limits, steepest.slope, grid);
    return true;
}

SizeChoice choose_size(const std::vector<double>& catalog_ft, std::size_t start, double n,
                       double q, const EndLimits& limits, const Rules& rules,
                       const LevelGrid& grid) {
    struct Allowed {
        std::size_t index;
        Placement placement;
    };
    std::vector<Allowed> allowed;
    std::vector<SmallerSize> verdict(catalog_ft.size(), SmallerSize::none);
    const bool into_outfall = std::isfinite(limits.outfall_dn);
    for (std::size_t i = start; i < catalog_ft.size(); ++i) {
        const auto section = hydraulics::Section::circular(catalog_ft[i]);
        const double s_low = std::fmax(self_cleansing_slope(section, n, rules.min_velocity_fps),
                                       capacity_slope(section, n, q / rules.max_pct_full));
        Placement placement;
        const bool steady =
            lay_within_velocity(section, n, q, limits, s_low, rules, grid, placement);
        if (!steady ||
            !(q <= rules.max_pct_full * full_capacity(section, n, slope_of(placement, limits.length, grid)))) {
            verdict[i] = SmallerSize::too_fast;
            continue;
        }
        allowed.push_back({i, placement});
        // A size whose lower end the cover line holds, not its slope, ends the search: every
        // larger size lies no higher at either end (its upper end at min(crown limit - D,
        // invert limit), its lower end at most at the cover line less its larger D, and a drop
        // for the velocity lowers only the upper end), so none can make a smaller size lie
        // deeper. Into an outfall the drop raises the lower end instead, so every size is laid.
        if (!into_outfall && std::isfinite(limits.crown_dn) &&
            placement.steps_dn == grid.steps_below(limits.crown_dn - section.rise)) {
            break;
        }
    }
    SizeChoice choice;
    for (std::size_t a = 0; a < allowed.size(); ++a) {
        bool lowest = true;
        for (std::size_t b = a + 1; b < allowed.size() && lowest; ++b) {
            lowest = no_deeper(allowed[a].placement, allowed[b].placement);
        }
        if (!lowest) continue;
        const std::size_t i = allowed[a].index;
        choice.index = i;
        choice.placement = allowed[a].placement;
        if (i > start) {
            choice.smaller = verdict[i - 1] == SmallerSize::too_fast ? SmallerSize::too_fast
                                                                      : SmallerSize::lies_deeper;
        }
        return choice;
    }
    return choice;
}

}  // namespace rillway::design
