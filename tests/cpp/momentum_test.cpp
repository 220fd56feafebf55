// The sequent depth of a jump in a closed conduit, against closed forms: Belanger's equation in a
// box below its roof, and the first moment of a circular segment about its water surface,
// A y_bar = h A + (2/3) (r^2 - h^2)^(3/2) with h the surface's height above the centre.
#include <gtest/gtest.h>

#include <cmath>

#include "hydraulics/momentum.hpp"

namespace rillway::hydraulics {
namespace {

constexpr double kG = 32.2;

struct JumpCase {
    double q;     // cfs
    double y1;    // ft, the supercritical depth
    double y_c;   // ft (a box's follows from q here)
};

// A 3 ft wide, 4 ft high box: y2 = y1 / 2 (sqrt(1 + 8 F1^2) - 1), F1^2 = (q / B)^2 / (g y1^3).
TEST(SequentDepth, BoxFollowsBelanger) {
    const Section box = Section::rectangular(4.0, 3.0);
    for (const JumpCase c : {JumpCase{12.0, 0.3, 0.0}, JumpCase{30.0, 0.5, 0.0},
                             JumpCase{6.0, 0.1, 0.0}}) {
        const double unit_q = c.q / 3.0;
        const double y_c = std::cbrt(unit_q * unit_q / kG);
        const double froude2 = unit_q * unit_q / (kG * c.y1 * c.y1 * c.y1);
        const double expected = c.y1 / 2.0 * (std::sqrt(1.0 + 8.0 * froude2) - 1.0);
        ASSERT_LT(expected, 4.0);
        EXPECT_NEAR(sequent_depth(c.q, box, c.y1, y_c, kG), expected, 1e-6) << c.q << " " << c.y1;
    }
}

double circle_force(double q, double d, double y) {
    const double r = d / 2.0;
    const double h = y - r;
    const double theta = 2.0 * std::acos(1.0 - 2.0 * y / d);
    const double area = d * d / 8.0 * (theta - std::sin(theta));
    return q * q / (kG * area) + h * area + 2.0 / 3.0 * std::pow(r * r - h * h, 1.5);
}

// Round pipes with y_c from rillway's solver (HEC-22 Example 7-3's 1.5 ft pipes at 3 %); the
// sequent depth must carry the jet's specific force, and one above the crown adds the full area
// per foot of pressure head.
TEST(SequentDepth, CircleKeepsTheSpecificForce) {
    for (const JumpCase c : {JumpCase{3.3, 0.4326, 0.6921}, JumpCase{5.1, 0.5432, 0.8692},
                             JumpCase{5.1, 0.25, 0.8692}}) {
        const Section pipe = Section::circular(1.5);
        const double y2 = sequent_depth(c.q, pipe, c.y1, c.y_c, kG);
        const double m1 = circle_force(c.q, 1.5, c.y1);
        const double m2 = y2 < 1.5 ? circle_force(c.q, 1.5, y2)
                                   : circle_force(c.q, 1.5, 1.5) + pipe.full_area() * (y2 - 1.5);
        EXPECT_GT(y2, c.y_c);
        EXPECT_NEAR(m2, m1, 1e-6 * m1) << c.q << " " << c.y1 << " " << y2;
    }
    // No jump from a depth at or above critical.
    EXPECT_EQ(sequent_depth(5.1, Section::circular(1.5), 0.9, 0.8692, kG), 0.9);
}

}  // namespace
}  // namespace rillway::hydraulics
