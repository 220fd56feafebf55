"""The bridge to the engine: every writer takes the network as the analysis sees it, and every
reader builds a project document that the engine then checks.

The analysis view (`rillway.read_project`) is in feet, acres and minutes whatever the
document's units, with catchments folded into their nodes and both inverts of every pipe
resolved. Readers of foreign formats fill what those formats do not carry (the rainfall curve,
minimum inlet time, structure loss) from the caller's `defaults`, else from the built-in demo
project, so an imported network can be analysed at once.
"""
from __future__ import annotations

import json
import math
import warnings
from collections.abc import Mapping
from functools import cache
from typing import Any

import rillway

from ..results import AnalysisResult
from .errors import FormatError
from .si import FEET_PER_METRE, MILLIMETRES_PER_INCH

__all__ = ["SETTING_KEYS", "analysis_view", "analyze_document", "is_si", "new_document",
           "scale_of"]

# The project keys that describe the design basis rather than the network: what a foreign
# format may lack and `defaults` may supply.
SETTING_KEYS = ("idf_a", "idf_b", "idf_c", "tailwater", "min_tc", "junction_k",
                "bend_loss_coeff", "hec22_structure_loss", "access_hole_diam_ft",
                "design_return_period_years", "p2_rainfall_in", "min_slope", "idf_curves")


def document_json(document: Mapping[str, Any], source: str) -> str:
    try:
        return json.dumps(document, allow_nan=False, ensure_ascii=False)
    except (TypeError, ValueError) as error:
        raise FormatError(source, f"not a project document: {error}") from None


def analysis_view(document: Mapping[str, Any], source: str) -> dict[str, Any]:
    """The network as the analysis sees it (ft, acres, minutes); an invalid document raises
    FormatError with the engine's message."""
    try:
        return dict(rillway.read_project(document_json(document, source)))
    except ValueError as error:
        raise FormatError(source, str(error)) from None


def analyze_document(document: Mapping[str, Any], source: str) -> AnalysisResult:
    try:
        return rillway.analyze_project(document_json(document, source))
    except ValueError as error:
        raise FormatError(source, str(error)) from None


def is_si(document: Mapping[str, Any]) -> bool:
    return document.get("units") == "si"


def scale_of(si: bool) -> float:
    """Feet per document length unit."""
    return FEET_PER_METRE if si else 1.0


@cache
def _demo_settings() -> dict[str, Any]:
    demo = json.loads(rillway.demo_project_json())
    settings = {key: demo[key] for key in SETTING_KEYS if key in demo}
    settings["tailwater"] = None
    return settings


def new_document(name: str, nodes: list[dict[str, Any]], pipes: list[dict[str, Any]], *,
                 si: bool, settings: Mapping[str, Any] | None = None,
                 defaults: Mapping[str, Any] | None = None,
                 extra: Mapping[str, Any] | None = None,
                 source: str | None = None) -> dict[str, Any]:
    """A project document in the engine's key order. Design settings come from `settings`
    (what the file carried), then `defaults` (the caller's), then the demo project; the demo's
    rainfall coefficient `a` is in in/hr and is converted for an SI document. `extra` keys
    (such as "crs") follow the project keys; the engine ignores them. With `source` (the
    file's name), the engine checks the document (a `FormatError` names what is wrong) and
    each design setting that neither the file nor the caller gave is said in a
    `rillway.InputWarning` ("assumed: ...")."""
    base = dict(_demo_settings())
    if si:
        base["idf_a"] = base["idf_a"] * MILLIMETRES_PER_INCH
        base["access_hole_diam_ft"] = base["access_hole_diam_ft"] / FEET_PER_METRE
    given = {**(defaults or {}), **(settings or {})}
    base.update(given)
    document: dict[str, Any] = {"name": name}
    for key in SETTING_KEYS:
        if key != "idf_curves" and base.get(key) is not None:
            document[key] = base[key]
    document["nodes"] = nodes
    document["pipes"] = pipes
    document["catchments"] = []
    document["idf_curves"] = list(base.get("idf_curves") or [])
    document["units"] = "si" if si else "us_customary"
    document.update(extra or {})
    if source is not None:
        analysis_view(document, source)  # what is wrong with the file is said first
        for line in assumptions(base, given, si):
            warnings.warn(f"{source}: assumed: {line}", rillway.InputWarning, stacklevel=3)
    return document


def assumptions(settings: Mapping[str, Any], given: Mapping[str, Any], si: bool) -> list[str]:
    """One line per design setting that was taken from the built-in defaults: the rainfall
    curve, the smallest time of concentration and the structure loss, in the document's
    units."""
    lines = []
    curve = [key for key in ("idf_a", "idf_b", "idf_c") if key not in given]
    if curve and not given.get("idf_curves"):
        why = ("no rainfall curve in the file" if len(curve) == 3
               else ", ".join(key[-1] for key in curve) + " built in")
        unit = "mm/h" if si else "in/hr"
        lines.append(f"IDF i = {settings['idf_a']:g}/(tc + {settings['idf_b']:g})^"
                     f"{settings['idf_c']:g} {unit} ({why})")
    if "min_tc" not in given:
        lines.append(f"smallest time of concentration {settings['min_tc']:g} min")
    if "junction_k" not in given:
        lines.append(f"structure loss coefficient K = {settings['junction_k']:g}")
    return lines


def warn_direction(document: Mapping[str, Any], source: str) -> None:
    """Says where a drawing's direction may not be the flow's: pipes that climb from their
    upper to their lower structure, and an outfall that stands above a structure draining to
    it. CAD programs draw pipes in whatever direction they were picked."""
    try:
        view = rillway.read_project(document_json(document, source))
    except ValueError:
        return  # the engine names what is wrong when the document is analysed
    climbing = [p["id"] for p in view["pipes"] if p["invert_dn"] > p["invert_up"]]
    if climbing:
        shown = ", ".join(f"'{i}'" for i in climbing[:10])
        more = f" and {len(climbing) - 10} more" if len(climbing) > 10 else ""
        warnings.warn(f"{source}: pipe{'s' if len(climbing) > 1 else ''} {shown}{more} "
                      "climb from the upper structure to the lower (adverse; drawn against "
                      "the flow?)", rillway.InputWarning, stacklevel=3)
    nodes = {n["id"]: n for n in view["nodes"]}
    into: dict[str, list[str]] = {}
    for pipe in view["pipes"]:
        into.setdefault(pipe["to"], []).append(pipe["from"])
    for node in view["nodes"]:
        if node["kind"] != "outfall":
            continue
        lower = []
        stack, seen = list(into.get(node["id"], [])), set()
        while stack:
            upper = stack.pop()
            if upper in seen:
                continue
            seen.add(upper)
            if nodes[upper]["invert"] < node["invert"]:
                lower.append(upper)
            stack.extend(into.get(upper, []))
        if lower:
            warnings.warn(f"{source}: outfall '{node['id']}' stands above "
                          + ", ".join(f"'{i}'" for i in sorted(lower)[:10])
                          + " that drain to it (is the outfall at the other end?)",
                          rillway.InputWarning, stacklevel=3)


def finite(value: Any, what: str, source: str) -> float:
    """A number read from a file, refused when it is not finite."""
    try:
        number = float(value)
    except (TypeError, ValueError):
        raise FormatError(source, f"{what}: '{value}' is not a number") from None
    if not math.isfinite(number):
        raise FormatError(source, f"{what}: '{value}' is not a finite number")
    return number


def design_settings(view: Mapping[str, Any], document: Mapping[str, Any]
                    ) -> dict[str, float | bool]:
    """The design basis in force, as project keys in the document's units, for formats that
    carry it beside the network: the rainfall curve the analysis uses (a resolved IDF table
    entry), the loss and slope settings, the tailwater when there is one."""
    settings = view["settings"]
    si = is_si(document)
    length = 1.0 / scale_of(si)
    values: dict[str, float | bool] = {
        "idf_a": settings["idf_a"] * (MILLIMETRES_PER_INCH if si else 1.0),
        "idf_b": settings["idf_b"], "idf_c": settings["idf_c"], "min_tc": settings["min_tc"],
        "junction_k": settings["junction_k"], "bend_loss_coeff": settings["bend_loss_coeff"],
        "hec22_structure_loss": settings["hec22_structure_loss"],
        "access_hole_diam_ft": settings["access_hole_diameter"] * length,
        "min_slope": settings["min_slope"]}
    if settings["tailwater"] is not None:
        values["tailwater"] = settings["tailwater"] * length
    for key in ("design_return_period_years", "p2_rainfall_in"):
        if isinstance(document.get(key), (int, float)) and not isinstance(document[key], bool):
            values[key] = document[key]
    return values


def converted(value: float, factor: float) -> float:
    """A value of the analysis (ft, acres) in the document's units. A converted value is
    rounded to 12 significant digits, so that what a document said in metres or hectares
    reads back as it was written (1.15 ha, not 1.1499989833500541)."""
    return value if factor == 1.0 else float(f"{value * factor:.12g}")


def number_text(value: float) -> str:
    """The shortest text that reads back as the same double (files carry full precision)."""
    return "0" if value == 0.0 else repr(float(value))


def setting_text(value: float | bool) -> str:
    """A setting as written into a file: true/false, or the number."""
    if isinstance(value, bool):
        return "true" if value else "false"
    return number_text(value)


def parse_setting(key: str, text: str, what: str, source: str) -> float | bool | None:
    """A setting read back from a file; None for a key that is not a design setting."""
    if key not in SETTING_KEYS or key == "idf_curves":
        return None
    if key == "hec22_structure_loss":
        return text.strip().lower() == "true"
    return finite(text, what, source)
