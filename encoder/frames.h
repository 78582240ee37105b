// Function patterns and the process-wide caches of base frames (QR versions 1-40, Micro M1-M4).
// A module matrix is width x width bytes, row-major; bit 0 is the colour (1 dark), the other bits the
// kind of module (kModule* below).
#ifndef QRKIT_ENCODER_FRAMES_H
#define QRKIT_ENCODER_FRAMES_H

#include <cstdint>
#include <memory>

namespace kelvane2::qrencode {

constexpr std::uint8_t kModuleDark = 0x01;
constexpr std::uint8_t kModuleData = 0x02;
constexpr std::uint8_t kModuleFormat = 0x04;
constexpr std::uint8_t kModuleVersion = 0x08;
constexpr std::uint8_t kModuleTiming = 0x10;
constexpr std::uint8_t kModuleAlignment = 0x20;
constexpr std::uint8_t kModuleFinder = 0x40;
constexpr std::uint8_t kModuleFunction = 0x80;

// Draw the base frame of a version (new[] array of width x width bytes). Called by the caches.
std::uint8_t* buildFrame(int version);
std::uint8_t* buildMicroFrame(int version);

// A new copy of the cached base frame, owned by the caller (delete[]); null outside 1-40 / 1-4. The
// caches take their mutex only to draw a frame: a drawn frame is published whole and copied without it.
std::uint8_t* newBaseFrame(int version);
std::uint8_t* newMicroBaseFrame(int version);
// The same copy written to out (width x width bytes); false outside 1-4.
bool copyMicroBaseFrame(int version, std::uint8_t* out);

// The free (data) positions of a version's frame in placement order, as row * width + column indices,
// cached beside the frame. The list has 8 * totalCodewords + remainder bits entries (Micro: the data
// modules of the version). Thread-safe; lives until unload.
const std::uint32_t* placementOrder(int version, int* count);
const std::uint32_t* microPlacementOrder(int version, int* count);

struct PlacementChunk;

// A QR Code version's base frame as bit planes (encoder/mask_planes.h) with its placement walk in chunks
// (encoder/placement.h): what the encode driver fills and masks without touching a byte matrix.
struct PackedFrame {
    int width;
    const std::uint8_t* frame;      // the cached base frame (the flags of every module)
    const std::uint64_t* dark;      // the colours of the function modules, the format area light
    const std::uint64_t* maskable;  // the free modules
    const PlacementChunk* chunks;   // the walk over the free modules
    int chunkCount;
    int freeModules;  // the slots of all chunks
};

// The packed frame of a QR version 1-40, built on first request; null outside 1-40. Thread-safe; once
// built it is read without taking the cache's lock, and lives until unload.
const PackedFrame* packedFrame(int version);

// How many times the two frame caches have taken their mutex (for tests: warm encodes take none).
unsigned long frameCacheLockCount();

}  // namespace kelvane2::qrencode

#endif
