"""Benchmark of scenario runs at scale: threads, the local pool and a local Dask cluster.

    python3 bench/scenarios.py                   all three targets (about 4 minutes, 2 cores)
    python3 bench/scenarios.py --scenarios 2000  a shorter run

Uses the 1,000-pipe circular benchmark network (bench/run.py's generator, built into
build/bench) and the installed `rillway` module with the dask extra. Each target is a ratio of
two times measured in this one run:

  1. threads: analyze_rwn called by 2 threads against 1 thread, the same calls (>= 1.8x);
  2. run on the local pool: 10,000 scenarios through rillway_tools.scenarios.run (scenario
     application, the tables and the summary) against the bare analyses, the same number of
     analyze_rwn calls on a pool of the same size (<= 1.5x);
  3. the same run on a LocalCluster of two worker processes against the local pool (<= 1.3x).

The machine's load average is printed first: the ratios assume nothing else is running.
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


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--scenarios", type=int, default=10000)
    parser.add_argument("--thread-calls", type=int, default=300)
    parser.add_argument("--build-dir", default=os.path.join(bench_run.ROOT, "build", "bench"))
    args = parser.parse_args()

    path = network(args.build_dir)
    text = open(path, encoding="utf-8").read()
    print(f"load average before: {os.getloadavg()[0]:.2f} (1 min), {os.cpu_count()} cores")
    rillway.analyze_rwn(text)

    one = pooled(rillway.analyze_rwn, text, args.thread_calls, 1)
    two = pooled(rillway.analyze_rwn, text, args.thread_calls, 2)
    speedup = one / two
    print(f"threads: {args.thread_calls} analyses of 1,000 pipes: 1 thread {one:.2f} s, "
          f"2 threads {two:.2f} s, speed-up {speedup:.2f}x (target >= {TARGETS['threads']}x)")

    table = rs.sample(args.scenarios, seed=2024, intensity_factor=(1.0, 1.4),
                      c_factor=rs.normal(1.0, 0.05), n_factor=(0.9, 1.1))
    bare = pooled(rillway.analyze_rwn, text, args.scenarios, WORKERS)
    start = time.perf_counter()
    local = rs.run([path], table, workers=WORKERS, progress=False)
    pool_time = time.perf_counter() - start
    rows = len(local.pipes)
    assert local.summary["error"].isna().all()
    del local
    print(f"pool: {args.scenarios} scenarios ({rows:,} pipe rows): bare analyses {bare:.1f} s, "
          f"run {pool_time:.1f} s, ratio {pool_time / bare:.2f} (target <= {TARGETS['pool']})")

    from dask.distributed import Client, LocalCluster

    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster) as client:
        client.submit(rillway.analyze_rwn, text).result()  # workers warm, module imported
        start = time.perf_counter()
        remote = rs.run([path], table, client=client, progress=False)
        dask_time = time.perf_counter() - start
    assert len(remote.pipes) == rows and remote.summary["error"].isna().all()
    print(f"dask: LocalCluster of 2 processes {dask_time:.1f} s, local pool {pool_time:.1f} s, "
          f"ratio {dask_time / pool_time:.2f} (target <= {TARGETS['dask']})")
    print(f"load average after: {os.getloadavg()[0]:.2f} (1 min)")


if __name__ == "__main__":
    main()
