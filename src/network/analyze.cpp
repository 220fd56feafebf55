#include <cstddef>
#include <utility>
#include <variant>
#include <vector>

#include "network/analysis.hpp"
#include "network/design_pass.hpp"
#include "network/energy_line.hpp"
#include "network/grade_line.hpp"
#include "network/loads.hpp"
#include "network/routing.hpp"
#include "network/solvers.hpp"

namespace rillway::network {

AnalysisOutcome analyze(const Network& network, const IdfParams& idf,
                        const DesignOptions& options) {
    return analyze(network, idf, options, production_solvers());
}

AnalysisOutcome analyze(const Network& network, const IdfParams& idf,
                        const DesignOptions& options, const PipeSolvers& solvers) {
    auto resolved = resolve(network);
    if (auto* error = std::get_if<NetworkError>(&resolved)) return std::move(*error);
    const Links& links = std::get<Links>(resolved);
    auto routed = topo_order(links);
    if (auto* error = std::get_if<NetworkError>(&routed)) return std::move(*error);
    const std::vector<std::size_t>& order = std::get<std::vector<std::size_t>>(routed);

    // A bad size would break the section invariant deep inside the hydraulics: refused up front.
    for (const Pipe& pipe : network.pipes) {
        if (auto error = pipe_error(pipe)) return std::move(*error);
    }

    const Loads loads = route_loads(network, links, order, options);
    DesignPassResult pass = design_pass(network, links, order, loads, idf, options, solvers);
    const LossMethod method = options.method();
    NodeLines lines = method_grade_lines(network, links, order, pass.pipes, options, solvers);
    const std::vector<double>& node_hgl = lines.hgl;

    Analysis analysis;
    analysis.pipes = std::move(pass.pipes);
    analysis.loss_method = method;
    analysis.marks_flow_from_upstream = options.min_flow_from_upstream;
    analysis.notes = split_notes(network, links, options);
    analysis.nodes.reserve(network.nodes.size());
    for (std::size_t v = 0; v < network.nodes.size(); ++v) {
        const Node& node = network.nodes[v];
        NodeResult r;
        r.id = node.id;
        r.tc = pass.tc[v];
        r.hgl = node_hgl[v];
        if (!lines.egl.empty()) r.egl = lines.egl[v];
        r.rim = node.rim;
        r.freeboard = node.rim - r.hgl;
        r.floods = node.kind != NodeKind::outfall && r.hgl > node.rim;
        r.kind = node.kind;
        analysis.nodes.push_back(std::move(r));
    }
    return analysis;
}

}  // namespace rillway::network
