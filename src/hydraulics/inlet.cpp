#include "hydraulics/inlet.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <utility>

#include "hydraulics/constants.hpp"

namespace rillway::hydraulics {

namespace {

// Grates on grade (HEC-22 Eqs. 4-16 to 4-19, US forms).
constexpr double kFrontalLoss = 0.09;       // s/ft: R_f = 1 - 0.09 (V - V_o)
constexpr double kSideCoefficient = 0.15;   // R_s = 1 / (1 + 0.15 V^1.8 / (S_x L^2.3))
constexpr double kSideVelocityExponent = 1.8;
constexpr double kSideLengthExponent = 2.3;
// Curb openings and slots on grade (Eqs. 4-20, 4-21/4-23, 4-24).
constexpr double kFullLengthCoefficient = 0.6;  // L_T = 0.6 Q^0.42 S_L^0.3 (1/(n S_e))^0.6
constexpr double kFullLengthFlowExponent = 0.42;
constexpr double kFullLengthSlopeExponent = 0.3;
constexpr double kFullLengthRoughnessExponent = 0.6;
constexpr double kCurbEfficiencyExponent = 1.8;  // E = 1 - (1 - L/L_T)^1.8
// Sag weirs and orifices (Eqs. 4-26 to 4-33).
constexpr double kGrateWeir = 3.0;            // Q = 3.0 P d^1.5
constexpr double kOrifice = 0.67;             // Q = 0.67 A sqrt(2 g d)
constexpr double kDepressedCurbWeir = 2.3;    // Q = 2.3 (L + 1.8 W) d^1.5
constexpr double kDepressedCurbWidth = 1.8;
constexpr double kCurbWeir = 3.0;             // Q = 3.0 L d^1.5, undepressed or longer than 12 ft
// Where 2.3 (L + 1.8 W) = 3.0 L for W = 2 ft (L = 11.8 ft): HEC-22 switches at 12 ft.
constexpr double kDepressedWeirLongestFt = 12.0;
constexpr double kWeirUntil = 1.0;            // curb: weir up to d = h ...
constexpr double kOrificeFrom = 1.4;          // ... orifice from d = 1.4 h, linear between
constexpr double kInclinedThroat = 0.7071;    // d_o = d - 0.7071 h/2 (a 45-degree throat)
constexpr double kSlotWeir = 2.48;            // Q = 2.48 L d^1.5 to d = 0.2 ft
constexpr double kSlotOrifice = 0.8;          // Q = 0.8 L w sqrt(2 g d) from d = 0.4 ft
constexpr double kSlotWeirUntilFt = 0.2;
constexpr double kSlotOrificeFromFt = 0.4;
constexpr double kWeirExponent = 1.5;
constexpr int kDepthHalvings = 300;

struct SplashFit {
    double alpha, beta, gamma, eta;  // V_o = alpha + beta L - gamma L^2 + eta L^3 (ft/s, ft)
};
// SWMM Reference Manual Vol. II, Table 7-6, in the order of GrateType.
constexpr std::array<SplashFit, 7> kSplash{{{2.22, 4.03, 0.65, 0.06},
                                            {0.74, 2.44, 0.27, 0.02},
                                            {1.76, 3.12, 0.45, 0.03},
                                            {0.30, 4.85, 1.31, 0.15},
                                            {0.99, 2.64, 0.36, 0.03},
                                            {0.51, 2.34, 0.20, 0.01},
                                            {0.28, 2.28, 0.18, 0.01}}};
// HEC-22 charts 9A/9B as Bentley's KB0015595 tabulates them, in the order of GrateType.
constexpr std::array<double, 7> kOpeningRatio{0.90, 0.80, 0.60, 0.35, 0.34, 0.34, 0.80};

constexpr std::array<std::string_view, 5> kInletWords{"none", "grate", "curb", "combination",
                                                      "slotted"};
constexpr std::array<std::string_view, 8> kGrateWords{
    "p50", "p50x100", "p30", "curved_vane", "tilt_bar_45", "tilt_bar_30", "reticuline", "custom"};
constexpr std::array<std::string_view, 3> kThroatWords{"horizontal", "inclined", "vertical"};
constexpr std::array<std::string_view, 3> kRegimeWords{"weir", "transition", "orifice"};

template <class E, std::size_t N>
std::optional<E> of_word(const std::array<std::string_view, N>& words, std::string_view word) {
    for (std::size_t i = 0; i < N; ++i) {
        if (words[i] == word) return static_cast<E>(i);
    }
    return std::nullopt;
}

double two_g() noexcept { return 2.0 * kGravityUs; }

double grate_splash(const Inlet& inlet, double length) noexcept {
    return inlet.grate == GrateType::custom ? inlet.splash_velocity
                                            : splash_velocity(inlet.grate, length);
}

double grate_opening(const Inlet& inlet) noexcept {
    return inlet.grate == GrateType::custom ? inlet.opening_ratio : opening_ratio(inlet.grate);
}

// E of a grate of effective length `length` in the flow q.
double grate_efficiency(double q, const Gutter& g, const Inlet& inlet, double length) noexcept {
    if (!(q > 0.0)) return 1.0;
    const GutterFlow f = gutter_spread(g, q);
    const double v = f.velocity;
    const double v_o = grate_splash(inlet, length);
    // The linear frontal ratio would turn negative 11 ft/s above splash-over.
    const double r_f = v > v_o ? std::clamp(1.0 - kFrontalLoss * (v - v_o), 0.0, 1.0) : 1.0;
    const double r_s =
        1.0 / (1.0 + kSideCoefficient * std::pow(v, kSideVelocityExponent) /
                         (g.cross_slope * std::pow(length, kSideLengthExponent)));
    const double e_o = frontal_ratio(g, f.spread, inlet.grate_width);
    return r_f * e_o + r_s * (1.0 - e_o);
}

// E of a curb opening or slot of effective length `length` in the flow q.
double curb_efficiency(double q, const Gutter& g, const Inlet& inlet, double length) noexcept {
    if (!(q > 0.0)) return 1.0;
    const double full = curb_full_length(q, g, inlet);
    if (length >= full) return 1.0;
    return 1.0 - std::pow(1.0 - length / full, kCurbEfficiencyExponent);
}

double orifice_head_drop(const Inlet& inlet) noexcept {
    switch (inlet.throat) {
        case Throat::horizontal: return inlet.curb_height / 2.0;
        case Throat::inclined: return kInclinedThroat * inlet.curb_height / 2.0;
        case Throat::vertical: return 0.0;
    }
    return 0.0;
}

// The least d >= 0 with weir(d) >= q below d1, the linear blend of weir(d1) and orifice(d2)
// between, orifice(d) >= q from d2. The blend makes the capacity continuous at both ends.
template <class Weir, class WeirDepth, class Orifice, class OrificeDepth>
std::pair<double, SagRegime> blended_depth(double q, double d1, double d2, Weir weir,
                                           WeirDepth weir_depth, Orifice orifice,
                                           OrificeDepth orifice_depth) noexcept {
    const double at_d1 = weir(d1);
    if (q <= at_d1) return {weir_depth(q), SagRegime::weir};
    const double at_d2 = orifice(d2);
    if (at_d2 > at_d1 && q <= at_d2) {
        return {d1 + (d2 - d1) * (q - at_d1) / (at_d2 - at_d1), SagRegime::transition};
    }
    return {std::fmax(d2, orifice_depth(q)), SagRegime::orifice};
}

InSag curb_in_sag(double q, const Gutter& g, const Inlet& inlet) noexcept {
    const double a_gutter = g.composite() ? g.depression : 0.0;
    const double a_total = a_gutter + inlet.local_depression;
    // The depression's width: the local one's where there is one (as EPA SWMM takes it).
    const double w = inlet.local_depression > 0.0 ? inlet.local_depression_width : g.width;
    const double length = inlet.length;
    const double h = inlet.curb_height;
    const bool depressed = a_total > 0.0 && length <= kDepressedWeirLongestFt;
    const double weir_factor =
        depressed ? kDepressedCurbWeir * (length + kDepressedCurbWidth * w) : kCurbWeir * length;
    const double drop = orifice_head_drop(inlet);
    const double orifice_factor = kOrifice * h * length;
    // d over the normal cross slope; the lip stands a_total deeper.
    auto weir = [&](double d) { return weir_factor * std::pow(d, kWeirExponent); };
    auto weir_depth = [&](double flow) { return std::pow(flow / weir_factor, 1.0 / kWeirExponent); };
    auto orifice = [&](double d) { return orifice_factor * std::sqrt(two_g() * (d + a_total - drop)); };
    auto orifice_depth = [&](double flow) {
        const double head = flow / orifice_factor;
        return head * head / two_g() - a_total + drop;
    };
    const auto [d, regime] = blended_depth(q, kWeirUntil * h, kOrificeFrom * h, weir, weir_depth,
                                           orifice, orifice_depth);
    InSag s;
    s.ponded_depth = d;
    s.regime = regime;
    s.depth = d + a_gutter;
    s.spread = spread_at_depth(g, s.depth);
    return s;
}

InSag slotted_in_sag(double q, const Gutter& g, const Inlet& inlet) noexcept {
    const double length = inlet.length * (1.0 - inlet.clogging);
    const double weir_factor = kSlotWeir * length;
    const double orifice_factor = kSlotOrifice * length * inlet.slot_width;
    auto weir = [&](double d) { return weir_factor * std::pow(d, kWeirExponent); };
    auto weir_depth = [&](double flow) { return std::pow(flow / weir_factor, 1.0 / kWeirExponent); };
    auto orifice = [&](double d) { return orifice_factor * std::sqrt(two_g() * d); };
    auto orifice_depth = [&](double flow) {
        const double head = flow / orifice_factor;
        return head * head / two_g();
    };
    const auto [d, regime] = blended_depth(q, kSlotWeirUntilFt, kSlotOrificeFromFt, weir,
                                           weir_depth, orifice, orifice_depth);
    InSag s;
    s.ponded_depth = d;
    s.regime = regime;
    s.depth = d;  // the slot lies in the gutter's flowline at the curb
    s.spread = spread_at_depth(g, s.depth);
    return s;
}

// A grate alone, or a combination whose curb opening adds its orifice flow: the least average
// depth over the grate at which both the weir and the orifice pass q (below the depth where
// they are equal the weir is the smaller, so this is also "the lesser capacity governs").
InSag grate_in_sag(double q, const Gutter& g, const Inlet& inlet, bool with_curb) noexcept {
    const double open = 1.0 - inlet.clogging;
    const double perimeter = (inlet.length + 2.0 * inlet.grate_width) * open;
    const double area = inlet.length * inlet.grate_width * grate_opening(inlet) * open;
    const double rise = surface_rise(g, inlet.grate_width / 2.0);
    const double weir_d = std::pow(q / (kGrateWeir * perimeter), 1.0 / kWeirExponent);
    const double head = q / (kOrifice * area);
    double orifice_d = head * head / two_g();
    if (with_curb && q > 0.0) {
        // The curb opening's orifice beside the grate; its lip is at the curb, `rise` plus the
        // local depression below the grate's mean surface. Both orifices rise with d, so the
        // grate's own depth brackets the answer.
        const double curb_length = std::fmax(inlet.curb_length, inlet.length);
        const double drop = orifice_head_drop(inlet);
        const double curb_factor = kOrifice * inlet.curb_height * curb_length;
        auto total = [&](double d) {
            const double lip = std::fmax(d + rise + inlet.local_depression - drop, 0.0);
            return kOrifice * area * std::sqrt(two_g() * d) + curb_factor * std::sqrt(two_g() * lip);
        };
        double lo = 0.0;
        double hi = orifice_d;
        for (int i = 0; i < kDepthHalvings; ++i) {
            const double mid = lo + (hi - lo) / 2.0;
            if (!(mid > lo && mid < hi)) break;
            if (total(mid) < q) {
                lo = mid;
            } else {
                hi = mid;
            }
        }
        orifice_d = hi;
    }
    InSag s;
    s.regime = weir_d >= orifice_d ? SagRegime::weir : SagRegime::orifice;
    s.ponded_depth = std::fmax(weir_d, orifice_d);
    s.depth = s.ponded_depth + rise;
    s.spread = spread_at_depth(g, s.depth);
    return s;
}

}  // namespace

std::string_view inlet_type_word(InletType type) noexcept {
    return kInletWords[static_cast<std::size_t>(type)];
}
std::optional<InletType> inlet_type_of_word(std::string_view word) noexcept {
    return of_word<InletType>(kInletWords, word);
}
std::string_view grate_type_word(GrateType type) noexcept {
    return kGrateWords[static_cast<std::size_t>(type)];
}
std::optional<GrateType> grate_type_of_word(std::string_view word) noexcept {
    return of_word<GrateType>(kGrateWords, word);
}
std::string_view throat_word(Throat throat) noexcept {
    return kThroatWords[static_cast<std::size_t>(throat)];
}
std::optional<Throat> throat_of_word(std::string_view word) noexcept {
    return of_word<Throat>(kThroatWords, word);
}
std::string_view regime_word(SagRegime regime) noexcept {
    return kRegimeWords[static_cast<std::size_t>(regime)];
}

double splash_velocity(GrateType grate, double length) noexcept {
    if (grate == GrateType::custom) return 0.0;
    const SplashFit& f = kSplash[static_cast<std::size_t>(grate)];
    return f.alpha + f.beta * length - f.gamma * length * length +
           f.eta * length * length * length;
}

double opening_ratio(GrateType grate) noexcept {
    if (grate == GrateType::custom) return 0.0;
    return kOpeningRatio[static_cast<std::size_t>(grate)];
}

// S_e = S_x + S'_w E_o with S'_w = a/W measured from the pavement slope (Eq. 4-24). A local
// depression takes E_o of its own width in the undepressed approach spread, the reading that
// gives the FHWA Hydraulic Toolbox's 51.7 % (research note, case B); the two depressions add.
double equivalent_cross_slope(double spread, const Gutter& g, const Inlet& inlet) noexcept {
    double s_e = g.cross_slope;
    if (g.composite()) s_e += g.depression / g.width * frontal_ratio(g, spread, g.width);
    if (inlet.local_depression > 0.0) {
        const double w = inlet.local_depression_width;
        const double e_o =
            w >= spread ? 1.0 : 1.0 - std::pow(1.0 - w / spread, kIzzardSpreadExponent);
        s_e += inlet.local_depression / w * e_o;
    }
    return s_e;
}

double curb_full_length(double q, const Gutter& g, const Inlet& inlet) noexcept {
    const double s_e = equivalent_cross_slope(gutter_spread(g, q).spread, g, inlet);
    return kFullLengthCoefficient * std::pow(q, kFullLengthFlowExponent) *
           std::pow(g.long_slope, kFullLengthSlopeExponent) *
           std::pow(1.0 / (g.n * s_e), kFullLengthRoughnessExponent);
}

OnGrade inlet_on_grade(double q, const Gutter& g, const Inlet& inlet) noexcept {
    OnGrade r;
    r.approach = gutter_spread(g, q);
    // Clogging on grade shortens every length the inlet has by the same fraction.
    const double open = 1.0 - inlet.clogging;
    const double length = inlet.length * open;
    double intercepted = 0.0;
    switch (inlet.type) {
        case InletType::none: intercepted = q; break;
        case InletType::grate: intercepted = grate_efficiency(q, g, inlet, length) * q; break;
        case InletType::curb:
        case InletType::slotted: intercepted = curb_efficiency(q, g, inlet, length) * q; break;
        case InletType::combination: {
            // Beside the grate the curb opening adds next to nothing; a sweeper's curb opening
            // upstream of the grate takes its share first, and the grate works on the rest.
            const double sweeper = (inlet.curb_length - inlet.length) * open;
            double rest = q;
            if (sweeper > 0.0) {
                intercepted = curb_efficiency(q, g, inlet, sweeper) * q;
                rest = q - intercepted;
            }
            intercepted += grate_efficiency(rest, g, inlet, length) * rest;
            break;
        }
    }
    r.q_intercepted = intercepted;
    r.q_bypass = q - intercepted;
    r.efficiency = q > 0.0 ? intercepted / q : 1.0;
    return r;
}

InSag inlet_in_sag(double q, const Gutter& g, const Inlet& inlet) noexcept {
    switch (inlet.type) {
        case InletType::grate: return grate_in_sag(q, g, inlet, false);
        case InletType::combination: return grate_in_sag(q, g, inlet, true);
        case InletType::curb: return curb_in_sag(q, g, inlet);
        case InletType::slotted: return slotted_in_sag(q, g, inlet);
        case InletType::none: break;
    }
    return InSag{};
}

namespace {

constexpr std::string_view kPositive = "must be a positive number";
constexpr std::string_view kNotNegative = "must be a number of 0 or more";
bool positive(double v) noexcept { return v > 0.0 && std::isfinite(v); }
bool not_negative(double v) noexcept { return v >= 0.0 && std::isfinite(v); }

// In the order of InletField.
constexpr std::array<std::string_view, 18> kFieldKeys{
    "cross_slope",      "gutter_slope",   "gutter_n",      "gutter_width_ft",
    "gutter_depression_ft", "length_ft",  "grate_width_ft", "curb_length_ft",
    "curb_height_ft",   "slot_width_ft",  "local_depression_ft", "local_depression_width_ft",
    "clogging",         "splash_velocity_fps", "opening_ratio", "type", "spread_allow_ft",
    "grates"};

}  // namespace

std::string_view inlet_field_key(InletField field) noexcept {
    return kFieldKeys[static_cast<std::size_t>(field)];
}

std::optional<InletProblem> check_gutter(const Gutter& g, bool sag) noexcept {
    if (!positive(g.cross_slope)) return InletProblem{InletField::cross_slope, kPositive};
    if (!sag && !positive(g.long_slope)) {
        return InletProblem{InletField::long_slope, "must be a positive number on grade"};
    }
    if (!positive(g.n)) return InletProblem{InletField::n, kPositive};
    if (!not_negative(g.width)) return InletProblem{InletField::gutter_width, kNotNegative};
    if (!not_negative(g.depression)) return InletProblem{InletField::gutter_depression, kNotNegative};
    if (g.depression > 0.0 && !(g.width > 0.0)) {
        return InletProblem{InletField::gutter_width, "must be positive where the gutter is depressed"};
    }
    return std::nullopt;
}

std::optional<InletProblem> check_inlet(const Gutter& g, const Inlet& inlet, bool sag) noexcept {
    const bool grate = inlet.type == InletType::grate || inlet.type == InletType::combination;
    const bool curb = inlet.type == InletType::curb || inlet.type == InletType::combination;
    if (inlet.type == InletType::none) return std::nullopt;
    if (auto problem = check_gutter(g, sag)) return problem;
    if (inlet.grates == 0) return InletProblem{InletField::grates, "must be 1 or more"};
    if (!positive(inlet.length)) return InletProblem{InletField::length, kPositive};
    if (!grate && inlet.grates != 1) {
        return InletProblem{InletField::grates, "must be 1 for a curb opening or slot (one length)"};
    }
    if (grate && !positive(inlet.grate_width)) return InletProblem{InletField::grate_width, kPositive};
    if (!not_negative(inlet.curb_length)) return InletProblem{InletField::curb_length, kNotNegative};
    if (curb && !positive(inlet.curb_height)) return InletProblem{InletField::curb_height, kPositive};
    if (inlet.type == InletType::slotted && !positive(inlet.slot_width)) {
        return InletProblem{InletField::slot_width, kPositive};
    }
    if (!not_negative(inlet.local_depression)) {
        return InletProblem{InletField::local_depression, kNotNegative};
    }
    if (!not_negative(inlet.local_depression_width)) {
        return InletProblem{InletField::local_depression_width, kNotNegative};
    }
    if (inlet.local_depression > 0.0 && !(inlet.local_depression_width > 0.0)) {
        return InletProblem{InletField::local_depression_width,
                            "must be positive where there is a local depression"};
    }
    if (!(inlet.clogging >= 0.0 && inlet.clogging < 1.0)) {
        return InletProblem{InletField::clogging, "must be a fraction of at least 0 and below 1"};
    }
    if (grate && inlet.grate == GrateType::custom) {
        if (!positive(inlet.splash_velocity)) {
            return InletProblem{InletField::splash_velocity, "must be a positive number for a custom grate"};
        }
        if (!(inlet.opening_ratio > 0.0 && inlet.opening_ratio <= 1.0)) {
            return InletProblem{InletField::opening_ratio,
                                "must be a fraction above 0 and at most 1 for a custom grate"};
        }
    }
    return std::nullopt;
}

}  // namespace rillway::hydraulics
