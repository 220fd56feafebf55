"""One set of units: an SI project and its exact US twin (every SI value times the factor the
engine reads SI projects with, `rillway.FEET_PER_METRE` and its kin) analyse to the same bits,
design to the same pipes, and take a scenario's tailwater each in its own unit; `to_si` gives
the SI inputs back exactly."""
import json

import pytest

import rillway
from rillway_tools import to_si

M = rillway.FEET_PER_METRE


def si_project(loss_method="standard"):
    def node(id, kind, x, invert, rim, area, c):
        return {"id": id, "kind": kind, "x": x, "y": 0.0, "invert": invert, "rim": rim,
                "area_ac": area, "c": c, "tc_inlet": 10.0 if kind != "outfall" else 0.0}
    return {"name": "si", "units": "si", "idf_a": 1524.0, "idf_b": 10.0, "idf_c": 0.8, "min_tc": 10.0,
            "junction_k": 0.5, "tailwater": 30.7, "access_hole_diam_ft": 1.2, "loss_method": loss_method,
            "nodes": [node("A", "inlet", 0.0, 32.613, 34.137, 0.405, 0.75),
                      node("B", "junction", 61.0, 31.2, 33.451, 0.324, 0.8),
                      node("C", "inlet", 61.0, 31.9, 33.9, 0.2, 0.6),
                      node("O", "outfall", 117.35, 30.48, 31.09, 0.0, 0.0)],
            "pipes": [{"id": "P1", "from": "A", "to": "B", "length": 61.0, "diameter": 0.457, "n": 0.013},
                      {"id": "P3", "from": "C", "to": "B", "length": 33.3, "diameter": 0.381, "n": 0.013},
                      {"id": "P2", "from": "B", "to": "O", "length": 56.39, "diameter": 0.61, "n": 0.013,
                       "invert_up": 31.15}]}


def us_twin(doc):
    twin = json.loads(json.dumps(doc))
    del twin["units"]
    twin["idf_a"] = doc["idf_a"] * rillway.INCHES_PER_MILLIMETRE
    for key in ("tailwater", "access_hole_diam_ft"):
        twin[key] = doc[key] * M
    for n in twin["nodes"]:
        for key in ("x", "y", "invert", "rim"):
            n[key] *= M
        n["area_ac"] *= rillway.ACRES_PER_HECTARE
    for p in twin["pipes"]:
        for key in ("length", "diameter", "invert_up", "invert_dn"):
            if key in p:
                p[key] *= M
    return twin


@pytest.mark.parametrize("method", ["standard", "hec22", "fhwa_energy"])
def test_an_si_project_and_its_us_twin_analyse_alike(method):
    si = si_project(method)
    assert rillway.analyze_project(json.dumps(si)) == rillway.analyze_project(json.dumps(us_twin(si)))


def test_an_si_project_and_its_us_twin_design_alike():
    si = si_project()
    a, b = rillway.design_project(json.dumps(si)), rillway.design_project(json.dumps(us_twin(si)))
    assert [(p["diameter"], p["governing"]) for p in a["pipes"]] == \
        [(p["diameter"], p["governing"]) for p in b["pipes"]]
    # The inverts on each document's own grid: 1 mm and 0.01 ft, both within 0.01 ft.
    for p, q in zip(a["pipes"], b["pipes"]):
        assert p["invert_up"] == pytest.approx(q["invert_up"], abs=0.0101)
        assert p["invert_dn"] == pytest.approx(q["invert_dn"], abs=0.0101)


def test_a_scenario_tailwater_is_in_the_documents_unit():
    si = si_project()
    levels = [30.0, 30.9, 31.6]
    a = rillway.analyze_scenarios(json.dumps(si), [{"tailwater": t} for t in levels])
    b = rillway.analyze_scenarios(json.dumps(us_twin(si)), [{"tailwater": t * M} for t in levels])
    for part in ("pipes", "nodes"):
        for key, column in a[part].items():
            assert list(column) == list(b[part][key]), key
    # The scenario's 30.9 m is the document's own 30.9 m.
    si["tailwater"] = 30.9
    alone = rillway.analyze_project(json.dumps(si))
    assert list(a["nodes"]["hgl"])[4:8] == [n["hgl"] for n in alone["nodes"]]


def test_to_si_gives_the_si_inputs_back_exactly():
    si = si_project()
    result = to_si(rillway.analyze_project(json.dumps(si)))
    assert [n["rim"] for n in result["nodes"]] == [n["rim"] for n in si["nodes"]]
    assert result["nodes"][-1]["hgl"] == si["tailwater"]
    # C*A in hectares through the engine's own factor, not one 8.8e-7 apart from it.
    assert result["pipes"][0]["total_ca"] == pytest.approx(si["nodes"][0]["area_ac"] * si["nodes"][0]["c"],
                                                           rel=1e-15)
