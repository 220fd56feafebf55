#include "network/energy_loss.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

#include "hydraulics/constants.hpp"

namespace rillway::network {

namespace {

constexpr double kTwoGravity = 2.0 * kEnergyGravity;

struct BenchingPair {
    double submerged;
    double unsubmerged;
};

// HEC-22 4th ed. table 9.5, in the order of the Benching enumerators.
constexpr std::array<BenchingPair, 5> kBenching = {{
    {-0.05, -0.05},  // flat
    {0.0, 0.0},      // depressed
    {-0.05, -0.85},  // half
    {-0.25, -0.93},  // full
    {-0.60, -0.98},  // improved
}};

}  // namespace

double benching_coefficient(Benching benching, double depth_ratio) noexcept {
    const BenchingPair pair = kBenching[static_cast<std::size_t>(benching)];
    if (!(depth_ratio > kUnsubmergedRatio)) return pair.unsubmerged;
    if (depth_ratio >= kSubmergedRatio) return pair.submerged;
    const double t = (depth_ratio - kUnsubmergedRatio) / (kSubmergedRatio - kUnsubmergedRatio);
    return pair.unsubmerged + t * (pair.submerged - pair.unsubmerged);
}

bool plunges(const StructureInflow& inflow, double e_ai) noexcept {
    return inflow.surface || inflow.invert_height > e_ai;
}

AccessHoleEnergy access_hole_energy(const AccessHoleInput& in) noexcept {
    AccessHoleEnergy r;
    r.e_aio = in.supercritical ? 0.0 : in.e_i + kOutletLossFraction * in.v_out * in.v_out / kTwoGravity;
    const bool sized = in.q_out > 0.0 && in.d_out > 0.0 && in.a_out > 0.0;
    if (sized) {
        const double di = in.q_out / (in.a_out * std::sqrt(kEnergyGravity * in.d_out));
        r.e_ais = in.d_out * di * di;
        r.e_aiu = kUnsubmergedFactor * in.d_out * std::pow(di, kUnsubmergedExponent);
    }
    r.e_ai = std::max({r.e_aio, r.e_ais, r.e_aiu});
    if (sized) {
        r.c_b = benching_coefficient(in.benching, r.e_ai / in.d_out);
        // theta_w is the flow-weighted angle of the inflows that do not plunge; with none it
        // is 180 degrees, and cos(90) would still leave a rounding residue, so C_theta is 0.
        double q_flowing = 0.0;
        double q_angle = 0.0;
        double q_head = 0.0;
        const double cap = kPlungeCapRises * in.d_out;
        for (const StructureInflow& inflow : in.inflows) {
            if (!(inflow.q > 0.0)) continue;
            if (plunges(inflow, r.e_ai)) {
                // A surface inflow whose rim the structure's water has risen above falls no
                // height; it still plunges (it has no direction), so its height is kept >= 0.
                const double z = std::min(inflow.invert_height, cap);
                q_head += inflow.q * std::fmax(z - r.e_ai, 0.0) / in.d_out;
            } else {
                q_flowing += inflow.q;
                q_angle += inflow.q * inflow.angle_deg;
            }
        }
        if (q_flowing > 0.0) {
            const double theta_w = q_angle / q_flowing;
            const double half = theta_w / 2.0 * hydraulics::kPi / 180.0;
            // A straight run (180 degrees) adds nothing: cos(pi/2) rounds to 6e-17, not 0.
            r.c_theta = theta_w >= 180.0 ? 0.0 : kAngleFactor * (q_flowing / in.q_out) * std::cos(half);
        }
        r.c_p = q_head / in.q_out;
        r.h_a = std::fmax(0.0, (r.e_ai - in.e_i) * (r.c_b + r.c_theta + r.c_p));
    }
    r.e_a = std::fmax(r.e_ai + r.h_a, in.e_i);
    return r;
}

}  // namespace rillway::network
