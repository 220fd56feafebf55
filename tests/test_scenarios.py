"""Scenarios: their application checked by hand on the demo trunk line, return periods against
separate analyses, sampling, failures, the batch command's Parquet tables, threads and Dask.

The demo's P1 drains N1 alone: C = 0.7 on A = 1 ac plus a 2,400 ft² triangular catchment, at
tc = 12 min (N1's inlet time; the catchment's Kirpich time is 1.6 min), on the design curve
i = 60 / (tc + 10)^0.8 in/hr. It is a 15-in. pipe at n = 0.013 falling 1.5 ft in 300 ft."""
import json
import math
import subprocess
import sys
import threading
import time

import numpy as np
import pandas as pd
import pytest

import rillway
from rillway_tools import scenarios as rs
from rillway_tools.cli import main

AREA_P1 = 1.0 + 2400.0 / 43560.0  # ac
I_P1 = 60.0 / 22.0**0.8           # in/hr at tc = 12 min
CURVES = [{"rp_years": 2, "a": 40.0, "b": 9.0, "c": 0.8},
          {"rp_years": 100, "a": 100.0, "b": 12.0, "c": 0.78}]


def demo(**changes):
    doc = json.loads(rillway.demo_project_json())
    doc["idf_curves"] = CURVES
    doc.update(changes)
    return json.dumps(doc)


def columns(result, part, name, count):
    return np.asarray(result[part][name]).reshape(count, -1)


def full_capacity(d, n, s):
    """Manning full-pipe capacity, cfs: 1.486/n A R^(2/3) S^(1/2), A = pi d²/4, R = d/4."""
    return 1.486 / n * math.pi * d * d / 4 * (d / 4) ** (2 / 3) * math.sqrt(s)


@pytest.mark.parametrize("scenario, expected_q", [
    ({"intensity_factor": 2.0}, 2 * 0.7 * AREA_P1 * I_P1),
    ({"c_factor": 1.2}, 0.84 * AREA_P1 * I_P1),
    ({"c_factor": 2.0}, 1.0 * AREA_P1 * I_P1),  # 1.4 capped at 1.0
    # The 100-year curve and frequency factor 1.25: C = 0.875; with c_factor 1.2, 1.05 -> 1.0.
    ({"return_period": 100}, 0.875 * AREA_P1 * 100.0 / 24.0**0.78),
    ({"return_period": 100, "c_factor": 1.2}, 1.0 * AREA_P1 * 100.0 / 24.0**0.78),
    ({"return_period": 2, "intensity_factor": 1.5}, 0.7 * AREA_P1 * 1.5 * 40.0 / 21.0**0.8),
])
def test_scenario_flow_of_a_pipe_draining_its_own_inlet(scenario, expected_q):
    result = rillway.analyze_scenarios(demo(), [scenario])
    assert result["errors"] == [None]
    assert result["pipes"]["design_q"][0] == pytest.approx(expected_q, rel=1e-12)


def test_doubled_intensity_doubles_the_flow_exactly_and_n_factor_halves_capacity():
    base = rillway.analyze_project(demo())
    result = rillway.analyze_scenarios(demo(), [{"intensity_factor": 2.0}, {"n_factor": 2.0}])
    q = columns(result, "pipes", "design_q", 2)
    pct = columns(result, "pipes", "pct_full", 2)
    assert q[0, 0] == 2 * base["pipes"][0]["design_q"]
    capacity = q[1] / pct[1]
    assert capacity == pytest.approx([p["capacity"] / 2 for p in base["pipes"]], rel=1e-12)
    assert capacity[0] == pytest.approx(full_capacity(1.25, 0.026, 1.5 / 300), rel=1e-12)


def test_identity_scenario_and_tailwater_match_plain_analyses():
    plain = rillway.analyze_project(demo())
    raised = rillway.analyze_project(demo(tailwater=103.0))
    result = rillway.analyze_scenarios(demo(), [{"name": "as designed"}, {"tailwater": 103.0}])
    for s, expected in enumerate([plain, raised]):
        for key in ("design_q", "velocity", "hgl_up", "hgl_dn"):
            assert list(columns(result, "pipes", key, 2)[s]) == [p[key] for p in expected["pipes"]]
        assert list(columns(result, "nodes", "hgl", 2)[s]) == [n["hgl"] for n in expected["nodes"]]


@pytest.mark.parametrize("text, fmt, scenario, message", [
    (demo(), "project", {"return_period": 25}, "no rainfall curve for the 25-year return period"),
    ("NODE A inlet 0 0 10 15 1 0.5\nNODE O outfall 100 0 9 14\nPIPE P A O 100 1 0.013", "rwn",
     {"return_period": 10}, "a .rwn network has a single rainfall curve"),
    (demo(), "project", {"n_factor": 0}, "n_factor must be a finite number above zero, not 0"),
])
def test_a_bad_scenario_fails_alone(text, fmt, scenario, message):
    result = rillway.analyze_scenarios(text, [{}, scenario, {}], format=fmt)
    assert result["errors"][0] is None and result["errors"][2] is None
    assert message in result["errors"][1]
    q = columns(result, "pipes", "design_q", 3)
    assert np.isnan(q[1]).all() and (q[0] == q[2]).all()


@pytest.mark.parametrize("scenarios, error, message", [
    ([{"c_factr": 1.0}], ValueError, "scenario 0: unknown field 'c_factr'"),
    ([{}, {"tailwater": "high"}], TypeError, "scenario 1: tailwater must be a number"),
    ([3.0], TypeError, "scenario 0 must be a mapping"),
])
def test_malformed_scenarios_are_refused(scenarios, error, message):
    with pytest.raises(error, match=message):
        rillway.analyze_scenarios(demo(), scenarios)


def test_storms_short_form_matches_separate_analyses(tmp_path):
    path = tmp_path / "demo.rwproj"
    path.write_text(demo(), encoding="utf-8")
    results = rs.run([path], rs.storms("2,10,100"), progress=False)
    assert list(results.summary["name"]) == ["2-year", "10-year", "100-year"]
    for s, years in enumerate((2, 10, 100)):
        # The design period of the same project set to the storm's period.
        alone = rillway.analyze_project(demo(design_return_period_years=years))
        rows = results.pipes[results.pipes["scenario"] == s]
        assert list(rows["design_q"]) == [p["design_q"] for p in alone["pipes"]]
        assert list(rows["hgl_up"]) == [p["hgl_up"] for p in alone["pipes"]]
        nodes = results.structures[results.structures["scenario"] == s]
        assert list(nodes["freeboard"]) == [n["freeboard"] for n in alone["nodes"]]
        summary = results.summary.iloc[s]
        assert summary["outfall_q"] == alone["pipes"][2]["design_q"]
        assert summary["least_freeboard"] == min(n["freeboard"] for n in alone["nodes"][:3])
        assert summary["pipes_surcharged"] == sum(p["surcharged"] for p in alone["pipes"])


def test_grid_and_sample():
    table = rs.grid(return_period=[10, 100], intensity_factor=[1.0, 1.2, 1.4])
    assert len(table) == 6 and list(table.columns) == list(rs.FIELDS)
    assert list(table["intensity_factor"][:3]) == [1.0, 1.2, 1.4]
    assert table["name"][4] == "return_period=100 intensity_factor=1.2"

    draws = dict(c_factor=(0.9, 1.1), n_factor=rs.normal(1.0, 0.05), tailwater=101.0)
    first = rs.sample(500, seed=7, **draws)
    again = rs.sample(500, seed=7, **dict(reversed(list(draws.items()))))
    pd.testing.assert_frame_equal(first, again)
    assert not first["c_factor"].equals(rs.sample(500, seed=8, **draws)["c_factor"])
    assert first["c_factor"].between(0.9, 1.1).all() and (first["tailwater"] == 101.0).all()
    assert abs(first["n_factor"].mean() - 1.0) < 0.01 and first["return_period"].isna().all()
    with pytest.raises(TypeError, match="unknown scenario field"):
        rs.sample(3, seed=1, roughness=(1, 2))


def test_failing_documents_among_good_ones(tmp_path):
    good = tmp_path / "good.rwproj"
    good.write_text(demo(), encoding="utf-8")
    broken = tmp_path / "broken.rwproj"
    broken.write_text('{"name": "x", "nodes": [', encoding="utf-8")
    cyclic = tmp_path / "cyclic.rwn"
    cyclic.write_text("NODE A inlet 0 0 10 15 1 0.5\nNODE B inlet 9 0 9 14 1 0.5\n"
                      "PIPE P A B 100 1 0.013\nPIPE Q B A 100 1 0.013", encoding="utf-8")
    table = rs.grid(intensity_factor=[1.0, 1.3])
    results = rs.run([good, broken, tmp_path / "missing.rwn", cyclic, good], table, workers=2,
                     progress=False)
    summary = results.summary
    assert len(summary) == 10
    errors = list(summary["error"])
    assert errors[0] is None and errors[1] is None and errors[8] is None
    assert "invalid project JSON" in errors[2] and "line 1" in errors[2]
    assert "cannot read" in errors[4]
    assert errors[6] == "analysis failed: network contains a cycle"
    assert summary["pipes_surcharged"].isna().sum() == 6
    alone = rillway.analyze_project(demo())
    assert summary["outfall_q"][8] == alone["pipes"][2]["design_q"]
    assert len(results.pipes) == 4 * 3 and set(results.pipes["document"]) == {str(good)}


def test_batch_command_writes_parquet_that_pandas_reads(tmp_path, capsys):
    path = tmp_path / "demo.rwproj"
    path.write_text(demo(), encoding="utf-8")
    output = tmp_path / "out.parquet"
    assert main(["batch", str(path), "--storms", "2,100", "--output", str(output),
                 "--workers", "2"]) == 0
    printed = capsys.readouterr().out
    assert "2-year" in printed and "100-year" in printed
    expected = rs.run([str(path)], rs.storms([2, 100]), progress=False)
    for part, name in [("pipes", "out"), ("structures", "out.structures"),
                       ("summary", "out.summary")]:
        table = pd.read_parquet(tmp_path / f"{name}.parquet")
        pd.testing.assert_frame_equal(table, getattr(expected, part), check_categorical=False)

    scenarios = tmp_path / "scenarios.csv"
    scenarios.write_text("name,return_period,c_factor\nwet,100,1.1\nodd,25,\n", encoding="utf-8")
    assert main(["batch", str(path), "--scenarios", str(scenarios), "-o", str(output)]) == 2
    captured = capsys.readouterr()
    assert "wet" in captured.out and "no rainfall curve for the 25-year" in captured.out
    assert "1 of 2 scenario runs failed" in captured.err
    assert pd.read_parquet(tmp_path / "out.summary.parquet")["error"].notna().sum() == 1

    scenarios.write_text("name,c_factor\nok,1.0\nwet,high\n", encoding="utf-8")
    assert main(["batch", str(path), "--scenarios", str(scenarios), "-o", str(output)]) == 2
    assert capsys.readouterr().err == (f"rillway: {scenarios}: line 3: c_factor must be a "
                                       "number, not 'high'\n")


def chain(count):
    lines = [f"NODE N{i} inlet {i * 50} 0 {100 - i * 0.1:.2f} 110 0.5 0.6" for i in range(count)]
    lines.append(f"NODE OUT outfall {count * 50} 0 {99 - count * 0.1:.2f} 110")
    lines += [f"PIPE P{i} N{i} {f'N{i + 1}' if i + 1 < count else 'OUT'} 50 2.5 0.013"
              for i in range(count)]
    return "\n".join(lines)


def test_threads_get_the_serial_results_and_run_while_an_analysis_does():
    texts = [(chain(40), "rwn"), (demo(), "project"), ("{", "project")]
    scenarios = [{"intensity_factor": 1.0 + k / 10, "c_factor": 0.9} for k in range(5)]

    def call(k):
        text, fmt = texts[k % 3]
        try:
            result = rillway.analyze_scenarios(text, scenarios, format=fmt)
            return {part: {key: list(value) for key, value in result[part].items()}
                    for part in ("pipes", "nodes")}, result["errors"]
        except ValueError as error:
            return str(error)

    serial = [call(k) for k in range(24)]
    parallel = [None] * 24

    def worker(index):
        for k in range(index, 24, 8):
            parallel[k] = call(k)

    threads = [threading.Thread(target=worker, args=(i,)) for i in range(8)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(timeout=120)
    assert parallel == serial  # NaN-free inputs: plain equality is bit for bit

    # While one thread is inside a long analysis, another runs Python code.
    long_text = chain(1500)
    long_scenarios = [{"intensity_factor": 1.0 + k / 100} for k in range(20)]
    span = []
    ticks = []
    done = threading.Event()

    def analyse():
        span.append(time.perf_counter())
        rillway.analyze_scenarios(long_text, long_scenarios, format="rwn")
        span.append(time.perf_counter())
        done.set()

    thread = threading.Thread(target=analyse)
    thread.start()
    while not done.is_set():
        ticks.append(time.perf_counter())
    thread.join()
    start, end = span
    middle = [t for t in ticks if start + (end - start) / 4 < t < end - (end - start) / 4]
    assert end - start > 0.01 and middle


DASK_SCRIPT = """
import sys
import pandas as pd
from dask.distributed import Client, LocalCluster
from rillway_tools import scenarios as rs
paths = sys.argv[1:]
table = rs.scenario_table(pd.concat([rs.grid(c_factor=[1.0, 1.1], intensity_factor=[1.0, 1.3]),
                                     rs.storms("100")], ignore_index=True))
local = rs.run(paths, table, progress=False)
with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \\
        Client(cluster) as client:
    remote = rs.run(paths, table, client=client, progress=False)
for part in rs.Results._fields:
    pd.testing.assert_frame_equal(getattr(local, part), getattr(remote, part))
print("same", len(local.pipes), int(local.summary["error"].notna().sum()))
"""


def test_dask_local_cluster_gives_the_local_results(tmp_path):
    pytest.importorskip("dask.distributed")
    good = tmp_path / "demo.rwproj"
    good.write_text(demo(), encoding="utf-8")
    chain_file = tmp_path / "chain.rwn"
    chain_file.write_text(chain(30), encoding="utf-8")
    broken = tmp_path / "broken.rwproj"
    broken.write_text("{", encoding="utf-8")
    # A process of its own, so that a cluster that fails to stop cannot hang the suite.
    done = subprocess.run([sys.executable, "-c", DASK_SCRIPT, str(good), str(chain_file),
                           str(broken)], capture_output=True, text=True, timeout=180)
    assert done.returncode == 0, done.stderr[-3000:]
    # 5 scenarios: the demo's 3 pipes under each, the chain's 30 under the four without a
    # return period (its single curve refuses the 100-year storm); the broken file fails all.
    assert done.stdout.split() == ["same", str(5 * 3 + 4 * 30), str(1 + 5)]
