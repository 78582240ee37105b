// The optimal division of plain runs, by dynamic programming over the run's positions and the open
// segment's mode, and the smallest version that holds it.
//
// The cost of a division is exact: a numeric segment costs 4 bits for the first digit of each group of
// three and 3 for each of the other two (10, 7 and 4 bits a group), an alphanumeric segment 6 bits for
// the first character of each pair and 5 for the second (11 and 6 bits), a byte 8 bits, a Kanji pair
// 13 bits, and every segment its header. The state after a position is therefore the open segment's
// mode together with its digit count modulo 3 or character count modulo 2; a step either continues the
// open segment or opens a new one (its header paid) in any mode that holds the next character.
#include "encoder/optimal_segmentation.h"

#include <algorithm>
#include <climits>
#include <cstddef>

#include "encoder/input_detail.h"
#include "encoder/micro_input.h"
#include "encoder/tables.h"

namespace kelvane2::qrencode {

namespace {

constexpr int kMaxVersion = 40;
constexpr int kMaxMicroVersion = 4;

// The group separator a '%' stands for in alphanumeric data after an FNC1 marker.
constexpr std::uint8_t kGroupSeparator = 0x1D;

// The ECI designator of Shift JIS, under which plain bytes are read as Shift JIS.
constexpr long kShiftJisEci = 20;

// The first version of each group of versions sharing count field widths: 1-9, 10-26, 27-40.
constexpr int kGroupFirstVersion[3] = {1, 10, 27};

int versionGroup(int version) {
    return version <= 9 ? 0 : (version <= 26 ? 1 : 2);
}

// The states of the division after a position: the open segment's mode and its count modulo 3
// (numeric) or 2 (alphanumeric). After FNC1 an alphanumeric segment also remembers whether it ends in a
// '%' written for a group separator: a '%' right after it would read as "%%", one '%'.
enum State : int {
    kNumeric0,
    kNumeric1,
    kNumeric2,
    kAlphanumeric0,
    kAlphanumeric1,
    kAlphanumericSeparator0,
    kAlphanumericSeparator1,
    kByteOpen,
    kKanjiOpen,
    kStateCount
};
constexpr int kModeOfState[kStateCount] = {
    kNumeric, kNumeric, kNumeric, kAlphanumeric, kAlphanumeric, kAlphanumeric, kAlphanumeric, kByte, kKanji};
// No state yet: the start of the run.
constexpr int kNoState = -1;

// A cost of bits and segments as one key, bits first: ties go to the fewer segments.
constexpr long long kSegmentWeight = 1LL << 24;
constexpr long long kUnreached = LLONG_MAX;

struct Cell {
    long long key = kUnreached;
    int from = 0;  // the position the step came from
    int fromState = kNoState;
    bool opens = false;  // the step opened a new segment
};

// The alphanumeric characters a reader byte takes: 0 (none), 1, or 2 for a '%' after FNC1 ("%%").
int alphanumericCharacters(std::uint8_t byte, bool fnc1) {
    if (fnc1) {
        if (byte == '%') return 2;
        if (byte == kGroupSeparator) return 1;
    }
    return detail::isAlphanumeric(byte) ? 1 : 0;
}

// Appends the bytes that write one reader byte in a mode (Kanji: the caller appends the pair).
void appendWritten(int mode, std::uint8_t byte, bool fnc1, SegmentBytes& data) {
    if (mode == kAlphanumeric && fnc1 && byte == '%') {
        data.push_back('%');
        data.push_back('%');
    } else if (mode == kAlphanumeric && fnc1 && byte == kGroupSeparator) {
        data.push_back('%');
    } else {
        data.push_back(byte);
    }
}

// The value of one to three designator bytes (the ECI designator forms).
long designatorValue(const SegmentBytes& bytes) {
    if (bytes.size() == 1) return bytes[0];
    if (bytes.size() == 2) return ((bytes[0] - 0x80L) << 8) | bytes[1];
    if (bytes.size() == 3) return ((bytes[0] - 0xC0L) << 16) | (bytes[1] << 8) | bytes[2];
    return -1;
}

// True when bytes are valid UTF-8 holding at least one multi-byte character.
bool isUtf8Text(const std::vector<std::uint8_t>& bytes) {
    bool multiByte = false;
    const std::size_t n = bytes.size();
    for (std::size_t i = 0; i < n;) {
        const std::uint8_t lead = bytes[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int length;
        std::uint32_t point;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            point = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            point = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            point = lead & 0x07u;
        } else {
            return false;
        }
        if (i + static_cast<std::size_t>(length) > n) return false;
        for (int k = 1; k < length; ++k) {
            const std::uint8_t next = bytes[i + static_cast<std::size_t>(k)];
            if ((next & 0xC0) != 0x80) return false;
            point = (point << 6) | (next & 0x3Fu);
        }
        // Overlong forms, surrogates and points beyond U+10FFFF are not UTF-8.
        static const std::uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (point < kSmallest[length] || (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF)
            return false;
        multiByte = true;
        i += static_cast<std::size_t>(length);
    }
    return multiByte;
}

bool opensWithByteOrderMark(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
}

// One run of the segment list: the consecutive numeric, alphanumeric and byte segments that one plain
// run of the input became (every run ends at an escape that makes a segment of another kind).
struct RunSpan {
    std::size_t first = 0;
    std::size_t count = 0;
    long eci = -1;  // the designator in force, -1 none
    PlainRun run;
};

std::vector<RunSpan> findRuns(const SegmentList& segments) {
    std::vector<RunSpan> runs;
    bool fnc1 = false;
    long eci = -1;
    bool open = false;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const InputSegment& segment = segments[i];
        if (segment.mode >= kNumeric && segment.mode <= kByte) {
            if (!open) {
                runs.emplace_back();
                runs.back().first = i;
                runs.back().eci = eci;
                runs.back().run.fnc1 = fnc1;
                open = true;
            }
            RunSpan& span = runs.back();
            ++span.count;
            appendReaderBytes(segment.mode, segment.data, fnc1, span.run.bytes);
            continue;
        }
        open = false;
        if (segment.mode == kFnc1First || segment.mode == kFnc1Second) fnc1 = true;
        if (segment.mode == kEci) eci = designatorValue(segment.data);
    }

    // Kanji mode only where plain bytes read as Shift JIS.
    bool utf8 = false;
    for (const RunSpan& span : runs) {
        if (span.eci == -1 && (opensWithByteOrderMark(span.run.bytes) || isUtf8Text(span.run.bytes)))
            utf8 = true;
    }
    for (RunSpan& span : runs)
        span.run.kanji = span.eci == kShiftJisEci || (span.eci == -1 && !utf8);
    return runs;
}

// The segment list with every run replaced by its division; the other segments copied (bits dropped).
SegmentList dividedList(const SegmentList& segments, const std::vector<RunSpan>& runs,
                        std::vector<RunDivision>& divisions) {
    SegmentList list;
    list.reserve(segments.size() + runs.size());
    std::size_t r = 0;
    for (std::size_t i = 0; i < segments.size();) {
        if (r < runs.size() && runs[r].first == i) {
            for (InputSegment& segment : divisions[r].segments)
                list.push_back(std::move(segment));
            i += runs[r].count;
            ++r;
            continue;
        }
        InputSegment copy;
        copy.mode = segments[i].mode;
        copy.data = segments[i].data;
        list.push_back(std::move(copy));
        ++i;
    }
    return list;
}

// The segment list for the QR group of versions starting at version, and its bits there.
long long qrCandidate(const QRInput& input, const std::vector<RunSpan>& runs, int version,
                      SegmentList& list) {
    const ModeHeaders headers = qrModeHeaders(version);
    std::vector<RunDivision> divisions;
    divisions.reserve(runs.size());
    for (const RunSpan& span : runs) {
        divisions.push_back(divideRun(span.run, headers));
        if (!divisions.back().ok) return -1;  // cannot happen: byte mode holds every byte
    }
    list = dividedList(input.segments, runs, divisions);
    long long bits = 0;
    for (InputSegment& segment : list)
        bits += encodeQrSegment(segment, version);
    return bits;
}

// The segment list for a Micro version and its bits there; -1 when the version cannot carry it.
long long microCandidate(const MQRInput& input, const std::vector<RunSpan>& runs, int version,
                         SegmentList& list) {
    const ModeHeaders headers = microModeHeaders(version);
    std::vector<RunDivision> divisions;
    divisions.reserve(runs.size());
    for (const RunSpan& span : runs) {
        divisions.push_back(divideRun(span.run, headers));
        if (!divisions.back().ok) return -1;
    }
    list = dividedList(input.segments, runs, divisions);
    long long bits = 0;
    for (InputSegment& segment : list) {
        const int length = encodeMicroSegment(segment, version);
        if (length < 0) return -1;
        bits += length;
    }
    return bits;
}

}  // namespace

ModeHeaders qrModeHeaders(int version) {
    ModeHeaders headers{};
    for (int mode = kNumeric; mode <= kKanji; ++mode)
        headers.bits[mode] = 4 + QrTables::countBits(mode, version);
    return headers;
}

ModeHeaders microModeHeaders(int version) {
    ModeHeaders headers{};
    for (int mode = kNumeric; mode <= kKanji; ++mode) {
        const int width = MicroTables::countBits(mode, version);
        headers.bits[mode] = width > 0 ? (version - 1) + width : -1;
    }
    return headers;
}

bool isKanjiPair(std::uint8_t first, std::uint8_t second) {
    if (second < 0x40 || second == 0x7F || second > 0xFC) return false;
    const unsigned value = 256u * first + second;
    return (value >= 0x8140 && value <= 0x9FFC) || (value >= 0xE040 && value <= 0xEBBF);
}

void appendReaderBytes(int mode, const std::uint8_t* data, std::size_t size, bool fnc1,
                       std::vector<std::uint8_t>& out) {
    if (mode != kAlphanumeric || !fnc1) {
        out.insert(out.end(), data, data + size);
        return;
    }
    // After FNC1 a '%' stands for the group separator and "%%" for one '%'.
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != '%') {
            out.push_back(data[i]);
        } else if (i + 1 < size && data[i + 1] == '%') {
            out.push_back('%');
            ++i;
        } else {
            out.push_back(kGroupSeparator);
        }
    }
}

RunDivision divideRun(const PlainRun& run, const ModeHeaders& headers) {
    RunDivision division;
    const std::vector<std::uint8_t>& bytes = run.bytes;
    const int n = static_cast<int>(bytes.size());
    if (n == 0) {
        division.ok = true;
        return division;
    }
    const int* header = headers.bits;
    // cells[i * kStateCount + s]: the cheapest division of bytes [0, i) whose open segment is in state s.
    std::vector<Cell> cells(static_cast<std::size_t>(n + 1) * kStateCount);
    auto cell = [&](int position, int state) -> Cell& {
        return cells[static_cast<std::size_t>(position) * kStateCount + static_cast<std::size_t>(state)];
    };
    auto relax = [&](int from, int fromState, long long fromKey, int to, int state, int bits, bool opens) {
        const long long key = fromKey + bits * kSegmentWeight + (opens ? 1 : 0);
        Cell& target = cell(to, state);
        if (key < target.key) {
            target.key = key;
            target.from = from;
            target.fromState = fromState;
            target.opens = opens;
        }
    };

    for (int i = 0; i < n; ++i) {
        const std::uint8_t byte = bytes[i];
        const bool digit = detail::isDigit(byte);
        const int characters = alphanumericCharacters(byte, run.fnc1);
        const bool pair = run.kanji && i + 1 < n && isKanjiPair(byte, bytes[i + 1]);
        for (int s = (i == 0 ? kNoState : 0); s < kStateCount; ++s) {
            const long long key = s == kNoState ? 0 : cell(i, s).key;
            if (key == kUnreached) continue;
            if (digit && header[kNumeric] >= 0) {
                if (s >= kNumeric0 && s <= kNumeric2) {
                    const int phase = s - kNumeric0;
                    relax(i, s, key, i + 1, kNumeric0 + (phase + 1) % 3, phase == 0 ? 4 : 3, false);
                }
                relax(i, s, key, i + 1, kNumeric1, header[kNumeric] + 4, true);
            }
            if (characters > 0 && header[kAlphanumeric] >= 0) {
                // characters == 2: a '%' written "%%"; a separator is one '%'. Either starts with a '%'.
                const bool percent = run.fnc1 && (byte == '%' || byte == kGroupSeparator);
                const int separator = run.fnc1 && byte == kGroupSeparator ? 2 : 0;
                const int added = characters == 1 ? 1 : 0;  // the change of the count modulo 2
                if (s >= kAlphanumeric0 && s <= kAlphanumericSeparator1) {
                    const int phase = (s - kAlphanumeric0) % 2;
                    const bool afterSeparator = s >= kAlphanumericSeparator0;
                    if (!(afterSeparator && percent)) {
                        const int bits = characters == 2 ? 11 : (phase == 0 ? 6 : 5);
                        relax(i, s, key, i + 1, kAlphanumeric0 + separator + (phase + added) % 2, bits,
                              false);
                    }
                }
                relax(i, s, key, i + 1, kAlphanumeric0 + separator + added,
                      header[kAlphanumeric] + (characters == 1 ? 6 : 11), true);
            }
            if (header[kByte] >= 0) {
                if (s == kByteOpen) relax(i, s, key, i + 1, kByteOpen, 8, false);
                relax(i, s, key, i + 1, kByteOpen, header[kByte] + 8, true);
            }
            if (pair && header[kKanji] >= 0) {
                if (s == kKanjiOpen) relax(i, s, key, i + 2, kKanjiOpen, 13, false);
                relax(i, s, key, i + 2, kKanjiOpen, header[kKanji] + 13, true);
            }
        }
    }

    int best = kNoState;
    for (int s = 0; s < kStateCount; ++s) {
        if (cell(n, s).key != kUnreached && (best == kNoState || cell(n, s).key < cell(n, best).key))
            best = s;
    }
    if (best == kNoState) return division;

    // The steps from the end back to the start, then the segments forward.
    struct Step {
        int from;
        int to;
        int mode;
        bool opens;
    };
    std::vector<Step> steps;
    for (int position = n, state = best; state != kNoState;) {
        const Cell& c = cell(position, state);
        steps.push_back(Step{c.from, position, kModeOfState[state], c.opens});
        position = c.from;
        state = c.fromState;
    }
    for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
        if (step->opens) {
            division.segments.emplace_back();
            division.segments.back().mode = step->mode;
        }
        SegmentBytes& data = division.segments.back().data;
        if (step->mode == kKanji) {
            data.push_back(bytes[static_cast<std::size_t>(step->from)]);
            data.push_back(bytes[static_cast<std::size_t>(step->from) + 1]);
        } else {
            appendWritten(step->mode, bytes[static_cast<std::size_t>(step->from)], run.fnc1, data);
        }
    }
    division.ok = true;
    division.bits = cell(n, best).key / kSegmentWeight;
    return division;
}

bool settleOptimalVersion(QRInput& input) {
    // Under a forced mode the segments stay as they are; only the version is chosen.
    const std::vector<RunSpan> runs =
        input.forcedMode == 0 ? findRuns(input.segments) : std::vector<RunSpan>();
    SegmentList lists[3];
    long long bits[3];
    bool known[3] = {false, false, false};
    for (int version = std::max(input.version, 1); version <= kMaxVersion; ++version) {
        const int group = versionGroup(version);
        if (!known[group]) {
            bits[group] = qrCandidate(input, runs, kGroupFirstVersion[group], lists[group]);
            known[group] = true;
        }
        if (bits[group] < 0 || bits[group] > 8LL * QrTables::dataCodewords(version, input.ecLevel)) continue;
        // Segment bits depend on the version only through the count field widths of its group.
        input.segments = std::move(lists[group]);
        input.version = version;
        return true;
    }
    return false;
}

bool fitOptimalMicroVersion(MQRInput& input) {
    const std::vector<RunSpan> runs = findRuns(input.segments);
    for (int version = std::max(input.version, 1); version <= kMaxMicroVersion; ++version) {
        SegmentList list;
        const long long bits = microCandidate(input, runs, version, list);
        const int level = std::min(input.ecLevel, highestMicroLevel(version));
        if (bits < 0 || bits > MicroTables::dataBits(version, level)) continue;
        input.segments = std::move(list);
        input.version = version;
        input.ecLevel = level;
        return true;
    }
    return false;
}

}  // namespace kelvane2::qrencode
