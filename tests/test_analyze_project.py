"""Project documents end to end: demo_project_json, analyze_project and analyze_file."""
import json
import math
import os
from pathlib import Path

import pytest

import rillway
from conftest import segment

FT_PER_M = 3.280839895013123


def minimal(**overrides):
    """A small valid document: one inlet draining to an outfall through one pipe."""
    document = {
        "name": "Minimal", "idf_a": 60.0, "idf_b": 10.0, "idf_c": 0.8, "min_tc": 10.0,
        "junction_k": 0.5,
        "nodes": [
            {"id": "A", "kind": "inlet", "x": 0.0, "y": 0.0, "invert": 101.0, "rim": 106.0,
             "area_ac": 2.0, "c": 0.7, "tc_inlet": 0.0},
            {"id": "O", "kind": "outfall", "x": 100.0, "y": 0.0, "invert": 100.0, "rim": 105.0,
             "area_ac": 0.0, "c": 0.0, "tc_inlet": 0.0},
        ],
        "pipes": [{"id": "P", "from": "A", "to": "O", "length": 100.0, "diameter": 1.5,
                   "n": 0.013}],
    }
    document.update(overrides)
    return document


def analyze(document):
    return rillway.analyze_project(json.dumps(document))


def test_demo_text_is_stable_and_begins_with_its_name():
    text = rillway.demo_project_json()
    assert text == rillway.demo_project_json()
    lines = text.split("\n")
    assert lines[:3] == ["{", '  "name": "Demo Trunk Line",', '  "idf_a": 60.0,']
    assert not text.endswith("\n")
    document = json.loads(text)
    assert document["tailwater"] == 100.5 and document["format_version"] == 1
    assert "invert_up" not in document["pipes"][0]


def test_demo_first_pipe_by_hand():
    result = rillway.analyze_project(rillway.demo_project_json())
    assert result["name"] == "Demo Trunk Line"
    assert [p["id"] for p in result["pipes"]] == ["P1", "P2", "P3"]
    assert [n["id"] for n in result["nodes"]] == ["N1", "N2", "N3", "OUT"]
    p1 = result["pipes"][0]
    # N1: 1.0 ac plus the catchment triangle 80 x 60 / 2 ft2, all at C = 0.7; its own inlet time
    # of 12 min beats the catchment's Kirpich time (about 1.6 min).
    area = 1.0 + 80 * 60 / 2 / 43560
    ca = 0.7 * area
    intensity = 60 / (12 + 10) ** 0.8                       # 5.0620 in/hr
    slope = (104.0 - 102.5) / 300                           # 0.005
    full = 1.486 / 0.013 * (math.pi * 1.25**2 / 4) * (1.25 / 4) ** (2 / 3) * math.sqrt(slope)
    assert p1["total_ca"] == pytest.approx(ca, rel=1e-12)
    assert p1["tc"] == 12.0
    assert p1["intensity"] == pytest.approx(intensity, rel=1e-12)
    assert p1["design_q"] == pytest.approx(ca * intensity, rel=1e-12)
    assert p1["capacity"] == pytest.approx(full, rel=1e-12)
    assert p1["slope"] == pytest.approx(slope, rel=1e-12)
    assert result["nodes"][3]["hgl"] == 100.5  # the demo's tailwater


def test_analyze_file_matches_analyze_project(tmp_path):
    path = tmp_path / "demo.rwproj"
    path.write_text(rillway.demo_project_json(), encoding="utf-8")
    assert rillway.analyze_file(str(path)) == rillway.analyze_project(rillway.demo_project_json())
    assert rillway.analyze_file(path=str(path))["name"] == "Demo Trunk Line"


@pytest.mark.parametrize("years, factor", [
    (10.9, 1.0), (11, 1.1), (25.999, 1.1), (26, 1.2), (50, 1.2), (51, 1.25), (0, 1.0), (-4, 1.0),
    (1e12, 1.25)])
def test_frequency_factor_follows_the_truncated_return_period(years, factor):
    pipe = analyze(minimal(design_return_period_years=years))["pipes"][0]
    assert pipe["total_ca"] == pytest.approx(2.0 * min(0.7 * factor, 1.0), rel=1e-12)


def test_si_document_converts_lengths_but_not_times_or_coefficients():
    document = minimal(units="si", tailwater=30.0, min_tc=15.0)
    for node in document["nodes"]:
        node["invert"], node["rim"] = node["invert"] / 10, node["rim"] / 10
    result = analyze(document)
    outfall = result["nodes"][1]
    assert outfall["hgl"] == pytest.approx(30.0 * FT_PER_M, rel=1e-15)
    assert outfall["rim"] == pytest.approx(10.5 * FT_PER_M, rel=1e-15)
    assert result["nodes"][0]["tc"] == 15.0
    # 2.0 ha at C = 0.7 becomes acres.
    assert result["pipes"][0]["total_ca"] == pytest.approx(0.7 * 2.0 * 2.4710516301527603)


def test_hec22_access_hole_defaults_change_the_structure_loss():
    def hgl_up(**overrides):
        # A tailwater over the outlet crown: the pipe is profiled and takes a structure loss.
        document = minimal(hec22_structure_loss=True, tailwater=102.0, **overrides)
        return analyze(document)["pipes"][0]["hgl_up"]
    assert hgl_up(access_hole_diam_ft=-1.0) == hgl_up(access_hole_diam_ft=4.0)
    assert hgl_up(access_hole_diam_ft=0.0) == hgl_up()
    assert hgl_up(access_hole_diam_ft=6.0) != hgl_up(access_hole_diam_ft=4.0)


@pytest.mark.parametrize("text, start", [
    ("", "invalid project JSON: "),
    ("{", "invalid project JSON: "),
    (json.dumps({k: v for k, v in minimal().items() if k != "junction_k"}),
     "invalid project JSON: missing field `junction_k` at line 1 column "),
    (json.dumps(minimal(units="SI")),
     "invalid project JSON: unknown variant `SI`, expected `us_customary` or `si` at line 1 column"),
    (json.dumps(minimal()) + " x", "invalid project JSON: "),
    (json.dumps(minimal(pipes=[{"id": "P", "from": "A", "to": "Z", "length": 1.0,
                                "diameter": 1.0, "n": 0.013}])),
     "analysis failed: pipe references unknown node 'Z'"),
])
def test_project_errors(text, start):
    with pytest.raises(ValueError) as caught:
        rillway.analyze_project(text)
    assert str(caught.value).startswith(start)


def test_file_errors(tmp_path):
    missing = str(tmp_path / "nope.rwproj")
    with pytest.raises(OSError) as caught:
        rillway.analyze_file(missing)
    assert str(caught.value) == f"cannot read {missing}: No such file or directory (os error 2)"
    assert type(caught.value) is OSError and caught.value.errno is None
    with pytest.raises(OSError) as caught:
        rillway.analyze_file(str(tmp_path))
    assert str(caught.value) == f"cannot read {tmp_path}: Is a directory (os error 21)"
    latin = tmp_path / "latin1.rwproj"
    latin.write_bytes(json.dumps(minimal(name="Caf\u00e9"), ensure_ascii=False).encode("latin-1"))
    with pytest.raises(OSError) as caught:
        rillway.analyze_file(str(latin))
    assert str(caught.value) == f"cannot read {latin}: stream did not contain valid UTF-8"
    with pytest.raises(OSError) as caught:
        rillway.analyze_file("a\0b")
    assert str(caught.value) == "cannot read a\0b: file name contained an unexpected NUL byte"


def test_relative_paths_start_from_the_working_directory(tmp_path, monkeypatch):
    (tmp_path / "p.rwproj").write_text(json.dumps(minimal()), encoding="utf-8")
    monkeypatch.chdir(tmp_path)
    assert rillway.analyze_file("p.rwproj")["name"] == "Minimal"


def test_entry_point_arguments():
    with pytest.raises(TypeError) as caught:
        rillway.analyze_project(None)
    assert caught.value.__notes__ == ["while processing 'project_json'"]
    with pytest.raises(TypeError) as caught:
        rillway.analyze_file(os.curdir.encode())
    assert caught.value.__notes__ == ["while processing 'path'"]
    with pytest.raises(TypeError):
        rillway.demo_project_json(1)
    with pytest.raises(TypeError):
        rillway.demo_project_json(x=1)


@pytest.mark.parametrize("text, pipe_id, node_id", [
    (rillway.demo_project_json(), "P3", "N3"),
    ((Path(__file__).resolve().parent.parent / "examples" / "main-street.rwn").read_text(), "P3", "J1"),
])
def test_structure_above_a_steep_pipe_stands_at_the_critical_energy(text, pipe_id, node_id):
    # Water leaving the structure passes critical depth at the pipe entrance: the still water in
    # the structure is at least z_up + y_c + V_c^2 / 2g, the area at y_c from the segment formula.
    result = rillway.analyze_project(text) if text.startswith("{") else rillway.analyze_rwn(text)
    network = rillway.read_project(text) if text.startswith("{") else rillway.read_rwn(text)
    index = next(i for i, p in enumerate(result["pipes"]) if p["id"] == pipe_id)
    pipe, layout = result["pipes"][index], network["pipes"][index]
    assert pipe["normal_depth"] < 0.98 * pipe["critical_depth"]  # steep: supercritical
    area, _ = segment(pipe["critical_depth"], layout["rise"])
    energy = layout["invert_up"] + pipe["critical_depth"] + (pipe["design_q"] / area) ** 2 / 64.4
    assert pipe["hgl_up"] == pytest.approx(energy, abs=1e-9)
    node = next(n for n in result["nodes"] if n["id"] == node_id)
    assert node["hgl"] == pipe["hgl_up"]
