// The instruction set levels the encoder's vector paths are built for, the level the processor offers
// and the level in use. Every path gives the same results; the level only decides how fast.
#ifndef QRKIT_ENCODER_SIMD_H
#define QRKIT_ENCODER_SIMD_H

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define QRKIT_X86_SIMD 1
#else
#define QRKIT_X86_SIMD 0
#endif

namespace kelvane2::qrencode::simd {

// In increasing order; every level includes the ones below it.
enum class Level : int {
    kScalar = 0,  // portable C++ on 64-bit words
    kSse2 = 1,    // SSE2 (always there on x86-64)
    kAvx2 = 2,    // AVX2 with BMI1, BMI2 and POPCNT
    kAvx512 = 3,  // AVX-512 F, BW, VL and VPOPCNTDQ, on 256-bit registers
};

// The highest level this processor and build support (found once).
Level detectedLevel();
// The level the encoder uses: the detected one, or the one forced.
Level activeLevel();
// Makes the encoder use level (for tests and fuzzers, which compare the paths). Returns false, changing
// nothing, when the processor lacks it. Takes effect for encodes that start afterwards.
bool forceLevel(Level level);
// Back to the detected level.
void clearForcedLevel();
// True when the processor's bit deposit and extract instructions (BMI2 PDEP/PEXT) are fast, so that the
// AVX2 and AVX-512 levels use them; some processors run them in microcode, hundreds of cycles each.
bool fastBitDeposit();
// "scalar", "sse2", "avx2", "avx512".
const char* levelName(Level level);
// The level of a name above; false for any other text.
bool levelNamed(const char* name, Level* level);

}  // namespace kelvane2::qrencode::simd

#endif
