#pragma once
// Design mode: rillway sizes the round pipes of a network from a catalog and lays every pipe's
// inverts, against the rules of design/rules.hpp, then checks the finished design.
//
// Method (HEC-22 4th ed., 2024, section 9.3, the rational-method design of a storm drain):
//  1. Pipes are taken in the routing order, upstream to downstream, so each pipe's design flow
//     Q = C*A * i(tc) + known inflow uses the travel times of the sizes already chosen above
//     it. Pipes that split a structure's flow by capacity are sized for the whole of it.
//  2. A pipe starts as high as its upstream structure allows (cover under the rim, its crown or
//     invert no higher than the lowest entering one, its invert min_drop below the lowest
//     entering invert) and follows the ground: its downstream end lies at the cover line, unless
//     the slope would be flatter than the self-cleansing one, S >= (V n / (1.486 R^(2/3)))^2
//     (2.87 n^2 V^2 / D^(4/3) for a round pipe), or would carry the design flow faster than the
//     largest velocity, when a drop at the upstream structure flattens it.
//  3. Every catalog size, no smaller than the minimum and than any pipe entering the upstream
//     structure, is laid as in 2 no flatter than the slope on which its just-full capacity
//     carries Q within max_pct_full; the size is the smallest that keeps the velocity rule and
//     lies no deeper at either end than any larger size (design/size_choice.hpp, which also
//     says how a lower crown counts where crowns are matched).
//  4. Pipes that the outfall invert or a locked pipe below keeps from ending where they were
//     laid are raised, upstream pipes with them, and the lost cover is reported. A pipe into an
//     outfall that must be raised first takes, of the sizes laid up from the outfall invert on
//     the flattest slope that carries Q, the one that stands least high at its upper end.
//  5. The whole network is analysed; where a structure's grade line breaks the freeboard, the
//     pipe below it with the largest full-flow friction loss is enlarged one catalog step, and
//     steps 1-5 repeat while the catalog lasts. A step is kept only where it lowered the
//     structure's grade line meaningfully (0.05 ft, or a tenth of the shortfall if less) and
//     cost no cover; otherwise the pipe goes back a size and the structure is reported with
//     what holds its grade line (the tailwater at an outfall, most often).
//  6. Every rule is checked on the final analysis; what fails is reported, never hidden.
//
// Glossary: D diameter (rise for other shapes), z invert, Q design flow, S slope, V velocity,
// n Manning roughness, R hydraulic radius; feet, cfs, ft/s, minutes.

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "design/rules.hpp"
#include "network/analysis.hpp"
#include "network/network.hpp"

namespace rillway::design {

// The rule that fixed a pipe's size.
enum class Governing {
    capacity,      // the next smaller size carries Q only on a slope that lays it deeper (at the
                   // floor: would not carry Q at the designed slope)
    min_size,      // the smallest size allowed
    no_decrease,   // as large as the largest pipe entering its upstream structure
    min_velocity,  // (reported rules only: the self-cleansing slope fixes slopes, not sizes)
    max_velocity,  // a smaller size would carry Q only faster than the largest velocity
    cover,         // into an outfall: the size whose raising to the outfall invert lifts the
                   // pipes above least (step 4)
    grade_line,    // enlarged to bring a structure's grade line below its rim by the freeboard
    locked,        // kept: a locked pipe, or a shape other than round
};

[[nodiscard]] std::string_view name(Governing governing) noexcept;

struct PipeDesign {
    double diameter = 0.0;   // ft; the rise of a pipe of another shape
    double invert_up = 0.0;  // ft
    double invert_dn = 0.0;  // ft
    double slope = 0.0;      // ft/ft
    Governing governing = Governing::capacity;
    bool met = true;         // every rule this pipe answers for holds
    // Designed inverts as whole grid steps (see LevelGrid); none for a locked pipe.
    std::optional<double> steps_up;
    std::optional<double> steps_dn;
    std::optional<double> catalog_in;  // the catalog size of a sized pipe, inches
};

struct Design {
    network::Network network;    // the designed network: sizes, both inverts of every pipe,
                                 // every structure's invert the lowest of its leaving pipes
    network::Analysis analysis;  // analyze() of that network
    std::vector<PipeDesign> pipes;   // network pipe order
    std::vector<std::string> unmet;  // one line per rule that fails, naming where and by how much
};

struct InvalidRules {
    std::string message;  // e.g. "min_cover_ft must be a finite number >= 0, got -1"
};
// A pipe or structure design cannot work with, named: a roughness or a length that is not a
// finite number above zero, an elevation that is not finite or beyond kLargestElevation.
struct InvalidRecord {
    std::string message;  // e.g. "pipe 'P1': n must be a finite number above zero, got 0"
};
using DesignError = std::variant<network::NetworkError, InvalidRules, InvalidRecord>;

// Elevations design accepts, ft either side of zero: far beyond any ground, and small enough that
// every elevation counts whole 1-mm grid steps exactly in a double (2^53 steps is 9e12 m).
inline constexpr double kLargestElevation = 1e7;
using DesignOutcome = std::variant<Design, DesignError>;

[[nodiscard]] std::string display(const DesignError& error);

// `locked` holds one flag per pipe (missing entries count as false). Circular pipes that are not
// locked are sized; the others keep their size and, when locked, their inverts.
[[nodiscard]] DesignOutcome design(const network::Network& network, const network::IdfParams& idf,
                                   const network::DesignOptions& options, const Rules& rules,
                                   const std::vector<bool>& locked, const LevelGrid& grid = {});

}  // namespace rillway::design
