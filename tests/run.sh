#!/usr/bin/env bash
# Runs every test: builds and installs the module, then the GoogleTest suite of the library
# (through CTest) and the pytest suite of the module. Installs what the tests need first.
# With --full it also runs both suites under ASan/UBSan, each fuzz harness for 60 seconds and
# the wheel check (abi3 audit, stubtest). With CI=true warnings are errors.
# Exits non-zero when any test fails or when no test ran.
set -euo pipefail
cd "$(dirname "$0")/.."

full=false
[ "${1:-}" = "--full" ] && full=true

python3 -m pip install --quiet --disable-pip-version-check \
  pytest numpy matplotlib pandas "nlohmann-json==3.12.0" cmake ninja

if [ ! -f /usr/include/gtest/gtest.h ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq libgtest-dev >/dev/null
fi

echo "== building and installing the module"
python3 -m pip install --quiet --disable-pip-version-check ".[plot]"

echo "== library tests (GoogleTest)"
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
mkdir -p build
cmake -S . -B build/cpp-tests -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DRILLWAY_BUILD_PYTHON=OFF -DRILLWAY_BUILD_TESTS=ON -DRILLWAY_WERROR=$werror >/dev/null
cmake --build build/cpp-tests
if ! ctest --test-dir build/cpp-tests --output-on-failure --no-tests=error -j 2 > build/ctest.log 2>&1; then
  cat build/ctest.log
  exit 1
fi
tail -n 3 build/ctest.log

echo "== module tests (pytest)"
python3 -m pytest -q tests

if [ "$full" = "true" ]; then
  echo "== sanitizers"
  bash tests/sanitize.sh
  echo "== fuzz smoke"
  bash fuzz/smoke.sh 60
  echo "== wheel check"
  bash tests/packaging_check.sh
fi
