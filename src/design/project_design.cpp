#include "design/project_design.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "design/checks.hpp"
#include "network/bypass.hpp"

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

namespace {

// The catalog of inlet lengths in document units: the design's own, else the default in feet
// (converted to metres in an SI project); or the message naming what is wrong with it.
std::variant<std::vector<double>, InvalidRules> inlet_catalog(const proj::Project& project) {
    std::vector<double> lengths;
    if (project.design && project.design->inlet_lengths_ft) {
        lengths = *project.design->inlet_lengths_ft;
        if (lengths.empty()) return InvalidRules{"inlet_lengths_ft must list at least one length"};
        for (const double length : lengths) {
            if (!(length > 0.0) || !std::isfinite(length)) {
                return InvalidRules{"inlet_lengths_ft must be a list of finite lengths > 0, got " +
                                    std::to_string(length)};
            }
        }
    } else {
        for (const double feet : kInletLengthsFt) {
            lengths.push_back(project.units == units::UnitSystem::si ? feet / units::kFeetPerMetre
                                                                      : feet);
        }
    }
    std::sort(lengths.begin(), lengths.end());
    lengths.erase(std::unique(lengths.begin(), lengths.end()), lengths.end());
    return lengths;
}

// The inlet records a design may give a street inlet, shortest first: a curb opening or slot
// each catalog length, a grate (or combination) one to as many of its own grates as fit in the
// catalog's longest length, a sweeper's curb opening reaching as far past the grates as given.
std::vector<proj::InletOverrides> inlet_records(const proj::InletOverrides& given,
                                                const std::vector<double>& catalog) {
    std::vector<proj::InletOverrides> records;
    const bool grate = given.type == hydraulics::InletType::grate ||
                       given.type == hydraulics::InletType::combination;
    if (!grate) {
        for (const double length : catalog) {
            proj::InletOverrides r = given;
            r.length_ft = length;
            records.push_back(r);
        }
        return records;
    }
    const double row = given.length_ft * given.grates;
    const std::optional<double> sweep =
        given.curb_length_ft && *given.curb_length_ft > row
            ? std::optional<double>(*given.curb_length_ft - row)
            : std::nullopt;
    for (std::uint32_t k = 1; k == 1 || k * given.length_ft <= catalog.back(); ++k) {
        proj::InletOverrides r = given;
        r.grates = k;
        if (sweep) r.curb_length_ft = k * given.length_ft + *sweep;
        records.push_back(r);
        if (k >= 1000) break;  // a grate shorter than a thousandth of the longest length
    }
    return records;
}

}  // namespace

std::variant<ProjectDesign, DesignError> design_project(const proj::Project& project) {
    auto rules = rules_of(project.design);
    if (auto* invalid = std::get_if<InvalidRules>(&rules)) return DesignError{std::move(*invalid)};
    auto catalog = inlet_catalog(project);
    if (auto* invalid = std::get_if<InvalidRules>(&catalog)) return DesignError{std::move(*invalid)};
    const LevelGrid grid = level_grid(project.units);

    std::vector<bool> locked(project.pipes.size());
    for (std::size_t p = 0; p < project.pipes.size(); ++p) locked[p] = project.pipes[p].lock;
    network::Network network = project.to_analysis_network();

    // The street first: the pipes are designed on what the sized inlets pass. The records as
    // given are checked before any length is tried, so that the message names what was written.
    if (network::has_street_inlets(network)) {
        auto given = network::bypass_links(network);
        if (auto* error = std::get_if<network::NetworkError>(&given)) return DesignError{std::move(*error)};
    }
    std::vector<InletChoice> choices;
    std::vector<std::vector<proj::InletOverrides>> records;
    for (std::size_t v = 0; v < project.nodes.size(); ++v) {
        const proj::ProjectNode& node = project.nodes[v];
        if (node.inlet.lock || !network.nodes[v].street) continue;
        records.push_back(inlet_records(node.inlet, std::get<std::vector<double>>(catalog)));
        InletChoice& choice = choices.emplace_back(InletChoice{v, {}});
        for (const proj::InletOverrides& r : records.back()) choice.lengths.push_back(*project.street_inlet(r));
    }
    auto sized = size_inlets(network, project.idf(), project.design_options(), choices);
    if (auto* error = std::get_if<network::NetworkError>(&sized)) return DesignError{std::move(*error)};
    const std::vector<InletSizing>& sizing = std::get<std::vector<InletSizing>>(sized);

    auto outcome = design(network, project.idf(), project.design_options(),
                          std::get<Rules>(rules), locked, grid);
    if (auto* error = std::get_if<DesignError>(&outcome)) return std::move(*error);

    ProjectDesign result{project, std::move(std::get<Design>(outcome)), {}};
    proj::Project& out = result.project;
    for (std::size_t c = 0; c < choices.size(); ++c) {
        out.nodes[choices[c].node].inlet = records[c][sizing[c].choice];
    }
    const network::Analysis& analysis = result.design.analysis;
    std::size_t next_choice = 0;
    std::size_t next_result = 0;
    for (std::size_t v = 0; v < out.nodes.size(); ++v) {
        const network::Node& node = result.design.network.nodes[v];
        if (!node.street || node.street->inlet.type == hydraulics::InletType::none) continue;
        InletDesign d{v, node.street->inlet.length, node.street->inlet.grates,
                      InletGoverning::locked, true};
        if (next_choice < choices.size() && choices[next_choice].node == v) {
            d.governing = sizing[next_choice++].governing;
        }
        d.met = d.governing != InletGoverning::max_length &&
                !analysis.inlets.at(next_result++).spread_exceeded;
        result.inlets.push_back(d);
    }
    check_inlet_spreads(analysis, result.design.unmet);
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
