// Shared by the metafile, output-target and paint-export tests: symbols from module text, a reference
// symbol from an independent generator, an enhanced-metafile record reader, a recording IStream, PNG
// reading, rendering through ordinary command-line tools, and decoding with zxing-cpp.
#ifndef QRKIT_TESTS_PAINT_TEST_SUPPORT_H
#define QRKIT_TESTS_PAINT_TEST_SUPPORT_H

#include <png.h>
#include <unistd.h>
#include <qrcodegen.hpp>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "encoder/qrresult.h"
#include "platform/istream.h"
#include "support/decode.h"

namespace painttest {

// One reference on a QrResult built from rows of module text ('X' dark, '.' light).
class Symbol {
  public:
    explicit Symbol(const std::vector<std::string>& rows) {
        const int width = static_cast<int>(rows.size());
        auto* matrix = new std::uint8_t[static_cast<std::size_t>(width) * width];
        for (int i = 0; i < width; ++i) {
            for (int j = 0; j < width; ++j)
                matrix[i * width + j] = rows[i][j] == 'X' ? 1 : 0;
        }
        result_ = new kelvane2::qrencode::QrResult(1, 0, width, matrix);
        result_->AddRef();
    }
    Symbol(const Symbol&) = delete;
    Symbol& operator=(const Symbol&) = delete;
    ~Symbol() { static_cast<kelvane2::IQrcodeResult*>(result_)->Release(); }

    kelvane2::IQrcodeResult* handle() const { return result_; }
    kelvane2::I2DBitPattern* pattern() const { return result_; }
    // The reference count now (one more AddRef and Release).
    std::uint32_t references() const {
        const std::uint32_t count = static_cast<kelvane2::IQrcodeResult*>(result_)->AddRef() - 1;
        static_cast<kelvane2::IQrcodeResult*>(result_)->Release();
        return count;
    }

  private:
    kelvane2::qrencode::QrResult* result_;
};

// The module rows of text encoded by the independent generator (level M, its own mask).
inline std::vector<std::string> referenceRows(const char* text) {
    const qrcodegen::QrCode code = qrcodegen::QrCode::encodeText(text, qrcodegen::QrCode::Ecc::MEDIUM);
    std::vector<std::string> rows;
    for (int y = 0; y < code.getSize(); ++y) {
        std::string row;
        for (int x = 0; x < code.getSize(); ++x)
            row += code.getModule(x, y) ? 'X' : '.';
        rows.push_back(row);
    }
    return rows;
}

// ---- Enhanced metafile records ----------------------------------------------------------------------

inline std::uint32_t u32At(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}
inline std::int32_t i32At(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::int32_t>(u32At(bytes, at));
}

struct EmfRecord {
    std::uint32_t type;
    std::size_t offset;  // of the record in the byte form
    std::uint32_t size;
};

// Splits the byte form into records; an empty list when a record size is malformed.
inline std::vector<EmfRecord> emfRecords(const std::vector<std::uint8_t>& bytes) {
    std::vector<EmfRecord> records;
    std::size_t at = 0;
    while (at + 8 <= bytes.size()) {
        const std::uint32_t size = u32At(bytes, at + 4);
        if (size < 8 || size % 4 != 0 || at + size > bytes.size()) return {};
        records.push_back({u32At(bytes, at), at, size});
        at += size;
    }
    if (at != bytes.size()) return {};
    return records;
}

// ---- A recording IStream ------------------------------------------------------------------------------

// An in-memory stream that records every call. Write fails (with failure) from call failFrom on (1 for
// the first call; 0 never) and accepts at most chunk bytes per call (0 for all).
class TestStream final : public kelvane2::platform::IStream {
  public:
    std::vector<std::uint8_t> data;
    std::size_t position = 0;
    int writeCalls = 0;
    std::vector<kelvane2::platform::ULONG> writeSizes;  // asked of each call
    int otherCalls = 0;                                 // any method but Write
    int failFrom = 0;
    std::uint32_t chunk = 0;
    kelvane2::platform::ULONG claim = 0;  // when not 0, the count Write reports, whatever it stored
    std::vector<kelvane2::platform::ULONG> readSizes;  // asked of each Read (which is refused)
    kelvane2::platform::HRESULT failure = kelvane2::platform::STG_E_MEDIUMFULL;

    std::int32_t QueryInterface(const kelvane2::InterfaceId&, void**) override { return other(); }
    std::uint32_t AddRef() override { return static_cast<std::uint32_t>(other() + 2); }
    std::uint32_t Release() override { return static_cast<std::uint32_t>(other() + 1); }
    kelvane2::platform::HRESULT Read(void*, kelvane2::platform::ULONG size,
                                     kelvane2::platform::ULONG*) override {
        readSizes.push_back(size);
        return other();
    }
    kelvane2::platform::HRESULT Write(const void* bytes, kelvane2::platform::ULONG size,
                                      kelvane2::platform::ULONG* written) override {
        ++writeCalls;
        writeSizes.push_back(size);
        if (failFrom != 0 && writeCalls >= failFrom) {
            if (written != nullptr) *written = 0;
            return failure;
        }
        const std::uint32_t count = chunk != 0 && size > chunk ? chunk : size;
        if (position + count > data.size()) data.resize(position + count);
        std::memcpy(data.data() + position, bytes, count);
        position += count;
        if (written != nullptr) *written = claim != 0 ? claim : count;
        return kelvane2::platform::S_OK;
    }
    kelvane2::platform::HRESULT Seek(kelvane2::platform::LARGE_INTEGER, kelvane2::platform::DWORD,
                                     kelvane2::platform::ULARGE_INTEGER*) override {
        return other();
    }
    kelvane2::platform::HRESULT SetSize(kelvane2::platform::ULARGE_INTEGER) override { return other(); }
    kelvane2::platform::HRESULT CopyTo(kelvane2::platform::IStream*, kelvane2::platform::ULARGE_INTEGER,
                                       kelvane2::platform::ULARGE_INTEGER*,
                                       kelvane2::platform::ULARGE_INTEGER*) override {
        return other();
    }
    kelvane2::platform::HRESULT Commit(kelvane2::platform::DWORD) override { return other(); }
    kelvane2::platform::HRESULT Revert() override { return other(); }
    kelvane2::platform::HRESULT LockRegion(kelvane2::platform::ULARGE_INTEGER,
                                           kelvane2::platform::ULARGE_INTEGER,
                                           kelvane2::platform::DWORD) override {
        return other();
    }
    kelvane2::platform::HRESULT UnlockRegion(kelvane2::platform::ULARGE_INTEGER,
                                             kelvane2::platform::ULARGE_INTEGER,
                                             kelvane2::platform::DWORD) override {
        return other();
    }
    kelvane2::platform::HRESULT Stat(kelvane2::platform::STATSTG*, kelvane2::platform::DWORD) override {
        return other();
    }
    kelvane2::platform::HRESULT Clone(kelvane2::platform::IStream**) override { return other(); }

    // Existing content, with the position after it.
    void preload(const std::string& text) {
        data.assign(text.begin(), text.end());
        position = data.size();
    }
    std::string text() const { return std::string(data.begin(), data.end()); }

  private:
    kelvane2::platform::HRESULT other() {
        ++otherCalls;
        return kelvane2::platform::E_NOTIMPL;
    }
};

// ---- Files, pictures and decoding ---------------------------------------------------------------------

// A fresh directory under the system's temporary directory, removed with its contents at the end.
class ScratchDir {
  public:
    explicit ScratchDir(const std::string& name) {
        path_ = std::filesystem::temp_directory_path() /
                ("qrkit-" + name + "-" + std::to_string(static_cast<long>(::getpid())));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

inline std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// An 8-bit grey picture.
struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    std::uint8_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

inline GreyImage readPngGrey(const std::string& path) {
    GreyImage image;
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return image;
    png.format = PNG_FORMAT_GRAY;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(png), 255);  // alpha composites onto white
    if (!png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr)) return image;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.pixels = std::move(pixels);
    return image;
}

// The text zxing-cpp reads from a picture of a QR Code symbol; empty when it reads none.
inline std::string decodeQr(const GreyImage& image) {
    if (image.pixels.empty()) return {};
    const qrkit_test::Decoded decoded =
        qrkit_test::decodePictureWithZxing({image.width, image.height, image.pixels});
    return decoded.ok ? decoded.bytes : std::string();
}

// Whether a command-line tool can be run.
inline bool haveTool(const char* name) {
    const std::string probe = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(probe.c_str()) == 0;
}

inline bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Renders an enhanced metafile to PNG with emf2svg-conv and rsvg-convert at zoom; the metafile's 0.01 mm
// units become 96 / 2540 * zoom pixels. Empty path when a tool is missing or fails.
inline std::string renderEmf(const std::string& emf, int zoom) {
    const std::string svg = emf + ".svg";
    const std::string png = emf + ".png";
    if (!run("emf2svg-conv -i '" + emf + "' -o '" + svg + "'")) return {};
    if (!run("rsvg-convert -b white -z " + std::to_string(zoom) + " -o '" + png + "' '" + svg + "'"))
        return {};
    return png;
}

}  // namespace painttest

#endif
