"""The file formats under hostile and everyday-odd input, grouped by what they promise: nothing
lost, nothing wrong, one line and exit status 2, no hang, bounded memory. Each case is a small
file made here, the reproduction of one fault.
"""
import json
import os
from pathlib import Path

import pytest

import rillway
from conftest import same
from rillway_tools import read_network, write_network
from rillway_tools.cli import main
from rillway_tools.formats import FormatError

ROOT = Path(__file__).resolve().parent.parent
MAIN_STREET = ROOT / "examples" / "main-street.rwn"


def analysis(document):
    return rillway.analyze_project(json.dumps(document))


def main_street_inp(tmp_path):
    path = tmp_path / "main-street.inp"
    write_network(read_network(MAIN_STREET), path)
    return path.read_text()


def edited(tmp_path, text, name="edited.inp"):
    path = tmp_path / name
    path.write_text(text)
    return path


def fails(capsys, *argv):
    """The command's exit status and its standard error, which must be one line."""
    status = main([str(a) for a in argv])
    err = capsys.readouterr().err
    assert status == 2 and err.startswith("rillway: ") and err.count("\n") == 1, err
    return err


# ---------------------------------------------------------------------------------------------
# Nothing lost

# A bracketed word outside a line's first word starts no section, as in EPA SWMM.
@pytest.mark.parametrize("old, new", [
    ("[CONDUITS]\n", "[CONDUITS]\n;;Name From To Length[ft] Roughness\n"),
    ("IN2~area RG_NONE", ";; area [ac]\nIN2~area RG_NONE"),
    ("[JUNCTIONS]\n", "[JUNCTIONS]\n; [FAKE]\n"),
    ("rillway network\n", "Main Street [v2]\n"),
    ("P2 IN2 J1", "; [XSECTIONS]\nP2 IN2 J1"),
])
def test_swmm_brackets_in_comments_and_titles_start_no_section(tmp_path, old, new):
    text = main_street_inp(tmp_path)
    reference = analysis(read_network(edited(tmp_path, text, "clean.inp")))
    assert old in text
    back = read_network(edited(tmp_path, text.replace(old, new, 1)))
    assert same(analysis(back)["pipes"], reference["pipes"])


def test_project_name_with_brackets_round_trips_through_swmm(tmp_path):
    document = dict(read_network(MAIN_STREET), name="Main Street [v2]")
    write_network(document, tmp_path / "named.inp")
    back = read_network(tmp_path / "named.inp")
    assert back["name"] == "Main Street [v2]"
    assert same(analysis(back)["pipes"], analysis(document)["pipes"])


# EPA SWMM refuses a name given twice (its error 207); so does rillway, naming both lines.
@pytest.mark.parametrize("section, line", [
    ("[CONDUITS]\n", "P1 IN1 IN2 10 0.013 104.0 102.8 0 0\n"),
    ("[JUNCTIONS]\n", "IN2 99 5 0 0 0\n"),
    ("[XSECTIONS]\n", "P3 CIRCULAR 1 0 0 0 1\n"),
    ("[SUBCATCHMENTS]\n", "J1~area RG_NONE J1 9 50 100 1 0\n"),
    ("[OUTFALLS]\n", "J1 90 FREE NO\n"),
])
def test_swmm_names_given_twice_are_refused_naming_both_lines(tmp_path, section, line):
    text = main_street_inp(tmp_path)
    path = edited(tmp_path, text.replace(section, section + line, 1))
    with pytest.raises(FormatError, match=r"line \d+: .*'\S+' (is given twice "
                                         r"\(lines \d+ and \d+\)|is in .* \(line \d+\) and)"):
        read_network(path)


def geojson(features, **members):
    return json.dumps({"type": "FeatureCollection", "features": features, **members})


def feature(geometry, **properties):
    return {"type": "Feature", "geometry": geometry, "properties": properties}


POINT = {"type": "Point", "coordinates": [0, 0]}
STRUCTURES = [
    feature({"type": "Point", "coordinates": [1000, 1000]}, id="A", kind="inlet", invert=100.0,
            rim=105.0, area_ac=2.0, c=0.7, tc_inlet=10),
    feature({"type": "Point", "coordinates": [1300, 1000]}, id="O", kind="outfall", invert=98.0,
            rim=103.0)]


def test_geojson_pipe_without_geometry_is_read_from_its_attributes(tmp_path):
    pipe = feature(None, id="P1", **{"from": "A", "to": "O"}, length=300.0, diameter=1.5,
                   n=0.013)
    path = edited(tmp_path, geojson([*STRUCTURES, pipe]), "net.geojson")
    document = read_network(path)
    assert [(p["id"], p["length"]) for p in document["pipes"]] == [("P1", 300.0)]


@pytest.mark.parametrize("features, message", [
    ([*STRUCTURES, feature({"type": "MultiPoint", "coordinates": [[5, 5]]}, id="B", invert=1,
                           rim=2)], "feature 3 is a MultiPoint"),
    ([*STRUCTURES, feature(None, id="B", invert=1, rim=2)], "feature 3 has no geometry"),
    ([*STRUCTURES, feature(POINT, id="A", invert=1, rim=2)],
     "nodes feature 3: repeats the structure id 'A' of feature 1"),
])
def test_geojson_features_that_would_vanish_are_refused_by_number(tmp_path, features, message):
    with pytest.raises(FormatError, match=message):
        read_network(edited(tmp_path, geojson(features), "net.geojson"))


@pytest.mark.filterwarnings("ignore:'crs' was not provided")
def test_geopackage_structure_id_given_twice_is_refused(tmp_path):
    pytest.importorskip("geopandas")
    import pyogrio

    write_network(read_network(MAIN_STREET), tmp_path / "net.gpkg")
    nodes = pyogrio.read_dataframe(tmp_path / "net.gpkg", layer="nodes")
    nodes.loc[2, "id"] = "IN1"
    pyogrio.write_dataframe(nodes, tmp_path / "net.gpkg", layer="nodes")
    with pytest.raises(FormatError, match="nodes feature 3: repeats the structure id 'IN1'"):
        read_network(tmp_path / "net.gpkg")


def test_landxml_reads_every_pipe_network(tmp_path):
    write_network(read_network(MAIN_STREET), tmp_path / "one.xml")
    text = (tmp_path / "one.xml").read_text()
    start, end = text.index("<PipeNetwork "), text.index("</PipeNetworks>")
    second = text[start:end]
    for old in ("IN1", "IN2", "LAT1", "J1", "OUT", '"P1"', '"P2"', '"L1"', '"P3"'):
        second = second.replace(old, old.replace("1", "1b").replace("2", "2b")
                                .replace("3", "3b").replace("OUT", "OUTb"))
    path = edited(tmp_path, text[:end] + second + text[end:], "two.xml")
    document = read_network(path)
    assert len(document["nodes"]) == 10 and len(document["pipes"]) == 8
    rows = analysis(document)["pipes"]
    assert same(rows[:4], rows[4:8]) is False  # ids differ, flows agree
    assert [r["design_q"] for r in rows[:4]] == [r["design_q"] for r in rows[4:]]


@pytest.mark.parametrize("name", ["net.inp", "net.gpkg", "net.shp", "net.xml"])
def test_convert_refuses_to_write_onto_its_input(capsys, tmp_path, name):
    pytest.importorskip("geopandas")
    path = tmp_path / name
    write_network(read_network(MAIN_STREET), path)
    before = path.read_bytes()
    alias = tmp_path / "same" / name
    alias.parent.mkdir()
    os.link(path, alias)
    assert "is the input" in fails(capsys, "convert", path, alias)
    assert path.read_bytes() == before


def test_geopackage_keeps_its_other_layers(tmp_path):
    pytest.importorskip("geopandas")
    import geopandas
    import pyogrio
    import shapely.geometry

    path = tmp_path / "city.gpkg"
    parcels = geopandas.GeoDataFrame({"owner": ["x"]}, geometry=[shapely.geometry.Point(1, 2)],
                                     crs="EPSG:2263")
    pyogrio.write_dataframe(parcels, path, layer="parcels")
    write_network(read_network(MAIN_STREET), path)
    assert sorted(name for name, _ in pyogrio.list_layers(path)) == ["nodes", "parcels",
                                                                      "pipes"]
    assert list(pyogrio.read_dataframe(path, layer="parcels")["owner"]) == ["x"]


def test_a_failed_shapefile_write_leaves_the_earlier_set_whole(tmp_path, monkeypatch):
    pytest.importorskip("geopandas")
    path = tmp_path / "net.shp"
    write_network(read_network(MAIN_STREET), path)
    before = {p.name: p.read_bytes() for p in tmp_path.iterdir()}
    calls = []
    real = os.replace

    def failing(a, b):
        calls.append(b)
        if len(calls) == 12:  # amid moving the new files in
            raise OSError(28, "No space left on device")
        real(a, b)

    monkeypatch.setattr(os, "replace", failing)
    document = dict(read_network(MAIN_STREET), name="other")
    document["pipes"][0]["n"] = 0.02
    with pytest.raises(FormatError, match="No space left on device"):
        write_network(document, path)
    monkeypatch.undo()
    assert len(calls) >= 12
    assert {p.name: p.read_bytes() for p in tmp_path.iterdir()} == before


@pytest.mark.parametrize("command", [
    ["analyze", "{input}", "--output", "{input}"],
    ["design", "{input}", "--output", "{input}"],
    ["batch", "{input}", "--storms", "2", "--output", "{input}"],
])
def test_no_command_writes_onto_its_input(capsys, tmp_path, command):
    path = tmp_path / "net.rwn"
    path.write_bytes(MAIN_STREET.read_bytes())
    err = fails(capsys, *[part.format(input=path) for part in command])
    assert "is the input" in err or "Parquet" in err
    assert path.read_bytes() == MAIN_STREET.read_bytes()


def test_batch_tables_land_together(tmp_path, monkeypatch):
    pytest.importorskip("pyarrow")
    demo = tmp_path / "demo.rwproj"
    demo.write_text(rillway.demo_project_json())
    output = tmp_path / "out.parquet"
    assert main(["batch", str(demo), "--storms", "10", "--output", str(output)]) == 0
    wetter = tmp_path / "wetter.csv"
    wetter.write_text("name,c_factor\nwet,1.2\n")
    before = {p.name: p.read_bytes() for p in tmp_path.iterdir()}
    real = os.replace
    calls = []

    def failing(a, b):
        calls.append(b)
        if len(calls) == 5:
            raise OSError(28, "No space left on device")
        real(a, b)

    monkeypatch.setattr(os, "replace", failing)
    assert main(["batch", str(demo), "--scenarios", str(wetter), "--output", str(output)]) == 2
    monkeypatch.undo()
    assert {p.name: p.read_bytes() for p in tmp_path.iterdir()} == before
