// The parsed input of a Micro QR Code encode: the QR input with Micro segment headers, Micro version
// and level choice, and the Micro terminator and padding.
#ifndef QRKIT_ENCODER_MICRO_INPUT_H
#define QRKIT_ENCODER_MICRO_INPUT_H

#include <cstdint>

#include "encoder/qrinput.h"

namespace kelvane2::qrencode {

// The bits of one segment for Micro version 1-4 (M1-M4); -1 when the version cannot carry the mode.
int encodeMicroSegment(InputSegment& segment, int version);
// The highest level Micro version 1-4 offers: M1 error detection only (0), M2 and M3 M (1), M4 Q (2).
int highestMicroLevel(int version);

class MQRInput : public QRInput {
  public:
    // version 0-4 (0 automatic), ecLevel 0-3; the forced mode is always automatic.
    MQRInput(int version, int ecLevel);

    BitString tailBits() override;
    bool concatSegments(BitString& out) override;

    // Reads the Micro subset of the input language. Returns 0, 5 or 80.
    virtual int parse(const std::uint8_t* data, int length);
    // Encodes every segment for a Micro version; the total bits, or -1 when a segment cannot be encoded.
    virtual int encodeAllSegments(int microVersion);
    // Chooses the smallest version that holds the segments, lowering the level to what it offers; sets
    // version and ecLevel on success.
    virtual bool fitMicroVersion();

    using QRInput::encodeAllSegments;

  protected:
    void appendTailBits(BitString& out) override { out.append(tailBits()); }
};

}  // namespace kelvane2::qrencode

#endif
