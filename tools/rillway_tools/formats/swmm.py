"""EPA SWMM 5 input files (.inp), read and written.

Reading goes through `swmm-api`, which parses every section of the format (quoting, comments,
all the object kinds); this module then takes what a gravity storm network needs. Writing is
done here because `swmm-api` prints numbers to 7 significant digits and coordinates to 3
decimals, and SWMM itself reads full doubles: a written model carries every value exactly.

What is read
    junctions, storage units (as junctions) and outfalls, with the invert, the rim (invert plus
    maximum depth; a maximum depth of 0 means, as in SWMM, the highest crown of the pipes at the
    node) and the coordinates; conduits with DEPTH or ELEVATION offsets, CIRCULAR, RECT_CLOSED,
    RECT_OPEN, TRAPEZOIDAL or TRIANGULAR sections and their barrels; subcatchments folded into
    the node they drain to, with their area and a runoff coefficient from their imperviousness
    (`runoff_coefficient`, replaceable) and the inlet time `tc_inlet` of `defaults` (10 min
    unless set). A FIXED outfall stage becomes the tailwater. External inflows ([INFLOWS]: the
    baseline times the largest factor of its pattern, plus the peak of the time series times
    its scale factor) and dry-weather flows ([DWF]: the average times the largest factor of
    each of its patterns) become the node's known inflow `inflow_cfs`, each with a
    `rillway.InputWarning` saying what was taken. CMS, LPS and MLD models become SI projects (m, ha); CFS, GPM and MGD models US
    ones (ft, acres). Pumps, orifices, weirs, outlets, dividers and other shapes are refused.

What is written
    the network with its design flows as constant inflows, so that SWMM's dynamic wave carries
    the rational design flows: each node's own inflow is its design outflow less what its pipes
    bring (never below zero). Junction depth = rim - invert, outfalls FIXED at the tailwater
    (else FREE), conduit inverts as ELEVATION offsets, the structure loss coefficient as each
    conduit's entry loss, and the catchment of each node as a subcatchment (no rainfall).
    rillway's own data rides in places SWMM ignores: design settings on TITLE lines
    `rillway key=value ...`; in TAGS a node's kind (an outfall's rim) and known inflow, a pipe's
    shape, and a subcatchment's exact C and inlet time. A file so marked reads its known
    inflows from the tags, since its [INFLOWS] are the design flows.
"""
from __future__ import annotations

import math
import re
import warnings
from collections.abc import Callable, Iterator, Mapping
from pathlib import Path
from dataclasses import dataclass
from typing import Any, Literal

import rillway

from ..results import AnalysisResult
from .errors import FormatError
from .files import read_text, write_text
from .network import (STANDARD_STRUCTURE_FT, analysis_view, analyze_document, check_document,
                      converted, design_settings, finite, is_si, new_document, number_text,
                      parse_setting, plain_name, refuse_uncarried, setting_text)
from .swmm_street import read_streets, write_streets
from .si import (CUBIC_METRES_PER_CUBIC_FOOT, HECTARES_PER_ACRE, METRES_PER_FOOT,
                 SQUARE_FEET_PER_ACRE)

__all__ = ["DEFAULT_TC_INLET", "read_inp", "simple_method_c", "write_inp"]

DEFAULT_TC_INLET = 10.0  # min, the engine's own inlet time of an inlet or junction
SI_FLOW_UNITS = ("CMS", "LPS", "MLD")
US_FLOW_UNITS = ("CFS", "GPM", "MGD")
REFUSED_LINKS = (("PUMPS", "pump"), ("ORIFICES", "orifice"), ("WEIRS", "weir"),
                 ("OUTLETS", "outlet"))
TITLE_MARK = "rillway"
# The keys of nodes and pipes an .inp file carries: in its own fields, or in TAGS.
CARRIED = {"node": ("id", "kind", "x", "y", "invert", "rim", "area_ac", "c", "tc_inlet",
                    "diameter_ft", "benching", "inflow_cfs", "inlet", "bypass_to"),
           "pipe": ("id", "from", "to", "length", "diameter", "n", "shape", "rise_ft",
                    "span_ft", "invert_up", "invert_dn", "lock", "side_slope", "barrels")}
# Each flow unit in the project's own (cfs for the US ones, m3/s for the SI ones): US gallons
# of 231 in^3 (0.1336806 ft^3), litres of 0.001 m^3, over 60 s or 86,400 s.
GALLON_FT3 = 231.0 / 1728.0
FLOW_UNIT_SCALE = {"CFS": 1.0, "GPM": GALLON_FT3 / 60.0, "MGD": 1e6 * GALLON_FT3 / 86400.0,
                   "CMS": 1.0, "LPS": 0.001, "MLD": 1e6 * 0.001 / 86400.0}
# The cross-sections a conduit may have (the ellipses and the arch as rillway writes them).
READ_SHAPES = {"CIRCULAR", "RECT_CLOSED", "HORIZ_ELLIPSE", "VERT_ELLIPSE", "ARCH", "RECT_OPEN",
               "TRAPEZOIDAL", "TRIANGULAR"}
# The sections the reader takes its network from, and those that only draw the map or set up
# SWMM's own report; every other section of a model is named as not read.
READ_SECTIONS = {"TITLE", "OPTIONS", "JUNCTIONS", "STORAGE", "OUTFALLS", "CONDUITS",
                 "XSECTIONS", "SUBCATCHMENTS", "COORDINATES", "TAGS", "DIVIDERS", "INFLOWS",
                 "DWF", "STREETS", "INLETS", "INLET_USAGE",
                 *(label for label, _ in REFUSED_LINKS)}
DRAWING_SECTIONS = {"MAP", "VERTICES", "POLYGONS", "SYMBOLS", "LABELS", "BACKDROP",
                    "PROFILES", "REPORT"}


def simple_method_c(imperviousness: float) -> float:
    """Runoff coefficient from imperviousness by the Simple Method, Rv = 0.05 + 0.9 Ia.

    Parameters
    ----------
    imperviousness : impervious share of the catchment [%], 0 to 100.

    Returns
    -------
    The runoff coefficient [-], 0.05 for a pervious catchment to 0.95 for a paved one.

    Source: T. R. Schueler (1987), Controlling Urban Runoff, Metropolitan Washington Council of
    Governments, chapter 1.2: Rv = 0.05 + 0.009 I, I in percent. Example: I = 50 % gives 0.5.
    """
    return 0.05 + 0.009 * imperviousness


def _imperviousness(c: float) -> float:
    """The inverse of `simple_method_c`, clipped to 0..100 %."""
    return min(100.0, max(0.0, (c - 0.05) / 0.009))


# ---------------------------------------------------------------------------------------------
# Reading

# EPA SWMM's tokenizer: words separated by white space, a double-quoted word kept whole, and
# a ';' outside quotes starting a comment.
_TOKEN = re.compile(r'"[^"]*"|[^\s";]+|;')
# Sections whose every data line is one named record; a name given twice is refused, as
# EPA SWMM refuses it (its error 207), and each line must become a record.
RECORD_SECTIONS = ("JUNCTIONS", "OUTFALLS", "STORAGE", "DIVIDERS", "CONDUITS", "PUMPS",
                   "ORIFICES", "WEIRS", "OUTLETS", "XSECTIONS", "SUBCATCHMENTS", "SUBAREAS",
                   "INFILTRATION", "COORDINATES", "LOSSES", "STREETS", "INLET_USAGE")
# Names shared by one kind of object: a node is a junction, an outfall, a storage unit or a
# divider, never two of them; likewise a link.
NAME_SPACES = (("node", ("JUNCTIONS", "OUTFALLS", "STORAGE", "DIVIDERS")),
               ("link", ("CONDUITS", "PUMPS", "ORIFICES", "WEIRS", "OUTLETS")))


def _tokens(line: str) -> list[str]:
    words = []
    for word in _TOKEN.findall(line):
        if word == ";":
            break
        words.append(word[1:-1] if word.startswith('"') else word)
    return words


class _Lines:
    """The file split into sections as EPA SWMM splits it: a heading only where a line's first
    word starts with '['. A bracket in a comment, a title or a name starts nothing. Each
    section is kept as the text between its heading and the next, and read line by line when
    used, so the file is held once and the sections rillway never reads cost nothing more."""

    def __init__(self, text: str, path: str) -> None:
        self.path = path
        # Section -> its pieces: (number of the heading's line, the text below it).
        self._blocks: dict[str, list[tuple[int, str]]] = {}
        heading = re.compile(r"^[ \t]*\[([^\]\n]*)\][^\n]*$", re.MULTILINE)
        found = list(heading.finditer(text))
        line = 1
        position = 0
        for index, match in enumerate(found):
            line += text.count("\n", position, match.start())
            position = match.start()
            end = found[index + 1].start() if index + 1 < len(found) else len(text)
            label = match.group(1).strip().upper()
            self._blocks.setdefault(label, []).append((line, text[match.end():end]))
        self.sections = set(self._blocks)
        self._check_names()

    def rows(self, section: str) -> Iterator[tuple[int, str]]:
        """(line number, line) of each data line of a section: comments and blank lines
        left out, [TITLE] lines as written."""
        for heading, block in self._blocks.get(section, ()):
            for offset, line in enumerate(block.split("\n")):
                stripped = line.strip()
                if not stripped or stripped.startswith(";"):
                    continue
                if section == "TITLE" or _TOKEN.match(stripped):
                    yield heading + offset, stripped

    def names(self, section: str) -> Iterator[tuple[int, str]]:
        for number, line in self.rows(section):
            words = _tokens(line)
            if words:
                yield number, words[0]

    def _check_names(self) -> None:
        for section in RECORD_SECTIONS:
            seen: dict[str, int] = {}
            for number, name in self.names(section):
                if name in seen:
                    raise FormatError(self.path, (
                        f"line {number}: [{section}] '{name}' is given twice (lines "
                        f"{seen[name]} and {number})"))
                seen[name] = number
        for kind, sections in NAME_SPACES:
            owner: dict[str, tuple[str, int]] = {}
            for section in sections:
                for number, name in self.names(section):
                    if name in owner:
                        first, where = owner[name]
                        raise FormatError(self.path, (
                            f"line {number}: {kind} '{name}' is in [{first}] (line {where}) "
                            f"and [{section}] (line {number})"))
                    owner[name] = (section, number)

    def line(self, section: str, name: str) -> str:
        """Where a record stands, for a message: found when asked, not kept for each one."""
        for number, found in self.names(section):
            if found == name:
                return f"line {number}"
        pieces = self._blocks.get(section)
        return f"line {pieces[0][0]}" if pieces else f"[{section}]"


# The sections a big model is made of, read here rather than by swmm-api: each record keeps its
# line of text and gives a field's word when asked for it, so that reading holds little more
# than the text (swmm-api's objects of 20,000 conduits take many times the file). The fields
# in order, and the value of each that a line may leave off.
PLAIN_SECTIONS: dict[str, tuple[tuple[str, ...], dict[str, str]]] = {
    "JUNCTIONS": (("name", "elevation", "depth_max", "depth_init", "depth_surcharge",
                   "area_ponded"), {"depth_max": "0", "depth_init": "0", "depth_surcharge": "0",
                                    "area_ponded": "0"}),
    "STORAGE": (("name", "elevation", "depth_max"), {}),
    "CONDUITS": (("name", "from_node", "to_node", "length", "roughness", "offset_upstream",
                  "offset_downstream"), {"offset_upstream": "0", "offset_downstream": "0"}),
    "XSECTIONS": (("name", "shape", "height", "parameter_2", "parameter_3", "parameter_4",
                   "n_barrels"), {"parameter_2": "0", "parameter_3": "0", "parameter_4": "0",
                                  "n_barrels": "1"}),
    "COORDINATES": (("name", "x", "y"), {}),
    "SUBCATCHMENTS": (("name", "rain_gage", "outlet", "area", "imperviousness"), {}),
    "OUTFALLS": (("name", "elevation", "kind", "data"), {"data": ""}),
}


class _Line:
    """One data line of a plain section; `record.field` is the field's word as written."""

    __slots__ = ("line",)
    FIELDS: dict[str, int] = {}
    DEFAULTS: dict[str, str] = {}

    def __init__(self, line: str) -> None:
        self.line = line

    def __getattr__(self, field: str) -> str:
        index = type(self).FIELDS.get(field)
        if index is None:
            raise AttributeError(field)
        words = _tokens(self.line)
        return words[index] if index < len(words) else type(self).DEFAULTS[field]


def _plain_records(reader: "_Reader", label: str) -> dict[str, _Line]:
    fields, defaults = PLAIN_SECTIONS[label]
    kind = type(f"_{label.title()}Line", (_Line,), {
        "__slots__": (), "FIELDS": {field: i for i, field in enumerate(fields)},
        "DEFAULTS": defaults})
    needed = len(fields) - len(defaults)
    records: dict[str, _Line] = {}
    for number, line in reader.lines.rows(label):
        words = _tokens(line)
        if len(words) < needed:
            raise FormatError(reader.path, (
                f"line {number}: [{label}] '{words[0] if words else ''}' needs "
                + ", ".join(fields[len(words):needed])))
        records[words[0]] = kind(line)
    return records


def _convert(label: str, rows: Iterator[tuple[int, str]]) -> Any:
    """One section through swmm-api's converter: object sections as token lists (so the
    library never splits text itself), generic ones (OPTIONS, REPORT, ...) as their lines."""
    from swmm_api.input_file.helpers import BaseSectionObject, convert_section
    from swmm_api.input_file.section_types import SECTION_TYPES

    kind = SECTION_TYPES.get(label)
    if isinstance(kind, type) and issubclass(kind, BaseSectionObject):
        return convert_section(label, (_tokens(line) for _, line in rows), SECTION_TYPES)
    return convert_section(label, "\n".join(line for _, line in rows), SECTION_TYPES)


# The options the reader uses. SWMM's others (dates, time steps, solver settings) are not
# read at all, so a value only SWMM itself understands (DRY_STEP 24:00:00) stops nothing.
USED_OPTIONS = ("FLOW_UNITS", "LINK_OFFSETS")


class _Reader:
    def __init__(self, path: str, defaults: Mapping[str, Any] | None,
                 runoff_coefficient: Callable[[float], float]) -> None:
        self.path = path
        self.defaults = dict(defaults or {})
        self.runoff_coefficient = runoff_coefficient
        self.written_here = False  # the TITLE carries rillway's settings line
        self.said: list[str] = []
        text = read_text(path, "an EPA SWMM input file")
        self.lines = _Lines(text, path)
        del text
        if not self.lines.sections:
            raise FormatError(path, "not an EPA SWMM input file: no [SECTION] headings")
        for needed in ("CONDUITS", "XSECTIONS", "OUTFALLS"):
            if needed not in self.lines.sections:
                raise FormatError(path, f"no [{needed}] section")
        self._converted: dict[str, dict[str, Any]] = {}
        self._sizes: dict[float, float] = {}

    def shared(self, value: float) -> float:
        """One float object for each value of a column with few of them (roughness, pipe
        size): a big model repeats them in thousands of pipes."""
        return self._sizes.setdefault(value, value) if value else value

    def forget(self, *labels: str) -> None:
        """Lets the records of sections already taken in go: a big model's records would
        otherwise stand beside the document built from them. Asked for again, a section is
        read again."""
        for label in labels:
            self._converted.pop(label, None)

    def fail(self, section: str, name: str, problem: str) -> FormatError:
        return FormatError(self.path, f"{self.lines.line(section, name)}: {problem}")

    def assume(self, what: str) -> None:
        self.said.append(f"assumed: {what}")

    def section(self, label: str) -> dict[str, Any]:
        """A section's records by name, converted when first asked for; every data line of a
        record section must have become a record."""
        if label in self._converted:
            return self._converted[label]
        if label not in self.lines.sections:
            return {}
        if label in PLAIN_SECTIONS:
            self._converted[label] = _plain_records(self, label)
            return self._converted[label]
        try:
            with warnings.catch_warnings():
                warnings.simplefilter("ignore")
                rows = self.lines.rows(label)
                if label == "OPTIONS":
                    rows = (row for row in rows if _tokens(row[1])[:1] and
                            _tokens(row[1])[0].upper() in USED_OPTIONS)
                records = dict(_convert(label, rows))
        except Exception as error:  # swmm-api raises what its converters raise
            message = _first_line(error)
            record = re.search(r"\w+\('([^']*)'", message)
            name = record.group(1) if record else ""
            raise self.fail(label, name, f"[{label}] " + message.split(" | ")[0]) from None
        if label in RECORD_SECTIONS and len(records) != sum(1 for _ in self.lines.names(label)):
            for number, name in self.lines.names(label):
                if name not in records:
                    raise FormatError(self.path, f"line {number}: [{label}] line not read "
                                                 "as a record")
        self._converted[label] = records
        return records

    def positive(self, value: Any, section: str, name: str, what: str) -> float:
        """A size, length or roughness: EPA SWMM refuses zero and negative ones."""
        number = self.number(value, section, name, what)
        if not number > 0.0:
            raise self.fail(section, name, f"{section.lower()} '{name}': {what} {number:g} "
                                           "must be above 0")
        return number

    def number(self, value: Any, section: str, name: str, what: str) -> float:
        try:
            return finite(value, what, self.path)
        except FormatError as error:
            raise self.fail(section, name, f"{section.lower()} '{name}': {error.message}") \
                from None


def _percent(reader: _Reader, name: str, value: float) -> float:
    if not 0.0 <= value <= 100.0:
        raise reader.fail("SUBCATCHMENTS", name, f"subcatchment '{name}': imperviousness "
                                                 f"{value:g} % is not 0 to 100")
    return value


def _first_line(error: BaseException) -> str:
    text = str(error).strip().split("\n", 1)[0]
    return text or type(error).__name__


def _tags(reader: _Reader, kind: str) -> dict[str, str]:
    return {str(tag.name): str(tag.tag) for tag in reader.section("TAGS").values()
            if str(tag.kind).upper() == kind.upper()}


def _tag_values(tag: str | None) -> dict[str, str]:
    if not tag:
        return {}
    pairs = (item.split("=", 1) for item in tag.split(",") if "=" in item)
    return {key.strip(): value.strip() for key, value in pairs}


def _title(reader: _Reader) -> tuple[str, dict[str, Any]]:
    lines = [line for _, line in reader.lines.rows("TITLE")]
    name = ""
    settings: dict[str, Any] = {}
    for line in lines:
        words = line.split()
        if words[0] != TITLE_MARK:
            name = name or line
            continue
        reader.written_here = True
        for word in words[1:]:
            key, _, value = word.partition("=")
            try:
                setting = parse_setting(key, value, key, reader.path)
            except FormatError as error:
                raise reader.fail("TITLE", TITLE_MARK, error.message) from None
            if setting is not None:
                settings[key] = setting
    return name, settings


def read_inp(path: str, defaults: Mapping[str, Any] | None = None, *,
             runoff_coefficient: Callable[[float], float] = simple_method_c,
             unsupported: Literal["refuse", "cut"] = "refuse") -> dict[str, Any]:
    """Reads an EPA SWMM 5 input file as a project document.

    Parameters
    ----------
    path : the .inp file.
    defaults : project keys for what SWMM does not carry (`idf_a`, `min_tc`, `junction_k`, ...)
        and `tc_inlet` [min], the inlet time of every subcatchment (default 10 min).
    runoff_coefficient : C [-] from a subcatchment's imperviousness [%]; the Simple Method
        `simple_method_c` unless replaced. A subcatchment written by rillway carries its
        exact C in a tag, which wins.
    unsupported : "refuse" (default) refuses a model with a link rillway cannot model (a
        pump, orifice, weir or outlet; a conduit of a shape it does not read) naming it;
        "cut" cuts each such link: the structure above it becomes a free outfall (unless a
        pipe still leaves it), the part below continues as a network of its own, and each
        cut is said in a `rillway.InputWarning`. Flow dividers are then read as junctions.
    """
    if unsupported not in ("refuse", "cut"):
        raise ValueError(f"unsupported must be 'refuse' or 'cut', not {unsupported!r}")
    reader = _Reader(path, defaults, runoff_coefficient)
    name, settings = _title(reader)
    # Time series and patterns are read for the inflows that name them.
    inflow_data = {"TIMESERIES", "PATTERNS"} if {"INFLOWS", "DWF"} & reader.lines.sections else set()
    unread = sorted(reader.lines.sections - READ_SECTIONS - DRAWING_SECTIONS - inflow_data)
    if unread and not reader.written_here:  # what rillway writes for SWMM's run alone
        reader.said.append("not read: " + ", ".join(f"[{label}]" for label in unread))
    options = reader.section("OPTIONS")
    flow_units = str(options.get("FLOW_UNITS", "CFS")).upper()
    if flow_units not in SI_FLOW_UNITS + US_FLOW_UNITS:
        raise reader.fail("OPTIONS", "FLOW_UNITS", f"unknown FLOW_UNITS '{flow_units}'")
    si = flow_units in SI_FLOW_UNITS
    offsets = str(options.get("LINK_OFFSETS", "DEPTH")).upper()
    if offsets not in ("DEPTH", "ELEVATION"):
        raise reader.fail("OPTIONS", "LINK_OFFSETS", f"unknown LINK_OFFSETS '{offsets}'")

    street = read_streets(reader, offsets)
    cuts: list[_Cut] = []
    for label, kind in REFUSED_LINKS:
        for link, record in reader.section(label).items():
            if unsupported != "cut":
                raise reader.fail(label, link, f"link '{link}' is a {kind}: rillway designs "
                                               "gravity pipes only (conduits); "
                                               "--cut-unsupported cuts it")
            cuts.append(_Cut(kind, str(link), str(record.from_node), str(record.to_node)))
    for divider in reader.section("DIVIDERS"):
        if unsupported != "cut":
            raise reader.fail("DIVIDERS", divider, f"node '{divider}' is a flow divider: "
                                                   "rillway divides no flows by rule; "
                                                   "--cut-unsupported reads it as a junction")

    coordinates = reader.section("COORDINATES")
    node_tags = _tags(reader, "Node")
    nodes: dict[str, dict[str, Any]] = {}
    depths: dict[str, float] = {}
    kind_tagged: set[str] = set()

    def add_node(label: str, record: Any, kind: str, depth: float) -> None:
        node_id = str(record.name)
        if node_id in street.nodes:  # on the street, not a structure of the pipes
            return
        invert = reader.number(record.elevation, label, node_id, "invert elevation")
        point = coordinates.get(node_id)
        x = y = 0.0
        if point is not None:
            x = reader.number(point.x, "COORDINATES", node_id, "x coordinate")
            y = reader.number(point.y, "COORDINATES", node_id, "y coordinate")
        tagged = _tag_values(node_tags.get(node_id))
        if kind != "outfall" and tagged.get("kind") in ("inlet", "junction"):
            kind = tagged["kind"]
            kind_tagged.add(node_id)
        nodes[node_id] = {"id": node_id, "kind": kind, "x": x, "y": y, "invert": invert,
                          "rim": invert, "area_ac": 0.0, "c": 0.0, "tc_inlet": 0.0}
        if "inflow" in tagged:
            nodes[node_id]["inflow_cfs"] = reader.number(tagged["inflow"], "TAGS", node_id,
                                                         "inflow tag")
        if kind == "outfall" and "rim" in tagged:  # SWMM's outfalls have no rim
            depth = reader.number(tagged["rim"], "TAGS", node_id, "rim tag") - invert
        if "diameter_ft" in tagged:
            nodes[node_id]["diameter_ft"] = reader.number(tagged["diameter_ft"], "TAGS",
                                                          node_id, "diameter_ft tag")
        if "benching" in tagged:
            nodes[node_id]["benching"] = tagged["benching"]
        depths[node_id] = depth

    for record in reader.section("JUNCTIONS").values():
        add_node("JUNCTIONS", record, "junction",
                 reader.number(record.depth_max, "JUNCTIONS", record.name, "maximum depth"))
    for record in reader.section("STORAGE").values():
        add_node("STORAGE", record, "junction",
                 reader.number(record.depth_max, "STORAGE", record.name, "maximum depth"))
    tailwater: tuple[str, float] | None = None
    free: str | None = None
    for record in reader.section("OUTFALLS").values():
        if str(record.name) in street.nodes:
            continue
        add_node("OUTFALLS", record, "outfall", 0.0)
        kind = str(record.kind).upper()
        if kind in ("TIDAL", "TIMESERIES"):
            warnings.warn(f"{path}: {reader.lines.line('OUTFALLS', record.name)}: outfall "
                          f"'{record.name}' is {kind}: read as FREE (no tailwater)",
                          rillway.InputWarning, stacklevel=2)
        if kind != "FIXED":
            free = free or str(record.name)
        if kind == "FIXED":
            stage = reader.number(record.data, "OUTFALLS", record.name, "fixed stage")
            if tailwater is not None and tailwater[1] != stage:
                raise reader.fail("OUTFALLS", record.name, (
                    f"outfalls '{tailwater[0]}' and '{record.name}' have different fixed "
                    "stages; a rillway project has one tailwater"))
            tailwater = (str(record.name), stage)
        if tailwater is not None and free is not None:
            # A project's one tailwater stands at every outfall: a free one would take it.
            raise reader.fail("OUTFALLS", record.name, (
                f"outfall '{free}' is free and '{tailwater[0]}' FIXED at {tailwater[1]:g}; a "
                "rillway project has one tailwater for all its outfalls"))
    if tailwater is not None:
        settings.setdefault("tailwater", tailwater[1])
    del coordinates
    reader.forget("JUNCTIONS", "STORAGE", "COORDINATES")

    pipes = _read_conduits(reader, nodes, offsets, cuts if unsupported == "cut" else None,
                           street.links)
    reader.forget("CONDUITS", "XSECTIONS")
    _cut(reader, nodes, pipes, cuts)
    _fold_subcatchments(reader, nodes, kind_tagged, street.drains_to)
    if not reader.written_here:  # a file rillway wrote carries its inflows in the tags
        _read_known_inflows(reader, nodes, flow_units, street.nodes)
    for node_id, inlet in street.inlets.items():
        if node_id not in nodes:
            raise reader.fail("INLET_USAGE", node_id, f"a street inlet drains to node "
                                                      f"'{node_id}', which is not a structure")
        nodes[node_id]["inlet"] = inlet
        if node_id in street.bypass_to:
            nodes[node_id]["bypass_to"] = street.bypass_to[node_id]

    # A maximum depth of 0 puts the rim at the highest crown of the node's pipes (SWMM's rule).
    for pipe in pipes:
        for end, invert in (("from", pipe.get("invert_up")), ("to", pipe.get("invert_dn"))):
            node = nodes[pipe[end]]
            bottom = node["invert"] if invert is None else invert
            rise = pipe.get("rise_ft", pipe["diameter"])
            if depths[node["id"]] <= 0.0:
                node["rim"] = max(node["rim"], bottom + rise)
    for node_id, depth in depths.items():
        if depth > 0.0:
            nodes[node_id]["rim"] = nodes[node_id]["invert"] + depth

    defaults_used = _project_defaults(reader.defaults)
    said = reader.said
    del reader  # the library's records go before the engine checks the document
    title = name or _stem(path)
    check_document(new_document(title, list(nodes.values()), pipes, si=si, settings=settings,
                                defaults=defaults_used), path)
    # What the reader assumed is said once the file has read without fault, before what the
    # document took from the built-in defaults.
    for line in said:
        warnings.warn(f"{path}: {line}", rillway.InputWarning, stacklevel=2)
    return new_document(title, list(nodes.values()), pipes, si=si, settings=settings,
                        defaults=defaults_used, source=path)


def _read_known_inflows(reader: _Reader, nodes: dict[str, dict[str, Any]], units: str,
                        street: set[str]) -> None:
    """External and dry-weather flows at their largest, as each node's constant inflow."""
    scale = FLOW_UNIT_SCALE[units]
    patterns = reader.section("PATTERNS")
    series = reader.section("TIMESERIES")

    def largest_factor(label: str, owner: str, name: Any) -> float:
        if not isinstance(name, str) or not name:
            return 1.0
        pattern = patterns.get(name)
        if pattern is None:
            raise reader.fail(label, owner, f"node '{owner}': unknown pattern '{name}'")
        factors = [reader.number(f, "PATTERNS", name, "pattern factor") for f in pattern.factors]
        return max(factors, default=1.0)

    def add(label: str, owner: str, q: float, taken: str) -> None:
        owner = _named_node(nodes, owner)
        node = nodes.get(owner)
        if owner in street:
            raise reader.fail(label, owner, f"node '{owner}' is on the street: a known inflow "
                                            "there is gutter flow, which rillway takes only as "
                                            "runoff (a subcatchment)")
        if node is None:
            raise reader.fail(label, owner, f"[{label}] names unknown node '{owner}'")
        node["inflow_cfs"] = node.get("inflow_cfs", 0.0) + q * scale
        warnings.warn(f"{reader.path}: node '{owner}': constant inflow {number_text(q)} "
                      f"{units} from [{label}]: {taken}", rillway.InputWarning, stacklevel=2)

    for record in reader.section("INFLOWS").values():
        owner = str(record.node)
        if str(record.constituent).upper() != "FLOW":
            continue
        base = reader.number(record.base_value, "INFLOWS", owner, "baseline")
        q = base * largest_factor("INFLOWS", owner, record.pattern)
        taken = "the baseline at its pattern's largest factor" if base else ""
        name = record.time_series
        if isinstance(name, str) and name.strip('"'):
            data = getattr(series.get(name), "data", None)
            if data is None:
                raise reader.fail("INFLOWS", owner, f"node '{owner}': time series '{name}' is "
                                                    "not given as data in [TIMESERIES]")
            values = [reader.number(v, "TIMESERIES", name, "value") for _, v in data]
            factor = reader.number(record.scale_factor, "INFLOWS", owner, "scale factor")
            q += factor * max(values, default=0.0)
            taken = (taken + " plus " if taken else "") + \
                f"the peak of time series '{name}' times {number_text(factor)}"
        if taken:
            add("INFLOWS", owner, q, taken)
    for record in reader.section("DWF").values():
        owner = str(record.node)
        if str(record.constituent).upper() != "FLOW":
            continue
        q = reader.number(record.base_value, "DWF", owner, "average")
        for name in (record.pattern1, record.pattern2, record.pattern3, record.pattern4):
            q *= largest_factor("DWF", owner, name)
        add("DWF", owner, q, "the average times the largest factor of each pattern")


def _project_defaults(defaults: Mapping[str, Any]) -> dict[str, Any]:
    return {key: value for key, value in defaults.items() if key != "tc_inlet"}


def _stem(path: str) -> str:
    return Path(path).stem


def _named_node(nodes: Mapping[str, Any], name: Any) -> str:
    """A node as a link or subcatchment names it: SWMM matches names whatever their letter
    case, so 'j3' is node J3."""
    text = str(name)
    if text in nodes:
        return text
    upper = text.upper()
    return next((node for node in nodes if node.upper() == upper), text)


@dataclass(frozen=True)
class _Cut:
    """A link rillway cannot model, cut from the network."""
    kind: str
    name: str
    source: str
    target: str


def _cut(reader: _Reader, nodes: dict[str, dict[str, Any]], pipes: list[dict[str, Any]],
         cuts: list[_Cut]) -> None:
    """The structure above each cut becomes a free outfall unless a pipe still leaves it."""
    leaving = {pipe["from"] for pipe in pipes}
    for cut in cuts:
        source = _named_node(nodes, cut.source)
        node = nodes.get(source)
        if node is None:
            raise reader.fail("CONDUITS", cut.name, f"{cut.kind} '{cut.name}' names unknown "
                                                    f"node '{cut.source}'")
        if node["kind"] == "outfall" or source in leaving:
            what = f"'{source}' drains on through its other pipes"
        else:
            node["kind"] = "outfall"
            node["area_ac"] = node["c"] = 0.0
            what = f"'{source}' becomes a free outfall"
        target = _named_node(nodes, cut.target)
        warnings.warn(f"{reader.path}: cut {cut.kind} '{cut.name}' ({source} -> "
                      f"{target}): {what}; the network below it goes on by itself",
                      rillway.InputWarning, stacklevel=4)


def _read_conduits(reader: _Reader, nodes: Mapping[str, Any], offsets: str,
                   cuts: list[_Cut] | None, street: set[str]) -> list[dict[str, Any]]:
    sections = reader.section("XSECTIONS")
    link_tags = _tags(reader, "Link")
    pipes = []
    for record in reader.section("CONDUITS").values():
        pipe_id = str(record.name)
        if pipe_id in street:
            continue

        def number(value: Any, what: str) -> float:
            return reader.number(value, "CONDUITS", pipe_id, what)

        source, target = _named_node(nodes, record.from_node), _named_node(nodes, record.to_node)
        for end in (record.from_node, record.to_node):
            if _named_node(nodes, end) not in nodes:
                raise reader.fail("CONDUITS", pipe_id,
                                  f"conduit '{pipe_id}' names unknown node '{end}'")
        section = sections.get(pipe_id)
        if section is None:
            raise reader.fail("CONDUITS", pipe_id,
                              f"conduit '{pipe_id}' has no cross-section in [XSECTIONS]")
        shape = str(section.shape).upper()
        if shape not in READ_SHAPES:
            # Checked before the height, which for some shapes names a transect, a curve or a
            # street rather than a size.
            if cuts is not None:
                cuts.append(_Cut(f"conduit of shape {shape}", pipe_id, source, target))
                continue
            raise reader.fail("XSECTIONS", pipe_id, (
                f"conduit '{pipe_id}' has shape {shape}; rillway reads "
                + ", ".join(sorted(READ_SHAPES)) + " (--cut-unsupported cuts it)"))
        height = reader.positive(section.height, "XSECTIONS", pipe_id, "height")
        if nodes[source]["kind"] == "outfall":
            raise reader.fail("CONDUITS", pipe_id, f"conduit '{pipe_id}' leaves outfall "
                                                   f"'{source}'; EPA SWMM refuses it")
        barrels = reader.number(section.n_barrels, "XSECTIONS", pipe_id, "barrels")
        if barrels < 1 or barrels != int(barrels):
            raise reader.fail("XSECTIONS", pipe_id, f"conduit '{pipe_id}' has {barrels:g} "
                                                    "barrels; a count of 1 or more is needed")
        # The ends name their structures by the very strings the structures hold.
        pipe: dict[str, Any] = {
            "id": pipe_id, "from": nodes[source]["id"], "to": nodes[target]["id"],
            "length": reader.positive(record.length, "CONDUITS", pipe_id, "length"),
            "diameter": reader.shared(height),
            "n": reader.shared(reader.positive(record.roughness, "CONDUITS", pipe_id,
                                               "roughness"))}
        tag = link_tags.get(pipe_id) or ""
        tagged = _tag_values(tag) if "=" in tag else {"shape": tag}
        if tagged.get("lock") == "true":
            pipe["lock"] = True

        def geom(value: Any, what: str) -> float:
            return reader.number(value, "XSECTIONS", pipe_id, what)

        if shape in ("HORIZ_ELLIPSE", "VERT_ELLIPSE", "ARCH") and \
                tagged.get("shape") in ("elliptical", "arch"):
            # Written by rillway from its own shape, which the tag names.
            span = reader.positive(section.parameter_2, "XSECTIONS", pipe_id, "width")
            pipe.update(shape=tagged["shape"], rise_ft=height, span_ft=span)
        elif shape in ("RECT_CLOSED", "RECT_OPEN"):
            span = reader.positive(section.parameter_2, "XSECTIONS", pipe_id, "width")
            pipe.update(shape="box" if shape == "RECT_CLOSED" else "rect_open", rise_ft=height,
                        span_ft=span)
        elif shape == "TRAPEZOIDAL":
            sides = [geom(section.parameter_3, "left slope"),
                     geom(section.parameter_4, "right slope")]
            # A triangle with unequal banks is written as a trapezoid without a bottom.
            word = "triangle" if tagged.get("shape") == "triangle" else "trapezoid"
            pipe.update(shape=word, rise_ft=height,
                        span_ft=geom(section.parameter_2, "bottom width"),
                        side_slope=sides[0] if sides[0] == sides[1] else sides)
        elif shape == "TRIANGULAR":
            top = reader.positive(section.parameter_2, "XSECTIONS", pipe_id, "top width")
            pipe.update(shape="triangle", rise_ft=height, span_ft=0.0,
                        side_slope=top / 2.0 / height)
        elif shape == "CIRCULAR":
            pipe["shape"] = "circular"
        else:  # an ellipse or arch of another program: SWMM's own shapes differ from rillway's
            raise reader.fail("XSECTIONS", pipe_id, (
                f"conduit '{pipe_id}' has shape {shape}; rillway reads it only as it writes "
                "it (tagged with its own shape); the others it reads are "
                + ", ".join(sorted(READ_SHAPES - {"HORIZ_ELLIPSE", "VERT_ELLIPSE", "ARCH"}))))
        if barrels != 1:
            pipe["barrels"] = int(barrels)
        for key, value, node in (("invert_up", record.offset_upstream, source),
                                 ("invert_dn", record.offset_downstream, target)):
            if offsets == "ELEVATION":
                if str(value) != "*":
                    pipe[key] = number(value, "offset")
            else:
                offset = number(value, "offset")
                if offset != 0.0:
                    pipe[key] = nodes[str(node)]["invert"] + offset
        pipes.append(pipe)
    return pipes


def _fold_subcatchments(reader: _Reader, nodes: dict[str, dict[str, Any]],
                        kind_tagged: set[str], street: Mapping[str, str]) -> None:
    """Adds each subcatchment's area, C (area-weighted) and inlet time (the longest) to the
    node it drains to, following subcatchments that drain to other subcatchments. A junction
    that takes runoff becomes an inlet, unless a tag says what it is."""
    subcatchments = reader.section("SUBCATCHMENTS")
    tags = _tags(reader, "Subcatch")
    default_tc = finite(reader.defaults.get("tc_inlet", DEFAULT_TC_INLET), "tc_inlet",
                        reader.path)
    untimed: list[str] = []
    uncoefficiented: list[str] = []
    for name, record in subcatchments.items():
        outlet = str(record.outlet)
        outlet = street.get(outlet, _named_node(nodes, outlet))  # runoff onto a street inlet's gutter
        seen = {name}
        while outlet in subcatchments and outlet not in nodes:
            if outlet in seen:
                raise reader.fail("SUBCATCHMENTS", name,
                                  f"subcatchment '{name}' drains in a loop")
            seen.add(outlet)
            outlet = _named_node(nodes, subcatchments[outlet].outlet)
        if outlet not in nodes:
            raise reader.fail("SUBCATCHMENTS", name,
                              f"subcatchment '{name}' drains to unknown node '{outlet}'")

        def number(value: Any, what: str) -> float:
            return reader.number(value, "SUBCATCHMENTS", name, what)

        area = number(record.area, "area")
        if area < 0.0:
            raise reader.fail("SUBCATCHMENTS", name, f"subcatchment '{name}': area {area:g} "
                                                     "is negative")
        tagged = _tag_values(tags.get(name))
        c = (number(tagged["c"], "c tag") if "c" in tagged
             else reader.runoff_coefficient(_percent(reader, name, number(
                 record.imperviousness, "imperviousness"))))
        tc = number(tagged["tc"], "tc tag") if "tc" in tagged else default_tc
        node = nodes[outlet]
        if node["kind"] == "outfall":
            continue  # runoff straight to an outfall passes no pipe of the network
        if "tc" not in tagged:
            untimed.append(name)
        if "c" not in tagged:
            uncoefficiented.append(name)
        if outlet not in kind_tagged:
            node["kind"] = "inlet"
        total = node["area_ac"] + area
        if total > 0.0:
            node["c"] = (node["area_ac"] * node["c"] + area * c) / total
        node["area_ac"] = total
        node["tc_inlet"] = max(node["tc_inlet"], tc)
    if untimed and "tc_inlet" not in reader.defaults:
        reader.assume(f"inlet time {default_tc:g} min for {_count(untimed, 'subcatchment')} "
                      "(SWMM has none; set tc_inlet in the defaults, or a tc= tag)")
    if uncoefficiented and reader.runoff_coefficient is simple_method_c:
        reader.assume(f"C = 0.05 + 0.009 x %impervious (the Simple Method) for "
                      f"{_count(uncoefficiented, 'subcatchment')}")


def _count(names: list[str], what: str) -> str:
    shown = ", ".join(f"'{name}'" for name in names[:5])
    more = f", ... ({len(names)} in all)" if len(names) > 5 else ""
    return f"{what}{'s' if len(names) > 1 else ''} {shown}{more}"


# ---------------------------------------------------------------------------------------------
# Writing

# Dynamic wave run long enough for the constant inflows to reach a steady state in a storm
# network (travel times of minutes), with SWMM's recommended variable step.
SIMULATION_OPTIONS = (
    ("INFILTRATION", "HORTON"), ("FLOW_ROUTING", "DYNWAVE"), ("LINK_OFFSETS", "ELEVATION"),
    ("MIN_SLOPE", "0"), ("ALLOW_PONDING", "NO"), ("SKIP_STEADY_STATE", "NO"),
    ("START_DATE", "01/01/2000"), ("START_TIME", "00:00:00"),
    ("REPORT_START_DATE", "01/01/2000"), ("REPORT_START_TIME", "00:00:00"),
    ("END_DATE", "01/01/2000"), ("END_TIME", "03:00:00"), ("DRY_DAYS", "0"),
    ("REPORT_STEP", "00:15:00"), ("WET_STEP", "00:05:00"), ("DRY_STEP", "01:00:00"),
    ("ROUTING_STEP", "0:00:05"), ("INERTIAL_DAMPING", "PARTIAL"),
    ("NORMAL_FLOW_LIMITED", "BOTH"), ("FORCE_MAIN_EQUATION", "H-W"), ("VARIABLE_STEP", "0.75"),
    ("LENGTHENING_STEP", "0"), ("MIN_SURFAREA", "0"), ("MAX_TRIALS", "8"),
    ("HEAD_TOLERANCE", "0.00001"), ("SYS_FLOW_TOL", "5"), ("LAT_FLOW_TOL", "5"),
    ("MINIMUM_STEP", "0.5"), ("THREADS", "1"))
# The shapes SWMM has only as tabulated standard sections: the closest one, with custom size.
APPROXIMATE_SHAPES = {"elliptical": "ELLIPSE", "arch": "ARCH"}
RAIN_GAGE = "RG_NONE"      # a gage without rain: runoff comes from the design inflows
NO_RAIN = "NO_RAIN"
SUBCATCHMENT_SLOPE = 1.0   # %; unused without rain, but SWMM needs a value
SUBAREA = ("0.012", "0.1", "0.05", "0.05", "25", "OUTLET")  # SWMM manual's typical values
HORTON = ("3.0", "0.5", "4", "7", "0")


class _Sections:
    def __init__(self) -> None:
        self._order: list[str] = []
        self._rows: dict[str, list[str]] = {}

    def add(self, section: str, *fields: str) -> None:
        if section not in self._rows:
            self._order.append(section)
            self._rows[section] = []
        self._rows[section].append(" ".join(fields))

    def text(self) -> str:
        return "\n".join(f"[{name}]\n" + "\n".join(self._rows[name]) + "\n"
                         for name in self._order)


def write_inp(document: Mapping[str, Any], path: str, result: AnalysisResult | None = None,
              *, pieces: int = 1) -> None:
    """Writes a project document as an EPA SWMM 5 input file with its design flows.

    Parameters
    ----------
    document : the project document.
    path : the .inp file to write (whole or not at all).
    result : the analysis of `document`, whose design flows become constant inflows;
        analysed here when None.
    pieces : each pipe is split into this many conduits of equal length (1 to 100), joined by
        junctions named `PIPE~k`, so that SWMM's dynamic wave resolves the gradually varied
        water surface along a long pipe.
    """
    if not 1 <= pieces <= 100:
        raise ValueError("pieces must be 1 to 100")
    view = analysis_view(document, path)
    if result is None:
        result = analyze_document(document, path)
    si = is_si(document)
    length = METRES_PER_FOOT if si else 1.0
    flow = CUBIC_METRES_PER_CUBIC_FOOT if si else 1.0
    area = HECTARES_PER_ACRE if si else 1.0
    settings = view["settings"]
    locked = {pipe["id"]: bool(pipe.get("lock")) for pipe in document["pipes"]}
    out = _Sections()

    refuse_uncarried(document, CARRIED, "EPA SWMM input", path)
    if view["name"]:  # without one the reader names the project after the file
        out.add("TITLE", _title_name(view["name"], path))
    # One setting a line: EPA SWMM reads lines of up to 1024 characters.
    for key, value in design_settings(document).items():
        out.add("TITLE", TITLE_MARK, f"{key}={setting_text(value)}")
    out.add("OPTIONS", "FLOW_UNITS", "CMS" if si else "CFS")
    for key, value in SIMULATION_OPTIONS:
        out.add("OPTIONS", key, value)

    # Design inflow of each node: what leaves it less what arrives, never below zero.
    inflow: dict[str, float] = {node["id"]: 0.0 for node in view["nodes"]}
    for pipe, row in zip(view["pipes"], result["pipes"]):
        q = row["design_q"]
        if math.isfinite(q):
            inflow[pipe["from"]] = inflow.get(pipe["from"], 0.0) + q
            inflow[pipe["to"]] = inflow.get(pipe["to"], 0.0) - q

    nodes = {node["id"]: node for node in view["nodes"]}
    catchments = [node for node in view["nodes"]
                  if node["kind"] != "outfall" and node["area_ac"] > 0.0]
    if catchments:
        out.add("RAINGAGES", RAIN_GAGE, "INTENSITY", "1:00", "1.0", "TIMESERIES", NO_RAIN)
    for node in catchments:
        node_area = converted(node["area_ac"], area)
        width = converted(math.sqrt(node["area_ac"] * SQUARE_FEET_PER_ACRE), length)
        out.add("SUBCATCHMENTS", _subcatchment(node), RAIN_GAGE, node["id"], number_text(node_area),
                number_text(_imperviousness(node["c"])), number_text(width), number_text(SUBCATCHMENT_SLOPE),
                "0")
        out.add("SUBAREAS", _subcatchment(node), *SUBAREA)
        out.add("INFILTRATION", _subcatchment(node), *HORTON)
    for node in view["nodes"]:
        if node["kind"] == "outfall":
            continue
        out.add("JUNCTIONS", node["id"], number_text(converted(node["invert"], length)),
                number_text(converted(max(0.0, node["rim"] - node["invert"]), length)), "0", "0", "0")
    for node in view["nodes"]:
        if node["kind"] != "outfall":
            continue
        if settings["tailwater"] is None:
            out.add("OUTFALLS", node["id"], number_text(converted(node["invert"], length)), "FREE", "NO")
        else:
            out.add("OUTFALLS", node["id"], number_text(converted(node["invert"], length)), "FIXED",
                    number_text(converted(settings["tailwater"], length)), "NO")

    coordinates = [(node["id"], node["x"], node["y"]) for node in view["nodes"]]
    loss = settings["junction_k"]
    for pipe in view["pipes"]:
        up, down = nodes.get(pipe["from"]), nodes.get(pipe["to"])
        assert up is not None and down is not None  # the analysis refused dangling pipes
        names = [pipe["from"]] + [f"{pipe['id']}~{k}" for k in range(1, pieces)] + [pipe["to"]]
        for k in range(1, pieces):
            t = k / pieces
            invert = pipe["invert_up"] + t * (pipe["invert_dn"] - pipe["invert_up"])
            rim = up["rim"] + t * (down["rim"] - up["rim"])
            if names[k] in nodes or names[k].endswith("~area"):
                raise FormatError(path, f"node '{names[k]}' is taken; cannot split pipe "
                                        f"'{pipe['id']}'")
            out.add("JUNCTIONS", names[k], number_text(converted(invert, length)),
                    number_text(converted(max(0.0, rim - invert), length)), "0", "0", "0")
            coordinates.append((names[k], up["x"] + t * (down["x"] - up["x"]),
                                up["y"] + t * (down["y"] - up["y"])))
        for k in range(pieces):
            link = pipe["id"] if pieces == 1 else f"{pipe['id']}~{k + 1}"
            top = pipe["invert_up"] + k / pieces * (pipe["invert_dn"] - pipe["invert_up"])
            bottom = pipe["invert_up"] + (k + 1) / pieces * (pipe["invert_dn"] - pipe["invert_up"])
            out.add("CONDUITS", link, names[k], names[k + 1],
                    number_text(converted(pipe["length"] / pieces, length)), number_text(pipe["n"]),
                    number_text(converted(top, length)), number_text(converted(bottom, length)), "0", "0")
            _cross_section(out, link, pipe, length)
            if k == 0 and loss != 0.0:
                out.add("LOSSES", link, number_text(loss), "0", "0", "NO")
            out.add("TAGS", "Link", link, f"shape={pipe['shape']}" + (
                ",lock=true" if locked.get(pipe["id"]) else ""))

    street_tags = write_streets(out, document, view, result, inflow, si, path)
    for node_id, q in inflow.items():
        if q > 0.0 and nodes[node_id]["kind"] != "outfall":
            out.add("INFLOWS", node_id, "FLOW", '""', "FLOW", "1.0", "1.0", number_text(converted(q, flow)))
    if catchments:
        out.add("TIMESERIES", NO_RAIN, "0:00", "0.0")
    out.add("REPORT", "INPUT", "NO")
    out.add("REPORT", "CONTINUITY", "YES")
    out.add("REPORT", "FLOWSTATS", "YES")
    out.add("REPORT", "NODES", "ALL")
    out.add("REPORT", "LINKS", "ALL")
    for node in view["nodes"]:
        tag = f"rim={number_text(converted(node['rim'], length))}" if node["kind"] == "outfall" \
            else f"kind={node['kind']}"
        if node["diameter_ft"] != STANDARD_STRUCTURE_FT:
            tag += f",diameter_ft={number_text(converted(node['diameter_ft'], length))}"
        if node["benching"] != "flat":
            tag += f",benching={node['benching']}"
        if node["inflow_cfs"] != 0.0:
            tag += f",inflow={number_text(converted(node['inflow_cfs'], flow))}"
        if node["id"] in street_tags:
            tag += "," + street_tags[node["id"]]
        out.add("TAGS", "Node", node["id"], tag)
    for node in catchments:
        out.add("TAGS", "Subcatch", _subcatchment(node),
                f"c={number_text(node['c'])},tc={number_text(node['tc_inlet'])}")
    for node_id, x, y in coordinates:
        out.add("COORDINATES", node_id, number_text(converted(x, length)), number_text(converted(y, length)))
    for name in names_with_spaces(view):
        plain_name(name, "id", path)
        raise FormatError(path, f"'{name}' has a space or ';': SWMM names are single words")
    write_text(path, out.text())


def _title_name(name: str, path: str) -> str:
    """The project name as the first TITLE line: one line, and not one the reader would take
    for a heading, a comment or a settings line."""
    plain_name(name, "project name", path)
    if name[0] in "[;" or name.split()[0] == TITLE_MARK:
        raise FormatError(path, f"project name '{name}' would not read back from .inp (it "
                                f"starts with '{name.split()[0]}')")
    return name


def _subcatchment(node: Mapping[str, Any]) -> str:
    # Not the node's own name: SWMM refuses an outlet name that is also a subcatchment's.
    return f"{node['id']}~area"


def names_with_spaces(view: Mapping[str, Any]) -> list[str]:
    ids = [node["id"] for node in view["nodes"]] + [pipe["id"] for pipe in view["pipes"]]
    return [name for name in ids
            if not name or any(c.isspace() or not c.isprintable() for c in name) or ";" in name
            or name[0] in '["']


def _cross_section(out: _Sections, link: str, pipe: Mapping[str, Any], length: float) -> None:
    rise, span = converted(pipe["rise"], length), converted(pipe["span"], length)
    barrels = str(pipe["barrels"])
    shape = pipe["shape"]
    left, right = pipe["side_slope"] or (0.0, 0.0)
    if shape == "circular":
        out.add("XSECTIONS", link, "CIRCULAR", number_text(rise), "0", "0", "0", barrels)
    elif shape in ("box", "rect_open"):
        kind = "RECT_CLOSED" if shape == "box" else "RECT_OPEN"
        out.add("XSECTIONS", link, kind, number_text(rise), number_text(span), "0", "0", barrels)
    elif shape == "triangle" and left == right:
        out.add("XSECTIONS", link, "TRIANGULAR", number_text(rise), number_text(2.0 * left * rise),
                "0", "0", barrels)
    elif shape in ("trapezoid", "triangle"):
        out.add("XSECTIONS", link, "TRAPEZOIDAL", number_text(rise), number_text(span),
                number_text(left), number_text(right), barrels)
    else:
        kind = APPROXIMATE_SHAPES[shape]
        if kind == "ELLIPSE":
            kind = "VERT_ELLIPSE" if rise > span else "HORIZ_ELLIPSE"
        out.add("XSECTIONS", f";; {link}: rillway's {shape} section and SWMM's "
                f"{kind} differ in shape; rise and span are kept")
        out.add("XSECTIONS", link, kind, number_text(rise), number_text(span), "0", "0", barrels)
