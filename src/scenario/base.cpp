// The starting point of every scenario, from either document format.

#include <algorithm>
#include <utility>

#include "scenario/scenario.hpp"
#include "units/unit_system.hpp"

namespace rillway::scenario {

Base from_project(const formats::project::Project& project) {
    Base base;
    base.network = project.to_analysis_network();
    base.idf = project.idf();
    base.options = project.design_options();
    if (project.units == units::UnitSystem::si) base.feet_per_unit = units::kFeetPerMetre;
    // The design period always has a curve: its own entry in idf_curves, else the project's
    // coefficients (what the design analysis uses).
    base.curves.push_back({formats::project::return_period_key(project.design_return_period_years),
                           base.idf});
    for (const formats::project::IdfCurveEntry& entry : project.idf_curves) {
        const bool known = std::any_of(base.curves.begin(), base.curves.end(),
                                       [&](const PeriodCurve& c) { return c.period_key == entry.rp_years; });
        if (!known) base.curves.push_back({entry.rp_years, *project.idf_curve(entry.rp_years)});
    }
    return base;
}

Base from_rwn(formats::RwnDocument document) {
    Base base;
    base.network = std::move(document.network);
    base.idf = document.idf;
    base.options = document.options;
    base.single_curve = true;
    return base;
}

}  // namespace rillway::scenario
