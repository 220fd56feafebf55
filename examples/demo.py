"""Analyse the built-in demo project and print its design table.

    python3 examples/demo.py [project.rwproj]

With a path, analyses that project file instead of the demo.
"""
import sys

import rillway

PIPE_COLUMNS = [  # key, heading, format
    ("id", "pipe", "s"), ("from", "from", "s"), ("to", "to", "s"),
    ("slope", "slope ft/ft", ".4f"), ("total_ca", "C*A ac", ".3f"), ("tc", "tc min", ".2f"),
    ("intensity", "i in/hr", ".3f"), ("design_q", "Q cfs", ".2f"),
    ("capacity", "Qfull cfs", ".2f"), ("pct_full", "Q/Qfull", ".2f"),
    ("velocity", "V ft/s", ".2f"), ("travel_time", "tt min", ".2f"),
    ("normal_depth", "yn ft", ".3f"), ("critical_depth", "yc ft", ".3f"),
    ("hgl_up", "HGL up ft", ".2f"), ("hgl_dn", "HGL dn ft", ".2f"),
    ("surcharged", "surch.", "s"),
]
NODE_COLUMNS = [
    ("id", "node", "s"), ("tc", "tc min", ".2f"), ("rim", "rim ft", ".2f"),
    ("hgl", "HGL ft", ".2f"), ("freeboard", "freeboard ft", ".2f"), ("floods", "floods", "s"),
]


def cell(value, fmt):
    if value is None:
        return "-"
    if isinstance(value, bool):
        return "yes" if value else "no"
    return format(value, fmt)


def table(rows, columns):
    cells = [[heading for _, heading, _ in columns]]
    cells += [[cell(row[key], fmt) for key, _, fmt in columns] for row in rows]
    widths = [max(len(line[i]) for line in cells) for i in range(len(columns))]
    lines = []
    for number, line in enumerate(cells):
        lines.append("  ".join(text.rjust(width) for text, width in zip(line, widths)))
        if number == 0:
            lines.append("  ".join("-" * width for width in widths))
    return "\n".join(lines)


def main(argv):
    result = rillway.analyze_file(argv[1]) if len(argv) > 1 else \
        rillway.analyze_project(rillway.demo_project_json())
    print(result["name"])
    print()
    print(table(result["pipes"], PIPE_COLUMNS))
    print()
    print(table(result["nodes"], NODE_COLUMNS))


if __name__ == "__main__":
    main(sys.argv)
