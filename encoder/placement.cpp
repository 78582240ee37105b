// The walk over a frame's free modules in codeword placement order, and the writing of codeword bits
// into a list of positions.
#include "encoder/placement.h"

#include <cstring>

#include "encoder/frames.h"
#include "encoder/mask_planes.h"
#include "encoder/simd.h"

#if QRKIT_X86_SIMD && defined(__x86_64__)
#include <immintrin.h>
#define QRKIT_PLACE_BMI2 1
#else
#define QRKIT_PLACE_BMI2 0
#endif

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

namespace {

constexpr std::uint64_t kEvenSlots = 0x5555555555555555ull;

// Bit i of v to bit 2 i.
std::uint64_t spread(std::uint32_t v) {
    std::uint64_t x = v;
    x = (x | (x << 16)) & 0x0000FFFF0000FFFFull;
    x = (x | (x << 8)) & 0x00FF00FF00FF00FFull;
    x = (x | (x << 4)) & 0x0F0F0F0F0F0F0F0Full;
    x = (x | (x << 2)) & 0x3333333333333333ull;
    x = (x | (x << 1)) & kEvenSlots;
    return x;
}

// Bit 2 i of v to bit i.
std::uint32_t gatherEven(std::uint64_t x) {
    x &= kEvenSlots;
    x = (x | (x >> 1)) & 0x3333333333333333ull;
    x = (x | (x >> 2)) & 0x0F0F0F0F0F0F0F0Full;
    x = (x | (x >> 4)) & 0x00FF00FF00FF00FFull;
    x = (x | (x >> 8)) & 0x0000FFFF0000FFFFull;
    x = (x | (x >> 16)) & 0x00000000FFFFFFFFull;
    return static_cast<std::uint32_t>(x);
}

// The low bits of source, lowest first, into the set bits of mask, lowest first.
std::uint64_t deposit(std::uint64_t source, std::uint64_t mask) {
    if (mask == ~std::uint64_t{0}) return source;
    std::uint64_t result = 0;
    for (std::uint64_t m = mask; m != 0; m &= m - 1) {
        if (source & 1) result |= m & (~m + 1);
        source >>= 1;
    }
    return result;
}

std::uint64_t reverseBits(std::uint64_t x) {
    x = __builtin_bswap64(x);
    x = ((x >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((x & 0x0F0F0F0F0F0F0F0Full) << 4);
    x = ((x >> 2) & 0x3333333333333333ull) | ((x & 0x3333333333333333ull) << 2);
    x = ((x >> 1) & 0x5555555555555555ull) | ((x & 0x5555555555555555ull) << 1);
    return x;
}

// 64 bits of the codeword stream from bit position, the first of them in bit 63.
inline std::uint64_t streamBits(const std::uint8_t* codewords, std::size_t position) {
    const std::uint8_t* at = codewords + (position >> 3);
    std::uint64_t word = 0;
    for (int k = 0; k < 8; ++k)
        word = (word << 8) | at[k];
    const unsigned offset = static_cast<unsigned>(position & 7);
    // (x >> 1) >> (7 - offset) is x >> (8 - offset), and 0 when offset is 0.
    return (word << offset) | ((static_cast<std::uint64_t>(at[8]) >> 1) >> (7 - offset));
}

// The bits of the next chunk, in the order of its slots: its first bit for its lowest slot.
inline std::uint64_t chunkSource(const PlacementChunk& chunk, const std::uint8_t* codewords,
                                 std::size_t position) {
    const std::uint64_t bits = streamBits(codewords, position);
    // Upwards the walk takes the highest slot first: the first bit goes to the top of the count bits.
    return chunk.upward ? bits >> (64 - chunk.count) : reverseBits(bits);
}

void placePortable(const PlacementChunk* chunks, int chunkCount, const std::uint8_t* codewords,
                   std::uint64_t* plane) {
    std::size_t position = 0;
    for (int i = 0; i < chunkCount; ++i) {
        const PlacementChunk& chunk = chunks[i];
        const std::uint64_t slots = deposit(chunkSource(chunk, codewords, position), chunk.slots);
        plane[chunk.evenWord] |= std::uint64_t{gatherEven(slots)} << chunk.shift;
        plane[chunk.oddWord] |= std::uint64_t{gatherEven(slots >> 1)} << chunk.shift;
        position += chunk.count;
    }
}

#if QRKIT_PLACE_BMI2
// The same with the processor's bit deposit and extract.
__attribute__((target("bmi,bmi2"))) void placeDeposit(const PlacementChunk* chunks, int chunkCount,
                                                      const std::uint8_t* codewords, std::uint64_t* plane) {
    std::size_t position = 0;
    for (int i = 0; i < chunkCount; ++i) {
        const PlacementChunk& chunk = chunks[i];
        const std::uint64_t slots = _pdep_u64(chunkSource(chunk, codewords, position), chunk.slots);
        plane[chunk.evenWord] |= _pext_u64(slots, kEvenSlots) << chunk.shift;
        plane[chunk.oddWord] |= _pext_u64(slots, ~kEvenSlots) << chunk.shift;
        position += chunk.count;
    }
}
#endif

}  // namespace

int placementChunks(const std::uint64_t* freeModules, int width, PlacementChunk* chunks) {
    const PlaneLayout layout(width);
    const int pieces = (width + 31) / 32;
    int count = 0;
    bool upward = true;
    for (int right = width - 1; right >= 1; right -= 2) {
        if (right == 6) right = 5;  // the vertical timing pattern is never walked
        for (int n = 0; n < pieces; ++n) {
            const int piece = upward ? pieces - 1 - n : n;
            const int lane = layout.columnLane(piece / 2);
            const int shift = 32 * (piece % 2);
            const auto rightFree =
                static_cast<std::uint32_t>(freeModules[layout.index(right, lane)] >> shift);
            const auto leftFree =
                static_cast<std::uint32_t>(freeModules[layout.index(right - 1, lane)] >> shift);
            const int even = upward ? right - 1 : right;
            const int odd = upward ? right : right - 1;
            const std::uint64_t slots = upward ? spread(leftFree) | (spread(rightFree) << 1)
                                               : spread(rightFree) | (spread(leftFree) << 1);
            if (slots == 0) continue;
            PlacementChunk& chunk = chunks[count++];
            chunk.slots = slots;
            chunk.evenWord = static_cast<std::uint16_t>(layout.index(even, lane));
            chunk.oddWord = static_cast<std::uint16_t>(layout.index(odd, lane));
            chunk.shift = static_cast<std::uint8_t>(shift);
            chunk.count = static_cast<std::uint8_t>(__builtin_popcountll(slots));
            chunk.upward = upward;
        }
        upward = !upward;
    }
    return count;
}

void placeCodewordsPacked(const PlacementChunk* chunks, int chunkCount, const std::uint8_t* codewords,
                          std::uint64_t* plane) {
#if QRKIT_PLACE_BMI2
    if (simd::fastBitDeposit()) return placeDeposit(chunks, chunkCount, codewords, plane);
#endif
    placePortable(chunks, chunkCount, codewords, plane);
}

}  // namespace kelvane2::qrencode
