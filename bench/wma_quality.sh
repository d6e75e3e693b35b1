#!/usr/bin/env bash
# Rips a generated disc of three pieces (quiet, dense, near-silence; 20 s
# each) with cadrix-rip at the six "Windows Media Audio 9 VBR" qualities,
# decodes every file with FFmpeg and prints, per track and quality, the bit
# rate, FFmpeg's messages, the noise-to-mask ratio by the encoder's own model
# (total NMR in dB, share of partitions over the mask) and the SNR; beside it the
# same for FFmpeg's constant-rate wmav2 encoder at our file's average rate.
# Then the quality encoder's speed on one thread.
#
#   bash bench/wma_quality.sh [build folder]     (default: build/bench, Release)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
seconds=${CADRIX_BENCH_SECONDS:-20}

source "$root/bench/common.sh"
bench_build "$build" akrip cadrix_wma cadrix-rip wma_quality_bench
work=$(mktemp -d "${TMPDIR:-/tmp}/cadrix-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/drive" "$work/config"
"$build/bin/wma_quality_bench" disc "$work/drive" "$seconds"
track_bytes=$(( $(stat -c %s "$work/drive/disc.bin") / 3 ))
for t in 1 2 3; do
  dd if="$work/drive/disc.bin" of="$work/track$t.raw" bs="$track_bytes" skip=$((t - 1)) count=1 status=none
done

qualities=(10 25 50 75 90 98)
names=("" quiet dense near-silence)
printf "%-13s %4s | %7s %8s %9s %8s %4s | %7s %8s %9s %8s\n" track q "kbit/s" "NMR dB" "over mask" "SNR dB" msgs \
  "kbit/s" "NMR dB" "over mask" "SNR dB"
for level in 0 1 2 3 4 5; do
  rm -rf "$work/out"
  CADRIX_VIRTUAL_DRIVES="$work/drive" XDG_CONFIG_HOME="$work/config" \
    "$build/bin/cadrix-rip" --no-lookup --format wma-vbr --quality "$level" --output "$work/out" >/dev/null
  for t in 1 2 3; do
    file=$(find "$work/out" -name "0$t - *.wma" | head -1)
    read -r -a ours <<<"$("$build/bin/wma_quality_bench" measure "$work/track$t.raw" "$file" | head -1)"
    kbps=${ours[9]}
    ffmpeg -nostdin -v error -y -f s16le -ar 44100 -ac 2 -i "$work/track$t.raw" -c:a wmav2 \
      -b:a "$(awk -v k="$kbps" 'BEGIN { printf "%d", k * 1000 }')" "$work/ff.wma"
    read -r -a theirs <<<"$("$build/bin/wma_quality_bench" measure "$work/track$t.raw" "$work/ff.wma" | head -1)"
    printf "%-13s %4s | %7s %8s %9s %8s %4s | %7s %8s %9s %8s\n" "${names[$t]}" "${qualities[$level]}" \
      "${ours[9]}" "${ours[11]}" "${ours[13]}" "${ours[15]}" "${ours[7]}" \
      "${theirs[9]}" "${theirs[11]}" "${theirs[13]}" "${theirs[15]}"
  done
done
echo "(left: cadrix-rip --format wma-vbr; right: ffmpeg -c:a wmav2 at the same average rate)"
for level in 0 3 5; do "$build/bin/wma_quality_bench" speed "$work/drive/disc.bin" "$level"; done
