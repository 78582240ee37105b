#include "imaging/metafile.h"

#include <cstdint>
#include <memory>
#include <new>

#include "platform/clipboard.h"

namespace kelvane2::imaging {

// The system's constants are macros on Windows; elsewhere the platform layer declares them.
#if !defined(_WIN32)
using platform::CF_ENHMETAFILE;
using platform::ERROR_INVALID_PARAMETER;
using platform::ERROR_NOT_ENOUGH_MEMORY;
using platform::MM_HIMETRIC;
#endif

namespace {

using platform::GetLastError;
using platform::HENHMETAFILE;

// "kelvane2", a zero unit, "matrixcode", two zero units: application and picture name.
constexpr platform::WCHAR kDescription[] = {'k', 'e', 'l', 'v', 'a', 'n', 'e', '2', 0, 'm', 'a',
                                            't', 'r', 'i', 'x', 'c', 'o', 'd', 'e', 0, 0};

PaintStatus metafileFailure() {
    return GetLastError() == ERROR_NOT_ENOUGH_MEMORY ? PaintStatus::kOutOfMemory : PaintStatus::kWriteFailed;
}

// Deletes a metafile when it goes out of scope.
struct MetafileHolder {
    HENHMETAFILE metafile;
    ~MetafileHolder() {
        if (metafile != nullptr) platform::DeleteEnhMetaFile(metafile);
    }
};

// A metafile being recorded and its current brush; both are released should the pattern throw.
struct Recording {
    platform::HDC dc;
    platform::HBRUSH brush = nullptr;

    ~Recording() {
        dropBrush();
        HENHMETAFILE unfinished = close();
        if (unfinished != nullptr) platform::DeleteEnhMetaFile(unfinished);
    }
    void dropBrush() {
        if (brush != nullptr) platform::DeleteObject(brush);
        brush = nullptr;
    }
    HENHMETAFILE close() {
        HENHMETAFILE metafile = dc == nullptr ? nullptr : platform::CloseEnhMetaFile(dc);
        dc = nullptr;
        return metafile;
    }
};

}  // namespace

HENHMETAFILE createSymbolMetafile(VectorPaintOptions options, I2DBitPattern* pattern) {
    platform::SetLastError(0);
    if (options.resolution < 1) {
        platform::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const int columns = pattern->getColumns();
    const int rows = pattern->getRows();
    options.foreColour = colourRef(colourWord(options.foreColour));
    options.backColour = colourRef(colourWord(options.backColour));
    const std::int32_t w = snapModuleSize(options.moduleWidth, options.resolution);
    const std::int32_t h = snapModuleSize(options.moduleHeight, options.resolution);
    const std::int64_t width = static_cast<std::int64_t>(columns) * w;
    const std::int64_t height = static_cast<std::int64_t>(rows) * h;
    if (columns < 0 || rows < 0 || width > INT32_MAX || height > INT32_MAX) {
        platform::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::int32_t W = static_cast<std::int32_t>(width);
    const std::int32_t H = static_cast<std::int32_t>(height);

    platform::HDC screen = platform::GetDC(nullptr);
    const platform::RECT frame = {0, 0, W, H};
    Recording recording{platform::CreateEnhMetaFileW(screen, nullptr, &frame, kDescription)};
    platform::ReleaseDC(nullptr, screen);
    if (recording.dc == nullptr) return nullptr;

    // Any refused call would leave the picture incomplete: the metafile is then not made at all.
    if (platform::SetMapMode(recording.dc, MM_HIMETRIC) == 0) return nullptr;

    recording.brush = platform::CreateSolidBrush(options.backColour);
    const platform::RECT background = {0, 0, W, -H};
    if (recording.brush == nullptr || platform::FillRect(recording.dc, &background, recording.brush) == 0) {
        return nullptr;
    }
    recording.dropBrush();

    recording.brush = platform::CreateSolidBrush(options.foreColour);
    if (recording.brush == nullptr) return nullptr;
    for (int i = 0; i < rows; ++i) {
        const std::int32_t top = -i * h;
        for (int j = 0; j < columns; ++j) {
            if ((pattern->getModule(i, j) & 0xFF) == 0) continue;
            const platform::RECT module = {j * w, top, j * w + w, top - h};
            if (platform::FillRect(recording.dc, &module, recording.brush) == 0) return nullptr;
        }
    }
    recording.dropBrush();
    return recording.close();
}

PaintStatus writeMetafileBits(I2DBitPattern* pattern, std::ostream& out, std::int32_t moduleWidth,
                              std::int32_t moduleHeight, std::int32_t resolution, std::uint32_t foreColour,
                              std::uint32_t backColour) {
    const VectorPaintOptions options{moduleWidth, moduleHeight, resolution, foreColour, backColour};
    MetafileHolder holder{createSymbolMetafile(options, pattern)};
    if (holder.metafile == nullptr) return metafileFailure();

    const platform::UINT size = platform::GetEnhMetaFileBits(holder.metafile, 0, nullptr);
    if (size == 0) return PaintStatus::kWriteFailed;
    std::unique_ptr<platform::BYTE[]> bytes(new (std::nothrow) platform::BYTE[size]);
    if (!bytes) return PaintStatus::kOutOfMemory;
    const platform::UINT fetched = platform::GetEnhMetaFileBits(holder.metafile, size, bytes.get());
    if (fetched == 0) return PaintStatus::kWriteFailed;

    out.write(reinterpret_cast<const char*>(bytes.get()), static_cast<std::streamsize>(fetched));
    return out ? PaintStatus::kOk : PaintStatus::kWriteFailed;
}

PaintStatus copySymbolToClipboard(const VectorPaintOptions& options, I2DBitPattern* pattern) {
    MetafileHolder holder{createSymbolMetafile(options, pattern)};
    if (holder.metafile == nullptr) return metafileFailure();
    if (!platform::OpenClipboard(nullptr)) return PaintStatus::kWriteFailed;
    platform::EmptyClipboard();
    const bool placed = platform::SetClipboardData(CF_ENHMETAFILE, holder.metafile) != nullptr;
    platform::CloseClipboard();
    if (!placed) return PaintStatus::kWriteFailed;
    holder.metafile = nullptr;  // the clipboard owns it now
    return PaintStatus::kOk;
}

}  // namespace kelvane2::imaging
