"""The FHWA access-hole energy method: the calculator against the manual's worked example, the
choice of method in both formats, and the energy grade line in the results and the plot."""
import json
import math
from pathlib import Path

import matplotlib
import pytest

matplotlib.use("Agg")  # before pyplot: no display in tests

import matplotlib.pyplot as plt  # noqa: E402

import rillway  # noqa: E402
from rillway_tools import plot_profile  # noqa: E402

EXAMPLES = Path(__file__).resolve().parent.parent / "examples"
TWO_G = 64.4


# --- HEC-22 (4th ed. 2024) Example 9.2, structures 40 to 43 ---------------------------------------

@pytest.mark.parametrize("e_i, q, d, v, supercritical, printed", [
    # Structure 40: supercritical outlet, E_i 1.35 ft: DI 0.269, E_ais 0.11, E_aiu 1.00, E_a 1.35.
    (1.35, 3.3, 1.5, 0.0, True, {"di": 0.269, "e_ais": 0.11, "e_aiu": 1.00, "e_a": 1.35}),
    # Structure 41: E_aiu 1.33, E_a = E_i = 1.78. The manual's E_a equals E_i, which only an
    # inapplicable outlet control gives (the full-pipe velocity alone, 2.89 ft/s, would add
    # 0.2 V^2/2g = 0.026 ft): its outlet flows supercritical, as at structure 40.
    (1.78, 5.1, 1.5, 0.0, True, {"e_aiu": 1.33, "e_a": 1.78}),
    # Structure 42: outlet control E_aio = 1.66 + 0.2 (2.6^2) / 64.4 = 1.68.
    (1.66, 6.75, 2.0, 2.6, False, {"e_aio": 1.68}),
])
def test_example_9_2_structures_40_to_42(e_i, q, d, v, supercritical, printed):
    e = rillway.access_hole_energy(e_i, q, d, v, supercritical=supercritical)
    di = q / (math.pi * d * d / 4 * math.sqrt(32.2 * d))
    assert e["e_ais"] == pytest.approx(d * di ** 2, rel=1e-12)
    assert e["e_aiu"] == pytest.approx(1.6 * d * di ** 0.67, rel=1e-12)
    values = dict(e, di=di)
    # Within the manual's printed digits; it carries DI rounded to 0.269, which alone moves
    # E_aiu at structure 40 from 0.995 to 0.996, so a hundredth's half plus 0.001 is allowed.
    for key, value in printed.items():
        assert values[key] == pytest.approx(value, abs=0.0005 if key == "di" else 0.006), key
    assert (e["e_aio"] == 0.0) is supercritical


def test_example_9_2_structure_43_plunging_inflow():
    # 6.75 cfs leaves a 2 ft pipe at 2.15 ft/s with E_i 2.35 ft; the whole flow plunges from an
    # inflow invert 12.86 ft above the outlet invert onto a flat floor.
    e = rillway.access_hole_energy(2.35, 6.75, 2.0, 2.15, benching="flat",
                                   inflows=[{"q": 6.75, "angle_deg": 180, "invert_height": 12.86}])
    e_ai = 2.35 + 0.2 * 2.15 ** 2 / TWO_G
    c_p = (12.86 - e_ai) / 2.0
    assert round(e["e_ai"], 2) == 2.36 and round(e["c_p"], 2) == 5.25
    assert e["e_ai"] == pytest.approx(e_ai, rel=1e-12)
    assert e["c_b"] == -0.05 and e["c_theta"] == 0.0
    # The manual rounds E_ai to 2.36 before the adjustment and prints H_a 0.05, E_a 2.41; the
    # calculator does not round, so H_a = 0.0144 (-0.05 + 5.248) = 0.075 and E_a = 2.44.
    assert e["h_a"] == pytest.approx((e_ai - 2.35) * (-0.05 + c_p), rel=1e-12)
    assert (round(e["h_a"], 3), round(e["e_a"], 2)) == (0.075, 2.44)


def test_benching_and_right_angle_inflow_through_the_calculator():
    # E_ai = E_aio = 2.5 + 0.2 * 16 / 64.4 with D_o = 1.42 ft: E_ai/D_o = 1.7869, so a half
    # bench is interpolated between -0.85 (1.0) and -0.05 (2.5).
    e_ai = 2.5 + 0.2 * 16 / TWO_G
    e = rillway.access_hole_energy(2.5, 5.0, 1.42, 4.0, benching="half",
                                   inflows=[{"q": 2.5, "angle_deg": 90, "invert_height": 0.0}])
    assert e["c_b"] == pytest.approx(-0.85 + (e_ai / 1.42 - 1.0) / 1.5 * 0.8, rel=1e-12)
    assert e["c_theta"] == pytest.approx(4.5 * 0.5 * math.cos(math.radians(45)), rel=1e-12)
    assert list(e) == ["e_ai", "e_aio", "e_ais", "e_aiu", "c_b", "c_theta", "c_p", "h_a", "e_a"]


@pytest.mark.parametrize("kwargs, error, message", [
    ({"benching": "sloped"}, ValueError, "benching must be"),
    ({"inflows": [{"q": 1.0, "angle_deg": 90}]}, ValueError, "inflows[0] lacks the key 'invert_height'"),
    ({"inflows": [{"q": 1.0, "angle": 90, "invert_height": 0}]}, ValueError, "unknown key 'angle'"),
    ({"inflows": [{"q": 1.0, "angle_deg": 200, "invert_height": 0}]}, ValueError, "between 0 and 180"),
    ({"inflows": [{"q": "1", "angle_deg": 90, "invert_height": 0}]}, TypeError, "inflows[0]['q']"),
    ({"inflows": [(1.0, 90, 0)]}, TypeError, "inflows[0] must be a dict"),
    ({"inflows": 3}, TypeError, "inflows must be a sequence"),
    ({"d_out": 0.0}, ValueError, "d_out must be positive"),
    ({"e_i": math.nan}, ValueError, "e_i must be finite"),
])
def test_calculator_refuses_bad_arguments(kwargs, error, message):
    args = {"e_i": 1.0, "q_out": 3.0, "d_out": 1.5, "v_out": 2.0}
    positional = {key: kwargs.pop(key) if key in kwargs else value for key, value in args.items()}
    with pytest.raises(error) as caught:
        rillway.access_hole_energy(*positional.values(), **kwargs)
    assert message in str(caught.value)


# --- choosing the method ------------------------------------------------------------------------

def demo_with(**keys):
    document = json.loads(rillway.demo_project_json())
    document.update(keys)
    return json.dumps(document)


def test_the_explicit_old_methods_analyse_as_the_flag_does():
    """A stored project without the key analyses exactly as the key naming its method says."""
    school = json.loads((EXAMPLES / "school-lane.rwproj").read_text())
    for document in (json.loads(rillway.demo_project_json()), school):
        for flag, word in ((False, "standard"), (True, "hec22")):
            without = json.dumps(dict(document, hec22_structure_loss=flag))
            given = json.dumps(dict(document, hec22_structure_loss=flag, loss_method=word))
            alone = json.dumps({k: v for k, v in json.loads(given).items()
                                if k != "hec22_structure_loss"})
            expected = rillway.analyze_project(without)
            assert rillway.analyze_project(given) == expected
            assert rillway.analyze_project(alone) == expected


@pytest.mark.parametrize("keys, message", [
    ({"loss_method": "fhwa_energy", "hec22_structure_loss": True},
     "`loss_method` contradicts `hec22_structure_loss`"),
    ({"loss_method": "hec22", "hec22_structure_loss": False},
     "`loss_method` contradicts `hec22_structure_loss`"),
    ({"loss_method": "energy"}, "unknown variant `energy`, expected `standard`, `hec22` or `fhwa_energy`"),
])
def test_project_refuses_contradicting_or_unknown_methods(keys, message):
    with pytest.raises(ValueError, match="^invalid project JSON: ") as caught:
        rillway.analyze_project(demo_with(**keys))
    assert message in str(caught.value)


def test_unknown_benching_word_names_the_node():
    document = json.loads(demo_with(loss_method="fhwa_energy"))
    document["nodes"][1]["benching"] = "terraced"
    with pytest.raises(ValueError, match="unknown variant `terraced`, expected `flat`") as caught:
        rillway.analyze_project(json.dumps(document))
    assert "line" in str(caught.value)


RWN = ("NODE A inlet 0 0 103 110 1.2 0.8\nNODE B inlet 200 0 102 109 0.8 0.8\n"
       "NODE O outfall 400 0 100.5 105\nPIPE P1 A B 200 1.5 0.013\nPIPE P2 B O 200 1.5 0.013\n")


def test_rwn_keyword_selects_the_method_and_survives_conversion():
    energy = rillway.analyze_rwn(RWN + "LOSSMETHOD fhwa_energy\n")
    assert "egl" in energy["nodes"][0] and "egl_up" not in rillway.analyze_rwn(RWN)["pipes"][0]
    assert rillway.analyze_rwn(RWN + "lossmethod STANDARD\n") == rillway.analyze_rwn(RWN)
    project = rillway.rwn_to_project(RWN + "LOSSMETHOD fhwa_energy\n")
    assert json.loads(project)["loss_method"] == "fhwa_energy"
    assert rillway.analyze_project(project)["nodes"] == energy["nodes"]
    with pytest.raises(ValueError, match="line 6: unknown loss method `darcy`"):
        rillway.analyze_rwn(RWN + "LOSSMETHOD darcy\n")


# --- the energy grade line in the results -------------------------------------------------------

def test_energy_keys_follow_todays_keys_and_energy_falls_downstream():
    standard = rillway.analyze_project(rillway.demo_project_json())
    energy = rillway.analyze_project(demo_with(loss_method="fhwa_energy"))
    nodes = {row["id"]: row for row in energy["nodes"]}
    for old, new in zip(standard["pipes"], energy["pipes"]):
        assert list(new) == [*old, "egl_up", "egl_dn"]
        assert new["design_q"] == old["design_q"]
        assert nodes[new["from"]]["egl"] >= new["egl_up"] >= new["egl_dn"] >= nodes[new["to"]]["egl"]
        assert new["egl_dn"] > new["hgl_dn"]
    for old, new in zip(standard["nodes"], energy["nodes"]):
        assert list(new) == [*old, "egl"]
        assert new["hgl"] == new["egl"]  # still water in the structure


def test_profile_plot_draws_the_energy_line_only_when_there_is_one():
    for keys, expected in (({}, False), ({"loss_method": "fhwa_energy"}, True)):
        text = demo_with(**keys)
        ax = plot_profile(text, rillway.analyze_project(text), "N1")
        labels = [line.get_label() for line in ax.get_lines()]
        assert ("energy grade line" in labels) is expected
        plt.close("all")


def test_tables_show_the_energy_line_beside_the_grade_line():
    from rillway_tools import render
    doc = json.loads(rillway.demo_project_json())
    plain = render(rillway.analyze_project(json.dumps(doc)), "csv", "nodes")
    doc["loss_method"] = "fhwa_energy"
    result = rillway.analyze_project(json.dumps(doc))
    header, *rows = render(result, "csv", "nodes").splitlines()
    assert "egl" not in plain and header.split(",")[3:5] == ["hgl", "egl"]
    assert [float(r.split(",")[4]) for r in rows] == [n["egl"] for n in result["nodes"]]
    assert "EGL up" in render(result, "table", "pipes")


# --- HEC-22's worked example through the network ------------------------------------------------

# HEC-22 3rd ed. (2009) Example 7-3 part 2, the 4th edition's Examples 9.1 and 9.2: per structure
# the EGL by the manual's steps carried out without its rounding, and as printed (the manual
# rounds E_ai at 43 and reads depths and velocities at 41 and 40 from charts).
EXAMPLE_EGL = {"43": (333.7097, 333.68), "42": (345.7994, 345.81), "41": (355.8249, 355.85),
               "40": (366.8818, 366.85)}


def test_hec22_example_through_the_network():
    result = rillway.analyze_file(str(EXAMPLES / "hec22-energy.rwproj"))
    nodes = {node["id"]: node for node in result["nodes"]}
    for node_id, (unrounded, printed) in EXAMPLE_EGL.items():
        assert nodes[node_id]["egl"] == pytest.approx(unrounded, abs=0.001), node_id
        assert nodes[node_id]["egl"] == pytest.approx(printed, abs=0.04), node_id
    pipes = {pipe["id"]: pipe for pipe in result["pipes"]}
    # EGL_o and EGL_i to the manual's rounding: 43-44 starts a velocity head above the pool, and
    # 42-43 falls into 43 and so leaves at its normal depth, with E_i 1.650 at 42.
    ends = [round(pipes[pipe][key], 2)
            for pipe in ("43-44", "42-43") for key in ("egl_dn", "egl_up")]
    assert ends == [333.57, 333.62, 345.71, 345.72]
    assert round(pipes["42-43"]["egl_up"] - 344.07, 3) == 1.650
    # The jet of 40-41 is drowned at its face by 41 (case F); the manual prints 355.80 from its
    # own 355.85 at 41.
    assert pipes["40-41"]["hgl_dn"] == pytest.approx(355.80, abs=0.04)


def segment_area(d, y):
    theta = 2.0 * math.acos(1.0 - 2.0 * min(y, d) / d)
    return d * d / 8.0 * (theta - math.sin(theta))


@pytest.mark.parametrize("fall, tailwater", [
    (0.4, None),    # no pool: (y_c + D) / 2 above the outlet invert
    (0.4, 100.3),   # a pool below that
    (0.4, 101.35),  # a pool between it and the crown
    (0.4, 102.0),   # above the crown: the tailwater, the full pipe's velocity head above it
    (6.0, 100.3),   # a steep pipe keeps its jet at normal depth into a low pool
])
def test_outfall_pipe_starts_at_the_pool_or_midway_from_critical_depth_to_crown(fall, tailwater):
    # HEC-22 3rd ed. section 7.1.5: the water at a free outlet stands at (d_c + D) / 2 at least.
    text = (f"NODE A inlet 0 0 {100 + fall} 112 0.3 0.9\nNODE O outfall 200 0 100 108\n"
            "PIPE P A O 200 1.5 0.013\nLOSSMETHOD fhwa_energy\n")
    if tailwater is not None:
        text += f"TAILWATER {tailwater}\n"
    pipe = rillway.analyze_rwn(text)["pipes"][0]
    if fall > 1.0:
        expected = 100.0 + pipe["normal_depth"]
    else:
        expected = max(tailwater or 100.0, 100.0 + (pipe["critical_depth"] + 1.5) / 2.0)
    velocity = pipe["design_q"] / segment_area(1.5, expected - 100.0)
    assert pipe["hgl_dn"] == pytest.approx(expected, abs=1e-6)
    assert pipe["egl_dn"] == pytest.approx(expected + velocity ** 2 / TWO_G, abs=1e-6)
