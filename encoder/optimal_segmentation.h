// The division of plain runs into numeric, alphanumeric, byte and Kanji segments with the fewest bits,
// and the choice of the smallest version that holds the result: the optimal segmentation, which the
// caller chooses instead of the automatic (greedy) division of encoder/segmentation.cpp.
//
// What it keeps:
// - Only the runs of plain data are divided anew: Kanji blocks, structured append, designators, FNC1
//   markers and overlays stay as the input language made them, in their places.
// - A reader returns exactly the bytes it returns for the greedy symbol of the same input. After an
//   FNC1 marker a '%' of alphanumeric data reads as the group separator 0x1D and "%%" as '%'; the run's
//   bytes are first read back from its greedy segments, and the division then writes a '%' as "%%" in
//   alphanumeric data (or as '%' in byte data) and a group separator as '%' (or as 0x1D in byte data),
//   never a separator's '%' right before another '%' of its segment (the two would read as one '%').
// - A forced mode (bits 8-10 of the version word) leaves the segments as the forced mode makes them;
//   the version is still the smallest that holds them.
// - Kanji mode takes a pair of plain bytes only where a reader reads plain bytes as Shift JIS: no ECI
//   designator other than 000020 (Shift JIS) is in force, and no plain run of the input reads as UTF-8
//   text (valid UTF-8 with at least one multi-byte character, or a run that opens with the byte-order
//   mark EF BB BF). Otherwise UTF-8 text, which often holds byte pairs in the Shift JIS ranges, would
//   read back as other characters.
//
// The version: the smallest one, never below the requested version (or the version a named overlay
// asks for), whose data capacity holds the optimal division for that version's count field widths.
// Since the greedy division is one of the divisions searched, the result is never a larger version
// than the greedy one, and never more bits at the same version.
#ifndef QRKIT_ENCODER_OPTIMAL_SEGMENTATION_H
#define QRKIT_ENCODER_OPTIMAL_SEGMENTATION_H

#include <cstdint>
#include <vector>

#include "encoder/qrinput.h"

namespace kelvane2::qrencode {

class MQRInput;

// The header bits (mode indicator and count field) of each character mode, indexed by SegmentMode 0-3,
// for one QR version or one Micro version; -1 where the version lacks the mode.
struct ModeHeaders {
    int bits[4];
};

// QR Code version 1-40 (0 counts as 1-9): 4 indicator bits and the count field of the version's group.
ModeHeaders qrModeHeaders(int version);
// Micro version 1-4: version - 1 indicator bits and the Micro count field; M1 numeric only, M2 without
// byte and Kanji.
ModeHeaders microModeHeaders(int version);

// One run of plain data as a reader returns it.
struct PlainRun {
    std::vector<std::uint8_t> bytes;
    bool fnc1 = false;   // after an FNC1 marker: '%' and 0x1D are written as described above
    bool kanji = false;  // Kanji mode may take valid Shift JIS pairs
};

// The division of one run with the fewest bits; ties go to the fewer segments.
struct RunDivision {
    bool ok = false;  // false when some byte fits no mode the headers offer
    long long bits = 0;
    SegmentList segments;  // their data as written (alphanumeric '%' doubled after FNC1)
};
RunDivision divideRun(const PlainRun& run, const ModeHeaders& headers);

// A valid Shift JIS double-byte character that Kanji mode carries: 0x8140-0x9FFC or 0xE040-0xEBBF with
// a second byte of 0x40-0x7E or 0x80-0xFC.
bool isKanjiPair(std::uint8_t first, std::uint8_t second);

// The bytes a reader returns for the data of a character segment (mode 0-3), appended to out; fnc1:
// an FNC1 marker is in force.
void appendReaderBytes(int mode, const std::uint8_t* data, std::size_t size, bool fnc1,
                       std::vector<std::uint8_t>& out);
// The same for the bytes of a container (a segment's data, a byte vector).
template <typename Bytes>
void appendReaderBytes(int mode, const Bytes& data, bool fnc1, std::vector<std::uint8_t>& out) {
    appendReaderBytes(mode, data.data(), data.size(), fnc1, out);
}

// The version selection of a QR input whose optimalSegmentation is set (QRInput::settleVersion): divides
// its runs, sets version and encodes the segments for it. False, with the segments as they were, when no
// version up to 40 holds the data.
bool settleOptimalVersion(QRInput& input);
// The same for a Micro input (MQRInput::fitMicroVersion): sets version and the level it offers.
bool fitOptimalMicroVersion(MQRInput& input);

}  // namespace kelvane2::qrencode

#endif
