#include "network/solvers.hpp"

#include "hydraulics/depth_solvers.hpp"
#include "network/profile.hpp"

namespace rillway::network {

namespace {

double flow_area(const hydraulics::Section& section, double depth) {
    return section.geometry(depth, hydraulics::GeometryParts::area).area;
}

std::optional<double> normal_depth(double q, double n, double slope,
                                   const hydraulics::Section& section, double k,
                                   const hydraulics::PeakFlow& peak) {
    return hydraulics::normal_depth(q, n, slope, section, k, peak);
}

double critical_depth(double q, const hydraulics::Section& section, double g) {
    return hydraulics::critical_depth(q, section, g);
}

constexpr PipeSolvers kProduction{hydraulics::peak_flow_scan, normal_depth, critical_depth,
                                  flow_area, backwater_surface};

}  // namespace

const PipeSolvers& production_solvers() noexcept { return kProduction; }

}  // namespace rillway::network
