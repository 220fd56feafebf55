"""The engine's own formats: the project document (.rwproj, JSON) and the compact text network
(.rwn). Both are read by the `rillway` module; nothing here parses them.

A `.rwn` file holds round pipes whose ends sit at their nodes' inverts and the standard
structure loss; a network that needs more (other shapes, pipe inverts of their own, bend or
HEC-22 losses) is refused rather than written with less.
"""
from __future__ import annotations

import json
import os
from collections.abc import Mapping
from typing import Any

import rillway

from ..results import AnalysisResult
from .errors import FormatError
from .files import read_text, write_text
from .network import (SETTING_KEYS, analysis_view, check_document, document_json,
                      plain_name, refuse_settings, refuse_uncarried)

__all__ = ["read_rwn", "read_rwproj", "write_rwn", "write_rwproj"]


def read_rwproj(path: str, defaults: Mapping[str, Any] | None = None) -> dict[str, Any]:
    """A project document from a `.rwproj` file, checked by the engine. `defaults` fills the
    design settings the document leaves out (in its units)."""
    text = read_text(path, "a project document")
    if defaults:
        try:
            given = json.loads(text)
        except ValueError:
            given = None  # the engine names what is wrong below
        if isinstance(given, dict):
            fill = {key: defaults[key] for key in SETTING_KEYS if key in defaults}
            text = json.dumps({**fill, **given}, ensure_ascii=False)
    try:
        rillway.read_project(text)
    except ValueError as error:
        raise FormatError(path, str(error)) from None
    document = json.loads(text)
    if not isinstance(document, dict):
        raise FormatError(path, "not a project document: the top level is not an object")
    return document


def read_rwn(path: str, defaults: Mapping[str, Any] | None = None) -> dict[str, Any]:
    if defaults:
        raise FormatError(path, "a .rwn network states its own settings (IDF, MINTC, "
                                "JUNCTIONK, TAILWATER ... lines; see their defaults in the "
                                "README): write them there, not as defaults")
    text = read_text(path, "a .rwn network")
    try:
        document: dict[str, Any] = json.loads(rillway.rwn_to_project(text))
    except ValueError as error:
        raise FormatError(path, str(error)) from None
    return document


def write_rwproj(document: Mapping[str, Any], path: str,
                 result: AnalysisResult | None = None) -> None:
    check_document(document, path)
    write_text(path, json.dumps(json.loads(document_json(document, path)), indent=2,
                                ensure_ascii=False) + "\n")


def _token(value: str, what: str, path: str) -> str:
    plain_name(value, what, path)
    if not value or any(c.isspace() for c in value) or "#" in value:
        raise FormatError(path, f"{what} '{value}' cannot be written to .rwn "
                                "(ids there are single words without '#')")
    return value


# What a .rwn file holds: the settings of its keyword lines (the rainfall curve in force is
# written whatever table it came from) and the node fields of its NODE lines.
RWN_SETTINGS = ("idf_a", "idf_b", "idf_c", "tailwater", "min_tc", "junction_k",
                "hec22_structure_loss", "min_slope", "loss_method")
RWN_KEYS = {"node": ("id", "kind", "x", "y", "invert", "rim", "area_ac", "c", "tc_inlet",
                     "benching", "inflow_cfs"),
            "pipe": ("id", "from", "to", "length", "diameter", "n", "shape", "rise_ft",
                     "span_ft", "invert_up", "invert_dn")}


def write_rwn(document: Mapping[str, Any], path: str,
              result: AnalysisResult | None = None) -> None:
    view = analysis_view(document, path)
    settings = view["settings"]
    if settings["bend_loss_coeff"] != 0.0:
        raise FormatError(path, "the project sets 'bend_loss_coeff': .rwn has no bend loss; "
                                "keep this network as .rwproj")
    benched = next((n["id"] for n in view["nodes"] if n["benching"] != "flat"), None)
    if benched is not None:
        raise FormatError(path, f"node '{benched}' sets 'benching': .rwn has none; "
                                "keep this network as .rwproj")
    refuse_uncarried(document, RWN_KEYS, ".rwn", path)
    # A .rwn network has the standard 4 ft access hole: a document that gives it is carried.
    standard = ("access_hole_diam_ft",) if settings["access_hole_diameter"] == 4.0 else ()
    refuse_settings(document, RWN_SETTINGS + standard, ".rwn", path)
    name = plain_name(view["name"], "project name", path)
    lines = [f"# {name}" if name else "# rillway network", "# Units: ft, acres, minutes, in/hr.",
             f"IDF {settings['idf_a']!r} {settings['idf_b']!r} {settings['idf_c']!r}",
             f"MINTC {settings['min_tc']!r}", f"MINSLOPE {settings['min_slope']!r}",
             f"JUNCTIONK {settings['junction_k']!r}"]
    if settings["intensity"] is not None:
        lines.append(f"INTENSITY {settings['intensity']!r}")
    if settings["tailwater"] is not None:
        lines.append(f"TAILWATER {settings['tailwater']!r}")
    if settings["loss_method"] != "standard":
        lines.append(f"LOSSMETHOD {settings['loss_method']}")
    lines.append("")
    inverts = {}
    for node in view["nodes"]:
        node_id = _token(node["id"], "node", path)
        inverts[node_id] = node["invert"]
        fields = [node_id, node["kind"], node["x"], node["y"], node["invert"], node["rim"]]
        if node["kind"] != "outfall":
            fields += [node["area_ac"], node["c"], node["tc_inlet"]]
        lines.append("NODE " + " ".join(f if isinstance(f, str) else repr(f) for f in fields))
    lines += [f"INFLOW {node['id']} {node['inflow_cfs']!r}" for node in view["nodes"]
              if node["inflow_cfs"] != 0.0]
    lines.append("")
    for pipe in view["pipes"]:
        what = f"pipe '{pipe['id']}'"
        if pipe["shape"] != "circular":
            raise FormatError(path, f"{what} is {pipe['shape']}: .rwn holds round pipes only")
        if pipe["barrels"] != 1:
            raise FormatError(path, f"{what} has {pipe['barrels']} barrels: .rwn holds single "
                                    "pipes only")
        if (pipe["invert_up"] != inverts.get(pipe["from"])
                or pipe["invert_dn"] != inverts.get(pipe["to"])):
            raise FormatError(path, f"{what} has inverts of its own: .rwn takes every pipe "
                                    "invert from its nodes")
        fields = [_token(pipe["id"], "pipe", path), pipe["from"], pipe["to"]]
        lines.append("PIPE " + " ".join(fields) + " " + " ".join(
            repr(pipe[key]) for key in ("length", "rise", "n")))
    write_text(path, "\n".join(lines) + "\n")
