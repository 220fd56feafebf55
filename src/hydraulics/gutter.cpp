#include "hydraulics/gutter.hpp"

#include <cmath>

namespace rillway::hydraulics {

namespace {

// Halvings of the spread bracket; each one halves it, so this reaches the spacing of doubles
// long before it runs out.
constexpr int kSpreadHalvings = 300;

// (0.56/n) S_L^0.5: the factor of every gutter flow.
double izzard_factor(const Gutter& g) noexcept { return kIzzardUs / g.n * std::sqrt(g.long_slope); }

// Q of a triangle of cross slope s and spread t.
double triangle_q(const Gutter& g, double s, double t) noexcept {
    return izzard_factor(g) * std::pow(s, kIzzardCrossExponent) * std::pow(t, kIzzardSpreadExponent);
}

// The spread of a triangle of cross slope s carrying q: Eq. 4-2 solved for T.
double triangle_spread(const Gutter& g, double s, double q) noexcept {
    return std::pow(q / (izzard_factor(g) * std::pow(s, kIzzardCrossExponent)),
                    1.0 / kIzzardSpreadExponent);
}

}  // namespace

// Beyond the gutter, with r = S_w/S_x and K = (1 + r W/T_s)^2.67, HEC-22 writes
// Q = Q_s/(1 - E_o) = Q_s (K - 1 + r)/r, Q_s the triangle flow of spread T_s. Since
// Q_s K = c S_x^1.67 (T_s + r W)^2.67, this is
//   Q = c S_x^1.67 [(T_s + r W)^2.67 - (1 - r) T_s^2.67] / r,
// which needs no division by T_s: at T_s = 0 it is c S_x^1.67 r^1.67 W^2.67 = c S_w^1.67 W^2.67,
// the S_w triangle's flow at T = W, so Q(T) is continuous there. The naive Q_s/(1 - E_o)
// divides 0 by 0 at T = W and overflows just above it.
double gutter_q(const Gutter& g, double spread) noexcept {
    if (spread <= 0.0) return 0.0;
    if (!g.composite() || spread <= g.width) return triangle_q(g, g.gutter_slope(), spread);
    const double beyond = spread - g.width;
    const double r = g.gutter_slope() / g.cross_slope;
    const double sum = std::pow(beyond + r * g.width, kIzzardSpreadExponent);
    const double side = std::pow(beyond, kIzzardSpreadExponent);
    return izzard_factor(g) * std::pow(g.cross_slope, kIzzardCrossExponent) *
           (sum - (1.0 - r) * side) / r;
}

// E_o of Eq. 4-4 in the same terms: E_o = [(T_s + rW)^2.67 - T_s^2.67] / [(T_s + rW)^2.67 -
// (1 - r) T_s^2.67]; with a = 0 (r = 1) it is 1 - (T_s/T)^2.67 = 1 - (1 - W/T)^2.67.
double frontal_ratio(const Gutter& g, double spread, double width) noexcept {
    if (!(spread > 0.0) || width >= spread) return 1.0;
    if (width <= 0.0) return 0.0;
    if (!g.composite() || spread <= g.width) {
        return 1.0 - std::pow(1.0 - width / spread, kIzzardSpreadExponent);
    }
    const double beyond = spread - g.width;
    const double r = g.gutter_slope() / g.cross_slope;
    const double sum = std::pow(beyond + r * g.width, kIzzardSpreadExponent);
    const double side = std::pow(beyond, kIzzardSpreadExponent);
    const double e_gutter = (sum - side) / (sum - (1.0 - r) * side);
    if (width == g.width) return e_gutter;
    if (width < g.width) {
        // The share of the gutter's flow over the narrower width, by flow area.
        const double depth = spread * g.cross_slope + g.depression;
        const double slope = g.gutter_slope();
        const double part = depth * width - slope * width * width / 2.0;
        const double whole = depth * g.width - slope * g.width * g.width / 2.0;
        return e_gutter * part / whole;
    }
    // The pavement flow beyond the gutter is a triangle of spread T_s.
    const double outer = 1.0 - std::pow(1.0 - (width - g.width) / beyond, kIzzardSpreadExponent);
    return e_gutter + (1.0 - e_gutter) * outer;
}

GutterFlow gutter_at_spread(const Gutter& g, double spread) noexcept {
    GutterFlow f;
    f.spread = spread;
    f.q = gutter_q(g, spread);
    if (g.composite() && spread > g.width) {
        f.depth = spread * g.cross_slope + g.depression;
        f.area = g.cross_slope * spread * spread / 2.0 + g.depression * g.width / 2.0;
    } else if (spread > 0.0 || std::isnan(spread)) {
        f.depth = spread * g.gutter_slope();
        f.area = g.gutter_slope() * spread * spread / 2.0;
    }
    f.velocity = f.area > 0.0 ? f.q / f.area : 0.0;
    f.e_o = frontal_ratio(g, spread, g.width);
    return f;
}

GutterFlow gutter_spread(const Gutter& g, double q) noexcept {
    if (q <= 0.0) return gutter_at_spread(g, 0.0);
    double spread = 0.0;
    if (!g.composite() || q <= gutter_q(g, g.width)) {
        spread = triangle_spread(g, g.gutter_slope(), q);
    } else {
        // The composite section carries more than the plain S_x triangle at any spread, so
        // that triangle's spread bounds the answer from above.
        double lo = g.width;
        double hi = std::fmax(g.width, triangle_spread(g, g.cross_slope, q));
        for (int i = 0; i < kSpreadHalvings && gutter_q(g, hi) < q; ++i) hi *= 2.0;
        for (int i = 0; i < kSpreadHalvings; ++i) {
            const double mid = lo + (hi - lo) / 2.0;
            if (!(mid > lo && mid < hi)) break;
            if (gutter_q(g, mid) < q) {
                lo = mid;
            } else {
                hi = mid;
            }
        }
        spread = hi;
    }
    GutterFlow f = gutter_at_spread(g, spread);
    // Report the flow asked for; the spread carries it to the last bit the solve resolves.
    f.q = q;
    f.velocity = f.area > 0.0 ? q / f.area : 0.0;
    return f;
}

double surface_rise(const Gutter& g, double x) noexcept {
    if (g.composite() && x > g.width) return g.cross_slope * x + g.depression;
    return g.gutter_slope() * x;
}

double spread_at_depth(const Gutter& g, double depth) noexcept {
    if (depth <= 0.0) return 0.0;
    if (g.composite() && depth > g.gutter_slope() * g.width) {
        return g.width + (depth - g.gutter_slope() * g.width) / g.cross_slope;
    }
    return depth / g.gutter_slope();
}

}  // namespace rillway::hydraulics
