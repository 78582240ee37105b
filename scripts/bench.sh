#!/usr/bin/env bash
# Builds the benchmark (Release, in build-bench/) and runs qrkit against its peers, then prints the
# median CPU time of each encoder per workload and, per workload, qrkit against the fastest peer.
#
# Usage: scripts/bench.sh [extra Google Benchmark flags, e.g. --benchmark_filter=W1]
# Environment: BENCH_REPETITIONS (default 7), BENCH_MIN_TIME seconds per repetition (default 0.1).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=build-bench
repetitions="${BENCH_REPETITIONS:-7}"
min_time="${BENCH_MIN_TIME:-0.1}"

# The -O2 build of the nayuki generator needs its source; without it the benchmark uses the packaged
# library only and says so.
./scripts/build-peers.sh "$build_dir" || echo "peer sources unavailable: packaged peers only" >&2

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQRKIT_TESTS=OFF -DQRKIT_BENCH=ON >/dev/null
cmake --build "$build_dir" -j2 --target qrkit_bench >/dev/null

json="$build_dir/bench-results.json"
"$build_dir/bench/qrkit_bench" \
  --benchmark_repetitions="$repetitions" \
  --benchmark_min_time="$min_time" \
  --benchmark_report_aggregates_only=true \
  --benchmark_out="$json" --benchmark_out_format=json \
  "$@" >/dev/null

/usr/bin/python3 - "$json" <<'EOF'
import json
import sys

# Targets: qrkit's median at most this fraction of the fastest peer's.
targets = {"W1": 0.5, "W2": 0.5, "W3": 0.2}

with open(sys.argv[1]) as f:
    results = json.load(f)["benchmarks"]
medians = {}  # workload -> encoder -> median CPU time in microseconds
others = {}  # benchmarks of qrkit alone (Micro QR Code, image writers, threads) -> median in microseconds
rates = {}  # the same -> items a second, where they count items (encodes on several threads)
for r in results:
    if r.get("aggregate_name") != "median":
        continue
    scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[r["time_unit"]]
    if r["run_name"].startswith("BM_"):
        others[r["run_name"]] = (r["real_time"] if "real_time" in r["run_name"] else r["cpu_time"]) * scale
        if "items_per_second" in r:
            rates[r["run_name"]] = r["items_per_second"]
        continue
    workload, encoder = r["run_name"].split("/", 1)
    medians.setdefault(workload, {})[encoder] = r["cpu_time"] * scale

print("median CPU time per encode, microseconds")
for workload, encoders in medians.items():
    print("  " + workload + ": " + ", ".join(f"{e} {t:.1f}" for e, t in encoders.items()))
print()
print(f"{'workload':<18}{'qrkit':>10}  {'fastest peer':<24}{'ratio':>7}{'target':>8}  result")
for workload, encoders in medians.items():
    peers = {e: t for e, t in encoders.items() if e != "qrkit"}
    best = min(peers, key=peers.get)
    target = targets.get(workload.split("_")[0])
    peer_text = f"{peers[best]:.1f} ({best})"
    if "qrkit" in encoders:
        ratio = encoders["qrkit"] / peers[best]
        verdict = "" if target is None else ("met" if ratio <= target else "missed")
        print(f"{workload:<18}{encoders['qrkit']:>10.1f}  {peer_text:<24}{ratio:>7.3f}{target or 0:>8.2f}  {verdict}")
    else:
        print(f"{workload:<18}{'n/a':>10}  {peer_text:<24}{'n/a':>7}{target or 0:>8.2f}  qrkit not built in")
if others:
    print()
    print("qrkit alone, median CPU time, microseconds")
    for name, t in others.items():
        rate = f"{rates[name]:>14.0f} a second" if name in rates else ""
        print(f"  {name:<40}{t:>12.1f}{rate}")
    for name in rates:
        if name.endswith("threads:2"):
            one = name[: -len("threads:2")] + "threads:1"
            if one in rates:
                print(f"  {name[:-len('/real_time/threads:2')]}: 2 threads {rates[name] / rates[one]:.2f} times 1 thread")
EOF
