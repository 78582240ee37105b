// The recorded answers that stand in for a reader the 32-bit build cannot link: a record line gives back
// every field of the answer, and a matrix or picture that differs in one module or pixel has another key,
// so a replayed decode passes only for a symbol equal byte for byte to one the 64-bit run decoded.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "imaging_test_support.h"
#include "support/decode.h"
#include "support/decode_record.h"

namespace {

using qrkit_test::Decoded;
using qrkit_test::GreyImage;
using qrkit_test::ModuleMatrix;
namespace detail = qrkit_test::detail;

TEST(DecodeRecord, LinesKeepEveryFieldOfTheAnswer) {
    Decoded full;
    full.ok = true;
    full.bytes = std::string("A\0 \xFF\n,", 6);  // a zero byte, a space, a high byte, a line feed
    full.microQr = true;
    full.ecLevel = 2;
    full.sequenceIndex = 1;
    full.sequenceSize = 3;
    full.sequenceId = "17";
    full.symbology = "]Q5";
    full.hasEci = true;
    full.fnc1 = 2;
    Decoded failed;
    failed.message = "zxing-cpp: no symbol found";

    const ModuleMatrix matrix = ModuleMatrix::fromText({"101", "010", "111"});
    for (const Decoded& answer : {full, failed}) {
        SCOPED_TRACE(answer.ok ? "a full answer" : "a failed decode");
        const std::string key = detail::matrixKey("zxing-cpp", matrix);
        std::string readKey;
        Decoded read;
        ASSERT_TRUE(detail::parseRecordLine(detail::recordLine(key, answer), &readKey, &read));
        EXPECT_EQ(readKey, key);
        EXPECT_EQ(read.ok, answer.ok);
        EXPECT_EQ(read.bytes, answer.bytes);
        EXPECT_EQ(read.microQr, answer.microQr);
        EXPECT_EQ(read.ecLevel, answer.ecLevel);
        EXPECT_EQ(read.sequenceIndex, answer.sequenceIndex);
        EXPECT_EQ(read.sequenceSize, answer.sequenceSize);
        EXPECT_EQ(read.sequenceId, answer.sequenceId);
        EXPECT_EQ(read.symbology, answer.symbology);
        EXPECT_EQ(read.hasEci, answer.hasEci);
        EXPECT_EQ(read.fnc1, answer.fnc1);
        EXPECT_EQ(read.message, answer.message);
    }
    std::string key;
    Decoded answer;
    EXPECT_FALSE(detail::parseRecordLine("zbar m3x3 ab 1 0", &key, &answer)) << "a line cut short";
    EXPECT_FALSE(detail::parseRecordLine("zbar m3x3 ab 1 0 -1 -1 -1 0 0 4g - - -", &key, &answer))
        << "a byte field that is not hexadecimal";
}

TEST(DecodeRecord, KeysDifferForEveryModuleAndPixel) {
    // Rows of the expected keys worked by hand: four modules a hexadecimal digit, the first the top bit.
    struct Row {
        const char* name;
        std::vector<std::string> rows;
        const char* key;
    };
    const Row table[] = {
        {"3 x 3, nine modules in three digits", {"101", "010", "111"}, "zbar m3x3 ab8"},
        {"the same with the last module light", {"101", "010", "110"}, "zbar m3x3 ab0"},
        {"2 x 2 all dark", {"11", "11"}, "zbar m2x2 f"},
        {"4 x 1 against 2 x 2: the size is part of the key", {"1111"}, "zbar m1x4 f"},
    };
    for (const Row& row : table)
        EXPECT_EQ(detail::matrixKey("zbar", ModuleMatrix::fromText(row.rows)), row.key) << row.name;

    GreyImage picture{2, 1, {0x00, 0xFF}};
    EXPECT_EQ(detail::pictureKey("zxing-cpp", picture), "zxing-cpp p2x1 00ff");
    picture.pixels[1] = 0xFE;
    EXPECT_EQ(detail::pictureKey("zxing-cpp", picture), "zxing-cpp p2x1 00fe");
}

TEST(DecodeRecord, AFolderOfRecordsAnswersOnlyWhatItHolds) {
    const std::string folder = qrkit_test::tempPath("decode-records");
    std::filesystem::remove_all(folder);
    ASSERT_TRUE(std::filesystem::create_directories(folder));

    detail::RecordedDecodes empty;
    std::string problem;
    EXPECT_FALSE(empty.load(folder, &problem));
    EXPECT_NE(problem.find("no recorded decodes"), std::string::npos) << problem;

    const ModuleMatrix matrix = ModuleMatrix::fromText({"10", "01"});
    Decoded answer;
    answer.ok = true;
    answer.bytes = "HI";
    {
        std::ofstream out(folder + "/decodes-1.txt");
        out << detail::recordLine(detail::matrixKey("zxing-cpp", matrix), answer) << "\n"
            << "a line that is no record\n";
    }
    detail::RecordedDecodes records;
    ASSERT_TRUE(records.load(folder, &problem)) << problem;
    EXPECT_EQ(records.size(), 1u);
    Decoded found;
    ASSERT_TRUE(records.find(detail::matrixKey("zxing-cpp", matrix), &found));
    EXPECT_EQ(found.bytes, "HI");
    EXPECT_FALSE(records.find(detail::matrixKey("zbar", matrix), &found)) << "another reader";
    EXPECT_FALSE(records.find(detail::matrixKey("zxing-cpp", ModuleMatrix::fromText({"10", "00"})), &found))
        << "one module changed";

    std::filesystem::remove_all(folder);
}

}  // namespace
