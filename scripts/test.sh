#!/usr/bin/env bash
# Builds everything and runs every test: the release build (tests, tool, benchmarks, and the font set in
# every text engine: hb-view, Pango, LibreOffice, Chromium), then the test suite again under
# AddressSanitizer and UndefinedBehaviorSanitizer, the concurrency tests under ThreadSanitizer, the
# release suite under Valgrind memcheck, every fuzz target for a bounded time (FUZZ_SECONDS, default 60
# each), the native 32-bit x86 build with its suite and stdcall export calls, then the Windows DLLs
# (cross-built and tested under wine64, the i686 one under wine32 where it installs).
# QRKIT_NATIVE_ONLY=1 leaves the Windows side out.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQRKIT_BENCH=ON -DQRKIT_WERROR=ON
cmake --build build -j "$jobs"
# The font tests set the font in LibreOffice and Chromium too in this run (QRKIT_FONT_ENGINES=all).
QRKIT_FONT_ENGINES=all ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQRKIT_SANITIZE=ON -DQRKIT_BENCH=OFF -DQRKIT_WERROR=ON
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

./scripts/tsan.sh
VALGRIND_BUILD_DIR=build ./scripts/valgrind.sh
./scripts/fuzz.sh

# The 32-bit x86 build (-m32, stdcall exports) and its whole suite, compared with the 64-bit build.
./scripts/test-32bit.sh

# The Windows side: qrkit.dll cross-built for i686 and x86_64, export tables checked, tests under wine64.
if [ "${QRKIT_NATIVE_ONLY:-0}" != 1 ]; then ./scripts/build-windows.sh; fi
