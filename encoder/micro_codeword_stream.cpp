#include "encoder/micro_codeword_stream.h"

#include <cstring>

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
    if (dataLength > kMaxCodewords || eccLength > kMaxCodewords) return;

    std::uint8_t data[kMaxCodewords];
    if (packBits(bits, data) != dataLength) return;
    // The final four data bits of M1 and M3 live in the low nibble of the last data codeword.
    if (oddBits_ != 0 && bits.length() == 8 * dataLength)
        data[dataLength - 1] = static_cast<std::uint8_t>(data[dataLength - 1] >> 4);

    const RsCodec* codec = codecFor(8, 0x11D, 0, 1, eccLength, 255 - dataLength - eccLength);
    if (codec == nullptr) return;
    std::uint8_t message[kMaxCodewords];
    std::memcpy(message, data, static_cast<std::size_t>(dataLength));
    if (oddBits_ != 0) message[dataLength - 1] = static_cast<std::uint8_t>(message[dataLength - 1] << 4);
    codec->encode(message, ecc_);
    std::memcpy(data_, data, static_cast<std::size_t>(dataLength));
    dataLength_ = dataLength;
    eccLength_ = eccLength;
}

std::uint8_t MicroCodewordStream::nextCodeword() {
    if (position_ >= dataLength_ + eccLength_) return 0;
    const int k = position_++;
    return k < dataLength_ ? data_[k] : ecc_[k - dataLength_];
}

}  // namespace kelvane2::qrencode
