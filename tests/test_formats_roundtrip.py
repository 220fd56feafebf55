"""Project -> file -> project gives the same analysis, for every format; SI results; the
convert command."""
import json
import math
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
    (".rwproj", None), (".inp", None),
    (".rwn", "pipe 'P1' is trapezoid: .rwn holds round pipes only"),
    (".xml", "pipe 'P1' has an open channel: LandXML pipe networks hold single closed pipes"),
    (".gpkg", "pipe 'P1' has an open channel: the GIS layers hold single closed pipes"),
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
