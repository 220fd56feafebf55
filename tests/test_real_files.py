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


def swmm_layers(tmp_path, one_file):
    """Junctions, outfalls and conduits as GIS plugins for SWMM keep them: one layer each, SWMM's
    attribute names, a projected CRS in metres (UTM 17N)."""
    gpd = pytest.importorskip("geopandas")
    from shapely.geometry import LineString, Point

    crs = "EPSG:32617"
    junctions = gpd.GeoDataFrame(
        {"Name": ["J1", "J2"], "Elevation": [30.0, 29.4], "MaxDepth": [2.0, 0.0],
         "InitDepth": [0.0, 0.0]}, geometry=[Point(0, 0), Point(60, 0)], crs=crs)
    outfalls = gpd.GeoDataFrame(
        {"Name": ["O1"], "Elevation": [29.0], "Type": ["FIXED"], "FixedStage": [29.3]},
        geometry=[Point(120, 0)], crs=crs)
    conduits = gpd.GeoDataFrame(
        {"Name": ["C1", "C2"], "FromNode": ["J1", "J2"], "ToNode": ["J2", "O1"],
         "Length": [60.0, 60.0], "Roughness": [0.013, 0.013], "InOffset": [0.1, 0.0],
         "OutOffset": [0.0, 0.0], "Shape": ["CIRCULAR", "RECT_CLOSED"], "Geom1": [0.45, 0.6],
         "Geom2": [0.0, 0.9], "Geom3": [0.0, 0.0], "Geom4": [0.0, 0.0], "Barrels": [1, 1]},
        geometry=[LineString([(0, 0), (60, 0)]), LineString([(60, 0), (120, 0)])], crs=crs)
    if one_file:
        path = tmp_path / "drainage.gpkg"
        for name, frame in (("junctions", junctions), ("outfalls", outfalls),
                            ("conduits", conduits)):
            frame.to_file(path, layer=name, engine="pyogrio")
        return [path]
    paths = []
    for name, frame in (("conduits", conduits), ("junctions", junctions),
                        ("outfalls", outfalls)):
        paths.append(tmp_path / f"{name}.gpkg")
        frame.to_file(paths[-1], layer=name, engine="pyogrio")
    return paths


@pytest.mark.parametrize("one_file", [True, False])
def test_swmm_style_gis_layers_read_as_one_network(tmp_path, one_file):
    paths = swmm_layers(tmp_path, one_file)
    with pytest.warns(rillway.InputWarning):  # no rainfall curve in GIS layers
        document = read_network(paths if len(paths) > 1 else paths[0])
    assert document["units"] == "si" and document["crs"] == "EPSG:32617"
    assert document["tailwater"] == 29.3
    nodes = {n["id"]: n for n in document["nodes"]}
    assert nodes["J1"]["rim"] == 32.0 and nodes["O1"]["kind"] == "outfall"
    assert nodes["J2"]["rim"] == pytest.approx(29.4 + 0.6)  # depth 0: the box's crown
    pipes = {p["id"]: p for p in document["pipes"]}
    assert pipes["C1"]["invert_up"] == pytest.approx(30.1) and pipes["C1"]["diameter"] == 0.45
    assert (pipes["C2"]["shape"], pipes["C2"]["rise_ft"], pipes["C2"]["span_ft"]) == \
        ("box", 0.6, 0.9)
    result = rillway.analyze_project(json.dumps(document))
    slope = (30.1 - 29.4) / 60.0
    feet = 1 / 0.3048
    assert result["pipes"][0]["capacity"] == pytest.approx(
        rillway.manning_capacity(0.45 * feet, 0.013, slope), rel=1e-9)


def test_gis_layers_by_command_with_a_field_map(tmp_path, capsys):
    pytest.importorskip("geopandas")
    from rillway_tools import cli

    conduits, junctions, outfalls = swmm_layers(tmp_path, one_file=False)
    argv = ["analyze", str(conduits), "--nodes", str(junctions), "--nodes", str(outfalls),
            "--format", "csv", "--nodes-only"]
    assert cli.main(argv) == 0
    assert [line.split(",")[0] for line in capsys.readouterr().out.splitlines()] == \
        ["id", "J1", "J2", "O1"]
    # The roughness kept under a name of the user's own.
    import geopandas as gpd

    frame = gpd.read_file(conduits).rename(columns={"Roughness": "MANN_N"})
    frame.to_file(conduits, layer="conduits", engine="pyogrio")
    assert cli.main(argv) == 2
    assert "has no 'n'" in capsys.readouterr().err
    assert cli.main(argv + ["--field", "n=MANN_N"]) == 0


SWMM_DATA = __import__("pathlib").Path(__import__("pyswmm").__file__).parent / "tests" / "data"


def swmm_full_flows(model):
    """SWMM's full-flow capacity of every conduit, read once the engine has started."""
    pyswmm = pytest.importorskip("pyswmm")
    from test_formats_swmm import _full_flow

    with pyswmm.Simulation(str(model)) as sim:
        for _ in sim:
            break
        return {link.linkid: _full_flow(link.linkid) for link in pyswmm.Links(sim)}


def test_swmm_model_with_a_weir_is_refused_then_cut(tmp_path):
    """pyswmm's weir model: three conduits and a transverse weir into the outfall. Refused by
    default, naming the weir; cut on request, its upper structure becomes the outfall, and
    what is read agrees with SWMM's own full-flow capacities for the same conduits."""
    model = SWMM_DATA / "model_weir_setting.inp"
    with pytest.raises(FormatError, match=r"link 'C3' is a weir.*--cut-unsupported"):
        read_network(model)  # the fault alone: what would have been assumed is not said
    with pytest.warns(rillway.InputWarning) as record:
        document = read_network(model, unsupported="cut")
    assert any("cut weir 'C3' (J3 -> J4): 'J3' becomes a free outfall" in m
               for m in messages(record))
    kinds = {n["id"]: n["kind"] for n in document["nodes"]}
    assert kinds["J3"] == "outfall" and [p["id"] for p in document["pipes"]] == \
        ["C1", "C1:C2", "C2"]
    result = rillway.analyze_project(json.dumps(document))
    full = swmm_full_flows(model)
    for row in result["pipes"]:
        assert full[row["id"]] == pytest.approx(row["capacity"], rel=3e-3)


def test_swmm_street_section_is_named_and_cut(tmp_path):
    model = tmp_path / "street.inp"
    model.write_text(SWMM_MODEL.replace("C2 CIRCULAR 1.5 0 0 0 1", "C2 STREET MainSt"))
    with pytest.raises(FormatError, match="conduit 'C2' has shape STREET; rillway reads"):
        read_network(model)
    with pytest.warns(rillway.InputWarning) as record:
        document = read_network(model, unsupported="cut")
    assert any("cut conduit of shape STREET 'C2' (J2 -> O1): 'J2' becomes a free outfall"
               in m for m in messages(record))
    assert [p["id"] for p in document["pipes"]] == ["C1"]



def test_swmm_options_rillway_does_not_use_stop_nothing(tmp_path):
    """EPA's example user1 sets DRY_STEP 24:00:00, which only SWMM itself reads."""
    model = tmp_path / "options.inp"
    model.write_text(SWMM_MODEL.replace("LINK_OFFSETS DEPTH", "LINK_OFFSETS DEPTH\n"
                                        "DRY_STEP 24:00:00\nSTART_DATE 13/45/2020"))
    with pytest.warns(rillway.InputWarning):
        assert len(read_network(model)["pipes"]) == 2
    model.write_text(SWMM_MODEL.replace("FLOW_UNITS CFS", "FLOW_UNITS BARRELS"))
    with pytest.raises(FormatError, match="line 4: unknown FLOW_UNITS 'BARRELS'"):
        read_network(model)
