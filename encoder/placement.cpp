// The walk over a frame's free modules in codeword placement order, and the writing of codeword bits
// into a list of positions.
#include "encoder/placement.h"

#include "encoder/frames.h"

namespace kelvane2::qrencode {

PlacementCursor::PlacementCursor(int width, std::uint8_t* frame, bool micro)
    : width_(width), frame_(frame), x_(width - 1), y_(width - 1), micro_(micro) {}

PlacementCursor::~PlacementCursor() {
    delete[] frame_;
}

bool PlacementCursor::nextModule(int* row, int* column) {
    if (x_ < 0 || y_ < 0) return false;  // the walk has left the symbol
    if (phase_ < 0) {
        phase_ = 0;
        if ((frame_[y_ * width_ + x_] & kModuleFunction) == 0) {
            *row = y_;
            *column = x_;
            return true;
        }
    }
    for (;;) {
        if (phase_ == 0) {
            --x_;
            phase_ = 1;
        } else {
            ++x_;
            y_ += direction_;
            phase_ = 0;
        }
        if (direction_ < 0 && y_ < 0) {
            direction_ = 1;
            y_ = 0;
            x_ -= 2;
            if (!micro_ && x_ == 6) {
                x_ = 5;
                y_ = 9;
            }
        } else if (direction_ > 0 && y_ >= width_) {
            direction_ = -1;
            y_ = width_ - 1;
            x_ -= 2;
            if (!micro_ && x_ == 6) {
                x_ = 5;
                y_ = width_ - 9;
            }
        }
        if (x_ < 0 || y_ < 0) return false;
        if ((frame_[y_ * width_ + x_] & kModuleFunction) == 0) {
            *row = y_;
            *column = x_;
            return true;
        }
    }
}

void placeCodewords(std::uint8_t* frame, const std::uint32_t* order, const std::uint8_t* codewords, int count,
                    int remainder) {
    for (int i = 0; i < count; ++i) {
        const unsigned codeword = codewords[i];
        const std::uint32_t* positions = order + 8 * i;
        for (int bit = 0; bit < 8; ++bit)
            frame[positions[bit]] = static_cast<std::uint8_t>(kModuleData | ((codeword >> (7 - bit)) & 1));
    }
    const std::uint32_t* rest = order + 8 * count;
    for (int i = 0; i < remainder; ++i)
        frame[rest[i]] = kModuleData;
}

}  // namespace kelvane2::qrencode
