// Grade line: per-pipe water-surface rules, structure losses, and the sweep through analyze.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <variant>

#include "hydraulics/depth_solvers.hpp"
#include "network/analysis.hpp"
#include "network/grade_line.hpp"
#include "network/profile.hpp"

namespace rillway::network {
namespace {

using hydraulics::Section;

constexpr double kPi = 3.141592653589793;

// Textbook full-pipe friction slope of a round pipe: (Q n / (1.486 A R^(2/3)))^2.
double full_friction_slope(double q, double d, double n) {
    const double area = kPi * d * d / 4.0;
    const double k = q * n / (1.486 * area * std::pow(d / 4.0, 2.0 / 3.0));
    return k * k;
}

Conduit round_conduit(double d, double n, double length, double z_up, double z_dn, double q) {
    Conduit c;
    c.section = Section::circular(d);
    c.n = n;
    c.length = length;
    c.z_up = z_up;
    c.z_dn = z_dn;
    c.q = q;
    c.y_n = d;
    c.y_c = hydraulics::critical_depth(q, c.section, 32.2);
    return c;
}

Analysis run(const Network& net, const DesignOptions& options) {
    AnalysisOutcome outcome = analyze(net, IdfParams{}, options);
    EXPECT_TRUE(std::holds_alternative<Analysis>(outcome));
    if (!std::holds_alternative<Analysis>(outcome)) return {};
    return std::get<Analysis>(outcome);
}

Node at(Node node, double x, double y) {
    node.x = x;
    node.y = y;
    return node;
}

// ---- structure-loss coefficients -------------------------------------------------------------

TEST(BendCoefficient, StraightRightAngleAndReversal) {
    EXPECT_EQ(bend_coefficient(1.0, turn_cosine(100.0, 0.0, 50.0, 0.0)), 0.0);
    EXPECT_NEAR(bend_coefficient(1.0, turn_cosine(100.0, 0.0, 0.0, 80.0)), 0.5, 1e-15);
    EXPECT_EQ(bend_coefficient(1.0, turn_cosine(100.0, 0.0, -30.0, 0.0)), 1.0);
    EXPECT_NEAR(bend_coefficient(1.0, turn_cosine(1.0, 0.0, 1.0, 1.0)), 0.5 * (1.0 - std::sqrt(0.5)), 1e-15);
    EXPECT_EQ(bend_coefficient(2.0, -1.0), 2.0);
    // No scale, or a direction of zero length, gives no bend loss.
    EXPECT_EQ(bend_coefficient(0.0, -1.0), 0.0);
    EXPECT_EQ(bend_coefficient(-1.0, -1.0), 0.0);
    EXPECT_EQ(turn_cosine(0.0, 0.0, -1.0, 0.0), 1.0);
    EXPECT_EQ(turn_cosine(1.0, 2.0, 0.0, 0.0), 1.0);
}

TEST(Hec22Coefficient, WorkedValuesAndLimits) {
    // Straight through (sin 0): K0 = 0.1 b / D_o = 0.2; shallow d = 1: C_d = 0.5 * 1^0.6.
    EXPECT_NEAR(hec22_coefficient(4.0, 2.0, 0.0, 1.0, 1.0), 0.1, 1e-15);
    // Right angle (sin 1): K0 = 1.4 (b / D_o)^0.15. Deep water (d >= 3.2): C_d = 1 and the
    // inlet/outlet size ratio (D_o / D_i)^3 applies; shallow it does not.
    const double k0 = 1.4 * std::pow(2.0, 0.15);
    EXPECT_NEAR(hec22_coefficient(4.0, 2.0, 1.5, 0.0, 4.0), k0 * std::pow(2.0 / 1.5, 3.0), 1e-12);
    EXPECT_NEAR(hec22_coefficient(4.0, 2.0, 1.5, 0.0, 3.2), k0 * std::pow(2.0 / 1.5, 3.0), 1e-12);
    EXPECT_NEAR(hec22_coefficient(4.0, 2.0, 1.5, 0.0, 1.0), k0 * 0.5, 1e-12);
    // 0.5 d^0.6 passes 1 just below d = 3.2 and is clamped there.
    EXPECT_NEAR(hec22_coefficient(4.0, 2.0, 0.0, 1.0, 3.19), 0.2, 1e-15);
    EXPECT_EQ(hec22_coefficient(4.0, 2.0, 1.5, 1.0, 0.0), 0.0);  // dry: C_d = 0
    EXPECT_EQ(hec22_coefficient(4.0, 0.0, 1.5, 0.0, 4.0), 0.0);
}

// ---- water surface at the upstream end of one pipe -------------------------------------------

TEST(UpstreamSurface, SurchargedPipeUsesFullFlowFriction) {
    Conduit c = round_conduit(1.5, 0.013, 300.0, 101.0, 100.0, 20.0);
    c.surcharged = true;
    const double loss = 300.0 * full_friction_slope(20.0, 1.5, 0.013);
    // Outlet below the crown: the pipe starts full at its crown.
    EXPECT_NEAR(upstream_surface(c, 99.0).level, 101.5 + loss, 1e-9);
    EXPECT_NEAR(upstream_surface(c, 103.0).level, 103.0 + loss, 1e-9);
    EXPECT_FALSE(upstream_surface(c, 103.0).free_outlet);
    c.n = 0.0;  // no roughness, no friction
    EXPECT_EQ(upstream_surface(c, 99.0).level, 101.5);
}

TEST(UpstreamSurface, FreeSupercriticalOutlet) {
    Conduit c = round_conduit(1.5, 0.013, 100.0, 105.0, 100.0, 5.0);
    c.y_n = 0.5 * c.y_c;
    const WaterSurface free = upstream_surface(c, 100.0);
    EXPECT_TRUE(free.free_outlet);
    // The structure stands at the critical energy: y_c + V_c^2 / 2g above the upstream invert,
    // with the circular-segment area A = D^2 / 8 (theta - sin theta) at y_c.
    const double theta = 2.0 * std::acos(1.0 - 2.0 * c.y_c / 1.5);
    const double area = 1.5 * 1.5 / 8.0 * (theta - std::sin(theta));
    EXPECT_NEAR(free.level, 105.0 + c.y_c + (5.0 / area) * (5.0 / area) / 64.4, 1e-12);
    // The crown exactly at the grade line still counts as a free outlet; above it does not.
    EXPECT_TRUE(upstream_surface(c, 101.5).free_outlet);
    EXPECT_FALSE(upstream_surface(c, 101.6).free_outlet);
    // y_n at 98 % of y_c is not supercritical enough.
    c.y_n = 0.98 * c.y_c;
    EXPECT_FALSE(upstream_surface(c, 100.0).free_outlet);
}

TEST(BackwaterProfile, DeepTailwaterAddsFullPipeFriction) {
    // With the pipe full over its whole length velocity head is constant, so the energy
    // balance gives W = H_v + L * Sf_full.
    const Conduit c = round_conduit(1.5, 0.013, 300.0, 101.0, 100.0, 5.0);
    const double h_v = 100.0 + 5.0;
    EXPECT_NEAR(backwater_surface(c, h_v), h_v + 300.0 * full_friction_slope(5.0, 1.5, 0.013), 1e-6);
}

TEST(BackwaterProfile, UniformFlowIsKeptAlongThePipe) {
    // Mild pipe with the tailwater at normal depth: each reach loses S0 * dx to friction and
    // the depth stays at y_n.
    Conduit c = round_conduit(2.0, 0.013, 400.0, 101.0, 100.0, 8.0);
    const std::optional<double> y_n = hydraulics::normal_depth(8.0, 0.013, 1.0 / 400.0, c.section, 1.486);
    ASSERT_TRUE(y_n.has_value());
    ASSERT_GT(*y_n, c.y_c);  // subcritical
    c.y_n = *y_n;
    EXPECT_FALSE(upstream_surface(c, 100.0 + *y_n).free_outlet);
    EXPECT_NEAR(upstream_surface(c, 100.0 + *y_n).level, 101.0 + *y_n, 1e-5);
}

TEST(BackwaterProfile, DrawdownFromCriticalDepthStaysBetweenCriticalAndNormal) {
    Conduit c = round_conduit(2.0, 0.013, 400.0, 101.0, 100.0, 8.0);
    c.y_n = *hydraulics::normal_depth(8.0, 0.013, 1.0 / 400.0, c.section, 1.486);
    const double w = backwater_surface(c, 95.0);  // tailwater far below the outlet
    EXPECT_GT(w, 101.0 + c.y_c);
    EXPECT_LT(w, 101.0 + c.y_n + 1e-6);
    EXPECT_EQ(w, backwater_surface(c, 100.0));  // any grade line below z_dn + y_c is the same
}

TEST(BackwaterProfile, NoFlowNoLengthOrTinyRiseCarryTheOutletSurfaceUp) {
    const Conduit dry = round_conduit(1.5, 0.013, 300.0, 101.0, 100.0, 0.0);
    EXPECT_EQ(backwater_surface(dry, 99.0), (100.0 + 1e-4) + (101.0 - 100.0));
    EXPECT_EQ(backwater_surface(dry, 100.7), 100.7 + (101.0 - 100.0));

    const Conduit stub = round_conduit(1.5, 0.013, 0.0, 100.5, 100.0, 3.0);
    EXPECT_EQ(backwater_surface(stub, 99.0), (100.0 + stub.y_c) + 0.5);

    // A rise below the 1e-4 ft depth clamp cannot be profiled.
    Conduit tiny = round_conduit(5e-5, 0.013, 100.0, 101.0, 100.0, 1e-12);
    tiny.y_n = 1e-5;
    const double w = backwater_surface(tiny, 100.3);
    EXPECT_TRUE(std::isfinite(w));
    EXPECT_EQ(w, 100.3 + 1.0);
}

// ---- the sweep through analyze ---------------------------------------------------------------

TEST(GradeLineSweep, AdversePipe) {
    Network net{{Node::inlet("I1", 99.0, 104.0, 1.0, 0.5), Node::outfall("O1", 100.0, 103.0)},
                {Pipe::circular("P1", "I1", "O1", 100.0, 1.5, 0.013)}};
    const Analysis a = run(net, DesignOptions{});
    EXPECT_FALSE(a.pipes[0].hgl_up.has_value());
    ASSERT_TRUE(a.pipes[0].hgl_dn.has_value());
    EXPECT_EQ(*a.pipes[0].hgl_dn, 100.0);
    EXPECT_EQ(a.nodes[0].hgl, 99.0);  // nothing else reaches I1: its invert
}

TEST(GradeLineSweep, SlopeOfExactlyMinusOneMillionthIsNotAdverse) {
    Network net{{Node::inlet("I1", 0.0, 10.0, 1.0, 0.5), Node::outfall("O1", 1e-6, 10.0)},
                {Pipe::circular("P1", "I1", "O1", 1.0, 1.5, 0.013)}};
    const Analysis a = run(net, DesignOptions{});
    ASSERT_EQ(a.pipes[0].slope, -1e-6);
    ASSERT_TRUE(a.pipes[0].hgl_up.has_value());
    // Uphill design slope: no capacity, surcharged, starts at least at the outlet crown.
    EXPECT_TRUE(a.pipes[0].over_peak);
    EXPECT_GE(*a.pipes[0].hgl_up, 1e-6 + 1.5);
}

TEST(GradeLineSweep, SteepPipeWithLowTailwaterHasNoStructureLoss) {
    Network net{{Node::inlet("I1", 105.0, 110.0, 1.0, 0.5), Node::outfall("O1", 100.0, 103.0)},
                {Pipe::circular("P1", "I1", "O1", 100.0, 1.5, 0.013)}};
    DesignOptions options;
    options.junction_k = 1.0;
    const Analysis a = run(net, options);
    const PipeResult& p = a.pipes[0];
    ASSERT_TRUE(p.normal_depth.has_value());
    ASSERT_LT(*p.normal_depth, 0.98 * p.critical_depth);
    ASSERT_GT(p.velocity, 0.0);
    // The structure stands at the entrance's critical energy, and junction_k adds nothing.
    const double theta = 2.0 * std::acos(1.0 - 2.0 * p.critical_depth / 1.5);
    const double v_c = p.design_q / (1.5 * 1.5 / 8.0 * (theta - std::sin(theta)));
    EXPECT_NEAR(*p.hgl_up, 105.0 + p.critical_depth + v_c * v_c / 64.4, 1e-12);
    EXPECT_EQ(a.nodes[0].hgl, *p.hgl_up);
}

TEST(GradeLineSweep, PipeWithoutFlow) {
    Network net{{Node::inlet("I1", 101.0, 110.0, 0.0, 0.5), Node::outfall("O1", 100.0, 103.0)},
                {Pipe::circular("P1", "I1", "O1", 100.0, 1.5, 0.013)}};
    DesignOptions options;
    const Analysis a = run(net, options);
    ASSERT_EQ(a.pipes[0].design_q, 0.0);
    EXPECT_EQ(*a.pipes[0].hgl_up, std::fmax(100.0, 100.0 + 1e-4) + (101.0 - 100.0));
    options.tailwater = 100.4;
    const Analysis high = run(net, options);
    EXPECT_EQ(*high.pipes[0].hgl_up, 100.4 + (101.0 - 100.0));
}

TEST(GradeLineSweep, TailwaterBelowTheOutfallInvert) {
    Network net{{Node::inlet("I1", 101.0, 110.0, 2.0, 0.5), Node::outfall("O1", 100.0, 103.0)},
                {Pipe::circular("P1", "I1", "O1", 400.0, 2.0, 0.013)}};
    DesignOptions options;
    options.junction_k = 0.0;
    options.tailwater = 98.0;
    const Analysis low = run(net, options);
    EXPECT_EQ(low.nodes[1].hgl, 98.0);
    EXPECT_EQ(*low.pipes[0].hgl_dn, 98.0);
    // The pipe still starts from critical depth at its outlet, as it would with no tailwater.
    const PipeResult& p = low.pipes[0];
    ASSERT_GE(*p.normal_depth, 0.98 * p.critical_depth);
    EXPECT_GT(*p.hgl_up, 101.0 + p.critical_depth);
    options.tailwater.reset();
    EXPECT_EQ(*run(net, options).pipes[0].hgl_up, *p.hgl_up);
}

TEST(GradeLineSweep, SurchargedPipeWithJunctionLoss) {
    // 2 ac at C 0.9 into a 1 ft pipe: far above its capacity.
    Network net{{Node::inlet("I1", 101.0, 104.0, 2.0, 0.9), Node::outfall("O1", 100.0, 103.0)},
                {Pipe::circular("P1", "I1", "O1", 200.0, 1.0, 0.013)}};
    DesignOptions options;
    options.junction_k = 0.5;
    const Analysis a = run(net, options);
    const PipeResult& p = a.pipes[0];
    ASSERT_TRUE(p.over_peak);
    const double v = p.design_q / (kPi / 4.0);
    EXPECT_NEAR(p.velocity, v, 1e-12);
    const double expected = (100.0 + 1.0) + 200.0 * full_friction_slope(p.design_q, 1.0, 0.013) +
                            v * v * 0.5 / 64.4;
    EXPECT_NEAR(*p.hgl_up, expected, 1e-9);
    EXPECT_TRUE(a.nodes[0].floods);   // far above its 104 ft rim
    options.tailwater = 200.0;         // an outfall never floods
    EXPECT_FALSE(run(net, options).nodes[1].floods);
}

// Three nodes in plan: I1 at the origin, J1 100 ft east, O1 placed to make the turn at J1.
// At 0.1 % both pipes run surcharged, so both carry a structure loss.
Network bend_network(double ox, double oy) {
    return Network{{at(Node::inlet("I1", 100.2, 110.0, 1.0, 0.5), 0.0, 0.0),
                    at(Node::junction("J1", 100.1, 110.0, 0.0, 0.0), 100.0, 0.0),
                    at(Node::outfall("O1", 100.0, 110.0), ox, oy)},
                   {Pipe::circular("P1", "I1", "J1", 100.0, 1.5, 0.013),
                    Pipe::circular("P2", "J1", "O1", 100.0, 1.5, 0.013)}};
}

TEST(GradeLineSweep, BendLossAtTheStructureWhereTheWaterTurns) {
    DesignOptions options;
    options.bend_loss_coeff = 1.0;
    options.junction_k = 0.0;
    const Analysis straight = run(bend_network(200.0, 0.0), options);
    const Analysis right = run(bend_network(100.0, 100.0), options);
    const Analysis reversed = run(bend_network(0.0, 0.0), options);
    ASSERT_TRUE(straight.pipes[0].over_peak && straight.pipes[1].over_peak);
    // K_bend = 0.5 (1 - cos phi): 0 straight, 0.5 at a right angle, 1 for a reversal, times the
    // velocity head of P2, the pipe leaving J1.
    const double v = straight.pipes[1].velocity;
    const double hv = v * v / 64.4;
    ASSERT_GT(hv, 0.0);
    EXPECT_NEAR(right.nodes[1].hgl - straight.nodes[1].hgl, 0.5 * hv, 1e-12);
    EXPECT_NEAR(reversed.nodes[1].hgl - straight.nodes[1].hgl, 1.0 * hv, 1e-12);
    // I1 has no inflow, so no turn of its own: it feels the bend only through P1, whose
    // pressure line starts at J1's grade line.
    EXPECT_NEAR(right.nodes[0].hgl - straight.nodes[0].hgl, 0.5 * hv, 1e-9);
    DesignOptions no_bend = options;
    no_bend.bend_loss_coeff = 0.0;
    EXPECT_EQ(run(bend_network(100.0, 100.0), no_bend).nodes[1].hgl, straight.nodes[1].hgl);
}

TEST(GradeLineSweep, Hec22LossAtTheUpstreamStructure) {
    // Straight run I1 -> J1 -> O1; P2 (1 ft) is surcharged under a high tailwater, so its W is
    // known in closed form and the water in J1 stands more than 3.2 diameters above P2's invert.
    Network net{{at(Node::inlet("I1", 102.0, 120.0, 2.0, 0.9), 0.0, 0.0),
                 at(Node::junction("J1", 101.0, 120.0, 0.0, 0.0), 100.0, 0.0),
                 at(Node::outfall("O1", 100.0, 120.0), 200.0, 0.0)},
                {Pipe::circular("P1", "I1", "J1", 100.0, 1.5, 0.013),
                 Pipe::circular("P2", "J1", "O1", 100.0, 1.0, 0.013)}};
    DesignOptions options;
    options.hec22_structure_loss = true;
    options.access_hole_diameter = 4.0;
    options.tailwater = 106.0;
    const Analysis a = run(net, options);
    const PipeResult& p2 = a.pipes[1];
    ASSERT_TRUE(p2.over_peak);
    const double w = 106.0 + 100.0 * full_friction_slope(p2.design_q, 1.0, 0.013);
    const double d = (w - 101.0) / 1.0;
    ASSERT_GE(d, 3.2);
    const double k = std::pow(1.0 / 1.5, 3.0) * (0.1 * 4.0) * 1.0;  // C_D * K0 * C_d
    const double v = p2.design_q / (kPi / 4.0);
    EXPECT_NEAR(*p2.hgl_up, w + k * v * v / 64.4, 1e-9);

    options.hec22_factor = 2.0;
    const double doubled = *run(net, options).pipes[1].hgl_up;
    EXPECT_NEAR(doubled, w + 2.0 * k * v * v / 64.4, 1e-9);
    options.hec22_factor = 0.0;  // not greater than 0: read as 1
    EXPECT_EQ(*run(net, options).pipes[1].hgl_up, *p2.hgl_up);
}

TEST(GradeLineSweep, NodeTakesTheHighestOfItsOutflows) {
    // I1 drains through a generous and a tight pipe; the tight one sets I1's grade line.
    Network net{{Node::inlet("I1", 101.0, 120.0, 3.0, 0.9), Node::outfall("O1", 100.0, 103.0)},
                {Pipe::circular("P1", "I1", "O1", 100.0, 3.0, 0.013),
                 Pipe::circular("P2", "I1", "O1", 100.0, 0.75, 0.013)}};
    const Analysis a = run(net, DesignOptions{});
    ASSERT_TRUE(a.pipes[1].over_peak);
    ASSERT_FALSE(a.pipes[0].over_peak);
    EXPECT_LT(*a.pipes[0].hgl_up, *a.pipes[1].hgl_up);
    EXPECT_EQ(a.nodes[0].hgl, *a.pipes[1].hgl_up);
}

TEST(GradeLineSweep, PipeTooSmallToProfile) {
    // A 5e-5 ft pipe carrying 1e-12 cfs under a tailwater above its crown.
    Network net{{Node::inlet("I1", 101.0, 110.0, 1e-12, 1.0), Node::outfall("O1", 100.0, 103.0)},
                {Pipe::circular("P1", "I1", "O1", 100.0, 5e-5, 0.013)}};
    DesignOptions options;
    options.intensity_override = 1.0;
    options.junction_k = 0.0;
    options.tailwater = 100.3;
    const Analysis a = run(net, options);
    const PipeResult& p = a.pipes[0];
    ASSERT_FALSE(p.over_peak);
    ASSERT_GT(p.design_q, 0.0);
    EXPECT_EQ(*p.hgl_up, 100.3 + (101.0 - 100.0));
}

}  // namespace
}  // namespace rillway::network
