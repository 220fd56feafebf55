"""Input documents: reading `.rwproj` and `.rwn` files, analysing them, and the plan and
elevation data (the layout) that a profile needs beside the analysis result.

The module reads both formats; the layout is the network as the analysis sees it
(`rillway.read_project`, `rillway.read_rwn`), so values are in feet whatever the document's
unit system, like the analysis result.
"""
from __future__ import annotations

import json
import sys
from collections.abc import Mapping
from dataclasses import dataclass
from functools import cached_property
from pathlib import Path
from typing import Any, Literal

import rillway

from .results import AnalysisResult, DesignResult, NetworkView

__all__ = ["Document", "DocumentError", "Layout", "NodeLayout", "PipeLayout", "analyze",
           "analyze_any", "demo_document", "design", "is_si", "layout_of", "network_of", "read_document"]

Format = Literal["rwproj", "rwn"]


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
    `.rwn`. Text is decoded as by every reader of the package (`formats.files.decode`)."""
    from .formats.files import decode, read_bytes

    if path == "-":
        return Document("<stdin>", "rwn", decode("<stdin>", sys.stdin.buffer.read(),
                                                 "a .rwn network"))
    suffix = Path(path).suffix.lower()
    if suffix not in (".rwproj", ".rwn"):
        raise DocumentError(path, "unknown file type (expected .rwproj or .rwn)")
    what = "a project document" if suffix == ".rwproj" else "a .rwn network"
    return Document(path, "rwproj" if suffix == ".rwproj" else "rwn",
                    decode(path, read_bytes(path), what))


def demo_document() -> Document:
    return Document("demo", "rwproj", rillway.demo_project_json())


def analyze(document: Document) -> AnalysisResult:
    """Analyses the document; a document the module rejects raises `DocumentError` with the
    module's message."""
    try:
        if document.format == "rwn":
            return rillway.analyze_rwn(document.text)
        return rillway.analyze_project(document.text)
    except ValueError as error:
        raise DocumentError(document.source, str(error)) from None


def design(document: Document) -> tuple[Document, DesignResult]:
    """Designs the document (`rillway.design_project`; a `.rwn` network becomes a project
    first) and returns the designed project as a document of the same source, and the design."""
    try:
        text = (rillway.rwn_to_project(document.text) if document.format == "rwn"
                else document.text)
        designed = rillway.design_project(text)
    except ValueError as error:
        raise DocumentError(document.source, str(error)) from None
    return Document(document.source, "rwproj", designed["project"]), designed


@dataclass(frozen=True)
class NodeLayout:
    id: str
    kind: str        # "inlet", "junction" or "outfall" (other project kinds count as inlets)
    invert: float    # ft
    rim: float       # ft
    diameter: float  # structure diameter, ft
    x: float         # plan coordinates, ft
    y: float


@dataclass(frozen=True)
class PipeLayout:
    id: str
    source: str       # upstream node id
    target: str       # downstream node id
    length: float     # ft
    rise: float       # vertical size: the diameter of a round pipe, ft
    invert_up: float  # ft, the pipe's own or its upstream node's
    invert_dn: float  # ft


@dataclass(frozen=True)
class Layout:
    """Nodes and pipes in document order, which is also the order of the analysis result."""

    nodes: tuple[NodeLayout, ...]
    pipes: tuple[PipeLayout, ...]

    def node(self, node_id: str) -> int:
        """Index of the node with this id."""
        index = self._index.get(node_id)
        if index is None:
            raise ValueError(f"no node '{node_id}' in the network")
        return index

    @cached_property
    def _index(self) -> dict[str, int]:
        # The first node of an id, as a search from the start would find it.
        index: dict[str, int] = {}
        for position, node in enumerate(self.nodes):
            index.setdefault(node.id, position)
        return index

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


def network_of(document: Document | Mapping[str, Any] | str) -> NetworkView:
    """The network as the analysis sees it (`rillway.read_project`, `rillway.read_rwn`) of a
    `Document`, a project as parsed JSON, or the text of a project (beginning with "{") or of
    a `.rwn` network. A document the module cannot read raises its `ValueError`."""
    if isinstance(document, Document):
        return (rillway.read_rwn(document.text) if document.format == "rwn"
                else rillway.read_project(document.text))
    if isinstance(document, str):
        return (rillway.read_project(document) if document.lstrip().startswith("{")
                else rillway.read_rwn(document))
    return rillway.read_project(json.dumps(document))


def analyze_any(document: Document | Mapping[str, Any] | str) -> AnalysisResult:
    """The analysis of a document in any of the forms `network_of` takes."""
    if isinstance(document, Document):
        return analyze(document)
    if isinstance(document, str):
        return (rillway.analyze_project(document) if document.lstrip().startswith("{")
                else rillway.analyze_rwn(document))
    return rillway.analyze_project(json.dumps(document))


def is_si(document: Document | Mapping[str, Any] | str) -> bool:
    """Whether the document is an SI project (`"units": "si"`), which is shown in SI units."""
    if isinstance(document, Mapping):
        return document.get("units") == "si"
    text = document.text if isinstance(document, Document) else document
    if not text.lstrip().startswith("{"):
        return False  # .rwn networks are in US customary units
    try:
        parsed = json.loads(text)
    except ValueError:
        return False  # the analysis reports what is wrong with the text
    return isinstance(parsed, dict) and parsed.get("units") == "si"


def layout_of(document: Document | Mapping[str, Any] | str) -> Layout:
    """The layout of a document in any of the forms `network_of` takes."""
    network = network_of(document)
    return Layout(
        tuple(NodeLayout(n["id"], n["kind"], n["invert"], n["rim"], n["diameter_ft"], n["x"],
                         n["y"])
              for n in network["nodes"]),
        tuple(PipeLayout(p["id"], p["from"], p["to"], p["length"], p["rise"], p["invert_up"],
                         p["invert_dn"]) for p in network["pipes"]))
