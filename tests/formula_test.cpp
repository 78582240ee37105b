// The formula object's logic through the native automation layer: Set methods, chunks, per-thread
// result and error texts, parity, and the native BSTR strings themselves.
#include "formula/formula_object.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/alloc_failure.h"
#include "support/decode.h"

namespace {

using namespace kelvane2::formula;
using kelvane2::platform::kHrFail;
using kelvane2::platform::kHrFalse;
using kelvane2::platform::kHrOk;
using kelvane2::platform::kHrOutOfMemory;
using kelvane2::platform::kHrPointer;
using kelvane2::platform::SysAllocStringLen;
using kelvane2::platform::SysFreeString;
using kelvane2::platform::SysStringLen;
using qrkit_test::decodeWithZbar;
using qrkit_test::decodeWithZxing;
using qrkit_test::ModuleMatrix;

// A BSTR owned by the test.
class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(const std::u16string& text)
        : text_(SysAllocStringLen(text.data(), static_cast<kelvane2::platform::UINT>(text.size()))) {}
    ~Bstr() { SysFreeString(text_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    BSTR get() const { return text_; }
    BSTR* out() { return &text_; }
    // The units as single bytes (every unit the formula object hands out is a widened byte).
    std::string narrow() const {
        std::string bytes;
        for (unsigned i = 0; i < SysStringLen(text_); ++i) {
            EXPECT_LT(text_[i], 0x100) << "unit " << i;
            bytes.push_back(static_cast<char>(text_[i]));
        }
        return bytes;
    }

  private:
    BSTR text_ = nullptr;
};

std::string errorText() {
    Bstr text;
    EXPECT_EQ(getErrorText(text.out()), kHrOk);
    return text.narrow();
}

// The whole result text of the calling thread, read chunk by chunk as a report formula does.
std::string readChunks(LONG chunks) {
    std::string text;
    for (LONG k = 0; k < chunks; ++k) {
        Bstr chunk;
        const HRESULT status = encodeGet(k, chunk.out());
        const std::string piece = chunk.narrow();
        EXPECT_LE(piece.size(), 250u);
        EXPECT_EQ(status, piece.empty() ? kHrFalse : kHrOk) << "chunk " << k;
        text += piece;
    }
    Bstr past;
    EXPECT_EQ(encodeGet(chunks, past.out()), kHrFalse);
    EXPECT_EQ(SysStringLen(past.get()), 0u);
    return text;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find("\r\n", from);
        lines.push_back(text.substr(from, at - from));
        if (at == std::string::npos) return lines;
        from = at + 2;
    }
}

// The module matrix a font string stands for: each digit is four rows of one column, top row the most
// significant bit; the symbol is square, so rows past its width are dropped.
ModuleMatrix matrixOfFontString(const std::string& text) {
    const std::vector<std::string> lines = splitLines(text);
    const int width = static_cast<int>(lines.front().size());
    std::vector<std::string> rows(lines.size() * 4, std::string(static_cast<std::size_t>(width), '0'));
    for (std::size_t j = 0; j < lines.size(); ++j) {
        for (int k = 0; k < width; ++k) {
            const int digit = std::stoi(std::string(1, lines[j][k]), nullptr, 16);
            for (int i = 0; i < 4; ++i)
                rows[4 * j + i][k] = (digit >> (3 - i)) & 1 ? '1' : '0';
        }
    }
    rows.resize(static_cast<std::size_t>(width));
    return ModuleMatrix::fromText(rows);
}

struct SetCase {
    const char* name;
    SymbolKind kind;
    std::u16string data;
    LONG version;
    LONG ecLevel;
    std::size_t textLength;
    LONG chunks;
    std::size_t lineLength;
    std::string decoded;
};

const SetCase kSetCases[] = {
    {"12345 is a version 1 symbol: 136 characters, one chunk", SymbolKind::kQrCode, u"12345", 0, 0, 136, 1,
     21, "12345"},
    {"version 3: 246 characters, still one chunk", SymbolKind::kQrCode, u"A", 3, 0, 246, 1, 29, "A"},
    {"version 4: 313 characters, two chunks", SymbolKind::kQrCode, u"A", 4, 0, 313, 2, 33, "A"},
    {"version 40: the largest text", SymbolKind::kQrCode, u"1", 40, 0, 45 * 177 + 44 * 2, 33, 177, "1"},
    {"Latin-1 units are single bytes", SymbolKind::kQrCode, u"\u00E9t\u00E9", 0, 1, 136, 1, 21, "\xE9t\xE9"},
    {"a unit above 255 makes the data UTF-8 after a byte-order mark", SymbolKind::kQrCode, u"\u03A9m", 0, 1,
     0, 1, 0, "\xEF\xBB\xBF\xCE\xA9m"},
    {"a zero unit is the byte 0", SymbolKind::kQrCode, std::u16string(u"AB\0CD", 5), 0, 0, 136, 1, 21,
     std::string("AB\0CD", 5)},
    {"HIBC upper-cases and adds the check character", SymbolKind::kHibc, u"a1b2", 0, 1, 136, 1, 21, "+A1B2M"},
    {"Micro QR Code version 3 is an M3 symbol: lines of 15", SymbolKind::kMicroQrCode, u"12345", 3, 0,
     4 * 15 + 3 * 2, 1, 15, "12345"},
};

TEST(FormulaSet, SymbolsAsChunkedFontStrings) {
    for (const SetCase& c : kSetCases) {
        SCOPED_TRACE(c.name);
        Bstr data(c.data);
        LONG chunks = -7;
        ASSERT_EQ(encodeSet(c.kind, data.get(), c.version, c.ecLevel, &chunks), kHrOk);
        EXPECT_EQ(chunks, c.chunks);
        const std::string text = readChunks(chunks);
        if (c.textLength != 0) {
            EXPECT_EQ(text.size(), c.textLength);
        }
        const std::vector<std::string> lines = splitLines(text);
        for (const std::string& line : lines) {
            EXPECT_EQ(line.find_first_not_of("0123456789ABCDEF"), std::string::npos) << line;
            if (c.lineLength != 0) {
                EXPECT_EQ(line.size(), c.lineLength);
            }
        }

        const ModuleMatrix matrix = matrixOfFontString(text);
        const auto zxing = decodeWithZxing(matrix);
        ASSERT_TRUE(zxing.ok) << zxing.message;
        EXPECT_EQ(zxing.bytes, c.decoded) << qrkit_test::printable(zxing.bytes);
        EXPECT_EQ(zxing.microQr, c.kind == SymbolKind::kMicroQrCode);
        if (c.kind != SymbolKind::kMicroQrCode) {
            const auto zbar = decodeWithZbar(matrix);
            ASSERT_TRUE(zbar.ok) << zbar.message;
            EXPECT_EQ(zbar.bytes, c.decoded) << qrkit_test::printable(zbar.bytes);
        }
    }
}

TEST(FormulaSet, ZeroUnitEncodesLikeItsEscape) {
    const struct {
        const char* name;
        std::u16string withZero;
        std::u16string withEscape;
    } cases[] = {
        {"in the middle", std::u16string(u"AB\0CD", 5), u"AB~d000CD"},
        {"alone", std::u16string(1, u'\0'), u"~d000"},
        {"twice, beside a wide unit", std::u16string(u"\0\u0416\0", 3), u"~d000\u0416~d000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(inputBytes(Bstr(c.withZero).get()), inputBytes(Bstr(c.withEscape).get()));
        LONG chunks = 0;
        ASSERT_EQ(encodeSet(SymbolKind::kQrCode, Bstr(c.withZero).get(), 0, 0, &chunks), kHrOk);
        const std::string first = readChunks(chunks);
        ASSERT_EQ(encodeSet(SymbolKind::kQrCode, Bstr(c.withEscape).get(), 0, 0, &chunks), kHrOk);
        EXPECT_EQ(readChunks(chunks), first);
    }
    EXPECT_EQ(inputBytes(nullptr), "");
}

TEST(FormulaSet, ExactlyTwoHundredFiftyCharactersMakeTwoChunks) {
    const struct {
        int length;
        int chunks;
    } cases[] = {{0, 1}, {136, 1}, {249, 1}, {250, 2}, {251, 2}, {499, 2}, {500, 3}, {8053, 33}};
    for (const auto& c : cases)
        EXPECT_EQ(chunkCount(c.length), c.chunks) << c.length << " characters";

    // A result text of exactly 250 characters: the second chunk is empty and reported as past the end.
    ThreadRecord* record = currentThreadRecord();
    ASSERT_NE(record, nullptr);
    std::memset(record->resultText, 'A', 250);
    record->resultText[250] = '\0';
    EXPECT_EQ(readChunks(chunkCount(250)), std::string(250, 'A'));
}

TEST(FormulaGet, ChunkNumbersOutsideTheTextGiveEmptyStrings) {
    Bstr data(u"12345");
    LONG chunks = 0;
    ASSERT_EQ(encodeSet(SymbolKind::kQrCode, data.get(), 0, 0, &chunks), kHrOk);
    const LONG cases[] = {-1, -2, INT_MIN, 1, INT_MAX / 250 + 1, INT_MAX};
    for (LONG trunk : cases) {
        SCOPED_TRACE(trunk);
        Bstr chunk(u"held before the call");
        EXPECT_EQ(encodeGet(trunk, chunk.out()), kHrFalse);
        ASSERT_NE(chunk.get(), nullptr);
        EXPECT_EQ(SysStringLen(chunk.get()), 0u);
    }
    EXPECT_EQ(encodeGet(0, nullptr), kHrPointer);
}

TEST(FormulaSet, FailureKeepsTheLastResultAndSetsTheErrorText) {
    EXPECT_EQ(putErrorText(Bstr(u"").get()), kHrOk);
    LONG chunks = 0;
    ASSERT_EQ(encodeSet(SymbolKind::kQrCode, Bstr(u"12345").get(), 0, 0, &chunks), kHrOk);
    const std::string kept = readChunks(chunks);

    const struct {
        const char* name;
        SymbolKind kind;
        std::u16string data;
        LONG version;
        const char* message;
    } cases[] = {
        {"data that fits no version", SymbolKind::kQrCode, std::u16string(7090, u'1') + u"1", 0,
         "Input is too long"},
        {"data too long for a strict version 1", SymbolKind::kQrCode, std::u16string(42, u'1'), 0x8001,
         "Input is too long"},
        {"a Kanji block holding no Kanji", SymbolKind::kQrCode, u"~4[AB]", 0, "Invalid Kanji block"},
        {"HIBC data outside the Code 39 set", SymbolKind::kHibc, u"AB*", 0, "Input is too long"},
        {"Micro QR data too long for M4", SymbolKind::kMicroQrCode, std::u16string(40, u'A'), 1,
         "Input is too long"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LONG untouched = -7;
        EXPECT_EQ(encodeSet(c.kind, Bstr(c.data).get(), c.version, 0, &untouched), kHrFail);
        EXPECT_EQ(untouched, -7);
        EXPECT_EQ(errorText(), c.message);
        EXPECT_EQ(readChunks(chunks), kept);
    }

    // A later success leaves the error text until the host clears it.
    ASSERT_EQ(encodeSet(SymbolKind::kQrCode, Bstr(u"67890").get(), 0, 0, &chunks), kHrOk);
    EXPECT_NE(readChunks(chunks), kept);
    EXPECT_EQ(errorText(), "Input is too long");
    EXPECT_EQ(putErrorText(nullptr), kHrOk);
    EXPECT_EQ(errorText(), "Input is too long");
    EXPECT_EQ(putErrorText(Bstr(u"").get()), kHrOk);
    EXPECT_EQ(errorText(), "");
    EXPECT_EQ(putErrorText(Bstr(u"set by the host").get()), kHrOk);
    EXPECT_EQ(errorText(), "set by the host");
}

TEST(FormulaObject, ParityPrefixAndNullPointers) {
    const struct {
        const char* name;
        std::u16string data;
        LONG parity;
    } cases[] = {
        {"A xor B", u"AB", 3},
        {"empty", u"", 0},
        {"a zero unit counts as the byte 0", std::u16string(u"A\0B", 3), 3},
        {"a decimal escape counts by its byte", u"~d065", 0x41},
    };
    for (const auto& c : cases) {
        LONG parity = -1;
        EXPECT_EQ(kelvane2::formula::parity(Bstr(c.data).get(), &parity), kHrOk) << c.name;
        EXPECT_EQ(parity, c.parity) << c.name;
    }
    LONG parityOfNull = -1;
    EXPECT_EQ(kelvane2::formula::parity(nullptr, &parityOfNull), kHrOk);
    EXPECT_EQ(parityOfNull, 0);

    VARIANT_BOOL prefix = -1;
    EXPECT_EQ(getPrefixFunctions(&prefix), kHrOk);
    EXPECT_EQ(prefix, 0);

    EXPECT_EQ(getPrefixFunctions(nullptr), kHrPointer);
    EXPECT_EQ(getErrorText(nullptr), kHrPointer);
    EXPECT_EQ(kelvane2::formula::parity(Bstr(u"AB").get(), nullptr), kHrPointer);
    EXPECT_EQ(encodeSet(SymbolKind::kQrCode, Bstr(u"AB").get(), 0, 0, nullptr), kHrPointer);
}

TEST(FormulaThreads, EachThreadHasItsOwnResultAndErrorText) {
    struct Seen {
        HRESULT firstGet = 0;
        std::size_t firstLength = 99;
        std::string errorBefore = "unset";
        std::string text;
        std::string error;
    };
    struct Job {
        std::u16string data;
        LONG version;
        SymbolKind failingKind;
        std::u16string failing;
    };
    // Each thread starts with an empty result and error text, then makes its own result and failure.
    auto work = [](const Job& job, Seen* seen) {
        Bstr first;
        seen->firstGet = encodeGet(0, first.out());
        seen->firstLength = SysStringLen(first.get());
        seen->errorBefore = errorText();
        for (int round = 0; round < 20; ++round) {
            LONG chunks = 0;
            ASSERT_EQ(encodeSet(SymbolKind::kQrCode, Bstr(job.data).get(), job.version, 0, &chunks), kHrOk);
            EXPECT_EQ(encodeSet(job.failingKind, Bstr(job.failing).get(), 1, 0, &chunks), kHrFail);
            seen->text = readChunks(chunks);
            seen->error = errorText();
        }
    };
    const Job jobOne{u"12345", 1, SymbolKind::kMicroQrCode, std::u16string(40, u'A')};
    const Job jobTwo{u"HELLO", 4, SymbolKind::kQrCode, u"~4[AB]"};
    // The encoder's caches fill on first use and stay: fill them before counting allocations.
    for (const Job* job : {&jobOne, &jobTwo}) {
        LONG chunks = 0;
        encodeSet(SymbolKind::kQrCode, Bstr(job->data).get(), job->version, 0, &chunks);
        encodeSet(job->failingKind, Bstr(job->failing).get(), 1, 0, &chunks);
    }

    Seen one, two;
    std::thread a(work, std::cref(jobOne), &one);
    std::thread b(work, std::cref(jobTwo), &two);
    a.join();
    b.join();

    for (const Seen* seen : {&one, &two}) {
        EXPECT_EQ(seen->firstGet, kHrFalse);
        EXPECT_EQ(seen->firstLength, 0u);
        EXPECT_EQ(seen->errorBefore, "");
    }
    EXPECT_EQ(one.text.size(), 136u);
    EXPECT_EQ(decodeWithZxing(matrixOfFontString(one.text)).bytes, "12345");
    EXPECT_EQ(one.error, "Input is too long");
    EXPECT_EQ(two.text.size(), 313u);
    EXPECT_EQ(decodeWithZxing(matrixOfFontString(two.text)).bytes, "HELLO");
    EXPECT_EQ(two.error, "Invalid Kanji block");
}

TEST(FormulaThreads, RecordIsFreedWhenItsThreadEnds) {
    const std::int64_t live = qrkit_test::liveAllocations();
    bool made = false;
    std::thread([&made] { made = currentThreadRecord() != nullptr; }).join();
    EXPECT_TRUE(made);
    EXPECT_EQ(qrkit_test::liveAllocations(), live);
}

TEST(FormulaSet, MemoryExhaustionLeavesTheThreadStateAsItWas) {
    Bstr data(u"A longer text in byte mode, with ~d001 an escape");
    LONG chunks = 0;
    // The encoder's caches fill on first use and stay: fill them before counting allocations.
    ASSERT_EQ(encodeSet(SymbolKind::kQrCode, data.get(), 0, 0, &chunks), kHrOk);
    ASSERT_EQ(encodeSet(SymbolKind::kQrCode, Bstr(u"12345").get(), 0, 0, &chunks), kHrOk);
    const std::string kept = readChunks(chunks);
    ASSERT_EQ(putErrorText(Bstr(u"before").get()), kHrOk);
    bool succeeded = false;
    for (int n = 0; n < 200 && !succeeded; ++n) {
        SCOPED_TRACE(n);
        const std::int64_t live = qrkit_test::liveAllocations();
        LONG untouched = -7;
        qrkit_test::failAllocationAfter(n);
        const HRESULT status = encodeSet(SymbolKind::kQrCode, data.get(), 0, 0, &untouched);
        const bool failed = qrkit_test::allocationFailureHappened();
        qrkit_test::disarmAllocationFailure();
        EXPECT_EQ(qrkit_test::liveAllocations(), live);
        if (!failed) {
            EXPECT_EQ(status, kHrOk);
            succeeded = true;
            break;
        }
        EXPECT_EQ(status, kHrOutOfMemory);
        EXPECT_EQ(untouched, -7);
        EXPECT_EQ(readChunks(chunks), kept);
        const std::string error = errorText();
        EXPECT_TRUE(error == "before" || error == "Out of memory") << error;
    }
    EXPECT_TRUE(succeeded);
}

TEST(NativeBstr, LengthPrefixedUtf16) {
    BSTR empty = SysAllocStringLen(nullptr, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_EQ(empty[0], 0);

    const char16_t units[] = u"a\0b";
    BSTR withZero = SysAllocStringLen(units, 3);
    ASSERT_NE(withZero, nullptr);
    EXPECT_EQ(SysStringLen(withZero), 3u);
    EXPECT_EQ(std::u16string(withZero, 3), std::u16string(units, 3));
    EXPECT_EQ(withZero[3], 0) << "a terminating zero unit follows the last unit";

    BSTR copy = kelvane2::platform::SysAllocString(withZero);
    EXPECT_EQ(SysStringLen(copy), 1u) << "SysAllocString copies up to the first zero unit";
    EXPECT_EQ(kelvane2::platform::SysReAllocString(&copy, u"longer text"), 1);
    EXPECT_EQ(std::u16string(copy), u"longer text");
    EXPECT_EQ(SysStringLen(copy), 11u);

    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(kelvane2::platform::SysAllocString(nullptr), nullptr);
    SysFreeString(nullptr);
    SysFreeString(empty);
    SysFreeString(withZero);
    SysFreeString(copy);
}

}  // namespace
