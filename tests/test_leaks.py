"""Reference counting and memory: every module function, called over and over on valid input
and on each kind of invalid input, must leave resident memory flat and its arguments' reference
counts unchanged.

The full run makes 100,000 calls per case, or as many as four seconds hold for the slow ones (at
least 10,000: the schema's JSON text or a design, which would leak more per call); by default
each case runs 2,000 times, which still shows a leak of a few hundred bytes per call.
tests/run.sh sets RILLWAY_LEAK_CALLS=100000.
"""

import gc
import json
import os
import sys
import time

import pytest

import rillway

CALLS = int(os.environ.get("RILLWAY_LEAK_CALLS", "2000"))
# The allocator settles into its pools over the first ten thousand or so calls (a one-off step of
# under a megabyte); only growth after that counts.
WARMUP = max(200, CALLS // 5)
MAX_GROWTH_BYTES = 2 * 1024 * 1024
# A case's calls after the warm-up: CALLS, or as many as this time holds, but no fewer than
# MIN_CALLS (seconds; calls).
CASE_SECONDS = 4.0
MIN_CALLS = min(CALLS, 10_000)
# Under AddressSanitizer freed memory waits in quarantine, so resident memory grows whatever the
# library does; the reference counts are still checked there.
SANITIZED = "libasan" in os.environ.get("LD_PRELOAD", "")

SMALL_RWN = """NODE IN1 inlet 0 0 100.0 106.0 1.5 0.7
NODE OUT outfall 100 0 98.0 104.0
PIPE P1 IN1 OUT 100 1.5 0.013
"""


def resident_bytes():
    with open("/proc/self/status", encoding="ascii") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) * 1024
    raise RuntimeError("no VmRSS in /proc/self/status")


class NotANumber:
    """An object whose float conversion fails: the error path of argument conversion."""

    def __float__(self):
        raise ArithmeticError("no float here")


class Floaty:
    """An object converted through __float__ on the success path."""

    def __float__(self):
        return 1.25


def small_project():
    doc = json.loads(rillway.demo_project_json())
    doc["nodes"] = doc["nodes"][-2:]
    doc["pipes"] = doc["pipes"][-1:]
    doc["catchments"] = []
    return json.dumps(doc)


# File arguments are named by these markers and made real in a temporary directory per test.
GOOD_FILE, LATIN1_FILE, MISSING_FILE, DIRECTORY = "<good>", "<latin1>", "<missing>", "<dir>"

UNKNOWN_NODE = SMALL_RWN + "PIPE P2 OUT NOWHERE 10 1 0.013\n"
LOOP = SMALL_RWN + "PIPE P2 OUT IN1 10 1 0.013\n"
NEGATIVE_SIZE = SMALL_RWN.replace("1.5 0.013", "-1.5 0.013")

rw = rillway
# (label, function, positional args, keyword args, expected exception or None)
CASES = [
    # valid input
    ("intensity", rw.intensity, (120.0, 10, 0.8, Floaty()), {}, None),
    ("rational_q", rw.rational_q, (0.5, 4.0, 2), {}, None),
    ("manning_capacity", rw.manning_capacity, (1.5, 0.013, 0.01), {"si": True}, None),
    ("circular_flow", rw.circular_flow, (1.5, 0.013, 0.01, 0.7), {}, None),
    ("normal_depth", rw.normal_depth, (5.0, 1.5, 0.013, 0.01), {}, None),
    ("normal_depth none", rw.normal_depth, (500.0, 1.5, 0.013, 0.01), {}, None),
    ("critical_depth", rw.critical_depth, (5.0, 1.5), {"si": False}, None),
    ("circular_geometry", rw.circular_geometry, (), {"diameter": 1.5, "depth": 0.4}, None),
    ("open_channel", rw.open_channel, (40.0, 0.03, 0.002, 4.0, 2.0, 3.0), {"si": True}, None),
    ("gutter_flow", rw.gutter_flow, (8.2, 0.02, 0.01, 0.016), {"gutter_width": 2.0}, None),
    ("gutter_spread", rw.gutter_spread, (2.3, 0.02, 0.01, 0.016), {"si": True}, None),
    ("inlet_on_grade", rw.inlet_on_grade, (1.0, 0.02, 0.01, 0.016),
     {"type": "grate", "length": 2.0, "grate_width": 2.0}, None),
    ("inlet_in_sag", rw.inlet_in_sag, (10.0, 0.02), {"type": "curb", "length": 10.0}, None),
    ("access_hole_energy", rw.access_hole_energy, (2.35, 6.75, Floaty(), 2.15),
     {"benching": "half", "inflows": [{"q": 6.75, "angle_deg": 90.0, "invert_height": 12.86}]},
     None),
    ("analyze_rwn", rw.analyze_rwn, (SMALL_RWN,), {}, None),
    ("analyze_project", rw.analyze_project, (small_project(),), {}, None),
    ("analyze_file", rw.analyze_file, (GOOD_FILE,), {}, None),
    ("demo_project_json", rw.demo_project_json, (), {}, None),
    ("project_schema_json", rw.project_schema_json, (), {}, None),
    ("read_project", rw.read_project, (small_project(),), {}, None),
    ("check_project", rw.check_project, (small_project(),), {}, None),
    ("read_rwn", rw.read_rwn, (SMALL_RWN,), {}, None),
    ("rwn_to_project", rw.rwn_to_project, (SMALL_RWN,), {}, None),
    ("read_rwn unknown node", rw.read_rwn, (UNKNOWN_NODE,), {}, ValueError),
    ("rwn_to_project unwritable", rw.rwn_to_project, ("NODE A inlet 0 0 1 2 nan 1",), {}, ValueError),
    ("analyze_scenarios", rw.analyze_scenarios,
     (small_project(), [{}, {"intensity_factor": 1.5, "c_factor": Floaty(), "name": "wet"},
                        {"return_period": 100.0}]), {}, None),
    ("analyze_scenarios rwn", rw.analyze_scenarios, (SMALL_RWN, ({"n_factor": 1.2},)),
     {"format": "rwn"}, None),
    ("design_project", rw.design_project, (small_project(),), {}, None),
    ("design_project bad rules", rw.design_project, (small_project().replace('"pipes"', '"design": {"match": "tops"}, "pipes"', 1),), {}, ValueError),
    # wrong types and binding errors
    ("intensity str", rw.intensity, ("a", 1.0, 1.0, 1.0), {}, TypeError),
    ("intensity failing __float__", rw.intensity, (1.0, NotANumber(), 1.0, 1.0), {}, ArithmeticError),
    ("manning_capacity si=1", rw.manning_capacity, (1.5, 0.013, 0.01), {"si": 1}, TypeError),
    ("circular_flow unknown keyword", rw.circular_flow, (1.0, 1.0, 1.0, 1.0), {"SI": True}, TypeError),
    ("critical_depth too many", rw.critical_depth, (1.0, 2.0, 3.0), {}, TypeError),
    ("normal_depth missing", rw.normal_depth, (1.0,), {}, TypeError),
    ("circular_geometry twice", rw.circular_geometry, (1.0, 0.5), {"diameter": 1.0}, TypeError),
    ("rational_q huge int", rw.rational_q, (10**5000, 1.0, 1.0), {}, OverflowError),
    ("analyze_rwn bytes", rw.analyze_rwn, (SMALL_RWN.encode(),), {}, TypeError),
    ("analyze_project None", rw.analyze_project, (None,), {}, TypeError),
    ("analyze_file float", rw.analyze_file, (3.5,), {}, TypeError),
    ("analyze_rwn surrogate", rw.analyze_rwn, ("NODE \ud800",), {}, UnicodeEncodeError),
    ("demo_project_json arg", rw.demo_project_json, (1.0,), {}, TypeError),
    ("project_schema_json arg", rw.project_schema_json, (1.0,), {}, TypeError),
    ("analyze_scenarios field type", rw.analyze_scenarios, (SMALL_RWN, [{"c_factor": "x"}]),
     {"format": "rwn"}, TypeError),
    ("analyze_scenarios failing __float__", rw.analyze_scenarios,
     (SMALL_RWN, [{"tailwater": NotANumber()}]), {"format": "rwn"}, ArithmeticError),
    ("analyze_scenarios not mappings", rw.analyze_scenarios, (SMALL_RWN, [1.5]), {}, TypeError),
    ("analyze_scenarios unknown field", rw.analyze_scenarios, (SMALL_RWN, [{"cf": 1.5}]), {},
     ValueError),
    ("analyze_scenarios format", rw.analyze_scenarios, (SMALL_RWN, []), {"format": "x"},
     ValueError),
    # bad values
    ("manning_capacity zero n", rw.manning_capacity, (1.5, 0.0, 0.01), {}, ValueError),
    ("critical_depth negative", rw.critical_depth, (1.0, -1.5), {}, ValueError),
    ("circular_geometry nan", rw.circular_geometry, (float("nan"), 0.5), {}, ValueError),
    ("open_channel no width", rw.open_channel, (1.0, 0.03, 0.01, 0.0, 0.0, 1.0), {}, ValueError),
    ("inlet_on_grade type", rw.inlet_on_grade, (1.0, 0.02, 0.01, 0.016),
     {"type": "gully", "length": 2.0}, ValueError),
    ("access_hole_energy inflow key", rw.access_hole_energy, (1.0, 2.0, 1.5, 1.0),
     {"inflows": ({"q": 1.0, "angle": 90.0, "invert_height": 0.5},)}, ValueError),
    ("access_hole_energy inflow type", rw.access_hole_energy, (1.0, 2.0, 1.5, 1.0),
     {"inflows": [{"q": "x", "angle_deg": 90.0, "invert_height": 0.5}]}, TypeError),
    ("access_hole_energy benching", rw.access_hole_energy, (1.0, 2.0, 1.5, 1.0),
     {"benching": "steps"}, ValueError),
    # parse errors
    ("analyze_rwn parse", rw.analyze_rwn, ("NODE N1 inlet 0 0 100",), {}, ValueError),
    ("analyze_project parse", rw.analyze_project, ('{"name": 1}',), {}, ValueError),
    ("analyze_project syntax", rw.analyze_project, ("{" * 50,), {}, ValueError),
    ("analyze_scenarios parse", rw.analyze_scenarios, ("{" * 50, [{}]), {}, ValueError),
    # analysis errors
    ("analyze_rwn unknown node", rw.analyze_rwn, (UNKNOWN_NODE,), {}, ValueError),
    ("analyze_rwn loop", rw.analyze_rwn, (LOOP,), {}, ValueError),
    ("analyze_rwn bad size", rw.analyze_rwn, (NEGATIVE_SIZE,), {}, ValueError),
    # files
    ("analyze_file missing", rw.analyze_file, (MISSING_FILE,), {}, OSError),
    ("analyze_file directory", rw.analyze_file, (DIRECTORY,), {}, OSError),
    ("analyze_file not utf-8", rw.analyze_file, (LATIN1_FILE,), {}, OSError),
    ("analyze_file NUL", rw.analyze_file, ("a\0b",), {}, OSError),
]


def real_arguments(args, tmp_path):
    good = tmp_path / "small.rwproj"
    good.write_text(small_project(), encoding="utf-8")
    latin1 = tmp_path / "latin1.rwproj"
    latin1.write_bytes(b'{"name": "\xe9"}')
    files = {GOOD_FILE: str(good), LATIN1_FILE: str(latin1),
             MISSING_FILE: str(tmp_path / "missing.rwproj"), DIRECTORY: str(tmp_path)}
    return tuple(files.get(a, a) if isinstance(a, str) else a for a in args)


def call(function, args, kwargs, expected):
    if expected is None:
        return function(*args, **kwargs)
    try:
        function(*args, **kwargs)
    except expected:
        return None
    raise AssertionError(f"{function.__name__} did not raise {expected.__name__}")


def test_every_function_and_failure_kind_is_exercised():
    functions = {function.__name__ for _, function, _, _, _ in CASES}
    assert functions == {name for name in rillway.__all__ if callable(getattr(rillway, name))
                         and not isinstance(getattr(rillway, name), type)}
    raised = {expected for *_, expected in CASES}
    assert {None, TypeError, ValueError, OSError, OverflowError, UnicodeEncodeError} <= raised


@pytest.mark.parametrize(("label", "function", "args", "kwargs", "expected"), CASES,
                         ids=[case[0] for case in CASES])
def test_repeated_calls_keep_memory_and_references_flat(tmp_path, label, function, args, kwargs,
                                                        expected):
    args = real_arguments(args, tmp_path)
    # None and the bools are shared by the whole interpreter, so their counts move for reasons
    # of their own and are not watched; the other arguments above are floats, strings, bytes and
    # objects of this test alone (no small ints, which are shared too).
    watched = list(args) + list(kwargs.values())
    watched = [value for value in watched if not isinstance(value, bool) and value is not None]
    started = time.perf_counter()
    for _ in range(WARMUP):
        call(function, args, kwargs, expected)
    per_call = (time.perf_counter() - started) / WARMUP
    calls = max(MIN_CALLS, min(CALLS, int(CASE_SECONDS / max(per_call, 1e-9))))
    gc.collect()
    references = [sys.getrefcount(value) for value in watched]
    before = resident_bytes()
    for _ in range(calls):
        call(function, args, kwargs, expected)
    gc.collect()
    growth = resident_bytes() - before
    assert [sys.getrefcount(value) for value in watched] == references, label
    assert SANITIZED or growth < MAX_GROWTH_BYTES, f"{label}: resident memory grew by {growth} bytes"
