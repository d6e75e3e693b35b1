#!/usr/bin/env bash
# Rips a generated 74-minute disc to WAVE files with cadrix-rip (akrip.so
# reading the CUE/BIN image, the engine writing one WAVE per track) and
# compares the time with `cat image > file` on the same disk. The image is
# read once first, so both runs start from a warm page cache; output files
# are removed between runs and every write goes to the same folder's disk.
#
#   bash bench/rip_wave.sh [build folder]     (default: build/bench, Release)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
runs=${CADRIX_BENCH_RUNS:-3}
minutes=${CADRIX_BENCH_MINUTES:-74}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCADRIX_BUILD_TESTS=OFF \
    -DCADRIX_BUILD_UI=OFF -DCADRIX_BUILD_BENCH=ON >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target akrip cadrix-discgen cadrix-rip >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/cadrix-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
drive="$work/drive"
"$build/bin/cadrix-discgen" --out "$drive" --name disc --minutes "$minutes" --seed 74 >/dev/null
image="$drive/disc.bin"
bytes=$(stat -c %s "$image")
echo "image: $minutes minutes, $bytes bytes, in $work"

export CADRIX_VIRTUAL_DRIVES="$drive"
export XDG_CONFIG_HOME="$work/config"   # no disc database: the folder is "Untitled Disc (...)"
mkdir -p "$XDG_CONFIG_HOME"

seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.6f", b - a }'; }
smaller() { awk -v t="$1" -v b="$2" 'BEGIN { exit !(b == "" || t < b) }'; }

cat "$image" > /dev/null
best_cat=""
best_rip=""
for _ in $(seq "$runs"); do
  rm -f "$work/copy.bin"
  start=$(date +%s.%N)
  cat "$image" > "$work/copy.bin"
  sync "$work/copy.bin"
  end=$(date +%s.%N)
  t=$(seconds "$start" "$end")
  if smaller "$t" "$best_cat"; then best_cat=$t; fi
  rm -f "$work/copy.bin"

  rm -rf "$work/out"
  start=$(date +%s.%N)
  "$build/bin/cadrix-rip" --no-lookup --format pcm --output "$work/out" >/dev/null
  sync "$work/out"/*/*.wav
  end=$(date +%s.%N)
  t=$(seconds "$start" "$end")
  if smaller "$t" "$best_rip"; then best_rip=$t; fi
done

written=$(cat "$work/out"/*/*.wav | wc -c)
echo "cat image > file: $(awk -v s="$best_cat" -v n="$bytes" 'BEGIN { printf "%.3f s, %.0f MB/s", s, n / s / 1e6 }')"
echo "cadrix-rip pcm:   $(awk -v s="$best_rip" -v n="$written" 'BEGIN { printf "%.3f s, %.0f MB/s", s, n / s / 1e6 }') ($written bytes of WAVE)"
echo "ratio cadrix-rip / cat: $(awk -v r="$best_rip" -v c="$best_cat" 'BEGIN { printf "%.2f", r / c }') (best of $runs runs each, synced to disk)"
