// The font string composer on random matrices, through composeFontString and through the result
// interfaces (resultFontString on a plain bit pattern).
// Input: 1 byte shape selector, 4 + 4 bytes rows and columns, 1 byte separator length, the separator,
// then module bytes.
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "encoder/objectmodel.h"
#include "encoder/qrresult.h"
#include "encoder/viewref.h"
#include "fontstring/fontstring.h"
#include "fuzz/fuzz_checks.h"

using namespace qrkit_fuzz;

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// The text the composer must produce, built module by module.
std::string expectedText(const std::vector<std::uint8_t>& matrix, int rows, int columns,
                         const std::string& separator) {
    std::string text;
    const int lines = (rows + 3) / 4;
    for (int j = 0; j < lines; ++j) {
        if (j > 0) text += separator;
        for (int k = 0; k < columns; ++k) {
            int digit = 0;
            for (int i = 0; i < 4; ++i) {
                const int row = 4 * j + i;
                const int dark = row < rows ? matrix[static_cast<std::size_t>(row) * columns + k] & 1 : 0;
                digit |= dark << (3 - i);
            }
            text.push_back(kHex[digit]);
        }
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    InputReader reader(input, size);
    const std::uint8_t shape = reader.byte();
    const std::uint32_t rawRows = reader.word32();
    const std::uint32_t rawColumns = reader.word32();
    const int separatorLength = reader.byte() % 8;
    std::string separator;
    for (int k = 0; k < separatorLength; ++k) {
        const char c = static_cast<char>(reader.byte());
        if (c == '\0') break;
        separator.push_back(c);
    }

    // Mostly small matrices; with no columns (or no rows) the other count may be anything, since the
    // composer reads no module then.
    int rows = static_cast<int>(rawRows % 200);
    int columns = static_cast<int>(rawColumns % 200);
    if (shape % 4 == 1) {
        rows = static_cast<int>(rawRows);
        columns = 0;
    } else if (shape % 4 == 2) {
        rows = 0;
        columns = static_cast<int>(rawColumns);
    }
    const int usedRows = rows < 0 ? 0 : rows;
    const int usedColumns = columns < 0 ? 0 : columns;
    const std::size_t cells = static_cast<std::size_t>(usedRows) * static_cast<std::size_t>(usedColumns);
    std::vector<std::uint8_t> matrix(cells);
    for (std::size_t i = 0; i < cells; ++i)
        matrix[i] = reader.byte();
    const char* sep = shape & 4 ? nullptr : separator.c_str();

    int needed = -1;
    const int status = kelvane2::composeFontString(matrix.data(), rows, columns, nullptr, &needed, sep);
    FUZZ_CHECK(kelvane2::composeFontString(matrix.data(), rows, columns, nullptr, nullptr, sep) == 8,
               "null size");
    const long long lines = (static_cast<long long>(usedRows) + 3) / 4;
    const long long length =
        lines == 0 ? 0
                   : lines * usedColumns + (lines - 1) * static_cast<long long>(sep ? std::strlen(sep) : 0);
    if (length + 1 > INT_MAX) {
        FUZZ_CHECK(status == 12, "oversized text not refused");
        return 0;
    }
    FUZZ_CHECK(status == 0, "size query");
    FUZZ_CHECK(needed == length + 1, "needed size " + std::to_string(needed));
    // Long texts and long runs of empty bands: the size is all there is to check.
    if (length > (1 << 20) || lines > (1 << 20)) return 0;

    // One byte short: refused, nothing written, size unchanged.
    std::vector<char> buffer(static_cast<std::size_t>(needed) + 1, '#');
    int shortSize = needed - 1;
    FUZZ_CHECK(
        kelvane2::composeFontString(matrix.data(), rows, columns, buffer.data(), &shortSize, sep) == 12,
        "short buffer");
    FUZZ_CHECK(shortSize == needed - 1 && buffer[0] == '#', "short buffer written");

    int exact = needed;
    FUZZ_CHECK(kelvane2::composeFontString(matrix.data(), rows, columns, buffer.data(), &exact, sep) == 0,
               "compose");
    FUZZ_CHECK(exact == length, "written count");
    FUZZ_CHECK(
        buffer[static_cast<std::size_t>(length)] == '\0' && buffer[static_cast<std::size_t>(needed)] == '#',
        "terminator");
    if (usedRows == 0 || usedColumns == 0 || cells > 40000) return 0;
    const std::string text(buffer.data(), static_cast<std::size_t>(length));
    FUZZ_CHECK(text == expectedText(matrix, usedRows, usedColumns, sep ? sep : ""), "font string text");

    // The same matrix as a plain bit pattern read through its interface.
    auto* pattern = new kelvane2::Simple2DBitPattern(usedRows, usedColumns);
    kelvane2::ViewRef<kelvane2::I2DBitPattern> view;
    view.query(static_cast<kelvane2::I2DBitPattern*>(pattern), kelvane2::IID_I2DBitPattern);
    for (int row = 0; row < usedRows; ++row) {
        for (int column = 0; column < usedColumns; ++column)
            pattern->setModule(row, column,
                               (matrix[static_cast<std::size_t>(row) * usedColumns + column] & 1) != 0);
    }
    std::vector<char> second(static_cast<std::size_t>(needed));
    int secondSize = needed;
    FUZZ_CHECK(kelvane2::resultFontString(view.get(), second.data(), &secondSize, sep) == 0,
               "pattern compose");
    FUZZ_CHECK(secondSize == length && text == std::string(second.data(), secondSize), "pattern text");
    // A plain pattern has no user-data slot: no owned font string.
    FUZZ_CHECK(kelvane2::resultOwnedFontString(view.get(), sep) == nullptr,
               "owned string of a plain pattern");
    return 0;
}
