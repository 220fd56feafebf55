# Type stubs of the `rillway` extension module. Installed as the stub-only package
# `rillway-stubs`, since a single-file module cannot carry a py.typed marker of its own.
# The result dictionaries are typed by TypedDicts that live in `rillway_tools.results`, so
# that they exist at run time too; they are imported here without being re-exported, and the
# module itself gains no names.
from typing import Final, SupportsFloat, SupportsIndex, TypeAlias

from rillway_tools.results import AnalysisResult, CircularGeometry, DesignResult

# What CPython's float conversion accepts: float, int, bool, or anything with __float__ or
# __index__.
_Number: TypeAlias = SupportsFloat | SupportsIndex

__all__ = [
    "__version__",
    "K_MANNING_US",
    "K_MANNING_SI",
    "G_US",
    "G_SI",
    "intensity",
    "rational_q",
    "manning_capacity",
    "circular_flow",
    "normal_depth",
    "critical_depth",
    "circular_geometry",
    "analyze_project",
    "analyze_file",
    "analyze_rwn",
    "demo_project_json",
    "design_project",
]

__version__: Final[str]
K_MANNING_US: Final = 1.486  # Manning factor, US customary units
K_MANNING_SI: Final = 1.0    # Manning factor, SI units
G_US: Final = 32.2           # ft/s²
G_SI: Final = 9.81           # m/s²

def intensity(a: _Number, b: _Number, c: _Number, t_min: _Number) -> float:
    """Rainfall intensity from a three-parameter IDF curve: `i = a / (t + b)^c`.

    Returns in/hr when the coefficients are US customary.
    """

def rational_q(c: _Number, i: _Number, area: _Number) -> float:
    """Rational method peak flow: `Q = C * i * A`.

    With `c` dimensionless, `i` in in/hr and `area` in acres, `Q` is in cfs —
    the customary near-unity conversion is implicit, as in hand practice.
    """

def manning_capacity(diameter: _Number, n: _Number, slope: _Number, *, si: bool = False) -> float:
    """Just-full Manning capacity of a circular pipe (cfs, or m3/s when `si`)."""

def circular_flow(
    diameter: _Number, n: _Number, slope: _Number, depth: _Number, *, si: bool = False
) -> float:
    """Flow in a circular pipe at a given depth (cfs, or m3/s when `si`)."""

def normal_depth(
    q: _Number, diameter: _Number, n: _Number, slope: _Number, *, si: bool = False
) -> float | None:
    """Normal depth for a target flow, or `None` if the pipe cannot pass it."""

def critical_depth(q: _Number, diameter: _Number, *, si: bool = False) -> float:
    """Critical depth for a flow in a circular pipe."""

def circular_geometry(diameter: _Number, depth: _Number) -> CircularGeometry:
    """Flow area, wetted perimeter, hydraulic radius, and top width at a depth."""

def analyze_project(project_json: str) -> AnalysisResult:
    """Analyze a project given as `.rwproj` JSON text.

    Returns `{"name": str, "pipes": [...], "nodes": [...]}`, ready for
    `pandas.DataFrame(result["pipes"])`.
    """

def analyze_file(path: str) -> AnalysisResult:
    """Analyze a project file on disk (`.rwproj`)."""

def analyze_rwn(text: str) -> AnalysisResult:
    """Analyze a network in the plain-text `.rwn` format."""

def demo_project_json() -> str:
    """The built-in demo project as `.rwproj` JSON — a runnable starting point."""

def design_project(project_json: str) -> DesignResult:
    """Size the round pipes from a catalog and lay every invert (HEC-22 4th ed., ch. 9).

    `project_json` is `.rwproj` text; its optional `"design"` object holds the rules
    (`sizes_in` [in], `min_diameter_in` [in], `min_velocity_fps` [ft/s, full flow],
    `max_velocity_fps` [ft/s, design flow], `min_cover_ft` [ft], `max_pct_full` [-],
    `match` ("crowns" or "inverts"), `min_drop_ft` [ft], `freeboard_ft` [ft]) and a pipe
    with `"lock": true` keeps its size and inverts.

    Returns `{"project": str, "result": dict, "pipes": [...], "unmet": [...]}`: the designed
    document (sizes in `diameter`, both inverts of every pipe), its analysis, one record per
    pipe (`id`, `diameter` [ft], `invert_up`, `invert_dn` [ft], `slope` [ft/ft],
    `governing`, `met`) and one line per rule that could not be met.

    Example (HEC-22 Example 9.1): Q = 17.6 cfs, n = 0.013 on a 0.015 slope needs
    D = (Q n / (0.463 S^0.5))^(3/8) = 1.69 ft, so a 21-in pipe, governed by "capacity".
    """
