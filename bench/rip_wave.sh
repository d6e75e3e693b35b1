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

source "$root/bench/common.sh"
bench_build "$build" akrip cadrix-discgen cadrix-rip
bench_image "$build" "$minutes"
bytes=$pcm_bytes

export CADRIX_VIRTUAL_DRIVES="$drive"
export XDG_CONFIG_HOME="$work/config"   # no disc database: the folder is "Untitled Disc (...)"
mkdir -p "$XDG_CONFIG_HOME"

smaller() { awk -v t="$1" -v b="$2" 'BEGIN { exit !(b == "" || t < b) }'; }

best_cat=""
best_rip=""
for _ in $(seq "$runs"); do
  rm -f "$work/copy.bin"
  start=$(date +%s.%N)
  cat "$image" > "$work/copy.bin"
  sync "$work/copy.bin"
  end=$(date +%s.%N)
  t=$(elapsed "$start" "$end")
  if smaller "$t" "$best_cat"; then best_cat=$t; fi
  rm -f "$work/copy.bin"

  rm -rf "$work/out"
  start=$(date +%s.%N)
  "$build/bin/cadrix-rip" --no-lookup --format pcm --output "$work/out" >/dev/null
  sync "$work/out"/*/*.wav
  end=$(date +%s.%N)
  t=$(elapsed "$start" "$end")
  if smaller "$t" "$best_rip"; then best_rip=$t; fi
done

written=$(cat "$work/out"/*/*.wav | wc -c)
echo "cat image > file: $(awk -v s="$best_cat" -v n="$bytes" 'BEGIN { printf "%.3f s, %.0f MB/s", s, n / s / 1e6 }')"
echo "cadrix-rip pcm:   $(awk -v s="$best_rip" -v n="$written" 'BEGIN { printf "%.3f s, %.0f MB/s", s, n / s / 1e6 }') ($written bytes of WAVE)"
echo "ratio cadrix-rip / cat: $(awk -v r="$best_rip" -v c="$best_cat" 'BEGIN { printf "%.2f", r / c }') (best of $runs runs each, synced to disk)"
