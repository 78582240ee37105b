// What encode --print writes for a finished symbol: the font string, module rows, or a picture drawn
// with half blocks for the terminal. One row of kPrintForms a form.
#ifndef QRKIT_CLI_SYMBOL_TEXT_H
#define QRKIT_CLI_SYMBOL_TEXT_H

#include <string>
#include <vector>

#include "cli/image_output.h"
#include "qrkit/qrkit.h"

namespace qrkit_cli {

// A symbol as rows of modules, true for dark.
using ModuleRows = std::vector<std::vector<bool>>;

// The modules of a result (empty when it holds no symbol).
ModuleRows moduleRows(QRCODE_RESULT handle);
// One line of '0' and '1' per module row.
std::string moduleRowsText(const ModuleRows& rows);
// Two module rows per text line with Unicode half blocks, dark modules drawn dark on a light
// terminal background, inside a light quiet zone of quietZone modules.
std::string terminalPicture(const ModuleRows& rows, int quietZone);

struct PrintSettings {
    std::string separator = "\n";  // between font string lines
    int quietZone = 4;             // modules around a terminal picture or an HTML page
    ImageRequest image;            // an HTML page's module size (CSS pixels) and colours
};

// A form of --print: its name and what it writes to standard output for a symbol.
struct PrintForm {
    const char* name;
    std::string (*render)(QRCODE_RESULT handle, const PrintSettings& settings);
};

// The forms, the default first.
extern const std::vector<PrintForm> kPrintForms;
// The form of a name (lower case), or null.
const PrintForm* findPrintForm(const std::string& name);
// The names, as a text for messages ("font, rows or terminal").
std::string printFormNames();

}  // namespace qrkit_cli

#endif
