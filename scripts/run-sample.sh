#!/usr/bin/env bash
# The main job: builds the qrkit tool and encodes the sample data into a font string, a terminal
# picture, image files (out/sample.png, .bmp, .svg, .eps, .emf, and a Micro QR Code out/micro.png) and
# a web page that sets the font string in the qrkit QR font (out/sample.html).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target qrkit_cli >/dev/null
data="samples/hello.txt"
mkdir -p out
echo "== font string of $data"
build/qrkit encode --file "$data" --print font
echo
echo "== terminal picture"
build/qrkit encode --file "$data" --print terminal
for format in png bmp svg eps emf html; do
  build/qrkit encode --file "$data" -o "out/sample.$format"
done
build/qrkit encode --micro -o out/micro.png --module-size 8 12345
echo "== images and the page"
ls -l out/sample.* out/micro.png
