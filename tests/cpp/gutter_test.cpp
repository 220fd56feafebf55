// The gutter section: reference values, round trips, the limits at T = W and monotonicity.
// Reference values are the research note's computed cases (section 5.3, from HEC-22 Eqs. 4-2
// and 4-4 with the printed exponents), worked independently of this code.
#include <gtest/gtest.h>

#include <cmath>

#include "hydraulics/gutter.hpp"

namespace hy = rillway::hydraulics;

namespace {

constexpr double kTwoInches = 2.0 / 12.0;

hy::Gutter street(double width, double depression, double long_slope = 0.01) {
    return hy::Gutter{0.02, long_slope, 0.016, width, depression};
}

struct Case {
    double width, depression, q, e_o, depth, area, velocity;
};

TEST(Gutter, ResearchNoteCasesAtASpreadOf8Point2Ft) {
    // Uniform: E_o of a 2-ft grate; composite: E_o of the 2-ft gutter (HEC-22 Eq. 4-4).
    for (const Case& c : {Case{0.0, 0.0, 1.40175, 0.52597, 0.164, 0.6724, 2.0847},
                          Case{2.0, kTwoInches, 2.30027, 0.71114, 0.33067, 0.83907, 2.74147}}) {
        const hy::Gutter g = street(c.width, c.depression);
        const hy::GutterFlow f = hy::gutter_at_spread(g, 8.2);
        EXPECT_NEAR(f.q, c.q, 5e-6 * c.q);
        EXPECT_NEAR(hy::frontal_ratio(g, 8.2, 2.0), c.e_o, 5e-6);
        EXPECT_NEAR(f.depth, c.depth, 5e-6);
        EXPECT_NEAR(f.area, c.area, 5e-6);
        EXPECT_NEAR(f.velocity, c.velocity, 5e-5);
        // The spread back from the flow.
        EXPECT_NEAR(hy::gutter_spread(g, f.q).spread, 8.2, 1e-9);
    }
}

TEST(Gutter, SpreadRoundTripsThroughTheFlowInsideAndBeyondTheGutter) {
    for (const hy::Gutter g : {street(0.0, 0.0), street(2.0, 0.0), street(2.0, kTwoInches),
                               street(1.5, 0.25, 0.04)}) {
        for (const double t : {0.3, 1.0, 1.999999, 2.0, 2.000001, 6.0, 15.0, 40.0}) {
            const double q = hy::gutter_q(g, t);
            EXPECT_NEAR(hy::gutter_spread(g, q).spread, t, 1e-9 * t) << t;
        }
    }
}

TEST(Gutter, CompositeWithoutDepressionIsTheUniformTriangle) {
    const hy::Gutter plain = street(0.0, 0.0);
    const hy::Gutter composite = street(2.0, 0.0);
    for (const double t : {2.5, 5.0, 8.2, 30.0}) {
        EXPECT_NEAR(hy::gutter_q(composite, t), hy::gutter_q(plain, t), 1e-12 * hy::gutter_q(plain, t));
        // (Narrower than the gutter, the share goes by flow area, which is not Eq. 4-4.)
        for (const double w : {2.0, 3.0, 4.5}) {
            EXPECT_NEAR(hy::frontal_ratio(composite, t, w), hy::frontal_ratio(plain, t, w), 1e-12);
        }
    }
}

TEST(Gutter, ContinuousAndFiniteAtTheGutterEdge) {
    const hy::Gutter g = street(2.0, kTwoInches);
    // The S_w triangle's flow at T = W (research note, section 1.3).
    EXPECT_NEAR(hy::gutter_q(g, 2.0), 0.503037, 5e-7);
    for (const double dt : {1e-6, 1e-9, 1e-12, 1e-15}) {
        const double above = hy::gutter_q(g, 2.0 + dt);
        ASSERT_TRUE(std::isfinite(above));
        EXPECT_NEAR(above, hy::gutter_q(g, 2.0), 1e-5);
        EXPECT_NEAR(hy::frontal_ratio(g, 2.0 + dt, 2.0), 1.0, 1e-5);
        const hy::GutterFlow f = hy::gutter_at_spread(g, 2.0 + dt);
        EXPECT_NEAR(f.depth, 2.0 * g.gutter_slope(), 1e-5);
        EXPECT_NEAR(f.area, g.gutter_slope() * 2.0, 1e-5);
    }
}

TEST(Gutter, FlowRisesWithSpreadAndBothSlopesAndFallsWithRoughness) {
    for (const double a : {0.0, kTwoInches}) {
        double previous = 0.0;
        for (double t = 0.1; t < 30.0; t += 0.1) {
            const double q = hy::gutter_q(street(2.0, a), t);
            EXPECT_GT(q, previous) << t;
            previous = q;
        }
        hy::Gutter g = street(2.0, a);
        const double base = hy::gutter_q(g, 6.0);
        g.long_slope = 0.02;
        EXPECT_GT(hy::gutter_q(g, 6.0), base);
        g = street(2.0, a);
        g.cross_slope = 0.03;
        EXPECT_GT(hy::gutter_q(g, 6.0), base);
        g = street(2.0, a);
        g.n = 0.02;
        EXPECT_LT(hy::gutter_q(g, 6.0), base);
    }
}

TEST(Gutter, StillWaterSpreadInvertsTheSurface) {
    const hy::Gutter g = street(2.0, kTwoInches);
    for (const double x : {0.5, 2.0, 7.0}) {
        EXPECT_NEAR(hy::spread_at_depth(g, hy::surface_rise(g, x)), x, 1e-12);
    }
    EXPECT_EQ(hy::spread_at_depth(g, 0.0), 0.0);
}

}  // namespace
