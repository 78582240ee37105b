#include "cli/symbol_text.h"

namespace qrkit_cli {

std::string moduleRowsText(const ModuleRows& rows) {
    std::string text;
    for (const auto& row : rows) {
        for (bool dark : row)
            text += dark ? '1' : '0';
        text += '\n';
    }
    return text;
}

std::string terminalPicture(const ModuleRows& rows, int quietZone) {
    // The picture is drawn in the terminal's foreground colour on light modules (full, upper and lower
    // blocks) so that dark modules show as the background: the usual way to get a scannable symbol on a
    // dark terminal. Inverse video makes it independent of the terminal's theme.
    const int height = static_cast<int>(rows.size());
    const int width = height == 0 ? 0 : static_cast<int>(rows[0].size());
    auto dark = [&](int r, int c) {
        r -= quietZone;
        c -= quietZone;
        if (r < 0 || c < 0 || r >= height || c >= width) return false;
        return static_cast<bool>(rows[r][c]);
    };
    const int total = height + 2 * quietZone;
    const int across = width + 2 * quietZone;
    std::string text;
    for (int r = 0; r < total; r += 2) {
        for (int c = 0; c < across; ++c) {
            bool top = dark(r, c);
            bool bottom = r + 1 < total ? dark(r + 1, c) : false;
            if (!top && !bottom) {
                text += "\u2588";  // full block: both light
            } else if (!top) {
                text += "\u2580";  // upper half block: top light
            } else if (!bottom) {
                text += "\u2584";  // lower half block: bottom light
            } else {
                text += ' ';
            }
        }
        text += '\n';
    }
    return text;
}

}  // namespace qrkit_cli
