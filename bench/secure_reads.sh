#!/usr/bin/env bash
# Secure reads as lean as cd-paranoia's, on an emulated CD-ROM drive
# (cadrix-drivesim), for a 12-track 69-s disc and a 74-minute disc:
#   1. frames the drive served to `cadrix-rip` (secure: AccurateRip not
#      reached) and to `cd-paranoia -B` on the same disc; goal: ratio <= 1.1;
#   2. an 8-speed drive (CADRIX_BENCH_SPEED): the secure rip's time against
#      `cd-paranoia -B`'s; goal: ratio <= 1.1;
#   3. the same drive, a rip AccurateRip proves (burst reads, a local stand-in
#      made by cadrix-arstandin knows the disc and the drive) against one pass
#      of the drive over the disc's audio; goal: ratio <= 1.1.
# The drive counts what it served in its --log ("drive: N reads, M frames,
# busy S s"). At 8x, parts 2 and 3 of the 74-minute disc take most of an
# hour; CADRIX_BENCH_SPEED_DISCS="short" leaves them out.
#
#   bash bench/secure_reads.sh [build folder]     (default: build/bench, Release)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/bench}")
speed=${CADRIX_BENCH_SPEED:-8}
speed_discs=${CADRIX_BENCH_SPEED_DISCS:-short long}
# shellcheck source=bench/common.sh
. "$root/bench/common.sh"
command -v cd-paranoia >/dev/null || { echo "cd-paranoia is missing: bash scripts/install-deps.sh"; exit 1; }
bench_build "$build" akrip cadrix-rip cadrix-discgen cadrix-drivesim cadrix_drivesim cadrix-arstandin

work=$(mktemp -d "${TMPDIR:-/tmp}/cadrix-bench.XXXXXX")
server=""
trap '[ -n "$server" ] && kill "$server"; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_CACHE_HOME="$work/cache" CADRIX_VIRTUAL_DRIVES=""
export CADRIX_MUSICBRAINZ_SERVER=http://127.0.0.1:9 CADRIX_GNUDB_SERVER=http://127.0.0.1:9
unset CADRIX_READ_OFFSET
mkdir -p "$XDG_CONFIG_HOME"
model="BENCHVEN SECURE READS"
offset=6

# make_disc NAME DISCGEN-OPTIONS...: the disc and its AccurateRip stand-in.
make_disc() {
  local name=$1
  shift
  "$build/bin/cadrix-discgen" --out "$work/$name" --name disc --seed 74 "$@" >/dev/null
  "$build/bin/cadrix-arstandin" --image "$work/$name/disc.cue" --out "$work/ar" --drive "$model" --offset "$offset" >/dev/null
}

# on_drive NAME SPEED COMMAND...: runs COMMAND in $work/run with the emulated
# drive holding disc NAME (speed 0: unlimited); sets took (wall seconds) and
# served (frames the drive served).
on_drive() {
  local name=$1 speed=$2
  shift 2
  local limit=()
  [ "$speed" = 0 ] || limit=(--speed "$speed")
  rm -rf "$work/run" "$work/drive.log" && mkdir -p "$work/run"
  local start
  start=$(now)
  (cd "$work/run" && "$build/bin/cadrix-drivesim" --image "$work/$name/disc.cue" "${limit[@]}" --read-offset "$offset" \
     --model "$model" --log "$work/drive.log" -- "$@" >"$work/last.out" 2>&1) || true
  took=$(elapsed "$start" "$(now)")
  served=$(sed -n 's/^drive: [0-9]* reads, \([0-9]*\) frames.*/\1/p' "$work/drive.log" | tail -1)
}

secure_rip() { on_drive "$1" "$2" "$build/bin/cadrix-rip" --no-lookup --output "$work/run/out"; }
# Both secure rips leave the drive's offset uncorrected: the same sectors.
paranoia_rip() { on_drive "$1" "$2" nice -n 5 sh -c 'cd-paranoia -q -B -d "$CADRIX_DRIVESIM_DEVICE"'; }
proven_rip() {
  CADRIX_ACCURATERIP_SERVER="http://127.0.0.1:$port" on_drive "$1" "$2" "$build/bin/cadrix-rip" --output "$work/run/out"
  grep -q "^All tracks accurately ripped$" "$work/last.out" || { echo "  not every track proven:"; sed 's/^/    /' "$work/last.out"; }
}

# 1. Frames read at unlimited speed.
frames_read() {
  secure_rip "$1" 0
  local ours=$served
  paranoia_rip "$1" 0
  awk -v o="$ours" -v p="$served" -v f="$frames" 'BEGIN {
    printf "  frames served: cadrix-rip %d (%.2f passes), cd-paranoia -B %d (%.2f passes); ratio %.2f (goal <= 1.1)\n",
      o, o / f, p, p / f, o / p }'
}

# 2 and 3. An X-speed drive.
timed_reads() {
  secure_rip "$1" "$speed"
  local ours=$took
  paranoia_rip "$1" "$speed"
  awk -v o="$ours" -v p="$took" -v s="$speed" 'BEGIN {
    printf "  %sx: secure rip %.1f s, cd-paranoia -B %.1f s; ratio %.2f (goal <= 1.1)\n", s, o, p, o / p }'
  proven_rip "$1" "$speed"
  awk -v t="$took" -v f="$frames" -v s="$speed" -v r="$served" 'BEGIN {
    pass = f / (75 * s)
    printf "  %sx: rip proven by AccurateRip %.1f s (%d frames read), one pass of the drive %.1f s; ratio %.2f (goal <= 1.1)\n",
      s, t, r, pass, t / pass }'
}

make_disc short --tracks 375f,525f,300f,450f,600f,225f,375f,675f,300f,450f,525f,388f
make_disc long --minutes 74
mkfifo "$work/port"
python3 "$root/tests/support/static_server.py" "$work/ar" >"$work/port" &
server=$!
read -r port <"$work/port"

for disc in short long; do
  cat "$work/$disc/disc.bin" >/dev/null
  frames=$(( $(stat -c %s "$work/$disc/disc.bin") / 2352 ))
  echo "$([ "$disc" = short ] && echo "12-track disc" || echo "74-minute disc"): $frames frames of audio"
  frames_read "$disc"
  case " $speed_discs " in *" $disc "*) timed_reads "$disc" ;; esac
done
