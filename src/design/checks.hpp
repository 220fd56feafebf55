#pragma once
// The rules checked on a finished design: each failure becomes one line of the report, naming
// the pipe or structure, the rule and by how much it fails, and clears the pipe's `met` flag.

#include <string>
#include <vector>

#include "design/design.hpp"
#include "design/rules.hpp"
#include "network/analysis.hpp"
#include "network/network.hpp"
#include "network/routing.hpp"

namespace rillway::design {

// `sized` flags the pipes whose size came from the catalog (the size rules apply to them only);
// every other rule applies to every pipe, locked ones included. `held` may give per structure
// what keeps its grade line up ("grade line held by the tailwater at OUT"), said with an unmet
// freeboard.
void check_design(const network::Network& designed, const network::Links& links,
                  const network::Analysis& analysis, const Rules& rules,
                  const std::vector<bool>& sized, std::vector<PipeDesign>& pipes,
                  std::vector<std::string>& unmet, const std::vector<std::string>& held = {});

// One line for each street inlet whose spread is wider than allowed ("inlet E1: spread: ...").
void check_inlet_spreads(const network::Analysis& analysis, std::vector<std::string>& unmet);

}  // namespace rillway::design
