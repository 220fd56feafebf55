"""The profile: layouts read from both formats, the flow path, the numbers along it, the drawing
and the `rillway profile` command."""
import json
import math
import sys
from pathlib import Path

import matplotlib
import pytest

matplotlib.use("Agg")  # before pyplot: no display in tests

import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.axes import Axes  # noqa: E402
from matplotlib.colors import to_rgba  # noqa: E402

import rillway  # noqa: E402
from rillway_tools import cli, layout_of, plot_profile, profile_of  # noqa: E402
from rillway_tools import profile as profile_module  # noqa: E402

EXAMPLES = Path(__file__).resolve().parent.parent / "examples"
MAIN_STREET = (EXAMPLES / "main-street.rwn").read_text()
SCHOOL_LANE = (EXAMPLES / "school-lane.rwproj").read_text()
FEET_PER_METRE = 3.280839895013123


@pytest.fixture(autouse=True)
def close_figures():
    yield
    plt.close("all")


def demo():
    text = rillway.demo_project_json()
    return text, rillway.analyze_project(text)


# --- the numbers along the path -----------------------------------------------------------------

def test_demo_profile_stations_inverts_crowns_and_grade_line():
    text, result = demo()
    profile = profile_of(text, result, "N1")
    # Stations add up the pipe lengths 300, 250 and 180 ft.
    assert [s.station for s in profile.structures] == [0.0, 300.0, 550.0, 730.0]
    assert [s.id for s in profile.structures] == ["N1", "N2", "N3", "OUT"]
    assert [s.kind for s in profile.structures] == ["inlet", "inlet", "junction", "outfall"]
    # The demo's pipes have no inverts of their own: each end takes its node's invert.
    assert [(r.invert_up, r.invert_dn) for r in profile.reaches] == [
        (104.0, 102.5), (102.5, 101.2), (101.2, 100.0)]
    assert [r.crown_up for r in profile.reaches] == [105.25, 104.0, 102.95]
    for reach, row in zip(profile.reaches, result["pipes"], strict=True):
        assert (reach.id, reach.hgl_up, reach.hgl_dn) == (row["id"], row["hgl_up"], row["hgl_dn"])
    for structure, row in zip(profile.structures, result["nodes"], strict=True):
        assert (structure.rim, structure.hgl, structure.floods) == (
            row["rim"], row["hgl"], row["floods"])
    assert profile.name == "Demo Trunk Line"


def test_own_inverts_and_box_rise_come_from_the_project():
    result = rillway.analyze_project(SCHOOL_LANE)
    profile = profile_of(json.loads(SCHOOL_LANE), result, "A")
    p1, p2 = profile.reaches
    assert (p1.invert_dn, p1.rise) == (99.6, 1.5)           # node B's invert, round 1.5 ft
    assert (p2.invert_up, p2.invert_dn, p2.rise) == (99.4, 98.0, 1.5)  # own invert, box rise
    assert [s.diameter for s in profile.structures] == [4.0, 4.0, 4.0]


def test_a_box_without_a_span_is_refused_not_drawn_round():
    project = json.loads(SCHOOL_LANE)
    project["pipes"][1]["span_ft"] = 0.0
    with pytest.raises(ValueError, match="pipe 'P2' is box with rise_ft 1.5 and span_ft 0"):
        rillway.analyze_project(json.dumps(project))


def test_si_project_is_drawn_in_feet_like_the_analysis():
    project = json.loads(SCHOOL_LANE)
    project["units"] = "si"
    project["nodes"][1]["diameter_ft"] = 1.2
    result = rillway.analyze_project(json.dumps(project))
    profile = profile_of(project, result, "A")
    # The analysis converts rims to feet itself; the layout must agree with it.
    for structure, row in zip(profile.structures, result["nodes"], strict=True):
        assert structure.rim == pytest.approx(row["rim"], rel=1e-15)
    assert profile.structures[1].station == pytest.approx(200.0 * FEET_PER_METRE)
    assert profile.structures[1].diameter == pytest.approx(1.2 * FEET_PER_METRE)
    assert profile.reaches[1].invert_up == pytest.approx(99.4 * FEET_PER_METRE)
    assert profile.reaches[1].rise == pytest.approx(1.5 * FEET_PER_METRE)


def test_records_given_as_arrays_are_read_in_key_order():
    project = json.loads(SCHOOL_LANE)
    project["nodes"] = [[n["id"], n["kind"], n["x"], n["y"], n["invert"], n["rim"], n["area_ac"],
                         n["c"], n["tc_inlet"]] for n in project["nodes"]]
    project["pipes"][0] = ["P1", "A", "B", 200.0, 1.5, 0.013]
    result = rillway.analyze_project(json.dumps(project))
    profile = profile_of(project, result, "A")
    assert [s.rim for s in profile.structures] == [106.0, 104.5, 102.0]
    assert profile.structures[1].station == 200.0


def test_rwn_layout_reads_case_insensitive_keywords_comments_and_crlf():
    text = ("# a comment line\r\n"
            "node A Inlet 0 0 100 106 1 0.5 12   # trailing comment\r\n"
            "Node B JUNCTION 0 0 99 105 1 0.5\r\n"
            "NODE O outfall 0 0 98 104 - -\r\n"
            "IDF 60 10 0.8\r\n"
            "pipe P1 A B 150 1.5 0.013\r\n"
            "PIPE P2 B O 120 2 0.013\r\n")
    layout = layout_of(text)
    assert [(n.id, n.kind, n.invert, n.rim) for n in layout.nodes] == [
        ("A", "inlet", 100.0, 106.0), ("B", "junction", 99.0, 105.0),
        ("O", "outfall", 98.0, 104.0)]
    assert [(p.id, p.source, p.target, p.length, p.rise) for p in layout.pipes] == [
        ("P1", "A", "B", 150.0, 1.5), ("P2", "B", "O", 120.0, 2.0)]
    assert profile_of(text, rillway.analyze_rwn(text), "A").structures[-1].station == 270.0


@pytest.mark.filterwarnings("ignore:structure IN2 has 2 pipes leaving it:rillway.InputWarning")
def test_path_follows_the_first_pipe_leaving_each_node():
    text = MAIN_STREET + "NODE POND outfall 250 -300 90 95\nPIPE SPILL IN2 POND 300 1 0.013\n"
    result = rillway.analyze_rwn(text)
    # IN2 has two pipes leaving it; P2 comes first in the file.
    profile = profile_of(text, result, "LAT1")
    assert [r.id for r in profile.reaches] == ["L1", "P2", "P3"]
    assert [s.id for s in profile.structures] == ["LAT1", "IN2", "J1", "OUT"]
    assert [s.station for s in profile.structures] == [0.0, 150.0, 380.0, 600.0]


def test_adverse_pipe_takes_the_upstream_node_grade_line():
    text = ("NODE A inlet 0 0 99 106 1 0.5\nNODE O outfall 100 0 100 105\n"
            "PIPE P A O 100 1.5 0.013\n")
    result = rillway.analyze_rwn(text)
    assert result["pipes"][0]["hgl_up"] is None
    reach = profile_of(text, result, "A").reaches[0]
    assert reach.hgl_up == result["nodes"][0]["hgl"]


@pytest.mark.parametrize("start, message", [
    ("NOPE", "no node 'NOPE' in the network"),
    ("OUT", "no pipe leaves node 'OUT'"),
])
def test_a_start_without_a_path_is_an_error(start, message):
    text, result = demo()
    with pytest.raises(ValueError, match=f"^{message}$"):
        profile_of(text, result, start)


def test_a_loop_in_the_path_is_an_error():
    layout = layout_of("NODE A inlet 0 0 1 2 1 1\nNODE B inlet 0 0 1 2 1 1\n"
                       "PIPE P A B 1 1 0.013\nPIPE Q B A 1 1 0.013\n")
    with pytest.raises(ValueError, match="runs in a loop"):
        layout.flow_path("A")


def test_the_result_of_another_document_is_refused():
    text, _ = demo()
    with pytest.raises(ValueError, match="does not belong"):
        profile_of(text, rillway.analyze_rwn(MAIN_STREET), "N1")


# --- the drawing --------------------------------------------------------------------------------

def lines_by_label(ax):
    return {line.get_label(): line for line in ax.get_lines()}


def test_plot_on_a_new_figure_draws_every_line_of_the_profile():
    text, result = demo()
    ax = plot_profile(text, result, "N1")
    assert isinstance(ax, Axes)
    lines = lines_by_label(ax)
    profile = profile_of(text, result, "N1")
    hgl = lines["hydraulic grade line"]
    assert list(hgl.get_xdata()) == [0.0, 300.0, 300.0, 550.0, 550.0, 730.0]
    assert list(hgl.get_ydata()) == [y for r in profile.reaches for y in (r.hgl_up, r.hgl_dn)]
    assert list(lines["ground (rim)"].get_ydata()) == [110.0, 108.5, 107.0, 106.0]
    inverts = [y for y in lines["pipe invert"].get_ydata() if not math.isnan(y)]
    assert inverts == [104.0, 102.5, 102.5, 101.2, 101.2, 100.0]
    crowns = [y for y in lines["pipe crown"].get_ydata() if not math.isnan(y)]
    assert crowns == [105.25, 103.75, 104.0, 102.7, 102.95, 101.75]
    assert ax.get_xlabel() == "Station (ft)" and ax.get_ylabel() == "Elevation (ft)"
    assert ax.get_title() == "Demo Trunk Line: profile N1 to OUT"
    labels = [text.get_text() for text in ax.texts]
    assert labels == ["N1", "N2", "N3", "OUT\n(outfall)"]
    legend = [text.get_text() for text in ax.get_legend().get_texts()]
    assert "surcharged pipe" not in legend and "flooding structure" not in legend
    bottom, top = ax.get_ylim()
    assert bottom < 100.0 and top > 110.0  # outfall invert and highest rim are in view


def test_plot_on_given_axes_highlights_surcharge_and_flooding():
    result = rillway.analyze_rwn(MAIN_STREET)
    figure, (left, right) = plt.subplots(1, 2)
    ax = plot_profile(MAIN_STREET, result, "IN1", ax=right, title="Main Street")
    assert ax is right and not left.has_data()
    assert ax.get_title() == "Main Street"
    surcharged = [patch for patch in ax.patches
                  if patch.get_facecolor() == to_rgba(profile_module.SURCHARGED_FACE)]
    assert len(surcharged) == 1  # P2 alone
    assert {x for x, _ in surcharged[0].get_xy()} == {250.0, 480.0}
    flood_markers = [line for line in ax.get_lines() if line.get_marker() == "v"]
    assert [(list(line.get_xdata()), list(line.get_ydata())) for line in flood_markers] == [
        ([250.0], [result["nodes"][1]["hgl"]])]
    assert any(text.get_text() == "floods 0.58 ft" for text in ax.texts)
    legend = [text.get_text() for text in ax.get_legend().get_texts()]
    assert legend[-2:] == ["surcharged pipe", "flooding structure"]


def test_plot_without_matplotlib_says_how_to_install_it(monkeypatch):
    monkeypatch.setitem(sys.modules, "matplotlib.lines", None)
    text, result = demo()
    with pytest.raises(ImportError, match=r"pip install 'rillway\[plot\]'"):
        plot_profile(text, result, "N1")


# --- rillway profile ----------------------------------------------------------------------------

@pytest.mark.parametrize("name, magic", [
    ("profile.png", b"\x89PNG\r\n\x1a\n"), ("profile.svg", b"<?xml"), ("profile.pdf", b"%PDF-")])
def test_profile_command_writes_each_picture_type(tmp_path, capsys, name, magic):
    network = tmp_path / "main-street.rwn"
    network.write_text(MAIN_STREET)
    target = tmp_path / name
    assert cli.main(["profile", str(network), "--from", "IN1", "--output", str(target)]) == 0
    assert capsys.readouterr() == ("", "")
    assert target.read_bytes().startswith(magic)
    if name.endswith(".svg"):  # a .rwn has no name: the title names the file
        assert "main-street.rwn: profile IN1 to OUT" in target.read_text()


@pytest.mark.parametrize("argv, message", [
    (["--from", "NOPE", "--output", "p.png"], "{file}: no node 'NOPE' in the network"),
    (["--from", "N1", "--output", "p.jpg"],
     "p.jpg: cannot draw a '.jpg' picture (use .png, .svg or .pdf)"),
    (["--from", "N1", "--output", "missing/p.png"],
     "missing/p.png: cannot write: No such file or directory"),
])
def test_profile_command_errors(tmp_path, capsys, monkeypatch, argv, message):
    monkeypatch.chdir(tmp_path)
    project = tmp_path / "demo.rwproj"
    project.write_text(rillway.demo_project_json())
    status = cli.main(["profile", str(project), *argv])
    assert status == 2
    assert capsys.readouterr().err == "rillway: " + message.format(file=project) + "\n"


def test_profile_command_without_matplotlib(tmp_path, capsys, monkeypatch):
    monkeypatch.setitem(sys.modules, "matplotlib.figure", None)
    project = tmp_path / "demo.rwproj"
    project.write_text(rillway.demo_project_json())
    status = cli.main(["profile", str(project), "--from", "N1", "-o", str(tmp_path / "p.png")])
    assert status == 2
    assert capsys.readouterr().err == (
        "rillway: the profile command needs matplotlib: pip install 'rillway[plot]'\n")
