// The input language: plain bytes with tilde escapes for control and decimal bytes, Kanji blocks,
// structured-append headers, designators, FNC1 markers and center overlays.
#include <algorithm>
#include <boost/algorithm/string/trim.hpp>
#include <boost/range/iterator_range.hpp>
#include <cassert>
#include <cstring>

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

// Where a parse puts what it reads: the segment list, structured-append header and overlay of a
// QRInput (InputSink), or only the parity of the data bytes (ParitySink). A sink is told of every
// finished run, every escape segment, the header and the overlay blocks, in input order.
//
// InputSink stores at most segmentLimit() segments: more than that never fit any symbol, so it marks
// the input (exceedsEverySymbol) and stores no more, and the parse reads on only for the errors of the
// rest. An over-long input then costs no more than reading it.
class InputSink {
  public:
    explicit InputSink(QRInput& input) : input_(input), limit_(segmentLimit()) {}

    // Whether the list already holds a data segment (numeric, alphanumeric, byte or Kanji).
    bool holdsData() const {
        return std::any_of(input_.segments.begin(), input_.segments.end(),
                           [](const InputSegment& segment) { return segment.mode <= kKanji; });
    }
    // A finished run of plain bytes: 0, or kErrInvalidCharacters when it does not fit the forced mode.
    int run(const std::uint8_t* bytes, int length) {
        if (full()) return input_.forcedMode == 0 ? 0 : input_.checkForcedRun(bytes, length);
        if (input_.forcedMode == 0) {
            input_.segmentRun(bytes, length);
            return 0;
        }
        return input_.forcedRun(bytes, length) != 0 ? kErrInvalidCharacters : 0;
    }
    void segment(int mode, const std::uint8_t* bytes, int size) {
        if (!full()) input_.appendSegment(mode, bytes, size);
    }
    void structuredAppend(const std::uint8_t (&header)[3]) {
        input_.prependSegment(kStructuredAppend, header, 3);
    }
    void overlayName(const char* begin, const char* end) {
        input_.overlayName.assign(begin, end);
        input_.hasOverlayName = true;
        if (input_.version < kNamedOverlayVersion) input_.version = kNamedOverlayVersion;
    }
    // Overlay text that overlayTextValid accepted: it replaces any earlier bitmap. Only the last one
    // of an input is ever built (by finish), so a long list of blocks costs no more than its text.
    void overlayText(const char* text, std::size_t length) {
        releaseOverlay();
        overlayText_ = text;
        overlayLength_ = length;
    }
    // Malformed overlay text: the bitmap is emptied (and the parse fails).
    void overlayRejected() {
        releaseOverlay();
        overlayText_ = nullptr;
    }
    // Builds the bitmap of the last overlay text, whether or not the parse succeeded.
    void finish() {
        if (overlayText_ == nullptr) return;
        input_.overlay = parseOverlayText(overlayText_, overlayLength_);
        assert(input_.overlay != nullptr);
        overlayText_ = nullptr;
    }

  private:
    // Whether the list has reached the limit (and the input is marked).
    bool full() {
        if (input_.segments.size() >= limit_) input_.exceedsEverySymbol = true;
        return input_.exceedsEverySymbol;
    }

    void releaseOverlay() {
        if (input_.overlay != nullptr) {
            input_.overlay->Release();
            input_.overlay = nullptr;
        }
    }

    QRInput& input_;
    const std::size_t limit_;
    const char* overlayText_ = nullptr;
    std::size_t overlayLength_ = 0;
};

// The XOR of the data bytes of every numeric, alphanumeric, byte and Kanji segment the parse yields.
// A plain run is divided into segments that together hold all of its bytes, so a run counts by its
// bytes. Allocates nothing.
class ParitySink {
  public:
    bool holdsData() const { return false; }
    int run(const std::uint8_t* bytes, int length) {
        add(bytes, length);
        return 0;
    }
    void segment(int mode, const std::uint8_t* bytes, int size) {
        if (mode >= kNumeric && mode <= kKanji) add(bytes, size);
    }
    void structuredAppend(const std::uint8_t (&)[3]) {}
    void overlayName(const char*, const char*) {}
    void overlayText(const char*, std::size_t) {}
    void overlayRejected() {}
    void finish() {}

    std::uint8_t parity = 0;

  private:
    void add(const std::uint8_t* bytes, int size) {
        for (int k = 0; k < size; ++k)
            parity ^= bytes[k];
    }
};

// One parse: the position, the pending run and the structured-append record. Every byte of the input
// is looked at a bounded number of times, so a parse takes time linear in the input's length.
template <class Sink>
class Parser {
  public:
    Parser(Sink& sink, const std::uint8_t* data, int length, bool micro)
        : sink_(sink), data_(data), n_(length), micro_(micro), dataSeen_(sink.holdsData()) {}

    int run() {
        const int status = readAll();
        sink_.finish();
        return status;
    }

  private:
    int readAll() {
        while (p_ < n_) {
            int status = data_[p_] == '~' ? escape() : appendPlain();
            if (status != 0) return status;
        }
        if (int status = flush()) return status;
        if (appendPresent_) {
            const std::uint8_t header[3] = {appendTotal_, appendPosition_, appendParity_};
            sink_.structuredAppend(header);
        }
        return 0;
    }

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
        if (pendingCount_ >= kPendingRunLimit) return kErrInputTooLong;
        pending_[pendingCount_++] = byte;
        return 0;
    }

    // The plain bytes from p_ up to the next '~' or the end of the input.
    int appendPlain() {
        const void* tilde = std::memchr(data_ + p_, '~', static_cast<std::size_t>(n_ - p_));
        int end = tilde == nullptr ? n_ : static_cast<int>(static_cast<const std::uint8_t*>(tilde) - data_);
        if (end - p_ > kPendingRunLimit - pendingCount_) return kErrInputTooLong;
        std::memcpy(pending_ + pendingCount_, data_ + p_, static_cast<std::size_t>(end - p_));
        pendingCount_ += end - p_;
        p_ = end;
        return 0;
    }

    int flush() {
        if (pendingCount_ == 0) return 0;
        const int status = sink_.run(pending_, pendingCount_);
        dataSeen_ = true;
        pendingCount_ = 0;
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
            sink_.segment(kIndicator15, nullptr, 0);
            p_ += 2;
            return 0;
        }
        if (!micro_ && next == '1') {
            if (int status = flush()) return status;
            sink_.segment(kFnc1First, nullptr, 0);
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
        sink_.segment(kKanji, pending_, pendingCount_);
        dataSeen_ = true;
        pendingCount_ = 0;
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
        const char* text = chars(secondBegin);
        const char* textEnd = chars(secondClose);
        const char* comma = std::find(text, textEnd, ',');
        std::int32_t total;
        std::uint8_t parity = kDefaultParity;
        if (comma == textEnd) {
            total = trimmedDecimal(text, textEnd);
        } else {
            total = trimmedDecimal(text, comma);
            std::int32_t value = trimmedDecimal(comma + 1, textEnd);
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

    // The value of a field with its surrounding white space trimmed.
    static std::int32_t trimmedDecimal(const char* begin, const char* end) {
        const auto field = boost::algorithm::trim_copy(boost::make_iterator_range(begin, end));
        return detail::leadingDecimal(field.begin(), field.end());
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
        sink_.segment(mode, bytes, count);
        p_ += 8;
        return 0;
    }

    // "~3[N]": the application indicator of FNC1 in second position, allowed only before the data.
    int fnc1SecondBlock() {
        if (int status = flush()) return status;
        int close = blockEnd(p_ + 3);
        if (dataSeen_) return kErrFnc1SecondBlock;
        std::int32_t value = detail::leadingDecimal(chars(p_ + 3), chars(close));
        if (value < 0 || value > 255) return kErrFnc1SecondBlock;
        const std::uint8_t indicator = static_cast<std::uint8_t>(value);
        sink_.segment(kFnc1Second, &indicator, 1);
        skipBlock(close);
        return 0;
    }

    // "~50[...]": a named overlay (":name") or overlay text. The pending run continues across it.
    int overlayBlock() {
        int begin = p_ + 4;
        int close = blockEnd(begin);
        if (close > begin && data_[begin] == ':') {
            sink_.overlayName(chars(begin), chars(close));
        } else {
            const std::size_t length = static_cast<std::size_t>(close - begin);
            if (!overlayTextValid(chars(begin), length)) {
                sink_.overlayRejected();
                return kErrOverlayBlock;
            }
            sink_.overlayText(chars(begin), length);
        }
        skipBlock(close);
        return 0;
    }

    Sink& sink_;
    const std::uint8_t* data_;
    int n_;
    bool micro_;
    int p_ = 0;
    std::uint8_t pending_[kPendingRunLimit];
    int pendingCount_ = 0;
    // Whether a data segment was produced: FNC1 in second position must come before the data.
    bool dataSeen_;
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
    InputSink sink(*this);
    Parser<InputSink> parser(sink, data, length, micro);
    return parser.run();
}

namespace detail {

std::uint8_t parityOfInput(const std::uint8_t* data, int length) {
    if (data == nullptr || length <= 0) return 0;
    ParitySink sink;
    Parser<ParitySink> parser(sink, data, length, false);
    parser.run();
    return sink.parity;
}

}  // namespace detail

}  // namespace kelvane2::qrencode
