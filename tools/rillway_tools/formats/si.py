"""Results in SI units, and the unit factors every format shares.

The engine works in US customary units (ft, acres, minutes, in/hr, cfs). An SI result has
lengths and elevations in m, slopes in m/m, C*A in ha, times in min, intensities in mm/h,
flows in m³/s and velocities in m/s. The factors are the engine's (`rillway.FEET_PER_METRE`,
`rillway.ACRES_PER_HECTARE`, ...): 1 ft = 0.3048 m and 1 in = 25.4 mm exactly (NIST SP 811,
appendix B), and the hectare as the engine reads it.
"""
from __future__ import annotations

import copy
import math
from collections.abc import Mapping

import rillway

from ..results import AnalysisResult

__all__ = ["ACRES_PER_HECTARE", "FEET_PER_METRE", "MILLIMETRES_PER_INCH", "SI_UNITS", "to_si"]

# The engine's own factors, which it reads SI projects with (1 / 0.3048 is the foot exactly; its
# hectare factor is the engine's, which existing results were computed with).
FEET_PER_METRE: float = rillway.FEET_PER_METRE
METRES_PER_FOOT = 1.0 / FEET_PER_METRE  # 0.3048 to the bit
MILLIMETRES_PER_INCH = 1.0 / rillway.INCHES_PER_MILLIMETRE  # 25.4 to the bit
SQUARE_FEET_PER_ACRE: float = rillway.SQUARE_FEET_PER_ACRE
ACRES_PER_HECTARE: float = rillway.ACRES_PER_HECTARE
HECTARES_PER_ACRE = 1.0 / ACRES_PER_HECTARE
CUBIC_METRES_PER_CUBIC_FOOT = METRES_PER_FOOT ** 3

# Result key -> (factor from the US value, SI unit, number format of the SI table). Keys not
# listed carry no unit (ids, flags, ratios) or the same one in both systems (minutes).
SI_UNITS: Mapping[str, tuple[float, str, str]] = {
    "slope": (1.0, "m/m", ".4f"),
    "total_ca": (HECTARES_PER_ACRE, "ha", ".3f"),
    "intensity": (MILLIMETRES_PER_INCH, "mm/h", ".1f"),
    "design_q": (CUBIC_METRES_PER_CUBIC_FOOT, "m³/s", ".4f"),
    "capacity": (CUBIC_METRES_PER_CUBIC_FOOT, "m³/s", ".4f"),
    "velocity": (METRES_PER_FOOT, "m/s", ".2f"),
    "normal_depth": (METRES_PER_FOOT, "m", ".3f"),
    "critical_depth": (METRES_PER_FOOT, "m", ".3f"),
    "hgl_up": (METRES_PER_FOOT, "m", ".3f"),
    "hgl_dn": (METRES_PER_FOOT, "m", ".3f"),
    "egl_up": (METRES_PER_FOOT, "m", ".3f"),
    "egl_dn": (METRES_PER_FOOT, "m", ".3f"),
    "egl": (METRES_PER_FOOT, "m", ".3f"),
    "rim": (METRES_PER_FOOT, "m", ".3f"),
    "hgl": (METRES_PER_FOOT, "m", ".3f"),
    "freeboard": (METRES_PER_FOOT, "m", ".3f"),
}


# US units per SI unit, as the engine reads an SI project: converting back divides by these.
US_PER_SI: Mapping[str, float] = {
    "m/m": 1.0, "ha": ACRES_PER_HECTARE, "mm/h": rillway.INCHES_PER_MILLIMETRE,
    "m³/s": FEET_PER_METRE ** 3, "m/s": FEET_PER_METRE, "m": FEET_PER_METRE,
}


def _from_us(value: float, us_per_si: float) -> float:
    """The SI value that the engine's reading, value_si * us_per_si, turns into `value`, where one
    exists within a unit in the last place of value / us_per_si (the shortest such, as typed);
    else value / us_per_si. So an SI input comes back as it was given."""
    guess = value / us_per_si
    if guess * us_per_si == value or not math.isfinite(guess):
        return guess
    exact = [x for x in (math.nextafter(guess, -math.inf), math.nextafter(guess, math.inf))
             if x * us_per_si == value]
    return min(exact, key=lambda x: len(repr(x))) if exact else guess


def to_si(result: AnalysisResult) -> AnalysisResult:
    """A copy of an analysis result in SI units (the argument is left as it is).

    Parameters
    ----------
    result : the dictionary `rillway.analyze_project` (or `analyze_rwn`, `analyze_file`)
        returns, in ft, ft/ft, acres, min, in/hr, cfs and ft/s.

    Returns
    -------
    The same keys with lengths and elevations in [m], C*A in [ha], intensity in [mm/h],
    flows in [m³/s] and velocities in [m/s]; None stays None. Each value is divided by the
    factor the engine reads SI projects with, so an SI project's inputs (a rim, a tailwater)
    come back exactly as given.

    Examples
    --------
    A 1.5 ft (18 in) pipe at 1 % slope, n = 0.013, carries 10.504 cfs full (Manning,
    Q = 1.486/n A R^(2/3) S^(1/2) with A = 1.7671 ft², R = 0.375 ft), which is 0.29745 m³/s
    (1 ft³ = 0.0283168 m³).
    """
    converted = copy.deepcopy(result)
    for row in (*converted["pipes"], *converted["nodes"]):
        for key, (_factor, unit, _fmt) in SI_UNITS.items():
            value = row.get(key)
            if isinstance(value, float):
                row[key] = _from_us(value, US_PER_SI[unit])  # type: ignore[literal-required]
    return converted
