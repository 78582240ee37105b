#include "fuzz/fuzz_checks.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "encoder/frames.h"
#include "encoder/micro_input.h"
#include "encoder/overlay.h"
#include "encoder/qrinput.h"
#include "encoder/result_codes.h"
#include "encoder/simd.h"
#include "encoder/tables.h"
#include "encoder/viewref.h"
#include "support/decode.h"

namespace qrkit_fuzz {

using kelvane2::I2DBitPattern;
using kelvane2::IID_I2DBitPattern;
using kelvane2::ViewRef;
namespace qrencode = kelvane2::qrencode;
namespace simd = kelvane2::qrencode::simd;

void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "qrkit fuzz check failed: %s %s\n", what, detail.c_str());
    std::abort();
}

std::uint8_t InputReader::byte() {
    return position_ < size_ ? data_[position_++] : 0;
}

std::uint16_t InputReader::word16() {
    const std::uint16_t low = byte();
    return static_cast<std::uint16_t>(low | (byte() << 8));
}

std::uint32_t InputReader::word32() {
    const std::uint32_t low = word16();
    return low | (static_cast<std::uint32_t>(word16()) << 16);
}

std::string InputReader::restAsText() {
    const std::uint8_t* begin = data_ + position_;
    const void* zero = std::memchr(begin, 0, size_ - position_);
    const std::size_t length = zero == nullptr
                                   ? size_ - position_
                                   : static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - begin);
    position_ = size_;
    return std::string(reinterpret_cast<const char*>(begin), length);
}

std::int32_t interestingInt(std::uint8_t selector, std::uint32_t raw, int low, int high) {
    const std::uint32_t span = static_cast<std::uint32_t>(high - low) + 1;
    switch (selector % 8) {
        case 5:
            return static_cast<std::int32_t>(raw);
        case 6: {
            static const std::int32_t kExtremes[] = {INT32_MIN, INT32_MAX,     -1,
                                                     0,         INT32_MIN + 1, INT32_MAX - 1};
            return kExtremes[raw % 6];
        }
        case 7:
            return (raw & 1) != 0 ? low - 1 - static_cast<int>(raw % 3)
                                  : high + 1 + static_cast<int>(raw % 3);
        default:
            return low + static_cast<std::int32_t>(raw % span);
    }
}

bool isEncodeResult(std::int32_t code) {
    if (code == 0 || code == kelvane2::kNullPointerResult) return true;
    static const int kNumbers[] = {5, 6, 11, 50, 52, 53, 80, 81, 90};
    for (int n : kNumbers) {
        if (code == kelvane2::failureCode(n)) return true;
    }
    return false;
}

bool isMicroEncodeResult(std::int32_t code) {
    return code == 0 || code == kelvane2::kNullPointerResult || code == kelvane2::failureCode(5) ||
           code == kelvane2::failureCode(11) || code == kelvane2::failureCode(80);
}

namespace {

// The modules of a result, read through its I2DBitPattern view.
struct Modules {
    int width = 0;
    std::vector<std::uint8_t> dark;
    int at(int row, int column) const { return dark[static_cast<std::size_t>(row) * width + column]; }
};

Modules readModules(QRCODE_RESULT handle) {
    ViewRef<I2DBitPattern> pattern;
    FUZZ_CHECK(pattern.query(handle, IID_I2DBitPattern) == kelvane2::kStatusOk, "no I2DBitPattern view");
    Modules modules;
    modules.width = pattern->getRows();
    FUZZ_CHECK(pattern->getColumns() == modules.width, "symbol not square");
    modules.dark.resize(static_cast<std::size_t>(modules.width) * modules.width);
    for (int row = 0; row < modules.width; ++row) {
        for (int column = 0; column < modules.width; ++column) {
            const int module = pattern->getModule(row, column);
            FUZZ_CHECK(module == 0 || module == 1, "module neither 0 nor 1");
            modules.dark[static_cast<std::size_t>(row) * modules.width + column] =
                static_cast<std::uint8_t>(module);
        }
    }
    return modules;
}

// The level QRKIT_FUZZ_SIMD asks for, set before the first input (-1: none).
int requestedLevel() {
    static const int level = [] {
        const char* name = std::getenv("QRKIT_FUZZ_SIMD");
        if (name == nullptr || *name == '\0') return -1;
        simd::Level named;
        if (!simd::levelNamed(name, &named) || !simd::forceLevel(named)) {
            std::fprintf(stderr, "QRKIT_FUZZ_SIMD=%s: not a level this processor runs\n", name);
            std::exit(77);
        }
        std::fprintf(stderr, "qrkit encoder level: %s\n", name);
        return static_cast<int>(named);
    }();
    return level;
}

// Forces the requested level when the fuzz target starts.
const int kLevelAtStart = requestedLevel();

// The BCH (15,5) code of format information: the word (after removing mask) is data * x^10 plus the
// remainder modulo the generator 0x537.
bool formatWordValid(int raw, int xorMask, int* data) {
    const int word = raw ^ xorMask;
    const int value = word >> 10;
    int remainder = value;
    for (int k = 0; k < 10; ++k)
        remainder = (remainder << 1) ^ ((remainder >> 9) * 0x537);
    *data = value;
    return ((value << 10) | (remainder & 0x3FF)) == word;
}

// Every function module of the base frame other than format information has its colour in the symbol.
void checkAgainstFrame(const Modules& modules, const std::uint8_t* frame, const Exclusion& overlay) {
    for (int row = 0; row < modules.width; ++row) {
        for (int column = 0; column < modules.width; ++column) {
            const std::uint8_t kind = frame[static_cast<std::size_t>(row) * modules.width + column];
            if ((kind & qrencode::kModuleFunction) == 0 || (kind & qrencode::kModuleFormat) != 0) continue;
            if (overlay.covers(row, column)) continue;
            FUZZ_CHECK(modules.at(row, column) == (kind & 1),
                       "function module " + std::to_string(row) + "," + std::to_string(column));
        }
    }
}

// One 7 x 7 finder pattern with its top-left module at (top, left), checked on its own.
void checkFinder(const Modules& modules, int top, int left, const Exclusion& overlay) {
    for (int i = 0; i < 7; ++i) {
        for (int j = 0; j < 7; ++j) {
            const int ring = std::max(std::abs(i - 3), std::abs(j - 3));
            const int expected = ring == 2 ? 0 : 1;
            if (overlay.covers(top + i, left + j)) continue;
            FUZZ_CHECK(modules.at(top + i, left + j) == expected, "finder pattern");
        }
    }
}

}  // namespace

void checkQrSymbol(QRCODE_RESULT handle, int expectedLevel, const Exclusion& overlay) {
    const int version = handle->getVersion();
    FUZZ_CHECK(version >= 1 && version <= 40, "version " + std::to_string(version));
    FUZZ_CHECK(handle->getEcLevel() == expectedLevel, "level");
    const Modules modules = readModules(handle);
    const int w = modules.width;
    FUZZ_CHECK(w == 17 + 4 * version, "width");

    checkFinder(modules, 0, 0, overlay);
    checkFinder(modules, 0, w - 7, overlay);
    checkFinder(modules, w - 7, 0, overlay);
    std::unique_ptr<std::uint8_t[]> frame(qrencode::newBaseFrame(version));
    FUZZ_CHECK(frame != nullptr, "no base frame");
    checkAgainstFrame(modules, frame.get(), overlay);

    // The two copies of the format word, bit 0 the least significant.
    int first = 0;
    int second = 0;
    bool firstCovered = false;
    bool secondCovered = false;
    for (int i = 0; i < 15; ++i) {
        int row1, column1, row2, column2;
        if (i < 6) {
            row1 = i, column1 = 8;
        } else if (i < 8) {
            row1 = i + 1, column1 = 8;
        } else if (i == 8) {
            row1 = 8, column1 = 7;
        } else {
            row1 = 8, column1 = 14 - i;
        }
        if (i < 8) {
            row2 = 8, column2 = w - 1 - i;
        } else {
            row2 = w - 15 + i, column2 = 8;
        }
        first |= modules.at(row1, column1) << i;
        second |= modules.at(row2, column2) << i;
        firstCovered = firstCovered || overlay.covers(row1, column1);
        secondCovered = secondCovered || overlay.covers(row2, column2);
    }
    int data = 0;
    if (!firstCovered) {
        FUZZ_CHECK(formatWordValid(first, 0x5412, &data), "first format copy");
        FUZZ_CHECK(((data >> 3) ^ 1) == expectedLevel, "format level");
    }
    if (!secondCovered) {
        FUZZ_CHECK(formatWordValid(second, 0x5412, &data), "second format copy");
        FUZZ_CHECK(((data >> 3) ^ 1) == expectedLevel, "format level");
    }
    if (!firstCovered && !secondCovered) FUZZ_CHECK(first == second, "format copies differ");
}

void checkMicroSymbol(QRCODE_RESULT handle) {
    const int version = handle->getVersion();
    FUZZ_CHECK(version >= 1 && version <= 4, "micro version " + std::to_string(version));
    const int level = handle->getEcLevel();
    const int symbol = qrencode::MicroTables::symbolNumber(version, level);
    FUZZ_CHECK(symbol >= 0, "no such micro symbol");
    const Modules modules = readModules(handle);
    FUZZ_CHECK(modules.width == 9 + 2 * version, "micro width");

    checkFinder(modules, 0, 0, Exclusion());
    std::unique_ptr<std::uint8_t[]> frame(qrencode::newMicroBaseFrame(version));
    FUZZ_CHECK(frame != nullptr, "no micro base frame");
    checkAgainstFrame(modules, frame.get(), Exclusion());

    // The single format copy: row 8 columns 1-8 the bits 14-7, column 8 rows 7-1 the bits 6-0.
    int word = 0;
    for (int column = 1; column <= 8; ++column)
        word = (word << 1) | modules.at(8, column);
    for (int row = 7; row >= 1; --row)
        word = (word << 1) | modules.at(row, 8);
    int data = 0;
    FUZZ_CHECK(formatWordValid(word, 0x4445, &data), "micro format word");
    FUZZ_CHECK((data >> 2) == symbol, "micro symbol number");
}

namespace {

bool plainBytes(const qrencode::QRInput& input, std::string& bytes) {
    if (input.overlay != nullptr || input.hasOverlayName) return false;
    bytes.clear();
    for (const qrencode::InputSegment& segment : input.segments) {
        if (segment.mode > qrencode::kKanji) return false;
        bytes.append(segment.data.begin(), segment.data.end());
    }
    return true;
}

}  // namespace

bool expectedQrBytes(const std::string& data, int versionWord, int ecLevel, std::string& bytes) {
    const int requested = versionWord & 0xFF;
    qrencode::QRInput input(requested > 40 ? 40 : requested, (versionWord >> 8) & 7,
                            ecLevel < 0 ? 0 : (ecLevel > 3 ? 3 : ecLevel));
    if (input.parse(reinterpret_cast<const std::uint8_t*>(data.data()), static_cast<int>(data.size())) != 0)
        return false;
    return plainBytes(input, bytes);
}

Exclusion overlayArea(const std::string& data, int versionWord, int ecLevel, int w) {
    const int requested = versionWord & 0xFF;
    qrencode::QRInput input(requested > 40 ? 40 : requested, (versionWord >> 8) & 7,
                            ecLevel < 0 ? 0 : (ecLevel > 3 ? 3 : ecLevel));
    input.parse(reinterpret_cast<const std::uint8_t*>(data.data()), static_cast<int>(data.size()));
    const bool named = input.overlay == nullptr && input.hasOverlayName && input.overlayName == ":swiss7";
    ViewRef<I2DBitPattern> cross(named ? qrencode::makeSwissCrossOverlay(w) : nullptr);
    I2DBitPattern* overlay = named ? cross.get() : input.overlay;
    Exclusion area;
    if (overlay == nullptr) return area;
    area.rows = overlay->getRows();
    area.columns = overlay->getColumns();
    area.top = (w - area.rows) / 2;
    area.left = (w - area.columns) / 2;
    return area;
}

bool expectedMicroBytes(const std::string& data, std::string& bytes) {
    qrencode::MQRInput input(0, 0);
    if (input.parse(reinterpret_cast<const std::uint8_t*>(data.data()), static_cast<int>(data.size())) != 0)
        return false;
    return plainBytes(input, bytes);
}

void checkDecodesTo(QRCODE_RESULT handle, const std::string& bytes, bool micro) {
    const qrkit_test::ModuleMatrix matrix = qrkit_test::ModuleMatrix::fromPattern(handle);
    const qrkit_test::Decoded decoded = qrkit_test::decodeWithZxing(matrix);
    FUZZ_CHECK(decoded.ok, decoded.message + " expected " + qrkit_test::printable(bytes));
    FUZZ_CHECK(decoded.bytes == bytes, "decoded " + qrkit_test::printable(decoded.bytes) + " expected " +
                                           qrkit_test::printable(bytes));
    FUZZ_CHECK(decoded.microQr == micro, "read as the other symbology");
    if (!micro) FUZZ_CHECK(decoded.ecLevel == handle->getEcLevel(), "decoded level");
}

bool sampled(const std::uint8_t* data, std::size_t size, unsigned oneIn) {
    std::uint32_t hash = 2166136261u;
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 16777619u;
    return hash % oneIn == 0;
}

// ---- MemoryStream ------------------------------------------------------------------------------

namespace platform = kelvane2::platform;

std::int32_t MemoryStream::QueryInterface(const kelvane2::InterfaceId&, void** out) {
    otherCalls = true;
    if (out != nullptr) *out = nullptr;
    return kelvane2::kNoInterface;
}
std::uint32_t MemoryStream::AddRef() {
    otherCalls = true;
    return 1;
}
std::uint32_t MemoryStream::Release() {
    otherCalls = true;
    return 1;
}
platform::HRESULT MemoryStream::Read(void*, platform::ULONG, platform::ULONG*) {
    otherCalls = true;
    return platform::E_NOTIMPL;
}
platform::HRESULT MemoryStream::Write(const void* buffer, platform::ULONG size, platform::ULONG* written) {
    ++writeCalls;
    FUZZ_CHECK(failedWrites == 0, "Write called after a failed Write");
    if (bytes.size() + size > failAfter_) {
        ++failedWrites;
        if (written != nullptr) *written = 0;
        return platform::STG_E_MEDIUMFULL;
    }
    const auto* begin = static_cast<const std::uint8_t*>(buffer);
    bytes.insert(bytes.end(), begin, begin + size);
    if (written != nullptr) *written = size;
    return platform::S_OK;
}
platform::HRESULT MemoryStream::Seek(platform::LARGE_INTEGER, platform::DWORD, platform::ULARGE_INTEGER*) {
    otherCalls = true;
    return platform::E_NOTIMPL;
}
platform::HRESULT MemoryStream::SetSize(platform::ULARGE_INTEGER) {
    otherCalls = true;
    return platform::E_NOTIMPL;
}
platform::HRESULT MemoryStream::CopyTo(IStream*, platform::ULARGE_INTEGER, platform::ULARGE_INTEGER*,
                                       platform::ULARGE_INTEGER*) {
    otherCalls = true;
    return platform::E_NOTIMPL;
}
platform::HRESULT MemoryStream::Commit(platform::DWORD) {
    otherCalls = true;
    return platform::E_NOTIMPL;
}
platform::HRESULT MemoryStream::Revert() {
    otherCalls = true;
    return platform::E_NOTIMPL;
}
platform::HRESULT MemoryStream::LockRegion(platform::ULARGE_INTEGER, platform::ULARGE_INTEGER,
                                           platform::DWORD) {
    otherCalls = true;
    return platform::E_NOTIMPL;
}
platform::HRESULT MemoryStream::UnlockRegion(platform::ULARGE_INTEGER, platform::ULARGE_INTEGER,
                                             platform::DWORD) {
    otherCalls = true;
    return platform::E_NOTIMPL;
}
platform::HRESULT MemoryStream::Stat(platform::STATSTG*, platform::DWORD) {
    otherCalls = true;
    return platform::E_NOTIMPL;
}
platform::HRESULT MemoryStream::Clone(IStream**) {
    otherCalls = true;
    return platform::E_NOTIMPL;
}

void checkSameOnPortableLevel(QRCODE_RESULT handle, QRCODE_RESULT (*encode)(const void* context),
                              const void* context) {
    (void)kLevelAtStart;
    if (simd::activeLevel() == simd::Level::kScalar) return;
    simd::forceLevel(simd::Level::kScalar);
    QRCODE_RESULT portable = encode(context);
    if (requestedLevel() >= 0) {
        simd::forceLevel(static_cast<simd::Level>(requestedLevel()));
    } else {
        simd::clearForcedLevel();
    }
    FUZZ_CHECK((portable == nullptr) == (handle == nullptr), "the portable level gives another outcome");
    if (portable == nullptr) return;
    FUZZ_CHECK(portable->getVersion() == handle->getVersion(), "the portable level gives another version");
    FUZZ_CHECK(portable->getEcLevel() == handle->getEcLevel(), "the portable level gives another level");
    const Modules expected = readModules(portable);
    const Modules modules = readModules(handle);
    FUZZ_CHECK(expected.dark == modules.dark, "the portable level gives other modules");
    FUZZ_CHECK(DestroyQRCodeEncodeResult(portable) == 0, "references left");
}

}  // namespace qrkit_fuzz
