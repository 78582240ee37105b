// Real text engines that set font strings in the qrkit QR font and hand back pictures: hb-view and
// pango-view over FreeType, LibreOffice headless (documents to PDF, rasterised by pdftoppm) and headless
// Chromium (screenshots). Each engine finds the font in a scratch folder of the test (a fontconfig
// configuration of its own, a LibreOffice profile of its own, a data URI); nothing is installed for the
// system.
#ifndef QRKIT_TESTS_SUPPORT_TEXT_ENGINES_H
#define QRKIT_TESTS_SUPPORT_TEXT_ENGINES_H

#include <string>
#include <vector>

#include "support/decode.h"

namespace qrkit_test {

// A scratch folder with a copy of the font in fonts/ and a fontconfig configuration, fonts.conf, that
// names that folder alone. Removed with the object unless QRKIT_KEEP_RENDERINGS is set in the
// environment (then its path is printed).
class EngineScratch {
  public:
    EngineScratch(const std::string& name, const std::string& fontFile);
    ~EngineScratch();
    EngineScratch(const EngineScratch&) = delete;
    EngineScratch& operator=(const EngineScratch&) = delete;

    const std::string& dir() const { return dir_; }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    std::string fontFile() const { return fontFile_; }
    std::string fontconfigFile() const { return path("fonts.conf"); }
    // The log every engine command of this folder appends to.
    std::string log() const { return path("engines.log"); }
    // The log's last lines, for failure messages.
    std::string logTail() const;

  private:
    std::string dir_;
    std::string fontFile_;
    bool made_ = false;
};

// The programs of names that are not on PATH, joined by spaces; empty when all are.
std::string missingPrograms(const std::vector<std::string>& names);

// hb-view: HarfBuzz sets the lines, cairo draws FreeType's outlines; the size in pixels per em. The
// picture has a light margin of one em (four modules), at least 16 pixels.
bool renderWithHbView(const EngineScratch& scratch, const std::string& text, double pixelsPerEm,
                      const std::string& png);
// pango-view with the scratch folder's fontconfig: Pango lays out the lines (single spacing, no
// wrapping); a light margin as for hb-view. The size in pixels per em goes to Pango as points at 72 dpi:
// Pango keeps sizes in 1/1024 points, and a size in points at another resolution would come out a
// little off a whole pixel, which Pango's rounding of line heights turns into a whole pixel more.
bool renderWithPango(const EngineScratch& scratch, const std::string& text, double pixelsPerEm,
                     const std::string& png);

// A font string for LibreOffice: set at a size in points in a page (Writer) or a cell (Calc) of its own,
// rasterised at dpi.
struct OfficeCase {
    std::string text;  // lines joined by '\n'
    double points = 10;
    int dpi = 96;
};
// Writes a Writer document (one page a case, paragraphs with single line spacing) and a Calc document
// (one sheet a case, the lines in one cell), converts both to PDF with a single start of LibreOffice on
// a profile of its own whose font folder holds the font, checks that each PDF embeds the qrkit QR font
// and has one page a case, and rasterises every page with pdftoppm. Fills the pictures in case order;
// false with the reason in *error when any step fails.
bool renderWithLibreOffice(const EngineScratch& scratch, const std::vector<OfficeCase>& writer,
                           const std::vector<OfficeCase>& calc, std::vector<GreyImage>* writerPictures,
                           std::vector<GreyImage>* calcPictures, std::string* error);

// An HTML page for Chromium, shown in a frame of width x height CSS pixels, at dpi (96 is one device
// pixel a CSS pixel).
struct BrowserCase {
    std::string page;  // path of the page
    int width = 0;
    int height = 0;
    int dpi = 96;
};
// Lays the pages out side by side in frames on sheets, one sheet for each resolution (more when one
// would be too large), takes a screenshot of each sheet with one start of headless Chromium on a fresh
// profile, and cuts out each page's frame. Fills the pictures in case order; false with the reason in
// *error when any step fails.
bool renderWithChromium(const EngineScratch& scratch, const std::vector<BrowserCase>& cases,
                        std::vector<GreyImage>* pictures, std::string* error);

}  // namespace qrkit_test

#endif
