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
from collections.abc import Mapping
from pathlib import Path
from typing import Any

from ..results import AnalysisResult
from .errors import FormatError
from .files import footprint, read_bytes, replace_together
from .network import (analysis_view, analyze_document, design_settings, is_si, keys_of,
                      new_document, parse_setting, parse_value, record_extras,
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
OPTIONAL_NUMBERS = {"invert_up", "invert_dn", "rise_ft", "span_ft", "diameter_ft"}


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
    if hasattr(value, "item"):  # numpy scalars
        value = value.item()
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


def _read_frames(path: str) -> tuple[Any, Any, dict[str, str]]:
    geopandas, pyogrio, _ = _libraries()
    suffix = Path(path).suffix.lower()
    if not os.path.exists(path):
        raise FormatError(path, "cannot read: No such file or directory")
    try:
        if suffix == ".gpkg":
            layers = {str(name) for name, _ in pyogrio.list_layers(path)}
            for needed in ("nodes", "pipes"):
                if needed not in layers:
                    raise FormatError(path, f"no '{needed}' layer (layers: "
                                            f"{', '.join(sorted(layers)) or 'none'})")
            nodes = geopandas.read_file(path, layer="nodes", engine="pyogrio")
            pipes = geopandas.read_file(path, layer="pipes", engine="pyogrio")
            metadata = pyogrio.read_info(path, layer="pipes").get("layer_metadata") or {}
            return nodes, pipes, dict(metadata)
        if suffix == ".shp":
            nodes_path = _nodes_path(path)
            if not os.path.exists(nodes_path):
                raise FormatError(path, f"no structures layer {Path(nodes_path).name} "
                                        "beside the pipes")
            for layer in (path, nodes_path):
                table = Path(layer).with_suffix(".dbf")
                if not table.exists():
                    raise FormatError(path, f"no {table.name} beside {Path(layer).name}: a "
                                            "Shapefile keeps its attributes there")
            pipes = geopandas.read_file(path, engine="pyogrio")
            nodes = geopandas.read_file(nodes_path, engine="pyogrio")
            sidecar = Path(path).with_suffix(SETTINGS_SUFFIX)
            member = _member(path, read_bytes(sidecar)) if sidecar.exists() else {}
            return nodes, pipes, member
        member = _member(path, read_bytes(path))
        frame = geopandas.read_file(path, engine="pyogrio")
    except FormatError:
        raise
    except Exception as error:  # GDAL's errors: DataSourceError, FieldError, ...
        message = str(error).strip().split("\n", 1)[0]
        raise FormatError(path, f"cannot read as {suffix[1:]}: {message}") from None
    return _split_collection(path, frame) + (member,)


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


LINES = ("LineString", "MultiLineString")


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


def _check_layer(path: str, frame: Any, layer: str, kinds: tuple[str, ...],
                 what: str) -> None:
    for number, (geometry, kind) in enumerate(zip(frame.geometry, frame.geometry.geom_type),
                                              start=1):
        if geometry is not None and not geometry.is_empty and kind not in kinds:
            raise FormatError(path, f"{layer} feature {number} is a {kind}: {what}")


def read_gis(path: str, defaults: Mapping[str, Any] | None = None) -> dict[str, Any]:
    """Reads structures and pipes from a GeoPackage, GeoJSON or Shapefile as a project
    document. A layer in a geographic CRS (degrees) is refused: lengths need a projected one.
    Units: a layer whose CRS is in metres gives an SI project, else a US one (ft), unless the
    GeoPackage metadata or `defaults` say "units"."""
    nodes_frame, pipes_frame, metadata = _read_frames(path)
    _check_layer(path, nodes_frame, "nodes", ("Point",), "structures are points")
    _check_layer(path, pipes_frame, "pipes", LINES, "pipes are lines")
    reader = _Reader(path, Path(path).suffix.lower() == ".shp")
    if nodes_frame.crs is not None and pipes_frame.crs is not None \
            and nodes_frame.crs != pipes_frame.crs:
        raise FormatError(path, f"the structures are in {nodes_frame.crs.to_string()} and the "
                                f"pipes in {pipes_frame.crs.to_string()}: reproject one layer")
    crs = nodes_frame.crs or pipes_frame.crs
    if metadata.get("crs") == "local":
        crs = None  # written by rillway in local coordinates
    if crs is not None and crs.is_geographic and Path(path).suffix.lower() == ".geojson" \
            and not _within_degrees(nodes_frame):
        crs = None  # GeoJSON without a "crs" member reads as WGS 84; these are local feet
    if crs is not None and crs.is_geographic:
        raise FormatError(path, f"the layers are in a geographic CRS ({crs.to_string()}); "
                                "reproject them to a projected one in feet or metres")
    units = metadata.get("units") or (defaults or {}).get("units")
    if units is None and crs is not None and crs.axis_info:
        units = "si" if crs.axis_info[0].unit_name in ("metre", "meter") else "us_customary"
    si = units == "si"

    nodes: dict[str, dict[str, Any]] = {}
    features: dict[str, int] = {}
    points: list[tuple[float, float, str]] = []
    for number, record, geometry in reader.records(nodes_frame, "nodes"):
        if geometry is None or geometry.is_empty or geometry.geom_type != "Point":
            raise reader.fail("nodes", number, "has no point geometry")
        if not (math.isfinite(geometry.x) and math.isfinite(geometry.y)):
            raise reader.fail("nodes", number, "has a point that is not finite")
        node_id = reader.text("nodes", number, record, "id")
        if node_id in nodes:
            raise reader.fail("nodes", number, f"repeats the structure id '{node_id}' of "
                                               f"feature {features[node_id]}")
        features[node_id] = number
        node: dict[str, Any] = {"id": node_id, "kind": str(record.get("kind") or "junction"),
                                "x": float(geometry.x), "y": float(geometry.y)}
        for key in ("invert", "rim"):
            node[key] = reader.number("nodes", number, record, key)
        for key in ("area_ac", "c", "tc_inlet"):
            node[key] = reader.number("nodes", number, record, key, 0.0)
        if record.get("diameter_ft") is not None:
            node["diameter_ft"] = reader.number("nodes", number, record, "diameter_ft")
        reader.extras("nodes", number, record, "node", node)
        nodes[node_id] = node
        points.append((node["x"], node["y"], node_id))

    pipes = []
    for number, record, geometry in reader.records(pipes_frame, "pipes"):
        pipe: dict[str, Any] = {"id": reader.text("pipes", number, record, "id")}
        ends = _line_ends(geometry)
        for key, end in (("from", 0), ("to", 1)):
            named = record.get(key)
            if named is None and ends is not None:
                named = _snap(ends[end], points)
            if named is None:
                raise reader.fail("pipes", number, f"has no '{key}' and its line does not "
                                                   "end at a structure")
            if str(named) not in nodes:
                raise reader.fail("pipes", number, f"names unknown structure '{named}'")
            pipe[key] = str(named)
        for key in ("length", "diameter", "n", "rise_ft", "span_ft", "invert_up",
                    "invert_dn"):
            value = reader.number("pipes", number, record, key,
                                  _plan_length(geometry) if key == "length" else None)
            if value is not None:
                pipe[key] = value
        if record.get("shape") is not None:
            pipe["shape"] = str(record["shape"])
        reader.extras("pipes", number, record, "pipe", pipe)
        pipes.append(pipe)

    settings: dict[str, Any] = {}
    for key, text in metadata.items():
        try:
            setting = parse_setting(key, text, f"layer metadata {key}", path)
        except FormatError:
            raise
        if setting is not None:
            settings[key] = setting
    extra = {"crs": crs.to_string()} if crs is not None else {}
    document = new_document(metadata.get("name") or Path(path).stem, list(nodes.values()),
                            pipes, si=si, settings=settings,
                            defaults={k: v for k, v in (defaults or {}).items() if k != "units"},
                            extra=extra)
    refuse_impossible(document, path)
    analysis_view(document, path)
    return document


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
        where[node["id"]] = (node["x"] * length, node["y"] * length)
        record = {"id": node["id"], "kind": node["kind"], "invert": node["invert"] * length,
                  "rim": node["rim"] * length, "area_ac": node["area_ac"] * area,
                  "c": node["c"], "tc_inlet": node["tc_inlet"],
                  "diameter_ft": node["diameter_ft"] * length,
                  **_extras("node", given)}
        record.update({f"{key}": _result_value(row[key], key, length)  # type: ignore[literal-required]
                       for key in NODE_RESULTS if key != "tc"})
        node_rows.append({names.get(k, k): v for k, v in record.items()})
    pipe_rows = []
    for pipe, pipe_row, given in zip(view["pipes"], result["pipes"], document["pipes"]):
        record = {"id": pipe["id"], "from": pipe["from"], "to": pipe["to"],
                  "length": pipe["length"] * length, "diameter": pipe["rise"] * length,
                  "n": pipe["n"], "shape": pipe["shape"], "rise_ft": pipe["rise"] * length,
                  "span_ft": pipe["span"] * length, "invert_up": pipe["invert_up"] * length,
                  "invert_dn": pipe["invert_dn"] * length, **_extras("pipe", given)}
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


