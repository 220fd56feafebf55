"""Open channels and multi-barrel pipes through whole analyses, checked against the textbook
closed forms of the trapezoid and against `fluids`' Manning velocity."""
import json
import math
import warnings

import pytest

import rillway

fluids = pytest.importorskip("fluids")

G = 32.2
K_US = 1.486  # fluids.V_Manning is the SI form, V = R^(2/3) S^(1/2) / n


def one_pipe(pipe, area_ac=4.0, tailwater=None):
    """An inlet draining through one pipe (or channel) 200 ft long at S = 0.005."""
    base = {"id": "P", "from": "A", "to": "O", "length": 200.0, "diameter": 1.5, "n": 0.03}
    return {
        "name": "One", "idf_a": 60.0, "idf_b": 10.0, "idf_c": 0.8, "min_tc": 10.0,
        "junction_k": 0.5, "tailwater": tailwater,
        "nodes": [
            {"id": "A", "kind": "inlet", "x": 0, "y": 0, "invert": 101.0, "rim": 106.0,
             "area_ac": area_ac, "c": 0.7, "tc_inlet": 10.0},
            {"id": "O", "kind": "outfall", "x": 200, "y": 0, "invert": 100.0, "rim": 105.0,
             "area_ac": 0, "c": 0, "tc_inlet": 0},
        ],
        "pipes": [{**base, **pipe}],
    }


def analyze(document):
    return rillway.analyze_project(json.dumps(document))


def trapezoid(y, bottom, left, right):
    """A, P, T of a trapezoid at depth y, by the textbook formulas."""
    area = y * bottom + y * y * (left + right) / 2
    perimeter = bottom + y * (math.hypot(1, left) + math.hypot(1, right))
    return area, perimeter, bottom + y * (left + right)


def manning_q(y, bottom, left, right, n, slope):
    area, perimeter, _ = trapezoid(y, bottom, left, right)
    return K_US * area * fluids.V_Manning(area / perimeter, slope, n)


CHANNELS = [  # the pipe keys, then bottom width and the two bank slopes of the same channel
    ({"shape": "trapezoid", "rise_ft": 2.0, "span_ft": 3.0, "side_slope": 2.0}, 3.0, 2.0, 2.0),
    ({"shape": "trapezoid", "rise_ft": 1.5, "span_ft": 2.0, "side_slope": [1.0, 4.0]}, 2.0, 1.0, 4.0),
    ({"shape": "rect_open", "rise_ft": 1.5, "span_ft": 4.0}, 4.0, 0.0, 0.0),
    ({"shape": "triangle", "rise_ft": 2.0, "side_slope": 3.0}, 0.0, 3.0, 3.0),
]


@pytest.mark.parametrize("pipe, bottom, left, right", CHANNELS)
def test_open_channel_hydraulics_match_the_closed_forms(pipe, bottom, left, right):
    row = analyze(one_pipe(pipe))["pipes"][0]
    rise, slope, q = pipe["rise_ft"], row["slope"], row["design_q"]
    # Capacity: bank-full Manning flow (the wetted perimeter has no lid).
    assert row["capacity"] == pytest.approx(manning_q(rise, bottom, left, right, 0.03, slope),
                                            rel=1e-12)
    assert row["pct_full"] < 1 and not row["surcharged"]
    y_n, y_c = row["normal_depth"], row["critical_depth"]
    assert manning_q(y_n, bottom, left, right, 0.03, slope) == pytest.approx(q, rel=1e-6)
    area, _, top = trapezoid(y_n, bottom, left, right)
    assert row["velocity"] == pytest.approx(q / area, rel=1e-12)
    area_c, _, top_c = trapezoid(y_c, bottom, left, right)
    assert q * q * top_c / (G * area_c**3) == pytest.approx(1.0, rel=1e-5)  # Froude 1


def test_a_flow_above_the_banks_surcharges_and_the_grade_line_leaves_them():
    channel = {"shape": "trapezoid", "rise_ft": 1.0, "span_ft": 1.0, "side_slope": 2.0}
    result = analyze(one_pipe(channel, area_ac=20.0))
    row = result["pipes"][0]
    assert row["surcharged"] and row["pct_full"] > 1 and row["normal_depth"] is None
    # Full flow: the bank-full area and perimeter, the friction slope (Q / K_full)^2.
    area, perimeter, _ = trapezoid(1.0, 1.0, 2.0, 2.0)
    conveyance = K_US / 0.03 * area * (area / perimeter) ** (2 / 3)
    friction = 200.0 * (row["design_q"] / conveyance) ** 2
    assert row["velocity"] == pytest.approx(row["design_q"] / area, rel=1e-12)
    # The pressure line starts at the banks at the outlet, as a full pipe's at its crown.
    assert row["hgl_dn"] == 100.0
    velocity_head = row["velocity"] ** 2 / 64.4
    assert row["hgl_up"] == pytest.approx(101.0 + friction + 0.5 * velocity_head, rel=1e-12)
    assert row["hgl_up"] > 101.0 + 1.0


def test_two_barrels_carry_twice_one_at_the_same_depth():
    one = analyze(one_pipe({"diameter": 2.0, "n": 0.013}, area_ac=4.0, tailwater=101.5))
    two = analyze(one_pipe({"diameter": 2.0, "n": 0.013, "barrels": 2}, area_ac=8.0,
                           tailwater=101.5))
    a, b = one["pipes"][0], two["pipes"][0]
    assert b["design_q"] == 2 * a["design_q"] and b["capacity"] == 2 * a["capacity"]
    for key in ("normal_depth", "critical_depth", "velocity", "pct_full", "travel_time",
                "hgl_up", "hgl_dn"):
        assert b[key] == a[key], key
    assert two["nodes"] == one["nodes"]


def test_design_sizes_one_barrel_and_keeps_the_count():
    def designed(barrels, area):
        document = one_pipe({"diameter": 1.0, "n": 0.013, "barrels": barrels}, area_ac=area)
        document["nodes"][0]["rim"] = 110.0
        return rillway.design_project(json.dumps(document))

    single, twin = designed(1, 6.0), designed(2, 12.0)
    assert twin["pipes"][0]["diameter"] == single["pipes"][0]["diameter"]
    assert json.loads(twin["project"])["pipes"][0]["barrels"] == 2
    assert twin["result"]["pipes"][0]["capacity"] == pytest.approx(
        2 * single["result"]["pipes"][0]["capacity"], rel=1e-12)


def test_the_network_view_and_the_written_project_carry_channels_and_barrels():
    document = one_pipe({"shape": "trapezoid", "rise_ft": 2.0, "span_ft": 3.0,
                         "side_slope": [1.0, 2.5], "barrels": 3})
    pipe = rillway.read_project(json.dumps(document))["pipes"][0]
    assert (pipe["shape"], pipe["rise"], pipe["span"]) == ("trapezoid", 2.0, 3.0)
    assert pipe["side_slope"] == (1.0, 2.5) and pipe["barrels"] == 3
    assert rillway.read_project(json.dumps(one_pipe({})))["pipes"][0]["side_slope"] is None
    written = json.loads(rillway.design_project(json.dumps(document))["project"])["pipes"][0]
    assert written["side_slope"] == [1.0, 2.5] and written["barrels"] == 3
    plain = json.loads(rillway.design_project(json.dumps(one_pipe({})))["project"])["pipes"][0]
    assert "side_slope" not in plain and "barrels" not in plain


@pytest.mark.parametrize("pipe, message", [
    ({"barrels": 0}, "pipe 'P' has no barrels (barrels must be 1 or more)"),
    ({"barrels": -1}, "invalid value: integer `-1`, expected u32"),
    ({"barrels": 1.5}, "invalid type: floating point `1.5`, expected u32"),
    ({"shape": "triangle", "rise_ft": 1.0, "side_slope": -2.0}, "negative or not-a-number size"),
    ({"shape": "trapezoid", "rise_ft": 1.0, "span_ft": 1, "side_slope": [1.0]},
     "invalid length 1, expected a tuple of size 2"),
    ({"shape": "trapezoid", "rise_ft": 1.0, "span_ft": 1, "side_slope": "2:1"},
     'invalid type: string "2:1", expected a number or [left, right]'),
])
def test_bad_barrels_and_banks_are_refused(pipe, message):
    with pytest.raises(ValueError, match=message.replace("(", r"\(").replace(")", r"\)")
                       .replace("[", r"\[").replace("]", r"\]")):
        analyze(one_pipe(pipe))


def test_a_trapezoid_without_banks_is_read_with_a_warning():
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        analyze(one_pipe({"shape": "trapezoid", "rise_ft": 1.0, "span_ft": 2.0}))
    assert [str(w.message) for w in caught if w.category is rillway.InputWarning] == [
        "pipe 'P': no side_slope, the banks read as vertical"]


@pytest.mark.parametrize("pipe, message", [
    ({"shape": "rect_open", "span_ft": 2.0}, "is rect_open with rise_ft 0 and span_ft 2: both"),
    ({"shape": "triangle", "side_slope": 2.0}, "is triangle with rise_ft 0: it must be above 0"),
    ({"shape": "triangle", "rise_ft": 1.0}, "and no side_slope: a triangle needs its banks"),
    ({"shape": "trapezoid", "rise_ft": 1.0}, "and no side_slope: a channel needs a bottom or"),
    ({"shape": "trapezoid", "rise_ft": 1.0, "span_ft": -1.0, "side_slope": 2.0},
     "the bottom width 0 or more"),
])
def test_channels_missing_a_dimension_are_refused(pipe, message):
    with pytest.raises(ValueError, match=message):
        analyze(one_pipe(pipe))
