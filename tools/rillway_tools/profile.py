"""The storm-sewer profile along a flow path: ground (rim) line, pipe inverts and crowns, the
hydraulic grade line (and the energy grade line where the analysis has one), the structures, and where the line surcharges or floods.

`profile_of` gathers the numbers (no plotting library needed); `plot_profile` draws them with
matplotlib, the optional `plot` extra.
"""
from __future__ import annotations

import math
from collections.abc import Mapping
from dataclasses import dataclass, fields, replace
from typing import TYPE_CHECKING, Any, cast

from .documents import Document, Layout, layout_of
from .formats.si import METRES_PER_FOOT
from .results import AnalysisResult
from .tables import Units

if TYPE_CHECKING:
    from matplotlib.axes import Axes

__all__ = ["Profile", "Reach", "Structure", "plot_profile", "profile_of"]

MISSING_MATPLOTLIB = "the profile plot needs matplotlib: pip install 'rillway[plot]'"

# Colours of the drawing.
GROUND = "#8c6d31"
PIPE_FACE, PIPE_EDGE = "#d9d9d9", "#404040"
SURCHARGED_FACE = "#f4a6a6"
HGL = "#1f77b4"
EGL = "#2ca02c"
STRUCTURE_FACE = "#f0f0f0"
FLOOD = "#d62728"
# Past this many structures the ids would overlap: only the ends and flooding ones are named.
LABEL_LIMIT = 40
MIN_STRUCTURE_SHARE = 0.006  # a structure is drawn at least this share of the profile wide


@dataclass(frozen=True)
class Structure:
    """A node on the path, at its station (ft from the start, along the pipes)."""

    id: str
    kind: str
    station: float
    invert: float
    rim: float
    hgl: float
    floods: bool
    diameter: float


@dataclass(frozen=True)
class Reach:
    """A pipe on the path, from station `start` to station `end` (ft)."""

    id: str
    start: float
    end: float
    invert_up: float
    invert_dn: float
    rise: float
    hgl_up: float   # the upstream node's grade line where the pipe has none (adverse pipe)
    hgl_dn: float
    surcharged: bool
    # The energy grade line at both ends under the FHWA energy method, else None; the upstream
    # node's where an adverse pipe has none.
    egl_up: float | None = None
    egl_dn: float | None = None

    @property
    def crown_up(self) -> float:
        return self.invert_up + self.rise

    @property
    def crown_dn(self) -> float:
        return self.invert_dn + self.rise


@dataclass(frozen=True)
class Profile:
    name: str
    structures: tuple[Structure, ...]  # from the start node down to the end of the line
    reaches: tuple[Reach, ...]         # reaches[i] joins structures[i] and structures[i + 1]


def profile_of(document: Document | Mapping[str, Any] | str, result: AnalysisResult,
               start: str) -> Profile:
    """The profile from node `start` down to its outfall. `document` is the analysed input (a
    `Document`, a project as parsed JSON, or project or `.rwn` text) and `result` what the
    analysis returned for it. At every node the path follows the node's first pipe in document
    order."""
    layout = layout_of(document)
    if len(layout.pipes) != len(result["pipes"]) or len(layout.nodes) != len(result["nodes"]):
        raise ValueError("the result does not belong to this document")
    path = layout.flow_path(start)
    first = layout.node(start)
    structures = [_structure(layout, result, first, 0.0)]
    reaches = []
    station = 0.0
    for index in path:
        pipe, row = layout.pipes[index], result["pipes"][index]
        up = layout.node(pipe.source)
        down = layout.node(pipe.target)
        end = station + pipe.length
        energy: dict[str, float | None] = {}
        cells = cast("Mapping[str, Any]", row)  # EnergyPipeResult under the energy method
        if "egl_up" in cells:
            node_cells = cast("Mapping[str, Any]", result["nodes"][up])
            energy = {"egl_up": node_cells["egl"] if cells["egl_up"] is None else cells["egl_up"],
                      "egl_dn": cells["egl_dn"]}
        reaches.append(Reach(
            id=pipe.id, start=station, end=end,
            invert_up=pipe.invert_up, invert_dn=pipe.invert_dn,
            rise=pipe.rise,
            hgl_up=result["nodes"][up]["hgl"] if row["hgl_up"] is None else row["hgl_up"],
            hgl_dn=result["nodes"][down]["hgl"] if row["hgl_dn"] is None else row["hgl_dn"],
            surcharged=row["surcharged"], **energy))
        structures.append(_structure(layout, result, down, end))
        station = end
    return Profile(result["name"], tuple(structures), tuple(reaches))


def _in_metres(profile: Profile) -> Profile:
    """The profile with every station, elevation and size in metres."""
    def scaled(item: Any) -> Any:
        return replace(item, **{f.name: getattr(item, f.name) * METRES_PER_FOOT
                                for f in fields(item)
                                if isinstance(getattr(item, f.name), float)})
    return Profile(profile.name, tuple(scaled(s) for s in profile.structures),
                   tuple(scaled(r) for r in profile.reaches))


def _structure(layout: Layout, result: AnalysisResult, index: int, station: float) -> Structure:
    node, row = layout.nodes[index], result["nodes"][index]
    return Structure(node.id, node.kind, station, node.invert, node.rim, row["hgl"],
                     row["floods"], node.diameter)


def plot_profile(document: Document | Mapping[str, Any] | str, result: AnalysisResult,
                 start: str, *, ax: Axes | None = None, title: str | None = None,
                 units: Units = "us") -> Axes:
    """Draws the profile from node `start` down to its outfall and returns the Axes.

    With `ax=None` the profile gets a new figure; otherwise it is drawn on the given Axes.
    Stations and elevations are in feet, or in metres with `units="si"`. Each structure is named, or on a path of more than
    `LABEL_LIMIT` structures the first, the last and the flooding ones. Surcharged pipes are
    filled red and flooding structures carry a red marker at their grade line. A result of the
    FHWA energy method (`"loss_method": "fhwa_energy"`) also gets its energy grade line,
    dashed.
    """
    try:
        from matplotlib.lines import Line2D
        from matplotlib.patches import Patch, Rectangle
    except ImportError as error:
        raise ImportError(MISSING_MATPLOTLIB, name="matplotlib") from error
    profile = profile_of(document, result, start)
    length = "m" if units == "si" else "ft"
    if units == "si":
        profile = _in_metres(profile)
    if ax is None:
        import matplotlib.pyplot as plt

        _, ax = plt.subplots(figsize=(10, 5), layout="constrained")

    nan = math.nan
    for reach in profile.reaches:
        ax.fill([reach.start, reach.end, reach.end, reach.start],
                [reach.invert_up, reach.invert_dn, reach.crown_dn, reach.crown_up],
                facecolor=SURCHARGED_FACE if reach.surcharged else PIPE_FACE,
                edgecolor="none", zorder=1)
    # One line per quantity, broken (NaN) between pipes where inverts and crowns may step.
    segments_x = [x for r in profile.reaches for x in (r.start, r.end, nan)]
    lines = [
        *ax.plot(segments_x,
                 [y for r in profile.reaches for y in (r.invert_up, r.invert_dn, nan)],
                 color=PIPE_EDGE, linewidth=1.4, zorder=3, label="pipe invert"),
        *ax.plot(segments_x, [y for r in profile.reaches for y in (r.crown_up, r.crown_dn, nan)],
                 color=PIPE_EDGE, linewidth=0.9, zorder=3, label="pipe crown"),
        *ax.plot([s.station for s in profile.structures], [s.rim for s in profile.structures],
                 color=GROUND, linewidth=1.6, zorder=2, label="ground (rim)"),
        # The grade line is continuous; its steps at the structures are the structure losses.
        *ax.plot([x for r in profile.reaches for x in (r.start, r.end)],
                 [y for r in profile.reaches for y in (r.hgl_up, r.hgl_dn)],
                 color=HGL, linewidth=1.8, zorder=4, label="hydraulic grade line"),
    ]
    energy = [(r.egl_up, r.egl_dn) for r in profile.reaches
              if r.egl_up is not None and r.egl_dn is not None]
    if profile.reaches and len(energy) == len(profile.reaches):
        # Continuous like the grade line: its steps at the structures are the exit and access-hole
        # losses of the energy method.
        lines.extend(ax.plot([x for r in profile.reaches for x in (r.start, r.end)],
                             [y for pair in energy for y in pair],
                             color=EGL, linewidth=1.4, linestyle="--", zorder=4,
                             label="energy grade line"))

    total = profile.structures[-1].station
    for index, structure in enumerate(profile.structures):
        width = max(structure.diameter, MIN_STRUCTURE_SHARE * total)
        # A structure reaches down to the lowest pipe invert at it, if that lies below its own.
        inverts = [structure.invert]
        if index > 0:
            inverts.append(profile.reaches[index - 1].invert_dn)
        if index < len(profile.reaches):
            inverts.append(profile.reaches[index].invert_up)
        bottom = min(inverts)
        ax.add_patch(Rectangle((structure.station - width / 2, bottom), width,
                               structure.rim - bottom, facecolor=STRUCTURE_FACE,
                               edgecolor=PIPE_EDGE, linewidth=0.8, zorder=2.5))
        top = max(structure.rim, structure.hgl)
        named = (len(profile.structures) <= LABEL_LIMIT or structure.floods
                 or index in (0, len(profile.structures) - 1))
        if named:
            label = structure.id + ("\n(outfall)" if structure.kind == "outfall" else "")
            ax.annotate(label, (structure.station, top), xytext=(0, 6),
                        textcoords="offset points", ha="center", va="bottom", fontsize=8)
        if structure.floods:
            ax.plot([structure.station, structure.station], [structure.rim, structure.hgl],
                    color=FLOOD, linewidth=3, zorder=5)
            ax.plot([structure.station], [structure.hgl], marker="v", markersize=9,
                    color=FLOOD, zorder=6)
            ax.annotate(f"floods {structure.hgl - structure.rim:.2f} {length}",
                        (structure.station, structure.hgl), xytext=(8, -4),
                        textcoords="offset points", fontsize=8, color=FLOOD)

    handles: list[Any] = [
        Patch(facecolor=PIPE_FACE, edgecolor=PIPE_EDGE, label="pipe"), *lines]
    if any(reach.surcharged for reach in profile.reaches):
        handles.append(Patch(facecolor=SURCHARGED_FACE, edgecolor=PIPE_EDGE,
                             label="surcharged pipe"))
    if any(structure.floods for structure in profile.structures):
        handles.append(Line2D([], [], color=FLOOD, marker="v", linewidth=3,
                              label="flooding structure"))
    # The best place costs a search over every vertex; a long profile falls to the right, which
    # leaves its lower left empty.
    ax.legend(handles=handles, fontsize=8,
              loc="best" if len(profile.structures) <= LABEL_LIMIT else "lower left")
    ax.set_xlabel(f"Station ({length})")
    ax.set_ylabel(f"Elevation ({length})")
    if title is None:
        name = f"{profile.name}: " if profile.name else ""
        title = f"{name}profile {profile.structures[0].id} to {profile.structures[-1].id}"
    ax.set_title(title)
    ax.grid(True, alpha=0.3)
    ax.margins(x=0.03, y=0.12)
    return ax
