"""Types of the dictionaries that the `rillway` module returns.

They exist at run time, so they can be used in annotations without a `TYPE_CHECKING` guard;
the type stubs of `rillway` name them as the return types of its functions. The keys are
listed in the order in which the module inserts them. Units: ft, ft/ft, acres, minutes,
in/hr, cfs and ft/s.
"""
from typing import TypedDict

__all__ = ["AnalysisResult", "CircularGeometry", "DesignResult", "DesignedPipe", "NodeResult",
           "PipeResult"]

# Functional form, because one of the keys ("from") is a Python keyword.
PipeResult = TypedDict("PipeResult", {
    "id": str,
    "from": str,                    # upstream node id
    "to": str,                      # downstream node id
    "slope": float,                 # geometric slope from the end inverts, ft/ft
    "total_ca": float,              # accumulated C*A at the upstream node, acres
    "tc": float,                    # time of concentration at the upstream node, min
    "travel_time": float,           # time of flow through the pipe, min
    "intensity": float,             # rainfall intensity for tc, in/hr
    "design_q": float,              # Q = C*A * i, cfs
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


class AnalysisResult(TypedDict):
    """What `analyze_project`, `analyze_file` and `analyze_rwn` return."""

    name: str
    pipes: list[PipeResult]
    nodes: list[NodeResult]


class CircularGeometry(TypedDict):
    """What `circular_geometry` returns: the wetted section at a depth (ft, ft²)."""

    area: float
    wetted_perimeter: float
    hydraulic_radius: float
    top_width: float


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


class DesignResult(TypedDict):
    """What `design_project` returns."""

    project: str               # the designed project document, .rwproj JSON
    result: AnalysisResult     # analyze_project(project)
    pipes: list[DesignedPipe]  # input order
    unmet: list[str]           # one line per rule that fails; empty when all hold
