"""The street in EPA SWMM 5.2 files: [STREETS], [INLETS] and [INLET_USAGE].

EPA SWMM 5.2.4 reads the gutter's and the inlet's depressions in the model's length unit (ft or m),
not in the inches or millimetres its manual names: both are written and read so.

SWMM models the street as conduits of a STREET cross-section on the surface; an inlet sits at the
downstream end of a street conduit, takes its share of the conduit's flow into a sewer node, and
the rest (the bypass) goes on from the conduit's downstream node. rillway writes each street
inlet `V` as such a conduit `V~gutter` from the street node `V~street`, where the inlet's own
runoff enters as a constant inflow, to the street node of the inlet its bypass reaches (or to the
structure it names, or to a free outfall `V~lost` where the bypass leaves the system; a sag inlet
ends its gutter in a pond `V~sag`). The gutter falls at the inlet's longitudinal slope. Reading
turns each [INLET_USAGE] row back into the inlet record of its sewer node and leaves the street
conduits and nodes out of the pipe network.

What SWMM reads differently (EPA SWMM Reference Manual Vol. II, section 7.6): its clogging
scales the captured flow where HEC-22's shortens the inlet; a two-sided street splits its flow
between two gutters (refused: rillway's inlet has one gutter); an inlet's capture limit (Qmax)
and the drop and custom inlets are refused.
"""
from __future__ import annotations

import math
from collections.abc import Mapping
from dataclasses import dataclass, field
from typing import TYPE_CHECKING, Any

from .errors import FormatError
from .network import converted, number_text
from .si import METRES_PER_FOOT

if TYPE_CHECKING:
    from .swmm import _Reader

__all__ = ["StreetModel", "read_streets", "write_streets"]

# rillway's grate types and SWMM's names for them (GENERIC: a custom grate).
GRATE_NAMES = {"p50": "P_BAR-50", "p50x100": "P_BAR-50X100", "p30": "P_BAR-30",
               "curved_vane": "CURVED_VANE", "tilt_bar_45": "TILT_BAR-45",
               "tilt_bar_30": "TILT_BAR-30", "reticuline": "RETICULINE", "custom": "GENERIC"}
GRATE_TYPES = {name: key for key, name in GRATE_NAMES.items()}
# A street section wide and deep enough that no spread of a storm drain reaches its crown or
# tops its curb (ft): the gutter alone decides the flow.
CROWN_FT = 50.0
CURB_FT = 1.5
GUTTER_FT = 100.0  # a gutter without a bypass target's position to measure by
# The street falling into a sag: the slope plays no part in a sag inlet's equations, and SWMM's
# dynamic wave settles on a steady pond only where the gutter into it falls.
SAG_SLOPE = 0.005
SUFFIXES = ("~street", "~gutter", "~inlet", "~road", "~sag", "~lost")
# The inlet keys a rillway file carries exactly in the sewer node's tag, beside what SWMM's
# own fields hold in percent, inches or a slope from elevations.
EXACT_TAGS = ("cross_slope", "gutter_slope", "clogging", "gutter_depression_ft",
              "local_depression_ft", "spread_allow_ft")


# ---------------------------------------------------------------------------------------------
# Writing

def write_streets(out: Any, document: Mapping[str, Any], view: Mapping[str, Any],
                  result: Mapping[str, Any], inflow: dict[str, float], si: bool,
                  path: str) -> dict[str, str]:
    """Adds the street sections for a project's street inlets, moves the flow the inlets pass
    from the sewer nodes' constant inflows onto the street, and returns the sewer node tags."""
    inlets = {inlet["id"]: inlet for inlet in view.get("inlets", ())}
    _refuse_untyped(document, inlets, path)
    if not inlets:
        return {}
    length = METRES_PER_FOOT if si else 1.0
    flow = METRES_PER_FOOT ** 3 if si else 1.0
    nodes = {node["id"]: node for node in view["nodes"]}
    taken = set(nodes) | {pipe["id"] for pipe in view["pipes"]}
    for name in inlets:
        for suffix in SUFFIXES:
            if name + suffix in taken:
                raise FormatError(path, f"node '{name + suffix}' is taken; cannot write the "
                                        f"street of inlet '{name}'")
    records = {row["id"]: row for row in result["inlets"]}

    # Each gutter's downstream end and its length, then the street's elevations from the
    # bottom up: every gutter falls at its inlet's slope.
    ends: dict[str, tuple[str, float]] = {}
    for name, inlet in inlets.items():
        target = inlet["bypass_to"]
        if inlet["sag"]:
            ends[name] = (name + "~sag", GUTTER_FT)
        elif target is None:
            ends[name] = (name + "~lost", GUTTER_FT)
        else:
            here, there = nodes[name], nodes[target]
            run = math.hypot(there["x"] - here["x"], there["y"] - here["y"])
            ends[name] = (target + "~street" if target in inlets else target,
                          run if run >= 10.0 else GUTTER_FT)
    level: dict[str, float] = {}

    def street_level(name: str) -> float:
        if name + "~street" not in level:
            end, run = ends[name]
            inlet = inlets[name]
            if end.endswith("~street"):
                bottom = street_level(end[:-len("~street")])
            else:  # a pond, a lost bypass or a structure: the street at the rim
                bottom = nodes[end if end in nodes else name]["rim"]
            level[end] = bottom
            slope = inlet["gutter_slope"] if not inlet["sag"] else SAG_SLOPE
            # SWMM's slope is the fall over the horizontal run of the conduit's length.
            level[name + "~street"] = bottom + slope * run / math.sqrt(1.0 + slope * slope)
        return level[name + "~street"]

    tags: dict[str, str] = {}
    for name, inlet in inlets.items():
        top = street_level(name)
        end, run = ends[name]
        record = records[name]
        # A street node's depth is the street's (SWMM's rule for a maximum depth of 0).
        out.add("JUNCTIONS", name + "~street", number_text(converted(top, length)), "0", "0",
                "0", "0")
        if end == name + "~sag":
            out.add("JUNCTIONS", end, number_text(converted(level[end], length)), "0", "0",
                    "0", "0")
        elif end == name + "~lost":
            out.add("OUTFALLS", end, number_text(converted(level[end], length)), "FREE", "NO")
        out.add("CONDUITS", name + "~gutter", name + "~street", end,
                number_text(converted(run, length)), number_text(inlet["gutter_n"]),
                number_text(converted(top, length)), number_text(converted(level[end], length)),
                "0", "0")
        out.add("XSECTIONS", name + "~gutter", "STREET", name + "~road")
        out.add("STREETS", name + "~road", number_text(converted(CROWN_FT, length)),
                number_text(converted(CURB_FT, length)),
                number_text(100.0 * inlet["cross_slope"]), number_text(inlet["gutter_n"]),
                number_text(converted(inlet["gutter_depression"], length)),
                number_text(converted(inlet["gutter_width"], length)), "1", "0", "0", "0")
        _inlet_lines(out, name, inlet, length)
        out.add("INLET_USAGE", name + "~gutter", name + "~inlet", name, "1",
                number_text(100.0 * inlet["clogging"]), "0",
                number_text(converted(inlet["local_depression"], length)),
                number_text(converted(inlet["local_depression_width"], length)),
                "ON_SAG" if inlet["sag"] else "ON_GRADE")
        out.add("COORDINATES", name + "~street", number_text(converted(nodes[name]["x"], length)),
                number_text(converted(nodes[name]["y"], length)))
        if record["q_own"] > 0.0:
            out.add("INFLOWS", name + "~street", "FLOW", '""', "FLOW", "1.0", "1.0",
                    number_text(converted(record["q_own"], flow)))
        # What the street brings into the pipes is no longer the sewer node's own inflow.
        inflow[name] = max(0.0, inflow.get(name, 0.0) - record["q_intercepted"])
        if end in nodes and record["q_bypass"] > 0.0:
            inflow[end] = max(0.0, inflow.get(end, 0.0) - record["q_bypass"])
        tags[name] = _exact_tag(inlet, length)
    return tags


def _inlet_lines(out: Any, name: str, inlet: Mapping[str, Any], length: float) -> None:
    kind = inlet["type"]
    size = inlet["length"]
    if kind in ("grate", "combination"):
        fields = [number_text(converted(size, length)),
                  number_text(converted(inlet["grate_width"], length)),
                  GRATE_NAMES[inlet["grate_type"]]]
        if inlet["grate_type"] == "custom":
            fields += [number_text(inlet["opening_ratio"]),
                       number_text(converted(inlet["splash_velocity"], length))]
        out.add("INLETS", name + "~inlet", "GRATE", *fields)
    if kind in ("curb", "combination"):
        curb = max(size, inlet["curb_length"]) if kind == "combination" else size
        out.add("INLETS", name + "~inlet", "CURB", number_text(converted(curb, length)),
                number_text(converted(inlet["curb_height"], length)), inlet["throat"].upper())
    if kind == "slotted":
        out.add("INLETS", name + "~inlet", "SLOTTED", number_text(converted(size, length)),
                number_text(converted(inlet["slot_width"], length)))


def _exact_tag(inlet: Mapping[str, Any], length: float) -> str:
    values = {"cross_slope": inlet["cross_slope"], "gutter_slope": inlet["gutter_slope"],
              "clogging": inlet["clogging"],
              "gutter_depression_ft": converted(inlet["gutter_depression"], length),
              "local_depression_ft": converted(inlet["local_depression"], length)}
    if inlet["spread_allow"] is not None:
        values["spread_allow_ft"] = converted(inlet["spread_allow"], length)
    return ",".join(f"{key}={number_text(value)}" for key, value in values.items())


def _refuse_untyped(document: Mapping[str, Any], inlets: Mapping[str, Any], path: str) -> None:
    """An inlet record without a type, or a bypass_to without an inlet, plays no part in the
    analysis and SWMM has no place for it: refused, as every key a format cannot carry is."""
    for node in document["nodes"]:
        if node.get("id") in inlets:
            continue
        inlet = node.get("inlet") or {}
        if node.get("bypass_to") is not None or any(
                value not in (0, 0.0, False, None, "none") for value in inlet.values()):
            key = "bypass_to" if node.get("bypass_to") is not None else "inlet"
            raise FormatError(path, f"node '{node.get('id')}' sets '{key}': EPA SWMM input "
                                    "cannot carry it; keep this network as .rwproj")


# ---------------------------------------------------------------------------------------------
# Reading

@dataclass
class StreetModel:
    """The street of a model: its conduits and nodes (not part of the pipe network), each sewer
    node's inlet record and bypass target, and the sewer node each street node's runoff
    reaches."""

    links: set[str] = field(default_factory=set)
    nodes: set[str] = field(default_factory=set)
    inlets: dict[str, dict[str, Any]] = field(default_factory=dict)
    bypass_to: dict[str, str] = field(default_factory=dict)
    drains_to: dict[str, str] = field(default_factory=dict)


def read_streets(reader: _Reader, offsets: str) -> StreetModel:
    from .swmm import _tag_values, _tags, _tokens

    model = StreetModel()
    xsections = reader.section("XSECTIONS")
    shaped = {str(name) for name, x in xsections.items() if str(x.shape).upper() == "STREET"}
    if not shaped and "INLET_USAGE" not in reader.lines.sections:
        return model
    conduits = {str(name): record for name, record in reader.section("CONDUITS").items()}

    def only_on(links: set[str]) -> set[str]:
        touched: dict[str, set[bool]] = {}
        for name, record in conduits.items():
            for end in (str(record.from_node), str(record.to_node)):
                touched.setdefault(end, set()).add(name in links)
        return {node for node, kinds in touched.items() if kinds == {True}}

    # The street runs from nodes that only street conduits touch. A street conduit leaving a
    # structure is an overland path the pipe network does not hold: it stays with the pipes,
    # which refuse its shape.
    surface = only_on(shaped)
    model.links = {name for name in shaped if str(conduits[name].from_node) in surface}
    model.nodes = only_on(model.links)
    leaving: dict[str, list[str]] = {}
    for name in model.links:
        leaving.setdefault(str(conduits[name].from_node), []).append(name)

    elevations: dict[str, float] = {}
    for label in ("JUNCTIONS", "OUTFALLS", "STORAGE"):
        for node_name, node in reader.section(label).items():
            elevations[str(node_name)] = reader.number(node.elevation, label, node_name,
                                                       "invert elevation")

    def rows(label: str) -> dict[str, list[tuple[int, list[str]]]]:
        found: dict[str, list[tuple[int, list[str]]]] = {}
        for number, line in reader.lines.rows(label):
            words = _tokens(line)
            if words:
                found.setdefault(words[0], []).append((number, words))
        return found

    def fail(number: int, problem: str) -> FormatError:
        return FormatError(reader.path, f"line {number}: {problem}")

    def value(number: int, text: str, what: str) -> float:
        try:
            result = float(text)
        except ValueError:
            raise fail(number, f"{what} '{text}' is not a number") from None
        if not math.isfinite(result):
            raise fail(number, f"{what} '{text}' is not a finite number")
        return result

    streets = rows("STREETS")
    designs = rows("INLETS")
    sections = rows("XSECTIONS")
    usage = rows("INLET_USAGE")
    node_tags = _tags(reader, "Node")
    for conduit, usages in usage.items():
        number, words = usages[0]
        if conduit not in model.links:
            raise fail(number, f"[INLET_USAGE] conduit '{conduit}' is not a street conduit")
        if len(words) < 3:
            raise fail(number, "[INLET_USAGE] needs a conduit, an inlet and a node")
        words = words + ["1", "0", "0", "0", "0", "AUTOMATIC"][len(words) - 3:]
        design, sewer = words[1], words[2]
        if sewer in model.inlets:
            raise fail(number, f"node '{sewer}' takes two street inlets; rillway's structure "
                               "has one inlet")
        count = value(number, words[3], "number of inlets")
        if count < 1 or count != int(count):
            raise fail(number, f"number of inlets {words[3]} must be a whole number of 1 or more")
        if value(number, words[5], "capture limit") != 0.0:
            raise fail(number, f"inlet on '{conduit}' has a capture limit (Qmax); rillway's "
                               "inlets capture what HEC-22 gives")
        lines = designs.get(design)
        if not lines:
            raise fail(number, f"[INLET_USAGE] names unknown inlet '{design}'")
        record: dict[str, Any] = _design_record(lines, int(count), value, fail)
        record["clogging"] = value(number, words[4], "percent clogged") / 100.0
        record["local_depression_ft"] = value(number, words[6], "local depression")
        record["local_depression_width_ft"] = value(number, words[7], "local depression width")
        link = conduits[conduit]
        street_line, street_words = sections[conduit][0]
        road = streets.get(street_words[2]) if len(street_words) > 2 else None
        if not road:
            raise fail(street_line, f"street conduit '{conduit}' names an unknown street")
        road_line, road_words = road[0]
        if len(road_words) < 5:
            raise fail(road_line, f"street '{road_words[0]}' needs Tcrown, Hcurb, Sx and nRoad")
        road_words = road_words + ["0", "0", "2"][len(road_words) - 5:]
        if value(road_line, road_words[7], "sides") != 1.0:
            raise fail(road_line, f"street '{road_words[0]}' has two sides; rillway's inlet "
                                  "takes one gutter's flow: give each side a street conduit "
                                  "of its own (sides 1)")
        record["cross_slope"] = value(road_line, road_words[3], "cross slope") / 100.0
        record["gutter_n"] = value(road_line, road_words[4], "road roughness")
        record["gutter_depression_ft"] = value(road_line, road_words[5], "gutter depression")
        record["gutter_width_ft"] = value(road_line, road_words[6], "gutter width")
        source, target = str(link.from_node), str(link.to_node)
        placement = words[8].upper()
        sag = placement == "ON_SAG" or (placement == "AUTOMATIC" and target in model.nodes
                                        and target not in leaving)
        record["sag"] = sag
        record["gutter_slope"] = 0.0 if sag else _slope(reader, conduit, link, elevations,
                                                        offsets)
        tagged = _tag_values(node_tags.get(sewer))
        for key in EXACT_TAGS:
            if key in tagged:
                record[key] = reader.number(tagged[key], "TAGS", sewer, f"{key} tag")
        model.inlets[sewer] = record
        model.drains_to[source] = sewer
        if not sag:
            model.bypass_to[sewer] = target  # resolved below to the sewer node it reaches
    # The sewer node of the inlet on each street conduit that has one.
    inlet_of_link = {conduit: lines[0][1][2] for conduit, lines in usage.items()}
    for sewer, target in list(model.bypass_to.items()):
        seen = set()
        while target in model.nodes and target in leaving and target not in seen:
            seen.add(target)
            onward = leaving[target]
            if len(onward) > 1:
                raise FormatError(reader.path, f"street node '{target}' splits its flow among "
                                               f"{len(onward)} street conduits; rillway's bypass "
                                               "goes one way")
            if onward[0] in inlet_of_link:
                target = inlet_of_link[onward[0]]
                break
            target = str(conduits[onward[0]].to_node)
        if target in model.nodes:  # a dead end or a street outfall: the bypass is lost
            del model.bypass_to[sewer]
        else:
            model.bypass_to[sewer] = target
    return model


def _design_record(lines: list[tuple[int, list[str]]], count: int, value: Any,
                   fail: Any) -> dict[str, Any]:
    """An inlet record from the [INLETS] lines of one design (a GRATE and a CURB line together
    make a combination inlet)."""
    kinds = {words[1].upper(): (number, words) for number, words in lines}
    unknown = set(kinds) - {"GRATE", "CURB", "SLOTTED"}
    if unknown or ("SLOTTED" in kinds and len(kinds) > 1):
        number, words = lines[0]
        raise fail(number, f"inlet '{words[0]}' is of kind {', '.join(sorted(kinds))}; rillway "
                           "computes grates, curb openings, slotted drains and grate-and-curb "
                           "combinations")
    record: dict[str, Any] = {}
    if "GRATE" in kinds:
        number, words = kinds["GRATE"]
        words = words + [""] * (7 - len(words))
        grate = words[4].upper()
        if grate not in GRATE_TYPES:
            raise fail(number, f"inlet '{words[0]}' has grate type '{words[4]}'")
        record.update(type="grate", length_ft=value(number, words[2], "grate length"),
                      grate_width_ft=value(number, words[3], "grate width"),
                      grate_type=GRATE_TYPES[grate], grates=count)
        if grate == "GENERIC":
            record["opening_ratio"] = value(number, words[5], "open area fraction")
            record["splash_velocity_fps"] = value(number, words[6], "splash-over velocity")
    if "CURB" in kinds:
        number, words = kinds["CURB"]
        words = words + ["HORIZONTAL"] * (5 - len(words))
        curb = value(number, words[2], "curb opening length")
        height = value(number, words[3], "curb opening height")
        throat = words[4].lower()
        if throat not in ("horizontal", "inclined", "vertical"):
            raise fail(number, f"inlet '{words[0]}' has throat '{words[4]}'")
        if "type" in record:
            record.update(type="combination", curb_height_ft=height, throat=throat)
            if curb > record["length_ft"] * count:
                record["curb_length_ft"] = curb
        else:
            record.update(type="curb", length_ft=curb * count, curb_height_ft=height,
                          throat=throat)
    if "SLOTTED" in kinds:
        number, words = kinds["SLOTTED"]
        record.update(type="slotted", length_ft=value(number, words[2], "slot length") * count,
                      slot_width_ft=value(number, words[3], "slot width"))
    record.setdefault("grate_width_ft", 0.0)
    return record


def _slope(reader: _Reader, conduit: str, link: Any, elevations: Mapping[str, float],
           offsets: str) -> float:
    """A street conduit's slope, fall over horizontal run as SWMM takes it."""
    up = reader.number(link.offset_upstream, "CONDUITS", conduit, "upstream offset")
    down = reader.number(link.offset_downstream, "CONDUITS", conduit, "downstream offset")
    if offsets == "DEPTH":
        up += elevations.get(str(link.from_node), 0.0)
        down += elevations.get(str(link.to_node), 0.0)
    run = reader.positive(link.length, "CONDUITS", conduit, "length")
    fall = up - down
    return fall / math.sqrt(max(run * run - fall * fall, 1e-300))
