#!/usr/bin/env bash
# Builds the test suite with ThreadSanitizer and runs the tests that use many threads at once: encodes
# of every kind, first use of every cache (ctest runs each test in a fresh process, so the caches start
# empty), painting different results, concurrent frame requests and the clipboard. Any data race fails.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQRKIT_BENCH=OFF -DQRKIT_WERROR=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread" -DCMAKE_C_FLAGS="-fsanitize=thread" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread" >/dev/null
cmake --build build-tsan -j "${TSAN_JOBS:-$(nproc)}" --target qrkit_tests

TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$(pwd)/scripts/tsan.supp ${TSAN_OPTIONS:-}" \
  ctest --test-dir build-tsan --output-on-failure -j "${TSAN_JOBS:-$(nproc)}" \
  -R '^(Concurrency\.|Frames\.ConcurrentRequestsAgree|ClipboardTest\.|RoundTrip\.ConcurrentEncodes)'
