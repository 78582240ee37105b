#include "encoder/qrresult.h"

#include <cstdint>
#include <limits>
#include <new>

namespace kelvane2 {

namespace qrencode {

namespace {

const InterfaceEntry kQrResultInterfaces[] = {
    {&IID_I2DBitPattern, &viewOf<QrResult, I2DBitPattern>},
    {&IID_I2DBitPatternModifiable, &viewOf<QrResult, I2DBitPatternModifiable>},
    {&IID_IQrcodeResult, &viewOf<QrResult, IQrcodeResult>},
    {&IID_IUserData, &viewOf<QrResult, IUserData>},
    {nullptr, nullptr},
};

}  // namespace

QrResult::QrResult(int version, int ecLevel, int width, std::uint8_t* matrix)
    : version_(version), width_(width), ecLevel_(ecLevel), matrix_(matrix) {}

QrResult::~QrResult() {
    delete[] matrix_;
}

std::int32_t QrResult::QueryInterface(const InterfaceId& id, void** out) {
    return queryInterfaceImpl(kQrResultInterfaces, id, out);
}

}  // namespace qrencode

namespace {

const InterfaceEntry kBitPatternInterfaces[] = {
    {&IID_I2DBitPattern, &viewOf<Simple2DBitPattern, I2DBitPattern>},
    {&IID_I2DBitPatternModifiable, &viewOf<Simple2DBitPattern, I2DBitPatternModifiable>},
    {nullptr, nullptr},
};

}  // namespace

Simple2DBitPattern::Simple2DBitPattern(int rows, int columns)
    : rowData_(nullptr), rows_(rows), columns_(columns) {
    if (rows <= 0 || columns <= 0) throw std::bad_alloc();
    rowData_ = new std::uint8_t*[static_cast<std::size_t>(rows)]();
    try {
        for (int j = 0; j < rows; ++j)
            rowData_[j] = new std::uint8_t[static_cast<std::size_t>(bytesPerRow())]();
    } catch (...) {
        for (int j = 0; j < rows; ++j)
            delete[] rowData_[j];
        delete[] rowData_;
        throw;
    }
}

Simple2DBitPattern::~Simple2DBitPattern() {
    for (int j = 0; j < rows_; ++j)
        delete[] rowData_[j];
    delete[] rowData_;
}

std::int32_t Simple2DBitPattern::QueryInterface(const InterfaceId& id, void** out) {
    return queryInterfaceImpl(kBitPatternInterfaces, id, out);
}

int Simple2DBitPattern::getModule(int row, int column) {
    return (rowData_[row][column / 8] >> (7 - column % 8)) & 1;
}

void Simple2DBitPattern::setModule(int row, int column, bool dark) {
    if (row < 0 || row >= rows_ || column < 0 || column >= columns_) return;
    std::uint8_t bit = static_cast<std::uint8_t>(0x80u >> (column % 8));
    if (dark) {
        rowData_[row][column / 8] |= bit;
    } else {
        rowData_[row][column / 8] &= static_cast<std::uint8_t>(~bit);
    }
}

}  // namespace kelvane2
