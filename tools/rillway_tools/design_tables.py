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

__all__ = ["DESIGN_COLUMNS", "INLET_DESIGN_COLUMNS", "SI_DESIGN_COLUMNS", "design_rows",
           "inlet_design_rows", "render_design"]

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


def _in_si(columns: tuple[Column, ...], own: dict[str, Column]) -> tuple[Column, ...]:
    """A table's columns in an SI project: those given in `own`, the result keys in their SI
    units, the rest as they are."""
    return tuple(own[c.key] if c.key in own
                 else Column(c.key, c.heading, *SI_UNITS[c.key][1:]) if c.key in SI_UNITS
                 else c for c in columns)


# The same table of an SI project: sizes in mm, inverts in m, flows in m³/s, velocities in m/s.
SI_DESIGN_COLUMNS = _in_si(DESIGN_COLUMNS, {
    "size_in": Column("size_mm", "size", "mm", ".0f"),
    "invert_up": Column("invert_up", "invert up", "m", ".3f"),
    "invert_dn": Column("invert_dn", "invert down", "m", ".3f")})
NOTE = "! some rule fails for this pipe (see below)"
# The street inlets a design sized, with the spread each reaches (a design with inlets only).
INLET_DESIGN_COLUMNS = (
    Column("id", "inlet", "", ""),
    Column("type", "type", "", ""),
    Column("sag", "sag", "", ""),
    Column("length", "length", "ft", ".2f"),
    Column("grates", "grates", "", "d"),
    Column("governing", "governing", "", ""),
    Column("q_approach", "Q", "cfs", ".2f"),
    Column("spread", "spread", "ft", ".2f"),
    Column("spread_allow", "allowed", "ft", ".2f"),
    Column("met", "met", "", ""),
)
SI_INLET_DESIGN_COLUMNS = _in_si(INLET_DESIGN_COLUMNS,
                                 {"length": Column("length", "length", "m", ".3f")})
INLET_NOTE = "! some spread this inlet answers for is too wide (see below)"


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


def inlet_design_rows(design: DesignResult, units: Units = "us") -> list[dict[str, Any]]:
    """One row per street inlet of a design: its length, grates and governing rule with the
    approach flow and spread the analysis of the design gives it; none without inlets."""
    rows = []
    for record, result in zip(design.get("inlets", []), design["result"].get("inlets", [])):
        row: dict[str, Any] = {
            "id": record["id"], "type": result["type"], "sag": result["sag"],
            "length": record["length"], "grates": record["grates"],
            "governing": record["governing"], "q_approach": result["q_approach"],
            "spread": result["spread"], "spread_allow": result["spread_allow"],
            "met": record["met"], "unmet": not record["met"]}
        if units == "si":
            for key in ("length", "spread", "spread_allow", "q_approach"):
                factor = FEET_PER_METRE if key != "q_approach" else US_PER_SI[SI_UNITS[key][1]]
                if row[key] is not None:
                    row[key] = _from_us(row[key], factor)
        rows.append(row)
    return rows


def render_design(design: DesignResult, fmt: TableFormat = "table", color: bool = False,
                  units: Units = "us") -> str:
    """The design table in the chosen format, ending with a newline; `units="si"` gives sizes
    in mm and the rest in SI units."""
    rows = design_rows(design, units)
    columns = SI_DESIGN_COLUMNS if units == "si" else DESIGN_COLUMNS
    inlets = inlet_design_rows(design, units)
    inlet_columns = SI_INLET_DESIGN_COLUMNS if units == "si" else INLET_DESIGN_COLUMNS
    name = design["result"]["name"]
    if fmt == "json":
        document: dict[str, Any] = {
            "name": name,
            "pipes": [_finite_row({k: v for k, v in row.items() if k != "unmet"}) for row in rows]}
        if "inlets" in design:
            document["inlets"] = [_finite_row({k: v for k, v in row.items() if k != "unmet"})
                                  for row in inlets]
        document["unmet"] = design["unmet"]
        return json.dumps(document, indent=2, ensure_ascii=False, allow_nan=False) + "\n"
    if fmt == "csv":  # the inlets' rows after a blank line, as the analysis tables are
        return _csv(rows, columns) + ("\n" + _csv(inlets, inlet_columns) if inlets else "")
    if fmt == "markdown":
        table = _markdown(rows, columns, "unmet", "Design")
        if inlets:
            table += "\n" + _markdown(inlets, inlet_columns, "unmet", "Inlets")
        rules = [f"- {line}" for line in design["unmet"]] or ["- every rule holds"]
        return table + "\n**Unmet rules**\n\n" + "\n".join(rules) + "\n"
    table = _text(rows, columns, "unmet", "Design", color, NOTE)
    if inlets:
        table += "\n" + _text(inlets, inlet_columns, "unmet", "Inlets", color, INLET_NOTE)
    head = name + "\n" if name else ""
    if not design["unmet"]:
        return head + table + "\nEvery rule holds.\n"
    return head + table + "\nUnmet rules\n" + "".join(f"  {line}\n" for line in design["unmet"])
