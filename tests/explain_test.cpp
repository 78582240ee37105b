// What the drivers record for explain: the numbers of the very symbol they return, the interleaving
// origins, the correction capacity of blocks, the overlay damage against real readers, and the bytes a
// reader returns.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "encoder/bitstring.h"
#include "encoder/codeword_stream.h"
#include "encoder/encode_micro.h"
#include "encoder/explain.h"
#include "encoder/frames.h"
#include "encoder/masking.h"
#include "encoder/placement.h"
#include "encoder/qrinput.h"
#include "encoder/tables.h"
#include "qrkit/qrkit.h"
#include "support/decode.h"
#include "tool_run.h"

namespace {

namespace qe = kelvane2::qrencode;
using qrkit_test::ModuleMatrix;

struct Recorded {
    qe::SymbolDecisions decisions;
    ModuleMatrix symbol;
    std::int32_t result = 0;
};

Recorded record(const std::string& data, int versionWord, int level, bool micro = false) {
    Recorded out;
    kelvane2::IQrcodeResult* handle = nullptr;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
    qe::EncodeOptions options{versionWord, level, -1};
    out.result =
        micro ? qe::encodeMicroQrRecorded(bytes, static_cast<int>(data.size()), options, &handle,
                                          &out.decisions)
              : qe::encodeQrRecorded(bytes, static_cast<int>(data.size()), options, &handle, &out.decisions);
    if (handle != nullptr) {
        out.symbol = ModuleMatrix::fromPattern(handle);
        handle->Release();
    }
    return out;
}

// The eight scores of the filled, unmasked frame of data, built step by step from the pipeline's units.
std::vector<int> referenceScores(const std::string& data, int version, int level, int* chosen) {
    qe::QRInput input(version, 0, level);
    EXPECT_EQ(input.parse(reinterpret_cast<const std::uint8_t*>(data.data()), static_cast<int>(data.size())),
              0);
    qe::BitString bits;
    EXPECT_TRUE(input.dataBitString(bits));
    qe::CodewordStream stream(input.version, level, qe::packBits(bits));
    const int count = stream.dataLength() + stream.eccLength();
    std::vector<std::uint8_t> codewords(static_cast<std::size_t>(count));
    stream.interleaved(codewords.data());
    std::unique_ptr<std::uint8_t[]> frame(qe::newBaseFrame(input.version));
    int positions = 0;
    const std::uint32_t* order = qe::placementOrder(input.version, &positions);
    qe::placeCodewords(frame.get(), order, codewords.data(), count,
                       qe::QrTables::remainderBitCount(input.version));
    std::vector<int> scores(8);
    std::unique_ptr<std::uint8_t[]> matrix(
        qe::chooseMask(qe::QrTables::symbolWidth(input.version), frame.get(), level, chosen, scores.data()));
    return scores;
}

TEST(Explain, RecordsTheNumbersOfTheSymbolReturned) {
    const struct {
        const char* name;
        std::string data;
        int versionWord;
        int level;
    } cases[] = {
        {"numeric, version 1-M", "01234567", 0, 1},
        {"alphanumeric and numeric", "HELLO WORLD 12345678901234", 0, 1},
        {"bytes at H, version 5 requested", "https://example.com/", 5, 3},
        {"two groups of blocks, 5-Q", std::string(40, 'a'), 0, 2},
        {"Swiss cross at L", "~50[:swiss7]https://example.com/a/long/path", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recorded r = record(c.data, c.versionWord, c.level);
        ASSERT_EQ(r.result, 0);
        QRCODE_RESULT handle = QRCodeEncode2(c.data.c_str(), c.versionWord, c.level);
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(r.decisions.version, QRCodeResultGetVersion(handle));
        EXPECT_EQ(r.decisions.ecLevel, c.level);
        EXPECT_EQ(r.decisions.width, qe::QrTables::symbolWidth(r.decisions.version));
        // The recorded encode made the same symbol as the export.
        EXPECT_EQ(r.symbol.toText(), ModuleMatrix::fromPattern(handle).toText());
        DestroyQRCodeEncodeResult(handle);

        int chosen = -1;
        const std::vector<int> scores = referenceScores(c.data, c.versionWord, c.level, &chosen);
        EXPECT_EQ(r.decisions.maskCount, 8);
        EXPECT_EQ(r.decisions.mask, chosen);
        EXPECT_EQ(std::vector<int>(r.decisions.scores, r.decisions.scores + 8), scores);

        int bits = 0;
        for (const qe::SegmentDecision& segment : r.decisions.segments)
            bits += segment.bits;
        EXPECT_EQ(r.decisions.segmentBits, bits);
        EXPECT_LE(bits, r.decisions.capacityBits);
        EXPECT_EQ(r.decisions.capacityBits, 8 * qe::QrTables::dataCodewords(r.decisions.version, c.level));
        EXPECT_EQ(r.decisions.dataCodewords + r.decisions.eccCodewords,
                  qe::QrTables::totalCodewords(r.decisions.version));
    }
}

TEST(Explain, SegmentsAndTheirBits) {
    // 01234567 in version 1: mode 4 + count 10 + 8 digits in 27 bits (the standard's example).
    Recorded r = record("01234567", 0, 1);
    ASSERT_EQ(r.decisions.segments.size(), 1u);
    EXPECT_EQ(r.decisions.segments[0].mode, qe::kNumeric);
    EXPECT_EQ(r.decisions.segments[0].data.size(), 8u);
    EXPECT_EQ(r.decisions.segments[0].bits, 41);

    // A header, a designator, then data.
    r = record("~2[2][3,45]~7000026HELLO", 0, 1);
    ASSERT_EQ(r.decisions.segments.size(), 3u);
    EXPECT_EQ(r.decisions.segments[0].mode, qe::kStructuredAppend);
    EXPECT_EQ(r.decisions.segments[0].data, (std::vector<std::uint8_t>{3, 2, 45}));
    EXPECT_EQ(r.decisions.segments[0].bits, 20);
    EXPECT_EQ(r.decisions.segments[1].mode, qe::kEci);
    EXPECT_EQ(r.decisions.segments[1].bits, 12);
    EXPECT_EQ(r.decisions.segments[2].mode, qe::kAlphanumeric);
    EXPECT_EQ(r.decisions.segments[2].bits, 4 + 9 + 28);  // five characters: two pairs and one single

    // A failure still tells what was settled.
    r = record(std::string(3000, 'a'), 0, 3);
    EXPECT_NE(r.result, 0);
    ASSERT_EQ(r.decisions.segments.size(), 1u);
    EXPECT_EQ(r.decisions.segments[0].data.size(), 3000u);
}

TEST(Explain, MicroRecordsItsFourScores) {
    Recorded r = record("12345", 0, 1, true);
    ASSERT_EQ(r.result, 0);
    EXPECT_TRUE(r.decisions.micro);
    EXPECT_EQ(r.decisions.version, 1);
    EXPECT_EQ(r.decisions.ecLevel, 0);  // M1 has error detection only
    EXPECT_EQ(r.decisions.maskCount, 4);
    EXPECT_EQ(r.decisions.capacityBits, 20);
    // The chosen mask has the highest score, the lower mask on ties.
    for (int m = 0; m < 4; ++m) {
        if (m < r.decisions.mask) {
            EXPECT_LT(r.decisions.scores[m], r.decisions.scores[r.decisions.mask]);
        } else if (m > r.decisions.mask) {
            EXPECT_LE(r.decisions.scores[m], r.decisions.scores[r.decisions.mask]);
        }
    }
    QRCODE_RESULT handle = MicroQRCodeEncode2("12345", 0, 1);
    EXPECT_EQ(r.symbol.toText(), ModuleMatrix::fromPattern(handle).toText());
    DestroyQRCodeEncodeResult(handle);
}

TEST(Explain, InterleavingOriginsInvertTheStream) {
    // 5-Q: two blocks of 15 and two of 16 data codewords, 18 error correction codewords each.
    const std::vector<qe::CodewordOrigin> origins = qe::interleavedOrigins(5, 2);
    ASSERT_EQ(origins.size(), 134u);
    const struct {
        std::size_t k;
        int block;
        int index;
    } rows[] = {
        {0, 0, 0},   {1, 1, 0},   {3, 3, 0},   {59, 3, 14},   // the columns every block has
        {60, 2, 15}, {61, 3, 15},                             // the last column, group 2 alone
        {62, 0, 15}, {63, 1, 15}, {64, 2, 16}, {133, 3, 33},  // error correction
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.k);
        EXPECT_EQ(origins[row.k].block, row.block);
        EXPECT_EQ(origins[row.k].index, row.index);
    }

    // For every version at one level, the origins put the stream's data codewords back in order.
    for (int version = 1; version <= 40; ++version) {
        SCOPED_TRACE(version);
        const int level = version % 4;
        const int dataCount = qe::QrTables::dataCodewords(version, level);
        std::vector<std::uint8_t> data(static_cast<std::size_t>(dataCount));
        for (int k = 0; k < dataCount; ++k)
            data[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(k * 7 + 3);
        qe::CodewordStream stream(version, level, data);
        std::vector<std::uint8_t> placed(static_cast<std::size_t>(qe::QrTables::totalCodewords(version)));
        stream.interleaved(placed.data());
        const qe::EccLayout layout = qe::QrTables::eccLayout(version, level);
        const std::vector<qe::CodewordOrigin> map = qe::interleavedOrigins(version, level);
        ASSERT_EQ(map.size(), placed.size());
        for (std::size_t k = 0; k < map.size(); ++k) {
            const int b = map[k].block;
            const int blockData =
                b < layout.group1Blocks ? layout.group1DataCodewords : layout.group2DataCodewords;
            if (map[k].index >= blockData) continue;
            const int offset = b < layout.group1Blocks
                                   ? b * layout.group1DataCodewords
                                   : layout.group1Blocks * layout.group1DataCodewords +
                                         (b - layout.group1Blocks) * layout.group2DataCodewords;
            ASSERT_EQ(placed[k], data[static_cast<std::size_t>(offset + map[k].index)]) << "codeword " << k;
        }
    }
    EXPECT_TRUE(qe::interleavedOrigins(41, 0).empty());
}

TEST(Explain, CorrectableCodewordsKeepTheMisdecodeProtection) {
    const struct {
        int version;
        int level;
        int expected;
    } rows[] = {
        {1, 0, 2},  {1, 1, 4},   {1, 2, 6}, {1, 3, 8},  // 7, 10, 13, 17 codewords; 1-L keeps 3, 1-M 2
        {2, 0, 4},  {2, 1, 8},                          // 10 and 16; 2-L keeps 2
        {3, 0, 7},  {3, 1, 13},                         // 15 and 26; 3-L keeps 1
        {5, 3, 11}, {40, 0, 15},                        // 22 and 30 a block
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.version) + "-" + "LMQH"[row.level]);
        const qe::EccLayout layout = qe::QrTables::eccLayout(row.version, row.level);
        EXPECT_EQ(qe::correctableCodewords(row.version, row.level, layout.eccPerBlock), row.expected);
    }
}

// A dark square overlay of side modules, as overlay text.
std::string squareOverlay(int side) {
    std::string text = "~50[" + std::to_string(side) + "," + std::to_string(side) + ",";
    const int bytesPerRow = (side + 7) / 8;
    for (int r = 0; r < side; ++r) {
        for (int b = 0; b < bytesPerRow; ++b) {
            const int bits = std::min(8, side - 8 * b);
            const int value = (0xFF << (8 - bits)) & 0xFF;
            static const char kHex[] = "0123456789ABCDEF";
            text += kHex[value >> 4];
            text += kHex[value & 15];
        }
    }
    return text + "]";
}

TEST(Explain, OverlayVerdictAgreesWithReaders) {
    const std::string url = "https://example.com/a/long/path/for/an/overlay";
    const struct {
        const char* name;
        std::string data;
        int versionWord;
        int level;
        bool readable;
    } cases[] = {
        {"Swiss cross at L", "~50[:swiss7]" + url, 0, 0, true},
        {"Swiss cross at H", "~50[:swiss7]" + url, 0, 3, true},
        {"Swiss cross on version 20 at M", "~50[:swiss7]" + url, 20, 1, true},
        {"5 x 5 square at H", squareOverlay(5) + url, 0, 3, true},
        {"15 x 15 square at L", squareOverlay(15) + url, 0, 0, false},
        {"13 x 13 square on 5-L", squareOverlay(13) + "HELLO", 5, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recorded r = record(c.data, c.versionWord, c.level);
        ASSERT_EQ(r.result, 0);
        ASSERT_GT(r.decisions.overlayRows, 0);
        const qe::OverlayDamage damage = qe::overlayDamage(r.decisions, r.symbol.modules.data());
        EXPECT_EQ(damage.readable, c.readable);
        ASSERT_EQ(static_cast<int>(damage.blocks.size()),
                  qe::QrTables::eccLayout(r.decisions.version, c.level).group1Blocks +
                      qe::QrTables::eccLayout(r.decisions.version, c.level).group2Blocks);
        int changedBeyond = 0;  // blocks whose altered codewords exceed what they correct
        for (const qe::BlockDamage& block : damage.blocks) {
            EXPECT_LE(block.changed, block.covered);
            if (block.changed > block.correctable) ++changedBeyond;
        }
        const std::string payload = c.data.substr(c.data.find(']') + 1);
        const qrkit_test::Decoded zxing = qrkit_test::decodeWithZxing(r.symbol);
        if (c.readable) {
            EXPECT_GE(damage.margin, 0);
            EXPECT_EQ(qe::overlayVerdict(damage),
                      "readable with " + std::to_string(damage.margin) + " codewords of margin");
            EXPECT_TRUE(zxing.ok) << zxing.message;
            EXPECT_EQ(zxing.bytes, payload);
            const qrkit_test::Decoded zbar = qrkit_test::decodeWithZbar(r.symbol);
            EXPECT_EQ(zbar.bytes, payload) << zbar.message;
        } else {
            EXPECT_EQ(qe::overlayVerdict(damage), "not reliably readable: raise the level or the version");
            EXPECT_LT(damage.margin, 0);
            // Where the overlay altered more than a block corrects, no reader gets the data back.
            if (changedBeyond > 0) {
                EXPECT_NE(zxing.bytes, payload);
            }
        }
    }
}

TEST(Explain, BytesAReaderReturns) {
    const struct {
        const char* name;
        const char* data;
        bool micro;
        std::string expected;
    } rows[] = {
        {"plain", "HELLO 123", false, "HELLO 123"},
        {"escapes give their bytes", "A~MB~d066~~", false, "A\rBB~"},
        {"structured append header and designator give none", "~2[1][2,7]~7000026abc", false, "abc"},
        {"Kanji as Shift JIS", "~4[~d147~d095]", false, "\x93\x5F"},
        {"FNC1 first: percent is the separator", "~110ABC%21X%%Y", false,
         "10ABC\x1D"
         "21X%Y"},
        {"FNC1 second, two digits", "~3[7]ABC", false, "07ABC"},
        {"FNC1 second, a letter", "~3[165]abc", false, "Aabc"},
        {"overlay gives nothing", "AB~50[:swiss7]CD", false, "ABCD"},
        {"Micro: the QR blocks are plain data", "~2[1][2]", true, "~2[1][2]"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string bytes;
        ASSERT_TRUE(qe::expectedReaderBytes(row.data, row.micro, &bytes));
        EXPECT_EQ(bytes, row.expected);
    }
    std::string bytes;
    EXPECT_FALSE(qe::expectedReaderBytes("~2[0][3]X", false, &bytes));
}

}  // namespace

namespace {

// The tool prints the numbers the encoder recorded.
TEST(ExplainTool, PrintsTheEncodersNumbers) {
    const std::string data = "~50[:swiss7]https://example.com/a/long/path";
    Recorded r = record(data, 0, 0);
    ASSERT_EQ(r.result, 0);
    const tooltest::ToolRun run = tooltest::runTool("explain -e --level L '" + data + "'");
    ASSERT_EQ(run.status, 0) << run.out;
    const std::vector<std::string> lines = tooltest::lines(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "Symbol: QR Code " + std::to_string(r.decisions.version) + "-L, " +
                            std::to_string(r.decisions.width) + " x " + std::to_string(r.decisions.width) +
                            " modules");
    const std::string chosen = "  mask " + std::to_string(r.decisions.mask);
    int masksListed = 0;
    for (const std::string& line : lines) {
        if (line.rfind("  mask ", 0) != 0) continue;
        ++masksListed;
        const int mask = line[7] - '0';
        EXPECT_EQ(std::stoi(line.substr(8)), r.decisions.scores[mask]) << line;
        EXPECT_EQ(line.find("chosen") != std::string::npos, mask == r.decisions.mask) << line;
    }
    EXPECT_EQ(masksListed, 8);
    const qe::OverlayDamage damage = qe::overlayDamage(r.decisions, r.symbol.modules.data());
    EXPECT_EQ(lines.back(), "Verdict: " + qe::overlayVerdict(damage));
    EXPECT_NE(run.out.find("Capacity: " + std::to_string(r.decisions.segmentBits) + " of " +
                           std::to_string(r.decisions.capacityBits) + " data bits used"),
              std::string::npos);

    const struct {
        const char* name;
        std::string arguments;
        int status;
        const char* text;
    } cases[] = {
        {"Micro QR Code", "explain --micro 12345", 0, "Masks (evaluation score, the highest wins):"},
        {"HIBC is formatted first", "explain --hibc a1b2", 0, "HIBC data: +A1B2M"},
        {"segments by mode", "explain -e '~2[1][3,45]~7000026Gr~4[~d147~d095]'", 0,
         "symbol 1 of 3, parity 45"},
        {"a failure prints the library's message", "explain --strict --min-version 1 " + std::string(40, 'a'),
         1, "Input is too long"},
        {"no data", "explain", 2, "no data"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const tooltest::ToolRun other = tooltest::runTool(c.arguments);
        EXPECT_EQ(other.status, c.status);
        EXPECT_NE(other.out.find(c.text), std::string::npos) << other.out;
    }
}

}  // namespace
