#pragma once
// The reference evaluation: Manning's equation, the peak scan and the depth solvers exactly as
// written, with the full geometry at every sample and all 2000 samples of every scan.
//
// The production functions (manning.hpp, depth_solvers.hpp) skip work whose outcome is already
// certain and must return the same bits as these in every case; the exactness tests compare the
// two, and network::reference::analyze runs the whole analysis through this path.
//
// Glossary as in manning.hpp and depth_solvers.hpp.

#include <optional>

#include "hydraulics/manning.hpp"
#include "hydraulics/section.hpp"

namespace rillway::hydraulics {

namespace reference {

[[nodiscard]] double manning_flow(const Section& section, double n, double slope, double depth,
                                  double k);
[[nodiscard]] PeakFlow peak_flow_scan(const Section& section, double n, double slope, double k);
[[nodiscard]] std::optional<double> normal_depth(double q, double n, double slope,
                                                 const Section& section, double k,
                                                 const PeakFlow& peak);
[[nodiscard]] std::optional<double> normal_depth(double q, double n, double slope,
                                                 const Section& section, double k);
[[nodiscard]] double critical_depth(double q, const Section& section, double g);

}  // namespace reference
}  // namespace rillway::hydraulics
