# Type stubs of the `rillway` extension module. Installed as the stub-only package
# `rillway-stubs`, since a single-file module cannot carry a py.typed marker of its own.
# The result dictionaries are typed by TypedDicts that live in `rillway_tools.results`, so
# that they exist at run time too; they are imported here without being re-exported, and the
# module itself gains no names.
from collections.abc import Iterable, Mapping
from typing import Final, Literal, SupportsFloat, SupportsIndex, TypeAlias

from rillway_tools.results import AnalysisResult, CircularGeometry, NetworkView, ScenarioColumns

# What CPython's float conversion accepts: float, int, bool, or anything with __float__ or
# __index__.
_Number: TypeAlias = SupportsFloat | SupportsIndex

__all__ = [
    "__version__",
    "K_MANNING_US",
    "K_MANNING_SI",
    "G_US",
    "G_SI",
    "InputWarning",
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
    "read_project",
    "read_rwn",
    "rwn_to_project",
    "analyze_scenarios",
]

__version__: Final[str]

class InputWarning(UserWarning):
    """Input that was read by a fallback rule (an unknown word taken as the default)."""

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

def read_project(project_json: str) -> NetworkView:
    """The network of a `.rwproj` project exactly as the analysis sees it.

    Returns `{"name", "settings", "nodes", "pipes"}` in document order, every
    value in the analysis units (ft, acres, minutes, in/hr): SI converted,
    catchments folded into their nodes, the IDF curve of the design period, and
    each pipe's end inverts resolved from its nodes where it has none of its own.
    Raises ValueError as `analyze_project` does for a document it cannot read
    and for pipe ends that name no node.
    """

def read_rwn(text: str) -> NetworkView:
    """The network of a `.rwn` text exactly as the analysis sees it.

    Returns the same shape as `read_project`; the name is empty.
    """

def rwn_to_project(text: str) -> str:
    """A `.rwn` network as an equivalent `.rwproj` project document (JSON text).

    `analyze_project(rwn_to_project(text))` equals `analyze_rwn(text)` to the bit.
    An INTENSITY override becomes the curve i = a / (tc + 0)^0. Raises ValueError
    "cannot convert .rwn: ..." for a value a document cannot hold (NaN or
    infinity, an inlet time of 0 or less).
    """

def analyze_scenarios(
    text: str, scenarios: Iterable[Mapping[str, object]], *, format: Literal["project", "rwn"] = "project"
) -> ScenarioColumns:
    """Analyze one document (`.rwproj` JSON, or `.rwn` with `format='rwn'`) under each
    scenario: a mapping of return_period [years], intensity_factor, c_factor, n_factor,
    tailwater [ft] and name, any of them absent or None.

    The document is read once. Returns `{"name", "pipes", "nodes", "errors"}`: the
    pipe and node ids once, and each result as one flat memoryview of float64 (or bool),
    scenario-major: entry `s * len(ids) + i`. A failed scenario has its message in
    `errors[s]` (else None) and NaN values.
    """
