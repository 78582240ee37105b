#!/usr/bin/env bash
# The main job: builds the qrkit tool and encodes the sample data into a font string and a picture.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target qrkit_cli >/dev/null
data="samples/hello.txt"
echo "== font string of $data"
build/qrkit encode --file "$data" --print font
echo
echo "== terminal picture"
build/qrkit encode --file "$data" --print terminal
