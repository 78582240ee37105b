// Reed-Solomon encoders over GF(256) and the process-wide cache that builds each parameter set once.
#ifndef QRKIT_ENCODER_REEDSOLOMON_H
#define QRKIT_ENCODER_REEDSOLOMON_H

#include <cstdint>

namespace kelvane2::qrencode {

// An encoder for one parameter set; immutable once built.
class RsCodec {
  public:
    // Reads 255 - roots - shortening data codewords and writes roots error correction codewords,
    // highest degree first.
    void encode(const std::uint8_t* data, std::uint8_t* ecc) const;
    // encode for blocks blocks of data codewords one after the other, their error correction codewords
    // one block after the other.
    void encodeBlocks(const std::uint8_t* data, int blocks, std::uint8_t* ecc) const;

    int symbolSize;  // bits per symbol, 8 here
    int n;           // 2^symbolSize - 1
    std::uint8_t antilog[256];
    std::uint8_t log[256];
    std::uint8_t generator[256];  // roots + 1 coefficients in log form; entry i for x^i
    int roots;
    int firstRoot;
    int primitive;
    int shortening;
    int fieldPolynomial;

    // Derived for encode: antilog over two periods (entry i is the antilog of i mod n for i < 2n, 0 from
    // 2n on) and, for each parity position j, the log of the generator coefficient that feeds it (entry j
    // for coefficient roots - 1 - j), 2n for a zero coefficient so that every sum with it reads 0.
    std::uint8_t antilogWide[768];
    std::uint16_t feedbackLog[256];

    // Codecs of up to kRowRoots roots also keep one parity update a feedback byte: row x holds x times
    // each generator coefficient, position j the coefficient that feeds parity byte j (that of
    // x^(roots - 1 - j)), zero from roots on. A division step is then a shift of the parity bytes and one
    // XOR of a row, done on whole vector registers.
    static constexpr int kRowRoots = 32;
    bool hasRows;
    std::uint8_t rows[256][kRowRoots];
};

// The cached codec for the parameters, built on first request; null when the parameters are invalid.
// The encoder asks with (8, 0x11D, 0, 1, ecc count, 255 - data count - ecc count). Thread-safe; a codec
// already built is found without taking the cache's mutex. The returned codec is read-only and lives
// until the library unloads.
const RsCodec* codecFor(int symbolSize, int fieldPolynomial, int firstRoot, int primitive, int roots,
                        int shortening);

// The number of codecs the cache holds (for tests).
int cachedCodecCount();
// How many times the cache has taken its mutex: only to build a codec (for tests).
unsigned long codecCacheLockCount();

}  // namespace kelvane2::qrencode

#endif
