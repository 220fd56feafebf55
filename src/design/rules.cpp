#include "design/rules.hpp"

#include <cmath>
#include <cstdio>

namespace rillway::design {
namespace {

// Elevations within this fraction of a step of a grid level count as on it, so that 365.5 ft
// computed as 370 - 3 - 1.5 stays 365.50 instead of dropping to 365.49 on a rounding error.
constexpr double kOnLevel = 1e-7;

std::optional<std::string> out_of_range(const char* key, double value, const char* expected) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    return std::string(key) + " must be " + expected + ", got " + text;
}

}  // namespace

double LevelGrid::steps_below(double z_ft) const noexcept {
    return std::floor(z_ft / unit_ft * steps_per_unit + kOnLevel);
}

double LevelGrid::steps_above(double z_ft) const noexcept {
    return std::ceil(z_ft / unit_ft * steps_per_unit - kOnLevel);
}

std::optional<std::string> validate(const Rules& rules) {
    if (rules.sizes_in.empty()) return std::string("sizes_in must list at least one size");
    for (const double size : rules.sizes_in) {
        if (!(size > 0.0) || !std::isfinite(size)) {
            return out_of_range("sizes_in", size, "a list of finite sizes > 0");
        }
    }
    const auto at_least_zero = [](const char* key, double value) {
        return std::isfinite(value) && value >= 0.0
                   ? std::nullopt
                   : out_of_range(key, value, "a finite number >= 0");
    };
    if (auto e = at_least_zero("min_diameter_in", rules.min_diameter_in)) return e;
    if (auto e = at_least_zero("min_velocity_fps", rules.min_velocity_fps)) return e;
    if (!(rules.max_velocity_fps > 0.0) || !std::isfinite(rules.max_velocity_fps)) {
        return out_of_range("max_velocity_fps", rules.max_velocity_fps, "a finite number > 0");
    }
    if (auto e = at_least_zero("min_cover_ft", rules.min_cover_ft)) return e;
    if (!(rules.max_pct_full > 0.0) || !std::isfinite(rules.max_pct_full)) {
        return out_of_range("max_pct_full", rules.max_pct_full, "a finite number > 0");
    }
    if (auto e = at_least_zero("min_drop_ft", rules.min_drop_ft)) return e;
    if (auto e = at_least_zero("freeboard_ft", rules.freeboard_ft)) return e;
    return std::nullopt;
}

}  // namespace rillway::design
