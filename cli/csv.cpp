#include "cli/csv.h"

namespace qrkit_cli {

namespace {

// The length of the line break at p (CR LF, LF or a lone CR), 0 when there is none.
std::size_t lineBreakAt(std::string_view text, std::size_t p) {
    if (p >= text.size()) return 0;
    if (text[p] == '\n') return 1;
    if (text[p] != '\r') return 0;
    return p + 1 < text.size() && text[p + 1] == '\n' ? 2 : 1;
}

// The position after the first line break at or after p, or the end of the text.
std::size_t afterLineBreak(std::string_view text, std::size_t p) {
    while (p < text.size() && lineBreakAt(text, p) == 0)
        ++p;
    return p + lineBreakAt(text, p);
}

}  // namespace

std::string_view withoutByteOrderMark(std::string_view text) {
    return text.substr(0, 3) == "\xEF\xBB\xBF" ? text.substr(3) : text;
}

std::vector<CsvRow> readCsv(std::string_view input) {
    const std::string_view text = withoutByteOrderMark(input);
    const std::size_t n = text.size();
    std::vector<CsvRow> rows;
    int line = 1;
    std::size_t p = 0;
    while (p < n) {
        CsvRow row;
        row.line = line;
        const std::size_t rowStart = p;
        for (;;) {
            std::string field;
            if (text[p] == '"') {
                const int openedOn = line;
                bool closed = false;
                ++p;
                while (p < n) {
                    if (text[p] == '"') {
                        ++p;
                        if (p < n && text[p] == '"') {
                            field += '"';
                            ++p;
                            continue;
                        }
                        closed = true;
                        break;
                    }
                    const std::size_t lineBreak = lineBreakAt(text, p);
                    if (lineBreak > 0) ++line;
                    field.append(text.substr(p, lineBreak > 0 ? lineBreak : 1));
                    p += lineBreak > 0 ? lineBreak : 1;
                }
                if (!closed) {
                    row.fields.push_back(field);
                    row.error =
                        "the quoted field opened on line " + std::to_string(openedOn) + " is never closed";
                    p = afterLineBreak(text, rowStart);
                    line = row.line + 1;
                    break;
                }
                if (p < n && text[p] != ',' && lineBreakAt(text, p) == 0) {
                    row.fields.push_back(field);
                    row.error = "text after the closing quote of field " + std::to_string(row.fields.size()) +
                                " on line " + std::to_string(line);
                    p = afterLineBreak(text, p);
                    ++line;
                    break;
                }
            } else {
                while (p < n && text[p] != ',' && lineBreakAt(text, p) == 0)
                    field += text[p++];
            }
            row.fields.push_back(field);
            if (p < n && text[p] == ',') {
                ++p;
                if (p < n) continue;
                row.fields.emplace_back();  // a comma at the very end: one more, empty field
                break;
            }
            const std::size_t lineBreak = lineBreakAt(text, p);
            p += lineBreak;
            if (lineBreak > 0) ++line;
            break;
        }
        const bool blank = row.error.empty() && row.fields.size() == 1 && row.fields[0].empty();
        if (!blank) rows.push_back(std::move(row));
    }
    return rows;
}

void appendCsvField(std::string& out, std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

}  // namespace qrkit_cli
