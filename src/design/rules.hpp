#pragma once
// The rules design mode sizes pipes and lays inverts by, with their defaults, and the grid the
// inverts are laid on.
//
// Defaults follow FHWA HEC-22 (4th ed., 2024), chapter 9 (storm drain design), and common state
// DOT practice: 18-in minimum pipe, 3 ft/s full-flow (self-cleansing) velocity, 15 ft/s largest
// velocity at the design flow, 3 ft of cover, crowns matched at structures with a 0.1 ft drop,
// and the grade line 1 ft below every rim. Units are those the names carry: inches, feet, ft/s.

#include <optional>
#include <string>
#include <vector>

namespace rillway::design {

enum class Match { crowns, inverts };

struct Rules {
    // Catalog of round pipe diameters, inches (any order; duplicates are ignored).
    std::vector<double> sizes_in = {12, 15, 18, 21, 24, 27, 30, 33, 36, 42, 48,
                                    54, 60, 66, 72, 78, 84, 90, 96, 102, 108};
    double min_diameter_in = 18.0;
    double min_velocity_fps = 3.0;   // full-flow velocity
    double max_velocity_fps = 15.0;  // velocity at the design flow
    double min_cover_ft = 3.0;       // rim to crown at both pipe ends (not at outfalls)
    double max_pct_full = 1.0;       // design flow over just-full capacity
    Match match = Match::crowns;     // what of a leaving pipe may not stand above the entering
    double min_drop_ft = 0.1;        // leaving invert below the lowest entering invert
    double freeboard_ft = 1.0;       // grade line below every rim but the outfalls'
};

// The message naming the first rule that is out of range ("min_cover_ft must be ..."), if any.
[[nodiscard]] std::optional<std::string> validate(const Rules& rules);

// Inverts are laid on a grid of the project's own length unit, so that the designed document
// shows round numbers (0.01 ft, or 1 mm in an SI project) and reads back to the very doubles the
// design analysed: an elevation of k steps is (k / steps_per_unit) * unit_ft feet, the product
// the document reader forms from the written value k / steps_per_unit.
struct LevelGrid {
    double unit_ft = 1.0;            // feet per document length unit
    double steps_per_unit = 100.0;  // grid steps per document length unit

    // Steps of the highest grid level at or below z (ft); of the lowest at or above z.
    [[nodiscard]] double steps_below(double z_ft) const noexcept;
    [[nodiscard]] double steps_above(double z_ft) const noexcept;
    // The elevation in feet, and in document units, of a whole number of steps.
    [[nodiscard]] double feet(double steps) const noexcept { return document(steps) * unit_ft; }
    [[nodiscard]] double document(double steps) const noexcept { return steps / steps_per_unit; }
};

// A catalog size in feet as a document in the grid's unit holds it: the document writes
// inches / 12 / unit_ft, which reads back as exactly this.
[[nodiscard]] double catalog_feet(double inches, const LevelGrid& grid) noexcept;

}  // namespace rillway::design
