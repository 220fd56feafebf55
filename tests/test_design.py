"""Design mode: pipes sized from the catalog and inverts laid by the rules, checked against
HEC-22's closed form D = (Q n / (0.463 S^0.5))^(3/8) (US units), against rules recomputed here
from the designed document, and against a fresh analysis of that document."""
import json
import math
import random
import re
import subprocess
import sys
from pathlib import Path

import pytest

import rillway
from conftest import same

CATALOG_IN = [12, 15, 18, 21, 24, 27, 30, 33, 36, 42, 48, 54, 60, 66, 72, 78, 84, 90, 96, 102, 108]
N = 0.013


def hec22_diameter(q, n, s):
    """The smallest round pipe carrying q just full (HEC-22 4th ed., ch. 9), ft."""
    return (q * n / (0.463 * math.sqrt(s))) ** 0.375


def node(id, kind, x, rim, invert=None, area=0.0, c=0.0):
    return {"id": id, "kind": kind, "x": x, "y": 0.0, "invert": rim - 10 if invert is None else invert,
            "rim": rim, "area_ac": area, "c": c, "tc_inlet": 10.0}


def pipe(id, a, b, length, **extra):
    return {"id": id, "from": a, "to": b, "length": length, "diameter": 1.0, "n": N, **extra}


def project(nodes, pipes, intensity=None, **extra):
    """A project; with `intensity` the IDF curve is flat (c = 0), so Q = C A i exactly."""
    doc = {"name": "t", "idf_a": intensity or 120.0, "idf_b": 10.0,
           "idf_c": 0.0 if intensity else 0.8, "tailwater": None, "min_tc": 10.0,
           "junction_k": 0.5, "nodes": nodes, "pipes": pipes}
    doc.update(extra)
    return json.dumps(doc)


def design(text):
    designed = rillway.design_project(text)
    assert same(rillway.analyze_project(designed["project"]), designed["result"])
    return designed


def record(designed, id):
    return next(p for p in designed["pipes"] if p["id"] == id)


def line_to_outfall(rim_up, slope, q, length=100.0):
    """Inlet A on ground falling at `slope` to junction B, then B to a deep outfall."""
    rim_dn = rim_up - slope * length
    return project([node("A", "inlet", 0, rim_up, area=1.0, c=1.0),
                    node("B", "junction", length, rim_dn),
                    node("O", "outfall", 2 * length, rim_dn - 5, invert=rim_dn - 30)],
                   [pipe("AB", "A", "B", length), pipe("BO", "B", "O", length)], intensity=q)


@pytest.mark.parametrize("q, slope, governing", [
    (17.6, 0.015, "capacity"),  # HEC-22 Example 9.1: 1.69 ft, so 21 in
    (3.3, 0.03, "min_size"),    # needs 0.80 ft, gets the 18-in minimum
])
def test_size_is_the_smallest_catalog_pipe_at_the_ground_slope(q, slope, governing):
    needed = hec22_diameter(q, N, slope)
    expected = min(d for d in CATALOG_IN if d >= max(needed * 12, 18)) / 12
    designed = design(line_to_outfall(370.0, slope, q))
    ab = record(designed, "AB")
    assert ab["diameter"] == expected and ab["governing"] == governing
    assert ab["invert_up"] == pytest.approx(370.0 - 3.0 - expected, abs=1e-9)
    assert ab["slope"] == pytest.approx(slope, abs=1e-9)
    # The next size down would not carry Q (for the capacity case; 12 in would for min_size).
    smaller = max(d for d in CATALOG_IN if d < expected * 12) / 12
    assert (rillway.manning_capacity(smaller, N, slope) < q) == (governing == "capacity")
    assert designed["unmet"] == []


def test_hec22_example_numbers():
    assert hec22_diameter(17.6, N, 0.015) == pytest.approx(1.69, abs=0.005)
    assert hec22_diameter(3.3, N, 0.03) == pytest.approx(0.80, abs=0.01)
    designed = design(line_to_outfall(370.0, 0.015, 17.6))
    assert designed["result"]["pipes"][0]["capacity"] == pytest.approx(19.3, rel=0.01)
    designed = design(line_to_outfall(370.0, 0.03, 3.3))
    assert record(designed, "AB")["invert_up"] == 365.50


def junction_of_two(lock=None):
    """Two inlets of different areas into junction J, then J to the outfall."""
    nodes = [node("A1", "inlet", 0, 110.0, area=6.0, c=0.8), node("A2", "inlet", 0, 110.5, area=0.5, c=0.8),
             node("J", "junction", 200, 108.0), node("O", "outfall", 400, 103.0, invert=95.0)]
    pipes = [pipe("P1", "A1", "J", 200), pipe("P2", "A2", "J", 200), pipe("P3", "J", "O", 200)]
    if lock:
        pipes[0].update(lock)
    return project(nodes, pipes)


def test_crowns_matched_and_drop_kept_at_a_junction():
    designed = design(junction_of_two())
    p1, p2, p3 = (record(designed, id) for id in ("P1", "P2", "P3"))
    assert p1["diameter"] > p2["diameter"]
    lowest_crown = min(p["invert_dn"] + p["diameter"] for p in (p1, p2))
    lowest_invert = min(p["invert_dn"] for p in (p1, p2))
    assert p3["invert_up"] + p3["diameter"] <= lowest_crown + 1e-9
    assert p3["invert_up"] <= lowest_invert - 0.1 + 1e-9
    # One of the two binds: the pipe is no deeper than they require.
    assert min(lowest_crown - p3["invert_up"] - p3["diameter"],
               lowest_invert - 0.1 - p3["invert_up"]) < 0.01
    # The structure's invert is the leaving pipe's.
    nodes = {n["id"]: n for n in json.loads(designed["project"])["nodes"]}
    assert nodes["J"]["invert"] == p3["invert_up"] and nodes["O"]["invert"] == 95.0
    assert designed["unmet"] == []


def test_locked_pipe_is_untouched_and_still_counts_downstream():
    designed = design(junction_of_two({"lock": True, "diameter": 3.0, "invert_up": 105.0,
                                       "invert_dn": 104.0}))
    out = {p["id"]: p for p in json.loads(designed["project"])["pipes"]}
    assert (out["P1"]["diameter"], out["P1"]["invert_up"], out["P1"]["invert_dn"], out["P1"]["lock"]) \
        == (3.0, 105.0, 104.0, True)
    assert record(designed, "P1")["governing"] == "locked"
    p3 = record(designed, "P3")
    assert p3["diameter"] == 3.0 and p3["governing"] == "no_decrease"
    assert p3["invert_up"] + 3.0 <= 104.0 + 3.0 and p3["invert_up"] <= 104.0 - 0.1


def test_no_decrease_below_a_larger_pipe():
    # A flat reach needs a large pipe; the steep reach below would carry Q in a smaller one.
    text = project([node("A", "inlet", 0, 100.0, area=20.0, c=0.9), node("B", "junction", 300, 99.4),
                    node("C", "junction", 600, 84.4), node("O", "outfall", 700, 70.0, invert=60.0)],
                   [pipe("AB", "A", "B", 300), pipe("BC", "B", "C", 300), pipe("CO", "C", "O", 100)])
    designed = design(text)
    ab, bc = record(designed, "AB"), record(designed, "BC")
    q = designed["result"]["pipes"][1]["design_q"]
    assert hec22_diameter(q, N, bc["slope"]) < ab["diameter"] - 0.25  # a size smaller would do
    assert bc["diameter"] == ab["diameter"] and bc["governing"] == "no_decrease"


def test_steep_street_gets_a_drop():
    designed = design(line_to_outfall(200.0, 0.15, 12.0))
    ab, result = record(designed, "AB"), designed["result"]["pipes"][0]
    assert result["velocity"] <= 15.0 + 1e-9 and ab["slope"] < 0.15
    assert ab["invert_dn"] == pytest.approx(200.0 - 15.0 - 3.0 - ab["diameter"], abs=1e-9)
    assert ab["invert_up"] < 200.0 - 3.0 - ab["diameter"] - 0.5  # the drop at A
    assert designed["unmet"] == []


def test_flat_site_that_cannot_reach_the_outfall_is_reported():
    nodes = [node(f"N{i}", "inlet", 400 * i, 100.0, area=1.0, c=0.7) for i in range(6)]
    nodes.append(node("O", "outfall", 2400, 99.0, invert=93.0))
    pipes = [pipe(f"P{i}", f"N{i}", f"N{i + 1}" if i < 5 else "O", 400) for i in range(6)]
    designed = design(project(nodes, pipes))
    last = record(designed, "P5")
    assert last["invert_dn"] >= 93.0
    assert any("cover" in line for line in designed["unmet"])
    assert not all(p["met"] for p in designed["pipes"])


def test_grade_line_above_the_freeboard_is_cured_by_enlarging_the_pipe_below():
    # The tailwater backs water up the last pipe; its friction loss lifts the grade line at B.
    text = project([node("A", "inlet", 0, 106.0, area=4.0, c=0.9), node("B", "junction", 400, 104.0),
                    node("O", "outfall", 1400, 103.0, invert=95.0)],
                   [pipe("AB", "A", "B", 400), pipe("BO", "B", "O", 1000)], tailwater=101.5)
    designed = design(text)
    assert record(designed, "BO")["governing"] == "grade_line"
    freeboard = {n["id"]: n["freeboard"] for n in designed["result"]["nodes"]}
    assert freeboard["B"] >= 1.0 and designed["unmet"] == []
    # Without the enlargement the rule would break: the capacity-sized pipe leaves B too high.
    loose = json.loads(text)
    loose["design"] = {"freeboard_ft": 0.0}
    undersized = rillway.design_project(json.dumps(loose))
    assert record(undersized, "BO")["diameter"] < record(designed, "BO")["diameter"]
    b = next(n for n in undersized["result"]["nodes"] if n["id"] == "B")
    assert b["freeboard"] < 1.0


@pytest.mark.parametrize("tailwater, stands", [(104.1, "below"), (104.5, "above")])
def test_size_cannot_lower_a_grade_line_the_tailwater_holds(tailwater, stands):
    # 5.5 cfs from A (rim 105) straight to an outfall whose water stands above 104 ft: the
    # freeboard of 1 ft cannot be had at A whatever the pipe, so the pipe keeps the size the
    # capacity gives, and the report says why (each larger size lowered A by hundredths of a
    # foot, and the pipe used to climb the catalog to 108 in with its cover lost).
    text = project([node("A", "inlet", 0, 105.0, area=1.0, c=1.0),
                    node("OUT", "outfall", 200, 104.0, invert=98.0)],
                   [pipe("AO", "A", "OUT", 200)], intensity=5.5, tailwater=tailwater)
    designed = design(text)
    free = json.loads(text)
    free["tailwater"] = None
    alone = rillway.design_project(json.dumps(free))
    assert record(designed, "AO")["diameter"] == record(alone, "AO")["diameter"] == 1.5
    assert record(designed, "AO")["governing"] != "grade_line"
    freeboard = designed["result"]["nodes"][0]["freeboard"]
    assert designed["unmet"] == [
        f"structure A: grade_line: the grade line stands {abs(freeboard):.2f} ft {stands} the rim, "
        f"{1.0 - freeboard:.2f} ft less than the 1.00 ft freeboard "
        "(grade line held by the tailwater at OUT)"]


def test_freeboard_is_kept_on_the_line_the_analysis_checks():
    # With the FHWA access-hole energy method a structure's water stands at its energy level,
    # here above the grade line the standard losses would give at A: the pipe below A must be
    # enlarged for that level (designed on the standard line, AB stayed 48 in and A kept 0.99 ft).
    designed = design(project([node("A", "inlet", 0, 106.0, area=4.0, c=0.9),
                               node("B", "junction", 400, 104.0), node("O", "outfall", 1400, 103.0, invert=95.0)],
                              [pipe("AB", "A", "B", 400), pipe("BO", "B", "O", 1000)],
                              tailwater=103.0, loss_method="fhwa_energy"))
    a = next(n for n in designed["result"]["nodes"] if n["id"] == "A")
    assert a["freeboard"] >= 1.0 and record(designed, "AB")["governing"] == "grade_line"
    assert not any(line.startswith("structure A") for line in designed["unmet"])


def test_pipe_raised_to_the_outfall_takes_the_size_standing_lowest():
    # The ground at A (rim 100) is too low for the outfall invert at 95: every size laid at the
    # cover line and self-cleansing slope ends below it. Laid up from the outfall invert at the
    # flattest slope that carries 20 cfs (HEC-22's closed form, or the self-cleansing
    # 2.87 n^2 V^2 / D^(4/3)), the crowns at A stand at 95 + S L + D: 98.56 ft for 24 in,
    # 98.08 for 27, 97.98 for 30, 98.20 for 36; the 30-in pipe asks least of the cover.
    length, q = 200.0, 20.0
    designed = design(project([node("A", "inlet", 0, 100.0, area=1.0, c=1.0),
                               node("O", "outfall", length, 99.0, invert=95.0)],
                              [pipe("AO", "A", "O", length)], intensity=q))
    crowns = {d: 95.0 + max((q * N / (0.463 * (d / 12) ** (8 / 3))) ** 2,
                            2.87 * N ** 2 * 9.0 / (d / 12) ** (4 / 3)) * length + d / 12
              for d in CATALOG_IN if d >= 18}
    best = min(crowns, key=crowns.get)
    ao = record(designed, "AO")
    assert (best, ao["diameter"] * 12, ao["governing"], ao["invert_dn"]) == (30, 30, "cover", 95.0)
    assert ao["invert_up"] + ao["diameter"] == pytest.approx(crowns[best], abs=0.011)
    assert designed["unmet"] == ["pipe AO: cover: 2.02 ft at the upstream end (structure A) is "
                                 "0.98 ft less than 3.00 ft"]


def test_si_project_keeps_its_units_and_reanalyses_to_the_result():
    doc = json.loads(rillway.demo_project_json())
    doc["units"] = "si"
    for n in doc["nodes"]:
        n["rim"], n["invert"], n["x"], n["y"] = n["rim"] / 3, n["invert"] / 3, n["x"] / 3, n["y"] / 3
    for p in doc["pipes"]:
        p["length"] /= 3
    designed = design(json.dumps(doc))
    out = json.loads(designed["project"])
    for p, rec in zip(out["pipes"], designed["pipes"]):
        assert round(p["invert_up"], 3) == p["invert_up"]  # a millimetre grid, in metres
        assert p["diameter"] * 3.280839895013123 == pytest.approx(rec["diameter"], rel=1e-15)
        assert round(rec["diameter"] * 12, 9) in CATALOG_IN


@pytest.mark.parametrize("rules, message", [
    ({"min_cover_ft": -1}, "invalid design rules: min_cover_ft must be a finite number >= 0"),
    ({"sizes_in": []}, "invalid design rules: sizes_in must list at least one size"),
    ({"match": "soffits"}, 'invalid design rules: match must be "crowns" or "inverts"'),
    ({"max_pct_full": "full"}, "invalid project JSON: invalid type: string"),
])
def test_bad_rules_are_refused(rules, message):
    doc = json.loads(rillway.demo_project_json())
    doc["design"] = rules
    with pytest.raises(ValueError, match="^" + message.replace("(", r"\(")):
        rillway.design_project(json.dumps(doc))


@pytest.mark.parametrize("record, key, value, message", [
    ("pipes", "n", 0.0, "pipe 'P2': n must be a finite number above zero, got 0"),
    ("pipes", "length", 0.0, "pipe 'P2': length must be a finite number above zero, got 0"),
    ("pipes", "length", -20.0, "pipe 'P2': length must be a finite number above zero, got -20"),
    ("nodes", "rim", 1e308, "node 'N2': rim must be a finite elevation within 1e+07 ft of zero, got 1e+308"),
])
def test_records_design_cannot_lay_are_refused_by_name(record, key, value, message):
    doc = json.loads(rillway.demo_project_json())
    doc[record][1][key] = value
    with pytest.raises(ValueError, match="^design failed: " + re.escape(message) + "$"):
        rillway.design_project(json.dumps(doc))


def test_an_unknown_design_key_is_warned_of_and_kept_as_given():
    doc = json.loads(rillway.demo_project_json())
    doc["design"] = {"min_cover": 6, "freeboard_ft": 1.5, "sizes_in": [18, 24, 36]}
    with pytest.warns(rillway.InputWarning, match="^design: unknown key 'min_cover', ignored$"):
        designed = rillway.design_project(json.dumps(doc))
    assert json.loads(designed["project"])["design"] == doc["design"]
    # The misspelt key changed nothing: the design is the one without it.
    del doc["design"]["min_cover"]
    assert rillway.design_project(json.dumps(doc))["pipes"] == designed["pipes"]


def test_document_without_design_keys_is_written_as_before():
    text = rillway.demo_project_json()
    out = json.loads(rillway.design_project(text)["project"])
    assert "design" not in out and all("lock" not in p for p in out["pipes"])
    doc = json.loads(text)
    doc["design"] = {"min_cover_ft": 4.0}
    out = json.loads(rillway.design_project(json.dumps(doc))["project"])
    assert out["design"] == {"min_cover_ft": 4.0}


def random_network(seed, pipes=300):
    """A random dendritic network on random terrain: every new inlet drains to an earlier
    structure, so the tree grows outwards from one outfall."""
    rng = random.Random(seed)
    nodes = [node("O", "outfall", 0, 100.0, invert=rng.uniform(80.0, 92.0))]
    links, ground = [], {"O": 100.0}
    for i in range(pipes):
        parent = rng.choice(nodes[-40:])
        id = f"N{i}"
        length = rng.uniform(80, 400)
        rim = ground[parent["id"]] + length * rng.choice([0.0, 0.002, 0.01, 0.03, 0.08])
        ground[id] = rim
        nodes.append(node(id, "inlet", length, rim, area=rng.uniform(0.1, 3.0), c=rng.uniform(0.3, 0.9)))
        links.append(pipe(f"P{i}", id, parent["id"], length))
    return project(nodes, links, tailwater=rng.choice([None, 95.0]))


def rule_failures(designed):
    """(name, rule) of every failure recomputed here from the designed document and result."""
    doc = json.loads(designed["project"])
    nodes = {n["id"]: n for n in doc["nodes"]}
    pipes = {p["id"]: p for p in doc["pipes"]}
    results = {r["id"]: r for r in designed["result"]["pipes"]}
    entering = {}
    for p in doc["pipes"]:
        entering.setdefault(p["to"], []).append(p)
    failures = set()
    for id, p in pipes.items():
        r, d = results[id], p["diameter"]
        if r["design_q"] > r["capacity"] * (1 + 1e-9):
            failures.add((id, "capacity"))
        if r["capacity"] / (math.pi * d * d / 4) < 3.0 * (1 - 1e-9):
            failures.add((id, "min_velocity"))
        if r["velocity"] > 15.0 * (1 + 1e-9):
            failures.add((id, "max_velocity"))
        for end, z in ((p["from"], p["invert_up"]), (p["to"], p["invert_dn"])):
            if nodes[end]["kind"] != "outfall" and nodes[end]["rim"] - z - d < 3.0 - 1e-6:
                failures.add((id, "cover"))
        if nodes[p["to"]]["kind"] == "outfall" and p["invert_dn"] < nodes[p["to"]]["invert"] - 1e-6:
            failures.add((id, "outfall"))
        for e in entering.get(p["from"], []):
            if p["invert_up"] + d > e["invert_dn"] + e["diameter"] + 1e-6:
                failures.add((id, "match"))
            if p["invert_up"] > e["invert_dn"] - 0.1 + 1e-6:
                failures.add((id, "min_drop"))
            if d < e["diameter"] - 1e-6:
                failures.add((id, "no_decrease"))
    for n in designed["result"]["nodes"]:
        if nodes[n["id"]]["kind"] != "outfall" and n["freeboard"] < 1.0 - 1e-6:
            failures.add((n["id"], "grade_line"))
    return failures


@pytest.mark.parametrize("seed", range(4))
def test_generated_networks_hold_every_rule_or_report_it(seed):
    designed = design(random_network(seed))
    reported = {(line.split(":")[0].split(" ", 1)[1], line.split(": ")[1]) for line in designed["unmet"]}
    assert rule_failures(designed) == reported
    for rec, r in zip(designed["pipes"], designed["result"]["pipes"]):
        assert round(rec["diameter"] * 12, 9) in CATALOG_IN and rec["diameter"] >= 1.5
        assert rec["met"] == all(name != rec["id"] for name, _ in reported) or not rec["met"]
        if rec["governing"] == "capacity" and rec["diameter"] > 1.5:
            smaller = max(d for d in CATALOG_IN if d < rec["diameter"] * 12) / 12
            assert rillway.manning_capacity(smaller, N, rec["slope"]) < r["design_q"]


def renamed(text, prefix):
    doc = json.loads(text)
    for n in doc["nodes"]:
        n["id"] = prefix + n["id"]
    for p in doc["pipes"]:
        p.update(id=prefix + p["id"], **{"from": prefix + p["from"], "to": prefix + p["to"]})
    return doc


@pytest.mark.parametrize("seeds", [(0, 5), (2, 6)])
def test_separate_trees_are_designed_as_if_alone(seeds):
    # The trees need different numbers of enlarging rounds; designed side by side, each must
    # come out exactly as it does alone.
    alone = [renamed(random_network(seed, 120), f"T{k}.") for k, seed in enumerate(seeds)]
    both = dict(alone[0], nodes=alone[0]["nodes"] + alone[1]["nodes"],
                pipes=alone[0]["pipes"] + alone[1]["pipes"])
    joint = rillway.design_project(json.dumps(both))
    apart = [rillway.design_project(json.dumps(doc)) for doc in alone]
    assert any(p["governing"] == "grade_line" for p in joint["pipes"])
    assert same(joint["pipes"], apart[0]["pipes"] + apart[1]["pipes"])
    assert same(joint["result"]["nodes"], apart[0]["result"]["nodes"] + apart[1]["result"]["nodes"])
    assert sorted(joint["unmet"]) == sorted(apart[0]["unmet"] + apart[1]["unmet"])


def run_cli(*args, stdin=None):
    return subprocess.run([sys.executable, "-m", "rillway_tools", *args], capture_output=True,
                          text=True, input=stdin)


def test_design_command_writes_the_design_and_reports_unmet_rules(tmp_path):
    source = tmp_path / "demo.rwproj"
    source.write_text(rillway.demo_project_json())
    done = run_cli("design", str(source))
    assert done.returncode == 0, done.stderr
    assert "Every rule holds." in done.stdout and "min_size" in done.stdout
    written = json.loads((tmp_path / "demo.designed.rwproj").read_text())
    assert written["pipes"][0]["diameter"] == 1.5

    flat = tmp_path / "flat.rwproj"
    flat.write_text(json.dumps(json.loads(
        project([node("A", "inlet", 0, 100.0, area=1, c=0.5), node("O", "outfall", 3000, 99.9, invert=99.0)],
                [pipe("P", "A", "O", 3000)]))))
    done = run_cli("design", str(flat), "--output", str(tmp_path / "out.rwproj"), "--format", "json")
    assert done.returncode == 1
    assert json.loads(done.stdout)["unmet"] and (tmp_path / "out.rwproj").is_file()

    bad = tmp_path / "bad.rwproj"
    bad.write_text("{")
    done = run_cli("design", str(bad))
    assert done.returncode == 2 and done.stderr.startswith(f"rillway: {bad}: invalid project JSON")
    assert len(done.stderr.strip().splitlines()) == 1


def test_a_rwn_network_is_designed_as_its_project_document(tmp_path):
    text = (Path(__file__).resolve().parent.parent / "examples" / "main-street.rwn").read_text()
    source = tmp_path / "main-street.rwn"
    source.write_text(text)
    done = run_cli("design", str(source), "--format", "json")
    assert done.returncode == 0, done.stderr
    designed = rillway.design_project(rillway.rwn_to_project(text))
    rows = json.loads(done.stdout)["pipes"]
    assert [(r["id"], r["size_in"] / 12, r["governing"]) for r in rows] == \
        [(p["id"], p["diameter"], p["governing"]) for p in designed["pipes"]]
    written = (tmp_path / "main-street.designed.rwproj").read_text()
    assert rillway.analyze_project(written) == designed["result"]


def flat_pair(q, **design):
    """Inlet A and junction B on flat ground (rims 100 ft), a 200-ft pipe, then B to a deep
    outfall; Q = 1 acre x C 1 x q in/hr."""
    extra = {"design": design} if design else {}
    return project([node("A", "inlet", 0, 100.0, area=1.0, c=1.0), node("B", "junction", 200, 100.0),
                    node("O", "outfall", 400, 95.0, invert=80.0)],
                   [pipe("AB", "A", "B", 200.0), pipe("BO", "B", "O", 200.0)], intensity=q, **extra)


@pytest.mark.parametrize("q, design, size_in", [
    (6.0, {}, 18),   # 18 in at 0.0033 carries 6 cfs (3.40 ft/s full), higher at both ends than 21 in
    (8.0, {}, 21),
    (12.0, {}, 27),  # 24 in at its capacity slope ends 0.02 ft below 27 in at self-cleansing
    (2.0, {"min_velocity_fps": 0}, 18),  # no self-cleansing slope: the capacity slope alone
])
def test_flat_ground_gets_the_smallest_pipe_laid_at_its_own_slope(q, design, size_in):
    ab = record(rillway.design_project(flat_pair(q, **design)), "AB")
    assert round(ab["diameter"] * 12) == size_in
    needed = (q * N / (0.463 * ab["diameter"] ** (8 / 3))) ** 2  # HEC-22 closed form, just full
    floor = 2.87 * N * N * design.get("min_velocity_fps", 3.0) ** 2 / ab["diameter"] ** (4 / 3)
    assert max(needed, floor) * (1 - 1e-3) <= ab["slope"] <= max(needed, floor) + 0.01 / 200 + 1e-12


def laid(d, z_top, z_bottom, length, q, rules):
    """The placement of a round pipe of d ft as the design lays a candidate, recomputed here:
    its upper invert at z_top (floored to the 0.01-ft grid), no flatter than max(self-cleansing,
    the HEC-22 just-full slope for q), its lower end no higher than z_bottom."""
    grid = lambda z: math.floor(z * 100 + 1e-9) / 100
    s = max(2.87 * N * N * rules.get("min_velocity_fps", 3.0) ** 2 / d ** (4 / 3),
            (q / rules.get("max_pct_full", 1.0) * N / (0.463 * d ** (8 / 3))) ** 2)
    up = grid(z_top)
    dn = grid(min(up - s * length, z_bottom))
    return up, dn, (up - dn) / length


@pytest.mark.parametrize("seed", range(6))
def test_no_smaller_size_would_have_worked_where_capacity_governs(seed):
    text = random_network(seed, pipes=60)
    designed = rillway.design_project(text)
    doc = json.loads(designed["project"])
    nodes = {n["id"]: n for n in json.loads(text)["nodes"]}
    pipes = {p["id"]: p for p in doc["pipes"]}
    results = {r["id"]: r for r in designed["result"]["pipes"]}
    checked = 0
    for rec in designed["pipes"]:
        if rec["governing"] != "capacity":
            continue
        p, r = pipes[rec["id"]], results[rec["id"]]
        up_node, down_node = nodes[p["from"]], nodes[p["to"]]
        entering = [e for e in doc["pipes"] if e["to"] == p["from"]]
        crown = min([up_node["rim"] - 3.0] + [e["invert_dn"] + e["diameter"] for e in entering])
        smaller = max(d for d in CATALOG_IN if d < round(p["diameter"] * 12)) / 12
        if smaller < max([1.5] + [e["diameter"] for e in entering]):
            continue  # the size below is not allowed: the floor governs where it fails
        top = min([crown - smaller] + [e["invert_dn"] - 0.1 for e in entering])
        bottom = (down_node["invert"] if down_node["kind"] == "outfall"
                  else down_node["rim"] - 3.0 - smaller)
        up, dn, slope = laid(smaller, top, bottom, p["length"], r["design_q"], {})
        depth = rillway.normal_depth(r["design_q"], smaller, N, slope)
        area = (rillway.circular_geometry(smaller, depth)["area"] if depth is not None
                else math.pi * smaller ** 2 / 4)
        breaks = r["design_q"] / area > 15.0
        deeper = up < p["invert_up"] - 1e-9 or dn < p["invert_dn"] - 1e-9
        assert breaks or deeper, (rec["id"], smaller, up, dn, p)
        checked += 1
    assert checked
