// One pipe of a design: full-flow limits against their closed forms, and the laying of inverts.
#include <gtest/gtest.h>

#include <cmath>

#include "design/layout.hpp"

namespace rillway::design {
namespace {

using hydraulics::Section;

// HEC-22 (4th ed.) Example 9.1: Q = 17.6 cfs, n = 0.013, S = 0.015. The smallest round pipe
// D = (Q n / (0.463 S^0.5))^(3/8) = 1.69 ft; the 21-in pipe carries 19.3 cfs just full.
TEST(DesignLayout, Hec22Example91Capacity) {
    const double needed = std::pow(17.6 * 0.013 / (0.463 * std::sqrt(0.015)), 3.0 / 8.0);
    EXPECT_NEAR(needed, 1.69, 0.005);
    // To the manual's rounding: within 1 per cent.
    EXPECT_NEAR(full_capacity(Section::circular(1.75), 0.013, 0.015), 19.3, 0.01 * 19.3);
    EXPECT_LT(full_capacity(Section::circular(1.5), 0.013, 0.015), 17.6);
    // The capacity slope inverts the capacity.
    const double s = capacity_slope(Section::circular(1.69), 0.013, 17.6);
    EXPECT_NEAR(full_capacity(Section::circular(1.69), 0.013, s), 17.6, 1e-9);
}

// Self-cleansing slope of a round pipe: S = 2.87 n^2 V^2 / D^(4/3) in US units.
TEST(DesignLayout, SelfCleansingSlopeMatchesRoundPipeForm) {
    for (const double d : {1.0, 1.5, 3.0, 9.0}) {
        const double expected = 2.87 * 0.013 * 0.013 * 9.0 / std::pow(d, 4.0 / 3.0);
        EXPECT_NEAR(self_cleansing_slope(Section::circular(d), 0.013, 3.0), expected,
                    2e-3 * expected);
        // The full-flow velocity at that slope is the 3 ft/s asked for.
        const double s = self_cleansing_slope(Section::circular(d), 0.013, 3.0);
        EXPECT_NEAR(full_capacity(Section::circular(d), 0.013, s) / (M_PI * d * d / 4.0), 3.0, 1e-9);
    }
}

// The steepest slope keeps the design velocity within the limit and is the limit's own slope.
TEST(DesignLayout, SteepestSlopeMeetsMaxVelocity) {
    const Section pipe = Section::circular(1.5);
    const SteepestSlope found = steepest_slope(pipe, 0.013, 10.0, 0.002, 0.2, 15.0);
    ASSERT_TRUE(found.found);
    EXPECT_LE(design_velocity(pipe, 0.013, 10.0, found.slope), 15.0);
    EXPECT_GT(design_velocity(pipe, 0.013, 10.0, found.slope * 1.001), 15.0);
    EXPECT_FALSE(steepest_slope(pipe, 0.013, 10.0, 0.19, 0.2, 15.0).found);
}

// Laying: cover under the rims, the lower end at the cover line on steep ground and on the
// self-cleansing slope on flat ground, and a drop that flattens a pipe from its upper end.
TEST(DesignLayout, LaysUnderCoverAndFollowsTheGround) {
    const LevelGrid grid;
    const double inf = INFINITY;
    EndLimits steep{370.0 - 3.0, inf, 360.0 - 3.0, inf, 0.0, 200.0};
    Placement p = lay(steep, 1.5, 0.0025, grid);
    EXPECT_DOUBLE_EQ(grid.feet(p.steps_up), 365.5);
    EXPECT_DOUBLE_EQ(grid.feet(p.steps_dn), 355.5);
    EndLimits flat{370.0 - 3.0, inf, 369.9 - 3.0, inf, 0.0, 200.0};
    p = lay(flat, 1.5, 0.0025, grid);
    EXPECT_DOUBLE_EQ(grid.feet(p.steps_dn), 365.0);
    EXPECT_GE(slope_of(p, 200.0, grid), 0.0025);
    const Placement dropped = flatten(lay(steep, 1.5, 0.0025, grid), steep, 0.02, grid);
    EXPECT_DOUBLE_EQ(grid.feet(dropped.steps_dn), 355.5);
    EXPECT_DOUBLE_EQ(grid.feet(dropped.steps_up), 359.5);
    // An invert limit (the drop below an entering pipe) beats the cover when lower.
    EndLimits below{370.0 - 3.0, 364.0, 360.0 - 3.0, inf, 0.0, 200.0};
    EXPECT_DOUBLE_EQ(grid.feet(lay(below, 1.5, 0.0025, grid).steps_up), 364.0);
    // Into an outfall the pipe aims at its invert, and a drop there flattens it.
    EndLimits outfall{370.0 - 3.0, inf, inf, 350.0, 0.0, 200.0};
    p = lay(outfall, 1.5, 0.0025, grid);
    EXPECT_DOUBLE_EQ(grid.feet(p.steps_dn), 350.0);
    p = flatten(p, outfall, 0.02, grid);
    EXPECT_DOUBLE_EQ(grid.feet(p.steps_up), 365.5);
    EXPECT_DOUBLE_EQ(grid.feet(p.steps_dn), 361.5);
}

}  // namespace
}  // namespace rillway::design
