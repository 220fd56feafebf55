#pragma once
// The rational-method design pass: walks the routing order from the sources to the outfalls,
// giving every node its time of concentration and every pipe its intensity, design flow,
// slopes, peak capacity, normal and critical depth, velocity and travel time.
//
// Glossary: tc time of concentration (min), i intensity (in/hr), C*A runoff-weighted area (ac),
// Q design flow (cfs), S slope (ft/ft), y depth (ft), V velocity (ft/s), n Manning roughness.

#include <cstddef>
#include <optional>
#include <vector>

#include "hydraulics/reference.hpp"
#include "hydraulics/section.hpp"
#include "network/network.hpp"
#include "network/routing.hpp"

namespace rillway::network {

// Everything the pass fixes for one pipe; the grade line reads it back.
struct PipeFlow {
    double z_up = 0.0;            // ft, the pipe's own upstream invert or its node's
    double z_dn = 0.0;            // ft
    double slope = 0.0;           // geometric, may be negative
    double design_slope = 0.0;    // min_slope where |slope| < 1e-6
    double intensity = 0.0;
    double q = 0.0;
    double peak_capacity = 0.0;   // largest Manning flow of the 2000-depth scan
    std::optional<double> normal_depth;
    double critical_depth = 0.0;  // shared with the grade line
    double velocity = 0.0;
    double travel_time = 0.0;     // min
    bool surcharged = false;      // Q above the peak capacity
};

// Hydraulics of one pipe carrying q. Pure apart from the section check done by the caller
// (the rise must be a number >= 0); allocates nothing. Both evaluations give the same bits.
[[nodiscard]] PipeFlow design_pipe(
    const hydraulics::Section& section, double n, double length, double z_up, double z_dn,
    double q, double intensity, double min_slope,
    hydraulics::Evaluation evaluation = hydraulics::Evaluation::fast);

// i = a / (max(tc, 0) + b)^c, or the override when one is given.
[[nodiscard]] double design_intensity(double tc, const IdfParams& idf,
                                      const std::optional<double>& override_intensity) noexcept;

struct DesignPassResult {
    std::vector<double> tc;       // per node, min
    std::vector<PipeFlow> pipes;  // per pipe
};

[[nodiscard]] DesignPassResult design_pass(
    const Network& network, const Links& links, const std::vector<std::size_t>& order,
    const std::vector<double>& total_ca, const IdfParams& idf, const DesignOptions& options,
    hydraulics::Evaluation evaluation = hydraulics::Evaluation::fast);

}  // namespace rillway::network
