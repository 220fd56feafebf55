#pragma once
// Design mode on a project document: the rules from its "design" object, the locks from its
// pipes, and the designed sizes and inverts written back in the document's own units.

#include <cstddef>
#include <cstdint>
#include <variant>
#include <vector>

#include "design/design.hpp"
#include "design/inlet_sizing.hpp"
#include "design/rules.hpp"
#include "formats/project/project.hpp"

namespace rillway::design {

// The rules a document's "design" object gives, the defaults standing in for absent keys.
[[nodiscard]] std::variant<Rules, InvalidRules> rules_of(
    const std::optional<formats::project::ProjectDesignRules>& given);

// 0.01 ft in a US customary document, 1 mm in an SI one.
[[nodiscard]] LevelGrid level_grid(units::UnitSystem units) noexcept;

// A street inlet's design: its length as the analysis takes it (ft; of a row of grates their
// whole length), how many grates, what fixed it, and whether every spread it answers for holds.
struct InletDesign {
    std::size_t node = 0;
    double length = 0.0;
    std::uint32_t grates = 1;
    InletGoverning governing = InletGoverning::min_length;
    bool met = true;
};

// The default inlet catalog, ft (in metres in an SI project): curb openings and slotted drains
// take these lengths, grates multiples of their own length up to the longest of them.
inline const std::vector<double> kInletLengthsFt = {3, 5, 10, 15, 20, 25, 30};

struct ProjectDesign {
    // The document with every designed pipe's size (`diameter`) and both inverts written, each
    // structure's invert the lowest of its leaving pipes (an outfall keeps its own). Read back,
    // it builds exactly design.network, so analysing it gives design.analysis.
    // Each street inlet that is not locked has its length (`length_ft`, `grates` and a
    // sweeper's `curb_length_ft`) written too.
    formats::project::Project project;
    Design design;  // its unmet lines include the inlets' spreads
    std::vector<InletDesign> inlets;  // the street inlets in node order; empty without any
};

[[nodiscard]] std::variant<ProjectDesign, DesignError> design_project(
    const formats::project::Project& project);

}  // namespace rillway::design
