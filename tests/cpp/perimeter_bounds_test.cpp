// Perimeter bounds of elliptical sections: every interval holds the perimeter the integral
// computes, over the whole range of flatness the bounds accept.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "hydraulics/perimeter_bounds.hpp"
#include "hydraulics/section.hpp"

namespace hy = rillway::hydraulics;

namespace {

// Spans over rises from the flattest to the tallest ellipse accepted, with the catalogue's 1.6.
constexpr double kRatios[] = {1.0 / 16.0, 0.25, 0.62, 1.0, 1.6, 4.0, 16.0};

}  // namespace

TEST(EllipseSurface, ArcSpeedIsWithinItsSlackOfTheSpeedAtTheParameter) {
    for (const double ratio : kRatios) {
        const double rise = 1.7;
        const double span = rise * ratio;
        for (int i = 0; i <= 2000; ++i) {
            const double depth = rise * i / 2000.0;
            const hy::EllipseSurface surface = hy::elliptical_surface(depth, rise, span);
            const long double t = surface.t;
            const long double ac = span / 2.0L * std::cos(t);
            const long double bs = rise / 2.0L * std::sin(t);
            const long double speed = std::sqrt(ac * ac + bs * bs);
            EXPECT_LE(std::fabs(surface.speed - speed) / speed, 1e-13L)
                << "ratio " << ratio << " depth " << depth;
        }
    }
}

TEST(PerimeterBounds, EveryIntervalHoldsTheIntegratedPerimeter) {
    std::mt19937_64 random(20261209);
    std::uniform_real_distribution<double> share(0.0, 1.0);
    for (const double ratio : kRatios) {
        for (const double rise : {0.9, 7.5}) {
            const hy::Section section = hy::Section::elliptical(rise, rise * ratio);
            for (int round = 0; round < 12; ++round) {
                hy::PerimeterBounds bounds(section);
                ASSERT_TRUE(bounds.active());
                const double anchor = rise * share(random);
                (void)bounds.exact(anchor);
                // Queries at every distance from the known depth, from 1e-9 of the rise to all
                // of it, on both sides.
                for (int k = 0; k < 40; ++k) {
                    const double offset = rise * std::pow(10.0, -9.0 * share(random));
                    const double depth = k % 2 == 0 ? anchor + offset : anchor - offset;
                    if (depth <= 0.0 || depth >= rise) continue;
                    const auto range = bounds.bounds(depth);
                    ASSERT_TRUE(range.has_value());
                    const double perimeter =
                        hy::elliptical_wetted_perimeter(depth, section.rise, section.span);
                    EXPECT_LE(range->lo, perimeter) << ratio << " " << anchor << " " << depth;
                    EXPECT_GE(range->hi, perimeter) << ratio << " " << anchor << " " << depth;
                }
            }
        }
    }
}

TEST(PerimeterBounds, NearbyDepthsAreBoundedByTheTrapezoidNotTheExtremeSpeeds) {
    // A 38 x 60 in pipe: 0.01 of the ellipse parameter from a known depth, the extreme arc
    // speeds alone leave some 1e-4 of the perimeter open; the trapezoid closes it to 1e-6.
    const hy::Section section = hy::Section::elliptical(38.0 / 12.0, 60.0 / 12.0);
    hy::PerimeterBounds bounds(section);
    (void)bounds.exact(1.2);
    const double depth = 1.2 + 0.01 * section.rise / 2.0 * std::sin(1.9);
    const auto range = bounds.bounds(depth);
    ASSERT_TRUE(range.has_value());
    EXPECT_LT(range->hi - range->lo, 1e-6 * range->hi);
}
