"""Project -> file -> project gives the same analysis, for every format; SI results; the
convert command."""
import json
import math
import re
from pathlib import Path

import pytest

import rillway
from rillway_tools import read_network, to_si, write_network
from rillway_tools.cli import main
from rillway_tools.formats import FormatError

ROOT = Path(__file__).resolve().parent.parent
# The shaped networks split at A (P1 and P3 both leave it), which every analysis notes.
pytestmark = pytest.mark.filterwarnings(
    "ignore:structure A has 2 pipes leaving it:rillway.InputWarning")
SETTINGS = ("idf_a", "idf_b", "idf_c", "min_tc", "junction_k", "tailwater", "min_slope")


def networks():
    demo = json.loads(rillway.demo_project_json())
    shaped = json.loads((ROOT / "examples" / "school-lane.rwproj").read_text())
    shaped["pipes"].append({**shaped["pipes"][0], "id": "P3", "to": "OUT", "shape": "elliptical",
                            "rise_ft": 1.2, "span_ft": 1.9})
    si = dict(shaped, units="si", idf_a=1524.0, tailwater=30.0,
              nodes=[{**n, "invert": n["invert"] * 0.3, "rim": n["rim"] * 0.3} for n in shaped["nodes"]],
              pipes=[{**p, "length": p["length"] * 0.3, "diameter": p["diameter"] * 0.3,
                      **({"rise_ft": p["rise_ft"] * 0.3, "span_ft": p["span_ft"] * 0.3}
                         if "rise_ft" in p else {}),
                      **({"invert_up": p["invert_up"] * 0.3} if "invert_up" in p else {})}
                     for p in shaped["pipes"]])
    main_street = json.loads(rillway.rwn_to_project(
        (ROOT / "examples" / "main-street.rwn").read_text()))
    return {"demo": demo, "shaped": shaped, "si": si, "main-street": main_street}


def close(a, b, rel=1e-9, abs=1e-12):
    if isinstance(a, float) and isinstance(b, float):
        return math.isclose(a, b, rel_tol=rel, abs_tol=abs) or (math.isnan(a) and math.isnan(b))
    if isinstance(a, dict):
        return a.keys() == b.keys() and all(close(a[k], b[k], rel, abs) for k in a)
    if isinstance(a, list):
        return len(a) == len(b) and all(close(x, y, rel, abs) for x, y in zip(a, b))
    return a == b


# GeoJSON and Shapefile layers carry the network only: the design settings come back
# through `defaults`.
@pytest.mark.parametrize("suffix", [".rwproj", ".inp", ".xml", ".gpkg", ".geojson", ".shp"])
@pytest.mark.parametrize("name", ["demo", "shaped", "si"])
def test_round_trip_keeps_the_analysis(tmp_path, suffix, name):
    if suffix in (".gpkg", ".geojson", ".shp"):
        pytest.importorskip("geopandas")
    document = networks()[name]
    path = tmp_path / f"net{suffix}"
    write_network(document, path)
    back = read_network(path, defaults={k: document[k] for k in (*SETTINGS, "units")
                                        if k in document})
    assert back.get("units", "us_customary") == document.get("units", "us_customary")
    before = rillway.analyze_project(json.dumps(document))
    after = rillway.analyze_project(json.dumps(back))
    # Files of an SI project hold metres converted back from the engine's feet, a few ulps
    # off, and the engine's depth solvers stop at 1e-7 relative: such a nudge can move a depth
    # by that much (1e-5 ft on a grade line, 3 µm). A US project comes back bit for bit.
    rel, abs = (1e-6, 1e-4) if name == "si" and suffix != ".rwproj" else (1e-9, 1e-12)
    assert close(before["pipes"], after["pipes"], rel, abs)
    assert close(before["nodes"], after["nodes"], rel, abs)


@pytest.mark.parametrize("suffix", [".inp", ".xml", ".gpkg"])
def test_si_values_come_back_as_written(tmp_path, suffix):
    """The engine works in feet; an SI file holds its metres converted back and rounded to 12
    significant digits, so that 30.3 m is not 30.299999999999997 m and 1.15 ha not
    1.1499989833500541 ha."""
    if suffix == ".gpkg":
        pytest.importorskip("geopandas")
    document = networks()["si"]
    write_network(document, tmp_path / f"net{suffix}")
    back = read_network(tmp_path / f"net{suffix}",
                        defaults={k: document[k] for k in (*SETTINGS, "units") if k in document})
    # SWMM holds a structure's depth, not its rim: the rim is a sum again when read.
    keys = ("invert", "area_ac") if suffix == ".inp" else ("invert", "rim", "area_ac")
    for given, got in zip(document["nodes"], back["nodes"]):
        for key in keys:
            assert got[key] == float(f"{given[key]:.12g}"), (given["id"], key)
    for given, got in zip(document["pipes"], back["pipes"]):
        assert got["length"] == float(f"{given['length']:.12g}"), given["id"]


def test_rwn_round_trip_and_refusal(tmp_path):
    document = networks()["main-street"]
    write_network(document, tmp_path / "a.rwn")
    assert close(rillway.analyze_project(json.dumps(document)),
                 rillway.analyze_project(json.dumps(read_network(tmp_path / "a.rwn"))))
    with pytest.raises(FormatError, match="pipe 'P2' is box: .rwn holds round pipes only"):
        write_network(networks()["shaped"], tmp_path / "b.rwn")
    assert not (tmp_path / "b.rwn").exists()


def channels():
    document = json.loads(rillway.demo_project_json())
    document["pipes"][0].update(shape="trapezoid", rise_ft=1.5, span_ft=2.0, side_slope=[2, 3])
    document["pipes"][2]["barrels"] = 2
    return document


@pytest.mark.parametrize("suffix, refusal", [
    (".rwproj", None), (".inp", None), (".gpkg", None),
    (".rwn", "pipe 'P1' sets 'side_slope': .rwn cannot carry it"),
    (".xml", "pipe 'P1' sets 'side_slope' \\(an open channel\\): LandXML pipe networks hold "
             "single closed pipes"),
])
def test_channels_and_barrels_travel_only_where_the_format_holds_them(tmp_path, suffix, refusal):
    if suffix == ".gpkg":
        pytest.importorskip("geopandas")
    document, path = channels(), tmp_path / f"net{suffix}"
    if refusal:
        with pytest.raises(FormatError, match=refusal):
            write_network(document, path)
        assert not path.exists()
        return
    write_network(document, path)
    back = read_network(path, defaults={k: document[k] for k in SETTINGS})
    assert rillway.analyze_project(json.dumps(back)) == rillway.analyze_project(json.dumps(document))


def test_si_result_matches_the_engine_in_si():
    """Full-flow capacity of each round pipe, converted, against the engine's SI Manning
    calculator (k = 1.0) on the metric sizes: they differ only by the US constant, 1.486
    rather than the exact (1 / 0.3048)^(1/3) = 1.48592 (Chow, Open-Channel Hydraulics, 5-6).
    Elevations are exact feet-to-metres."""
    document = networks()["si"]
    result = to_si(rillway.analyze_project(json.dumps(document)))
    view = rillway.read_project(json.dumps(document))
    for pipe, row in zip(view["pipes"], result["pipes"]):
        if pipe["shape"] == "circular":
            expected = rillway.manning_capacity(pipe["rise"] * 0.3048, pipe["n"], row["slope"],
                                                si=True)
            assert row["capacity"] / expected == pytest.approx(
                1.486 / (1 / 0.3048) ** (1 / 3), rel=1e-12)
    assert result["nodes"][0]["rim"] == pytest.approx(106.0 * 0.3, rel=1e-14)


def test_convert_command_and_units(tmp_path, capsys):
    assert main(["convert", str(ROOT / "examples" / "school-lane.rwproj"),
                 str(tmp_path / "s.xml")]) == 0
    assert main(["analyze", str(tmp_path / "s.xml"), "--units", "si", "--pipes-only"]) == 0
    assert "m³/s" in capsys.readouterr().out
    (tmp_path / "si.rwproj").write_text(json.dumps(networks()["si"]))
    assert main(["analyze", str(tmp_path / "si.rwproj")]) == 0
    assert "mm/h" in capsys.readouterr().out
    (tmp_path / "bad.xml").write_text("<LandXML><Units>")
    assert main(["convert", str(tmp_path / "bad.xml"), str(tmp_path / "out.inp")]) == 2
    assert "bad.xml: line 1: not well-formed XML" in capsys.readouterr().err
    assert not (tmp_path / "out.inp").exists()


def everything_set():
    """The demo project with every optional key of the project, its nodes and its pipes set
    away from the schema's default."""
    document = json.loads(rillway.demo_project_json())
    document.update(
        tailwater=100.9, bend_loss_coeff=0.15, access_hole_diam_ft=5.0,
        design_return_period_years=25.0, p2_rainfall_in=3.5, min_slope=0.002,
        background={"path": "plan.png", "origin_x": -10.0, "origin_y": 5.0, "width": 800.0,
                    "opacity": 0.5},
        background_dxf={"path": "base map.dxf", "min_x": 0.0, "min_y": 0.0, "max_x": 900.0,
                        "max_y": 400.0, "opacity": 0.3},
        idf_curves=[{"rp_years": 25, "a": 72.0, "b": 10.0, "c": 0.8},
                    {"rp_years": 100, "a": 90.0, "b": 11.0, "c": 0.8}],
        report={"project_number": "2026-17", "engineer": "R. Doe", "firm": "Doe & Co",
                "jurisdiction": "Elm County"},
        design={"sizes_in": [15.0, 18.0, 24.0, 30.0, 36.0], "min_cover_ft": 3.5,
                "match": "inverts"},
        loss_method="fhwa_energy", flow_split="capacity", min_flow_from_upstream=True,
        roadway={"gutter_n": 0.015, "spread_allow_ft": 8.0, "pipe_flows": "total_area"})
    node = document["nodes"][1]
    node.update(inlet={"length_ft": 5.0, "gutter_slope": 0.02, "sag": True,
                       "grate_width_ft": 2.0, "cross_slope": 0.03},
                bypass_to="N3", diameter_ft=5.0, benching="half", inflow_cfs=1.5)
    pipe = document["pipes"][1]
    pipe.update(shape="box", rise_ft=1.5, span_ft=2.5, invert_up=102.4, invert_dn=101.1,
                lock=True)
    document["pipes"][0].update(shape="trapezoid", rise_ft=2.0, span_ft=2.0,
                                side_slope=[1.5, 2.0], barrels=2)
    return document


def set_keys(document):
    """The optional keys the document sets away from their defaults, at any level."""
    found = {key for key, default in schema_defaults("project").items()
             if document.get(key, default) != default}
    for record, plural in (("node", "nodes"), ("pipe", "pipes")):
        found |= {key for key, default in schema_defaults(record).items()
                  for item in document[plural] if item.get(key, default) != default}
    return found


def schema_defaults(record):
    return {f["key"]: f["default"] for f in json.loads(rillway.project_schema_json())[record]
            if not f["required"]}


def test_the_fidelity_document_sets_every_optional_key():
    document = everything_set()
    for record, items in (("project", [document]), ("node", document["nodes"]),
                          ("pipe", document["pipes"])):
        unset = [key for key, default in schema_defaults(record).items()
                 # hec22_structure_loss is the older way to say loss_method
                 if key not in ("units", "format_version", "catchments", "hec22_structure_loss")
                 and all(item.get(key, default) == default for item in items)]
        assert unset == [], f"set {record} keys {unset} in everything_set()"


# Every writer carries every key the document sets, or refuses naming it; what it carries
# reads back as written and analyses the same.
@pytest.mark.parametrize("suffix", [".rwproj", ".rwn", ".inp", ".xml", ".gpkg", ".geojson",
                                    ".shp"])
def test_every_key_is_carried_or_refused_by_name(tmp_path, suffix):
    if suffix in (".gpkg", ".geojson", ".shp"):
        pytest.importorskip("geopandas")
    document = everything_set()
    path = tmp_path / f"net{suffix}"
    try:
        write_network(document, path)
    except FormatError as error:
        assert suffix in (".rwn", ".inp", ".xml")
        named = re.findall(r"'([a-z_0-9]+)'", error.message)
        assert set(named) & set_keys(document), error.message
        return
    back = read_network(path)
    defaults = schema_defaults("project")
    for key in defaults:
        if key not in ("catchments", "units", "format_version"):
            assert back.get(key, defaults[key]) == document.get(key, defaults[key]), key
    for record, plural in (("node", "nodes"), ("pipe", "pipes")):
        for key, default in schema_defaults(record).items():
            for given, got in zip(document[plural], back[plural]):
                if given.get(key, default) != default:
                    assert close(got.get(key, default), given[key]), (record, key)
    before, after = (rillway.analyze_project(json.dumps(d)) for d in (document, back))
    assert close(before["pipes"], after["pipes"]) and close(before["nodes"], after["nodes"])
