#include "design/project_design.hpp"

#include <cmath>
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace rillway::design {

namespace proj = formats::project;

std::variant<Rules, InvalidRules> rules_of(const std::optional<proj::ProjectDesignRules>& given) {
    Rules rules;
    if (!given) return rules;
    const auto take = [](const std::optional<double>& value, double& into) {
        if (value) into = *value;
    };
    if (given->sizes_in) rules.sizes_in = *given->sizes_in;
    take(given->min_diameter_in, rules.min_diameter_in);
    take(given->min_velocity_fps, rules.min_velocity_fps);
    take(given->max_velocity_fps, rules.max_velocity_fps);
    take(given->min_cover_ft, rules.min_cover_ft);
    take(given->max_pct_full, rules.max_pct_full);
    take(given->min_drop_ft, rules.min_drop_ft);
    take(given->freeboard_ft, rules.freeboard_ft);
    if (given->match) {
        if (*given->match == "crowns") {
            rules.match = Match::crowns;
        } else if (*given->match == "inverts") {
            rules.match = Match::inverts;
        } else {
            return InvalidRules{"match must be \"crowns\" or \"inverts\", got \"" +
                                given->match->substr(0, 64) + "\""};
        }
    }
    return rules;
}

LevelGrid level_grid(units::UnitSystem units) noexcept {
    if (units == units::UnitSystem::si) return LevelGrid{units::kFeetPerMetre, 1000.0};
    return LevelGrid{1.0, 100.0};
}

std::variant<ProjectDesign, DesignError> design_project(const proj::Project& project) {
    auto rules = rules_of(project.design);
    if (auto* invalid = std::get_if<InvalidRules>(&rules)) return DesignError{std::move(*invalid)};
    const LevelGrid grid = level_grid(project.units);

    std::vector<bool> locked(project.pipes.size());
    for (std::size_t p = 0; p < project.pipes.size(); ++p) locked[p] = project.pipes[p].lock;
    const network::Network network = project.to_analysis_network();
    auto outcome = design(network, project.idf(), project.design_options(),
                          std::get<Rules>(rules), locked, grid);
    if (auto* error = std::get_if<DesignError>(&outcome)) return std::move(*error);

    ProjectDesign result{project, std::move(std::get<Design>(outcome))};
    proj::Project& out = result.project;
    // Pipe ends resolve to the last node of an id, as in the analysis.
    std::unordered_map<std::string_view, double> given_invert;
    for (const proj::ProjectNode& node : project.nodes) given_invert.insert_or_assign(node.id, node.invert);
    std::unordered_map<std::string_view, double> lowest_leaving;
    for (std::size_t p = 0; p < out.pipes.size(); ++p) {
        proj::ProjectPipe& pipe = out.pipes[p];
        const PipeDesign& d = result.design.pipes[p];
        if (d.steps_up && d.steps_dn) {
            pipe.invert_up = grid.document(*d.steps_up);
            pipe.invert_dn = grid.document(*d.steps_dn);
        } else {
            // A locked pipe that followed its structures keeps their inverts explicitly, since
            // the structures' inverts change below.
            if (!pipe.invert_up) pipe.invert_up = given_invert.at(pipe.from);
            if (!pipe.invert_dn) pipe.invert_dn = given_invert.at(pipe.to);
        }
        if (d.catalog_in) pipe.diameter = *d.catalog_in / 12.0 / grid.unit_ft;
        const auto [at, fresh] = lowest_leaving.try_emplace(pipe.from, *pipe.invert_up);
        if (!fresh) at->second = std::fmin(at->second, *pipe.invert_up);
    }
    for (proj::ProjectNode& node : out.nodes) {
        if (node.kind == "outfall") continue;
        const auto found = lowest_leaving.find(node.id);
        if (found != lowest_leaving.end()) node.invert = found->second;
    }
    return result;
}

}  // namespace rillway::design
