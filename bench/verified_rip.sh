#!/usr/bin/env bash
# A verified rip at full speed: the 74-minute disc in an emulated CD-ROM drive
# (cadrix-drivesim, unlimited speed, read offset +6) with a local AccurateRip
# stand-in that knows the disc and the drive. cadrix-rip reads every track in
# burst and proves it with AccurateRip, against `cd-paranoia -B` (secure
# reads, nothing proven) on the same device.
# Goal: ratio <= 0.5, with every track proven accurate.
#
#   bash bench/verified_rip.sh [build folder]     (default: build/bench, Release)
# CADRIX_BENCH_MINUTES (74) sets the disc, CADRIX_BENCH_RUNS (3) the runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
runs=${CADRIX_BENCH_RUNS:-3}
minutes=${CADRIX_BENCH_MINUTES:-74}
# shellcheck source=bench/common.sh
. "$root/bench/common.sh"
command -v cd-paranoia >/dev/null || { echo "cd-paranoia is missing: bash scripts/install-deps.sh"; exit 1; }
bench_build "$build" akrip cadrix-rip cadrix-discgen cadrix-drivesim cadrix_drivesim cadrix-arstandin

work=$(mktemp -d "${TMPDIR:-/tmp}/cadrix-bench.XXXXXX")
server=""
trap '[ -n "$server" ] && kill "$server"; rm -rf "$work"' EXIT
"$build/bin/cadrix-discgen" --out "$work/disc" --name disc --minutes "$minutes" --seed 74 >/dev/null
"$build/bin/cadrix-arstandin" --image "$work/disc/disc.cue" --out "$work/ar" \
  --drive "BENCHVEN VERIFIED DRIVE" --offset 6 >/dev/null
cat "$work/disc/disc.bin" > /dev/null
echo "disc: $minutes minutes, $(( $(stat -c %s "$work/disc/disc.bin") / 2352 )) frames"

mkfifo "$work/port"
python3 "$root/tests/support/static_server.py" "$work/ar" > "$work/port" &
server=$!
read -r port < "$work/port"
export XDG_CONFIG_HOME="$work/config" CADRIX_VIRTUAL_DRIVES="" CADRIX_ACCURATERIP_SERVER="http://127.0.0.1:$port"
# Names are not looked up: only AccurateRip is asked.
export CADRIX_MUSICBRAINZ_SERVER=http://127.0.0.1:9 CADRIX_GNUDB_SERVER=http://127.0.0.1:9
unset CADRIX_READ_OFFSET
mkdir -p "$XDG_CONFIG_HOME"
sim=("$build/bin/cadrix-drivesim" --image "$work/disc/disc.cue" --read-offset 6 --model "BENCHVEN VERIFIED DRIVE")

TIMEFORMAT='%R %U %S'
timed() { { time "$@" >"$work/last.out" 2>&1; } 2>&1 | awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }'; }
best_rip="" best_cdp="" cpu_rip="" cpu_cdp=""
for _ in $(seq "$runs"); do
  rm -rf "$work/out" "$work/cdp" && mkdir -p "$work/out" "$work/cdp"
  read -r t c < <(timed "${sim[@]}" -- "$build/bin/cadrix-rip" --output "$work/out")
  grep -q "^All tracks accurately ripped$" "$work/last.out" || { echo "not every track proven:"; cat "$work/last.out"; exit 1; }
  best_rip=$(best "$t" "$best_rip"); cpu_rip=$(best "$c" "$cpu_rip")
  read -r t c < <(cd "$work/cdp" && timed "${sim[@]}" -- nice -n 5 sh -c 'cd-paranoia -q -B -d "$CADRIX_DRIVESIM_DEVICE"')
  best_cdp=$(best "$t" "$best_cdp"); cpu_cdp=$(best "$c" "$cpu_cdp")
done
proven=$(grep -c "Result: accurate (confidence" "$work/out"/*/*.log || true)
awk -v r="$best_rip" -v c="$best_cdp" -v rc="$cpu_rip" -v cc="$cpu_cdp" -v n="$runs" -v p="$proven" 'BEGIN {
  printf "cadrix-rip, burst and proven: %.2f s (%.2f s CPU); cd-paranoia -B: %.2f s (%.2f s CPU) (best of %d)\n", r, rc, c, cc, n
  printf "tracks proven accurate: %d\n", p
  printf "ratio cadrix-rip / cd-paranoia: %.2f in time, %.2f in CPU (goal <= 0.5)\n", r / c, rc / cc
}'
