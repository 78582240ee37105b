// The analysis behind "qrkit explain": overlay damage per Reed-Solomon block, the verdict, and the bytes
// a reader returns for an input.
#include "encoder/explain.h"

#include <algorithm>
#include <memory>

#include "encoder/codeword_stream.h"
#include "encoder/frames.h"
#include "encoder/micro_input.h"
#include "encoder/qrinput.h"
#include "encoder/tables.h"

namespace kelvane2::qrencode {

namespace {

// ISO/IEC 18004 Table 9, footnote: misdecode protection codewords of the smallest symbols, by version
// 1-3 (rows) and level L, M, Q, H (columns).
constexpr int kMisdecodeProtection[3][4] = {
    {3, 2, 0, 0},  // version 1
    {2, 0, 0, 0},  // version 2
    {1, 0, 0, 0},  // version 3
};

// Function modules whose damage no error correction repairs.
constexpr std::uint8_t kVitalFunction = kModuleFinder | kModuleTiming | kModuleFormat | kModuleVersion;

}  // namespace

int correctableCodewords(int version, int level, int eccPerBlock) {
    int reserved = 0;
    if (version >= 1 && version <= 3 && level >= 0 && level <= 3)
        reserved = kMisdecodeProtection[version - 1][level];
    return std::max(0, (eccPerBlock - reserved) / 2);
}

OverlayDamage overlayDamage(const SymbolDecisions& decisions, const std::uint8_t* finished) {
    OverlayDamage damage;
    const int version = decisions.version;
    const int level = decisions.ecLevel;
    const int w = decisions.width;
    if (decisions.micro || version < 1 || version > 40 || finished == nullptr ||
        decisions.beforeOverlay.size() != static_cast<std::size_t>(w) * w) {
        return damage;
    }

    // The overlay's rectangle, placed as the driver places it and clipped to the symbol.
    const int top = (w - decisions.overlayRows) / 2;
    const int left = (w - decisions.overlayColumns) / 2;
    const int rowBegin = std::max(0, top);
    const int rowEnd = std::min(w, top + decisions.overlayRows);
    const int columnBegin = std::max(0, left);
    const int columnEnd = std::min(w, left + decisions.overlayColumns);
    auto underOverlay = [&](std::uint32_t position) {
        const int row = static_cast<int>(position) / w;
        const int column = static_cast<int>(position) % w;
        return row >= rowBegin && row < rowEnd && column >= columnBegin && column < columnEnd;
    };
    auto altered = [&](std::uint32_t position) {
        return (finished[position] & 1) != (decisions.beforeOverlay[position] & 1);
    };

    const EccLayout layout = QrTables::eccLayout(version, level);
    const int blockCount = layout.group1Blocks + layout.group2Blocks;
    damage.blocks.resize(static_cast<std::size_t>(blockCount));
    for (int b = 0; b < blockCount; ++b) {
        BlockDamage& block = damage.blocks[static_cast<std::size_t>(b)];
        block.dataCodewords =
            b < layout.group1Blocks ? layout.group1DataCodewords : layout.group2DataCodewords;
        block.eccCodewords = layout.eccPerBlock;
        block.correctable = correctableCodewords(version, level, layout.eccPerBlock);
    }

    // Every module of codeword k (placement order) lies at order[8k] to order[8k + 7].
    int positions = 0;
    const std::uint32_t* order = placementOrder(version, &positions);
    const std::vector<CodewordOrigin> origins = interleavedOrigins(version, level);
    const int codewords = static_cast<int>(origins.size());
    if (order == nullptr || positions < 8 * codewords) return damage;
    for (int k = 0; k < codewords; ++k) {
        bool covered = false;
        bool changed = false;
        for (int bit = 0; bit < 8; ++bit) {
            const std::uint32_t position = order[8 * k + bit];
            covered = covered || underOverlay(position);
            changed = changed || altered(position);
        }
        BlockDamage& block =
            damage.blocks[static_cast<std::size_t>(origins[static_cast<std::size_t>(k)].block)];
        block.covered += covered ? 1 : 0;
        block.changed += changed ? 1 : 0;
    }

    std::unique_ptr<std::uint8_t[]> frame(newBaseFrame(version));
    if (frame) {
        for (int position = 0; position < w * w; ++position) {
            if ((frame[position] & kVitalFunction) != 0 && altered(static_cast<std::uint32_t>(position)))
                ++damage.functionModulesChanged;
        }
    }

    damage.margin = blockCount > 0 ? damage.blocks[0].correctable - damage.blocks[0].covered : 0;
    for (const BlockDamage& block : damage.blocks)
        damage.margin = std::min(damage.margin, block.correctable - block.covered);
    damage.readable = damage.margin >= 0 && damage.functionModulesChanged == 0;
    return damage;
}

std::string overlayVerdict(const OverlayDamage& damage) {
    if (!damage.readable) return "not reliably readable: raise the level or the version";
    return "readable with " + std::to_string(damage.margin) + " codewords of margin";
}

bool expectedReaderBytes(const std::string& data, bool micro, std::string* bytes) {
    bytes->clear();
    const auto* text = reinterpret_cast<const std::uint8_t*>(data.data());
    const int length = static_cast<int>(data.size());
    std::unique_ptr<QRInput> input;
    int error = 0;
    if (micro) {
        auto microInput = std::make_unique<MQRInput>(0, 0);
        error = microInput->parse(text, length);
        input = std::move(microInput);
    } else {
        input = std::make_unique<QRInput>(0, 0, 0);
        error = input->parse(text, length);
    }
    if (error != 0) return false;

    bool fnc1 = false;
    for (const InputSegment& segment : input->segments) {
        const std::string segmentBytes(segment.data.begin(), segment.data.end());
        switch (segment.mode) {
            case kNumeric:
            case kByte:
            case kKanji:
                *bytes += segmentBytes;
                break;
            case kAlphanumeric:
                if (!fnc1) {
                    *bytes += segmentBytes;
                    break;
                }
                // Under FNC1 a '%' stands for the group separator 0x1D and "%%" for one '%'.
                for (std::size_t i = 0; i < segmentBytes.size(); ++i) {
                    if (segmentBytes[i] != '%') {
                        bytes->push_back(segmentBytes[i]);
                    } else if (i + 1 < segmentBytes.size() && segmentBytes[i + 1] == '%') {
                        bytes->push_back('%');
                        ++i;
                    } else {
                        bytes->push_back('\x1D');
                    }
                }
                break;
            case kFnc1First:
                fnc1 = true;
                break;
            case kFnc1Second: {
                fnc1 = true;
                // The application indicator: 0-99 as two digits, 165-190 and 197-222 as the letters
                // A-Z and a-z (value - 100).
                const int indicator = segment.data.empty() ? 0 : segment.data[0];
                if (indicator < 100) {
                    bytes->push_back(static_cast<char>('0' + indicator / 10));
                    bytes->push_back(static_cast<char>('0' + indicator % 10));
                } else {
                    bytes->push_back(static_cast<char>(indicator - 100));
                }
                break;
            }
            default:
                break;
        }
    }
    return true;
}

}  // namespace kelvane2::qrencode
