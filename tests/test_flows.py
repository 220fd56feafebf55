"""What the pipes carry: known inflows added below their structure, unscaled by scenarios; a
structure's flow split among its leaving pipes, whole (with a warning) or by capacity; and the
design flow held at the flow from upstream. Flows are checked against hand computations on a
flat rainfall curve (c = 0, so i = a and Q = C A i + inflow exactly)."""
import json
import warnings

import pytest

import rillway
from conftest import same

I = 4.0  # in/hr


def node(id, kind, x, invert, rim=110.0, area=0.0, c=0.0, **extra):
    return {"id": id, "kind": kind, "x": x, "y": 0.0, "invert": invert, "rim": rim,
            "area_ac": area, "c": c, "tc_inlet": 10.0, **extra}


def pipe(id, a, b, diameter=1.5, length=100.0):
    return {"id": id, "from": a, "to": b, "length": length, "diameter": diameter, "n": 0.013}


def project(nodes, pipes, **extra):
    return json.dumps({"name": "t", "idf_a": I, "idf_b": 10.0, "idf_c": 0.0, "tailwater": None,
                       "min_tc": 10.0, "junction_k": 0.5, "nodes": nodes, "pipes": pipes,
                       **extra})


def flows(result, key="design_q"):
    return {p["id"]: p[key] for p in result["pipes"]}


# A (2 ac at 0.5, 3 cfs entering from a system upstream) to junction B (1 ac at 0.8) to OUT.
CHAIN = [node("A", "inlet", 0, 103.0, area=2.0, c=0.5, inflow_cfs=3.0),
         node("B", "junction", 100, 102.0, area=1.0, c=0.8), node("OUT", "outfall", 200, 101.0)]
CHAIN_PIPES = [pipe("AB", "A", "B"), pipe("BO", "B", "OUT")]
CHAIN_RWN = f"""IDF {I} 10 0
NODE A inlet 0 0 103 110 2 0.5
NODE B junction 100 0 102 110 1 0.8
NODE OUT outfall 200 0 101 110
PIPE AB A B 100 1.5 0.013
PIPE BO B OUT 100 1.5 0.013
INFLOW A 1.0
inflow a 9
INFLOW A 2.0   # lines for one node add up
"""


def test_known_inflow_is_added_below_its_structure_in_both_formats():
    result = rillway.analyze_project(project(CHAIN, CHAIN_PIPES))
    assert flows(result) == pytest.approx({"AB": 1.0 * I + 3.0, "BO": 1.8 * I + 3.0}, rel=1e-14)
    assert flows(result, "total_ca") == pytest.approx({"AB": 1.0, "BO": 1.8}, rel=1e-14)
    text = CHAIN_RWN.replace("inflow a 9\n", "")
    assert rillway.read_rwn(text)["nodes"][0]["inflow_cfs"] == 3.0
    assert same(rillway.analyze_rwn(text)["pipes"], result["pipes"])
    assert same(rillway.analyze_project(rillway.rwn_to_project(text))["pipes"], result["pipes"])
    with pytest.raises(ValueError, match="line 8: INFLOW names unknown node `a`"):
        rillway.analyze_rwn(CHAIN_RWN)


def test_known_inflow_of_an_si_project_is_in_cubic_metres_per_second():
    si = [dict(n, inflow_cfs=0.1 if n["id"] == "A" else 0.0) for n in CHAIN]
    view = rillway.read_project(project(si, CHAIN_PIPES, units="si"))
    assert view["nodes"][0]["inflow_cfs"] == pytest.approx(0.1 / 0.3048**3, rel=1e-14)


def test_scenarios_scale_the_rain_and_never_the_known_inflow():
    result = rillway.analyze_scenarios(project(CHAIN, CHAIN_PIPES),
                                       [{"intensity_factor": 1.5, "c_factor": 1.2}])
    # C x 1.2: 0.6 and 0.96; i x 1.5 = 6 in/hr; the 3 cfs stays 3 cfs.
    expected = [2 * 0.6 * 6.0 + 3.0, (2 * 0.6 + 0.96) * 6.0 + 3.0]
    assert list(result["pipes"]["design_q"]) == pytest.approx(expected, rel=1e-14)


# One 10-acre area at C 0.5 on A, two parallel routes A-B-OUT and A-C-OUT: an 18-in and a 24-in
# pipe leave A on the same slope, and 1 cfs enters at A.
SPLIT = [node("A", "inlet", 0, 103.0, area=10.0, c=0.5, inflow_cfs=1.0),
         node("B", "junction", 100, 102.0), node("C", "junction", 100, 102.0),
         node("OUT", "outfall", 200, 101.0)]
SPLIT_PIPES = [pipe("R1", "A", "B", 1.5), pipe("R2", "A", "C", 2.0), pipe("B1", "B", "OUT", 2.0),
               pipe("C1", "C", "OUT", 2.0)]


def at_outfall(result, key):
    return sum(p[key] for p in result["pipes"] if p["to"] == "OUT")


def test_whole_split_counts_the_area_once_per_route_and_says_so():
    text = project(SPLIT, SPLIT_PIPES)
    with pytest.warns(rillway.InputWarning) as caught:
        result = rillway.analyze_project(text)
    assert [str(w.message) for w in caught] == [
        "structure A has 2 pipes leaving it (R1, R2): each carries the whole C*A and inflow that "
        "reach it, counted again where the routes meet; flow_split \"capacity\" divides them"]
    assert at_outfall(result, "total_ca") == 10.0
    assert at_outfall(result, "design_q") == pytest.approx(2 * (5.0 * I + 1.0), rel=1e-14)
    with pytest.warns(rillway.InputWarning):
        assert same(rillway.analyze_project(project(SPLIT, SPLIT_PIPES, flow_split="whole")),
                    result)


def test_capacity_split_divides_area_and_inflow_by_full_flow_capacity():
    with warnings.catch_warnings():
        warnings.simplefilter("error")  # the split is the user's choice: nothing to warn of
        result = rillway.analyze_project(project(SPLIT, SPLIT_PIPES, flow_split="capacity"))
    # Manning on one slope and n: Q_full ~ D^(8/3).
    small = 1.5 ** (8 / 3) / (1.5 ** (8 / 3) + 2.0 ** (8 / 3))
    assert flows(result, "total_ca")["R1"] == pytest.approx(5.0 * small, rel=1e-12)
    assert flows(result)["R2"] == pytest.approx((1 - small) * (5.0 * I + 1.0), rel=1e-12)
    assert flows(result)["R1"] / flows(result)["R2"] == pytest.approx(
        flows(result, "capacity")["R1"] / flows(result, "capacity")["R2"], rel=1e-12)
    assert at_outfall(result, "total_ca") == pytest.approx(5.0, rel=1e-14)
    assert at_outfall(result, "design_q") == pytest.approx(5.0 * I + 1.0, rel=1e-14)
    assert rillway.read_project(project(SPLIT, SPLIT_PIPES, flow_split="capacity"))[
        "settings"]["flow_split"] == "capacity"
    with pytest.raises(ValueError, match="unknown variant `half`, expected `whole` or `capacity`"):
        rillway.analyze_project(project(SPLIT, SPLIT_PIPES, flow_split="half"))


def test_flow_from_upstream_holds_where_the_rational_flow_would_fall():
    # A long, flat first pipe: at B the time of concentration has grown and, with no new area,
    # the rational flow of BO falls below that of AB (a real curve here, i = 60 / (tc + 10)^0.8).
    nodes = [node("A", "inlet", 0, 105.0, area=3.0, c=0.9), node("B", "junction", 2000, 103.0),
             node("OUT", "outfall", 2100, 102.0)]
    pipes = [pipe("AB", "A", "B", 2.0, 2000.0), pipe("BO", "B", "OUT", 2.0)]
    curve = {"idf_a": 60.0, "idf_c": 0.8}
    plain = json.loads(project(nodes, pipes))
    plain.update(curve)
    before = rillway.analyze_project(json.dumps(plain))
    assert flows(before)["BO"] < flows(before)["AB"] and "flow_from_upstream" not in before["pipes"][0]
    plain["min_flow_from_upstream"] = True
    after = rillway.analyze_project(json.dumps(plain))
    assert flows(after)["BO"] == flows(after)["AB"] == flows(before)["AB"]
    assert flows(after, "flow_from_upstream") == {"AB": False, "BO": True}


def test_flow_from_upstream_takes_the_share_of_a_split():
    # U drains through a long pipe into A, which splits by capacity: each leaving pipe keeps at
    # least its share of UA's flow, though the rain at A's longer tc is weaker.
    nodes = [node("U", "inlet", -2000, 105.0, area=10.0, c=0.5)] + \
        [dict(n, area_ac=0.0, inflow_cfs=0.0) for n in SPLIT]
    text = json.loads(project(nodes, [pipe("UA", "U", "A", 2.0, 2000.0)] + SPLIT_PIPES,
                              flow_split="capacity", min_flow_from_upstream=True))
    text.update(idf_a=60.0, idf_c=0.8)
    result = rillway.analyze_project(json.dumps(text))
    q, raised = flows(result), flows(result, "flow_from_upstream")
    small = 1.5 ** (8 / 3) / (1.5 ** (8 / 3) + 2.0 ** (8 / 3))
    assert q["R1"] == pytest.approx(small * q["UA"], rel=1e-12)
    assert q["R2"] == pytest.approx((1 - small) * q["UA"], rel=1e-12)
    assert raised == {"UA": False, "R1": True, "R2": True, "B1": True, "C1": True}
