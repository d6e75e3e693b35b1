#!/usr/bin/env bash
# Installs what is needed, builds Cadrix and runs every test:
#   1. the whole suite under AddressSanitizer + UndefinedBehaviorSanitizer,
#      then a 60-s fault campaign on that build (CADRIX_CAMPAIGN_SECONDS, 0: none),
#   2. the threaded suites under ThreadSanitizer,
#   3. each fuzz target for a short, bounded time (CADRIX_FUZZ_SECONDS, 10 s
#      by default), as many at once as there are cores.
# Each stage prints its time, and the run its total. Only what a stage runs is
# built: the TSan tree builds the threaded suites, the fuzz tree the fuzz
# targets.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

started=$SECONDS
stage_started=$SECONDS
stage_name=""
# Ends the stage that runs (printing its time) and starts the next one.
stage() {
  if [ -n "$stage_name" ]; then
    printf -- '-- %s: %d s\n' "$stage_name" $((SECONDS - stage_started))
  fi
  stage_name=$1
  stage_started=$SECONDS
  [ -z "$stage_name" ] || echo "== $stage_name =="
}

stage "Packages"
bash scripts/install-deps.sh

jobs=$(nproc)
# A second run on the same machine compiles only what changed.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/tsan.supp"

stage "ASan+UBSan build"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DCADRIX_SANITIZE=address -DCADRIX_WERROR=ON "${launcher[@]}"
cmake --build build/asan -j"$jobs"
stage "ASan+UBSan tests"
ctest --test-dir build/asan --output-on-failure -j"$jobs" --timeout 600

# Discs and drive faults drawn at random (tools/drivesim/fault_campaign.py):
# the seed comes first, so a failure can be replayed with --replay or --seed.
campaign_seconds=${CADRIX_CAMPAIGN_SECONDS:-60}
if [ "$campaign_seconds" != 0 ]; then
  campaign_seed=${CADRIX_CAMPAIGN_SEED:-$(od -An -N4 -tu4 /dev/urandom | tr -d ' ')}
  stage "Fault campaign, seed $campaign_seed, ${campaign_seconds} s"
  python3 tools/drivesim/fault_campaign.py --build build/asan --seconds "$campaign_seconds" --seed "$campaign_seed"
fi

stage "TSan build"
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCADRIX_SANITIZE=thread \
  -DCADRIX_BUILD_UI=OFF -DCADRIX_BUILD_BENCH=OFF "${launcher[@]}"
# The suites labelled "threads" and what they load, not the whole tree.
cmake --build build/tsan -j"$jobs" --target cadrix_threads_suites
stage "TSan threaded tests"
ctest --test-dir build/tsan --output-on-failure -j"$jobs" -L threads --timeout 600

stage "Fuzz build"
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCADRIX_FUZZ=ON \
  -DCADRIX_BUILD_TESTS=OFF -DCADRIX_BUILD_UI=OFF -DCADRIX_BUILD_BENCH=OFF "${launcher[@]}"
cmake --build build/fuzz -j"$jobs" --target cadrix_fuzzers
seconds=${CADRIX_FUZZ_SECONDS:-10}
stage "Fuzz targets, ${seconds} s each, $jobs at once"
# Runs one fuzz target; its log is shown when it fails.
fuzz_one() {
  local target=$1 name corpus
  name=$(basename "$target")
  corpus="build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  local seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
  echo "-- $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=0 "$corpus" "${seeds[@]}" \
    2> "build/fuzz/$name.log" || { tail -50 "build/fuzz/$name.log"; return 1; }
}
shopt -s nullglob
pids=()
failed=0
for target in build/fuzz/fuzz/*; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  fuzz_one "$target" &
  pids+=($!)
  if [ "${#pids[@]}" -ge "$jobs" ]; then
    wait "${pids[0]}" || failed=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
[ "$failed" = 0 ] || exit 1
stage ""
echo "== All tests passed in $((SECONDS - started)) s =="
