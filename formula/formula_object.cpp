#include "formula/formula_object.h"

#include <climits>
#include <cstring>
#include <new>

#include "encoder/encode_micro.h"
#include "encoder/encode_qr.h"
#include "encoder/hibc.h"
#include "encoder/result_codes.h"
#include "encoder/viewref.h"
#include "fontstring/fontstring.h"

namespace kelvane2::formula {

using platform::kHrFail;
using platform::kHrFalse;
using platform::kHrOk;
using platform::kHrOutOfMemory;
using platform::kHrPointer;
using platform::OLECHAR;
using platform::UINT;

namespace {

void releaseThreadRecord(void* record) {
    destroyThreadRecord(static_cast<ThreadRecord*>(record));
}

// A new BSTR of length units, each a byte of text widened to UTF-16; null when memory runs out.
BSTR widenBytes(const char* text, std::size_t length) {
    BSTR wide = platform::SysAllocStringLen(nullptr, static_cast<UINT>(length));
    if (wide == nullptr) return nullptr;
    for (std::size_t i = 0; i < length; ++i)
        wide[i] = static_cast<OLECHAR>(static_cast<unsigned char>(text[i]));
    return wide;
}

// Puts the message of a failed encode into the thread's error text and gives the status of the failure.
HRESULT reportFailure(ThreadRecord* record, std::int32_t code) {
    const char* message = errorMessage(code);
    BSTR text = widenBytes(message, std::strlen(message));
    if (text == nullptr) return kHrOutOfMemory;
    platform::SysFreeString(record->errorText);
    record->errorText = text;
    return code == kOutOfMemoryResult ? kHrOutOfMemory : kHrFail;
}

// The length of the thread's result text; never past its buffer.
std::size_t resultLength(const ThreadRecord& record) {
    const void* end = std::memchr(record.resultText, 0, kResultTextSize);
    return end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - record.resultText)
                          : kResultTextSize - 1;
}

std::int32_t runDriver(SymbolKind kind, const std::string& bytes, const qrencode::EncodeOptions& options,
                       IQrcodeResult** out) {
    // Converted input holds no 0 byte: its length is its strlen.
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) return failureCode(kErrInputTooLong);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const int length = static_cast<int>(bytes.size());
    switch (kind) {
        case SymbolKind::kQrCode:
            return qrencode::encodeQr(data, length, options, out);
        case SymbolKind::kHibc:
            return qrencode::encodeHibc(bytes.c_str(), options, out);
        case SymbolKind::kMicroQrCode:
            return qrencode::encodeMicroQr(data, length, options, out);
    }
    return failureCode(kErrUnspecified);
}

}  // namespace

ThreadRecord* createThreadRecord() noexcept {
    auto* record = new (std::nothrow) ThreadRecord;
    if (record == nullptr) return nullptr;
    record->resultText[0] = '\0';
    record->errorText = platform::SysAllocStringLen(nullptr, 0);
    if (record->errorText == nullptr) {
        delete record;
        return nullptr;
    }
    return record;
}

void destroyThreadRecord(ThreadRecord* record) noexcept {
    if (record == nullptr) return;
    platform::SysFreeString(record->errorText);
    delete record;
}

ThreadRecord* currentThreadRecord() noexcept {
    if (auto* record = static_cast<ThreadRecord*>(platform::threadSlotGet())) return record;
    ThreadRecord* record = createThreadRecord();
    if (record == nullptr) return nullptr;
    if (!platform::threadSlotSet(record, releaseThreadRecord)) {
        destroyThreadRecord(record);
        return nullptr;
    }
    return record;
}

std::string inputBytes(BSTR data) {
    static constexpr char16_t kZeroEscape[] = u"~d000";
    const UINT n = platform::SysStringLen(data);
    std::u16string wide;
    wide.reserve(n);
    for (UINT i = 0; i < n; ++i) {
        if (data[i] == 0)
            wide.append(kZeroEscape);
        else
            wide.push_back(static_cast<char16_t>(data[i]));
    }
    return qrencode::narrowWideInput(wide.c_str());
}

HRESULT encodeSet(SymbolKind kind, BSTR data, LONG version, LONG ecLevel, LONG* chunks) noexcept {
    if (chunks == nullptr) return kHrPointer;
    ThreadRecord* record = currentThreadRecord();
    if (record == nullptr) return kHrOutOfMemory;
    try {
        const std::string bytes = inputBytes(data);
        IQrcodeResult* handle = nullptr;
        const std::int32_t code =
            runDriver(kind, bytes, qrencode::EncodeOptions{version, ecLevel, -1}, &handle);
        if (code != 0) return reportFailure(record, code);
        ViewRef<IQrcodeResult> result(handle);
        // The composer writes all of the text or, when it does not fit, nothing.
        int size = kResultTextSize;
        const int status = resultFontString(result.get(), record->resultText, &size, kLineSeparator);
        if (status != 0) return reportFailure(record, failureCode(status));
        *chunks = chunkCount(size);
        return kHrOk;
    } catch (const std::bad_alloc&) {
        return kHrOutOfMemory;
    } catch (...) {
        return kHrFail;
    }
}

HRESULT encodeGet(LONG trunkNo, BSTR* chunk) noexcept {
    if (chunk == nullptr) return kHrPointer;
    platform::SysFreeString(*chunk);
    *chunk = nullptr;
    ThreadRecord* record = currentThreadRecord();
    if (record == nullptr) return kHrOutOfMemory;

    const long long start = static_cast<long long>(trunkNo) * kChunkLength;
    const auto length = static_cast<long long>(resultLength(*record));
    if (start < 0 || start >= length) {
        *chunk = platform::SysAllocStringLen(nullptr, 0);
        return *chunk != nullptr ? kHrFalse : kHrOutOfMemory;
    }
    const long long count = (start + kChunkLength < length ? start + kChunkLength : length) - start;
    *chunk = widenBytes(record->resultText + start, static_cast<std::size_t>(count));
    return *chunk != nullptr ? kHrOk : kHrOutOfMemory;
}

HRESULT parity(BSTR data, LONG* out) noexcept {
    if (out == nullptr) return kHrPointer;
    try {
        const std::string bytes = inputBytes(data);
        if (bytes.size() > static_cast<std::size_t>(INT_MAX)) return kHrFail;
        *out = qrencode::computeParity(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                       static_cast<int>(bytes.size()));
        return kHrOk;
    } catch (const std::bad_alloc&) {
        return kHrOutOfMemory;
    } catch (...) {
        return kHrFail;
    }
}

HRESULT getErrorText(BSTR* out) noexcept {
    if (out == nullptr) return kHrPointer;
    ThreadRecord* record = currentThreadRecord();
    if (record == nullptr) return kHrOutOfMemory;
    BSTR copy = platform::SysAllocStringLen(record->errorText, platform::SysStringLen(record->errorText));
    if (copy == nullptr) return kHrOutOfMemory;
    *out = copy;
    return kHrOk;
}

HRESULT putErrorText(BSTR value) noexcept {
    if (value == nullptr) return kHrOk;
    ThreadRecord* record = currentThreadRecord();
    if (record == nullptr) return kHrOutOfMemory;
    return platform::SysReAllocString(&record->errorText, value) ? kHrOk : kHrOutOfMemory;
}

HRESULT getPrefixFunctions(VARIANT_BOOL* out) noexcept {
    if (out == nullptr) return kHrPointer;
    *out = 0;
    return kHrOk;
}

}  // namespace kelvane2::formula
