"""Networks as engineers already keep them: files written the way CAD and GIS programs and SWMM
model suites write them, with what those leave out filled in and said."""
import json
import math

import pytest

import rillway
from rillway_tools import read_network
from rillway_tools.formats import FormatError

DATA = __import__("pathlib").Path(__file__).parent / "data"
US_SURVEY_FOOT = 1200.0 / 3937.0 / 0.3048  # international feet per US survey foot


def messages(record):
    return [str(w.message) for w in record if issubclass(w.category, rillway.InputWarning)]


def test_cad_landxml_fills_what_the_schema_leaves_out():
    path = DATA / "subdivision.xml"
    with pytest.warns(rillway.InputWarning) as record:
        document = read_network(path)
    said = messages(record)
    assert document["name"] == "Storm Drain"
    assert any("2 pipe networks: read 'Storm Drain' (the storm network), left "
               "'Sanitary Sewer'" in m for m in said)
    assert any("pipes 'ST-1', 'ST-2': n taken from the pipe material" in m for m in said)
    assert any("structure 'MH-1': the lowest invert of its pipes" in m for m in said)
    assert any("pipe 'ST-2': the plan distance" in m for m in said)
    nodes = {n["id"]: n for n in document["nodes"]}
    pipes = {p["id"]: p for p in document["pipes"]}
    # concrete and HDPE take their usual n; a 48 x 36 in box the circle of its plan area
    assert (pipes["ST-1"]["n"], pipes["ST-2"]["n"]) == (0.013, 0.012)
    assert nodes["CB-1"]["diameter_ft"] == pytest.approx(
        math.sqrt(4 * 48 * 36 / math.pi) / 12, rel=1e-12)  # sizes in inches
    assert nodes["MH-1"]["diameter_ft"] == pytest.approx(5.0, rel=1e-12)
    assert nodes["MH-1"]["invert"] == pytest.approx(102.6 * US_SURVEY_FOOT, rel=1e-12)
    assert pipes["ST-2"]["length"] == pytest.approx(230 * US_SURVEY_FOOT, rel=1e-12)
    assert nodes["HW-1"]["kind"] == "outfall"
    result = rillway.analyze_project(json.dumps(document))
    slope = (102.6 - 97.0) / 230.0
    assert result["pipes"][1]["capacity"] == pytest.approx(
        rillway.manning_capacity(2.0, 0.012, slope), rel=1e-12)


def test_landxml_network_chosen_by_name_and_n_by_default():
    path = DATA / "subdivision.xml"
    with pytest.warns(rillway.InputWarning) as record:
        document = read_network(path, network="Sanitary Sewer", defaults={"n": 0.011})
    assert document["name"] == "Sanitary Sewer"
    assert document["pipes"][0]["n"] == 0.010  # PVC
    assert any("read 'Sanitary Sewer' (as asked)" in m for m in messages(record))
    with pytest.raises(FormatError, match="no pipe network named 'Water'.*'Storm Drain'"):
        read_network(path, network="Water")


def test_landxml_pipe_without_material_takes_the_default(tmp_path):
    path = tmp_path / "plain.xml"
    path.write_text((DATA / "subdivision.xml").read_text()
                    .replace(' material="HDPE Smooth Interior"', ""))
    with pytest.warns(rillway.InputWarning) as record:
        document = read_network(path, defaults={"n": 0.011})
    assert [p["n"] for p in document["pipes"]] == [0.013, 0.011]
    assert any("no known material on pipe 'ST-2': n = 0.011 assumed" in m
               for m in messages(record))


SWMM_MODEL = """[TITLE]
Two pipes
[OPTIONS]
FLOW_UNITS CFS
LINK_OFFSETS DEPTH
[JUNCTIONS]
J1 100 5
J2 99 5
[OUTFALLS]
O1 98 FREE
[CONDUITS]
C1 J1 J2 100 0.013 0 0
C2 J2 O1 100 0.013 0 0
[XSECTIONS]
C1 CIRCULAR 1.5 0 0 0 1
C2 CIRCULAR 1.5 0 0 0 1
[SUBCATCHMENTS]
S1 RG1 J1 2 50 500 0.5 0
[COORDINATES]
J1 0 0
J2 100 0
O1 200 0
"""


def test_command_says_every_assumption_and_takes_defaults(tmp_path, capsys):
    from rillway_tools import cli

    model = tmp_path / "two.inp"
    model.write_text(SWMM_MODEL)
    assert cli.main(["analyze", str(model), "--nodes-only"]) == 0
    lines = capsys.readouterr().out.splitlines()
    assert lines[-5:] == [
        "assumed: inlet time 10 min for subcatchment 'S1' (SWMM has none; set tc_inlet in "
        "the defaults, or a tc= tag)",
        "assumed: C = 0.05 + 0.009 x %impervious (the Simple Method) for subcatchment 'S1'",
        "assumed: IDF i = 60/(tc + 10)^0.8 in/hr (no rainfall curve in the file)",
        "assumed: smallest time of concentration 10 min",
        "assumed: structure loss coefficient K = 0.5"]
    defaults = tmp_path / "basis.json"
    defaults.write_text('{"idf_a": 90, "idf_b": 12, "idf_c": 0.75, "min_tc": 5}')
    assert cli.main(["analyze", str(model), "--format", "csv", "--pipes-only", "--defaults",
                     str(defaults), "--set", "junction_k=0.3", "--set", "tc_inlet=5"]) == 0
    out, err = capsys.readouterr()
    first = out.splitlines()[1].split(",")
    # C = 0.05 + 0.009 * 50 = 0.5 on 2 ac; i at the 5-min inlet time by the given curve
    assert float(first[8]) == pytest.approx(1.0 * 90 / (5 + 12) ** 0.75, rel=1e-12)
    assert err.splitlines() == [
        f"rillway: {model}: assumed: C = 0.05 + 0.009 x %impervious (the Simple Method) for "
        "subcatchment 'S1'"]


@pytest.mark.parametrize("argv, message", [
    (["--set", "min_tc"], "--set min_tc: expected KEY=VALUE"),
    (["--defaults", "missing.json"], "missing.json: cannot read"),
])
def test_bad_defaults_are_one_line(tmp_path, capsys, argv, message):
    from rillway_tools import cli

    model = tmp_path / "two.inp"
    model.write_text(SWMM_MODEL)
    assert cli.main(["analyze", str(model), *argv]) == 2
    assert message in capsys.readouterr().err


def test_rwn_keeps_its_own_settings(capsys):
    from rillway_tools import cli

    rwn = DATA.parent.parent / "examples" / "main-street.rwn"
    assert cli.main(["analyze", str(rwn), "--set", "min_tc=5"]) == 2
    assert "a .rwn network states its own settings" in capsys.readouterr().err


def test_drawing_against_the_flow_is_said(tmp_path):
    text = (DATA / "subdivision.xml").read_text()
    # The storm line picked from the headwall up: every pipe runs from its lower structure.
    for pipe, start, end in (("ST-1", "CB-1", "MH-1"), ("ST-2", "MH-1", "HW-1")):
        text = text.replace(f'name="{pipe}" refStart="{start}" refEnd="{end}"',
                            f'name="{pipe}" refStart="{end}" refEnd="{start}"')
    path = tmp_path / "reversed.xml"
    path.write_text(text)
    with pytest.warns(rillway.InputWarning) as record:
        document = read_network(path)
    said = messages(record)
    assert [n["id"] for n in document["nodes"] if n["kind"] == "outfall"] == ["CB-1"]
    assert any("pipes 'ST-1', 'ST-2' climb from the upper structure to the lower" in m
               for m in said)
    assert any("outfall 'CB-1' stands above 'HW-1', 'MH-1' that drain to it" in m
               for m in said)


def test_batch_reads_every_format(tmp_path, capsys):
    pytest.importorskip("pyarrow")
    from rillway_tools import cli, scenarios, write_network

    model = tmp_path / "two.inp"
    model.write_text(SWMM_MODEL)
    landxml = tmp_path / "main.xml"
    write_network(read_network(DATA.parent.parent / "examples" / "main-street.rwn"), landxml)
    table = tmp_path / "rain.csv"
    table.write_text("name,intensity_factor\ntoday,1.0\nwetter,1.2\n")
    status = cli.main(["batch", str(model), str(landxml), "--scenarios", str(table),
                       "--output", str(tmp_path / "out.parquet")])
    out, err = capsys.readouterr()
    assert status == 0, err
    assert out.count("today") == 2 and out.count("wetter") == 2
    assert "assumed: IDF" in err  # the SWMM model has no rainfall curve
    # A project document as read_network returns it runs as it is.
    with pytest.warns(rillway.InputWarning):
        document = read_network(model)
    results = scenarios.run(document, table, progress=False)
    direct = rillway.analyze_project(json.dumps(document))
    assert results.summary["outfall_q"].iloc[0] == pytest.approx(
        direct["pipes"][-1]["design_q"], rel=1e-12)
