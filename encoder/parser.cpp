// The input language: plain bytes with tilde escapes for control and decimal bytes, Kanji blocks,
// structured-append headers, designators, FNC1 markers and center overlays.
#include <algorithm>
#include <boost/algorithm/string/trim.hpp>
#include <cstring>
#include <string>
#include <vector>

#include "encoder/input_detail.h"
#include "encoder/overlay.h"
#include "encoder/qrinput.h"
#include "encoder/result_codes.h"

namespace kelvane2::qrencode {

namespace detail {

namespace {

bool isWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::int32_t leadingDecimal(const char* begin, const char* end) {
    const char* p = begin;
    while (p < end && isWhiteSpace(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    // Digits beyond 32 bits only keep the value saturated; the accumulator never overflows.
    constexpr long long kCap = 1LL << 32;
    long long value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        if (value < kCap) value = value * 10 + (*p - '0');
    }
    if (negative) value = -value;
    return static_cast<std::int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

int designatorBytes(std::uint32_t value, std::uint8_t out[3]) {
    if (value <= 127) {
        out[0] = static_cast<std::uint8_t>(value);
        return 1;
    }
    if (value <= 16383) {
        out[0] = static_cast<std::uint8_t>(0x80 + (value >> 8));
        out[1] = static_cast<std::uint8_t>(value & 0xFF);
        return 2;
    }
    out[0] = static_cast<std::uint8_t>(0xC0 + ((value >> 16) & 0x3F));
    out[1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    out[2] = static_cast<std::uint8_t>(value & 0xFF);
    return 3;
}

}  // namespace detail

namespace {

using detail::isDigit;

// Structured-append ranges: total and position 1-16.
constexpr int kMaxSymbols = 16;
// The parity written when the header gives none.
constexpr std::uint8_t kDefaultParity = 0xFE;
// The version a named overlay raises the input to.
constexpr int kNamedOverlayVersion = 6;

// A Shift JIS double-byte value that Kanji mode can carry: inside the two ranges and with a second
// byte of at least 0x40. Kanji mode writes the value less its range offset as high byte * 0xC0 + low
// byte; a second byte below 0x40 leaves a low byte of 0xC0 or more, which reads back as another
// character.
bool isShiftJisKanji(unsigned value) {
    if ((value & 0xFF) < 0x40) return false;
    return (value >= 0x8140 && value <= 0x9FFC) || (value >= 0xE040 && value <= 0xEBBF);
}

// One parse: the position, the pending run and the structured-append record.
class Parser {
  public:
    Parser(QRInput& input, const std::uint8_t* data, int length, bool micro)
        : input_(input), data_(data), n_(length), micro_(micro) {
        pending_.reserve(static_cast<std::size_t>(std::min(length, kPendingRunLimit)));
    }

    int run() {
        while (p_ < n_) {
            int status = data_[p_] == '~' ? escape() : appendPlain();
            if (status != 0) return status;
        }
        if (int status = flush()) return status;
        if (appendPresent_) {
            const std::uint8_t header[3] = {appendTotal_, appendPosition_, appendParity_};
            input_.prependSegment(kStructuredAppend, header, 3);
        }
        return 0;
    }

  private:
    // True when k bytes follow the '~' at p_.
    bool follows(int k) const { return p_ + k < n_; }
    // Three digits at i, all inside the limit, as their value; -1 otherwise.
    int threeDigits(int i, int limit) const {
        if (i + 3 > limit || !isDigit(data_[i]) || !isDigit(data_[i + 1]) || !isDigit(data_[i + 2]))
            return -1;
        return (data_[i] - '0') * 100 + (data_[i + 1] - '0') * 10 + (data_[i + 2] - '0');
    }
    // The position of the first ']' at or after from, or the end of the input.
    int blockEnd(int from) const {
        if (from >= n_) return n_;
        const void* close = std::memchr(data_ + from, ']', static_cast<std::size_t>(n_ - from));
        return close == nullptr ? n_ : static_cast<int>(static_cast<const std::uint8_t*>(close) - data_);
    }
    // Moves past the ']' at close, or to the end of the input when the block has none.
    void skipBlock(int close) { p_ = close < n_ ? close + 1 : n_; }
    const char* chars(int i) const { return reinterpret_cast<const char*>(data_ + i); }

    int appendPending(std::uint8_t byte) {
        if (static_cast<int>(pending_.size()) >= kPendingRunLimit) return kErrInputTooLong;
        pending_.push_back(byte);
        return 0;
    }

    // The plain bytes from p_ up to the next '~' or the end of the input.
    int appendPlain() {
        const void* tilde = std::memchr(data_ + p_, '~', static_cast<std::size_t>(n_ - p_));
        int end = tilde == nullptr ? n_ : static_cast<int>(static_cast<const std::uint8_t*>(tilde) - data_);
        int room = kPendingRunLimit - static_cast<int>(pending_.size());
        if (end - p_ > room) return kErrInputTooLong;
        pending_.insert(pending_.end(), data_ + p_, data_ + end);
        p_ = end;
        return 0;
    }

    int flush() {
        if (pending_.empty()) return 0;
        int length = static_cast<int>(pending_.size());
        int status = 0;
        if (input_.forcedMode == 0) {
            input_.segmentRun(pending_.data(), length);
        } else if (input_.forcedRun(pending_.data(), length) != 0) {
            status = kErrInvalidCharacters;
        }
        pending_.clear();
        return status;
    }

    // The escapes, tried in order; the first whose form matches is taken.
    int escape() {
        int next = follows(1) ? data_[p_ + 1] : -1;
        if (next >= 0x40 && next <= 'Z') {  // control byte: ~@ is 0x00, ~Z is 0x1A
            p_ += 2;
            return appendPending(static_cast<std::uint8_t>(next - 0x40));
        }
        if (next == '~') {
            p_ += 2;
            return appendPending('~');
        }
        if (next == 'd' && follows(4)) {
            int value = threeDigits(p_ + 2, n_);
            if (value >= 0 && value <= 255) {
                p_ += 5;
                return appendPending(static_cast<std::uint8_t>(value));
            }
        }
        if (next == '4' && follows(3) && data_[p_ + 2] == '[') return kanjiBlock();
        if (!micro_ && next == '2' && p_ == 0 && n_ >= 4 && data_[2] == '[') return structuredAppend();
        if ((next == '7' || next == '8' || next == '9') && follows(7) && sixDigits(p_ + 2))
            return designator();
        if (next == '9') {
            if (int status = flush()) return status;
            input_.appendSegment(kIndicator15, nullptr, 0);
            p_ += 2;
            return 0;
        }
        if (!micro_ && next == '1') {
            if (int status = flush()) return status;
            input_.appendSegment(kFnc1First, nullptr, 0);
            p_ += 2;
            return 0;
        }
        if (!micro_ && next == '3' && follows(3) && data_[p_ + 2] == '[') return fnc1SecondBlock();
        if (!micro_ && next == '5' && follows(4) && data_[p_ + 2] == '0' && data_[p_ + 3] == '[')
            return overlayBlock();
        // Anything else: the '~' stands for itself and the next byte is read as usual.
        ++p_;
        return appendPending('~');
    }

    bool sixDigits(int i) const {
        for (int k = 0; k < 6; ++k) {
            if (!isDigit(data_[i + k])) return false;
        }
        return true;
    }

    // "~4[...]": pairs of Shift JIS bytes, written plainly or as decimal escapes.
    int kanjiBlock() {
        if (int status = flush()) return status;
        int close = blockEnd(p_ + 3);
        bool haveFirst = false;
        unsigned first = 0;
        for (int i = p_ + 3; i < close;) {
            unsigned byte = data_[i];
            if (byte == '~') {
                int value = i + 1 < close && data_[i + 1] == 'd' ? threeDigits(i + 2, close) : -1;
                if (value < 0 || value > 255) return kErrKanjiBlock;
                byte = static_cast<unsigned>(value);
                i += 5;
            } else {
                ++i;
            }
            if (!haveFirst) {
                first = byte;
                haveFirst = true;
                continue;
            }
            haveFirst = false;
            if (!isShiftJisKanji(256 * first + byte)) return kErrKanjiBlock;
            if (int status = appendPending(static_cast<std::uint8_t>(first))) return status;
            if (int status = appendPending(static_cast<std::uint8_t>(byte))) return status;
        }
        // A last byte without partner is dropped.
        input_.appendSegment(kKanji, pending_.data(), static_cast<int>(pending_.size()));
        pending_.clear();
        skipBlock(close);
        return 0;
    }

    // "~2[P][T]" or "~2[P][T,Y]" at the start of the input.
    int structuredAppend() {
        const int firstBegin = 3;
        int firstClose = blockEnd(firstBegin);
        if (firstClose == n_ || firstClose == firstBegin) return kErrAppendSequence;
        for (int i = firstBegin; i < firstClose; ++i) {
            if (!isDigit(data_[i])) return kErrAppendSequence;
        }
        std::int32_t position = detail::leadingDecimal(chars(firstBegin), chars(firstClose));
        if (position < 1 || position > kMaxSymbols) return kErrAppendSequence;
        if (firstClose + 1 >= n_ || data_[firstClose + 1] != '[') return kErrAppendMissingField;

        int secondBegin = firstClose + 2;
        int secondClose = blockEnd(secondBegin);
        if (secondClose == n_) return kErrAppendTotal;
        std::string text(chars(secondBegin), chars(secondClose));
        std::int32_t total;
        std::uint8_t parity = kDefaultParity;
        std::size_t comma = text.find(',');
        if (comma == std::string::npos) {
            total = decimalOf(boost::algorithm::trim_copy(text));
        } else {
            total = decimalOf(boost::algorithm::trim_copy(text.substr(0, comma)));
            std::int32_t value = decimalOf(boost::algorithm::trim_copy(text.substr(comma + 1)));
            parity = static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0xFFu);  // modulo 256
        }
        if (total < 1 || total > kMaxSymbols) return kErrAppendTotal;

        appendPresent_ = true;
        appendPosition_ = static_cast<std::uint8_t>(position);
        appendTotal_ = static_cast<std::uint8_t>(total);
        appendParity_ = parity;
        p_ = secondClose + 1;
        return 0;
    }

    static std::int32_t decimalOf(const std::string& text) {
        return detail::leadingDecimal(text.data(), text.data() + text.size());
    }

    // '~' and '7', '8' or '9' with six digits: Eci, Indicator14 or Indicator15 designator bytes.
    int designator() {
        if (int status = flush()) return status;
        int kind = data_[p_ + 1];
        std::uint32_t value = 0;
        for (int k = 0; k < 6; ++k)
            value = value * 10 + static_cast<std::uint32_t>(data_[p_ + 2 + k] - '0');
        std::uint8_t bytes[3];
        int count = detail::designatorBytes(value, bytes);
        int mode = kind == '7' ? kEci : (kind == '8' ? kIndicator14 : kIndicator15);
        input_.appendSegment(mode, bytes, count);
        p_ += 8;
        return 0;
    }

    // "~3[N]": the application indicator of FNC1 in second position, allowed only before the data.
    int fnc1SecondBlock() {
        if (int status = flush()) return status;
        int close = blockEnd(p_ + 3);
        bool afterData = std::any_of(input_.segments.begin(), input_.segments.end(),
                                     [](const InputSegment& segment) { return segment.mode <= kKanji; });
        if (afterData) return kErrFnc1SecondBlock;
        std::int32_t value = detail::leadingDecimal(chars(p_ + 3), chars(close));
        if (value < 0 || value > 255) return kErrFnc1SecondBlock;
        const std::uint8_t indicator = static_cast<std::uint8_t>(value);
        input_.appendSegment(kFnc1Second, &indicator, 1);
        skipBlock(close);
        return 0;
    }

    // "~50[...]": a named overlay (":name") or overlay text. The pending run continues across it.
    int overlayBlock() {
        int begin = p_ + 4;
        int close = blockEnd(begin);
        if (close > begin && data_[begin] == ':') {
            input_.overlayName.assign(chars(begin), chars(close));
            input_.hasOverlayName = true;
            if (input_.version < kNamedOverlayVersion) input_.version = kNamedOverlayVersion;
        } else {
            if (input_.overlay != nullptr) {
                input_.overlay->Release();
                input_.overlay = nullptr;
            }
            input_.overlay = parseOverlayText(chars(begin), static_cast<std::size_t>(close - begin));
            if (input_.overlay == nullptr) return kErrOverlayBlock;
        }
        skipBlock(close);
        return 0;
    }

    QRInput& input_;
    const std::uint8_t* data_;
    int n_;
    bool micro_;
    int p_ = 0;
    std::vector<std::uint8_t> pending_;
    bool appendPresent_ = false;
    std::uint8_t appendTotal_ = 0;
    std::uint8_t appendPosition_ = 0;
    std::uint8_t appendParity_ = 0;
};

}  // namespace

int QRInput::parse(const std::uint8_t* data, int length) {
    return parseLanguage(data, length, false);
}

int QRInput::parseLanguage(const std::uint8_t* data, int length, bool micro) {
    if (data == nullptr || length <= 0) return 0;
    Parser parser(*this, data, length, micro);
    return parser.run();
}

}  // namespace kelvane2::qrencode
