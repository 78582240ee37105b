#!/usr/bin/env bash
# Installs the Debian packages that building qrkit and running its tests and benchmarks need (the font
# is built with fontTools and set by HarfBuzz, Pango, LibreOffice and Chromium in its tests).
# Non-interactive and idempotent: packages already present are left alone.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  libboost-dev libboost-thread-dev libboost-iostreams-dev
  libpng-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libzbar-dev libzxing-dev libqrcodegencpp-dev python3-segno
  librsvg2-bin ghostscript emf2svg dpkg-dev
  clang-14 libclang-rt-14-dev valgrind
  mono-mcs mono-runtime
  python3-pytest python3-zxing-cpp python3-pil python3-pip python3-setuptools python3-wheel
  zsh
  g++-multilib autoconf automake libtool autopoint
  python3-fonttools python3-brotli
  libharfbuzz-bin pango1.0-tools poppler-utils
  libreoffice-writer-nogui libreoffice-calc-nogui chromium
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
