#!/usr/bin/env bash
# Installs the Debian packages Pelinoxa needs to build, test and benchmark, skipping what is
# already present. Run as root (or with sudo available).
set -euo pipefail

PACKAGES=(
  # build
  g++ cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  libjpeg62-turbo-dev zlib1g-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  # tests, benchmarks, fuzzing
  libgtest-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev
  # independent programs the interoperability tests read and write files with
  imagemagick libtiff-tools ffmpeg fitsverify python3 python3-astropy
  # running the GUI test and screenshots without a display
  xvfb xauth
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#PACKAGES[@]} packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
