#pragma once
// The premises the exactness proofs of the fast paths rely on, each stated once. A shortcut
// (windowed peak search, perimeter bounds, remembered profile terms) may decide only inside
// these limits; outside them the caller computes as written.

namespace rillway::hydraulics::premises {

// Sizes and K/n within [2^-60, 2^60] (slopes within the squares of these) keep every product
// of the Manning equation a normal double, far from overflow and underflow.
inline constexpr double kSmallest = 0x1p-60;
inline constexpr double kLargest = 0x1p60;

// Ellipses no flatter than 1:16 (span within 1/16 and 16 rises): the perimeter bounds and the
// arc-length error estimates were measured over this range.
inline constexpr double kFlattestEllipse = 16.0;

// A bound must clear a decision by this share of the magnitudes it is made of before it
// decides: far above the few units in the last place by which pow may stray from monotone.
inline constexpr double kDecisionMargin = 1e-12;

// lo <= value <= hi; false for NaN.
[[nodiscard]] constexpr bool within(double value, double lo, double hi) noexcept {
    return value >= lo && value <= hi;
}

// Sizes the shortcuts accept.
[[nodiscard]] constexpr bool normal_size(double value) noexcept {
    return within(value, kSmallest, kLargest);
}

// An ellipse's span over its rise within the measured range.
[[nodiscard]] constexpr bool measured_ellipse(double rise, double span) noexcept {
    return within(span / rise, 1.0 / kFlattestEllipse, kFlattestEllipse);
}

}  // namespace rillway::hydraulics::premises
