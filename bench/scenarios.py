"""Benchmark of scenario runs at scale: threads, the local pool and a local Dask cluster.

    python3 bench/scenarios.py                   all three targets (about 8 minutes, 2 cores)
    python3 bench/scenarios.py --scenarios 2000  a shorter run

Uses the 1,000-pipe circular benchmark network (bench/run.py's generator, built into
build/bench) and the installed `rillway` module with the dask extra. Each target is a ratio of
two times measured in this one run:

  1. threads: analyze_rwn called by 2 threads against 1 thread, the same calls (>= 1.8x);
  2. run on the local pool: 10,000 scenarios through rillway_tools.scenarios.run (scenario
     application, the tables and the summary) against the bare analyses: as many analyze_rwn
     calls on a pool of the same size, over the .rwn texts of 200 of the same scenarios written
     out with their factors applied (<= 1.5x);
  3. the same run on a LocalCluster of two worker processes against the local pool (<= 1.3x).

Other work on the machine slows each measurement differently, so the bare analyses, the local
run and the Dask run take turns, --rounds times, and each ratio uses the fastest of each kind.
The load average is printed before and after.
"""
import argparse
import os
import sys
import time
from concurrent.futures import ThreadPoolExecutor

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import rillway  # noqa: E402
from rillway_tools import scenarios as rs  # noqa: E402

import run as bench_run  # noqa: E402  (bench/run.py: the network generator driver)

WORKERS = 2
BARE_TEXTS = 200
TARGETS = {"threads": 1.8, "pool": 1.5, "dask": 1.3}


def network(build_dir):
    path = os.path.join(build_dir, "networks", "circular_1000.rwn")
    if not os.path.exists(path):
        driver = bench_run.build_driver(build_dir)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        bench_run.driver_lines(driver, "generate", os.path.dirname(path))
    return path


def pooled(function, text, calls, workers):
    """Seconds for `calls` calls of function(text) on a pool of `workers` threads."""
    with ThreadPoolExecutor(max_workers=workers) as pool:
        start = time.perf_counter()
        for _ in pool.map(lambda _: function(text), range(calls)):
            pass
        return time.perf_counter() - start


def scenario_text(text, row):
    """The .rwn text of the network with a scenario's factors written into it: the IDF a, every
    C and every n multiplied as the library multiplies them, so the analysis is the same."""
    out = []
    for line in text.splitlines():
        words = line.split()
        if words[:1] == ["IDF"]:
            words[1] = repr(float(words[1]) * row.intensity_factor)
        elif words[:1] == ["NODE"] and len(words) > 8:
            words[8] = repr(float(words[8]) * row.c_factor)
        elif words[:1] == ["PIPE"]:
            words[6] = repr(float(words[6]) * row.n_factor)
        out.append(" ".join(words))
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--scenarios", type=int, default=10000)
    parser.add_argument("--thread-calls", type=int, default=300)
    parser.add_argument("--rounds", type=int, default=2)
    parser.add_argument("--build-dir", default=os.path.join(bench_run.ROOT, "build", "bench"))
    args = parser.parse_args()

    path = network(args.build_dir)
    text = open(path, encoding="utf-8").read()
    print(f"load average before: {os.getloadavg()[0]:.2f} (1 min), {os.cpu_count()} cores")
    rillway.analyze_rwn(text)

    one = min(pooled(rillway.analyze_rwn, text, args.thread_calls, 1) for _ in range(args.rounds))
    two = min(pooled(rillway.analyze_rwn, text, args.thread_calls, 2) for _ in range(args.rounds))
    speedup = one / two
    print(f"threads: {args.thread_calls} analyses of 1,000 pipes: 1 thread {one:.2f} s, "
          f"2 threads {two:.2f} s, speed-up {speedup:.2f}x (target >= {TARGETS['threads']}x)")

    table = rs.sample(args.scenarios, seed=2024, intensity_factor=(1.0, 1.4),
                      c_factor=rs.normal(1.0, 0.05), n_factor=(0.9, 1.1))
    rows = list(table.itertuples(index=False))
    step = max(1, len(rows) // BARE_TEXTS)
    bare_texts = [scenario_text(text, row) for row in rows[::step][:BARE_TEXTS]]
    assert all("IDF" in t for t in bare_texts[:1])

    def bare_run():
        with ThreadPoolExecutor(max_workers=WORKERS) as pool:
            start = time.perf_counter()
            for _ in pool.map(lambda k: rillway.analyze_rwn(bare_texts[k % len(bare_texts)]),
                              range(args.scenarios)):
                pass
            return time.perf_counter() - start

    def timed(function):
        start = time.perf_counter()
        result = function()
        return time.perf_counter() - start, result

    from dask.distributed import Client, LocalCluster

    times = {"bare": [], "pool": [], "dask": []}
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster) as client:
        client.submit(rillway.analyze_rwn, text).result()  # workers warm, module imported
        for _ in range(args.rounds):
            times["bare"].append(bare_run())
            seconds, local = timed(lambda: rs.run([path], table, workers=WORKERS, progress=False))
            times["pool"].append(seconds)
            # The written-out text of a scenario analyses to what the run gave for it.
            plain = rillway.analyze_rwn(bare_texts[1])
            assert list(local.pipes["design_q"][step * 1000:step * 1000 + 1000]) == \
                [p["design_q"] for p in plain["pipes"]]
            pipe_rows = len(local.pipes)
            assert local.summary["error"].isna().all()
            del local
            seconds, remote = timed(lambda: rs.run([path], table, client=client, progress=False))
            times["dask"].append(seconds)
            assert len(remote.pipes) == pipe_rows and remote.summary["error"].isna().all()
            del remote
            print("  round: " + ", ".join(f"{k} {v[-1]:.1f} s" for k, v in times.items()),
                  flush=True)
    bare, pool_time, dask_time = (min(times[k]) for k in ("bare", "pool", "dask"))
    print(f"pool: {args.scenarios} scenarios ({pipe_rows:,} pipe rows): bare analyses "
          f"{bare:.1f} s, run {pool_time:.1f} s, ratio {pool_time / bare:.2f} "
          f"(target <= {TARGETS['pool']})")
    print(f"dask: LocalCluster of 2 processes {dask_time:.1f} s, local pool {pool_time:.1f} s, "
          f"ratio {dask_time / pool_time:.2f} (target <= {TARGETS['dask']})")
    print(f"load average after: {os.getloadavg()[0]:.2f} (1 min)")


if __name__ == "__main__":
    main()
