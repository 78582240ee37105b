#!/usr/bin/env bash
# Runs the native test suite under Valgrind memcheck (a build without sanitizers): any invalid read or
# write, use of uninitialised memory, mismatched free or leaked block fails the run. The test binary's own
# operator new (tests/support/alloc_failure.h) stays in place, so the memory-exhaustion tests still
# inject their failures. The one leak the library defines (a result ended by a plain Release keeps its
# font string) is asserted by DefinedLeak.ReleaseKeepsTheFontString, which frees the string itself.
# Child processes (the tool, python, rsvg-convert, gs) run untraced.
#
# Environment:
#   VALGRIND_BUILD_DIR  build directory to use (default build-valgrind, configured RelWithDebInfo here;
#                       point it at an existing non-sanitizer build to skip the build)
#   VALGRIND_FILTER     a gtest filter (default: every test but FontEngine.*, which runs text engines
#                       and decoders on pictures of typeset symbols, all outside the library)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${VALGRIND_BUILD_DIR:-build-valgrind}

if [ ! -x "$dir/tests/qrkit_tests" ] || [ "$dir" = build-valgrind ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQRKIT_BENCH=OFF -DQRKIT_WERROR=ON >/dev/null
  cmake --build "$dir" -j "${VALGRIND_JOBS:-$(nproc)}"
fi

log="$dir/valgrind.log"
status=0
valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect \
  --errors-for-leak-kinds=definite,indirect --error-exitcode=99 --child-silent-after-fork=yes \
  --soname-synonyms=somalloc=nouserintercepts --suppressions=scripts/valgrind.supp --num-callers=40 \
  --log-file="$log" \
  "$dir/tests/qrkit_tests" --gtest_brief=1 --gtest_filter="${VALGRIND_FILTER:--FontEngine.*}" >"$dir/valgrind-tests.txt" 2>&1 \
  || status=$?
grep -E "tests from .* ran|PASSED|FAILED" "$dir/valgrind-tests.txt" | head -40 || true
grep -E "ERROR SUMMARY|definitely lost|indirectly lost" "$log" || true
if [ "$status" -ne 0 ]; then
  echo "valgrind: failures (exit $status); the report is in $log, the test output in $dir/valgrind-tests.txt"
  grep -E -A30 "Invalid|uninitialised|Mismatched|definitely lost in|indirectly lost in|Overlap" "$log" | head -200
  exit 1
fi
echo "valgrind: no errors, no leaks"
