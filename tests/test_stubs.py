"""The type stubs against the real module: where they are installed, and that the result
TypedDicts describe the dictionaries the module actually returns (mypy's stubtest, run by
tests/packaging_check.sh, compares signatures but not dictionary keys)."""
import ast
import importlib.util
import types
import typing
from pathlib import Path

import pytest

import rillway
from rillway_tools import AnalysisResult, CircularGeometry, NodeResult, PipeResult

EXAMPLES = Path(__file__).resolve().parent.parent / "examples"


def installed_stubs():
    origin = Path(importlib.util.find_spec("rillway").origin)
    return origin.parent / "rillway-stubs"


def test_stub_package_is_installed_beside_the_module():
    stubs = installed_stubs()
    assert (stubs / "py.typed").is_file()
    tree = ast.parse((stubs / "__init__.pyi").read_text())
    declared = {node.name for node in tree.body if isinstance(node, ast.FunctionDef)}
    assert declared == {name for name in rillway.__all__
                        if isinstance(getattr(rillway, name), types.BuiltinFunctionType)}


def test_stub_constants_hold_the_module_values():
    tree = ast.parse((installed_stubs() / "__init__.pyi").read_text())
    constants = ("K_MANNING_US", "K_MANNING_SI", "G_US", "G_SI", "FEET_PER_METRE", "ACRES_PER_HECTARE",
                 "INCHES_PER_MILLIMETRE", "SQUARE_FEET_PER_ACRE")
    values = {node.target.id: ast.literal_eval(node.value) for node in tree.body
              if isinstance(node, ast.AnnAssign) and node.target.id in constants}
    assert values == {name: getattr(rillway, name) for name in constants}


def conforms(value, annotation):
    """True when `value` is an instance of the annotation (str, float, bool, `float | None`)."""
    if isinstance(annotation, types.UnionType):
        return any(conforms(value, arm) for arm in typing.get_args(annotation))
    if annotation is type(None):
        return value is None
    return type(value) is annotation


def results():
    """Results with every kind of value: None depths and grade lines, flags set and unset."""
    adverse = ("NODE A inlet 0 0 99 106 1 0.5\nNODE O outfall 100 0 100 105\n"
               "PIPE P A O 100 1.5 0.013\n")
    return [rillway.analyze_project(rillway.demo_project_json()),
            rillway.analyze_rwn((EXAMPLES / "main-street.rwn").read_text()),
            rillway.analyze_rwn(adverse)]


@pytest.mark.parametrize("result", results())
def test_typed_dicts_match_the_returned_dictionaries(result):
    assert list(result) == list(AnalysisResult.__annotations__)
    for rows, typed in ((result["pipes"], PipeResult), (result["nodes"], NodeResult)):
        hints = typing.get_type_hints(typed)
        assert rows
        for row in rows:
            assert list(row) == list(hints)  # same keys, same order
            for key, value in row.items():
                assert conforms(value, hints[key]), (key, value, hints[key])


def test_the_typed_dicts_cover_the_none_values_that_occur():
    seen = {key for result in results() for row in result["pipes"]
            for key, value in row.items() if value is None}
    assert seen == {"normal_depth", "hgl_up"}
    hints = typing.get_type_hints(PipeResult)
    assert all(type(None) in typing.get_args(hints[key]) for key in seen)


def test_circular_geometry_typed_dict():
    geometry = rillway.circular_geometry(1.0, 0.5)
    hints = typing.get_type_hints(CircularGeometry)
    assert list(geometry) == list(hints)
    assert all(conforms(value, hints[key]) for key, value in geometry.items())


def test_stub_docstrings_are_the_module_docstrings():
    """The module's docstrings are the one source; the stubs repeat them word for word."""
    tree = ast.parse((installed_stubs() / "__init__.pyi").read_text())
    stubbed = {node.name: ast.get_docstring(node) for node in tree.body
               if isinstance(node, ast.FunctionDef)}
    assert stubbed == {name: getattr(rillway, name).__doc__ for name in stubbed}
