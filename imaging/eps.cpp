#include "imaging/eps.h"

#include <cmath>
#include <locale>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include <boost/format.hpp>

namespace kelvane2::imaging {

namespace {

// 72 / 2540: points per 0.01 mm, the page's scale.
constexpr float kPointsPerHundredthMillimetre = 0.028346457f;
// 2.54 in single precision, widened.
constexpr double kInchInCentimetres = static_cast<double>(2.54f);

void writeText(std::ostream& out, std::string_view text) {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// An argument that reports a failed insertion: the formatter's own stream swallows allocation failures
// (it only marks itself bad), which would silently drop text from the page.
template <class T>
struct Checked {
    const T& value;
};

template <class T>
std::ostream& operator<<(std::ostream& os, const Checked<T>& argument) {
    os << argument.value;
    if (os.bad()) throw std::bad_alloc();
    return os;
}

// Formats one printf-style line in the C locale.
class Formatter {
  public:
    explicit Formatter(const char* format) : format_(format, std::locale::classic()) {}
    template <class... Args>
    std::string operator()(const Args&... args) {
        (format_ % ... % Checked<Args>{args});
        return format_.str();
    }

  private:
    boost::format format_;
};

// The bounding-box extent in whole points of an extent in 0.01 mm, rounded up.
long long boundingBoxPoints(double extent) {
    float points = static_cast<float>(extent * 72.0 / 1000.0 / kInchInCentimetres);
    double rounded = std::ceil(static_cast<double>(points));
    if (!(rounded > -1e18 && rounded < 1e18)) return 0;
    return static_cast<long long>(rounded);
}

// "r g b setrgbcolor": each component byte over 256, two decimals.
std::string colourLine(std::uint32_t colour) {
    colour = colourWord(colour);
    float red = static_cast<float>((colour >> 16) & 0xFFu) / 256.0f;
    float green = static_cast<float>((colour >> 8) & 0xFFu) / 256.0f;
    float blue = static_cast<float>(colour & 0xFFu) / 256.0f;
    return Formatter("%.2f %.2f %.2f setrgbcolor\n")(red, green, blue);
}

PaintStatus writePage(I2DBitPattern* pattern, std::ostream& out, float moduleWidth, float moduleHeight,
                      std::uint32_t foreColour, std::uint32_t backColour, const char* creator) {
    const int rows = pattern->getRows();
    const int columns = pattern->getColumns();
    const double totalWidth = static_cast<double>(columns) * moduleWidth;
    const double totalHeight = static_cast<double>(rows) * moduleHeight;
    const float totalWidthF = static_cast<float>(totalWidth);
    const float totalHeightF = static_cast<float>(totalHeight);

    writeText(out, "%!PS-Adobe-3.0 EPSF-3.0\n");
    writeText(out, Formatter("%%%%Creator: %s\n")(creator ? creator : ""));
    writeText(out, "%%Pages: 0\n");
    writeText(out, Formatter("%%%%BoundingBox: 0 0 %d %d\n")(boundingBoxPoints(totalWidth),
                                                             boundingBoxPoints(totalHeight)));
    writeText(out, "%%EndComments\n");
    writeText(out,
              Formatter("%0.4g %0.4g scale\n")(kPointsPerHundredthMillimetre, kPointsPerHundredthMillimetre));
    writeText(out, "newpath\n");

    // The background, counter-clockwise from the origin.
    writeText(out, colourLine(backColour));
    writeText(out, "0 0 moveto\n");
    writeText(out, Formatter("%0.2f 0 rlineto\n")(totalWidthF));
    writeText(out, Formatter("0 %0.2f rlineto\n")(totalHeightF));
    writeText(out, Formatter("-%0.2f 0 rlineto\n")(totalWidthF));
    writeText(out, Formatter("0 -%0.2f rlineto\n")(totalHeightF));
    writeText(out, "fill\n");
    writeText(out, colourLine(foreColour));

    // Each module: "x y moveto" at its top-left corner, then the same clockwise square. The x and y
    // texts are formatted once per column and once per row.
    Formatter number("%0.2f");
    std::vector<std::string> columnText(static_cast<std::size_t>(columns));
    for (int j = 0; j < columns; ++j) {
        columnText[static_cast<std::size_t>(j)] =
            number(static_cast<float>(static_cast<double>(j) * moduleWidth)) + ' ';
    }
    const std::string square = Formatter("%0.2f 0 rlineto\n")(moduleWidth) +
                               Formatter("0 -%0.2f rlineto\n")(moduleHeight) +
                               Formatter("-%0.2f 0 rlineto\n")(moduleWidth) +
                               Formatter("0 %0.2f rlineto\n")(moduleHeight) + "fill\n";
    std::string rowText;
    for (int i = 0; i < rows && out.good(); ++i) {
        rowText = number(static_cast<float>(totalHeight - static_cast<double>(i) * moduleHeight));
        rowText += " moveto\n";
        rowText += square;
        for (int j = 0; j < columns; ++j) {
            if ((pattern->getModule(i, j) & 0xFF) == 0) continue;
            writeText(out, columnText[static_cast<std::size_t>(j)]);
            writeText(out, rowText);
        }
    }

    writeText(out, "\nshowpage\n");
    return out.good() ? PaintStatus::kOk : PaintStatus::kWriteFailed;
}

}  // namespace

PaintStatus writeEps(I2DBitPattern* pattern, std::ostream& out, float moduleWidth, float moduleHeight,
                     std::uint32_t foreColour, std::uint32_t backColour, const char* creator) {
    try {
        return writePage(pattern, out, moduleWidth, moduleHeight, foreColour, backColour, creator);
    } catch (const std::bad_alloc&) {
        return PaintStatus::kOutOfMemory;
    } catch (...) {
        // A stream that throws on failure.
        return PaintStatus::kWriteFailed;
    }
}

}  // namespace kelvane2::imaging
