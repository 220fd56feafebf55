#!/usr/bin/env bash
# Checks the wheel as a user gets it: builds it, audits it as a cp311-abi3 wheel, installs it
# with the plot extra into a fresh virtual environment, compares the type stubs with the built
# module (mypy's stubtest), type-checks the companion package and a typing probe against the
# installed stubs, runs the command line, and imports the same wheel on every later CPython
# found on the machine. Exits non-zero on the first failure.
#
#   bash tests/packaging_check.sh [WHEEL]    checks WHEEL, a wheel built from this checkout,
#                                            instead of building one.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
python="${PYTHON:-python3}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

step() { echo "== $*"; }
pip_quiet=(--quiet --disable-pip-version-check)

step "virtual environment ($("$python" --version))"
"$python" -m venv "$work/venv"
venv_python="$work/venv/bin/python"
"$venv_python" -m pip install "${pip_quiet[@]}" mypy abi3audit

if [ -n "${1:-}" ]; then
  mkdir -p "$work/dist"
  cp "$1" "$work/dist/"
else
  step "building the wheel"
  # A build directory of its own, so that a build in the work tree is neither used nor disturbed.
  "$venv_python" -m pip wheel "${pip_quiet[@]}" --no-deps -w "$work/dist" \
    -C build-dir="$work/build" "$repo"
fi
wheel=("$work"/dist/rillway-*.whl)
[ "${#wheel[@]}" -eq 1 ] || { echo "expected one wheel, found ${#wheel[@]}"; exit 1; }
echo "${wheel[0]##*/}"
case "${wheel[0]##*/}" in
  *-cp311-abi3-*.whl) ;;
  *) echo "the wheel is not tagged cp311-abi3"; exit 1 ;;
esac

step "abi3audit --strict"
"$work/venv/bin/abi3audit" --strict --summary "${wheel[0]}"

step "the report's template is in the wheel"
"$venv_python" -m zipfile -l "${wheel[0]}" | grep -q "rillway_tools/templates/report.html.j2" || {
  echo "the wheel lacks rillway_tools/templates/report.html.j2"; exit 1; }

step "installing the wheel with the report extra (the plot extra and more)"
"$venv_python" -m pip install "${pip_quiet[@]}" "${wheel[0]}[report]"

# From here on nothing may be imported from the source tree.
cd "$work"

step "stubtest"
"$venv_python" -m mypy.stubtest rillway

step "mypy --strict: the companion package and a typing probe, against the installed stubs"
"$venv_python" -m mypy --strict --config-file "$repo/pyproject.toml" --cache-dir "$work/mypy-cache" \
  -p rillway_tools
cat > "$work/probe.py" <<'EOF'
import rillway
from rillway_tools import NodeResult, PipeResult

result = rillway.analyze_project(rillway.demo_project_json())
pipes: list[PipeResult] = result["pipes"]
nodes: list[NodeResult] = result["nodes"]
depth: float | None = pipes[0]["normal_depth"]
flow: float = rillway.manning_capacity(1.5, 0.013, 0.01, si=False)
geometry_area: float = rillway.circular_geometry(1.0, 0.5)["area"]
EOF
"$venv_python" -m mypy --strict --cache-dir "$work/mypy-cache" "$work/probe.py"
# The stubs must also reject what is wrong; untyped stubs would let all of this through.
cat > "$work/wrong.py" <<'EOF'
import rillway

result = rillway.analyze_rwn("")
result["pipes"][0]["no_such_key"]
rillway.manning_capacity(1.5, 0.013, 0.01, si="yes")
text: int = rillway.demo_project_json()
EOF
if "$venv_python" -m mypy --strict --cache-dir "$work/mypy-cache" "$work/wrong.py" \
    > "$work/wrong.log"; then
  echo "mypy accepted code that the stubs must reject"; exit 1
fi
for code in typeddict-item arg-type assignment; do
  grep -q "error: .*\[$code\]" "$work/wrong.log" || {
    cat "$work/wrong.log"; echo "mypy did not report the expected [$code] error"; exit 1; }
done
echo "the expected type errors were reported"

step "the command line"
"$work/venv/bin/rillway" demo > "$work/demo.txt"
grep -q "Demo Trunk Line" "$work/demo.txt"
"$work/venv/bin/rillway" demo-project > "$work/demo.rwproj"
"$work/venv/bin/rillway" profile "$work/demo.rwproj" --from N1 --output "$work/profile.png"
[ -s "$work/profile.png" ] || { echo "no profile picture written"; exit 1; }
"$work/venv/bin/rillway" plan "$work/demo.rwproj" --output "$work/plan.svg"
"$work/venv/bin/rillway" report "$work/demo.rwproj" --output "$work/report.html"
grep -q "Demo Trunk Line" "$work/report.html" || { echo "no report written"; exit 1; }
echo "rillway demo, demo-project, profile, plan and report work"

step "the same wheel on later CPython versions"
later=0
candidates=(python3.12 python3.13 python3.14 python3.15)
if command -v pyenv > /dev/null; then  # interpreters that pyenv holds but has not activated
  candidates+=("$(pyenv root)"/versions/3.1[2-9]*/bin/python3)
fi
declare -A seen=()
for candidate in "${candidates[@]}"; do
  [ -e "$candidate" ] || command -v "$candidate" > /dev/null 2>&1 || continue
  "$candidate" -c "import sys; sys.exit(sys.version_info < (3, 12))" 2>/dev/null || continue
  version="$("$candidate" -c 'import sys; print("%d.%d" % sys.version_info[:2])')"
  [ -z "${seen[$version]:-}" ] || continue
  seen[$version]=1
  "$candidate" -m venv "$work/venv-$version"
  "$work/venv-$version/bin/python" -m pip install "${pip_quiet[@]}" --no-deps "${wheel[0]}"
  "$work/venv-$version/bin/python" -c "
import rillway
result = rillway.analyze_project(rillway.demo_project_json())
assert rillway.__file__.endswith('.abi3.so'), rillway.__file__
assert [pipe['id'] for pipe in result['pipes']] == ['P1', 'P2', 'P3']
"
  "$work/venv-$version/bin/rillway" demo --pipes-only --format csv > /dev/null
  echo "Python $version: imported and analysed the demo"
  later=$((later + 1))
done
[ "$later" -gt 0 ] || echo "no later CPython on this machine; only $("$python" --version) checked"

step "packaging checks passed"
