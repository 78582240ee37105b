// Every kind of input encoded through the exported functions and read back by zbar and zxing-cpp.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "qrkit/qrkit.h"
#include "support/decode.h"

namespace {

using qrkit_test::Decoded;
using qrkit_test::ModuleMatrix;

// What the readers should report for one input.
struct RoundTrip {
    std::string name;
    std::string input;  // input language
    int versionWord = 0;
    int level = 0;
    std::string bytes;      // the data as read back
    std::string zbarBytes;  // when not empty: what zbar gives instead (it transcodes ECI data to UTF-8)
    int version = 0;        // 0: any
    int fnc1 = 0;           // 0 none, 1 first, 2 second position
    bool eci = false;
    int appendIndex = -1;  // structured append: position (0-based), total, parity
    int appendTotal = -1;
    int appendParity = -1;
};

RoundTrip plain(std::string name, std::string input, std::string bytes, int versionWord = 0, int level = 0) {
    RoundTrip row;
    row.name = std::move(name);
    row.input = std::move(input);
    row.bytes = std::move(bytes);
    row.versionWord = versionWord;
    row.level = level;
    return row;
}

std::string digits(int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text.push_back(static_cast<char>('0' + (i * 7 + 3) % 10));
    return text;
}

std::string alphanumerics(int count) {
    static const char kSet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
    std::string text;
    for (int i = 0; i < count; ++i)
        text.push_back(kSet[(i * 11 + 5) % 45]);
    return text;
}

std::string bytesText(int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text.push_back(static_cast<char>("abcdefghijklmnopqrstuvwxyz,;!?"[(i * 13 + 1) % 30]));
    return text;
}

std::vector<RoundTrip> corpus() {
    std::vector<RoundTrip> rows;
    // Modes and mixes of modes, every level.
    const char* levels[] = {"L", "M", "Q", "H"};
    for (int level = 0; level < 4; ++level) {
        const std::string at = std::string(" at ") + levels[level];
        rows.push_back(plain("numeric" + at, digits(40), digits(40), 0, level));
        rows.push_back(plain("alphanumeric" + at, "HELLO WORLD $%*+-./:", "HELLO WORLD $%*+-./:", 0, level));
        rows.push_back(plain("byte" + at, "hello, world!", "hello, world!", 0, level));
        rows.push_back(plain("Latin-1 bytes" + at, "caf\xE9 \xFC\xDF", "caf\xE9 \xFC\xDF", 0, level));
        const std::string mixed = "ABCDEF" + digits(30) + "abcdef" + alphanumerics(25) + digits(9) + "x";
        rows.push_back(plain("mixed modes" + at, mixed, mixed, 0, level));
        rows.push_back(plain("kanji among others" + at, "ABC~4[~d147~d095~d136~d159]123",
                             "ABC\x93\x5F\x88\x9F"
                             "123",
                             0, level));
    }
    rows.push_back(plain("empty", "", ""));
    rows.push_back(plain("forced mode 1 digits", digits(20), digits(20), 0x0100, 1));
    rows.push_back(plain("forced mode 1 alphanumeric", "AB12CD", "AB12CD", 0x0100, 1));
    rows.push_back(plain("forced mode 1 byte", "Ab12", "Ab12", 0x0100, 1));
    rows.push_back(plain("forced numeric", digits(50), digits(50), 0x0200, 2));
    rows.push_back(
        plain("forced alphanumeric", "ABC123" + alphanumerics(30), "ABC123" + alphanumerics(30), 0x0300, 2));
    rows.push_back(plain("forced byte", "12345ABCDE", "12345ABCDE", 0x0400, 3));
    rows.push_back(plain("forced mode 6 is byte", "12345", "12345", 0x0600, 0));
    rows.push_back(plain("forced mode with escapes", "AB~4[~d147~d095]CD~d065EF",
                         "AB\x93\x5F"
                         "CDAEF",
                         0x0300, 0));

    // Escapes.
    rows.push_back(plain("control bytes", "A~MB~JC~@D~Z~~E~", std::string("A\rB\nC\0D\x1A~E~", 11)));
    rows.push_back(plain("decimal bytes", "~d200~d255~d001x~d000y", std::string("\xC8\xFF\x01x\0y", 6)));
    rows.push_back(plain("not escapes", "~a~d256~d12", "~a~d256~d12"));
    {
        RoundTrip row = plain("structured append", "~2[1][3,45]DATA", "DATA");
        row.appendIndex = 0;
        row.appendTotal = 3;
        row.appendParity = 45;
        rows.push_back(row);
        row = plain("structured append default parity", "~2[16][16]" + digits(30), digits(30));
        row.appendIndex = 15;
        row.appendTotal = 16;
        row.appendParity = 0xFE;
        rows.push_back(row);
    }
    {
        RoundTrip row = plain("ECI UTF-8",
                              "~7000026Gr\xC3\xBC\xC3\x9F"
                              "e",
                              "Gr\xC3\xBC\xC3\x9F"
                              "e");
        row.eci = true;
        rows.push_back(row);
        row = plain("ECI Latin-1 then digits", "~7000003caf\xE9~700000312345",
                    "caf\xE9"
                    "12345");
        row.zbarBytes =
            "caf\xC3\xA9"
            "12345";
        row.eci = true;
        rows.push_back(row);
    }
    {
        RoundTrip row = plain("FNC1 first, GS1 digits", "~101095011010209171719050810ABCD1234",
                              "01095011010209171719050810ABCD1234");
        row.fnc1 = 1;
        rows.push_back(row);
        row = plain("FNC1 first, percent is a separator", "~110ABC%21XYZ",
                    "10ABC\x1D"
                    "21XYZ");
        row.fnc1 = 1;
        rows.push_back(row);
        row = plain("FNC1 second, numeric indicator", "~3[37]ABC123", "37ABC123");
        row.fnc1 = 2;
        rows.push_back(row);
        row = plain("FNC1 second, letter indicator", "~3[165]abc", "Aabc");
        row.fnc1 = 2;
        rows.push_back(row);
    }
    for (int level = 0; level < 4; ++level) {
        rows.push_back(plain(std::string("swiss cross at ") + levels[level], "~50[:swiss7]HELLO WORLD",
                             "HELLO WORLD", 0, level));
        rows.push_back(plain(std::string("larger swiss cross at ") + levels[level],
                             "~50[:swiss7]" + bytesText(300), bytesText(300), 0, level));
    }
    rows.push_back(plain("overlay bitmap", "~50[5,5,F8888888F8]" + digits(30), digits(30), 3, 3));

    // Every version, at a minimum version with short data and filled to about the version's size.
    for (int version = 1; version <= 40; ++version) {
        const int level = version % 4;
        RoundTrip row =
            plain("minimum version " + std::to_string(version), "V" + std::to_string(version) + "~J",
                  "V" + std::to_string(version) + "\n", version, level);
        row.version = version;
        rows.push_back(row);
        // Byte capacity of the version at L, roughly: the data alone decides the version here.
        const int size = version * version * 2 + version * 8;
        const std::string filled = bytesText(size / 3) + digits(size / 3) + alphanumerics(size / 3);
        rows.push_back(plain("filled to about version " + std::to_string(version), filled, filled, 0, 0));
    }
    rows.push_back(plain("numeric at full 40-L", digits(7089), digits(7089), 0, 0));
    rows.push_back(plain("alphanumeric at full 40-L", alphanumerics(4296), alphanumerics(4296), 0, 0));
    rows.push_back(plain("bytes at full 40-L", bytesText(2953), bytesText(2953), 0, 0));
    return rows;
}

using EncodeExport = decltype(&QRCodeEncode);

// Encodes every row of the corpus through an export and reads the symbols back. Returns the versions.
std::vector<int> readEverySymbol(EncodeExport encode) {
    std::vector<int> versions;
    for (const RoundTrip& row : corpus()) {
        QRCODE_RESULT handle = nullptr;
        EXPECT_EQ(encode(row.input.c_str(), row.versionWord, row.level, &handle), 0) << row.name;
        if (handle == nullptr) return versions;
        const int version = QRCodeResultGetVersion(handle);
        versions.push_back(version);
        if (row.version != 0) {
            EXPECT_EQ(version, row.version) << row.name;
        }
        const ModuleMatrix matrix = ModuleMatrix::fromPattern(handle);
        EXPECT_EQ(matrix.rows, 17 + 4 * version) << row.name;
        const int level = row.level < 0 ? 0 : (row.level > 3 ? 3 : row.level);
        EXPECT_EQ(handle->getEcLevel(), level) << row.name;
        DestroyQRCodeEncodeResult(handle);

        const Decoded zxing = qrkit_test::decodeWithZxing(matrix);
        EXPECT_TRUE(zxing.ok) << row.name << " (version " << version << "): " << zxing.message;
        if (!zxing.ok) continue;
        EXPECT_EQ(qrkit_test::printable(zxing.bytes), qrkit_test::printable(row.bytes))
            << row.name << ", zxing-cpp";
        EXPECT_FALSE(zxing.microQr) << row.name;
        EXPECT_EQ(zxing.ecLevel, level) << row.name << ", zxing-cpp";
        EXPECT_EQ(zxing.fnc1, row.fnc1) << row.name << ", zxing-cpp " << zxing.symbology;
        EXPECT_EQ(zxing.hasEci, row.eci) << row.name << ", zxing-cpp";
        EXPECT_EQ(zxing.sequenceIndex, row.appendIndex) << row.name << ", zxing-cpp";
        EXPECT_EQ(zxing.sequenceSize, row.appendTotal) << row.name << ", zxing-cpp";
        if (row.appendParity >= 0) {
            EXPECT_EQ(zxing.sequenceId, std::to_string(row.appendParity)) << row.name;
        }

        const Decoded zbar = qrkit_test::decodeWithZbar(matrix);
        if (row.appendTotal >= 0) {
            EXPECT_FALSE(zbar.ok) << row.name << ": zbar holds back a lone structured-append symbol";
            continue;
        }
        EXPECT_TRUE(zbar.ok) << row.name << " (version " << version << "): " << zbar.message;
        EXPECT_EQ(qrkit_test::printable(zbar.bytes),
                  qrkit_test::printable(row.zbarBytes.empty() ? row.bytes : row.zbarBytes))
            << row.name << ", zbar";
        EXPECT_EQ(zbar.fnc1, row.fnc1) << row.name << ", zbar";
    }
    return versions;
}

TEST(RoundTrip, DecodersReadEverySymbol) {
    readEverySymbol(QRCodeEncode);
}

// The same rows with the division of fewest bits: the same bytes read back, on a version no larger.
TEST(RoundTrip, OptimalSegmentationReadsTheSame) {
    const std::vector<RoundTrip> rows = corpus();
    const std::vector<int> optimal = readEverySymbol(QRCodeEncodeOptimal);
    ASSERT_EQ(optimal.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        QRCODE_RESULT handle = QRCodeEncode2(rows[i].input.c_str(), rows[i].versionWord, rows[i].level);
        ASSERT_NE(handle, nullptr) << rows[i].name;
        const int greedy = QRCodeResultGetVersion(handle);
        DestroyQRCodeEncodeResult(handle);
        EXPECT_LE(optimal[i], greedy) << rows[i].name;
    }
}

// The font string of an encode, as the single-threaded reference and from several threads at once.
std::string fontString(const std::string& input, int level) {
    QRCODE_RESULT handle = QRCodeEncode2(input.c_str(), 0, level);
    if (handle == nullptr) return "(failed)";
    const std::string text = QRCodeResultGetBarcodeString2(handle, "\n");
    DestroyQRCodeEncodeResult(handle);
    return text;
}

TEST(RoundTrip, ConcurrentEncodesMatchSingleThreaded) {
    std::vector<std::string> inputs;
    for (int i = 0; i < 24; ++i)
        inputs.push_back("~50[:swiss7]" + std::to_string(i) + bytesText(30 * i) + digits(17 * i));
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < inputs.size(); ++i)
        expected.push_back(fontString(inputs[i], static_cast<int>(i % 4)));

    constexpr int kThreads = 4;
    std::vector<std::vector<std::string>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round) {
                // Each thread walks the inputs from a different start, so different data meet.
                for (std::size_t k = 0; k < inputs.size(); ++k) {
                    const std::size_t i = (k + static_cast<std::size_t>(t) * 7) % inputs.size();
                    seen[t].push_back(std::to_string(i) + ":" +
                                      fontString(inputs[i], static_cast<int>(i % 4)));
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(seen[t].size(), 3 * inputs.size());
        for (const std::string& entry : seen[t]) {
            const std::size_t colon = entry.find(':');
            const std::size_t i = std::stoul(entry.substr(0, colon));
            EXPECT_EQ(entry.substr(colon + 1), expected[i]) << "thread " << t << ", input " << i;
        }
    }
}

}  // namespace
