"""The `rillway` command: design tables and profiles from the command line.

    rillway demo                         tables of the built-in demo project
    rillway analyze FILE                 tables of a .rwproj or .rwn file ("-": .rwn on stdin)
    rillway demo-project                 the demo project's JSON, to start a new project
    rillway profile FILE --from NODE --output profile.png
    rillway design FILE [--output designed.rwproj]   size the pipes, lay the inverts

Bad input ends the command with exit status 2 and one line on standard error that names the
file and the problem; `design` ends with exit status 1 when some rule could not be met.
"""
from __future__ import annotations

import argparse
import os
import sys
from collections.abc import Sequence
from pathlib import Path
from typing import TextIO

import rillway

from .documents import Document, DocumentError, analyze, demo_document, read_document
from .tables import Which, render

PICTURE_TYPES = (".png", ".svg", ".pdf")
EXIT_ERROR = 2
EXIT_UNMET = 1


class CommandError(Exception):
    """A failure reported as "rillway: <message>" and exit status 2."""


def main(argv: Sequence[str] | None = None) -> int:
    args = _parser().parse_args(argv)
    try:
        status = args.run(args)
    except DocumentError as error:
        return _fail(f"{error.source}: {error.message}")
    except CommandError as error:
        return _fail(str(error))
    except BrokenPipeError:
        # The reader went away (`rillway demo | head`); nothing left to say.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 0
    return status or 0


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

    demo = commands.add_parser("demo", parents=[tables],
                               help="analyse the built-in demo project and print its tables")
    demo.set_defaults(run=_demo)

    analyze_command = commands.add_parser(
        "analyze", parents=[tables], help="analyse a .rwproj or .rwn file and print its tables")
    analyze_command.add_argument("file", metavar="FILE",
                                 help='a .rwproj or .rwn file; "-" reads .rwn text from stdin')
    analyze_command.set_defaults(run=_analyze)

    project = commands.add_parser("demo-project",
                                  help="write the demo project's JSON, a start for a new one")
    project.add_argument("--output", "-o", metavar="PATH",
                         help="write to PATH instead of standard output")
    project.set_defaults(run=_demo_project)

    profile = commands.add_parser(
        "profile", help="draw the profile from a node down to its outfall (needs matplotlib)")
    profile.add_argument("file", metavar="FILE",
                         help='a .rwproj or .rwn file; "-" reads .rwn text from stdin')
    profile.add_argument("--from", dest="start", metavar="NODE", required=True,
                         help="the node where the profile starts")
    profile.add_argument("--output", "-o", metavar="PATH", required=True,
                         help="the picture to write: .png, .svg or .pdf")
    profile.add_argument("--title", help="title of the plot (default: project and nodes)")
    profile.set_defaults(run=_profile)

    design = commands.add_parser(
        "design", help="size the pipes and lay the inverts of a .rwproj or .rwn file")
    design.add_argument("file", metavar="FILE",
                        help='a .rwproj or .rwn file; "-" reads .rwn text from stdin')
    design.add_argument("--output", "-o", metavar="PATH",
                        help="the designed project (default: FILE with .designed.rwproj)")
    design.add_argument("--format", choices=("table", "csv", "json", "markdown"),
                        default="table", help="output format (default: an aligned table)")
    design.set_defaults(run=_design)
    return parser


def _demo(args: argparse.Namespace) -> None:
    _print_tables(demo_document(), args)


def _analyze(args: argparse.Namespace) -> None:
    _print_tables(read_document(args.file), args)


def _print_tables(document: Document, args: argparse.Namespace) -> None:
    result = analyze(document)
    which: Which = args.which
    color = (args.format == "table" and args.output is None and _wants_color(sys.stdout))
    _write(args.output, render(result, args.format, which, color=color))


def _demo_project(args: argparse.Namespace) -> None:
    _write(args.output, rillway.demo_project_json() + "\n")


def _profile(args: argparse.Namespace) -> None:
    suffix = Path(args.output).suffix.lower()
    if suffix not in PICTURE_TYPES:
        raise CommandError(f"{args.output}: cannot draw a '{suffix or args.output}' picture "
                           "(use .png, .svg or .pdf)")
    try:
        from matplotlib.figure import Figure
    except ImportError:
        raise CommandError(
            "the profile command needs matplotlib: pip install 'rillway[plot]'") from None
    from .profile import plot_profile

    document = read_document(args.file)
    result = analyze(document)
    if not result["name"]:  # a .rwn network has no name: the title names the file
        result["name"] = Path(document.source).name
    figure = Figure(figsize=(11, 5.5), layout="constrained")
    try:
        plot_profile(document, result, args.start, ax=figure.add_subplot(), title=args.title)
    except ValueError as error:
        raise DocumentError(document.source, str(error)) from None
    try:
        figure.savefig(args.output, dpi=150)
    except OSError as error:
        raise CommandError(f"{args.output}: cannot write: {error.strerror or error}") from None


def _design(args: argparse.Namespace) -> int:
    from .design_tables import render_design

    document = read_document(args.file)
    text = document.text
    if document.format == "rwn":
        to_project = getattr(rillway, "rwn_to_project", None)
        if to_project is None:
            raise CommandError("designing a .rwn file needs rillway.rwn_to_project "
                               "(a newer rillway module)")
        try:
            text = to_project(text)
        except ValueError as error:
            raise DocumentError(document.source, str(error)) from None
    try:
        designed = rillway.design_project(text)
    except ValueError as error:
        raise DocumentError(document.source, str(error)) from None
    output = args.output
    if output is None and document.source != "<stdin>":
        output = str(Path(document.source).with_suffix(".designed.rwproj"))
    if output is not None:
        _write(output, designed["project"] + "\n")
    color = args.format == "table" and _wants_color(sys.stdout)
    _write(None, render_design(designed, args.format, color=color))
    if args.format == "csv":  # the rows alone on stdout; the unmet rules go beside them
        for line in designed["unmet"]:
            print("rillway: unmet: " + line, file=sys.stderr)
    return EXIT_UNMET if designed["unmet"] else 0


def _wants_color(stream: TextIO) -> bool:
    return (stream.isatty() and "NO_COLOR" not in os.environ
            and os.environ.get("TERM") != "dumb")


def _write(path: str | None, text: str) -> None:
    if path is None or path == "-":
        sys.stdout.write(text)
        sys.stdout.flush()
        return
    try:
        Path(path).write_text(text, encoding="utf-8")
    except OSError as error:
        raise CommandError(f"{path}: cannot write: {error.strerror or error}") from None


if __name__ == "__main__":
    sys.exit(main())
