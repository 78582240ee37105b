#include "encoder/micro_codeword_stream.h"

#include "encoder/bitstring.h"
#include "encoder/reedsolomon.h"
#include "encoder/tables.h"

namespace kelvane2::qrencode {

MicroCodewordStream::MicroCodewordStream(int version, int level, const BitString& bits) : version_(version) {
    const int capacity = MicroTables::dataBits(version, level);
    const int dataLength = MicroTables::dataCodewords(version, level);
    const int eccLength = MicroTables::eccCodewords(version, level);
    oddBits_ = MicroTables::oddBits(version, level);
    if (capacity == 0 || bits.length() < capacity || bits.length() > 8 * dataLength) return;

    std::vector<std::uint8_t> data = packBits(bits);
    if (static_cast<int>(data.size()) != dataLength) return;
    // The final four data bits of M1 and M3 live in the low nibble of the last data codeword.
    if (oddBits_ != 0 && bits.length() == 8 * dataLength)
        data.back() = static_cast<std::uint8_t>(data.back() >> 4);

    const RsCodec* codec = codecFor(8, 0x11D, 0, 1, eccLength, 255 - dataLength - eccLength);
    if (codec == nullptr) return;
    std::vector<std::uint8_t> message = data;
    if (oddBits_ != 0) message.back() = static_cast<std::uint8_t>(message.back() << 4);
    ecc_.resize(static_cast<std::size_t>(eccLength));
    codec->encode(message.data(), ecc_.data());
    data_ = std::move(data);
}

std::uint8_t MicroCodewordStream::nextCodeword() {
    const int dataLength = static_cast<int>(data_.size());
    const int total = dataLength + static_cast<int>(ecc_.size());
    if (position_ >= total) return 0;
    int k = position_++;
    return k < dataLength ? data_[k] : ecc_[k - dataLength];
}

}  // namespace kelvane2::qrencode
