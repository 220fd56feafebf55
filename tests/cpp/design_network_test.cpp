// Design of whole networks: the benchmark generator's networks under the default rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <variant>

#include "../../bench/network_generator.hpp"
#include "design/design.hpp"
#include "design/layout.hpp"

namespace rillway::design {
namespace {

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The returned analysis is that of the returned network; sizes come from the catalog and carry
// their design flows at their slopes.
TEST(DesignNetwork, GeneratedNetworksAreDesignedConsistently) {
    for (const bench::ShapeMix mix : {bench::ShapeMix::circular, bench::ShapeMix::box}) {
        const bench::GeneratedNetwork g = bench::generate_network(400, mix, 7);
        const Rules rules;
        auto outcome = design(g.network, g.idf, g.options, rules, {});
        ASSERT_TRUE(std::holds_alternative<Design>(outcome));
        const Design& d = std::get<Design>(outcome);
        const auto again = network::analyze(d.network, g.idf, g.options);
        const auto& analysis = std::get<network::Analysis>(again);
        for (std::size_t p = 0; p < d.pipes.size(); ++p) {
            const network::PipeResult& r = analysis.pipes[p];
            EXPECT_TRUE(same_bits(r.design_q, d.analysis.pipes[p].design_q));
            EXPECT_TRUE(same_bits(r.velocity, d.analysis.pipes[p].velocity));
            const PipeDesign& pd = d.pipes[p];
            if (mix == bench::ShapeMix::box) {
                EXPECT_EQ(pd.governing, Governing::locked);
                continue;
            }
            ASSERT_TRUE(pd.catalog_in.has_value());
            EXPECT_GE(*pd.catalog_in, rules.min_diameter_in);
            // Each size carries its design flow at its slope; whether a smaller one would lie
            // deeper is the size choice's own test.
            EXPECT_GE(full_capacity(hydraulics::Section::circular(*pd.catalog_in / 12.0),
                                    d.network.pipes[p].n, r.slope) * rules.max_pct_full,
                      r.design_q * (1.0 - 1e-12)) << d.network.pipes[p].id;
        }
        for (std::size_t v = 0; v < d.network.nodes.size(); ++v) {
            EXPECT_TRUE(same_bits(analysis.nodes[v].hgl, d.analysis.nodes[v].hgl));
        }
    }
}

TEST(DesignNetwork, RefusesBadRulesAndUnknownNodes) {
    const bench::GeneratedNetwork g = bench::generate_network(10, bench::ShapeMix::circular, 1);
    Rules rules;
    rules.max_pct_full = 0.0;
    auto outcome = design(g.network, g.idf, g.options, rules, {});
    ASSERT_TRUE(std::holds_alternative<DesignError>(outcome));
    EXPECT_EQ(display(std::get<DesignError>(outcome)), "max_pct_full must be a finite number > 0, got 0");
    network::Network broken = g.network;
    broken.pipes[0].to = "nowhere";
    outcome = design(broken, g.idf, g.options, Rules{}, {});
    ASSERT_TRUE(std::holds_alternative<DesignError>(outcome));
    EXPECT_EQ(display(std::get<DesignError>(outcome)), "pipe references unknown node 'nowhere'");
}

}  // namespace
}  // namespace rillway::design
