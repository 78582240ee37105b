// Text renderings of a finished symbol for the terminal: module rows and half-block pictures.
#ifndef QRKIT_CLI_SYMBOL_TEXT_H
#define QRKIT_CLI_SYMBOL_TEXT_H

#include <string>
#include <vector>

namespace qrkit_cli {

// A symbol as rows of modules, true for dark.
using ModuleRows = std::vector<std::vector<bool>>;

// One line of '0' and '1' per module row.
std::string moduleRowsText(const ModuleRows& rows);
// Two module rows per text line with Unicode half blocks, dark modules drawn dark on a light
// terminal background, inside a light quiet zone of quietZone modules.
std::string terminalPicture(const ModuleRows& rows, int quietZone);

}  // namespace qrkit_cli

#endif
