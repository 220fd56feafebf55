"""GIS layers, read and written with GeoPandas and pyogrio (the `gis` extra): structures as
points, pipes as lines, attributes named after the project keys, and the coordinate reference
system carried in the document's "crs" key.

    .gpkg     layers "nodes" and "pipes"; the design settings ride in the pipes layer's
              metadata, so a GeoPackage holds the whole project
    .geojson  one FeatureCollection: points are structures, lines are pipes
    .shp      PATH holds the pipes and PATH_nodes.shp (beside it) the structures; a
              Shapefile's 10-character field names shorten the longer keys (SHAPEFILE_NAMES)

A written layer can carry the analysis beside the data (`result`): pipes get the result's
pipe columns (design_q, capacity, surcharged, hgl_up, ...) and nodes its hgl, freeboard and
floods, so a map can colour surcharged pipes and flooding structures. Readers ignore those.

A pipe's `from` and `to` attributes name its structures; where they are missing, its line's
end points are matched to the structure points (within 1e-6 of the layer's unit).
"""
from __future__ import annotations

import json
import math
import os
import shutil
import tempfile
import warnings
from collections.abc import Mapping, Sequence
from dataclasses import dataclass
from pathlib import Path
from typing import Any

from ..results import AnalysisResult
from .errors import FormatError
from .files import footprint, read_bytes, replace_together
from .network import (analysis_view, analyze_document, converted, design_settings, is_si,
                      keys_of, new_document, parse_setting, parse_value, record_extras,
                      refuse_impossible, scale_of, setting_text)

__all__ = ["SHAPEFILE_NAMES", "read_gis", "write_gis"]

NODE_KEYS = ("id", "kind", "invert", "rim", "area_ac", "c", "tc_inlet", "diameter_ft")
PIPE_KEYS = ("id", "from", "to", "length", "diameter", "n", "shape", "rise_ft", "span_ft",
             "invert_up", "invert_dn")
NODE_RESULTS = ("tc", "hgl", "freeboard", "floods")
PIPE_RESULTS = ("slope", "total_ca", "tc", "travel_time", "intensity", "design_q", "capacity",
                "pct_full", "velocity", "normal_depth", "critical_depth", "hgl_up", "hgl_dn",
                "surcharged")
SHAPEFILE_NAMES = {"diameter_ft": "diam_ft", "travel_time": "travel_t",
                   "normal_depth": "normal_d", "critical_depth": "critical_d"}
SNAP = 1e-6
SETTINGS_SUFFIX = ".rillway.json"
# The keys of nodes and pipes that have no column above; a written layer carries those a
# network sets away from their defaults in columns of their JSON.
EXTRA = {"node": tuple(k for k in keys_of("node") if k not in ("x", "y", *NODE_KEYS)),
         "pipe": tuple(k for k in keys_of("pipe") if k not in PIPE_KEYS)}
LINES = ("LineString", "MultiLineString")
OPTIONAL_NUMBERS = {"invert_up", "invert_dn", "rise_ft", "span_ft", "diameter_ft"}
# SWMM's attribute names, as GIS plugins for SWMM write its layers, and the project keys
# they carry (None: read by a rule of its own).
SWMM_CONDUIT_FIELDS = {"Name": "id", "FromNode": "from", "ToNode": "to", "Length": "length",
                       "Roughness": "n", "Barrels": "barrels", "InOffset": None,
                       "OutOffset": None, "Shape": None}
SWMM_NODE_FIELDS = {"Name": "id", "Elevation": "invert", "MaxDepth": None, "Type": None,
                    "FixedStage": None}


def _libraries() -> tuple[Any, Any, Any]:
    try:
        import geopandas
        import pyogrio
        import shapely.geometry
    except ImportError:
        raise ImportError("GIS layers need GeoPandas and pyogrio: "
                          "pip install 'rillway[gis]'") from None
    return geopandas, pyogrio, shapely.geometry


def _nodes_path(path: str) -> str:
    target = Path(path)
    return str(target.with_name(f"{target.stem}_nodes{target.suffix}"))


def _value(value: Any) -> Any:
    """A cell as plain Python: None for missing, numbers as float, text as str."""
    if value is None:
        return None
    if isinstance(value, float) and math.isnan(value):
        return None
    if hasattr(value, "tolist"):  # numpy scalars, and the arrays GeoJSON lists become
        value = value.tolist()
    return value


class _Reader:
    def __init__(self, path: str, shapefile: bool) -> None:
        self.path = path
        self.rename = {short: key for key, short in SHAPEFILE_NAMES.items()} \
            if shapefile else {}

    def records(self, frame: Any, layer: str) -> list[tuple[int, dict[str, Any], Any]]:
        """(feature number, attributes, geometry) of each row; the number counts from 1 in
        the layer (in a GeoJSON file, in the whole collection)."""
        rows = []
        columns = [self.rename.get(str(c), str(c)) for c in frame.columns]
        for index, row, geometry in zip(frame.index, frame.itertuples(index=False),
                                        frame.geometry):
            record = {key: _value(value) for key, value in zip(columns, row)
                      if key != "geometry"}
            rows.append((int(index) + 1, record, geometry))
        return rows

    def fail(self, layer: str, number: int, problem: str) -> FormatError:
        return FormatError(self.path, f"{layer} feature {number}: {problem}")

    def number(self, layer: str, number: int, record: Mapping[str, Any], key: str,
               default: float | None = None) -> float | None:
        value = record.get(key)
        if value is None:
            if default is None and key not in OPTIONAL_NUMBERS:
                raise self.fail(layer, number, f"has no '{key}'")
            return default
        try:
            result = float(value)
        except (TypeError, ValueError):
            raise self.fail(layer, number, f"'{key}' is not a number: '{value}'") from None
        if not math.isfinite(result):
            raise self.fail(layer, number, f"'{key}' is not a finite number: '{value}'")
        return result

    def extras(self, layer: str, number: int, record: Mapping[str, Any], kind: str,
               target: dict[str, Any]) -> None:
        """The keys without a column of their own (EXTRA), each attribute holding its JSON."""
        for key in EXTRA[kind]:
            text = record.get(key)
            if text is None:
                continue
            if not isinstance(text, str):  # GeoJSON keeps an object as an object
                target[key] = text
                continue
            try:
                target[key] = parse_value(str(text))
            except ValueError:
                raise self.fail(layer, number, f"'{key}' is not a value: '{text}'") from None

    def text(self, layer: str, number: int, record: Mapping[str, Any], key: str) -> str:
        value = record.get(key)
        if value is None or str(value).strip() == "":
            raise self.fail(layer, number, f"has no '{key}'")
        return str(value).strip()


@dataclass
class _Layer:
    """One layer of features as read: where it came from, its name for messages, its frame."""
    path: str
    label: str
    frame: Any
    metadata: dict[str, str]


def _read_layers(path: str) -> list[_Layer]:
    """The layers of one file. A GeoPackage with "nodes" and "pipes" layers gives those two;
    any other GeoPackage gives every layer, as GIS plugins keep one layer per kind of
    feature (junctions, outfalls, conduits)."""
    geopandas, pyogrio, _ = _libraries()
    suffix = Path(path).suffix.lower()
    if not os.path.exists(path):
        raise FormatError(path, "cannot read: No such file or directory")
    try:
        if suffix == ".gpkg":
            layers = [str(name) for name, _ in pyogrio.list_layers(path)]
            own = [name for name in ("nodes", "pipes") if name in layers]
            chosen = own if len(own) == 2 else layers
            if not chosen:
                raise FormatError(path, "no layers")
            return [_Layer(path, name, geopandas.read_file(path, layer=name, engine="pyogrio"),
                           dict(pyogrio.read_info(path, layer=name).get("layer_metadata")
                                or {})) for name in chosen]
        if suffix == ".shp":
            nodes_path = _nodes_path(path)
            layers = [layer for layer in (nodes_path, path) if os.path.exists(layer)]
            for layer in layers:
                table = Path(layer).with_suffix(".dbf")
                if not table.exists():
                    raise FormatError(path, f"no {table.name} beside {Path(layer).name}: a "
                                            "Shapefile keeps its attributes there")
            sidecar = Path(path).with_suffix(SETTINGS_SUFFIX)
            member = _member(path, read_bytes(sidecar)) if sidecar.exists() else {}
            return [_Layer(layer, "nodes" if layer == nodes_path else "pipes",
                           geopandas.read_file(layer, engine="pyogrio"), member)
                    for layer in layers]
        member = _member(path, read_bytes(path))
        frame = geopandas.read_file(path, engine="pyogrio")
    except FormatError:
        raise
    except Exception as error:  # GDAL's errors: DataSourceError, FieldError, ...
        message = str(error).strip().split("\n", 1)[0]
        raise FormatError(path, f"cannot read as {suffix[1:]}: {message}") from None
    nodes, pipes = _split_collection(path, frame)
    return [_Layer(path, "nodes", nodes, member), _Layer(path, "pipes", pipes, member)]


def _member(path: str, data: bytes) -> dict[str, str]:
    """The project's own data that rides beside GeoJSON features (a top-level "rillway"
    member) or a Shapefile (NAME.rillway.json), as GeoPackage metadata holds it: name, units,
    "crs" ("local" for coordinates in no reference system) and each setting's JSON."""
    try:
        found = json.loads(data).get("rillway") if data.lstrip()[:1] == b"{" else None
    except ValueError:
        return {}  # GDAL names what is wrong with the file
    if not isinstance(found, dict):
        return {}
    member = {key: str(found[key]) for key in ("name", "units") if isinstance(found.get(key), str)}
    if found.get("crs") is None and "crs" in found:
        member["crs"] = "local"
    settings = found.get("settings")
    for key, value in (settings.items() if isinstance(settings, dict) else ()):
        member[str(key)] = setting_text(value)
    return member


def _split_collection(path: str, frame: Any) -> tuple[Any, Any]:
    """A GeoJSON collection's points as structures and lines as pipes. A feature without a
    geometry is a pipe when it names both its structures (its length then comes from its
    attributes); any other geometry is refused by its feature number."""
    kinds = frame.geometry.geom_type
    missing = frame.geometry.isna() | frame.geometry.is_empty
    for number, (kind, empty) in enumerate(zip(kinds, missing), start=1):
        if empty:
            row = frame.iloc[number - 1]
            if not (_filled(row.get("from")) and _filled(row.get("to"))):
                raise FormatError(path, f"feature {number} has no geometry and does not "
                                        "name its 'from' and 'to' structures: a structure "
                                        "needs its point")
        elif kind != "Point" and kind not in LINES:
            raise FormatError(path, f"feature {number} is a {kind}: structures are points "
                                    "and pipes lines")
    return frame[(kinds == "Point") & ~missing], frame[kinds.isin(LINES) | missing]


def _filled(value: Any) -> bool:
    value = _value(value)
    return value is not None and str(value).strip() != ""


def _swmm_style(record: dict[str, Any]) -> dict[str, Any]:
    """A feature whose attributes carry SWMM's names (as GIS plugins for SWMM write them)
    in the project's keys. Offsets are depths above the node inverts, SWMM's default."""
    if "Name" not in record:
        return record
    out = {key: value for key, value in record.items() if key not in SWMM_NODE_FIELDS
           and key not in SWMM_CONDUIT_FIELDS}
    if "FromNode" in record or "ToNode" in record:
        for swmm, key in SWMM_CONDUIT_FIELDS.items():
            if record.get(swmm) is not None and key:
                out[key] = record[swmm]
        shape = str(record.get("Shape") or "CIRCULAR").upper()
        out["_swmm_shape"] = shape
        out["_in_offset"] = record.get("InOffset")
        out["_out_offset"] = record.get("OutOffset")
        return out
    for swmm, key in SWMM_NODE_FIELDS.items():
        if record.get(swmm) is not None and key:
            out[key] = record[swmm]
    if record.get("MaxDepth") is not None and record.get("Elevation") is not None:
        out["rim"] = float(record["Elevation"]) + float(record["MaxDepth"])
        out["_max_depth"] = float(record["MaxDepth"])
    if "Type" in record or "FixedStage" in record:
        out["kind"] = "outfall"
        out.setdefault("rim", record.get("Elevation"))
        out["_type"] = str(record.get("Type") or "FREE").upper()
        out["_fixed_stage"] = record.get("FixedStage")
    return out


def _mapped(record: dict[str, Any], fields: Mapping[str, str]) -> dict[str, Any]:
    """A record with the caller's attribute names (`fields`: project key -> attribute)
    taken as the project's keys."""
    out = dict(record)
    for key, attribute in fields.items():
        if attribute in record:
            out[key] = record[attribute]
    return out


def read_gis(path: str | Sequence[str], defaults: Mapping[str, Any] | None = None, *,
             nodes: Sequence[str] = (), fields: Mapping[str, str] | None = None
             ) -> dict[str, Any]:
    """Reads structures and pipes from GeoPackage, GeoJSON or Shapefile layers as one project
    document: point features are structures, lines are pipes, from `path` (one file, or
    several) and from each file in `nodes`. Attributes are the project's keys, SWMM's names
    (Name, FromNode, ToNode, Length, Roughness, InOffset, OutOffset, Shape, Geom1-Geom4,
    Barrels; Elevation, MaxDepth; Type, FixedStage), or what `fields` maps to a key
    ({"invert": "INV_EL", ...}). A layer in a geographic CRS (degrees) is refused: lengths
    need a projected one. Units: a layer whose CRS is in metres gives an SI project, else a US
    one (ft), unless the GeoPackage metadata or `defaults` say "units"."""
    paths = [path] if isinstance(path, (str, os.PathLike)) else list(path)
    paths = [os.fspath(p) for p in paths] + [os.fspath(p) for p in nodes]
    if not paths:
        raise FormatError("<gis>", "no file to read")
    source = paths[0]
    layers = [layer for p in paths for layer in _read_layers(p)]
    reader = _Reader(source, any(Path(p).suffix.lower() == ".shp" for p in paths))
    metadata: dict[str, str] = {}
    for layer in layers:
        metadata.update(layer.metadata)
    # "local": written by rillway in coordinates of no reference system.
    crs = None if metadata.get("crs") == "local" else _one_crs(layers)
    if crs is not None and crs.is_geographic and all(
            Path(layer.path).suffix.lower() == ".geojson" and not _within_degrees(layer.frame)
            for layer in layers if len(layer.frame)):
        crs = None  # GeoJSON without a "crs" member reads as WGS 84; these are local feet
    if crs is not None and crs.is_geographic:
        raise FormatError(source, f"the layers are in a geographic CRS ({crs.to_string()}); "
                                  "reproject them to a projected one in feet or metres")
    units = metadata.get("units") or (defaults or {}).get("units")
    if units is None and crs is not None and crs.axis_info:
        units = "si" if crs.axis_info[0].unit_name in ("metre", "meter") else "us_customary"
    si = units == "si"

    def where(layer: _Layer) -> str:  # a layer as messages name it
        return layer.label if len(paths) == 1 else f"{Path(layer.path).name} {layer.label}"

    point_rows, line_rows = [], []
    for layer in layers:
        for number, record, geometry in reader.records(layer.frame, layer.label):
            record = _mapped(_swmm_style(record), fields or {})
            kind = None if geometry is None or geometry.is_empty else geometry.geom_type
            row = (where(layer), number, record, geometry)
            if layer.label == "nodes" or (layer.label != "pipes" and kind == "Point"):
                point_rows.append(row)
            elif layer.label == "pipes" or kind in LINES or (
                    kind is None and _filled(record.get("from")) and _filled(record.get("to"))):
                line_rows.append(row)
            else:  # a feature of a layer of several kinds that is neither
                what = kind or "feature without a geometry"
                raise reader.fail(where(layer), number,
                                  f"is a {what}: structures are points and pipes lines")
    tailwater: dict[str, float] = {}
    found: dict[str, dict[str, Any]] = {}
    points: list[tuple[float, float, str]] = []
    first: dict[str, int] = {}
    for label, number, record, geometry in point_rows:
        if geometry is None or geometry.is_empty:
            raise reader.fail(label, number, "has no point geometry")
        if geometry.geom_type != "Point":
            raise reader.fail(label, number, f"is a {geometry.geom_type}: structures are points")
        if not (math.isfinite(geometry.x) and math.isfinite(geometry.y)):
            raise reader.fail(label, number, "has a point that is not finite")
        node_id = reader.text(label, number, record, "id")
        if node_id in found:
            raise reader.fail(label, number, f"repeats the structure id '{node_id}' of "
                                             f"feature {first[node_id]}")
        first[node_id] = number
        node: dict[str, Any] = {"id": node_id, "kind": str(record.get("kind") or "junction"),
                                "x": float(geometry.x), "y": float(geometry.y)}
        for key in ("invert", "rim"):
            node[key] = reader.number(label, number, record, key)
        for key in ("area_ac", "c", "tc_inlet"):
            node[key] = reader.number(label, number, record, key, 0.0)
        if record.get("diameter_ft") is not None:
            node["diameter_ft"] = reader.number(label, number, record, "diameter_ft")
        if record.get("_type") == "FIXED":
            tailwater[node_id] = float(reader.number(label, number, record, "_fixed_stage")
                                       or 0.0)
        if record.get("_max_depth") == 0.0:
            node["_rim_from_pipes"] = True
        reader.extras(label, number, record, "node", node)
        found[node_id] = node
        points.append((node["x"], node["y"], node_id))

    pipes = []
    for label, number, record, geometry in line_rows:
        if geometry is not None and not geometry.is_empty and geometry.geom_type not in LINES:
            raise reader.fail(label, number, f"is a {geometry.geom_type}: pipes are lines")
        pipes.append(_read_pipe(reader, label, number, record, geometry, found, points))
        reader.extras(label, number, record, "pipe", pipes[-1])
    _swmm_rims(found, pipes)

    settings: dict[str, Any] = {}
    for key, text in metadata.items():
        setting = parse_setting(key, text, f"layer metadata {key}", source)
        if setting is not None:
            settings[key] = setting
    stages = set(tailwater.values())
    if len(stages) > 1:
        raise FormatError(source, "outfalls at different fixed stages ("
                                  + ", ".join(f"'{k}' {v:g}" for k, v in tailwater.items())
                                  + "): rillway takes one tailwater")
    if stages and "tailwater" not in settings:
        settings["tailwater"] = stages.pop()
    extra = {"crs": crs.to_string()} if crs is not None else {}
    refuse_impossible({"nodes": list(found.values()), "pipes": pipes}, source)
    return new_document(metadata.get("name") or Path(source).stem, list(found.values()),
                        pipes, si=si, settings=settings,
                        defaults={k: v for k, v in (defaults or {}).items() if k != "units"},
                        extra=extra, source=source)


def _one_crs(layers: Sequence[_Layer]) -> Any:
    """The coordinate reference system of all the layers; layers in two are refused."""
    crs = None
    for layer in layers:
        if layer.frame.crs is None:
            continue
        if crs is None:
            crs, first = layer.frame.crs, layer
        elif layer.frame.crs != crs:
            raise FormatError(layer.path, f"layer '{layer.label}' is in "
                                          f"{layer.frame.crs.to_string()}, layer "
                                          f"'{first.label}' of {Path(first.path).name} in "
                                          f"{crs.to_string()}: reproject them to one CRS")
    return crs


def _read_pipe(reader: _Reader, label: str, number: int, record: Mapping[str, Any],
               geometry: Any, nodes: Mapping[str, dict[str, Any]],
               points: list[tuple[float, float, str]]) -> dict[str, Any]:
    pipe: dict[str, Any] = {"id": reader.text(label, number, record, "id")}
    ends = _line_ends(geometry)
    for key, end in (("from", 0), ("to", 1)):
        named = record.get(key)
        if named is None and ends is not None:
            named = _snap(ends[end], points)
        if named is None:
            raise reader.fail(label, number, f"has no '{key}' and its line does not "
                                             "end at a structure")
        if str(named) not in nodes:
            raise reader.fail(label, number, f"names unknown structure '{named}'")
        pipe[key] = str(named)
    shape = record.get("_swmm_shape")
    if shape is not None:
        geom1 = reader.number(label, number, record, "Geom1")
        if shape == "CIRCULAR":
            pipe["diameter"] = geom1
        elif shape in ("RECT_CLOSED",):
            span = reader.number(label, number, record, "Geom2")
            pipe.update(diameter=geom1, shape="box", rise_ft=geom1, span_ft=span)
        else:
            raise reader.fail(label, number, f"'{pipe['id']}' has the SWMM shape {shape}; "
                                             "rillway reads CIRCULAR and RECT_CLOSED here")
        for key, offset, node in (("invert_up", "_in_offset", pipe["from"]),
                                  ("invert_dn", "_out_offset", pipe["to"])):
            depth = record.get(offset)
            if depth is not None:
                pipe[key] = nodes[node]["invert"] + float(
                    reader.number(label, number, {offset: depth}, offset) or 0.0)
    for key in ("length", "diameter", "n", "rise_ft", "span_ft", "invert_up", "invert_dn"):
        if key in pipe:
            continue
        value = reader.number(label, number, record, key,
                              _plan_length(geometry) if key == "length" else None)
        if value is not None:
            pipe[key] = value
    if record.get("shape") is not None and "shape" not in pipe:
        pipe["shape"] = str(record["shape"])
    if record.get("barrels") is not None and reader.number(label, number, record,
                                                           "barrels") != 1.0:
        pipe["barrels"] = int(reader.number(label, number, record, "barrels") or 1)
    return pipe


def _swmm_rims(nodes: Mapping[str, dict[str, Any]], pipes: Sequence[Mapping[str, Any]]
               ) -> None:
    """A SWMM junction of maximum depth 0 has its rim at the highest crown of its pipes."""
    for node_id, node in nodes.items():
        if not node.pop("_rim_from_pipes", False):
            continue
        for pipe in pipes:
            for end, key in (("from", "invert_up"), ("to", "invert_dn")):
                if pipe[end] == node_id:
                    bottom = pipe.get(key, node["invert"])
                    node["rim"] = max(node["rim"], bottom + pipe.get("rise_ft",
                                                                    pipe["diameter"]))


def _within_degrees(frame: Any) -> bool:
    left, bottom, right, top = frame.total_bounds
    return bool(-180.0 <= left <= right <= 180.0 and -90.0 <= bottom <= top <= 90.0)


def _line_ends(geometry: Any) -> tuple[tuple[float, float], tuple[float, float]] | None:
    if geometry is None or geometry.is_empty:
        return None
    if geometry.geom_type == "MultiLineString":
        parts = list(geometry.geoms)
        return parts[0].coords[0][:2], parts[-1].coords[-1][:2]
    if geometry.geom_type == "LineString":
        return geometry.coords[0][:2], geometry.coords[-1][:2]
    return None


def _plan_length(geometry: Any) -> float | None:
    if geometry is None or geometry.is_empty:
        return None
    return float(geometry.length)


def _snap(point: tuple[float, float], points: list[tuple[float, float, str]]) -> str | None:
    for x, y, node_id in points:
        if abs(x - point[0]) <= SNAP and abs(y - point[1]) <= SNAP:
            return node_id
    return None


def write_gis(document: Mapping[str, Any], path: str,
              result: AnalysisResult | None = None) -> None:
    """Writes structures and pipes as GIS layers, in the document's units and CRS, with the
    analysis result joined to the features (analysed here when `result` is None)."""
    geopandas, pyogrio, geometry = _libraries()
    view = analysis_view(document, path)
    if result is None:
        result = analyze_document(document, path)
    length = 1.0 / scale_of(is_si(document))
    from .si import ACRES_PER_HECTARE

    area = 1.0 / ACRES_PER_HECTARE if is_si(document) else 1.0
    suffix = Path(path).suffix.lower()
    names = SHAPEFILE_NAMES if suffix == ".shp" else {}
    crs = document.get("crs") or None

    node_rows = []
    where = {}
    for node, row, given in zip(view["nodes"], result["nodes"], document["nodes"]):
        where[node["id"]] = (converted(node["x"], length), converted(node["y"], length))
        record = {"id": node["id"], "kind": node["kind"],
                  "invert": converted(node["invert"], length),
                  "rim": converted(node["rim"], length),
                  "area_ac": converted(node["area_ac"], area),
                  "c": node["c"], "tc_inlet": node["tc_inlet"],
                  "diameter_ft": converted(node["diameter_ft"], length),
                  **_extras("node", given)}
        record.update({f"{key}": _result_value(row[key], key, length)  # type: ignore[literal-required]
                       for key in NODE_RESULTS if key != "tc"})
        node_rows.append({names.get(k, k): v for k, v in record.items()})
    pipe_rows = []
    for pipe, pipe_row, given in zip(view["pipes"], result["pipes"], document["pipes"]):
        record = {"id": pipe["id"], "from": pipe["from"], "to": pipe["to"],
                  "length": converted(pipe["length"], length),
                  "diameter": converted(pipe["rise"], length), "n": pipe["n"],
                  "shape": pipe["shape"], "rise_ft": converted(pipe["rise"], length),
                  "span_ft": converted(pipe["span"], length),
                  "invert_up": converted(pipe["invert_up"], length),
                  "invert_dn": converted(pipe["invert_dn"], length), **_extras("pipe", given)}
        record.update({key: _result_value(pipe_row[key], key, length)  # type: ignore[literal-required]
                       for key in PIPE_RESULTS})
        pipe_rows.append({names.get(k, k): v for k, v in record.items()})
    nodes = geopandas.GeoDataFrame(
        node_rows, geometry=[geometry.Point(*where[r["id"]]) for r in node_rows], crs=crs)
    pipes = geopandas.GeoDataFrame(
        pipe_rows, crs=crs, geometry=[geometry.LineString([where[p["from"]], where[p["to"]]])
                                      for p in view["pipes"]])
    settings = design_settings(document)
    units = "si" if is_si(document) else "us_customary"
    metadata = {key: setting_text(value) for key, value in settings.items()}
    metadata["name"] = view["name"]
    metadata["units"] = units
    # GeoJSON and Shapefile carry the same as one JSON object; "crs": null marks coordinates
    # in no reference system, which a GeoJSON reader would otherwise take for degrees.
    member = {"name": view["name"], "units": units, "crs": crs, "settings": settings}

    target = Path(path)
    folder = target.parent
    try:
        scratch_folder = tempfile.TemporaryDirectory(prefix=".rillway-", dir=folder)
    except OSError as error:
        raise FormatError(path, f"cannot write: {error.strerror or error}") from None
    with scratch_folder as scratch:
        staged = os.path.join(scratch, target.name)
        try:
            if suffix == ".gpkg" and target.exists():
                # The file's other layers stay: only "nodes" and "pipes" are replaced.
                shutil.copyfile(target, staged)
            with warnings.catch_warnings():
                # A network drawn in local coordinates has no CRS; that is no fault.
                warnings.filterwarnings("ignore", message="'crs' was not provided")
                if suffix == ".gpkg":
                    pyogrio.write_dataframe(nodes, staged, layer="nodes")
                    pyogrio.write_dataframe(pipes, staged, layer="pipes",
                                            layer_metadata=metadata)
                elif suffix == ".shp":
                    pyogrio.write_dataframe(pipes, staged)
                    pyogrio.write_dataframe(nodes, _nodes_path(staged))
                    Path(staged).with_suffix(SETTINGS_SUFFIX).write_text(
                        json.dumps({"rillway": member}, indent=1) + "\n", encoding="utf-8")
                else:
                    both = geopandas.GeoDataFrame(
                        [*node_rows, *pipe_rows], crs=crs,
                        geometry=[*nodes.geometry, *pipes.geometry])
                    pyogrio.write_dataframe(both, staged,
                                            layer=view["name"] or target.stem)
                    collection = json.loads(Path(staged).read_text(encoding="utf-8"))
                    collection["rillway"] = member
                    Path(staged).write_text(json.dumps(collection, ensure_ascii=False),
                                            encoding="utf-8")
        except Exception as error:  # GDAL's errors
            message = str(error).strip().split("\n", 1)[0]
            raise FormatError(path, f"cannot write: {message}") from None
        moves = [(os.path.join(scratch, name), folder / name)
                 for name in sorted(os.listdir(scratch))]
        stale = footprint(path) if suffix == ".shp" else []
        replace_together(moves, path, stale)


def _extras(record: str, given: Mapping[str, Any]) -> dict[str, str]:
    return {key: setting_text(value) for key, value in record_extras(
        record, given, tuple(k for k in keys_of(record) if k not in EXTRA[record])).items()}


def _result_value(value: Any, key: str, length: float) -> Any:
    from .si import SI_UNITS

    if isinstance(value, float) and length != 1.0 and key in SI_UNITS:
        return value * SI_UNITS[key][0]
    return value


