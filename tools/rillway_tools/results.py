"""Types of the dictionaries that the `rillway` module returns.

They exist at run time, so they can be used in annotations without a `TYPE_CHECKING` guard;
the type stubs of `rillway` name them as the return types of its functions. The keys are
listed in the order in which the module inserts them. Units: ft, ft/ft, acres, minutes,
in/hr, cfs and ft/s.
"""
from typing import NotRequired, TypedDict

__all__ = ["AccessHoleEnergy", "AccessHoleInflow", "AnalysisResult", "CircularGeometry",
           "DesignResult", "DesignedInlet", "DesignedPipe", "EnergyNodeResult",
           "EnergyPipeResult", "GutterSpread", "InletInSag", "InletOnGrade", "InletResult",
           "NetworkInlet", "NetworkNode", "NetworkPipe", "NetworkSettings", "NetworkView",
           "NodeResult", "OpenChannel", "PipeResult", "RaisedPipeResult", "ScenarioColumns"]

# Functional form, because one of the keys ("from") is a Python keyword.
PipeResult = TypedDict("PipeResult", {
    "id": str,
    "from": str,                    # upstream node id
    "to": str,                      # downstream node id
    "slope": float,                 # geometric slope from the end inverts, ft/ft
    "total_ca": float,              # accumulated C*A at the upstream node (the pipe's share
                                    # under flow_split "capacity"), acres
    "tc": float,                    # time of concentration at the upstream node, min
    "travel_time": float,           # time of flow through the pipe, min
    "intensity": float,             # rainfall intensity for tc, in/hr
    "design_q": float,              # Q = C*A * i + known inflow, cfs
    "capacity": float,              # just-full Manning capacity, cfs
    "pct_full": float,              # design_q / capacity (1.0 = full-flow capacity)
    "velocity": float,              # design velocity, ft/s
    "normal_depth": float | None,   # ft; None when the pipe cannot carry design_q
    "critical_depth": float,        # ft
    "hgl_up": float | None,         # grade line at the upstream end, ft; None on an adverse pipe
    "hgl_dn": float | None,         # grade line at the downstream end, ft
    "surcharged": bool,             # design_q above the pipe's peak capacity
})

NodeResult = TypedDict("NodeResult", {
    "id": str,
    "tc": float,          # time of concentration, min
    "rim": float,         # rim elevation, ft
    "hgl": float,         # hydraulic grade line, ft
    "freeboard": float,   # rim - hgl, ft (negative when the node floods)
    "floods": bool,       # grade line above the rim (outfalls never flood)
})


# Under the FHWA energy method ("loss_method": "fhwa_energy") every record gains the energy
# grade line after the keys above; under the other methods the records are as above.
class EnergyPipeResult(PipeResult):
    egl_up: float | None  # energy grade line at the upstream end, ft; None on an adverse pipe
    egl_dn: float | None  # energy grade line at the downstream end, ft


class EnergyNodeResult(NodeResult):
    egl: float | None  # the structure's energy level (its hgl: the water in it is still), ft


# Under "min_flow_from_upstream": true every pipe record ends with the flag.
class RaisedPipeResult(PipeResult):
    flow_from_upstream: bool  # design_q raised to the largest flow entering the upper structure


class AccessHoleInflow(TypedDict):
    """One inflow of `access_hole_energy`."""

    q: float              # cfs
    angle_deg: float      # between the inflow and the outlet pipe, 180 for a straight run
    invert_height: float  # ft above the outlet invert (the rim for water falling in at a grate)


class AccessHoleEnergy(TypedDict):
    """What `access_hole_energy` returns: heads in ft above the outlet invert, coefficients."""

    e_ai: float     # initial energy level, the largest of the three controls
    e_aio: float    # outlet control (0 when the outlet flows supercritical)
    e_ais: float    # inlet control, submerged
    e_aiu: float    # inlet control, unsubmerged
    c_b: float      # benching
    c_theta: float  # angled inflow
    c_p: float      # plunging inflow
    h_a: float      # the adjustment, never negative
    e_a: float      # the final energy level


class InletResult(TypedDict):
    """One street inlet of a project (an inlet whose `type` is not "none"), in node order."""

    id: str
    type: str                        # "grate", "curb", "combination" or "slotted"
    sag: bool
    q_own: float                     # runoff of its own area at its own inlet time, cfs
    q_carryover: float               # bypass of the inlets upstream that name it, cfs
    q_approach: float                # q_own + q_carryover, cfs
    spread: float                    # ft: of the approach flow, or of the pond in a sag
    depth: float                     # at the curb, ft
    gutter_velocity: float | None    # of the approach flow, ft/s; None in a sag
    efficiency: float                # q_intercepted / q_approach (1 in a sag)
    q_intercepted: float             # cfs
    q_bypass: float                  # cfs, to bypass_to or lost
    bypass_to: str | None            # None: the bypass leaves the system
    spread_allow: float | None       # ft
    spread_exceeded: bool
    ponded_depth: NotRequired[float]  # in a sag: the head its weir or orifice needs, ft
    regime: NotRequired[str]          # in a sag: "weir", "transition" or "orifice"


class AnalysisResult(TypedDict):
    """What `analyze_project`, `analyze_file` and `analyze_rwn` return."""

    name: str
    pipes: list[PipeResult]
    nodes: list[NodeResult]
    inlets: NotRequired[list[InletResult]]  # only when the project has typed inlets


class GutterSpread(TypedDict):
    """What `gutter_spread` returns (ft and ft/s, or m and m/s when `si`)."""

    spread: float
    depth: float     # at the curb
    velocity: float  # Q/A
    e_o: float       # share of the flow within the gutter width


class InletOnGrade(TypedDict):
    """What `inlet_on_grade` returns (US customary, or SI when `si`)."""

    q_approach: float
    spread: float
    depth: float
    gutter_velocity: float
    efficiency: float
    q_intercepted: float
    q_bypass: float


class InletInSag(TypedDict):
    """What `inlet_in_sag` returns (US customary, or SI when `si`)."""

    q_approach: float
    spread: float
    depth: float
    ponded_depth: float
    regime: str
    efficiency: float
    q_intercepted: float
    q_bypass: float


class CircularGeometry(TypedDict):
    """What `circular_geometry` returns: the wetted section at a depth (ft, ft²)."""

    area: float
    wetted_perimeter: float
    hydraulic_radius: float
    top_width: float


class OpenChannel(TypedDict):
    """What `open_channel` returns: uniform flow in a trapezoidal channel."""

    normal_depth: float | None  # ft; None when the banks cannot hold the flow
    capacity: float             # bank-full Manning flow, cfs
    critical_depth: float       # ft
    velocity: float             # ft/s, at normal depth (bank-full above the capacity)
    area: float                 # ft², at the same depth
    wetted_perimeter: float     # ft
    top_width: float            # ft


class NetworkSettings(TypedDict):
    """The IDF curve in use and the design options, as the analysis applies them."""

    idf_a: float                  # i = a / (tc + b)^c, in/hr
    idf_b: float                  # min
    idf_c: float
    intensity: float | None       # in/hr for every pipe instead of the curve
    tailwater: float | None       # water surface at the outfalls, ft
    min_tc: float                 # min
    min_slope: float              # used where a pipe is flat, ft/ft
    junction_k: float             # standard structure loss coefficient
    bend_loss_coeff: float        # scale of the standard bend loss
    hec22_structure_loss: bool    # the HEC-22 structure loss instead of the standard one
    frequency_factor: float       # multiplies every C (the product capped at 1)
    access_hole_diameter: float   # ft, for the HEC-22 loss
    loss_method: str              # "standard", "hec22" or "fhwa_energy"
    flow_split: str               # "whole" or "capacity"
    min_flow_from_upstream: bool  # a pipe's flow at least that entering its upper structure


class NetworkNode(TypedDict):
    id: str
    kind: str          # "inlet", "junction" or "outfall"
    x: float           # ft
    y: float           # ft
    invert: float      # ft
    rim: float         # ft
    area_ac: float     # acres, catchments folded in
    c: float           # runoff coefficient
    tc_inlet: float    # inlet time, min
    diameter_ft: float  # structure diameter, ft
    benching: str      # "flat", "depressed", "half", "full" or "improved" (energy method)
    inflow_cfs: float  # known inflow entering here, cfs


NetworkPipe = TypedDict("NetworkPipe", {
    "id": str,
    "from": str,
    "to": str,
    "length": float,     # ft
    # "circular", "box", "elliptical", "arch", or open: "trapezoid", "rect_open", "triangle"
    "shape": str,
    "rise": float,       # ft (the diameter of a round pipe, the bank height of a channel)
    "span": float,       # ft (equal to the rise for a round pipe; a channel's bottom width)
    "n": float,          # Manning roughness
    "invert_up": float,  # ft, the pipe's own or its upstream node's
    "invert_dn": float,  # ft
    "side_slope": tuple[float, float] | None,  # banks (left, right), H:V; None when closed
    "barrels": int,      # identical barrels sharing the flow
})


class NetworkInlet(TypedDict):
    """A street inlet as the analysis takes it: lengths in ft, the roadway's defaults filled in."""

    id: str
    type: str
    grate_type: str
    sag: bool
    length: float         # of a row of grates their whole length
    grates: int
    grate_width: float
    curb_length: float
    curb_height: float
    throat: str
    slot_width: float
    local_depression: float
    local_depression_width: float
    clogging: float       # fraction
    splash_velocity: float  # ft/s, a custom grate's
    opening_ratio: float  # a custom grate's
    cross_slope: float    # ft/ft
    gutter_slope: float   # ft/ft
    gutter_n: float
    gutter_width: float
    gutter_depression: float
    spread_allow: float | None
    bypass_to: str | None


class NetworkView(TypedDict):
    """What `read_project` and `read_rwn` return: the network as the analysis sees it."""

    name: str
    settings: NetworkSettings
    nodes: list[NetworkNode]
    pipes: list[NetworkPipe]
    inlets: NotRequired[list[NetworkInlet]]  # node order; only with street inlets


# What `analyze_scenarios` returns: ids once, results as flat memoryviews (format "d", or "?"
# for the flags), scenario-major, entry s * len(ids) + i; NaN where a value is absent.
PipeColumns = TypedDict("PipeColumns", {
    "id": list[str],
    "from": list[str],
    "to": list[str],
    "design_q": memoryview,     # cfs
    "pct_full": memoryview,     # design_q / capacity
    "velocity": memoryview,     # ft/s
    "hgl_up": memoryview,       # ft; NaN on an adverse pipe
    "hgl_dn": memoryview,       # ft
    "surcharged": memoryview,   # bool
})


class NodeColumns(TypedDict):
    id: list[str]
    kind: list[str]         # "inlet", "junction" or "outfall"
    hgl: memoryview         # ft
    freeboard: memoryview   # rim - hgl, ft
    floods: memoryview      # bool


class InletColumns(TypedDict):
    id: list[str]
    q_approach: memoryview       # cfs
    spread: memoryview           # ft
    q_bypass: memoryview         # cfs
    spread_exceeded: memoryview  # bool


class ScenarioColumns(TypedDict):
    """What `analyze_scenarios` returns; errors[s] is the message of a failed scenario."""

    name: str
    pipes: PipeColumns
    nodes: NodeColumns
    errors: list[str | None]
    inlets: NotRequired[InletColumns]  # only for a project with street inlets


class DesignedPipe(TypedDict):
    """One pipe of `design_project`'s result."""

    id: str
    diameter: float   # ft; the rise of a pipe that is not round
    invert_up: float  # ft
    invert_dn: float  # ft
    slope: float      # ft/ft
    governing: str    # the rule that fixed the size: "capacity", "min_size", "no_decrease",
                      # "min_velocity", "max_velocity", "cover", "grade_line" or "locked"
    met: bool         # every rule this pipe answers for holds


class DesignedInlet(TypedDict):
    """One street inlet of `design_project`'s result."""

    id: str
    length: float    # ft; of a row of grates their whole length
    grates: int      # grates end to end (1 for a curb opening or slot)
    governing: str   # "min_length", "spread", "max_length" or "locked"
    met: bool        # every spread this inlet answers for is within its allowance


class DesignResult(TypedDict):
    """What `design_project` returns."""

    project: str               # the designed project document, .rwproj JSON
    result: AnalysisResult     # analyze_project(project)
    pipes: list[DesignedPipe]  # input order
    unmet: list[str]           # one line per rule that fails; empty when all hold
    inlets: NotRequired[list[DesignedInlet]]  # node order; only with street inlets
