// The energy grade line through analyze: full-flowing pipe ends, the order of the lines, and
// the choice of method.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <variant>

#include "network/analysis.hpp"

namespace rillway::network {
namespace {

constexpr double kPi = 3.141592653589793;

// Three inlets in a straight run to an outfall, 2 ft pipes falling 1 ft per 200 ft.
Network straight_chain(double area_each) {
    Network net;
    for (int i = 0; i < 3; ++i) {
        Node node = Node::inlet(std::string(1, static_cast<char>('A' + i)), 103.0 - i, 120.0, area_each, 0.9);
        node.x = 200.0 * i;
        net.nodes.push_back(node);
    }
    Node out = Node::outfall("O", 100.0, 110.0);
    out.x = 600.0;
    net.nodes.push_back(out);
    net.pipes.push_back(Pipe::circular("P0", "A", "B", 200.0, 2.0, 0.013));
    net.pipes.push_back(Pipe::circular("P1", "B", "C", 200.0, 2.0, 0.013));
    net.pipes.push_back(Pipe::circular("P2", "C", "O", 200.0, 2.0, 0.013));
    return net;
}

Analysis run(const Network& net, const DesignOptions& options) {
    AnalysisOutcome outcome = analyze(net, IdfParams{}, options);
    EXPECT_TRUE(std::holds_alternative<Analysis>(outcome));
    if (!std::holds_alternative<Analysis>(outcome)) return {};
    return std::get<Analysis>(outcome);
}

struct ChainCase {
    const char* name;
    double area_each;            // acres per inlet
    std::optional<double> tailwater;
};

class EnergyChain : public ::testing::TestWithParam<ChainCase> {};

// Drowned by a tailwater above every crown, or surcharged by more flow than the pipes carry:
// either way every pipe end runs full, so EGL - HGL is the full-pipe velocity head by hand,
// (Q / (pi D^2 / 4))^2 / 64.4, and energy falls at every step downstream.
TEST_P(EnergyChain, FullPipeEndsAndFallingEnergy) {
    const ChainCase c = GetParam();
    const Network net = straight_chain(c.area_each);
    DesignOptions options;
    options.loss_method = LossMethod::fhwa_energy;
    options.tailwater = c.tailwater;
    const Analysis a = run(net, options);
    ASSERT_EQ(a.pipes.size(), 3U);
    for (const PipeResult& p : a.pipes) {
        SCOPED_TRACE(p.id);
        ASSERT_TRUE(p.egl_up && p.egl_dn && p.hgl_up && p.hgl_dn);
        const double v = p.design_q / (kPi * 4.0 / 4.0);
        const double hv = v * v / 64.4;
        EXPECT_GE(*p.hgl_up - p.z_up, 2.0);
        EXPECT_GE(*p.hgl_dn - p.z_dn, 2.0);
        EXPECT_NEAR(*p.egl_up - *p.hgl_up, hv, 1e-9);
        EXPECT_NEAR(*p.egl_dn - *p.hgl_dn, hv, 1e-9);
        EXPECT_GE(*p.egl_up, *p.egl_dn);
    }
    for (std::size_t i = 0; i < 3; ++i) {
        const NodeResult& up = a.nodes[i];
        const NodeResult& down = a.nodes[i + 1];
        ASSERT_TRUE(up.egl && down.egl);
        EXPECT_EQ(up.hgl, *up.egl);  // still water in the structure
        EXPECT_GE(*up.egl, *a.pipes[i].egl_up);
        EXPECT_GE(*a.pipes[i].egl_dn, *down.egl);
    }
    // Into still water the whole velocity head is lost: a submerged outlet keeps the tailwater.
    if (c.tailwater) {
        EXPECT_NEAR(*a.pipes[2].hgl_dn, *c.tailwater, 1e-9);
    }
}

INSTANTIATE_TEST_SUITE_P(Chains, EnergyChain,
                         ::testing::Values(ChainCase{"drowned", 0.5, 110.0},
                                           ChainCase{"surcharged", 6.0, std::nullopt}),
                         [](const ::testing::TestParamInfo<ChainCase>& param) {
                             return std::string(param.param.name);
                         });

TEST(EnergyChain, PartFullRunKeepsEnergyFalling) {
    const Network net = straight_chain(0.4);
    DesignOptions options;
    options.loss_method = LossMethod::fhwa_energy;
    const Analysis a = run(net, options);
    for (std::size_t i = 0; i < 3; ++i) {
        const PipeResult& p = a.pipes[i];
        ASSERT_TRUE(p.egl_up && p.egl_dn);
        EXPECT_GE(*a.nodes[i].egl, *p.egl_up);
        EXPECT_GE(*p.egl_up, *p.egl_dn);
        EXPECT_GE(*p.egl_dn, *a.nodes[i + 1].egl);
        EXPECT_GT(*p.egl_dn, *p.hgl_dn);
    }
}

// The key absent follows the old flag; the flag alone never reaches the energy method.
TEST(LossMethodChoice, AbsentFollowsTheFlag) {
    DesignOptions options;
    EXPECT_EQ(options.method(), LossMethod::standard);
    options.hec22_structure_loss = true;
    EXPECT_EQ(options.method(), LossMethod::hec22);
    options.loss_method = LossMethod::fhwa_energy;
    EXPECT_EQ(options.method(), LossMethod::fhwa_energy);
    const Analysis a = run(straight_chain(0.5), DesignOptions{});
    for (const PipeResult& p : a.pipes) EXPECT_FALSE(p.egl_up || p.egl_dn);
    for (const NodeResult& n : a.nodes) EXPECT_FALSE(n.egl);
}

}  // namespace
}  // namespace rillway::network
