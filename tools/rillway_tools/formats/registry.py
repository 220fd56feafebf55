"""Which format a file is in, by its extension, and the two entry points that use it.

Each format lives in a module of its own with a `read(path, defaults)` and a
`write(document, path, result)`; this table is the one place that maps extensions to them.
Formats that need an optional library (GIS) import it only when used.
"""
from __future__ import annotations

import importlib
import os
from collections.abc import Mapping, Sequence
from dataclasses import dataclass
from pathlib import Path
from typing import Any, Literal, Protocol

from ..documents import Document, read_document
from ..results import AnalysisResult
from .errors import FormatError
from .network import document_json, warn_direction

__all__ = ["FORMATS", "Format", "format_of", "project_text", "read_input", "read_network",
           "write_network"]


class _Reader(Protocol):
    def __call__(self, path: str, defaults: Mapping[str, Any] | None = None
                 ) -> dict[str, Any]: ...


class _Writer(Protocol):
    def __call__(self, document: Mapping[str, Any], path: str,
                 result: AnalysisResult | None = None) -> None: ...


@dataclass(frozen=True)
class Format:
    name: str
    extensions: tuple[str, ...]
    module: str   # module of this package holding the functions
    reader: str
    writer: str

    def read(self) -> _Reader:
        reader: _Reader = getattr(self._module(), self.reader)
        return reader

    def write(self) -> _Writer:
        writer: _Writer = getattr(self._module(), self.writer)
        return writer

    def _module(self) -> Any:
        return importlib.import_module(f"{__package__}.{self.module}")


FORMATS = (
    Format("rillway project", (".rwproj",), "native", "read_rwproj", "write_rwproj"),
    Format("rillway network text", (".rwn",), "native", "read_rwn", "write_rwn"),
    Format("EPA SWMM 5 input", (".inp",), "swmm", "read_inp", "write_inp"),
    Format("LandXML 1.2", (".xml", ".landxml"), "landxml", "read_landxml", "write_landxml"),
    Format("GeoPackage", (".gpkg",), "gis", "read_gis", "write_gis"),
    Format("GeoJSON", (".geojson",), "gis", "read_gis", "write_gis"),
    Format("Shapefile", (".shp",), "gis", "read_gis", "write_gis"),
)


def format_of(path: str | os.PathLike[str]) -> Format:
    """The format of a file by its extension (case ignored)."""
    suffix = Path(path).suffix.lower()
    for fmt in FORMATS:
        if suffix in fmt.extensions:
            return fmt
    known = ", ".join(ext for fmt in FORMATS for ext in fmt.extensions)
    raise FormatError(os.fspath(path),
                      f"unknown file type '{suffix or Path(path).name}' (known: {known})")


def read_network(path: str | os.PathLike[str] | Sequence[str | os.PathLike[str]], *,
                 defaults: Mapping[str, Any] | None = None,
                 network: str | None = None,
                 fields: Mapping[str, str] | None = None,
                 unsupported: Literal["refuse", "cut"] = "refuse") -> dict[str, Any]:
    """Reads a network from any supported file and returns it as a project document.

    Parameters
    ----------
    path : a `.rwproj`, `.rwn`, `.inp` (EPA SWMM 5), `.xml`/`.landxml` (LandXML 1.2),
        `.gpkg`, `.geojson` or `.shp` file, chosen by its extension; or a list of GIS files
        whose layers together hold one network (conduits, junctions, outfalls, ...).
    defaults : project keys (`idf_a`, `idf_b`, `idf_c`, `min_tc`, `junction_k`, `tailwater`,
        ...) for what the file does not carry; the demo project's values fill the rest.
        A SWMM model also takes `swmm_tc_inlet` [min], the inlet time given to every
        subcatchment without a `tc=` tag (default 10 min); a LandXML file takes `n`, the
        roughness of pipes with neither `mannings` nor a known material (0.013).
    network : the name of the pipe network to read from a LandXML file that holds several
        (default: the storm network, else the first).
    unsupported : for a SWMM model, "cut" cuts each link rillway cannot model (a pump, weir,
        orifice, outlet, a conduit of another shape): the structure above it becomes a free
        outfall and the part below goes on as a network of its own, each cut said in a
        `rillway.InputWarning`. "refuse" (default) refuses the model, naming the link.
    fields : for GIS layers, project keys and the attribute names that hold them
        (`{"invert": "INV_EL", "id": "FacilityID"}`), beside the project's own names and
        SWMM's (Name, FromNode, ToNode, Elevation, MaxDepth, Geom1, ...).

    Returns
    -------
    The project document as a dict with the `.rwproj` keys, ready for
    `rillway.analyze_project(json.dumps(document))`; in SI units (m, ha) when the file is.
    What the reader assumed (a default, a value taken from elsewhere in the file) is said in a
    `rillway.InputWarning`.

    Raises
    ------
    FormatError (a `DocumentError`) naming the file, the line, element or record, and the
    problem.
    """
    paths = ([os.fspath(path)] if isinstance(path, (str, os.PathLike))
             else [os.fspath(p) for p in path])
    if not paths:
        raise FormatError("<none>", "no file to read")
    source = paths[0]
    fmt = format_of(source)
    for other in paths[1:]:
        if format_of(other).module != "gis" or fmt.module != "gis":
            raise FormatError(other, "several files make one network only as GIS layers "
                                     "(.gpkg, .geojson, .shp)")
    if fields is not None and fmt.module != "gis":
        raise FormatError(source, f"fields= maps GIS attributes; this is {fmt.name}")
    if unsupported != "refuse":
        if fmt.module != "swmm":
            raise FormatError(source, f"unsupported= cuts links of a SWMM model; this is "
                                      f"{fmt.name}")
        from .swmm import read_inp

        document = read_inp(source, defaults, unsupported=unsupported)
        warn_direction(document, source)
        return document
    if fmt.module == "gis" and (len(paths) > 1 or fields is not None):
        from .gis import read_gis

        document = read_gis(paths, defaults, fields=fields)
        warn_direction(document, source)
        return document
    if network is not None:
        if fmt.module != "landxml":
            raise FormatError(source, "network= names a pipe network of a LandXML file; "
                                      f"this is {fmt.name}")
        from .landxml import read_landxml

        document = read_landxml(source, defaults, network_name=network)
    else:
        document = fmt.read()(source, defaults)
    if fmt.module != "native":  # a drawing's direction is not always the flow's
        warn_direction(document, source)
    return document


def read_input(item: str | os.PathLike[str] | Document | Mapping[str, Any], *,
               defaults: Mapping[str, Any] | None = None,
               network: str | None = None,
               nodes: Sequence[str] = (),
               fields: Mapping[str, str] | None = None,
               unsupported: Literal["refuse", "cut"] = "refuse") -> Document:
    """The one way the tools take in a network, whatever the command: a file of any format
    ("-": `.rwn` text on standard input), a `Document`, or a project document as
    `read_network` returns it. Files of rillway's own formats keep their text (so results
    stay to the bit); others become project documents, with `defaults` and `network` as for
    `read_network`."""
    if isinstance(item, Document):
        return item
    if isinstance(item, Mapping):
        source = str(item.get("name") or "<project>")
        return Document(source, "rwproj", document_json(item, source))
    path = os.fspath(item)
    native = path == "-" or Path(path).suffix.lower() in (".rwproj", ".rwn")
    if native and network is None and not defaults and not nodes and fields is None \
            and unsupported == "refuse":
        return read_document(path)
    if path == "-":
        raise FormatError("<stdin>", "defaults and a network name need a file, not standard "
                                     "input")
    document = read_network([path, *nodes], defaults=defaults, network=network,
                            fields=fields, unsupported=unsupported)
    return Document(path, "rwproj", document_json(document, path))


def write_network(document: Mapping[str, Any], path: str | os.PathLike[str],
                  result: AnalysisResult | None = None) -> None:
    """Writes a project document to any supported file, chosen by the extension of `path`.

    Parameters
    ----------
    document : a project document (the `.rwproj` keys), as `read_network` returns.
    path : the file to write; it is written whole or not at all.
    result : the analysis of `document`; SWMM files take their design inflows from it and GIS
        layers join it to the features. When None, those writers analyse the document.
    """
    target = os.fspath(path)
    format_of(target).write()(document, target, result)


def project_text(path: str | os.PathLike[str]) -> str:
    """The project document of any supported file as JSON text, for the functions of the
    `rillway` module that take one (`analyze_project`, `read_project`)."""
    import json

    return json.dumps(read_network(path), ensure_ascii=False, allow_nan=False)
