#include "hydraulics/peak_search.hpp"

#include <array>
#include <cmath>

#include "hydraulics/constants.hpp"
#include "hydraulics/premises.hpp"

namespace rillway::hydraulics {

// Why a window suffices.
//
// Let Q(y) be the exact Manning flow, with the true arc length for an ellipse. For every kind
// Q is unimodal in y: non-decreasing up to one depth and non-increasing after it.
//   - rectangular: A and R = yB / (2y + B) both rise with y, so Q rises throughout;
//   - circular: with theta the central angle, d ln Q / d theta has the sign of
//     h = 3 theta - 5 theta cos theta + 2 sin theta; h' > 0 on (0, pi] and h'' < 0 on
//     (pi, 3 pi / 2], while on (3 pi / 2, 2 pi) h'' / cos theta = 8 tan theta + 5 theta rises,
//     so h' falls below 0 once and only climbs back to 0 at 2 pi: h changes sign once;
//   - arch: Q rises in the walls; above the springing line d ln Q / dy has the sign of
//     g = 5 T^2 P - 8 r A, and dg/dz = 12 r T - 40 z P falls with z, so g is concave, positive
//     at z = 0 and therefore changes sign at most once;
//   - elliptical: with t the ellipse parameter, semi-axes a (across) and b (up), arc speed
//     f = sqrt(a^2 cos^2 t + b^2 sin^2 t) and arc length P, the sign is that of
//     G = 5 P - 2 f (t - sin t cos t) / sin^2 t. G' > 0 on (0, pi / 2], and on (pi / 2, pi)
//     G' has the sign of 1 - R with R = (t - sin t cos t) |cos t| (1 + a^2 / f^2) / (3 sin^3 t).
//     For a <= b both factors of R rise, so R passes 1 once, G rises then falls to -infinity
//     and changes sign once. For a up to 16 b, R (closed form, no integral) rises wherever it
//     is below 2 on a grid of 4e5 points per ratio, so it still passes 1 once. Flatter
//     ellipses are always scanned in full.
//
// Open channels need no window: A = y (B + m y) with m = (z_l + z_r) / 2 and P = B + s y with
// s = sqrt(1 + z_l^2) + sqrt(1 + z_r^2), so dR/dy has the sign of B^2 + 2 B m y + m s y^2 >= 0.
// R never falls and A grows at least in proportion to y, so q_2000 / q_1999 >=
// 2000 / 1999 (1 - eps) / (1 + eps) > 1: the last sample, the bank-full depth, is the scan's
// one largest.
//
// Each computed sample q_i lies within a relative kSampleError of Q(y_i): the rounding of the
// arithmetic is below 1e-13, the steepest spots (acos near the crown of round and elliptical
// sections, asin at the crown of an arch) add at most 6e-8, and Simpson's rule with 256
// intervals differs from the true arc length by less than 1.4e-8 for ellipses within 1:16
// (largest for a tall one, near the crown).
// The size limits keep every sample a normal double, so those relative bounds hold.
//
// Now take a window [L, R] of samples. If q_L (1 + eps) / (1 - eps) < q_{L+1}, then
// Q(y_L) < Q(y_{L+1}), the peak lies above y_L, Q(y_i) <= Q(y_L) for every i < L, and so
// q_i <= q_L (1 + eps) / (1 - eps) < q_{L+1}: no sample below the window reaches, let alone
// ties, a sample inside it. The mirror test at R covers the samples above. The strict-greater
// scan of the window alone then returns exactly what the scan of all 2000 samples returns.
// Where a test fails the window widens, and past kMaxWindow the caller scans everything.

namespace {

constexpr double kSampleError = 1e-6;
// (1 + eps) / (1 - eps) with room for the rounding of the product it multiplies.
constexpr double kClearRise = 1.0 + 4.0 * kSampleError;
constexpr int kMaxSamples = 64;  // evaluations before giving up and scanning
constexpr int kMaxWindow = 40;   // samples in the final window
constexpr int kHalfWindow = 2;

// Samples this far above the subnormal range keep their relative rounding bounds.
constexpr double kMinFlow = 0x1p-900;

// Peak depth over rise by log2(span / rise), -4 ... 4 in halves (from the root of the sign
// function above, to 6 digits).
constexpr std::array<double, 17> kEllipsePeak{
    0.972980, 0.972325, 0.971112, 0.969011, 0.965663, 0.960799, 0.954365, 0.946622, 0.938181,
    0.929896, 0.922588, 0.916773, 0.912549, 0.909705, 0.907901, 0.906807, 0.906164};

// Arch peak depth over rise by log2(rise / span), -1 ... 6 in halves.
constexpr std::array<double, 15> kArchPeak{0.927195, 0.931480, 0.939525, 0.949380, 0.959395,
                                           0.968505, 0.976180, 0.982320, 0.987060, 0.990620,
                                           0.993250, 0.995170, 0.996555, 0.997545, 0.998260};
// A semicircular crown alone (no walls) peaks at this height over its radius.
constexpr double kBareCrownPeak = 0.927195;

template <std::size_t N>
double interpolate(const std::array<double, N>& table, double position) {
    if (!(position > 0.0)) return table.front();
    if (position >= static_cast<double>(N - 1)) return table.back();
    const auto i = static_cast<std::size_t>(position);
    const double f = position - static_cast<double>(i);
    return table[i] + f * (table[i + 1] - table[i]);
}

// Where to start looking, as a fraction of the rise; precision only saves samples.
double peak_fraction(const Section& s) {
    switch (s.kind) {
        case SectionKind::circular: return 0.938181;
        case SectionKind::rectangular:
        case SectionKind::trapezoid:
        case SectionKind::rect_open:
        case SectionKind::triangle: return 1.0;
        case SectionKind::elliptical:
            return interpolate(kEllipsePeak, 2.0 * (std::log2(s.span / s.rise) + 4.0));
        case SectionKind::arch: {
            const double ratio = s.rise / s.span;
            if (ratio <= 0.5) return std::fmin(1.0, kBareCrownPeak * (s.span / 2.0) / s.rise);
            return interpolate(kArchPeak, 2.0 * (std::log2(ratio) + 1.0));
        }
    }
    return 1.0;
}

// Computed samples, each exactly as the full scan computes it, evaluated at most once.
class Samples {
public:
    Samples(const Section& section, double n, double slope, double k)
        : section_(section), n_(n), slope_(slope), k_(k) {}

    // q_i, or none once the evaluation budget is spent.
    std::optional<double> at(int i) {
        for (int s = 0; s < count_; ++s) {
            if (index_[s] == i) return flow_[s];
        }
        if (count_ == kMaxSamples) return std::nullopt;
        const double q = manning_flow(section_, n_, slope_, depth(i), k_);
        index_[count_] = i;
        flow_[count_] = q;
        ++count_;
        return q;
    }

    [[nodiscard]] double depth(int i) const { return i * section_.rise / kScanPoints; }

private:
    const Section& section_;
    double n_;
    double slope_;
    double k_;
    std::array<int, kMaxSamples> index_{};
    std::array<double, kMaxSamples> flow_{};
    int count_ = 0;
};

bool usable(double q) noexcept { return std::isfinite(q) && q >= kMinFlow; }

}  // namespace

std::optional<PeakFlow> windowed_peak(const Section& section, double n, double slope, double k) {
    const double k_over_n = k / n;
    using premises::kLargest;
    using premises::kSmallest;
    if (!premises::normal_size(k_over_n) ||
        !premises::within(slope, kSmallest * kSmallest, kLargest * kLargest) ||
        !premises::normal_size(section.rise)) {
        return std::nullopt;
    }
    if (section.open()) {
        const auto normal_or_zero = [](double v) { return v == 0.0 || premises::normal_size(v); };
        if (!normal_or_zero(section.span) || !normal_or_zero(section.slope_left) ||
            !normal_or_zero(section.slope_right)) {
            return std::nullopt;
        }
        Samples bank_full(section, n, slope, k);
        const std::optional<double> q = bank_full.at(kScanPoints);
        if (!q || !usable(*q)) return std::nullopt;
        return PeakFlow{*q, bank_full.depth(kScanPoints)};
    }
    if (section.kind != SectionKind::circular) {
        if (!premises::normal_size(section.span)) return std::nullopt;
        if (section.kind == SectionKind::elliptical &&
            !premises::measured_ellipse(section.rise, section.span)) {
            return std::nullopt;
        }
    }

    Samples samples(section, n, slope, k);
    // Climb from the estimate: move to a better sample step away while there is one, then
    // halve the step. Rounding noise near the flat top may stop it a sample or two off; the
    // window tests below do not rely on it.
    const double guess = std::round(peak_fraction(section) * kScanPoints);
    int centre = static_cast<int>(std::fmin(std::fmax(guess, 1.0), kScanPoints));
    std::optional<double> best = samples.at(centre);
    if (!best) return std::nullopt;
    for (int step = section.kind == SectionKind::rectangular ? 1 : 2; step >= 1; step /= 2) {
        bool moved = true;
        while (moved) {
            moved = false;
            for (const int candidate : {centre + step, centre - step}) {
                if (candidate < 1 || candidate > kScanPoints) continue;
                const std::optional<double> q = samples.at(candidate);
                if (!q) return std::nullopt;
                if (*q > *best) {
                    centre = candidate;
                    best = q;
                    moved = true;
                    break;
                }
            }
        }
    }

    int lo = centre - kHalfWindow < 1 ? 1 : centre - kHalfWindow;
    int hi = centre + kHalfWindow > kScanPoints ? kScanPoints : centre + kHalfWindow;
    while (true) {
        for (int i = lo; i <= hi; ++i) {
            const std::optional<double> q = samples.at(i);
            if (!q || !usable(*q)) return std::nullopt;
        }
        const bool low_end_clear = lo == 1 || *samples.at(lo) * kClearRise < *samples.at(lo + 1);
        const bool high_end_clear =
            hi == kScanPoints || *samples.at(hi) * kClearRise < *samples.at(hi - 1);
        if (low_end_clear && high_end_clear) break;
        if (!low_end_clear) lo = lo - 4 < 1 ? 1 : lo - 4;
        if (!high_end_clear) hi = hi + 4 > kScanPoints ? kScanPoints : hi + 4;
        if (hi - lo + 1 > kMaxWindow) return std::nullopt;
    }

    PeakFlow peak;
    for (int i = lo; i <= hi; ++i) {
        const double q = *samples.at(i);
        if (q > peak.flow) {
            peak.flow = q;
            peak.depth = samples.depth(i);
        }
    }
    return peak;
}

}  // namespace rillway::hydraulics
