#!/usr/bin/env bash
# Rips a generated 74-minute disc to WMA Lossless with cadrix-rip (akrip.so
# reading the image, cadrix_wma.so encoding) and compares size and time with
# `flac -5` and `flac -8` on the same PCM (the raw image). The image is read
# once first, so every run starts from a warm cache.
#
#   bash bench/rip_wma_lossless.sh [build folder]     (default: build/bench, Release)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
runs=${CADRIX_BENCH_RUNS:-1}
minutes=${CADRIX_BENCH_MINUTES:-74}
command -v flac >/dev/null || { echo "flac is missing (bash scripts/install-deps.sh)"; exit 1; }

source "$root/bench/common.sh"
bench_build "$build" akrip cadrix_wma cadrix-rip cadrix-discgen
bench_image "$build" "$minutes"

bench_rip --format wma-lossless
rip_bytes=$(find "$work/out" -name '*.wma' -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')

raw=(--force-raw-format --endian=little --sign=signed --channels=2 --bps=16 --sample-rate=44100)
declare -A flac_time flac_bytes
for level in 5 8; do
  b=""
  for _ in $(seq "$runs"); do
    start=$(now)
    flac -"$level" -f -s "${raw[@]}" -o "$work/out$level.flac" "$image"
    b=$(best "$(elapsed "$start" "$(now)")" "$b")
  done
  flac_time[$level]=$b
  flac_bytes[$level]=$(stat -c %s "$work/out$level.flac")
done

awk -v s="$seconds_of_audio" -v r="$best_rip" -v rb="$rip_bytes" -v p="$pcm_bytes" \
    -v t5="${flac_time[5]}" -v b5="${flac_bytes[5]}" -v t8="${flac_time[8]}" -v b8="${flac_bytes[8]}" 'BEGIN {
  printf "cadrix-rip --format wma-lossless: %7.2f s (%4.0fx real time), %d bytes, %.4f of the PCM\n", r, s / r, rb, rb / p
  printf "flac -5:                          %7.2f s (%4.0fx real time), %d bytes, %.4f of the PCM\n", t5, s / t5, b5, b5 / p
  printf "flac -8:                          %7.2f s (%4.0fx real time), %d bytes, %.4f of the PCM\n", t8, s / t8, b8, b8 / p
  printf "size: %.4fx flac -5, %.4fx flac -8; time: %.2fx flac -5\n", rb / b5, rb / b8, r / t5
}'
