#include "encoder/hibc.h"

#include <cstring>

#include "encoder/input_detail.h"
#include "encoder/result_codes.h"

namespace kelvane2::qrencode {

namespace {

// The HIBC character set (Code 39): a character's value is its index.
constexpr char kHibcCharacterSet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";
constexpr int kHibcSetSize = 43;

int hibcValue(char c) {
    if (c == '\0') return -1;
    const char* found = std::strchr(kHibcCharacterSet, c);
    return found == nullptr ? -1 : static_cast<int>(found - kHibcCharacterSet);
}

}  // namespace

int formatHibc(char* text, char* output, int* capacity) {
    const int length = static_cast<int>(std::strlen(text));
    for (int k = 0; k < length; ++k) {
        if (text[k] >= 'a' && text[k] <= 'z') text[k] = static_cast<char>(text[k] - 'a' + 'A');
    }
    if (length > kHibcDataLimit) return kErrInputTooLong;
    for (int k = 0; k < length; ++k) {
        if (hibcValue(text[k]) < 0) return kErrInvalidCharacters;
    }
    int position = 0;
    auto put = [&](char c) {
        if (output == nullptr) {
            ++position;
            return true;
        }
        if (position > *capacity - 1) return false;
        output[position++] = c;
        return true;
    };
    int sum = hibcValue('+');
    if (!put('+')) return kErrBufferTooSmall;
    for (int k = 0; k < length; ++k) {
        sum += hibcValue(text[k]);
        if (!put(text[k])) return kErrBufferTooSmall;
    }
    if (!put(kHibcCharacterSet[sum % kHibcSetSize])) return kErrBufferTooSmall;
    if (!put('\0')) return kErrBufferTooSmall;
    *capacity = position;
    return 0;
}

std::int32_t encodeHibc(const char* data, const EncodeOptions& options, IQrcodeResult** out,
                        Segmentation segmentation) {
    if (data == nullptr || out == nullptr) return kNullPointerResult;
    const std::size_t length = std::strlen(data);
    if (length > static_cast<std::size_t>(kHibcInputLimit)) return failureCode(kErrInputTooLong);
    char work[kHibcInputLimit + 1];
    char formatted[kHibcInputLimit + 1];
    std::memcpy(work, data, length + 1);
    int capacity = sizeof formatted;
    if (formatHibc(work, formatted, &capacity) != 0) return failureCode(kErrInputTooLong);
    return encodeQr(reinterpret_cast<const std::uint8_t*>(formatted), capacity - 1, options, out,
                    segmentation);
}

std::uint8_t computeParity(const std::uint8_t* data, int length) {
    return detail::parityOfInput(data, length);
}

}  // namespace kelvane2::qrencode
