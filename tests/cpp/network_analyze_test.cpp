// The analyze frame: error precedence, size checks, result assembly, and a small network
// checked by hand with the textbook formulas.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <variant>

#include "network/analysis.hpp"

namespace rillway::network {
namespace {

constexpr double kPi = 3.141592653589793;

AnalysisOutcome outcome_of(const Network& net, const DesignOptions& options = {}) {
    return analyze(net, IdfParams{}, options);
}

Analysis run(const Network& net, const DesignOptions& options = {}) {
    AnalysisOutcome outcome = outcome_of(net, options);
    EXPECT_TRUE(std::holds_alternative<Analysis>(outcome))
        << display(std::get<NetworkError>(outcome));
    if (!std::holds_alternative<Analysis>(outcome)) return {};
    return std::get<Analysis>(outcome);
}

std::string error_of(const Network& net) {
    const AnalysisOutcome outcome = outcome_of(net);
    if (!std::holds_alternative<NetworkError>(outcome)) return "no error";
    return display(std::get<NetworkError>(outcome));
}

// ---- textbook round-pipe hydraulics, written out independently of the library ------------

struct Circle {
    double area;
    double perimeter;
    double top_width;
};

Circle circle_at(double y, double d) {
    const double theta = 2.0 * std::acos(1.0 - 2.0 * y / d);
    return {d * d / 8.0 * (theta - std::sin(theta)), d * theta / 2.0, d * std::sin(theta / 2.0)};
}

double manning_at(double y, double d, double n, double s) {
    const Circle c = circle_at(y, d);
    return 1.486 / n * c.area * std::pow(c.area / c.perimeter, 2.0 / 3.0) * std::sqrt(s);
}

double full_capacity(double d, double n, double s) {
    return 1.486 / n * (kPi * d * d / 4.0) * std::pow(d / 4.0, 2.0 / 3.0) * std::sqrt(s);
}

// Depth of uniform flow below the peak of the flow curve (y/D = 0.938), by plain bisection.
double uniform_depth(double q, double d, double n, double s) {
    double lo = 0.0;
    double hi = 0.938 * d;
    for (int i = 0; i < 100; ++i) {
        const double mid = 0.5 * (lo + hi);
        (manning_at(mid, d, n, s) > q ? hi : lo) = mid;
    }
    return 0.5 * (lo + hi);
}

// Froude number 1: Q^2 T = g A^3.
double froude_depth(double q, double d) {
    double lo = 1e-9;
    double hi = 0.999 * d;
    for (int i = 0; i < 100; ++i) {
        const double mid = 0.5 * (lo + hi);
        const Circle c = circle_at(mid, d);
        (q * q * c.top_width > 32.2 * c.area * c.area * c.area ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

double idf(double tc) { return 120.0 / std::pow(tc + 10.0, 0.8); }  // the default curve

// ---- errors -------------------------------------------------------------------------------

TEST(Analyze, InvalidPipeSizes) {
    const Node a = Node::inlet("A", 101.0, 105.0, 1.0, 0.5);
    const Node o = Node::outfall("O", 100.0, 104.0);
    const double nan = std::numeric_limits<double>::quiet_NaN();

    Network negative{{a, o}, {Pipe::circular("P1", "A", "O", 100.0, 1.0, 0.013),
                              Pipe::circular("P2", "A", "O", 100.0, -1.0, 0.013)}};
    EXPECT_EQ(error_of(negative), "pipe 'P2' has a negative or not-a-number size");
    EXPECT_TRUE(std::holds_alternative<InvalidPipeSize>(std::get<NetworkError>(outcome_of(negative))));

    EXPECT_EQ(error_of(Network{{a, o}, {Pipe::rectangular("B1", "A", "O", 100.0, nan, 2.0, 0.013)}}),
              "pipe 'B1' has a negative or not-a-number size");
    EXPECT_EQ(error_of(Network{{a, o}, {Pipe::arch("R1", "A", "O", 100.0, 2.0, -3.0, 0.013)}}),
              "pipe 'R1' has a negative or not-a-number size");
    EXPECT_EQ(error_of(Network{{a, o}, {Pipe::elliptical("E1", "A", "O", 100.0, 2.0, nan, 0.013)}}),
              "pipe 'E1' has a negative or not-a-number size");

    // Unknown nodes and loops are reported before any size.
    EXPECT_EQ(error_of(Network{{a, o}, {Pipe::circular("P1", "A", "O", 100.0, -1.0, 0.013),
                                        Pipe::circular("P2", "A", "X", 100.0, 1.0, 0.013)}}),
              "pipe references unknown node 'X'");
    EXPECT_EQ(error_of(Network{{a, o}, {Pipe::circular("P1", "A", "O", 100.0, -1.0, 0.013),
                                        Pipe::circular("P2", "O", "A", 100.0, 1.0, 0.013)}}),
              "network contains a cycle");
}

TEST(Analyze, ZeroDiameterIsAcceptedAndSurcharges) {
    Network net{{Node::inlet("A", 101.0, 105.0, 1.0, 0.5), Node::outfall("O", 100.0, 104.0)},
                {Pipe::circular("P1", "A", "O", 100.0, 0.0, 0.013)}};
    const Analysis a = run(net);
    ASSERT_EQ(a.pipes.size(), 1u);
    EXPECT_TRUE(a.pipes[0].over_peak);
    EXPECT_EQ(a.pipes[0].capacity, 0.0);
    EXPECT_EQ(a.pipes[0].velocity, 0.0);
    EXPECT_EQ(a.pipes[0].pct_full, 0.0);
    EXPECT_FALSE(a.pipes[0].normal_depth.has_value());
}

// ---- result assembly ----------------------------------------------------------------------

TEST(Analyze, OneOutfallOnly) {
    Network net{{Node::outfall("O", 100.0, 104.0)}, {}};
    DesignOptions options;
    const Analysis a = run(net, options);
    EXPECT_TRUE(a.pipes.empty());
    ASSERT_EQ(a.nodes.size(), 1u);
    EXPECT_EQ(a.nodes[0].id, "O");
    EXPECT_EQ(a.nodes[0].tc, 10.0);
    EXPECT_EQ(a.nodes[0].hgl, 100.0);
    EXPECT_EQ(a.nodes[0].rim, 104.0);
    EXPECT_EQ(a.nodes[0].kind, NodeKind::outfall);
    EXPECT_FALSE(a.nodes[0].floods);

    options.min_tc = -5.0;
    options.tailwater = 106.0;  // above the rim, still no flood at an outfall
    const Analysis b = run(net, options);
    EXPECT_EQ(b.nodes[0].tc, 0.0);
    EXPECT_EQ(b.nodes[0].hgl, 106.0);
    EXPECT_FALSE(b.nodes[0].floods);
}

TEST(Analyze, RoughnessOfZero) {
    Network net{{Node::inlet("A", 101.0, 150.0, 1.0, 0.5), Node::outfall("O", 100.0, 104.0)},
                {Pipe::circular("P1", "A", "O", 100.0, 1.5, 0.0)}};
    const Analysis a = run(net);
    const PipeResult& p = a.pipes[0];
    EXPECT_EQ(p.capacity, 0.0);
    EXPECT_EQ(p.peak_capacity, 0.0);
    EXPECT_EQ(p.pct_full, 0.0);
    EXPECT_EQ(p.full_flow_velocity, 0.0);
    EXPECT_FALSE(p.normal_depth.has_value());
    EXPECT_TRUE(p.over_peak);
    // No friction either, so the outlet crown plus the junction loss would leave the still water
    // too low to drive q into the pipe: it stands at the critical energy of the entrance.
    const double y = p.critical_depth;
    const double theta = 2.0 * std::acos(1.0 - 2.0 * y / 1.5);
    const double v_c = p.design_q / (1.5 * 1.5 / 8.0 * (theta - std::sin(theta)));
    EXPECT_LT(101.5 + p.velocity * p.velocity * 0.5 / 64.4, 101.0 + y + v_c * v_c / 64.4);
    EXPECT_NEAR(*p.hgl_up, 101.0 + y + v_c * v_c / 64.4, 1e-9);
}

TEST(Analyze, FullerThanFullIsNotYetSurcharged) {
    // Q at 103 % of the just-full flow lies below the peak (about 107.6 %).
    const double full = full_capacity(1.5, 0.013, 0.01);
    Network net{{Node::inlet("A", 101.0, 110.0, 1.03 * full, 1.0), Node::outfall("O", 100.0, 104.0)},
                {Pipe::circular("P1", "A", "O", 100.0, 1.5, 0.013)}};
    DesignOptions options;
    options.intensity_override = 1.0;
    const Analysis a = run(net, options);
    const PipeResult& p = a.pipes[0];
    EXPECT_NEAR(p.capacity, full, 1e-9 * full);
    EXPECT_NEAR(p.pct_full, 1.03, 1e-9);
    EXPECT_FALSE(p.over_peak);
    ASSERT_TRUE(p.normal_depth.has_value());
    EXPECT_LT(*p.normal_depth, 0.938 * 1.5 + 1e-3);
    EXPECT_NEAR(p.full_flow_velocity, full / (kPi * 1.5 * 1.5 / 4.0), 1e-9);
}

TEST(Analyze, EverySectionKindGoesThroughThePass) {
    Network net{{Node::inlet("I1", 101.0, 110.0, 1.0, 0.6), Node::inlet("I2", 101.0, 110.0, 1.0, 0.6),
                 Node::inlet("I3", 101.0, 110.0, 1.0, 0.6), Node::outfall("O", 100.0, 104.0)},
                {Pipe::rectangular("BOX", "I1", "O", 100.0, 2.0, 3.0, 0.013),
                 Pipe::elliptical("ELL", "I2", "O", 100.0, 2.0, 3.0, 0.013),
                 Pipe::arch("ARC", "I3", "O", 100.0, 2.0, 3.0, 0.013)}};
    const Analysis a = run(net);
    for (const PipeResult& p : a.pipes) {
        SCOPED_TRACE(p.id);
        EXPECT_GT(p.capacity, 0.0);
        EXPECT_TRUE(std::isfinite(p.peak_capacity));
        EXPECT_FALSE(p.over_peak);
        ASSERT_TRUE(p.normal_depth.has_value());
        EXPECT_GT(*p.normal_depth, 0.0);
        EXPECT_LT(*p.normal_depth, 2.0);
        EXPECT_GT(p.critical_depth, 0.0);
        EXPECT_GT(p.velocity, 0.0);
        EXPECT_TRUE(std::isfinite(*p.hgl_up));
    }
    // Box: A = H B, R = H B / (2 (H + B)) with the roof counted.
    const double area = 2.0 * 3.0;
    const double radius = area / (2.0 * (2.0 + 3.0));
    const double box = 1.486 / 0.013 * area * std::pow(radius, 2.0 / 3.0) * std::sqrt(0.01);
    EXPECT_NEAR(a.pipes[0].capacity, box, 1e-9 * box);
    // At this depth the box runs as an open channel of width 3 ft: V = Q / (3 y_n).
    EXPECT_NEAR(a.pipes[0].velocity, a.pipes[0].design_q / (3.0 * *a.pipes[0].normal_depth), 1e-9);
}

// ---- a small network checked by hand ------------------------------------------------------

TEST(Analyze, HandCheckedThreePipeNetwork) {
    // I1 and I2 drain to the junction J1, which drains to the outfall O1; n 0.013 throughout,
    // default IDF curve i = 120 / (tc + 10)^0.8, min_tc 10, no tailwater.
    Network net{{Node::inlet("I1", 100.0, 106.0, 1.5, 0.7), Node::inlet("I2", 99.5, 105.0, 2.0, 0.5),
                 Node::junction("J1", 98.0, 104.0, 0.3, 0.9), Node::outfall("O1", 96.0, 100.0)},
                {Pipe::circular("P1", "I1", "J1", 200.0, 2.0, 0.013),
                 Pipe::circular("P2", "I2", "J1", 150.0, 1.75, 0.013),
                 Pipe::circular("P3", "J1", "O1", 300.0, 2.5, 0.013)}};
    const Analysis a = run(net);
    ASSERT_EQ(a.pipes.size(), 3u);
    const double rel = 1e-9;

    struct Expected {
        double ca, tc, slope, d, length, z_up;
    };
    const Expected upper[2] = {{0.7 * 1.5, 10.0, 2.0 / 200.0, 2.0, 200.0, 100.0},
                               {0.5 * 2.0, 10.0, 1.5 / 150.0, 1.75, 150.0, 99.5}};
    double travel[2] = {0.0, 0.0};
    for (int k = 0; k < 2; ++k) {
        const Expected& e = upper[k];
        const PipeResult& p = a.pipes[static_cast<std::size_t>(k)];
        SCOPED_TRACE(p.id);
        const double q = e.ca * idf(e.tc);
        EXPECT_NEAR(p.total_ca, e.ca, 1e-12);
        EXPECT_EQ(p.tc, e.tc);
        EXPECT_NEAR(p.intensity, idf(e.tc), rel);
        EXPECT_NEAR(p.design_q, q, rel * q);
        EXPECT_NEAR(p.slope, e.slope, 1e-12);
        const double cap = full_capacity(e.d, 0.013, e.slope);
        EXPECT_NEAR(p.capacity, cap, rel * cap);
        EXPECT_FALSE(p.over_peak);
        // Uniform flow depth to the solver's 1e-7 ft; velocity and travel time follow from it.
        const double y_n = uniform_depth(q, e.d, 0.013, e.slope);
        ASSERT_TRUE(p.normal_depth.has_value());
        EXPECT_NEAR(*p.normal_depth, y_n, 2e-7);
        const double v = q / circle_at(y_n, e.d).area;
        EXPECT_NEAR(p.velocity, v, 1e-5 * v);
        travel[k] = e.length / v / 60.0;
        EXPECT_NEAR(p.travel_time, travel[k], 1e-5 * travel[k]);
        const double y_c = froude_depth(q, e.d);
        EXPECT_NEAR(p.critical_depth, y_c, 2e-7);
        // Steep enough to be supercritical, but the junction's water (at P3's critical energy,
        // below) drowns both outlet crowns, so each is profiled up from it, never below y_c.
        ASSERT_LT(y_n, 0.98 * y_c);
        EXPECT_GT(a.nodes[2].hgl, 98.0 + e.d);
        EXPECT_GE(*p.hgl_up, e.z_up + y_c);
    }

    // The junction waits for the slower of its two inflows.
    const double tc_j = std::fmax(10.0, std::fmax(10.0 + travel[0], 10.0 + travel[1]));
    const PipeResult& p3 = a.pipes[2];
    EXPECT_NEAR(a.nodes[2].tc, tc_j, 1e-5);
    EXPECT_NEAR(p3.total_ca, 0.27 + 1.05 + 1.0, 1e-12);
    const double q3 = (0.27 + 1.05 + 1.0) * idf(tc_j);
    EXPECT_NEAR(p3.design_q, q3, 1e-6 * q3);
    const double cap3 = full_capacity(2.5, 0.013, 2.0 / 300.0);
    EXPECT_NEAR(p3.capacity, cap3, rel * cap3);
    EXPECT_NEAR(p3.pct_full, q3 / cap3, 1e-6);
    const double y_n3 = uniform_depth(q3, 2.5, 0.013, 2.0 / 300.0);
    const double y_c3 = froude_depth(q3, 2.5);
    ASSERT_LT(y_n3, 0.98 * y_c3);
    const double v_c3 = q3 / circle_at(y_c3, 2.5).area;
    EXPECT_NEAR(*p3.hgl_up, 98.0 + y_c3 + v_c3 * v_c3 / 64.4, 1e-6);
    EXPECT_EQ(*p3.hgl_dn, 96.0);
    EXPECT_EQ(a.nodes[3].hgl, 96.0);
    EXPECT_EQ(a.nodes[2].hgl, *p3.hgl_up);
    EXPECT_EQ(*a.pipes[0].hgl_dn, a.nodes[2].hgl);
    for (const NodeResult& node : a.nodes) EXPECT_FALSE(node.floods) << node.id;
}

}  // namespace
}  // namespace rillway::network
