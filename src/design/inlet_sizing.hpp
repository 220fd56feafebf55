#pragma once
// Design mode on the street: each street inlet that is not locked takes the shortest length of
// a catalog that keeps the spread within its allowance at every inlet its bypass reaches, and at
// itself in a sag (HEC-22 3rd ed. 2009, section 4.4; the bypass of one inlet is approach flow at
// the next). The pipes are then designed on the flows the sized inlets pass.
//
// Method: the inlets are taken in the order water reaches them, each starting at its shortest
// length. A sag inlet first lengthens itself until its pond spreads no wider than allowed. Where
// an inlet's spread is still too wide, the inlets above it on its bypass links are lengthened
// one catalog step at a time, nearest first and, among equally near ones, the one passing the
// most bypass; their bypass and the flows between them are recomputed after each step. Every
// bypass falls as an inlet lengthens, so the spreads below only narrow. What no length can
// mend (an inlet's own runoff alone too wide, or every inlet above at its longest) is left for
// the checks to report.

#include <cstddef>
#include <string_view>
#include <variant>
#include <vector>

#include "network/analysis.hpp"
#include "network/network.hpp"

namespace rillway::design {

enum class InletGoverning {
    min_length,  // the catalog's shortest keeps every spread it answers for
    spread,      // lengthened to keep a spread (its own in a sag, else one its bypass reaches)
    max_length,  // at the longest length, and a spread it answers for is still too wide
    locked,      // kept as given
};

[[nodiscard]] std::string_view name(InletGoverning governing) noexcept;

// A street inlet the design may size: its node and the inlet at each catalog length, shortest
// first, each built as the analysis builds the designed document's inlet.
struct InletChoice {
    std::size_t node = 0;
    std::vector<network::StreetInlet> lengths;
};

struct InletSizing {
    std::size_t choice = 0;  // into InletChoice::lengths
    InletGoverning governing = InletGoverning::min_length;
};

// One entry per choice, in the same order; the network's nodes take the chosen inlets. Refuses
// what network::bypass_links refuses (checked at the shortest lengths).
[[nodiscard]] std::variant<std::vector<InletSizing>, network::NetworkError> size_inlets(
    network::Network& network, const network::IdfParams& idf,
    const network::DesignOptions& options, const std::vector<InletChoice>& choices);

}  // namespace rillway::design
