// Center overlays: overlay text, the built-in Swiss cross and writing an overlay into a symbol.
#include "encoder/overlay.h"

#include <algorithm>
#include <cstring>

#include "encoder/input_detail.h"
#include "encoder/qrresult.h"

namespace kelvane2::qrencode {

namespace {

// The built-in Swiss crosses, square overlay texts of sizes 7 to 27: a dark square with a light cross
// on a light margin.
constexpr int kSwissCrossSmallest = 7;
constexpr int kSwissCrossLargest = 27;
const char* const kSwissCross[kSwissCrossLargest - kSwissCrossSmallest + 1] = {
    "7,7,007c6c446c7c00",
    "8,8,007c6c446c7c0000",
    "9,9,00007f007f007700630077007f007f000000",
    "10,10,00007f807380738040804080738073807f800000",
    "11,11,00007fc07fc079c079c06040604079c079c07fc00000",
    "12,12,00007fe07fe079e079e06060606079e079e07fe07fe00000",
    "13,13,00007ff078f078f078f040104010401078f078f078f07ff00000",
    "14,14,000000003ff83c783c783c782008200820083c783c783c783ff80000",
    "15,15,000000003ff83c783c783c782008200820083c783c783c783ff800000000",
    "16,16,00007ffe7c3e7c3e7c3e7c3e40024002400240027c3e7c3e7c3e7c3e7ffe0000",
    "17,17,0000007ffe007c3e007c3e007c3e007c3e004002004002004002004002007c3e007c3e007c3e007c3e007ffe000000"
    "00000000",
    "18,18,0000007fff807fff807e1f807e1f807e1f807e1f806001806001806001806001807e1f807e1f807e1f807e1f807fff"
    "807fff80000000",
    "19,19,0000000000003fffc03fffc03f0fc03f0fc03f0fc03f0fc03000c03000c03000c03000c03f0fc03f0fc03f0fc03f0f"
    "c03fffc03fffc0000000",
    "20,20,0000000000003fffc03fffc03f0fc03f0fc03f0fc03f0fc03000c03000c03000c03000c03f0fc03f0fc03f0fc03f0f"
    "c03fffc03fffc0000000000000",
    "21,21,0000000000003fffc03fffc03f0fc03f0fc03f0fc03f0fc03000c03000c03000c03000c03f0fc03f0fc03f0fc03f0f"
    "c03fffc03fffc0000000000000000000",
    "22,22,0000000000003ffff03ffff03ffff03f87f03f87f03f87f03f87f03800703800703800703800703f87f03f87f03f87"
    "f03f87f03ffff03ffff03ffff0000000000000",
    "23,23,0000000000003ffff03ffff03ffff03f87f03f87f03f87f03f87f03800703800703800703800703f87f03f87f03f87"
    "f03f87f03ffff03ffff03ffff0000000000000000000",
    "24,24,0000000000000000001ffff81ffff81ffff81fc3f81fc3f81fc3f81fc3f81c00381c00381c00381c00381fc3f81fc3"
    "f81fc3f81fc3f81ffff81ffff81ffff8000000000000000000",
    "25,25,00000000000000003ffffe003ffffe003ffffe003fc1fe003fc1fe003fc1fe003fc1fe003fc1fe0038000e0038000e"
    "0038000e0038000e0038000e003fc1fe003fc1fe003fc1fe003fc1fe003fc1fe003ffffe003ffffe003ffffe0000000000"
    "00000000",
    "26,26,00000000000000003ffffe003ffffe003ffffe003fc1fe003fc1fe003fc1fe003fc1fe003fc1fe0038000e0038000e"
    "0038000e0038000e0038000e003fc1fe003fc1fe003fc1fe003fc1fe003fc1fe003ffffe003ffffe003ffffe0000000000"
    "0000000000000000",
    "27,27,0000000000000000000000001fffff001fffff001fffff001fe0ff001fe0ff001fe0ff001fe0ff001fe0ff001c0007"
    "001c0007001c0007001c0007001c0007001fe0ff001fe0ff001fe0ff001fe0ff001fe0ff001fffff001fffff001fffff00"
    "000000000000000000000000",
};

bool isBlankOrSign(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '+' || c == '-';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Two characters as a hexadecimal number: an optional leading blank or sign, then hexadecimal digits up
// to the first other character (0 when there are none); the low 8 bits of the value.
std::uint8_t hexPair(char a, char b) {
    int sign = 1;
    int value = 0;
    if (isBlankOrSign(a)) {
        sign = a == '-' ? -1 : 1;
        int digit = hexDigit(b);
        value = digit < 0 ? 0 : digit;
    } else {
        int high = hexDigit(a);
        int low = hexDigit(b);
        if (high >= 0) value = low < 0 ? high : 16 * high + low;
    }
    return static_cast<std::uint8_t>(static_cast<unsigned>(sign * value) & 0xFFu);
}

}  // namespace

const char* swissCrossText(int size) {
    if (size < kSwissCrossSmallest || size > kSwissCrossLargest) return nullptr;
    return kSwissCross[size - kSwissCrossSmallest];
}

namespace {

// The two counts and the start of the module data of overlay text; false when the text is malformed.
struct OverlayHeader {
    std::int32_t rows = 0;
    std::int32_t columns = 0;
    const char* hex = nullptr;
};

bool readOverlayHeader(const char* text, std::size_t length, OverlayHeader& header) {
    if (text == nullptr || length == 0) return false;
    const char* end = text + length;
    const char* firstComma = std::find(text, end, ',');
    if (firstComma == end) return false;
    const char* secondComma = std::find(firstComma + 1, end, ',');
    if (secondComma == end) return false;
    header.rows = detail::leadingDecimal(text, firstComma);
    header.columns = detail::leadingDecimal(firstComma + 1, secondComma);
    header.hex = secondComma + 1;
    if (header.rows <= 0 || header.columns <= 0 || header.hex == end) return false;
    return header.rows <= kOverlayMaxSide && header.columns <= kOverlayMaxSide;
}

}  // namespace

bool overlayTextValid(const char* text, std::size_t length) {
    OverlayHeader header;
    return readOverlayHeader(text, length, header);
}

I2DBitPattern* parseOverlayText(const char* text, std::size_t length) {
    OverlayHeader header;
    if (!readOverlayHeader(text, length, header)) return nullptr;
    const char* end = text + length;
    const char* hex = header.hex;
    const std::int32_t rows = header.rows;
    const std::int32_t columns = header.columns;

    auto* pattern = new Simple2DBitPattern(rows, columns);
    I2DBitPattern* view = nullptr;
    pattern->QueryInterface(IID_I2DBitPattern, reinterpret_cast<void**>(&view));
    // Rows are filled byte by byte from the top; a single character left over is ignored, and rows the
    // data do not reach stay light.
    int perRow = pattern->bytesPerRow();
    long long capacity = static_cast<long long>(rows) * perRow;
    long long available = (end - hex) / 2;
    long long count = std::min(capacity, available);
    for (long long k = 0; k < count; ++k) {
        pattern->rowData(static_cast<int>(k / perRow))[k % perRow] = hexPair(hex[2 * k], hex[2 * k + 1]);
    }
    return view;
}

I2DBitPattern* makeSwissCrossOverlay(int width) {
    long long size = 7LL * width / 46;
    if (size == 6) size = 7;
    if (size < kSwissCrossSmallest || size > kSwissCrossLargest) return nullptr;
    const char* text = swissCrossText(static_cast<int>(size));
    return parseOverlayText(text, std::strlen(text));
}

void applyCenterOverlay(I2DBitPatternModifiable* target, I2DBitPattern* overlay) {
    if (target == nullptr || overlay == nullptr) return;
    I2DBitPattern* targetView = nullptr;
    if (target->QueryInterface(IID_I2DBitPattern, reinterpret_cast<void**>(&targetView)) != kStatusOk ||
        targetView == nullptr) {
        return;
    }
    int targetRows = targetView->getRows();
    int targetColumns = targetView->getColumns();
    targetView->Release();
    int rows = overlay->getRows();
    int columns = overlay->getColumns();
    int top = (targetRows - rows) / 2;
    int left = (targetColumns - columns) / 2;
    // Only the overlay modules that fall on the target are written.
    int firstRow = std::max(0, -top);
    int lastRow = std::min(rows, targetRows - top);
    int firstColumn = std::max(0, -left);
    int lastColumn = std::min(columns, targetColumns - left);
    for (int i = firstRow; i < lastRow; ++i) {
        for (int j = firstColumn; j < lastColumn; ++j)
            target->setModule(top + i, left + j, overlay->getModule(i, j) != 0);
    }
}

}  // namespace kelvane2::qrencode
