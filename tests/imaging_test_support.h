// Helpers shared by the image writer tests: patterns from module text, instrumented stream buffers, a
// PNG reader and external renderers.
#ifndef QRKIT_TESTS_IMAGING_TEST_SUPPORT_H
#define QRKIT_TESTS_IMAGING_TEST_SUPPORT_H

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "encoder/objectmodel.h"
#include "encoder/qrresult.h"

namespace qrkit_test {

// Holds one reference to a pattern built from module text: one string per row, '#' dark, '.' light.
class TextPattern {
  public:
    explicit TextPattern(const std::vector<std::string>& rows)
        : TextPattern(static_cast<int>(rows.size()), rows.empty() ? 0 : static_cast<int>(rows[0].size())) {
        for (int i = 0; i < rows_; ++i) {
            for (int j = 0; j < columns_; ++j)
                set(i, j, rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] == '#');
        }
    }
    // rows x columns, all light.
    TextPattern(int rows, int columns) : rows_(rows), columns_(columns) {
        auto* object = new kelvane2::Simple2DBitPattern(rows, columns);
        object->QueryInterface(kelvane2::IID_I2DBitPattern, reinterpret_cast<void**>(&pattern_));
        object->QueryInterface(kelvane2::IID_I2DBitPatternModifiable, reinterpret_cast<void**>(&modifiable_));
    }
    ~TextPattern() {
        modifiable_->Release();
        pattern_->Release();
    }
    TextPattern(const TextPattern&) = delete;
    TextPattern& operator=(const TextPattern&) = delete;

    void set(int row, int column, bool dark) { modifiable_->setModule(row, column, dark); }
    kelvane2::I2DBitPattern* get() const { return pattern_; }
    int rows() const { return rows_; }
    int columns() const { return columns_; }
    bool dark(int row, int column) const { return pattern_->getModule(row, column) != 0; }

  private:
    int rows_;
    int columns_;
    kelvane2::I2DBitPattern* pattern_ = nullptr;
    kelvane2::I2DBitPatternModifiable* modifiable_ = nullptr;
};

// A pseudo-random rows x columns pattern (about half dark), the same for the same seed.
inline void fillPseudoRandom(TextPattern& pattern, std::uint32_t seed) {
    for (int i = 0; i < pattern.rows(); ++i) {
        for (int j = 0; j < pattern.columns(); ++j) {
            seed = seed * 1664525u + 1013904223u;
            pattern.set(i, j, (seed >> 28) & 1u);
        }
    }
}

// Keeps no bytes: counts them, the writes and the flushes. Optionally fails every write once `limit`
// bytes have been accepted, like a target that runs out of room.
class CountingBuf : public std::streambuf {
  public:
    explicit CountingBuf(std::uint64_t limit = UINT64_MAX) : limit_(limit) {}
    std::uint64_t bytes = 0;
    std::uint64_t writes = 0;
    std::uint64_t flushes = 0;
    std::uint64_t largestWrite = 0;
    std::uint64_t writesAfterFailure = 0;

  protected:
    std::streamsize xsputn(const char*, std::streamsize n) override {
        if (failed_) ++writesAfterFailure;
        if (bytes + static_cast<std::uint64_t>(n) > limit_) {
            failed_ = true;
            return 0;
        }
        bytes += static_cast<std::uint64_t>(n);
        ++writes;
        largestWrite = std::max<std::uint64_t>(largestWrite, static_cast<std::uint64_t>(n));
        return n;
    }
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        char ch = traits_type::to_char_type(c);
        return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
    }
    int sync() override {
        ++flushes;
        return 0;
    }

  private:
    std::uint64_t limit_;
    bool failed_ = false;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string goldenPath(const std::string& name) {
    return std::string(QRKIT_SOURCE_DIR) + "/tests/golden/" + name;
}

// A file name in the temporary directory unique to this process.
inline std::string tempPath(const std::string& name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/qrkit_imaging_" + std::to_string(::getpid()) + "_" +
           name;
}

// An RGB picture.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // 3 bytes per pixel, rows top-down
    std::uint32_t at(int x, int y) const {
        const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
        return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
    }
};

// Decodes PNG bytes with libpng into RGB; false when libpng cannot read them.
inline bool decodePng(const std::string& bytes, Picture& picture) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
    image.format = PNG_FORMAT_RGB;
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.rgb.assign(PNG_IMAGE_SIZE(image), 0);
    bool ok = png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

// Whether every component of two colour words differs by at most tolerance.
inline bool closeColours(std::uint32_t a, std::uint32_t b, int tolerance) {
    for (int shift = 0; shift <= 16; shift += 8) {
        int d = static_cast<int>((a >> shift) & 0xFFu) - static_cast<int>((b >> shift) & 0xFFu);
        if (d > tolerance || d < -tolerance) return false;
    }
    return true;
}

inline bool toolAvailable(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

inline bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace qrkit_test

#endif
