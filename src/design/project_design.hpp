#pragma once
// Design mode on a project document: the rules from its "design" object, the locks from its
// pipes, and the designed sizes and inverts written back in the document's own units.

#include <variant>

#include "design/design.hpp"
#include "design/rules.hpp"
#include "formats/project/project.hpp"

namespace rillway::design {

// The rules a document's "design" object gives, the defaults standing in for absent keys.
[[nodiscard]] std::variant<Rules, InvalidRules> rules_of(
    const std::optional<formats::project::ProjectDesignRules>& given);

// 0.01 ft in a US customary document, 1 mm in an SI one.
[[nodiscard]] LevelGrid level_grid(units::UnitSystem units) noexcept;

struct ProjectDesign {
    // The document with every designed pipe's size (`diameter`) and both inverts written, each
    // structure's invert the lowest of its leaving pipes (an outfall keeps its own). Read back,
    // it builds exactly design.network, so analysing it gives design.analysis.
    formats::project::Project project;
    Design design;
};

[[nodiscard]] std::variant<ProjectDesign, DesignError> design_project(
    const formats::project::Project& project);

}  // namespace rillway::design
