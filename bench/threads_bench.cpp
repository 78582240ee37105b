// Warm encodes on one and on two threads at once (W1 and W3 through the exports): with the caches read
// without their locks, two threads encode twice as many symbols a second as one, when both cores are free.
#include <benchmark/benchmark.h>

#include "peers.h"
#include "workload.h"

namespace {

void encodeOnThreads(benchmark::State& state, int workload) {
#if QRKIT_BENCH_QRKIT
    const qrkit_bench::Workload& w = qrkit_bench::workloads()[static_cast<std::size_t>(workload)];
    for (auto _ : state)
        benchmark::DoNotOptimize(qrkit_bench::qrkit_exports::encode(w, nullptr));
    state.SetItemsProcessed(state.iterations());
#else
    (void)workload;
    state.SkipWithError("qrkit is not in this build");
#endif
}

void BM_ThreadsW1(benchmark::State& state) {
    encodeOnThreads(state, 0);
}
void BM_ThreadsW3(benchmark::State& state) {
    encodeOnThreads(state, 2);
}

}  // namespace

BENCHMARK(BM_ThreadsW1)->Threads(1)->Threads(2)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ThreadsW3)->Threads(1)->Threads(2)->UseRealTime()->Unit(benchmark::kMicrosecond);
