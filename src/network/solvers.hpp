#pragma once
// The numerical kernels the analysis calls for each pipe. The design pass and the grade line
// are written once over this record; the production kernels skip work whose outcome is already
// certain, and the plain reference copies (src/reference) compute everything as written. The
// exactness tests run the analysis on both and require the same bits.

#include <optional>

#include "hydraulics/manning.hpp"
#include "hydraulics/section.hpp"

namespace rillway::network {

struct Conduit;

struct PipeSolvers {
    hydraulics::PeakFlow (*peak_flow_scan)(const hydraulics::Section& section, double n,
                                           double slope, double k);
    std::optional<double> (*normal_depth)(double q, double n, double slope,
                                          const hydraulics::Section& section, double k,
                                          const hydraulics::PeakFlow& peak);
    double (*critical_depth)(double q, const hydraulics::Section& section, double g);
    double (*flow_area)(const hydraulics::Section& section, double depth);
    // The water surface at a pipe's upstream end by the 12-reach backwater profile.
    double (*backwater_surface)(const Conduit& conduit, double h_v);
};

[[nodiscard]] const PipeSolvers& production_solvers() noexcept;

}  // namespace rillway::network
