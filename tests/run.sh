#!/usr/bin/env bash
# Runs every test, installing what the tests need first:
#   1. builds the wheel once and installs it with the plot, formats, gis and report extras,
#      the EPA SWMM engine (swmm-toolkit, pyswmm) that the format tests run, and Debian's
#      Chromium (driven by Playwright) and poppler for the report's browser and PDF tests;
#   2. the GoogleTest suite of the library, through CTest;
#   3. the pytest suite of the module, the leak test at 100,000 calls per case (or four seconds of calls, at least 10,000);
#   4. both suites again under ASan and UBSan (tests/sanitize.sh);
#   5. each fuzz harness for 15 seconds (fuzz/smoke.sh; longer runs take a number of seconds);
#   6. the wheel itself: abi3audit, stubtest, mypy, the command line (tests/packaging_check.sh).
# --quick stops after step 3, with the leak test at its everyday 2,000 calls per case.
# With CI=true warnings are errors. Exits non-zero when any test fails or when no test ran.
set -euo pipefail
cd "$(dirname "$0")/.."

quick=false
[ "${1:-}" = "--quick" ] && quick=true
started=$SECONDS
stage() { echo "== $* ($((SECONDS - started)) s)"; }

python3 -m pip install --quiet --disable-pip-version-check \
  pytest pytest-xdist numpy matplotlib pandas "nlohmann-json==3.12.0" cmake ninja \
  "swmm-api>=0.4.70" "lxml>=5" "geopandas>=1.0" "pyogrio>=0.10" "swmm-toolkit>=0.15" "pyswmm>=2.0" \
  pyarrow tqdm "dask[distributed]" "jinja2>=3.1" "weasyprint>=60" "playwright>=1.40" "pypdf>=4"

# The report's browser tests drive Debian's Chromium; the PDF tests render with poppler.
apt_packages=()
[ -f /usr/include/gtest/gtest.h ] || apt_packages+=(libgtest-dev)
command -v chromium >/dev/null || apt_packages+=(chromium)
command -v pdftoppm >/dev/null || apt_packages+=(poppler-utils)
if [ "${#apt_packages[@]}" -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${apt_packages[@]}" >/dev/null
fi

stage "building the wheel and installing the module"
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
# One Release build serves the wheel and the library tests: the wheel is built in build/release
# without an isolated environment, so that the interpreter and headers its configure found are
# still there when the tests are added to the same build below, and the library is compiled once.
python3 -m pip install --quiet --disable-pip-version-check "scikit-build-core>=0.10"
rm -rf build/dist
python3 -m pip wheel --quiet --disable-pip-version-check --no-deps --no-build-isolation \
  -C build-dir=build/release -C cmake.define.RILLWAY_WERROR=$werror -w build/dist .
wheel=(build/dist/rillway-*.whl)
# The same version may be installed already; the dependencies of the plot extra came above.
python3 -m pip install --quiet --disable-pip-version-check --no-deps --force-reinstall "${wheel[0]}"

stage "library tests (GoogleTest)"
cmake -S . -B build/release -DRILLWAY_BUILD_TESTS=ON >/dev/null
cmake --build build/release
if ! ctest --test-dir build/release --output-on-failure --no-tests=error -j 2 > build/ctest.log 2>&1; then
  cat build/ctest.log
  exit 1
fi
grep -E "tests passed|Total Test time" build/ctest.log

stage "module tests (pytest)"
leak_calls=100000
[ "$quick" = "true" ] && leak_calls=2000
RILLWAY_LEAK_CALLS=$leak_calls python3 -m pytest -q -p no:benchmark -n 2 tests

if [ "$quick" = "false" ]; then
  stage "sanitizers"
  bash tests/sanitize.sh
  stage "fuzz smoke"
  bash fuzz/smoke.sh 15
  stage "wheel check"
  bash tests/packaging_check.sh "${wheel[0]}"
fi
stage "all tests passed"
