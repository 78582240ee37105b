// Input built to be slow: 1 MB of one escape repeated, through the encode export and the parity.
// Each must stay far below 50 ms: the parse reads every byte a bounded number of times, builds only
// the last overlay and stops storing segments once no symbol can hold them.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "qrkit/qrkit.h"

namespace {

constexpr std::size_t kMegabyte = 1 << 20;

std::string repeated(const char* unit) {
    std::string text;
    text.reserve(kMegabyte);
    while (text.size() + std::strlen(unit) <= kMegabyte)
        text += unit;
    return text;
}

void encode(benchmark::State& state, const char* unit, std::int32_t expected) {
    const std::string data = repeated(unit);
    for (auto _ : state) {
        QRCODE_RESULT handle = nullptr;
        const std::int32_t code = QRCodeEncode(data.c_str(), 0, 0, &handle);
        if (handle != nullptr) DestroyQRCodeEncodeResult(handle);
        if (code != expected) {
            state.SkipWithError("unexpected result code");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(data.size()));
}

void parity(benchmark::State& state, const char* unit) {
    const std::string data = repeated(unit);
    for (auto _ : state)
        benchmark::DoNotOptimize(QRCodeGetParity(data.c_str()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(data.size()));
}

constexpr std::int32_t kTooLong = static_cast<std::int32_t>(0x80520005u);

// FNC1 in second position, 209,715 times: no symbol holds them ("Input is too long").
void BM_Encode1MBFnc1Second(benchmark::State& state) {
    encode(state, "~3[1]", kTooLong);
}
// 65,536 overlay blocks of 4096 x 4096 modules: the last one is drawn over a version 1 symbol.
void BM_Encode1MBOverlays(benchmark::State& state) {
    encode(state, "~50[4096,4096,f]", 0);
}
// 209,715 decimal escapes: the plain run overflows after 7168 bytes.
void BM_Encode1MBDecimalEscapes(benchmark::State& state) {
    encode(state, "~d065", kTooLong);
}
void BM_Parity1MBFnc1Second(benchmark::State& state) {
    parity(state, "~3[1]");
}
void BM_Parity1MBOverlays(benchmark::State& state) {
    parity(state, "~50[4096,4096,f]");
}
void BM_Parity1MBDecimalEscapes(benchmark::State& state) {
    parity(state, "~d065");
}

}  // namespace

BENCHMARK(BM_Encode1MBFnc1Second)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode1MBOverlays)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode1MBDecimalEscapes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Parity1MBFnc1Second)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Parity1MBOverlays)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Parity1MBDecimalEscapes)->Unit(benchmark::kMillisecond);
