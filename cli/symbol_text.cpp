#include "cli/symbol_text.h"

#include "cli/html_page.h"

#include "encoder/objectmodel.h"

namespace qrkit_cli {

ModuleRows moduleRows(QRCODE_RESULT handle) {
    ModuleRows rows;
    kelvane2::I2DBitPattern* pattern = nullptr;
    if (handle->QueryInterface(kelvane2::IID_I2DBitPattern, reinterpret_cast<void**>(&pattern)) != 0)
        return rows;
    rows.assign(pattern->getRows(), std::vector<bool>(pattern->getColumns()));
    for (int r = 0; r < pattern->getRows(); ++r) {
        for (int c = 0; c < pattern->getColumns(); ++c)
            rows[r][c] = pattern->getModule(r, c) != 0;
    }
    pattern->Release();
    return rows;
}

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

const std::vector<PrintForm> kPrintForms = {
    {"font",
     [](QRCODE_RESULT handle, const PrintSettings& settings) {
         const char* text = QRCodeResultGetBarcodeString2(handle, settings.separator.c_str());
         return std::string(text != nullptr ? text : "") + "\n";
     }},
    {"rows", [](QRCODE_RESULT handle, const PrintSettings&) { return moduleRowsText(moduleRows(handle)); }},
    {"terminal",
     [](QRCODE_RESULT handle, const PrintSettings& settings) {
         return terminalPicture(moduleRows(handle), settings.quietZone);
     }},
    {"html",
     [](QRCODE_RESULT handle, const PrintSettings& settings) {
         ImageRequest request = settings.image;
         request.quietZone = settings.quietZone;
         std::string page;
         std::string message;
         return symbolHtmlPage(handle, request, &page, &message) == 0 ? page : std::string();
     }},
};

const PrintForm* findPrintForm(const std::string& name) {
    for (const PrintForm& form : kPrintForms) {
        if (name == form.name) return &form;
    }
    return nullptr;
}

std::string printFormNames() {
    std::string names;
    for (std::size_t k = 0; k < kPrintForms.size(); ++k)
        names += std::string(k == 0 ? "" : k + 1 == kPrintForms.size() ? " or " : ", ") + kPrintForms[k].name;
    return names;
}

}  // namespace qrkit_cli
