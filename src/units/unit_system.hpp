#pragma once
// The unit system a project document stores its values in. The analysis itself always works in
// US customary units; SI documents are converted when the network is built.

namespace rillway::units {

enum class UnitSystem { us_customary, si };

inline constexpr double kFeetPerMetre = 3.280839895013123;
inline constexpr double kAcresPerHectare = 2.4710516301527603;
inline constexpr double kInchesPerMillimetre = 0.03937007874015748;  // 1 / 25.4
inline constexpr double kSquareFeetPerAcre = 43560.0;
inline constexpr double kCubicFeetPerCubicMetre = kFeetPerMetre * kFeetPerMetre * kFeetPerMetre;

}  // namespace rillway::units
