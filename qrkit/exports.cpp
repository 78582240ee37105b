// The flat export API. No C++ exception leaves these functions.
#include <climits>
#include <cstring>
#include <string>

#include "encoder/encode_micro.h"
#include "encoder/encode_qr.h"
#include "encoder/hibc.h"
#include "encoder/result_codes.h"
#include "encoder/viewref.h"
#include "fontstring/fontstring.h"
#include "qrkit/qrkit.h"

using kelvane2::IQrcodeResult;
using kelvane2::qrencode::EncodeOptions;

namespace {

using kelvane2::qrencode::Segmentation;

// Runs the QR Code driver on length bytes with the options of an export (automatic mask).
std::int32_t encodeBytes(const char* data, std::size_t length, int versionWord, int ecLevel,
                         IQrcodeResult** out, Segmentation segmentation = Segmentation::kGreedy) {
    if (length > static_cast<std::size_t>(INT_MAX)) {
        *out = nullptr;
        return kelvane2::failureCode(kelvane2::kErrInputTooLong);
    }
    const EncodeOptions options{versionWord, ecLevel, -1};
    return kelvane2::qrencode::encodeQr(reinterpret_cast<const std::uint8_t*>(data), static_cast<int>(length),
                                        options, out, segmentation);
}

// Runs the Micro QR Code driver on a NUL-terminated string with the options of an export.
std::int32_t encodeMicroText(const char* data, int versionWord, int ecLevel, IQrcodeResult** out,
                             Segmentation segmentation) {
    if (data == nullptr || out == nullptr) return kelvane2::kNullPointerResult;
    const std::size_t length = std::strlen(data);
    if (length > static_cast<std::size_t>(INT_MAX)) {
        *out = nullptr;
        return kelvane2::failureCode(kelvane2::kErrInputTooLong);
    }
    const EncodeOptions options{versionWord, ecLevel, -1};
    return kelvane2::qrencode::encodeMicroQr(reinterpret_cast<const std::uint8_t*>(data),
                                             static_cast<int>(length), options, out, segmentation);
}

}  // namespace

extern "C" {

QRKIT_API int32_t QRKIT_CALL QRCodeEncode(const char* data, int versionWord, int ecLevel,
                                          QRCODE_RESULT* out) {
    if (data == nullptr || out == nullptr) return kelvane2::kNullPointerResult;
    return encodeBytes(data, std::strlen(data), versionWord, ecLevel, out);
}

QRKIT_API QRCODE_RESULT QRKIT_CALL QRCodeEncode2(const char* data, int versionWord, int ecLevel) {
    if (data == nullptr) return nullptr;
    IQrcodeResult* handle = nullptr;
    if (encodeBytes(data, std::strlen(data), versionWord, ecLevel, &handle) < 0) return nullptr;
    return handle;
}

QRKIT_API QRCODE_RESULT QRKIT_CALL QRCodeEncode2W(const qrkit_char16* data, int versionWord, int ecLevel) {
    if (data == nullptr) return nullptr;
    IQrcodeResult* handle = nullptr;
    try {
        const std::string bytes =
            kelvane2::qrencode::narrowWideInput(reinterpret_cast<const char16_t*>(data));
        if (encodeBytes(bytes.data(), bytes.size(), versionWord, ecLevel, &handle) < 0) return nullptr;
    } catch (...) {
        return nullptr;
    }
    return handle;
}

QRKIT_API int32_t QRKIT_CALL MicroQRCodeEncode(const char* data, int versionWord, int ecLevel,
                                               QRCODE_RESULT* out) {
    return encodeMicroText(data, versionWord, ecLevel, out, Segmentation::kGreedy);
}

QRKIT_API QRCODE_RESULT QRKIT_CALL MicroQRCodeEncode2(const char* data, int versionWord, int ecLevel) {
    IQrcodeResult* handle = nullptr;
    if (MicroQRCodeEncode(data, versionWord, ecLevel, &handle) < 0) return nullptr;
    return handle;
}

QRKIT_API int32_t QRKIT_CALL QRCodeEncodeOptimal(const char* data, int versionWord, int ecLevel,
                                                 QRCODE_RESULT* out) {
    if (data == nullptr || out == nullptr) return kelvane2::kNullPointerResult;
    return encodeBytes(data, std::strlen(data), versionWord, ecLevel, out, Segmentation::kOptimal);
}

QRKIT_API int32_t QRKIT_CALL MicroQRCodeEncodeOptimal(const char* data, int versionWord, int ecLevel,
                                                      QRCODE_RESULT* out) {
    return encodeMicroText(data, versionWord, ecLevel, out, Segmentation::kOptimal);
}

QRKIT_API int32_t QRKIT_CALL HIBC_QRCodeEncode(const char* data, int versionWord, int ecLevel,
                                               QRCODE_RESULT* out) {
    if (data == nullptr || out == nullptr) return kelvane2::kNullPointerResult;
    return kelvane2::qrencode::encodeHibc(data, EncodeOptions{versionWord, ecLevel, -1}, out);
}

QRKIT_API QRCODE_RESULT QRKIT_CALL HIBC_QRCodeEncode2(const char* data, int versionWord, int ecLevel) {
    IQrcodeResult* handle = nullptr;
    if (HIBC_QRCodeEncode(data, versionWord, ecLevel, &handle) < 0) return nullptr;
    return handle;
}

QRKIT_API int QRKIT_CALL QRCodeGetParity(const char* data) {
    if (data == nullptr) return 0;
    const std::size_t length = std::strlen(data);
    // The parity is computed without allocating; only a message the parser cannot address has none.
    if (length > static_cast<std::size_t>(INT_MAX)) return -1;
    try {
        return kelvane2::qrencode::computeParity(reinterpret_cast<const std::uint8_t*>(data),
                                                 static_cast<int>(length));
    } catch (...) {
        return -1;
    }
}

QRKIT_API int QRKIT_CALL QRCodeResultGetVersion(QRCODE_RESULT handle) {
    if (handle == nullptr) return 0;
    return handle->getVersion();
}

QRKIT_API int QRKIT_CALL DestroyQRCodeEncodeResult(QRCODE_RESULT handle) {
    if (handle == nullptr) return 0;
    {
        kelvane2::ViewRef<kelvane2::IUserData> slot;
        if (slot.query(handle, kelvane2::IID_IUserData) == kelvane2::kStatusOk &&
            slot->getUserData() != nullptr) {
            delete[] static_cast<char*>(slot->getUserData());
            slot->setUserData(nullptr);
        }
    }
    return static_cast<int>(handle->Release());
}

QRKIT_API const char* QRKIT_CALL QRCodeGetErrorMessage(int32_t code) {
    return kelvane2::errorMessage(code);
}

QRKIT_API int QRKIT_CALL QRCodeResultGetBarcodeString(QRCODE_RESULT handle, char* buffer, int* size,
                                                      const char* separator) {
    if (handle == nullptr) return kelvane2::kErrUnspecified;
    try {
        return kelvane2::resultFontString(handle, buffer, size, separator);
    } catch (...) {
        return kelvane2::kErrOutOfMemory;
    }
}

QRKIT_API const char* QRKIT_CALL QRCodeResultGetBarcodeString2(QRCODE_RESULT handle, const char* separator) {
    if (handle == nullptr) return nullptr;
    try {
        return kelvane2::resultOwnedFontString(handle, separator);
    } catch (...) {
        return nullptr;
    }
}

}  // extern "C"
