// The FHWA access-hole energy method for one structure: the benching table, the angled and the
// plunging inflow, each against the manual's formulas worked by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "network/energy_loss.hpp"

namespace rillway::network {
namespace {

constexpr double kPi = 3.141592653589793;

// A 2 ft outlet carrying 10 cfs with the structure's energy set by outlet control.
AccessHoleInput outlet(double e_i, double v_out, const std::vector<StructureInflow>& inflows) {
    AccessHoleInput in;
    in.e_i = e_i;
    in.q_out = 10.0;
    in.d_out = 2.0;
    in.a_out = kPi;
    in.v_out = v_out;
    in.inflows = inflows;
    return in;
}

struct BenchingCase {
    Benching benching;
    double ratio;
    double expected;  // HEC-22 4th ed. table 9.5, interpolated by hand
};

class BenchingInterpolation : public ::testing::TestWithParam<BenchingCase> {};

TEST_P(BenchingInterpolation, MatchesTheTable) {
    const BenchingCase c = GetParam();
    EXPECT_NEAR(benching_coefficient(c.benching, c.ratio), c.expected, 1e-12);
}

// Unsubmerged at E_ai/D_o <= 1, submerged from 2.5, the midpoint 1.75 halfway between.
INSTANTIATE_TEST_SUITE_P(
    Table, BenchingInterpolation,
    ::testing::Values(BenchingCase{Benching::half, 1.0, -0.85},
                      BenchingCase{Benching::half, 1.75, -0.45},
                      BenchingCase{Benching::half, 2.5, -0.05},
                      BenchingCase{Benching::full, 0.4, -0.93},
                      BenchingCase{Benching::full, 1.75, -0.59},
                      BenchingCase{Benching::full, 3.0, -0.25},
                      BenchingCase{Benching::improved, 1.75, -0.79},
                      BenchingCase{Benching::flat, 1.75, -0.05},
                      BenchingCase{Benching::depressed, 1.75, 0.0}));

TEST(AccessHoleEnergy, StraightRunHasNoAngleTerm) {
    const std::vector<StructureInflow> straight = {{10.0, 180.0, 0.2, false}};
    EXPECT_EQ(access_hole_energy(outlet(2.5, 4.0, straight)).c_theta, 0.0);
}

TEST(AccessHoleEnergy, RightAngleInflowOfHalfTheFlow) {
    // 4.5 (5/10) cos(90/2), with the other half arriving straight: theta_w is then 135 degrees.
    const std::vector<StructureInflow> one = {{5.0, 90.0, 0.0, false}};
    EXPECT_NEAR(access_hole_energy(outlet(2.5, 4.0, one)).c_theta,
                4.5 * 0.5 * std::cos(kPi / 4.0), 1e-12);
    const std::vector<StructureInflow> two = {{5.0, 90.0, 0.0, false}, {5.0, 180.0, 0.0, false}};
    EXPECT_NEAR(access_hole_energy(outlet(2.5, 4.0, two)).c_theta,
                4.5 * std::cos(135.0 / 2.0 * kPi / 180.0), 1e-12);
}

TEST(AccessHoleEnergy, PlungingInflowIsCappedAtTenRisesAndSetsNoAngle) {
    // E_ai = E_aio = 2.5 + 0.2 * 16 / 64.4; the inflow 30 ft up counts as 20 ft (10 D_o).
    const double e_ai = 2.5 + 0.2 * 16.0 / 64.4;
    const std::vector<StructureInflow> high = {{4.0, 90.0, 30.0, false}};
    const AccessHoleEnergy e = access_hole_energy(outlet(2.5, 4.0, high));
    EXPECT_NEAR(e.e_ai, e_ai, 1e-12);
    EXPECT_EQ(e.c_theta, 0.0);
    EXPECT_NEAR(e.c_p, 4.0 * (20.0 - e_ai) / 2.0 / 10.0, 1e-12);
    // E_ai / D_o = 1.26: flat floor, -0.05 either way.
    EXPECT_NEAR(e.h_a, (e_ai - 2.5) * (-0.05 + e.c_p), 1e-12);
    EXPECT_NEAR(e.e_a, e_ai + e.h_a, 1e-12);
}

TEST(AccessHoleEnergy, NegativeAdjustmentLeavesTheOutletEnergy) {
    // Full benching and nothing plunging: H_a would be negative, so E_a = E_ai.
    AccessHoleInput in = outlet(2.5, 4.0, {});
    in.benching = Benching::full;
    const AccessHoleEnergy e = access_hole_energy(in);
    EXPECT_EQ(e.h_a, 0.0);
    EXPECT_EQ(e.e_a, e.e_ai);
}

TEST(AccessHoleEnergy, NoOutletFlowLeavesOutletControlAlone) {
    AccessHoleInput in = outlet(1.0, 0.0, {});
    in.q_out = 0.0;
    const AccessHoleEnergy e = access_hole_energy(in);
    EXPECT_EQ(e.e_ais, 0.0);
    EXPECT_EQ(e.e_aiu, 0.0);
    EXPECT_EQ(e.e_a, 1.0);
    EXPECT_TRUE(std::isfinite(e.c_p) && std::isfinite(e.c_theta));
}

}  // namespace
}  // namespace rillway::network
