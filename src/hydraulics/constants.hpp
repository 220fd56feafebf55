#pragma once
// Physical and numerical constants shared by the hydraulics and the network analysis.

namespace rillway::hydraulics {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoThirds = 0.6666666666666666;  // Manning exponent on R

inline constexpr double kManningUs = 1.486;  // ft^(1/3)/s: Manning factor for cfs
inline constexpr double kManningSi = 1.0;    // m^(1/3)/s: Manning factor for m3/s
inline constexpr double kGravityUs = 32.2;   // ft/s2
inline constexpr double kGravitySi = 9.81;   // m/s2

inline constexpr int kScanPoints = 2000;          // depth samples of the peak-capacity scan
inline constexpr int kMaxHalvings = 200;          // bisection budget of the depth solvers
inline constexpr double kBisectTolerance = 1e-7;  // absolute bracket width that stops a bisection
inline constexpr int kSimpsonIntervals = 256;     // ellipse arc-length integration

}  // namespace rillway::hydraulics
