// Normal and critical depth on non-circular sections, checked against closed forms.
#include <gtest/gtest.h>

#include <cmath>

#include "hydraulics/depth_solvers.hpp"

namespace hy = rillway::hydraulics;

namespace {

TEST(CriticalDepth, RectangleMatchesTheClosedForm) {
    // A wide box: y_c = (q^2 / (g B^2))^(1/3) while below 0.999 of the rise.
    const hy::Section box = hy::Section::rectangular(5.0, 4.0);
    const double q = 30.0;
    const double expected = std::cbrt(q * q / (32.2 * 16.0));
    EXPECT_NEAR(hy::critical_depth(q, box, 32.2), expected, 2e-7);
    EXPECT_EQ(hy::critical_depth(0.0, box, 32.2), 0.0);
    EXPECT_NE(hy::critical_depth(q, box, 32.2), hy::critical_depth(q, box, 9.81));
}

TEST(NormalDepth, BoxRoundTripsThroughManning) {
    const hy::Section box = hy::Section::rectangular(3.0, 4.0);
    for (double q : {1.0, 20.0, 80.0}) {
        const std::optional<double> y = hy::normal_depth(q, 0.013, 0.004, box, 1.486);
        ASSERT_TRUE(y.has_value()) << q;
        // Manning for a box from first principles: A = yB, R = yB / (2y + B).
        const double area = *y * 4.0;
        const double radius = area / (2.0 * *y + 4.0);
        EXPECT_NEAR(1.486 / 0.013 * area * std::pow(radius, 2.0 / 3.0) * std::sqrt(0.004), q,
                    q * 1e-5);
    }
}

TEST(NormalDepth, NeverAboveThePeakAndAbsentBeyondIt) {
    for (const hy::Section s : {hy::Section::circular(2.0), hy::Section::elliptical(2.0, 3.0),
                                hy::Section::arch(2.5, 3.0)}) {
        const hy::PeakFlow peak = hy::peak_flow_scan(s, 0.015, 0.01, 1.486);
        const std::optional<double> at_peak = hy::normal_depth(peak.flow, 0.015, 0.01, s, 1.486, peak);
        ASSERT_TRUE(at_peak.has_value());
        EXPECT_LE(*at_peak, peak.depth);
        // The true maximum may lie between grid depths, so within one grid step of the peak.
        EXPECT_NEAR(*at_peak, peak.depth, s.rise / 2000.0);
        EXPECT_FALSE(hy::normal_depth(peak.flow * (1 + 1e-12), 0.015, 0.01, s, 1.486).has_value());
        EXPECT_FALSE(hy::normal_depth(1.0, 0.0, 0.01, s, 1.486).has_value());
        EXPECT_EQ(hy::normal_depth(0.0, 0.0, -1.0, s, 1.486), 0.0);
    }
}

TEST(NormalDepth, NegativeRiseFailsOnlyWhenThereIsFlow) {
    const hy::Section bad = hy::Section::rectangular(-1.0, 2.0);
    EXPECT_EQ(hy::normal_depth(0.0, 0.013, 0.01, bad, 1.486), 0.0);
    EXPECT_THROW((void)hy::normal_depth(1.0, 0.013, 0.01, bad, 1.486), hy::SectionInvariantError);
    EXPECT_THROW((void)hy::critical_depth(1.0, bad, 32.2), hy::SectionInvariantError);
}

}  // namespace
