"""The plan view: pipes where the structures' x/y put them, coloured by a result, what fails
marked, and the `rillway plan` command."""
import json
from pathlib import Path

import matplotlib
import pytest

matplotlib.use("Agg")  # before pyplot: no display in tests

import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.colors import to_rgba  # noqa: E402

import rillway  # noqa: E402
from rillway_tools import cli  # noqa: E402
from rillway_tools.plan import LABEL_LIMIT, LIMIT_COLOURS, plot_plan  # noqa: E402

EXAMPLES = Path(__file__).resolve().parent.parent / "examples"
MAIN_STREET = (EXAMPLES / "main-street.rwn").read_text()
SCHOOL_LANE = (EXAMPLES / "school-lane.rwproj").read_text()


@pytest.fixture(autouse=True)
def close_figures():
    yield
    plt.close("all")


def pipes_of(ax):
    return next(c for c in ax.collections if c.get_gid() == "plan-pipes")


def test_pipe_colours_follow_pct_full_from_green_through_amber_to_red():
    result = rillway.analyze_rwn(MAIN_STREET)
    ax = plot_plan(MAIN_STREET, result)
    ax.figure.canvas.draw()
    pipes = pipes_of(ax)
    pct = {row["id"]: row["pct_full"] for row in result["pipes"]}
    colours = dict(zip(pct, pipes.get_colors()))
    assert list(pipes.get_array()) == list(pct.values())
    # P3 runs a third full (green), P1 at 0.995 (amber: red above green, no blue), P2 at 1.36
    # beyond capacity (red well above green).
    r, g, _, _ = colours["P3"]
    assert g > r
    r, g, b, _ = colours["P1"]
    assert r > g > b and g > 0.5
    r, g, _, _ = colours["P2"]
    assert r > 2 * g
    # Just full is the amber in the middle of the scale.
    assert pipes.to_rgba(1.0) == pytest.approx(to_rgba(dict(LIMIT_COLOURS)[0.5]), abs=0.01)
    # The widths grow with the diameters 1.75, 2.0, 1.25 and 2.5 ft.
    widths = list(pipes.get_linewidths())
    assert widths[2] < widths[0] < widths[1] < widths[3]


def test_surcharged_pipe_and_flooding_structure_are_marked_and_named():
    ax = plot_plan(MAIN_STREET)
    labels = [text.get_text() for text in ax.get_legend().get_texts()]
    assert "surcharged: P2" in labels and "floods: IN2" in labels
    casing = next(c for c in ax.collections if c.get_gid() is None and hasattr(c, "get_segments"))
    # P2 runs from IN2 (250, 0) to J1 (480, 0).
    assert [s.tolist() for s in casing.get_segments()] == [[[250.0, 0.0], [480.0, 0.0]]]
    ring = [c for c in ax.collections if "floods" in str(c.get_label())]
    assert ring[0].get_offsets().tolist() == [[250.0, 0.0]]


def test_given_axes_are_used_and_returned():
    fig, (left, right) = plt.subplots(1, 2)
    assert plot_plan(SCHOOL_LANE, ax=right) is right
    assert plt.get_fignums() == [fig.number]
    assert not left.collections and len(pipes_of(right).get_segments()) == 2
    assert right.get_title() == "School Lane: plan"


def test_structure_key_colours_the_structures_and_unknown_keys_are_refused():
    result = rillway.analyze_rwn(MAIN_STREET)
    ax = plot_plan(MAIN_STREET, result, color_by="freeboard")
    coloured = [c for c in ax.collections if c.get_array() is not None and c.get_gid() != "plan-pipes"]
    values = sorted(v for c in coloured for v in c.get_array())
    assert values == sorted(row["freeboard"] for row in result["nodes"])
    assert ax.figure.axes[-1].get_ylabel() == "structure freeboard (ft)"
    with pytest.raises(ValueError, match="cannot colour by 'surcharged'"):
        plot_plan(MAIN_STREET, result, color_by="surcharged")


def test_si_project_is_drawn_in_metres():
    project = json.loads(SCHOOL_LANE)
    project["units"] = "si"  # the same numbers, now metres
    ax = plot_plan(project, color_by="velocity")
    assert pipes_of(ax).get_segments()[1].ravel().tolist() == pytest.approx([200, 0, 380, 40])
    assert ax.get_xlabel() == "x (m)"
    assert ax.figure.axes[-1].get_ylabel() == "pipe V (m/s)"


def grid_network(pipes):
    """A straight chain of `pipes` pipes, 100 ft each, falling 1 ft each."""
    lines = [f"NODE N{i} inlet {100 * i} 0 {1000 - i} {1006 - i} 0.5 0.8" for i in range(pipes)]
    lines.append(f"NODE OUT outfall {100 * pipes} 0 {1000 - pipes} {1006 - pipes}")
    lines += [f"PIPE P{i} N{i} {'N' + str(i + 1) if i + 1 < pipes else 'OUT'} 100 3 0.013"
              for i in range(pipes)]
    return "\n".join(lines)


@pytest.mark.parametrize(("pipes", "labels", "drawn"), [
    (4, "auto", True), (LABEL_LIMIT + 1, "auto", False), (4, False, False)])
def test_ids_are_drawn_on_small_networks_only(pipes, labels, drawn):
    ax = plot_plan(grid_network(pipes), labels=labels)
    texts = {text.get_text() for text in ax.texts}
    assert ("N0" in texts and "P0" in texts) is drawn
    assert len(texts) == len(set(texts))  # and never twice


def test_plan_command_writes_the_picture(tmp_path, capsys):
    target = tmp_path / "plan.svg"
    status = cli.main(["plan", str(EXAMPLES / "main-street.rwn"), "-o", str(target),
                       "--color-by", "velocity"])
    assert (status, capsys.readouterr()) == (0, ("", ""))
    svg = target.read_text()
    assert svg.count("<path") > 4 and "main-street.rwn: plan" in svg
    assert [p.name for p in tmp_path.iterdir()] == ["plan.svg"]


def test_plan_command_designs_first(tmp_path):
    target = tmp_path / "plan.png"
    assert cli.main(["plan", str(EXAMPLES / "main-street.rwn"), "--design", "-o",
                     str(target)]) == 0
    assert target.read_bytes().startswith(b"\x89PNG")


@pytest.mark.parametrize(("argv", "message"), [
    (["--color-by", "id"], "cannot colour by 'id': not a numeric result key"),
    (["-o", "{tmp}/plan.gif"], "{tmp}/plan.gif: cannot draw a '.gif' picture"),
    (["-o", "{tmp}/missing/plan.png"], "{tmp}/missing/plan.png: cannot write: No such file"),
])
def test_plan_command_errors(tmp_path, capsys, argv, message):
    argv = [a.format(tmp=tmp_path) for a in argv]
    if "-o" not in argv:
        argv += ["-o", str(tmp_path / "plan.png")]
    assert cli.main(["plan", str(EXAMPLES / "main-street.rwn"), *argv]) == 2
    err = capsys.readouterr().err
    assert err.startswith("rillway: " + message.format(tmp=tmp_path)) and err.count("\n") == 1
    assert list(tmp_path.iterdir()) == []
