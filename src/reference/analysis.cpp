#include "reference/analysis.hpp"

#include "reference/hydraulics.hpp"

namespace rillway::network::reference {

namespace {

double flow_area(const hydraulics::Section& section, double depth) {
    return section.geometry(depth).area;
}

std::optional<double> normal_depth(double q, double n, double slope,
                                   const hydraulics::Section& section, double k,
                                   const hydraulics::PeakFlow& peak) {
    return hydraulics::reference::normal_depth(q, n, slope, section, k, peak);
}

double critical_depth(double q, const hydraulics::Section& section, double g) {
    return hydraulics::reference::critical_depth(q, section, g);
}

constexpr PipeSolvers kReference{hydraulics::reference::peak_flow_scan, normal_depth,
                                 critical_depth, flow_area, backwater_surface};

}  // namespace

const PipeSolvers& solvers() noexcept { return kReference; }

AnalysisOutcome analyze(const Network& network, const IdfParams& idf,
                        const DesignOptions& options) {
    return network::analyze(network, idf, options, kReference);
}

WaterSurface upstream_surface(const Conduit& conduit, double h_v) {
    return network::upstream_surface(conduit, h_v, backwater_surface);
}

}  // namespace rillway::network::reference
