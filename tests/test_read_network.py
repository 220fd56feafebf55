"""The network as the analysis sees it (`read_project`, `read_rwn`) and `.rwn` texts converted
into project documents (`rwn_to_project`), which must analyse to the same bits."""
import json
import random
from pathlib import Path

import pytest

import rillway
from conftest import same

EXAMPLES = Path(__file__).resolve().parent.parent / "examples"
FT = 3.280839895013123  # feet per metre
AC = 2.4710516301527603  # acres per hectare


def project(**changes):
    base = json.loads(rillway.demo_project_json())
    base.update(changes)
    return json.dumps(base)


def test_project_values_reach_the_analysis_units_and_resolved_ends():
    doc = json.loads(rillway.demo_project_json())
    doc["units"] = "si"
    doc["catchments"] = []
    doc["design_return_period_years"] = 25.4  # rounds to the 25-year curve
    doc["idf_curves"] = [{"rp_years": 25, "a": 254.0, "b": 11.0, "c": 0.75}]
    doc["nodes"][0]["kind"] = "manhole"  # an unknown word counts as an inlet
    doc["pipes"][1]["invert_up"] = 102.0
    doc["pipes"][2].update(shape="box", rise_ft=1.0, span_ft=2.0)
    with pytest.warns(rillway.InputWarning, match="^node 'N1': unknown kind 'manhole', read as an inlet$"):
        network = rillway.read_project(json.dumps(doc))
    s = network["settings"]
    assert (s["idf_a"], s["idf_b"], s["idf_c"]) == (254.0 / 25.4, 11.0, 0.75)  # mm/h -> in/hr
    assert s["frequency_factor"] == 1.1 and s["access_hole_diameter"] == 4.0 * FT
    n1, n2 = network["nodes"][0], network["nodes"][1]
    assert n1["kind"] == "inlet" and n1["invert"] == 104.0 * FT and n1["area_ac"] == 1.0 * AC
    p1, p2, p3 = network["pipes"]
    assert p1["invert_up"] == n1["invert"] and p1["invert_dn"] == n2["invert"]
    assert p2["invert_up"] == 102.0 * FT  # the pipe's own invert wins over its node's
    assert (p3["shape"], p3["rise"], p3["span"]) == ("box", 1.0 * FT, 2.0 * FT)
    assert p1["shape"] == "circular" and p1["rise"] == p1["span"] == 1.25 * FT


def test_catchments_fold_into_their_nodes():
    doc = json.loads(rillway.demo_project_json())
    # A 208.71 ft square is one acre (43,560 sq ft); at C 0.3 with the node's 1 acre at 0.7.
    side = 43560.0 ** 0.5
    doc["catchments"] = [{"id": "K1", "vertices": [[0, 0], [side, 0], [side, side], [0, side]],
                          "c": 0.3, "flow_length_ft": 0, "slope": 0, "inlet_node_id": "N1"}]
    node = rillway.read_project(json.dumps(doc))["nodes"][0]
    assert node["area_ac"] == pytest.approx(2.0, rel=1e-12)
    assert node["c"] == pytest.approx(0.5, rel=1e-12)


@pytest.mark.parametrize("reader, analyser, text", [
    (rillway.read_rwn, rillway.analyze_rwn, "NODE N1 inlet 0 0 100"),
    (rillway.read_rwn, rillway.analyze_rwn, "NODE A inlet 0 0 1 2 1 1\nPIPE P A NOPE 1 1 0.013"),
    (rillway.read_project, rillway.analyze_project, ""),
    (rillway.read_project, rillway.analyze_project, project(min_tc="ten")),
    (rillway.check_project, rillway.analyze_project, project(min_tc="ten")),
    (rillway.check_project, rillway.analyze_project,
     json.dumps({**json.loads(project()), "pipes": [{"id": "P", "from": "A", "to": "NOPE",
                                                    "length": 1, "diameter": 1, "n": 0.013}]})),
])
def test_unreadable_input_fails_as_the_analysis_does(reader, analyser, text):
    with pytest.raises(ValueError) as read_error:
        reader(text)
    with pytest.raises(ValueError) as analysis_error:
        analyser(text)
    assert str(read_error.value) == str(analysis_error.value)


def random_rwn(seed):
    r = random.Random(seed)
    lines = [f"IDF {r.uniform(40, 150)} {r.uniform(5, 15)} {r.uniform(0.6, 0.9)}",
             f"MINTC {r.choice([5, 10, 15])}", f"MINSLOPE {r.choice([0.0, 0.001, 0.005])}",
             f"JUNCTIONK {r.uniform(0, 1.5)}", "NODE OUT outfall 0 0 100 106 - - 3"]
    if r.random() < 0.5:
        lines.append(f"TAILWATER {r.uniform(99, 104)}")
    if r.random() < 0.3:
        lines.append(f"INTENSITY {r.uniform(1, 6)}")
    inverts = {"OUT": 100.0}
    for i in range(r.randint(1, 60)):
        down = r.choice(list(inverts))
        invert = inverts[down] + r.choice([0.0, 0.2, 1.0, 4.0, -0.3])
        kind = r.choice(["inlet", "JUNCTION", "Inlet"])
        tc = f" {r.uniform(1, 20)}" if r.random() < 0.4 else ""
        lines.append(f"NODE N{i} {kind} {r.uniform(-500, 500)} {r.uniform(-500, 500)} {invert} "
                     f"{invert + r.uniform(1, 8)} {r.uniform(0, 4)} {r.uniform(0.1, 1.0)}{tc}")
        lines.append(f"PIPE P{i} N{i} {down} {r.uniform(10, 400)} "
                     f"{r.choice([0.5, 1.0, 1.5, 2.5])} {r.choice([0.011, 0.013, 0.024])}")
        inverts[f"N{i}"] = invert
    return "\n".join(lines) + "\n"


# The relief-line example splits at J1, which every analysis of it notes.
@pytest.mark.filterwarnings("ignore:structure J1 has 2 pipes leaving it:rillway.InputWarning")
@pytest.mark.parametrize("text", [path.read_text() for path in sorted(EXAMPLES.glob("*.rwn"))]
                         + [random_rwn(seed) for seed in range(40)])
def test_rwn_to_project_analyses_to_the_same_bits(text):
    converted = rillway.rwn_to_project(text)
    assert same(rillway.analyze_project(converted), {**rillway.analyze_rwn(text), "name": ""})
    # The project reads back as the same network (names aside).
    assert rillway.read_project(converted)["pipes"] == rillway.read_rwn(text)["pipes"]


@pytest.mark.parametrize("line, message", [
    ("NODE A inlet 0 0 100 105 1 0.5 0", "node 'A': inlet time 0"),
    ("NODE A inlet 0 0 100 105 nan 0.5", "node 'A': area nan"),
    ("PIPE P A O inf 1 0.013", "pipe 'P': a value inf"),
])
def test_values_a_document_cannot_hold_are_refused(line, message):
    text = "NODE O outfall 0 0 99 104\nNODE A inlet 10 0 100 105 1 0.5\n" + line + "\n"
    if line.startswith("NODE A"):
        text = "NODE O outfall 0 0 99 104\n" + line + "\nPIPE P A O 10 1 0.013\n"
    with pytest.raises(ValueError, match="^cannot convert .rwn: " + message):
        rillway.rwn_to_project(text)


@pytest.mark.parametrize("changes, method", [
    ({}, "standard"), ({"hec22_structure_loss": True}, "hec22"),
    ({"loss_method": "fhwa_energy"}, "fhwa_energy")])
def test_the_loss_method_in_use_is_read_and_written_to_rwn(tmp_path, changes, method):
    from rillway_tools import read_network, write_network
    text = project(**changes)
    assert rillway.read_project(text)["settings"]["loss_method"] == method
    write_network(json.loads(text), tmp_path / "net.rwn")
    again = rillway.rwn_to_project((tmp_path / "net.rwn").read_text())
    assert rillway.read_project(again)["settings"]["loss_method"] == method
    assert same(rillway.analyze_project(again)["nodes"], rillway.analyze_project(text)["nodes"])


def test_check_project_warns_as_read_project_and_returns_nothing():
    document = json.loads(project())
    document["nodes"][0]["kind"] = "manhole"
    text = json.dumps(document)
    with pytest.warns(rillway.InputWarning) as read:
        rillway.read_project(text)
    with pytest.warns(rillway.InputWarning) as checked:
        assert rillway.check_project(text) is None
    assert [str(w.message) for w in checked] == [str(w.message) for w in read]
