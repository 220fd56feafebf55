"""Design mode on the street: inlet lengths from the catalog, checked by analysing the designed
document and the document one catalog step shorter, never by restating the sizing."""
import json
from pathlib import Path

import pytest

import rillway
from rillway_tools.design_tables import render_design

EXAMPLE = Path(__file__).resolve().parent.parent / "examples" / "elm-street.rwproj"
CATALOG = [3, 5, 10, 15, 20, 25, 30]


def elm():
    return json.loads(EXAMPLE.read_text())


def design(document):
    return rillway.design_project(json.dumps(document))


def exceeded(document):
    return [r["id"] for r in rillway.analyze_project(json.dumps(document))["inlets"]
            if r["spread_exceeded"]]


def one_step_shorter(inlet):
    """The inlet record one catalog step shorter; None at the shortest."""
    shorter = dict(inlet)
    if inlet["type"] in ("grate", "combination"):
        if inlet.get("grates", 1) == 1:
            return None
        shorter["grates"] = inlet["grates"] - 1
        if "curb_length_ft" in inlet:
            shorter["curb_length_ft"] = inlet["curb_length_ft"] - inlet["length_ft"]
        return shorter
    index = CATALOG.index(inlet["length_ft"])
    if index == 0:
        return None
    shorter["length_ft"] = CATALOG[index - 1]
    return shorter


@pytest.mark.parametrize("spread_allow", [9.0, 10.0, 14.0])
def test_each_inlet_is_the_shortest_that_keeps_every_spread(spread_allow):
    document = elm()
    document["roadway"]["spread_allow_ft"] = spread_allow
    designed = design(document)
    written = json.loads(designed["project"])
    assert designed["result"] == rillway.analyze_project(designed["project"])
    assert exceeded(written) == [line.split()[1].rstrip(":") for line in designed["unmet"]
                                 if line.startswith("inlet ")]
    for index, record in enumerate(designed["inlets"]):
        node = written["nodes"][index]
        inlet = node["inlet"]
        assert record["id"] == node["id"]
        grates = inlet.get("grates", 1)
        assert record["length"] == pytest.approx(inlet["length_ft"] * grates)
        shorter = one_step_shorter(inlet)
        if record["governing"] == "min_length":
            assert shorter is None
        elif record["governing"] == "spread" and shorter is not None:
            # One step shorter, some spread this inlet answers for would be too wide.
            trial = json.loads(designed["project"])
            trial["nodes"][index]["inlet"] = shorter
            assert set(exceeded(trial)) - set(exceeded(written))


def test_a_street_no_length_can_mend_is_reported_not_hidden():
    document = elm()
    for node in document["nodes"][:4]:
        node["area_ac"] *= 6
    designed = design(document)
    by_id = {r["id"]: r for r in designed["inlets"]}
    # E1's spread comes from its own runoff: no inlet length changes it.
    assert by_id["E1"]["met"] is False
    assert any(line.startswith("inlet E1: spread: the spread of ") for line in designed["unmet"])
    held = [r for r in designed["inlets"] if r["governing"] == "max_length"]
    assert held and all(not r["met"] for r in held)
    assert all(r["length"] == 30.0 or r["grates"] * 3.0 > 27.0 for r in held)
    assert "! E1 " in render_design(designed)


def test_locked_inlets_keep_their_length_and_a_designed_street_designs_alike():
    document = elm()
    document["nodes"][1]["inlet"]["lock"] = True
    designed = design(document)
    e2 = designed["inlets"][1]
    assert (e2["governing"], e2["length"], e2["grates"]) == ("locked", 3.0, 1)
    again = rillway.design_project(designed["project"])
    assert [(r["length"], r["grates"]) for r in again["inlets"]] == \
        [(r["length"], r["grates"]) for r in designed["inlets"]]
    assert json.loads(again["project"])["nodes"][1]["inlet"]["lock"] is True


def test_a_custom_catalog_in_metres_and_rows_of_grates():
    document = elm()
    document["design"] = {"inlet_lengths_ft": [4.0, 8.0]}
    designed = design(document)
    curbs = [r for r in designed["inlets"] if r["id"] in ("E1", "S4")]
    assert {r["length"] for r in curbs} <= {4.0, 8.0}
    # A row of two 3-ft grates is a 6-ft grate to the equations.
    two = elm()
    two["nodes"][1]["inlet"]["grates"] = 2
    six = elm()
    six["nodes"][1]["inlet"]["length_ft"] = 6.0
    assert rillway.analyze_project(json.dumps(two))["inlets"] == \
        rillway.analyze_project(json.dumps(six))["inlets"]


@pytest.mark.parametrize("change, message", [
    (("design", {"inlet_lengths_ft": [3.0, -5.0]}),
     "invalid design rules: inlet_lengths_ft must be a list of finite lengths > 0, got -5"),
    (("design", {"inlet_lengths_ft": []}),
     "invalid design rules: inlet_lengths_ft must list at least one length"),
    ((1, {"grates": 0}), "design failed: node 'E2': inlet `grates` must be 1 or more"),
    ((0, {"grates": 2}),
     "design failed: node 'E1': inlet `grates` must be 1 for a curb opening or slot (one length)"),
])
def test_bad_catalogs_and_grate_counts_are_refused(change, message):
    document = elm()
    where, value = change
    if where == "design":
        document["design"] = value
    else:
        document["nodes"][where]["inlet"].update(value)
    with pytest.raises(ValueError) as caught:
        design(document)
    assert str(caught.value).startswith(message)
