"""Realistic benchmark networks: storm sewers laid in rising terrain, written as .rwproj text.

    python3 bench/realistic.py DIR [--sizes 1000,10000]   writes DIR/realistic_<mix>_<pipes>.rwproj

The synthetic networks of bench/network_generator.cpp draw each pipe's slope on its own; these
lay the pipes the way a designer does, so that the grade line meets what it meets in real
projects:

  * dendritic trees, one outfall per 400 pipes or so, the outfalls along a river whose stage
    (the tailwater, 1.6 ft above the mean outfall invert) submerges most of them;
  * ground that rises from the river over a flat plain, then a mild slope, then a hillside
    whose steepness changes along the valley; pipes follow the ground at 5 to 9 ft of cover
    and are laid no flatter than a minimum grade, so trunks on the plain are flat and deep,
    laterals on the hillside are steep and flow supercritical;
  * sizes from the catalogue of the mix (round, box, horizontal elliptical, pipe-arch), chosen
    for the accumulated C*A with a margin between 0.8 and 1.5, so some pipes are undersized
    and run surcharged; crowns are matched where a smaller pipe enters a larger one;
  * most pipes therefore end in water above their normal depth: the backwater profile is
    computed in many of them, as it is in real networks.

Everything comes from one seeded `random.Random`, so a seed gives the same text everywhere.
Only keys that every rillway release reads are written, so any older build analyses the files.
"""
import argparse
import json
import math
import os
import random

MIXES = ["circular", "box", "arch", "elliptical"]
SEED = 20261208

INCH = 1.0 / 12.0
# Catalogue sizes in feet (rise, span), smallest first: reinforced-concrete round pipe, precast
# box culverts, horizontal elliptical pipe and corrugated-metal pipe-arch.
CATALOGUE = {
    "circular": [(d, d) for d in (1.0, 1.25, 1.5, 1.75, 2.0, 2.25, 2.5, 2.75, 3.0, 3.5, 4.0, 4.5,
                                  5.0, 5.5, 6.0, 6.5, 7.0, 7.5, 8.0, 9.0, 10.0, 11.0, 12.0)],
    "box": [(2, 2), (2, 3), (3, 3), (3, 4), (4, 4), (4, 5), (5, 5), (4, 6), (5, 6), (6, 6), (5, 7),
            (6, 8), (8, 8), (6, 10), (8, 10), (10, 10), (8, 12), (10, 12), (12, 12)],
    "elliptical": [(r * INCH, s * INCH) for r, s in (
        (14, 23), (19, 30), (22, 34), (24, 38), (27, 42), (29, 45), (32, 49), (34, 53), (38, 60),
        (43, 68), (48, 76), (53, 83), (58, 91), (63, 98), (68, 106), (72, 113), (77, 121),
        (82, 128), (87, 136), (92, 143), (106, 166), (116, 180))],
    "arch": [(r * INCH, s * INCH) for r, s in (
        (13, 17), (15, 21), (18, 24), (20, 28), (24, 35), (29, 42), (33, 49), (38, 57), (43, 64),
        (47, 71), (52, 77), (57, 83), (64, 95), (71, 103), (77, 112), (83, 117), (91, 128),
        (101, 142))],
}
SHAPE_WORD = {"circular": "circular", "box": "box", "elliptical": "elliptical", "arch": "arch"}

IDF = (60.0, 10.0, 0.8)
RIVER_INVERT = 100.0
TAILWATER = 101.6
PIPES_PER_OUTFALL = 400
OUTFALL_SPACING = 3000.0  # ft along the river


def ground(x, y):
    """Ground elevation (ft) at plan position (x, y); the river runs along y = 0."""
    plain = 0.002 * min(y, 1500.0)
    mild = 0.008 * min(max(y - 1500.0, 0.0), 1500.0)
    steepness = 0.025 + 0.02 * math.sin(x / 1300.0)  # the hillside, 0.5 to 4.5 per cent
    hill = steepness * max(y - 3000.0, 0.0)
    return RIVER_INVERT + 7.0 + plain + mild + hill + 0.8 * math.sin(x / 450.0 + y / 700.0)


def full_capacity(mix, rise, span, n, slope):
    """Designer's chart capacity (cfs) of the full section; the arch is taken as its ellipse."""
    if mix == "box":
        area, perimeter = rise * span, 2.0 * (rise + span)
    else:
        a, b = span / 2.0, rise / 2.0
        area = math.pi * a * b
        h = ((a - b) / (a + b)) ** 2
        perimeter = math.pi * (a + b) * (1.0 + 3.0 * h / (10.0 + math.sqrt(4.0 - 3.0 * h)))
    return 1.486 / n * area * (area / perimeter) ** (2.0 / 3.0) * math.sqrt(slope)


def network(mix, pipes, seed=SEED):
    """The .rwproj text of a realistic network of exactly `pipes` pipes."""
    rng = random.Random(f"{seed}:{mix}:{pipes}")
    r2 = lambda value: round(value, 2)  # noqa: E731 - every coordinate to the hundredth
    outfalls = 1 + pipes // PIPES_PER_OUTFALL
    # Per structure: downstream index (None for outfalls), inflow count, heading, plan position,
    # length of the pipe leaving it.
    down, inflows, heading, xs, ys, length = [], [], [], [], [], []
    trees = []  # per tree: structures with room for another inflow
    for k in range(outfalls):
        down.append(None)
        inflows.append(0)
        heading.append(math.pi / 2.0 + rng.uniform(-0.3, 0.3))
        xs.append(r2(k * OUTFALL_SPACING + rng.uniform(0.0, 400.0)))
        ys.append(0.0)
        length.append(0.0)
        trees.append([k])
    made = 0
    chains = 0
    while made < pipes:
        tree = trees[chains % outfalls]
        chains += 1
        current = tree[rng.randrange(len(tree))]
        for _ in range(1 + rng.randrange(10)):
            if made == pipes:
                break
            inflows[current] += 1
            if inflows[current] == 3:
                tree.remove(current)
            # Branches turn by up to 45 degrees and keep heading up the valley side.
            turn = heading[current] + rng.uniform(-0.8, 0.8)
            turn = min(max(turn, 0.25), math.pi - 0.25)
            run = round(rng.uniform(120.0, 400.0), 1)
            down.append(current)
            inflows.append(0)
            heading.append(turn)
            xs.append(r2(xs[current] + run * math.cos(turn)))
            ys.append(r2(ys[current] + run * math.sin(turn)))
            length.append(run)
            current = len(down) - 1
            tree.append(current)
            made += 1

    count = len(down)
    area = [0.0] * count
    c = [0.0] * count
    tc = [0.0] * count
    junction = [False] * count
    for v in range(outfalls, count):
        if inflows[v] == 0 or rng.random() < 0.6:
            area[v] = round(rng.uniform(0.2, 1.5) if inflows[v] == 0 else rng.uniform(0.1, 0.8), 2)
            c[v] = round(rng.uniform(0.35, 0.9), 2)
            tc[v] = round(rng.uniform(5.0, 15.0), 1)
        else:
            junction[v] = True
    # Structures come after the one they drain to: a reverse walk sees every inflow first.
    ca = [c[v] * area[v] for v in range(count)]
    tc_estimate = [max(tc[v], 10.0) for v in range(count)]
    for v in range(count - 1, outfalls - 1, -1):
        ca[down[v]] += ca[v]
        tc_estimate[down[v]] = max(tc_estimate[down[v]], tc_estimate[v] + length[v] / 240.0)

    # Lay the pipes from the outfalls up: the lower of the ground's line at its cover and the
    # minimum grade from the pipe below, a catalogue size for the flow, crowns matched.
    catalogue = CATALOGUE[mix]
    invert = [r2(RIVER_INVERT + rng.uniform(-0.8, 0.8)) if v < outfalls else 0.0
              for v in range(count)]
    size = [(0.0, 0.0)] * count
    n = [0.0] * count
    invert_dn = [0.0] * count
    for v in range(outfalls, count):
        d = down[v]
        trunk = ca[v] > 30.0
        min_grade = 0.0 if rng.random() < 0.03 else (0.0008 if trunk else 0.004)
        cover = rng.uniform(5.0, 9.0)
        rise_guess = 1.5 if not trunk else 4.0
        wanted = ground(xs[v], ys[v]) - cover - rise_guess
        grade = max((wanted - invert[d]) / length[v], min_grade, 0.001)
        intensity = IDF[0] / (tc_estimate[v] + IDF[1]) ** IDF[2]
        design_q = ca[v] * intensity * rng.uniform(0.8, 1.5)
        n[v] = 0.024 if mix == "arch" else (0.013 if rng.random() < 0.8 else 0.012)
        size[v] = catalogue[-1]
        for rise, span in catalogue:
            if full_capacity(mix, rise, span, n[v], grade) >= design_q:
                size[v] = (rise, span)
                break
        # Crown matching: a smaller pipe enters a larger one at the larger one's crown.
        step = max(size[d][0] - size[v][0], 0.0) if d >= outfalls else 0.0
        invert_dn[v] = r2(invert[d] + step)
        invert[v] = r2(max(ground(xs[v], ys[v]) - cover - size[v][0],
                           invert_dn[v] + min_grade * length[v]))

    ids = [f"OF{v + 1}" if v < outfalls else f"S{v - outfalls + 1}" for v in range(count)]
    nodes = []
    for v in range(count):
        kind = "outfall" if v < outfalls else "junction" if junction[v] else "inlet"
        rim = r2(max(ground(xs[v], ys[v]), invert[v] + size[v][0] + 1.0))
        nodes.append({"id": ids[v], "kind": kind, "x": xs[v], "y": ys[v], "invert": invert[v],
                      "rim": rim, "area_ac": area[v], "c": c[v],
                      "tc_inlet": tc[v] if kind == "inlet" else 0.0})
    pipe_records = []
    for v in range(outfalls, count):
        rise, span = size[v]
        round_pipe = mix == "circular"
        pipe_records.append({
            "id": f"P{v - outfalls + 1}", "from": ids[v], "to": ids[down[v]], "length": length[v],
            "diameter": rise, "n": n[v], "shape": SHAPE_WORD[mix],
            "rise_ft": 0.0 if round_pipe else rise, "span_ft": 0.0 if round_pipe else span,
            "invert_up": invert[v], "invert_dn": invert_dn[v]})
    project = {"name": f"realistic_{mix}_{pipes}", "idf_a": IDF[0], "idf_b": IDF[1],
               "idf_c": IDF[2], "tailwater": TAILWATER, "min_tc": 10.0, "junction_k": 0.5,
               "bend_loss_coeff": 0.0, "hec22_structure_loss": False,
               "access_hole_diam_ft": 4.0, "design_return_period_years": 10.0,
               "min_slope": 0.001, "nodes": nodes, "pipes": pipe_records}
    return json.dumps(project, indent=1) + "\n"


def write_all(directory, sizes, mixes=MIXES):
    """Writes every network into `directory`; returns {(mix, pipes): path}."""
    os.makedirs(directory, exist_ok=True)
    paths = {}
    for mix in mixes:
        for pipes in sizes:
            path = os.path.join(directory, f"realistic_{mix}_{pipes}.rwproj")
            if not os.path.exists(path):
                with open(path + ".part", "w", encoding="utf-8") as handle:
                    handle.write(network(mix, pipes))
                os.replace(path + ".part", path)
            paths[(mix, pipes)] = path
    return paths


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("directory")
    parser.add_argument("--sizes", default="1000,10000", help="pipe counts, comma separated")
    args = parser.parse_args()
    for path in write_all(args.directory, [int(s) for s in args.sizes.split(",")]).values():
        print(path)


if __name__ == "__main__":
    main()
