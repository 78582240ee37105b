// What the encoder decided for one symbol and why: the segments, the version and level with the
// capacity used, the mask scores, and how a center overlay falls on the Reed-Solomon blocks.
//
// The decisions are recorded by the encode drivers themselves (encodeQrRecorded, encodeMicroQrRecorded,
// defined beside encodeQr and encodeMicroQr), so that they are the numbers of the very symbol returned.
#ifndef QRKIT_ENCODER_EXPLAIN_H
#define QRKIT_ENCODER_EXPLAIN_H

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/encode_qr.h"
#include "encoder/objectmodel.h"

namespace kelvane2::qrencode {

// One segment of the final symbol.
struct SegmentDecision {
    int mode = 0;                    // SegmentMode (encoder/qrinput.h)
    std::vector<std::uint8_t> data;  // its bytes (Kanji: two a character; structured append: total,
                                     // position, parity; designators: their bytes)
    int bits = 0;                    // mode indicator, count field and data bits in the symbol
};

struct SymbolDecisions {
    bool micro = false;
    std::vector<SegmentDecision> segments;
    int version = 0;        // 1-40, Micro 1-4 (M1-M4)
    int ecLevel = 0;        // 0 L, 1 M, 2 Q, 3 H (Micro M1: 0, error detection only)
    int width = 0;          // modules per side
    int segmentBits = 0;    // the segments' bits together
    int capacityBits = 0;   // the data bits the version and level hold
    int dataCodewords = 0;  // data codewords of the symbol
    int eccCodewords = 0;   // error correction codewords of the symbol
    int mask = 0;           // the mask used
    int maskCount = 0;      // 8 (QR Code: penalties, lowest wins) or 4 (Micro: scores, highest wins)
    int scores[8] = {};
    // The center overlay written into the symbol; 0 x 0 when none. Its top-left module is at
    // ((width - rows) / 2, (width - columns) / 2), clipped to the symbol.
    int overlayRows = 0;
    int overlayColumns = 0;
    std::string overlaySource;  // ":swiss7" or "bitmap"
    // The finished symbol before the overlay was written: width x width bytes, bit 0 the module.
    std::vector<std::uint8_t> beforeOverlay;
};

// encodeQr, recording what it decided into *decisions (not null). On failure decisions holds what was
// settled before the failure.
std::int32_t encodeQrRecorded(const std::uint8_t* data, int length, const EncodeOptions& options,
                              IQrcodeResult** out, SymbolDecisions* decisions,
                              Segmentation segmentation = Segmentation::kGreedy);
// encodeMicroQr, recording what it decided (no overlay).
std::int32_t encodeMicroQrRecorded(const std::uint8_t* data, int length, const EncodeOptions& options,
                                   IQrcodeResult** out, SymbolDecisions* decisions,
                                   Segmentation segmentation = Segmentation::kGreedy);

// The codewords a block can correct as errors: half its error correction codewords, less the
// misdecode protection codewords the standard reserves in the smallest symbols (3 for 1-L, 2 for 1-M
// and 2-L, 1 for 3-L).
int correctableCodewords(int version, int level, int eccPerBlock);

// How an overlay falls on one Reed-Solomon block.
struct BlockDamage {
    int dataCodewords = 0;
    int eccCodewords = 0;
    int covered = 0;  // codewords with at least one module under the overlay
    int changed = 0;  // codewords the overlay actually altered
    int correctable = 0;
};

struct OverlayDamage {
    std::vector<BlockDamage> blocks;  // group 1 first
    int functionModulesChanged = 0;   // finder, timing, format or version modules altered
    // The least of correctable - covered over the blocks; negative when some block cannot recover.
    int margin = 0;
    bool readable = false;  // every block keeps its codewords correctable and no function module
                            // other than alignment patterns was altered
};

// The damage of the overlay of decisions (a QR Code symbol with an overlay) on its finished symbol
// (width x width module values, 1 dark, as read back from the result). Reuses the placement order and
// the interleaving of the encoder.
OverlayDamage overlayDamage(const SymbolDecisions& decisions, const std::uint8_t* finished);

// The verdict on damage: "readable with N codewords of margin" or "not reliably readable: raise the
// level or the version".
std::string overlayVerdict(const OverlayDamage& damage);

// The bytes a reader returns for data written in the input language (after HIBC formatting, if any):
// the bytes of the character segments in order. After an FNC1 marker a '%' of alphanumeric data reads
// as 0x1D (and "%%" as '%'); FNC1 in second position puts its application indicator where it stands,
// 0-99 as two digits, 165-190 and 197-222 as the letters A-Z and a-z. Returns false when the data do
// not parse (micro: the Micro subset).
bool expectedReaderBytes(const std::string& data, bool micro, std::string* bytes);

}  // namespace kelvane2::qrencode

#endif
