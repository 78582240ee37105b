#!/usr/bin/env bash
# Makes the pictures of the how-to pages in docs/pictures: the font engine tests set the symbols in
# hb-view, Pango, LibreOffice and Chromium, read them back, and save what the pages show. Builds the
# release tree (build/) first when it lacks the test program.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -x build/tests/qrkit_tests ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
  cmake --build build -j "$(nproc)" --target qrkit_tests
fi
mkdir -p docs/pictures
QRKIT_FONT_ENGINES=all QRKIT_DOCS_PICTURES="$PWD/docs/pictures" build/tests/qrkit_tests --gtest_brief=1 \
  --gtest_filter='FontEngine.HowToPicturesOfTheQuickEngines:FontEngine.LibreOffice*:FontEngine.Chromium*'
ls -l docs/pictures
