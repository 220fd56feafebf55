"""The design table of `rillway.design_project`: per pipe its size, slope, inverts, the rule
that governed the size, and its flows, then the rules that could not be met.

As for the analysis tables, text and Markdown are for people (sizes in inches, rounded numbers,
pipes that break a rule marked) and CSV and JSON for programs (every number at full precision;
JSON carries the unmet rules too, CSV only the rows).
"""
from __future__ import annotations

import json
from typing import Any

from .results import DesignResult
from .tables import Column, TableFormat, _csv, _finite_row, _markdown, _text

__all__ = ["DESIGN_COLUMNS", "design_rows", "render_design"]

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
NOTE = "! some rule fails for this pipe (see below)"


def design_rows(design: DesignResult) -> list[dict[str, Any]]:
    """One row per pipe: the design record with the size in inches and the pipe's flows."""
    rows = []
    for record, result in zip(design["pipes"], design["result"]["pipes"]):
        rows.append({"id": record["id"], "size_in": record["diameter"] * 12.0,
                     "slope": record["slope"], "invert_up": record["invert_up"],
                     "invert_dn": record["invert_dn"], "governing": record["governing"],
                     "design_q": result["design_q"], "capacity": result["capacity"],
                     "velocity": result["velocity"], "met": record["met"],
                     "unmet": not record["met"]})
    return rows


def render_design(design: DesignResult, fmt: TableFormat = "table", color: bool = False) -> str:
    """The design table in the chosen format, ending with a newline."""
    rows = design_rows(design)
    name = design["result"]["name"]
    if fmt == "json":
        document = {"name": name,
                    "pipes": [_finite_row({k: v for k, v in row.items() if k != "unmet"})
                              for row in rows],
                    "unmet": design["unmet"]}
        return json.dumps(document, indent=2, ensure_ascii=False, allow_nan=False) + "\n"
    if fmt == "csv":
        return _csv(rows, DESIGN_COLUMNS)
    if fmt == "markdown":
        table = _markdown(rows, DESIGN_COLUMNS, "unmet", "Design")
        rules = [f"- {line}" for line in design["unmet"]] or ["- every rule holds"]
        return table + "\n**Unmet rules**\n\n" + "\n".join(rules) + "\n"
    table = _text(rows, DESIGN_COLUMNS, "unmet", "Design", color, NOTE)
    head = name + "\n" if name else ""
    if not design["unmet"]:
        return head + table + "\nEvery rule holds.\n"
    return head + table + "\nUnmet rules\n" + "".join(f"  {line}\n" for line in design["unmet"])
