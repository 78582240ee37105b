#!/usr/bin/env bash
# Measures the segmentations on the corpus of bench/segmentation (1,200 realistic records: URLs with
# identifiers, vCards, Wi-Fi strings, GS1 element strings, product codes, Japanese text in Shift JIS,
# random mixes, messages): total bits and versions of qrkit's greedy and optimal segmentation, and of
# the npm qrcode package (QRCode.create) on the same data, at every level.
#
# Usage: scripts/bench-segmentation.sh [build folder, default build-bench]
# The npm package is installed into <build folder>/segmentation/npm (never into the source tree).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build-bench}
work=$build_dir/segmentation

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DQRKIT_TESTS=OFF -DQRKIT_BENCH=ON >/dev/null
cmake --build "$build_dir" -j2 --target qrkit_segmentation_measure >/dev/null

mkdir -p "$work"
/usr/bin/python3 bench/segmentation/make_corpus.py >"$work/corpus.jsonl"
/usr/bin/python3 bench/segmentation/report.py hex "$work/corpus.jsonl" >"$work/corpus.hex"
"$build_dir/bench/qrkit_segmentation_measure" <"$work/corpus.hex" >"$work/qrkit.tsv"

package=$work/npm/node_modules/qrcode
if [ ! -f "$package/package.json" ]; then
  mkdir -p "$work/npm"
  npm install --prefix "$work/npm" --no-save --no-audit --no-fund qrcode >/dev/null
fi
echo "npm qrcode $(node -p "require('$PWD/$package/package.json').version")"
node bench/segmentation/npm_segments.js "$PWD/$package" <"$work/corpus.jsonl" >"$work/npm.tsv"
/usr/bin/python3 bench/segmentation/report.py report "$work/qrkit.tsv" "$work/npm.tsv"
