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

// The text of rows x columns modules, moduleAt(row, column) giving each module as 0 or 1. Rows are read
// band by band, each row of a band from left to right, and only once the buffer is known to be large
// enough; asking for the size reads no module.
template <class ModuleAt>
int compose(ModuleAt moduleAt, int rows, int columns, char* buffer, int* size, const char* separator) {
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
        for (int k = 0; k < columns; ++k)
            out[k] = static_cast<char>(moduleAt(top, k) << 3);
        for (int i = 1; i < bandRows; ++i) {
            const int shift = 3 - i;
            for (int k = 0; k < columns; ++k)
                out[k] = static_cast<char>(out[k] | (moduleAt(top + i, k) << shift));
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

// The modules of an object answering I2DBitPattern: our own result lends its matrix (bit 0 of each
// byte is the module); any other pattern is read through getModule, without a copy (a copy of a
// caller's pattern of rows x columns bytes need not even fit the address space of a 32-bit process).
class ModuleSource {
  public:
    // False when the handle answers no I2DBitPattern.
    bool load(IObjectBase* handle) {
        if (pattern_.query(handle, IID_I2DBitPattern) != kStatusOk) return false;
        rows_ = pattern_->getRows();
        columns_ = pattern_->getColumns();
        if (auto* result = dynamic_cast<qrencode::QrResult*>(pattern_.get())) {
            matrix_ = result->matrix();
        } else if (rows_ <= 0 || columns_ <= 0) {
            rows_ = 0;  // a pattern without modules is an empty text
            columns_ = 0;
        }
        return true;
    }

    int compose(char* buffer, int* size, const char* separator) const {
        if (matrix_ != nullptr) return composeFontString(matrix_, rows_, columns_, buffer, size, separator);
        I2DBitPattern* pattern = pattern_.get();
        return kelvane2::compose(
            [pattern](int row, int column) { return pattern->getModule(row, column) != 0 ? 1 : 0; }, rows_,
            columns_, buffer, size, separator);
    }

  private:
    ViewRef<I2DBitPattern> pattern_;
    const std::uint8_t* matrix_ = nullptr;
    int rows_ = 0;
    int columns_ = 0;
};

}  // namespace

int composeFontString(const unsigned char* matrix, int rows, int columns, char* buffer, int* size,
                      const char* separator) {
    const std::size_t stride = columns > 0 ? static_cast<std::size_t>(columns) : 0;
    return compose(
        [matrix, stride](int row, int column) {
            return matrix[static_cast<std::size_t>(row) * stride + static_cast<std::size_t>(column)] & 1;
        },
        rows, columns, buffer, size, separator);
}

int resultFontString(IObjectBase* handle, char* buffer, int* size, const char* separator) {
    if (handle == nullptr) return kErrUnspecified;
    ModuleSource source;
    if (!source.load(handle)) return kErrUnspecified;
    return source.compose(buffer, size, separator);
}

const char* resultOwnedFontString(IObjectBase* handle, const char* separator) {
    if (handle == nullptr) return nullptr;
    ViewRef<IUserData> slot;
    if (slot.query(handle, IID_IUserData) != kStatusOk) return nullptr;
    ModuleSource source;
    if (!source.load(handle)) return nullptr;

    int size = 0;
    if (source.compose(nullptr, &size, separator) != 0) return nullptr;
    // The new text is complete before the old one is freed, so a failed allocation leaves the slot valid.
    std::unique_ptr<char[]> text(new char[static_cast<std::size_t>(size)]);
    if (source.compose(text.get(), &size, separator) != 0) return nullptr;
    delete[] static_cast<char*>(slot->getUserData());
    slot->setUserData(text.get());
    return text.release();
}

}  // namespace kelvane2
