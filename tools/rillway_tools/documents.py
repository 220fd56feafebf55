"""Input documents: reading `.rwproj` and `.rwn` files, analysing them, and the plan and
elevation data (the layout) that a profile needs beside the analysis result.

The analysis itself is the `rillway` module's; this module only reads what the result does not
carry: node kinds and inverts, pipe lengths, sizes and end inverts. Layout values are in feet
whatever the document's unit system, like the analysis result.
"""
from __future__ import annotations

import json
import sys
from collections.abc import Mapping, Sequence
from dataclasses import dataclass
from pathlib import Path
from typing import Any, Literal

import rillway

from .results import AnalysisResult

__all__ = ["Document", "DocumentError", "Layout", "NodeLayout", "PipeLayout", "analyze",
           "demo_document", "layout_of", "read_document"]

Format = Literal["rwproj", "rwn"]

FEET_PER_METRE = 3.280839895013123  # the factor the analysis applies to SI projects

# Key order of the project records, for documents that give a record as a JSON array.
PROJECT_KEYS = ("name", "idf_a", "idf_b", "idf_c", "tailwater", "min_tc", "junction_k",
                "bend_loss_coeff", "hec22_structure_loss", "access_hole_diam_ft",
                "design_return_period_years", "p2_rainfall_in", "min_slope", "nodes", "pipes",
                "catchments", "background", "background_dxf", "idf_curves", "units", "report",
                "format_version")
NODE_KEYS = ("id", "kind", "x", "y", "invert", "rim", "area_ac", "c", "tc_inlet", "inlet",
             "bypass_to", "diameter_ft")
PIPE_KEYS = ("id", "from", "to", "length", "diameter", "n", "shape", "rise_ft", "span_ft",
             "invert_up", "invert_dn")
SHAPED = ("elliptical", "arch", "box")  # the shapes that use rise_ft and span_ft

DEFAULT_STRUCTURE_DIAMETER = 4.0  # ft, the project default of `diameter_ft`


class DocumentError(Exception):
    """A document that cannot be read or analysed; `source` names the file."""

    def __init__(self, source: str, message: str) -> None:
        super().__init__(f"{source}: {message}")
        self.source = source
        self.message = message


@dataclass(frozen=True)
class Document:
    """The text of one input document and its format."""

    source: str       # file name as given, "<stdin>" or "demo"
    format: Format
    text: str


def read_document(path: str) -> Document:
    """Reads a `.rwproj` or `.rwn` file, chosen by its extension; "-" reads standard input as
    `.rwn`. A UTF-8 byte-order mark at the start is dropped."""
    if path == "-":
        return Document("<stdin>", "rwn", _decode("<stdin>", sys.stdin.buffer.read()))
    suffix = Path(path).suffix.lower()
    if suffix not in (".rwproj", ".rwn"):
        raise DocumentError(path, "unknown file type (expected .rwproj or .rwn)")
    try:
        data = Path(path).read_bytes()
    except OSError as error:
        raise DocumentError(path, f"cannot read: {error.strerror or error}") from None
    return Document(path, "rwproj" if suffix == ".rwproj" else "rwn", _decode(path, data))


def demo_document() -> Document:
    return Document("demo", "rwproj", rillway.demo_project_json())


def _decode(source: str, data: bytes) -> str:
    try:
        return data.decode("utf-8-sig")
    except UnicodeDecodeError as error:
        raise DocumentError(
            source, f"not UTF-8 text (byte 0x{data[error.start]:02x} at offset {error.start})"
        ) from None


def analyze(document: Document) -> AnalysisResult:
    """Analyses the document; a document the module rejects raises `DocumentError` with the
    module's message."""
    try:
        if document.format == "rwn":
            return rillway.analyze_rwn(document.text)
        return rillway.analyze_project(document.text)
    except ValueError as error:
        raise DocumentError(document.source, str(error)) from None


@dataclass(frozen=True)
class NodeLayout:
    id: str
    kind: str        # "inlet", "junction" or "outfall" (other project kinds count as inlets)
    invert: float    # ft
    rim: float       # ft
    diameter: float  # structure diameter, ft


@dataclass(frozen=True)
class PipeLayout:
    id: str
    source: str       # upstream node id
    target: str       # downstream node id
    length: float     # ft
    rise: float       # vertical size: the diameter of a round pipe, ft
    invert_up: float | None  # the pipe's own inverts, ft; None takes the node's
    invert_dn: float | None


@dataclass(frozen=True)
class Layout:
    """Nodes and pipes in document order, which is also the order of the analysis result."""

    nodes: tuple[NodeLayout, ...]
    pipes: tuple[PipeLayout, ...]

    def node(self, node_id: str) -> int:
        """Index of the node with this id; a repeated id means its last node, as in the
        analysis."""
        for index in range(len(self.nodes) - 1, -1, -1):
            if self.nodes[index].id == node_id:
                return index
        raise ValueError(f"no node '{node_id}' in the network")

    def flow_path(self, start: str) -> list[int]:
        """Pipe indices from `start` down to the end of the line, following at each node its
        first pipe in document order."""
        leaving: dict[str, int] = {}
        for index, pipe in enumerate(self.pipes):
            leaving.setdefault(pipe.source, index)
        self.node(start)
        if start not in leaving:
            raise ValueError(f"no pipe leaves node '{start}'")
        path: list[int] = []
        seen = {start}
        current = start
        while current in leaving:
            pipe = self.pipes[leaving[current]]
            path.append(leaving[current])
            current = pipe.target
            self.node(current)
            if current in seen:
                raise ValueError(f"the flow path from '{start}' runs in a loop")
            seen.add(current)
        return path


def layout_of(document: Document | Mapping[str, Any] | str) -> Layout:
    """The layout of a document: a `Document`, a project as parsed JSON, or the text of a
    project (beginning with "{") or of a `.rwn` network."""
    if isinstance(document, Document):
        if document.format == "rwn":
            return _rwn_layout(document.text)
        document = document.text
    if isinstance(document, str):
        if not document.lstrip().startswith("{"):
            return _rwn_layout(document)
        document = json.loads(document)
    return _project_layout(document)


def _record(value: Any, keys: Sequence[str], what: str) -> Mapping[str, Any]:
    if isinstance(value, Mapping):
        return value
    if isinstance(value, list):  # the array form lists the values in key order
        return dict(zip(keys, value))
    raise ValueError(f"{what} is neither a JSON object nor an array")


def _number(record: Mapping[str, Any], key: str, what: str, default: float | None = None,
            scale: float = 1.0) -> float:
    value = record.get(key, default)
    if value is None:
        raise ValueError(f"{what} has no '{key}'")
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise ValueError(f"'{key}' of {what} is not a number")
    return float(value) * scale


def _optional(record: Mapping[str, Any], key: str, what: str, scale: float) -> float | None:
    return None if record.get(key) is None else _number(record, key, what, scale=scale)


def _project_layout(project: Any) -> Layout:
    project = _record(project, PROJECT_KEYS, "the project")
    scale = FEET_PER_METRE if project.get("units") == "si" else 1.0
    nodes = []
    for value in project.get("nodes", []):
        node = _record(value, NODE_KEYS, "a node")
        what = f"node '{node.get('id')}'"
        kind = node.get("kind")
        nodes.append(NodeLayout(
            id=str(node.get("id")),
            kind=kind if kind in ("junction", "outfall") else "inlet",
            invert=_number(node, "invert", what, scale=scale),
            rim=_number(node, "rim", what, scale=scale),
            diameter=_number(node, "diameter_ft", what, DEFAULT_STRUCTURE_DIAMETER, scale)))
    pipes = []
    for value in project.get("pipes", []):
        pipe = _record(value, PIPE_KEYS, "a pipe")
        what = f"pipe '{pipe.get('id')}'"
        rise = _number(pipe, "diameter", what, scale=scale)
        if (pipe.get("shape") in SHAPED and _number(pipe, "rise_ft", what, 0.0) > 0
                and _number(pipe, "span_ft", what, 0.0) > 0):
            rise = _number(pipe, "rise_ft", what, scale=scale)
        pipes.append(PipeLayout(
            id=str(pipe.get("id")), source=str(pipe.get("from")), target=str(pipe.get("to")),
            length=_number(pipe, "length", what, scale=scale), rise=rise,
            invert_up=_optional(pipe, "invert_up", what, scale),
            invert_dn=_optional(pipe, "invert_dn", what, scale)))
    return Layout(tuple(nodes), tuple(pipes))


def _rwn_layout(text: str) -> Layout:
    """Reads the NODE and PIPE lines of a `.rwn` text. The module has already checked the text
    when it was analysed; a line this reader cannot use raises ValueError naming it."""
    nodes = []
    pipes = []
    for number, line in enumerate(text.split("\n"), start=1):
        fields = line.split("#", 1)[0].split()
        if not fields:
            continue
        keyword = fields[0].upper()
        try:
            if keyword == "NODE":
                kind = fields[2].lower()
                if kind not in ("inlet", "junction", "outfall"):
                    raise ValueError
                nodes.append(NodeLayout(fields[1], kind, float(fields[5]), float(fields[6]),
                                        DEFAULT_STRUCTURE_DIAMETER))
            elif keyword == "PIPE":
                pipes.append(PipeLayout(fields[1], fields[2], fields[3], float(fields[4]),
                                        float(fields[5]), None, None))
        except (IndexError, ValueError):
            raise ValueError(f"line {number}: not a valid {keyword} line") from None
    return Layout(tuple(nodes), tuple(pipes))
