// qrkit explain: the segments, version, level and capacity, the mask scores and the overlay damage of
// one symbol, as the encoder recorded them while making it.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/encode_options.h"
#include "cli/messages.h"
#include "cli/options.h"
#include "cli/output_file.h"
#include "encoder/explain.h"
#include "encoder/hibc.h"
#include "encoder/qrinput.h"
#include "encoder/tables.h"

namespace qrkit_cli {

namespace {

namespace qe = kelvane2::qrencode;

std::string padded(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string rightAligned(long long value, std::size_t width) {
    std::string text = std::to_string(value);
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// The value of one to three designator bytes.
long designatorValue(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() == 1) return bytes[0];
    if (bytes.size() == 2) return ((bytes[0] - 0x80L) << 8) | bytes[1];
    if (bytes.size() == 3) return ((bytes[0] - 0xC0L) << 16) | (bytes[1] << 8) | bytes[2];
    return -1;
}

std::string sixDigits(long value) {
    char text[16];
    std::snprintf(text, sizeof text, "%06ld", value);
    return text;
}

// The mode's name and the segment's length in its own unit.
void describeSegment(const qe::SegmentDecision& segment, std::string* mode, std::string* length) {
    const int size = static_cast<int>(segment.data.size());
    switch (segment.mode) {
        case qe::kNumeric:
            *mode = "numeric";
            *length = std::to_string(size) + (size == 1 ? " digit" : " digits");
            break;
        case qe::kAlphanumeric:
            *mode = "alphanumeric";
            *length = std::to_string(size) + (size == 1 ? " character" : " characters");
            break;
        case qe::kByte:
            *mode = "byte";
            *length = std::to_string(size) + (size == 1 ? " byte" : " bytes");
            break;
        case qe::kKanji:
            *mode = "kanji";
            *length = std::to_string(size / 2) + (size / 2 == 1 ? " character" : " characters");
            break;
        case qe::kStructuredAppend:
            *mode = "structured append";
            *length = size == 3 ? "symbol " + std::to_string(segment.data[1]) + " of " +
                                      std::to_string(segment.data[0]) + ", parity " +
                                      std::to_string(segment.data[2])
                                : "";
            break;
        case qe::kEci:
            *mode = "ECI";
            *length = "designator " + sixDigits(designatorValue(segment.data));
            break;
        case qe::kIndicator14:
        case qe::kIndicator15:
            *mode = segment.mode == qe::kIndicator14 ? "indicator 1110" : "indicator 1111";
            *length = segment.data.empty() ? "" : "designator " + sixDigits(designatorValue(segment.data));
            break;
        case qe::kFnc1First:
            *mode = "FNC1 first";
            *length = "";
            break;
        default:
            *mode = "FNC1 second";
            *length = "application indicator " + std::to_string(segment.data.empty() ? 0 : segment.data[0]);
            break;
    }
}

std::string symbolName(const qe::SymbolDecisions& decisions) {
    static const char kLevels[] = "LMQH";
    if (decisions.micro) {
        std::string name = "Micro QR Code M" + std::to_string(decisions.version);
        return decisions.version == 1 ? name + " (error detection only)"
                                      : name + "-" + kLevels[decisions.ecLevel];
    }
    return "QR Code " + std::to_string(decisions.version) + "-" + kLevels[decisions.ecLevel];
}

void printSegments(const qe::SymbolDecisions& decisions, std::ostream& out) {
    int index = 0;
    for (const qe::SegmentDecision& segment : decisions.segments) {
        std::string mode;
        std::string length;
        describeSegment(segment, &mode, &length);
        out << "  " << rightAligned(++index, 2) << "  " << padded(mode, 18) << padded(length, 32)
            << rightAligned(segment.bits, 6) << " bits\n";
    }
    if (decisions.segments.empty()) out << "  (none)\n";
}

void printCapacity(const qe::SymbolDecisions& decisions, std::ostream& out) {
    const int percent = decisions.capacityBits > 0 ? 100 * decisions.segmentBits / decisions.capacityBits : 0;
    int blocks = 1;
    if (!decisions.micro) {
        const qe::EccLayout layout = qe::QrTables::eccLayout(decisions.version, decisions.ecLevel);
        blocks = layout.group1Blocks + layout.group2Blocks;
    }
    out << "Capacity: " << decisions.segmentBits << " of " << decisions.capacityBits << " data bits used ("
        << percent << "%); " << decisions.dataCodewords << " data and " << decisions.eccCodewords
        << " error correction codewords in " << blocks << (blocks == 1 ? " block\n" : " blocks\n");
}

// Both divisions of the data, the greedy one as the greedy encoder made it (greedyResult its result
// code), and what the optimal one saves.
void printBothDivisions(const qe::SymbolDecisions& greedy, std::int32_t greedyResult,
                        const qe::SymbolDecisions& optimal, std::ostream& out) {
    if (greedyResult == 0) {
        out << "Greedy division (" << symbolName(greedy) << "):\n";
    } else {
        out << "Greedy division (" << QRCodeGetErrorMessage(greedyResult) << "):\n";
    }
    printSegments(greedy, out);
    out << "  " << greedy.segmentBits << " bits\n";
    out << "Optimal division (" << symbolName(optimal) << "):\n";
    printSegments(optimal, out);
    out << "  " << optimal.segmentBits << " bits\n";
    if (greedyResult != 0) {
        out << "Saved: the greedy division fits no symbol\n";
        return;
    }
    out << "Saved: " << greedy.segmentBits - optimal.segmentBits << " bits; ";
    if (optimal.version < greedy.version) {
        out << "version " << (optimal.micro ? "M" : "") << greedy.version << " -> "
            << (optimal.micro ? "M" : "") << optimal.version << "\n";
    } else {
        out << "the same version\n";
    }
}

void printMasks(const qe::SymbolDecisions& decisions, std::ostream& out) {
    out << (decisions.micro ? "Masks (evaluation score, the highest wins):\n"
                            : "Masks (penalty score, the lowest wins):\n");
    for (int mask = 0; mask < decisions.maskCount; ++mask) {
        out << "  mask " << mask << "  " << rightAligned(decisions.scores[mask], 6)
            << (mask == decisions.mask ? "  chosen\n" : "\n");
    }
}

void printOverlay(const qe::SymbolDecisions& decisions, const std::vector<std::uint8_t>& finished,
                  std::ostream& out) {
    const int w = decisions.width;
    out << "Overlay: " << decisions.overlaySource << ", " << decisions.overlayRows << " x "
        << decisions.overlayColumns << " modules from row " << (w - decisions.overlayRows) / 2 << ", column "
        << (w - decisions.overlayColumns) / 2 << "\n";
    const qe::OverlayDamage damage = qe::overlayDamage(decisions, finished.data());
    out << "  block  data  ecc  covered  changed  correctable\n";
    int index = 0;
    for (const qe::BlockDamage& block : damage.blocks) {
        out << "  " << rightAligned(++index, 5) << rightAligned(block.dataCodewords, 6)
            << rightAligned(block.eccCodewords, 5) << rightAligned(block.covered, 9)
            << rightAligned(block.changed, 9) << rightAligned(block.correctable, 13) << "\n";
    }
    if (damage.functionModulesChanged > 0) {
        out << "  " << damage.functionModulesChanged
            << " finder, timing, format or version modules altered: no error correction repairs them\n";
    }
    out << "Verdict: " << qe::overlayVerdict(damage) << "\n";
}

}  // namespace

int runExplain(int argc, char** argv) {
    ToolOptions options;
    if (int status = parseOptions(kExplain, argc, argv, &options)) return status;
    std::string error;
    if (options.help)
        return writeStandardOutput(helpText(kExplain), &error) ? kExitOk : failure(kExitIo, error);
    const SymbolSettings& settings = options.symbol;
    if (int status = checkSymbolAndDataOptions(options)) return status;
    std::string raw;
    int status = readCommandData(options, "explain", &raw);
    if (status == 0) status = symbolInput(options, raw, &raw);
    if (status != 0) return status;
    const std::string data = raw;

    std::ostringstream out;
    std::string text = data;
    if (settings.hibc) {
        // As the HIBC export formats it: '+', the upper-cased data and the check character.
        std::vector<char> hibcText(data.begin(), data.end());
        hibcText.push_back('\0');
        char formatted[qe::kHibcInputLimit + 1];
        int capacity = sizeof formatted;
        if (data.size() > static_cast<std::size_t>(qe::kHibcInputLimit) ||
            qe::formatHibc(hibcText.data(), formatted, &capacity) != 0)
            return failure(kExitData, QRCodeGetErrorMessage(static_cast<std::int32_t>(0x80520005u)));
        text = formatted;
        out << "HIBC data: " << text << "\n";
    }

    const qe::EncodeOptions encodeOptions{settings.micro ? settings.minVersion : settings.versionWord(),
                                          settings.level, -1};
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    auto record = [&](qe::Segmentation segmentation, kelvane2::IQrcodeResult** made,
                      qe::SymbolDecisions* decided) {
        return settings.micro ? qe::encodeMicroQrRecorded(bytes, static_cast<int>(text.size()), encodeOptions,
                                                          made, decided, segmentation)
                              : qe::encodeQrRecorded(bytes, static_cast<int>(text.size()), encodeOptions,
                                                     made, decided, segmentation);
    };
    qe::SymbolDecisions decisions;
    kelvane2::IQrcodeResult* handle = nullptr;
    const std::int32_t result = record(
        settings.optimal ? qe::Segmentation::kOptimal : qe::Segmentation::kGreedy, &handle, &decisions);
    if (result != 0) return failure(kExitData, encodeFailureMessage(result, text, settings, false));
    std::vector<std::uint8_t> finished(static_cast<std::size_t>(decisions.width) * decisions.width);
    kelvane2::I2DBitPattern* pattern = nullptr;
    if (handle->QueryInterface(kelvane2::IID_I2DBitPattern, reinterpret_cast<void**>(&pattern)) == 0) {
        for (int r = 0; r < decisions.width; ++r) {
            for (int c = 0; c < decisions.width; ++c)
                finished[static_cast<std::size_t>(r) * decisions.width + c] =
                    static_cast<std::uint8_t>(pattern->getModule(r, c));
        }
        pattern->Release();
    }
    handle->Release();

    out << "Symbol: " << symbolName(decisions) << ", " << decisions.width << " x " << decisions.width
        << " modules\n";
    if (settings.optimal) {
        qe::SymbolDecisions greedy;
        kelvane2::IQrcodeResult* greedyHandle = nullptr;
        const std::int32_t greedyResult = record(qe::Segmentation::kGreedy, &greedyHandle, &greedy);
        if (greedyHandle != nullptr) greedyHandle->Release();
        printBothDivisions(greedy, greedyResult, decisions, out);
    } else {
        out << "Segments:\n";
        printSegments(decisions, out);
    }
    printCapacity(decisions, out);
    printMasks(decisions, out);
    if (decisions.overlayRows > 0) printOverlay(decisions, finished, out);
    return writeStandardOutput(out.str(), &error) ? kExitOk : failure(kExitIo, error);
}

}  // namespace qrkit_cli
