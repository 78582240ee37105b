// The encoder on every instruction set level the processor has (scalar, sse2, avx2, avx512), on the
// workloads W1-W3: the encoder's own code (not the exports, whose copy of it keeps its own level).
#include <benchmark/benchmark.h>

#include <string>

#include "encoder/encode_qr.h"
#include "encoder/objectmodel.h"
#include "encoder/simd.h"
#include "workload.h"

namespace {

using kelvane2::qrencode::simd::Level;

void encodeOnLevel(benchmark::State& state, const qrkit_bench::Workload* w, Level level) {
    if (!kelvane2::qrencode::simd::forceLevel(level)) {
        state.SkipWithError("level not on this processor");
        return;
    }
    const kelvane2::qrencode::EncodeOptions options{0, w->level, -1};
    for (auto _ : state) {
        kelvane2::IQrcodeResult* handle = nullptr;
        kelvane2::qrencode::encodeQr(reinterpret_cast<const std::uint8_t*>(w->qrkitInput.data()),
                                     static_cast<int>(w->qrkitInput.size()), options, &handle);
        benchmark::DoNotOptimize(handle);
        if (handle != nullptr) handle->Release();
    }
    kelvane2::qrencode::simd::clearForcedLevel();
}

// Registered at start-up, one benchmark a workload and level.
const bool kRegistered = [] {
    for (const qrkit_bench::Workload& w : qrkit_bench::workloads()) {
        for (int level = 0; level <= static_cast<int>(kelvane2::qrencode::simd::detectedLevel()); ++level) {
            const std::string name = "BM_Level/" + w.name.substr(0, 2) + "/" +
                                     kelvane2::qrencode::simd::levelName(static_cast<Level>(level));
            benchmark::RegisterBenchmark(name.c_str(), &encodeOnLevel, &w, static_cast<Level>(level))
                ->Unit(benchmark::kMicrosecond);
        }
    }
    return true;
}();

}  // namespace
