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
    // The most codewords of any version and level (40-L has 2956 data codewords, 40-H 2430 error
    // correction codewords and 81 blocks).
    static constexpr int kMaxData = 2956;
    static constexpr int kMaxEcc = 2430;
    static constexpr int kMaxBlocks = 81;

    // Splits the data codewords of a version and level (QrTables::dataCodewords of them, packed from
    // the input's data bit stream) into blocks and computes their error correction. The encode driver
    // builds it from QRInput::dataBitString and packBits; ok() is false when the input had no bit stream
    // (the data fit no version), and also when version or level is out of range or the number of data
    // codewords is not the version's and level's. The stream keeps its codewords in arrays of its own,
    // allocating nothing.
    CodewordStream(int version, int level, const std::vector<std::uint8_t>& dataCodewords);
    CodewordStream(int version, int level, const std::uint8_t* dataCodewords, int count);
    CodewordStream() = default;
    // The blocks point into the stream's own arrays: a moved or copied stream points into its own.
    CodewordStream(const CodewordStream& other) { *this = other; }
    CodewordStream& operator=(const CodewordStream& other);

    bool ok() const { return ok_; }
    int version() const { return version_; }
    int dataLength() const { return dataLength_; }
    int eccLength() const { return eccLength_; }
    // The next codeword in placement order; 0 once all were read.
    std::uint8_t nextCodeword();
    // All codewords in placement order (dataLength + eccLength of them).
    void interleaved(std::uint8_t* out) const;

  private:
    void build(int version, int level, const std::uint8_t* dataCodewords, int count);

    bool ok_ = false;
    int version_ = 0;
    int blockCount_ = 0;
    int position_ = 0;
    int dataLength_ = 0;
    int eccLength_ = 0;
    int group1Blocks_ = 0;
    EccBlock blocks_[kMaxBlocks];
    std::uint8_t data_[kMaxData];
    std::uint8_t ecc_[kMaxEcc];
};

}  // namespace kelvane2::qrencode

#endif
