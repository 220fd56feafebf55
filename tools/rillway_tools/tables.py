"""The pipe and node tables of an analysis result, as aligned text, CSV, JSON or Markdown.

Text and Markdown are for people: headings with units, rounded numbers, and surcharged pipes
and flooding nodes marked. CSV and JSON are for programs: the result's own keys as column
names and every number at full precision, so that they read back into the same values.
"""
from __future__ import annotations

import csv
import io
import json
import math
from collections.abc import Mapping, Sequence
from dataclasses import dataclass
from typing import Any, Literal

from .results import AnalysisResult

__all__ = ["Column", "INLET_COLUMNS", "NODE_COLUMNS", "PIPE_COLUMNS", "render"]

TableFormat = Literal["table", "csv", "json", "markdown"]
Which = Literal["both", "pipes", "nodes", "inlets"]
Units = Literal["us", "si"]


@dataclass(frozen=True)
class Column:
    key: str      # key in the result dictionary
    heading: str
    unit: str     # "" for texts and flags, "-" for a ratio
    fmt: str     # format of a number; "" for texts and flags


PIPE_COLUMNS = (
    Column("id", "pipe", "", ""),
    Column("from", "from", "", ""),
    Column("to", "to", "", ""),
    Column("slope", "slope", "ft/ft", ".4f"),
    Column("total_ca", "C*A", "ac", ".3f"),
    Column("tc", "tc", "min", ".2f"),
    Column("travel_time", "travel", "min", ".2f"),
    Column("intensity", "i", "in/hr", ".3f"),
    Column("design_q", "Q", "cfs", ".2f"),
    Column("capacity", "Q full", "cfs", ".2f"),
    Column("pct_full", "Q/Q full", "-", ".2f"),
    Column("velocity", "V", "ft/s", ".2f"),
    Column("normal_depth", "yn", "ft", ".3f"),
    Column("critical_depth", "yc", "ft", ".3f"),
    Column("hgl_up", "HGL up", "ft", ".2f"),
    Column("hgl_dn", "HGL down", "ft", ".2f"),
    Column("surcharged", "surcharged", "", ""),
)

NODE_COLUMNS = (
    Column("id", "node", "", ""),
    Column("tc", "tc", "min", ".2f"),
    Column("rim", "rim", "ft", ".2f"),
    Column("hgl", "HGL", "ft", ".2f"),
    Column("freeboard", "freeboard", "ft", ".2f"),
    Column("floods", "floods", "", ""),
)

# The street inlets, which a project with inlets of a type has; a sag inlet's ponded depth
# and regime stand empty ("-") on the rows of inlets on grade.
INLET_COLUMNS = (
    Column("id", "inlet", "", ""),
    Column("type", "type", "", ""),
    Column("sag", "sag", "", ""),
    Column("q_own", "Q own", "cfs", ".2f"),
    Column("q_carryover", "carry-over", "cfs", ".2f"),
    Column("q_approach", "Q", "cfs", ".2f"),
    Column("spread", "spread", "ft", ".2f"),
    Column("depth", "depth", "ft", ".3f"),
    Column("gutter_velocity", "V", "ft/s", ".2f"),
    Column("efficiency", "E", "-", ".3f"),
    Column("q_intercepted", "Q caught", "cfs", ".2f"),
    Column("q_bypass", "bypass", "cfs", ".2f"),
    Column("bypass_to", "to", "", ""),
    Column("ponded_depth", "ponded", "ft", ".3f"),
    Column("regime", "regime", "", ""),
    Column("spread_allow", "allowed", "ft", ".2f"),
    Column("spread_exceeded", "exceeded", "", ""),
)

# The energy grade line, which a result of the FHWA energy method carries beside the grade line.
ENERGY_COLUMNS = {
    "hgl_dn": (Column("egl_up", "EGL up", "ft", ".2f"), Column("egl_dn", "EGL down", "ft", ".2f")),
    "hgl": (Column("egl", "EGL", "ft", ".2f"),),
}

MARK = "!"  # first column of a surcharged pipe or a flooding node
PIPE_NOTE = "! surcharged: the design flow exceeds what the pipe can carry"
NODE_NOTE = "! floods: the grade line stands above the rim"
INLET_NOTE = "! exceeded: the spread is wider than allowed"
NOTES = {"surcharged": PIPE_NOTE, "floods": NODE_NOTE, "spread_exceeded": INLET_NOTE}
RED, RESET = "\x1b[1;31m", "\x1b[0m"


def render(result: AnalysisResult, fmt: TableFormat = "table", which: Which = "both",
           color: bool = False, units: Units = "us") -> str:
    """The tables of `result` in the chosen format, ending with a newline. `color` (text format
    only) prints the marked rows in bold red. `units="si"` heads the columns with SI units,
    for a result that `rillway_tools.to_si` converted. A result with street inlets gets the
    Inlets table after the other two (with both of them, or alone with `which="inlets"`)."""
    pipe_columns = _with_energy(PIPE_COLUMNS, result["pipes"])
    node_columns = _with_energy(NODE_COLUMNS, result["nodes"])
    inlet_columns: tuple[Column, ...] = INLET_COLUMNS
    if units == "si":
        pipe_columns, node_columns = _si_columns(pipe_columns), _si_columns(node_columns)
        inlet_columns = _si_columns(inlet_columns)
    pipes = which in ("both", "pipes")
    nodes = which in ("both", "nodes")
    inlets = which in ("both", "inlets") and "inlets" in result
    if fmt == "json":
        return _json(result, pipes, nodes, inlets)
    parts = []
    if fmt == "table" and result["name"]:
        parts.append(result["name"] + "\n")
    if pipes:
        parts.append(_render_one(result["pipes"], pipe_columns, "surcharged", "Pipes", fmt, color))
    if nodes:
        parts.append(_render_one(result["nodes"], node_columns, "floods", "Nodes", fmt, color))
    if inlets:
        parts.append(_render_one(result.get("inlets", []), inlet_columns, "spread_exceeded",
                                 "Inlets", fmt, color))
    return "\n".join(parts)


def _with_energy(columns: Sequence[Column],
                 rows: Sequence[Mapping[str, Any]]) -> tuple[Column, ...]:
    """The columns, with the energy grade line after the grade line when the rows carry it."""
    if not rows or not any(c.key in rows[0] for extra in ENERGY_COLUMNS.values() for c in extra):
        return tuple(columns)
    out: list[Column] = []
    for column in columns:
        out.append(column)
        out.extend(ENERGY_COLUMNS.get(column.key, ()))
    return tuple(out)


def _si_columns(columns: Sequence[Column]) -> tuple[Column, ...]:
    from .formats.si import SI_UNITS

    return tuple(Column(c.key, c.heading, *SI_UNITS[c.key][1:]) if c.key in SI_UNITS
                 else c for c in columns)


def _render_one(rows: Sequence[Mapping[str, Any]], columns: Sequence[Column], flag: str,
                caption: str, fmt: TableFormat, color: bool) -> str:
    if fmt == "csv":
        return _csv(rows, columns)
    if fmt == "markdown":
        return _markdown(rows, columns, flag, caption)
    return _text(rows, columns, flag, caption, color)


def _cell(value: Any, fmt: str) -> str:
    if value is None:
        return "-"
    if isinstance(value, bool):
        return "yes" if value else "no"
    if isinstance(value, float):
        return format(value, fmt)
    return str(value)


def _text(rows: Sequence[Mapping[str, Any]], columns: Sequence[Column], flag: str,
          caption: str, color: bool, note: str | None = None) -> str:
    heading = [column.heading for column in columns]
    units = [column.unit if column.unit != "-" else "" for column in columns]
    body = [[_cell(row.get(c.key), c.fmt) for c in columns] for row in rows]
    widths = [max(len(line[i]) for line in [heading, units, *body]) for i in range(len(columns))]

    def join(mark: str, cells: Sequence[str]) -> str:
        # Texts are left-aligned, numbers right-aligned; the mark column leads.
        aligned = [cell.ljust(width) if column.fmt == "" else cell.rjust(width)
                   for cell, width, column in zip(cells, widths, columns)]
        return (mark + " " + "  ".join(aligned)).rstrip()

    lines = [caption, join(" ", heading), join(" ", units),
             join(" ", ["-" * width for width in widths])]
    marked = False
    for row, cells in zip(rows, body):
        if row[flag]:
            marked = True
            line = join(MARK, cells)
            lines.append(f"{RED}{line}{RESET}" if color else line)
        else:
            lines.append(join(" ", cells))
    if marked:
        lines.append(note or NOTES[flag])
    return "\n".join(lines) + "\n"


def _markdown(rows: Sequence[Mapping[str, Any]], columns: Sequence[Column], flag: str,
              caption: str) -> str:
    def heading(column: Column) -> str:
        return f"{column.heading} ({column.unit})" if column.unit not in ("", "-") else \
            column.heading

    lines = [f"**{caption}**", "",
             "| " + " | ".join(heading(column) for column in columns) + " |",
             "|" + "|".join("---" if column.fmt == "" else "---:" for column in columns) + "|"]
    for row in rows:
        cells = [_cell(row.get(c.key), c.fmt).replace("|", "\\|") for c in columns]
        if row[flag]:  # bold the id and the flag of a marked row
            cells[0] = f"**{cells[0]}**"
            cells[-1] = f"**{cells[-1]}**"
        lines.append("| " + " | ".join(cells) + " |")
    return "\n".join(lines) + "\n"


def _csv(rows: Sequence[Mapping[str, Any]], columns: Sequence[Column]) -> str:
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\n")
    writer.writerow([column.key for column in columns])
    for row in rows:
        values = [row.get(c.key) for c in columns]
        writer.writerow(["" if value is None else repr(value) if isinstance(value, float)
                         else value for value in values])
    return out.getvalue()


def _finite(value: Any) -> Any:
    # JSON has no NaN or infinity: such a number is written as null.
    return None if isinstance(value, float) and not math.isfinite(value) else value


def _finite_row(row: Mapping[str, Any]) -> dict[str, Any]:
    return {key: _finite(value) for key, value in row.items()}


def _json(result: AnalysisResult, pipes: bool, nodes: bool, inlets: bool) -> str:
    document: dict[str, Any] = {"name": result["name"]}
    if pipes:
        document["pipes"] = [_finite_row(row) for row in result["pipes"]]
    if nodes:
        document["nodes"] = [_finite_row(row) for row in result["nodes"]]
    if inlets:
        document["inlets"] = [_finite_row(row) for row in result.get("inlets", [])]
    return json.dumps(document, indent=2, ensure_ascii=False, allow_nan=False) + "\n"
