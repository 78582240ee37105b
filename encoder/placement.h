// Module placement: the walk over a frame's free modules in the order of ISO/IEC 18004, two columns at
// a time from the bottom-right corner, up and down in turn.
#ifndef QRKIT_ENCODER_PLACEMENT_H
#define QRKIT_ENCODER_PLACEMENT_H

#include <cstdint>

namespace kelvane2::qrencode {

class PlacementCursor {
  public:
    // Takes ownership of frame (new[]); micro frames do not skip column 6.
    PlacementCursor(int width, std::uint8_t* frame, bool micro);
    ~PlacementCursor();
    PlacementCursor(const PlacementCursor&) = delete;
    PlacementCursor& operator=(const PlacementCursor&) = delete;

    // The next free module (bit 7 clear) as an index row * width + column; false when none is left.
    bool nextModule(int* row, int* column);

    std::uint8_t* frame() { return frame_; }
    int width() const { return width_; }

  private:
    int width_;
    std::uint8_t* frame_;
    int x_;
    int y_;
    int direction_ = -1;
    int phase_ = -1;
    bool micro_;
};

// Writes codewords (8 modules each, most significant bit first; 0x03 for a one bit, 0x02 for a zero)
// into the positions of order, then 0x02 into remainder further positions. order comes from
// placementOrder (encoder/frames.h).
void placeCodewords(std::uint8_t* frame, const std::uint32_t* order, const std::uint8_t* codewords, int count,
                    int remainder);

// The placement walk of a QR Code frame in pieces of up to 32 rows of one column pair, for writing
// codeword bits straight into the column lanes of a bit plane (encoder/mask_planes.h). Slot 2 i + e of a
// chunk is row firstRow + i of its even column (e = 0) or its odd column (e = 1); the walk visits a
// chunk's free slots in increasing order when it goes down the pair, in decreasing order when it goes up
// (the even column is then the left one, so that in both directions the right column of a row comes
// first).
struct PlacementChunk {
    std::uint64_t slots;     // the free slots
    std::uint16_t evenWord;  // plane index of the column-lane word of the even column holding firstRow
    std::uint16_t oddWord;   // the same for the odd column
    std::uint8_t shift;      // the bit of firstRow in those words: 0 or 32
    std::uint8_t count;      // number of free slots, 1-64
    bool upward;
};

// The most chunks a frame has: 88 column pairs of 6 chunks (version 40).
constexpr int kMaxPlacementChunks = 88 * 6;

// The chunks of a QR Code frame of width 21-177 in walk order (chunks without a free slot left out), into
// chunks (room for kMaxPlacementChunks). freeModules is the frame's plane of free modules (the maskable
// plane of packMatrix). Returns their number.
int placementChunks(const std::uint64_t* freeModules, int width, PlacementChunk* chunks);

// ORs the dark codeword bits of codewords (count bytes, then at least 9 zero bytes that the last chunks
// read as remainder bits) into the column lanes of plane, in the walk order of chunks. plane has the
// layout of the frame's width; its column lanes are zero at every free module beforehand.
void placeCodewordsPacked(const PlacementChunk* chunks, int chunkCount, const std::uint8_t* codewords,
                          std::uint64_t* plane);

}  // namespace kelvane2::qrencode

#endif
