#include "hydraulics/perimeter_bounds.hpp"

#include <cmath>

#include "hydraulics/constants.hpp"
#include "hydraulics/premises.hpp"

namespace rillway::hydraulics {

// Why the bounds hold.
//
// The true arc length of one side is L(t) = int_0^t f(s) ds with the arc speed
// f(s) = sqrt(a^2 cos^2 s + b^2 sin^2 s), so between two parameters t0 < t1
// 2 (t1 - t0) min f <= P(t1) - P(t0) <= 2 (t1 - t0) max f, the extremes of f over [t0, t1]
// lying at the ends or, f^2 = b^2 + (a^2 - b^2) cos^2 s being monotone on either side of pi/2,
// at pi/2 where f = b. The computed P_S(t) differs from the true 2 L(t) by Simpson's error E(t)
// plus rounding, and two limits on that difference hold, either of which suffices:
//
//  * |E(t)| is below 1.4e-8 relative for spans within 1/16 and 16 rises (measured against
//    20-digit quadrature; largest for the tallest ellipse near its crown) and the rounding below
//    1e-13, so P_S(t) lies in the interval from a known (t0, P_S(t0)) widened by a relative
//    kSlack that covers both errors at both parameters, with a wide margin, taken of the larger
//    of the two perimeters because the known one may be far larger than the one bounded;
//  * E is a smooth function of t (Simpson's sum with h = t / 256 is), and its derivative
//    E'(t) = d/dt P_S(t) - 2 f(t), evaluated in closed form from the sum's terms, stays below
//    3.4e-6 max(a, b) over the same ellipses (on 20,001 parameters in [1e-4, pi] for 65 flatnesses;
//    largest for the tallest ellipse at its crown), so |E(t) - E(t0)| <= kErrorRate max(a, b)
//    |t - t0| with kErrorRate three times that, and the rounding of the two sums, each of 257
//    positive terms, below kRounding relative at each end.
//
// The second is the tighter near a known parameter, which is where a bisection asks: a
// perimeter whose parameter is 1e-6 from a known one is bounded to some 1e-11, where the first
// leaves 6e-7. P_S is a function of the computed t alone, so a known t gives its perimeter
// exactly.
//
// Further from a known parameter the trapezoid rule bounds the true arc between them far
// closer than the extremes of f do: int_t0^t1 f = (t1 - t0) (f(t0) + f(t1)) / 2
// - (t1 - t0)^3 f''(xi) / 12 for some xi between. With f^2 = g = b^2 + c cos^2 s, c = a^2 - b^2,
// f'' = g'' / (2 f) - g'^2 / (4 f^3), |g''| <= 2 |c|, |g'| <= |c| and f >= min(a, b) = m, so
// |f''| <= |c| / m + c^2 / (4 m^3) everywhere. Both sides doubled, P(t1) - P(t0) lies within
// (t1 - t0)^3 |f''|max / 6 of (t1 - t0) (f(t0) + f(t1)). Ten parameters apart by 0.01 on the
// ellipses of the pipe catalogues, that is some 1e-7 of the perimeter where the extremes leave
// 1e-4: a reach of a profile can start from its bounds instead of an integral.
//
// Closer still, Simpson's rule on the one panel between the parameters, with the arc speed at
// its middle: P(t1) - P(t0) lies within (t1 - t0)^5 |f''''|max / 1440 of
// (t1 - t0) (f(t0) + 4 f(tm) + f(t1)) / 3. From g's derivatives, |g^(k)| <= 2^(k-1) |c|, and
// f'''' = g''''/(2 f) - (g' g''' + 3/4 g''^2)/f^3 + 9/4 g'^2 g''/f^5 - 15/16 g'^4/f^7,
// |f''''| <= 4 |c|/m + 7 c^2/m^3 + 9/2 |c|^3/m^5 + 15/16 c^4/m^7. The same bound caps the
// computed perimeter's own Simpson error, |E(t)| <= 2 t^5 |f''''|max / (180 256^4) (256
// subintervals of t/256, both sides), so that E(t) - E(t0) is also within the sum of the two
// ends' caps: a floor that, for the catalogue's ellipses, is far below the measured rate's
// drift once the parameters are more than a few thousandths apart.

namespace {

constexpr double kSlack = 3e-7;
constexpr double kErrorRate = 1e-5;  // bound on |E'(t)| / max(a, b)
constexpr double kRounding = 1e-13;  // relative rounding of one computed perimeter
constexpr double kSpeedSlack = 1e-12;  // relative error of a computed arc speed
constexpr double kHalfPi = kPi / 2.0;
// 2 / (180 256^4): the cap on one computed perimeter's Simpson error is this t^5 |f''''|max.
constexpr double kSimpsonCap = 2.0 / (180.0 * 4294967296.0);

constexpr double power5(double x) noexcept { return x * x * x * x * x; }

// std::fmin and std::fmax are calls into the maths library (they must pass over a NaN); every
// value compared here is a number, and a query asks for some 60 of them.
constexpr double lesser(double x, double y) noexcept { return y < x ? y : x; }
constexpr double greater(double x, double y) noexcept { return x < y ? y : x; }

}  // namespace

PerimeterBounds::PerimeterBounds(const Section& section) : section_(section) {
    active_ = section.kind == SectionKind::elliptical && premises::normal_size(section.rise) &&
              premises::normal_size(section.span) &&
              premises::measured_ellipse(section.rise, section.span);
    if (active_) {
        const double a = section.span / 2.0;
        const double b = section.rise / 2.0;
        const double c = std::fabs(a * a - b * b);
        const double m = lesser(a, b);
        // A few roundings of relative size 2^-53 each: widened by far more than they can take.
        curvature_ = (c / m + c * c / (4.0 * m * m * m)) * (1.0 + 1e-9);
        const double r = c / m;  // |c| / m, so that |c|^k / m^(2k-1) = r^k / m^(k-1)
        fourth_ = (4.0 * r + 7.0 * r * r / m + 4.5 * r * r * r / (m * m) +
                   0.9375 * r * r * r * r / (m * m * m)) *
                  (1.0 + 1e-9);
    }
}

double PerimeterBounds::exact(double depth) {
    const double perimeter = elliptical_wetted_perimeter(depth, section_.rise, section_.span);
    if (!active_) return perimeter;
    const EllipseSurface surface = elliptical_surface(depth, section_.rise, section_.span);
    Anchor& slot = anchors_[static_cast<std::size_t>(count_ < kAnchors ? count_++ : next_)];
    if (count_ == kAnchors) next_ = (next_ + 1) % kAnchors;
    slot = {surface.t, perimeter, surface.speed};
    return perimeter;
}

std::optional<PerimeterBounds::Range> PerimeterBounds::bounds(double depth) const {
    if (!active_ || count_ == 0) return std::nullopt;
    const EllipseSurface surface = elliptical_surface(depth, section_.rise, section_.span);
    const double t = surface.t;
    if (!(t >= 0.0)) return std::nullopt;
    // The nearest known parameter on either side bounds the closest; the others are not worth
    // their arithmetic, a query being made some 130 times a profile.
    const Anchor* below = nullptr;
    const Anchor* above = nullptr;
    for (int i = 0; i < count_; ++i) {
        const Anchor& anchor = anchors_[static_cast<std::size_t>(i)];
        if (anchor.t == t) return Range{anchor.perimeter, anchor.perimeter, true};
        if (anchor.t < t) {
            if (below == nullptr || anchor.t > below->t) below = &anchor;
        } else if (above == nullptr || anchor.t < above->t) {
            above = &anchor;
        }
    }
    const double speed = surface.speed;
    Range range{0.0, HUGE_VAL};
    if (below != nullptr) narrow(range, *below, t, speed);
    if (above != nullptr) narrow(range, *above, t, speed);
    return range;
}

void PerimeterBounds::narrow(Range& range, const Anchor& anchor, double t, double speed) const {
    const double b = section_.rise / 2.0;
    const double larger_axis = greater(section_.span / 2.0, b);
    const double lo_t = lesser(anchor.t, t);
    const double hi_t = greater(anchor.t, t);
    double fmin = lesser(anchor.speed, speed);
    double fmax = greater(anchor.speed, speed);
    if (lo_t <= kHalfPi && hi_t >= kHalfPi) {
        fmin = lesser(fmin, b);
        fmax = greater(fmax, b);
    }
    fmin *= 1.0 - kSpeedSlack;
    fmax *= 1.0 + kSpeedSlack;
    const double span = hi_t - lo_t;
    double lo = 0.0;
    double hi = 0.0;
    if (t > anchor.t) {
        lo = anchor.perimeter + 2.0 * span * fmin;
        hi = anchor.perimeter + 2.0 * span * fmax;
    } else {
        lo = anchor.perimeter - 2.0 * span * fmax;
        hi = anchor.perimeter - 2.0 * span * fmin;
    }
    // The errors scale with the perimeters at both ends, not with their difference; or, by the
    // second limit, the Simpson errors with the distance between the parameters; or they are
    // within the two ends' caps.
    const double drift = kErrorRate * larger_axis * span;
    const double capped = kSimpsonCap * fourth_ * (power5(lo_t) + power5(hi_t));
    const auto simpson = [&](double perimeter) {
        const double ends = anchor.perimeter + std::fabs(perimeter);
        return lesser(kSlack * ends, lesser(drift, capped) + kRounding * ends);
    };
    range.lo = greater(range.lo, lo - simpson(lo));
    range.hi = lesser(range.hi, hi + simpson(hi));
    // The trapezoid between the two speeds, its own arithmetic a rounding more.
    const double chord = span * (anchor.speed + speed);
    const double middle = t > anchor.t ? anchor.perimeter + chord : anchor.perimeter - chord;
    const double bend = span * span * span * curvature_ / 6.0 + chord * 2.0 * kSpeedSlack;
    const double spread = bend + simpson(middle) + kRounding * (anchor.perimeter + chord);
    range.lo = greater(range.lo, middle - spread);
    range.hi = lesser(range.hi, middle + spread);
    // Simpson's rule on the one panel, with the speed at its middle.
    const double mid_t = lo_t + span / 2.0;
    const double ac = section_.span / 2.0 * std::cos(mid_t);
    const double bs = b * std::sin(mid_t);
    const double arc = span * (anchor.speed + 4.0 * std::sqrt(ac * ac + bs * bs) + speed) / 3.0;
    const double panel = t > anchor.t ? anchor.perimeter + arc : anchor.perimeter - arc;
    const double fold = power5(span) * fourth_ / 1440.0 + arc * 2.0 * kSpeedSlack;
    const double width = fold + simpson(panel) + kRounding * (anchor.perimeter + arc);
    range.lo = greater(range.lo, panel - width);
    range.hi = lesser(range.hi, panel + width);
}

}  // namespace rillway::hydraulics
