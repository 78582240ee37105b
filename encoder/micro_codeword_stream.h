// The data and error correction codewords of a Micro QR Code symbol: one block, data first.
#ifndef QRKIT_ENCODER_MICRO_CODEWORD_STREAM_H
#define QRKIT_ENCODER_MICRO_CODEWORD_STREAM_H

#include <cstdint>

namespace kelvane2::qrencode {

class BitString;

class MicroCodewordStream {
  public:
    // The data codewords of a Micro version and level packed from a data bit stream of dataBits (or, for
    // M1 and M3, dataBits + 4 zero) bits, with their error correction. In M1 and M3 the last data
    // codeword holds its four data bits in the low nibble; the error correction is computed with those
    // bits in the high nibble followed by four zero bits, as readers expect. ok() is false when the bit
    // stream is missing or its length does not fit the version.
    MicroCodewordStream(int version, int level, const BitString& dataBits);

    // The most codewords of a Micro version (M4), data and error correction together.
    static constexpr int kMaxCodewords = 24;

    bool ok() const { return dataLength_ != 0; }
    int version() const { return version_; }
    int dataLength() const { return dataLength_; }
    int eccLength() const { return eccLength_; }
    // 4 for M1 and M3 (the last data codeword gives four modules), 0 otherwise.
    int oddBits() const { return oddBits_; }
    const std::uint8_t* data() const { return data_; }
    const std::uint8_t* ecc() const { return ecc_; }
    // Data codewords in order, then error correction codewords; 0 once all were read.
    std::uint8_t nextCodeword();

  private:
    int version_ = 0;
    int oddBits_ = 0;
    int position_ = 0;
    int dataLength_ = 0;
    int eccLength_ = 0;
    // Held in the object: a Micro symbol's codewords take no heap memory.
    std::uint8_t data_[kMaxCodewords] = {};
    std::uint8_t ecc_[kMaxCodewords] = {};
};

}  // namespace kelvane2::qrencode

#endif
