#include "imaging/png.h"

#include <csetjmp>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>

#include <png.h>

namespace kelvane2::imaging {

namespace {

constexpr int kCompressionLevel = 9;
constexpr int kLibraryDefaultLevel = -1;

// What the library's callbacks and the guarded writer share.
struct PngJob {
    I2DBitPattern* pattern;
    std::ostream* out;
    png_uint_32 width;
    png_uint_32 height;
    std::int32_t moduleWidth;
    std::int32_t moduleHeight;
    std::uint32_t foreColour;
    std::uint32_t backColour;
    int compressionLevel;
    png_bytep row;  // width bytes
};

// Writes to the stream; false when that fails or throws.
bool writeToStream(std::ostream& out, png_bytep data, png_size_t length) noexcept {
    try {
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(length));
        return out.good();
    } catch (...) {
        return false;
    }
}

bool flushStream(std::ostream& out) noexcept {
    try {
        out.flush();
        return out.good();
    } catch (...) {
        return false;
    }
}

// The library's callbacks. A failing stream ends the writer through the library's error return, so no
// further bytes are compressed for a target that drops them.
void pngWrite(png_structp png, png_bytep data, png_size_t length) {
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    if (!writeToStream(*job->out, data, length)) png_error(png, "write failed");
}

void pngFlush(png_structp png) {
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    if (!flushStream(*job->out)) png_error(png, "flush failed");
}

[[noreturn]] void pngFail(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

// The library's memory, zlib's included, comes from operator new; a refused allocation is remembered,
// so that the error it causes is reported as exhausted memory, not as a failed write.
struct PngMemory {
    bool exhausted = false;
};

png_voidp pngAllocate(png_structp png, png_alloc_size_t size) {
    png_voidp block = size <= static_cast<png_alloc_size_t>(SIZE_MAX)
                          ? ::operator new(static_cast<std::size_t>(size), std::nothrow)
                          : nullptr;
    if (block == nullptr) static_cast<PngMemory*>(png_get_mem_ptr(png))->exhausted = true;
    return block;
}

void pngRelease(png_structp, png_voidp block) {
    ::operator delete(block);
}

void pngWarn(png_structp, png_const_charp) {}

// The current time in UTC. Painters run on many threads at once, so the time is converted without
// gmtime's shared buffer (the Windows run time keeps that buffer per thread).
const std::tm* utcNow(std::tm* utc) {
    const std::time_t now = std::time(nullptr);
#if defined(_WIN32)
    *utc = *std::gmtime(&now);
#else
    gmtime_r(&now, utc);
#endif
    return utc;
}

// All the library calls; any library error leaves this function through the error return.
void writeImage(png_structp png, png_infop info, PngJob* job) {
    png_set_write_fn(png, job, pngWrite, pngFlush);
    if (job->compressionLevel != kLibraryDefaultLevel) png_set_compression_level(png, job->compressionLevel);
    png_set_user_limits(png, static_cast<png_uint_32>(kPngMaxExtent),
                        static_cast<png_uint_32>(kPngMaxExtent));
    png_set_IHDR(png, info, job->width, job->height, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);

    const std::uint32_t fore = colourWord(job->foreColour);
    const std::uint32_t back = colourWord(job->backColour);
    png_color palette[2] = {
        {static_cast<png_byte>(fore >> 16), static_cast<png_byte>(fore >> 8), static_cast<png_byte>(fore)},
        {static_cast<png_byte>(back >> 16), static_cast<png_byte>(back >> 8), static_cast<png_byte>(back)},
    };
    png_set_PLTE(png, info, palette, 2);

    std::tm utc;
    png_time modified;
    png_convert_from_struct_tm(&modified, utcNow(&utc));
    png_set_tIME(png, info, &modified);

    png_text texts[2];
    std::memset(texts, 0, sizeof texts);
    texts[0].compression = PNG_TEXT_COMPRESSION_NONE;
    texts[0].key = const_cast<png_charp>(kPngTitleKey);
    texts[0].text = const_cast<png_charp>(kPngTitleText);
    texts[1].compression = PNG_TEXT_COMPRESSION_NONE;
    texts[1].key = const_cast<png_charp>(kPngAuthorKey);
    texts[1].text = const_cast<png_charp>(kPngAuthorText);
    png_set_text(png, info, texts, 2);

    png_write_info(png, info);

    // Palette index 0 for dark modules, 1 for light; each module row is built once and written as
    // moduleHeight image rows.
    const int rows = job->pattern->getRows();
    const int columns = job->pattern->getColumns();
    const std::size_t moduleWidth = static_cast<std::size_t>(job->moduleWidth);
    for (int i = 0; i < rows; ++i) {
        png_bytep pixel = job->row;
        for (int j = 0; j < columns; ++j) {
            std::memset(pixel, (job->pattern->getModule(i, j) & 0xFF) != 0 ? 0 : 1, moduleWidth);
            pixel += moduleWidth;
        }
        for (std::int32_t repeat = 0; repeat < job->moduleHeight; ++repeat)
            png_write_row(png, job->row);
    }
    png_write_end(png, info);
}

// Arms the library's error return around writeImage; false when the library raised an error.
bool writeGuarded(png_structp png, png_infop info, PngJob* job) {
    if (setjmp(png_jmpbuf(png))) return false;
    writeImage(png, info, job);
    return true;
}

// Owns the library's write and info structures.
class PngWriteStruct {
  public:
    explicit PngWriteStruct(PngMemory* memory) {
        png_ = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, nullptr, pngFail, pngWarn, memory,
                                         pngAllocate, pngRelease);
        if (png_) info_ = png_create_info_struct(png_);
    }
    ~PngWriteStruct() {
        if (png_) png_destroy_write_struct(&png_, info_ ? &info_ : nullptr);
    }
    PngWriteStruct(const PngWriteStruct&) = delete;
    PngWriteStruct& operator=(const PngWriteStruct&) = delete;

    bool created() const { return png_ && info_; }
    png_structp png() const { return png_; }
    png_infop info() const { return info_; }

  private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

PaintStatus writeWithLevel(I2DBitPattern* pattern, std::ostream& out, std::int32_t moduleWidth,
                           std::int32_t moduleHeight, std::uint32_t foreColour, std::uint32_t backColour,
                           int compressionLevel) {
    try {
        const std::int64_t width = static_cast<std::int64_t>(pattern->getColumns()) * moduleWidth;
        const std::int64_t height = static_cast<std::int64_t>(pattern->getRows()) * moduleHeight;
        if (!pngExtentsFit(width, height)) return PaintStatus::kWriteFailed;

        std::unique_ptr<png_byte[]> row(new png_byte[static_cast<std::size_t>(width)]);
        PngMemory memory;
        PngWriteStruct structs(&memory);
        if (!structs.created()) return PaintStatus::kOutOfMemory;

        PngJob job{pattern,
                   &out,
                   static_cast<png_uint_32>(width),
                   static_cast<png_uint_32>(height),
                   moduleWidth,
                   moduleHeight,
                   foreColour,
                   backColour,
                   compressionLevel,
                   row.get()};
        const bool written = writeGuarded(structs.png(), structs.info(), &job);
        if (memory.exhausted) return PaintStatus::kOutOfMemory;
        if (!written) return PaintStatus::kWriteFailed;
        return out.good() ? PaintStatus::kOk : PaintStatus::kWriteFailed;
    } catch (const std::bad_alloc&) {
        return PaintStatus::kOutOfMemory;
    } catch (...) {
        return PaintStatus::kWriteFailed;
    }
}

}  // namespace

PaintStatus writePng(I2DBitPattern* pattern, std::ostream& out, std::int32_t moduleWidth,
                     std::int32_t moduleHeight, std::uint32_t foreColour, std::uint32_t backColour) {
    return writeWithLevel(pattern, out, moduleWidth, moduleHeight, foreColour, backColour, kCompressionLevel);
}

namespace detail {
PaintStatus writePngAtLevel(I2DBitPattern* pattern, std::ostream& out, std::int32_t moduleWidth,
                            std::int32_t moduleHeight, std::uint32_t foreColour, std::uint32_t backColour,
                            int compressionLevel) {
    return writeWithLevel(pattern, out, moduleWidth, moduleHeight, foreColour, backColour, compressionLevel);
}
}  // namespace detail

}  // namespace kelvane2::imaging
