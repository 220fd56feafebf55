#pragma once
// Street inlets after FHWA HEC-22 (3rd ed. 2009, sections 4.4 and 4.5; 4th ed. 2024, the same
// methods): how much of the gutter flow an inlet on grade intercepts, and how deep the water
// must stand over an inlet in a sag to pass all that reaches it.
//
// Glossary (US customary: ft, ft/ft, cfs, ft/s; gutter terms as in gutter.hpp):
//   L inlet length along the curb (grate, curb opening or slot), L_e = L (1 - c) with c the
//   clogging fraction; W_g grate width; h curb-opening height; E efficiency Q_i/Q
//   V_o splash-over velocity; R_f, R_s frontal and side interception ratios
//   L_T curb-opening length that takes the whole flow; S_e equivalent cross slope
//   Q_i intercepted flow, Q_b = Q - Q_i bypass (carry-over); d depth (head) in a sag
//
// Grate on grade:     E = R_f E_o + R_s (1 - E_o),  R_f = 1 - 0.09 (V - V_o) in [0, 1],
//                     R_s = 1 / (1 + 0.15 V^1.8 / (S_x L^2.3))
// Curb, slot on grade: L_T = 0.6 Q^0.42 S_L^0.3 (1/(n S_e))^0.6, E = 1 - (1 - L/L_T)^1.8
// Sag weirs:          grate 3.0 P d^1.5 (P = L + 2 W_g); curb 2.3 (L + 1.8 W) d^1.5 depressed,
//                     else 3.0 L d^1.5; slot 2.48 L d^1.5
// Sag orifices:       0.67 A sqrt(2 g d) (A = L W_g times the opening ratio); curb
//                     0.67 h L sqrt(2 g d_o); slot 0.8 L w sqrt(2 g d)

#include <cstdint>
#include <optional>
#include <string_view>

#include "hydraulics/gutter.hpp"

namespace rillway::hydraulics {

enum class InletType { none, grate, curb, combination, slotted };
// The standard grates of HEC-22 (chart 5B), or one the user describes.
enum class GrateType { p50, p50x100, p30, curved_vane, tilt_bar_45, tilt_bar_30, reticuline, custom };
// The curb opening's throat, which sets the orifice's effective head.
enum class Throat { horizontal, inclined, vertical };
enum class SagRegime { weir, transition, orifice };

// The documents' words ("none", "grate", "curb", "combination", "slotted"; "p50", "p50x100",
// "p30", "curved_vane", "tilt_bar_45", "tilt_bar_30", "reticuline", "custom"; "horizontal",
// "inclined", "vertical"; "weir", "transition", "orifice"). *_of_word: none for another word.
[[nodiscard]] std::string_view inlet_type_word(InletType type) noexcept;
[[nodiscard]] std::optional<InletType> inlet_type_of_word(std::string_view word) noexcept;
[[nodiscard]] std::string_view grate_type_word(GrateType type) noexcept;
[[nodiscard]] std::optional<GrateType> grate_type_of_word(std::string_view word) noexcept;
[[nodiscard]] std::string_view throat_word(Throat throat) noexcept;
[[nodiscard]] std::optional<Throat> throat_of_word(std::string_view word) noexcept;
[[nodiscard]] std::string_view regime_word(SagRegime regime) noexcept;

inline constexpr double kCurbHeightFt = 0.5;       // h when the document gives none
inline constexpr double kSlotWidthFt = 0.146;      // 1.75 in, the usual slotted drain
inline constexpr double kSagGrateClogging = 0.5;   // HEC-22's advice for a grate alone in a sag

struct Inlet {
    InletType type = InletType::none;
    GrateType grate = GrateType::p50;
    double splash_velocity = 0.0;  // V_o of a custom grate, ft/s
    double opening_ratio = 0.0;    // of a custom grate
    double length = 0.0;           // L; of a row of grates their whole length
    std::uint32_t grates = 1;      // grates end to end (a grate or combination)
    double grate_width = 0.0;      // W_g
    double curb_length = 0.0;      // a combination's curb opening; shorter than L counts as L
    double curb_height = kCurbHeightFt;
    Throat throat = Throat::horizontal;
    double slot_width = kSlotWidthFt;
    double local_depression = 0.0;        // at the inlet only, ft
    double local_depression_width = 0.0;  // ft
    double clogging = 0.0;                // c in [0, 1)

    friend bool operator==(const Inlet&, const Inlet&) = default;
};

// V_o (ft/s) of a standard grate of length L (ft) from the cubic fits of HEC-22's chart 5B
// that EPA SWMM 5.2 uses (its Reference Manual Vol. II, Table 7-6, after Denver UDFCD 2010).
// Each cubic rises with L for every L >= 0.
[[nodiscard]] double splash_velocity(GrateType grate, double length) noexcept;
// The share of a standard grate's area that is open (HEC-22 charts 9A/9B).
[[nodiscard]] double opening_ratio(GrateType grate) noexcept;

// S_e of a curb opening or slot at an approach spread, and L_T, the length that takes all of q.
[[nodiscard]] double equivalent_cross_slope(double spread, const Gutter& gutter,
                                            const Inlet& inlet) noexcept;
[[nodiscard]] double curb_full_length(double q, const Gutter& gutter, const Inlet& inlet) noexcept;

// An inlet on grade taking part of the gutter flow q.
struct OnGrade {
    GutterFlow approach;      // the gutter just upstream: spread, depth at the curb, velocity
    double efficiency = 0.0;  // E
    double q_intercepted = 0.0;
    double q_bypass = 0.0;
};
[[nodiscard]] OnGrade inlet_on_grade(double q, const Gutter& gutter, const Inlet& inlet) noexcept;

// An inlet in a sag taking the whole of q.
struct InSag {
    double ponded_depth = 0.0;  // the head of the governing equation (see inlet.cpp)
    double depth = 0.0;         // at the curb, in the gutter's own section
    double spread = 0.0;        // of the pond at that depth
    SagRegime regime = SagRegime::weir;
};
[[nodiscard]] InSag inlet_in_sag(double q, const Gutter& gutter, const Inlet& inlet) noexcept;

// The first value of an inlet and its gutter that the equations cannot take, named by field.
enum class InletField {
    cross_slope, long_slope, n, gutter_width, gutter_depression, length, grate_width,
    curb_length, curb_height, slot_width, local_depression, local_depression_width, clogging,
    splash_velocity, opening_ratio, type, spread_allow, grates
};
// The project document's key of a field ("length_ft", "gutter_slope", "gutter_n", ...).
[[nodiscard]] std::string_view inlet_field_key(InletField field) noexcept;
struct InletProblem {
    InletField field;
    std::string_view rule;  // "must be a positive number", ...
};
// The gutter alone: on grade the longitudinal slope must be positive; in a sag it is not read.
[[nodiscard]] std::optional<InletProblem> check_gutter(const Gutter& gutter, bool sag) noexcept;
// The gutter, then the inlet.
[[nodiscard]] std::optional<InletProblem> check_inlet(const Gutter& gutter, const Inlet& inlet,
                                                      bool sag) noexcept;

}  // namespace rillway::hydraulics
