// Input built to make the encoder slow or large: thousands of FNC1 second-position blocks, overlay
// blocks of the largest size, endless escapes. The parse reads every byte a bounded number of times,
// builds only the overlay that counts and stops storing segments once no symbol can hold them; the
// structured-append parity is read without allocating. Expected segment lists and results are the
// input language's rules (and agree with the parse that scanned the segment list and built every
// overlay, which these rows were first run against).
#include <gtest/gtest.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "encoder/hibc.h"
#include "encoder/micro_input.h"
#include "encoder/qrinput.h"
#include "encoder/result_codes.h"
#include "qrkit/qrkit.h"
#include "segment_text.h"
#include "support/alloc_failure.h"

namespace kelvane2::qrencode {
namespace {

using testing::bytesOf;
using testing::segmentText;

std::string repeated(const std::string& unit, std::size_t bytes) {
    std::string text;
    text.reserve(bytes);
    while (text.size() + unit.size() <= bytes)
        text += unit;
    return text;
}

struct Parse {
    int result;
    std::string segments;
    bool full;
};

Parse parse(QRInput& input, const std::string& text) {
    const std::vector<std::uint8_t> bytes = bytesOf(text);
    const int result = input.parse(bytes.data(), static_cast<int>(bytes.size()));
    return {result, segmentText(input.segments), input.exceedsEverySymbol};
}

// ---- FNC1 in second position: allowed before the data, however many came before -----------------------

TEST(HostileInput, Fnc1SecondPositionBeforeTheData) {
    const struct {
        const char* name;
        std::string input;
        int result;
        const char* segments;
    } rows[] = {
        {"three blocks, then data", "~3[1]~3[2]~3[3]AB", 0,
         "Fnc1Second {01} | Fnc1Second {02} | Fnc1Second {03} | Alphanumeric AB"},
        {"after FNC1 in first position", "~1~3[5]", 0, "Fnc1First | Fnc1Second {05}"},
        {"after a designator", "~7000026~3[5]", 0, "Eci {1A} | Fnc1Second {05}"},
        {"after a structured-append header", "~2[1][2]~3[5]", 0,
         "StructuredAppend {02}{01}{FE} | Fnc1Second {05}"},
        {"after an empty Kanji block (a data segment)", "~4[]~3[5]", kErrFnc1SecondBlock, "Kanji"},
        {"after one byte of data", "A~3[5]", kErrFnc1SecondBlock, "Alphanumeric A"},
        {"after data flushed by the block itself", "~3[1]A~3[1]", kErrFnc1SecondBlock,
         "Fnc1Second {01} | Alphanumeric A"},
        {"an overlay block is no data", "~50[:x]~3[5]", 0, "Fnc1Second {05}"},
    };
    for (const auto& row : rows) {
        QRInput input(0, 0, 0);
        const Parse out = parse(input, row.input);
        EXPECT_EQ(out.result, row.result) << row.name;
        EXPECT_EQ(out.segments, row.segments) << row.name;
    }
    // Five thousand blocks, then data and one block more: the last one is refused.
    QRInput input(0, 0, 0);
    const Parse out = parse(input, repeated("~3[1]", 25000) + "A~3[1]");
    EXPECT_EQ(out.result, kErrFnc1SecondBlock);
}

// ---- Overlay blocks: validated in place, only the last one built ----------------------------------------

std::string overlayRows(const QRInput& input) {
    if (input.overlay == nullptr) return "none";
    std::string text;
    for (int r = 0; r < input.overlay->getRows(); ++r) {
        if (r > 0) text += '/';
        for (int c = 0; c < input.overlay->getColumns(); ++c)
            text += input.overlay->getModule(r, c) != 0 ? 'X' : '.';
    }
    return text;
}

TEST(HostileInput, OverlayBlocksTheLastCounts) {
    const struct {
        const char* name;
        std::string input;
        int result;
        const char* overlay;  // rows of the bitmap, '/' between rows
        bool named;
    } rows[] = {
        {"the later text replaces the earlier", "~50[2,2,C0C0]~50[3,3,E0A0E0]X", 0, "XXX/X.X/XXX", false},
        {"malformed text after valid text empties the bitmap", "~50[3,3,E0E0E0]~50[abc]X", kErrOverlayBlock,
         "none", false},
        {"valid text after malformed text is never read", "~50[abc]~50[2,2,C0C0]", kErrOverlayBlock, "none",
         false},
        {"a bitmap read before a later error stays", "~50[2,2,4080]~3[256]", kErrFnc1SecondBlock, ".X/X.",
         false},
        {"a name keeps the bitmap", "~50[1,3,A0]~50[:swiss7]", 0, "X.X", true},
        {"a bitmap after a name", "~50[:swiss7]~50[1,2,40]", 0, ".X", true},
        {"four thousand of the largest, then a small one",
         repeated("~50[4096,4096,f]", 4096 * 16) + "~50[2,3,E040]", 0, "XXX/.X.", false},
    };
    for (const auto& row : rows) {
        QRInput input(0, 0, 0);
        const std::int64_t before = qrkit_test::bytesAllocated();
        const Parse out = parse(input, row.input);
        const std::int64_t allocated = qrkit_test::bytesAllocated() - before;
        EXPECT_EQ(out.result, row.result) << row.name;
        EXPECT_EQ(overlayRows(input), row.overlay) << row.name;
        EXPECT_EQ(input.hasOverlayName, row.named) << row.name;
        // A 4096 x 4096 bitmap alone takes 2 MB: none of them was built.
        EXPECT_LT(allocated, 1 << 20) << row.name;
    }
}

TEST(HostileInput, OnlyTheLastOverlayIsBuiltWhenItIsLarge) {
    QRInput input(0, 0, 0);
    const std::int64_t before = qrkit_test::bytesAllocated();
    const Parse out = parse(input, repeated("~50[4096,4096,f]", 4096 * 16));
    const std::int64_t allocated = qrkit_test::bytesAllocated() - before;
    EXPECT_EQ(out.result, 0);
    ASSERT_NE(input.overlay, nullptr);
    EXPECT_EQ(input.overlay->getRows(), 4096);
    // The single digit "f" is a character left over, ignored: every module stays light.
    EXPECT_EQ(input.overlay->getModule(0, 0), 0);
    EXPECT_GE(allocated, 4096 * 512);
    EXPECT_LT(allocated, 2 * 4096 * 512) << "one bitmap of 2 MB, not one per block";
}

// ---- Input that no symbol holds: the list stops growing, the errors of the rest are still found ----------

TEST(HostileInput, SegmentsStopAtTheLimit) {
    const std::size_t limit = segmentLimit();
    EXPECT_EQ(limit, 23648u / 3 + 1) << "version 40-L holds 2956 codewords; a segment takes 3 bits or more";
    const std::string many = repeated("~3[1]", 5 * (limit + 100));
    const struct {
        const char* name;
        std::string input;
        int forcedMode;
        int result;
    } rows[] = {
        {"FNC1 blocks beyond the limit", many, 0, 0},
        {"an FNC1 value beyond 255 after them", many + "~3[256]", 0, kErrFnc1SecondBlock},
        {"a bad Kanji block after them", many + "~4[AB]", 0, kErrKanjiBlock},
        {"a bad overlay after them", many + "~50[abc]", 0, kErrOverlayBlock},
        {"a long plain run after them", many + std::string(7169, 'a'), 0, kErrInputTooLong},
        {"a run that breaks forced numeric after them", many + "1~1AB", 2, kErrInvalidCharacters},
        {"runs that keep forced numeric", repeated("1~1", 3 * (limit + 100)), 2, 0},
        {"runs that keep forced alphanumeric", repeated("A~1", 3 * (limit + 100)), 3, 0},
        {"empty Kanji blocks", repeated("~4[]", 4 * (limit + 100)), 0, 0},
    };
    for (const auto& row : rows) {
        QRInput input(0, row.forcedMode, 0);
        const Parse out = parse(input, row.input);
        EXPECT_EQ(out.result, row.result) << row.name;
        EXPECT_TRUE(out.full) << row.name;
        EXPECT_FALSE(input.mayFit()) << row.name;
        EXPECT_LE(input.segments.size(), limit + kPendingRunLimit) << row.name;
        BitString bits;
        if (row.result == 0) {
            EXPECT_FALSE(input.dataBitString(bits)) << row.name;
        }
    }
    // The Micro QR Code parse stops the same way.
    MQRInput micro(0, 0);
    const std::vector<std::uint8_t> bytes = bytesOf(repeated("~4[]", 4 * (limit + 100)));
    EXPECT_EQ(micro.parse(bytes.data(), static_cast<int>(bytes.size())), 0);
    EXPECT_TRUE(micro.exceedsEverySymbol);
    BitString bits;
    EXPECT_FALSE(micro.dataBitString(bits));
}

// The lower bound counts 10/3 bits a digit and 11/2 bits any other byte of a plain run (what the optimal
// division may reach), and the exact payload and three bits of every other segment.
TEST(HostileInput, MayFitIsALowerBound) {
    const struct {
        const char* name;
        std::string input;
        bool mayFit;
        bool fits;  // what version selection finds, greedy and optimal
    } rows[] = {
        {"two letters", "AB", true, true},
        {"2953 bytes, the most version 40-L holds", std::string(2953, 'a'), true, true},
        {"2954 bytes", std::string(2954, 'a'), true, false},
        {"4299 bytes: 23644.5 bits at the fewest", std::string(4299, 'a'), true, false},
        {"4300 bytes: 23650 bits at the fewest", std::string(4300, 'a'), false, false},
        {"4296 alphanumerics, the most version 40-L holds", std::string(4296, 'A'), true, true},
        {"4300 alphanumerics", std::string(4300, 'A'), false, false},
        {"7089 digits, the most version 40-L holds", std::string(7089, '7'), true, true},
        {"7094 digits: 23646.7 bits at the fewest", std::string(7094, '7'), true, false},
        {"7095 digits: 23650 bits at the fewest", std::string(7095, '7'), false, false},
        {"two full runs", std::string(7168, 'a') + "~1" + std::string(7168, 'a'), false, false},
        {"1970 FNC1 blocks: 23640 bits, the most version 40-L holds", repeated("~3[1]", 5 * 1970), true,
         true},
        {"1971 FNC1 blocks: 23652 bits", repeated("~3[1]", 5 * 1971), true, false},
        {"2149 FNC1 blocks: 23639 bits at the fewest", repeated("~3[1]", 5 * 2149), true, false},
        {"2150 FNC1 blocks: 23650 bits at the fewest", repeated("~3[1]", 5 * 2150), false, false},
    };
    for (const auto& row : rows) {
        QRInput input(0, 0, 0);
        ASSERT_EQ(parse(input, row.input).result, 0) << row.name;
        EXPECT_FALSE(input.exceedsEverySymbol) << row.name;
        EXPECT_EQ(input.mayFit(), row.mayFit) << row.name;
        BitString bits;
        EXPECT_EQ(input.dataBitString(bits), row.fits) << row.name;
        QRInput optimal(0, 0, 0);
        optimal.optimalSegmentation = true;
        ASSERT_EQ(parse(optimal, row.input).result, 0) << row.name;
        EXPECT_EQ(optimal.dataBitString(bits), row.fits) << row.name << " (optimal)";
    }
}

TEST(HostileInput, CheckForcedRunAgreesWithForcedRun) {
    const char* const runs[] = {"123", "AB1", "ab", "A B$%*+-./:", "\x80", "1"};
    for (int mode = 1; mode <= 7; ++mode) {
        for (const char* run : runs) {
            QRInput input(0, mode, 0);
            const std::vector<std::uint8_t> bytes = bytesOf(run);
            const int checked = input.checkForcedRun(bytes.data(), static_cast<int>(bytes.size()));
            EXPECT_TRUE(input.segments.empty());
            EXPECT_EQ(checked, input.forcedRun(bytes.data(), static_cast<int>(bytes.size())))
                << "mode " << mode << ", run " << run;
        }
    }
}

// ---- The structured-append parity ---------------------------------------------------------------------

// The parity as the segments of a full parse give it (-1 when the list was cut at the limit).
int segmentParity(const std::string& text) {
    QRInput input(0, 0, 0);
    const std::vector<std::uint8_t> bytes = bytesOf(text);
    input.parse(bytes.data(), static_cast<int>(bytes.size()));
    if (input.exceedsEverySymbol) return -1;
    int parity = 0;
    for (const InputSegment& segment : input.segments) {
        if (segment.mode > kKanji) continue;
        for (std::uint8_t byte : segment.data)
            parity ^= byte;
    }
    return parity;
}

const std::vector<std::pair<const char*, std::string>>& parityInputs() {
    static const std::vector<std::pair<const char*, std::string>> inputs = {
        {"plain text", "Hello, World 123"},
        {"escapes", "~d065~M~~~Z"},
        {"structured append with spaces", "~2[1][ 3 , 45 ]AB"},
        {"structured append without parity", "~2[1][3]CD"},
        {"a bad structured-append header", "~2[1][3"},
        {"Kanji", "AB~4[~d147~d095\x93\x5F]CD"},
        {"an odd Kanji byte", "~4[~d147~d095~d147]"},
        {"a bad Kanji block keeps the run before it", "AB~4[~d147~d095AB]CD"},
        {"designators", "~7000026A~8000100B~9C"},
        {"FNC1", "~1ABC~3[5]"},
        {"FNC1 second after data", "~3[5]ABC~3[6]DEF"},
        {"overlays", "A~50[2,2,C0C0]B~50[:swiss7]C"},
        {"a bad overlay", "AB~50[abc]CD"},
        {"a run over the limit keeps nothing of it", "XY~1" + std::string(7169, 'a')},
        {"digits and letters", "0123456789ABCDEFabcdef"},
        {"4096 overlay blocks", repeated("~50[4096,4096,f]", 1 << 16)},
        {"3000 FNC1 blocks and a byte", repeated("~3[1]", 15000) + "a"},
    };
    return inputs;
}

// Inputs with more segments than the list holds, and their parity worked out by hand.
struct LongParity {
    const char* name;
    std::string text;
    int parity;
};
const std::vector<LongParity>& longParityInputs() {
    static const std::vector<LongParity> inputs = {
        {"64 KB of FNC1 blocks", repeated("~3[1]", 1 << 16), 0},
        {"6553 designators, each with ab (an odd count)", repeated("~7000026ab", 65530), 'a' ^ 'b'},
        {"6554 designators, each with ab (an even count)", repeated("~7000026ab", 65540), 0},
        {"20000 runs of x, then yz", repeated("~1x", 60000) + "yz", 'y' ^ 'z'},
        {"10000 Kanji blocks of one character", repeated("~4[~d147~d095]", 140000), 0},
        {"10001 Kanji blocks of one character", repeated("~4[~d147~d095]", 140014), 0x93 ^ 0x5F},
    };
    return inputs;
}

TEST(HostileInput, ParityAsTheSegmentsGiveIt) {
    for (const auto& [name, text] : parityInputs()) {
        ASSERT_NE(segmentParity(text), -1) << name;
        EXPECT_EQ(QRCodeGetParity(text.c_str()), segmentParity(text)) << name;
    }
    for (const LongParity& row : longParityInputs()) {
        EXPECT_EQ(segmentParity(row.text), -1) << row.name << ": beyond the list's limit";
        EXPECT_EQ(QRCodeGetParity(row.text.c_str()), row.parity) << row.name;
    }
}

TEST(HostileInput, ParityAllocatesNothing) {
    std::vector<std::pair<std::string, int>> rows;
    for (const auto& [name, text] : parityInputs())
        rows.emplace_back(text, segmentParity(text));
    for (const LongParity& row : longParityInputs())
        rows.emplace_back(row.text, row.parity);
    for (const auto& [text, expected] : rows) {
        const std::string name = text.substr(0, 24);
        const std::int64_t made = qrkit_test::allocationsMade();
        qrkit_test::failAllocationAfter(0);
        const int parity = QRCodeGetParity(text.c_str());
        const bool failed = qrkit_test::allocationFailureHappened();
        qrkit_test::disarmAllocationFailure();
        EXPECT_FALSE(failed) << name;
        EXPECT_EQ(qrkit_test::allocationsMade(), made) << name;
        EXPECT_EQ(parity, expected) << name;
    }
}

// ---- Work bounded by the input's length ------------------------------------------------------------------

// CPU time of the calling thread in seconds.
double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

struct Work {
    double seconds;  // the least of three runs
    std::int64_t allocations;
    std::int64_t bytes;
};

Work measure(const std::function<void()>& call) {
    Work work{1e9, 0, 0};
    for (int run = 0; run < 3; ++run) {
        const std::int64_t made = qrkit_test::allocationsMade();
        const std::int64_t bytes = qrkit_test::bytesAllocated();
        const double start = threadSeconds();
        call();
        work.seconds = std::min(work.seconds, threadSeconds() - start);
        work.allocations = qrkit_test::allocationsMade() - made;
        work.bytes = qrkit_test::bytesAllocated() - bytes;
    }
    return work;
}

// Every export that reads the input language, on 64 KB of each hostile unit. Two bounds that a parse
// costing more than linear time (or a bitmap per overlay block) cannot meet on any machine: the memory
// allocated is a small multiple of the input (one 2 MB bitmap at most), and the CPU time of 64 KB is
// at most 20 times that of 8 KB (a linear parse takes 8 times; one that rescans what it has read takes
// 40 times or more), with 5 ms of slack for clock granularity.
TEST(HostileInput, WorkGrowsLinearly) {
    const std::size_t kLarge = 64 * 1024;
    const std::size_t kSmall = 8 * 1024;
    // The last unit: short runs of a Kanji pair and mixed modes, for the optimal division.
    const char* const units[] = {"~3[1]",
                                 "~50[4096,4096,f]",
                                 "~d065",
                                 "~4[~d147~d095]",
                                 "~1a",
                                 "~7000026",
                                 "~50[:swiss7]",
                                 "~1\x93\x5F"
                                 "1A"};
    const struct {
        const char* name;
        std::function<void(const std::string&)> call;
    } exports[] = {
        {"QRCodeEncode",
         [](const std::string& data) {
             QRCODE_RESULT handle = nullptr;
             QRCodeEncode(data.c_str(), 0, 0, &handle);
             if (handle != nullptr) DestroyQRCodeEncodeResult(handle);
         }},
        {"QRCodeEncode2W",
         [](const std::string& data) {
             const std::u16string wide(data.begin(), data.end());
             QRCODE_RESULT handle = QRCodeEncode2W(reinterpret_cast<const qrkit_char16*>(wide.c_str()), 0, 0);
             if (handle != nullptr) DestroyQRCodeEncodeResult(handle);
         }},
        {"QRCodeEncodeOptimal",
         [](const std::string& data) {
             QRCODE_RESULT handle = nullptr;
             QRCodeEncodeOptimal(data.c_str(), 0, 0, &handle);
             if (handle != nullptr) DestroyQRCodeEncodeResult(handle);
         }},
        {"MicroQRCodeEncodeOptimal",
         [](const std::string& data) {
             QRCODE_RESULT handle = nullptr;
             MicroQRCodeEncodeOptimal(data.c_str(), 0, 0, &handle);
             if (handle != nullptr) DestroyQRCodeEncodeResult(handle);
         }},
        {"MicroQRCodeEncode",
         [](const std::string& data) {
             QRCODE_RESULT handle = nullptr;
             MicroQRCodeEncode(data.c_str(), 0, 0, &handle);
             if (handle != nullptr) DestroyQRCodeEncodeResult(handle);
         }},
        {"QRCodeGetParity", [](const std::string& data) { QRCodeGetParity(data.c_str()); }},
    };
    for (const char* unit : units) {
        const std::string large = repeated(unit, kLarge);
        const std::string small = repeated(unit, kSmall);
        for (const auto& exported : exports) {
            SCOPED_TRACE(std::string(exported.name) + " of " + unit);
            const Work big = measure([&] { exported.call(large); });
            const Work little = measure([&] { exported.call(small); });
            EXPECT_LT(big.bytes, static_cast<std::int64_t>(48 * kLarge) + (3 << 20));
            EXPECT_LT(big.allocations, static_cast<std::int64_t>(kLarge));
            EXPECT_LT(big.seconds, 20 * little.seconds + 0.005)
                << "64 KB took " << big.seconds * 1e3 << " ms, 8 KB " << little.seconds * 1e3 << " ms";
        }
    }
}

}  // namespace
}  // namespace kelvane2::qrencode
