// The parsed input of one encode call: the segment list with its bit encodings, the version being
// settled, and the optional center overlay.
//   parse (input language)            encoder/parser.cpp
//   segment bits, tail, data stream   encoder/segments.cpp
//   run division, version selection   encoder/segmentation.cpp
#ifndef QRKIT_ENCODER_QRINPUT_H
#define QRKIT_ENCODER_QRINPUT_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "encoder/arena.h"
#include "encoder/bitstring.h"
#include "encoder/objectmodel.h"

namespace kelvane2::qrencode {

enum SegmentMode : int {
    kNumeric = 0,
    kAlphanumeric = 1,
    kByte = 2,
    kKanji = 3,
    kStructuredAppend = 4,  // data: total, position, parity
    kEci = 5,               // data: 1-3 designator bytes
    kIndicator14 = 6,
    kIndicator15 = 7,  // may hold no data
    kFnc1First = 8,    // no data
    kFnc1Second = 9,   // data: the application indicator
};

// The size of the pending run of plain bytes; one byte more fails with kErrInputTooLong.
constexpr int kPendingRunLimit = 7168;

// A segment's bytes, on the heap or in the memory of the input that holds the segment.
using SegmentBytes = std::vector<std::uint8_t, ArenaAllocator<std::uint8_t>>;

struct InputSegment {
    // A segment on the heap.
    InputSegment() = default;
    // A segment whose bytes and bits live in arena (an input's memory); its copies go to the heap.
    explicit InputSegment(Arena* arena) : data(ArenaAllocator<std::uint8_t>(arena)), bits(arena) {}

    int mode = kNumeric;
    SegmentBytes data;  // size() is the segment's size; Kanji holds two bytes a character
    BitString bits;     // the bits for the version it was last encoded for

    int size() const { return static_cast<int>(data.size()); }
};

// A list of segments, on the heap or in an input's memory.
using SegmentList = std::vector<InputSegment, ArenaAllocator<InputSegment>>;

// The bits of one segment for a QR version (1-40; 0 counts as 1-9), split where the segment exceeds
// what one count field can hold. Returns the length.
int encodeQrSegment(InputSegment& segment, int version);
// Appends the payload of size bytes of a character mode (numeric, alphanumeric, byte, Kanji) to bits,
// without header; QR Code and Micro QR Code share it.
void appendSegmentPayload(int mode, const std::uint8_t* bytes, int size, BitString& bits);
// The size estimate of a segment in bits for a QR version, without encoding.
int estimateSegmentBits(const InputSegment& segment, int version);
// A lower bound, in sixths of a bit, of the bits a segment takes in any QR Code or Micro QR Code
// version, divided greedily, optimally or by a forced mode. A numeric, alphanumeric or byte segment is
// a piece of a plain run, which the optimal division may divide anew: at least 10/3 bits a digit and
// 11/2 bits any other byte (alphanumeric; a Kanji pair takes 13 bits, a group separator after FNC1 may
// be written as '%'), no header counted. A Kanji segment and the segments of escapes stay as they are:
// their payload and three header bits (the count field of M1, the shortest header of any version).
long long fewestSegmentSixths(const InputSegment& segment);
// The most data bits any symbol holds (version 40 at level L).
int mostDataBits();
// A number of segments that no symbol holds: every segment takes at least three bits (a piece of a run
// holds a byte or more).
std::size_t segmentLimit();

class QRInput {
  public:
    // version 0-40 (0 automatic), forcedMode 0-7, ecLevel 0-3.
    QRInput(int version, int forcedMode, int ecLevel);
    QRInput(const QRInput&) = delete;
    QRInput& operator=(const QRInput&) = delete;
    virtual ~QRInput();

    // Reads the input language. Returns 0 or an error number: 5, 6, 50, 52, 53, 80, 81 or 90.
    // Nothing beyond length is read.
    int parse(const std::uint8_t* data, int length);

    // The version estimate from segment size estimates, or -1 when nothing fits.
    virtual int lowerBoundVersion();
    // Terminator, bit padding and pad codewords for the current version and level (empty: nothing).
    virtual BitString tailBits();
    // Encodes every segment for the current version; the sum of their lengths.
    virtual int encodeAllSegments();
    // Settles the version and joins the segment bits; false when no version holds the data.
    virtual bool concatSegments(BitString& out);
    // concatSegments followed by tailBits: the complete data bit stream.
    bool dataBitString(BitString& out);
    // Raises version until the encoded segments fit; false when no version up to 40 holds them.
    bool settleVersion();

    // Appends the automatic division of a run of plain bytes (length >= 1).
    void segmentRun(const std::uint8_t* run, int length);
    // Appends a run as one segment under forcedMode 1-7; returns 0 or kErrInvalidCharacters.
    int forcedRun(const std::uint8_t* run, int length);
    // What forcedRun would return for the run, without appending anything.
    int checkForcedRun(const std::uint8_t* run, int length) const;

    void appendSegment(int mode, const std::uint8_t* bytes, int size);
    void prependSegment(int mode, const std::uint8_t* bytes, int size);

    int version;
    int forcedMode;
    int ecLevel;
    // Divide plain runs with the fewest bits and take the smallest version that holds them
    // (encoder/optimal_segmentation.h) instead of the automatic division; false by default.
    bool optimalSegmentation = false;

  private:
    // The memory of the segment list, the segments' bytes and bits, and of the data bit stream built
    // from them (declared before the list, which it outlives).
    Arena arena_;

  public:
    // The working memory of this input, for bit strings built from its segments (dataBitString).
    Arena* arena() { return &arena_; }

    SegmentList segments{ArenaAllocator<InputSegment>(&arena_)};
    // Overlay bitmap given in the input (one reference held), or null.
    I2DBitPattern* overlay = nullptr;
    // Name of a built-in overlay, colon included; meaningful when hasOverlayName.
    std::string overlayName;
    bool hasOverlayName = false;
    // Set by the parse once the list holds segmentLimit() segments: the list then stops growing (the
    // rest of the input is still read, for its errors) and no version fits. Keeps the work on an
    // over-long input proportional to its length.
    bool exceedsEverySymbol = false;
    // False when no symbol can hold the segments: the list was cut (exceedsEverySymbol), or their
    // fewest bits (fewestSegmentSixths) exceed mostDataBits(). Takes time linear in the number of segments,
    // encodes nothing.
    bool mayFit() const;

  protected:
    // The parser behind parse; micro restricts it to the escapes of Micro QR Code.
    int parseLanguage(const std::uint8_t* data, int length, bool micro);
    // Appends the bits of tailBits() to out (QR Code writes them there directly).
    virtual void appendTailBits(BitString& out);
};

}  // namespace kelvane2::qrencode

#endif
