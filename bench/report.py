"""Time of the drainage report on a big network.

    python3 bench/report.py [--pipes 10000] [--build-dir build/bench]

Builds the benchmark driver and writes its networks (as `bench/run.py` does), then times
`rillway report` on the circular network of the given size, HTML and PDF, each in a fresh
process as a user runs it, and checks what a big report must hold: no ids drawn on the plan,
every pipe and structure in the tables. Targets at 10,000 pipes: HTML in 15 s, PDF in 60 s.
"""
import argparse
import json
import os
import re
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from run import ROOT, build_driver, driver_lines  # noqa: E402

TARGET_SECONDS = {".html": 15.0, ".pdf": 60.0}


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--pipes", type=int, default=10000, choices=(100, 1000, 10000, 100000))
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build", "bench"))
    args = parser.parse_args(argv)

    networks = os.path.join(args.build_dir, "networks")
    source = os.path.join(networks, f"circular_{args.pipes}.rwproj")
    if not os.path.exists(source):
        os.makedirs(networks, exist_ok=True)
        driver_lines(build_driver(args.build_dir), "generate", networks)
    with open(source, encoding="utf-8") as handle:
        project = json.load(handle)
    print(f"{source}: {len(project['pipes'])} pipes, {len(project['nodes'])} structures")

    failed = False
    with tempfile.TemporaryDirectory() as folder:
        for suffix, target in TARGET_SECONDS.items():
            output = os.path.join(folder, "report" + suffix)
            started = time.perf_counter()
            subprocess.run([sys.executable, "-m", "rillway_tools", "report", source,
                            "--output", output], check=True)
            seconds = time.perf_counter() - started
            size = os.path.getsize(output) / 1e6
            verdict = "ok" if seconds <= target else "TOO SLOW"
            failed |= seconds > target
            print(f"report{suffix:5}  {seconds:6.1f} s  (target {target:.0f} s)  "
                  f"{size:6.1f} MB  {verdict}")
            if suffix == ".html":
                with open(output, encoding="utf-8") as handle:
                    html = handle.read()
                check(html, project)
    return 1 if failed else 0


def check(html, project):
    """The plan draws one path per pipe and no ids; the tables hold every record."""
    plan = html[html.index('id="plan"'):html.index('id="profiles"')]
    pipes = plan[plan.index('id="plan-pipes"'):]
    pipes = pipes[:pipes.index("</g>")]
    paths = len(re.findall(r"<path ", pipes))
    rows = {name: html[html.index(f'id="{name}-table"'):].split("</table>")[0].count("<tr")
            - 1 for name in ("pipes", "structures")}
    labelled = any(f">{pipe['id']}<" in plan for pipe in project["pipes"][:50])
    print(f"plan: {paths} pipe paths, ids drawn: {labelled}; table rows: {rows}")
    assert paths == len(project["pipes"]) and not labelled
    assert rows == {"pipes": len(project["pipes"]), "structures": len(project["nodes"])}


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
