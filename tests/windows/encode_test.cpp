// The encode, result, message and font string exports of qrkit.dll, called through GetProcAddress.
// Expected symbols come from the native build (golden/symbols.txt): the DLL must give the same.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "windows/golden_cases.h"
#include "windows_test_support.h"

namespace {

using wintest::qrkit;
using wintest::Symbol;

constexpr std::int32_t kNullPointer = static_cast<std::int32_t>(0x80004003u);

constexpr std::int32_t failure(int n) {
    return static_cast<std::int32_t>(0x80520000u | static_cast<std::uint32_t>(n));
}

const std::map<std::string, golden::Symbol>& goldenSymbols() {
    static const std::map<std::string, golden::Symbol> symbols = [] {
        std::ifstream in(wintest::goldenPath("symbols.txt"), std::ios::binary);
        return golden::read(in);
    }();
    return symbols;
}

// Encodes through the export of a case that gives a result code: QRCodeEncode, MicroQRCodeEncode,
// HIBC_QRCodeEncode, QRCodeEncodeOptimal or MicroQRCodeEncodeOptimal.
std::int32_t encodeWithCode(const wintest::Qrkit& q, const golden::Case& c, QRCODE_RESULT* out) {
    switch (c.via) {
        case golden::Export::kMicro:
            return q.MicroQRCodeEncode(c.data, c.versionWord, c.ecLevel, out);
        case golden::Export::kHibc:
            return q.HIBC_QRCodeEncode(c.data, c.versionWord, c.ecLevel, out);
        case golden::Export::kQrOptimal:
            return q.QRCodeEncodeOptimal(c.data, c.versionWord, c.ecLevel, out);
        case golden::Export::kMicroOptimal:
            return q.MicroQRCodeEncodeOptimal(c.data, c.versionWord, c.ecLevel, out);
        default:
            return q.QRCodeEncode(c.data, c.versionWord, c.ecLevel, out);
    }
}

// Encodes a case through its export of the given library: the handle, or null on failure.
QRCODE_RESULT encode(const wintest::Qrkit& q, const golden::Case& c) {
    switch (c.via) {
        case golden::Export::kQr2:
            return q.QRCodeEncode2(c.data, c.versionWord, c.ecLevel);
        case golden::Export::kQr2W:
            return q.QRCodeEncode2W(reinterpret_cast<const wchar_t*>(c.wide), c.versionWord, c.ecLevel);
        case golden::Export::kMicro2:
            return q.MicroQRCodeEncode2(c.data, c.versionWord, c.ecLevel);
        case golden::Export::kHibc2:
            return q.HIBC_QRCodeEncode2(c.data, c.versionWord, c.ecLevel);
        default: {
            QRCODE_RESULT handle = nullptr;
            return encodeWithCode(q, c, &handle) == 0 ? handle : nullptr;
        }
    }
}

TEST(Encode, SymbolsEqualTheNativeBuild) {
    ASSERT_EQ(goldenSymbols().size(), std::size(golden::kCases)) << "golden/symbols.txt beside the program";
    for (const golden::Case& c : golden::kCases) {
        SCOPED_TRACE(c.name);
        const golden::Symbol& expected = goldenSymbols().at(c.name);
        Symbol symbol(encode(qrkit(), c));
        ASSERT_NE(symbol.handle(), nullptr);
        EXPECT_EQ(qrkit().QRCodeResultGetVersion(symbol.handle()), expected.version);
        EXPECT_EQ(wintest::fontString(symbol.handle(), golden::kSeparator), expected.fontString);
        // The result's module view agrees with its font string.
        EXPECT_EQ(wintest::packRows(wintest::moduleRows(symbol.handle()), "\n"), expected.fontString);

        // The caller's buffer receives the same text, with the separator of the caller's choice.
        const std::string owned = wintest::fontString(symbol.handle(), "\r\n");
        int size = 0;
        ASSERT_EQ(qrkit().QRCodeResultGetBarcodeString(symbol.handle(), nullptr, &size, "\r\n"), 0);
        ASSERT_EQ(size, static_cast<int>(owned.size()) + 1);
        std::string buffer(static_cast<std::size_t>(size), '?');
        ASSERT_EQ(qrkit().QRCodeResultGetBarcodeString(symbol.handle(), &buffer[0], &size, "\r\n"), 0);
        EXPECT_EQ(size, static_cast<int>(owned.size()));
        EXPECT_EQ(buffer.c_str(), owned);
    }
}

TEST(Encode, ResultCodes) {
    const struct {
        const char* name;
        const char* data;
        int versionWord;
        int level;
        std::int32_t code;
        int version;
    } rows[] = {
        {"smallest symbol", "12345", 0, 0, 0, 1},
        {"minimum version", "12345", 5, 0, 0, 5},
        {"strict version fits", "12345", 0x8005, 0, 0, 5},
        {"strict version too small",
         "This text needs version seven at level H, being longer than what five can hold.....", 0x8005, 3,
         failure(5), 0},
        {"strict version 0", "1", 0x8000, 0, failure(5), 0},
        {"version 45 is 40", "1", 45, 0, 0, 40},
        {"forced mode 1 at 40", "1", 0x0128, 0, 0, 40},
        {"forced numeric with a letter", "12A", 0x0200, 0, failure(6), 0},
        {"forced numeric", "123", 0x0200, 0, 0, 1},
        {"structured append sequence", "~2[0][3]DATA", 0, 0, failure(52), 0},
        {"invalid Kanji block", "~4[AB]", 0, 0, failure(80), 0},
        {"level clamped low", "12345", 0, -3, 0, 1},
        {"level clamped high", "12345", 0, 9, 0, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QRCODE_RESULT handle = reinterpret_cast<QRCODE_RESULT>(0x1);
        EXPECT_EQ(qrkit().QRCodeEncode(row.data, row.versionWord, row.level, &handle), row.code);
        Symbol first(handle);
        Symbol second(qrkit().QRCodeEncode2(row.data, row.versionWord, row.level));
        if (row.code != 0) {
            EXPECT_EQ(handle, nullptr);
            EXPECT_EQ(second.handle(), nullptr) << "Encode2 gives null where Encode fails";
            continue;
        }
        ASSERT_NE(second.handle(), nullptr);
        EXPECT_EQ(qrkit().QRCodeResultGetVersion(handle), row.version);
        EXPECT_EQ(wintest::moduleRows(second.handle()), wintest::moduleRows(handle));
    }
}

TEST(Encode, MicroAndHibcResultCodes) {
    const struct {
        const char* name;
        bool hibc;
        const char* data;
        int versionWord;
        std::int32_t code;
        int version;
    } rows[] = {
        {"micro M1", false, "12345", 0, 0, 1},
        {"micro version word above 4 is M4", false, "1", 0x8002, 0, 4},
        {"micro version word below 0 is automatic", false, "1", -7, 0, 1},
        {"micro 36 digits", false, "123456789012345678901234567890123456", 0, failure(5), 0},
        {"micro designator", false, "~7000026AB", 0, failure(5), 0},
        {"micro invalid Kanji block", false, "~4[AB]", 0, failure(80), 0},
        {"hibc empty", true, "", 0, 0, 1},
        {"hibc 36 characters", true, "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789", 0, 0, 2},
        {"hibc 37 characters", true, "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234567890", 0, failure(5), 0},
        {"hibc character outside the set", true, "AB*C", 0, failure(5), 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QRCODE_RESULT handle = nullptr;
        const std::int32_t code = row.hibc ? qrkit().HIBC_QRCodeEncode(row.data, row.versionWord, 1, &handle)
                                           : qrkit().MicroQRCodeEncode(row.data, row.versionWord, 0, &handle);
        EXPECT_EQ(code, row.code);
        Symbol first(handle);
        Symbol second(row.hibc ? qrkit().HIBC_QRCodeEncode2(row.data, row.versionWord, 1)
                               : qrkit().MicroQRCodeEncode2(row.data, row.versionWord, 0));
        EXPECT_EQ(second.handle() == nullptr, row.code != 0);
        if (row.code == 0) {
            EXPECT_EQ(qrkit().QRCodeResultGetVersion(handle), row.version);
            EXPECT_EQ(qrkit().QRCodeResultGetVersion(second.handle()), row.version);
        }
    }
}

// The optimal exports give the result codes of the greedy ones, and smaller versions where the greedy
// division wastes bits.
TEST(Encode, OptimalResultCodes) {
    const struct {
        const char* name;
        bool micro;
        const char* data;
        int versionWord;
        int level;
        std::int32_t code;
        int version;  // greedy export: see the name
    } rows[] = {
        {"URL with an identifier: 2 (greedy 3)", false, "https://example.com/item/123456789012", 0, 0, 0, 2},
        {"minimum version", false, "12345", 5, 0, 0, 5},
        {"strict version 0", false, "1", 0x8000, 0, failure(5), 0},
        {"forced numeric with a letter", false, "12A", 0x0200, 0, failure(6), 0},
        {"structured append sequence", false, "~2[0][3]DATA", 0, 0, failure(52), 0},
        {"FNC1 second position after data", false, "AB~3[37]", 0, 0, failure(81), 0},
        {"micro capital and digits: M2 (greedy M3)", true, "A1234567", 0, 0, 0, 2},
        {"micro 36 digits", true, "123456789012345678901234567890123456", 0, 0, failure(5), 0},
        {"micro designator", true, "~7000026AB", 0, 0, failure(5), 0},
        {"micro invalid Kanji block", true, "~4[AB]", 0, 0, failure(80), 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QRCODE_RESULT handle = reinterpret_cast<QRCODE_RESULT>(0x1);
        const std::int32_t code =
            row.micro ? qrkit().MicroQRCodeEncodeOptimal(row.data, row.versionWord, row.level, &handle)
                      : qrkit().QRCodeEncodeOptimal(row.data, row.versionWord, row.level, &handle);
        EXPECT_EQ(code, row.code);
        Symbol symbol(handle);
        if (row.code != 0) {
            EXPECT_EQ(handle, nullptr);
            continue;
        }
        EXPECT_EQ(qrkit().QRCodeResultGetVersion(handle), row.version);
    }
    QRCODE_RESULT untouched = reinterpret_cast<QRCODE_RESULT>(0x1);
    EXPECT_EQ(qrkit().QRCodeEncodeOptimal(nullptr, 0, 0, &untouched), kNullPointer);
    EXPECT_EQ(qrkit().MicroQRCodeEncodeOptimal(nullptr, 0, 0, &untouched), kNullPointer);
    EXPECT_EQ(untouched, reinterpret_cast<QRCODE_RESULT>(0x1));
    EXPECT_EQ(qrkit().QRCodeEncodeOptimal("1", 0, 0, nullptr), kNullPointer);
    EXPECT_EQ(qrkit().MicroQRCodeEncodeOptimal("1", 0, 0, nullptr), kNullPointer);
}

TEST(Encode, NullPointers) {
    const auto& q = qrkit();
    Symbol symbol("12345");
    QRCODE_RESULT untouched = reinterpret_cast<QRCODE_RESULT>(0x1);
    char buffer[200];
    int size = sizeof buffer;
    const struct {
        const char* name;
        std::int64_t result;
        std::int64_t expected;
    } rows[] = {
        {"QRCodeEncode null data", q.QRCodeEncode(nullptr, 0, 0, &untouched), kNullPointer},
        {"QRCodeEncode null out", q.QRCodeEncode("1", 0, 0, nullptr), kNullPointer},
        {"MicroQRCodeEncode null data", q.MicroQRCodeEncode(nullptr, 0, 0, &untouched), kNullPointer},
        {"MicroQRCodeEncode null out", q.MicroQRCodeEncode("1", 0, 0, nullptr), kNullPointer},
        {"HIBC_QRCodeEncode null data", q.HIBC_QRCodeEncode(nullptr, 0, 0, &untouched), kNullPointer},
        {"HIBC_QRCodeEncode null out", q.HIBC_QRCodeEncode("1", 0, 0, nullptr), kNullPointer},
        {"QRCodeEncode2 null data", q.QRCodeEncode2(nullptr, 0, 0) == nullptr, 1},
        {"QRCodeEncode2W null data", q.QRCodeEncode2W(nullptr, 0, 0) == nullptr, 1},
        {"MicroQRCodeEncode2 null data", q.MicroQRCodeEncode2(nullptr, 0, 0) == nullptr, 1},
        {"HIBC_QRCodeEncode2 null data", q.HIBC_QRCodeEncode2(nullptr, 0, 0) == nullptr, 1},
        {"QRCodeGetParity null data", q.QRCodeGetParity(nullptr), 0},
        {"QRCodeResultGetVersion null handle", q.QRCodeResultGetVersion(nullptr), 0},
        {"DestroyQRCodeEncodeResult null handle", q.DestroyQRCodeEncodeResult(nullptr), 0},
        {"QRCodeResultGetBarcodeString null handle",
         q.QRCodeResultGetBarcodeString(nullptr, buffer, &size, ""), 8},
        {"QRCodeResultGetBarcodeString null size",
         q.QRCodeResultGetBarcodeString(symbol.handle(), buffer, nullptr, ""), 8},
        {"QRCodeResultGetBarcodeString2 null handle", q.QRCodeResultGetBarcodeString2(nullptr, "") == nullptr,
         1},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.result, row.expected) << row.name;
    EXPECT_EQ(untouched, reinterpret_cast<QRCODE_RESULT>(0x1)) << "nothing written";
    EXPECT_EQ(size, static_cast<int>(sizeof buffer)) << "nothing written";
}

TEST(Encode, FontStringBufferTooSmall) {
    Symbol symbol("HELLO");
    char buffer[137];
    int size = 136;  // one short of the 136 characters and the NUL
    EXPECT_EQ(qrkit().QRCodeResultGetBarcodeString(symbol.handle(), buffer, &size, "\r\n"), 12);
    EXPECT_EQ(size, 136) << "size unchanged";
    size = 137;
    EXPECT_EQ(qrkit().QRCodeResultGetBarcodeString(symbol.handle(), buffer, &size, "\r\n"), 0);
    EXPECT_EQ(size, 136);
}

TEST(Encode, ParityAndMessages) {
    EXPECT_EQ(qrkit().QRCodeGetParity("ABC"), 'A' ^ 'B' ^ 'C');
    EXPECT_EQ(qrkit().QRCodeGetParity("~d255A"), 255 ^ 'A') << "escapes count by their bytes";
    const struct {
        std::int32_t code;
        const char* message;
    } rows[] = {
        {failure(5), "Input is too long"},     // error number 5
        {failure(10), "File access denied"},   // the bare 10 of the paint exports, as a code
        {failure(11), "Out of memory"},        // error number 11
        {failure(80), "Invalid Kanji block"},  // error number 80
        {12, "Unspecified error."},            // a bare error number has no message
        {0, "Unspecified error."},             // nor has success
    };
    for (const auto& row : rows) {
        EXPECT_STREQ(qrkit().QRCodeGetErrorMessage(row.code), row.message) << std::hex << row.code;
    }
}

// Wide strings are the platform's wchar_t text: Latin-1 stays one byte a character, anything beyond
// makes the whole text UTF-8 behind a byte-order mark.
TEST(Encode, WideStrings) {
    const struct {
        const char* name;
        const wchar_t* wide;
        const char* bytes;
    } rows[] = {
        {"Latin-1", L"Gr\u00FC\u00DFe",
         "Gr\xFC\xDF"
         "e"},
        {"euro sign", L"Gr\u00FC\u00DFe\u20AC",
         "\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F"
         "e\xE2\x82\xAC"},
        {"Cyrillic and CJK", L"\u041F\u0440\u0438\u0432\u0435\u0442 \u4E16\u754C",
         "\xEF\xBB\xBF\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xE4\xB8\x96\xE7\x95\x8C"},
        {"surrogate pair", L"\U0001F600", "\xEF\xBB\xBF\xF0\x9F\x98\x80"},
        {"lone high surrogate at the end", L"A\xD800", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Symbol wide(qrkit().QRCodeEncode2W(row.wide, 0, 1));
        ASSERT_NE(wide.handle(), nullptr);
        if (row.bytes == nullptr) continue;  // encodes without reading past the text
        Symbol narrow(row.bytes, 0, 1);
        ASSERT_NE(narrow.handle(), nullptr);
        EXPECT_EQ(wintest::moduleRows(wide.handle()), wintest::moduleRows(narrow.handle()));
    }
    EXPECT_EQ(qrkit().QRCodeEncode2W(L"~2[0][1]", 0, 0), nullptr) << "failure gives null";
    EXPECT_EQ(qrkit().QRCodeEncode2W(L"\u20AC~4[AB]", 0, 0), nullptr) << "failure gives null";
}

// One thread of ConcurrentEncodes: six rounds of every golden case, from its own first case on.
struct EncodeWork {
    int first;
    int failures = 0;
};

// A Windows thread function, so WINAPI (stdcall on i686, where a lambda would be cdecl).
DWORD WINAPI encodeRounds(void* argument) {
    EncodeWork& w = *static_cast<EncodeWork*>(argument);
    const std::size_t count = std::size(golden::kCases);
    for (int round = 0; round < 6; ++round) {
        for (std::size_t i = 0; i < count; ++i) {
            const golden::Case& c = golden::kCases[(w.first + i) % count];
            QRCODE_RESULT handle = encode(qrkit(), c);
            const char* font = handle == nullptr
                                   ? nullptr
                                   : qrkit().QRCodeResultGetBarcodeString2(handle, golden::kSeparator);
            if (font == nullptr || goldenSymbols().at(c.name).fontString != font) ++w.failures;
            qrkit().DestroyQRCodeEncodeResult(handle);
        }
    }
    return 0;
}

// Several Windows threads encode at once, each its own symbols, all as on one thread.
TEST(Encode, ConcurrentEncodes) {
    const int kThreads = 8;
    EncodeWork work[kThreads];
    HANDLE threads[kThreads];
    for (int t = 0; t < kThreads; ++t) {
        work[t].first = t;
        threads[t] = CreateThread(nullptr, 0, encodeRounds, &work[t], 0, nullptr);
        ASSERT_NE(threads[t], nullptr);
    }
    EXPECT_EQ(WaitForMultipleObjects(kThreads, threads, TRUE, 120000), WAIT_OBJECT_0);
    for (int t = 0; t < kThreads; ++t) {
        CloseHandle(threads[t]);
        EXPECT_EQ(work[t].failures, 0) << "thread " << t;
    }
}

// Memory runs out at each allocation in turn inside the DLL (qrkit_memtest.dll): the encode exports
// report 0x8052000B (null for the variants ending in 2) and leave nothing allocated.
TEST(Encode, MemoryExhaustion) {
    const wintest::Qrkit& q = wintest::memtestQrkit();
    const wintest::AllocationSwitch& allocation = wintest::allocationSwitch();
    const char* data = "~50[:swiss7]MEMORY 0123456789 ~4[~d147~d095]";
    using golden::Export;
    // Each family through its export with a result code and through the one ending in 2.
    const golden::Case rows[][2] = {
        {{"QR Code", Export::kQr, data, nullptr, 0, 2}, {"QR Code", Export::kQr2, data, nullptr, 0, 2}},
        {{"Micro QR Code", Export::kMicro, "MICRO 123", nullptr, 0, 1},
         {"Micro QR Code", Export::kMicro2, "MICRO 123", nullptr, 0, 1}},
        {{"HIBC", Export::kHibc, "A123BJC5D6E71", nullptr, 0, 1},
         {"HIBC", Export::kHibc2, "A123BJC5D6E71", nullptr, 0, 1}},
        {{"QR Code, optimal", Export::kQrOptimal, data, nullptr, 0, 2},
         {"QR Code, optimal", Export::kQrOptimal, data, nullptr, 0, 2}},
        {{"Micro QR Code, optimal", Export::kMicroOptimal, "A1234567", nullptr, 0, 0},
         {"Micro QR Code, optimal", Export::kMicroOptimal, "A1234567", nullptr, 0, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0].name);
        QRCODE_RESULT warm = encode(q, row[1]);
        ASSERT_NE(warm, nullptr) << "caches filled first";
        q.DestroyQRCodeEncodeResult(warm);
        int failures = 0;
        for (std::int64_t n = 0; n < 100000; ++n) {
            QRCODE_RESULT handle = reinterpret_cast<QRCODE_RESULT>(0x1);
            const std::int64_t before = allocation.liveAllocations();
            allocation.failAllocationAfter(n);
            const std::int32_t code = encodeWithCode(q, row[0], &handle);
            allocation.failAllocationAfter(n);
            QRCODE_RESULT second = encode(q, row[1]);
            allocation.disarm();
            if (second != nullptr) q.DestroyQRCodeEncodeResult(second);
            if (code == 0) {
                EXPECT_NE(second, nullptr);
                q.DestroyQRCodeEncodeResult(handle);
                break;
            }
            ++failures;
            ASSERT_EQ(code, failure(11)) << "allocation " << n;
            ASSERT_EQ(handle, nullptr) << "allocation " << n;
            ASSERT_EQ(second, nullptr) << "allocation " << n;
            ASSERT_EQ(allocation.liveAllocations(), before) << "leak after failing allocation " << n;
        }
        EXPECT_GT(failures, 0);
    }

    // The wide variant and the owned font string answer null instead.
    QRCODE_RESULT handle = q.QRCodeEncode2(data, 0, 2);
    ASSERT_NE(handle, nullptr);
    allocation.failAllocationAfter(0);
    EXPECT_EQ(q.QRCodeEncode2W(L"\u20AC", 0, 0), nullptr);
    allocation.failAllocationAfter(0);
    EXPECT_EQ(q.QRCodeResultGetBarcodeString2(handle, "\r\n"), nullptr);
    allocation.disarm();
    EXPECT_NE(q.QRCodeResultGetBarcodeString2(handle, "\r\n"), nullptr);
    q.DestroyQRCodeEncodeResult(handle);
}

}  // namespace
