"""analyze_rwn end to end: the result dictionary, its export rules and its error messages."""
import math

import pytest

import rillway

PIPE_KEYS = ["id", "from", "to", "slope", "total_ca", "tc", "travel_time", "intensity",
             "design_q", "capacity", "pct_full", "velocity", "normal_depth", "critical_depth",
             "hgl_up", "hgl_dn", "surcharged"]
NODE_KEYS = ["id", "tc", "rim", "hgl", "freeboard", "floods"]


def test_empty_text_and_a_lonely_outfall():
    assert rillway.analyze_rwn("") == {"name": "", "pipes": [], "nodes": []}
    assert rillway.analyze_rwn("# nothing but a comment\n\n") == {"name": "", "pipes": [], "nodes": []}
    result = rillway.analyze_rwn("NODE OUT outfall 0 0 100 106.5\nMINTC 7")
    assert result["pipes"] == []
    assert result["nodes"] == [{"id": "OUT", "tc": 7.0, "rim": 106.5, "hgl": 100.0,
                                "freeboard": 6.5, "floods": False}]


def test_keys_come_in_table_order_and_values_have_their_types():
    result = rillway.analyze_rwn(
        "NODE A inlet 0 0 101 106 1.0 0.7\nNODE O outfall 100 0 100 105\nPIPE P A O 100 1.5 0.013")
    assert list(result) == ["name", "pipes", "nodes"]
    (pipe,) = result["pipes"]
    assert list(pipe) == PIPE_KEYS
    assert all(type(pipe[k]) is float for k in PIPE_KEYS[3:16])
    assert type(pipe["surcharged"]) is bool and pipe["surcharged"] is False
    assert all(list(node) == NODE_KEYS for node in result["nodes"])


def test_pipe_that_cannot_carry_its_flow_has_no_normal_depth():
    result = rillway.analyze_rwn(
        "NODE A inlet 0 0 100.5 106 20 0.9\nNODE O outfall 100 0 100 105\nPIPE P A O 100 1 0.013")
    pipe = result["pipes"][0]
    assert pipe["normal_depth"] is None
    assert isinstance(pipe["critical_depth"], float) and pipe["surcharged"] is True


def test_adverse_pipe_exports_not_surcharged_and_no_upstream_grade_line():
    result = rillway.analyze_rwn(
        "NODE A inlet 0 0 99 106 1.0 0.7\nNODE O outfall 100 0 100 105\nPIPE P A O 100 1.5 0.013")
    pipe = result["pipes"][0]
    assert pipe["slope"] == pytest.approx(-0.01)
    assert pipe["capacity"] == 0.0 and pipe["design_q"] > 0
    assert pipe["surcharged"] is False
    assert pipe["hgl_up"] is None and pipe["hgl_dn"] == 100.0
    assert result["nodes"][0]["hgl"] == 99.0  # nothing else sets it: its own invert


def test_zero_roughness_on_a_positive_slope_exports_surcharged():
    pipe = rillway.analyze_rwn(
        "NODE A inlet 0 0 101 106 1.0 0.7\nNODE O outfall 100 0 100 105\nPIPE P A O 100 1.5 0"
    )["pipes"][0]
    assert pipe["capacity"] == 0.0 and pipe["normal_depth"] is None
    assert pipe["surcharged"] is True


def test_freeboard_is_rim_minus_grade_line_and_outfalls_never_flood():
    node = rillway.analyze_rwn("NODE O outfall 0 0 99 100\nTAILWATER 100.5")["nodes"][0]
    assert node["freeboard"] == -0.5 and node["floods"] is False


@pytest.mark.parametrize("text, message", [
    ("NODE N1 inlet 0 0 100",
     "cannot parse .rwn: line 1: missing value #7 in `NODE N1 inlet 0 0 100`"),
    ("# header\n\nNODE N1", "cannot parse .rwn: line 3: NODE needs a kind"),
    ("NODE A inlet 0 0 101 106 1 0.7\nPIPE P1 N9 A 100 1.5 0.013",
     "analysis failed: pipe references unknown node 'N9'"),
    ("NODE A inlet 0 0 101 106 1 0.7\nPIPE P1 A A 100 1.5 0.013",
     "analysis failed: network contains a cycle"),
    ("NODE A inlet 0 0 101 106 1 0.7\nNODE O outfall 0 0 100 106\nPIPE P1 A O 100 -1.5 0.013",
     "analysis failed: pipe 'P1' has a negative or not-a-number size"),
    ("NODE A inlet 0 0 101 106 1 0.7\nNODE O outfall 0 0 100 106\nPIPE P1 A O 100 nan 0.013",
     "analysis failed: pipe 'P1' has a negative or not-a-number size"),
])
def test_errors_carry_their_prefix(text, message):
    with pytest.raises(ValueError) as caught:
        rillway.analyze_rwn(text)
    assert str(caught.value) == message


def test_text_must_be_a_str():
    with pytest.raises(TypeError) as caught:
        rillway.analyze_rwn(b"NODE O outfall 0 0 100 106")
    assert caught.value.__notes__ == ["while processing 'text'"]
    with pytest.raises(TypeError, match="missing 1 required positional argument: 'text'"):
        rillway.analyze_rwn()


# --- A small network checked by hand -------------------------------------------------------
# Two inlets join at a junction whose outlet pipe is too small, so it runs surcharged.

HAND_NETWORK = """\
IDF 60 10 0.8
NODE A inlet 0 0 105 111 2.0 0.8
NODE B inlet 0 200 105.5 111 1.0 0.6 15
NODE J junction 300 0 103 110 0.5 0.9
NODE O outfall 600 0 101 107
PIPE P1 A J 300 1.5 0.013
PIPE P2 B J 360.5 1.25 0.013
PIPE P3 J O 300 1.5 0.013
"""


def _area(y, d):
    theta = 2 * math.acos(1 - 2 * y / d)
    return d * d / 8 * (theta - math.sin(theta)), d * theta / 2


def _manning(y, d, n, s):
    area, perimeter = _area(y, d)
    return 1.486 / n * area * (area / perimeter) ** (2 / 3) * math.sqrt(s)


def _normal_depth(q, d, n, s):
    lo, hi = 0.0, 0.9382 * d  # the lower root lies below the textbook peak at y/D = 0.938
    for _ in range(100):
        mid = (lo + hi) / 2
        lo, hi = (lo, mid) if _manning(mid, d, n, s) > q else (mid, hi)
    return lo


def _intensity(tc):
    return 60 / (tc + 10) ** 0.8


def test_hand_checked_network():
    result = rillway.analyze_rwn(HAND_NETWORK)
    p1, p2, p3 = result["pipes"]
    nodes = {n["id"]: n for n in result["nodes"]}

    # Upstream pipes: C*A of their own inlet, inlet time, Manning with the lower normal depth.
    expected_tc = {}
    for pipe, ca, tc, length, d, s in ((p1, 0.8 * 2.0, 10.0, 300, 1.5, 2 / 300),
                                       (p2, 0.6 * 1.0, 15.0, 360.5, 1.25, 2.5 / 360.5)):
        q = ca * _intensity(tc)
        full = 1.486 / 0.013 * (math.pi * d * d / 4) * (d / 4) ** (2 / 3) * math.sqrt(s)
        yn = _normal_depth(q, d, 0.013, s)
        velocity = q / _area(yn, d)[0]
        assert pipe["total_ca"] == pytest.approx(ca, rel=1e-12)
        assert pipe["tc"] == tc
        assert pipe["slope"] == pytest.approx(s, rel=1e-12)
        assert pipe["intensity"] == pytest.approx(_intensity(tc), rel=1e-12)
        assert pipe["design_q"] == pytest.approx(q, rel=1e-12)
        assert pipe["capacity"] == pytest.approx(full, rel=1e-12)
        assert pipe["pct_full"] == pytest.approx(q / full, rel=1e-12)
        assert pipe["normal_depth"] == pytest.approx(yn, abs=2e-7)
        assert pipe["velocity"] == pytest.approx(velocity, rel=1e-6)
        assert pipe["travel_time"] == pytest.approx(length / velocity / 60, rel=1e-6)
        expected_tc[pipe["id"]] = tc + length / velocity / 60
    assert p1["pct_full"] > 1.0 and p1["surcharged"] is False  # above full, below the peak

    # The junction takes the longest of its inflow times; its pipe carries everything upstream.
    tc_j = max(expected_tc.values())
    ca_j = 0.9 * 0.5 + 1.6 + 0.6
    q3 = ca_j * _intensity(tc_j)
    assert nodes["J"]["tc"] == pytest.approx(tc_j, rel=1e-6)
    assert p3["total_ca"] == pytest.approx(ca_j, rel=1e-12)
    assert p3["design_q"] == pytest.approx(q3, rel=1e-6)
    assert p3["surcharged"] is True and p3["normal_depth"] is None

    # Surcharged outlet pipe: full-flow friction from the outlet crown, then the junction loss
    # of 0.5 velocity heads at the full-pipe velocity.
    a_full, r_full = math.pi * 1.5**2 / 4, 1.5 / 4
    friction = (q3 / (1.486 / 0.013 * a_full * r_full ** (2 / 3))) ** 2
    velocity = q3 / a_full
    assert p3["velocity"] == pytest.approx(velocity, rel=1e-6)
    hgl_j = (101 + 1.5) + 300 * friction + 0.5 * velocity**2 / 64.4
    assert p3["hgl_dn"] == 101.0 and nodes["O"]["hgl"] == 101.0
    assert p3["hgl_up"] == pytest.approx(hgl_j, rel=1e-9)
    assert nodes["J"]["hgl"] == pytest.approx(hgl_j, rel=1e-9)
    assert nodes["J"]["freeboard"] == pytest.approx(110 - hgl_j, abs=1e-6)
    # Upstream pipes leave the junction below its grade line: they start from it.
    assert p1["hgl_dn"] == nodes["J"]["hgl"] and p1["hgl_up"] > nodes["J"]["hgl"]
