// QRCodeEncodeOptimal and MicroQRCodeEncodeOptimal through libqrkit: every symbol read back by zbar and
// zxing-cpp (Micro QR Code by zxing-cpp) over a random corpus and at every capacity edge, never a larger
// version than the greedy exports, and memory exhaustion as a result code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "encoder/explain.h"
#include "encoder/micro_input.h"
#include "encoder/optimal_segmentation.h"
#include "encoder/qrinput.h"
#include "encoder/tables.h"
#include "qrkit/qrkit.h"
#include "support/alloc_failure.h"
#include "support/decode.h"

namespace {

using qrkit_test::Decoded;
using qrkit_test::ModuleMatrix;
using qrkit_test::printable;

constexpr std::int32_t kTooLong = static_cast<std::int32_t>(0x80520005u);

using EncodeExport = decltype(&QRCodeEncode);

struct Encoded {
    std::int32_t code = 0;
    int version = 0;
    int level = -1;
    ModuleMatrix matrix;
};

Encoded encode(EncodeExport function, const std::string& data, int versionWord, int level) {
    Encoded result;
    QRCODE_RESULT handle = nullptr;
    result.code = function(data.c_str(), versionWord, level, &handle);
    if (result.code == 0) {
        result.version = QRCodeResultGetVersion(handle);
        result.level = handle->getEcLevel();
        result.matrix = ModuleMatrix::fromPattern(handle);
        DestroyQRCodeEncodeResult(handle);
    }
    return result;
}

// The bytes a reader returns for the input (the greedy symbol's reading).
std::string expectedBytes(const std::string& data, bool micro) {
    std::string bytes;
    EXPECT_TRUE(kelvane2::qrencode::expectedReaderBytes(data, micro, &bytes)) << printable(data);
    return bytes;
}

// Checks that both readers (zxing-cpp alone for Micro QR Code) read the symbol back as the greedy one.
void expectReadBack(const Encoded& symbol, const std::string& data, bool micro, bool structuredAppend,
                    const std::string& what) {
    const std::string expected = expectedBytes(data, micro);
    const Decoded zxing = qrkit_test::decodeWithZxing(symbol.matrix);
    ASSERT_TRUE(zxing.ok) << what << ": " << zxing.message;
    EXPECT_EQ(printable(zxing.bytes), printable(expected)) << what << ", zxing-cpp";
    EXPECT_EQ(zxing.microQr, micro) << what;
    if (micro) return;
    const Decoded zbar = qrkit_test::decodeWithZbar(symbol.matrix);
    if (structuredAppend) return;  // zbar holds back a lone structured-append symbol
    ASSERT_TRUE(zbar.ok) << what << ": " << zbar.message;
    EXPECT_EQ(printable(zbar.bytes), printable(expected)) << what << ", zbar";
}

// Realistic pieces and random mixes for the corpus.
class Corpus {
  public:
    explicit Corpus(std::uint32_t seed) : random_(seed) {}
    int pick(int n) { return static_cast<int>(random_() % static_cast<std::uint32_t>(n)); }

    std::string digits(int n) {
        std::string text;
        for (int i = 0; i < n; ++i)
            text += static_cast<char>('0' + pick(10));
        return text;
    }
    std::string upper(int n) {
        std::string text;
        for (int i = 0; i < n; ++i)
            text += static_cast<char>('A' + pick(26));
        return text;
    }
    std::string lower(int n) {
        std::string text;
        for (int i = 0; i < n; ++i)
            text += static_cast<char>('a' + pick(26));
        return text;
    }
    // Shift JIS characters of the first Kanji level (leads 0x88-0x9F), second bytes away from '~'.
    std::string kanji(int n) {
        std::string text;
        for (int i = 0; i < n; ++i) {
            text += static_cast<char>(0x88 + pick(0x18));
            text += static_cast<char>(0x80 + pick(0x7D));
        }
        return text;
    }
    std::string highBytes(int n) {
        std::string text;
        for (int i = 0; i < n; ++i)
            text += static_cast<char>(0xA0 + pick(0x60));
        return text;
    }

    // One record in the input language.
    std::string next() {
        switch (pick(9)) {
            case 0:
                return "https://shop.example.com/item/" + digits(6 + pick(14)) + "?ref=" + lower(3 + pick(5));
            case 1:
                return "BEGIN:VCARD~JVERSION:3.0~JN:" + upper(1) + lower(5) + ";" + upper(1) + lower(4) +
                       "~JTEL:+49" + digits(10) + "~JEND:VCARD";
            case 2:
                return "WIFI:S:" + lower(6) + ";T:WPA;P:" + lower(4) + digits(4) + ";;";
            case 3:
                return "~101" + digits(14) + "10" + upper(2) + digits(4) + "%17" + digits(6);
            case 4:
                return upper(3) + "-" + digits(5 + pick(8)) + "/" + upper(2) + digits(2);
            case 5:
                return kanji(2 + pick(20)) + digits(pick(8)) + kanji(pick(6));
            case 6:
                return "~2[" + std::to_string(1 + pick(3)) + "][3," + std::to_string(pick(256)) + "]" +
                       upper(4) + digits(12) + lower(3);
            case 7:
                return "~7000026" + lower(4) + "\xC3\xA9" + digits(9) + "~3[37]" + upper(2);
            default: {
                std::string text;
                for (int k = 0, pieces = 1 + pick(6); k < pieces; ++k) {
                    const int n = 1 + pick(30);
                    switch (pick(5)) {
                        case 0:
                            text += digits(n);
                            break;
                        case 1:
                            text += upper(n);
                            break;
                        case 2:
                            text += lower(n);
                            break;
                        case 3:
                            text += highBytes(n);
                            break;
                        default:
                            text += kanji(n / 2 + 1);
                            break;
                    }
                }
                return text;
            }
        }
    }

  private:
    std::mt19937 random_;
};

TEST(OptimalExports, RandomCorpusReadsBackOnNoLargerVersion) {
    Corpus corpus(17);
    int smaller = 0;
    for (int k = 0; k < 240; ++k) {
        std::string data = corpus.next();
        // FNC1 in second position only before the data: move it to the front.
        const std::size_t second = data.find("~3[37]");
        if (second != std::string::npos && second != 0) data.erase(second, 6);
        const int level = k % 4;
        const Encoded greedy = encode(QRCodeEncode, data, 0, level);
        const Encoded optimal = encode(QRCodeEncodeOptimal, data, 0, level);
        ASSERT_EQ(greedy.code, 0) << printable(data);
        ASSERT_EQ(optimal.code, 0) << printable(data);
        EXPECT_LE(optimal.version, greedy.version) << printable(data);
        smaller += optimal.version < greedy.version ? 1 : 0;
        EXPECT_EQ(optimal.level, level);
        expectReadBack(optimal, data, false, data.rfind("~2[", 0) == 0, printable(data));
        if (::testing::Test::HasFailure()) return;
    }
    EXPECT_GT(smaller, 0);
}

TEST(OptimalExports, MicroRandomCorpusReadsBackOnNoLargerVersion) {
    Corpus corpus(18);
    int encoded = 0;
    for (int k = 0; k < 400; ++k) {
        std::string data;
        switch (k % 5) {
            case 0:
                data = corpus.digits(1 + corpus.pick(30));
                break;
            case 1:
                data = corpus.upper(1 + corpus.pick(3)) + corpus.digits(1 + corpus.pick(12));
                break;
            case 2:
                data = corpus.kanji(1 + corpus.pick(5)) + corpus.digits(corpus.pick(5));
                break;
            case 3:
                data = corpus.lower(1 + corpus.pick(5)) + corpus.digits(corpus.pick(12));
                break;
            default:
                data = corpus.upper(corpus.pick(8)) + "-" + corpus.digits(corpus.pick(9));
                break;
        }
        const int level = corpus.pick(4);
        const Encoded greedy = encode(MicroQRCodeEncode, data, 0, level);
        const Encoded optimal = encode(MicroQRCodeEncodeOptimal, data, 0, level);
        if (greedy.code == 0) {
            ASSERT_EQ(optimal.code, 0) << printable(data);
            EXPECT_LE(optimal.version, greedy.version) << printable(data);
        } else {
            EXPECT_EQ(greedy.code, kTooLong) << printable(data);
        }
        if (optimal.code != 0) {
            EXPECT_EQ(optimal.code, kTooLong) << printable(data);
            continue;
        }
        ++encoded;
        expectReadBack(optimal, data, true, false, printable(data) + " M" + std::to_string(optimal.version));
        if (::testing::Test::HasFailure()) return;
    }
    EXPECT_GT(encoded, 200);
}

// A long mixed text whose prefixes fill every version: URLs, product codes, digits, Kanji.
std::string edgeText() {
    Corpus corpus(19);
    std::string text;
    while (text.size() < 9000) {
        switch (corpus.pick(5)) {
            case 0:
                text += "https://example.com/p/" + corpus.lower(3);
                break;
            case 1:
                text += corpus.digits(4 + corpus.pick(20));
                break;
            case 2:
                text += corpus.upper(2 + corpus.pick(6)) + "-";
                break;
            case 3:
                text += corpus.kanji(1 + corpus.pick(8));
                break;
            default:
                text += corpus.lower(1 + corpus.pick(5)) + " ";
                break;
        }
    }
    return text;
}

// The version the optimal segmentation settles on for data, or 0 when nothing holds it (no symbol).
int optimalVersion(const std::string& data, int level, bool micro) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
    const int length = static_cast<int>(data.size());
    kelvane2::qrencode::BitString stream;
    if (micro) {
        kelvane2::qrencode::MQRInput input(0, level);
        input.optimalSegmentation = true;
        if (input.parse(bytes, length) != 0) return 0;
        return input.dataBitString(stream) ? input.version : 0;
    }
    kelvane2::qrencode::QRInput input(0, 0, level);
    input.optimalSegmentation = true;
    if (input.parse(bytes, length) != 0) return 0;
    return input.dataBitString(stream) ? input.version : 0;
}

// True when the optimal segmentation fits data into version or a smaller one. QR Code data without
// escapes is one plain run: it fits when its division for the version's count fields does (a smaller
// version holds less); the edge test then checks the version the export chooses.
bool fitsVersion(const std::string& data, int version, int level, bool micro) {
    if (micro) {
        const int found = optimalVersion(data, level, true);
        return found != 0 && found <= version;
    }
    kelvane2::qrencode::PlainRun run;
    run.bytes.assign(data.begin(), data.end());
    run.kanji = true;
    const kelvane2::qrencode::RunDivision division =
        kelvane2::qrencode::divideRun(run, kelvane2::qrencode::qrModeHeaders(version));
    return division.bits <= 8LL * kelvane2::qrencode::QrTables::dataCodewords(version, level);
}

// The longest prefix of text that the optimal segmentation fits into version (or a smaller one), at
// least from (which fits). No character takes fewer than 10/3 bits.
std::size_t longestPrefix(const std::string& text, int version, int level, bool micro, std::size_t from = 0) {
    const int capacity = micro ? kelvane2::qrencode::MicroTables::dataBits(version, level)
                               : 8 * kelvane2::qrencode::QrTables::dataCodewords(version, level);
    std::size_t low = from;  // fits
    std::size_t high = std::min(text.size() + 1, static_cast<std::size_t>(3 * capacity / 10 + 2));
    while (high - low > 1) {
        const std::size_t middle = (low + high) / 2;
        if (fitsVersion(text.substr(0, middle), version, level, micro)) {
            low = middle;
        } else {
            high = middle;
        }
    }
    return low;
}

// Every version and level: the longest prefix of a mixed text lands on that version and reads back,
// one byte more lands on a larger version (beyond 40 or M4: "Input is too long").
TEST(OptimalExports, EveryCapacityEdge) {
    const std::string text = edgeText();
    for (int level = 0; level < 4; ++level) {
        std::size_t previous = 0;
        for (int version = 1; version <= 40; ++version) {
            const std::size_t n = longestPrefix(text, version, level, false, previous);
            ASSERT_GE(n, previous) << "version " << version;
            if (n == previous) continue;  // the wider count fields of 10 and 27 can eat a version's gain
            previous = n;
            const std::string what =
                "version " + std::to_string(version) + ", level " + std::to_string(level);
            const std::string fits = text.substr(0, n);
            const Encoded edge = encode(QRCodeEncodeOptimal, fits, 0, level);
            ASSERT_EQ(edge.code, 0) << what;
            EXPECT_EQ(edge.version, version) << what;
            EXPECT_EQ(encode(QRCodeEncodeOptimal, fits, version | 0x8000, level).code, 0)
                << what << ", strict";
            expectReadBack(edge, fits, false, false, what);
            const Encoded beyond = encode(QRCodeEncodeOptimal, text.substr(0, n + 1), 0, level);
            if (version < 40) {
                EXPECT_EQ(beyond.code, 0) << what;
                EXPECT_GT(beyond.version, version) << what << ", one byte more";
                EXPECT_EQ(encode(QRCodeEncodeOptimal, text.substr(0, n + 1), version | 0x8000, level).code,
                          kTooLong)
                    << what << ", one byte more, strict";
            } else {
                EXPECT_EQ(beyond.code, kTooLong) << what << ", one byte more";
            }
            if (::testing::Test::HasFailure()) return;
        }
    }
}

TEST(OptimalExports, EveryMicroCapacityEdge) {
    // Digits and capitals first (M1 and M2 take only those), then bytes and Kanji.
    const std::string text = "12345A67890BC12" + std::string("a\x93\xFA") + "123\x96\x7B" + "xyz45678901234";
    for (int level = 0; level < 3; ++level) {
        std::size_t previous = 0;
        for (int version = 1; version <= 4; ++version) {
            if (level > kelvane2::qrencode::highestMicroLevel(version)) continue;
            const std::size_t n = longestPrefix(text, version, level, true);
            ASSERT_GE(n, previous) << "M" << version;
            previous = n;
            const std::string what = "M" + std::to_string(version) + ", level " + std::to_string(level);
            const std::string fits = text.substr(0, n);
            const Encoded edge = encode(MicroQRCodeEncodeOptimal, fits, version, level);
            ASSERT_EQ(edge.code, 0) << what;
            EXPECT_EQ(edge.version, version) << what;
            EXPECT_EQ(edge.level, level) << what;
            expectReadBack(edge, fits, true, false, what);
            const Encoded beyond = encode(MicroQRCodeEncodeOptimal, text.substr(0, n + 1), version, level);
            if (version < 4) {
                EXPECT_TRUE(beyond.code == kTooLong || beyond.version > version) << what << ", one byte more";
            } else {
                EXPECT_EQ(beyond.code, kTooLong) << what << ", one byte more";
            }
        }
    }
}

TEST(OptimalExports, SmallerVersions) {
    struct Row {
        const char* name;
        const char* data;
        int level;
        bool micro;
        int greedyVersion;  // 0: the greedy export fails with "Input is too long"
        int optimalVersion;
    };
    const Row rows[] = {
        // Greedy (qrkit explain): Byte "https://example.com/item" and Alphanumeric "/123456789012",
        // 289 bits; Byte "https://example.com/item/" and Numeric "123456789012" take 266 (34 bytes).
        {"URL with an identifier at L", "https://example.com/item/123456789012", 0, false, 3, 2},
        {"URL with an identifier at Q", "https://example.com/item/123456789012", 2, false, 4, 3},
        {"URL with an identifier at H", "https://example.com/item/123456789012", 3, false, 5, 4},
        {"Micro: capital and digits", "A1234567", 0, true, 3, 2},
        {"Micro: text and digits at M", "Hello 1234567890", 1, true, 0, 4},
    };
    for (const Row& row : rows) {
        const Encoded greedy = encode(row.micro ? MicroQRCodeEncode : QRCodeEncode, row.data, 0, row.level);
        const Encoded optimal =
            encode(row.micro ? MicroQRCodeEncodeOptimal : QRCodeEncodeOptimal, row.data, 0, row.level);
        EXPECT_EQ(greedy.code, row.greedyVersion == 0 ? kTooLong : 0) << row.name;
        EXPECT_EQ(greedy.version, row.greedyVersion) << row.name;
        ASSERT_EQ(optimal.code, 0) << row.name;
        EXPECT_EQ(optimal.version, row.optimalVersion) << row.name;
        expectReadBack(optimal, row.data, row.micro, false, row.name);
    }
}

TEST(OptimalExports, SameResultCodesAsTheGreedyExports) {
    struct Row {
        const char* name;
        std::string data;
        int versionWord;
        int level;
        bool micro;
        std::uint32_t code;  // that of the greedy export for the same arguments
        int version;         // 0: as the row's reason says
    };
    const Row rows[] = {
        {"minimum version", "12345", 5, 0, false, 0, 5},
        {"strict version fits", "12345", 0x8005, 0, false, 0, 5},
        {"strict version 0", "1", 0x8000, 0, false, 0x80520005u, 0},
        {"version 45 is 40", "1", 45, 0, false, 0, 40},
        {"forced numeric with a letter", "12A", 0x0200, 0, false, 0x80520006u, 0},
        {"structured append position 0", "~2[0][3]DATA", 0, 0, false, 0x80520034u, 0},
        {"invalid Kanji block", "~4[AB]", 0, 0, false, 0x80520050u, 0},
        {"FNC1 second after data", "AB~3[37]", 0, 0, false, 0x80520051u, 0},
        {"bad overlay", "~50[abc]", 0, 0, false, 0x8052005Au, 0},
        {"2954 bytes at L", std::string(2954, 'a'), 0, 0, false, 0x80520005u, 0},
        {"7090 digits at L", std::string(7090, '7'), 0, 0, false, 0x80520005u, 0},
        {"Micro: 36 digits", std::string(36, '7'), 0, 0, true, 0x80520005u, 0},
        {"Micro: a designator", "~7000026", 0, 0, true, 0x80520005u, 0},
        {"Micro: invalid Kanji block", "~4[AB]", 0, 0, true, 0x80520050u, 0},
        {"Micro: version 0x8002 is M4", "1", 0x8002, 0, true, 0, 4},
    };
    for (const Row& row : rows) {
        const Encoded greedy =
            encode(row.micro ? MicroQRCodeEncode : QRCodeEncode, row.data, row.versionWord, row.level);
        const Encoded optimal = encode(row.micro ? MicroQRCodeEncodeOptimal : QRCodeEncodeOptimal, row.data,
                                       row.versionWord, row.level);
        EXPECT_EQ(static_cast<std::uint32_t>(greedy.code), row.code) << row.name;
        EXPECT_EQ(static_cast<std::uint32_t>(optimal.code), row.code) << row.name;
        if (row.version != 0) {
            EXPECT_EQ(optimal.version, row.version) << row.name;
        }
    }
    QRCODE_RESULT handle = reinterpret_cast<QRCODE_RESULT>(0x1);
    EXPECT_EQ(QRCodeEncodeOptimal(nullptr, 0, 0, &handle), static_cast<std::int32_t>(0x80004003u));
    EXPECT_EQ(MicroQRCodeEncodeOptimal(nullptr, 0, 0, &handle), static_cast<std::int32_t>(0x80004003u));
    EXPECT_EQ(handle, reinterpret_cast<QRCODE_RESULT>(0x1)) << "nothing written";
    EXPECT_EQ(QRCodeEncodeOptimal("1", 0, 0, nullptr), static_cast<std::int32_t>(0x80004003u));
    EXPECT_EQ(MicroQRCodeEncodeOptimal("1", 0, 0, nullptr), static_cast<std::int32_t>(0x80004003u));
}

TEST(OptimalExports, MemoryExhaustionIsAResult) {
    struct Row {
        const char* name;
        EncodeExport function;
        const char* data;
    };
    const Row rows[] = {
        {"QR Code", QRCodeEncodeOptimal, "~50[:swiss7]MEMORY 0123456789 ~1AB%CD~4[~d147~d095]abc"},
        {"Micro QR Code", MicroQRCodeEncodeOptimal, "A1234567"},
    };
    for (const Row& row : rows) {
        QRCODE_RESULT warm = nullptr;
        ASSERT_EQ(row.function(row.data, 0, 1, &warm), 0) << row.name << ": caches filled first";
        DestroyQRCodeEncodeResult(warm);
        int failures = 0;
        for (std::int64_t n = 0; n < 100000; ++n) {
            QRCODE_RESULT handle = reinterpret_cast<QRCODE_RESULT>(0x1);
            const std::int64_t before = qrkit_test::liveAllocations();
            qrkit_test::failAllocationAfter(n);
            const std::int32_t code = row.function(row.data, 0, 1, &handle);
            qrkit_test::disarmAllocationFailure();
            if (code == 0) {
                DestroyQRCodeEncodeResult(handle);
                break;
            }
            ++failures;
            ASSERT_EQ(code, static_cast<std::int32_t>(0x8052000Bu)) << row.name << ", allocation " << n;
            ASSERT_EQ(handle, nullptr) << row.name << ", allocation " << n;
            ASSERT_EQ(qrkit_test::liveAllocations(), before) << row.name << ": leak after allocation " << n;
        }
        EXPECT_GT(failures, 0) << row.name;
    }
}

}  // namespace
