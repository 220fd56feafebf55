"""Benchmark suite of the design analysis.

    python3 bench/run.py               timing table (under 5 minutes on two cores)
    python3 bench/run.py --callgrind   instruction counts of one analysis of each 1,000-pipe network

The first builds the C++ driver (bench/bench_main.cpp) into build/bench, writes the benchmark
networks there (100 to 100,000 pipes; circular, box, elliptical and arch mixes; .rwproj for all,
.rwn too for the circular ones), and then measures, through the installed `rillway` module:

  * per network and entry point, the median wall time of analyze_rwn / analyze_project, in
    milliseconds and microseconds per pipe, and the peak memory of the call (growth of the
    process's peak resident set, measured in a fresh interpreter);
  * the peak heap of the C++ analysis alone (network already parsed), from the driver;
  * the fast evaluation against the reference evaluation on the 10,000-pipe networks, side by
    side in one process, with the results compared bit for bit;
  * the time per call of each of the seven calculators;
  * design mode on the 10,000-pipe circular network against one analysis of it (C++, the
    target being at most ten analyses).

The second runs the driver under valgrind's callgrind, counting only inside analyze(), for the
fast evaluation of every mix and the reference evaluation of the circular, box and arch mixes
(--with-elliptical-reference adds that one too: some 80 billion instructions, about
20 minutes more).
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MIXES = ["circular", "box", "elliptical", "arch"]
SIZES = [100, 1000, 10000, 100000]
REPEATS = {100: 21, 1000: 9, 10000: 5, 100000: 3}
COMPARE_PIPES = 10000
# Reference runs per mix at COMPARE_PIPES; an elliptical reference analysis takes about a minute.
COMPARE_REPEATS = {"circular": 3, "box": 3, "elliptical": 1, "arch": 3}
CALLGRIND_PIPES = 1000

# Targets at 10,000 pipes, microseconds per pipe through the module.
TARGET_US_PER_PIPE = {"circular": 50.0, "box": 40.0, "arch": 40.0, "elliptical": 3000.0}
TARGET_SPEEDUP = {"circular": 6.0, "elliptical": 8.0}
MAX_GROWTH_10X = 12.0
DESIGN_PIPES = 10000
DESIGN_REPEATS = 3
MAX_DESIGN_RATIO = 10.0


def build_driver(build_dir):
    """Configures and builds the C++ driver; returns its path."""
    generator = ["-G", "Ninja"] if shutil.which("ninja") else []
    subprocess.run(["cmake", "-S", ROOT, "-B", build_dir, *generator, "-DCMAKE_BUILD_TYPE=Release",
                    "-DRILLWAY_BUILD_PYTHON=OFF", "-DRILLWAY_BUILD_TESTS=OFF",
                    "-DRILLWAY_BUILD_BENCH=ON"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build_dir, "--target", "rillway_bench"], check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(build_dir, "bench", "rillway_bench")


def driver_lines(driver, *args):
    """Runs a driver command and returns its JSON lines."""
    out = subprocess.run([driver, *map(str, args)], check=True, capture_output=True, text=True)
    return [json.loads(line) for line in out.stdout.splitlines() if line.strip()]


def entry_points(mix):
    """(entry point, file suffix) pairs a mix is measured through."""
    if mix == "circular":
        return [("analyze_rwn", ".rwn"), ("analyze_project", ".rwproj")]
    return [("analyze_project", ".rwproj")]


def time_call(function, text, repeats):
    """Median wall time of function(text), in seconds, after one warm-up call."""
    function(text)
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        function(text)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


# Run in a fresh interpreter: the growth of the peak resident set (VmHWM, which unlike
# ru_maxrss starts afresh in a new program) over one call.
MEMORY_PROBE = """
import sys, rillway
def peak():
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmHWM:")) * 1024
text = open(sys.argv[2], encoding="utf-8").read()
before = peak()
result = getattr(rillway, sys.argv[1])(text)
print(peak() - before)
"""


def call_peak_bytes(entry, path):
    out = subprocess.run([sys.executable, "-c", MEMORY_PROBE, entry, path], check=True,
                         capture_output=True, text=True)
    return int(out.stdout.strip())


CALCULATORS = [
    ("intensity", (60.0, 10.0, 0.8, 15.0)),
    ("rational_q", (0.7, 5.0, 2.0)),
    ("manning_capacity", (1.5, 0.013, 0.01)),
    ("circular_flow", (1.5, 0.013, 0.01, 0.9)),
    ("normal_depth", (5.0, 1.5, 0.013, 0.01)),
    ("critical_depth", (5.0, 1.5)),
    ("circular_geometry", (1.5, 0.9)),
]


def time_calculators(rillway):
    """Median time per call of each calculator, in microseconds."""
    rows = []
    for name, args in CALCULATORS:
        function = getattr(rillway, name)
        calls = 2000 if name == "normal_depth" else 20000
        samples = []
        for _ in range(7):
            start = time.perf_counter()
            for _ in range(calls):
                function(*args)
            samples.append((time.perf_counter() - start) / calls * 1e6)
        rows.append((name, statistics.median(samples)))
    return rows


def table(headings, rows):
    cells = [headings] + [[str(cell) for cell in row] for row in rows]
    widths = [max(len(row[i]) for row in cells) for i in range(len(headings))]
    lines = ["  ".join(cell.rjust(width) for cell, width in zip(row, widths)) for row in cells]
    lines.insert(1, "  ".join("-" * width for width in widths))
    return "\n".join(lines)


def timing_suite(args):
    import rillway

    started = time.perf_counter()
    driver = build_driver(args.build_dir)
    networks = os.path.join(args.build_dir, "networks")
    os.makedirs(networks, exist_ok=True)
    driver_lines(driver, "generate", networks)
    print(f"rillway {rillway.__version__} from {rillway.__file__}")
    print(f"networks in {networks}\n")

    paths = {(mix, size): os.path.join(networks, f"{mix}_{size}")
             for mix in MIXES for size in SIZES}
    heap = {}
    for record in driver_lines(driver, "memory",
                               *[paths[key] + ".rwproj" for key in sorted(paths)]):
        stem = os.path.basename(record["file"]).rsplit(".", 1)[0]
        heap[stem] = record["peak_bytes"]

    rows = []
    per_pipe = {}
    for mix in MIXES:
        for size in SIZES:
            for entry, suffix in entry_points(mix):
                path = paths[(mix, size)] + suffix
                with open(path, encoding="utf-8") as handle:
                    text = handle.read()
                seconds = time_call(getattr(rillway, entry), text, REPEATS[size])
                us = seconds / size * 1e6
                per_pipe[(mix, size, entry)] = us
                call_peak = call_peak_bytes(entry, path)
                cpp_peak = heap[f"{mix}_{size}"]
                rows.append([mix, size, entry, f"{seconds * 1e3:.1f}", f"{us:.2f}",
                             f"{call_peak / 2**20:.1f}", f"{cpp_peak / 2**20:.2f}",
                             f"{cpp_peak / size:.0f}"])
    print("Analysis through the module (median wall time; peak memory of the call, and of the")
    print("C++ analysis alone with the network already parsed)")
    print(table(["mix", "pipes", "entry point", "ms", "us/pipe", "call peak MiB",
                 "analysis heap MiB", "heap B/pipe"], rows))

    print("\nGrowth from 10,000 to 100,000 pipes (time ratio; 10 is linear)")
    growth_rows = []
    for mix in MIXES:
        for entry, _ in entry_points(mix):
            large = per_pipe[(mix, 100000, entry)] * 100000
            ratio = large / (per_pipe[(mix, 10000, entry)] * 10000)
            heap_ratio = heap[f"{mix}_100000"] / heap[f"{mix}_10000"]
            growth_rows.append([mix, entry, f"{ratio:.2f}", f"{heap_ratio:.2f}",
                                "ok" if ratio <= MAX_GROWTH_10X else "OVER"])
    print(table(["mix", "entry point", "time x", "heap x", f"<= {MAX_GROWTH_10X:g}"],
                growth_rows))

    print(f"\nFast against reference evaluation, {COMPARE_PIPES} pipes, one process, alternating "
          "runs (C++, no parsing)")
    compare_rows = []
    for mix in MIXES:
        (record,) = driver_lines(driver, "compare", mix, COMPARE_PIPES, COMPARE_REPEATS[mix])
        target = TARGET_SPEEDUP.get(mix)
        verdict = "" if target is None else ("ok" if record["ratio"] >= target else "UNDER")
        compare_rows.append([mix, record["repeats"], f"{record['fast_seconds'] * 1e3:.1f}",
                             f"{record['reference_seconds'] * 1e3:.1f}", f"{record['ratio']:.1f}",
                             f"{target:g}x {verdict}" if target else "-",
                             "identical" if record["differing"] == 0 else
                             f"{record['differing']} DIFFER"])
    print(table(["mix", "runs", "fast ms", "reference ms", "speed-up", "target", "results"],
                compare_rows))

    print(f"\nDesign mode against one analysis, {DESIGN_PIPES} pipes, default rules (C++, no parsing)")
    design_rows = []
    for mix in ("circular",):
        (record,) = driver_lines(driver, "design", mix, DESIGN_PIPES, DESIGN_REPEATS)
        design_rows.append([mix, record["repeats"], f"{record['design_seconds'] * 1e3:.1f}",
                            f"{record['analysis_seconds'] * 1e3:.1f}", f"{record['ratio']:.2f}",
                            "ok" if record["ratio"] <= MAX_DESIGN_RATIO else "OVER",
                            record["unmet"]])
    print(table(["mix", "runs", "design ms", "analysis ms", "ratio", f"<= {MAX_DESIGN_RATIO:g}",
                 "unmet rules"], design_rows))

    print("\nCalculators (median time per call through the module)")
    print(table(["function", "us/call"],
                [[name, f"{us:.3f}"] for name, us in time_calculators(rillway)]))

    print("\nTargets at 10,000 pipes (us per pipe through the module)")
    target_rows = []
    for mix in MIXES:
        worst = max(per_pipe[(mix, 10000, entry)] for entry, _ in entry_points(mix))
        target = TARGET_US_PER_PIPE[mix]
        target_rows.append([mix, f"{worst:.2f}", f"{target:g}",
                            "ok" if worst <= target else "OVER"])
    print(table(["mix", "us/pipe", "target", ""], target_rows))
    print(f"\nsuite finished in {time.perf_counter() - started:.0f} s")


def callgrind_count(driver, mix, pipes, reference):
    """Instructions executed inside analyze() for one analysis."""
    with tempfile.TemporaryDirectory() as scratch:
        out = os.path.join(scratch, "callgrind.out")
        command = ["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}",
                   "--collect-atstart=no", "--toggle-collect=rillway::network::analyze(*PipeSolvers*",
                   driver, "analyze", mix, str(pipes)]
        if reference:
            command.append("reference")
        subprocess.run(command, check=True, capture_output=True)
        with open(out, encoding="utf-8") as handle:
            for line in handle:
                if line.startswith("summary:"):
                    return int(line.split()[1])
    raise RuntimeError("callgrind wrote no summary")


def callgrind_suite(args):
    if not shutil.which("valgrind"):
        sys.exit("valgrind is not installed")
    driver = build_driver(args.build_dir)
    rows = []
    for mix in MIXES:
        fast = callgrind_count(driver, mix, CALLGRIND_PIPES, False)
        reference = None
        if mix != "elliptical" or args.with_elliptical_reference:
            reference = callgrind_count(driver, mix, CALLGRIND_PIPES, True)
        rows.append([mix, f"{fast:,}", f"{fast / CALLGRIND_PIPES:,.0f}",
                     f"{reference:,}" if reference else "-",
                     f"{reference / fast:.1f}" if reference else "-"])
    print(f"Instructions inside analyze(), {CALLGRIND_PIPES}-pipe benchmark networks (callgrind)")
    print(table(["mix", "fast", "fast per pipe", "reference", "ratio"], rows))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--callgrind", action="store_true",
                        help="count instructions instead of timing")
    parser.add_argument("--with-elliptical-reference", action="store_true",
                        help="with --callgrind: also count the elliptical reference evaluation")
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build", "bench"),
                        help="where the driver and the networks go (default build/bench)")
    args = parser.parse_args(argv)
    if args.callgrind:
        callgrind_suite(args)
    else:
        timing_suite(args)


if __name__ == "__main__":
    main(sys.argv[1:])
