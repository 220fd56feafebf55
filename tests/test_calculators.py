"""The seven calculators against hand computations and the textbook partial-flow curve."""
import math

import pytest

import rillway
from conftest import segment

NAN = float("nan")


def test_just_full_capacity_of_an_18_inch_pipe():
    # Hand computation: A = pi 1.5^2 / 4 = 1.76715 ft2, R = 0.375 ft, R^(2/3) = 0.52002,
    # Q = 1.486 / 0.013 * 1.76715 * 0.52002 * 0.1 = 10.504 cfs.
    assert rillway.manning_capacity(1.5, 0.013, 0.01) == pytest.approx(10.504, abs=1e-3)
    assert rillway.manning_capacity(1.5, 0.013, 0.0) == 0.0
    assert rillway.manning_capacity(1.5, 0.013, -0.02) == 0.0


def test_si_changes_only_the_constants():
    us = rillway.manning_capacity(0.6, 0.013, 0.005)
    assert rillway.manning_capacity(0.6, 0.013, 0.005, si=True) == pytest.approx(us / 1.486, rel=1e-14)
    flow = rillway.circular_flow(0.6, 0.013, 0.005, 0.3)
    assert rillway.circular_flow(0.6, 0.013, 0.005, 0.3, si=True) == pytest.approx(flow / 1.486)
    assert rillway.critical_depth(0.1, 0.6, si=True) != rillway.critical_depth(0.1, 0.6)


def test_partial_flow_curve_peaks_near_ninety_four_percent_depth():
    # The textbook curve: the round-pipe Manning flow peaks at y/D ~ 0.938 with ~1.076 Q_full.
    full = rillway.manning_capacity(1.5, 0.013, 0.01)
    depths = [1.5 * i / 1000 for i in range(1, 1001)]
    flows = [rillway.circular_flow(1.5, 0.013, 0.01, y) for y in depths]
    peak = max(flows)
    y_peak = depths[flows.index(peak)]
    assert 1.07 <= peak / full <= 1.08
    assert 0.93 <= y_peak / 1.5 <= 0.95
    assert rillway.circular_flow(1.5, 0.013, 0.01, 1.5) == pytest.approx(full, rel=1e-12)
    assert rillway.circular_flow(1.5, 0.013, 0.01, 9.0) == rillway.circular_flow(1.5, 0.013, 0.01, 1.5)
    assert rillway.circular_flow(1.5, 0.013, 0.01, -1.0) == 0.0


def test_normal_depth_round_trips_and_stays_below_the_peak():
    full = rillway.manning_capacity(1.5, 0.013, 0.01)
    for fraction in (0.05, 0.3, 0.7, 0.99):
        y = rillway.normal_depth(fraction * full, 1.5, 0.013, 0.01)
        assert rillway.circular_flow(1.5, 0.013, 0.01, y) == pytest.approx(fraction * full, rel=1e-6)
    # Between the just-full flow and the peak two depths carry the flow; the lower one is returned.
    y = rillway.normal_depth(1.05 * full, 1.5, 0.013, 0.01)
    assert y is not None and 0.8 * 1.5 < y < 0.94 * 1.5
    assert rillway.normal_depth(1.09 * full, 1.5, 0.013, 0.01) is None
    assert rillway.normal_depth(1.0, 1.5, 0.013, 0.0) is None
    assert rillway.normal_depth(0.0, 1.5, 0.013, 0.01) == 0.0
    assert rillway.normal_depth(-3.0, 1.5, 0.013, -1.0) == 0.0


def test_critical_depth_satisfies_the_froude_condition():
    for q, d, g, si in ((2.0, 1.5, 32.2, False), (10.0, 2.0, 32.2, False), (0.2, 0.6, 9.81, True)):
        yc = rillway.critical_depth(q, d, si=si)
        area, top = segment(yc, d)
        assert q * q * top / (g * area**3) == pytest.approx(1.0, rel=1e-4)
    assert rillway.critical_depth(0.0, 1.5) == 0.0
    assert rillway.critical_depth(-1.0, 1.5) == 0.0
    # Huge flows saturate just below 0.999 D; tiny ones just above 1e-6 D.
    assert 0.998 * 1.5 < rillway.critical_depth(1e9, 1.5) < 0.999 * 1.5
    assert 1.5e-6 < rillway.critical_depth(1e-30, 1.5) < 1.5e-6 + 1e-7


def test_circular_geometry_limits():
    assert rillway.circular_geometry(2.0, 0.0) == {
        "area": 0.0, "wetted_perimeter": 0.0, "hydraulic_radius": 0.0, "top_width": 0.0}
    full = rillway.circular_geometry(2.0, 5.0)
    assert list(full) == ["area", "wetted_perimeter", "hydraulic_radius", "top_width"]
    assert full["area"] == pytest.approx(math.pi)
    assert full["wetted_perimeter"] == pytest.approx(2 * math.pi)
    assert full["hydraulic_radius"] == pytest.approx(0.5)
    assert abs(full["top_width"]) < 1e-15
    half = rillway.circular_geometry(2.0, 1.0)
    assert half["top_width"] == pytest.approx(2.0) and half["area"] == pytest.approx(math.pi / 2)


CHANNEL = "rise and n must be positive, span and side_slope zero or more, and one of them positive"


@pytest.mark.parametrize("call, message", [
    (lambda: rillway.manning_capacity(0, 0.013, 0.01), "diameter and n must be positive"),
    (lambda: rillway.manning_capacity(1.5, -0.013, 0.01), "diameter and n must be positive"),
    (lambda: rillway.circular_flow(-1, 0.013, 0.01, 0.5), "diameter and n must be positive"),
    (lambda: rillway.normal_depth(1, 1.5, 0, 0.01), "diameter and n must be positive"),
    (lambda: rillway.critical_depth(1, 0), "diameter must be positive"),
    (lambda: rillway.circular_geometry(-2, 1), "diameter must be positive"),
    # A NaN is not positive: it never reaches the geometry as an internal error.
    (lambda: rillway.manning_capacity(NAN, 0.013, 0.01), "diameter and n must be positive"),
    (lambda: rillway.circular_flow(1.5, NAN, 0.01, 0.5), "diameter and n must be positive"),
    (lambda: rillway.normal_depth(1, NAN, 0.013, 0.01), "diameter and n must be positive"),
    (lambda: rillway.normal_depth(1, 1.5, NAN, 0.01), "diameter and n must be positive"),
    (lambda: rillway.critical_depth(1, NAN), "diameter must be positive"),
    (lambda: rillway.circular_geometry(NAN, 1), "diameter must be positive"),
    (lambda: rillway.open_channel(1, 0.03, 0.01, 0, 0, 1), CHANNEL),
    (lambda: rillway.open_channel(1, 0.03, 0.01, 2, -1, 1), CHANNEL),
    (lambda: rillway.open_channel(1, 0.03, 0.01, 2, 1, NAN), CHANNEL),
])
def test_out_of_range_arguments(call, message):
    with pytest.raises(ValueError) as caught:
        call()
    assert str(caught.value) == message


def test_intensity_and_rational_q_take_any_numbers():
    # i = 60 / (10 + 10)^0.8 = 60 / 10.9856 = 5.4617 in/hr
    assert rillway.intensity(60, 10, 0.8, 10) == pytest.approx(5.4617, abs=1e-4)
    assert rillway.intensity(60, 10, 0.8, -5) == rillway.intensity(60, 10, 0.8, 0)
    assert rillway.intensity(60, 10, 0.8, NAN) == rillway.intensity(60, 10, 0.8, 0)
    assert rillway.intensity(60, 0, 0.8, 0) == math.inf
    assert math.isnan(rillway.intensity(60, -5, 0.5, 0))
    assert rillway.rational_q(0.7, 5.0, 2.0) == pytest.approx(7.0)
    assert rillway.rational_q(-1, 2, 3) == -6.0


def _mirror_normal_depth(q, d, n, s, k=1.486):
    """The round-pipe solver written out in plain Python: scan 2000 depths, bisect to 1e-7."""
    def flow(y):
        y = min(max(y, 0.0), d)
        theta = 2.0 * math.acos(1.0 - 2.0 * y / d)
        area = (theta - math.sin(theta)) * (d * d * 0.125)
        perimeter = d * theta / 2.0
        radius = area / perimeter if perimeter > 0 else 0.0
        return (k / n) * area * math.pow(radius, 0.6666666666666666) * math.sqrt(max(s, 0.0))
    best, y_best = 0.0, 0.0
    for i in range(1, 2001):
        y = i * d / 2000
        if flow(y) > best:
            best, y_best = flow(y), y
    if q > best:
        return None
    lo, hi = 0.0, y_best
    for _ in range(200):
        mid = (lo + hi) * 0.5
        if flow(mid) > q:
            hi = mid
        else:
            lo = mid
        if hi - lo < 1e-7:
            break
    return (lo + hi) * 0.5


@pytest.mark.parametrize("q, d, n, s", [(5.0, 1.5, 0.013, 0.01), (0.3, 0.75, 0.011, 0.002),
                                        (40.0, 3.0, 0.024, 0.0005), (11.2, 1.5, 0.013, 0.01)])
def test_normal_depth_agrees_to_the_last_bit_with_the_written_arithmetic(q, d, n, s):
    assert rillway.normal_depth(q, d, n, s) == _mirror_normal_depth(q, d, n, s)


@pytest.mark.parametrize("q, n, slope, span, z, si", [
    (400.0, 0.025, 0.0016, 20.0, 2.0, False),  # Chow (1959), Example 6.2: y_n = 3.36 ft
    (5.0, 0.035, 0.004, 0.0, 3.0, True),        # a triangular swale, m3/s
    (2.0, 0.015, 0.01, 1.5, 0.0, True),         # an open rectangular flume
])
def test_open_channel_against_fluids(q, n, slope, span, z, si):
    fluids = pytest.importorskip("fluids")
    channel = rillway.open_channel(q, n, slope, span, z, 6.0, si=si)
    y = channel["normal_depth"]
    area, perimeter = y * (span + z * y), span + 2 * y * math.hypot(1, z)
    k = 1.0 if si else 1.486
    velocity = k * fluids.V_Manning(area / perimeter, slope, n)
    assert channel["velocity"] == pytest.approx(velocity, rel=1e-6)
    assert velocity * area == pytest.approx(q, rel=1e-6)
    assert (channel["area"], channel["top_width"]) == pytest.approx((area, span + 2 * z * y))
    if q == 400.0:
        assert y == pytest.approx(3.36, abs=0.005)
    y_c = channel["critical_depth"]
    area_c, top_c = y_c * (span + z * y_c), span + 2 * z * y_c
    assert q * q * top_c / ((9.81 if si else 32.2) * area_c**3) == pytest.approx(1, rel=1e-5)
    # Bank-full capacity, and nothing above it has a normal depth.
    bank_area, bank_perimeter = 6 * (span + 6 * z), span + 12 * math.hypot(1, z)
    capacity = k * bank_area * fluids.V_Manning(bank_area / bank_perimeter, slope, n)
    assert channel["capacity"] == pytest.approx(capacity, rel=1e-12)
    over = rillway.open_channel(capacity * 1.01, n, slope, span, z, 6.0, si=si)
    assert over["normal_depth"] is None and over["area"] == pytest.approx(bank_area)
