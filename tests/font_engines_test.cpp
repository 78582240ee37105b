// Font strings set in the qrkit QR font by real text engines and read back from the pictures by zbar
// and zxing-cpp: hb-view and pango-view over FreeType in every run; LibreOffice (Writer and Calc, to PDF,
// rasterised by pdftoppm) and headless Chromium (the tool's HTML page, screenshots) when
// QRKIT_FONT_ENGINES=all, as the full test run sets it.
//
// Every case must give the exact data, and the module pitch measured from the picture (the box of dark
// pixels over the module count) must be a quarter of the em within one pixel, across and down; down
// checks that single line spacing stacks the four-module bands with neither gaps nor overlaps.
// QRKIT_DOCS_PICTURES=<folder> saves the pictures the how-to pages show; QRKIT_KEEP_RENDERINGS keeps
// every rendering, QRKIT_FAILED_PICTURES=<folder> the framed picture of every failed case.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/html_page.h"
#include "formula/formula_object.h"
#include "qrkit/qrkit.h"
#include "support/decode.h"
#include "support/rendering.h"
#include "support/text_engines.h"

namespace {

using qrkit_test::GreyImage;

// A symbol to set: its font string and what the readers must give.
struct FontSymbol {
    std::string name;
    std::string text;  // the font string, lines joined by '\n'
    int rows = 0;
    int columns = 0;
    std::string data;  // the bytes the readers must give
    bool micro = false;
};

// Plain lower-case text of length bytes: byte mode, so the length bounds the capacity used.
std::string sampleText(std::size_t length) {
    const std::string words = "the qrkit qr font sets font strings as symbols that readers read. ";
    std::string text;
    while (text.size() < length)
        text += words;
    return text.substr(0, length);
}

FontSymbol fromHandle(const std::string& name, QRCODE_RESULT handle, const std::string& data, bool micro) {
    FontSymbol symbol;
    symbol.name = name;
    symbol.data = data;
    symbol.micro = micro;
    if (handle == nullptr) return symbol;
    symbol.text = QRCodeResultGetBarcodeString2(handle, "\n");
    const qrkit_test::ModuleMatrix matrix =
        qrkit_test::ModuleMatrix::fromPattern(reinterpret_cast<kelvane2::IObjectBase*>(handle));
    symbol.rows = matrix.rows;
    symbol.columns = matrix.columns;
    DestroyQRCodeEncodeResult(handle);
    return symbol;
}

// QR Code at an exact version and level.
FontSymbol qrSymbol(int version, int level, std::size_t length) {
    const std::string data = sampleText(length);
    const std::string name = "version " + std::to_string(version) + "-" + "LMQH"[level];
    return fromHandle(name, QRCodeEncode2(data.c_str(), version | 0x8000, level), data, false);
}

FontSymbol microSymbol(int version, int level, const std::string& data) {
    QRCODE_RESULT handle = MicroQRCodeEncode2(data.c_str(), version, level);
    const std::string name = "M" + std::to_string(version);
    if (handle != nullptr && QRCodeResultGetVersion(handle) != version) {
        DestroyQRCodeEncodeResult(handle);
        handle = nullptr;
    }
    return fromHandle(name, handle, data, true);
}

// The symbols every engine sets. Data lengths are about 85% of the byte-mode capacity of the version
// and level (the standard's capacity table), so that each symbol is nearly full.
const std::vector<FontSymbol>& symbols() {
    static const std::vector<FontSymbol> all = [] {
        std::vector<FontSymbol> list = {
            qrSymbol(1, 0, 14),
            qrSymbol(1, 3, 6),
            qrSymbol(2, 0, 28),
            qrSymbol(2, 3, 12),
            qrSymbol(10, 0, 230),
            qrSymbol(10, 3, 100),
            qrSymbol(25, 0, 1080),
            qrSymbol(25, 3, 450),
            qrSymbol(40, 0, 2500),
            qrSymbol(40, 3, 1080),
            // M1 has error detection only; M2-M4 at the levels they offer.
            microSymbol(1, 0, "12345"),
            microSymbol(2, 0, "QRKIT2"),
            microSymbol(3, 1, "qrkit 3"),
            microSymbol(4, 2, "qrkit M4Q"),
        };
        // The Swiss cross in the centre: the overlay block is no part of the data.
        list.push_back(fromHandle(":swiss7 overlay, level H (version 6)",
                                  QRCodeEncode2("~50[:swiss7]https://example.com/qrkit", 0, 3),
                                  "https://example.com/qrkit", false));
        return list;
    }();
    return all;
}

// A font size at a resolution.
struct Size {
    double points;
    int dpi;
};

double emPixels(const Size& size) {
    return size.points * size.dpi / 72.0;
}

std::string sizeName(const Size& size) {
    std::ostringstream name;
    name << size.points << " pt at " << size.dpi << " dpi";
    return name.str();
}

// The sizes every engine sets, from small to large at each resolution, each with an em of whole device
// pixels: at 96 dpi 4, 6 and 8 pixels a module; at 300 dpi 6.25 and 12.5; at 600 dpi 12.5 and 25.
const std::vector<Size> kSizes = {{12, 96}, {18, 96}, {24, 96}, {6, 300}, {12, 300}, {6, 600}, {12, 600}};
// Small sizes (3, 3 and 4 pixels a module) for the engines that draw at device pixels: hb-view, Pango,
// Chromium, and LibreOffice at 96 dpi. LibreOffice places glyphs on its own grid of twentieths of a
// point, which below about 6 pt moves modules by a good part of a pixel at 300 and 600 dpi (the sweep
// measures where it reads).
const std::vector<Size> kSmallSizes = {{9, 96}, {2.88, 300}, {1.92, 600}};
// Sizes whose em falls between device pixels (17.33, 33.33 and 20.83 pixels: 4.33, 8.33 and 5.21 a
// module), for the engines that place glyphs and lines at fractions of a pixel or write PDF to be
// rasterised later: LibreOffice Writer and Chromium. hb-view and Pango draw every glyph and line at a
// whole pixel, which opens light lines between columns and bands at such sizes (the how-to pages say
// so).
const std::vector<Size> kBetweenPixelSizes = {{13, 96}, {8, 300}, {2.5, 600}};

// The largest picture side a case may need; larger cases are left out (only version 40 at 12 pt and
// 600 dpi: 185 modules of 25 pixels).
constexpr double kLargestSide = 4000;
// zxing-cpp 1.4, the only reader of Micro QR Code here, misses Micro symbols below about five pixels a
// module even in perfect pictures (seen with symbols drawn at exact coverage and random offsets: M3
// and M4 failed in up to four of ten pictures from 3 to 4.5 pixels). Micro cases start at six; the
// sweep measures how small an M3 symbol still reads.
constexpr double kSmallestMicroModule = 6;

bool fits(const FontSymbol& symbol, const Size& size) {
    const double module = emPixels(size) / 4;
    return (symbol.columns + 8) * module <= kLargestSide && (!symbol.micro || module >= kSmallestMicroModule);
}

// How a picture fared.
struct Verdict {
    bool read = false;    // every reader gave the exact data
    std::string failure;  // what went wrong, for the failure message
};

// The symbol of a picture with a quiet zone of four modules (one em) around its dark box, as far as the
// picture reaches.
GreyImage framed(const GreyImage& picture, const Size& size) {
    const qrkit_test::PixelBox box = qrkit_test::darkBox(picture);
    const int quiet = static_cast<int>(std::lround(emPixels(size)));
    return qrkit_test::crop(picture, box.left - quiet, box.top - quiet, box.width() + 2 * quiet,
                            box.height() + 2 * quiet);
}

// Reads a picture of symbol set at size: both readers (zxing-cpp alone for Micro QR Code) must give the
// exact data, and the module pitch must be a quarter of the em within one pixel.
Verdict judge(const GreyImage& picture, const FontSymbol& symbol, const Size& size) {
    Verdict verdict;
    std::ostringstream why;
    const qrkit_test::PixelBox box = qrkit_test::darkBox(picture);
    if (box.empty()) {
        verdict.failure = picture.width == 0 ? "no picture" : "a blank picture";
        return verdict;
    }
    // Dark runs reach 1/16 module beyond their modules on each side (the font's overlap).
    const double pitchAcross = box.width() / (symbol.columns + 0.125);
    const double pitchDown = box.height() / (symbol.rows + 0.125);
    const double expected = emPixels(size) / 4;
    if (std::fabs(pitchAcross - expected) > 1 || std::fabs(pitchDown - expected) > 1)
        why << "module pitch " << pitchAcross << " x " << pitchDown << " px, expected " << expected << "; ";
    // The readers get the symbol with its quiet zone, as a scanner frames it.
    const qrkit_test::PictureReading reading = qrkit_test::readPicture(framed(picture, size));
    if (!reading.zxing.ok) {
        why << reading.zxing.message << "; ";
    } else if (reading.zxing.bytes != symbol.data) {
        why << "zxing-cpp read \"" << qrkit_test::printable(reading.zxing.bytes.substr(0, 60)) << "\"; ";
    }
    if (!symbol.micro) {
        if (!reading.zbar.ok) {
            why << reading.zbar.message << "; ";
        } else if (reading.zbar.bytes != symbol.data) {
            why << "zbar read \"" << qrkit_test::printable(reading.zbar.bytes.substr(0, 60)) << "\"; ";
        }
    }
    verdict.failure = why.str();
    verdict.read = verdict.failure.empty();
    return verdict;
}

// A case of an engine run: a symbol at a size.
struct Case {
    const FontSymbol* symbol;
    Size size;
};

// Every symbol at every size of the lists that fits.
std::vector<Case> everyCase(const std::vector<std::vector<Size>>& lists) {
    std::vector<Size> sizes;
    for (const std::vector<Size>& list : lists)
        sizes.insert(sizes.end(), list.begin(), list.end());
    std::vector<Case> cases;
    for (const Size& size : sizes) {
        for (const FontSymbol& symbol : symbols()) {
            if (fits(symbol, size)) cases.push_back({&symbol, size});
        }
    }
    return cases;
}

// QRKIT_FAILED_PICTURES=<folder> keeps the framed picture of every case that fails, for a look.
void keepFailedPicture(const std::string& name, const GreyImage& picture) {
    const char* folder = std::getenv("QRKIT_FAILED_PICTURES");
    if (folder == nullptr || *folder == '\0' || picture.width == 0) return;
    std::string file;
    for (char c : name)
        file += std::isalnum(static_cast<unsigned char>(c)) || c == '.' ? c : '_';
    qrkit_test::writePng(std::string(folder) + "/" + file + ".png", picture);
}

void expectAllRead(const std::string& engine, const std::vector<Case>& cases,
                   const std::vector<GreyImage>& pictures) {
    ASSERT_EQ(pictures.size(), cases.size());
    int read = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Verdict verdict = judge(pictures[i], *cases[i].symbol, cases[i].size);
        if (verdict.read) ++read;
        if (!verdict.read)
            keepFailedPicture(engine + " " + cases[i].symbol->name + " " + sizeName(cases[i].size),
                              framed(pictures[i], cases[i].size));
        EXPECT_TRUE(verdict.read) << engine << ", " << cases[i].symbol->name << ", "
                                  << sizeName(cases[i].size) << ": " << verdict.failure;
    }
    std::printf("%s: %d of %zu cases read\n", engine.c_str(), read, cases.size());
}

// The smallest readable size: sizes whose module is 0.75 to 3 device pixels in steps of a quarter pixel,
// then to 8 in steps of a half, at each resolution, for a short URL's symbol (version 2-M), a longer
// text's (version 10-L) and a Micro QR Code symbol (M3).
const std::vector<FontSymbol>& sweepSymbols() {
    static const std::vector<FontSymbol> all = {
        fromHandle("version 2-M URL", QRCodeEncode2("https://example.com/qr/a1", 2 | 0x8000, 1),
                   "https://example.com/qr/a1", false),
        qrSymbol(10, 0, 230),
        microSymbol(3, 1, "qrkit 3"),
    };
    return all;
}
std::vector<double> sweepModules() {
    std::vector<double> modules;
    for (int quarter = 3; quarter <= 12; ++quarter)
        modules.push_back(quarter / 4.0);
    for (int half = 7; half <= 16; ++half)
        modules.push_back(half / 2.0);
    return modules;
}
// The sweep at the resolutions given: hb-view and Pango work in device pixels alone, so one resolution
// tells for all; LibreOffice works in points and Chromium in CSS pixels, so they get all three.
std::vector<Case> sweepCases(const std::vector<int>& dpis) {
    std::vector<Case> cases;
    for (int dpi : dpis) {
        for (double pixels : sweepModules()) {
            for (const FontSymbol& symbol : sweepSymbols())
                cases.push_back({&symbol, {pixels * 288 / dpi, dpi}});
        }
    }
    return cases;
}

// The smallest module size of the sweep (device pixels) from which every larger size of the sweep reads,
// for QR Code (both QR sweep symbols) and for Micro QR Code, by resolution; 0 when even the largest fails.
struct Smallest {
    std::map<int, double> qr;
    std::map<int, double> micro;
};

Smallest findSmallest(const std::string& engine, const std::vector<Case>& cases,
                      const std::vector<GreyImage>& pictures) {
    // The largest failing module size by kind and resolution.
    std::map<int, double> failedQr, failedMicro;
    std::string failures;
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const Verdict verdict = judge(pictures[k], *cases[k].symbol, cases[k].size);
        if (verdict.read) continue;
        char size[64];
        std::snprintf(size, sizeof size, " %.2f px at %d dpi", emPixels(cases[k].size) / 4,
                      cases[k].size.dpi);
        failures += "\n  " + cases[k].symbol->name + size + ": " + verdict.failure;
        keepFailedPicture(engine + " sweep " + cases[k].symbol->name + size,
                          framed(pictures[k], cases[k].size));
        std::map<int, double>& failed = cases[k].symbol->micro ? failedMicro : failedQr;
        double& largest = failed[cases[k].size.dpi];
        largest = std::max(largest, emPixels(cases[k].size) / 4);
    }
    std::printf("%s: the sweep fails at%s\n", engine.c_str(),
                failures.empty() ? " no size" : failures.c_str());
    const std::vector<double> modules = sweepModules();
    std::vector<int> dpis;
    for (const Case& c : cases) {
        if (std::find(dpis.begin(), dpis.end(), c.size.dpi) == dpis.end()) dpis.push_back(c.size.dpi);
    }
    Smallest smallest;
    for (int dpi : dpis) {
        for (bool micro : {false, true}) {
            const std::map<int, double>& failed = micro ? failedMicro : failedQr;
            const double largestFailure = failed.count(dpi) ? failed.at(dpi) : 0;
            double from = 0;
            for (double m : modules) {
                if (m > largestFailure + 1e-9) {
                    from = m;
                    break;
                }
            }
            (micro ? smallest.micro : smallest.qr)[dpi] = from;
            const char* kind = micro ? "Micro QR Code" : "QR Code";
            if (from > 0 && dpis.size() == 1) {
                std::printf(
                    "%s: %s reads from %.2f device pixels a module: %.2f pt at 96 dpi, %.2f pt at 300 "
                    "dpi, %.2f pt at 600 dpi\n",
                    engine.c_str(), kind, from, from * 3, from * 288 / 300, from * 288 / 600);
            } else if (from > 0) {
                std::printf("%s: %s at %d dpi reads from %.2f pixels a module (%.2f pt)\n", engine.c_str(),
                            kind, dpi, from, from * 288 / dpi);
            } else {
                std::printf("%s: %s at %d dpi reads at no size of the sweep\n", engine.c_str(), kind, dpi);
            }
        }
    }
    return smallest;
}

// The module sizes, in device pixels by resolution, from which the how-to pages say each engine's
// rendering reads (QR Code, Micro QR Code); the sweep must read from there up.
struct Documented {
    int dpi;
    double qr;
    double micro;
};
void expectSmallestAtMost(const std::string& engine, const Smallest& found,
                          const std::vector<Documented>& documented) {
    for (const Documented& d : documented) {
        ASSERT_TRUE(found.qr.count(d.dpi) && found.micro.count(d.dpi)) << engine << ": no sweep at " << d.dpi;
        const double qr = found.qr.at(d.dpi);
        const double micro = found.micro.at(d.dpi);
        EXPECT_TRUE(qr > 0 && qr <= d.qr + 1e-9)
            << engine << " at " << d.dpi << " dpi reads QR Code only from " << qr << " pixels a module";
        EXPECT_TRUE(micro > 0 && micro <= d.micro + 1e-9)
            << engine << " at " << d.dpi << " dpi reads Micro QR Code only from " << micro
            << " pixels a module";
    }
}

std::string fontFile() {
    return QRKIT_FONT_TTF;
}

// Saves a picture for the how-to pages when QRKIT_DOCS_PICTURES names a folder: the symbol with a quiet
// zone of four modules.
void savePicture(const std::string& name, const GreyImage& rendering, const FontSymbol& symbol,
                 const Size& size) {
    const char* folder = std::getenv("QRKIT_DOCS_PICTURES");
    if (folder == nullptr || *folder == '\0') return;
    const GreyImage picture = framed(rendering, size);
    EXPECT_TRUE(judge(picture, symbol, size).read) << name << " does not read once framed";
    EXPECT_TRUE(qrkit_test::writePng(std::string(folder) + "/" + name, picture)) << name;
}

bool fullRun() {
    const char* engines = std::getenv("QRKIT_FONT_ENGINES");
    return engines != nullptr && std::string(engines) == "all";
}

// A font string joined from the formula object's chunks, as a report formula joins them.
std::string formulaFontString(const std::u16string& data, int level) {
    using namespace kelvane2::formula;
    kelvane2::platform::BSTR text = kelvane2::platform::SysAllocStringLen(
        reinterpret_cast<const kelvane2::platform::OLECHAR*>(data.data()),
        static_cast<kelvane2::platform::UINT>(data.size()));
    LONG chunks = 0;
    std::string joined;
    if (encodeSet(SymbolKind::kQrCode, text, 0, level, &chunks) == kelvane2::platform::kHrOk) {
        for (LONG k = 0; k < chunks; ++k) {
            kelvane2::platform::BSTR chunk = nullptr;
            encodeGet(k, &chunk);
            for (kelvane2::platform::UINT i = 0; i < kelvane2::platform::SysStringLen(chunk); ++i)
                joined += static_cast<char>(chunk[i]);
            kelvane2::platform::SysFreeString(chunk);
        }
    }
    kelvane2::platform::SysFreeString(text);
    // The report field breaks lines at "\r\n"; the engines here at "\n".
    std::string lines;
    for (char c : joined) {
        if (c != '\r') lines += c;
    }
    return lines;
}

// The pictures of the how-to pages, set like the rest.
FontSymbol docsSymbol() {
    return fromHandle("docs, https://example.com/qrkit at M",
                      QRCodeEncode2("https://example.com/qrkit", 0, 1), "https://example.com/qrkit", false);
}
const Size kDocsSize{18, 96};  // six pixels a module

// The smallest sizes, in device pixels a module, from which the how-to pages say each engine's
// rendering reads: QR Code, Micro QR Code.
// hb-view and Pango work in device pixels alone, so one resolution stands for all.
const std::vector<Documented> kSmallestHbView = {{96, 2.5, 2.5}};
const std::vector<Documented> kSmallestPango = {{96, 1.75, 2.5}};
const std::vector<Documented> kSmallestLibreOffice = {{96, 2, 2}, {300, 6.5, 5.5}, {600, 5.5, 5}};
const std::vector<Documented> kSmallestChromium = {{96, 2, 2.5}, {300, 2, 2.5}, {600, 2, 3.5}};

// Runs cases through one of the quick engines, one picture a case.
std::vector<GreyImage> renderEach(const qrkit_test::EngineScratch& scratch, const std::vector<Case>& cases,
                                  const std::function<bool(const Case&, const std::string&)>& render) {
    std::vector<GreyImage> pictures;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string png = scratch.path("case-" + std::to_string(pictures.size()) + ".png");
        GreyImage picture;
        if (render(cases[i], png)) qrkit_test::readPng(png, &picture);
        pictures.push_back(std::move(picture));
    }
    return pictures;
}

bool hbView(const qrkit_test::EngineScratch& scratch, const std::string& text, const Size& size,
            const std::string& png) {
    return qrkit_test::renderWithHbView(scratch, text, emPixels(size), png);
}

bool pango(const qrkit_test::EngineScratch& scratch, const std::string& text, const Size& size,
           const std::string& png) {
    return qrkit_test::renderWithPango(scratch, text, emPixels(size), png);
}

class FontEngine : public testing::Test {
  protected:
    void SetUp() override {
        for (const FontSymbol& symbol : symbols())
            ASSERT_GT(symbol.rows, 0) << symbol.name << " did not encode";
        for (const FontSymbol& symbol : sweepSymbols())
            ASSERT_GT(symbol.rows, 0) << symbol.name << " did not encode";
    }
};

// One of the quick engines: renders one picture a case with render(scratch, text, size, png).
struct QuickEngine {
    const char* name;
    const char* program;
    const char* package;
    bool (*render)(const qrkit_test::EngineScratch&, const std::string&, const Size&, const std::string&);
    const std::vector<Documented>* smallest;
};
const QuickEngine kHbView{"hb-view", "hb-view", "libharfbuzz-bin", hbView, &kSmallestHbView};
const QuickEngine kPango{"pango-view", "pango-view", "pango1.0-tools", pango, &kSmallestPango};

std::vector<GreyImage> renderWith(const QuickEngine& engine, const qrkit_test::EngineScratch& scratch,
                                  const std::vector<Case>& cases) {
    return renderEach(scratch, cases, [&](const Case& c, const std::string& png) {
        return engine.render(scratch, c.symbol->text, c.size, png);
    });
}

// Every symbol at every size the engine draws (whole-pixel ems; see kBetweenPixelSizes).
void setEverySymbol(const QuickEngine& engine) {
    ASSERT_EQ(qrkit_test::missingPrograms({engine.program}), "")
        << "install " << engine.package << " (scripts/install-deps.sh)";
    qrkit_test::EngineScratch scratch(engine.name, fontFile());
    const std::vector<Case> cases = everyCase({kSizes, kSmallSizes});
    expectAllRead(engine.name, cases, renderWith(engine, scratch, cases));
}

// The sweep at one resolution: these engines work in device pixels alone.
void sweep(const QuickEngine& engine) {
    ASSERT_EQ(qrkit_test::missingPrograms({engine.program}), "")
        << "install " << engine.package << " (scripts/install-deps.sh)";
    qrkit_test::EngineScratch scratch(std::string(engine.name) + "-sweep", fontFile());
    const std::vector<Case> cases = sweepCases({96});
    expectSmallestAtMost(engine.name, findSmallest(engine.name, cases, renderWith(engine, scratch, cases)),
                         *engine.smallest);
}

TEST_F(FontEngine, HarfBuzzSetsEverySymbolAtEverySize) {
    setEverySymbol(kHbView);
}

TEST_F(FontEngine, HarfBuzzSmallestReadableSize) {
    sweep(kHbView);
}

TEST_F(FontEngine, PangoSetsEverySymbolAtEverySize) {
    setEverySymbol(kPango);
}

TEST_F(FontEngine, PangoSmallestReadableSize) {
    sweep(kPango);
}

// The pictures of the how-to pages that the quick engines make: the glyph table, a symbol from the C
// exports (hb-view) and one joined from the formula object's chunks as a report formula joins them
// (Pango, standing in for the report writer's text field).
TEST_F(FontEngine, HowToPicturesOfTheQuickEngines) {
    ASSERT_EQ(qrkit_test::missingPrograms({"hb-view", "pango-view"}), "");
    qrkit_test::EngineScratch scratch("how-to", fontFile());
    const FontSymbol symbol = docsSymbol();
    GreyImage picture;
    ASSERT_TRUE(hbView(scratch, symbol.text, kDocsSize, scratch.path("c.png")) &&
                qrkit_test::readPng(scratch.path("c.png"), &picture))
        << scratch.logTail();
    EXPECT_TRUE(judge(picture, symbol, kDocsSize).read) << judge(picture, symbol, kDocsSize).failure;
    savePicture("c-exports.png", picture, symbol, kDocsSize);

    FontSymbol report = symbol;
    report.name = "formula chunks";
    report.text = formulaFontString(u"https://example.com/qrkit", 1);
    ASSERT_EQ(report.text, symbol.text) << "the joined chunks differ from the export's font string";
    ASSERT_TRUE(pango(scratch, report.text, kDocsSize, scratch.path("report.png")) &&
                qrkit_test::readPng(scratch.path("report.png"), &picture))
        << scratch.logTail();
    EXPECT_TRUE(judge(picture, report, kDocsSize).read) << judge(picture, report, kDocsSize).failure;
    savePicture("report-writer.png", picture, report, kDocsSize);

    // The sixteen glyphs, a light module between each two: 31 modules across, four down.
    ASSERT_TRUE(hbView(scratch, "0 1 2 3 4 5 6 7 8 9 A B C D E F", {48, 96}, scratch.path("glyphs.png")) &&
                qrkit_test::readPng(scratch.path("glyphs.png"), &picture));
    const qrkit_test::PixelBox box = qrkit_test::darkBox(picture);
    // '0' is all light, so the dark box starts at '1' (module 2) and ends with 'F' (module 30).
    EXPECT_NEAR(box.width(), (29 + 0.125) * 16, 2);
    EXPECT_NEAR(box.height(), (4 + 0.125) * 16, 2);
    const char* folder = std::getenv("QRKIT_DOCS_PICTURES");
    if (folder != nullptr && *folder != '\0') {
        EXPECT_TRUE(qrkit_test::writePng(std::string(folder) + "/glyphs.png",
                                         qrkit_test::crop(picture, 0, 0, picture.width, picture.height)));
    }
}

// LibreOffice: every case in Writer, every symbol at one size a resolution in Calc, one start.
TEST_F(FontEngine, LibreOfficeSetsEverySymbolAtEverySize) {
    if (!fullRun()) GTEST_SKIP() << "LibreOffice runs with QRKIT_FONT_ENGINES=all (the full test run)";
    ASSERT_EQ(qrkit_test::missingPrograms({"soffice", "pdftoppm", "pdffonts", "pdfinfo"}), "")
        << "install libreoffice-writer-nogui, libreoffice-calc-nogui and poppler-utils "
           "(scripts/install-deps.sh)";
    qrkit_test::EngineScratch scratch("libreoffice", fontFile());
    const FontSymbol docs = docsSymbol();
    // Writer: the small sizes at 96 dpi only (see kSmallSizes).
    std::vector<Case> writer = everyCase({kSizes, {kSmallSizes[0]}, kBetweenPixelSizes});
    const std::size_t sweepFrom = writer.size();
    for (const Case& c : sweepCases({96, 300, 600}))
        writer.push_back(c);
    writer.push_back({&docs, kDocsSize});
    std::vector<Case> calc;
    // Calc: one size a resolution. Calc places the characters of a cell on a coarser grid than Writer:
    // at 13 pt and 96 dpi (4.33 pixels a module) it stretches version 40 across by more than a percent,
    // and the symbol no longer reads; at whole pixels it does.
    for (const Size& size : {Size{12, 96}, Size{8, 300}, Size{6, 600}}) {
        for (const FontSymbol& symbol : symbols()) {
            if (fits(symbol, size)) calc.push_back({&symbol, size});
        }
    }
    calc.push_back({&docs, kDocsSize});
    auto officeCases = [](const std::vector<Case>& cases) {
        std::vector<qrkit_test::OfficeCase> out;
        for (const Case& c : cases)
            out.push_back({c.symbol->text, c.size.points, c.size.dpi});
        return out;
    };
    std::vector<GreyImage> writerPictures, calcPictures;
    std::string error;
    ASSERT_TRUE(qrkit_test::renderWithLibreOffice(scratch, officeCases(writer), officeCases(calc),
                                                  &writerPictures, &calcPictures, &error))
        << error << "\n"
        << scratch.logTail();
    ASSERT_EQ(writerPictures.size(), writer.size());
    ASSERT_EQ(calcPictures.size(), calc.size());

    const std::vector<Case> main(writer.begin(), writer.begin() + static_cast<std::ptrdiff_t>(sweepFrom));
    expectAllRead("LibreOffice Writer", main,
                  std::vector<GreyImage>(writerPictures.begin(),
                                         writerPictures.begin() + static_cast<std::ptrdiff_t>(sweepFrom)));
    const std::vector<Case> sweep(writer.begin() + static_cast<std::ptrdiff_t>(sweepFrom), writer.end() - 1);
    const std::vector<GreyImage> sweepPictures(
        writerPictures.begin() + static_cast<std::ptrdiff_t>(sweepFrom), writerPictures.end() - 1);
    expectSmallestAtMost("LibreOffice Writer", findSmallest("LibreOffice Writer", sweep, sweepPictures),
                         kSmallestLibreOffice);
    expectAllRead("LibreOffice Calc", calc, calcPictures);
    savePicture("libreoffice-writer.png", writerPictures.back(), docs, kDocsSize);
    savePicture("libreoffice-calc.png", calcPictures.back(), docs, kDocsSize);
}

// Chromium: the HTML page of the tool for every case, one start a sheet of frames.
TEST_F(FontEngine, ChromiumSetsEverySymbolAtEverySize) {
    if (!fullRun()) GTEST_SKIP() << "Chromium runs with QRKIT_FONT_ENGINES=all (the full test run)";
    ASSERT_EQ(qrkit_test::missingPrograms({"chromium"}), "") << "install chromium (scripts/install-deps.sh)";
    qrkit_test::EngineScratch scratch("chromium", fontFile());
    const FontSymbol docs = docsSymbol();
    std::vector<Case> cases = everyCase({kSizes, kSmallSizes, kBetweenPixelSizes});
    const std::size_t sweepFrom = cases.size();
    for (const Case& c : sweepCases({96, 300, 600}))
        cases.push_back(c);
    std::vector<qrkit_test::BrowserCase> pages;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        // The font size in CSS pixels for the size in points; device pixels follow from the resolution.
        qrkit_cli::HtmlPageStyle style;
        style.moduleSize = c.size.points * 96 / 72 / 4;
        style.quietZone = 4;
        const std::string page = scratch.path("page-" + std::to_string(i) + ".html");
        std::ofstream(page) << qrkit_cli::htmlPage(c.symbol->text, style);
        const int lines = (c.symbol->rows + 3) / 4;
        pages.push_back({page, static_cast<int>(std::ceil((c.symbol->columns + 8) * style.moduleSize)) + 2,
                         static_cast<int>(std::ceil((lines * 4 + 8) * style.moduleSize)) + 2, c.size.dpi});
    }
    // The tool's own page of the how-to picture: six CSS pixels a module, a 24px (18pt) font.
    const std::string toolPage = scratch.path("tool.html");
    const std::string command = std::string(QRKIT_CLI_PATH) + " encode --level M --module-size 6 -o '" +
                                toolPage + "' 'https://example.com/qrkit'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    pages.push_back({toolPage, (docs.columns + 8) * 6 + 2, (((docs.rows + 3) / 4) * 4 + 8) * 6 + 2, 96});
    cases.push_back({&docs, kDocsSize});

    std::vector<GreyImage> pictures;
    std::string error;
    ASSERT_TRUE(qrkit_test::renderWithChromium(scratch, pages, &pictures, &error)) << error << "\n"
                                                                                   << scratch.logTail();
    ASSERT_EQ(pictures.size(), cases.size());
    expectAllRead(
        "Chromium", std::vector<Case>(cases.begin(), cases.begin() + static_cast<std::ptrdiff_t>(sweepFrom)),
        std::vector<GreyImage>(pictures.begin(), pictures.begin() + static_cast<std::ptrdiff_t>(sweepFrom)));
    const std::vector<Case> sweep(cases.begin() + static_cast<std::ptrdiff_t>(sweepFrom), cases.end() - 1);
    const std::vector<GreyImage> sweepPictures(pictures.begin() + static_cast<std::ptrdiff_t>(sweepFrom),
                                               pictures.end() - 1);
    expectSmallestAtMost("Chromium", findSmallest("Chromium", sweep, sweepPictures), kSmallestChromium);
    EXPECT_TRUE(judge(pictures.back(), docs, kDocsSize).read)
        << "the tool's page: " << judge(pictures.back(), docs, kDocsSize).failure;
    savePicture("html-page.png", pictures.back(), docs, kDocsSize);
}

}  // namespace
