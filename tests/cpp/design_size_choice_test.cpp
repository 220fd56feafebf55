// The size of one pipe: the smallest catalog size that carries Q laid at its own slope and lies
// no deeper than a larger one, checked against HEC-22's closed form for round pipes flowing
// just full, D = (Q n / (0.463 S^0.5))^(3/8), i.e. S = (Q n / (0.463 D^(8/3)))^2 (US units).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "design/size_choice.hpp"

namespace rillway::design {
namespace {

constexpr double kN = 0.013;
constexpr double kInf = std::numeric_limits<double>::infinity();

double closed_form_slope(double q, double d) {
    return std::pow(q * kN / (0.463 * std::pow(d, 8.0 / 3.0)), 2.0);
}

struct Case {
    const char* name;
    double q;             // cfs
    double ground_slope;  // the rims fall this much over the 200-ft pipe, per ft
    double min_velocity;  // ft/s
    double expected_in;
    SmallerSize smaller;
};

class SizeChoiceTable : public ::testing::TestWithParam<Case> {};

// An inlet with no pipe entering it and a junction 200 ft away, rims from 100 ft, 3 ft cover.
TEST_P(SizeChoiceTable, SmallestSizeThatCarriesQAtItsOwnSlope) {
    const Case& c = GetParam();
    Rules rules;
    rules.min_velocity_fps = c.min_velocity;
    const LevelGrid grid;
    std::vector<double> catalog;
    for (const double inches : rules.sizes_in) catalog.push_back(catalog_feet(inches, grid));
    const EndLimits limits{97.0, kInf, 97.0 - 200.0 * c.ground_slope, kInf, 90.0, 200.0};
    const std::size_t start = 2;  // 18 in, the smallest allowed

    const SizeChoice choice = choose_size(catalog, start, kN, c.q, limits, rules, grid);
    ASSERT_TRUE(choice.index);
    const double d = catalog[*choice.index];
    EXPECT_DOUBLE_EQ(d * 12.0, c.expected_in);
    EXPECT_EQ(choice.smaller, c.smaller);
    // Laid with its crown at the cover line, at the steepest of the ground, the self-cleansing
    // slope and the slope the closed form asks for, to within the 0.01-ft grid of the inverts
    // (the closed form's 0.463 is 1.486 pi / 4^(5/3) rounded, 2e-4 of the slope).
    EXPECT_DOUBLE_EQ(grid.feet(choice.placement.steps_up), 97.0 - d);
    const double slope = slope_of(choice.placement, 200.0, grid);
    const double wanted = std::fmax(std::fmax(c.ground_slope, closed_form_slope(c.q, d)),
                                    2.87 * kN * kN * c.min_velocity * c.min_velocity /
                                        std::pow(d, 4.0 / 3.0));
    EXPECT_GE(slope, wanted * (1.0 - 1e-3));
    EXPECT_LE(slope, wanted + 0.01 / 200.0 + 1e-12);
    // The size below lies deeper at the lower end, each at its closed-form slope.
    if (c.smaller == SmallerSize::lies_deeper) {
        const double below = catalog[*choice.index - 1];
        const double below_slope = std::fmax(closed_form_slope(c.q, below), c.ground_slope);
        EXPECT_LT(97.0 - below - 200.0 * below_slope, grid.feet(choice.placement.steps_dn));
    }
}

INSTANTIATE_TEST_SUITE_P(
    DesignSizeChoice, SizeChoiceTable,
    ::testing::Values(
        // Flat ground: 18 in at 0.0033 carries 6 cfs (3.40 ft/s full) and lies higher at both
        // ends than 21 in at its self-cleansing slope; 24 in at 0.0028 lies 0.02 ft deeper at the
        // lower end than 27 in at 0.0015.
        Case{"flat_6cfs", 6.0, 0.0, 3.0, 18.0, SmallerSize::none},
        Case{"flat_8cfs", 8.0, 0.0, 3.0, 21.0, SmallerSize::lies_deeper},
        Case{"flat_12cfs", 12.0, 0.0, 3.0, 27.0, SmallerSize::lies_deeper},
        // Steep ground, HEC-22 Example 9.1: 17.6 cfs at 0.015 needs 1.69 ft, so 21 in.
        Case{"steep_hec22_9_1", 17.6, 0.015, 3.0, 21.0, SmallerSize::lies_deeper},
        // No self-cleansing velocity: every size carries Q only at its capacity slope, and the
        // smallest allowed lies highest.
        Case{"no_min_velocity_2cfs", 2.0, 0.0, 0.0, 18.0, SmallerSize::none}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace rillway::design
