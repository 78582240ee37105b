#!/usr/bin/env bash
# Instruction counts of qrkit and its peers on the benchmark workloads, with callgrind: the marginal
# instructions of one encode through each encoder's public interface (qrkit: QRCodeEncode and
# DestroyQRCodeEncodeResult), counted over warm encodes after a few to fill the caches. Prints them per
# workload with the ratio of qrkit to the fewest of the peers, qrkit's instructions by stage, the first
# encode of version 40 in a fresh process against a warm one, and the heap allocations per encode.
# Instruction counts do not move with the machine's load.
#
# Usage: scripts/bench-ir.sh [--timing]
#   --timing   also runs scripts/bench.sh afterwards, for the Google Benchmark medians of the same run
# Environment: BENCH_IR_BUILD (default build-bench), BENCH_IR_COUNT encodes counted per run (default 10).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BENCH_IR_BUILD:-build-bench}
count=${BENCH_IR_COUNT:-10}
timing=0
for arg in "$@"; do
  case $arg in
    --timing) timing=1 ;;
    *) echo "usage: $0 [--timing]" >&2; exit 2 ;;
  esac
done
command -v valgrind >/dev/null || { echo "valgrind is not installed (scripts/install-deps.sh)" >&2; exit 1; }

./scripts/build-peers.sh "$build_dir" >/dev/null || echo "peer sources unavailable: packaged peers only" >&2
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQRKIT_TESTS=OFF -DQRKIT_BENCH=ON >/dev/null
cmake --build "$build_dir" -j2 --target qrkit_bench_ir >/dev/null
driver=$build_dir/bench/qrkit_bench_ir
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

encoders=()
for encoder in qrkit nayuki_packaged nayuki_O2 zxing; do
  if "$driver" "$encoder" W1 0 1 >/dev/null 2>&1; then encoders+=("$encoder"); fi
done

# Runs callgrind on one encoder and workload: warm encodes, then the counted ones. Prints the counted
# instructions per encode and the allocations per encode; leaves the profile in $work/<name>.1.
profile() {
  local encoder=$1 workload=$2 warm=$3 counted=$4 name=$5 allocations
  allocations=$(valgrind --tool=callgrind --callgrind-out-file="$work/$name" "$driver" "$encoder" "$workload" \
    "$warm" "$counted" 2>/dev/null | awk '{print $NF}')
  awk -v n="$counted" -v a="$allocations" '/^summary:/ { printf "%d %s\n", $2 / n, a }' "$work/$name.1"
}

# The stages of a qrkit encode: inclusive instructions of the functions that carry them, per encode.
stages() {
  local file=$1 counted=$2
  callgrind_annotate --inclusive=yes --threshold=100 "$file" 2>/dev/null | awk -v n="$counted" '
    function add(stage, text) { gsub(",", "", text); cost[stage] += text }
    /kelvane2::qrencode::QRInput::parse\(/ { add("parse and segmentation", $1) }
    /kelvane2::qrencode::QRInput::dataBitString\(/ { add("bit strings", $1) }
    /kelvane2::qrencode::packBits\(/ { add("bit strings", $1) }
    /kelvane2::qrencode::RsCodec::encodeBlocks\(/ { add("Reed-Solomon", $1) }
    /kelvane2::qrencode::placeCodewordsPacked\(/ { add("placement", $1) }
    /kelvane2::qrencode::transposeColumnsToRows\(/ { add("plane transpose", $1) }
    /kelvane2::qrencode::scoreMaskCandidates\(/ { add("mask evaluation", $1) }
    /kelvane2::qrencode::writeMaskedMatrix\(/ { add("winning mask to bytes", $1) }
    /:QRCodeEncode \[/ { add("whole encode (export)", $1) }
    END {
      split("parse and segmentation,bit strings,Reed-Solomon,placement,plane transpose,mask evaluation," \
            "winning mask to bytes,whole encode (export)", order, ",")
      for (i = 1; i <= 8; ++i) printf "    %-26s %10d\n", order[i], cost[order[i]] / n
    }'
}

printf 'callgrind instructions per encode (marginal, %d counted encodes after 3 warm ones)\n\n' "$count"
printf '%-18s' workload
for encoder in "${encoders[@]}"; do printf '%16s' "$encoder"; done
printf '%10s\n' ratio
declare -A qrkit_ir qrkit_alloc
for workload in W1 W2 W3; do
  printf '%-18s' "$workload"
  best=0
  for encoder in "${encoders[@]}"; do
    read -r ir allocations < <(profile "$encoder" "$workload" 3 "$count" "$encoder.$workload")
    printf '%16d' "$ir"
    if [ "$encoder" = qrkit ]; then
      qrkit_ir[$workload]=$ir
      qrkit_alloc[$workload]=$allocations
    elif [ "$best" -eq 0 ] || [ "$ir" -lt "$best" ]; then
      best=$ir
    fi
  done
  if [ -n "${qrkit_ir[$workload]:-}" ] && [ "$best" -gt 0 ]; then
    awk -v q="${qrkit_ir[$workload]}" -v b="$best" 'BEGIN { printf "%10.3f\n", q / b }'
  else
    printf '%10s\n' n/a
  fi
done
printf '(ratio: qrkit against the peer with the fewest instructions)\n'

if [ -n "${qrkit_ir[W1]:-}" ]; then
  for workload in W1 W2 W3; do
    printf '\nqrkit %s by stage, instructions per encode (heap allocations per encode: %s)\n' \
      "$workload" "${qrkit_alloc[$workload]}"
    stages "$work/qrkit.$workload.1" "$count"
  done
  read -r first _ < <(profile qrkit W3 0 1 first.W3)
  printf '\nfirst encode of version 40 in a fresh process: %d instructions, %.2f times a warm one (%d)\n' \
    "$first" "$(awk -v f="$first" -v w="${qrkit_ir[W3]}" 'BEGIN { print f / w }')" "${qrkit_ir[W3]}"
fi

if [ "$timing" -eq 1 ]; then
  printf '\nGoogle Benchmark medians of the same run (scripts/bench.sh):\n'
  ./scripts/bench.sh
fi
