#include "cli/options.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "cli/symbol_text.h"
#include "encoder/overlay.h"
#include "encoder/viewref.h"

#ifndef QRKIT_VERSION
#define QRKIT_VERSION "0.0.0"
#endif

namespace qrkit_cli {

namespace {

constexpr unsigned kSymbolCommands = kEncode | kExplain | kBatch;
constexpr unsigned kEveryCommand = kEncode | kExplain | kBatch | kParity;

// Stores the value of one option; false with the reason in *error. value is empty for options that
// take none.
using Handler = bool (*)(ToolOptions& options, const std::string& value, std::string* error);

enum Group { kDataGroup, kSymbolGroup, kOutputGroup, kImageGroup, kBatchGroup, kGeneralGroup };

struct OptionRow {
    const char* name;       // the long name, without "--"
    char letter;            // the short name, or 0
    const char* valueName;  // what the value looks like in the help; null: the option takes none
    unsigned commands;      // the commands that take it
    Group group;
    const char* help;
    Handler handler;
};

std::string lowered(const std::string& text) {
    std::string out = text;
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

bool number(const std::string& text, long low, long high, int* value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || parsed < low || parsed > high) return false;
    *value = static_cast<int>(parsed);
    return true;
}

bool bad(std::string* error, const std::string& reason, const std::string& value) {
    *error = reason + (value.empty() ? std::string() : " (not \"" + value + "\")");
    return false;
}

std::string unescapeSeparator(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && std::strchr("nrt\\", text[i + 1]) != nullptr) {
            const char next = text[++i];
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : '\\';
        } else {
            out += text[i];
        }
    }
    return out;
}

bool overlayTextValid(const std::string& text) {
    if (text.find(']') != std::string::npos) return false;
    kelvane2::ViewRef<kelvane2::I2DBitPattern> overlay(
        kelvane2::qrencode::parseOverlayText(text.data(), text.size()));
    return static_cast<bool>(overlay);
}

// The options of every command. The help shows them in this order, group by group.
const OptionRow kOptions[] = {
    // Data
    {"escapes", 'e', nullptr, kEveryCommand, kDataGroup,
     "read the data in qrkit's input language (see Escapes below) instead of taking every byte as it "
     "stands",
     [](ToolOptions& o, const std::string&, std::string*) { return o.data.escapes = true; }},
    {"eci", 0, "N|utf8|none", kSymbolCommands, kDataGroup,
     "put the ECI designator N (0-999999; utf8 is 26) in front of the data; none leaves out the ECI 26 "
     "that UTF-8 text beyond ASCII gets by default",
     [](ToolOptions& o, const std::string& v, std::string* e) {
         const std::string name = lowered(v);
         if (name == "utf8" || name == "utf-8") return (o.data.eci = kEciUtf8), true;
         if (name == "none") return (o.data.eci = kEciNone), true;
         if (name == "auto") return (o.data.eci = kEciAuto), true;
         return number(v, 0, kEciLargest, &o.data.eci) ||
                bad(e, "--eci takes a number from 0 to 999999, utf8 or none", v);
     }},
    {"fnc1", 0, "first|second=AI", kSymbolCommands, kDataGroup,
     "FNC1 in first position (GS1 data; '%' separates fields), or in second position with the "
     "application indicator AI (two digits or one letter)",
     [](ToolOptions& o, const std::string& v, std::string* e) {
         const std::string name = lowered(v);
         if (name == "first") return (o.data.fnc1 = Fnc1::kFirst), true;
         if (name.rfind("second=", 0) == 0) {
             const int value = applicationIndicatorValue(std::string_view(v).substr(7));
             if (value >= 0) {
                 o.data.fnc1 = Fnc1::kSecond;
                 o.data.applicationIndicator = value;
                 return true;
             }
         }
         return bad(e, "--fnc1 takes first, or second=AI with AI two digits or one letter", v);
     }},
    {"overlay", 0, "swiss7|TEXT", kSymbolCommands, kDataGroup,
     "a center overlay: the Swiss cross (the symbol then has version 6 at least), or overlay text "
     "ROWS,COLUMNS,HEX ROWS",
     [](ToolOptions& o, const std::string& v, std::string* e) {
         const std::string name = lowered(v);
         if (name == "swiss7" || name == ":swiss7") return (o.data.overlay = ":swiss7"), true;
         if (!v.empty() && v[0] != ':' && overlayTextValid(v)) return (o.data.overlay = v), true;
         return bad(e, "--overlay takes swiss7 or overlay text ROWS,COLUMNS,HEX", v);
     }},
    {"kanji", 0, nullptr, kEveryCommand, kDataGroup,
     "encode Japanese UTF-8 text as Shift JIS in the compact Kanji mode, when every character has a "
     "Shift JIS code",
     [](ToolOptions& o, const std::string&, std::string*) { return o.data.kanji = true; }},
    {"file", 0, "FILE", kEncode | kExplain | kParity, kDataGroup,
     "take the data from FILE, byte for byte ('-': standard input, also byte for byte)",
     [](ToolOptions& o, const std::string& v, std::string* e) {
         if (v.empty()) return bad(e, "--file takes a path", v);
         if (o.fileGiven) return bad(e, "give --file once", "");
         o.file = v;
         return o.fileGiven = true;
     }},
    {"keep-newline", 0, nullptr, kEncode | kExplain | kParity, kDataGroup,
     "keep the line feed (or CR LF) that ends standard input read as DATA '-'",
     [](ToolOptions& o, const std::string&, std::string*) { return o.keepNewline = true; }},

    // Symbol
    {"level", 0, "L|M|Q|H", kSymbolCommands, kSymbolGroup, "error correction level (default M)",
     [](ToolOptions& o, const std::string& v, std::string* e) {
         static const char kLevels[] = "lmqh";
         const std::string name = lowered(v);
         if (name.size() != 1 || std::strchr(kLevels, name[0]) == nullptr)
             return bad(e, "--level takes L, M, Q or H", v);
         o.symbol.level = static_cast<int>(std::strchr(kLevels, name[0]) - kLevels);
         return o.symbol.levelGiven = true;
     }},
    {"min-version", 0, "N", kSymbolCommands, kSymbolGroup,
     "smallest version allowed: 1-40, 1-4 for Micro QR Code (default 0: the smallest that fits)",
     [](ToolOptions& o, const std::string& v, std::string* e) {
         return number(v, 0, 40, &o.symbol.minVersion) ||
                bad(e, "--min-version takes a version from 0 to 40", v);
     }},
    {"strict", 0, nullptr, kSymbolCommands, kSymbolGroup,
     "fail unless the data fit the version of --min-version",
     [](ToolOptions& o, const std::string&, std::string*) { return o.symbol.strict = true; }},
    {"micro", 0, nullptr, kSymbolCommands, kSymbolGroup, "make a Micro QR Code symbol (M1-M4)",
     [](ToolOptions& o, const std::string&, std::string*) { return o.symbol.micro = true; }},
    {"hibc", 0, nullptr, kSymbolCommands, kSymbolGroup,
     "encode the data as HIBC: '+', the data (0-9, A-Z, - . space $ / + %) and its check character",
     [](ToolOptions& o, const std::string&, std::string*) { return o.symbol.hibc = true; }},
    {"mode", 0, "MODE", kSymbolCommands, kSymbolGroup,
     "segmentation of plain data: auto (default), narrowest, numeric, alphanumeric or byte",
     [](ToolOptions& o, const std::string& v, std::string* e) {
         static const char* const kModes[] = {"auto", "narrowest", "numeric", "alphanumeric", "byte"};
         for (int m = 0; m < 5; ++m) {
             if (lowered(v) == kModes[m]) return (o.symbol.forcedMode = m), true;
         }
         return bad(e, "--mode takes auto, narrowest, numeric, alphanumeric or byte", v);
     }},
    {"segmentation", 0, "greedy|optimal", kSymbolCommands, kSymbolGroup,
     "how auto divides plain data into modes: greedy (default, a fixed look-ahead rule: the symbols of "
     "QRCodeEncode) or optimal (the fewest bits, Kanji included, on the smallest version; a reader gets "
     "the same data: QRCodeEncodeOptimal). explain --segmentation optimal prints both divisions and the "
     "bits saved",
     [](ToolOptions& o, const std::string& v, std::string* e) {
         const std::string name = lowered(v);
         if (name != "greedy" && name != "optimal")
             return bad(e, "--segmentation takes greedy or optimal", v);
         return (o.symbol.optimal = name == "optimal"), true;
     }},

    // Output
    {"print", 0, "font|rows|terminal|html", kEncode, kOutputGroup,
     "what to print: the font string (default; set it in the qrkit QR font, "
     "share/fonts/truetype/qrkit/qrkit-qr.ttf, with single line spacing), module rows of 0 and 1, a "
     "picture drawn with half blocks, or an HTML page that sets the font string in the font it carries",
     [](ToolOptions& o, const std::string& v, std::string* e) {
         const std::string name = lowered(v);
         if (findPrintForm(name) == nullptr) return bad(e, "--print takes " + printFormNames(), v);
         return (o.print = name), true;
     }},
    {"separator", 0, "SEP", kEncode | kBatch, kOutputGroup,
     "separator between font string lines (default a line feed); \\n, \\r and \\t are understood",
     [](ToolOptions& o, const std::string& v, std::string*) {
         return (o.separator = unescapeSeparator(v)), true;
     }},
    {"output", 'o', "FILE", kEncode, kOutputGroup,
     "write an image file instead of printing (png, bmp, svg, eps, emf or html, told by the extension or by "
     "--format); '-' writes it to standard output (png unless --format says otherwise). Missing folders "
     "are made; an existing file is replaced only once the new image is complete",
     [](ToolOptions& o, const std::string& v, std::string* e) {
         if (v.empty()) return bad(e, "-o takes a file name, or '-' for standard output", v);
         return (o.image.path = v), true;
     }},
    {"output", 'o', "PATTERN", kBatch, kOutputGroup,
     "one image file a record: {n} the record number, {line} its line (both zero-padded), {field} its "
     "data and {NAME} or {N} the CSV column headed NAME or numbered N, each made safe for a file name. "
     "Missing folders are made",
     [](ToolOptions& o, const std::string& v, std::string* e) {
         if (v.empty()) return bad(e, "-o takes a file name pattern", v);
         return (o.image.path = v), true;
     }},
    {"verify", 0, nullptr, kEncode, kOutputGroup,
     "read the finished symbol back (zxing-cpp) and fail unless it gives the data",
     [](ToolOptions& o, const std::string&, std::string*) { return o.verify = true; }},
    {"sequence", 0, "N|auto", kEncode, kOutputGroup,
     "split the data into N (2-16) structured-append symbols, never inside an escape, a Kanji pair or a "
     "UTF-8 character; auto takes the fewest that each fit --min-version (else 40). Prints N font strings, "
     "or writes N files when -o names them with {n}",
     [](ToolOptions& o, const std::string& v, std::string* e) {
         if (lowered(v) == "auto") return (o.sequence = 0), true;
         return number(v, 2, 16, &o.sequence) ||
                bad(e, "--sequence takes a number of symbols from 2 to 16, or auto", v);
     }},

    // Image files
    {"format", 0, "FMT", kEncode | kBatch, kImageGroup, "the image format: png, bmp, svg, eps, emf or html",
     [](ToolOptions& o, const std::string& v, std::string* e) {
         const std::string name = lowered(v);
         if (!knownImageFormat(name)) return bad(e, "--format takes png, bmp, svg, eps, emf or html", v);
         return (o.image.format = name), true;
     }},
    {"module-size", 0, "N", kEncode | kBatch, kImageGroup,
     "module size: pixels for png and bmp (default 4), hundredths of a millimetre for svg, eps and emf "
     "(default 25, 0.25 mm), CSS pixels for html (default 4: a 16px font)",
     [](ToolOptions& o, const std::string& v, std::string* e) {
         return number(v, 1, 100000, &o.image.moduleSize) ||
                bad(e, "--module-size takes a number from 1 to 100000", v);
     }},
    {"dpi", 0, "N", kEncode | kBatch, kImageGroup, "resolution the vector sizes are rounded to (default 300)",
     [](ToolOptions& o, const std::string& v, std::string* e) {
         return number(v, 1, 100000, &o.image.resolution) ||
                bad(e, "--dpi takes a number from 1 to 100000", v);
     }},
    {"fg", 0, "RRGGBB", kEncode | kBatch, kImageGroup, "colour of dark modules (default 000000)",
     [](ToolOptions& o, const std::string& v, std::string* e) {
         return parseColour(v, &o.image.foreColour) || bad(e, "--fg takes a colour RRGGBB", v);
     }},
    {"bg", 0, "RRGGBB", kEncode | kBatch, kImageGroup,
     "colour of light modules and the quiet zone (default ffffff)",
     [](ToolOptions& o, const std::string& v, std::string* e) {
         return parseColour(v, &o.image.backColour) || bad(e, "--bg takes a colour RRGGBB", v);
     }},
    {"quiet-zone", 0, "N", kEncode | kBatch, kImageGroup,
     "light modules around the symbol (default 4, 2 for Micro QR Code)",
     [](ToolOptions& o, const std::string& v, std::string* e) {
         return number(v, 0, 100, &o.image.quietZone) ||
                bad(e, "--quiet-zone takes a number of modules from 0 to 100", v);
     }},
    {"force", 0, nullptr, kEncode | kBatch, kImageGroup,
     "paint images larger than 32,768 pixels or 5 m a side, and png, bmp or emf onto a terminal",
     [](ToolOptions& o, const std::string&, std::string*) { return o.image.force = true; }},

    // Batch
    {"column", 0, "N|NAME", kBatch, kBatchGroup,
     "read FILE as CSV and take column N (from 1) or the column headed NAME",
     [](ToolOptions& o, const std::string& v, std::string* e) {
         if (v.empty()) return bad(e, "--column takes a column number or name", v);
         return (o.column = v), true;
     }},
    {"header", 0, nullptr, kBatch, kBatchGroup, "the CSV's first row is a header (implied by --column NAME)",
     [](ToolOptions& o, const std::string&, std::string*) { return o.header = true; }},
    {"csv", 0, "FILE", kBatch, kBatchGroup,
     "the CSV of font strings (line, data, font string, error) goes to FILE instead of standard output",
     [](ToolOptions& o, const std::string& v, std::string* e) {
         if (v.empty()) return bad(e, "--csv takes a file name", v);
         return (o.csvPath = v), true;
     }},
    {"threads", 0, "N", kBatch, kBatchGroup, "threads to encode on (default: all cores)",
     [](ToolOptions& o, const std::string& v, std::string* e) {
         return number(v, 1, 1024, &o.threads) || bad(e, "--threads takes a number from 1 to 1024", v);
     }},

    // General
    {"quiet", 'q', nullptr, kEveryCommand, kGeneralGroup,
     "print nothing on standard error but failures (no notes, summary or progress)",
     [](ToolOptions& o, const std::string&, std::string*) { return o.quiet = true; }},
    {"help", 'h', nullptr, kEveryCommand, kGeneralGroup, "show this help",
     [](ToolOptions& o, const std::string&, std::string*) { return o.help = true; }},
};

struct CommandRow {
    unsigned command;
    const char* name;
    const char* usage;
    const char* description;
};

const CommandRow kCommands[] = {
    {kEncode, "encode",
     "  qrkit encode [options] DATA\n"
     "  qrkit encode [options] -             (standard input, without its final line feed)\n"
     "  qrkit encode [options] --file FILE   (the file's bytes exactly)\n",
     "Encodes the data as one symbol (or a structured-append sequence) and prints its font string, its "
     "module rows or a terminal picture, or writes an image file."},
    {kExplain, "explain", "  qrkit explain [options] DATA | - | --file FILE\n",
     "Shows what the encoder decides for the data and why: segments, version and level with the capacity "
     "used, the mask scores, and how a center overlay falls on the error correction blocks."},
    {kBatch, "batch", "  qrkit batch [options] FILE          (FILE '-': standard input)\n",
     "Encodes every line of FILE, or one column of a CSV file (--column), on all cores: into image files "
     "(-o PATTERN) or a CSV of font strings (line, data, font string, error). A record that fails is "
     "listed with its line and never stops the others. A CSV may start with a UTF-8 byte-order mark; a "
     "malformed CSV row (a quote never closed, text after a closing quote) is a failed record."},
    {kParity, "parity", "  qrkit parity [options] DATA | - | --file FILE\n",
     "Prints the structured-append parity (0-255) of a whole message: the value of the Y of ~2[P][T,Y]."},
};

const char* groupTitle(Group group) {
    switch (group) {
        case kDataGroup:
            return "Data";
        case kSymbolGroup:
            return "Symbol";
        case kOutputGroup:
            return "Output";
        case kImageGroup:
            return "Image files";
        case kBatchGroup:
            return "Batch";
        default:
            return "General";
    }
}

// text wrapped at width, every line after the first indented by indent spaces.
std::string wrapped(const std::string& text, std::size_t indent, std::size_t first, std::size_t width = 100) {
    std::string out;
    std::size_t column = first;
    std::size_t p = 0;
    while (p < text.size()) {
        std::size_t end = text.find(' ', p);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(p, end - p);
        if (column > indent && column + 1 + word.size() > width) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
        } else if (column > indent || (column == indent && !out.empty() && out.back() != ' ')) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        p = end + 1;
    }
    return out;
}

std::string optionLines(unsigned command, int onlyGroup = -1) {
    constexpr std::size_t kIndent = 30;
    std::string out;
    for (int group = kDataGroup; group <= kGeneralGroup; ++group) {
        std::string lines;
        for (const OptionRow& row : kOptions) {
            if (row.group != group || (row.commands & command) == 0) continue;
            if (onlyGroup >= 0 && row.group != onlyGroup) continue;
            std::string names = row.letter != 0 ? std::string("  -") + row.letter + ", --" : "      --";
            names += row.name;
            if (row.valueName != nullptr) names += std::string(" ") + row.valueName;
            if (names.size() + 1 >= kIndent) {
                lines += names + "\n" + std::string(kIndent, ' ');
            } else {
                lines += names + std::string(kIndent - names.size(), ' ');
            }
            lines += wrapped(row.help, kIndent, kIndent) + "\n";
        }
        if (!lines.empty())
            out += std::string("\n") + groupTitle(static_cast<Group>(group)) + " options:\n" + lines;
    }
    return out;
}

const char* const kLiteralDefault =
    "Data are literal: every byte of DATA, of a file, of standard input or of a batch record is encoded "
    "as it stands, '~' and binary bytes included. --escapes (-e) reads the data in qrkit's input language "
    "instead. Text that is UTF-8 and not plain ASCII gets the designator ECI 26 in front, so that readers "
    "show it as text (--eci none leaves it out; Micro QR Code has no designators). Standard input given "
    "as DATA '-' loses one final line feed or CR LF (--keep-newline keeps it); --file takes a file's "
    "bytes exactly. Data above 1 MB are refused unread.";

const char* const kEscapes =
    "Escapes (the input language, with --escapes): ~~ a tilde, ~@ to ~Z the control bytes 0x00-0x1A "
    "(~M carriage return, ~J line feed), ~dNNN the byte NNN (000-255), ~4[...] Shift JIS Kanji, "
    "~2[P][T,Y] structured-append header (at the very start), ~7NNNNNN an ECI designator, ~1 FNC1 in "
    "first position, ~3[N] FNC1 in second position, ~50[:swiss7] or ~50[ROWS,COLUMNS,HEX] a center "
    "overlay. Any other '~' stands for itself.";

const char* const kExitStatus =
    "Exit status: 0 success; 1 data that cannot be encoded (too long for the symbol, invalid for the mode "
    "or for HIBC, malformed escapes; in a batch, any record that failed); 2 usage: bad options or values "
    "(nothing is read or written); 3 input or output failure: unreadable input, unwritable output.";

const char* const kExamples =
    "Examples:\n"
    "  qrkit encode \"https://example.com/~user\"        (the '~' is data)\n"
    "  qrkit encode -o symbol.png --module-size 8 \"https://example.com\"\n"
    "  echo \"https://example.com\" | qrkit encode -o - - > symbol.png\n"
    "  qrkit encode --file photo.bin -o photo.png\n"
    "  qrkit encode --level H --overlay swiss7 --verify -o logo.png \"https://example.com\"\n"
    "  qrkit encode -e \"~50[:swiss7]https://example.com\"  (the same overlay, as an escape)\n"
    "  qrkit encode --kanji --print terminal \"日本語のテキスト\"\n"
    "  qrkit encode --fnc1 first \"0109501101020917171905081010ABCD1234\"\n"
    "  qrkit encode --micro --print terminal 12345\n"
    "  qrkit encode --sequence auto -o part{n}.png --file letter.txt\n"
    "  qrkit explain --level L --overlay swiss7 \"https://example.com/a/long/path\"\n"
    "  qrkit batch --column url -o labels/{sku}.png products.csv\n"
    "  qrkit batch --csv fonts.csv serials.txt\n";

const CommandRow* commandRow(unsigned command) {
    for (const CommandRow& row : kCommands) {
        if (row.command == command) return &row;
    }
    return nullptr;
}

const OptionRow* findLong(const std::string& name, unsigned command, bool* otherCommand) {
    *otherCommand = false;
    for (const OptionRow& row : kOptions) {
        if (name != row.name) continue;
        if ((row.commands & command) != 0) return &row;
        *otherCommand = true;
    }
    return nullptr;
}

const OptionRow* findShort(char letter, unsigned command) {
    for (const OptionRow& row : kOptions) {
        if (row.letter == letter && (row.commands & command) != 0) return &row;
    }
    return nullptr;
}

std::string displayName(const OptionRow& row, bool asShort) {
    return asShort ? std::string("-") + row.letter : std::string("--") + row.name;
}

}  // namespace

unsigned commandNamed(const std::string& name) {
    for (const CommandRow& row : kCommands) {
        if (name == row.name) return row.command;
    }
    return 0;
}

int failure(int status, const std::string& message) {
    std::cerr << "qrkit: " << message << "\n";
    return status;
}

int usageFailure(const std::string& message, unsigned command) {
    const CommandRow* row = commandRow(command);
    std::cerr << "qrkit: " << message << " (see qrkit help" << (row ? std::string(" ") + row->name : "")
              << ")\n";
    return kExitUsage;
}

int parseOptions(unsigned command, int argc, char** argv, ToolOptions* options) {
    options->command = command;
    bool operandsOnly = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (operandsOnly || arg == "-" || arg.empty() || arg[0] != '-') {
            options->operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            operandsOnly = true;
            continue;
        }
        std::string error;
        if (arg.compare(0, 2, "--") == 0) {
            const std::size_t equals = arg.find('=');
            const std::string name =
                arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
            bool otherCommand = false;
            const OptionRow* row = findLong(name, command, &otherCommand);
            if (row == nullptr) {
                const CommandRow* commandInfo = commandRow(command);
                return usageFailure(otherCommand ? "--" + name + " is not an option of " + commandInfo->name
                                                 : "unknown option --" + name,
                                    command);
            }
            std::string value;
            if (row->valueName == nullptr) {
                if (equals != std::string::npos)
                    return usageFailure("--" + name + " takes no value", command);
            } else if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                row->handler(*options, "", &error);
                return usageFailure(error.empty() ? "--" + name + " takes a value" : error, command);
            }
            if (!row->handler(*options, value, &error)) return usageFailure(error, command);
            continue;
        }
        // Short options, which may be joined (-eq); one that takes a value takes the rest of the argument
        // or the next one (-o out.png, -oout.png).
        for (std::size_t k = 1; k < arg.size(); ++k) {
            const OptionRow* row = findShort(arg[k], command);
            if (row == nullptr) {
                if (std::isdigit(static_cast<unsigned char>(arg[1])))
                    return usageFailure("unknown option " + arg + "; put -- before data that start with '-'",
                                        command);
                return usageFailure("unknown option -" + std::string(1, arg[k]), command);
            }
            std::string value;
            if (row->valueName != nullptr) {
                if (k + 1 < arg.size()) {
                    value = arg.substr(k + 1);
                } else if (i + 1 < argc) {
                    value = argv[++i];
                } else {
                    row->handler(*options, "", &error);
                    return usageFailure(error.empty() ? displayName(*row, true) + " takes a value" : error,
                                        command);
                }
                k = arg.size();
            }
            if (!row->handler(*options, value, &error)) return usageFailure(error, command);
        }
    }
    return 0;
}

std::string helpText(unsigned command) {
    const CommandRow* row = commandRow(command);
    if (row == nullptr) {
        std::string text =
            "qrkit: QR Code and Micro QR Code symbols as font strings, images and module rows.\n\nUsage:\n";
        for (const CommandRow& each : kCommands)
            text += each.usage;
        text +=
            "  qrkit help [COMMAND]                (also: qrkit COMMAND --help)\n"
            "  qrkit --version\n\n";
        text += wrapped(kLiteralDefault, 0, 0) + "\n\nCommands:\n";
        for (const CommandRow& each : kCommands) {
            const std::string name = std::string("  ") + each.name;
            text += name + std::string(12 - name.size(), ' ') + wrapped(each.description, 12, 12) + "\n";
        }
        text += optionLines(kEveryCommand, kDataGroup);
        text +=
            "\nEvery option: qrkit help encode, qrkit help explain, qrkit help batch, qrkit help parity.\n";
        text +=
            "Options take their value as --name VALUE or --name=VALUE; names of levels, modes and formats\n"
            "may be written in any case; -- ends the options.\n\n";
        text += wrapped(kEscapes, 0, 0) + "\n\n" + wrapped(kExitStatus, 0, 0) + "\n\n" + kExamples;
        return text;
    }
    std::string text = std::string("Usage:\n") + row->usage + "\n" + wrapped(row->description, 0, 0) +
                       "\n\n" + wrapped(kLiteralDefault, 0, 0) + "\n" + optionLines(command) + "\n" +
                       wrapped(kEscapes, 0, 0) + "\n\n" + wrapped(kExitStatus, 0, 0) + "\n";
    return text;
}

std::string versionText() {
    // The library's version is that of the libqrkit.so this process loaded (its file name ends in it),
    // else the version it was built with.
    std::string library = QRKIT_VERSION;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&QRCodeEncode), &info) != 0 && info.dli_fname != nullptr) {
        char resolved[PATH_MAX];
        if (realpath(info.dli_fname, resolved) != nullptr) {
            const std::string path = resolved;
            const std::size_t at = path.rfind(".so.");
            if (at != std::string::npos) library = path.substr(at + 4);
        }
    }
    return std::string("qrkit ") + QRKIT_VERSION + " (libqrkit " + library + ")\n";
}

}  // namespace qrkit_cli
