#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang, ASan and UBSan, then runs each one for N seconds
# (first argument, default 60) from a scratch copy of its seed corpus, one harness per core. Exits non-zero on any
# crash, sanitizer report, timeout or out-of-memory; the reproducer is kept under the build
# directory's artifacts/ folder and its path printed.
#
#   bash fuzz/smoke.sh [seconds]          FUZZ_BUILD_DIR (default build/fuzz) sets where
#                                         the build, scratch corpora and artifacts go.
set -euo pipefail
seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$root/build/fuzz}"
harnesses=(fuzz_rwn fuzz_project fuzz_analyze_rwn fuzz_analyze_project fuzz_design_project)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

# clang with its libFuzzer runtime, and the build tools the project uses.
if ! command -v clang++ >/dev/null || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  as_root apt-get update -qq
  DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq clang libclang-rt-dev >/dev/null
fi
python3 -c "import nlohmann_json" 2>/dev/null ||
  python3 -m pip install --quiet --disable-pip-version-check "nlohmann-json==3.12.0"
command -v ninja >/dev/null || python3 -m pip install --quiet --disable-pip-version-check ninja
command -v cmake >/dev/null || python3 -m pip install --quiet --disable-pip-version-check cmake

echo "== building the fuzz harnesses in $build"
# -O1 with line tables, as for the sanitizer suite: a smoke run gains less from -O2's faster
# executions than the longer build costs it.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" -DCMAKE_CXX_COMPILER=clang++ -DRILLWAY_BUILD_PYTHON=OFF -DRILLWAY_BUILD_FUZZ=ON \
  -DRILLWAY_SANITIZE=address,undefined >/dev/null
cmake --build "$build" --target "${harnesses[@]}" >/dev/null

# Per harness: the dictionary, and the largest input. The analysing harnesses stay small, so a
# run that takes more than the timeout is a hang, not a big network.
declare -A dict=([fuzz_rwn]=rwn [fuzz_project]=project [fuzz_analyze_rwn]=rwn [fuzz_analyze_project]=project [fuzz_design_project]=project)
declare -A max_len=([fuzz_rwn]=8192 [fuzz_project]=8192 [fuzz_analyze_rwn]=4096 [fuzz_analyze_project]=4096 [fuzz_design_project]=4096)
declare -A timeout=([fuzz_rwn]=1 [fuzz_project]=1 [fuzz_analyze_rwn]=2 [fuzz_analyze_project]=2 [fuzz_design_project]=4)

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# One harness: its scratch corpus, its log, and a status file for the summary below.
fuzz_one() {
  local h="$1" corpus_name="${1#fuzz_}"
  local work="$build/corpus/$corpus_name"
  mkdir -p "$work" "$build/artifacts"
  cp -n "$root/fuzz/corpus/$corpus_name"/* "$work"/ 2>/dev/null || true
  if "$build/fuzz/$h" "$work" -dict="$root/fuzz/${dict[$h]}.dict" -max_len="${max_len[$h]}" \
       -timeout="${timeout[$h]}" -rss_limit_mb=2048 -max_total_time="$seconds" \
       -print_final_stats=1 -artifact_prefix="$build/artifacts/$h-" > "$build/$h.log" 2>&1; then
    echo ok > "$build/$h.status"
  else
    echo failed > "$build/$h.status"
  fi
}

# The harnesses run side by side, one per core.
jobs="$(nproc)"
echo "== ${#harnesses[@]} harnesses for ${seconds}s each, $jobs at a time"
rm -f "$build"/*.status
for h in "${harnesses[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  fuzz_one "$h" &
done
wait

failed=0
for h in "${harnesses[@]}"; do
  if [ "$(cat "$build/$h.status" 2>/dev/null)" = ok ]; then
    echo "$h: $(grep -E '^stat::number_of_executed_units' "$build/$h.log" | tail -n 1)"
  else
    failed=1
    echo "!! $h found a problem; log: $build/$h.log"
    tail -n 40 "$build/$h.log"
  fi
done
if [ "$failed" -ne 0 ]; then
  echo "fuzz smoke: FAILED"
  exit 1
fi
echo "fuzz smoke: all ${#harnesses[@]} harnesses ran ${seconds}s without a finding"
