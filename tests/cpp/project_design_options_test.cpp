// Design options from the project keys: unit conversion, the access-hole default and the
// frequency factor by whole years of return period.

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "formats/project/project.hpp"

namespace rillway::formats::project {
namespace {

constexpr double kFt = 3.280839895013123;

TEST(ProjectDesignOptions, FrequencyFactorByTruncatedYears) {
    struct Case {
        double years;
        double factor;
    };
    const Case cases[] = {{0.0, 1.0},   {-5.0, 1.0},       {10.0, 1.0},  {10.9, 1.0},
                          {11.0, 1.1},  {25.999, 1.1},     {26.0, 1.2},  {50.0, 1.2},
                          {50.99, 1.2}, {51.0, 1.25},      {1e12, 1.25}, {std::nan(""), 1.0},
                          {std::numeric_limits<double>::infinity(), 1.25}};
    Project p = Project::demo();
    for (const Case& c : cases) {
        p.design_return_period_years = c.years;
        EXPECT_EQ(p.design_options().frequency_factor, c.factor) << c.years;
    }
}

TEST(ProjectDesignOptions, AccessHoleDiameterAndItsDefaults) {
    struct Case {
        units::UnitSystem units;
        double given;
        double expected;
    };
    const Case cases[] = {
        {units::UnitSystem::us_customary, 0.0, 4.0},
        {units::UnitSystem::us_customary, -1.0, 4.0},
        {units::UnitSystem::us_customary, 5.0, 5.0},
        {units::UnitSystem::us_customary, std::nan(""), 4.0},
        {units::UnitSystem::si, 0.0, 13.123359580052492},
        {units::UnitSystem::si, -2.0, 13.123359580052492},
        {units::UnitSystem::si, 1.2, 1.2 * kFt},
    };
    Project p = Project::empty();
    for (const Case& c : cases) {
        p.units = c.units;
        p.access_hole_diam_ft = c.given;
        EXPECT_DOUBLE_EQ(p.design_options().access_hole_diameter, c.expected) << c.given;
    }
}

TEST(ProjectDesignOptions, SiProjectConvertsOnlyLengths) {
    Project p = Project::empty();
    p.units = units::UnitSystem::si;
    p.tailwater = 30.0;
    p.min_tc = 7.5;
    p.junction_k = 0.35;
    p.bend_loss_coeff = 0.25;
    p.min_slope = 0.004;
    p.hec22_structure_loss = true;
    const network::DesignOptions o = p.design_options();
    ASSERT_TRUE(o.tailwater.has_value());
    EXPECT_DOUBLE_EQ(*o.tailwater, 30.0 * kFt);
    EXPECT_EQ(o.min_tc, 7.5);
    EXPECT_EQ(o.junction_k, 0.35);
    EXPECT_EQ(o.bend_loss_coeff, 0.25);
    EXPECT_EQ(o.min_slope, 0.004);
    EXPECT_TRUE(o.hec22_structure_loss);
    EXPECT_EQ(o.hec22_factor, 1.0);
    EXPECT_FALSE(o.intensity_override.has_value());

    const network::DesignOptions demo = Project::demo().design_options();
    ASSERT_TRUE(demo.tailwater.has_value());
    EXPECT_EQ(*demo.tailwater, 100.5);
    EXPECT_EQ(demo.access_hole_diameter, 4.0);
    EXPECT_FALSE(demo.hec22_structure_loss);
    EXPECT_FALSE(Project::empty().design_options().tailwater.has_value());
}

}  // namespace
}  // namespace rillway::formats::project
