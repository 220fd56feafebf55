#pragma once
// The test oracle of the network analysis: the same design pass and grade line on the plain
// reference kernels (every sample of every scan, every geometry in full, the depth terms afresh
// at every trial depth). Linked into the tests and benchmarks only.

#include "network/analysis.hpp"
#include "network/profile.hpp"
#include "network/solvers.hpp"

namespace rillway::network::reference {

[[nodiscard]] const PipeSolvers& solvers() noexcept;

// analyze() on the reference kernels.
[[nodiscard]] AnalysisOutcome analyze(const Network& network, const IdfParams& idf,
                                      const DesignOptions& options);

[[nodiscard]] double backwater_surface(const Conduit& conduit, double h_v);
[[nodiscard]] WaterSurface upstream_surface(const Conduit& conduit, double h_v);

}  // namespace rillway::network::reference
