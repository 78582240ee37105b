#include "fontstring/fontstring.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>

#include "encoder/qrresult.h"
#include "encoder/result_codes.h"
#include "encoder/viewref.h"

namespace kelvane2 {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// The bytes of a module matrix, either borrowed from a QrResult or copied through getModule.
class ModuleSource {
  public:
    // False when the handle answers no I2DBitPattern.
    bool load(IObjectBase* handle) {
        ViewRef<I2DBitPattern> pattern;
        if (pattern.query(handle, IID_I2DBitPattern) != kStatusOk) return false;
        rows_ = pattern->getRows();
        columns_ = pattern->getColumns();
        // Our own result lends its matrix (bit 0 of each byte is the module) without a call per module.
        if (auto* result = dynamic_cast<qrencode::QrResult*>(pattern.get())) {
            modules_ = result->matrix();
            return true;
        }
        if (rows_ <= 0 || columns_ <= 0) {
            rows_ = 0;
            columns_ = 0;
            modules_ = nullptr;
            return true;
        }
        copy_.reset(new std::uint8_t[static_cast<std::size_t>(rows_) * static_cast<std::size_t>(columns_)]);
        std::uint8_t* target = copy_.get();
        for (int j = 0; j < rows_; ++j) {
            for (int k = 0; k < columns_; ++k)
                *target++ = static_cast<std::uint8_t>(pattern->getModule(j, k) != 0);
        }
        modules_ = copy_.get();
        return true;
    }

    const std::uint8_t* modules() const { return modules_; }
    int rows() const { return rows_; }
    int columns() const { return columns_; }

  private:
    const std::uint8_t* modules_ = nullptr;
    std::unique_ptr<std::uint8_t[]> copy_;
    int rows_ = 0;
    int columns_ = 0;
};

}  // namespace

int composeFontString(const unsigned char* matrix, int rows, int columns, char* buffer, int* size,
                      const char* separator) {
    if (size == nullptr) return kErrUnspecified;
    if (rows < 0) rows = 0;
    if (columns < 0) columns = 0;
    const std::size_t separatorLength = separator != nullptr ? std::strlen(separator) : 0;
    const long long lines = (static_cast<long long>(rows) + 3) / 4;
    // A matrix without rows is an empty text.
    const long long needed =
        lines == 0 ? 1 : (lines - 1) * static_cast<long long>(separatorLength) + lines * columns + 1;
    if (needed > INT_MAX) return kErrBufferTooSmall;
    if (buffer == nullptr) {
        *size = static_cast<int>(needed);
        return 0;
    }
    if (*size < needed) return kErrBufferTooSmall;

    char* out = buffer;
    for (int j = 0; j < lines; ++j) {
        // Each band's digits are summed in place from its (up to four) rows, then turned into text.
        const int top = 4 * j;
        const int bandRows = rows - top < 4 ? rows - top : 4;
        const unsigned char* row = matrix + static_cast<std::size_t>(top) * columns;
        for (int k = 0; k < columns; ++k)
            out[k] = static_cast<char>((row[k] & 1) << 3);
        for (int i = 1; i < bandRows; ++i) {
            row += columns;
            const int shift = 3 - i;
            for (int k = 0; k < columns; ++k)
                out[k] = static_cast<char>(out[k] | ((row[k] & 1) << shift));
        }
        for (int k = 0; k < columns; ++k)
            out[k] = kHexDigits[static_cast<unsigned char>(out[k])];
        out += columns;
        if (j + 1 < lines && separatorLength != 0) {
            std::memcpy(out, separator, separatorLength);
            out += separatorLength;
        }
    }
    *out = '\0';
    *size = static_cast<int>(needed - 1);
    return 0;
}

int resultFontString(IObjectBase* handle, char* buffer, int* size, const char* separator) {
    if (handle == nullptr) return kErrUnspecified;
    ModuleSource source;
    if (!source.load(handle)) return kErrUnspecified;
    return composeFontString(source.modules(), source.rows(), source.columns(), buffer, size, separator);
}

const char* resultOwnedFontString(IObjectBase* handle, const char* separator) {
    if (handle == nullptr) return nullptr;
    ViewRef<IUserData> slot;
    if (slot.query(handle, IID_IUserData) != kStatusOk) return nullptr;
    ModuleSource source;
    if (!source.load(handle)) return nullptr;

    int size = 0;
    if (composeFontString(source.modules(), source.rows(), source.columns(), nullptr, &size, separator) != 0)
        return nullptr;
    // The new text is complete before the old one is freed, so a failed allocation leaves the slot valid.
    std::unique_ptr<char[]> text(new char[static_cast<std::size_t>(size)]);
    if (composeFontString(source.modules(), source.rows(), source.columns(), text.get(), &size, separator) !=
        0)
        return nullptr;
    delete[] static_cast<char*>(slot->getUserData());
    slot->setUserData(text.get());
    return text.release();
}

}  // namespace kelvane2
