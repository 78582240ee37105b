// The paint exports. Every argument is checked before a file is created or a byte written; no C++
// exception leaves these functions.
#include <cstdint>
#include <new>

#include "encoder/objectmodel.h"
#include "encoder/result_codes.h"
#include "imaging/geometry.h"
#include "imaging/metafile.h"
#include "imaging/stream_target.h"
#include "platform/clipboard.h"
#include "platform/istream.h"
#include "platform/metafile.h"
#include "qrkit/qrkit.h"
#include "qrkit/qrkit_paint.h"

namespace {

using kelvane2::I2DBitPattern;
using kelvane2::imaging::PaintStatus;
using kelvane2::imaging::RasterPaintOptions;
using kelvane2::imaging::VectorPaintOptions;

constexpr std::int32_t kPainted = 0;
constexpr std::int32_t kRejected = kelvane2::kErrUnspecified;
constexpr std::int32_t kTargetFailed = kelvane2::kErrFileAccessDenied;
constexpr std::int32_t kNoMemory = kelvane2::kErrOutOfMemory;

// The I2DBitPattern view of a result, released when the holder goes away.
class PatternView {
  public:
    explicit PatternView(QRCODE_RESULT handle) {
        if (handle == nullptr) return;
        void* view = nullptr;
        if (handle->QueryInterface(kelvane2::IID_I2DBitPattern, &view) == kelvane2::kStatusOk) {
            pattern_ = static_cast<I2DBitPattern*>(view);
        }
    }
    PatternView(const PatternView&) = delete;
    PatternView& operator=(const PatternView&) = delete;
    ~PatternView() {
        if (pattern_ != nullptr) pattern_->Release();
    }

    I2DBitPattern* get() const { return pattern_; }
    int rows() const { return pattern_->getRows(); }
    int columns() const { return pattern_->getColumns(); }

  private:
    I2DBitPattern* pattern_ = nullptr;
};

RasterPaintOptions rasterOptions(std::int32_t moduleSize, std::uint32_t foreColour,
                                 std::uint32_t backColour) {
    using kelvane2::imaging::colourWord;
    return {moduleSize, moduleSize, colourWord(foreColour), colourWord(backColour)};
}

VectorPaintOptions vectorOptions(std::int32_t moduleSize, std::int32_t resolution, std::uint32_t foreColour,
                                 std::uint32_t backColour) {
    using kelvane2::imaging::colourWord;
    return {moduleSize, moduleSize, resolution, colourWord(foreColour), colourWord(backColour)};
}

// The export's result once the writer has reported and the target has been closed.
std::int32_t outcome(PaintStatus status, bool targetComplete) {
    if (status == PaintStatus::kOutOfMemory) return kNoMemory;
    if (status != PaintStatus::kOk || !targetComplete) return kTargetFailed;
    return kPainted;
}

// Runs an export's body, turning an escaping exception into a result.
template <class Body>
std::int32_t guarded(Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return kNoMemory;
    } catch (...) {
        return kTargetFailed;
    }
}

// Closes the target once the writer has reported. A stream receives what is left in its buffer
// whatever the writer reported; a file is put in the destination's place only when the writer wrote
// the whole image, and is removed otherwise.
std::int32_t complete(kelvane2::imaging::StreamTarget& target, PaintStatus status) {
    return outcome(status, target.finish());
}

std::int32_t complete(kelvane2::imaging::FileTarget& target, PaintStatus status) {
    if (status != PaintStatus::kOk) {
        target.discard();
        return outcome(status, false);
    }
    return outcome(status, target.finish());
}

template <class Target>
std::int32_t paintRasterTo(Target& target, const RasterPaintOptions& options, I2DBitPattern* pattern,
                           int format) {
    return complete(target, kelvane2::imaging::paintRaster(options, pattern, format, target.out()));
}

template <class Target>
std::int32_t paintVectorTo(Target& target, const VectorPaintOptions& options, I2DBitPattern* pattern,
                           int format) {
    return complete(target, kelvane2::imaging::paintVector(options, pattern, format, target.out()));
}

}  // namespace

extern "C" {

QRKIT_API int32_t QRKIT_CALL PaintQRCodeImageRaster(QRCODE_RESULT handle, const char* path,
                                                    int32_t moduleSize, uint32_t foreColour,
                                                    uint32_t backColour, int32_t format) {
    return guarded([&] {
        PatternView pattern(handle);
        if (path == nullptr || pattern.get() == nullptr) return kRejected;
        const RasterPaintOptions options = rasterOptions(moduleSize, foreColour, backColour);
        if (!kelvane2::imaging::rasterOptionsValid(options, pattern.rows(), pattern.columns(), format)) {
            return kRejected;
        }
        kelvane2::imaging::FileTarget target(path);
        if (!target.isOpen()) return kTargetFailed;
        return paintRasterTo(target, options, pattern.get(), format);
    });
}

QRKIT_API int32_t QRKIT_CALL PaintQRCodeImageVector(QRCODE_RESULT handle, const char* path,
                                                    int32_t moduleSize, int32_t resolution,
                                                    uint32_t foreColour, uint32_t backColour,
                                                    int32_t format) {
    return guarded([&] {
        PatternView pattern(handle);
        if (path == nullptr || pattern.get() == nullptr) return kRejected;
        const VectorPaintOptions options = vectorOptions(moduleSize, resolution, foreColour, backColour);
        if (!kelvane2::imaging::vectorOptionsValid(options, pattern.rows(), pattern.columns(), format)) {
            return kRejected;
        }
        kelvane2::imaging::FileTarget target(path);
        if (!target.isOpen()) return kTargetFailed;
        return paintVectorTo(target, options, pattern.get(), format);
    });
}

QRKIT_API int32_t QRKIT_CALL PaintQRCodeImageRaster2(QRCODE_RESULT handle, qrkit_istream* stream,
                                                     int32_t moduleSize, uint32_t foreColour,
                                                     uint32_t backColour, int32_t format) {
    return guarded([&] {
        PatternView pattern(handle);
        if (stream == nullptr || pattern.get() == nullptr) return kRejected;
        const RasterPaintOptions options = rasterOptions(moduleSize, foreColour, backColour);
        if (!kelvane2::imaging::rasterOptionsValid(options, pattern.rows(), pattern.columns(), format)) {
            return kRejected;
        }
        kelvane2::imaging::StreamTarget target(stream);
        return paintRasterTo(target, options, pattern.get(), format);
    });
}

QRKIT_API int32_t QRKIT_CALL PaintQRCodeImageVector2(QRCODE_RESULT handle, qrkit_istream* stream,
                                                     int32_t moduleSize, int32_t resolution,
                                                     uint32_t foreColour, uint32_t backColour,
                                                     int32_t format) {
    return guarded([&] {
        PatternView pattern(handle);
        if (stream == nullptr || pattern.get() == nullptr) return kRejected;
        const VectorPaintOptions options = vectorOptions(moduleSize, resolution, foreColour, backColour);
        if (!kelvane2::imaging::vectorOptionsValid(options, pattern.rows(), pattern.columns(), format)) {
            return kRejected;
        }
        kelvane2::imaging::StreamTarget target(stream);
        return paintVectorTo(target, options, pattern.get(), format);
    });
}

QRKIT_API qrkit_metafile QRKIT_CALL PaintQRCodeImageEMF(QRCODE_RESULT handle, int32_t moduleSize,
                                                        int32_t resolution, uint32_t foreColour,
                                                        uint32_t backColour, int32_t /*unused*/) {
    try {
        PatternView pattern(handle);
        if (pattern.get() == nullptr) return nullptr;
        const VectorPaintOptions options = vectorOptions(moduleSize, resolution, foreColour, backColour);
        if (!kelvane2::imaging::vectorOptionsValid(options, pattern.rows(), pattern.columns(),
                                                   kelvane2::imaging::kFormatEmf)) {
            return nullptr;
        }
        return kelvane2::imaging::createSymbolMetafile(options, pattern.get());
    } catch (...) {
        return nullptr;
    }
}

QRKIT_API int32_t QRKIT_CALL PaintQRCodeImageClipboard(QRCODE_RESULT handle, int32_t moduleSize,
                                                       int32_t resolution, uint32_t foreColour,
                                                       uint32_t backColour) {
    return guarded([&] {
        PatternView pattern(handle);
        if (pattern.get() == nullptr) return kRejected;
        const VectorPaintOptions options = vectorOptions(moduleSize, resolution, foreColour, backColour);
        if (!kelvane2::imaging::vectorOptionsValid(options, pattern.rows(), pattern.columns(),
                                                   kelvane2::imaging::kFormatEmf)) {
            return kRejected;
        }
        return outcome(kelvane2::imaging::copySymbolToClipboard(options, pattern.get()), true);
    });
}

#if !defined(_WIN32)

QRKIT_API uint32_t QRKIT_CALL QRCodeMetafileGetBits(qrkit_metafile metafile, uint32_t size, uint8_t* buffer) {
    return kelvane2::platform::GetEnhMetaFileBits(metafile, size, buffer);
}

QRKIT_API int QRKIT_CALL QRCodeMetafileDelete(qrkit_metafile metafile) {
    return kelvane2::platform::DeleteEnhMetaFile(metafile);
}

QRKIT_API uint32_t QRKIT_CALL QRCodeClipboardGetMetafileBits(uint32_t size, uint8_t* buffer) {
    namespace platform = kelvane2::platform;
    if (!platform::OpenClipboard(nullptr)) return 0;
    auto metafile = static_cast<platform::HENHMETAFILE>(platform::GetClipboardData(platform::CF_ENHMETAFILE));
    const uint32_t count = metafile == nullptr ? 0 : platform::GetEnhMetaFileBits(metafile, size, buffer);
    platform::CloseClipboard();
    return count;
}

#endif

}  // extern "C"
