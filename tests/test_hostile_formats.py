"""The file formats under hostile and everyday-odd input, grouped by what they promise: nothing
lost, nothing wrong, one line and exit status 2, no hang, bounded memory. Each case is a small
file made here, the reproduction of one fault.
"""
import json
import os
import re
import subprocess
import sys
import textwrap
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


def agree(a, b):
    """Two analyses alike to 1e-9: numbers that crossed a text format may end an ulp apart."""
    def numbers(result):
        return [value for row in (*result["pipes"], *result["nodes"]) for value in row.values()]

    return all(x == pytest.approx(y, rel=1e-9, nan_ok=True) if isinstance(x, float) else x == y
               for x, y in zip(numbers(a), numbers(b), strict=True))


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
    ("[TITLE]\n", "[TITLE]\nMain Street [v2]\n"),
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
    with pytest.warns(rillway.InputWarning):  # the rainfall and losses a GeoJSON lacks
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


def test_landxml_network_left_out_is_named_and_read_by_name(tmp_path):
    write_network(read_network(MAIN_STREET), tmp_path / "one.xml")
    text = (tmp_path / "one.xml").read_text()
    start, end = text.index("<PipeNetwork "), text.index("</PipeNetworks>")
    second = text[start:end].replace('name="one"', 'name="two"', 1)
    for old in ("IN1", "IN2", "LAT1", "J1", "OUT", '"P1"', '"P2"', '"L1"', '"P3"'):
        second = second.replace(old, old.replace("1", "1b").replace("2", "2b")
                                .replace("3", "3b").replace("OUT", "OUTb"))
    path = edited(tmp_path, text[:end] + second + text[end:], "two.xml")
    with pytest.warns(rillway.InputWarning, match="2 pipe networks: read 'one' .* left 'two'"):
        first = read_network(path)
    with pytest.warns(rillway.InputWarning, match=r"read 'two' \(as asked\), left 'one'"):
        chosen = read_network(path, network="two")
    assert {n["id"] for n in chosen["nodes"]} == {"IN1b", "IN2b", "LAT1b", "J1b", "OUTb"}
    assert [r["design_q"] for r in analysis(first)["pipes"]] == \
        [r["design_q"] for r in analysis(chosen)["pipes"]]


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


# ---------------------------------------------------------------------------------------------
# Nothing wrong

# The engine's loss method and benching, and the settings of GeoJSON and Shapefile layers,
# used to stay behind: an FHWA project came back with the standard method.
@pytest.mark.parametrize("suffix", [".inp", ".xml", ".gpkg", ".geojson", ".shp"])
def test_settings_and_loss_method_survive_every_format(tmp_path, suffix):
    pytest.importorskip("geopandas")
    document = json.loads(rillway.demo_project_json())
    document.update(loss_method="fhwa_energy", idf_a=90.0, min_tc=12.0, junction_k=0.8)
    document["nodes"][1]["benching"] = "half"
    write_network(document, tmp_path / f"net{suffix}")
    back = read_network(tmp_path / f"net{suffix}", defaults={"idf_a": 1.0})
    assert agree(analysis(back), analysis(document))


def test_design_keeps_the_crs_of_a_gis_network(capsys, tmp_path):
    pytest.importorskip("geopandas")
    document = dict(json.loads(rillway.demo_project_json()), crs="EPSG:2263")
    write_network(document, tmp_path / "net.gpkg")
    main(["design", str(tmp_path / "net.gpkg"), "--output", str(tmp_path / "d.rwproj")])
    assert json.loads((tmp_path / "d.rwproj").read_text())["crs"] == "EPSG:2263"


@pytest.mark.parametrize("suffix", [".rwn", ".inp", ".xml"])
@pytest.mark.parametrize("name", ["Elm\nrillway tailwater=200", "Elm\rTAILWATER 200",
                                  "Elm\x0bWay"])
def test_names_that_would_inject_lines_are_refused(tmp_path, suffix, name):
    document = json.loads(rillway.demo_project_json())
    document["name"] = name
    with pytest.raises(FormatError, match="line break or control character"):
        write_network(document, tmp_path / f"net{suffix}")
    document["name"] = "Elm"
    document["nodes"][0]["id"] = "N\x01"
    document["pipes"][0]["from"] = "N\x01"
    with pytest.raises(FormatError):
        write_network(document, tmp_path / f"net{suffix}")
    assert not (tmp_path / f"net{suffix}").exists()


def test_a_stale_projection_does_not_outlive_its_shapefile(tmp_path):
    pytest.importorskip("geopandas")
    document = json.loads(rillway.demo_project_json())
    write_network(dict(document, crs="EPSG:32633"), tmp_path / "net.shp")  # metres
    assert (tmp_path / "net.prj").exists()
    write_network(document, tmp_path / "net.shp")  # local feet, no projection
    assert not (tmp_path / "net.prj").exists()
    assert agree(analysis(read_network(tmp_path / "net.shp")), analysis(document))


def box_project(span):
    document = json.loads(rillway.demo_project_json())
    document["pipes"][1].update(shape="box", rise_ft=1.5, span_ft=span)
    return document


@pytest.mark.parametrize("span", [0.0, -2.0])
def test_a_box_without_a_width_is_refused_by_every_reader(tmp_path, span):
    with pytest.raises(ValueError, match="pipe 'P2' is box with rise_ft 1.5 and span_ft"):
        analysis(box_project(span))
    write_network(box_project(2.0), tmp_path / "net.inp")
    write_network(box_project(2.0), tmp_path / "net.xml")
    inp = (tmp_path / "net.inp").read_text().replace("RECT_CLOSED 1.5 2.0", f"RECT_CLOSED 1.5 {span}")
    with pytest.raises(FormatError, match=r"line \d+: xsections 'P2': width .* must be above 0"):
        read_network(edited(tmp_path, inp))
    xml = (tmp_path / "net.xml").read_text().replace('width="24.0"', f'width="{span * 12}"')
    with pytest.raises(FormatError, match="pipe 'P2': span_ft .* must be above 0"):
        read_network(edited(tmp_path, xml, "edited.xml"))


def test_swmm_free_and_fixed_outfalls_do_not_share_a_stage(tmp_path):
    text = main_street_inp(tmp_path).replace("[OUTFALLS]\n", "[OUTFALLS]\nOUT2 94 FREE NO\n")
    text = text.replace("[COORDINATES]\n", "[COORDINATES]\nOUT2 800 0\n")
    with pytest.raises(FormatError, match="outfall 'OUT2' is free and 'OUT' FIXED at 96"):
        read_network(edited(tmp_path, text))
    tidal = text.replace("OUT2 94 FREE NO", "OUT2 94 TIDAL T1 NO").replace(" FIXED 96.0", " FREE")
    tidal = tidal.replace("rillway tailwater=96.0\n", "")
    with pytest.warns(rillway.InputWarning, match="outfall 'OUT2' is TIDAL: read as FREE"):
        read_network(edited(tmp_path, tidal))


# Values EPA SWMM refuses were analysed into numbers (negative travel times, flows).
@pytest.mark.parametrize("old, new, message", [
    ("P1 IN1 IN2 250.0", "P1 IN1 IN2 -250.0", "conduits 'P1': length -250 must be above 0"),
    ("P1 IN1 IN2 250.0 0.013", "P1 IN1 IN2 250.0 0", "conduits 'P1': roughness 0 must be"),
    ("P1 CIRCULAR 1.75", "P1 CIRCULAR 0", "xsections 'P1': height 0 must be above 0"),
    ("IN1~area RG_NONE IN1 2.5", "IN1~area RG_NONE IN1 -2.5", "area -2.5 is negative"),
    ("IN1~area RG_NONE IN1 2.5 83.33333333333334", "IN1~area RG_NONE IN1 2.5 -5",
     "imperviousness -5 % is not 0 to 100"),
    ("P3 J1 OUT", "P3 OUT J1", "conduit 'P3' leaves outfall 'OUT'"),
])
def test_swmm_values_swmm_refuses_are_refused_naming_the_line(tmp_path, old, new, message):
    text = main_street_inp(tmp_path)
    assert old in text
    text = text.replace(old, new, 1).replace("c=0.8,", "")
    with pytest.raises(FormatError, match=rf"line \d+: .*{re.escape(message)}"):
        read_network(edited(tmp_path, text))


@pytest.mark.parametrize("cell", ["nan", "NA", "null", "inf", "-1", "0"])
def test_scenario_factors_that_are_not_finite_positive_numbers_are_refused(capsys, tmp_path,
                                                                           cell):
    demo = tmp_path / "demo.rwproj"
    demo.write_text(rillway.demo_project_json())
    table = tmp_path / "s.csv"
    table.write_text(f"name,c_factor,intensity_factor\nbase,,\nwet,{cell},1.1\n")
    err = fails(capsys, "batch", demo, "--scenarios", table, "--output", tmp_path / "o.parquet")
    assert f"line 3: c_factor must be" in err and repr(cell) in err
    err = fails(capsys, "batch", demo, "--storms", cell, "--output", tmp_path / "o.parquet")
    assert "storms:" in err


# ---------------------------------------------------------------------------------------------
# One line and exit status 2

@pytest.mark.parametrize("make, argv, message", [
    (None, ["convert", MAIN_STREET, "{tmp}/missing/net.gpkg"], "cannot write"),
    (None, ["convert", MAIN_STREET, "{tmp}/missing/net.shp"], "cannot write"),
    (None, ["batch", MAIN_STREET, "--storms", "10", "--workers", "-1", "--output",
            "{tmp}/o.parquet"], "--workers -1"),
    (lambda d: os.symlink("/dev/zero", d / "zero.rwn"), ["analyze", "{tmp}/zero.rwn"],
     "not a regular file"),
    (lambda d: os.symlink("/dev/zero", d / "zero.inp"), ["convert", "{tmp}/zero.inp",
                                                          "{tmp}/z.xml"], "not a regular file"),
    (lambda d: (d / "u16.rwn").write_bytes(MAIN_STREET.read_text().encode("utf-16-le")),
     ["analyze", "{tmp}/u16.rwn"], "UTF-16 text without a byte-order mark"),
    (lambda d: (d / "bad.rwproj").write_bytes(b'{"name": "caf\xe9"}'),
     ["convert", "{tmp}/bad.rwproj", "{tmp}/x.inp"], "not UTF-8 text (byte 0xe9 at offset 13)"),
])
def test_failures_are_one_line_and_exit_2(capsys, tmp_path, make, argv, message):
    pytest.importorskip("geopandas")
    if make:
        make(tmp_path)
    err = fails(capsys, *[str(a).format(tmp=tmp_path) for a in argv])
    assert message in err


def test_utf16_with_its_byte_order_mark_reads_like_utf8(capsys, tmp_path):
    path = tmp_path / "u16.rwn"
    path.write_bytes(MAIN_STREET.read_text().encode("utf-16"))
    assert main(["analyze", str(path), "--format", "json"]) == 0
    assert json.loads(capsys.readouterr().out) == rillway.analyze_rwn(MAIN_STREET.read_text())


def test_messages_name_the_real_problem(tmp_path):
    pytest.importorskip("geopandas")
    text = main_street_inp(tmp_path).replace("P1 CIRCULAR 1.75 0 0 0 1", "P1 IRREGULAR T1 0 0 0 1")
    with pytest.raises(FormatError, match="conduit 'P1' has shape IRREGULAR"):
        read_network(edited(tmp_path, text))
    write_network(read_network(MAIN_STREET), tmp_path / "net.shp")
    (tmp_path / "net.dbf").unlink()
    with pytest.raises(FormatError, match="no net.dbf beside net.shp"):
        read_network(tmp_path / "net.shp")
    import pyogrio

    write_network(dict(read_network(MAIN_STREET), crs="EPSG:2263"), tmp_path / "two.gpkg")
    nodes = pyogrio.read_dataframe(tmp_path / "two.gpkg", layer="nodes").to_crs("EPSG:32618")
    pyogrio.write_dataframe(nodes, tmp_path / "two.gpkg", layer="nodes")
    with pytest.raises(FormatError, match="layer 'pipes' is in EPSG:2263, layer 'nodes' of "
                                          "two.gpkg in EPSG:32618"):
        read_network(tmp_path / "two.gpkg")


def test_local_feet_in_geojson_read_back(tmp_path):
    pytest.importorskip("geopandas")
    document = json.loads(rillway.demo_project_json())  # a few hundred feet from 0, 0
    write_network(document, tmp_path / "net.geojson")
    back = read_network(tmp_path / "net.geojson")
    assert "crs" not in back and agree(analysis(back), analysis(document))


# ---------------------------------------------------------------------------------------------
# No hang

@pytest.mark.parametrize("argv", [["analyze", "{fifo}.rwn"], ["analyze", "{fifo}.inp"],
                                  ["convert", "{fifo}.xml", "{tmp}/o.inp"],
                                  ["analyze", "{fifo}.geojson"]])
def test_a_fifo_is_refused_without_waiting_for_a_writer(tmp_path, argv):
    fifo = tmp_path / "pipe"
    for suffix in (".rwn", ".inp", ".xml", ".geojson"):
        os.mkfifo(f"{fifo}{suffix}")
    command = [sys.executable, "-m", "rillway_tools",
               *[a.format(fifo=fifo, tmp=tmp_path) for a in argv]]
    done = subprocess.run(command, capture_output=True, text=True, timeout=60)
    assert done.returncode == 2 and "not a regular file" in done.stderr, done.stderr


# ---------------------------------------------------------------------------------------------
# Bounded memory

# Under AddressSanitizer resident memory says nothing about the reader.
SANITIZED = "libasan" in os.environ.get("LD_PRELOAD", "")


def test_a_file_beyond_the_size_limit_is_refused_by_its_size(capsys, tmp_path):
    huge = tmp_path / "huge.inp"
    with open(huge, "wb") as stream:
        stream.truncate((1 << 30) + 1)  # sparse: a size, no data
    assert "larger than 1 GiB" in fails(capsys, "analyze", huge)


@pytest.mark.skipif(SANITIZED, reason="resident memory under AddressSanitizer")
def test_the_swmm_reader_needs_a_few_dozen_times_the_file(tmp_path):
    count = 20_000
    lines = ["[OPTIONS]", "FLOW_UNITS CFS", "[JUNCTIONS]"]
    lines += [f"J{i} {1000 - i * 0.01:.2f} 6 0 0 0" for i in range(count)]
    lines += ["[OUTFALLS]", "OUT 700 FREE NO", "[CONDUITS]"]
    lines += [f"C{i} J{i} {f'J{i + 1}' if i + 1 < count else 'OUT'} 100 0.013 0 0 0 0"
              for i in range(count)]
    lines += ["[XSECTIONS]", *(f"C{i} CIRCULAR 1.5 0 0 0 1" for i in range(count))]
    lines += ["[COORDINATES]", *(f"J{i} {i * 100} 0" for i in range(count))]
    path = edited(tmp_path, "\n".join(lines) + "\n", "big.inp")
    code = textwrap.dedent(f"""
        import resource, sys, tracemalloc, swmm_api.input_file.helpers
        import swmm_api.input_file.section_types
        from rillway_tools import read_network
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        if sys.argv[1] == "heap":
            tracemalloc.start()
        document = read_network({str(path)!r})
        grown = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before
        kept, peak = tracemalloc.get_traced_memory()
        print(len(document["pipes"]), grown * 1024, kept, peak)
    """)
    size = path.stat().st_size

    def measured(what):
        done = subprocess.run([sys.executable, "-c", code, what], capture_output=True,
                              text=True, timeout=600, check=True)
        return list(map(int, done.stdout.split()))

    pipes, grown, _, _ = measured("resident")
    _, _, kept, peak = measured("heap")
    # The document returned holds 7.9 times the file in Python objects (a dict per structure
    # and pipe, the pipes' ends and sizes shared); reading peaks at 13.5 times (it used to reach
    # 31: a view of the whole network built to check it, another to look for pipes drawn
    # against the flow, and each section's records kept to the end), and the process grows by
    # 30 times (51 before), most of it the engine's check of the document.
    assert pipes == count and grown < 36 * size
    assert kept < 8.5 * size and peak < 15 * size


@pytest.mark.parametrize("old, new, message", [
    ('length="300.0"', 'length="-300.0"', "pipe 'P1': length -300 must be above 0"),
    ('mannings="0.013"', 'mannings="0"', "pipe 'P1': n 0 must be above 0"),
    ('<Property label="area_ac" value="1.0550964187327825"/>',
     '<Property label="area_ac" value="-1"/>', "node 'N1': area_ac -1 is negative"),
])
def test_landxml_values_no_network_holds_are_refused(tmp_path, old, new, message):
    write_network(json.loads(rillway.demo_project_json()), tmp_path / "net.xml")
    text = (tmp_path / "net.xml").read_text()
    assert old in text
    with pytest.raises(FormatError, match=re.escape(message)):
        read_network(edited(tmp_path, text.replace(old, new, 1), "edited.xml"))
