#include "imaging/svg.h"

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
using kelvane2::imaging::writeSvg;
using qrkit_test::TextPattern;

const std::vector<std::string> kSmall = {
    "#.#..",
    ".#..#",
    "...#.",
    "##..#",
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

std::string svgOf(kelvane2::I2DBitPattern* pattern, std::int32_t size, std::int32_t resolution,
                  std::uint32_t fore = 0x000000, std::uint32_t back = 0xFFFFFF) {
    std::ostringstream out;
    VectorPaintOptions options{size, size, resolution, fore, back};
    EXPECT_EQ(paintVector(options, pattern, kelvane2::imaging::kFormatSvg, out), PaintStatus::kOk);
    return out.str();
}

// A 21 x 21 matrix with the module in row 0 and column 1 dark.
TextPattern& example21() {
    static TextPattern pattern(21, 21);
    pattern.set(0, 1, true);
    return pattern;
}

TEST(SvgWriter, SmallSymbolMatchesGoldenText) {
    TextPattern pattern(kSmall);
    std::string svg = svgOf(pattern.get(), 25, 300);
    EXPECT_EQ(svg, qrkit_test::readFile(qrkit_test::goldenPath("small.svg")));
    EXPECT_EQ(svg.find('\r'), std::string::npos);
}

TEST(SvgWriter, LinesOfTheDocument) {
    struct Row {
        const char* name;
        std::string svg;
        std::size_t line;  // 1-based
        const char* text;
    };
    TextPattern empty(21, 21);
    TextPattern small(kSmall);
    TextPattern wide(1, 177);
    std::ostringstream wideOut;
    ASSERT_EQ(writeSvg(wide.get(), wideOut, "mm", 123.45f, 123.45f, 0, 0xFFFFFF), PaintStatus::kOk);
    const Row rows[] = {
        {"example: extents of 21 modules of 0.25 mm", svgOf(example21().get(), 25, 300), 4,
         "<svg width=\"5.25mm\" height=\"5.25mm\" version=\"1.1\" "},
        {"example: background", svgOf(example21().get(), 25, 300), 6,
         "<rect x=\"0mm\" y=\"0mm\" width=\"5.25mm\" height=\"5.25mm\" style=\"fill:#ffffff;\" />"},
        {"example: module in row 0, column 1", svgOf(example21().get(), 25, 300), 7,
         "<rect x=\"0.25mm\" y=\"0mm\" width=\"0.25mm\" height=\"0.25mm\" style=\"fill:#000000;\" />"},
        {"25 at 96 dpi snaps to one dot, 0.26 mm", svgOf(example21().get(), 25, 96), 4,
         "<svg width=\"5.46mm\" height=\"5.46mm\" version=\"1.1\" "},
        {"module in row 2, column 3", svgOf(small.get(), 25, 300), 11,
         "<rect x=\"0.75mm\" y=\"0.5mm\" width=\"0.25mm\" height=\"0.25mm\" style=\"fill:#000000;\" />"},
        {"fore colour 0x0000ff", svgOf(example21().get(), 25, 300, 0x0000FF), 7,
         "<rect x=\"0.25mm\" y=\"0mm\" width=\"0.25mm\" height=\"0.25mm\" style=\"fill:#0000ff;\" />"},
        {"colour digits padded with zeros", svgOf(example21().get(), 25, 300, 0x00000A), 7,
         "<rect x=\"0.25mm\" y=\"0mm\" width=\"0.25mm\" height=\"0.25mm\" style=\"fill:#00000a;\" />"},
        {"header extents in single precision", wideOut.str(), 4,
         "<svg width=\"21850.7mm\" height=\"123.45mm\" version=\"1.1\" "},
        {"background extents in double precision", wideOut.str(), 6,
         "<rect x=\"0mm\" y=\"0mm\" width=\"21850.6mm\" height=\"123.45mm\" style=\"fill:#ffffff;\" />"},
        {"no dark modules: seven lines", svgOf(empty.get(), 25, 300), 7, "</svg>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> text = lines(row.svg);
        ASSERT_GE(text.size(), row.line);
        EXPECT_EQ(text[row.line - 1], row.text);
    }
    EXPECT_EQ(lines(svgOf(empty.get(), 25, 300)).size(), 7u);
}

TEST(SvgWriter, FlushesAfterEveryLine) {
    TextPattern pattern(kSmall);
    qrkit_test::CountingBuf buf;
    std::ostream out(&buf);
    ASSERT_EQ(writeSvg(pattern.get(), out, "mm", 0.25f, 0.25f, 0, 0xFFFFFF), PaintStatus::kOk);
    const std::uint64_t darkModules = 8;
    EXPECT_EQ(buf.flushes, 7 + darkModules);
}

TEST(SvgWriter, FailingStreamIsReported) {
    TextPattern pattern(21, 21);
    qrkit_test::fillPseudoRandom(pattern, 7);
    for (std::uint64_t limit : {0, 10, 300, 2000}) {
        SCOPED_TRACE(limit);
        qrkit_test::CountingBuf buf(limit);
        std::ostream out(&buf);
        EXPECT_EQ(writeSvg(pattern.get(), out, "mm", 0.25f, 0.25f, 0, 0xFFFFFF), PaintStatus::kWriteFailed);
    }
    qrkit_test::CountingBuf buf(100);
    std::ostream out(&buf);
    out.exceptions(std::ios::badbit);
    EXPECT_EQ(writeSvg(pattern.get(), out, "mm", 0.25f, 0.25f, 0, 0xFFFFFF), PaintStatus::kWriteFailed);
}

// Renders the document and samples every module's centre.
TEST(SvgWriter, RendersModulesWithRsvg) {
    if (!qrkit_test::toolAvailable("rsvg-convert")) GTEST_SKIP() << "rsvg-convert (librsvg2-bin) is missing";
    TextPattern pattern(23, 19);
    qrkit_test::fillPseudoRandom(pattern, 11);
    const std::uint32_t fore = 0x203040, back = 0xF0E0D0;
    // 1 mm modules (100 at 254 dpi), rendered at 254 dpi: 10 pixels per module.
    std::string svgPath = qrkit_test::tempPath("render.svg"),
                pngPath = qrkit_test::tempPath("render_svg.png");
    qrkit_test::writeFile(svgPath, svgOf(pattern.get(), 100, 254, fore, back));
    ASSERT_TRUE(qrkit_test::run("rsvg-convert --dpi-x 254 --dpi-y 254 -f png -o " + pngPath + " " + svgPath));
    qrkit_test::Picture picture;
    ASSERT_TRUE(qrkit_test::decodePng(qrkit_test::readFile(pngPath), picture));
    std::remove(svgPath.c_str());
    std::remove(pngPath.c_str());
    ASSERT_EQ(picture.width, 190);
    ASSERT_EQ(picture.height, 230);
    for (int i = 0; i < pattern.rows(); ++i) {
        for (int j = 0; j < pattern.columns(); ++j) {
            ASSERT_EQ(picture.at(j * 10 + 5, i * 10 + 5), pattern.dark(i, j) ? fore : back)
                << "row " << i << " column " << j;
        }
    }
}

}  // namespace
