#include "imaging/geometry.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "imaging/bmp.h"
#include "imaging/eps.h"
#include "imaging/metafile.h"
#include "imaging/png.h"
#include "imaging/svg.h"

namespace kelvane2::imaging {

namespace {

// The creator comment of every EPS page.
constexpr const char* kEpsCreator = "Vostrel-kelvane";
// 0.01 in single precision, widened: the factor from 0.01 mm to millimetres.
constexpr double kHundredthMillimetre = static_cast<double>(0.01f);

std::int32_t truncateToInt32(double value) {
    if (!(value < 2147483648.0)) return std::numeric_limits<std::int32_t>::max();
    if (!(value > -2147483649.0)) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

}  // namespace

std::int32_t snapModuleSize(std::int32_t size, std::int32_t resolution) {
    // 2540 hundredths of a millimetre make an inch.
    std::int64_t product = static_cast<std::int64_t>(size) * resolution;
    double dots = std::floor(static_cast<double>(product) / 2540.0 + 0.5);
    if (dots < 1.0) dots = 1.0;
    return truncateToInt32(((dots * 2.54) * 1000.0) / resolution);
}

bool rasterOptionsValid(const RasterPaintOptions& options, int rows, int columns, int format) {
    if (format != kFormatPng && format != kFormatBmp) return false;
    if (options.moduleWidth < 1 || options.moduleHeight < 1 || rows < 1 || columns < 1) return false;
    std::int64_t width = static_cast<std::int64_t>(columns) * options.moduleWidth;
    std::int64_t height = static_cast<std::int64_t>(rows) * options.moduleHeight;
    if (width > kMaxRasterExtent || height > kMaxRasterExtent) return false;
    return format == kFormatPng ? pngExtentsFit(width, height) : bmpExtentsFit(width, height);
}

bool vectorOptionsValid(const VectorPaintOptions& options, int rows, int columns, int format) {
    if (format != kFormatSvg && format != kFormatEmf && format != kFormatEps) return false;
    if (options.moduleWidth < 1 || options.moduleHeight < 1 || options.resolution < 1) return false;
    if (rows < 1 || columns < 1) return false;
    std::int64_t w = snapModuleSize(options.moduleWidth, options.resolution);
    std::int64_t h = snapModuleSize(options.moduleHeight, options.resolution);
    return columns * w <= kMaxVectorExtent && rows * h <= kMaxVectorExtent;
}

PaintStatus paintRaster(const RasterPaintOptions& options, I2DBitPattern* pattern, int format,
                        std::ostream& out) {
    switch (format) {
        case kFormatPng:
            return writePng(pattern, out, options.moduleWidth, options.moduleHeight, options.foreColour,
                            options.backColour);
        case kFormatBmp:
            return writeBmp(pattern, out, options.moduleWidth, options.moduleHeight, options.foreColour,
                            options.backColour);
        default:
            return PaintStatus::kOk;
    }
}

PaintStatus paintVector(const VectorPaintOptions& options, I2DBitPattern* pattern, int format,
                        std::ostream& out) {
    std::int32_t w = snapModuleSize(options.moduleWidth, options.resolution);
    std::int32_t h = snapModuleSize(options.moduleHeight, options.resolution);
    switch (format) {
        case kFormatSvg: {
            float widthMm = static_cast<float>(w * kHundredthMillimetre);
            float heightMm = static_cast<float>(h * kHundredthMillimetre);
            return writeSvg(pattern, out, "mm", widthMm, heightMm, options.foreColour, options.backColour);
        }
        case kFormatEps:
            return writeEps(pattern, out, static_cast<float>(w), static_cast<float>(h), options.foreColour,
                            options.backColour, kEpsCreator);
        case kFormatEmf:
            return writeMetafileBits(pattern, out, w, h, options.resolution, options.foreColour,
                                     options.backColour);
        default:
            return PaintStatus::kOk;
    }
}

}  // namespace kelvane2::imaging
