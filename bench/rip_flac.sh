#!/usr/bin/env bash
# Encodes a generated 74-minute disc to FLAC at level 5 through cadrix_flac.so
# and compares time and size with `flac -5` on the same PCM (the raw image,
# one file). cadrix-rip drives the module when it knows `--format flac`;
# otherwise bench/plugin_encode_bench.cpp calls the module's entry points
# track by track, as the extraction worker does, reading the image file.
# The image is read once first, so every run starts from a warm cache. The
# two alternate run by run; wall-clock and CPU times (user + system) are
# both printed, since other work on a shared machine inflates the former.
#
#   bash bench/rip_flac.sh [build folder]     (default: build/bench, Release)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
runs=${CADRIX_BENCH_RUNS:-3}
minutes=${CADRIX_BENCH_MINUTES:-74}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCADRIX_BUILD_TESTS=OFF \
    -DCADRIX_BUILD_UI=OFF -DCADRIX_BUILD_BENCH=ON >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target akrip cadrix_flac cadrix-rip cadrix-discgen plugin_encode_bench >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/cadrix-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
drive="$work/drive"
starts=$("$build/bin/cadrix-discgen" --out "$drive" --name disc --minutes "$minutes" --seed 74 --print-toc |
  awk '$1 == "track" { printf "%s%s", sep, $5; sep = "," }')
image="$drive/disc.bin"
seconds_of_audio=$(awk -v n="$(stat -c %s "$image")" 'BEGIN { printf "%.1f", n / 176400 }')
cat "$image" > /dev/null

# Wall-clock and CPU seconds (user + system) of a command, as "wall cpu".
timed() {
  local TIMEFORMAT='%R %U %S'
  { time "$@" >/dev/null; } 2>&1 | awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }'
}
best() { awk -v t="$1" -v b="$2" 'BEGIN { print (b == "" || t < b) ? t : b }'; }

if "$build/bin/cadrix-rip" --help 2>&1 | grep -qw flac; then
  driver="cadrix-rip --format flac --quality 5"
  ours=(env CADRIX_VIRTUAL_DRIVES="$drive" XDG_CONFIG_HOME="$work/config"
    "$build/bin/cadrix-rip" --format flac --quality 5 --output "$work/out")
else
  driver="plugin_encode_bench (cadrix_flac.so, level 5)"
  ours=("$build/bin/plugin_encode_bench" --module "$build/lib/cadrix/cadrix_flac.so" --image "$image"
    --starts "$starts" --quality 5 --out "$work/out")
fi
reference=(flac -5 -f -s --force-raw-format --endian=little --sign=signed --channels=2 --bps=16
  --sample-rate=44100 -o "$work/image.flac" "$image")
echo "image: $seconds_of_audio s of audio; cadrix_flac driven by $driver"

# The two alternate, so that other load on the machine falls on both alike.
wall_ours="" cpu_ours="" wall_flac="" cpu_flac=""
for _ in $(seq "$runs"); do
  rm -rf "$work/out" && mkdir -p "$work/out" "$work/config"
  read -r wall cpu < <(timed "${ours[@]}")
  wall_ours=$(best "$wall" "$wall_ours") cpu_ours=$(best "$cpu" "$cpu_ours")
  read -r wall cpu < <(timed "${reference[@]}")
  wall_flac=$(best "$wall" "$wall_flac") cpu_flac=$(best "$cpu" "$cpu_flac")
done
our_bytes=$(find "$work/out" -name '*.flac' -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
our_files=$(find "$work/out" -name '*.flac' | wc -l)
find "$work/out" -name '*.flac' -print0 | xargs -0 flac -t -s
flac_bytes=$(stat -c %s "$work/image.flac")

awk -v s="$seconds_of_audio" -v r="$wall_ours" -v rc="$cpu_ours" -v f="$wall_flac" -v fc="$cpu_flac" \
  -v rb="$our_bytes" -v fb="$flac_bytes" -v n="$our_files" -v runs="$runs" 'BEGIN {
  printf "cadrix_flac level 5: %.2f s (%.2f s CPU), %d files, %d bytes (%.1f%% of PCM)\n", r, rc, n, rb, 100 * rb / (s * 176400)
  printf "flac -5:             %.2f s (%.2f s CPU), 1 file, %d bytes (%.1f%% of PCM)\n", f, fc, fb, 100 * fb / (s * 176400)
  printf "time ratio %.3f (CPU %.3f), size ratio %.4f (best of %d runs each; all files pass flac -t)\n", r / f, rc / fc, rb / fb, runs
}'
