#!/usr/bin/env bash
# Reads a generated 74-minute disc through akrip.so's entry points in 27-frame
# blocks (bench/akrip_read_bench.cpp) and compares the throughput with
# `cat image > /dev/null`. Page caches cannot be dropped without root, so the
# image is read once with cat first and every figure is from a warm cache.
#
#   bash bench/akrip_read.sh [build folder]     (default: build/bench, Release)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
runs=${CADRIX_BENCH_RUNS:-3}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCADRIX_BUILD_TESTS=OFF \
    -DCADRIX_BUILD_UI=OFF -DCADRIX_BUILD_BENCH=ON >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target akrip cadrix-discgen akrip_read_bench >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/cadrix-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
drive="$work/bench74"

start=$(date +%s.%N)
"$build/bin/cadrix-discgen" --out "$drive" --name disc --minutes 74 --seed 74
end=$(date +%s.%N)
echo "generated in $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }') s"
image="$drive/disc.bin"

echo "warming the page cache with cat (caches cannot be dropped here: all figures are warm)"
cat "$image" > /dev/null
best_cat=""
for _ in $(seq "$runs"); do
  start=$(date +%s.%N)
  cat "$image" > /dev/null
  end=$(date +%s.%N)
  t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }')
  if [ -z "$best_cat" ] || awk -v t="$t" -v b="$best_cat" 'BEGIN { exit !(t < b) }'; then best_cat=$t; fi
done
bytes=$(stat -c %s "$image")
echo "cat: $(awk -v s="$best_cat" -v n="$bytes" 'BEGIN { printf "%.3f s, %.0f MB/s", s, n / s / 1e6 }')"

out=$("$build/bin/akrip_read_bench" --module "$build/lib/cadrix/akrip.so" --drive "$drive" --runs "$runs")
echo "$out" | grep -v '^seconds='
line=$(echo "$out" | grep '^seconds=')
read_s=$(echo "$line" | sed 's/^seconds=\([0-9.]*\).*/\1/')
awk -v r="$read_s" -v c="$best_cat" \
  'BEGIN { printf "akrip reads take %.2fx the time of cat (%.0f%% of its throughput)\n", r / c, 100 * c / r }'
