"""The drainage report: one self-contained document with what a reviewing agency receives.

A title block (project, date, rillway version, the input file and its SHA-256, units), the
design basis (IDF curves and their plot, the design storm, minimum time of concentration,
loss method, tailwater, the design rules when the network was designed), the plan, the
profiles, the pipe, structure, inlet and design tables with what fails marked, the unmet
rules, the input warnings and the scenario summary.

One Jinja2 template (`templates/report.html.j2`, autoescaped, so ids from input files are
text wherever they appear) gives HTML with inline CSS and inline SVG pictures, no script and
no external resource; WeasyPrint (the `report` extra) prints the same HTML to PDF. Every
number comes from the engine: the analysis, the design and the scenario runs.
"""
from __future__ import annotations

import base64
import datetime
import hashlib
import io
import json
import os
import re
import warnings
from collections.abc import Mapping, Sequence
from dataclasses import dataclass, field
from importlib import resources
from pathlib import Path
from typing import Any

import rillway

from .documents import Document, analyze, design as design_document, is_si, layout_of, network_of
from .formats.files import write_atomically
from .plan import PLAN_PIPES
from .formats.si import FEET_PER_METRE, MILLIMETRES_PER_INCH, to_si
from .results import AnalysisResult, DesignResult
from .tables import (INLET_COLUMNS, NODE_COLUMNS, PIPE_COLUMNS, Column, _cell, _si_columns,
                     _with_energy)

__all__ = ["MAX_PROFILES", "ReportError", "report_html", "write_report"]

REPORT_TYPES = (".html", ".htm", ".pdf")
# Profiles beyond these many would make a big network's report a book of profiles; the
# report names the paths it leaves out.
MAX_PROFILES = 6
# The findings on the first page name this many pipes or structures, then count the rest.
NAMED_FINDINGS = 12
# A PDF's table of more rows than this is set as fixed columns of monospaced text, a page of
# rows to a block with the headings above each: WeasyPrint lays out every table cell on its
# own, and the tables of a 10,000-pipe network would take it many minutes. The HTML report
# keeps its tables whatever their size.
PRINT_TABLE_ROWS = 500
PRINT_BLOCK_ROWS = 60
# The plan of a network of more pipes than PRINT_TABLE_ROWS is printed as a picture of this
# many dots per inch: WeasyPrint styles and draws every element of an inline SVG, and a
# 10,000-pipe plan has tens of thousands.
PRINT_PLAN_DPI = 200
# The IDF plot's durations, min.
IDF_DURATIONS = (5.0, 10.0, 15.0, 20.0, 30.0, 45.0, 60.0, 90.0, 120.0)
MISSING = {"jinja2": "the report needs Jinja2: pip install 'rillway[report]'",
           "matplotlib": "the report needs matplotlib: pip install 'rillway[report]'",
           "weasyprint": "a PDF report needs WeasyPrint: pip install 'rillway[report]'"}


class ReportError(Exception):
    """A report that cannot be made: a missing library, a bad option or scenario table."""


@dataclass
class Table:
    """A table as the template draws it: headings with units and rows of formatted cells."""

    id: str
    caption: str
    headings: list[tuple[str, str]]   # (heading, unit)
    numeric: list[bool]               # right-aligned columns
    rows: list[tuple[bool, list[str]]] = field(default_factory=list)  # (marked, cells)
    note: str = ""
    printed: list[Any] | None = None  # the text blocks of a long table in a PDF (see print_as_text)

    def print_as_text(self) -> None:
        """Sets the table as blocks of fixed-width text lines: the two heading lines, then a
        page of rows, the marked ones in a span of their own; ids are escaped."""
        from markupsafe import Markup, escape

        widths = [max([len(heading), len(unit)] + [len(cells[i]) for _, cells in self.rows])
                  for i, (heading, unit) in enumerate(self.headings)]

        def line(cells: Sequence[str]) -> str:
            return "  ".join(cell.rjust(width) if numeric else cell.ljust(width)
                             for cell, width, numeric in zip(cells, widths, self.numeric)).rstrip()

        head = Markup('<span class="head">{}\n{}</span>').format(
            line([heading for heading, _ in self.headings]),
            line([unit for _, unit in self.headings]))
        rows = [Markup('<span class="marked">{}</span>').format(line(cells)) if marked
                else escape(line(cells)) for marked, cells in self.rows]
        self.printed = [Markup("\n").join([head, *rows[start:start + PRINT_BLOCK_ROWS]])
                        for start in range(0, len(rows), PRINT_BLOCK_ROWS)]


def write_report(document: Document, path: str | os.PathLike[str], *, design: bool = False,
                 scenarios: str | None = None, storms: str | None = None,
                 units: str | None = None) -> None:
    """Writes the report of `document` to `path`: `.html`, or `.pdf` through WeasyPrint.
    The file is written whole or not at all."""
    target = os.fspath(path)
    suffix = Path(target).suffix.lower()
    if suffix not in REPORT_TYPES:
        raise ReportError(f"{target}: cannot write a '{suffix or Path(target).name}' report "
                          "(use .html or .pdf)")
    if suffix == ".pdf":
        try:
            import weasyprint
        except ImportError:
            raise ReportError(MISSING["weasyprint"]) from None
    html = report_html(document, design=design, scenarios=scenarios, storms=storms,
                       units=units, for_print=suffix == ".pdf")
    if suffix == ".pdf":
        def write(temporary: str) -> None:
            weasyprint.HTML(string=html).write_pdf(temporary)
    else:
        def write(temporary: str) -> None:
            Path(temporary).write_text(html, encoding="utf-8")
    write_atomically(target, write)


def report_html(document: Document, *, design: bool = False, scenarios: str | None = None,
                storms: str | None = None, units: str | None = None,
                for_print: bool = False) -> str:
    """The report of `document` as one HTML page. `design` designs the network first;
    `scenarios` (a CSV file) or `storms` ("2,10,100") add the scenario summary; `units` is
    "us" or "si" (default: the project's own); `for_print` sets tables of more than
    PRINT_TABLE_ROWS rows as fixed columns of text, as the PDF has them."""
    try:
        import jinja2
    except ImportError:
        raise ReportError(MISSING["jinja2"]) from None
    try:
        import matplotlib  # noqa: F401
    except ImportError:
        raise ReportError(MISSING["matplotlib"]) from None
    si = units == "si" if units else is_si(document)
    # Every reading of the network (the analysis, the drawings) warns alike: each warning is
    # listed once, in the order given.
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always", rillway.InputWarning)
        context = _context(document, si, design, scenarios, storms, for_print)
    notes: list[str] = []
    for warning in caught:
        if not issubclass(warning.category, rillway.InputWarning):
            warnings.warn_explicit(warning.message, warning.category, warning.filename,
                                   warning.lineno)
        elif str(warning.message) not in notes:
            notes.append(str(warning.message))
    context["warnings"] = notes
    if for_print:
        for table in context["tables"]:
            if len(table.rows) > PRINT_TABLE_ROWS:
                table.print_as_text()
    template = resources.files("rillway_tools").joinpath("templates/report.html.j2")
    environment = jinja2.Environment(autoescape=True, trim_blocks=True, lstrip_blocks=True,
                                     undefined=jinja2.StrictUndefined)
    return environment.from_string(template.read_text(encoding="utf-8")).render(context)


def _context(document: Document, si: bool, design: bool, scenarios: str | None,
             storms: str | None, for_print: bool) -> dict[str, Any]:
    designed: DesignResult | None = None
    rules = _project(document).get("design")  # the designed project keeps no rules
    if design:
        document, designed = design_document(document)
        result = designed["result"]
    else:
        result = analyze(document)
    network = network_of(document)
    summary = _scenario_summary(document, scenarios, storms) if scenarios or storms else None
    name = result["name"] or Path(document.source).name
    result = {**result, "name": name}  # a .rwn network has none: the drawings name the file
    shown = to_si(result) if si else result
    pictures = _Pictures(document, result, name, si,
                         raster_plan=for_print and len(result["pipes"]) > PRINT_TABLE_ROWS)
    return {
        "name": name,
        "title": _title_block(document, si),
        "basis": _basis(document, network, si, (rules or {}) if designed else None),
        "idf_svg": pictures.idf(_curves(document, network, si), si),
        "plan_svg": pictures.plan(),
        "profiles": pictures.profiles(),
        "left_out": pictures.left_out,
        "tables": _tables(shown, si, designed),
        "findings": [_finding([p["id"] for p in result["pipes"] if p["surcharged"]],
                              "surcharged pipe", "No pipe surcharges."),
                     _finding([n["id"] for n in result["nodes"] if n["floods"]],
                              "flooding structure", "No structure floods.")],
        "unmet": designed["unmet"] if designed else None,
        "scenarios": summary,
        "version": rillway.__version__,
    }


# ---- the parts ----------------------------------------------------------------------------

def _finding(ids: list[str], noun: str, fine: str) -> tuple[int, str, list[str], str]:
    return len(ids), noun, ids[:NAMED_FINDINGS], fine


def _title_block(document: Document, si: bool) -> list[tuple[str, str]]:
    try:
        data = Path(document.source).read_bytes()
    except OSError:  # standard input or the demo: the text as read
        data = document.text.encode("utf-8")
    return [("Date", datetime.date.today().isoformat()),
            ("Input file", Path(document.source).name),
            ("SHA-256", hashlib.sha256(data).hexdigest()),
            ("Units", "SI (m, ha, min, mm/h, m³/s, m/s)" if si
             else "US customary (ft, ac, min, in/hr, cfs, ft/s)"),
            ("rillway", rillway.__version__)]


def _project(document: Document) -> Mapping[str, Any]:
    if document.format != "rwproj":
        return {}
    try:
        parsed = json.loads(document.text)
    except ValueError:
        return {}
    return parsed if isinstance(parsed, dict) else {}


def _length(value: float, si: bool, digits: int = 2) -> str:
    return f"{value / FEET_PER_METRE:.{digits + 1}f} m" if si else f"{value:.{digits}f} ft"


def _basis(document: Document, network: Mapping[str, Any], si: bool,
           rules: Any) -> list[tuple[str, str]]:
    """The design basis; `rules` is the project's "design" object when the network was
    designed (None when it was not, {} or absent when every rule is at its default)."""
    settings = network["settings"]
    project = _project(document)
    rows = []
    if settings["intensity"] is not None:
        rows.append(("Design storm", "one rainfall intensity for every pipe: "
                     + _intensity(settings["intensity"], si)))
    else:
        period = project.get("design_return_period_years")
        storm = f"{period:g}-year storm" if isinstance(period, (int, float)) else \
            "the network's one IDF curve (no return period given)"
        rows.append(("Design storm", storm + "; i = a / (tc + b)^c with a = "
                     + _intensity(settings["idf_a"], si) + f", b = {settings['idf_b']:g} min,"
                     f" c = {settings['idf_c']:g}"))
        if settings["frequency_factor"] != 1.0:
            rows.append(("Frequency factor", f"{settings['frequency_factor']:g} "
                         "(multiplies every C, the product capped at 1)"))
    rows += [("Minimum time of concentration", f"{settings['min_tc']:g} min"),
             ("Loss method", {"standard": "standard: K V²/2g with K = "
                              f"{settings['junction_k']:g}",
                              "hec22": "HEC-22 access-hole coefficient",
                              "fhwa_energy": "FHWA access-hole energy method (HEC-22)"
                              }.get(settings["loss_method"], settings["loss_method"])),
             ("Tailwater", "the outfall inverts" if settings["tailwater"] is None
              else _length(settings["tailwater"], si)),
             ("Minimum slope of a flat pipe", f"{settings['min_slope']:g}")]
    if rules is not None:
        given = "" if not isinstance(rules, dict) else \
            ", ".join(f"{key} = {value}" for key, value in rules.items())
        rows.append(("Design rules", (f"the project's: {given}; every other rule "
                                      if given else "")
                     + "at rillway's defaults (HEC-22 4th ed., chapter 9)"))
    return rows


def _intensity(value: float, si: bool) -> str:
    return f"{value * MILLIMETRES_PER_INCH:.1f} mm/h" if si else f"{value:.3f} in/hr"


def _curves(document: Document, network: Mapping[str, Any], si: bool
            ) -> list[tuple[str, list[float]]]:
    """(label, intensities at IDF_DURATIONS) per curve, from the engine's intensity."""
    settings = network["settings"]
    unit = MILLIMETRES_PER_INCH if si else 1.0
    if settings["intensity"] is not None:
        return []
    project = _project(document)
    entries = project.get("idf_curves") or []
    to_in = 1.0 / MILLIMETRES_PER_INCH if project.get("units") == "si" else 1.0
    curves = []
    for entry in entries if isinstance(entries, list) else []:
        try:
            a, b, c = float(entry["a"]) * to_in, float(entry["b"]), float(entry["c"])
            label = f"{float(entry['rp_years']):g}-year"
        except (KeyError, TypeError, ValueError):
            continue  # the engine read the document: its design curve is drawn below
        curves.append((label, [rillway.intensity(a, b, c, t) * unit for t in IDF_DURATIONS]))
    if not curves:
        curves.append(("design curve", [rillway.intensity(settings["idf_a"], settings["idf_b"],
                                                          settings["idf_c"], t) * unit
                                        for t in IDF_DURATIONS]))
    return curves


class _Pictures:
    """The report's drawings as inline SVG, text kept as text so that it can be searched."""

    def __init__(self, document: Document, result: AnalysisResult, name: str, si: bool, *,
                 raster_plan: bool = False) -> None:
        self.document, self.result, self.name, self.si = document, result, name, si
        self.raster_plan = raster_plan
        self.left_out: list[str] = []

    def _svg(self, draw: Any, size: tuple[float, float]) -> str:
        from matplotlib import rc_context
        from matplotlib.figure import Figure

        with rc_context({"svg.fonttype": "none", "svg.hashsalt": None}):
            figure = Figure(figsize=size, layout="constrained")
            draw(figure.add_subplot())
            out = io.StringIO()
            figure.savefig(out, format="svg")
        text = out.getvalue()
        # Inline SVG needs neither the XML declaration nor the DOCTYPE. matplotlib names every
        # group (line2d_1, text_1, ...) alike in each figure, which in one page would repeat
        # ids: only the ids something refers to are kept (clip paths and markers, whose names
        # are salted per figure) and the plan's own group of pipes.
        text = text[text.index("<svg"):]
        wanted = set(re.findall(r'(?:url\(#|href="#)([^)"]+)', text)) | {PLAN_PIPES}
        return re.sub(r' id="([^"]+)"',
                      lambda m: m.group(0) if m.group(1) in wanted else "", text)

    def idf(self, curves: list[tuple[str, list[float]]], si: bool) -> str:
        if not curves:
            return ""

        def draw(ax: Any) -> None:
            for label, values in curves:
                ax.plot(IDF_DURATIONS, values, marker="o", markersize=3, label=label)
            ax.set_xlabel("Duration (min)")
            ax.set_ylabel("Intensity (mm/h)" if si else "Intensity (in/hr)")
            ax.grid(True, alpha=0.3)
            ax.legend(fontsize=8)
        return self._svg(draw, (5.5, 3.2))

    def plan(self) -> str:
        from .plan import plan_size, plot_plan

        def draw(ax: Any) -> None:
            plot_plan(self.document, self.result, ax=ax)
        if not self.raster_plan:
            return self._svg(draw, plan_size(self.document, 10.0))
        from markupsafe import Markup
        from matplotlib.figure import Figure

        figure = Figure(figsize=plan_size(self.document, 10.0), layout="constrained")
        draw(figure.add_subplot())
        out = io.BytesIO()
        figure.savefig(out, format="png", dpi=PRINT_PLAN_DPI)
        return Markup('<img alt="Plan of {}" src="data:image/png;base64,{}">').format(
            self.name, base64.b64encode(out.getvalue()).decode("ascii"))

    def profiles(self) -> list[tuple[str, str]]:
        from .profile import plot_profile

        starts = self._profile_starts()
        drawn = []
        for start, why in starts[:MAX_PROFILES]:
            drawn.append((why, self._svg(
                lambda ax, s=start: plot_profile(self.document, self.result, s, ax=ax,
                                                 title=f"{self.name}: profile from {s}",
                                                 units="si" if self.si else "us"),
                (10, 4.6))))
        self.left_out = [f"{why}" for _, why in starts[MAX_PROFILES:]]
        return drawn

    def _profile_starts(self) -> list[tuple[str, str]]:
        """Where each profile starts: per outfall, the source farthest up its longest flow
        path, the longest first; then, for each flooding structure on none of those paths, the farthest source
        above it. Paths follow each structure's first pipe, as the profile does."""
        layout = layout_of(self.document)
        leaving: dict[str, int] = {}
        for index, pipe in enumerate(layout.pipes):
            leaving.setdefault(pipe.source, index)
        entering = {layout.pipes[i].target for i in leaving.values()}
        # Length from each node down to the end of its line, without recursion.
        down: dict[str, float] = {}
        end: dict[str, str] = {}
        for node in layout.nodes:
            trail, current = [], node.id
            while current not in down and current in leaving and current not in trail:
                trail.append(current)
                current = layout.pipes[leaving[current]].target
            if current not in down:
                down[current], end[current] = 0.0, current
            for node_id in reversed(trail):
                pipe = layout.pipes[leaving[node_id]]
                down[node_id] = pipe.length + down[pipe.target]
                end[node_id] = end[pipe.target]
        sources = [n.id for n in layout.nodes if n.id in leaving and n.id not in entering]
        longest: dict[str, str] = {}
        for source in sources:
            outfall = end[source]
            if outfall not in longest or down[source] > down[longest[outfall]]:
                longest[outfall] = source
        starts = [(s, f"{s} to {o}, the longest flow path to outfall {o}") for o, s in
                  sorted(longest.items(), key=lambda item: -down[item[1]])]
        on_path = set()
        for start, _ in starts:
            current = start
            while True:
                on_path.add(current)
                if current not in leaving:
                    break
                current = layout.pipes[leaving[current]].target
        above: dict[str, str] = {}
        for source in sources:
            current = source
            while current in leaving:
                current = layout.pipes[leaving[current]].target
                if current not in above or down[source] > down[above[current]]:
                    above[current] = source
        for node, row in zip(layout.nodes, self.result["nodes"]):
            if row["floods"] and node.id not in on_path:
                start = above.get(node.id, node.id)
                if start not in leaving:
                    continue
                starts.append((start, f"{start} to {end[start]}, through {node.id}, which "
                                      "floods"))
                current = start
                while current in leaving:
                    on_path.add(current)
                    current = layout.pipes[leaving[current]].target
        return starts


def _tables(result: AnalysisResult, si: bool, designed: DesignResult | None) -> list[Table]:
    pipe_columns = _with_energy(PIPE_COLUMNS, result["pipes"])
    node_columns = _with_energy(NODE_COLUMNS, result["nodes"])
    if si:
        pipe_columns, node_columns = _si_columns(pipe_columns), _si_columns(node_columns)
    tables = [
        _table("pipes", "Pipes", result["pipes"], pipe_columns, "surcharged",
               "Marked: surcharged, the design flow exceeds what the pipe can carry."),
        _table("structures", "Structures", result["nodes"], node_columns, "floods",
               "Marked: floods, the grade line stands above the rim."),
    ]
    inlets = result.get("inlets", [])
    if inlets:
        tables.append(_table("inlets", "Inlets", inlets,
                             _si_columns(INLET_COLUMNS) if si else INLET_COLUMNS,
                             "spread_exceeded",
                             "Marked: exceeded, the spread is wider than allowed."))
    if designed is not None:
        from .design_tables import DESIGN_COLUMNS, SI_DESIGN_COLUMNS, design_rows

        from .design_tables import (INLET_DESIGN_COLUMNS, SI_INLET_DESIGN_COLUMNS,
                                    inlet_design_rows)

        tables.append(_table("design", "Design", design_rows(designed, "si" if si else "us"),
                             SI_DESIGN_COLUMNS if si else DESIGN_COLUMNS, "unmet",
                             "Marked: some rule fails for this pipe (see the unmet rules)."))
        if "inlets" in designed:
            tables.append(_table("inlet-design", "Inlet design",
                                 inlet_design_rows(designed, "si" if si else "us"),
                                 SI_INLET_DESIGN_COLUMNS if si else INLET_DESIGN_COLUMNS,
                                 "unmet", "Marked: a spread this inlet answers for is too "
                                 "wide (see the unmet rules)."))
    return tables


def _table(ident: str, caption: str, rows: Sequence[Mapping[str, Any]],
           columns: Sequence[Column], flag: str, note: str) -> Table:
    table = Table(ident, caption, [(c.heading, c.unit if c.unit != "-" else "") for c in columns],
                  [c.fmt != "" for c in columns], note=note)
    keys = [(c.key, c.fmt) for c in columns]
    table.rows = [(bool(row[flag]), [_cell(row.get(key), fmt) for key, fmt in keys]) for row in rows]
    return table


def _scenario_summary(document: Document, scenarios: str | None, storms: str | None
                      ) -> Table:
    try:
        from . import scenarios as runs
        table = runs.storms(storms) if storms else runs.scenario_table(scenarios)
    except ImportError as error:
        raise ReportError(f"scenarios in the report need {error.name}: "
                          "pip install 'rillway[scenarios]'") from None
    except ValueError as error:
        raise ReportError(str(error)) from None
    results = runs.run(document, table, progress=False)
    summary = Table("scenarios", "Scenarios",
                    [("scenario", ""), ("surcharged pipes", ""), ("flooding structures", ""),
                     ("least freeboard", "ft"), ("flow into the outfalls", "cfs"),
                     ("error", "")], [False, True, True, True, True, False],
                    note="Least freeboard of the inlets and junctions; marked: some pipe "
                         "surcharges or some structure floods.")
    for row in results.summary.itertuples(index=False):
        failed = isinstance(row.error, str)
        cells = [str(row.name)] + (["-"] * 4 if failed else [
            str(row.pipes_surcharged), str(row.structures_flooding),
            f"{row.least_freeboard:.2f}", f"{row.outfall_q:.2f}"]) + [
            row.error if failed else ""]
        marked = failed or bool(row.pipes_surcharged) or bool(row.structures_flooding)
        summary.rows.append((marked, cells))
    return summary

