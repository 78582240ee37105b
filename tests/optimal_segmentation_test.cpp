// The division of plain runs with the fewest bits: worked examples, an exhaustive search over every
// division of short inputs, its bounds against the greedy division and against every single mode, and
// the version choice of QR Code and Micro QR Code inputs.
#include "encoder/optimal_segmentation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "encoder/input_detail.h"
#include "encoder/micro_input.h"
#include "encoder/qrinput.h"
#include "encoder/tables.h"
#include "segment_text.h"

namespace kelvane2::qrencode {
namespace {

using testing::segmentText;

// One set of headers: a QR Code version standing for its group of count field widths, or a Micro
// version.
struct Target {
    const char* name;
    bool micro;
    int version;
};
const Target kTargets[] = {{"QR 1-9", false, 1}, {"QR 10-26", false, 10}, {"QR 27-40", false, 27},
                           {"M1", true, 1},      {"M2", true, 2},         {"M3", true, 3},
                           {"M4", true, 4}};

ModeHeaders headersOf(const Target& target) {
    return target.micro ? microModeHeaders(target.version) : qrModeHeaders(target.version);
}

// The bits of one segment as the encoder writes it for the target; -1 when the target lacks the mode.
template <typename Bytes>
long long encodedBits(const Target& target, int mode, const Bytes& data) {
    InputSegment segment;
    segment.mode = mode;
    segment.data.assign(data.begin(), data.end());
    return target.micro ? encodeMicroSegment(segment, target.version)
                        : encodeQrSegment(segment, target.version);
}

long long encodedBits(const Target& target, const SegmentList& segments) {
    long long total = 0;
    for (const InputSegment& segment : segments) {
        const long long bits = encodedBits(target, segment.mode, segment.data);
        if (bits < 0) return -1;
        total += bits;
    }
    return total;
}

std::vector<std::uint8_t> readerBytes(const SegmentList& segments, bool fnc1) {
    std::vector<std::uint8_t> bytes;
    for (const InputSegment& segment : segments)
        appendReaderBytes(segment.mode, segment.data, fnc1, bytes);
    return bytes;
}

PlainRun runOf(const std::string& text, bool fnc1 = false, bool kanji = true) {
    PlainRun run;
    run.bytes.assign(text.begin(), text.end());
    run.fnc1 = fnc1;
    run.kanji = kanji;
    return run;
}

// The data a mode writes for the reader bytes [begin, end) of a run, worked out here independently of
// the encoder: false when the mode cannot hold them.
bool writtenData(const PlainRun& run, int begin, int end, int mode, std::vector<std::uint8_t>* data) {
    data->clear();
    for (int i = begin; i < end; ++i) {
        const std::uint8_t byte = run.bytes[static_cast<std::size_t>(i)];
        switch (mode) {
            case kNumeric:
                if (byte < '0' || byte > '9') return false;
                data->push_back(byte);
                break;
            case kAlphanumeric:
                if (run.fnc1 && byte == '%') {
                    data->insert(data->end(), {'%', '%'});
                } else if (run.fnc1 && byte == 0x1D) {
                    data->push_back('%');
                } else if (std::string("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:")
                                   .find(static_cast<char>(byte)) != std::string::npos &&
                           byte != 0) {
                    data->push_back(byte);
                } else {
                    return false;
                }
                break;
            case kByte:
                data->push_back(byte);
                break;
            default:  // Kanji: whole valid Shift JIS pairs
                if (!run.kanji || (end - begin) % 2 != 0) return false;
                if ((i - begin) % 2 == 1) {
                    if (!isKanjiPair(run.bytes[static_cast<std::size_t>(i) - 1], byte)) return false;
                    data->push_back(run.bytes[static_cast<std::size_t>(i) - 1]);
                    data->push_back(byte);
                }
                break;
        }
    }
    // After FNC1 the alphanumeric data must read back as the bytes: a separator's '%' followed by
    // another '%' would read as one '%'.
    if (mode == kAlphanumeric && run.fnc1) {
        std::vector<std::uint8_t> read;
        appendReaderBytes(mode, *data, true, read);
        return read.size() == static_cast<std::size_t>(end - begin) &&
               std::equal(read.begin(), read.end(), run.bytes.begin() + begin);
    }
    return true;
}

// The fewest bits over every division of the run into segments of any modes the target has, each
// segment priced by the encoder; -1 when there is no division. Partial divisions that already cost as
// much as the best complete one are not followed further (costs only grow), so the minimum is exact.
long long exhaustiveBits(const PlainRun& run, const Target& target) {
    const int n = static_cast<int>(run.bytes.size());
    std::vector<long long> cost(static_cast<std::size_t>(n + 1) * (n + 1) * 4, -1);
    auto at = [&](int begin, int end, int mode) -> long long& {
        return cost[(static_cast<std::size_t>(begin) * (n + 1) + static_cast<std::size_t>(end)) * 4 +
                    static_cast<std::size_t>(mode)];
    };
    std::vector<std::uint8_t> data;
    for (int begin = 0; begin < n; ++begin) {
        for (int end = begin + 1; end <= n; ++end) {
            for (int mode = kNumeric; mode <= kKanji; ++mode) {
                if (writtenData(run, begin, end, mode, &data))
                    at(begin, end, mode) = encodedBits(target, mode, data);
            }
        }
    }
    long long best = LLONG_MAX;
    std::function<void(int, long long)> search = [&](int position, long long sofar) {
        if (sofar >= best) return;
        if (position == n) {
            best = sofar;
            return;
        }
        for (int end = n; end > position; --end) {
            for (int mode = kNumeric; mode <= kKanji; ++mode) {
                const long long bits = at(position, end, mode);
                if (bits >= 0) search(end, sofar + bits);
            }
        }
    };
    search(0, 0);
    return best == LLONG_MAX ? -1 : best;
}

// Random data over mixed alphabets: stretches of one class at a time, as real data has them.
class MixedData {
  public:
    explicit MixedData(std::uint32_t seed) : random_(seed) {}

    // classes: digits, upper case, alphanumeric punctuation, lower case, bytes above 0x7F, Shift JIS
    // pairs, and (with separators) the group separator 0x1D.
    std::string next(int length, bool separators = false) {
        std::string text;
        while (static_cast<int>(text.size()) < length) {
            const int kind = pick(separators ? 7 : 6);
            const int stretch = 1 + pick(kind == 0 ? 9 : 4);
            for (int k = 0; k < stretch; ++k)
                text += token(kind);
        }
        text.resize(static_cast<std::size_t>(length));
        return text;
    }

    int pick(int n) { return static_cast<int>(random_() % static_cast<std::uint32_t>(n)); }

  private:
    std::string token(int kind) {
        switch (kind) {
            case 0:
                return std::string(1, static_cast<char>('0' + pick(10)));
            case 1:
                return std::string(1, static_cast<char>('A' + pick(26)));
            case 2:
                return std::string(1, " $%*+-./:"[pick(9)]);
            case 3:
                return std::string(1, static_cast<char>('a' + pick(26)));
            case 4:
                return std::string(1, static_cast<char>(0x80 + pick(128)));
            case 5: {
                const int lead = pick(2) == 0 ? 0x81 + pick(0x1F) : 0xE0 + pick(0x0B);
                int trail = 0x40 + pick(0xBD);
                if (trail == 0x7F) trail = 0x80;
                return {static_cast<char>(lead), static_cast<char>(trail)};
            }
            default:
                return std::string(1, '\x1D');
        }
    }

    std::mt19937 random_;
};

// Checks one run against the exhaustive search for every target.
void expectExhaustive(const PlainRun& run, const std::string& label) {
    for (const Target& target : kTargets) {
        const long long expected = exhaustiveBits(run, target);
        const RunDivision division = divideRun(run, headersOf(target));
        if (expected < 0) {
            EXPECT_FALSE(division.ok) << label << ", " << target.name;
            continue;
        }
        ASSERT_TRUE(division.ok) << label << ", " << target.name;
        EXPECT_EQ(division.bits, expected)
            << label << ", " << target.name << ": " << segmentText(division.segments);
        EXPECT_EQ(encodedBits(target, division.segments), division.bits) << label << ", " << target.name;
        EXPECT_EQ(readerBytes(division.segments, run.fnc1), run.bytes) << label << ", " << target.name;
    }
}

std::string printableData(const std::vector<std::uint8_t>& bytes) {
    SegmentList segments(1);
    segments[0].mode = kByte;
    segments[0].data.assign(bytes.begin(), bytes.end());
    return segmentText(segments);
}

std::string printableData(const std::string& text) {
    return printableData(std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::string label(const PlainRun& run) {
    return printableData(run.bytes) + (run.fnc1 ? " after FNC1" : "") + (run.kanji ? "" : " without Kanji");
}

TEST(DivideRun, WorkedExamples) {
    struct Row {
        const char* name;
        const char* run;
        bool fnc1;
        Target target;
        const char* segments;
        long long bits;  // worked out by hand from the segment costs
    };
    const Target v1{"QR 1-9", false, 1};
    const Row rows[] = {
        // Greedy: Alphanumeric 12345 and Byte a, 61 bits; one byte segment 60.
        {"12345a: numeric and byte", "12345a", false, v1, "Numeric 12345 | Byte a", 31 + 20},
        // Greedy: Byte Hello and Alphanumeric " 1234567890", 126 bits.
        {"Hello and ten digits", "Hello 1234567890", false, v1, "Byte Hello  | Numeric 1234567890", 60 + 48},
        {"digits alone", "0123456789", false, v1, "Numeric 0123456789", 14 + 34},
        {"two digits do not pay a numeric header", "AB12CD", false, v1, "Alphanumeric AB12CD", 13 + 33},
        {"Shift JIS pairs as Kanji", "\x93\xFA\x96\x7B", false, v1, "Kanji {93}{FA}{96}{7B}", 12 + 26},
        {"after FNC1 a '%' is written %%", "A%B", true, v1, "Alphanumeric A%%B", 13 + 22},
        {"after FNC1 the separator is written %",
         "A\x1D"
         "B",
         true, v1, "Alphanumeric A%B", 13 + 17},
        {"before FNC1 a '%' is one character", "A%B", false, v1, "Alphanumeric A%B", 13 + 17},
        {"count fields of versions 10-26",
         "12345a",
         false,
         {"QR 10-26", false, 10},
         "Numeric 12345 | Byte a",
         (4 + 12 + 17) + (4 + 16 + 8)},
        {"M1: five digits, no indicator", "12345", false, {"M1", true, 1}, "Numeric 12345", 3 + 17},
        {"M2: one-bit indicators",
         "A1234567",
         false,
         {"M2", true, 2},
         "Alphanumeric A | Numeric 1234567",
         (1 + 3 + 6) + (1 + 4 + 24)},
        {"M3: Kanji", "\x93\xFA\x96\x7B", false, {"M3", true, 3}, "Kanji {93}{FA}{96}{7B}", 2 + 3 + 26},
    };
    for (const Row& row : rows) {
        const RunDivision division = divideRun(runOf(row.run, row.fnc1), headersOf(row.target));
        ASSERT_TRUE(division.ok) << row.name;
        EXPECT_EQ(segmentText(division.segments), row.segments) << row.name;
        EXPECT_EQ(division.bits, row.bits) << row.name;
    }
}

TEST(DivideRun, ModesAVersionLacks) {
    struct Row {
        const char* name;
        const char* run;
        Target target;
        bool ok;
    };
    const Row rows[] = {
        {"M1 has no alphanumeric", "12A", {"M1", true, 1}, false},
        {"M1 takes digits", "123", {"M1", true, 1}, true},
        {"M2 has no byte", "Ab", {"M2", true, 2}, false},
        {"M2 has no Kanji", "\x93\xFA", {"M2", true, 2}, false},
        {"M3 has byte", "Ab", {"M3", true, 3}, true},
        {"QR has every mode", "\x01\xFF", {"QR 1-9", false, 1}, true},
    };
    for (const Row& row : rows)
        EXPECT_EQ(divideRun(runOf(row.run), headersOf(row.target)).ok, row.ok) << row.name;
}

TEST(DivideRun, KanjiOnlyWhereAllowed) {
    // The same Shift JIS pairs without Kanji mode stay bytes.
    const RunDivision division = divideRun(runOf("\x93\xFA\x96\x7B", false, false), qrModeHeaders(1));
    EXPECT_EQ(segmentText(division.segments), "Byte {93}{FA}{96}{7B}");
    // Pairs the parser's Kanji blocks accept but that are no Shift JIS characters (second byte 0x7F or
    // above 0xFC) are not taken.
    EXPECT_TRUE(isKanjiPair(0x93, 0x5F));
    EXPECT_TRUE(isKanjiPair(0xEB, 0xBF));
    EXPECT_FALSE(isKanjiPair(0xEB, 0xC0));
    EXPECT_FALSE(isKanjiPair(0x93, 0x7F));
    EXPECT_FALSE(isKanjiPair(0x93, 0xFD));
    EXPECT_FALSE(isKanjiPair(0xA0, 0x40));
    EXPECT_FALSE(isKanjiPair(0x81, 0x3F));
}

// Every string of up to four bytes over nine symbols that meet in real data: two digits, a capital,
// the alphanumeric '%' and space, a lower-case letter, two bytes that pair as Shift JIS (0x93 0x5F,
// 0x93 0x93) and the group separator; with and without FNC1, which changes what '%' and the separator
// cost.
TEST(DivideRun, EqualsExhaustiveSearchOnEveryShortString) {
    const std::uint8_t symbols[] = {'0', '7', 'A', '%', ' ', 'a', 0x93, 0x5F, 0x1D};
    constexpr int kSymbols = sizeof symbols;
    for (int length = 1; length <= 4; ++length) {
        int count = 1;
        for (int k = 0; k < length; ++k)
            count *= kSymbols;
        for (int index = 0; index < count; ++index) {
            PlainRun run;
            for (int k = 0, rest = index; k < length; ++k, rest /= kSymbols)
                run.bytes.push_back(symbols[rest % kSymbols]);
            run.kanji = true;
            for (bool fnc1 : {false, true}) {
                run.fnc1 = fnc1;
                expectExhaustive(run, label(run));
            }
            if (::testing::Test::HasFailure()) return;
        }
    }
}

// Random inputs of 1 to 12 bytes over the mixed alphabets, 150 of each length, some after FNC1 (with
// group separators) and some without Kanji mode.
TEST(DivideRun, EqualsExhaustiveSearchOnRandomMixes) {
    MixedData mixed(15);
    for (int length = 1; length <= 12; ++length) {
        for (int k = 0; k < 150; ++k) {
            PlainRun run;
            run.fnc1 = k % 4 == 3;
            run.kanji = k % 5 != 4;
            const std::string text = mixed.next(length, run.fnc1);
            run.bytes.assign(text.begin(), text.end());
            expectExhaustive(run, label(run));
            if (::testing::Test::HasFailure()) return;
        }
    }
}

// Longer runs: never more bits than the greedy division nor than one segment of any mode that holds
// the whole run; the reader gets the run back.
TEST(DivideRun, NeverWorseThanGreedyOrOneMode) {
    MixedData mixed(1515);
    for (int k = 0; k < 400; ++k) {
        const int length = 13 + mixed.pick(k < 300 ? 120 : 900);
        const bool fnc1 = k % 3 == 2;
        const std::string text = mixed.next(length, fnc1);
        // The greedy division of the raw bytes, and the bytes a reader gets from it.
        QRInput greedy(0, 0, 0);
        const std::vector<std::uint8_t> raw(text.begin(), text.end());
        greedy.segmentRun(raw.data(), static_cast<int>(raw.size()));
        PlainRun run;
        run.fnc1 = fnc1;
        run.kanji = true;
        run.bytes = readerBytes(greedy.segments, fnc1);
        for (const Target& target : kTargets) {
            const RunDivision division = divideRun(run, headersOf(target));
            const long long greedyBits = encodedBits(target, greedy.segments);
            if (greedyBits >= 0) {
                ASSERT_TRUE(division.ok) << label(run) << ", " << target.name;
                EXPECT_LE(division.bits, greedyBits) << label(run) << ", " << target.name;
            }
            if (!division.ok) continue;
            EXPECT_EQ(encodedBits(target, division.segments), division.bits)
                << label(run) << ", " << target.name;
            EXPECT_EQ(readerBytes(division.segments, fnc1), run.bytes) << label(run) << ", " << target.name;
            std::vector<std::uint8_t> data;
            for (int mode = kNumeric; mode <= kKanji; ++mode) {
                if (!writtenData(run, 0, static_cast<int>(run.bytes.size()), mode, &data)) continue;
                const long long single = encodedBits(target, mode, data);
                if (single >= 0) {
                    EXPECT_LE(division.bits, single) << label(run) << ", " << target.name;
                }
            }
        }
        if (::testing::Test::HasFailure()) return;
    }
}

// A parsed input settled both ways.
struct BothWays {
    bool greedyOk = false;
    bool optimalOk = false;
    int greedyVersion = 0;
    int optimalVersion = 0;
    int greedyBits = 0;
    int optimalBits = 0;
    std::string greedySegments;
    std::string optimalSegments;
    std::unique_ptr<QRInput> greedyInput;
    std::unique_ptr<QRInput> optimalInput;
};

int segmentBits(const QRInput& input) {
    int bits = 0;
    for (const InputSegment& segment : input.segments)
        bits += segment.bits.length();
    return bits;
}

BothWays settleBothWays(const std::string& data, int versionWord = 0, int level = 0, bool micro = false) {
    BothWays both;
    for (int way = 0; way < 2; ++way) {
        std::unique_ptr<QRInput> input;
        int error;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
        if (micro) {
            auto microInput = std::make_unique<MQRInput>(versionWord, level);
            microInput->optimalSegmentation = way == 1;
            error = microInput->parse(bytes, static_cast<int>(data.size()));
            input = std::move(microInput);
        } else {
            input = std::make_unique<QRInput>(versionWord & 0xFF, (versionWord >> 8) & 7, level);
            input->optimalSegmentation = way == 1;
            error = input->parse(bytes, static_cast<int>(data.size()));
        }
        EXPECT_EQ(error, 0) << data;
        BitString stream;
        const bool ok = input->dataBitString(stream);
        (way == 0 ? both.greedyOk : both.optimalOk) = ok;
        (way == 0 ? both.greedyVersion : both.optimalVersion) = input->version;
        (way == 0 ? both.greedyBits : both.optimalBits) = segmentBits(*input);
        (way == 0 ? both.greedySegments : both.optimalSegments) = segmentText(input->segments);
        if (ok && !micro) {
            EXPECT_EQ(stream.length(), 8 * QrTables::dataCodewords(input->version, input->ecLevel)) << data;
        }
        if (ok && micro) {
            EXPECT_GE(stream.length(), MicroTables::dataBits(input->version, input->ecLevel)) << data;
        }
        (way == 0 ? both.greedyInput : both.optimalInput) = std::move(input);
    }
    return both;
}

TEST(OptimalVersion, Examples) {
    struct Row {
        const char* name;
        std::string data;
        int versionWord;
        int level;
        bool micro;
        int greedyVersion;   // from the greedy encoder as it is
        int optimalVersion;  // worked out from the segment costs
        const char* segments;
    };
    const std::string sixteenBytes(16, 'x');
    const Row rows[] = {
        // 'A' and 7 digits: greedy Alphanumeric of 8 characters needs 48 bits (M3); Alphanumeric A and
        // Numeric 1234567 take 10 + 29 = 39 of M2-L's 40.
        {"Micro: a smaller version", "A1234567", 0, 0, true, 3, 2, "Alphanumeric A | Numeric 1234567"},
        {"Micro: M1 digits", "12345", 0, 0, true, 1, 1, "Numeric 12345"},
        {"Micro: requested M3 kept", "1", 3, 0, true, 3, 3, "Numeric 1"},
        {"Micro: Kanji from M3", "\x93\xFA\x96\x7B", 0, 0, true, 3, 3, "Kanji {93}{FA}{96}{7B}"},
        // The estimate counts a designator as 16 bits where it takes 12: with 16 bytes the greedy
        // choice is version 2, though 12 + 12 + 128 = 152 bits fill version 1-L exactly.
        {"QR: exact version where the estimate over-counts", "~7000026" + sixteenBytes, 0, 0, false, 2, 1,
         "Eci {1A} | Byte xxxxxxxxxxxxxxxx"},
        {"QR: the same under forced byte mode", "~7000026" + sixteenBytes, 0x0400, 0, false, 2, 1,
         "Eci {1A} | Byte xxxxxxxxxxxxxxxx"},
        {"QR: a forced mode keeps its segments", "12345a", 0x0100, 0, false, 1, 1, "Byte 12345a"},
        {"QR: a named overlay asks for version 6", "~50[:swiss7]1", 0, 0, false, 6, 6, "Numeric 1"},
        {"QR: the requested version", "12345a", 5, 0, false, 5, 5, "Numeric 12345 | Byte a"},
        {"QR: the escapes stay in place", "~2[1][2,7]~1AB%CD~4[~d147~d095]x", 0, 0, false, 1, 1,
         "StructuredAppend {02}{01}{07} | Fnc1First | Alphanumeric AB%CD | Kanji {93}_ | Byte x"},
        {"QR: a designator splits the runs", "1234~7000020567", 0, 0, false, 1, 1,
         "Numeric 1234 | Eci {14} | Numeric 567"},
    };
    for (const Row& row : rows) {
        const BothWays both = settleBothWays(row.data, row.versionWord, row.level, row.micro);
        ASSERT_TRUE(both.greedyOk && both.optimalOk) << row.name;
        EXPECT_EQ(both.greedyVersion, row.greedyVersion) << row.name;
        EXPECT_EQ(both.optimalVersion, row.optimalVersion) << row.name;
        EXPECT_EQ(both.optimalSegments, row.segments) << row.name;
    }
}

TEST(OptimalVersion, KanjiModeOnlyForShiftJisText) {
    struct Row {
        const char* name;
        std::string data;
        const char* segments;
    };
    const std::string sjis = "\x93\xFA\x96\x7B\x8C\xEA\x82\xC5\x82\xB7";  // "Nihongo desu" in Shift JIS
    const std::string utf8 = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xA7\xE3\x81\x99";  // in UTF-8
    const Row rows[] = {
        {"Shift JIS text", sjis, "Kanji {93}{FA}{96}{7B}{8C}{EA}{82}{C5}{82}{B7}"},
        // E6 97, E6 9C, E8 AA ... are valid Shift JIS pairs, but the text reads as UTF-8.
        {"UTF-8 text stays bytes", utf8, "Byte {E6}{97}{A5}{E6}{9C}{AC}{E8}{AA}{9E}{E3}{81}{A7}{E3}{81}{99}"},
        {"UTF-8 elsewhere in the input", sjis + "~1" + "\xC3\xA9",
         "Byte {93}{FA}{96}{7B}{8C}{EA}{82}{C5}{82}{B7} | Fnc1First | Byte {C3}{A9}"},
        {"a byte-order mark", "\xEF\xBB\xBF" + sjis,
         "Byte {EF}{BB}{BF}{93}{FA}{96}{7B}{8C}{EA}{82}{C5}{82}{B7}"},
        {"under ECI 26 (UTF-8)", "~7000026" + sjis,
         "Eci {1A} | Byte {93}{FA}{96}{7B}{8C}{EA}{82}{C5}{82}{B7}"},
        {"under ECI 20 (Shift JIS)", "~7000020" + sjis,
         "Eci {14} | Kanji {93}{FA}{96}{7B}{8C}{EA}{82}{C5}{82}{B7}"},
    };
    for (const Row& row : rows) {
        const BothWays both = settleBothWays(row.data);
        ASSERT_TRUE(both.optimalOk) << row.name;
        EXPECT_EQ(both.optimalSegments, row.segments) << row.name;
    }
}

// The reader bytes of a settled input (character segments, FNC1 read as a reader reads it), and its
// other segments in order.
void readBack(const QRInput& input, std::vector<std::uint8_t>* bytes, std::string* others) {
    bool fnc1 = false;
    bytes->clear();
    others->clear();
    for (const InputSegment& segment : input.segments) {
        if (segment.mode <= kKanji) {
            appendReaderBytes(segment.mode, segment.data, fnc1, *bytes);
            continue;
        }
        fnc1 = fnc1 || segment.mode == kFnc1First || segment.mode == kFnc1Second;
        *others += segmentText({segment}) + "; ";
    }
}

// Random inputs in the input language, escapes among the data: the optimal input settles whenever the
// greedy one does, on a version no larger, with no more bits at the same version; the readers get the
// same bytes and the escapes stay as they were.
TEST(OptimalVersion, NeverLargerThanGreedy) {
    MixedData mixed(2025);
    const char* const escapes[] = {"~1", "~4[~d147~d095]", "~7000020", "~7000026", "~d029", "~M", "~9"};
    // Plain data; a '~' (a Shift JIS second byte) would start escapes of its own.
    auto plain = [&](int length) {
        std::string text = mixed.next(length, true);
        for (char& c : text) {
            if (c == '~') c = '!';
        }
        return text;
    };
    int smaller = 0;
    for (int k = 0; k < 600; ++k) {
        std::string data = k % 7 == 0 ? "~3[37]" : "";
        const int pieces = 1 + mixed.pick(4);
        for (int p = 0; p < pieces; ++p) {
            data += plain(1 + mixed.pick(k % 2 == 0 ? 40 : 400));
            if (mixed.pick(2) == 0) data += escapes[mixed.pick(7)];
        }
        const bool micro = k % 5 == 4;
        if (micro) data = plain(1 + mixed.pick(30));
        const int level = mixed.pick(4);
        const BothWays both = settleBothWays(data, 0, level, micro);
        if (!both.greedyOk) continue;
        ASSERT_TRUE(both.optimalOk) << printableData(data);
        EXPECT_LE(both.optimalVersion, both.greedyVersion) << both.optimalSegments;
        if (both.optimalVersion == both.greedyVersion) {
            EXPECT_LE(both.optimalBits, both.greedyBits) << both.optimalSegments;
        }
        smaller += both.optimalVersion < both.greedyVersion ? 1 : 0;
        std::vector<std::uint8_t> greedyBytes;
        std::vector<std::uint8_t> optimalBytes;
        std::string greedyOthers;
        std::string optimalOthers;
        readBack(*both.greedyInput, &greedyBytes, &greedyOthers);
        readBack(*both.optimalInput, &optimalBytes, &optimalOthers);
        EXPECT_EQ(optimalBytes, greedyBytes) << both.greedySegments << " / " << both.optimalSegments;
        EXPECT_EQ(optimalOthers, greedyOthers);
        if (::testing::Test::HasFailure()) return;
    }
    EXPECT_GT(smaller, 0) << "some input lands on a smaller version";
}

}  // namespace
}  // namespace kelvane2::qrencode
