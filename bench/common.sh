# Shared by the rip benchmarks (sourced): the Release build, a generated disc
# image and wall-clock helpers.

# bench_build BUILD TARGET...: configures BUILD once (Release, no tests or UI)
# and builds the targets.
bench_build() {
  local build=$1
  shift
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCADRIX_BUILD_TESTS=OFF \
      -DCADRIX_BUILD_UI=OFF -DCADRIX_BUILD_BENCH=ON >/dev/null
  fi
  cmake --build "$build" -j"$(nproc)" --target "$@" >/dev/null
}

# bench_image BUILD MINUTES: makes a work folder (removed on exit) holding
# drive/disc.bin and its cue sheet, reads the image once into the page cache
# and sets work, drive, image, pcm_bytes and seconds_of_audio.
bench_image() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/cadrix-bench.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  drive="$work/drive"
  image="$drive/disc.bin"
  "$1/bin/cadrix-discgen" --out "$drive" --name disc --minutes "$2" --seed 74 >/dev/null
  cat "$image" > /dev/null
  pcm_bytes=$(stat -c %s "$image")
  seconds_of_audio=$(awk -v n="$pcm_bytes" 'BEGIN { printf "%.1f", n / 176400 }')
  echo "image: $seconds_of_audio s of audio"
}

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
best() { awk -v t="$1" -v b="$2" 'BEGIN { print (b == "" || t < b) ? t : b }'; }

# bench_rip ARG...: runs `$build/bin/cadrix-rip ARG... --output $work/out` on
# the image $runs times; sets best_rip to the shortest wall time.
bench_rip() {
  best_rip=""
  for _ in $(seq "$runs"); do
    rm -rf "$work/out" && mkdir -p "$work/out" "$work/config"
    local start
    start=$(now)
    CADRIX_VIRTUAL_DRIVES="$drive" XDG_CONFIG_HOME="$work/config" \
      "$build/bin/cadrix-rip" --no-lookup "$@" --output "$work/out" >/dev/null
    best_rip=$(best "$(elapsed "$start" "$(now)")" "$best_rip")
  done
}
