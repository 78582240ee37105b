// Image writers on a version 40 sized matrix (177 x 177) into a stream that counts and drops bytes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <ostream>
#include <streambuf>

#include "encoder/qrresult.h"
#include "imaging/bmp.h"
#include "imaging/eps.h"
#include "imaging/geometry.h"
#include "imaging/png.h"
#include "imaging/svg.h"

namespace {

using namespace kelvane2::imaging;

class NullBuf : public std::streambuf {
  public:
    std::uint64_t bytes = 0;

  protected:
    std::streamsize xsputn(const char*, std::streamsize n) override {
        bytes += static_cast<std::uint64_t>(n);
        return n;
    }
    int_type overflow(int_type c) override {
        ++bytes;
        return traits_type::not_eof(c);
    }
};

// A 177 x 177 matrix, about half dark, the same every run.
class Matrix177 {
  public:
    Matrix177() {
        auto* object = new kelvane2::Simple2DBitPattern(177, 177);
        object->QueryInterface(kelvane2::IID_I2DBitPattern, reinterpret_cast<void**>(&pattern_));
        std::uint32_t seed = 40;
        for (int i = 0; i < 177; ++i) {
            for (int j = 0; j < 177; ++j) {
                seed = seed * 1664525u + 1013904223u;
                object->setModule(i, j, (seed >> 28) & 1u);
            }
        }
    }
    ~Matrix177() { pattern_->Release(); }
    kelvane2::I2DBitPattern* get() const { return pattern_; }

  private:
    kelvane2::I2DBitPattern* pattern_ = nullptr;
};

template <class Write>
void runWriter(benchmark::State& state, Write write) {
    Matrix177 matrix;
    NullBuf buf;
    std::ostream out(&buf);
    for (auto _ : state) {
        PaintStatus status = write(matrix.get(), out);
        benchmark::DoNotOptimize(status);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(buf.bytes));
    state.counters["bytes_per_image"] =
        static_cast<double>(buf.bytes) / static_cast<double>(state.iterations());
}

void BM_Png177At4Level9(benchmark::State& state) {
    runWriter(state, [](kelvane2::I2DBitPattern* p, std::ostream& out) {
        return writePng(p, out, 4, 4, 0x000000, 0xFFFFFF);
    });
}
BENCHMARK(BM_Png177At4Level9);

void BM_Png177At4DefaultLevel(benchmark::State& state) {
    runWriter(state, [](kelvane2::I2DBitPattern* p, std::ostream& out) {
        return detail::writePngAtLevel(p, out, 4, 4, 0x000000, 0xFFFFFF, -1);
    });
}
BENCHMARK(BM_Png177At4DefaultLevel);

void BM_Bmp177At4(benchmark::State& state) {
    runWriter(state, [](kelvane2::I2DBitPattern* p, std::ostream& out) {
        return writeBmp(p, out, 4, 4, 0x000000, 0xFFFFFF);
    });
}
BENCHMARK(BM_Bmp177At4);

// 0.25 mm modules (25 at 300 dpi).
void BM_Svg177At025mm(benchmark::State& state) {
    runWriter(state, [](kelvane2::I2DBitPattern* p, std::ostream& out) {
        return paintVector(VectorPaintOptions{25, 25, 300, 0x000000, 0xFFFFFF}, p, kFormatSvg, out);
    });
}
BENCHMARK(BM_Svg177At025mm);

void BM_Eps177At025mm(benchmark::State& state) {
    runWriter(state, [](kelvane2::I2DBitPattern* p, std::ostream& out) {
        return paintVector(VectorPaintOptions{25, 25, 300, 0x000000, 0xFFFFFF}, p, kFormatEps, out);
    });
}
BENCHMARK(BM_Eps177At025mm);

}  // namespace
