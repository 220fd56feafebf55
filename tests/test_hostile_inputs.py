"""Hostile input: huge texts, huge networks, non-finite numbers, broken text encodings, deep
nesting, huge integers and duplicate ids. Each call must end in a result or in one ordinary
Python exception with a useful message: never a crash, a hang, unbounded memory, the internal
error, or a result that silently lost data.
"""

import copy
import json
import math
import os
import re
import subprocess
import sys
import textwrap

import pytest

import rillway
from conftest import same

MB = 1024 * 1024

# Under AddressSanitizer freed memory waits in quarantine and every block carries red zones, so
# resident memory says nothing about the library there; the calls still run and are checked.
SANITIZED = "libasan" in os.environ.get("LD_PRELOAD", "")

TRUNK_RWN = """IDF 150 12 0.75
NODE IN1 inlet 0 0 100.0 106.0 1.5 0.7 11
NODE J2 junction 100 20 99.0 105.5 0.8 0.6 12
NODE OUT outfall 200 0 98.0 104.0 - - 3
PIPE P1 IN1 J2 100 1.5 0.013
PIPE P2 J2 OUT 120 2.0 0.013
MINTC 12
MINSLOPE .001
JUNCTIONK 0.5
TAILWATER 98.2
INTENSITY 4.5
"""




def outcome(function, *args):
    """The result, or the exception if the call raised an ordinary one."""
    try:
        return function(*args)
    except Exception as error:  # noqa: BLE001 - the internal error is a BaseException and passes
        return error


def chain_rwn(count, close=False, pipe_diameter="2"):
    """`count` inlets in series draining to an outfall, or closed into a loop."""
    lines = [f"NODE N{i} inlet {i} 0 {1000 - i * 0.001:.4f} 1010 0.01 0.5" for i in range(count)]
    lines.append(f"NODE OUT outfall {count} 0 0 1010")
    for i in range(count):
        to = f"N{i + 1}" if i + 1 < count else ("N0" if close else "OUT")
        lines.append(f"PIPE P{i} N{i} {to} 10 {pipe_diameter} 0.013")
    return "\n".join(lines) + "\n"


def chain_project(count, close=False):
    doc = json.loads(rillway.demo_project_json())
    doc["catchments"] = []
    doc["nodes"] = [
        {"id": f"N{i}", "kind": "inlet", "x": i, "y": 0, "invert": 1000 - i * 0.001, "rim": 1010,
         "area_ac": 0.01, "c": 0.5, "tc_inlet": 0}
        for i in range(count)
    ] + [{"id": "OUT", "kind": "outfall", "x": count, "y": 0, "invert": 0, "rim": 1010,
          "area_ac": 0, "c": 0, "tc_inlet": 0}]
    doc["pipes"] = [
        {"id": f"P{i}", "from": f"N{i}",
         "to": f"N{i + 1}" if i + 1 < count else ("N0" if close else "OUT"),
         "length": 10, "diameter": 2, "n": 0.013}
        for i in range(count)
    ]
    return doc


def run_isolated(tmp_path, text, code):
    """Runs `code` in a fresh interpreter with `text` read from a file into `text`; returns what
    the code printed as JSON plus the peak resident memory the call added, in bytes."""
    source = tmp_path / "input.txt"
    source.write_text(text, encoding="utf-8")
    prelude = textwrap.dedent("""\
        import json, resource, sys, time
        import rillway
        with open(sys.argv[1], encoding="utf-8") as f:
            text = f.read()
        base = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        start = time.monotonic()
    """)
    epilogue = textwrap.dedent("""\
        report["seconds"] = time.monotonic() - start
        report["added"] = (resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - base) * 1024
        print(json.dumps(report))
    """)
    script = prelude + textwrap.dedent(code) + epilogue
    done = subprocess.run([sys.executable, "-c", script, str(source)], capture_output=True,
                          text=True, timeout=600, check=False)
    assert done.returncode == 0, done.stderr[-2000:]
    return json.loads(done.stdout)


RAISES = """\
try:
    rillway.{function}(text)
    report = {{"error": None}}
except Exception as error:
    report = {{"error": type(error).__name__, "message": str(error)}}
"""


# --- big texts -------------------------------------------------------------------------------

@pytest.mark.scale
def test_50mb_rwn_network_with_one_dangling_pipe_fails_in_bounded_time_and_memory(tmp_path):
    text = chain_rwn(560_000) + "PIPE X N0 NOWHERE 1 1 0.013\n"
    assert len(text) > 50 * 1000 * 1000
    report = run_isolated(tmp_path, text, RAISES.format(function="analyze_rwn"))
    assert report["error"] == "ValueError"
    assert report["message"] == "analysis failed: pipe references unknown node 'NOWHERE'"
    assert report["seconds"] < 30
    # Nodes, pipes and the id index cost a few times the text; nothing may grow beyond that.
    assert SANITIZED or report["added"] < 8 * len(text)


@pytest.mark.scale
def test_50mb_rwn_syntax_error_on_the_last_line_names_that_line(tmp_path):
    text = chain_rwn(560_000) + "PIPE X N0\n"
    line = text.count("\n")
    report = run_isolated(tmp_path, text, RAISES.format(function="analyze_rwn"))
    assert report["error"] == "ValueError"
    assert report["message"] == f"cannot parse .rwn: line {line}: PIPE needs a to-node"


def test_50mb_of_comments_and_blank_lines_around_a_small_network_lose_nothing():
    padding = ("# " + "c" * 97 + "\n" + " \t \n") * 250_000
    text = padding + TRUNK_RWN.replace("\n", "   # trailing remark\n") + padding
    assert len(text) > 50 * 1000 * 1000
    assert same(rillway.analyze_rwn(text), rillway.analyze_rwn(TRUNK_RWN))


def test_10mb_id_on_one_line_comes_back_whole():
    node_id = "N" * (10 * MB)
    result = rillway.analyze_rwn(f"NODE {node_id} outfall 0 0 95 101\n")
    assert result["nodes"][0]["id"] == node_id


def test_10mb_line_of_ignored_fields_parses_without_memory_blowup(tmp_path):
    # Keeping a view of every field cost 16 bytes per field, about 8 times the line.
    text = "MINTC 12 " + "7 " * (5 * MB)
    code = """
        result = rillway.analyze_rwn(text)
        report = {"nodes": len(result["nodes"])}
    """
    report = run_isolated(tmp_path, text, code)
    assert report["nodes"] == 0
    assert SANITIZED or report["added"] < 2 * len(text)


def test_10mb_field_that_is_not_a_number_gives_a_short_message():
    with pytest.raises(ValueError) as caught:
        rillway.analyze_rwn("MINTC " + "1" * (10 * MB) + "x")
    message = str(caught.value)
    assert message.startswith("cannot parse .rwn: line 1: `111")
    assert message.endswith("...` is not a number")
    assert len(message) < 1000


def test_10mb_line_missing_a_value_quotes_only_its_start():
    with pytest.raises(ValueError) as caught:
        rillway.analyze_rwn("NODE N1 inlet 0 0 100 106 1.5 " + "#" * 10 + "\nPIPE " + "é" * (5 * MB))
    assert str(caught.value) == "cannot parse .rwn: line 1: missing value #9 in `NODE N1 inlet 0 0 100 106 1.5`"
    with pytest.raises(ValueError) as caught:
        rillway.analyze_rwn("IDF 1 " + "é" * (5 * MB))
    message = str(caught.value)
    assert message.startswith("cannot parse .rwn: line 1: `") and message.endswith("...` is not a number")
    assert len(message.encode()) < 1000  # cut on a character boundary, so it decodes


@pytest.mark.scale
def test_10mb_json_strings_are_kept_whole_or_quoted_short():
    doc = json.loads(rillway.demo_project_json())
    doc["name"] = "ñ" * (5 * MB)
    assert rillway.analyze_project(json.dumps(doc, ensure_ascii=False))["name"] == doc["name"]
    doc["idf_a"] = "x" * (10 * MB)
    with pytest.raises(ValueError) as caught:
        rillway.analyze_project(json.dumps(doc))
    message = str(caught.value)
    assert message.startswith('invalid project JSON: invalid type: string "xxx')
    assert re.search(r'\.\.\."\, expected f64 at line 1 column \d+$', message)
    assert len(message) < 1000
    doc["idf_a"] = 60
    doc["units"] = "u" * (10 * MB)
    with pytest.raises(ValueError, match=r"unknown variant `uuu.*\.\.\.`, expected") as caught:
        rillway.analyze_project(json.dumps(doc))
    assert len(str(caught.value)) < 1000


def test_10mb_json_token_the_parser_rejects_is_quoted_short():
    with pytest.raises(ValueError) as caught:
        rillway.analyze_project('{"name": "' + "z" * (10 * MB) + '\u0001"}')
    message = str(caught.value)
    assert message.startswith("invalid project JSON: ") and "zzz" in message
    assert len(message) < 1000


# --- huge networks ---------------------------------------------------------------------------

@pytest.mark.scale
def test_cycle_of_100000_pipes_is_reported_in_both_formats():
    for function, text in [(rillway.analyze_rwn, chain_rwn(100_000, close=True)),
                           (rillway.analyze_project, json.dumps(chain_project(100_000, close=True)))]:
        with pytest.raises(ValueError, match="^analysis failed: network contains a cycle$"):
            function(text)


@pytest.mark.scale
def test_chain_of_100000_pipes_is_routed_without_recursion():
    # The bad size is found after routing the whole chain and before any hydraulics.
    text = chain_rwn(100_000).replace("PIPE P99999 N99999 OUT 10 2 ", "PIPE P99999 N99999 OUT 10 -2 ")
    with pytest.raises(ValueError, match="^analysis failed: pipe 'P99999' has a negative"):
        rillway.analyze_rwn(text)
    doc = chain_project(100_000)
    doc["pipes"][-1]["diameter"] = -2
    with pytest.raises(ValueError, match="^analysis failed: pipe 'P99999' has a negative"):
        rillway.analyze_project(json.dumps(doc))


@pytest.mark.scale
def test_200000_pipes_with_a_dangling_reference_fail_fast():
    text = chain_rwn(200_000) + "PIPE X OUT NOWHERE 1 1 0.013\n"
    with pytest.raises(ValueError, match="unknown node 'NOWHERE'"):
        rillway.analyze_rwn(text)


@pytest.mark.scale
def test_chain_of_100000_pipes_analyses_completely():
    result = rillway.analyze_rwn(chain_rwn(100_000))
    assert len(result["pipes"]) == 100_000 and len(result["nodes"]) == 100_001
    # Travel times add up along the chain, so tc can only grow downstream.
    tcs = [pipe["tc"] for pipe in result["pipes"]]
    assert all(a <= b for a, b in zip(tcs, tcs[1:]))
    # The design pass runs downstream, so the head of the chain designs as a short chain alone
    # (the grade line, swept up from the outfall, differs and is left out).
    design = lambda rows: [{k: v for k, v in row.items() if not k.startswith("hgl")} for row in rows]
    assert same(design(result["pipes"][:49]), design(rillway.analyze_rwn(chain_rwn(50))["pipes"][:49]))


@pytest.mark.scale
def test_200000_pipes_in_parallel_chains_all_match_one_chain_analysed_alone():
    chains, length = 1000, 200
    lines = []
    for k in range(chains):
        for i in range(length):
            lines.append(f"NODE C{k}N{i} inlet {i} {k} {1000 - i * 0.01:.2f} 1010 0.1 0.5")
        lines.append(f"NODE C{k}OUT outfall {length} {k} 990 1010")
        for i in range(length):
            to = f"C{k}N{i + 1}" if i + 1 < length else f"C{k}OUT"
            lines.append(f"PIPE C{k}P{i} C{k}N{i} {to} 50 1.5 0.013")
    result = rillway.analyze_rwn("\n".join(lines))
    assert len(result["pipes"]) == chains * length
    single = rillway.analyze_rwn("\n".join(lines[: 2 * length + 1]))
    strip = lambda rows: [{k: v for k, v in row.items() if k not in ("id", "from", "to")} for row in rows]
    expected = strip(single["pipes"])
    for k in range(chains):
        assert same(strip(result["pipes"][k * length:(k + 1) * length]), expected), k


# --- non-finite and extreme numbers ----------------------------------------------------------

def numeric_fields(text):
    """(line index, field index) of every numeric field of a .rwn text."""
    for li, line in enumerate(text.splitlines()):
        for fi, field in enumerate(line.split()):
            if re.fullmatch(r"[-+]?[0-9.]+", field):
                yield li, fi


@pytest.mark.parametrize("value", ["nan", "-nan", "inf", "-inf", "1e999", "-1e308", "5e-324"])
def test_rwn_non_finite_and_extreme_values_in_every_numeric_field(value):
    lines = TRUNK_RWN.splitlines()
    for li, fi in numeric_fields(TRUNK_RWN):
        fields = lines[li].split()
        fields[fi] = value
        changed = lines[:li] + [" ".join(fields)] + lines[li + 1:]
        result = outcome(rillway.analyze_rwn, "\n".join(changed))
        where = f"line {li + 1} field {fi + 1} = {value}"
        if isinstance(result, Exception):
            # Only a pipe size that is negative or not a number is refused.
            assert isinstance(result, ValueError), where
            assert fields[0] == "PIPE" and fi == 5, f"{where}: {result}"
            assert re.fullmatch(r"analysis failed: pipe 'P\d' has a negative or not-a-number size",
                                str(result)), where
            continue
        if fields[0] == "NODE" and fi == 6:  # the rim comes back as written
            rim = float(value)
            exported = result["nodes"][["IN1", "J2", "OUT"].index(fields[1])]["rim"]
            assert same(exported, rim), where


@pytest.mark.parametrize("literal", ["NaN", "Infinity", "-Infinity", "nan", "1e999", "-1e400"])
def test_json_has_no_non_finite_numbers_in_any_field(literal):
    doc = json.loads(rillway.demo_project_json())
    for path in number_paths(doc):
        text = json.dumps(with_value(doc, path, "@@")).replace('"@@"', literal)
        with pytest.raises(ValueError, match=r"^invalid project JSON: .* at line \d+ column \d+$"):
            rillway.analyze_project(text)


@pytest.mark.parametrize("units", ["us_customary", "si"])
def test_json_extreme_finite_values_in_every_field(units):
    # 1e308 in metres overflows to infinity in feet; the analysis must take that in its stride.
    doc = json.loads(rillway.demo_project_json())
    doc["units"] = units
    doc["tailwater"] = 97.0
    doc["idf_curves"] = [{"rp_years": 10, "a": 1500.0, "b": 10.0, "c": 0.8}]
    for path in number_paths(doc):
        for value in (1e308, -1e308, 5e-324, -0.0):
            changed = with_value(doc, path, value)
            result = outcome(rillway.analyze_project, json.dumps(changed))
            if path[-1] in ("rp_years", "format_version"):  # counts: whole numbers in range
                assert value == 0 or isinstance(result, ValueError), (path, value)
            elif isinstance(result, Exception):
                assert isinstance(result, ValueError), (path, value)
                assert path[0] == "pipes" and path[2] == "diameter" and value < 0, (path, value, result)
            else:
                assert len(result["pipes"]) == len(doc["pipes"])


def test_non_round_shapes_with_extreme_sizes_are_analysed_or_refused():
    doc = json.loads(rillway.demo_project_json())
    for shape in ("elliptical", "arch", "box"):
        for rise, span in [(1e308, 1.0), (1.0, 1e308), (5e-324, 2.0), (1e308, 1e308)]:
            for pipe in doc["pipes"]:
                pipe.update(shape=shape, rise_ft=rise, span_ft=span)
            result = rillway.analyze_project(json.dumps(doc))
            assert len(result["pipes"]) == 3, (shape, rise, span)


CALCULATOR_ARGS = {
    "intensity": (60.0, 10.0, 0.8, 15.0), "rational_q": (0.5, 4.0, 2.0),
    "manning_capacity": (1.5, 0.013, 0.01), "circular_flow": (1.5, 0.013, 0.01, 0.7),
    "normal_depth": (5.0, 1.5, 0.013, 0.01), "critical_depth": (5.0, 1.5),
    "circular_geometry": (1.5, 0.7),
}


@pytest.mark.parametrize("name", list(CALCULATOR_ARGS))
def test_calculators_take_nan_and_inf_in_every_argument(name):
    function = getattr(rillway, name)
    args = CALCULATOR_ARGS[name]
    for i in range(len(args)):
        for value in (math.nan, math.inf, -math.inf, 1e308, -0.0, 5e-324):
            changed = list(args)
            changed[i] = value
            result = outcome(function, *changed)
            assert isinstance(result, (float, dict, type(None), ValueError)), (i, value, result)


@pytest.mark.parametrize("name", list(CALCULATOR_ARGS))
def test_calculators_refuse_5000_digit_integers_with_a_note(name):
    function = getattr(rillway, name)
    parameter = function.__text_signature__.strip("()").split(",")[0].strip()
    args = list(CALCULATOR_ARGS[name])
    args[0] = 10**5000
    with pytest.raises(OverflowError) as caught:
        function(*args)
    assert caught.value.__notes__ == [f"while processing '{parameter}'"]


def test_5000_digit_integers_in_json_and_rwn():
    digits = "9" * 5000
    demo = rillway.demo_project_json()
    for key in ("idf_a", "format_version"):
        text = re.sub(rf'"{key}": [0-9.]+', f'"{key}": {digits}', demo)
        with pytest.raises(ValueError) as caught:
            rillway.analyze_project(text)
        assert str(caught.value).startswith("invalid project JSON: number overflow parsing '999")
        assert len(str(caught.value)) < 1000
    # A fraction of 5,000 digits is an ordinary number.
    fraction = re.sub(r'"idf_a": [0-9.]+', '"idf_a": 0.' + digits, demo)
    assert rillway.analyze_project(fraction)["pipes"]
    # In .rwn text it is a number too big for a double: infinity, not an error.
    result = rillway.analyze_rwn(TRUNK_RWN.replace("106.0", digits))
    assert result["nodes"][0]["rim"] == math.inf


def number_paths(doc, prefix=()):
    if isinstance(doc, dict):
        for key, value in doc.items():
            yield from number_paths(value, prefix + (key,))
    elif isinstance(doc, list):
        for index, value in enumerate(doc):
            yield from number_paths(value, prefix + (index,))
    elif isinstance(doc, (int, float)) and not isinstance(doc, bool):
        yield prefix


def with_value(doc, path, value):
    changed = copy.deepcopy(doc)
    target = changed
    for key in path[:-1]:
        target = target[key]
    target[path[-1]] = value
    return changed


# --- text encodings, NUL and nesting ---------------------------------------------------------

@pytest.mark.parametrize(("name", "parameter"), [("analyze_rwn", "text"),
                                                 ("analyze_project", "project_json"),
                                                 ("analyze_file", "path")])
def test_lone_surrogates_raise_unicode_error_with_a_note(name, parameter):
    for text in ("\ud800", "NODE \udfff outfall 0 0 0 0", "a\udc80b"):
        with pytest.raises(UnicodeEncodeError) as caught:
            getattr(rillway, name)(text)
        assert caught.value.__notes__ == [f"while processing '{parameter}'"]


def test_escaped_lone_surrogate_in_json_is_refused():
    demo = json.loads(rillway.demo_project_json())
    text = json.dumps(demo).replace(json.dumps(demo["name"]), '"\\ud800"', 1)
    with pytest.raises(ValueError, match="^invalid project JSON: .*surrogate"):
        rillway.analyze_project(text)


def test_nul_inside_text():
    # In .rwn text a NUL is an ordinary byte of a field.
    result = rillway.analyze_rwn("NODE A\0B outfall 0 0 95 101\n")
    assert result["nodes"][0]["id"] == "A\0B"
    with pytest.raises(ValueError, match=r"^cannot parse \.rwn: line 1: `1\x00` is not a number$"):
        rillway.analyze_rwn("MINTC 1\0")
    # JSON strings carry it only escaped; a raw one is a syntax error.
    demo = json.loads(rillway.demo_project_json())
    demo["name"] = "x\0y"
    assert rillway.analyze_project(json.dumps(demo))["name"] == "x\0y"
    with pytest.raises(ValueError, match="^invalid project JSON: .*U\\+0000"):
        rillway.analyze_project(json.dumps(demo).replace("\\u0000", "\0"))
    with pytest.raises(OSError) as caught:
        rillway.analyze_file("demo\0.rwproj")
    assert str(caught.value) == ("cannot read demo\0.rwproj: "
                                 "file name contained an unexpected NUL byte")


def test_json_nested_a_million_levels():
    deep = "[" * 1_000_000 + "]" * 1_000_000
    with pytest.raises(ValueError, match="^invalid project JSON: invalid type: sequence"):
        rillway.analyze_project(deep)
    with pytest.raises(ValueError, match="^invalid project JSON: missing field `name`"):
        rillway.analyze_project('{"x":' * 1_000_000 + "1" + "}" * 1_000_000)
    with pytest.raises(ValueError, match="^invalid project JSON: .*unexpected end of input"):
        rillway.analyze_project('{"x":' + "[" * 1_000_000)
    # Under a key the reader does not know, any depth is skipped.
    demo = json.loads(rillway.demo_project_json())
    demo["notes"] = "@@"
    text = json.dumps(demo).replace('"@@"', "[" * 1_000_000 + "]" * 1_000_000)
    assert same(rillway.analyze_project(text), rillway.analyze_project(rillway.demo_project_json()))
    # Inside a record the depth is refused at the first level that does not fit.
    demo = json.loads(rillway.demo_project_json())
    demo["nodes"] = "@@"
    text = json.dumps(demo).replace('"@@"', "[" * 1_000_000 + "]" * 1_000_000)
    with pytest.raises(ValueError, match="^invalid project JSON: invalid type: sequence"):
        rillway.analyze_project(text)


# --- duplicate ids ---------------------------------------------------------------------------

DUPLICATE_RWN = """NODE A inlet 0 0 100 105 1 0.5
NODE A junction 5 0 99.5 104 2 0.5
NODE O outfall 10 0 99 103
PIPE P1 A NOWHERE 10 1.5 0.013
"""


def duplicate_project():
    demo = json.loads(rillway.demo_project_json())
    demo["nodes"].insert(1, dict(demo["nodes"][2], area_ac=5.0))
    demo["pipes"][0]["to"] = "NOWHERE"
    return json.dumps(demo)


@pytest.mark.parametrize("function, text, node", [
    (rillway.analyze_rwn, DUPLICATE_RWN, "A"), (rillway.read_rwn, DUPLICATE_RWN, "A"),
    (rillway.rwn_to_project, DUPLICATE_RWN, "A"),
    (rillway.analyze_project, duplicate_project(), "N3"),
    (rillway.read_project, duplicate_project(), "N3")])
def test_duplicate_node_ids_are_refused_before_unknown_nodes(function, text, node):
    # The namesake's area would vanish from every flow downstream: undersized pipes, no sign.
    with pytest.raises(ValueError, match=f"^analysis failed: duplicate node id '{node}'$"):
        function(text)


def test_duplicate_pipe_ids_are_accepted():
    text = "NODE A inlet 0 0 100 105 1 0.5\nNODE O outfall 10 0 99 103\n" \
           "PIPE P A O 10 1.5 0.013\nPIPE P A O 10 1.5 0.013\n"
    with pytest.warns(rillway.InputWarning, match=r"structure A has 2 pipes leaving it \(P, P\)"):
        assert [p["id"] for p in rillway.analyze_rwn(text)["pipes"]] == ["P", "P"]


def kirpich(length, slope):
    return length**0.77 * 0.0078 * slope**-0.385


@pytest.mark.scale
def test_100000_catchments_fold_in_linear_time():
    # Folding used to scan the node list once per catchment: 100,000 of each took minutes.
    count = 100_000
    doc = json.loads(rillway.demo_project_json())
    doc["pipes"] = []
    doc["nodes"] = [{"id": f"N{i}", "kind": "inlet", "x": 0, "y": 0, "invert": 1, "rim": 2,
                     "area_ac": 0, "c": 0.5, "tc_inlet": 0} for i in range(count)]
    # Long flat catchments, each with its own flow length, so the inlet time shows which node
    # each one reached.
    doc["catchments"] = [{"id": f"K{i}", "vertices": [[0, 0], [43560, 0], [0, 2]], "c": 0.5,
                          "flow_length_ft": 10_000 + i, "slope": 0.0001,
                          "inlet_node_id": f"N{count - 1 - i}"}
                         for i in range(count)]
    result = rillway.analyze_project(json.dumps(doc))
    assert len(result["nodes"]) == count
    for j in (0, 1, 4321, count - 1):
        assert result["nodes"][j]["tc"] == pytest.approx(kirpich(10_000 + count - 1 - j, 0.0001))


# --- files that never end or never open ------------------------------------------------------

def test_a_device_that_never_ends_is_refused_not_read_forever():
    # Reading /dev/zero used to grow the text until memory ran out.
    with pytest.raises(OSError) as caught:
        rillway.analyze_file("/dev/zero")
    assert str(caught.value) == "cannot read /dev/zero: File too large (os error 27)"


def test_a_file_beyond_the_size_limit_is_refused_before_reading(tmp_path):
    huge = tmp_path / "huge.rwproj"
    with open(huge, "wb") as f:
        f.truncate((1 << 30) + 1)  # sparse: no disk space, but a size no reader should take on
    with pytest.raises(OSError, match=r"File too large \(os error 27\)$"):
        rillway.analyze_file(str(huge))


def test_a_fifo_nobody_writes_to_reads_as_empty_instead_of_hanging(tmp_path):
    fifo = tmp_path / "pipe.rwproj"
    os.mkfifo(fifo)
    with pytest.raises(ValueError, match="^invalid project JSON: .*line 1 column 1$"):
        rillway.analyze_file(str(fifo))


def test_unknown_words_warn_and_keep_their_fallback_result():
    demo = json.loads(rillway.demo_project_json())
    baseline = rillway.analyze_project(json.dumps(demo))
    demo["nodes"][0]["kind"] = "manhole"  # read as an inlet, which N1 already is
    demo["pipes"][1]["shape"] = "oval"     # read as circular, which P2 already is
    with pytest.warns(rillway.InputWarning) as caught:
        result = rillway.analyze_project(json.dumps(demo))
    assert [str(w.message) for w in caught] == [
        "node 'N1': unknown kind 'manhole', read as an inlet",
        "pipe 'P2': unknown shape 'oval', read as circular"]
    assert same(result, baseline)
