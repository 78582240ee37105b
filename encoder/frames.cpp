// The function patterns of QR Code and Micro QR Code symbols, drawn once per version into base frames
// that are kept for the life of the library, with the placement order of each frame's free modules.
#include "encoder/frames.h"

#include <atomic>
#include <boost/thread/mutex.hpp>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <memory>

#include "encoder/mask_planes.h"
#include "encoder/placement.h"
#include "encoder/tables.h"

namespace kelvane2::qrencode {

namespace {

constexpr std::uint8_t kFinderDark = kModuleFunction | kModuleFinder | kModuleDark;        // 0xC1
constexpr std::uint8_t kFinderLight = kModuleFunction | kModuleFinder;                     // 0xC0
constexpr std::uint8_t kFormatLight = kModuleFunction | kModuleFormat;                     // 0x84
constexpr std::uint8_t kTimingLight = kModuleFunction | kModuleTiming;                     // 0x90
constexpr std::uint8_t kAlignmentDark = kModuleFunction | kModuleAlignment | kModuleDark;  // 0xA1
constexpr std::uint8_t kAlignmentLight = kModuleFunction | kModuleAlignment;               // 0xA0
constexpr std::uint8_t kVersionLight = kModuleFunction | kModuleVersion;                   // 0x88
constexpr std::uint8_t kFixedDark = kModuleFunction | kModuleDark;                         // 0x81

inline void set(std::uint8_t* frame, int width, int row, int column, std::uint8_t value) {
    frame[row * width + column] = value;
}

// A 7 x 7 finder pattern with its top-left module at (top, left): dark ring, light ring, dark 3 x 3.
void drawFinder(std::uint8_t* frame, int width, int top, int left) {
    for (int r = 0; r < 7; ++r) {
        for (int c = 0; c < 7; ++c) {
            bool light = (r == 1 || r == 5 || c == 1 || c == 5) && r != 0 && r != 6 && c != 0 && c != 6;
            set(frame, width, top + r, left + c, light ? kFinderLight : kFinderDark);
        }
    }
}

// A 5 x 5 alignment pattern centred on (row, column): dark ring, light ring, dark centre.
void drawAlignment(std::uint8_t* frame, int width, int row, int column) {
    for (int r = -2; r <= 2; ++r) {
        for (int c = -2; c <= 2; ++c) {
            bool dark = r == -2 || r == 2 || c == -2 || c == 2 || (r == 0 && c == 0);
            set(frame, width, row + r, column + c, dark ? kAlignmentDark : kAlignmentLight);
        }
    }
}

void drawRow(std::uint8_t* frame, int width, int row, int fromColumn, int toColumn, std::uint8_t value) {
    for (int c = fromColumn; c <= toColumn; ++c)
        set(frame, width, row, c, value);
}

void drawColumn(std::uint8_t* frame, int width, int column, int fromRow, int toRow, std::uint8_t value) {
    for (int r = fromRow; r <= toRow; ++r)
        set(frame, width, r, column, value);
}

// The alignment patterns of a version, the ones on the timing lines first.
void drawAlignmentPatterns(std::uint8_t* frame, int width, int version) {
    int coordinates[7];
    const int n = QrTables::alignmentCoordinates(version, coordinates);
    if (n == 0) return;
    if (n == 2) {
        drawAlignment(frame, width, coordinates[1], coordinates[1]);
        return;
    }
    for (int i = 1; i < n - 1; ++i) {
        drawAlignment(frame, width, coordinates[i], 6);
        drawAlignment(frame, width, 6, coordinates[i]);
    }
    for (int i = 1; i < n; ++i) {
        for (int j = 1; j < n; ++j)
            drawAlignment(frame, width, coordinates[i], coordinates[j]);
    }
}

// The free modules of a frame in placement order: column pairs from the right edge, up the first pair and
// turning at each edge, the right column of a row before the left, function modules passed over. QR Code
// frames skip the vertical timing column 6. Returns the number of positions written.
int walkFreeModules(const std::uint8_t* frame, int width, bool micro, std::uint32_t* order) {
    int count = 0;
    bool upward = true;
    for (int right = width - 1; right >= 1; right -= 2) {
        if (!micro && right == 6) right = 5;
        for (int step = 0; step < width; ++step) {
            const int row = upward ? width - 1 - step : step;
            const std::uint8_t* line = frame + static_cast<std::size_t>(row) * width;
            if ((line[right] & kModuleFunction) == 0)
                order[count++] = static_cast<std::uint32_t>(row * width + right);
            if ((line[right - 1] & kModuleFunction) == 0)
                order[count++] = static_cast<std::uint32_t>(row * width + right - 1);
        }
        upward = !upward;
    }
    return count;
}

// The bit planes and placement chunks of a QR Code base frame, with the arrays they point into.
struct PackedStorage {
    PackedFrame view;
    std::unique_ptr<std::uint64_t[]> dark;
    std::unique_ptr<std::uint64_t[]> maskable;
    std::unique_ptr<PlacementChunk[]> chunks;
};

PackedStorage* buildPacked(const std::uint8_t* frame, int width) {
    std::unique_ptr<PackedStorage> packed(new PackedStorage);
    const PlaneLayout layout(width);
    const std::size_t words = static_cast<std::size_t>(layout.words());
    packed->dark.reset(new std::uint64_t[words]);
    packed->maskable.reset(new std::uint64_t[words]);
    packMatrix(frame, layout, packed->dark.get(), packed->maskable.get());
    packed->chunks.reset(new PlacementChunk[kMaxPlacementChunks]);
    const int chunkCount = placementChunks(packed->maskable.get(), width, packed->chunks.get());
    int freeModules = 0;
    for (int i = 0; i < chunkCount; ++i)
        freeModules += packed->chunks[i].count;
    packed->view =
        PackedFrame{width,      frame,      packed->dark.get(), packed->maskable.get(), packed->chunks.get(),
                    chunkCount, freeModules};
    return packed.release();
}

// One version's base frame, its placement order and (QR Code) its packed form; owned until the library
// unloads. The order and the packed form are published once complete and then read without the lock.
struct FrameSlot {
    std::atomic<const std::uint8_t*> frame{nullptr};
    std::atomic<const std::uint32_t*> order{nullptr};
    int orderCount = 0;  // written before order is published
    std::atomic<PackedStorage*> packed{nullptr};
};

// A process-wide cache of base frames, one slot per version, guarded by its own mutex.
class FrameCache {
  public:
    FrameCache(int lastVersion, bool micro) : lastVersion_(lastVersion), micro_(micro) {}
    FrameCache(const FrameCache&) = delete;
    FrameCache& operator=(const FrameCache&) = delete;

    ~FrameCache() {
        boost::mutex::scoped_lock lock(mutex_);
        for (FrameSlot& slot : slots_) {
            delete slot.packed.exchange(nullptr);
            delete[] slot.order.exchange(nullptr);
            delete[] slot.frame.exchange(nullptr);
        }
    }

    std::uint8_t* newCopy(int version) {
        if (version < 1 || version > lastVersion_) return nullptr;
        const int width = widthOf(version);
        std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[static_cast<std::size_t>(width) * width]);
        copyInto(version, copy.get());
        return copy.release();
    }

    bool copyInto(int version, std::uint8_t* out) {
        if (version < 1 || version > lastVersion_) return false;
        const int width = widthOf(version);
        const std::uint8_t* frame = slots_[version].frame.load(std::memory_order_acquire);
        if (frame == nullptr) {
            Lock lock(*this);
            frame = filled(version);
        }
        std::memcpy(out, frame, static_cast<std::size_t>(width) * static_cast<std::size_t>(width));
        return true;
    }

    const std::uint32_t* order(int version, int* count) {
        if (version < 1 || version > lastVersion_) {
            if (count != nullptr) *count = 0;
            return nullptr;
        }
        FrameSlot& slot = slots_[version];
        const std::uint32_t* order = slot.order.load(std::memory_order_acquire);
        if (order == nullptr) {
            Lock lock(*this);
            order = slot.order.load(std::memory_order_relaxed);
            if (order == nullptr) order = buildOrder(version, filled(version));
        }
        if (count != nullptr) *count = slot.orderCount;
        return order;
    }

    const PackedFrame* packed(int version) {
        if (version < 1 || version > lastVersion_ || micro_) return nullptr;
        FrameSlot& slot = slots_[version];
        const PackedStorage* packed = slot.packed.load(std::memory_order_acquire);
        if (packed == nullptr) {
            Lock lock(*this);
            PackedStorage* built = slot.packed.load(std::memory_order_relaxed);
            if (built == nullptr) {
                built = buildPacked(filled(version), widthOf(version));
                slot.packed.store(built, std::memory_order_release);
            }
            packed = built;
        }
        return &packed->view;
    }

  private:
    int widthOf(int version) const {
        return micro_ ? MicroTables::microSymbolWidth(version) : QrTables::symbolWidth(version);
    }

    // The frame of version, drawn if need be; the mutex is held. A failed build leaves the slot empty.
    const std::uint8_t* filled(int version) {
        FrameSlot& slot = slots_[version];
        const std::uint8_t* frame = slot.frame.load(std::memory_order_relaxed);
        if (frame == nullptr) {
            frame = micro_ ? buildMicroFrame(version) : buildFrame(version);
            slot.frame.store(frame, std::memory_order_release);
        }
        return frame;
    }

    // Walks the frame's free modules in placement order; the mutex is held. The slot takes the list only
    // once it is complete.
    const std::uint32_t* buildOrder(int version, const std::uint8_t* frame) {
        FrameSlot& slot = slots_[version];
        const int width = widthOf(version);
        const int size = width * width;
        int freeModules = 0;
        for (int i = 0; i < size; ++i)
            freeModules += (frame[i] & kModuleFunction) == 0;
        std::unique_ptr<std::uint32_t[]> order(new std::uint32_t[static_cast<std::size_t>(freeModules)]);
        const int count = walkFreeModules(frame, width, micro_, order.get());
        assert(count == freeModules);
        slot.orderCount = count;
        slot.order.store(order.get(), std::memory_order_release);
        return order.release();
    }

    // The mutex, taken while something is built, counted for tests.
    class Lock {
      public:
        explicit Lock(FrameCache& cache) : lock_(cache.mutex_) {
            cache.locks_.fetch_add(1, std::memory_order_relaxed);
        }

      private:
        boost::mutex::scoped_lock lock_;
    };

  public:
    unsigned long lockCount() const { return locks_.load(std::memory_order_relaxed); }

  private:
    boost::mutex mutex_;
    std::atomic<unsigned long> locks_{0};
    FrameSlot slots_[41];
    int lastVersion_;
    bool micro_;
};

// QR Code versions 1-40 (slot 0 unused).
FrameCache& qrFrameCache() {
    static FrameCache cache(40, false);
    return cache;
}

// Micro QR Code versions M1-M4 (slot 0 unused).
FrameCache& microFrameCache() {
    static FrameCache cache(4, true);
    return cache;
}

}  // namespace

std::uint8_t* buildFrame(int version) {
    if (version < 1 || version > 40) return nullptr;
    const int w = 17 + 4 * version;  // QrTables::symbolWidth
    std::uint8_t* frame = new std::uint8_t[static_cast<std::size_t>(w) * static_cast<std::size_t>(w)];
    std::memset(frame, 0, static_cast<std::size_t>(w) * static_cast<std::size_t>(w));

    drawFinder(frame, w, 0, 0);
    drawFinder(frame, w, 0, w - 7);
    drawFinder(frame, w, w - 7, 0);

    drawColumn(frame, w, 7, 0, 6, kFinderLight);
    drawColumn(frame, w, w - 8, 0, 6, kFinderLight);
    drawColumn(frame, w, 7, w - 7, w - 1, kFinderLight);
    drawRow(frame, w, 7, 0, 7, kFinderLight);
    drawRow(frame, w, 7, w - 8, w - 1, kFinderLight);
    drawRow(frame, w, w - 8, 0, 7, kFinderLight);

    drawRow(frame, w, 8, 0, 8, kFormatLight);
    drawRow(frame, w, 8, w - 8, w - 1, kFormatLight);
    drawColumn(frame, w, 8, 0, 7, kFormatLight);
    drawColumn(frame, w, 8, w - 7, w - 1, kFormatLight);

    for (int k = 1; k <= w - 16; ++k) {
        const std::uint8_t value = kTimingLight | static_cast<std::uint8_t>(k & 1);
        set(frame, w, 6, 7 + k, value);
        set(frame, w, 7 + k, 6, value);
    }

    drawAlignmentPatterns(frame, w, version);

    if (version >= 7) {
        const int info = QrTables::versionInfo(version);
        for (int i = 0; i < 18; ++i) {
            const std::uint8_t value = kVersionLight | static_cast<std::uint8_t>((info >> i) & 1);
            set(frame, w, w - 11 + i % 3, i / 3, value);
            set(frame, w, i / 3, w - 11 + i % 3, value);
        }
    }

    set(frame, w, w - 8, 8, kFixedDark);
    return frame;
}

std::uint8_t* buildMicroFrame(int version) {
    if (version < 1 || version > 4) return nullptr;
    const int w = 9 + 2 * version;  // MicroTables::microSymbolWidth
    std::uint8_t* frame = new std::uint8_t[static_cast<std::size_t>(w) * static_cast<std::size_t>(w)];
    std::memset(frame, 0, static_cast<std::size_t>(w) * static_cast<std::size_t>(w));

    drawFinder(frame, w, 0, 0);
    drawColumn(frame, w, 7, 0, 6, kFinderLight);
    drawRow(frame, w, 7, 0, 7, kFinderLight);
    drawRow(frame, w, 8, 1, 8, kFormatLight);
    drawColumn(frame, w, 8, 1, 7, kFormatLight);
    for (int k = 1; k <= w - 8; ++k) {
        const std::uint8_t value = kTimingLight | static_cast<std::uint8_t>(k & 1);
        set(frame, w, 0, 7 + k, value);
        set(frame, w, 7 + k, 0, value);
    }
    return frame;
}

std::uint8_t* newBaseFrame(int version) {
    return qrFrameCache().newCopy(version);
}

std::uint8_t* newMicroBaseFrame(int version) {
    return microFrameCache().newCopy(version);
}

bool copyMicroBaseFrame(int version, std::uint8_t* out) {
    return microFrameCache().copyInto(version, out);
}

const std::uint32_t* placementOrder(int version, int* count) {
    return qrFrameCache().order(version, count);
}

const std::uint32_t* microPlacementOrder(int version, int* count) {
    return microFrameCache().order(version, count);
}

const PackedFrame* packedFrame(int version) {
    return qrFrameCache().packed(version);
}

unsigned long frameCacheLockCount() {
    return qrFrameCache().lockCount() + microFrameCache().lockCount();
}

}  // namespace kelvane2::qrencode
