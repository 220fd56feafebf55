#pragma once
// Runs the analysis on a parsed network and checks what must hold for any input: no broken
// invariant reaches the hydraulics (analyze refuses bad sizes first), and a finished analysis
// has one result per pipe and per node, in network order.

#include <cstddef>
#include <variant>

#include "fuzz_check.hpp"
#include "hydraulics/section.hpp"
#include "network/analysis.hpp"

namespace rillway::fuzz {

// The analysis costs about 0.1 ms per round pipe and far more per elliptical one; inputs are
// capped so that a slow run means a real hang rather than a big network.
inline constexpr std::size_t kMaxAnalysedPipes = 24;
inline constexpr std::size_t kMaxAnalysedNodes = 200;

inline void analyze_and_check(const network::Network& net, const network::IdfParams& idf,
                              const network::DesignOptions& options) {
    if (net.pipes.size() > kMaxAnalysedPipes || net.nodes.size() > kMaxAnalysedNodes) return;
    network::AnalysisOutcome outcome;
    try {
        outcome = network::analyze(net, idf, options);
    } catch (const hydraulics::SectionInvariantError& error) {
        require(false, error.what());
    }
    if (const auto* analysis = std::get_if<network::Analysis>(&outcome)) {
        require(analysis->pipes.size() == net.pipes.size(), "one result per pipe");
        require(analysis->nodes.size() == net.nodes.size(), "one result per node");
        for (std::size_t i = 0; i < net.pipes.size(); ++i) {
            require(analysis->pipes[i].id == net.pipes[i].id, "pipe results in network order");
        }
        for (std::size_t i = 0; i < net.nodes.size(); ++i) {
            require(analysis->nodes[i].id == net.nodes[i].id, "node results in network order");
        }
    } else {
        (void)network::display(std::get<network::NetworkError>(outcome));
    }
}

}  // namespace rillway::fuzz
