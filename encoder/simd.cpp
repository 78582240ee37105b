// Processor feature detection for the vector paths, and the forced level of tests and fuzzers.
#include "encoder/simd.h"

#include <atomic>
#include <cstring>

namespace kelvane2::qrencode::simd {

namespace {

struct Detected {
    Level level;
    bool fastDeposit;
};

Detected detect() {
    Detected found{Level::kScalar, false};
#if QRKIT_X86_SIMD
    __builtin_cpu_init();
#if defined(__x86_64__) || defined(__SSE2__)
    found.level = Level::kSse2;
#else
    if (__builtin_cpu_supports("sse2")) found.level = Level::kSse2;
#endif
    if (found.level == Level::kSse2 && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
        __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt")) {
        found.level = Level::kAvx2;
        // AMD processors before family 19h (Excavator, Zen 1 and 2) run PDEP and PEXT in microcode.
        found.fastDeposit =
            !(__builtin_cpu_is("amd") && (__builtin_cpu_is("amdfam15h") || __builtin_cpu_is("amdfam17h")));
        if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
            __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vpopcntdq"))
            found.level = Level::kAvx512;
    }
#endif
    return found;
}

const Detected& detected() {
    static const Detected found = detect();
    return found;
}

// -1 when nothing is forced, else a Level.
std::atomic<int> forced{-1};

}  // namespace

Level detectedLevel() {
    return detected().level;
}

Level activeLevel() {
    const int level = forced.load(std::memory_order_relaxed);
    return level < 0 ? detected().level : static_cast<Level>(level);
}

bool forceLevel(Level level) {
    if (static_cast<int>(level) < 0 || level > detected().level) return false;
    forced.store(static_cast<int>(level), std::memory_order_relaxed);
    return true;
}

void clearForcedLevel() {
    forced.store(-1, std::memory_order_relaxed);
}

bool fastBitDeposit() {
    return activeLevel() >= Level::kAvx2 && detected().fastDeposit;
}

const char* levelName(Level level) {
    switch (level) {
        case Level::kScalar:
            return "scalar";
        case Level::kSse2:
            return "sse2";
        case Level::kAvx2:
            return "avx2";
        case Level::kAvx512:
            return "avx512";
    }
    return "unknown";
}

bool levelNamed(const char* name, Level* level) {
    if (name == nullptr) return false;
    for (int i = 0; i <= static_cast<int>(Level::kAvx512); ++i) {
        if (std::strcmp(name, levelName(static_cast<Level>(i))) == 0) {
            *level = static_cast<Level>(i);
            return true;
        }
    }
    return false;
}

}  // namespace kelvane2::qrencode::simd
