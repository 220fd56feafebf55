# Type stubs of the `rillway` extension module. Installed as the stub-only package
# `rillway-stubs`, since a single-file module cannot carry a py.typed marker of its own.
# The result dictionaries are typed by TypedDicts that live in `rillway_tools.results`, so
# that they exist at run time too; they are imported here without being re-exported, and the
# module itself gains no names.
from collections.abc import Iterable, Mapping
from typing import Final, Literal, SupportsFloat, SupportsIndex, TypeAlias

from rillway_tools.results import (AccessHoleEnergy, AccessHoleInflow, AnalysisResult,
                                   CircularGeometry, DesignResult, GutterSpread, InletInSag,
                                   InletOnGrade, NetworkView, OpenChannel, ScenarioColumns)

# What CPython's float conversion accepts: float, int, bool, or anything with __float__ or
# __index__.
_Number: TypeAlias = SupportsFloat | SupportsIndex

__all__ = [
    "__version__",
    "K_MANNING_US",
    "K_MANNING_SI",
    "G_US",
    "G_SI",
    "FEET_PER_METRE",
    "ACRES_PER_HECTARE",
    "INCHES_PER_MILLIMETRE",
    "SQUARE_FEET_PER_ACRE",
    "InputWarning",
    "intensity",
    "rational_q",
    "manning_capacity",
    "circular_flow",
    "normal_depth",
    "critical_depth",
    "circular_geometry",
    "open_channel",
    "access_hole_energy",
    "gutter_flow",
    "gutter_spread",
    "inlet_on_grade",
    "inlet_in_sag",
    "analyze_project",
    "analyze_file",
    "analyze_rwn",
    "demo_project_json",
    "project_schema_json",
    "read_project",
    "check_project",
    "read_rwn",
    "rwn_to_project",
    "analyze_scenarios",
    "design_project",
]

__version__: Final[str]

class InputWarning(UserWarning):
    """Input that was read by a fallback rule (an unknown word taken as the default), or a
    reading the analysis takes for the user (a structure with several pipes leaving it
    sends its whole flow down each under flow_split "whole")."""

K_MANNING_US: Final = 1.486  # Manning factor, US customary units
K_MANNING_SI: Final = 1.0    # Manning factor, SI units
G_US: Final = 32.2           # ft/s²
G_SI: Final = 9.81           # m/s²
# The factors the engine reads SI projects with; rillway_tools converts with these and no others.
FEET_PER_METRE: Final = 3.280839895013123         # ft/m (1 ft = 0.3048 m)
ACRES_PER_HECTARE: Final = 2.4710516301527603     # ac/ha
INCHES_PER_MILLIMETRE: Final = 0.03937007874015748  # in/mm (1 in = 25.4 mm)
SQUARE_FEET_PER_ACRE: Final = 43560.0             # ft²/ac

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

def open_channel(
    q: _Number, n: _Number, slope: _Number, span: _Number, side_slope: _Number, rise: _Number,
    *, si: bool = False,
) -> OpenChannel:
    """Uniform flow of `q` [cfs, or m3/s when `si`] in a trapezoidal channel of bottom
    width `span` [ft], banks `side_slope` [H:V] on both sides and bank height `rise` [ft]
    (`side_slope` 0: an open rectangle; `span` 0: a triangle), Manning `n`, bed `slope`.

        A = y (B + z y),  P = B + 2 y sqrt(1 + z^2),  T = B + 2 z y
        Q(y) = (K/n) A R^(2/3) S^(1/2),  K = 1.486 (1.0 when `si`)
        critical depth: Q^2 T = g A^3

    Returns `capacity` (the bank-full flow Q(rise)), `normal_depth` (None above the
    capacity), `critical_depth`, and `velocity`, `area`, `wetted_perimeter` and
    `top_width` at normal depth (bank-full when the channel cannot carry `q`).

    Example (Chow, Open-Channel Hydraulics, 1959, Example 6.2): 400 cfs in a channel
    20 ft wide with 2:1 banks, n = 0.025, S = 0.0016 runs 3.36 ft deep.
    """

def access_hole_energy(
    e_i: _Number, q_out: _Number, d_out: _Number, v_out: _Number, *,
    supercritical: bool = False, benching: str = "flat",
    inflows: Iterable[AccessHoleInflow] = (),
) -> AccessHoleEnergy:
    """Energy level in an access hole by the FHWA energy method (HEC-22, 4th ed. 2024,
    section 9.1.6.7; 3rd ed. 2009, section 7.1.6), US customary units, g = 32.2 ft/s2.

    Every head is in ft above the outlet pipe's invert. `e_i` is the outlet pipe's
    energy head at the structure (ft), `q_out` its flow (cfs), `d_out` its diameter
    (ft), `v_out` its velocity there (ft/s); `supercritical` when it flows
    supercritical (no outlet control). `benching` is 'flat', 'depressed', 'half',
    'full' or 'improved'. `inflows` holds one dict per inflow pipe with `q` (cfs),
    `angle_deg` (between the inflow and the outlet, 180 for a straight run) and
    `invert_height` (ft above the outlet invert); surface water falling in at a
    grate is an inflow whose `invert_height` is the rim.

        E_aio = E_i + 0.2 V_o^2/2g          (outlet control; 0 if supercritical)
        DI = Q_o / (A_o sqrt(g D_o)),  E_ais = D_o DI^2,  E_aiu = 1.6 D_o DI^0.67
        E_ai = max(E_aio, E_ais, E_aiu)
        C_B: the benching table, unsubmerged below E_ai/D_o = 1, submerged above 2.5
        C_theta = 4.5 (sum Q_j / Q_o) cos(theta_w / 2) over the inflows not plunging
        C_P = sum(Q_k h_k) / Q_o, h_k = (min(z_k, 10 D_o) - E_ai) / D_o, over the
              inflows whose invert z_k is above E_ai
        H_a = max(0, (E_ai - E_i)(C_B + C_theta + C_P)),  E_a = max(E_ai + H_a, E_i)

    Returns a dict of e_ai, e_aio, e_ais, e_aiu, c_b, c_theta, c_p, h_a and e_a
    (heads in ft, coefficients dimensionless), unrounded.

    Example (HEC-22 4th ed., Example 9.2, structure 40: 3.3 cfs leaving in an
    18-inch pipe in supercritical flow with E_i 1.35 ft): DI = 0.269,
    E_aiu = 1.00 ft and E_a = E_i = 1.35 ft.
    """

def gutter_flow(
    spread: _Number, cross_slope: _Number, long_slope: _Number, n: _Number, *,
    gutter_width: _Number = 0, depression: _Number = 0, si: bool = False,
) -> float:
    """Flow in the gutter at a spread (cfs, or m3/s when `si`), FHWA HEC-22 (3rd ed.
    2009, Eqs. 4-2 and 4-4): Q = (0.56/n) S_x^1.67 S_L^0.5 T^2.67 for a plain
    triangle; the composite section of a gutter `gutter_width` wide depressed by
    `depression` (ft, or m when `si`).
    """

def gutter_spread(
    q: _Number, cross_slope: _Number, long_slope: _Number, n: _Number, *,
    gutter_width: _Number = 0, depression: _Number = 0, si: bool = False,
) -> GutterSpread:
    """The gutter carrying q: a dict of spread and depth at the curb (ft), velocity
    Q/A (ft/s) and e_o, the share of the flow within the gutter width.
    """

def inlet_on_grade(
    q: _Number, cross_slope: _Number, long_slope: _Number, n: _Number, *,
    type: str, length: _Number, grate_type: str = "p50", grate_width: _Number = 0,
    curb_length: _Number = 0, curb_height: _Number | None = None,
    throat: str = "horizontal", slot_width: _Number | None = None,
    gutter_width: _Number = 0, depression: _Number = 0, local_depression: _Number = 0,
    local_depression_width: _Number = 0, clogging: _Number | None = None,
    splash_velocity: _Number | None = None, opening_ratio: _Number | None = None,
    si: bool = False,
) -> InletOnGrade:
    """One inlet on grade (HEC-22, 3rd ed. 2009, section 4.4): what it intercepts of
    the gutter flow q. Returns q_approach, spread, depth, gutter_velocity,
    efficiency, q_intercepted and q_bypass.
    """

def inlet_in_sag(
    q: _Number, cross_slope: _Number, *,
    type: str, length: _Number, grate_type: str = "p50", grate_width: _Number = 0,
    curb_length: _Number = 0, curb_height: _Number | None = None,
    throat: str = "horizontal", slot_width: _Number | None = None,
    gutter_width: _Number = 0, depression: _Number = 0, local_depression: _Number = 0,
    local_depression_width: _Number = 0, clogging: _Number | None = None,
    splash_velocity: _Number | None = None, opening_ratio: _Number | None = None,
    si: bool = False,
) -> InletInSag:
    """One inlet in a sag (HEC-22, 3rd ed. 2009, section 4.5), taking all of q: the
    ponded depth its weir or orifice needs, the depth at the curb and the spread
    there, and the regime ('weir', 'transition' or 'orifice').
    """

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

def project_schema_json() -> str:
    """The project document's schema as JSON: for each record ("project", "node",
    "pipe", "catchment", "idf_curve", "design", ...) its keys in document
    order, each `{"key", "required", "default", "unit"}`. The default is the
    value an absent key takes (null for a required key); the unit is "length" (ft,
    or m in an SI project), "area" (acres or ha), "rainfall" (the IDF a: in/hr or
    mm/h), "feet" (ft in both systems), "flow" (cfs or m³/s) or "none"."""

def read_project(project_json: str) -> NetworkView:
    """The network of a `.rwproj` project exactly as the analysis sees it.

    Returns `{"name", "settings", "nodes", "pipes"}` in document order, every
    value in the analysis units (ft, acres, minutes, in/hr): SI converted,
    catchments folded into their nodes, the IDF curve of the design period, and
    each pipe's end inverts resolved from its nodes where it has none of its own.
    Raises ValueError as `analyze_project` does for a document it cannot read
    and for pipe ends that name no node.
    """

def check_project(project_json: str) -> None:
    """Reads a `.rwproj` project as `read_project` does and returns None.

    Warns and raises exactly as `read_project`, without building the network's
    records: a reader's check of a big document costs no copy of it.
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
    tailwater [the document's length unit: ft, or m in an SI project] and name, any of them
    absent or None.

    The document is read once. Returns `{"name", "pipes", "nodes", "errors"}`: the
    pipe and node ids once, and each result as one flat memoryview of float64 (or bool),
    scenario-major: entry `s * len(ids) + i`. A failed scenario has its message in
    `errors[s]` (else None) and NaN values.
    """

def design_project(project_json: str) -> DesignResult:
    """Size the round pipes from a catalog and lay every invert (HEC-22 4th ed., ch. 9).

    Returns `{"project": str, "result": dict, "pipes": [...], "unmet": [...]}`:
    the designed `.rwproj` JSON, its analysis, one record per pipe (`id`, `diameter`
    [ft], `invert_up`, `invert_dn` [ft], `slope` [ft/ft], `governing`, `met`) and one
    line per rule that could not be met.
    """
