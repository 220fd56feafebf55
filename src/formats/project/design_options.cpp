// The analysis options a project document carries, in US customary units.

#include <cmath>
#include <cstdint>

#include "formats/project/project.hpp"

namespace rillway::formats::project {
namespace {

constexpr double kStandardAccessHoleFt = 4.0;
// A 4 m access hole, the SI standard, expressed in feet.
constexpr double kStandardAccessHoleSiFt = 4.0 * units::kFeetPerMetre;

}  // namespace

double frequency_factor(double return_period_years) noexcept {
    const double clamped =
        std::isnan(return_period_years) ? 0.0 : std::fmin(std::fmax(return_period_years, 0.0), 4294967295.0);
    const auto years = static_cast<std::uint32_t>(clamped);
    if (years <= 10) return 1.0;
    if (years <= 25) return 1.1;
    if (years <= 50) return 1.2;
    return 1.25;
}

network::DesignOptions Project::design_options() const {
    const bool si = units == units::UnitSystem::si;
    const double length_factor = si ? units::kFeetPerMetre : 1.0;

    network::DesignOptions options;
    if (tailwater) options.tailwater = *tailwater * length_factor;
    options.intensity_override.reset();
    options.min_tc = min_tc;
    options.junction_k = junction_k;
    options.min_slope = min_slope;
    options.bend_loss_coeff = bend_loss_coeff;
    options.access_hole_diameter = access_hole_diam_ft > 0.0 ? access_hole_diam_ft * length_factor
                                   : si                      ? kStandardAccessHoleSiFt
                                                             : kStandardAccessHoleFt;
    options.hec22_factor = 1.0;
    options.frequency_factor = frequency_factor(design_return_period_years);
    options.hec22_structure_loss = hec22_structure_loss;
    options.loss_method = loss_method;
    options.flow_split = flow_split;
    options.min_flow_from_upstream = min_flow_from_upstream;
    return options;
}

}  // namespace rillway::formats::project
