// Micro QR Code: bit streams, codewords, masks and finished symbols against worked examples and
// reference symbols made by segno.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "encoder/encode_micro.h"
#include "encoder/frames.h"
#include "encoder/micro_codeword_stream.h"
#include "encoder/micro_input.h"
#include "encoder/micro_masking.h"
#include "encoder/qrresult.h"
#include "encoder/result_codes.h"
#include "encoder/tables.h"

namespace kelvane2::qrencode {
namespace {

std::vector<std::uint8_t> bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

struct MicroStream {
    int version = 0;
    int level = 0;
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> ecc;
    bool ok = false;
};

MicroStream streamFor(const std::string& text, int version, int level) {
    MQRInput input(version, level);
    MicroStream out;
    if (input.parse(reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<int>(text.size())) != 0) {
        return out;
    }
    BitString bits;
    if (!input.dataBitString(bits)) return out;
    MicroCodewordStream stream(input.version, input.ecLevel, bits);
    out.ok = stream.ok();
    out.version = input.version;
    out.level = input.ecLevel;
    out.data.assign(stream.data(), stream.data() + stream.dataLength());
    out.ecc.assign(stream.ecc(), stream.ecc() + stream.eccLength());
    return out;
}

struct StreamCase {
    const char* name;
    const char* text;
    int requestedVersion;
    int requestedLevel;
    int version;
    int level;
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> ecc;  // empty: not checked
};

TEST(MicroStream, WorkedExamples) {
    const StreamCase cases[] = {
        // 12345 fills M1 exactly; the last codeword holds 1101 in its low nibble, and the error
        // correction is computed with that nibble in the high half.
        {"M1 12345", "12345", 0, 0, 1, 0, {0xA3, 0xDA, 0x0D}, {0x6E, 0xC7}},
        {"12345 requested as M2", "12345", 2, 0, 2, 0, {0x28, 0xF6, 0xB4, 0x00, 0xEC}, {}},
        {"six digits need M2", "123456", 0, 0, 2, 0, {}, {}},
        {"ABC needs M2 (M1 has no alphanumeric)", "ABC", 0, 0, 2, 0, {}, {}},
        {"abc needs M3 (byte)", "abc", 0, 0, 3, 0, {}, {}},
        {"level H lowered to M1's only level", "1", 0, 3, 1, 0, {}, {}},
        {"level H lowered to M in M2", "ABC", 0, 3, 2, 1, {}, {}},
        {"level H lowered to M in M3", "abc", 0, 3, 3, 1, {}, {}},
        {"level H lowered to Q in M4", "abcdef", 4, 3, 4, 2, {}, {}},
        {"requested M3 never gives a smaller version", "1", 3, 0, 3, 0, {}, {}},
        {"empty input gives M1", "", 0, 0, 1, 0, {}, {}},
        {"35 digits fit M4-L", "12345678901234567890123456789012345", 0, 0, 4, 0, {}, {}},
        {"~1 is plain data in Micro QR Code", "~1", 0, 0, 3, 0, {}, {}},
    };
    for (const StreamCase& c : cases) {
        SCOPED_TRACE(c.name);
        MicroStream s = streamFor(c.text, c.requestedVersion, c.requestedLevel);
        ASSERT_TRUE(s.ok);
        EXPECT_EQ(s.version, c.version);
        EXPECT_EQ(s.level, c.level);
        EXPECT_EQ(static_cast<int>(s.data.size()), MicroTables::dataCodewords(s.version, s.level));
        EXPECT_EQ(static_cast<int>(s.ecc.size()), MicroTables::eccCodewords(s.version, s.level));
        if (!c.data.empty()) {
            EXPECT_EQ(s.data, c.data);
        }
        if (!c.ecc.empty()) {
            EXPECT_EQ(s.ecc, c.ecc);
        }
    }
}

TEST(MicroStream, DataThatFitsNoMicroVersion) {
    const struct {
        const char* name;
        const char* text;
    } cases[] = {
        {"36 digits exceed M4-L", "123456789012345678901234567890123456"},
        {"an ECI designator", "~7000026abc"},
        {"a bare ~9 indicator", "~9"},
        {"16 bytes exceed M4-L", "abcdefghijklmnop"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(streamFor(c.text, 0, 0).ok);
    }
}

TEST(MicroStream, SegmentHeadersAndTail) {
    MQRInput input(0, 0);
    ASSERT_EQ(input.parse(bytes("123456").data(), 6), 0);
    BitString bits;
    ASSERT_TRUE(input.dataBitString(bits));
    // M2: indicator 0, count 0110, 123 456, then 5 terminator bits, 2 to the byte boundary, one pad.
    EXPECT_EQ(bits.text(),
              "0"
              "0110"
              "0001111011"
              "0111001000"
              "0000000"
              "11101100");
}

TEST(MicroMask, ScoresOfTheM2Example) {
    // M2-L with the data codewords 40 18 AC C3 00 and the error correction 86 0D 22 AE 30.
    const std::uint8_t data[] = {0x40, 0x18, 0xAC, 0xC3, 0x00};
    const std::uint8_t ecc[] = {0x86, 0x0D, 0x22, 0xAE, 0x30};
    std::unique_ptr<std::uint8_t[]> frame(newMicroBaseFrame(2));
    int count = 0;
    const std::uint32_t* order = microPlacementOrder(2, &count);
    ASSERT_EQ(count, 80);
    placeMicroCodewords(frame.get(), order, data, 5, ecc, 5, 0);
    int chosen = -1;
    int scores[4] = {};
    std::unique_ptr<std::uint8_t[]> matrix(chooseMicroMask(2, frame.get(), 0, &chosen, scores));
    EXPECT_EQ(scores[0], 89);
    EXPECT_EQ(scores[1], 153);
    EXPECT_EQ(scores[2], 153);
    EXPECT_EQ(scores[3], 85);
    EXPECT_EQ(chosen, 1);  // over the equal-scoring mask 2
    std::unique_ptr<std::uint8_t[]> expected(applyMicroMask(2, frame.get(), 1, 0));
    EXPECT_EQ(0, std::memcmp(matrix.get(), expected.get(), 13 * 13));
}

TEST(MicroMask, ScoreRule) {
    const struct {
        const char* name;
        int bottom;
        int right;
        int score;
    } cases[] = {
        {"bottom 5, right 3", 5, 3, 53}, {"bottom 4, right 4", 4, 4, 68}, {"bottom 2, right 9", 2, 9, 41}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int w = 11;
        std::vector<std::uint8_t> m(w * w, 0);
        for (int k = 0; k < c.bottom; ++k)
            m[(w - 1) * w + k] = 1;
        for (int k = 0; k < c.right; ++k)
            m[k * w + (w - 1)] = 1;
        EXPECT_EQ(microScore(w, m.data()), c.score);
    }
}

TEST(MicroMask, FormatInformationOfM1Mask0) {
    std::vector<std::uint8_t> m(11 * 11, 0);
    writeMicroFormatInfo(1, 11, m.data(), 0, 0);      // 0x4445
    const int column8[8] = {1, 0, 1, 0, 0, 0, 1, 0};  // rows 1 to 8
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(m[(k + 1) * 11 + 8], 0x84 | column8[k]) << "row " << k + 1;
    const int row8[7] = {0, 0, 1, 0, 0, 0, 1};  // columns 7 down to 1
    for (int k = 0; k < 7; ++k)
        EXPECT_EQ(m[8 * 11 + 7 - k], 0x84 | row8[k]) << "column " << 7 - k;
}

TEST(MicroPlacement, FinalNibbleOfM1TakesFourModules) {
    const std::uint8_t data[] = {0xA3, 0xDA, 0x0D};
    const std::uint8_t ecc[] = {0x6E, 0xC7};
    std::unique_ptr<std::uint8_t[]> frame(newMicroBaseFrame(1));
    int count = 0;
    const std::uint32_t* order = microPlacementOrder(1, &count);
    ASSERT_EQ(count, 36);
    placeMicroCodewords(frame.get(), order, data, 3, ecc, 2, 4);
    // The final data codeword gives the modules 1101 in placement order, right after the first 16.
    const int expected[4] = {0x03, 0x03, 0x02, 0x03};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(frame[order[16 + k]], expected[k]) << k;
    for (int k = 0; k < count; ++k)
        EXPECT_NE(frame[order[k]] & kModuleData, 0) << "free module " << k;
}

// --- Finished symbols against segno -------------------------------------------------------------------

std::string runCommand(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    pclose(pipe);
    return out;
}

std::string symbolRows(IQrcodeResult* handle) {
    I2DBitPattern* pattern = nullptr;
    handle->QueryInterface(IID_I2DBitPattern, reinterpret_cast<void**>(&pattern));
    std::string rows;
    for (int r = 0; r < pattern->getRows(); ++r) {
        for (int c = 0; c < pattern->getColumns(); ++c)
            rows += pattern->getModule(r, c) ? '1' : '0';
        rows += '\n';
    }
    pattern->Release();
    return rows;
}

struct ReferenceCase {
    int version;
    int level;
    const char* mode;
    int length;
};

std::string contentOf(const char* mode, int length) {
    static const std::string digits = "3141592653589793238462643383279502884197";
    static const std::string letters = "QRKIT MICRO $%*+-./:ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    static const std::string lower = "micro qr symbols";
    const std::string& source = mode[0] == 'n' ? digits : mode[0] == 'a' ? letters : lower;
    return source.substr(0, static_cast<std::size_t>(length));
}

TEST(MicroSymbol, EqualsReferenceSymbolsForEveryVersionLevelAndMask) {
    // Inputs that fill their symbol (no pad codewords) or, in M2 and M4, whose terminator does not end on
    // a byte boundary: the reference pads those like the standard.
    const ReferenceCase cases[] = {
        {1, 0, "numeric", 5},       {1, 0, "numeric", 4},       {2, 0, "numeric", 10},
        {2, 0, "numeric", 7},       {2, 0, "alphanumeric", 6},  {2, 0, "alphanumeric", 4},
        {2, 1, "numeric", 8},       {2, 1, "numeric", 5},       {2, 1, "alphanumeric", 5},
        {3, 0, "numeric", 23},      {3, 0, "alphanumeric", 14}, {3, 0, "byte", 9},
        {3, 1, "numeric", 18},      {3, 1, "alphanumeric", 11}, {3, 1, "byte", 7},
        {4, 0, "numeric", 35},      {4, 0, "numeric", 31},      {4, 0, "alphanumeric", 21},
        {4, 0, "byte", 15},         {4, 0, "byte", 12},         {4, 1, "numeric", 30},
        {4, 1, "alphanumeric", 18}, {4, 1, "byte", 13},         {4, 1, "byte", 10},
        {4, 2, "numeric", 21},      {4, 2, "alphanumeric", 13}, {4, 2, "byte", 9},
        {4, 2, "byte", 6},
    };
    const std::string script = std::string(QRKIT_SOURCE_DIR) + "/tests/tools/segno_matrix.py";
    for (const ReferenceCase& c : cases) {
        const std::string content = contentOf(c.mode, c.length);
        for (int mask = 0; mask < 4; ++mask) {
            SCOPED_TRACE("M" + std::to_string(c.version) + "-" + "LMQ"[c.level] + " " + c.mode + " '" +
                         content + "' mask " + std::to_string(mask));
            std::string command = "/usr/bin/python3 " + script + " micro '" + content + "' M" +
                                  std::to_string(c.version) + " " + "LMQ"[c.level] + " " + c.mode + " " +
                                  std::to_string(mask);
            std::string expected = runCommand(command);
            ASSERT_FALSE(expected.empty()) << command;
            IQrcodeResult* handle = nullptr;
            EncodeOptions options{c.version, c.level, mask};
            ASSERT_EQ(encodeMicroQr(reinterpret_cast<const std::uint8_t*>(content.data()),
                                    static_cast<int>(content.size()), options, &handle),
                      0);
            EXPECT_EQ(handle->getVersion(), c.version);
            EXPECT_EQ(handle->getEcLevel(), c.level);
            EXPECT_EQ(symbolRows(handle), expected);
            handle->Release();
        }
    }
}

TEST(MicroSymbol, DriverOptions) {
    const struct {
        const char* name;
        const char* text;
        int versionWord;
        int level;
        std::int32_t result;
        int version;
    } cases[] = {
        {"12345 automatic gives M1", "12345", 0, 0, 0, 1},
        {"0x8002 is above 4: M4", "1", 0x8002, 0, 0, 4},
        {"negative version is automatic", "1", -1, 0, 0, 1},
        {"36 digits are too long", "123456789012345678901234567890123456", 0, 0,
         failureCode(kErrInputTooLong), 0},
        {"a designator never fits", "~7000026", 4, 0, failureCode(kErrInputTooLong), 0},
        {"an invalid Kanji block", "~4[AB]", 0, 0, failureCode(kErrKanjiBlock), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IQrcodeResult* handle = nullptr;
        std::string text = c.text;
        std::int32_t result =
            encodeMicroQr(reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<int>(text.size()),
                          EncodeOptions{c.versionWord, c.level, -1}, &handle);
        EXPECT_EQ(result, c.result);
        if (result == 0) {
            ASSERT_NE(handle, nullptr);
            EXPECT_EQ(handle->getVersion(), c.version);
            I2DBitPattern* pattern = nullptr;
            handle->QueryInterface(IID_I2DBitPattern, reinterpret_cast<void**>(&pattern));
            EXPECT_EQ(pattern->getRows(), MicroTables::microSymbolWidth(c.version));
            pattern->Release();
            handle->Release();
        } else {
            EXPECT_EQ(handle, nullptr);
        }
    }
}

TEST(MicroSymbol, MaskAboveThreeChoosesAutomatically) {
    std::string text = "12345";
    IQrcodeResult* automatic = nullptr;
    IQrcodeResult* five = nullptr;
    const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
    ASSERT_EQ(encodeMicroQr(data, 5, EncodeOptions{0, 0, -1}, &automatic), 0);
    ASSERT_EQ(encodeMicroQr(data, 5, EncodeOptions{0, 0, 5}, &five), 0);
    EXPECT_EQ(symbolRows(automatic), symbolRows(five));
    automatic->Release();
    five->Release();
}

}  // namespace
}  // namespace kelvane2::qrencode
