"""Results in SI units, and the unit factors every format shares.

The engine works in US customary units (ft, acres, minutes, in/hr, cfs). An SI result has
lengths and elevations in m, slopes in m/m, C*A in ha, times in min, intensities in mm/h,
flows in m³/s and velocities in m/s. The factors are exact by definition: 1 ft = 0.3048 m,
1 in = 25.4 mm, 1 acre = 43,560 ft² (NIST SP 811, appendix B).
"""
from __future__ import annotations

import copy
from collections.abc import Mapping

from ..results import AnalysisResult

__all__ = ["ACRES_PER_HECTARE", "FEET_PER_METRE", "MILLIMETRES_PER_INCH", "SI_UNITS", "to_si"]

METRES_PER_FOOT = 0.3048
FEET_PER_METRE = 1.0 / METRES_PER_FOOT  # the factor the engine applies to SI projects
MILLIMETRES_PER_INCH = 25.4
SQUARE_FEET_PER_ACRE = 43560.0
HECTARES_PER_ACRE = SQUARE_FEET_PER_ACRE * METRES_PER_FOOT ** 2 / 10_000.0
ACRES_PER_HECTARE = 1.0 / HECTARES_PER_ACRE
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
    "q_own": (CUBIC_METRES_PER_CUBIC_FOOT, "m³/s", ".4f"),
    "q_carryover": (CUBIC_METRES_PER_CUBIC_FOOT, "m³/s", ".4f"),
    "q_approach": (CUBIC_METRES_PER_CUBIC_FOOT, "m³/s", ".4f"),
    "q_intercepted": (CUBIC_METRES_PER_CUBIC_FOOT, "m³/s", ".4f"),
    "q_bypass": (CUBIC_METRES_PER_CUBIC_FOOT, "m³/s", ".4f"),
    "spread": (METRES_PER_FOOT, "m", ".2f"),
    "depth": (METRES_PER_FOOT, "m", ".3f"),
    "ponded_depth": (METRES_PER_FOOT, "m", ".3f"),
    "spread_allow": (METRES_PER_FOOT, "m", ".2f"),
    "gutter_velocity": (METRES_PER_FOOT, "m/s", ".2f"),
}


def to_si(result: AnalysisResult) -> AnalysisResult:
    """A copy of an analysis result in SI units (the argument is left as it is).

    Parameters
    ----------
    result : the dictionary `rillway.analyze_project` (or `analyze_rwn`, `analyze_file`)
        returns, in ft, ft/ft, acres, min, in/hr, cfs and ft/s.

    Returns
    -------
    The same keys with lengths and elevations in [m], C*A in [ha], intensity in [mm/h],
    flows in [m³/s] and velocities in [m/s]; None stays None. Street inlets, where the
    result has them, alike (spread, depths in [m], flows in [m³/s]).

    Examples
    --------
    A 1.5 ft (18 in) pipe at 1 % slope, n = 0.013, carries 10.504 cfs full (Manning,
    Q = 1.486/n A R^(2/3) S^(1/2) with A = 1.7671 ft², R = 0.375 ft), which is 0.29745 m³/s
    (1 ft³ = 0.0283168 m³).
    """
    converted = copy.deepcopy(result)
    for row in (*converted["pipes"], *converted["nodes"], *converted.get("inlets", [])):
        for key, (factor, _unit, _fmt) in SI_UNITS.items():
            value = row.get(key)
            if isinstance(value, float):
                row[key] = value * factor  # type: ignore[literal-required]
    return converted
