"""Runs every code example of the README, in a scratch folder holding a copy of `examples/`:
`pycon` blocks as doctests, `python` blocks as scripts, `console` blocks as shell commands whose
output must read as written, and blocks marked `<!-- file: PATH -->` compared with that file.
The two `bash` blocks are the set-up commands."""
import doctest
import os
import re
import shutil
import subprocess
import sysconfig
import tomllib
from pathlib import Path

import matplotlib
import pytest

matplotlib.use("Agg")

REPO = Path(__file__).resolve().parent.parent
README = (REPO / "README.md").read_text()
FENCE = re.compile(r"(?:<!-- file: (?P<file>\S+) -->\n)?```(?P<lang>\w*)\n(?P<body>.*?)^```$",
                   re.S | re.M)
BLOCKS = [(m.group("lang"), m.group("file"), m.group("body"),
           README.count("\n", 0, m.start()) + 1) for m in FENCE.finditer(README)]


def blocks(lang):
    return [pytest.param(body, id=f"line-{line}")
            for kind, file, body, line in BLOCKS if kind == lang and file is None]


@pytest.fixture
def scratch(tmp_path, monkeypatch):
    shutil.copytree(REPO / "examples", tmp_path / "examples")
    monkeypatch.chdir(tmp_path)
    return tmp_path


def test_every_block_is_of_a_kind_that_is_run():
    for lang, file, _, line in BLOCKS:
        assert file is not None or lang in ("pycon", "python", "console", "bash"), line


@pytest.mark.parametrize("lang, file, body", [
    pytest.param(lang, file, body, id=file) for lang, file, body, _ in BLOCKS if file])
def test_file_blocks_show_the_example_files(lang, file, body):
    assert body == (REPO / file).read_text()


def test_the_two_setup_commands():
    install, tests = [body.strip() for body in
                      (b for lang, file, b, _ in BLOCKS if lang == "bash")]
    assert install == 'python3 -m pip install ".[plot]" && rillway demo'
    assert tests == "bash tests/run.sh"
    project = tomllib.loads((REPO / "pyproject.toml").read_text())["project"]
    assert "plot" in project["optional-dependencies"]
    assert project["scripts"]["rillway"] == "rillway_tools.cli:main"
    assert (REPO / "tests" / "run.sh").is_file()


@pytest.mark.parametrize("body", blocks("pycon"))
def test_pycon_examples(scratch, body):
    if "import pandas" in body:  # pandas is no requirement of rillway; the example needs it
        pytest.importorskip("pandas")
    parser = doctest.DocTestParser()
    test = parser.get_doctest(body, {}, "README", "README.md", 0)
    runner = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE | doctest.ELLIPSIS)
    runner.run(test, out=lambda text: pytest.fail(text, pytrace=False))
    assert runner.summarize(verbose=False).attempted > 0


@pytest.mark.parametrize("body", blocks("python"))
def test_python_examples(scratch, body):
    exec(compile(body, "README.md", "exec"), {"__name__": "__main__"})
    matplotlib.pyplot.close("all")
    for target in re.findall(r'savefig\("([^"]+)"', body):  # the pictures are written
        assert (scratch / target).read_bytes().startswith(b"\x89PNG")


def rillway_on_path():
    """PATH with the folder of the installed `rillway` command in front."""
    scripts = Path(sysconfig.get_path("scripts"))
    if not (scripts / "rillway").exists():
        found = shutil.which("rillway")
        if found is None:
            pytest.fail("the rillway command is not installed")
        scripts = Path(found).parent
    return f"{scripts}{os.pathsep}{os.environ.get('PATH', '')}"


@pytest.mark.parametrize("body", blocks("console"))
def test_console_examples(scratch, body):
    environment = dict(os.environ, PATH=rillway_on_path(), MPLBACKEND="Agg")
    environment.pop("NO_COLOR", None)
    commands = re.split(r"^\$ ", body, flags=re.M)[1:]
    assert commands
    for command in commands:
        line, _, expected = command.partition("\n")
        finished = subprocess.run(["bash", "-c", line], cwd=scratch, env=environment,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                  check=False)
        assert finished.returncode == 0, (line, finished.stdout)
        assert [text.rstrip() for text in finished.stdout.splitlines()] == \
            [text.rstrip() for text in expected.splitlines()], line
    if "--output" in body:  # files the examples write are there and not empty
        for target in re.findall(r"--output (\S+)", body):
            assert (scratch / target).stat().st_size > 0
