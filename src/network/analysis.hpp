#pragma once
// The network design analysis: the rational-method design pass from the sources to the
// outfalls, then the hydraulic grade line swept back from the outfalls with structure losses.

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "network/network.hpp"

namespace rillway::network {

struct PipeSolvers;

// Everything the analysis says of one pipe. The design pass fills all but the two grade-line
// values (and under the FHWA energy method the two energy-line values), which the sweep adds; callers read the flags here rather than deciding them again.
struct PipeResult {
    std::optional<double> normal_depth;  // ft; absent when the pipe cannot carry design_q
    std::optional<double> hgl_up;        // ft; absent for adverse pipes
    std::optional<double> hgl_dn;        // ft
    std::optional<double> egl_up;        // ft; the FHWA energy method only, absent when adverse
    std::optional<double> egl_dn;        // ft; the FHWA energy method only
    std::string id;
    std::string from;
    std::string to;
    double z_up = 0.0;                // ft, the pipe's own upstream invert or its node's
    double z_dn = 0.0;                // ft
    double slope = 0.0;               // ft/ft, geometric, may be negative
    double design_slope = 0.0;        // ft/ft, used for the hydraulics
    double total_ca = 0.0;            // acres, accumulated C*A at the upstream node (the
                                      // pipe's share of it under FlowSplit::capacity)
    double intensity = 0.0;           // in/hr
    double tc = 0.0;                  // minutes, at the upstream node
    double travel_time = 0.0;         // minutes
    double design_q = 0.0;            // cfs
    double capacity = 0.0;            // cfs, full-flow Manning capacity
    double peak_capacity = 0.0;       // cfs, largest sampled Manning flow
    double critical_depth = 0.0;      // ft
    double velocity = 0.0;            // ft/s, design velocity
    double full_flow_velocity = 0.0;  // ft/s
    double pct_full = 0.0;            // design_q / capacity (1.0 = full)
    bool over_peak = false;           // design_q exceeds the peak capacity: the pipe runs full
    // The reported flag: over_peak, except on an adverse design slope or with neither a
    // positive slope nor a positive capacity, where "surcharged" would say nothing useful.
    bool surcharged = false;
    bool flow_from_upstream = false;  // min_flow_from_upstream raised design_q to the inflow
};

struct NodeResult {
    std::string id;
    double tc = 0.0;         // minutes
    double hgl = 0.0;        // ft
    double rim = 0.0;        // ft
    double freeboard = 0.0;  // ft, rim - hgl (negative when the grade line is above the rim)
    std::optional<double> egl;  // ft; the FHWA energy method only
    bool floods = false;     // hgl above the rim, never at an outfall
    NodeKind kind = NodeKind::inlet;
};

struct Analysis {
    std::vector<PipeResult> pipes;  // network pipe order
    std::vector<NodeResult> nodes;  // network node order
    LossMethod loss_method = LossMethod::standard;  // the energy line exists under fhwa_energy
    bool marks_flow_from_upstream = false;  // the options asked for min_flow_from_upstream
    // What the analysis assumed for the user, one line each (see split_notes).
    std::vector<std::string> notes;
};

using AnalysisOutcome = std::variant<Analysis, NetworkError>;

// Reads the network and both records without changing them.
[[nodiscard]] AnalysisOutcome analyze(const Network& network, const IdfParams& idf,
                                      const DesignOptions& options);

// The same on other per-pipe kernels (the reference copies of the exactness tests).
[[nodiscard]] AnalysisOutcome analyze(const Network& network, const IdfParams& idf,
                                      const DesignOptions& options, const PipeSolvers& solvers);

}  // namespace rillway::network
