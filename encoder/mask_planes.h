// A QR Code symbol as bit planes, and the mask evaluation over them: the eight candidates scored with
// word operations that look at up to 256 lines at a time, and the winning candidate written out as bytes.
//
// A plane holds the modules of a symbol of width w (21-177) twice: row by row (word p of a row lane has
// bit t set when module (p, 64 s + t) is dark, s the lane's slice of 64 columns) and column by column
// (word p of a column lane has bit t set when module (64 s + t, p) is dark). A symbol needs 1, 2 or 3
// slices. Position p runs from -kPlanePad to w + kPlanePad - 1; positions outside 0 ... w - 1, and bits of
// lines beyond w, are always zero (light), which is what the penalty rules take the edge for.
//
// Lanes of one position lie side by side: with one slice [row, column], two [row 0, row 1, column 0,
// column 1], three [row 0, row 1, row 2, column 0, column 1, column 2] followed by a copy of them in the
// order [row 0, row 1, column 0, column 1, column 2, row 2] (the mask evaluation scores two masks in these
// twelve lanes at once).
#ifndef QRKIT_ENCODER_MASK_PLANES_H
#define QRKIT_ENCODER_MASK_PLANES_H

#include <cstdint>

namespace kelvane2::qrencode {

// ISO/IEC 18004 table "Data mask pattern generation conditions": true where mask 0-7 inverts the module
// at row i, column j. Every condition repeats with period 12 in i and 6 in j.
constexpr bool maskCondition(int mask, int i, int j) {
    switch (mask) {
        case 0:
            return (i + j) % 2 == 0;
        case 1:
            return i % 2 == 0;
        case 2:
            return j % 3 == 0;
        case 3:
            return (i + j) % 3 == 0;
        case 4:
            return (i / 2 + j / 3) % 2 == 0;
        case 5:
            return (i * j) % 2 + (i * j) % 3 == 0;
        case 6:
            return ((i * j) % 2 + (i * j) % 3) % 2 == 0;
        default:
            return ((i * j) % 3 + (i + j) % 2) % 2 == 0;
    }
}

// Where bit k (0-14) of the format word goes in a symbol of width w: the first copy beside the top-left
// finder, the second split between the top-right and bottom-left finders.
struct FormatModule {
    int row1, column1, row2, column2;
};
constexpr FormatModule formatModule(int w, int k) {
    if (k < 8) return {k <= 5 ? k : k + 1, 8, 8, w - 1 - k};
    return {8, k == 8 ? 7 : 14 - k, w - 15 + k, 8};
}

// N4 of a symbol of width w with darkCount dark modules: 10 points for every full 5 % of distance from
// half dark, the percentage truncated.
inline int darkShareScore(int w, int darkCount) {
    const int percent =
        static_cast<int>(static_cast<long long>(darkCount) * 100 / (static_cast<long long>(w) * w));
    const int distance = percent < 50 ? 50 - percent : percent - 50;
    return distance / 5 * 10;
}

constexpr int kPlanePad = 16;
constexpr int kMaxPlaneWidth = 177;
// The words of the largest plane: 12 lanes at each of 177 + 32 positions.
constexpr int kMaxPlaneWords = (kMaxPlaneWidth + 2 * kPlanePad) * 12;

struct PlaneLayout {
    explicit PlaneLayout(int w)
        : width(w), slices((w + 63) / 64), laneWords(slices == 1 ? 2 : (slices == 2 ? 4 : 12)) {}

    // Index of the word of position p (-kPlanePad <= p < width + kPlanePad) in lane.
    int index(int p, int lane) const { return (p + kPlanePad) * laneWords + lane; }
    int rowLane(int slice) const { return slice; }
    int columnLane(int slice) const { return slices == 3 ? 3 + slice : laneWords / 2 + slice; }
    // The lanes of the copy (three slices only; -1 otherwise).
    int rowCopyLane(int slice) const { return slices != 3 ? -1 : (slice == 2 ? 11 : 6 + slice); }
    int columnCopyLane(int slice) const { return slices != 3 ? -1 : 8 + slice; }
    // The number of words of a plane.
    int words() const { return (width + 2 * kPlanePad) * laneWords; }

    int width;
    int slices;     // 1-3
    int laneWords;  // words at one position: 2, 4 or 8
};

// A filled symbol before masking, as two planes of one layout.
struct SymbolPlanes {
    PlaneLayout layout;
    const std::uint64_t* dark;      // the colour of every module, the format area light
    const std::uint64_t* maskable;  // the modules a mask inverts (data and error correction modules)
    // Dark modules of the format area under each mask before the format information replaces them, added
    // to the dark count of the candidate (null: none, as in every frame the encoder fills).
    const int* formatAreaDark = nullptr;
};

// The dark modules of the format area of matrix (width w) under each of the eight masks, for
// SymbolPlanes::formatAreaDark.
void formatAreaDarkCounts(int w, const std::uint8_t* matrix, int* counts);

// Packs a byte matrix of layout.width (bit 0 the colour, bit 7 set on function modules) into dark and
// maskable planes (layout.words() words each, all written, the copy lanes too). The format area is left
// light in dark and out of maskable, whatever its bytes hold.
void packMatrix(const std::uint8_t* matrix, const PlaneLayout& layout, std::uint64_t* dark,
                std::uint64_t* maskable);

// Fills the row lanes of plane from its column lanes, then the copy lanes.
void transposeColumnsToRows(const PlaneLayout& layout, std::uint64_t* plane);

// The scores of the eight masked candidates (penalty N1 + N2 + N3 + N4, format information written);
// returns the mask of the lowest score, the lower mask of equal scores.
int scoreMaskCandidates(const SymbolPlanes& planes, int level, int* scores);

// The symbol under mask 0-7 as bytes, row-major: the byte of a module is its flags with the colour of the
// masked candidate in bit 0, and the format area holds 0x84 | bit of the format word of (mask, level).
// The flags of a module are its byte in flagSource with bit 0 cleared, or freeFlag where that byte is 0.
void writeMaskedMatrix(const SymbolPlanes& planes, int mask, int level, const std::uint8_t* flagSource,
                       std::uint8_t freeFlag, std::uint8_t* matrix);

}  // namespace kelvane2::qrencode

#endif
