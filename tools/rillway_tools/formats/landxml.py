"""LandXML 1.2 pipe networks, read and written, as CAD programs exchange them.

    PipeNetworks/PipeNetwork/Structs/Struct  name, elevRim, elevSump (the node invert),
        Center "northing easting" (an elevation after them is ignored), Invert elements
        (refPipe, elev) for the pipe ends, CircStruct (diameter) or RectStruct (length,
        width) for the structure's size
    PipeNetworks/PipeNetwork/Pipes/Pipe      name, refStart, refEnd, length, material, with
        CircPipe (diameter), RectPipe (height, width) or ElliPipe (height, span), each with
        its `mannings` roughness

CAD programs leave out what the schema makes optional, and the reader fills it, saying so in
a `rillway.InputWarning`: a pipe without `mannings` takes the roughness of its material, else
the default; a structure without `elevSump` sits at the lowest invert of its pipes; a pipe
without `length` runs between the structure centres. A file with several pipe networks gives
the one asked for by name, else the storm network, else the first.

The `Units` element decides the units both ways: Imperial (feet, `diameterUnit` inch) gives a
US project, Metric (metres, `diameterUnit` millimetre) an SI one. What LandXML has no element
for (a node's kind, drained area, runoff coefficient and inlet time; an arch shape; the
design settings) is written as `Feature` properties, LandXML's own extension mechanism, and
read back when present: a structure without them is a junction, or an outfall when no pipe
leaves it.

Parsing uses lxml with entity resolution, DTD loading and network access off; a document
with a DOCTYPE (and so any entity or external DTD) is refused outright.
"""
from __future__ import annotations

import math
import warnings
from collections.abc import Mapping
from pathlib import Path
from typing import Any

import rillway

from ..results import AnalysisResult
from .errors import FormatError
from .files import read_bytes, write_atomically
from .network import (analysis_view, converted, design_settings, finite, is_si, keys_of,
                      new_document, number_text, parse_setting, parse_value, plain_name,
                      record_extras, refuse_impossible, setting_text)
from .si import ACRES_PER_HECTARE, METRES_PER_FOOT

__all__ = ["read_landxml", "write_landxml"]

NAMESPACE = "http://www.landxml.org/schema/LandXML-1.2"
FEATURE_CODE = "rillway"
# Length units of `linearUnit`, in metres.
LINEAR_UNITS = {"foot": METRES_PER_FOOT, "USSurveyFoot": 1200.0 / 3937.0, "meter": 1.0,
                "millimeter": 0.001, "centimeter": 0.01, "kilometer": 1000.0}
# Pipe size units of `diameterUnit`, in metres.
DIAMETER_UNITS = {"inch": 0.0254, "foot": METRES_PER_FOOT, "millimeter": 0.001,
                  "centimeter": 0.01, "meter": 1.0}
NODE_FEATURES = ("kind", "area_ac", "c", "tc_inlet", "diameter_ft")
# Manning's n of common pipe materials (HEC-22 4th ed., table 9.1, the usual design values),
# matched as words in a pipe's `material`, most specific first. A pipe without `mannings`
# takes its material's value, else DEFAULT_N.
MATERIAL_N = (
    (("corrugated", "cmp", "csp"), 0.024),
    (("hdpe", "polyethylene"), 0.012),
    (("pvc", "polyvinyl"), 0.010),
    (("concrete", "rcp"), 0.013),
    (("clay", "vcp"), 0.013),
    (("ductile", "cast iron"), 0.013),
    (("steel",), 0.012),
    (("brick",), 0.015),
)
DEFAULT_N = 0.013


def _lxml() -> Any:
    try:
        from lxml import etree
    except ImportError:
        raise ImportError("LandXML files need lxml: pip install 'rillway[formats]'") from None
    return etree


def _local(element: Any) -> str:
    tag = element.tag
    return tag.rsplit("}", 1)[-1] if isinstance(tag, str) else ""


def _children(element: Any, name: str) -> list[Any]:
    return [child for child in element if _local(child) == name]


def _child(element: Any, name: str) -> Any | None:
    found = _children(element, name)
    return found[0] if found else None


class _Reader:
    def __init__(self, path: str) -> None:
        self.path = path

    def warn(self, message: str) -> None:
        warnings.warn(f"{self.path}: {message}", rillway.InputWarning, stacklevel=4)

    def fail(self, element: Any, problem: str) -> FormatError:
        return FormatError(self.path, f"line {element.sourceline}: <{_local(element)}> "
                                      f"{problem}")

    def text(self, element: Any, key: str) -> str:
        value = element.get(key)
        if value is None or not value.strip():
            raise self.fail(element, f"has no '{key}'")
        return str(value).strip()

    def number(self, element: Any, key: str, default: float | None = None) -> float:
        value = element.get(key)
        if value is None and default is not None:
            return default
        if value is None:
            raise self.fail(element, f"has no '{key}'")
        try:
            return finite(value, key, self.path)
        except FormatError as error:
            raise self.fail(element, error.message) from None

    def features(self, element: Any) -> dict[str, str]:
        values: dict[str, str] = {}
        for feature in _children(element, "Feature"):
            if feature.get("code") == FEATURE_CODE:
                for prop in _children(feature, "Property"):
                    if prop.get("label") is not None and prop.get("value") is not None:
                        values[prop.get("label")] = prop.get("value")
        return values

    def featurenumber_text(self, element: Any, features: Mapping[str, str], key: str) -> float:
        try:
            return finite(features[key], key, self.path)
        except FormatError as error:
            raise self.fail(element, f"Feature property {error.message}") from None


def _parse(path: str) -> Any:
    etree = _lxml()
    data = read_bytes(path)
    parser = etree.XMLParser(resolve_entities=False, no_network=True, load_dtd=False,
                             dtd_validation=False, huge_tree=False, remove_comments=True)
    try:
        root = etree.fromstring(data, parser)
    except etree.XMLSyntaxError as error:
        line = error.lineno or 1
        raise FormatError(path, f"line {line}: not well-formed XML: {error.msg}") from None
    docinfo = root.getroottree().docinfo
    if docinfo.doctype or docinfo.internalDTD is not None or docinfo.externalDTD is not None:
        raise FormatError(path, "line 1: a DOCTYPE (entities or an external DTD) is refused "
                                "in LandXML")
    if _local(root) != "LandXML":
        raise FormatError(path, f"line {root.sourceline}: not LandXML (the root element is "
                                f"<{_local(root)}>)")
    return root


def read_landxml(path: str, defaults: Mapping[str, Any] | None = None, *,
                 network_name: str | None = None) -> dict[str, Any]:
    """Reads a pipe network of a LandXML 1.2 file as a project document: a US project from
    Imperial units, an SI project (m) from Metric ones. `defaults` fills the design settings
    the file does not carry, and its "n" the roughness of pipes with neither `mannings` nor a
    known material (0.013). Of several networks, `network_name` picks one by name; else the
    one whose `pipeNetType` is "storm", else the first."""
    reader = _Reader(path)
    root = _parse(path)
    units = _child(root, "Units")
    system = units[0] if units is not None and len(units) else None
    if system is None or _local(system) not in ("Imperial", "Metric"):
        raise FormatError(path, "no <Units> element with <Imperial> or <Metric>")
    si = _local(system) == "Metric"
    linear = system.get("linearUnit", "meter" if si else "foot")
    diameter_unit = system.get("diameterUnit", "millimeter" if si else "inch")
    if linear not in LINEAR_UNITS:
        raise reader.fail(system, f"has an unknown linearUnit '{linear}'")
    if diameter_unit not in DIAMETER_UNITS:
        raise reader.fail(system, f"has an unknown diameterUnit '{diameter_unit}'")
    document_metres = 1.0 if si else METRES_PER_FOOT  # metres per document length unit
    to_length = LINEAR_UNITS[linear] / document_metres
    to_size = DIAMETER_UNITS[diameter_unit] / document_metres

    network = _choose_network(reader, root, network_name)
    structs = _child(network, "Structs")
    pipes_element = _child(network, "Pipes")
    if structs is None or pipes_element is None:
        raise reader.fail(network, "needs both <Structs> and <Pipes>")

    pipe_ends: dict[tuple[str, str], float] = {}
    sumpless: list[str] = []
    nodes: dict[str, dict[str, Any]] = {}
    features: dict[str, dict[str, str]] = {}
    elements: dict[str, Any] = {}
    for struct in _children(structs, "Struct"):
        node_id = reader.text(struct, "name")
        if node_id in nodes:
            raise reader.fail(struct, f"repeats the structure name '{node_id}' (line "
                                      f"{elements[node_id].sourceline})")
        center = _child(struct, "Center")
        if center is None or not (center.text or "").strip():
            raise reader.fail(struct, f"'{node_id}' has no <Center>")
        words = center.text.split()
        if len(words) not in (2, 3):
            raise reader.fail(center, f"of '{node_id}' is not 'northing easting' (or "
                                      f"'northing easting elevation'): '{center.text.strip()}'")
        try:
            northing, easting = (finite(word, "coordinate", path) for word in words[:2])
        except FormatError as error:
            raise reader.fail(center, f"of '{node_id}': {error.message}") from None
        ends = [(reader.text(end, "refPipe"), reader.number(end, "elev") * to_length)
                for end in _children(struct, "Invert")]
        for pipe_id, elevation in ends:
            pipe_ends[(node_id, pipe_id)] = elevation
        if struct.get("elevSump") is not None:
            invert = reader.number(struct, "elevSump") * to_length
        elif ends:
            invert = min(elevation for _, elevation in ends)
            sumpless.append(node_id)
        else:
            raise reader.fail(struct, f"'{node_id}' has no 'elevSump' and no <Invert> to "
                                      "take it from")
        nodes[node_id] = {"id": node_id, "kind": "junction", "x": easting * to_length,
                          "y": northing * to_length, "invert": invert,
                          "rim": reader.number(struct, "elevRim") * to_length,
                          "area_ac": 0.0, "c": 0.0, "tc_inlet": 0.0}
        size = _structure_size(reader, struct)
        if size is not None:
            nodes[node_id]["diameter_ft"] = size * to_size
        features[node_id] = reader.features(struct)
        elements[node_id] = struct

    default_n = finite((defaults or {}).get("n", DEFAULT_N), "default n", path)
    pipes = []
    pipe_elements: dict[str, Any] = {}
    assumed: Assumed = {"material": [], "default": [], "length": []}
    for element in _children(pipes_element, "Pipe"):
        pipe_id = reader.text(element, "name")
        if pipe_id in pipe_elements:
            raise reader.fail(element, f"repeats the pipe name '{pipe_id}' (line "
                                       f"{pipe_elements[pipe_id].sourceline})")
        pipe_elements[pipe_id] = element
        pipes.append(_read_pipe(reader, element, nodes, pipe_ends, to_length, to_size,
                                default_n, assumed))
    if assumed["material"]:
        reader.warn("no 'mannings' on " + _named("pipe", assumed["material"])
                    + ": n taken from the pipe material")
    if assumed["default"]:
        reader.warn(f"no 'mannings' and no known material on "
                    f"{_named('pipe', assumed['default'])}: n = {default_n:g} assumed")
    if assumed["length"]:
        reader.warn(f"no 'length' on {_named('pipe', assumed['length'])}: the plan distance "
                    "between the structure centres taken")
    if sumpless:
        reader.warn(f"no 'elevSump' on {_named('structure', sumpless)}: the lowest invert "
                    "of its pipes taken")
    leaving = {pipe["from"] for pipe in pipes}
    for node_id, node in nodes.items():
        extra = features[node_id]
        node["kind"] = extra.get("kind", "junction" if node_id in leaving else "outfall")
        for key in NODE_FEATURES[1:]:
            if key in extra:
                node[key] = reader.featurenumber_text(elements[node_id], extra, key)
        _read_extras(reader, elements[node_id], "node", extra, node)

    settings: dict[str, Any] = {}
    for key, value in reader.features(network).items():
        try:
            setting = parse_setting(key, value, f"Feature property {key}", path)
        except FormatError as error:
            raise reader.fail(network, error.message) from None
        if setting is not None:
            settings[key] = setting
    crs = _child(root, "CoordinateSystem")
    extra_keys = {"crs": f"EPSG:{crs.get('epsgCode')}"} \
        if crs is not None and crs.get("epsgCode") else {}
    nodes_list, name = list(nodes.values()), network.get("name") or Path(path).stem
    refuse_impossible({"nodes": nodes_list, "pipes": pipes}, path)
    return new_document(name, nodes_list, pipes, si=si, settings=settings, defaults=defaults,
                        extra=extra_keys, source=path)


Assumed = dict[str, list[str]]


def _named(what: str, ids: list[str]) -> str:
    shown = ", ".join(f"'{i}'" for i in ids[:10])
    more = f" and {len(ids) - 10} more" if len(ids) > 10 else ""
    return f"{what}{'s' if len(ids) > 1 else ''} {shown}{more}"


def _choose_network(reader: _Reader, root: Any, name: str | None) -> Any:
    """The network asked for by name; else the storm network, else the first. Taking one of
    several is said, with the names of those left."""
    networks = [network for group in _children(root, "PipeNetworks")
                for network in _children(group, "PipeNetwork")]
    if not networks:
        raise FormatError(reader.path, "no PipeNetworks/PipeNetwork element")
    names = [network.get("name") or f"#{index + 1}" for index, network in enumerate(networks)]
    if name is not None:
        if name not in names:
            raise FormatError(reader.path, f"no pipe network named '{name}' (the file has "
                                           + ", ".join(f"'{n}'" for n in names) + ")")
        chosen = names.index(name)
    else:
        storm = [index for index, network in enumerate(networks)
                 if (network.get("pipeNetType") or "").lower() == "storm"]
        chosen = storm[0] if storm else 0
    if len(networks) > 1:
        left = ", ".join(f"'{n}'" for i, n in enumerate(names) if i != chosen)
        how = ("as asked" if name is not None
               else "the storm network" if (networks[chosen].get("pipeNetType") or "").lower()
               == "storm" else "the first")
        reader.warn(f"{len(networks)} pipe networks: read '{names[chosen]}' ({how}), left "
                    f"{left} (choose with network=)")
    return networks[chosen]


def _structure_size(reader: _Reader, struct: Any) -> float | None:
    """The structure's diameter in the file's size unit: a round structure's own, a
    rectangular one's that of the circle of the same plan area."""
    circle = _child(struct, "CircStruct")
    if circle is not None and circle.get("diameter") is not None:
        return reader.number(circle, "diameter")
    box = _child(struct, "RectStruct")
    if box is not None and box.get("length") is not None and box.get("width") is not None:
        return math.sqrt(4.0 * reader.number(box, "length") * reader.number(box, "width")
                         / math.pi)
    return None


def _material_n(material: str) -> float | None:
    words = material.lower()
    for names, n in MATERIAL_N:
        if any(name in words for name in names):
            return n
    return None


def _read_pipe(reader: _Reader, element: Any, nodes: Mapping[str, Any],
               pipe_ends: Mapping[tuple[str, str], float], to_length: float, to_size: float,
               default_n: float, assumed: Assumed) -> dict[str, Any]:
    pipe_id = reader.text(element, "name")
    start, end = reader.text(element, "refStart"), reader.text(element, "refEnd")
    for node_id in (start, end):
        if node_id not in nodes:
            raise reader.fail(element, f"'{pipe_id}' names unknown structure '{node_id}'")
    extra = reader.features(element)
    pipe: dict[str, Any] = {"id": pipe_id, "from": start, "to": end}
    _read_extras(reader, element, "pipe", extra, pipe)
    if element.get("length") is not None:
        pipe["length"] = reader.number(element, "length") * to_length
    else:  # the plan distance between the structures
        a, b = nodes[start], nodes[end]
        pipe["length"] = math.hypot(b["x"] - a["x"], b["y"] - a["y"])
        assumed["length"].append(pipe_id)
    shapes = [child for child in element if _local(child) in ("CircPipe", "RectPipe",
                                                                "ElliPipe")]
    if not shapes:
        others = [_local(child) for child in element if _local(child).endswith("Pipe")]
        what = f"a {others[0]} section" if others else "no CircPipe, RectPipe or ElliPipe"
        raise reader.fail(element, f"'{pipe_id}' has {what}; rillway reads CircPipe, "
                                   "RectPipe and ElliPipe")
    section = shapes[0]
    kind = _local(section)
    if kind == "CircPipe":
        pipe["diameter"] = reader.number(section, "diameter") * to_size
        pipe["shape"] = "circular"
    else:
        rise = reader.number(section, "height") * to_size
        span = reader.number(section, "width" if kind == "RectPipe" else "span") * to_size
        shape = "box" if kind == "RectPipe" else extra.get("shape", "elliptical")
        pipe.update(diameter=rise, shape=shape if shape in ("elliptical", "arch", "box")
                    else "elliptical", rise_ft=rise, span_ft=span)
    if section.get("mannings") is not None:
        pipe["n"] = reader.number(section, "mannings")
    else:
        material = section.get("material") or element.get("material") or ""
        by_material = _material_n(material)
        pipe["n"] = by_material if by_material is not None else default_n
        assumed["material" if by_material is not None else "default"].append(pipe_id)
    if (start, pipe_id) in pipe_ends:
        pipe["invert_up"] = pipe_ends[(start, pipe_id)]
    if (end, pipe_id) in pipe_ends:
        pipe["invert_dn"] = pipe_ends[(end, pipe_id)]
    return pipe


# The node and pipe keys LandXML has elements or fixed Feature properties for; the others ride
# as Feature properties holding their JSON.
NATIVE = {"node": ("id", "x", "y", "invert", "rim", *NODE_FEATURES),
          "pipe": ("id", "from", "to", "length", "diameter", "n", "shape", "rise_ft",
                   "span_ft", "invert_up", "invert_dn")}


def _extras(record: str, given: Mapping[str, Any]) -> dict[str, str]:
    return {key: setting_text(value)
            for key, value in record_extras(record, given, NATIVE[record]).items()}


def _read_extras(reader: _Reader, element: Any, record: str, values: Mapping[str, str],
                 target: dict[str, Any]) -> None:
    for key in keys_of(record):
        if key in values and key not in NATIVE[record]:
            try:
                target[key] = parse_value(values[key])
            except ValueError:
                raise reader.fail(element, f"Feature property {key}: '{values[key]}' is not "
                                           "a value") from None


def write_landxml(document: Mapping[str, Any], path: str,
                  result: AnalysisResult | None = None) -> None:
    """Writes a project document as a LandXML 1.2 pipe network: Imperial units (feet, pipe
    sizes in inches) for a US project, Metric (metres, millimetres) for an SI one."""
    etree = _lxml()
    view = analysis_view(document, path)
    si = is_si(document)
    length = METRES_PER_FOOT if si else 1.0            # document units per foot
    size = 1000.0 * METRES_PER_FOOT if si else 12.0    # mm or inches per foot
    q = etree.QName
    root = etree.Element(q(NAMESPACE, "LandXML"), nsmap={None: NAMESPACE},
                         version="1.2", date="2000-01-01", time="00:00:00")
    units = etree.SubElement(root, q(NAMESPACE, "Units"))
    if si:
        etree.SubElement(units, q(NAMESPACE, "Metric"), areaUnit="squareMeter",
                         linearUnit="meter", volumeUnit="cubicMeter",
                         temperatureUnit="celsius", pressureUnit="milliBars",
                         diameterUnit="millimeter")
    else:
        etree.SubElement(units, q(NAMESPACE, "Imperial"), areaUnit="squareFoot",
                         linearUnit="foot", volumeUnit="cubicFeet",
                         temperatureUnit="fahrenheit", pressureUnit="inchHG",
                         diameterUnit="inch")
    crs = str(document.get("crs") or "")
    if crs.upper().startswith("EPSG:"):
        etree.SubElement(root, q(NAMESPACE, "CoordinateSystem"), epsgCode=crs[5:])
    networks = etree.SubElement(root, q(NAMESPACE, "PipeNetworks"))
    network = etree.SubElement(networks, q(NAMESPACE, "PipeNetwork"),
                               name=plain_name(view["name"], "project name", path)
                               or Path(path).stem, pipeNetType="storm")
    structs = etree.SubElement(network, q(NAMESPACE, "Structs"))
    pipes = etree.SubElement(network, q(NAMESPACE, "Pipes"))

    def feature(parent: Any, values: Mapping[str, Any]) -> None:
        element = etree.SubElement(parent, q(NAMESPACE, "Feature"), code=FEATURE_CODE)
        for key, value in values.items():
            text = value if isinstance(value, str) else setting_text(value)
            etree.SubElement(element, q(NAMESPACE, "Property"), label=key, value=text)

    ends: dict[str, list[tuple[str, float, str]]] = {node["id"]: [] for node in view["nodes"]}
    for pipe in view["pipes"]:
        ends[pipe["from"]].append((pipe["id"], pipe["invert_up"], "out"))
        ends[pipe["to"]].append((pipe["id"], pipe["invert_dn"], "in"))
    for node, given in zip(view["nodes"], document["nodes"]):
        plain_name(node["id"], "node id", path)
        struct = etree.SubElement(structs, q(NAMESPACE, "Struct"), name=node["id"],
                                  elevRim=number_text(converted(node["rim"], length)),
                                  elevSump=number_text(converted(node["invert"], length)))
        center = etree.SubElement(struct, q(NAMESPACE, "Center"))
        northing, easting = (converted(node[axis], length) for axis in ("y", "x"))
        center.text = f"{number_text(northing)} {number_text(easting)}"
        etree.SubElement(struct, q(NAMESPACE, "CircStruct"),
                         diameter=number_text(converted(node["diameter_ft"], size)))
        for pipe_id, invert, direction in ends[node["id"]]:
            etree.SubElement(struct, q(NAMESPACE, "Invert"),
                             elev=number_text(converted(invert, length)), flowDir=direction,
                             refPipe=pipe_id)
        feature(struct, {"kind": node["kind"],
                         "area_ac": converted(node["area_ac"],
                                              1.0 / ACRES_PER_HECTARE if si else 1.0),
                         "c": node["c"], "tc_inlet": node["tc_inlet"],
                         "diameter_ft": converted(node["diameter_ft"], length),
                         **_extras("node", given)})
    for pipe, given in zip(view["pipes"], document["pipes"]):
        plain_name(pipe["id"], "pipe id", path)
        if pipe["side_slope"] is not None or pipe["barrels"] != 1:
            what = ("sets 'side_slope' (an open channel)" if pipe["side_slope"] is not None
                    else "sets 'barrels'")
            raise FormatError(path, f"pipe '{pipe['id']}' {what}: LandXML pipe networks "
                                    "hold single closed pipes")
        element = etree.SubElement(pipes, q(NAMESPACE, "Pipe"), name=pipe["id"],
                                   refStart=pipe["from"], refEnd=pipe["to"],
                                   length=number_text(converted(pipe["length"], length)))
        n = number_text(pipe["n"])
        if pipe["shape"] == "circular":
            etree.SubElement(element, q(NAMESPACE, "CircPipe"),
                             diameter=number_text(converted(pipe["rise"], size)), mannings=n)
        elif pipe["shape"] == "box":
            etree.SubElement(element, q(NAMESPACE, "RectPipe"),
                             height=number_text(converted(pipe["rise"], size)),
                             width=number_text(converted(pipe["span"], size)), mannings=n)
        else:
            etree.SubElement(element, q(NAMESPACE, "ElliPipe"),
                             height=number_text(converted(pipe["rise"], size)),
                             span=number_text(converted(pipe["span"], size)), mannings=n)
            feature(element, {"shape": pipe["shape"]})
        if _extras("pipe", given):
            feature(element, _extras("pipe", given))
    feature(network, {key: setting_text(value)
                      for key, value in design_settings(document).items()})
    text = etree.tostring(root, xml_declaration=True, encoding="UTF-8", pretty_print=True)

    def write(temporary: str) -> None:
        with open(temporary, "wb") as stream:
            stream.write(text)

    write_atomically(path, write)

