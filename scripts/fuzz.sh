#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one for a bounded time, starting from the seed
# corpora in fuzz/corpus. Fails when any target finds a crash, a leak, a timeout or a failed check; the
# input that found it is left in build-fuzz/artifacts/<target>/.
#
# Environment:
#   FUZZ_SECONDS   seconds per target (default 60)
#   FUZZ_TARGETS   targets to run (default all: qr_encode micro_encode hibc_encode overlay fontstring paint
#                  cli_input)
#   FUZZ_TIMEOUT   seconds one input may take before it counts as a timeout (default 30)
#   FUZZ_BUILD     0 to use the targets already built in FUZZ_BIN (default 1: configure and build)
#   FUZZ_BIN       where the targets are (default build-fuzz/fuzz)
#   FUZZ_WORK      working corpora that grow between runs (default build-fuzz/corpus)
#   FUZZ_NICE      niceness of the fuzzing processes (default 0)
#   CXX, CC        clang to build with (default clang++-14 / clang-14, else clang++ / clang)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

seconds=${FUZZ_SECONDS:-60}
timeout=${FUZZ_TIMEOUT:-30}
targets=${FUZZ_TARGETS:-"qr_encode micro_encode hibc_encode overlay fontstring paint cli_input"}
bin=${FUZZ_BIN:-$root/build-fuzz/fuzz}
work=${FUZZ_WORK:-$root/build-fuzz/corpus}
niceness=${FUZZ_NICE:-0}

if [ "${FUZZ_BUILD:-1}" != 0 ]; then
  cxx=${CXX:-$(command -v clang++-14 || command -v clang++)}
  cc=${CC:-$(command -v clang-14 || command -v clang)}
  CXX=$cxx CC=$cc cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQRKIT_FUZZ=ON \
    -DQRKIT_TESTS=OFF -DQRKIT_BENCH=OFF -DQRKIT_WERROR=ON >/dev/null
  cmake --build build-fuzz -j "${FUZZ_JOBS:-$(nproc)}" --target qrkit_fuzzers
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=()
for target in $targets; do
  mkdir -p "$work/$target" "$root/build-fuzz/artifacts/$target"
  echo "== $target: ${seconds}s"
  log="$root/build-fuzz/artifacts/$target/last.log"
  if ! nice -n "$niceness" "$bin/${target}_fuzzer" -max_total_time="$seconds" -timeout="$timeout" \
      -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix="$root/build-fuzz/artifacts/$target/" \
      "$work/$target" "$root/fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 60 "$log"
    failed+=("$target")
  else
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing found faults in: ${failed[*]} (inputs in build-fuzz/artifacts/)"
  exit 1
fi
echo "fuzzing: no crash, leak or timeout in ${seconds}s per target"
