// The native recorder behind platform/metafile.h: each call appends its records to the byte form of the
// metafile under construction; closing patches the header and adds the end-of-file record.
#if !defined(_WIN32)

#include "platform/metafile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace kelvane2::platform {

namespace {

// Record types of the enhanced metafile format.
enum RecordType : std::uint32_t {
    EMR_HEADER = 1,
    EMR_EOF = 14,
    EMR_SETMAPMODE = 17,
    EMR_SELECTOBJECT = 37,
    EMR_CREATEBRUSHINDIRECT = 39,
    EMR_DELETEOBJECT = 40,
    EMR_BITBLT = 76,
};

constexpr std::uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr std::uint32_t kEmfVersion = 0x00010000;
constexpr std::uint32_t kStockWhiteBrush = 0x80000000;  // stock object WHITE_BRUSH
constexpr std::uint32_t kBrushSolid = 0;                // BS_SOLID
constexpr std::uint32_t kPatCopy = 0x00F00021;          // raster operation PATCOPY
constexpr int kMapModeText = 1;                         // MM_TEXT

// The header up to and including the micrometre extension; the description follows it.
constexpr std::size_t kHeaderFixedSize = 108;
constexpr std::size_t kEofRecordSize = 20;

// The reference screen: 96 dots per inch.
constexpr std::int32_t kScreenPixelsX = 1920;
constexpr std::int32_t kScreenPixelsY = 1440;
constexpr std::int32_t kScreenMillimetresX = 508;
constexpr std::int32_t kScreenMillimetresY = 381;

thread_local DWORD lastError = 0;

void putU32(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
    at[2] = static_cast<std::uint8_t>(value >> 16);
    at[3] = static_cast<std::uint8_t>(value >> 24);
}

void putU16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint32_t u32(std::int32_t value) {
    return static_cast<std::uint32_t>(value);
}

// Count of description units kept: "app\0pic\0\0" with both terminators, "app\0\0" with its two.
std::size_t descriptionLength(const WCHAR* text) {
    if (text == nullptr) return 0;
    std::size_t first = 0;
    while (text[first] != 0)
        ++first;
    std::size_t second = 0;
    while (text[first + 1 + second] != 0)
        ++second;
    return first + 1 + second + 1 + (second > 0 ? 1 : 0);
}

}  // namespace

struct Window {};

struct Brush {
    explicit Brush(COLORREF c) : colour(c) {}
    COLORREF colour;
    // The recordings in which this brush has a handle slot.
    std::vector<DeviceContext*> recorders;
};

struct EnhMetaFile {
    std::vector<std::uint8_t> bytes;
};

struct DeviceContext {
    bool screen = false;
    bool failed = false;
    int mapMode = kMapModeText;
    std::vector<std::uint8_t> bytes;  // header placeholder, then every record so far
    std::uint32_t records = 1;        // the header counts
    std::vector<Brush*> handles;      // slot 0 is reserved
    std::size_t handleCount = 1;      // highest slot used + 1
    bool drawn = false;
    std::int32_t boundsLeft = 0, boundsTop = 0, boundsRight = -1, boundsBottom = -1;

    // Appends one record of size bytes (a multiple of 4, type and size included) and returns where its
    // body starts, or null when it cannot be stored (the recording is then failed).
    std::uint8_t* beginRecord(RecordType type, std::size_t size) {
        if (failed) return nullptr;
        if (bytes.size() + size + kEofRecordSize > std::numeric_limits<std::uint32_t>::max()) {
            failed = true;
            lastError = ERROR_NOT_ENOUGH_MEMORY;
            return nullptr;
        }
        try {
            bytes.resize(bytes.size() + size);
        } catch (const std::bad_alloc&) {
            failed = true;
            lastError = ERROR_NOT_ENOUGH_MEMORY;
            return nullptr;
        }
        std::uint8_t* record = bytes.data() + bytes.size() - size;
        putU32(record, type);
        putU32(record + 4, static_cast<std::uint32_t>(size));
        ++records;
        return record + 8;
    }

    bool recordIndex(RecordType type, std::uint32_t index) {
        std::uint8_t* body = beginRecord(type, 12);
        if (body == nullptr) return false;
        putU32(body, index);
        return true;
    }

    // Logical to device units of the reference screen under the current mapping mode.
    std::int32_t deviceX(std::int32_t x) const {
        if (mapMode != MM_HIMETRIC) return x;
        return static_cast<std::int32_t>(
            std::floor(static_cast<double>(x) * kScreenPixelsX / (kScreenMillimetresX * 100.0) + 0.5));
    }
    std::int32_t deviceY(std::int32_t y) const {
        if (mapMode != MM_HIMETRIC) return y;
        return static_cast<std::int32_t>(
            std::floor(-static_cast<double>(y) * kScreenPixelsY / (kScreenMillimetresY * 100.0) + 0.5));
    }

    // The slot of brush in this recording, recording its creation on first use; 0 on failure.
    std::uint32_t brushSlot(Brush* brush) {
        for (std::size_t i = 1; i < handles.size(); ++i) {
            if (handles[i] == brush) return static_cast<std::uint32_t>(i);
        }
        std::size_t slot = 1;
        while (slot < handles.size() && handles[slot] != nullptr)
            ++slot;
        try {
            brush->recorders.reserve(brush->recorders.size() + 1);
            if (slot == handles.size()) handles.resize(std::max<std::size_t>(slot + 1, 2), nullptr);
        } catch (const std::bad_alloc&) {
            failed = true;
            lastError = ERROR_NOT_ENOUGH_MEMORY;
            return 0;
        }
        // EMR_CREATEBRUSHINDIRECT: ihBrush, then LogBrush32 (style, colour, hatch).
        std::uint8_t* body = beginRecord(EMR_CREATEBRUSHINDIRECT, 24);
        if (body == nullptr) return 0;
        putU32(body, static_cast<std::uint32_t>(slot));
        putU32(body + 4, kBrushSolid);
        putU32(body + 8, brush->colour & 0xFFFFFFu);
        putU32(body + 12, 0);
        handles[slot] = brush;
        handleCount = std::max(handleCount, slot + 1);
        brush->recorders.push_back(this);
        return static_cast<std::uint32_t>(slot);
    }
};

namespace {

DeviceContext screenContext() {
    DeviceContext dc;
    dc.screen = true;
    return dc;
}

// The screen context is immutable: GetDC hands out the same object to every caller.
DeviceContext theScreen = screenContext();

void detachFromObjects(DeviceContext* dc) {
    for (std::size_t i = 1; i < dc->handles.size(); ++i) {
        Brush* object = dc->handles[i];
        if (object == nullptr) continue;
        auto& list = object->recorders;
        list.erase(std::remove(list.begin(), list.end(), dc), list.end());
    }
}

}  // namespace

DWORD GetLastError() {
    return lastError;
}

void SetLastError(DWORD error) {
    lastError = error;
}

HDC GetDC(HWND window) {
    if (window != nullptr) {
        lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    return &theScreen;
}

int ReleaseDC(HWND, HDC dc) {
    return dc == &theScreen ? 1 : 0;
}

HDC CreateEnhMetaFileW(HDC reference, const WCHAR* file, const RECT* frame, const WCHAR* description) {
    if (file != nullptr || frame == nullptr || (reference != nullptr && !reference->screen)) {
        lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    const std::size_t units = descriptionLength(description);
    const std::size_t descriptionBytes = (units * 2 + 3) & ~std::size_t{3};
    const std::size_t headerSize = kHeaderFixedSize + descriptionBytes;

    DeviceContext* dc = new (std::nothrow) DeviceContext;
    if (dc == nullptr) {
        lastError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    try {
        dc->bytes.reserve(4096);
        dc->bytes.assign(headerSize, 0);
        dc->handles.assign(2, nullptr);
    } catch (const std::bad_alloc&) {
        delete dc;
        lastError = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    // The fields known now; bounds, sizes and counts are filled when recording ends.
    std::uint8_t* h = dc->bytes.data();
    putU32(h, EMR_HEADER);
    putU32(h + 4, static_cast<std::uint32_t>(headerSize));
    putU32(h + 24, u32(frame->left));
    putU32(h + 28, u32(frame->top));
    putU32(h + 32, u32(frame->right));
    putU32(h + 36, u32(frame->bottom));
    putU32(h + 40, kEmfSignature);
    putU32(h + 44, kEmfVersion);
    putU32(h + 60, static_cast<std::uint32_t>(units));
    putU32(h + 64, units > 0 ? static_cast<std::uint32_t>(kHeaderFixedSize) : 0);
    putU32(h + 68, 0);  // no palette
    putU32(h + 72, u32(kScreenPixelsX));
    putU32(h + 76, u32(kScreenPixelsY));
    putU32(h + 80, u32(kScreenMillimetresX));
    putU32(h + 84, u32(kScreenMillimetresY));
    // No pixel format, no OpenGL records (88-99); the screen size in micrometres.
    putU32(h + 100, u32(kScreenMillimetresX * 1000));
    putU32(h + 104, u32(kScreenMillimetresY * 1000));
    for (std::size_t i = 0; i < units; ++i) {
        putU16(h + kHeaderFixedSize + 2 * i, static_cast<std::uint16_t>(description[i]));
    }
    return dc;
}

int SetMapMode(HDC dc, int mode) {
    if (dc == nullptr || dc->screen || mode != MM_HIMETRIC) {
        lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    std::uint8_t* body = dc->beginRecord(EMR_SETMAPMODE, 12);
    if (body == nullptr) return 0;
    putU32(body, static_cast<std::uint32_t>(mode));
    const int previous = dc->mapMode;
    dc->mapMode = mode;
    return previous;
}

HBRUSH CreateSolidBrush(COLORREF colour) {
    Brush* brush = new (std::nothrow) Brush(colour);
    if (brush == nullptr) lastError = ERROR_NOT_ENOUGH_MEMORY;
    return brush;
}

BOOL DeleteObject(HGDIOBJ handle) {
    Brush* object = static_cast<Brush*>(handle);
    if (object == nullptr) {
        lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    for (DeviceContext* dc : object->recorders) {
        for (std::size_t i = 1; i < dc->handles.size(); ++i) {
            if (dc->handles[i] != object) continue;
            dc->recordIndex(EMR_DELETEOBJECT, static_cast<std::uint32_t>(i));
            dc->handles[i] = nullptr;
        }
    }
    delete object;
    return 1;
}

int FillRect(HDC dc, const RECT* rectangle, HBRUSH brush) {
    if (dc == nullptr || dc->screen || rectangle == nullptr || brush == nullptr) {
        lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    const std::uint32_t slot = dc->brushSlot(brush);
    if (slot == 0 || !dc->recordIndex(EMR_SELECTOBJECT, slot)) return 0;

    // The blit's device bounds, right and bottom inclusive; (0, 0, -1, -1) when nothing is painted.
    std::int32_t x0 = dc->deviceX(rectangle->left), x1 = dc->deviceX(rectangle->right);
    std::int32_t y0 = dc->deviceY(rectangle->top), y1 = dc->deviceY(rectangle->bottom);
    if (x0 > x1) std::swap(x0, x1);
    if (y0 > y1) std::swap(y0, y1);
    const bool painted = x0 < x1 && y0 < y1;
    const std::int32_t left = painted ? x0 : 0, top = painted ? y0 : 0;
    const std::int32_t right = painted ? x1 - 1 : -1, bottom = painted ? y1 - 1 : -1;

    // EMR_BITBLT without a source bitmap: a pattern fill with the selected brush.
    std::uint8_t* body = dc->beginRecord(EMR_BITBLT, 100);
    if (body == nullptr) return 0;
    putU32(body, u32(left));
    putU32(body + 4, u32(top));
    putU32(body + 8, u32(right));
    putU32(body + 12, u32(bottom));
    putU32(body + 16, u32(rectangle->left));
    putU32(body + 20, u32(rectangle->top));
    putU32(body + 24,
           static_cast<std::uint32_t>(static_cast<std::int64_t>(rectangle->right) - rectangle->left));
    putU32(body + 28,
           static_cast<std::uint32_t>(static_cast<std::int64_t>(rectangle->bottom) - rectangle->top));
    putU32(body + 32, kPatCopy);
    // Source origin 0, 0 (36-43), identity source transform (44-67), no source colour or bitmap.
    const float one = 1.0f;
    std::uint32_t oneBits;
    std::memcpy(&oneBits, &one, sizeof oneBits);
    putU32(body + 44, oneBits);
    putU32(body + 56, oneBits);

    if (!dc->recordIndex(EMR_SELECTOBJECT, kStockWhiteBrush)) return 0;
    if (painted) {
        if (!dc->drawn) {
            dc->boundsLeft = left;
            dc->boundsTop = top;
            dc->boundsRight = right;
            dc->boundsBottom = bottom;
            dc->drawn = true;
        } else {
            dc->boundsLeft = std::min(dc->boundsLeft, left);
            dc->boundsTop = std::min(dc->boundsTop, top);
            dc->boundsRight = std::max(dc->boundsRight, right);
            dc->boundsBottom = std::max(dc->boundsBottom, bottom);
        }
    }
    return 1;
}

HENHMETAFILE CloseEnhMetaFile(HDC dc) {
    if (dc == nullptr || dc->screen) {
        lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    detachFromObjects(dc);
    std::uint8_t* body = dc->beginRecord(EMR_EOF, kEofRecordSize);
    EnhMetaFile* metafile = body == nullptr ? nullptr : new (std::nothrow) EnhMetaFile;
    if (metafile == nullptr) {
        if (body != nullptr) lastError = ERROR_NOT_ENOUGH_MEMORY;
        delete dc;
        return nullptr;
    }
    // EMR_EOF: no palette entries, their offset, and the record's size repeated.
    putU32(body, 0);
    putU32(body + 4, 16);
    putU32(body + 8, static_cast<std::uint32_t>(kEofRecordSize));

    std::uint8_t* h = dc->bytes.data();
    putU32(h + 8, u32(dc->boundsLeft));
    putU32(h + 12, u32(dc->boundsTop));
    putU32(h + 16, u32(dc->boundsRight));
    putU32(h + 20, u32(dc->boundsBottom));
    putU32(h + 48, static_cast<std::uint32_t>(dc->bytes.size()));
    putU32(h + 52, dc->records);
    putU16(h + 56, static_cast<std::uint16_t>(std::min<std::size_t>(dc->handleCount, 0xFFFF)));
    metafile->bytes = std::move(dc->bytes);
    delete dc;
    return metafile;
}

UINT GetEnhMetaFileBits(HENHMETAFILE metafile, UINT size, BYTE* buffer) {
    if (metafile == nullptr) {
        lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    const UINT total = static_cast<UINT>(metafile->bytes.size());
    if (buffer == nullptr) return total;
    if (size < total) {
        lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    std::memcpy(buffer, metafile->bytes.data(), total);
    return total;
}

BOOL DeleteEnhMetaFile(HENHMETAFILE metafile) {
    if (metafile == nullptr) {
        lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    delete metafile;
    return 1;
}

}  // namespace kelvane2::platform

#endif
