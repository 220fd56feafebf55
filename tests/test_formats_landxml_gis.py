"""LandXML written by hand as CAD programs write it, in imperial and metric units; GeoPackage
layers with their CRS and the joined analysis; hostile files."""
import json

import pytest

import rillway
from rillway_tools import read_network, write_network
from rillway_tools.formats import FormatError

LANDXML = """<?xml version="1.0" encoding="UTF-8"?>
<LandXML xmlns="http://www.landxml.org/schema/LandXML-1.2" version="1.2">
  <Units><{system} linearUnit="{linear}" diameterUnit="{size}"/></Units>
  <PipeNetworks><PipeNetwork name="Elm Street" pipeNetType="storm">
    <Structs>
      <Struct name="MH1" elevRim="{rim1}" elevSump="{sump1}"><Center>{n1} {e1}</Center>
        <Invert refPipe="P1" elev="{inv1}" flowDir="out"/></Struct>
      <Struct name="OF" elevRim="{rim2}" elevSump="{sump2}"><Center>{n2} {e2}</Center></Struct>
    </Structs>
    <Pipes>
      <Pipe name="P1" refStart="MH1" refEnd="OF" length="{length}">
        <CircPipe diameter="{diameter}" mannings="0.013"/></Pipe>
    </Pipes>
  </PipeNetwork></PipeNetworks>
</LandXML>
"""
# One structure draining through a round pipe to an outfall, in feet and inches, and the
# same line drawn in metres and millimetres.
IMPERIAL = dict(system="Imperial", linear="foot", size="inch", rim1=110, sump1=103.5,
                n1=5000, e1=2000, inv1=104, rim2=106, sump2=100, n2=5000, e2=2300,
                length=300, diameter=18)
METRIC = dict(system="Metric", linear="meter", size="millimeter", rim1=33.5, sump1=31.5,
              n1=1500, e1=600, inv1=31.7, rim2=32.3, sump2=30.5, n2=1500, e2=690,
              length=90, diameter=450)


@pytest.mark.parametrize("values, units, scale, diameter", [
    (IMPERIAL, "us_customary", 1.0, 1.5), (METRIC, "si", 1 / 0.3048, 0.45)])
def test_hand_written_landxml(tmp_path, values, units, scale, diameter):
    path = tmp_path / "elm.xml"
    path.write_text(LANDXML.format(**values))
    with pytest.warns(rillway.InputWarning) as said:
        document = read_network(path)
    assert sum("assumed: " in str(w.message) for w in said) == 3  # IDF, min tc, K
    assert document["units"] == units and document["name"] == "Elm Street"
    mh1, outfall = document["nodes"]
    assert (mh1["x"], mh1["y"], mh1["invert"]) == (values["e1"], values["n1"], values["sump1"])
    assert (mh1["kind"], outfall["kind"]) == ("junction", "outfall")  # no pipe leaves OF
    pipe = document["pipes"][0]
    assert pipe["diameter"] == pytest.approx(diameter, rel=1e-15)
    assert pipe["invert_up"] == values["inv1"] and "invert_dn" not in pipe
    row = rillway.analyze_project(json.dumps(document))["pipes"][0]
    slope = (values["inv1"] - values["sump2"]) / values["length"]
    assert row["capacity"] == pytest.approx(
        rillway.manning_capacity(diameter * scale, 0.013, slope), rel=1e-12)


@pytest.mark.parametrize("text, message", [
    ('<?xml version="1.0"?><!DOCTYPE x [<!ENTITY e "boom">]><LandXML>&e;</LandXML>',
     "line 1: a DOCTYPE (entities or an external DTD) is refused"),
    ('<?xml version="1.0"?><!DOCTYPE LandXML SYSTEM "http://example.invalid/x.dtd"><LandXML/>',
     "DOCTYPE"),
    ("<LandXML><Units>", "line 1: not well-formed XML"),
    ("<Project/>", "not LandXML (the root element is <Project>)"),
    (LANDXML.format(**{**IMPERIAL, "n1": "5000"}).replace("<Center>5000 2000</Center>",
                                                          "<Center>5000</Center>"),
     "line 6: <Center> of 'MH1' is not 'northing easting'"),
    (LANDXML.format(**IMPERIAL).replace('refEnd="OF"', 'refEnd="OF2"'),
     "line 11: <Pipe> 'P1' names unknown structure 'OF2'"),
    (LANDXML.format(**IMPERIAL).replace('elevRim="110"', 'elevRim="high"'),
     "line 6: <Struct> elevRim: 'high' is not a number"),
])
def test_hostile_landxml(tmp_path, text, message):
    path = tmp_path / "bad.landxml"
    path.write_text(text)
    with pytest.raises(FormatError) as caught:
        read_network(path)
    assert str(caught.value).startswith(f"{path}: ") and message in str(caught.value)


def test_geopackage_round_trip_with_crs_and_results(tmp_path):
    gpd = pytest.importorskip("geopandas")
    document = dict(json.loads(rillway.demo_project_json()), crs="EPSG:2263")
    result = rillway.analyze_project(json.dumps(document))
    write_network(document, tmp_path / "net.gpkg", result)
    pipes = gpd.read_file(tmp_path / "net.gpkg", layer="pipes")
    assert pipes.crs.to_epsg() == 2263
    assert list(pipes["surcharged"]) == [row["surcharged"] for row in result["pipes"]]
    assert pipes.geometry.length.tolist() == pytest.approx([300.0, 250.0, 180.0])
    back = read_network(tmp_path / "net.gpkg")
    assert back["crs"] == "EPSG:2263" and back["tailwater"] == 100.5
    assert rillway.analyze_project(json.dumps(back))["pipes"] == result["pipes"]


@pytest.mark.parametrize("suffix, content, message", [
    (".gpkg", b"not a database", "cannot read as gpkg"),
    (".geojson", b'{"type": "FeatureCollection", "features": [{"type": "Feature", '
                 b'"geometry": {"type": "Point", "coordinates": [1e6, 1e6]}, '
                 b'"properties": {"id": "A", "invert": "low", "rim": 1}}]}',
     "nodes feature 1: 'invert' is not a number: 'low'"),
])
def test_hostile_gis(tmp_path, suffix, content, message):
    pytest.importorskip("geopandas")
    path = tmp_path / f"bad{suffix}"
    path.write_bytes(content)
    with pytest.raises(FormatError, match=message):
        read_network(path)
