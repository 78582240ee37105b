// The codeword sequence of a QR Code symbol: data split into the error correction blocks of the version
// and level, each block's Reed-Solomon codewords, and both read out column by column over the blocks.
#include "encoder/codeword_stream.h"

#include <atomic>
#include <cstring>
#include <utility>

#include "encoder/reedsolomon.h"
#include "encoder/tables.h"

namespace kelvane2::qrencode {

namespace {

// The codec of each version, level and block group once it has been looked up: codecs live until the
// library unloads, so a warm encode finds its two without walking the codec cache.
std::atomic<const RsCodec*> groupCodecs[41][4][2];

const RsCodec* groupCodec(int version, int level, int group, int dataCount, int eccCount) {
    std::atomic<const RsCodec*>& slot = groupCodecs[version][level][group];
    const RsCodec* codec = slot.load(std::memory_order_acquire);
    if (codec == nullptr) {
        codec = codecFor(8, 0x11D, 0, 1, eccCount, 255 - dataCount - eccCount);
        if (codec != nullptr) slot.store(codec, std::memory_order_release);
    }
    return codec;
}

// Encodes count blocks of dataCount codewords each, from data into ecc, recording each block.
// False when no codec can be built.
bool encodeGroup(const RsCodec* codec, int count, int dataCount, int eccCount, const std::uint8_t* data,
                 std::uint8_t* ecc, EccBlock* blocks) {
    if (codec == nullptr) return false;
    for (int b = 0; b < count; ++b)
        blocks[b] = EccBlock{dataCount, data + b * dataCount, eccCount, ecc + b * eccCount};
    codec->encodeBlocks(data, count, ecc);
    return true;
}

// The interleaving: the data codewords column by column over the blocks (the longer blocks of group 2
// give the last column alone), then the error correction codewords column by column. data(b, k) and
// ecc(b, k) are called in placement order.
template <class Data, class Ecc>
void forEachInterleaved(int blockCount, int group1Blocks, int shortData, int eccPerBlock, Data data,
                        Ecc ecc) {
    for (int column = 0; column < shortData; ++column) {
        for (int b = 0; b < blockCount; ++b)
            data(b, column);
    }
    for (int b = group1Blocks; b < blockCount; ++b)
        data(b, shortData);
    for (int column = 0; column < eccPerBlock; ++column) {
        for (int b = 0; b < blockCount; ++b)
            ecc(b, column);
    }
}

}  // namespace

std::vector<CodewordOrigin> interleavedOrigins(int version, int level) {
    std::vector<CodewordOrigin> origins;
    if (version < 1 || version > 40 || level < 0 || level > 3) return origins;
    const EccLayout layout = QrTables::eccLayout(version, level);
    const int blockCount = layout.group1Blocks + layout.group2Blocks;
    origins.reserve(static_cast<std::size_t>(QrTables::totalCodewords(version)));
    const int shortData = layout.group1DataCodewords;
    forEachInterleaved(
        blockCount, layout.group1Blocks, shortData, layout.eccPerBlock,
        [&](int b, int k) {
            origins.push_back(CodewordOrigin{b, k});
        },
        [&](int b, int k) {
            const int dataCount =
                b < layout.group1Blocks ? layout.group1DataCodewords : layout.group2DataCodewords;
            origins.push_back(CodewordOrigin{b, dataCount + k});
        });
    return origins;
}

CodewordStream::CodewordStream(int version, int level, const std::vector<std::uint8_t>& dataCodewords) {
    build(version, level, dataCodewords.data(), static_cast<int>(dataCodewords.size()));
}

CodewordStream::CodewordStream(int version, int level, const std::uint8_t* dataCodewords, int count) {
    build(version, level, dataCodewords, count);
}

void CodewordStream::build(int version, int level, const std::uint8_t* dataCodewords, int count) {
    if (count <= 0 || dataCodewords == nullptr) return;
    if (version < 1 || version > 40 || level < 0 || level > 3 ||
        count != QrTables::dataCodewords(version, level))
        return;
    const EccLayout layout = QrTables::eccLayout(version, level);
    const int blockCount = layout.group1Blocks + layout.group2Blocks;
    dataLength_ =
        layout.group1Blocks * layout.group1DataCodewords + layout.group2Blocks * layout.group2DataCodewords;
    eccLength_ = layout.eccPerBlock * blockCount;
    group1Blocks_ = layout.group1Blocks;
    blockCount_ = blockCount;
    std::memcpy(data_, dataCodewords, static_cast<std::size_t>(count));

    const int group1Data = layout.group1Blocks * layout.group1DataCodewords;
    const int group1Ecc = layout.group1Blocks * layout.eccPerBlock;
    bool built = encodeGroup(groupCodec(version, level, 0, layout.group1DataCodewords, layout.eccPerBlock),
                             layout.group1Blocks, layout.group1DataCodewords, layout.eccPerBlock, data_, ecc_,
                             blocks_);
    if (built && layout.group2Blocks != 0)
        built = encodeGroup(groupCodec(version, level, 1, layout.group2DataCodewords, layout.eccPerBlock),
                            layout.group2Blocks, layout.group2DataCodewords, layout.eccPerBlock,
                            data_ + group1Data, ecc_ + group1Ecc, blocks_ + layout.group1Blocks);
    if (!built) {
        *this = CodewordStream();
        return;
    }
    version_ = version;
    position_ = 0;
    ok_ = true;
}

CodewordStream& CodewordStream::operator=(const CodewordStream& other) {
    if (this == &other) return *this;
    ok_ = other.ok_;
    version_ = other.version_;
    blockCount_ = other.blockCount_;
    position_ = other.position_;
    dataLength_ = other.dataLength_;
    eccLength_ = other.eccLength_;
    group1Blocks_ = other.group1Blocks_;
    std::memcpy(data_, other.data_, static_cast<std::size_t>(dataLength_));
    std::memcpy(ecc_, other.ecc_, static_cast<std::size_t>(eccLength_));
    for (int b = 0; b < blockCount_; ++b) {
        const EccBlock& from = other.blocks_[b];
        blocks_[b] = EccBlock{from.dataCount, data_ + (from.data - other.data_), from.eccCount,
                              ecc_ + (from.ecc - other.ecc_)};
    }
    return *this;
}

std::uint8_t CodewordStream::nextCodeword() {
    const int blockCount = blockCount_;
    const int k = position_;
    if (k < dataLength_) {
        int row = k % blockCount;
        const int column = k / blockCount;
        if (column >= blocks_[0].dataCount) row += group1Blocks_;
        ++position_;
        return blocks_[static_cast<std::size_t>(row)].data[column];
    }
    if (k < dataLength_ + eccLength_) {
        const int j = k - dataLength_;
        ++position_;
        return blocks_[static_cast<std::size_t>(j % blockCount)].ecc[j / blockCount];
    }
    return 0;
}

void CodewordStream::interleaved(std::uint8_t* out) const {
    if (!ok()) return;
    const EccBlock* blocks = blocks_;
    const int blockCount = blockCount_;
    forEachInterleaved(
        blockCount, group1Blocks_, blocks[0].dataCount, blocks[0].eccCount,
        [&](int b, int k) { *out++ = blocks[b].data[k]; }, [&](int b, int k) { *out++ = blocks[b].ecc[k]; });
}

}  // namespace kelvane2::qrencode
