"""The street above the pipes from Python: the gutter and inlet calculators, street inlets in a
project (the Inlets records, the load balance, the two pipe-flow conventions), their refusals,
and the tables. The hydraulics themselves are checked against the manual's numbers in
tests/cpp/gutter_test.cpp and inlet_test.cpp."""
import json
import math
from pathlib import Path

import pytest

import rillway
from rillway_tools import render, to_si
from rillway_tools.cli import main

EXAMPLE = Path(__file__).resolve().parent.parent / "examples" / "elm-street.rwproj"
M = 0.3048


def elm():
    return json.loads(EXAMPLE.read_text())


def analyse(document):
    return rillway.analyze_project(json.dumps(document))


def test_gutter_calculators_against_hec22s_si_constant():
    # HEC-22's SI form Q = (0.376/n) S_x^1.67 S_L^0.5 T^2.67 is not an exact conversion of the
    # US 0.56; the engine computes in US units, so its SI answer stands within 1 % of it.
    q_si = rillway.gutter_flow(2.5, 0.02, 0.01, 0.016, si=True)
    assert q_si == pytest.approx(0.376 / 0.016 * 0.02 ** 1.67 * 0.1 * 2.5 ** 2.67, rel=0.01)
    # The research note's composite case: 8.2 ft, 2-ft gutter depressed 2 in: 2.30027 cfs.
    q = rillway.gutter_flow(8.2, 0.02, 0.01, 0.016, gutter_width=2.0, depression=2 / 12)
    assert q == pytest.approx(2.30027, abs=5e-6)
    back = rillway.gutter_spread(q, 0.02, 0.01, 0.016, gutter_width=2.0, depression=2 / 12)
    assert back["spread"] == pytest.approx(8.2, rel=1e-9)
    assert back["depth"] == pytest.approx(0.33067, abs=5e-6)
    assert back["e_o"] == pytest.approx(0.71114, abs=5e-6)
    si = rillway.gutter_spread(q * M ** 3, 0.02, 0.01, 0.016, gutter_width=2 * M,
                               depression=2 / 12 * M, si=True)
    assert si["spread"] == pytest.approx(8.2 * M, rel=1e-9)
    assert si["velocity"] == pytest.approx(back["velocity"] * M, rel=1e-9)


def test_inlet_calculators_reproduce_the_oracles():
    # FHWA Hydraulic Toolbox (EPA SWMM issue 161): 51.7 % for a locally depressed curb opening.
    r = rillway.inlet_on_grade(1.0, 0.02, 0.01, 0.016, type="curb", length=3.0,
                               local_depression=2 / 12, local_depression_width=2.0)
    assert r["efficiency"] == pytest.approx(0.517, abs=5e-4)
    assert r["q_intercepted"] + r["q_bypass"] == pytest.approx(1.0)
    # Research note 5.3: a 2 x 2 ft P-50x100 grate in a sag passes 10 cfs at 0.676 ft (weir).
    s = rillway.inlet_in_sag(10.0, 0.02, type="grate", grate_type="p50x100", length=2.0,
                             grate_width=2.0, clogging=0, gutter_width=2.0, depression=2 / 12)
    assert (round(s["ponded_depth"], 3), s["regime"]) == (0.676, "weir")
    # Unclogged by default only where HEC-22 advises it: a grate in a sag defaults to 50 %.
    clogged = rillway.inlet_in_sag(10.0, 0.02, type="grate", grate_type="p50x100", length=2.0,
                                   grate_width=2.0, gutter_width=2.0, depression=2 / 12)
    assert clogged["regime"] == "orifice" and clogged["ponded_depth"] > s["ponded_depth"]
    metres = rillway.inlet_in_sag(10.0 * M ** 3, 0.02, type="grate", grate_type="p50x100",
                                  length=2 * M, grate_width=2 * M, clogging=0,
                                  gutter_width=2 * M, depression=2 / 12 * M, si=True)
    assert metres["ponded_depth"] == pytest.approx(s["ponded_depth"] * M, rel=1e-9)


@pytest.mark.parametrize("call, message", [
    (lambda: rillway.gutter_flow(-1, 0.02, 0.01, 0.016), "spread must be a number of 0 or more"),
    (lambda: rillway.gutter_spread(1, 0.0, 0.01, 0.016), "cross_slope must be a positive number"),
    (lambda: rillway.gutter_spread(1, 0.02, 0.01, 0.016, depression=0.1),
     "gutter_width must be positive where the gutter is depressed"),
    (lambda: rillway.inlet_on_grade(1, 0.02, 0.0, 0.016, type="curb", length=5),
     "long_slope must be a positive number on grade"),
    (lambda: rillway.inlet_on_grade(1, 0.02, 0.01, 0.016, type="gully", length=5),
     "type must be 'grate', 'curb', 'combination' or 'slotted', not 'gully'"),
    (lambda: rillway.inlet_on_grade(1, 0.02, 0.01, 0.016, type="grate", length=2,
                                    grate_width=2, grate_type="custom"),
     "splash_velocity must be a positive number for a custom grate"),
    (lambda: rillway.inlet_in_sag(1, 0.02, type="grate", length=2, grate_width=2, clogging=1),
     "clogging must be a fraction of at least 0 and below 1"),
    (lambda: rillway.inlet_in_sag(math.nan, 0.02, type="curb", length=5),
     "q must be a number of 0 or more"),
])
def test_calculator_arguments_are_checked(call, message):
    with pytest.raises(ValueError) as caught:
        call()
    assert str(caught.value) == message


def test_a_street_of_inlets_conserves_its_runoff():
    result = analyse(elm())
    inlets = result["inlets"]
    assert [(r["id"], r["bypass_to"]) for r in inlets] == [
        ("E1", "E2"), ("E2", "E3"), ("E3", "S4"), ("S4", None)]
    for upper, lower in zip(inlets, inlets[1:]):
        assert lower["q_carryover"] == upper["q_bypass"]
    for r in inlets:
        assert r["q_approach"] == pytest.approx(r["q_own"] + r["q_carryover"], rel=1e-15)
        assert r["q_intercepted"] + r["q_bypass"] == pytest.approx(r["q_approach"], rel=1e-12)
    sag = inlets[-1]
    assert sag["sag"] and sag["q_bypass"] == 0 and sag["gutter_velocity"] is None
    assert sag["regime"] in ("weir", "transition", "orifice")
    # Nothing is lost, so the outfall pipe carries every area, as it does with the inlets
    # ignored; the pipes above it carry only what their inlets caught.
    plain = elm()
    for node in plain["nodes"]:
        node.get("inlet", {}).pop("type", None)
    without = analyse(plain)
    assert "inlets" not in without
    assert result["pipes"][-1]["total_ca"] == pytest.approx(without["pipes"][-1]["total_ca"])
    for with_inlets, bare in zip(result["pipes"][:-1], without["pipes"][:-1]):
        assert with_inlets["total_ca"] < bare["total_ca"]


def test_total_area_convention_keeps_the_pipes_and_lost_bypass_leaves_them():
    document = elm()
    document["roadway"]["pipe_flows"] = "total_area"
    plain = elm()
    for node in plain["nodes"][:-1]:
        node["inlet"]["type"] = "none"
    assert analyse(document)["pipes"] == analyse(plain)["pipes"]
    # Cut E3's link: its bypass leaves the system, and the outfall pipe loses that load.
    cut = elm()
    del cut["nodes"][2]["bypass_to"]
    captured = analyse(cut)
    lost = captured["inlets"][2]["q_bypass"]
    assert lost > 0 and captured["inlets"][2]["bypass_to"] is None
    assert captured["pipes"][-1]["total_ca"] < analyse(plain)["pipes"][-1]["total_ca"]


def hostile(path, value):
    document = elm()
    target = document
    for key in path[:-1]:
        target = target[key]
    if value is DELETE:
        del target[path[-1]]
    else:
        target[path[-1]] = value
    return document


DELETE = object()


@pytest.mark.parametrize("path, value, message", [
    (("nodes", 0, "inlet", "length_ft"), -3.0,
     "analysis failed: node 'E1': inlet `length_ft` must be a positive number"),
    (("nodes", 1, "inlet", "gutter_slope"), 0.0,
     "analysis failed: node 'E2': inlet `gutter_slope` must be a positive number on grade"),
    (("nodes", 1, "inlet", "cross_slope"), 0.0,
     "analysis failed: node 'E2': inlet `cross_slope` must be a positive number"),
    (("nodes", 1, "inlet", "clogging"), 1.0,
     "analysis failed: node 'E2': inlet `clogging` must be a fraction of at least 0 and below 1"),
    (("nodes", 1, "inlet", "grate_type"), "custom",
     "analysis failed: node 'E2': inlet `splash_velocity_fps` must be a positive number for a "
     "custom grate"),
    (("nodes", 1, "inlet", "spread_allow_ft"), -1.0,
     "analysis failed: node 'E2': inlet `spread_allow_ft` must be a positive number"),
    (("nodes", 0, "bypass_to"), "E9", "analysis failed: node 'E1': bypass_to names no structure ('E9')"),
    (("nodes", 0, "bypass_to"), "OUT",
     "analysis failed: node 'E1': bypass_to names the outfall 'OUT'; leave it out for a bypass "
     "that is lost"),
    (("nodes", 2, "bypass_to"), "E1", "analysis failed: bypass_to forms a loop: E1 -> E2 -> E3 -> E1"),
    (("nodes", 3, "bypass_to"), "E1",
     "analysis failed: node 'S4': an inlet in a sag takes all that reaches it, so it cannot "
     "have a bypass_to ('E1')"),
])
def test_hostile_inlet_records_give_one_clear_error(path, value, message):
    with pytest.raises(ValueError) as caught:
        analyse(hostile(path, value))
    assert str(caught.value) == message


@pytest.mark.parametrize("key, value, expected", [
    ("type", "gully", "unknown variant `gully`, expected `none`, `grate`, `curb`, `combination` "
                      "or `slotted`"),
    ("grate_type", "p40", "unknown variant `p40`"),
    ("throat", 45, "invalid type: integer `45`"),
    ("length_ft", "ten", "invalid type: string \"ten\", expected f64"),
])
def test_hostile_inlet_words_are_refused_where_they_stand(key, value, expected):
    document = elm()
    document["nodes"][1]["inlet"][key] = value
    with pytest.raises(ValueError, match="invalid project JSON: " + expected.replace("`", ".")
                       .replace("(", r"\(")):
        analyse(document)


def test_si_project_reads_its_inlets_in_metres():
    document = elm()
    document["units"] = "si"
    for node in document["nodes"]:
        for key in ("x", "y", "invert", "rim"):
            node[key] *= M
        node["area_ac"] *= 0.40468564224
        for key in ("length_ft", "grate_width_ft", "curb_length_ft"):
            if key in node.get("inlet", {}):
                node["inlet"][key] *= M
    for pipe in document["pipes"]:
        pipe["length"] *= M
        pipe["diameter"] *= M
    document["tailwater"] *= M
    document["idf_a"] *= 25.4
    for key in ("gutter_width_ft", "gutter_depression_ft", "spread_allow_ft"):
        document["roadway"][key] *= M
    us = analyse(elm())["inlets"]
    si = analyse(document)["inlets"]
    # The engine's acres per hectare (2.4710516...) stands 1e-6 from the exact 1/0.40468564224.
    for a, b in zip(us, si):
        assert b["spread"] == pytest.approx(a["spread"], rel=1e-5)
        assert b["q_intercepted"] == pytest.approx(a["q_intercepted"], rel=1e-5)
    converted = to_si(analyse(elm()))["inlets"][0]
    assert converted["spread"] == pytest.approx(us[0]["spread"] * M)
    assert converted["q_bypass"] == pytest.approx(us[0]["q_bypass"] * M ** 3)


def test_documents_round_trip_their_inlet_keys():
    document = elm()
    document["nodes"][1]["inlet"]["clogging"] = 0.25
    document["roadway"]["pipe_flows"] = "total_area"
    view = json.loads(rillway.design_project(json.dumps(document))["project"])
    assert view["roadway"] == document["roadway"]
    written = view["nodes"][1]["inlet"]
    assert {k: written[k] for k in document["nodes"][1]["inlet"]} == document["nodes"][1]["inlet"]
    # A document without the new keys writes none of them.
    demo = json.loads(rillway.demo_project_json())
    assert "roadway" not in demo and all(set(n["inlet"]) <= {"length_ft", "gutter_slope", "sag",
                                                             "grate_width_ft", "cross_slope"}
                                         for n in demo["nodes"])


def test_tables_show_the_inlets_and_flag_wide_spread(capsys):
    result = analyse(elm())
    text = render(result, "table")
    assert "\nInlets\n" in text and "! exceeded: the spread is wider than allowed" in text
    flagged = [r["id"] for r in result["inlets"] if r["spread_exceeded"]]
    assert flagged and all(f"! {name} " in text for name in flagged)
    csv_block = render(result, "csv", "inlets")
    assert csv_block.splitlines()[0].startswith("id,type,sag,q_own,")
    assert json.loads(render(result, "json"))["inlets"][0]["id"] == "E1"
    assert "Inlets" not in render(analyse(json.loads(rillway.demo_project_json())), "table")
    assert main(["analyze", str(EXAMPLE), "--inlets-only", "--units", "si"]) == 0
    out = capsys.readouterr().out
    assert "m³/s" in out and "Pipes" not in out


def test_scenarios_carry_each_inlets_approach_spread_and_bypass():
    text = EXAMPLE.read_text()
    columns = rillway.analyze_scenarios(text, [{}, {"intensity_factor": 1.3}])
    inlets = columns["inlets"]
    assert inlets["id"] == ["E1", "E2", "E3", "S4"]
    base = analyse(elm())["inlets"]
    n = len(base)
    for i, r in enumerate(base):
        assert inlets["q_approach"][i] == r["q_approach"]
        assert inlets["spread"][i] == r["spread"]
        assert inlets["q_bypass"][i] == r["q_bypass"]
        assert inlets["q_approach"][n + i] > r["q_approach"]
    assert "inlets" not in rillway.analyze_scenarios(rillway.demo_project_json(), [{}])


def test_design_sizes_the_pipes_for_what_the_inlets_pass():
    designed = rillway.design_project(EXAMPLE.read_text())
    result = designed["result"]
    assert rillway.analyze_project(designed["project"]) == result
    first = result["inlets"][0]
    assert result["pipes"][0]["total_ca"] == pytest.approx(0.7 * 0.8 * first["efficiency"])
