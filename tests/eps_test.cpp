#include "imaging/eps.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "imaging/geometry.h"
#include "imaging_test_support.h"

namespace {

using kelvane2::imaging::PaintStatus;
using kelvane2::imaging::paintVector;
using kelvane2::imaging::VectorPaintOptions;
using kelvane2::imaging::writeEps;
using qrkit_test::TextPattern;

std::string epsOf(kelvane2::I2DBitPattern* pattern, std::int32_t size, std::int32_t resolution,
                  std::uint32_t fore = 0x000000, std::uint32_t back = 0xFFFFFF) {
    std::ostringstream out;
    VectorPaintOptions options{size, size, resolution, fore, back};
    EXPECT_EQ(paintVector(options, pattern, kelvane2::imaging::kFormatEps, out), PaintStatus::kOk);
    return out.str();
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The page header and background of a 21 x 21 symbol of 0.25 mm modules, black on white.
const char* const kHeader21 =
    "%!PS-Adobe-3.0 EPSF-3.0\n"
    "%%Creator: Vostrel-kelvane\n"
    "%%Pages: 0\n"
    "%%BoundingBox: 0 0 15 15\n"
    "%%EndComments\n"
    "0.02835 0.02835 scale\n"
    "newpath\n"
    "1.00 1.00 1.00 setrgbcolor\n"
    "0 0 moveto\n"
    "525.00 0 rlineto\n"
    "0 525.00 rlineto\n"
    "-525.00 0 rlineto\n"
    "0 -525.00 rlineto\n"
    "fill\n"
    "0.00 0.00 0.00 setrgbcolor\n";

TEST(EpsWriter, SmallSymbolMatchesGoldenText) {
    TextPattern pattern({"#.#..", ".#..#", "...#.", "##..#"});
    std::string eps = epsOf(pattern.get(), 25, 300);
    EXPECT_EQ(eps, qrkit_test::readFile(qrkit_test::goldenPath("small.eps")));
    EXPECT_EQ(eps.find('\r'), std::string::npos);
}

TEST(EpsWriter, WholePages) {
    TextPattern example(21, 21);
    example.set(0, 1, true);
    TextPattern empty(21, 21);
    struct Row {
        const char* name;
        std::string eps;
        std::string expected;
    };
    const Row rows[] = {
        {"one module in row 0, column 1", epsOf(example.get(), 25, 300),
         std::string(kHeader21) +
             "25.00 525.00 moveto\n25.00 0 rlineto\n0 -25.00 rlineto\n-25.00 0 rlineto\n0 25.00 rlineto\n"
             "fill\n\nshowpage\n"},
        {"no dark modules", epsOf(empty.get(), 25, 300), std::string(kHeader21) + "\nshowpage\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.eps, row.expected);
    }
}

TEST(EpsWriter, PageDetails) {
    TextPattern small({"#.#..", ".#..#", "...#.", "##..#"});
    TextPattern example(21, 21);
    example.set(0, 1, true);
    struct Row {
        const char* name;
        std::string eps;
        const char* contains;
    };
    const Row rows[] = {
        {"fore 0x0000ff", epsOf(example.get(), 25, 300, 0x0000FF), "\n0.00 0.00 1.00 setrgbcolor\n25.00"},
        {"back grey 128", epsOf(example.get(), 25, 300, 0, 0x808080),
         "newpath\n0.50 0.50 0.50 setrgbcolor\n"},
        {"254 prints as 0.99", epsOf(example.get(), 25, 300, 0xFE0000), "0.99 0.00 0.00 setrgbcolor\n25.00"},
        {"row 2, column 3 starts at (M - 2) x h", epsOf(small.get(), 25, 300),
         "75.00 50.00 moveto\n25.00 0 rlineto\n"},
        {"25 at 96 dpi: 26 per module, box of 546 hundredths", epsOf(example.get(), 25, 96),
         "%%BoundingBox: 0 0 16 16\n"},
        {"100 at 72 dpi: 105 per module", epsOf(example.get(), 100, 72), "105.00 2205.00 moveto\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_NE(row.eps.find(row.contains), std::string::npos) << row.eps;
        EXPECT_EQ(count(row.eps, "setrgbcolor"), 2u);
    }
}

TEST(EpsWriter, FailingStreamIsReported) {
    TextPattern pattern(21, 21);
    qrkit_test::fillPseudoRandom(pattern, 3);
    for (std::uint64_t limit : {0, 20, 400, 5000}) {
        SCOPED_TRACE(limit);
        qrkit_test::CountingBuf buf(limit);
        std::ostream out(&buf);
        EXPECT_EQ(writeEps(pattern.get(), out, 25.0f, 25.0f, 0, 0xFFFFFF, "c"), PaintStatus::kWriteFailed);
    }
}

// Renders the page with ghostscript and samples every module's centre.
TEST(EpsWriter, RendersModulesWithGhostscript) {
    if (!qrkit_test::toolAvailable("gs")) GTEST_SKIP() << "gs (ghostscript) is missing";
    TextPattern pattern(17, 21);
    qrkit_test::fillPseudoRandom(pattern, 5);
    // Colours whose components are multiples of 64, exact after the division by 256.
    const std::uint32_t fore = 0x004080, back = 0xC0C0C0;
    // 1 mm modules (100 at 254 dpi), rendered at 254 dpi: 10 pixels per module.
    std::string epsPath = qrkit_test::tempPath("render.eps"),
                pngPath = qrkit_test::tempPath("render_eps.png");
    qrkit_test::writeFile(epsPath, epsOf(pattern.get(), 100, 254, fore, back));
    ASSERT_TRUE(qrkit_test::run(
        "gs -q -dSAFER -dBATCH -dNOPAUSE -dEPSCrop -sDEVICE=png16m -r254 -sOutputFile=" + pngPath + " " +
        epsPath));
    qrkit_test::Picture picture;
    ASSERT_TRUE(qrkit_test::decodePng(qrkit_test::readFile(pngPath), picture));
    std::remove(epsPath.c_str());
    std::remove(pngPath.c_str());
    // The bounding box is rounded up to whole points, so the page may be a little larger.
    ASSERT_GE(picture.width, 210);
    ASSERT_GE(picture.height, 170);
    const int top = picture.height - 170;  // the page grows upward from its bottom-left corner
    for (int i = 0; i < pattern.rows(); ++i) {
        for (int j = 0; j < pattern.columns(); ++j) {
            // A component c / 256 comes out of the renderer as c or c - 1.
            ASSERT_TRUE(qrkit_test::closeColours(picture.at(j * 10 + 5, top + i * 10 + 5),
                                                 pattern.dark(i, j) ? fore : back, 2))
                << "row " << i << " column " << j;
        }
    }
}

}  // namespace
