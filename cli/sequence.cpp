// qrkit encode --sequence: one message split into structured-append symbols.
//
// The message is cut into atoms that the input language reads as one unit: an escape, a Kanji pair of a
// Kanji block, a UTF-8 character, a plain byte. Parts are runs of whole atoms, so a part never cuts an
// escape, a Kanji pair or a UTF-8 character; a designator (ECI and the reserved indicators) or an FNC1
// marker inside the data stays with what follows it. An ECI designator or FNC1 at the very start of the
// message and center overlays are given to every symbol.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/encode_options.h"
#include "cli/messages.h"
#include "cli/options.h"
#include "cli/sequence.h"

namespace qrkit_cli {

namespace {

struct Atom {
    std::string text;        // as written in the input language
    int bytes = 0;           // data bytes it yields
    bool kanjiPair = false;  // a pair of a Kanji block, written without the block's brackets
    bool glueNext = false;   // no part may end after it
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The index of the first ']' at or after from, or n.
std::size_t blockEnd(const std::string& s, std::size_t from) {
    const std::size_t close = s.find(']', from);
    return close == std::string::npos ? s.size() : close;
}

// The length of the UTF-8 character starting at p, or 1 when the bytes there are not one.
std::size_t utf8Length(const std::string& s, std::size_t p) {
    const auto lead = static_cast<unsigned char>(s[p]);
    const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 1;
    if (p + length > s.size()) return 1;
    for (std::size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(s[p + k]) & 0xC0) != 0x80) return 1;
    }
    return length;
}

// The atoms of a Kanji block's text: its pairs, each byte a raw byte or a decimal escape. A block the
// parser would refuse stays whole, for the encoder to report.
bool kanjiPairs(const std::string& block, std::vector<std::string>* pairs) {
    std::vector<std::string> units;
    for (std::size_t k = 0; k < block.size();) {
        if (block[k] == '~') {
            if (k + 5 > block.size()) return false;
            if (block[k + 1] != 'd' || !isDigit(block[k + 2]) || !isDigit(block[k + 3]) ||
                !isDigit(block[k + 4]))
                return false;
            units.push_back(block.substr(k, 5));
            k += 5;
        } else {
            units.push_back(block.substr(k, 1));
            ++k;
        }
    }
    for (std::size_t k = 0; k + 1 < units.size(); k += 2)
        pairs->push_back(units[k] + units[k + 1]);
    // A last byte without partner is dropped by the parser: it goes with the last pair.
    if (units.size() % 2 == 1) {
        if (pairs->empty()) return false;
        pairs->back() += units.back();
    }
    return true;
}

struct Message {
    std::vector<Atom> atoms;
    std::string everyPart;  // FNC1 at the start and overlays, repeated in every symbol
};

bool atomize(const std::string& s, Message* message, std::string* error) {
    const std::size_t n = s.size();
    if (n >= 4 && s.compare(0, 3, "~2[") == 0) {
        *error = "the data already start with a structured-append header";
        return false;
    }
    std::size_t p = 0;
    auto add = [&](std::size_t length, int bytes, bool glue = false) {
        message->atoms.push_back(Atom{s.substr(p, length), bytes, false, glue});
        p += length;
    };
    while (p < n) {
        if (s[p] != '~') {
            add(utf8Length(s, p), static_cast<int>(utf8Length(s, p)));
            continue;
        }
        const char next = p + 1 < n ? s[p + 1] : '\0';
        const bool atStart = message->atoms.empty();
        if (p + 1 < n && next >= 0x40 && next <= 0x5A) {
            add(2, 1);
        } else if (next == '~') {
            add(2, 1);
        } else if (next == 'd' && p + 4 < n && isDigit(s[p + 2]) && isDigit(s[p + 3]) && isDigit(s[p + 4]) &&
                   std::atoi(s.substr(p + 2, 3).c_str()) <= 255) {
            add(5, 1);
        } else if (s.compare(p, 3, "~4[") == 0 && p + 3 < n) {
            const std::size_t close = blockEnd(s, p + 3);
            std::vector<std::string> pairs;
            if (kanjiPairs(s.substr(p + 3, close - (p + 3)), &pairs)) {
                for (const std::string& pair : pairs)
                    message->atoms.push_back(Atom{pair, 2, true, false});
                p = close + 1;
            } else {
                add(close + 1 - p, 0);
            }
        } else if ((next == '7' || next == '8' || next == '9') && p + 7 < n &&
                   std::all_of(s.begin() + static_cast<long>(p) + 2, s.begin() + static_cast<long>(p) + 8,
                               isDigit)) {
            if (next == '7' && atStart) {
                // An ECI designator in front of the message tells how all of it reads: every symbol
                // carries it, so that each reads as text on its own.
                message->everyPart += s.substr(p, 8);
                p += 8;
            } else {
                add(8, 0, true);
            }
        } else if (next == '9' && p + 1 < n) {
            add(2, 0, true);
        } else if (next == '1' && p + 1 < n) {
            if (atStart) {
                message->everyPart += "~1";
                p += 2;
            } else {
                add(2, 0, true);
            }
        } else if (s.compare(p, 3, "~3[") == 0 && p + 3 < n) {
            const std::size_t close = blockEnd(s, p + 3);
            if (atStart) {
                message->everyPart += s.substr(p, close + 1 - p);
                if (close == n) message->everyPart += "]";
                p = close + 1;
            } else {
                add(close + 1 - p, 0, true);
            }
        } else if (s.compare(p, 4, "~50[") == 0 && p + 4 < n) {
            const std::size_t close = blockEnd(s, p + 4);
            message->everyPart += s.substr(p, close + 1 - p);
            if (close == n) message->everyPart += "]";
            p = close + 1;
        } else {
            add(1, 1);
        }
        if (p > n) p = n;
    }
    return true;
}

// Where the parts start: count - 1 cut indices into atoms, each after an atom that may end a part,
// balancing the data bytes.
bool chooseCuts(const std::vector<Atom>& atoms, int count, std::vector<std::size_t>* cuts) {
    std::vector<std::size_t> allowed;  // cut before atom i
    std::vector<long> before(atoms.size() + 1, 0);
    for (std::size_t i = 0; i < atoms.size(); ++i)
        before[i + 1] = before[i] + atoms[i].bytes;
    for (std::size_t i = 1; i < atoms.size(); ++i) {
        if (!atoms[i - 1].glueNext) allowed.push_back(i);
    }
    const std::size_t needed = static_cast<std::size_t>(count - 1);
    if (allowed.size() < needed) return false;
    const long total = before[atoms.size()];
    std::size_t from = 0;  // first usable entry of allowed
    for (std::size_t j = 1; j <= needed; ++j) {
        const long target = total * static_cast<long>(j) / count;
        const std::size_t last = allowed.size() - (needed - j);  // leave room for the later cuts
        std::size_t best = from;
        for (std::size_t k = from; k < last; ++k) {
            if (std::labs(before[allowed[k]] - target) < std::labs(before[allowed[best]] - target)) best = k;
        }
        cuts->push_back(allowed[best]);
        from = best + 1;
    }
    return true;
}

std::string partText(const std::vector<Atom>& atoms, std::size_t begin, std::size_t end) {
    std::string text;
    for (std::size_t i = begin; i < end; ++i) {
        const Atom& atom = atoms[i];
        if (atom.kanjiPair && (i == begin || !atoms[i - 1].kanjiPair)) text += "~4[";
        text += atom.text;
        if (atom.kanjiPair && (i + 1 == end || !atoms[i + 1].kanjiPair)) text += "]";
    }
    return text;
}

}  // namespace

bool splitSequence(const std::string& data, int count, std::vector<std::string>* parts, std::string* error) {
    parts->clear();
    Message message;
    if (!atomize(data, &message, error)) return false;
    std::vector<std::size_t> cuts;
    if (count < 2 || count > 16 || !chooseCuts(message.atoms, count, &cuts)) {
        *error = "the data are too short for " + std::to_string(count) + " symbols";
        return false;
    }
    cuts.push_back(message.atoms.size());
    std::size_t begin = 0;
    for (std::size_t end : cuts) {
        parts->push_back(message.everyPart + partText(message.atoms, begin, end));
        begin = end;
    }
    return true;
}

std::string sequenceInput(const std::string& part, int position, int total, int parity) {
    return "~2[" + std::to_string(position) + "][" + std::to_string(total) + "," + std::to_string(parity) +
           "]" + part;
}

int runSequence(const std::string& data, int count, const SymbolSettings& settings,
                const SequenceSink& sink) {
    if (settings.micro || settings.hibc)
        return usageFailure("--sequence makes QR Code symbols: no --micro or --hibc", kEncode);
    const int parity = QRCodeGetParity(data.c_str());
    SymbolSettings used = settings;
    int first = count;
    int last = count;
    if (count == 0) {
        // The fewest symbols that each fit the version limit: --min-version, else 40.
        first = 2;
        last = 16;
        used.strict = true;
        if (used.minVersion == 0) used.minVersion = 40;
    }
    std::string error;
    for (int total = first; total <= last; ++total) {
        std::vector<std::string> parts;
        if (!splitSequence(data, total, &parts, &error)) break;
        std::vector<QRCODE_RESULT> handles;
        std::int32_t result = 0;
        for (int k = 0; k < total && result == 0; ++k) {
            std::string& part = parts[static_cast<std::size_t>(k)];
            part = sequenceInput(part, k + 1, total, parity);
            QRCODE_RESULT handle = nullptr;
            result = encodeSymbol(part, used, &handle);
            if (result == 0) handles.push_back(handle);
        }
        if (result != 0) {
            for (QRCODE_RESULT handle : handles)
                DestroyQRCodeEncodeResult(handle);
            if (total < last) continue;
            std::cerr << "qrkit: " << encodeFailureMessage(result, parts[handles.size()], used, false)
                      << (count == 0 ? " (even in 16 symbols)\n" : "\n");
            return kExitData;
        }
        int status = 0;
        for (int k = 0; k < total; ++k) {
            if (status == 0)
                status = sink(handles[static_cast<std::size_t>(k)], k + 1, total,
                              parts[static_cast<std::size_t>(k)]);
            DestroyQRCodeEncodeResult(handles[static_cast<std::size_t>(k)]);
        }
        return status;
    }
    std::cerr << "qrkit: " << error << "\n";
    return kExitData;
}

}  // namespace qrkit_cli
