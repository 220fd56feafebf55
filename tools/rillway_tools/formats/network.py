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
           "record_extras", "refuse_uncarried", "scale_of", "schema"]


@cache
def schema() -> dict[str, tuple[dict[str, Any], ...]]:
    """The engine's project schema: for each record ("project", "node", "pipe", ...) its keys
    in document order, each with "required", "default" and "unit"."""
    tables: dict[str, list[dict[str, Any]]] = json.loads(rillway.project_schema_json())
    return {record: tuple(fields) for record, fields in tables.items()}


def keys_of(record: str) -> tuple[str, ...]:
    return tuple(field["key"] for field in schema()[record])


def defaults_of(record: str) -> dict[str, Any]:
    defaults = {field["key"]: field["default"] for field in schema()[record]}
    if record == "node":  # absent, a structure is the standard one
        defaults["diameter_ft"] = STANDARD_STRUCTURE_FT
    return defaults


# The project keys that are the network itself; every other project key is a design setting:
# what a foreign format carries beside the network, and what `defaults` may supply.
NETWORK_KEYS = ("name", "nodes", "pipes", "catchments", "units")
SETTING_KEYS = tuple(key for key in keys_of("project") if key not in NETWORK_KEYS)


# The structure diameter a node gets without one, in either unit system: 4 ft.
STANDARD_STRUCTURE_FT = 4.0


def plain_name(value: str, what: str, source: str) -> str:
    """A name or id for a format that cannot carry a line break or control character inside
    one (it would start a line of its own): refused, naming it."""
    if any(ord(c) < 32 or ord(c) == 127 or c in "\u2028\u2029\x85" for c in value):
        raise FormatError(source, f"{what} {json.dumps(value)} holds a line break or control "
                                  "character, which this format cannot carry")
    return value


def refuse_impossible(document: Mapping[str, Any], source: str) -> None:
    """Refuses what no drainage network holds and the engine would still turn into numbers
    (EPA SWMM refuses each): a length, roughness or size of 0 or less, a negative drained area
    or runoff coefficient, a pipe leaving an outfall. Readers call it, naming the record."""
    kinds = {node.get("id"): node.get("kind") for node in document["nodes"]}
    for node in document["nodes"]:
        for key in ("area_ac", "c"):
            if isinstance(node.get(key), (int, float)) and node[key] < 0:
                raise FormatError(source, f"node '{node.get('id')}': {key} {node[key]:g} is "
                                          "negative")
    for pipe in document["pipes"]:
        for key in ("length", "diameter", "n", "rise_ft", "span_ft"):
            value = pipe.get(key)
            if isinstance(value, (int, float)) and not value > 0 and \
                    (key not in ("rise_ft", "span_ft") or pipe.get("shape") != "circular"):
                raise FormatError(source, f"pipe '{pipe.get('id')}': {key} {value:g} must be "
                                          "above 0")
        if kinds.get(pipe.get("from")) == "outfall":
            raise FormatError(source, f"pipe '{pipe.get('id')}' leaves outfall "
                                      f"'{pipe.get('from')}'")


def refuse_settings(document: Mapping[str, Any], carried: tuple[str, ...], what: str,
                    source: str) -> None:
    """Refuses a document with a design setting set away from its default that the format
    `what` cannot carry (`carried` lists those it can)."""
    for key in design_settings(document):
        if key not in carried:
            raise FormatError(source, f"the project sets '{key}': {what} cannot carry it; "
                                      "keep this network as .rwproj")


def record_extras(record: str, values: Mapping[str, Any], native: tuple[str, ...]
                  ) -> dict[str, Any]:
    """The keys of a node or pipe (`record`) that a format has no field of its own for
    (`native` are those it has), where the value differs from the schema's default."""
    defaults = defaults_of(record)
    return {key: values[key] for key in keys_of(record)
            if key not in native and key in values and values[key] != defaults[key]}


def refuse_uncarried(document: Mapping[str, Any], carried: Mapping[str, tuple[str, ...]],
                     what: str, source: str) -> None:
    """Refuses a document with a node or pipe key set away from its default that the format
    `what` cannot carry (`carried` lists, per record, the keys it can)."""
    for record, plural in (("node", "nodes"), ("pipe", "pipes")):
        for item in document.get(plural) or ():
            for key in record_extras(record, item, carried[record]):
                raise FormatError(source, (
                    f"{record} '{item.get('id')}' sets '{key}': {what} cannot carry it; keep "
                    "this network as .rwproj"))


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


def check_document(document: Mapping[str, Any], source: str) -> None:
    """Refuses, as `analysis_view` does, a document the analysis cannot read, without
    building its view."""
    try:
        rillway.check_project(document_json(document, source))
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
    network = {"name": name, "nodes": nodes, "pipes": pipes, "catchments": [],
               "units": "si" if si else "us_customary"}
    document: dict[str, Any] = {}
    for key in keys_of("project"):
        if key in network:
            document[key] = network[key]
        elif base.get(key) is not None:
            document[key] = base[key]
    document.update(extra or {})
    if source is not None:
        check_document(document, source)  # what is wrong with the file is said first
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
    it. CAD programs draw pipes in whatever direction they were picked. Read from the document
    itself (a pipe end without an invert of its own lies at its structure's, as the analysis
    takes it), so that a big network is not copied into a view for it."""
    nodes = {node.get("id"): node for node in document.get("nodes") or ()
             if isinstance(node, Mapping)}

    def level(value: Any) -> float | None:
        return float(value) if isinstance(value, (int, float)) and \
            not isinstance(value, bool) else None

    def end(pipe: Mapping[str, Any], key: str, side: str) -> float | None:
        own = level(pipe.get(key))
        node = nodes.get(pipe.get(side))
        return own if own is not None else level(node.get("invert")) if node else None

    pipes = [pipe for pipe in document.get("pipes") or () if isinstance(pipe, Mapping)]
    climbing = []
    for pipe in pipes:
        up, down = end(pipe, "invert_up", "from"), end(pipe, "invert_dn", "to")
        if up is not None and down is not None and down > up:
            climbing.append(pipe.get("id"))
    if climbing:
        shown = ", ".join(f"'{i}'" for i in climbing[:10])
        more = f" and {len(climbing) - 10} more" if len(climbing) > 10 else ""
        warnings.warn(f"{source}: pipe{'s' if len(climbing) > 1 else ''} {shown}{more} "
                      "climb from the upper structure to the lower (adverse; drawn against "
                      "the flow?)", rillway.InputWarning, stacklevel=3)
    into: dict[Any, list[Any]] = {}
    for pipe in pipes:
        into.setdefault(pipe.get("to"), []).append(pipe.get("from"))
    for node_id, node in nodes.items():
        bottom = level(node.get("invert"))
        if node.get("kind") != "outfall" or bottom is None:
            continue
        lower = []
        stack, seen = list(into.get(node_id, [])), set()
        while stack:
            upper = stack.pop()
            if upper in seen or upper not in nodes:
                continue
            seen.add(upper)
            invert = level(nodes[upper].get("invert"))
            if invert is not None and invert < bottom:
                lower.append(upper)
            stack.extend(into.get(upper, []))
        if lower:
            warnings.warn(f"{source}: outfall '{node_id}' stands above "
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


def design_settings(document: Mapping[str, Any]) -> dict[str, Any]:
    """The design settings of a document that a format carries beside the network: every
    setting key that is required or differs from its default, in the document's units."""
    defaults = defaults_of("project")
    values = {}
    for key in SETTING_KEYS:
        value = document.get(key, defaults[key])
        if value is not None and value != defaults[key]:
            values[key] = value
    return values


def converted(value: float, factor: float) -> float:
    """A value of the analysis (ft, acres) in the document's units. A converted value is
    rounded to 12 significant digits, so that what a document said in metres or hectares
    reads back as it was written (1.15 ha, not 1.1499989833500541)."""
    return value if factor == 1.0 else float(f"{value * factor:.12g}")


def number_text(value: float) -> str:
    """The shortest text that reads back as the same double (files carry full precision)."""
    return "0" if value == 0.0 else repr(float(value))


def setting_text(value: Any) -> str:
    """A setting as written into a file: its JSON, in one word (a space inside a string is
    escaped), so that a value of any type reads back as it was."""
    text = json.dumps(value, separators=(",", ":"), ensure_ascii=True, allow_nan=False)
    return text.replace(" ", "\\u0020")


def _no_constant(word: str) -> Any:
    raise ValueError(f"{word} is not a finite number")


def parse_value(text: str) -> Any:
    """A value as `setting_text` writes it; ValueError for anything else (NaN included)."""
    return json.loads(text, parse_constant=_no_constant)


def parse_setting(key: str, text: str, what: str, source: str) -> Any:
    """A setting read back from a file (JSON, as `setting_text` writes it); None for a key
    that is not a design setting."""
    if key not in SETTING_KEYS:
        return None
    try:
        return parse_value(text)
    except ValueError:
        raise FormatError(source, f"{what}: '{text}' is not a value") from None
