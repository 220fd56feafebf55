// Rational-method pass: per-pipe hydraulics and the tc / intensity walk.
#include <gtest/gtest.h>

#include <cmath>
#include <variant>

#include "network/analysis.hpp"
#include "network/design_pass.hpp"

namespace rillway::network {
namespace {

using hydraulics::Section;

constexpr double kPi = 3.141592653589793;

// Textbook just-full Manning flow of a round pipe, US units.
double full_flow(double d, double n, double s) {
    const double area = kPi * d * d / 4.0;
    return 1.486 / n * area * std::pow(d / 4.0, 2.0 / 3.0) * std::sqrt(s);
}

Analysis run(const Network& net, const DesignOptions& options = {}, const IdfParams& idf = {}) {
    AnalysisOutcome outcome = analyze(net, idf, options);
    EXPECT_TRUE(std::holds_alternative<Analysis>(outcome));
    if (!std::holds_alternative<Analysis>(outcome)) return {};
    return std::get<Analysis>(outcome);
}

TEST(DesignIntensity, IdfCurveAndOverride) {
    const IdfParams idf{120.0, 10.0, 0.8};
    EXPECT_NEAR(design_intensity(15.0, idf, std::nullopt), 120.0 / std::pow(25.0, 0.8), 1e-12);
    // A negative tc is read as 0 on the curve.
    EXPECT_DOUBLE_EQ(design_intensity(-5.0, idf, std::nullopt), design_intensity(0.0, idf, std::nullopt));
    EXPECT_EQ(design_intensity(15.0, idf, 3.5), 3.5);
}

TEST(DesignPipe, PartFullRoundPipe) {
    // 1.5 ft pipe at 1 %, n 0.013, carrying 30 % of its just-full flow.
    const double full = full_flow(1.5, 0.013, 0.01);
    const double q = 0.3 * full;
    const PipeResult f = design_pipe(Section::circular(1.5), 0.013, 200.0, 102.0, 100.0, q, 4.0, 0.001);
    EXPECT_DOUBLE_EQ(f.slope, 0.01);
    EXPECT_DOUBLE_EQ(f.design_slope, 0.01);
    ASSERT_TRUE(f.normal_depth.has_value());
    // Design charts give y/D of about 0.37 for 30 % of the just-full flow.
    EXPECT_NEAR(*f.normal_depth / 1.5, 0.37, 0.01);
    EXPECT_FALSE(f.over_peak);
    // The peak of the partial-flow curve lies about 7.6 % above the just-full flow.
    EXPECT_NEAR(f.peak_capacity / full, 1.076, 0.002);
    // Uniform flow: velocity from the area at the normal depth, travel time L / V / 60.
    const double theta = 2.0 * std::acos(1.0 - 2.0 * *f.normal_depth / 1.5);
    const double area = (theta - std::sin(theta)) * 1.5 * 1.5 / 8.0;
    EXPECT_NEAR(f.velocity, q / area, 1e-9);
    EXPECT_NEAR(f.travel_time, 200.0 / f.velocity / 60.0, 1e-12);
    EXPECT_GT(f.critical_depth, 0.0);
    EXPECT_LT(f.critical_depth, 0.999 * 1.5);
}

TEST(DesignPipe, NoFlow) {
    const PipeResult f = design_pipe(Section::circular(1.5), 0.013, 200.0, 102.0, 100.0, 0.0, 4.0, 0.001);
    ASSERT_TRUE(f.normal_depth.has_value());
    EXPECT_EQ(*f.normal_depth, 0.0);
    EXPECT_EQ(f.critical_depth, 0.0);
    EXPECT_EQ(f.velocity, 0.0);
    EXPECT_EQ(f.travel_time, 0.0);
    EXPECT_FALSE(f.over_peak);
}

TEST(DesignPipe, NoRoughness) {
    for (const double n : {0.0, -0.013}) {
        const PipeResult f = design_pipe(Section::circular(1.5), n, 200.0, 102.0, 100.0, 2.0, 4.0, 0.001);
        EXPECT_EQ(f.peak_capacity, 0.0);
        EXPECT_FALSE(f.normal_depth.has_value());
        EXPECT_TRUE(f.over_peak);
        EXPECT_NEAR(f.velocity, 2.0 / (kPi * 1.5 * 1.5 / 4.0), 1e-12);  // Q over the full area
    }
}

TEST(DesignPipe, FlatAndZeroLengthPipesUseMinSlope) {
    // 5e-5 ft of fall over 100 ft: slope 5e-7 is reported but the hydraulics use min_slope.
    const PipeResult flat = design_pipe(Section::circular(1.5), 0.013, 100.0, 100.00005, 100.0, 1.0, 4.0, 0.002);
    EXPECT_NEAR(flat.slope, 5e-7, 1e-12);
    EXPECT_EQ(flat.design_slope, 0.002);
    const PipeResult at_min = design_pipe(Section::circular(1.5), 0.013, 1000.0, 102.0, 100.0, 1.0, 4.0, 0.002);
    EXPECT_DOUBLE_EQ(flat.peak_capacity, at_min.peak_capacity);

    const PipeResult zero_length = design_pipe(Section::circular(1.5), 0.013, 0.0, 101.0, 100.0, 1.0, 4.0, 0.002);
    EXPECT_EQ(zero_length.slope, 0.0);
    EXPECT_EQ(zero_length.design_slope, 0.002);
    EXPECT_EQ(zero_length.travel_time, 0.0);

    // With min_slope 0 a flat pipe carries nothing.
    const PipeResult dead = design_pipe(Section::circular(1.5), 0.013, 100.0, 100.0, 100.0, 1.0, 4.0, 0.0);
    EXPECT_EQ(dead.peak_capacity, 0.0);
    EXPECT_FALSE(dead.normal_depth.has_value());
    EXPECT_TRUE(dead.over_peak);

    // Exactly -1e-6 is not flat: the uphill slope is kept and carries nothing.
    const PipeResult uphill = design_pipe(Section::circular(1.5), 0.013, 1.0, 0.0, 1e-6, 1.0, 4.0, 0.002);
    EXPECT_EQ(uphill.design_slope, -1e-6);
    EXPECT_TRUE(uphill.over_peak);
}

TEST(DesignPass, TimesOfConcentration) {
    // Inlet -> junction (no area) -> outfall with a long, slow first pipe.
    Network net{{Node::inlet("I1", 100.0, 105.0, 1.0, 0.5), Node::junction("J1", 99.0, 104.0, 0.0, 0.0),
                 Node::outfall("O1", 98.0, 100.0)},
                {Pipe::circular("P1", "I1", "J1", 2000.0, 1.5, 0.013),
                 Pipe::circular("P2", "J1", "O1", 50.0, 1.5, 0.013)}};
    net.nodes[2].tc = 99.0;  // an outfall ignores its tc field
    DesignOptions options;
    options.min_tc = 5.0;
    const Analysis a = run(net, options);
    EXPECT_EQ(a.nodes[0].tc, 10.0);
    EXPECT_DOUBLE_EQ(a.nodes[1].tc, 10.0 + a.pipes[0].travel_time);
    EXPECT_GT(a.pipes[0].travel_time, 1.0);
    EXPECT_DOUBLE_EQ(a.nodes[2].tc, a.nodes[1].tc + a.pipes[1].travel_time);
    EXPECT_DOUBLE_EQ(a.pipes[1].tc, a.nodes[1].tc);
    EXPECT_LT(a.pipes[1].intensity, a.pipes[0].intensity);

    // An area-less junction keeps its 10-minute inlet time; min_tc raises every node.
    options.min_tc = 30.0;
    const Analysis slow = run(net, options);
    EXPECT_EQ(slow.nodes[0].tc, 30.0);
    EXPECT_DOUBLE_EQ(slow.nodes[1].tc, std::fmax(30.0 + slow.pipes[0].travel_time, 30.0));
}

TEST(DesignPass, IntensityOverride) {
    Network net{{Node::inlet("I1", 100.0, 105.0, 1.0, 0.5), Node::inlet("I2", 99.0, 104.0, 1.0, 0.5),
                 Node::outfall("O1", 98.0, 100.0)},
                {Pipe::circular("P1", "I1", "I2", 1000.0, 1.5, 0.013),
                 Pipe::circular("P2", "I2", "O1", 50.0, 1.5, 0.013)}};
    DesignOptions options;
    options.intensity_override = 2.5;
    const Analysis a = run(net, options);
    EXPECT_EQ(a.pipes[0].intensity, 2.5);
    EXPECT_EQ(a.pipes[1].intensity, 2.5);
    EXPECT_DOUBLE_EQ(a.pipes[1].design_q, 1.0 * 2.5);
    EXPECT_GT(a.pipes[1].tc, 10.0);  // tc still accumulates
}

}  // namespace
}  // namespace rillway::network
