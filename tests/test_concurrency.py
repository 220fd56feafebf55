"""Eight Python threads calling the module at once get exactly what sequential calls get: the
library keeps no shared state, so nothing one call does may show up in another's result."""

import json
import sys
import threading

import pytest

import rillway
from conftest import same

THREADS = 8
ROUNDS = 6




def rwn_chain(count, diameter, slope_drop):
    lines = [f"NODE N{i} inlet {i * 50} {i % 3} {100 - i * slope_drop:.4f} 110 {0.2 + i / 10} 0.6"
             for i in range(count)]
    lines.append(f"NODE OUT outfall {count * 50} 0 {100 - count * slope_drop - 1:.4f} 110")
    for i in range(count):
        to = f"N{i + 1}" if i + 1 < count else "OUT"
        lines.append(f"PIPE P{i} N{i} {to} 50 {diameter} 0.013")
    return "\n".join(lines)


def project_variant(shape, units, tailwater):
    doc = json.loads(rillway.demo_project_json())
    doc["units"] = units
    doc["tailwater"] = tailwater
    for pipe in doc["pipes"]:
        pipe.update(shape=shape, rise_ft=1.4, span_ft=2.1)
    return json.dumps(doc)


def design_variant(rules):
    doc = json.loads(project_variant("circular", "si", 30.0))
    doc["design"] = rules
    return json.dumps(doc)


def workload(tmp_path):
    """Calls whose results (or exceptions) differ from one another, so a result crossing over
    between threads would be noticed."""
    project_file = tmp_path / "demo.rwproj"
    project_file.write_text(project_variant("arch", "us_customary", None), encoding="utf-8")
    calls = [
        (rillway.analyze_rwn, (rwn_chain(12, 1.5, 0.05),), {}),
        (rillway.analyze_rwn, (rwn_chain(7, 0.75, 0.2) + "\nTAILWATER 99\nINTENSITY 3.5",), {}),
        (rillway.analyze_rwn, (rwn_chain(5, 1.0, 0.1) + "\nPIPE X N0 NOWHERE 1 1 1",), {}),
        (rillway.analyze_rwn, ("NODE N1 inlet 0 0 100",), {}),
        (rillway.analyze_project, (project_variant("elliptical", "si", 30.0),), {}),
        (rillway.analyze_project, (project_variant("box", "us_customary", 97.0),), {}),
        (rillway.analyze_project, ('{"name": 1}',), {}),
        (rillway.analyze_file, (str(project_file),), {}),
        (rillway.analyze_file, (str(tmp_path / "missing.rwproj"),), {}),
        (rillway.demo_project_json, (), {}),
        (rillway.design_project, (project_variant("circular", "us_customary", None),), {}),
        (rillway.design_project, (design_variant({"min_cover_ft": 2.0, "match": "inverts"}),), {}),
        (rillway.design_project, (design_variant({"min_cover_ft": -1}),), {}),
        (rillway.design_project, ("[",), {}),
        (rillway.normal_depth, (3.0, 1.25, 0.013, 0.004), {"si": True}),
        (rillway.critical_depth, (7.5, 2.0), {}),
        (rillway.circular_geometry, (1.5, 0.6), {}),
        (rillway.manning_capacity, (1.5, 0.0, 0.01), {}),
        (rillway.intensity, (120.0, 10.0, 0.8, "x"), {}),
    ]
    return calls


def run(call):
    function, args, kwargs = call
    try:
        return ("value", function(*args, **kwargs))
    except Exception as error:  # noqa: BLE001 - compared below, type and message
        return ("error", type(error).__name__, str(error), getattr(error, "__notes__", None))


@pytest.fixture
def fast_switching():
    # Hand the interpreter lock around as often as possible, so threads interleave between and
    # inside calls wherever the interpreter lets them.
    previous = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    yield
    sys.setswitchinterval(previous)


def test_eight_threads_get_the_sequential_results(tmp_path, fast_switching):
    calls = workload(tmp_path)
    expected = [run(call) for call in calls]
    assert {outcome[0] for outcome in expected} == {"value", "error"}

    barrier = threading.Barrier(THREADS)
    results = [[] for _ in range(THREADS)]
    failures = []

    def worker(index):
        try:
            barrier.wait()
            for round_ in range(ROUNDS):
                # Each thread walks the calls from its own offset, so different calls overlap.
                for k in range(len(calls)):
                    position = (k + index * 3 + round_) % len(calls)
                    results[index].append((position, run(calls[position])))
        except BaseException as error:  # noqa: BLE001 - reported from the main thread
            failures.append(error)

    threads = [threading.Thread(target=worker, args=(i,)) for i in range(THREADS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=300)
    assert not any(thread.is_alive() for thread in threads)
    assert failures == []
    for index in range(THREADS):
        assert len(results[index]) == ROUNDS * len(calls)
        for position, outcome in results[index]:
            assert same(outcome, expected[position]), (index, position)


def test_threads_share_no_result_objects(tmp_path):
    text = rwn_chain(4, 1.5, 0.1)
    out = [None] * THREADS

    def worker(index):
        out[index] = rillway.analyze_rwn(text)

    threads = [threading.Thread(target=worker, args=(i,)) for i in range(THREADS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    # Every call builds its own dictionaries and lists; changing one leaves the others alone.
    out[0]["pipes"][0]["design_q"] = -1.0
    out[0]["nodes"].clear()
    for result in out[1:]:
        assert result["pipes"][0]["design_q"] > 0 and len(result["nodes"]) == 5
    assert len({id(result["pipes"]) for result in out}) == THREADS
