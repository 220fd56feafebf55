// The energy grade line through analyze: full-flowing pipe ends, the order of the lines, the
// level above a steep pipe as the water below it rises, and the choice of method.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <variant>

#include "network/analysis.hpp"

namespace rillway::network {
namespace {

using hydraulics::Section;

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

// Pipe 41-42 of HEC-22's example (3 %, 1.5 ft, 5.1 cfs over 328 ft: normal depth 0.54 ft,
// critical 0.87 ft) below its inlet, whose water below rises in 2 mm steps from under its outlet
// invert until the subcritical profile drowns its entrance, once into an outfall and once into a
// structure drained by a flat pipe to an outfall. The inlet starts at the free jet's level,
// y_n + hv(y_n) over the entrance invert, and must rise with the water below without a fall or a
// jump anywhere, through the crown and through the moment the entrance drowns.
struct SteepCase {
    const char* name;
    bool via_structure;
};

class SteepPipeDrowning : public ::testing::TestWithParam<SteepCase> {};

TEST_P(SteepPipeDrowning, LevelAboveRisesWithoutFallOrJump) {
    Network net;
    constexpr double kArea = 5.1 / (0.73 * 7.1);
    net.nodes.push_back(Node::inlet("A", 354.07, 360.0, kArea, 0.73));
    Pipe steep = Pipe::circular("P", "A", "B", 328.0, 1.5, 0.013);
    steep.invert_up = 354.07;
    steep.invert_dn = 344.23;
    net.pipes.push_back(steep);
    if (GetParam().via_structure) {
        Node b = Node::junction("B", 344.07, 370.0, 0.0, 0.0);
        b.x = 328.0;
        net.nodes.push_back(b);
        Node o = Node::outfall("O", 344.06, 370.0);
        o.x = 338.0;
        net.nodes.push_back(o);
        net.pipes.push_back(Pipe::circular("Q", "B", "O", 10.0, 3.0, 0.013));
    } else {
        Node b = Node::outfall("B", 344.23, 370.0);
        b.x = 328.0;
        net.nodes.push_back(b);
    }
    DesignOptions options;
    options.loss_method = LossMethod::fhwa_energy;
    options.intensity_override = 7.1;
    options.min_tc = 5.0;
    constexpr double kStep = 0.002;
    std::optional<double> previous;
    double first = 0.0;
    double below = 0.0;
    for (int k = 0; k <= 6500; ++k) {
        options.tailwater = 344.0 + kStep * k;
        const Analysis a = run(net, options);
        ASSERT_TRUE(a.nodes[0].egl && a.pipes[0].normal_depth);
        const double level = *a.nodes[0].egl;
        below = *a.nodes[1].egl;
        if (!previous) {
            const double y_n = *a.pipes[0].normal_depth;
            const double v = a.pipes[0].design_q / Section::circular(1.5).geometry(y_n).area;
            EXPECT_NEAR(level, 354.07 + y_n + v * v / 64.4, 1e-6);
            first = level;
        } else {
            SCOPED_TRACE(*options.tailwater);
            ASSERT_GE(level, *previous);
            ASSERT_LE(level - *previous, 2.0 * kStep);
        }
        previous = level;
    }
    // The sweep reached the drowned entrance: the structure above follows the water below.
    EXPECT_GT(below, 354.07 + 1.5);
    EXPECT_GT(*previous, first + 1.0);
}

INSTANTIATE_TEST_SUITE_P(Drowning, SteepPipeDrowning,
                         ::testing::Values(SteepCase{"into_an_outfall", false},
                                           SteepCase{"into_a_structure", true}),
                         [](const ::testing::TestParamInfo<SteepCase>& param) {
                             return std::string(param.param.name);
                         });

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
