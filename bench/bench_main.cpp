// qrkit against its peers, side by side in one binary: the nayuki QR Code generator (Debian's -O1
// package and an -O2 build of its source) and zxing-cpp's writer. Every encoder does the whole job:
// mode choice, version choice, error correction, placement and the automatic choice of the mask.
//
// Before anything is timed, every encoder's symbol for every workload is read back with zxing-cpp's
// reader: the bytes and the level must come back, and a workload that names a version must get it.
// Run with --benchmark_repetitions and take the median aggregates (scripts/bench.sh does so).
#define ZX_USE_UTF8
#include <ZXing/DecodeHints.h>
#include <ZXing/ImageView.h>
#include <ZXing/ReadBarcode.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "peers.h"
#include "workload.h"

namespace qrkit_bench {
namespace {

struct Peer {
    const char* name;
    EncodeFunction encode;
};

std::vector<Peer> peers() {
    std::vector<Peer> all;
#if QRKIT_BENCH_QRKIT
    all.push_back({"qrkit", &qrkit_exports::encode});
#endif
    all.push_back({"nayuki_packaged", &nayuki_packaged::encode});
#if QRKIT_BENCH_NAYUKI_O2
    all.push_back({"nayuki_O2", &nayuki_o2::encode});
#endif
    all.push_back({"zxing", &zxing_writer::encode});
    return all;
}

// The payload rules the workloads rely on: the stated sizes, and no 0 byte or '~' (so the qrkit input
// is the payload itself).
bool checkPayloads() {
    const std::size_t sizes[] = {40, 500, 2953};
    bool ok = workloads().size() == 3;
    for (std::size_t i = 0; ok && i < 3; ++i) {
        const Workload& w = workloads()[i];
        if (w.bytes.size() != sizes[i]) {
            std::fprintf(stderr, "%s: %zu bytes, expected %zu\n", w.name.c_str(), w.bytes.size(), sizes[i]);
            ok = false;
        }
        for (std::uint8_t b : w.bytes) {
            if (b == 0 || b == '~') {
                std::fprintf(stderr, "%s: holds a 0 byte or '~'\n", w.name.c_str());
                ok = false;
                break;
            }
        }
    }
    return ok;
}

// Reads a symbol back with zxing-cpp: 4 modules of quiet zone, 3 pixels per module.
ZXing::Result readBack(const std::vector<std::uint8_t>& modules, int size) {
    constexpr int kQuiet = 4;
    constexpr int kScale = 3;
    const int width = (size + 2 * kQuiet) * kScale;
    std::vector<std::uint8_t> image(static_cast<std::size_t>(width) * width, 255);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            if (modules[static_cast<std::size_t>(y) * size + x] == 0) {
                continue;
            }
            for (int dy = 0; dy < kScale; ++dy) {
                for (int dx = 0; dx < kScale; ++dx) {
                    image[static_cast<std::size_t>((y + kQuiet) * kScale + dy) * width +
                          (x + kQuiet) * kScale + dx] = 0;
                }
            }
        }
    }
    return ZXing::ReadBarcode(ZXing::ImageView(image.data(), width, width, ZXing::ImageFormat::Lum),
                              ZXing::DecodeHints().setFormats(ZXing::BarcodeFormat::QRCode).setIsPure(true));
}

// Encodes every workload once with every peer and reads the symbols back. Prints one line per pair.
bool verify(const std::vector<Peer>& all) {
    static const char* const kLevelNames[] = {"L", "M", "Q", "H"};
    bool ok = true;
    for (const Workload& w : workloads()) {
        for (const Peer& peer : all) {
            std::vector<std::uint8_t> modules;
            const int version = peer.encode(w, &modules);
            const int size = 17 + 4 * version;
            std::string problem;
            if (version < 1 || version > 40) {
                problem = "encoding failed";
            } else if (modules.size() != static_cast<std::size_t>(size) * size) {
                problem = "module matrix does not match the version";
            } else if (w.requiredVersion != 0 && version != w.requiredVersion) {
                problem =
                    "version " + std::to_string(version) + ", expected " + std::to_string(w.requiredVersion);
            } else {
                const ZXing::Result read = readBack(modules, size);
                if (!read.isValid()) {
                    problem = "zxing-cpp cannot read the symbol";
                } else if (std::vector<std::uint8_t>(read.bytes().begin(), read.bytes().end()) != w.bytes) {
                    problem = "zxing-cpp reads other bytes";
                } else if (read.ecLevel() != kLevelNames[w.level]) {
                    problem = "level " + read.ecLevel() + ", expected " + kLevelNames[w.level];
                }
            }
            std::fprintf(stderr, "check %-16s %-16s version %2d  %s\n", w.name.c_str(), peer.name, version,
                         problem.empty() ? "read back OK" : problem.c_str());
            ok = ok && problem.empty();
        }
    }
    return ok;
}

void runEncode(benchmark::State& state, const Workload* w, EncodeFunction encode) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(encode(*w, nullptr));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(w->bytes.size()));
}

}  // namespace
}  // namespace qrkit_bench

int main(int argc, char** argv) {
    using namespace qrkit_bench;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
#if !QRKIT_BENCH_QRKIT
    std::fprintf(stderr, "note: qrkit is not in this build (its exports are not declared yet); peers only\n");
#endif
#if !QRKIT_BENCH_NAYUKI_O2
    std::fprintf(stderr,
                 "note: no source of the nayuki generator under the build tree (scripts/build-peers.sh "
                 "fetches it); its packaged -O1 library only\n");
#endif
    const std::vector<Peer> all = peers();
    if (!checkPayloads() || !verify(all)) {
        std::fprintf(stderr, "verification failed: nothing timed\n");
        return 1;
    }
    for (const Workload& w : workloads()) {
        for (const Peer& peer : all) {
            benchmark::RegisterBenchmark((w.name + "/" + peer.name).c_str(), &runEncode, &w, peer.encode)
                ->Unit(benchmark::kMicrosecond);
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
