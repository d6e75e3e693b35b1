#!/usr/bin/env bash
# Installs the Debian 12 packages Cadrix needs to build, run and test.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git ca-certificates
  libgtest-dev libgmock-dev clang libclang-rt-14-dev
  libcdio-dev libcdio-paranoia-dev libudev-dev libcue-dev libdiscid-dev
  qt6-base-dev libcanberra-dev libcanberra-pulse fonts-liberation2 fonts-dejavu-core
  libavcodec-dev libavformat-dev libavutil-dev libexpat1-dev libcurl4-openssl-dev
  libvorbis-dev libogg-dev libflac-dev nettle-dev zlib1g-dev
  ffmpeg flac python3 python3-mutagen cd-paranoia whipper eject cdparanoia cdrdao libcdio-utils
  xvfb xauth xdotool imagemagick libtag1-dev python3-libdiscid
)

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}"
