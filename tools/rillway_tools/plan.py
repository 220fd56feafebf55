"""The network in plan: structures where their x/y put them, pipes as lines whose width grows
with their size and whose colour shows a result (how full they run, by default), surcharged
pipes and flooding structures marked and named.

Drawn with matplotlib, the optional `plot` extra, like the profile.
"""
from __future__ import annotations

import math
from collections.abc import Mapping, Sequence
from typing import TYPE_CHECKING, Any, Literal

from .documents import Document, analyze_any, is_si, layout_of
from .formats.si import FEET_PER_METRE, SI_UNITS, to_si
from .results import AnalysisResult
from .tables import NODE_COLUMNS, PIPE_COLUMNS, Column

if TYPE_CHECKING:
    from matplotlib.axes import Axes
    from matplotlib.colors import Colormap, Normalize

__all__ = ["LABEL_LIMIT", "PLAN_PIPES", "plan_size", "plot_plan"]

MISSING_MATPLOTLIB = "the plan view needs matplotlib: pip install 'rillway[plot]'"

PLAN_PIPES = "plan-pipes"  # id of the pipes' group in an SVG picture
# Past this many pipes the ids would be a grey blur: "auto" draws none.
LABEL_LIMIT = 300
LABEL_FONT = 7.0          # pt
PIPE_COLOUR = "#4d4d4d"   # pipes when the colour shows a structure result
NO_VALUE = "#bdbdbd"      # a pipe or structure whose result has no value (an adverse pipe)
SURCHARGED = "#1a1a1a"    # the casing drawn around a surcharged pipe
FLOOD = "#d62728"
# Safe (green) to the limit (amber, in the middle of the scale) to beyond it (dark red).
LIMIT_COLOURS = [(0.0, "#1a9641"), (0.3, "#a6d96a"), (0.5, "#f0a800"), (0.7, "#e34a33"),
                 (1.0, "#99000d")]
MARKERS = {"inlet": ("s", "inlet"), "junction": ("o", "junction"), "outfall": ("v", "outfall")}
NAMED_AT_MOST = 6         # the legend names this many marked pipes or structures, else counts

# Line width of a pipe in points: 1 pt plus 2 pt per foot of rise, within these bounds.
MIN_WIDTH, MAX_WIDTH = 1.0, 8.0

Labels = Literal["auto"] | bool


def plot_plan(document: Document | Mapping[str, Any] | str,
              result: AnalysisResult | None = None, *, ax: Axes | None = None,
              color_by: str = "pct_full", labels: Labels = "auto") -> Axes:
    """Draws the network in plan and returns the Axes.

    Parameters
    ----------
    document : the network: a `Document`, a project as parsed JSON, or project or `.rwn` text.
    result : what the analysis returned for it; None analyses the document.
    ax : the Axes to draw on; None draws on a new figure.
    color_by : a numeric pipe result key (`pct_full`, `velocity`, `design_q`, ...) colours
        the pipes, a structure result key (`freeboard`, `hgl`, ...) the structures; the
        colour bar names the quantity and its unit. `pct_full` runs from green through amber
        at 1.0 (just full) to red at 2.0 and beyond; `freeboard` from red below 0 (flooding)
        through amber to green.
    labels : "auto" draws the ids that do not overlap, none past `LABEL_LIMIT` pipes; True
        draws those that do not overlap at any size, False none.

    Coordinates are the structures' x/y in the document's units (ft, or m for an SI
    project), with equal axes; results are shown in the same unit system. A surcharged pipe
    is cased in black and a flooding structure ringed in red, and the legend names them.
    """
    try:
        from matplotlib.collections import LineCollection
        from matplotlib.lines import Line2D
    except ImportError as error:
        raise ImportError(MISSING_MATPLOTLIB, name="matplotlib") from error
    layout = layout_of(document)
    if result is None:
        result = analyze_any(document)
    if len(layout.pipes) != len(result["pipes"]) or len(layout.nodes) != len(result["nodes"]):
        raise ValueError("the result does not belong to this document")
    si = is_si(document)
    shown = to_si(result) if si else result
    unit = "m" if si else "ft"
    to_unit = 1.0 / FEET_PER_METRE if si else 1.0
    pipe_rows: Sequence[Mapping[str, Any]] = shown["pipes"]
    node_rows: Sequence[Mapping[str, Any]] = shown["nodes"]
    on_pipes = _numeric(pipe_rows, color_by)
    if not on_pipes and not _numeric(node_rows, color_by):
        raise ValueError(f"cannot colour by '{color_by}': not a numeric result key (pipes: "
                         f"{', '.join(_numeric_keys(pipe_rows))}; structures: "
                         f"{', '.join(_numeric_keys(node_rows))})")
    if ax is None:
        import matplotlib.pyplot as plt

        _, ax = plt.subplots(figsize=(10, 7), layout="constrained")

    where = {node.id: (node.x * to_unit, node.y * to_unit) for node in layout.nodes}
    segments = [(where[pipe.source], where[pipe.target]) for pipe in layout.pipes]
    widths = [min(MAX_WIDTH, max(MIN_WIDTH, 1.0 + 2.0 * pipe.rise)) for pipe in layout.pipes]
    rows = pipe_rows if on_pipes else node_rows
    values = [_value(row[color_by]) for row in rows]
    cmap, norm = _scale(color_by, values)

    surcharged = [index for index, row in enumerate(pipe_rows) if row["surcharged"]]
    handles: list[Any] = []
    if surcharged:
        ax.add_collection(LineCollection(
            [segments[i] for i in surcharged], colors=SURCHARGED, zorder=1.5,
            linewidths=[widths[i] + 4.0 for i in surcharged], capstyle="round"))
        handles.append(Line2D([], [], color=SURCHARGED, linewidth=5, label=_named(
            "surcharged", [layout.pipes[i].id for i in surcharged], "pipe")))
    pipes = LineCollection(segments, linewidths=widths, zorder=2, capstyle="round")
    pipes.set_gid(PLAN_PIPES)  # an SVG group of one path per pipe, in the pipes' order
    if on_pipes:
        pipes.set_array(values)
        pipes.set_cmap(cmap)
        pipes.set_norm(norm)
    else:
        pipes.set_color(PIPE_COLOUR)
    ax.add_collection(pipes)

    many = len(layout.nodes) > LABEL_LIMIT
    size = 12.0 if many else 45.0
    for kind, (marker, name) in MARKERS.items():
        chosen = [i for i, node in enumerate(layout.nodes) if node.kind == kind
                  or (kind == "inlet" and node.kind not in MARKERS)]
        if not chosen:
            continue
        style: dict[str, Any] = ({"facecolors": "white"} if on_pipes else {
            "c": [values[i] for i in chosen], "cmap": cmap, "norm": norm,
            "plotnonfinite": True})
        points = ax.scatter([where[layout.nodes[i].id][0] for i in chosen],
                            [where[layout.nodes[i].id][1] for i in chosen], s=size,
                            marker=marker, edgecolors="#262626", linewidths=0.8, zorder=3,
                            label=name, **style)
        handles.append(points)
    flooding = [i for i, row in enumerate(node_rows) if row["floods"]]
    if flooding:
        handles.append(ax.scatter(
            [where[layout.nodes[i].id][0] for i in flooding],
            [where[layout.nodes[i].id][1] for i in flooding], s=size * 5, marker="o",
            facecolors="none", edgecolors=FLOOD, linewidths=2.0, zorder=4,
            label=_named("floods", [layout.nodes[i].id for i in flooding], "structure")))

    ax.set_aspect("equal", adjustable="datalim")
    ax.autoscale_view()
    ax.margins(0.06)
    draw_labels = labels is True or (labels == "auto" and len(layout.pipes) <= LABEL_LIMIT)
    if draw_labels:
        _place_labels(ax, layout, where)

    from matplotlib.cm import ScalarMappable

    mappable = ScalarMappable(norm=norm, cmap=cmap)
    column = _column(color_by, on_pipes, si)
    ax.figure.colorbar(mappable, ax=ax, shrink=0.8, extend=_extend(norm, values),
                       label=f"{'pipe' if on_pipes else 'structure'} {column}")
    ax.legend(handles=handles, fontsize=8, loc="best", framealpha=0.9)
    ax.set_xlabel(f"x ({unit})")
    ax.set_ylabel(f"y ({unit})")
    ax.set_title(f"{result['name']}: plan" if result["name"] else "Plan")
    ax.grid(True, alpha=0.25)
    return ax


def plan_size(document: Document | Mapping[str, Any] | str,
              width: float = 11.0) -> tuple[float, float]:
    """A figure size (in) that fits the network's extent at `width`, between a quarter and
    four fifths as tall as wide, room for the title and axis labels included."""
    layout = layout_of(document)
    xs = [node.x for node in layout.nodes] or [0.0]
    ys = [node.y for node in layout.nodes] or [0.0]
    across, up = max(xs) - min(xs), max(ys) - min(ys)
    ratio = up / across if across > 0 else 1.0
    plot = width - 2.5  # the colour bar and the y labels
    return width, min(0.8 * width, max(0.4 * width, plot * ratio + 1.6))


def _value(value: Any) -> float:
    return math.nan if value is None else float(value)


def _is_number(value: Any) -> bool:
    return value is None or (isinstance(value, (int, float)) and not isinstance(value, bool))


def _numeric(rows: Sequence[Mapping[str, Any]], key: str) -> bool:
    return bool(rows) and key in rows[0] and all(_is_number(row[key]) for row in rows)


def _numeric_keys(rows: Sequence[Mapping[str, Any]]) -> list[str]:
    return [key for key in (rows[0] if rows else {}) if _numeric(rows, key)]


def _scale(key: str, values: list[float]) -> tuple[Colormap, Normalize]:
    from matplotlib import colormaps
    from matplotlib.colors import LinearSegmentedColormap, Normalize, TwoSlopeNorm

    finite = [v for v in values if math.isfinite(v)] or [0.0]
    low, high = min(finite), max(finite)
    if key in ("pct_full", "freeboard"):
        # Amber where the line is at its limit (just full; the grade line at the rim), green
        # on the safe side, red beyond: a pale middle would vanish on white paper.
        limit = LinearSegmentedColormap.from_list("rillway_limit", LIMIT_COLOURS)
        if key == "pct_full":
            return limit.with_extremes(bad=NO_VALUE), Normalize(vmin=0.0, vmax=2.0)
        span = max(abs(low), abs(high), 1e-9)
        return (limit.reversed().with_extremes(bad=NO_VALUE),
                TwoSlopeNorm(vcenter=0.0, vmin=min(low, -span), vmax=max(high, span)))
    return colormaps["viridis"].with_extremes(bad=NO_VALUE), Normalize(
        vmin=low, vmax=high if high > low else low + 1.0)


def _extend(norm: Normalize, values: list[float]) -> Literal["neither", "both", "min", "max"]:
    finite = [v for v in values if math.isfinite(v)]
    below = bool(finite) and norm.vmin is not None and min(finite) < norm.vmin
    above = bool(finite) and norm.vmax is not None and max(finite) > norm.vmax
    return "both" if below and above else "min" if below else "max" if above else "neither"


def _column(key: str, on_pipes: bool, si: bool) -> str:
    columns: Sequence[Column] = PIPE_COLUMNS if on_pipes else NODE_COLUMNS
    column = next((c for c in columns if c.key == key), Column(key, key, "", ""))
    unit = SI_UNITS[key][1] if si and key in SI_UNITS else column.unit
    return f"{column.heading} ({unit})" if unit not in ("", "-") else column.heading


def _named(what: str, ids: list[str], noun: str) -> str:
    if len(ids) <= NAMED_AT_MOST:
        return f"{what}: {', '.join(ids)}"
    return f"{what}: {len(ids)} {noun}s"


def _place_labels(ax: Axes, layout: Any, where: Mapping[str, tuple[float, float]]) -> None:
    """Structure ids beside their markers, then pipe ids at the pipes' middles, each drawn
    only where its box (estimated from the font size) overlaps none drawn before."""
    ax.apply_aspect()
    transform = ax.transData
    dpi = ax.figure.dpi
    char, line = 0.6 * LABEL_FONT * dpi / 72.0, 1.25 * LABEL_FONT * dpi / 72.0
    offset = 3.0 * dpi / 72.0
    bounds = ax.get_window_extent()
    taken: list[tuple[float, float, float, float]] = []

    def place(text: str, x: float, y: float, centred: bool, **style: Any) -> None:
        px, py = transform.transform((x, y))
        width = char * len(text)
        box = ((px - width / 2, py - line / 2, px + width / 2, py + line / 2) if centred
               else (px + offset, py + offset, px + offset + width, py + offset + line))
        if (box[0] < bounds.x0 or box[2] > bounds.x1 or box[1] < bounds.y0
                or box[3] > bounds.y1):
            return
        if any(box[0] < b[2] and b[0] < box[2] and box[1] < b[3] and b[1] < box[3]
               for b in taken):
            return
        taken.append(box)
        if centred:
            ax.annotate(text, (x, y), ha="center", va="center", fontsize=LABEL_FONT,
                        zorder=5, **style)
        else:
            ax.annotate(text, (x, y), xytext=(3, 3), textcoords="offset points", ha="left",
                        va="bottom", fontsize=LABEL_FONT, zorder=5, **style)

    for node in layout.nodes:
        place(node.id, *where[node.id], centred=False, fontweight="bold")
    for pipe in layout.pipes:
        (x0, y0), (x1, y1) = where[pipe.source], where[pipe.target]
        place(pipe.id, (x0 + x1) / 2, (y0 + y1) / 2, centred=True, style="italic",
              bbox={"boxstyle": "round,pad=0.15", "facecolor": "white", "edgecolor": "none",
                    "alpha": 0.8})
