// CSV as batch reads and writes it (RFC 4180): fields separated by commas, rows by line feeds (CR LF
// or a lone CR too); a field in double quotes may hold commas, line breaks and doubled quotes. Plain
// functions, shared by the tool and its fuzz target.
#ifndef QRKIT_CLI_CSV_H
#define QRKIT_CLI_CSV_H

#include <string>
#include <string_view>
#include <vector>

namespace qrkit_cli {

struct CsvRow {
    int line = 0;  // the line the row starts on, from 1
    std::vector<std::string> fields;
    std::string error;  // why the row is malformed (its fields are then what was read); empty when sound
};

// The text without a leading UTF-8 byte-order mark (EF BB BF), which spreadsheets write.
std::string_view withoutByteOrderMark(std::string_view text);

// The rows of CSV text (a leading byte-order mark skipped). Empty lines are no rows. A quote outside a
// quoted field is an ordinary character. A malformed row, a quoted field that is never closed or text
// after a closing quote, comes back with its error, and reading goes on with the line after the one
// where the fault lies (for an unclosed quote, the line after the row's first), so that a fault never
// swallows the rows that follow.
std::vector<CsvRow> readCsv(std::string_view text);

// Appends field to out as CSV: quoted, with its quotes doubled, when it holds a comma, a quote or a
// line break; as it is otherwise.
void appendCsvField(std::string& out, std::string_view field);

}  // namespace qrkit_cli

#endif
