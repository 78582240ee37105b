// Runs one encoder on one workload a given number of times, for instruction counts under callgrind.
//
//   qrkit_bench_ir ENCODER WORKLOAD WARM COUNT
//
// ENCODER is qrkit, nayuki_packaged, nayuki_O2 or zxing; WORKLOAD is W1, W2 or W3. The program
// encodes WARM times, zeroes callgrind's counters, encodes COUNT times and dumps the counters (the
// dump holds the COUNT encodes alone: their marginal cost, or the first encode of a fresh process when
// WARM is 0). Outside valgrind the requests do nothing. It prints the heap allocations (malloc, calloc,
// realloc and aligned allocations, operator new included) made during the COUNT encodes, per encode.
#include <valgrind/callgrind.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "peers.h"
#include "workload.h"

// Heap allocations are counted by wrapping glibc's allocator; every library of the process calls
// these (operator new calls malloc).
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
}

namespace {
std::atomic<long> allocations{0};
}

extern "C" {
void* malloc(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, size);
}
void* memalign(std::size_t alignment, std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    void* p = __libc_memalign(alignment, size);
    if (p == nullptr) return 12;  // ENOMEM
    *out = p;
    return 0;
}
}

namespace {

using qrkit_bench::EncodeFunction;

EncodeFunction encoderNamed(const std::string& name) {
#if QRKIT_BENCH_QRKIT
    if (name == "qrkit") return &qrkit_bench::qrkit_exports::encode;
#endif
    if (name == "nayuki_packaged") return &qrkit_bench::nayuki_packaged::encode;
#if QRKIT_BENCH_NAYUKI_O2
    if (name == "nayuki_O2") return &qrkit_bench::nayuki_o2::encode;
#endif
    if (name == "zxing") return &qrkit_bench::zxing_writer::encode;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s ENCODER WORKLOAD WARM COUNT\n", argv[0]);
        return 2;
    }
    const EncodeFunction encode = encoderNamed(argv[1]);
    if (encode == nullptr) {
        std::fprintf(stderr, "%s: no encoder %s in this build\n", argv[0], argv[1]);
        return 2;
    }
    const qrkit_bench::Workload* workload = nullptr;
    for (const qrkit_bench::Workload& w : qrkit_bench::workloads()) {
        if (w.name.compare(0, std::strlen(argv[2]), argv[2]) == 0) workload = &w;
    }
    if (workload == nullptr) {
        std::fprintf(stderr, "%s: no workload %s\n", argv[0], argv[2]);
        return 2;
    }
    const long warm = std::strtol(argv[3], nullptr, 10);
    const long count = std::strtol(argv[4], nullptr, 10);
    if (warm < 0 || count < 1) {
        std::fprintf(stderr, "%s: WARM must be 0 or more, COUNT 1 or more\n", argv[0]);
        return 2;
    }
    int version = 0;
    for (long i = 0; i < warm; ++i)
        version |= encode(*workload, nullptr);
    const long before = allocations.load();
    CALLGRIND_ZERO_STATS;
    for (long i = 0; i < count; ++i)
        version |= encode(*workload, nullptr);
    CALLGRIND_DUMP_STATS_AT("measured encodes");
    const long made = allocations.load() - before;
    if (version == 0) {
        std::fprintf(stderr, "%s: %s failed on %s\n", argv[0], argv[1], workload->name.c_str());
        return 1;
    }
    std::printf("%s %s allocations-per-encode %.2f\n", argv[1], workload->name.c_str(),
                static_cast<double>(made) / static_cast<double>(count));
    return 0;
}
