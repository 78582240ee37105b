#include "cli/shift_jis.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

#include "cli/literal_data.h"

namespace qrkit_cli {

namespace {

// One iconv conversion, closed with the object.
class Converter {
  public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all of in; false when any of it does not convert.
    bool convert(std::string_view in, std::string* out) {
        out->clear();
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        char* source = const_cast<char*>(in.data());
        std::size_t left = in.size();
        char buffer[256];
        while (left > 0) {
            char* target = buffer;
            std::size_t room = sizeof buffer;
            const std::size_t done = iconv(handle_, &source, &left, &target, &room);
            out->append(buffer, static_cast<std::size_t>(target - buffer));
            if (done == static_cast<std::size_t>(-1) && errno != E2BIG) return false;
        }
        char* target = buffer;
        std::size_t room = sizeof buffer;
        if (iconv(handle_, nullptr, nullptr, &target, &room) == static_cast<std::size_t>(-1)) return false;
        out->append(buffer, static_cast<std::size_t>(target - buffer));
        return true;
    }

  private:
    iconv_t handle_;
};

constexpr const char* kShiftJis = "SHIFT_JIS";

// The two ranges of Shift JIS values that Kanji mode encodes.
bool kanjiValue(unsigned first, unsigned second) {
    const unsigned value = first << 8 | second;
    return second >= 0x40 && ((value >= 0x8140 && value <= 0x9FFC) || (value >= 0xE040 && value <= 0xEBBF));
}

void append(std::vector<ShiftJisRun>* runs, bool kanji, const std::string& bytes) {
    if (runs->empty() || runs->back().kanji != kanji) runs->push_back(ShiftJisRun{kanji, ""});
    runs->back().bytes += bytes;
}

}  // namespace

bool utf8ToShiftJis(std::string_view utf8, std::vector<ShiftJisRun>* runs, std::string* missing) {
    runs->clear();
    missing->clear();
    if (!isUtf8(utf8)) return false;
    Converter forth(kShiftJis, "UTF-8");
    Converter back("UTF-8", kShiftJis);
    if (!forth.ok() || !back.ok()) return false;
    std::string sjis;
    std::string again;
    for (std::size_t p = 0; p < utf8.size();) {
        const std::size_t length = utf8CharacterLength(utf8, p);
        const std::string_view character = utf8.substr(p, length);
        p += length;
        if (length == 1) {
            // Readers that take the symbol as Shift JIS show 0x5C as the yen sign and 0x7E as an overline.
            if (character == "\\" || character == "~") {
                *missing = std::string(character);
                runs->clear();
                return false;
            }
            append(runs, false, std::string(character));
            continue;
        }
        // A character converts when its code converts back to it (the yen sign, for one, would come
        // back as a backslash) and is a Kanji-mode pair or a half-width katakana byte.
        const bool converts =
            forth.convert(character, &sjis) && back.convert(sjis, &again) && again == character &&
            ((sjis.size() == 2 &&
              kanjiValue(static_cast<unsigned char>(sjis[0]), static_cast<unsigned char>(sjis[1]))) ||
             (sjis.size() == 1 && static_cast<unsigned char>(sjis[0]) >= 0xA1 &&
              static_cast<unsigned char>(sjis[0]) <= 0xDF));
        if (!converts) {
            *missing = std::string(character);
            runs->clear();
            return false;
        }
        append(runs, sjis.size() == 2, sjis);
    }
    return true;
}

bool shiftJisToUtf8(std::string_view sjis, std::string* utf8) {
    Converter back("UTF-8", kShiftJis);
    return back.ok() && back.convert(sjis, utf8);
}

}  // namespace qrkit_cli
