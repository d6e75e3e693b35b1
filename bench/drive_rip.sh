#!/usr/bin/env bash
# Rips a generated disc through an emulated CD-ROM drive (cadrix-drivesim:
# libcdio's Linux driver and paranoia on a device path, as with a real drive).
#   1. Unlimited drive speed: cadrix-rip (WAVE, secure reads) against
#      `cd-paranoia -B` on the same emulated device; goal: ratio <= 1.0.
#   2. An 8-speed drive: cadrix-rip to WMA 128 kbit/s and to Ogg q5 against
#      the time the drive itself spent on the rip's reads (the emulator's
#      count); goal: ratio <= 1.05, reading and encoding overlapping.
#
#   bash bench/drive_rip.sh [build folder]     (default: build/bench, Release)
# CADRIX_BENCH_MINUTES (74) sets the disc for part 1, CADRIX_BENCH_SPEED_MINUTES
# (74; a run takes about twice the disc's time at 8x; 0: no part 2) the disc for part 2.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
runs=${CADRIX_BENCH_RUNS:-3}
minutes=${CADRIX_BENCH_MINUTES:-74}
speed_minutes=${CADRIX_BENCH_SPEED_MINUTES:-74}
command -v cd-paranoia >/dev/null || { echo "cd-paranoia is missing: bash scripts/install-deps.sh"; exit 1; }

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCADRIX_BUILD_TESTS=OFF \
    -DCADRIX_BUILD_UI=OFF -DCADRIX_BUILD_BENCH=ON >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target akrip cadrix-rip cadrix-discgen cadrix-drivesim cadrix_drivesim \
  cadrix_wma cadrix_ogg >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/cadrix-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Secure reads as before: AccurateRip (and the name services) are not reached.
export XDG_CONFIG_HOME="$work/config" CADRIX_VIRTUAL_DRIVES="" CADRIX_ACCURATERIP_SERVER=http://127.0.0.1:9
export CADRIX_MUSICBRAINZ_SERVER=http://127.0.0.1:9 CADRIX_GNUDB_SERVER=http://127.0.0.1:9
mkdir -p "$XDG_CONFIG_HOME"
sim="$build/bin/cadrix-drivesim"
rip="$build/bin/cadrix-rip"

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
best() { awk -v t="$1" -v b="$2" 'BEGIN { print (b == "" || t < b) ? t : b }'; }

"$build/bin/cadrix-discgen" --out "$work/disc" --name disc --minutes "$minutes" --seed 74 >/dev/null
frames=$(( $(stat -c %s "$work/disc/disc.bin") / 2352 ))
cat "$work/disc/disc.bin" > /dev/null
echo "disc: $minutes minutes, $frames frames"

# cd-paranoia runs at the priority of Cadrix's extraction worker (nice +5),
# so a busy machine slows both alike; the CPU seconds (user + system, the
# emulated drive included) do not depend on the load at all.
TIMEFORMAT='%R %U %S'
timed() { { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }'; }
best_rip="" best_cdp="" cpu_rip="" cpu_cdp=""
for _ in $(seq "$runs"); do
  rm -rf "$work/out" "$work/cdp" && mkdir -p "$work/out" "$work/cdp"
  read -r t c < <(timed "$sim" --image "$work/disc/disc.cue" -- "$rip" --output "$work/out")
  best_rip=$(best "$t" "$best_rip"); cpu_rip=$(best "$c" "$cpu_rip")
  read -r t c < <(cd "$work/cdp" && timed "$sim" --image "$work/disc/disc.cue" -- \
     nice -n 5 sh -c 'cd-paranoia -q -B -d "$CADRIX_DRIVESIM_DEVICE"')
  best_cdp=$(best "$t" "$best_cdp"); cpu_cdp=$(best "$c" "$cpu_cdp")
done
[ "$(cat "$work/out"/*/*.wav | wc -c)" = "$(cat "$work/cdp"/*.wav | wc -c)" ] ||
  echo "note: cadrix-rip and cd-paranoia wrote different amounts of audio"
awk -v r="$best_rip" -v c="$best_cdp" -v rc="$cpu_rip" -v cc="$cpu_cdp" -v n="$runs" 'BEGIN {
  printf "unlimited drive: cadrix-rip %.2f s (%.2f s CPU), cd-paranoia -B %.2f s (%.2f s CPU) (best of %d)\n", r, rc, c, cc, n
  printf "ratio cadrix-rip / cd-paranoia: %.2f in time, %.2f in CPU (goal <= 1.0)\n", r / c, rc / cc
}'

# Part 2: an 8x drive (CADRIX_BENCH_SPEED_MINUTES=0 leaves it out).
[ "$speed_minutes" != 0 ] || exit 0
if [ "$speed_minutes" != "$minutes" ]; then
  "$build/bin/cadrix-discgen" --out "$work/disc" --name disc --minutes "$speed_minutes" --seed 74 >/dev/null
  frames=$(( $(stat -c %s "$work/disc/disc.bin") / 2352 ))
fi
echo "8x drive: $speed_minutes minutes, one pass of the disc takes $(awk -v f="$frames" 'BEGIN { printf "%.1f", f / 600 }') s"
for format in "wma --quality 5" "ogg --quality 60"; do
  rm -rf "$work/out" "$work/drive.log" && mkdir -p "$work/out"
  start=$(now)
  # shellcheck disable=SC2086
  "$sim" --image "$work/disc/disc.cue" --speed 8 --log "$work/drive.log" -- \
    "$rip" --format $format --output "$work/out" >/dev/null
  took=$(elapsed "$start" "$(now)")
  busy=$(sed -n 's/^drive: .* busy \([0-9.]*\) s$/\1/p' "$work/drive.log" | tail -1)
  read_frames=$(sed -n 's/^drive: [0-9]* reads, \([0-9]*\) frames.*/\1/p' "$work/drive.log" | tail -1)
  awk -v t="$took" -v b="$busy" -v f="$format" -v r="$read_frames" -v n="$frames" 'BEGIN {
    printf "cadrix-rip --format %s: %.1f s; the drive read %d frames (%.2f passes) in %.1f s; ratio %.3f (goal <= 1.05)\n",
      f, t, r, r / n, b, t / b
  }'
done
