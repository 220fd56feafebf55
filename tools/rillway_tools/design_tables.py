"""The design table of `rillway.design_project`: per pipe its size, slope, inverts, the rule
that governed the size, and its flows, then the rules that could not be met.

As for the analysis tables, text and Markdown are for people (sizes in inches, rounded numbers,
pipes that break a rule marked) and CSV and JSON for programs (every number at full precision;
JSON carries the unmet rules too, CSV only the rows).
"""
from __future__ import annotations

import json
from typing import Any

from .formats.si import FEET_PER_METRE, SI_UNITS, US_PER_SI, _from_us
from .results import DesignResult
from .tables import Column, TableFormat, Units, _csv, _finite_row, _markdown, _text

__all__ = ["DESIGN_COLUMNS", "SI_DESIGN_COLUMNS", "design_rows", "render_design"]

DESIGN_COLUMNS = (
    Column("id", "pipe", "", ""),
    Column("size_in", "size", "in", ".0f"),
    Column("slope", "slope", "ft/ft", ".4f"),
    Column("invert_up", "invert up", "ft", ".2f"),
    Column("invert_dn", "invert down", "ft", ".2f"),
    Column("governing", "governing", "", ""),
    Column("design_q", "Q", "cfs", ".2f"),
    Column("capacity", "Q full", "cfs", ".2f"),
    Column("velocity", "V", "ft/s", ".2f"),
    Column("met", "met", "", ""),
)
# The same table of an SI project: sizes in mm, inverts in m, flows in m³/s, velocities in m/s.
SI_DESIGN_COLUMNS = tuple(
    Column("size_mm", "size", "mm", ".0f") if c.key == "size_in"
    else Column(c.key, c.heading, *SI_UNITS[c.key][1:]) if c.key in SI_UNITS
    else Column(c.key, c.heading, "m", ".3f") if c.key in ("invert_up", "invert_dn")
    else c for c in DESIGN_COLUMNS)
NOTE = "! some rule fails for this pipe (see below)"


def design_rows(design: DesignResult, units: Units = "us") -> list[dict[str, Any]]:
    """One row per pipe: the design record with the size in inches (mm in SI) and the pipe's
    flows, in US units or, with `units="si"`, in SI units."""
    rows = []
    for record, result in zip(design["pipes"], design["result"]["pipes"]):
        rows.append({"id": record["id"], "size_in": record["diameter"] * 12.0,
                     "slope": record["slope"], "invert_up": record["invert_up"],
                     "invert_dn": record["invert_dn"], "governing": record["governing"],
                     "design_q": result["design_q"], "capacity": result["capacity"],
                     "velocity": result["velocity"], "met": record["met"],
                     "unmet": not record["met"]})
        if units == "si":
            row = rows[-1]
            del row["size_in"]
            row["size_mm"] = 1000.0 * _from_us(record["diameter"], FEET_PER_METRE)
            row["invert_up"] = _from_us(record["invert_up"], FEET_PER_METRE)
            row["invert_dn"] = _from_us(record["invert_dn"], FEET_PER_METRE)
            for key in ("design_q", "capacity", "velocity"):
                row[key] = _from_us(result[key], US_PER_SI[SI_UNITS[key][1]])
    return rows


def render_design(design: DesignResult, fmt: TableFormat = "table", color: bool = False,
                  units: Units = "us") -> str:
    """The design table in the chosen format, ending with a newline; `units="si"` gives sizes
    in mm and the rest in SI units."""
    rows = design_rows(design, units)
    columns = SI_DESIGN_COLUMNS if units == "si" else DESIGN_COLUMNS
    name = design["result"]["name"]
    if fmt == "json":
        document = {"name": name,
                    "pipes": [_finite_row({k: v for k, v in row.items() if k != "unmet"})
                              for row in rows],
                    "unmet": design["unmet"]}
        return json.dumps(document, indent=2, ensure_ascii=False, allow_nan=False) + "\n"
    if fmt == "csv":
        return _csv(rows, columns)
    if fmt == "markdown":
        table = _markdown(rows, columns, "unmet", "Design")
        rules = [f"- {line}" for line in design["unmet"]] or ["- every rule holds"]
        return table + "\n**Unmet rules**\n\n" + "\n".join(rules) + "\n"
    table = _text(rows, columns, "unmet", "Design", color, NOTE)
    head = name + "\n" if name else ""
    if not design["unmet"]:
        return head + table + "\nEvery rule holds.\n"
    return head + table + "\nUnmet rules\n" + "".join(f"  {line}\n" for line in design["unmet"])
