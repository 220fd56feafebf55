#include <cmath>
#include <cstddef>
#include <utility>
#include <variant>
#include <vector>

#include "hydraulics/constants.hpp"
#include "network/analysis.hpp"
#include "network/design_pass.hpp"
#include "network/grade_line.hpp"
#include "network/routing.hpp"

namespace rillway::network {

using hydraulics::kManningUs;
using hydraulics::kTwoThirds;

namespace {

// A negative or not-a-number dimension would break the section invariant deep inside the
// hydraulics; it is refused up front as a value. A round pipe has no span of its own.
bool valid_size(const hydraulics::Section& section) noexcept {
    if (!(section.rise >= 0.0)) return false;
    return section.kind == hydraulics::SectionKind::circular || section.span >= 0.0;
}

PipeResult pipe_result(const Pipe& pipe, const PipeFlow& flow, double total_ca, double tc) {
    PipeResult r;
    r.normal_depth = flow.normal_depth;
    r.id = pipe.id;
    r.from = pipe.from;
    r.to = pipe.to;
    r.slope = flow.slope;
    r.design_slope = flow.design_slope;
    r.total_ca = total_ca;
    r.intensity = flow.intensity;
    r.tc = tc;
    r.travel_time = flow.travel_time;
    r.design_q = flow.q;
    r.peak_capacity = flow.peak_capacity;
    r.critical_depth = flow.critical_depth;
    r.velocity = flow.velocity;
    r.surcharged = flow.surcharged;

    const double full_area = pipe.section.full_area();
    if (!(pipe.n <= 0.0)) {
        r.capacity = std::sqrt(std::fmax(flow.design_slope, 0.0)) *
                     std::pow(pipe.section.full_hydraulic_radius(), kTwoThirds) *
                     (kManningUs / pipe.n) * full_area;
    }
    r.full_flow_velocity = full_area > 0.0 ? r.capacity / full_area : 0.0;
    r.pct_full = r.capacity > 0.0 ? flow.q / r.capacity : 0.0;
    return r;
}

}  // namespace

AnalysisOutcome analyze(const Network& network, const IdfParams& idf,
                        const DesignOptions& options, hydraulics::Evaluation evaluation) {
    const IdMap ids = index(network);
    auto routed = topo_order(network, ids);
    if (auto* error = std::get_if<NetworkError>(&routed)) return std::move(*error);
    const std::vector<std::size_t> order = std::move(std::get<std::vector<std::size_t>>(routed));

    for (const Pipe& pipe : network.pipes) {
        if (!valid_size(pipe.section)) return NetworkError{InvalidPipeSize{pipe.id}};
    }

    const Links links = link_pipes(network, ids);
    const std::vector<double> total_ca =
        accumulate_ca_vec(network, ids, order, options.frequency_factor);
    const DesignPassResult pass =
        design_pass(network, links, order, total_ca, idf, options, evaluation);
    const GradeLineResult grade =
        grade_line(network, links, order, pass.pipes, options, evaluation);

    Analysis analysis;
    analysis.pipes.reserve(network.pipes.size());
    for (std::size_t p = 0; p < network.pipes.size(); ++p) {
        const std::size_t u = links.from[p];
        PipeResult r = pipe_result(network.pipes[p], pass.pipes[p], total_ca[u], pass.tc[u]);
        r.hgl_up = grade.hgl_up[p];
        r.hgl_dn = grade.hgl_dn[p];
        analysis.pipes.push_back(std::move(r));
    }
    analysis.nodes.reserve(network.nodes.size());
    for (std::size_t v = 0; v < network.nodes.size(); ++v) {
        const Node& node = network.nodes[v];
        NodeResult r;
        r.id = node.id;
        r.tc = pass.tc[v];
        r.hgl = grade.node_hgl[v];
        r.rim = node.rim;
        r.floods = node.kind != NodeKind::outfall && r.hgl > node.rim;
        r.kind = node.kind;
        analysis.nodes.push_back(std::move(r));
    }
    return analysis;
}

}  // namespace rillway::network
