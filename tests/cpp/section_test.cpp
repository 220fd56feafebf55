// Section geometry of every kind: limits, boundaries and the rise invariant.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "hydraulics/depth_solvers.hpp"
#include "hydraulics/manning.hpp"
#include "hydraulics/section.hpp"

namespace hy = rillway::hydraulics;

namespace {

constexpr double kPi = 3.141592653589793;

TEST(SectionGeometry, EmptySectionsHaveNoAreaButFlatFloorsKeepTheirWidth) {
    for (const hy::Section s : {hy::Section::circular(2.0), hy::Section::elliptical(2.0, 3.0)}) {
        const hy::SectionGeometry g = s.geometry(0.0);
        EXPECT_EQ(g.area, 0.0);
        EXPECT_EQ(g.wetted_perimeter, 0.0);
        EXPECT_EQ(g.hydraulic_radius, 0.0);
        EXPECT_EQ(g.top_width, 0.0);
    }
    for (const hy::Section s : {hy::Section::rectangular(2.0, 3.0), hy::Section::arch(3.0, 3.0)}) {
        const hy::SectionGeometry g = s.geometry(-1.0);  // negative depth counts as empty
        EXPECT_EQ(g.area, 0.0);
        EXPECT_EQ(g.wetted_perimeter, 3.0);
        EXPECT_EQ(g.hydraulic_radius, 0.0);
        EXPECT_EQ(g.top_width, 3.0);
    }
}

TEST(SectionGeometry, RectangleNeverCountsItsRoofButTheFullPerimeterDoes) {
    const hy::Section box = hy::Section::rectangular(4.0, 2.0);
    const hy::SectionGeometry full = box.geometry(10.0);  // clamped at the rise
    EXPECT_EQ(full.area, 8.0);
    EXPECT_EQ(full.wetted_perimeter, 10.0);   // 2 * 4 + 2
    EXPECT_EQ(full.top_width, 2.0);
    EXPECT_EQ(box.full_area(), 8.0);
    EXPECT_EQ(box.full_hydraulic_radius(), 8.0 / 12.0);  // perimeter 2 * (4 + 2)
    EXPECT_LT(box.full_hydraulic_radius(), full.hydraulic_radius);
}

TEST(SectionGeometry, FullCircleIsTheTextbookCircle) {
    const hy::SectionGeometry g = hy::Section::circular(2.0).geometry(2.0);
    EXPECT_NEAR(g.area, kPi, 1e-14);
    EXPECT_NEAR(g.wetted_perimeter, 2.0 * kPi, 1e-14);
    EXPECT_NEAR(g.top_width, 0.0, 1e-15);
    EXPECT_NE(g.top_width, 0.0);  // sin(pi) is not exactly zero
    EXPECT_EQ(hy::Section::circular(2.0).full_hydraulic_radius(), kPi / (2.0 * kPi));
}

TEST(SectionGeometry, ArchIsARectangleUpToItsWallsAndContinuousAbove) {
    // Rise 3, span 2: crown radius 1, walls 2 high.
    const hy::Section arch = hy::Section::arch(3.0, 2.0);
    const hy::SectionGeometry at_wall = arch.geometry(2.0);
    EXPECT_EQ(at_wall.area, 4.0);
    EXPECT_EQ(at_wall.top_width, 2.0);
    EXPECT_EQ(at_wall.wetted_perimeter, 6.0);
    const hy::SectionGeometry above = arch.geometry(2.0 + 1e-9);
    EXPECT_NEAR(above.area, 4.0, 1e-8);
    EXPECT_NEAR(above.top_width, 2.0, 1e-6);
    EXPECT_NEAR(above.wetted_perimeter, 6.0, 1e-8);
    // Full: rectangle 2x2 plus a half disc of radius 1, crown closed.
    const hy::SectionGeometry full = arch.geometry(3.0);
    EXPECT_NEAR(full.area, 4.0 + kPi / 2.0, 1e-12);
    EXPECT_NEAR(full.top_width, 0.0, 1e-12);
    EXPECT_NEAR(arch.full_area(), 4.0 + kPi / 2.0, 1e-12);
}

TEST(SectionGeometry, LowArchStopsAtItsRiseButKeepsTheWholeHalfCircleWhenFull) {
    // Rise 1 below half the span 4: no walls, the clamp stops the crown formulas at depth 1.
    const hy::Section arch = hy::Section::arch(1.0, 4.0);
    const hy::SectionGeometry g = arch.geometry(5.0);
    const double phi = std::asin(0.5);  // z / r = 1 / 2
    EXPECT_NEAR(g.area, 4.0 * phi + std::sqrt(3.0), 1e-12);
    EXPECT_NEAR(g.top_width, 2.0 * std::sqrt(3.0), 1e-12);
    EXPECT_NEAR(arch.full_area(), kPi * 4.0 * 0.5, 1e-12);
}

TEST(SectionGeometry, EllipseOfEqualAxesIsTheCircle) {
    const hy::Section circle = hy::Section::circular(1.8);
    const hy::Section ellipse = hy::Section::elliptical(1.8, 1.8);
    for (double y : {0.1, 0.45, 0.9, 1.5, 1.8}) {
        const hy::SectionGeometry c = circle.geometry(y);
        const hy::SectionGeometry e = ellipse.geometry(y);
        EXPECT_NEAR(e.area, c.area, 1e-12) << y;
        EXPECT_NEAR(e.top_width, c.top_width, 1e-12) << y;
        EXPECT_NEAR(e.wetted_perimeter, c.wetted_perimeter, 1e-9) << y;  // Simpson accuracy
    }
    EXPECT_NEAR(hy::elliptical_wetted_perimeter(1.8, 1.8, 1.8), kPi * 1.8, 1e-9);
}

TEST(SectionGeometry, EllipseCircumferenceMatchesRamanujan) {
    // Ramanujan's second approximation is exact to ~1e-10 relative for this mild eccentricity.
    const double a = 1.5, b = 1.0;  // span 3, rise 2
    const double h = (a - b) * (a - b) / ((a + b) * (a + b));
    const double ramanujan = kPi * (a + b) * (1 + 3 * h / (10 + std::sqrt(4 - 3 * h)));
    EXPECT_NEAR(hy::Section::elliptical(2.0, 3.0).full_perimeter(), ramanujan, 1e-8);
    EXPECT_NEAR(hy::Section::elliptical(2.0, 3.0).full_area(), kPi * a * b, 1e-12);
}

TEST(SectionGeometry, NegativeOrNanRiseFailsTheCall) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const hy::Section s : {hy::Section::circular(-1.0), hy::Section::rectangular(-1.0, 2.0),
                                hy::Section::elliptical(-1.0, 2.0), hy::Section::arch(-1.0, 2.0),
                                hy::Section::arch(nan, 2.0)}) {
        EXPECT_THROW((void)s.geometry(0.5), hy::SectionInvariantError);
        EXPECT_THROW((void)hy::peak_flow_scan(s, 0.013, 0.01, 1.486), hy::SectionInvariantError);
    }
    EXPECT_THROW((void)hy::circular_q(-2.0, 0.013, 0.01, 1.0, 1.486), hy::SectionInvariantError);
    EXPECT_THROW((void)hy::elliptical_wetted_perimeter(0.5, -1.0, 2.0), hy::SectionInvariantError);
    // A zero diameter is allowed and gives not-a-number geometry.
    EXPECT_TRUE(std::isnan(hy::Section::circular(0.0).geometry(0.0).area));
    const hy::PeakFlow zero = hy::max_capacity(0.0, 0.013, 0.01, 1.486);
    EXPECT_EQ(zero.flow, 0.0);
    EXPECT_EQ(zero.depth, 0.0);
}

TEST(PeakFlowScan, AreaAndFlowRiseWithDepthUpToThePeak) {
    for (const hy::Section s : {hy::Section::circular(1.5), hy::Section::rectangular(2.0, 3.0),
                                hy::Section::elliptical(2.0, 3.0), hy::Section::arch(2.5, 3.0)}) {
        const hy::PeakFlow peak = hy::peak_flow_scan(s, 0.013, 0.005, 1.486);
        double previous_area = -1.0, previous_flow = -1.0;
        for (int i = 1; i <= 100; ++i) {
            const double y = peak.depth * i / 100.0;
            const double area = s.geometry(y).area;
            const double flow = hy::manning_flow(s, 0.013, 0.005, y, 1.486);
            EXPECT_GT(area, previous_area);
            EXPECT_GE(flow, previous_flow);
            previous_area = area;
            previous_flow = flow;
        }
        // The peak depth is one of the grid depths.
        const double k = peak.depth / s.rise * 2000.0;
        EXPECT_NEAR(k, std::round(k), 1e-9);
    }
}

TEST(PeakFlowScan, NoFlowWithoutSlopeOrRoughness) {
    const hy::Section s = hy::Section::circular(1.0);
    for (const auto& [n, slope] : {std::pair{0.013, 0.0}, {0.013, -0.01}, {0.0, 0.01}, {-1.0, 0.01}}) {
        const hy::PeakFlow peak = hy::peak_flow_scan(s, n, slope, 1.486);
        EXPECT_EQ(peak.flow, 0.0);
        EXPECT_EQ(peak.depth, 0.0);
        EXPECT_EQ(hy::circular_q(1.0, n, slope, 0.5, 1.486), 0.0);
    }
}

// Open channels against the trapezoid's closed forms, worked by hand:
// A = y (B + (z_l + z_r) y / 2), P = B + y (sqrt(1 + z_l^2) + sqrt(1 + z_r^2)), T = B + (z_l + z_r) y.
TEST(OpenChannel, GeometryIsTheTrapezoidsClosedForm) {
    const double s5 = std::sqrt(5.0), s2 = std::sqrt(2.0), s10 = std::sqrt(10.0);
    struct Case {
        hy::Section section;
        double depth, area, perimeter, top;
    };
    for (const Case& c : {
             Case{hy::Section::trapezoid(3.0, 4.0, 2.0, 2.0), 1.5, 10.5, 4.0 + 6.0 * s5 / 2.0, 10.0},
             Case{hy::Section::trapezoid(3.0, 2.0, 1.0, 3.0), 2.0, 12.0, 2.0 + 2.0 * (s2 + s10), 10.0},
             Case{hy::Section::rect_open(2.5, 3.0), 2.0, 6.0, 7.0, 3.0},
             Case{hy::Section::triangle(2.0, 2.0, 2.0), 1.0, 2.0, 2.0 * s5, 4.0},
             // Above the banks the depth is clamped: bank-full, no lid.
             Case{hy::Section::rect_open(2.5, 3.0), 9.0, 7.5, 8.0, 3.0},
         }) {
        const hy::SectionGeometry g = c.section.geometry(c.depth);
        EXPECT_NEAR(g.area, c.area, 1e-12);
        EXPECT_NEAR(g.wetted_perimeter, c.perimeter, 1e-12);
        EXPECT_NEAR(g.hydraulic_radius, c.area / c.perimeter, 1e-12);
        EXPECT_NEAR(g.top_width, c.top, 1e-12);
        const hy::SectionGeometry bank_full = c.section.geometry(c.section.rise);
        EXPECT_EQ(c.section.full_area(), bank_full.area);
        EXPECT_EQ(c.section.full_perimeter(), bank_full.wetted_perimeter);
        EXPECT_TRUE(c.section.open());
    }
    EXPECT_FALSE(hy::Section::rectangular(2.5, 3.0).open());
}

// Chow, Open-Channel Hydraulics (1959), Example 6.2: B = 20 ft, 2:1 banks, S = 0.0016,
// n = 0.025, Q = 400 cfs gives y_n = 3.36 ft. Critical depths by the closed forms of the
// rectangle, (q^2 / g)^(1/3) with q = Q / B, and the triangle, (2 Q^2 / (g z^2))^(1/5).
TEST(OpenChannel, DepthsMatchTheTextbookAndTheClosedForms) {
    const hy::Section chow = hy::Section::trapezoid(6.0, 20.0, 2.0, 2.0);
    EXPECT_NEAR(*hy::normal_depth(400.0, 0.025, 0.0016, chow, 1.486), 3.36, 0.005);
    EXPECT_NEAR(hy::critical_depth(90.0, hy::Section::rect_open(4.0, 6.0), 32.2),
                std::cbrt(15.0 * 15.0 / 32.2), 1e-6);
    EXPECT_NEAR(hy::critical_depth(30.0, hy::Section::triangle(4.0, 3.0, 3.0), 32.2),
                std::pow(2.0 * 900.0 / (32.2 * 9.0), 0.2), 1e-6);
}

// Flow rises with depth to the banks, so the peak is the bank-full flow, which is also the
// full-flow capacity; more than that has no normal depth.
TEST(OpenChannel, PeakIsTheBankFullFlow) {
    for (const hy::Section s : {hy::Section::trapezoid(2.0, 3.0, 1.5, 4.0),
                                hy::Section::rect_open(2.0, 0.5), hy::Section::triangle(1.0, 2.0, 0.5)}) {
        const hy::PeakFlow peak = hy::peak_flow_scan(s, 0.03, 0.002, 1.486);
        EXPECT_EQ(peak.depth, s.rise);
        EXPECT_EQ(peak.flow, hy::manning_flow(s, 0.03, 0.002, s.rise, 1.486));
        EXPECT_NEAR(hy::full_flow_capacity(s, 0.03, 0.002, 1.486), peak.flow, 1e-12 * peak.flow);
        EXPECT_FALSE(hy::normal_depth(peak.flow * 1.001, 0.03, 0.002, s, 1.486).has_value());
        const double y = *hy::normal_depth(0.5 * peak.flow, 0.03, 0.002, s, 1.486);
        EXPECT_NEAR(hy::manning_flow(s, 0.03, 0.002, y, 1.486), 0.5 * peak.flow, 1e-5 * peak.flow);
    }
}

}  // namespace
