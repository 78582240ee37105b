// The data and error correction codewords of one symbol, in placement (interleaved) order.
#ifndef QRKIT_ENCODER_CODEWORD_STREAM_H
#define QRKIT_ENCODER_CODEWORD_STREAM_H

#include <cstdint>
#include <vector>

namespace kelvane2::qrencode {

struct EccBlock {
    int dataCount;
    const std::uint8_t* data;
    int eccCount;
    const std::uint8_t* ecc;
};

// Where a codeword in placement order comes from: its block (group 1 first) and its index in the block,
// data codewords first, then error correction codewords from dataCount on.
struct CodewordOrigin {
    int block;
    int index;
};

// The origins of every codeword of a version (1-40) and level (0-3) in placement order: the inverse of
// the interleaving the stream applies. Empty outside those ranges.
std::vector<CodewordOrigin> interleavedOrigins(int version, int level);

class CodewordStream {
  public:
    // Splits the data codewords of a version and level (QrTables::dataCodewords of them, packed from
    // the input's data bit stream) into blocks and computes their error correction. The encode driver
    // builds it from QRInput::dataBitString and packBits; ok() is false when the input had no bit stream
    // (the data fit no version), and also when version or level is out of range or the number of data
    // codewords is not the version's and level's.
    CodewordStream(int version, int level, std::vector<std::uint8_t> dataCodewords);
    CodewordStream() = default;
    // The blocks point into the stream's own arrays: a stream moves but does not copy.
    CodewordStream(const CodewordStream&) = delete;
    CodewordStream& operator=(const CodewordStream&) = delete;
    CodewordStream(CodewordStream&&) = default;
    CodewordStream& operator=(CodewordStream&&) = default;

    bool ok() const { return !data_.empty(); }
    int version() const { return version_; }
    int dataLength() const { return dataLength_; }
    int eccLength() const { return eccLength_; }
    // The next codeword in placement order; 0 once all were read.
    std::uint8_t nextCodeword();
    // All codewords in placement order (dataLength + eccLength of them).
    void interleaved(std::uint8_t* out) const;

  private:
    int version_ = 0;
    std::vector<std::uint8_t> data_;
    std::vector<EccBlock> blocks_;
    int position_ = 0;
    int dataLength_ = 0;
    int eccLength_ = 0;
    int group1Blocks_ = 0;
    std::vector<std::uint8_t> ecc_;
};

}  // namespace kelvane2::qrencode

#endif
