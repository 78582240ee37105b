// The instruction set levels this processor runs, for tests that compare the encoder's paths, and a
// guard that forces one level for a scope.
#ifndef QRKIT_TESTS_SUPPORT_SIMD_LEVELS_H
#define QRKIT_TESTS_SUPPORT_SIMD_LEVELS_H

#include <string>
#include <vector>

#include "encoder/simd.h"

namespace qrkit_test {

// Every level up to the detected one, the portable level first.
inline std::vector<kelvane2::qrencode::simd::Level> availableLevels() {
    using kelvane2::qrencode::simd::Level;
    std::vector<Level> levels;
    for (int level = 0; level <= static_cast<int>(kelvane2::qrencode::simd::detectedLevel()); ++level)
        levels.push_back(static_cast<Level>(level));
    return levels;
}

inline std::string levelText(kelvane2::qrencode::simd::Level level) {
    return std::string("level ") + kelvane2::qrencode::simd::levelName(level);
}

// Forces a level while it lives; the detected level afterwards.
class ForcedLevel {
  public:
    explicit ForcedLevel(kelvane2::qrencode::simd::Level level) {
        kelvane2::qrencode::simd::forceLevel(level);
    }
    ~ForcedLevel() { kelvane2::qrencode::simd::clearForcedLevel(); }
    ForcedLevel(const ForcedLevel&) = delete;
    ForcedLevel& operator=(const ForcedLevel&) = delete;
};

}  // namespace qrkit_test

#endif
