#pragma once
// The FHWA access-hole energy method (HEC-22, 3rd ed. 2009, section 7.1.6; 4th ed. 2024,
// section 9.1.6.7): the energy level in a structure from its outlet pipe, its inflows and its
// floor.
//
// Glossary (feet, seconds, cfs; every head above the outlet pipe's invert): E_i the outlet
// pipe's energy head at the structure, E_ai the initial structure energy level, E_a the final
// one, D_o the outlet rise, A_o its full area, Q_o and V_o its flow and velocity at the
// structure, DI = Q_o / (A_o sqrt(g D_o)) the discharge intensity, C_B, C_theta, C_P the
// benching, angled-inflow and plunging-inflow coefficients, H_a the adjustment.

#include <span>

#include "network/network.hpp"

namespace rillway::network {

// g in ft/s2 of the method's formulas.
inline constexpr double kEnergyGravity = 32.2;
// Coefficients of the method (HEC-22 4th ed. equations 9.19 to 9.32).
inline constexpr double kOutletLossFraction = 0.2;   // E_aio = E_i + 0.2 V_o^2/2g
inline constexpr double kUnsubmergedFactor = 1.6;    // E_aiu = 1.6 D_o DI^0.67
inline constexpr double kUnsubmergedExponent = 0.67;
inline constexpr double kAngleFactor = 4.5;          // C_theta = 4.5 (sum Q_j / Q_o) cos(theta_w/2)
inline constexpr double kPlungeCapRises = 10.0;      // z_k is capped at 10 D_o
inline constexpr double kInflowExitLoss = 0.4;       // an inflow pipe leaves 0.4 V_i^2/2g
inline constexpr double kUnsubmergedRatio = 1.0;     // E_ai / D_o below which C_B is unsubmerged
inline constexpr double kSubmergedRatio = 2.5;       // above which it is submerged

// One inflow of a structure: a pipe, or the surface water falling in at an inlet's grate.
struct StructureInflow {
    double q = 0.0;              // cfs
    double angle_deg = 180.0;    // between the inflow and the outlet, 180 for a straight run
    double invert_height = 0.0;  // ft above the outlet invert (the rim for surface water)
    bool surface = false;        // surface water always falls in, so it never sets C_theta
};

struct AccessHoleInput {
    double e_i = 0.0;     // ft
    double q_out = 0.0;   // cfs
    double d_out = 0.0;   // ft
    double a_out = 0.0;   // ft2, the outlet's full area
    double v_out = 0.0;   // ft/s at the structure
    bool supercritical = false;  // the outlet flows supercritical: no outlet control
    Benching benching = Benching::flat;
    std::span<const StructureInflow> inflows;
};

struct AccessHoleEnergy {
    double e_ai = 0.0;
    double e_aio = 0.0;  // 0 when the outlet flows supercritical
    double e_ais = 0.0;
    double e_aiu = 0.0;
    double c_b = 0.0;
    double c_theta = 0.0;
    double c_p = 0.0;
    double h_a = 0.0;
    double e_a = 0.0;
};

// C_B for a floor at E_ai / D_o: the unsubmerged value up to 1.0, the submerged one from 2.5,
// linear in between (HEC-22 4th ed. table 9.5).
[[nodiscard]] double benching_coefficient(Benching benching, double depth_ratio) noexcept;

// Whether an inflow falls into the structure rather than flowing in: surface water always, a
// pipe whose invert stands above E_ai.
[[nodiscard]] bool plunges(const StructureInflow& inflow, double e_ai) noexcept;

// The whole method for one structure. Without outlet flow or rise only outlet control and E_i
// stand (every coefficient is a ratio to Q_o or D_o).
[[nodiscard]] AccessHoleEnergy access_hole_energy(const AccessHoleInput& input) noexcept;

}  // namespace rillway::network
