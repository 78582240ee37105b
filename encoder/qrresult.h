// QrResult, the encoded symbol handed to callers, and Simple2DBitPattern, a plain bit matrix (overlays).
#ifndef QRKIT_ENCODER_QRRESULT_H
#define QRKIT_ENCODER_QRRESULT_H

#include <cstdint>

#include "encoder/comobject.h"
#include "encoder/objectmodel.h"

namespace kelvane2 {

namespace qrencode {

// A square module matrix with its version and level, plus one user-data slot. Views, in table order:
// I2DBitPattern (also the IObjectBase view), I2DBitPatternModifiable, IQrcodeResult, IUserData.
class QrResult final : public I2DBitPattern,
                       public I2DBitPatternModifiable,
                       public IQrcodeResult,
                       public IUserData,
                       public ComObjectRoot {
  public:
    // Takes ownership of matrix (width x width bytes from new[], bit 0 of each byte the colour).
    // The reference count starts at 0.
    QrResult(int version, int ecLevel, int width, std::uint8_t* matrix);
    ~QrResult() override;

    std::int32_t QueryInterface(const InterfaceId& id, void** out) override;
    std::uint32_t AddRef() override { return addRefImpl(); }
    std::uint32_t Release() override { return releaseImpl(); }

    int getRows() override { return width_; }
    int getColumns() override { return width_; }
    int getModule(int row, int column) override { return matrix_[row * width_ + column] & 1; }
    void setModule(int row, int column, bool dark) override { matrix_[row * width_ + column] = dark ? 1 : 0; }
    int getVersion() override { return version_; }
    int getEcLevel() override { return ecLevel_; }
    // The slot is not owned: the destructor does not free it (DestroyQRCodeEncodeResult does).
    void setUserData(void* data) override { userData_ = data; }
    void* getUserData() override { return userData_; }

    int width() const { return width_; }
    const std::uint8_t* matrix() const { return matrix_; }

  private:
    int version_;
    int width_;
    int ecLevel_;
    std::uint8_t* matrix_;
    void* userData_ = nullptr;
};

}  // namespace qrencode

// A rows x columns bit matrix, each row packed most significant bit first: column k of row j is bit
// (7 - k % 8) of byte k / 8 of row j. Views: I2DBitPattern (also IObjectBase), I2DBitPatternModifiable.
class Simple2DBitPattern final : public I2DBitPattern, public I2DBitPatternModifiable, public ComObjectRoot {
  public:
    // All modules light; rows and columns must be positive. The reference count starts at 0.
    Simple2DBitPattern(int rows, int columns);
    ~Simple2DBitPattern() override;

    std::int32_t QueryInterface(const InterfaceId& id, void** out) override;
    std::uint32_t AddRef() override { return addRefImpl(); }
    std::uint32_t Release() override { return releaseImpl(); }

    int getRows() override { return rows_; }
    int getColumns() override { return columns_; }
    int getModule(int row, int column) override;
    // Does nothing outside the matrix.
    void setModule(int row, int column, bool dark) override;

    // The packed bytes of one row, (columns + 7) / 8 of them.
    std::uint8_t* rowData(int row) { return rowData_[row]; }
    int bytesPerRow() const { return (columns_ + 7) / 8; }

  private:
    std::uint8_t** rowData_;
    int rows_;
    int columns_;
};

}  // namespace kelvane2

#endif
