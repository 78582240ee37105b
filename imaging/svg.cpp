#include "imaging/svg.h"

#include <charconv>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane2::imaging {

namespace {

constexpr std::string_view kXmlDeclaration =
    "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\" ?>\n";
constexpr std::string_view kDoctype = "<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.0//EN\" \n";
constexpr std::string_view kSystemId = "\"http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd\">\n";
constexpr std::string_view kNamespace = "xmlns=\"http://www.w3.org/2000/svg\">\n";
constexpr std::string_view kEnd = "</svg>\n";

// A number in general notation with 6 significant digits, as "%.6g" prints it in the C locale.
void appendNumber(std::string& text, double value) {
    char digits[48];
    std::to_chars_result result =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 6);
    text.append(digits, result.ptr);
}

// A masked colour word as six lower-case hexadecimal digits.
void appendColour(std::string& text, std::uint32_t colour) {
    static constexpr char kHex[] = "0123456789abcdef";
    colour = colourWord(colour);
    for (int shift = 20; shift >= 0; shift -= 4)
        text.push_back(kHex[(colour >> shift) & 0xFu]);
}

// The end of a rectangle line from its width on: width, height, fill and the line feed.
void appendRectTail(std::string& text, std::string_view unit, double width, double height,
                    std::uint32_t colour) {
    text += "\" width=\"";
    appendNumber(text, width);
    text += unit;
    text += "\" height=\"";
    appendNumber(text, height);
    text += unit;
    text += "\" style=\"fill:#";
    appendColour(text, colour);
    text += ";\" />\n";
}

// Writes one line (which ends with its line feed) and flushes.
void writeLine(std::ostream& out, std::string_view line) {
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    out.flush();
}

PaintStatus writeDocument(I2DBitPattern* pattern, std::ostream& out, std::string_view unit, float moduleWidth,
                          float moduleHeight, std::uint32_t foreColour, std::uint32_t backColour) {
    const int rows = pattern->getRows();
    const int columns = pattern->getColumns();
    const double widthMm = moduleWidth;
    const double heightMm = moduleHeight;

    writeLine(out, kXmlDeclaration);
    writeLine(out, kDoctype);
    writeLine(out, kSystemId);

    std::string line;
    line.reserve(256);
    line += "<svg width=\"";
    appendNumber(line, static_cast<float>(columns * widthMm));
    line += unit;
    line += "\" height=\"";
    appendNumber(line, static_cast<float>(rows * heightMm));
    line += unit;
    line += "\" version=\"1.1\" \n";
    writeLine(out, line);
    writeLine(out, kNamespace);

    // The background, with the extents in double precision.
    line.assign("<rect x=\"");
    appendNumber(line, 0.0);
    line += unit;
    line += "\" y=\"";
    appendNumber(line, 0.0);
    line += unit;
    appendRectTail(line, unit, columns * widthMm, rows * heightMm, backColour);
    writeLine(out, line);

    // A module's line is the text of its column (up to its y value) followed by the text of its row.
    std::vector<std::string> columnText(static_cast<std::size_t>(columns));
    for (int j = 0; j < columns; ++j) {
        std::string& text = columnText[static_cast<std::size_t>(j)];
        text.assign("<rect x=\"");
        appendNumber(text, static_cast<float>(j * widthMm));
        text += unit;
        text += "\" y=\"";
    }
    std::string rowText;
    for (int i = 0; i < rows && out.good(); ++i) {
        rowText.clear();
        appendNumber(rowText, static_cast<float>(i * heightMm));
        rowText += unit;
        appendRectTail(rowText, unit, widthMm, heightMm, foreColour);
        for (int j = 0; j < columns; ++j) {
            if ((pattern->getModule(i, j) & 0xFF) == 0) continue;
            const std::string& text = columnText[static_cast<std::size_t>(j)];
            out.write(text.data(), static_cast<std::streamsize>(text.size()));
            writeLine(out, rowText);
        }
    }

    writeLine(out, kEnd);
    return out.good() ? PaintStatus::kOk : PaintStatus::kWriteFailed;
}

}  // namespace

PaintStatus writeSvg(I2DBitPattern* pattern, std::ostream& out, const char* unit, float moduleWidth,
                     float moduleHeight, std::uint32_t foreColour, std::uint32_t backColour) {
    try {
        return writeDocument(pattern, out, unit ? std::string_view(unit) : std::string_view(), moduleWidth,
                             moduleHeight, foreColour, backColour);
    } catch (const std::bad_alloc&) {
        return PaintStatus::kOutOfMemory;
    } catch (...) {
        // A stream that throws on failure.
        return PaintStatus::kWriteFailed;
    }
}

}  // namespace kelvane2::imaging
