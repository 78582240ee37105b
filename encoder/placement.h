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

}  // namespace kelvane2::qrencode

#endif
