"""The `rillway` command: the four commands, the table formats, input handling and errors."""
import csv
import importlib.metadata
import io
import json
import math
import subprocess
import sys
from pathlib import Path

import pytest

import rillway
from rillway_tools import cli, tables

EXAMPLES = Path(__file__).resolve().parent.parent / "examples"
MAIN_STREET = EXAMPLES / "main-street.rwn"      # P2 surcharges, IN2 floods
SCHOOL_LANE = EXAMPLES / "school-lane.rwproj"


def run(capsys, *argv, stdin=None, monkeypatch=None):
    """Runs the command in this process; returns (exit status, stdout, stderr)."""
    if stdin is not None:
        monkeypatch.setattr(sys, "stdin", io.TextIOWrapper(io.BytesIO(stdin)))
    status = cli.main([str(arg) for arg in argv])
    out, err = capsys.readouterr()
    return status, out, err


def section(text, caption):
    """The lines of one text table: caption, heading, units, rule, rows (up to a blank line)."""
    lines = text.splitlines()
    start = lines.index(caption)
    end = lines.index("", start) if "" in lines[start:] else len(lines)
    return lines[start:end]


def column_spans(rule):
    """(start, end) of each dash run of a table's rule line."""
    spans, start = [], None
    for position, char in enumerate(rule + " "):
        if char == "-" and start is None:
            start = position
        elif char != "-" and start is not None:
            spans.append((start, position))
            start = None
    return spans


# --- demo and analyze: the text tables --------------------------------------------------------

def test_demo_prints_both_tables_with_units_and_aligned_columns(capsys):
    status, out, err = run(capsys, "demo")
    assert (status, err) == (0, "")
    result = rillway.analyze_project(rillway.demo_project_json())
    assert out.splitlines()[0] == "Demo Trunk Line"
    for caption, columns, rows in (("Pipes", tables.PIPE_COLUMNS, result["pipes"]),
                                   ("Nodes", tables.NODE_COLUMNS, result["nodes"])):
        lines = section(out, caption)
        heading, units, rule, body = lines[1], lines[2], lines[3], lines[4:]
        assert len(body) == len(rows)
        spans = column_spans(rule)
        assert len(spans) == len(columns)
        for line in (heading, units, *body):
            # Every character of a cell lies inside its column; the gaps stay blank.
            for position, char in enumerate(line):
                if position > 1 and char != " ":
                    assert any(a <= position < b for a, b in spans), (line, position)
        for column, (a, b) in zip(columns, spans):
            assert heading[a:b].strip() == column.heading
            if column.unit not in ("", "-"):
                assert units[a:b].strip() == column.unit
        for row, line in zip(rows, body):
            a, b = spans[[c.key for c in columns].index("id")]
            assert line[a:b].strip() == row["id"]
    pipe_units = section(out, "Pipes")[2]
    for unit in ("ft/ft", "ac", "min", "in/hr", "cfs", "ft/s", "ft"):
        assert unit in pipe_units.split()


def test_surcharged_pipes_and_flooding_nodes_are_marked(capsys):
    status, out, _ = run(capsys, "analyze", MAIN_STREET)
    assert status == 0
    result = rillway.analyze_rwn(MAIN_STREET.read_text())
    pipes = section(out, "Pipes")[4:4 + len(result["pipes"])]
    nodes = section(out, "Nodes")[4:4 + len(result["nodes"])]
    marked_pipes = [line.split()[1] for line in pipes if line.startswith("!")]
    marked_nodes = [line.split()[1] for line in nodes if line.startswith("!")]
    assert marked_pipes == [p["id"] for p in result["pipes"] if p["surcharged"]] == ["P2"]
    assert marked_nodes == [n["id"] for n in result["nodes"] if n["floods"]] == ["IN2"]
    assert out.count(tables.PIPE_NOTE) == 1 and out.count(tables.NODE_NOTE) == 1
    assert "\x1b[" not in out  # no colour when standard output is not a terminal


def test_colour_marks_only_the_flagged_rows():
    result = rillway.analyze_rwn(MAIN_STREET.read_text())
    text = tables.render(result, "table", "nodes", color=True)
    red = [line for line in text.splitlines() if line.startswith(tables.RED)]
    assert len(red) == 1 and red[0].endswith(tables.RESET) and " IN2 " in red[0]
    quiet = tables.render(result, "table", "nodes", color=False)
    assert "\x1b[" not in quiet and "! IN2" in quiet


def test_no_notes_when_nothing_is_flagged(capsys):
    _, out, _ = run(capsys, "demo")
    assert tables.PIPE_NOTE not in out and tables.NODE_NOTE not in out
    assert not any(line.startswith("!") for line in out.splitlines())


@pytest.mark.parametrize("option, pipes, nodes", [
    ("--pipes-only", True, False), ("--nodes-only", False, True)])
def test_one_table_only(capsys, option, pipes, nodes):
    status, out, _ = run(capsys, "analyze", SCHOOL_LANE, option)
    assert status == 0
    assert ("Pipes" in out.splitlines()) is pipes
    assert ("Nodes" in out.splitlines()) is nodes


def test_pipes_only_and_nodes_only_exclude_each_other(capsys):
    with pytest.raises(SystemExit) as caught:
        cli.main(["demo", "--pipes-only", "--nodes-only"])
    assert caught.value.code == 2
    assert "not allowed with argument" in capsys.readouterr().err


# --- the machine formats ------------------------------------------------------------------------

def test_csv_holds_the_result_keys_and_full_precision(capsys):
    status, out, _ = run(capsys, "analyze", MAIN_STREET, "--format", "csv", "--pipes-only")
    assert status == 0
    result = rillway.analyze_rwn(MAIN_STREET.read_text())
    rows = list(csv.DictReader(io.StringIO(out)))
    assert list(rows[0]) == list(result["pipes"][0])
    for written, pipe in zip(rows, result["pipes"], strict=True):
        for key, value in pipe.items():
            if value is None:
                assert written[key] == ""
            elif isinstance(value, float):
                assert float(written[key]) == value  # reads back to the same double
            else:
                assert written[key] == str(value)


def test_csv_of_both_tables_is_two_blocks(capsys):
    _, out, _ = run(capsys, "demo", "--format", "csv")
    pipes, nodes = out.split("\n\n")
    assert pipes.splitlines()[0].startswith("id,from,to,slope,")
    assert nodes.splitlines()[0] == "id,tc,rim,hgl,freeboard,floods"
    assert len(nodes.splitlines()) == 1 + 4


def test_json_is_the_result_itself(capsys):
    _, out, _ = run(capsys, "analyze", MAIN_STREET, "--format", "json")
    assert json.loads(out) == rillway.analyze_rwn(MAIN_STREET.read_text())
    _, out, _ = run(capsys, "demo", "--format", "json", "--nodes-only")
    assert list(json.loads(out)) == ["name", "nodes"]


def test_json_writes_non_finite_numbers_as_null(capsys, tmp_path):
    path = tmp_path / "zero-n.rwn"  # n = 0: no normal depth; an infinite tc upstream
    path.write_text("NODE A inlet 0 0 100 106 1 0.5 inf\nNODE O outfall 100 0 99 105\n"
                    "PIPE P A O 100 1.5 0\n")
    result = rillway.analyze_rwn(path.read_text())
    assert math.isinf(result["nodes"][0]["tc"])
    _, out, _ = run(capsys, "analyze", path, "--format", "json")
    assert json.loads(out)["nodes"][0]["tc"] is None


def test_markdown_tables_carry_units_and_bold_the_flagged_rows(capsys):
    _, out, _ = run(capsys, "analyze", MAIN_STREET, "--format", "markdown")
    lines = out.splitlines()
    header = lines[lines.index("**Pipes**") + 2]
    assert header.startswith("| pipe | from | to | slope (ft/ft) | C*A (ac) |")
    assert "| Q (cfs) |" in header and header.endswith("| surcharged |")
    rows = [line for line in lines if line.startswith("| ")]
    assert sum(line.startswith("| **") for line in rows) == 2  # P2 and IN2
    assert "| **P2** |" in out and "| **IN2** |" in out and out.count("**yes**") == 2
    widths = {line.count("|") for line in rows[:5]}
    assert widths == {len(tables.PIPE_COLUMNS) + 1}


# --- inputs and outputs -------------------------------------------------------------------------

def test_output_option_writes_the_file_and_nothing_to_stdout(capsys, tmp_path):
    target = tmp_path / "tables.txt"
    status, out, _ = run(capsys, "demo", "--output", target)
    assert (status, out) == (0, "")
    assert target.read_text().startswith("Demo Trunk Line\n")
    assert "\x1b[" not in target.read_text()


def test_dash_reads_rwn_from_standard_input(capsys, monkeypatch):
    status, out, _ = run(capsys, "analyze", "-", "--format", "json",
                         stdin=MAIN_STREET.read_bytes(), monkeypatch=monkeypatch)
    assert status == 0
    assert json.loads(out) == rillway.analyze_rwn(MAIN_STREET.read_text())


@pytest.mark.parametrize("example", [MAIN_STREET, SCHOOL_LANE])
def test_a_byte_order_mark_is_ignored(capsys, tmp_path, example):
    path = tmp_path / example.name
    path.write_bytes(b"\xef\xbb\xbf" + example.read_bytes())
    _, with_mark, _ = run(capsys, "analyze", path, "--format", "json")
    _, without, _ = run(capsys, "analyze", example, "--format", "json")
    assert with_mark == without


def test_windows_line_endings_read_like_unix_ones(capsys, tmp_path):
    path = tmp_path / "crlf.rwn"
    path.write_bytes(MAIN_STREET.read_bytes().replace(b"\n", b"\r\n"))
    _, crlf, _ = run(capsys, "analyze", path, "--format", "csv")
    _, lf, _ = run(capsys, "analyze", MAIN_STREET, "--format", "csv")
    assert crlf == lf


def test_extension_is_matched_without_regard_to_case(capsys, tmp_path):
    path = tmp_path / "LANE.RWPROJ"
    path.write_bytes(SCHOOL_LANE.read_bytes())
    status, out, _ = run(capsys, "analyze", path, "--pipes-only")
    assert status == 0 and out.startswith("School Lane\n")


def test_demo_project_is_the_module_demo_and_analyses(capsys, tmp_path):
    status, out, _ = run(capsys, "demo-project")
    assert status == 0 and out == rillway.demo_project_json() + "\n"
    project = tmp_path / "new.rwproj"
    run(capsys, "demo-project", "--output", project)
    _, from_file, _ = run(capsys, "analyze", project, "--format", "json")
    _, demo, _ = run(capsys, "demo", "--format", "json")
    assert from_file == demo


# --- errors -------------------------------------------------------------------------------------

def broken(tmp_path, name, content):
    path = tmp_path / name
    path.write_bytes(content)
    return str(path)


@pytest.mark.parametrize("make, message", [
    (lambda d: str(d / "absent.rwn"), "cannot read: No such file or directory"),
    (lambda d: broken(d, "net.txt", b"NODE O outfall 0 0 1 2"),
     "unknown file type '.txt' (known: .rwproj, .rwn, .inp"),
    (lambda d: broken(d, "bad.rwn", b"# header\n\nNODE N1\n"),
     "cannot parse .rwn: line 3: NODE needs a kind"),
    (lambda d: broken(d, "loop.rwn", b"NODE A inlet 0 0 1 2 1 1\nPIPE P A A 1 1 0.013\n"),
     "analysis failed: network contains a cycle"),
    (lambda d: broken(d, "bad.rwproj", b"{}"), "invalid project JSON: missing field `name`"),
    (lambda d: broken(d, "latin1.rwn", b"# caf\xe9\n"), "not UTF-8 text (byte 0xe9 at offset 5)"),
    (lambda d: (d / "folder.rwn").mkdir() or str(d / "folder.rwn"), "cannot read: Is a directory"),
])
def test_bad_input_exits_2_with_one_line_naming_file_and_problem(capsys, tmp_path, make, message):
    path = make(tmp_path)
    status, out, err = run(capsys, "analyze", path)
    assert (status, out) == (2, "")
    assert err.count("\n") == 1
    assert err.startswith(f"rillway: {path}: {message}")


def test_errors_of_the_output_name_the_output(capsys, tmp_path):
    target = tmp_path / "no-such-dir" / "out.csv"
    status, _, err = run(capsys, "demo", "--output", target)
    assert status == 2
    assert err == f"rillway: {target}: cannot write: No such file or directory\n"


def test_bad_input_from_standard_input_is_named_stdin(capsys, monkeypatch):
    status, _, err = run(capsys, "analyze", "-", stdin=b"FOO 1\n", monkeypatch=monkeypatch)
    assert status == 2
    assert err == "rillway: <stdin>: cannot parse .rwn: line 1: unknown keyword `FOO`\n"


def test_installed_command_reports_errors_without_a_traceback(tmp_path):
    bad = tmp_path / "bad.rwn"
    bad.write_text("NODE N1 pond 0 0 100 105\n")
    finished = subprocess.run([sys.executable, "-m", "rillway_tools", "analyze", str(bad)],
                              capture_output=True, text=True, cwd=tmp_path, check=False)
    assert finished.returncode == 2 and finished.stdout == ""
    assert finished.stderr == (f"rillway: {bad}: cannot parse .rwn: "
                               "line 1: unknown node kind `pond`\n")


def test_console_script_is_registered():
    (entry,) = importlib.metadata.entry_points(group="console_scripts", name="rillway")
    assert entry.load() is cli.main


def test_version_option(capsys):
    with pytest.raises(SystemExit) as caught:
        cli.main(["--version"])
    assert caught.value.code == 0
    assert capsys.readouterr().out == f"rillway {rillway.__version__}\n"
