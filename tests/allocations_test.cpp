// Heap allocations of one encode through the exports, once the caches for its version are filled: at
// most four for a symbol of any size and any mix of segments, the handle's release included. (The
// exports with the division of fewest bits build their tables on the heap and are not bound by this.)
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "qrkit/qrkit.h"
#include "support/alloc_failure.h"

namespace {

std::string repeated(const std::string& unit, std::size_t bytes) {
    std::string text;
    while (text.size() + unit.size() <= bytes)
        text += unit;
    return text;
}

QRCODE_RESULT qr(const std::string& data, int version, int level) {
    QRCODE_RESULT handle = nullptr;
    return QRCodeEncode(data.c_str(), version, level, &handle) == 0 ? handle : nullptr;
}

QRCODE_RESULT micro(const std::string& data, int version, int level) {
    QRCODE_RESULT handle = nullptr;
    return MicroQRCodeEncode(data.c_str(), version, level, &handle) == 0 ? handle : nullptr;
}

// data holds UTF-16 code units, two bytes each in the machine's order, the terminating zero included.
QRCODE_RESULT wide(const std::string& data, int version, int level) {
    return QRCodeEncode2W(reinterpret_cast<const qrkit_char16*>(data.data()), version, level);
}

std::string wideText(const std::u16string& text) {
    return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(char16_t));
}

struct AllocationCase {
    const char* name;
    QRCODE_RESULT (*encode)(const std::string&, int, int);
    std::string data;  // made before the count starts
    int version;
    int level;
};

TEST(EncodeAllocations, AtMostFourPerEncodeOfAnySize) {
    const AllocationCase cases[] = {
        {"URL, version 3", qr, "https://www.example.com/products/12345", 0, 1},
        {"500 bytes of text", qr, repeated("The quick brown fox. ", 500), 0, 2},
        {"2953 bytes, version 40", qr, repeated("byte data~d200", 2953), 40, 0},
        {"7089 digits", qr, std::string(7089, '7'), 0, 0},
        {"4296 alphanumerics", qr, repeated("HELLO WORLD $%*+-./:", 4296), 0, 0},
        {"1817 Kanji", qr, "~4[" + repeated("\x93\x5f", 3634) + "]", 0, 0},
        {"alternating modes, many segments", qr, repeated("1234567ab", 2300), 0, 0},
        {"escapes and designators", qr, "~2[1][2,7]~7000026~1" + repeated("12345678 ABC def ~d200 ", 1500), 0,
         1},
        {"Micro M4", micro, "12345678901234567890123", 0, 0},
        {"wide text", wide, wideText(u"Gr\u00fc\u00dfe, \u041f\u0440\u0438\u0432\u0435\u0442 12345"), 0, 1},
    };
    for (const AllocationCase& row : cases) {
        QRCODE_RESULT warm = row.encode(row.data, row.version, row.level);
        ASSERT_NE(warm, nullptr) << row.name << ": the caches filled first";
        DestroyQRCodeEncodeResult(warm);
        const std::int64_t before = qrkit_test::allocationsMade();
        QRCODE_RESULT handle = row.encode(row.data, row.version, row.level);
        DestroyQRCodeEncodeResult(handle);
        const std::int64_t made = qrkit_test::allocationsMade() - before;
        ASSERT_NE(handle, nullptr) << row.name;
        EXPECT_LE(made, 4) << row.name;
    }
}

}  // namespace
