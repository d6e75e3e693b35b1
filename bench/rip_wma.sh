#!/usr/bin/env bash
# Rips a generated 74-minute disc to WMA at 128 kbit/s with cadrix-rip
# (akrip.so reading the image, cadrix_wma.so encoding) and compares the time
# with FFmpeg encoding the same raw image with its own wmav2 encoder and ASF
# muxer. The image is read once first, so both runs start from a warm cache.
#
#   bash bench/rip_wma.sh [build folder]     (default: build/bench, Release)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
runs=${CADRIX_BENCH_RUNS:-1}
minutes=${CADRIX_BENCH_MINUTES:-74}

source "$root/bench/common.sh"
bench_build "$build" akrip cadrix_wma cadrix-rip cadrix-discgen
bench_image "$build" "$minutes"

# cadrix-rip: the 128 kbit/s position of the WMA slider is 5.
bench_rip --format wma --quality 5
rip_bytes=$(find "$work/out" -name '*.wma' -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
rip_files=$(find "$work/out" -name '*.wma' | wc -l)

best_ff=""
for _ in $(seq "$runs"); do
  start=$(now)
  ffmpeg -nostdin -v error -y -f s16le -ar 44100 -ac 2 -i "$image" -c:a wmav2 -b:a 128k "$work/out.wma"
  best_ff=$(best "$(elapsed "$start" "$(now)")" "$best_ff")
done
ff_bytes=$(stat -c %s "$work/out.wma")

awk -v s="$seconds_of_audio" -v r="$best_rip" -v f="$best_ff" -v rb="$rip_bytes" -v fb="$ff_bytes" -v n="$rip_files" 'BEGIN {
  printf "cadrix-rip --format wma --quality 5: %.2f s (%.0fx real time), %d files, %.1f kbit/s on disk\n", r, s / r, n, rb * 8 / s / 1000
  printf "ffmpeg -c:a wmav2 -b:a 128k:          %.2f s (%.0fx real time), 1 file, %.1f kbit/s on disk\n", f, s / f, fb * 8 / s / 1000
  printf "cadrix-rip takes %.2fx the time of ffmpeg\n", r / f
}'
