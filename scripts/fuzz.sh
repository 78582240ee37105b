#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one for a bounded time, starting from the seed
# corpora in fuzz/corpus. Fails when any target finds a crash, a leak, a timeout or a failed check; the
# input that found it is left in build-fuzz/artifacts/<target>/.
#
# Usage: scripts/fuzz.sh [--long]
#   (default)  every target for FUZZ_SECONDS with libFuzzer's default maximum input length (4096 bytes).
#   --long     the campaign: every target twice, for FUZZ_SECONDS with the default maximum length and
#              for FUZZ_SECONDS with -max_len=70000 (inputs the size of the longest data a symbol can
#              be given, escapes included), then the working corpus of each target is merged into
#              fuzz/corpus/<target>/ and minimised there: the seed-* and regress-* inputs stay, and of
#              the other inputs only those that add coverage are kept. Prints the CPU time spent per
#              target and in all. Commit the corpus changes it leaves.
#
# Each run of a target is shared between the instruction set levels of the encoder's vector paths that
# the processor has (scalar, sse2, avx2, avx512: the level is forced through QRKIT_FUZZ_SIMD); the QR
# Code and Micro QR Code targets also check every symbol against the scalar level's.
#
# Environment:
#   FUZZ_SECONDS   seconds per target and run, all levels together (default 60)
#   FUZZ_LEVELS    levels to run (default: every level the processor has)
#   FUZZ_TARGETS   targets to run (default all: qr_encode wide_encode micro_encode hibc_encode overlay
#                  fontstring paint cli_input)
#   FUZZ_TIMEOUT   seconds one input may take before it counts as a timeout (default 30)
#   FUZZ_BUILD     0 to use the targets already built in FUZZ_BIN (default 1: configure and build)
#   FUZZ_BIN       where the targets are (default build-fuzz/fuzz)
#   FUZZ_WORK      working corpora that grow between runs (default build-fuzz/corpus)
#   FUZZ_NICE      niceness of the fuzzing processes (default 0)
#   CXX, CC        clang to build with (default clang++-14 / clang-14, else clang++ / clang)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

long=0
case "${1:-}" in
  --long) long=1 ;;
  "") ;;
  *) echo "usage: $0 [--long]" >&2; exit 2 ;;
esac

seconds=${FUZZ_SECONDS:-60}
timeout=${FUZZ_TIMEOUT:-30}
targets=${FUZZ_TARGETS:-"qr_encode wide_encode micro_encode hibc_encode overlay fontstring paint cli_input"}
bin=${FUZZ_BIN:-$root/build-fuzz/fuzz}
work=${FUZZ_WORK:-$root/build-fuzz/corpus}
niceness=${FUZZ_NICE:-0}
long_max_len=70000

if [ "${FUZZ_BUILD:-1}" != 0 ]; then
  cxx=${CXX:-$(command -v clang++-14 || command -v clang++)}
  cc=${CC:-$(command -v clang-14 || command -v clang)}
  CXX=$cxx CC=$cc cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQRKIT_FUZZ=ON \
    -DQRKIT_TESTS=OFF -DQRKIT_BENCH=OFF -DQRKIT_WERROR=ON >/dev/null
  cmake --build build-fuzz -j "${FUZZ_JOBS:-$(nproc)}" --target qrkit_fuzzers
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# CPU seconds (user + system) of every fuzzing process, per target and in all.
declare -A cpu
total_cpu=0
TIMEFORMAT='%U %S'

# The levels this processor runs: a target exits with 77 at once for a level it lacks.
levels=()
first_target=${targets%% *}
for level in ${FUZZ_LEVELS:-scalar sse2 avx2 avx512}; do
  status=0
  QRKIT_FUZZ_SIMD=$level "$bin/${first_target}_fuzzer" -runs=0 >/dev/null 2>&1 || status=$?
  if [ "$status" -eq 77 ]; then
    echo "level $level: not on this processor, left out"
  else
    levels+=("$level")
  fi
done
[ ${#levels[@]} -gt 0 ] || { echo "no instruction set level to fuzz" >&2; exit 1; }
level_seconds=$(( seconds / ${#levels[@]} ))
[ "$level_seconds" -ge 1 ] || level_seconds=1

# run <target> <name of the run> <level> <seconds> [libFuzzer options]: one bounded run on one
# instruction set level; false when it found a fault.
run() {
  local target=$1 name=$2 level=$3 run_seconds=$4
  shift 4
  local artifacts=$root/build-fuzz/artifacts/$target
  local log=$artifacts/$name-$level.log
  local times=$artifacts/$name-$level.time
  echo "== $target ($name, level $level): ${run_seconds}s"
  local status=0
  { time QRKIT_FUZZ_SIMD=$level nice -n "$niceness" "$bin/${target}_fuzzer" -max_total_time="$run_seconds" \
      -timeout="$timeout" -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix="$artifacts/$level-" "$@" \
      "$work/$target" "$root/fuzz/corpus/$target" >"$log" 2>&1; } 2>"$times" || status=$?
  local used
  used=$(awk '{ printf "%.1f", $1 + $2 }' "$times")
  cpu[$target]=$(awk -v a="${cpu[$target]:-0}" -v b="$used" 'BEGIN { printf "%.1f", a + b }')
  total_cpu=$(awk -v a="$total_cpu" -v b="$used" 'BEGIN { printf "%.1f", a + b }')
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log"
    return 1
  fi
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
  echo "   CPU ${used}s"
}

# Merges the working corpus into fuzz/corpus/<target>/ and minimises the inputs there that are neither
# seed-* nor regress-*: only those adding coverage over the named inputs are kept.
minimise() {
  local target=$1
  local corpus=$root/fuzz/corpus/$target
  local merged=$root/build-fuzz/merge/$target
  rm -rf "$merged"
  mkdir -p "$merged/named" "$merged/others"
  find "$corpus" -maxdepth 1 -type f \( -name 'seed-*' -o -name 'regress-*' \) -exec cp {} "$merged/named/" \;
  find "$corpus" -maxdepth 1 -type f ! -name 'seed-*' ! -name 'regress-*' -exec cp {} "$merged/others/" \;
  local before
  before=$(find "$corpus" -maxdepth 1 -type f | wc -l)
  local status=0
  { time nice -n "$niceness" "$bin/${target}_fuzzer" -merge=1 -timeout="$timeout" -rss_limit_mb=2560 \
      -max_len="$long_max_len" "$merged/named" "$merged/others" "$work/$target" \
      >"$root/build-fuzz/artifacts/$target/merge.log" 2>&1; } 2>"$merged/time" || status=$?
  local used
  used=$(awk '{ printf "%.1f", $1 + $2 }' "$merged/time")
  cpu[$target]=$(awk -v a="${cpu[$target]:-0}" -v b="$used" 'BEGIN { printf "%.1f", a + b }')
  total_cpu=$(awk -v a="$total_cpu" -v b="$used" 'BEGIN { printf "%.1f", a + b }')
  if [ "$status" -ne 0 ]; then
    tail -n 30 "$root/build-fuzz/artifacts/$target/merge.log"
    return 1
  fi
  # The merge added the new inputs to the named ones: they replace the earlier unnamed inputs.
  find "$corpus" -maxdepth 1 -type f ! -name 'seed-*' ! -name 'regress-*' -delete
  find "$merged/named" -maxdepth 1 -type f ! -name 'seed-*' ! -name 'regress-*' -exec cp {} "$corpus/" \;
  local after
  after=$(find "$corpus" -maxdepth 1 -type f | wc -l)
  echo "   corpus fuzz/corpus/$target: $before inputs before, $after after ($(du -sh "$corpus" | cut -f1))"
}

# run_levels <target> <name of the run> [libFuzzer options]: the run on every level of the target, the
# seconds shared between them; false when one of them found a fault.
run_levels() {
  local target=$1 name=$2
  shift 2
  # fontstring encodes nothing: one run on the highest level, with all of the seconds.
  local target_levels=("${levels[@]}") target_seconds=$level_seconds
  if [ "$target" = fontstring ]; then
    target_levels=("${levels[-1]}")
    target_seconds=$seconds
  fi
  local level ok=1
  for level in "${target_levels[@]}"; do
    run "$target" "$name" "$level" "$target_seconds" "$@" || ok=0
  done
  [ "$ok" -eq 1 ]
}

failed=()
for target in $targets; do
  mkdir -p "$work/$target" "$root/build-fuzz/artifacts/$target"
  ok=1
  run_levels "$target" default || ok=0
  if [ "$long" -eq 1 ] && [ "$ok" -eq 1 ]; then
    run_levels "$target" long -max_len="$long_max_len" || ok=0
    [ "$ok" -eq 1 ] && { minimise "$target" || ok=0; }
  fi
  [ "$ok" -eq 1 ] || failed+=("$target")
done

echo "CPU time per target (seconds):"
for target in $targets; do
  printf '  %-14s %8s\n' "$target" "${cpu[$target]:-0}"
done
printf '  %-14s %8s (%.2f CPU-hours)\n' all "$total_cpu" "$(awk -v s="$total_cpu" 'BEGIN { print s / 3600 }')"

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing found faults in: ${failed[*]} (inputs in build-fuzz/artifacts/)"
  exit 1
fi
if [ "$long" -eq 1 ]; then
  echo "fuzzing (long): no crash, leak or timeout in 2 x ${seconds}s per target (levels: ${levels[*]});" \
    "corpora minimised in fuzz/corpus"
else
  echo "fuzzing: no crash, leak or timeout in ${seconds}s per target (levels: ${levels[*]})"
fi
