"""Side-by-side timing of the working tree against another revision on realistic networks.

    python3 bench/compare.py REV                      1,000 and 10,000 pipes, every mix
    python3 bench/compare.py REV --quick              2,000 pipes, three rounds (about a minute
                                                      once both builds are cached)
    python3 bench/compare.py REV --sizes 5000 --mixes circular,elliptical --rounds 9
    python3 bench/compare.py REV --callgrind          instruction counts, 2,000 pipes

REV (anything `git rev-parse` takes) is exported with `git archive` into build/compare/ and the
extension module of it and of the working tree are each built there by CMake in their own
build directory (Release, as the wheel is; kept between runs, so a second run only rebuilds
what changed). Each build is then loaded by an interpreter of its own, and the two analyse the
realistic networks of bench/realistic.py through `analyze_project`, one call each in turn, the
order swapped every round so that both see the same machine load. The best time of each is
kept; the table gives microseconds per pipe and the ratio working tree / REV, per mix and
network size, and per mix over all sizes. The results of both builds are compared field by
field, bit for bit, on the keys both produce.

The machine's load average is printed before and after: on a shared machine quote it with the
numbers. `--callgrind` counts the instructions of one analysis of each network in each build
instead (valgrind), which the load does not disturb.
"""
import argparse
import hashlib
import json
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "bench"))
import realistic  # noqa: E402
from run import table  # noqa: E402

WORK = os.path.join(ROOT, "build", "compare")

# One interpreter per build: imports that build's module alone, then answers requests of one
# JSON line each on stdin: {"path": ...} -> the seconds of one analysis of the file, and the
# first time a file is seen, every result value as exact text.
WORKER = r"""
import gc, json, sys, time
sys.path.insert(0, sys.argv[1])
import rillway
assert rillway.__file__.startswith(sys.argv[1]), rillway.__file__
texts = {}

def digest(result):
    # Per table and field, the exact text of every row's value (floats in hex).
    return {table: {key: [value.hex() if isinstance(value, float) else repr(value)
                          for value in (row[key] for row in result[table])]
                    for key in (result[table][0] if result[table] else {})}
            for table in ("pipes", "nodes")}

print(json.dumps({"module": rillway.__file__}), flush=True)
for line in sys.stdin:
    request = json.loads(line)
    path = request["path"]
    answer = {}
    if path not in texts:
        with open(path, encoding="utf-8") as handle:
            texts[path] = handle.read()
        answer["values"] = digest(rillway.analyze_project(texts[path]))
    gc.collect()
    gc.disable()
    start = time.perf_counter()
    rillway.analyze_project(texts[path])
    answer["seconds"] = time.perf_counter() - start
    gc.enable()
    print(json.dumps(answer), flush=True)
"""


def git(*args):
    return subprocess.run(["git", "-C", ROOT, *args], check=True, capture_output=True,
                          text=True).stdout.strip()


def export_revision(sha):
    """The source tree of a commit, exported once into build/compare/src-<sha>."""
    source = os.path.join(WORK, f"src-{sha[:12]}")
    if not os.path.isdir(source):
        partial = source + ".part"
        shutil.rmtree(partial, ignore_errors=True)
        os.makedirs(partial)
        archive = subprocess.run(["git", "-C", ROOT, "archive", sha], check=True,
                                 capture_output=True).stdout
        subprocess.run(["tar", "-x", "-C", partial], input=archive, check=True)
        os.replace(partial, source)
    return source


def build_module(source, name):
    """Builds the extension module of a source tree; returns the directory holding it alone."""
    build = os.path.join(WORK, f"build-{name}")
    generator = ["-G", "Ninja"] if shutil.which("ninja") else []
    print(f"building {name} ...", flush=True)
    subprocess.run(["cmake", "-S", source, "-B", build, *generator, "-DCMAKE_BUILD_TYPE=Release",
                    "-DRILLWAY_BUILD_PYTHON=ON", "-DRILLWAY_BUILD_TESTS=OFF",
                    f"-DPython_EXECUTABLE={sys.executable}"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "--target", "rillway"], check=True,
                   stdout=subprocess.DEVNULL)
    (module,) = [f for f in os.listdir(build) if f.startswith("rillway.") and f.endswith(".so")]
    target = os.path.join(WORK, f"module-{name}")
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(target)
    shutil.copy2(os.path.join(build, module), target)
    return target


class Worker:
    def __init__(self, module_dir):
        self.process = subprocess.Popen([sys.executable, "-I", "-c", WORKER, module_dir],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.module = json.loads(self.process.stdout.readline())["module"]

    def analyse(self, path):
        self.process.stdin.write(json.dumps({"path": path}) + "\n")
        self.process.stdin.flush()
        line = self.process.stdout.readline()
        if not line:
            raise RuntimeError(f"the interpreter of {self.module} stopped on {path}")
        return json.loads(line)

    def close(self):
        self.process.stdin.close()
        self.process.wait()


# One analysis under callgrind, counting only inside the module's analyze_project (whose C
# signature every release shares).
CALLGRIND_ONE = r"""
import sys
sys.path.insert(0, sys.argv[1])
import rillway
assert rillway.__file__.startswith(sys.argv[1]), rillway.__file__
with open(sys.argv[2], encoding="utf-8") as handle:
    rillway.analyze_project(handle.read())
"""


def callgrind_count(module_dir, path, out):
    """Instructions executed inside analyze_project for one analysis of the file."""
    subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}",
                    "--collect-atstart=no",
                    "--toggle-collect=*analyze_project(_object*, _object*, _object*)",
                    sys.executable, "-I", "-c", CALLGRIND_ONE, module_dir, path],
                   check=True, capture_output=True,
                   env={**os.environ, "PYTHONHASHSEED": "0"})  # the result dicts hash the same
    with open(out, encoding="utf-8") as handle:
        for line in handle:
            if line.startswith("summary:"):
                return int(line.split()[1])
    raise RuntimeError(f"callgrind wrote no summary for {path}")


def callgrind_table(rev, sha, dirs, paths):
    rows = []
    for (mix, pipes), path in paths.items():
        counts = {}
        for side, name in (("old", sha[:12]), ("new", "tree")):
            out = os.path.join(WORK, f"callgrind-{name}-{mix}-{pipes}.out")
            counts[side] = callgrind_count(dirs[side], path, out)
        rows.append([mix, f"{pipes:,}", f"{counts['old'] / pipes:,.0f}",
                     f"{counts['new'] / pipes:,.0f}", f"{counts['new'] / counts['old']:.4f}"])
    print(f"Instructions per pipe inside analyze_project (callgrind; the profiles are kept as "
          f"{os.path.relpath(WORK)}/callgrind-*.out for callgrind_annotate)")
    print(table(["mix", "pipes", sha[:12], "tree", "tree / " + rev], rows))


def differences(old, new):
    """'identical', or how many rows of each table differ in the fields both builds give."""
    counts = []
    for name, a in old.items():
        b = new[name]
        common = sorted(set(a) & set(b))
        rows = {i for key in common for i, (x, y) in enumerate(zip(a[key], b[key])) if x != y}
        if rows:
            fields = [key for key in common if a[key] != b[key]]
            counts.append(f"{len(rows)} {name} ({', '.join(fields)})")
    return "identical" if not counts else "DIFFER: " + "; ".join(counts)


def load():
    one, five, fifteen = os.getloadavg()
    return f"load average {one:.2f}, {five:.2f}, {fifteen:.2f} on {os.cpu_count()} cores"


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("rev", help="the revision to compare with (a commit, tag or branch)")
    parser.add_argument("--sizes", help="network sizes in pipes, comma separated "
                        "(default 1000,10000; with --quick 2000)")
    parser.add_argument("--mixes", default=",".join(realistic.MIXES),
                        help="section mixes, comma separated (default all)")
    parser.add_argument("--rounds", type=int, help="timed calls per build and network, the best "
                        "kept (default 5; with --quick 3)")
    parser.add_argument("--quick", action="store_true", help="one size, fewer rounds")
    parser.add_argument("--callgrind", action="store_true",
                        help="count instructions of one analysis of each network instead of "
                        "timing (independent of the machine's load; default size 2000)")
    args = parser.parse_args(argv)
    sizes = [int(s) for s in (args.sizes or ("2000" if args.quick or args.callgrind else "1000,10000")).split(",")]
    mixes = args.mixes.split(",")
    unknown = [m for m in mixes if m not in realistic.MIXES]
    if unknown:
        parser.error(f"unknown mix {unknown[0]!r}; the mixes are {', '.join(realistic.MIXES)}")
    rounds = args.rounds or (3 if args.quick else 5)

    sha = git("rev-parse", "--verify", f"{args.rev}^{{commit}}")
    head = git("rev-parse", "--short", "HEAD")
    dirty = " with uncommitted changes" if git("status", "--porcelain", "--untracked-files=no") \
        else ""
    started = time.perf_counter()
    os.makedirs(WORK, exist_ok=True)
    old_dir = build_module(export_revision(sha), sha[:12])
    new_dir = build_module(ROOT, "tree")
    with open(realistic.__file__, "rb") as handle:
        generator = hashlib.sha256(handle.read()).hexdigest()[:12]
    paths = realistic.write_all(os.path.join(WORK, f"networks-{generator}"), sizes, mixes)

    print(f"\n{args.rev} ({sha[:12]}) against the working tree (HEAD {head}{dirty})")
    if args.callgrind:
        callgrind_table(args.rev, sha, {"old": old_dir, "new": new_dir}, paths)
        return
    print(f"before: {load()}", flush=True)
    old, new = Worker(old_dir), Worker(new_dir)
    best = {}
    values = {}
    try:
        for r in range(rounds):
            for key, path in paths.items():
                pair = [("old", old), ("new", new)]
                for side, worker in pair if r % 2 == 0 else reversed(pair):
                    answer = worker.analyse(path)
                    if "values" in answer:
                        values[(side, key)] = answer["values"]
                    slot = (side, key)
                    best[slot] = min(best.get(slot, float("inf")), answer["seconds"])
    finally:
        old.close()
        new.close()
    print(f"after:  {load()}\n")

    rows = []
    for mix in mixes:
        total = {"old": 0.0, "new": 0.0}
        for pipes in sizes:
            key = (mix, pipes)
            verdict = differences(values[("old", key)], values[("new", key)])
            for side in total:
                total[side] += best[(side, key)]
            rows.append([mix, f"{pipes:,}", f"{best[('old', key)] / pipes * 1e6:.2f}",
                         f"{best[('new', key)] / pipes * 1e6:.2f}",
                         f"{best[('new', key)] / best[('old', key)]:.3f}", verdict])
        if len(sizes) > 1:
            pipes = sum(sizes)
            rows.append([mix, "all", f"{total['old'] / pipes * 1e6:.2f}",
                         f"{total['new'] / pipes * 1e6:.2f}",
                         f"{total['new'] / total['old']:.3f}", ""])
    print(f"analyze_project on realistic networks, best of {rounds}, us per pipe")
    print(table(["mix", "pipes", sha[:12], "tree", "tree / " + sha[:7], "results"], rows))
    print(f"\nfinished in {time.perf_counter() - started:.0f} s")


if __name__ == "__main__":
    main(sys.argv[1:])
