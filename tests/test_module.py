"""The module object: attributes, function order, signatures and argument binding."""
import inspect
import tomllib
from pathlib import Path

import pytest

import rillway

FUNCTIONS = ["intensity", "rational_q", "manning_capacity", "circular_flow", "normal_depth",
             "critical_depth", "circular_geometry", "open_channel", "access_hole_energy",
             "gutter_flow", "gutter_spread", "inlet_on_grade", "inlet_in_sag", "analyze_project",
             "analyze_file",
             "analyze_rwn", "demo_project_json", "project_schema_json", "read_project",
             "check_project", "read_rwn", "rwn_to_project",
             "analyze_scenarios", "design_project"]
ATTRIBUTES = ["__version__", "K_MANNING_US", "K_MANNING_SI", "G_US", "G_SI", "FEET_PER_METRE",
              "ACRES_PER_HECTARE", "INCHES_PER_MILLIMETRE", "SQUARE_FEET_PER_ACRE"]


def test_all_lists_attributes_then_functions_in_order():
    assert rillway.__all__ == ATTRIBUTES + ["InputWarning"] + FUNCTIONS
    public = [name for name in vars(rillway) if not name.startswith("__") or name == "__version__"]
    assert public == ATTRIBUTES + ["InputWarning"] + FUNCTIONS  # nothing else is added
    assert issubclass(rillway.InputWarning, UserWarning)


def test_constants_and_docstring():
    # The version is written once, in pyproject.toml, and reaches the module from there.
    pyproject = tomllib.loads((Path(__file__).resolve().parent.parent / "pyproject.toml").read_text())
    assert rillway.__version__ == pyproject["project"]["version"]
    assert (rillway.K_MANNING_US, rillway.K_MANNING_SI, rillway.G_US, rillway.G_SI) == (
        1.486, 1.0, 32.2, 9.81)
    assert rillway.__doc__ == ""


@pytest.mark.parametrize("name, signature", [
    ("intensity", "(a, b, c, t_min)"),
    ("rational_q", "(c, i, area)"),
    ("manning_capacity", "(diameter, n, slope, *, si=False)"),
    ("circular_flow", "(diameter, n, slope, depth, *, si=False)"),
    ("normal_depth", "(q, diameter, n, slope, *, si=False)"),
    ("critical_depth", "(q, diameter, *, si=False)"),
    ("circular_geometry", "(diameter, depth)"),
    ("access_hole_energy",
     "(e_i, q_out, d_out, v_out, *, supercritical=False, benching='flat', inflows=())"),
    ("analyze_project", "(project_json)"),
    ("analyze_file", "(path)"),
    ("analyze_rwn", "(text)"),
    ("demo_project_json", "()"),
    ("analyze_scenarios", "(text, scenarios, *, format='project')"),
])
def test_signatures_and_module(name, signature):
    function = getattr(rillway, name)
    assert str(inspect.signature(function)) == signature
    assert function.__module__ == "rillway"
    assert function.__doc__ and not function.__doc__.startswith(name + "(")


def test_docstring_texts_keep_their_em_dash():
    assert rillway.rational_q.__doc__ == (
        "Rational method peak flow: `Q = C * i * A`.\n\n"
        "With `c` dimensionless, `i` in in/hr and `area` in acres, `Q` is in cfs \u2014\n"
        "the customary near-unity conversion is implicit, as in hand practice.")
    assert rillway.normal_depth.__doc__ == (
        "Normal depth for a target flow, or `None` if the pipe cannot pass it.")
    assert rillway.analyze_project.__doc__ == (
        "Analyze a project given as `.rwproj` JSON text.\n\n"
        'Returns `{"name": str, "pipes": [...], "nodes": [...]}`, ready for\n'
        '`pandas.DataFrame(result["pipes"])`.')
    assert rillway.demo_project_json.__doc__ == (
        "The built-in demo project as `.rwproj` JSON \u2014 a runnable starting point.")


@pytest.mark.parametrize("call, message", [
    (lambda: rillway.critical_depth(1, 2, 3),
     "critical_depth() takes 2 positional arguments but 3 were given"),
    (lambda: rillway.normal_depth(1, 2, 0.013, 0.01, False),
     "normal_depth() takes 4 positional arguments but 5 were given"),
    (lambda: rillway.circular_geometry(1, diameter=2),
     "circular_geometry() got multiple values for argument 'diameter'"),
    (lambda: rillway.manning_capacity(1, 0.013, 0.01, SI=True),
     "manning_capacity() got an unexpected keyword argument 'SI'"),
    (lambda: rillway.rational_q(1),
     "rational_q() missing 2 required positional arguments: 'i' and 'area'"),
    (lambda: rillway.intensity(1),
     "intensity() missing 3 required positional arguments: 'b', 'c', and 't_min'"),
    (lambda: rillway.critical_depth(1),
     "critical_depth() missing 1 required positional argument: 'diameter'"),
    (lambda: rillway.circular_flow(),
     "circular_flow() missing 4 required positional arguments: "
     "'diameter', 'n', 'slope', and 'depth'"),
    (lambda: rillway.circular_flow(q=1),
     "circular_flow() got an unexpected keyword argument 'q'"),
])
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message
    assert not getattr(caught.value, "__notes__", None)


def test_single_positional_argument_says_was():
    with pytest.raises(TypeError, match=r"^rational_q\(\) takes 3 positional arguments but 4 were"):
        rillway.rational_q(1, 2, 3, 4)
    with pytest.raises(TypeError) as caught:
        rillway.analyze_file("a", "b")
    assert str(caught.value) == "analyze_file() takes 1 positional arguments but 2 were given"


def test_keywords_bind_by_name():
    assert rillway.circular_geometry(depth=0.5, diameter=1.0) == rillway.circular_geometry(1.0, 0.5)
    assert rillway.intensity(t_min=5, c=0.8, b=10, a=60) == rillway.intensity(60, 10, 0.8, 5)


def test_failed_conversion_carries_note_of_the_first_bad_parameter():
    with pytest.raises(TypeError) as caught:
        rillway.intensity("60", None, 0.8, 5)
    assert caught.value.__notes__ == ["while processing 'a'"]
    with pytest.raises(TypeError) as caught:
        rillway.normal_depth(1.0, 1.5, 0.013, "steep")
    assert caught.value.__notes__ == ["while processing 'slope'"]


class Floaty:
    def __float__(self):
        return 1.5


class Indexy:
    def __index__(self):
        return 2


def test_numbers_convert_like_float():
    assert rillway.rational_q(True, 2, 3) == 6.0
    assert rillway.rational_q(Floaty(), Indexy(), 1) == 3.0
    with pytest.raises(TypeError):
        rillway.rational_q(1, [2], 3)


def test_si_accepts_bool_and_numpy_bool_only():
    np = pytest.importorskip("numpy")
    us = rillway.manning_capacity(1.5, 0.013, 0.01)
    assert rillway.manning_capacity(1.5, 0.013, 0.01, si=False) == us
    assert rillway.manning_capacity(1.5, 0.013, 0.01, si=np.bool_(True)) == \
        rillway.manning_capacity(1.5, 0.013, 0.01, si=True)
    assert rillway.manning_capacity(1.5, 0.013, 0.01, si=np.bool_(False)) == us
    for bad in (1, 0, 1.0, "True", None):
        with pytest.raises(TypeError) as caught:
            rillway.manning_capacity(1.5, 0.013, 0.01, si=bad)
        assert caught.value.__notes__ == ["while processing 'si'"]
