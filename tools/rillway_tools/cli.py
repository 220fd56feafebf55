"""The `rillway` command: design tables and profiles from the command line.

    rillway demo                         tables of the built-in demo project
    rillway analyze FILE                 tables of a network file ("-": .rwn on stdin)
    rillway demo-project                 the demo project's JSON, to start a new project
    rillway profile FILE --from NODE --output profile.png
    rillway convert IN OUT               a network from one format to another (by extension)
    rillway design FILE [--output designed.rwproj]   size the pipes, lay the inverts
    rillway batch FILES... --storms 2,10,100 --output results.parquet
    rillway plan FILE --output plan.png  the network in plan, pipes coloured by how full they run
    rillway report FILE --output report.html|report.pdf   the drainage report, one document

FILE may be any network format rillway reads (.rwproj, .rwn, .inp, .xml, .gpkg, .geojson,
.shp); --units si prints the tables in SI units, the default for an SI project.

Bad input ends the command with exit status 2 and one line on standard error that names the
file and the problem; `design` ends with exit status 1 when some rule could not be met.
"""
from __future__ import annotations

import argparse
import contextlib
import json
import os
import sys
import warnings
from collections.abc import Iterator, Sequence
from pathlib import Path
from typing import Any, TextIO

import rillway

from .documents import (Document, DocumentError, analyze, demo_document, design, is_si,
                        read_document)
from .formats import format_of, read_network, to_si, write_network
from .formats.files import refuse_overwriting, write_atomically, write_text
from .formats.registry import read_input
from .tables import Units, Which, render

PICTURE_TYPES = (".png", ".svg", ".pdf")
EXIT_ERROR = 2
EXIT_UNMET = 1


class CommandError(Exception):
    """A failure reported as "rillway: <message>" and exit status 2."""


def main(argv: Sequence[str] | None = None) -> int:
    args = _parser().parse_args(argv)
    try:
        with _said(args) as said:
            status = args.run(args)
        said.show()
    except DocumentError as error:
        return _fail(f"{error.source}: {error.message}")
    except (CommandError, ImportError) as error:
        return _fail(str(error))
    except MemoryError:
        return _fail("out of memory: the input is too large for this machine")
    except BrokenPipeError:
        # The reader went away (`rillway demo | head`); nothing left to say.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 0
    return status or 0


class _Said:
    """The `rillway.InputWarning`s of one command: what was assumed, read by a fallback rule
    or left unread. They follow the tables, one line each, on standard output when the tables
    are an aligned table there, else on standard error."""

    def __init__(self, args: argparse.Namespace) -> None:
        self.args = args
        self.lines: list[str] = []
        self.on_stdout = (getattr(args, "format", "table") == "table"
                          and getattr(args, "output", None) in (None, "-")
                          and args.run in (_analyze, _demo, _design))

    def show(self) -> None:
        if not self.lines:
            return
        if self.on_stdout:
            # Under the tables of one file, the lines need not name it.
            prefix = f"{getattr(self.args, 'file', None)}: "
            lines = [line.removeprefix(prefix) for line in self.lines]
            sys.stdout.write("".join(line + "\n" for line in lines))
            sys.stdout.flush()
        else:
            for line in self.lines:
                print("rillway: " + line, file=sys.stderr)


@contextlib.contextmanager
def _said(args: argparse.Namespace) -> Iterator[_Said]:
    said = _Said(args)
    with warnings.catch_warnings(record=True) as record:
        warnings.simplefilter("always", rillway.InputWarning)
        yield said
    # What the libraries underneath warn about is theirs to fix, not the user's: only
    # rillway's own warnings are said.
    for warning in record:
        if issubclass(warning.category, rillway.InputWarning):
            line = " ".join(str(warning.message).split())
            if line not in said.lines:
                said.lines.append(line)


def _defaults(args: argparse.Namespace) -> dict[str, Any] | None:
    """Project keys for what a file does not carry: `--defaults FILE`, then each `--set`."""
    values: dict[str, Any] = {}
    if getattr(args, "defaults", None):
        try:
            loaded = json.loads(Path(args.defaults).read_text(encoding="utf-8"))
        except OSError as error:
            raise CommandError(f"{args.defaults}: cannot read: {error.strerror or error}"
                               ) from None
        except ValueError as error:
            raise CommandError(f"{args.defaults}: not a JSON object of project keys: {error}"
                               ) from None
        if not isinstance(loaded, dict):
            raise CommandError(f"{args.defaults}: not a JSON object of project keys")
        values.update(loaded)
    for item in getattr(args, "set", None) or []:
        key, sep, text = item.partition("=")
        if not sep or not key.strip():
            raise CommandError(f"--set {item}: expected KEY=VALUE")
        try:
            values[key.strip()] = json.loads(text)
        except ValueError:
            values[key.strip()] = text
    return values or None


def _fail(message: str) -> int:
    print("rillway: " + " ".join(message.split("\n")), file=sys.stderr)
    return EXIT_ERROR


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="rillway",
        description="Storm-drainage network design: rational method, Manning hydraulics and "
                    "hydraulic grade lines. Units: ft, ft/ft, acres, minutes, in/hr, cfs, ft/s.")
    parser.add_argument("--version", action="version", version=f"rillway {rillway.__version__}")
    commands = parser.add_subparsers(title="commands", metavar="COMMAND", required=True)

    tables = argparse.ArgumentParser(add_help=False)
    tables.add_argument("--format", choices=("table", "csv", "json", "markdown"),
                        default="table", help="output format (default: an aligned table)")
    tables.add_argument("--output", "-o", metavar="PATH",
                        help="write to PATH instead of standard output")
    only = tables.add_mutually_exclusive_group()
    only.add_argument("--pipes-only", dest="which", action="store_const", const="pipes",
                      default="both", help="the pipe table alone")
    only.add_argument("--nodes-only", dest="which", action="store_const", const="nodes",
                      help="the node table alone")
    only.add_argument("--inlets-only", dest="which", action="store_const", const="inlets",
                      help="the street-inlet table alone (projects with inlets of a type)")
    tables.add_argument("--units", choices=("us", "si"),
                        help="units of the tables (default: the project's own)")

    reading = argparse.ArgumentParser(add_help=False)
    reading.add_argument("--defaults", metavar="JSON",
                         help="a JSON object of project keys for what the file does not carry "
                              "(in the document's units)")
    reading.add_argument("--set", metavar="KEY=VALUE", action="append",
                         help="one project key for what the file does not carry; VALUE is "
                              "read as JSON when it can be (repeatable; over --defaults)")
    reading.add_argument("--network", metavar="NAME",
                         help="the pipe network to read from a LandXML file that holds several")
    reading.add_argument("--cut-unsupported", action="store_true",
                         help="cut the links of a SWMM model that rillway cannot model "
                              "(pumps, weirs, orifices, outlets, other shapes): the structure "
                              "above each becomes an outfall")
    reading.add_argument("--nodes", metavar="FILE", action="append", default=[],
                         help="GIS layers of structures beside FILE's pipes (repeatable)")
    reading.add_argument("--field", metavar="KEY=ATTRIBUTE", action="append", default=[],
                         help="the GIS attribute that holds a project key (repeatable)")

    demo = commands.add_parser("demo", parents=[tables],
                               help="analyse the built-in demo project and print its tables")
    demo.set_defaults(run=_demo)

    analyze_command = commands.add_parser(
        "analyze", parents=[tables, reading],
        help="analyse a network file of any format and print its tables")
    analyze_command.add_argument("file", metavar="FILE",
                                 help='a network file; "-" reads .rwn text from stdin')
    analyze_command.set_defaults(run=_analyze)

    project = commands.add_parser("demo-project",
                                  help="write the demo project's JSON, a start for a new one")
    project.add_argument("--output", "-o", metavar="PATH",
                         help="write to PATH instead of standard output")
    project.set_defaults(run=_demo_project)

    profile = commands.add_parser(
        "profile", parents=[reading],
        help="draw the profile from a node down to its outfall (needs matplotlib)")
    profile.add_argument("file", metavar="FILE",
                         help='a network file of any format; "-" reads .rwn text from stdin')
    profile.add_argument("--from", dest="start", metavar="NODE", required=True,
                         help="the node where the profile starts")
    profile.add_argument("--output", "-o", metavar="PATH", required=True,
                         help="the picture to write: .png, .svg or .pdf")
    profile.add_argument("--title", help="title of the plot (default: project and nodes)")
    profile.set_defaults(run=_profile)

    convert = commands.add_parser(
        "convert", parents=[reading],
        help="convert a network between formats, chosen by the file extensions")
    convert.add_argument("source", metavar="IN", help="the network to read")
    convert.add_argument("target", metavar="OUT", help="the file to write")
    convert.set_defaults(run=_convert)

    batch = commands.add_parser(
        "batch", help="analyse files under many scenarios in parallel; Parquet tables and a "
                      "summary (needs the scenarios extra; --scheduler the dask extra)")
    batch.add_argument("files", metavar="FILE", nargs="+", help="a network file of any format")
    scenarios = batch.add_mutually_exclusive_group(required=True)
    scenarios.add_argument("--scenarios", metavar="CSV",
                           help="scenario table; columns name, return_period, "
                                "intensity_factor, c_factor, n_factor, tailwater")
    scenarios.add_argument("--storms", metavar="YEARS",
                           help="return periods, e.g. 2,10,100: one scenario each")
    batch.add_argument("--output", "-o", metavar="PATH", required=True,
                       help="the pipe table; the structure table and the summary go beside it "
                            "(results.parquet: results.structures.parquet, "
                            "results.summary.parquet)")
    batch.add_argument("--scheduler", metavar="ADDRESS",
                       help="run on this Dask scheduler, e.g. tcp://10.0.0.5:8786")
    batch.add_argument("--workers", metavar="N", type=int,
                       help="threads of the local pool (default: the CPU count)")
    batch.set_defaults(run=_batch)

    design = commands.add_parser(
        "design", parents=[reading], help="size the pipes and lay the inverts of a network file")
    design.add_argument("file", metavar="FILE",
                        help='a network file of any format; "-" reads .rwn text from stdin')
    design.add_argument("--output", "-o", metavar="PATH",
                        help="the designed project (default: FILE with .designed.rwproj)")
    design.add_argument("--units", choices=("us", "si"),
                        help="units of the table (default: the project's own)")
    design.add_argument("--format", choices=("table", "csv", "json", "markdown"),
                        default="table", help="output format (default: an aligned table)")
    design.set_defaults(run=_design)
    _add_drawing_commands(commands)
    return parser


def _demo(args: argparse.Namespace) -> None:
    _print_tables(demo_document(), args)


def _analyze(args: argparse.Namespace) -> None:
    _print_tables(read_any(args.file, args), args, inputs=[args.file])


def read_any(path: str, args: argparse.Namespace | None = None) -> Document:
    """A document from any network file; formats other than rillway's own become projects.
    The command's `--defaults`, `--set` and `--network` apply to every format: they fill what
    the file does not carry."""
    if args is None:
        return read_input(path)
    return read_input(path, **_reading(args))


def _reading(args: argparse.Namespace) -> dict[str, Any]:
    """How the command's options ask a network to be read."""
    fields = {}
    for item in getattr(args, "field", None) or []:
        key, sep, attribute = item.partition("=")
        if not sep or not key.strip() or not attribute.strip():
            raise CommandError(f"--field {item}: expected KEY=ATTRIBUTE")
        fields[key.strip()] = attribute.strip()
    return {"defaults": _defaults(args), "network": getattr(args, "network", None),
            "nodes": getattr(args, "nodes", None) or (), "fields": fields or None,
            "unsupported": "cut" if getattr(args, "cut_unsupported", False) else "refuse"}


def _print_tables(document: Document, args: argparse.Namespace,
                  inputs: list[str] | None = None) -> None:
    result = analyze(document)
    units: Units = args.units or ("si" if is_si(document) else "us")
    if units == "si":
        result = to_si(result)
    which: Which = args.which
    color = (args.format == "table" and args.output is None and _wants_color(sys.stdout))
    _write(args.output, render(result, args.format, which, color=color, units=units),
           inputs)


def _convert(args: argparse.Namespace) -> None:
    format_of(args.target)
    options = _reading(args)
    nodes = options.pop("nodes")
    refuse_overwriting(args.target, [args.source, *nodes])
    write_network(read_network([args.source, *nodes] if nodes else args.source, **options),
                  args.target)


def _demo_project(args: argparse.Namespace) -> None:
    _write(args.output, rillway.demo_project_json() + "\n")


def _figure_class(output: str, command: str) -> Any:
    """matplotlib's Figure, for a picture file of a type it draws."""
    suffix = Path(output).suffix.lower()
    if suffix not in PICTURE_TYPES:
        raise CommandError(f"{output}: cannot draw a '{suffix or output}' picture "
                           "(use .png, .svg or .pdf)")
    try:
        from matplotlib.figure import Figure
    except ImportError:
        raise CommandError(
            f"the {command} command needs matplotlib: pip install 'rillway[plot]'") from None
    return Figure


def _profile(args: argparse.Namespace) -> None:
    Figure = _figure_class(args.output, "profile")
    from .profile import plot_profile

    document = read_any(args.file, args)
    result = analyze(document)
    if not result["name"]:  # a .rwn network has no name: the title names the file
        result["name"] = Path(document.source).name
    figure = Figure(figsize=(11, 5.5), layout="constrained")
    try:
        plot_profile(document, result, args.start, ax=figure.add_subplot(), title=args.title)
    except ValueError as error:
        raise DocumentError(document.source, str(error)) from None
    refuse_overwriting(args.output, [args.file])
    write_atomically(args.output, lambda temporary: figure.savefig(temporary, dpi=150))


def _batch(args: argparse.Namespace) -> None:
    try:
        from . import scenarios
        table = (scenarios.storms(args.storms) if args.storms
                 else scenarios.scenario_table(args.scenarios))
    except ImportError as error:
        raise CommandError(f"the batch command needs {error.name}: "
                           "pip install 'rillway[scenarios]'") from None
    except ValueError as error:
        raise CommandError(str(error)) from None
    if args.workers is not None and args.workers < 1:
        raise CommandError(f"--workers {args.workers}: give one thread or more")
    if not args.output.lower().endswith(".parquet"):
        raise CommandError(f"{args.output}: the batch tables are Parquet: name the output "
                           "NAME.parquet")
    for output in scenarios.parquet_targets(args.output):
        refuse_overwriting(output, args.files)
    client = None
    if args.scheduler:
        try:
            client = scenarios.connect(args.scheduler)
        except ImportError:
            raise CommandError("--scheduler needs Dask: pip install 'rillway[dask]'") from None
        except (OSError, TimeoutError) as error:
            raise CommandError(f"{args.scheduler}: cannot reach the scheduler: {error}") from None
    try:
        results = scenarios.run(args.files, table, client=client, workers=args.workers,
                                progress=sys.stdout.isatty())
    finally:
        if client is not None:
            client.close()
    try:
        written = scenarios.write_parquet(results, args.output)
    except ImportError:
        raise CommandError("writing Parquet needs pyarrow: pip install 'rillway[scenarios]'") from None
    except OSError as error:
        raise CommandError(f"{args.output}: cannot write: {error.strerror or error}") from None
    sys.stdout.write(scenarios.summary_text(results.summary) + "\n")
    sys.stdout.flush()
    print("wrote " + ", ".join(written), file=sys.stderr)
    failed = int(results.summary["error"].notna().sum())
    if failed:
        raise CommandError(f"{failed} of {len(results.summary)} scenario runs failed; "
                           "their messages are in the summary")

def _design(args: argparse.Namespace) -> int:
    from .design_tables import render_design

    document = read_any(args.file, args)
    _, designed = design(document)
    crs = json.loads(document.text).get("crs") if document.format == "rwproj" else None
    if crs is not None:  # the engine keeps no key of its own for it; the file had one
        designed["project"] = json.dumps({**json.loads(designed["project"]), "crs": crs},
                                         indent=2, ensure_ascii=False)
    output = args.output
    if output is None and document.source != "<stdin>":
        output = str(Path(document.source).with_suffix(".designed.rwproj"))
    if output is not None:
        _write(output, designed["project"] + "\n", [args.file])
    color = args.format == "table" and _wants_color(sys.stdout)
    units: Units = args.units or ("si" if is_si(document) else "us")
    _write(None, render_design(designed, args.format, color=color, units=units))
    if args.format == "csv":  # the rows alone on stdout; the unmet rules go beside them
        for line in designed["unmet"]:
            print("rillway: unmet: " + line, file=sys.stderr)
    return EXIT_UNMET if designed["unmet"] else 0


def _wants_color(stream: TextIO) -> bool:
    return (stream.isatty() and "NO_COLOR" not in os.environ
            and os.environ.get("TERM") != "dumb")


def _write(path: str | None, text: str, inputs: list[str] | None = None) -> None:
    """Standard output, or the file `path` written whole (never one of the `inputs`)."""
    if path is None or path == "-":
        sys.stdout.write(text)
        sys.stdout.flush()
        return
    refuse_overwriting(path, inputs or [])
    write_text(path, text)


def _add_drawing_commands(commands: argparse._SubParsersAction[argparse.ArgumentParser]) -> None:
    plan = commands.add_parser(
        "plan", help="draw the network in plan, coloured by a result (needs matplotlib)")
    plan.add_argument("file", metavar="FILE",
                      help='a network file of any format; "-" reads .rwn text from stdin')
    plan.add_argument("--output", "-o", metavar="PATH", required=True,
                      help="the picture to write: .png, .svg or .pdf")
    plan.add_argument("--color-by", metavar="KEY", default="pct_full",
                      help="a numeric pipe or structure result key (default: pct_full)")
    plan.add_argument("--design", action="store_true",
                      help="size the pipes and lay the inverts first, then draw that design")
    plan.set_defaults(run=_plan)

    report = commands.add_parser(
        "report", help="write the drainage report: plan, profiles, tables (HTML, or PDF with "
                       "the report extra)")
    report.add_argument("file", metavar="FILE",
                        help='a network file of any format; "-" reads .rwn text from stdin')
    report.add_argument("--output", "-o", metavar="PATH", required=True,
                        help="report.html, or report.pdf (needs WeasyPrint)")
    report.add_argument("--design", action="store_true",
                        help="size the pipes and lay the inverts first; the report shows the "
                             "design table, the rules in force and those not met")
    storms = report.add_mutually_exclusive_group()
    storms.add_argument("--scenarios", metavar="CSV",
                        help="scenario table to summarise (needs the scenarios extra)")
    storms.add_argument("--storms", metavar="YEARS",
                        help="return periods, e.g. 2,10,100: one scenario each")
    report.add_argument("--units", choices=("us", "si"),
                        help="units of the report (default: the project's own)")
    report.set_defaults(run=_report)


def _plan(args: argparse.Namespace) -> None:
    Figure = _figure_class(args.output, "plan")
    from .plan import plan_size, plot_plan

    document = read_any(args.file)
    if args.design:
        document, designed = design(document)
        result = designed["result"]
    else:
        result = analyze(document)
    if not result["name"]:  # a .rwn network has no name: the title names the file
        result["name"] = Path(document.source).name
    figure = Figure(figsize=plan_size(document), layout="constrained")
    try:
        plot_plan(document, result, ax=figure.add_subplot(), color_by=args.color_by)
    except ValueError as error:
        raise CommandError(str(error)) from None
    write_atomically(args.output, lambda path: figure.savefig(path, dpi=150))


def _report(args: argparse.Namespace) -> None:
    from .report import ReportError, write_report

    try:
        write_report(read_any(args.file), args.output, design=args.design,
                     scenarios=args.scenarios, storms=args.storms, units=args.units)
    except ReportError as error:
        raise CommandError(str(error)) from None


if __name__ == "__main__":
    sys.exit(main())
