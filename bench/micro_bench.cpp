// Micro QR Code encodes through the exports: the smallest symbol (M1) and a full M4-L.
#include <benchmark/benchmark.h>

#include "qrkit/qrkit.h"

namespace {

void encodeMicro(benchmark::State& state, const char* data, int expectedVersion) {
    for (auto _ : state) {
        QRCODE_RESULT handle = nullptr;
        if (MicroQRCodeEncode(data, 0, 0, &handle) != 0 ||
            QRCodeResultGetVersion(handle) != expectedVersion) {
            state.SkipWithError("unexpected Micro QR Code result");
            break;
        }
        DestroyQRCodeEncodeResult(handle);
    }
}

void BM_MicroM1Digits(benchmark::State& state) {
    encodeMicro(state, "12345", 1);
}
void BM_MicroM4L35Digits(benchmark::State& state) {
    encodeMicro(state, "12345678901234567890123456789012345", 4);
}

}  // namespace

BENCHMARK(BM_MicroM1Digits);
BENCHMARK(BM_MicroM4L35Digits);
