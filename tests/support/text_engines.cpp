#include "support/text_engines.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "support/rendering.h"

namespace qrkit_test {

namespace {

namespace fs = std::filesystem;

// Runs a shell command, its output and errors appended to log; true when it exits with 0.
bool runShell(const std::string& command, const std::string& log) {
    { std::ofstream(log, std::ios::app) << "$ " << command << "\n"; }
    const int status = std::system(("(" + command + ") >>'" + log + "' 2>&1").c_str());
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// A number for command lines and documents: a full stop as decimal mark, no exponent.
std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", value);
    std::string out = text;
    while (out.back() == '0')
        out.pop_back();
    if (out.back() == '.') out.pop_back();
    return out;
}

// A margin of one em (a quiet zone of four modules), and at least 16 pixels.
std::string quietMargin(double pixelsPerEm) {
    return std::to_string(std::max(16, static_cast<int>(std::ceil(pixelsPerEm))));
}

// The environment of the heavier engines: caches and settings inside the scratch folder.
std::string privateHome(const EngineScratch& scratch) {
    return "env HOME='" + scratch.path("home") + "' XDG_CACHE_HOME='" + scratch.path("home/cache") +
           "' XDG_CONFIG_HOME='" + scratch.path("home/config") + "' ";
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

int longestLine(const std::string& text) {
    int longest = 0;
    for (const std::string& line : lines(text))
        longest = std::max(longest, static_cast<int>(line.size()));
    return longest;
}

// A module as Calc measures a cell's text to decide whether it overflows the column: on its reference
// device of 96 dpi, at a whole number of pixels. The column (and the page) must be that much wider, or
// the text spills into the next column, which Calc then prints on a page of its own.
double calcModule(const OfficeCase& c) {
    const double pixels = c.points / 4 * 96 / 72;
    return std::max(c.points / 4, std::ceil(pixels) * 72 / 96);
}

// The page of an office case: the lines with a margin of one em (a quiet zone of four modules) and room
// to spare on the right and below, so that no line wraps.
struct PageSize {
    double width;
    double height;
    double margin;
};
PageSize officePage(const OfficeCase& c) {
    const double module = calcModule(c);
    const double width = (longestLine(c.text) + 8) * module + 2 * c.points;
    const double height = (static_cast<double>(lines(c.text).size()) + 1) * c.points + 2 * c.points;
    return {std::max(width, 72.0), std::max(height, 72.0), c.points};
}

const char kOfficeNamespaces[] =
    "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
    "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
    "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
    "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
    "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" "
    "xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\" office:version=\"1.3\"";

std::string pageLayout(const std::string& name, const PageSize& page) {
    return "<style:page-layout style:name=\"" + name + "\"><style:page-layout-properties fo:page-width=\"" +
           number(page.width) + "pt\" fo:page-height=\"" + number(page.height) + "pt\" fo:margin-top=\"" +
           number(page.margin) + "pt\" fo:margin-bottom=\"0pt\" fo:margin-left=\"" + number(page.margin) +
           "pt\" fo:margin-right=\"0pt\" style:print-orientation=\"portrait\" style:scale-to=\"100%\"/>"
           "</style:page-layout>\n";
}

// The text properties of every case: the font at the case's size, nothing synthetic, no kerning.
std::string textProperties(const OfficeCase& c) {
    return "<style:text-properties style:font-name=\"qrkit QR\" fo:font-size=\"" + number(c.points) +
           "pt\" fo:font-weight=\"normal\" fo:font-style=\"normal\" fo:letter-spacing=\"normal\" "
           "style:letter-kerning=\"false\" fo:hyphenate=\"false\"/>";
}

const char kFontFaces[] =
    "<office:font-face-decls><style:font-face style:name=\"qrkit QR\" svg:font-family=\"'qrkit QR'\" "
    "style:font-pitch=\"fixed\"/></office:font-face-decls>\n";

std::string writerDocument(const std::vector<OfficeCase>& cases) {
    std::string styles, masters, body;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string n = std::to_string(i);
        const OfficeCase& c = cases[i];
        styles += pageLayout("L" + n, officePage(c));
        // Single line spacing (100% of the font's line height), no space between paragraphs.
        const std::string paragraph =
            "<style:paragraph-properties fo:line-height=\"100%\" fo:margin-top=\"0pt\" "
            "fo:margin-bottom=\"0pt\" fo:margin-left=\"0pt\" fo:margin-right=\"0pt\" fo:text-indent=\"0pt\" "
            "fo:text-align=\"start\" style:snap-to-layout-grid=\"false\"/>";
        styles += "<style:style style:name=\"P" + n + "\" style:family=\"paragraph\">" + paragraph +
                  textProperties(c) + "</style:style>\n";
        // The first paragraph of a case starts its page.
        styles += "<style:style style:name=\"F" + n +
                  "\" style:family=\"paragraph\" style:master-page-name=\"M" + n + "\">" + paragraph +
                  textProperties(c) + "</style:style>\n";
        masters += "<style:master-page style:name=\"M" + n + "\" style:page-layout-name=\"L" + n + "\"/>\n";
        bool first = true;
        for (const std::string& line : lines(c.text)) {
            body += "<text:p text:style-name=\"" + std::string(first ? "F" : "P") + n + "\">" + line +
                    "</text:p>\n";
            first = false;
        }
    }
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document ") + kOfficeNamespaces +
           " office:mimetype=\"application/vnd.oasis.opendocument.text\">\n" + kFontFaces +
           "<office:automatic-styles>\n" + styles + "</office:automatic-styles>\n<office:master-styles>\n" +
           masters + "</office:master-styles>\n<office:body><office:text>\n" + body +
           "</office:text></office:body></office:document>\n";
}

std::string calcDocument(const std::vector<OfficeCase>& cases) {
    std::string styles, masters, body;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string n = std::to_string(i);
        const OfficeCase& c = cases[i];
        styles += pageLayout("L" + n, officePage(c));
        styles += "<style:style style:name=\"ta" + n +
                  "\" style:family=\"table\" style:master-page-name=\"M" + n +
                  "\"><style:table-properties table:display=\"true\"/></style:style>\n";
        styles += "<style:style style:name=\"co" + n +
                  "\" style:family=\"table-column\"><style:table-column-properties style:column-width=\"" +
                  number((longestLine(c.text) + 4) * calcModule(c)) + "pt\"/></style:style>\n";
        styles += "<style:style style:name=\"ro" + n +
                  "\" style:family=\"table-row\"><style:table-row-properties "
                  "style:use-optimal-row-height=\"true\"/></style:style>\n";
        // The lines in one cell, top left, never wrapped.
        styles += "<style:style style:name=\"ce" + n +
                  "\" style:family=\"table-cell\"><style:table-cell-properties fo:padding=\"0pt\" "
                  "style:vertical-align=\"top\" fo:wrap-option=\"no-wrap\"/><style:paragraph-properties "
                  "fo:text-align=\"start\"/>" +
                  textProperties(c) + "</style:style>\n";
        // No header or footer on the page.
        masters += "<style:master-page style:name=\"M" + n + "\" style:page-layout-name=\"L" + n + "\"/>\n";
        body += "<table:table table:name=\"Case" + n + "\" table:style-name=\"ta" + n +
                "\"><table:table-column table:style-name=\"co" + n +
                "\"/><table:table-row table:style-name=\"ro" + n +
                "\"><table:table-cell table:style-name=\"ce" + n + "\" office:value-type=\"string\">";
        for (const std::string& line : lines(c.text))
            body += "<text:p>" + line + "</text:p>";
        body += "</table:table-cell></table:table-row></table:table>\n";
    }
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document ") + kOfficeNamespaces +
           " office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\">\n" + kFontFaces +
           "<office:automatic-styles>\n" + styles + "</office:automatic-styles>\n<office:master-styles>\n" +
           masters + "</office:master-styles>\n<office:body><office:spreadsheet>\n" + body +
           "</office:spreadsheet></office:body></office:document>\n";
}

// Checks a PDF of LibreOffice: the qrkit QR font embedded, one page a case; then rasterises each page.
bool rasterisePdf(const EngineScratch& scratch, const std::string& pdf, const std::vector<OfficeCase>& cases,
                  std::vector<GreyImage>* pictures, std::string* error) {
    const std::string fonts = scratch.path("pdffonts.txt");
    const std::string info = scratch.path("pdfinfo.txt");
    if (!runShell("pdffonts '" + pdf + "' >'" + fonts + "'", scratch.log()) ||
        !runShell("pdfinfo '" + pdf + "' >'" + info + "'", scratch.log())) {
        *error = "pdffonts or pdfinfo failed on " + pdf;
        return false;
    }
    const std::string fontList = readText(fonts);
    if (fontList.find("qrkitQR-Regular") == std::string::npos) {
        *error = pdf + " does not embed the qrkit QR font:\n" + fontList;
        return false;
    }
    const std::string pages = "Pages:";
    const std::string infoText = readText(info);
    const std::size_t at = infoText.find(pages);
    const int pageCount = at == std::string::npos ? -1 : std::atoi(infoText.c_str() + at + pages.size());
    if (pageCount != static_cast<int>(cases.size())) {
        *error = pdf + " has " + std::to_string(pageCount) + " pages for " + std::to_string(cases.size()) +
                 " cases (a case did not fit its page)";
        return false;
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string page = std::to_string(i + 1);
        const std::string prefix = pdf.substr(0, pdf.size() - 4) + "-" + page;
        if (!runShell("pdftoppm -r " + std::to_string(cases[i].dpi) + " -f " + page + " -l " + page +
                          " -singlefile -gray -png '" + pdf + "' '" + prefix + "'",
                      scratch.log())) {
            *error = "pdftoppm failed on page " + page + " of " + pdf;
            return false;
        }
        GreyImage picture;
        if (!readPng(prefix + ".png", &picture)) {
            *error = "cannot read " + prefix + ".png";
            return false;
        }
        pictures->push_back(std::move(picture));
    }
    return true;
}

// One sheet of frames for Chromium.
struct Frame {
    std::size_t caseIndex;
    int left;
    int top;
};
struct Sheet {
    int dpi;
    int width = 0;
    int height = 0;
    std::vector<Frame> frames;
};

// Frames side by side in rows, 16 CSS pixels apart; a new sheet when a sheet would grow beyond about
// 6000 device pixels a side.
std::vector<Sheet> layOut(const std::vector<BrowserCase>& cases) {
    constexpr int kGap = 16;
    constexpr double kLargest = 6000;
    std::vector<Sheet> sheets;
    std::vector<int> dpis;
    for (const BrowserCase& c : cases) {
        if (std::find(dpis.begin(), dpis.end(), c.dpi) == dpis.end()) dpis.push_back(c.dpi);
    }
    for (int dpi : dpis) {
        const int limit = static_cast<int>(kLargest * 96 / dpi);
        Sheet sheet{dpi};
        int x = kGap, y = kGap, rowHeight = 0;
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const BrowserCase& c = cases[i];
            if (c.dpi != dpi) continue;
            if (x > kGap && x + c.width + kGap > limit) {
                x = kGap;
                y += rowHeight + kGap;
                rowHeight = 0;
            }
            if (y > kGap && y + c.height + kGap > limit) {
                sheets.push_back(sheet);
                sheet = Sheet{dpi};
                x = kGap;
                y = kGap;
                rowHeight = 0;
            }
            sheet.frames.push_back({i, x, y});
            sheet.width = std::max(sheet.width, x + c.width + kGap);
            sheet.height = std::max(sheet.height, y + c.height + kGap);
            x += c.width + kGap;
            rowHeight = std::max(rowHeight, c.height);
        }
        if (!sheet.frames.empty()) sheets.push_back(sheet);
    }
    return sheets;
}

}  // namespace

EngineScratch::EngineScratch(const std::string& name, const std::string& fontFile) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/qrkit-" + name + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    // Without a folder the paths name one that does not exist: every write and engine command fails, and
    // the tests say so.
    if (mkdtemp(buffer.data()) == nullptr) {
        std::cerr << "cannot make a scratch folder " << pattern << "\n";
        dir_ = pattern;
        return;
    }
    dir_ = buffer.data();
    made_ = true;
    std::error_code ignored;
    fs::create_directories(path("fonts"), ignored);
    fs::create_directories(path("home"), ignored);
    fontFile_ = path("fonts/qrkit-qr.ttf");
    fs::copy_file(fontFile, fontFile_, fs::copy_options::overwrite_existing, ignored);
    // The system's rendering settings and fonts, and the font's folder; caches of our own first.
    writeText(
        fontconfigFile(),
        "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n<fontconfig>\n"
        "  <cachedir>" +
            path("fontconfig-cache") + "</cachedir>\n  <dir>" + path("fonts") +
            "</dir>\n  <include ignore_missing=\"yes\">/etc/fonts/fonts.conf</include>\n</fontconfig>\n");
}

EngineScratch::~EngineScratch() {
    if (!made_) return;
    if (std::getenv("QRKIT_KEEP_RENDERINGS") != nullptr) {
        std::cout << "renderings kept in " << dir_ << "\n";
        return;
    }
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

std::string EngineScratch::logTail() const {
    const std::string text = readText(log());
    return text.size() > 3000 ? "..." + text.substr(text.size() - 3000) : text;
}

std::string missingPrograms(const std::vector<std::string>& names) {
    std::string missing;
    for (const std::string& name : names) {
        if (std::system(("command -v '" + name + "' >/dev/null 2>&1").c_str()) != 0)
            missing += (missing.empty() ? "" : " ") + name;
    }
    return missing;
}

bool renderWithHbView(const EngineScratch& scratch, const std::string& text, double pixelsPerEm,
                      const std::string& png) {
    const std::string input = png + ".txt";
    writeText(input, text);
    return runShell("timeout 60 hb-view --font-file='" + scratch.fontFile() +
                        "' --font-size=" + number(pixelsPerEm) + " --margin=" + quietMargin(pixelsPerEm) +
                        " -O png -o '" + png + "' --text-file='" + input + "'",
                    scratch.log());
}

bool renderWithPango(const EngineScratch& scratch, const std::string& text, double pixelsPerEm,
                     const std::string& png) {
    const std::string input = png + ".txt";
    writeText(input, text);
    return runShell("FONTCONFIG_FILE='" + scratch.fontconfigFile() +
                        "' timeout 60 pango-view -q --font='qrkit QR " + number(pixelsPerEm) +
                        "' --dpi=72 --margin=" + quietMargin(pixelsPerEm) + " -o '" + png + "' '" + input +
                        "'",
                    scratch.log());
}

bool renderWithLibreOffice(const EngineScratch& scratch, const std::vector<OfficeCase>& writer,
                           const std::vector<OfficeCase>& calc, std::vector<GreyImage>* writerPictures,
                           std::vector<GreyImage>* calcPictures, std::string* error) {
    // The profile's own font folder: LibreOffice finds the font there and nowhere else.
    const std::string profile = scratch.path("office-profile");
    fs::create_directories(profile + "/user/fonts");
    std::error_code copyError;
    fs::copy_file(scratch.fontFile(), profile + "/user/fonts/qrkit-qr.ttf",
                  fs::copy_options::overwrite_existing, copyError);
    std::string documents;
    if (!writer.empty()) {
        writeText(scratch.path("writer.fodt"), writerDocument(writer));
        documents += " '" + scratch.path("writer.fodt") + "'";
    }
    if (!calc.empty()) {
        writeText(scratch.path("calc.fods"), calcDocument(calc));
        documents += " '" + scratch.path("calc.fods") + "'";
    }
    if (documents.empty()) return true;
    if (!runShell(
            privateHome(scratch) + "timeout 600 soffice -env:UserInstallation=file://" + profile +
                " --headless --norestore --nologo --nodefault --nolockcheck --convert-to pdf --outdir '" +
                scratch.dir() + "'" + documents,
            scratch.log())) {
        *error = "LibreOffice did not convert the documents";
        return false;
    }
    return (writer.empty() ||
            rasterisePdf(scratch, scratch.path("writer.pdf"), writer, writerPictures, error)) &&
           (calc.empty() || rasterisePdf(scratch, scratch.path("calc.pdf"), calc, calcPictures, error));
}

bool renderWithChromium(const EngineScratch& scratch, const std::vector<BrowserCase>& cases,
                        std::vector<GreyImage>* pictures, std::string* error) {
    pictures->assign(cases.size(), GreyImage{});
    const std::vector<Sheet> sheets = layOut(cases);
    for (std::size_t s = 0; s < sheets.size(); ++s) {
        const Sheet& sheet = sheets[s];
        const std::string name = scratch.path("sheet-" + std::to_string(s));
        std::string html =
            "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><style>html, body { margin: 0; background: "
            "#ffffff; } iframe { position: absolute; border: 0; display: block; }</style></head><body>\n";
        for (const Frame& frame : sheet.frames) {
            const BrowserCase& c = cases[frame.caseIndex];
            html += "<iframe src=\"file://" + c.page +
                    "\" scrolling=\"no\" style=\"left: " + std::to_string(frame.left) +
                    "px; top: " + std::to_string(frame.top) + "px; width: " + std::to_string(c.width) +
                    "px; height: " + std::to_string(c.height) + "px\"></iframe>\n";
        }
        html += "</body></html>\n";
        writeText(name + ".html", html);
        const double scale = sheet.dpi / 96.0;
        // A fresh profile for each start; the flags keep Chromium off the (closed) network.
        const std::string profile = name + "-profile";
        if (!runShell(privateHome(scratch) +
                          "timeout 300 chromium --headless --no-sandbox --disable-gpu --disable-quic "
                          "--no-first-run --disable-background-networking --disable-component-update "
                          "--disable-sync --user-data-dir='" +
                          profile + "' --hide-scrollbars --force-device-scale-factor=" + number(scale) +
                          " --window-size=" + std::to_string(sheet.width) + "," +
                          std::to_string(sheet.height) + " --virtual-time-budget=10000 --screenshot='" +
                          name + ".png' 'file://" + name + ".html'",
                      scratch.log())) {
            *error = "Chromium did not take the screenshot of " + name + ".html";
            return false;
        }
        GreyImage shot;
        if (!readPng(name + ".png", &shot)) {
            *error = "cannot read " + name + ".png";
            return false;
        }
        for (const Frame& frame : sheet.frames) {
            const BrowserCase& c = cases[frame.caseIndex];
            const int left = static_cast<int>(std::floor(frame.left * scale));
            const int top = static_cast<int>(std::floor(frame.top * scale));
            const int right = static_cast<int>(std::ceil((frame.left + c.width) * scale));
            const int bottom = static_cast<int>(std::ceil((frame.top + c.height) * scale));
            (*pictures)[frame.caseIndex] = crop(shot, left, top, right - left, bottom - top);
        }
    }
    return true;
}

}  // namespace qrkit_test
