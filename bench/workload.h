// The benchmark workloads and the adaptor signature shared by every encoder under test.
#ifndef QRKIT_BENCH_WORKLOAD_H
#define QRKIT_BENCH_WORKLOAD_H

#include <cstdint>
#include <string>
#include <vector>

namespace qrkit_bench {

// One payload in every form the encoders take. All forms hold the same bytes.
struct Workload {
    std::string name;                 // benchmark family name, e.g. "W1_url_M"
    int level = 0;                    // 0 L, 1 M, 2 Q, 3 H
    bool binary = false;              // binary data (byte APIs) rather than text (text APIs)
    std::vector<std::uint8_t> bytes;  // the payload
    std::string text;                 // the payload as a NUL-terminated string (no 0 byte inside)
    std::wstring wide;                // one wide character per byte (ISO 8859-1), for zxing-cpp
    std::string qrkitInput;           // the payload written in qrkit's input language
    int requiredVersion = 0;          // every encoder must produce this version; 0 = any
};

// The workloads W1-W3, built once, deterministically.
const std::vector<Workload>& workloads();

// An encoder under test: encodes w with automatic mask choice at w.level, returns the symbol's version
// (0 on failure) and, when modules is not null, writes its modules row-major (1 dark, 0 light).
using EncodeFunction = int (*)(const Workload& w, std::vector<std::uint8_t>* modules);

}  // namespace qrkit_bench

#endif
