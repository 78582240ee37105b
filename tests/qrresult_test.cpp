#include "encoder/qrresult.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "encoder/viewref.h"
#include "qrkit/qrkit.h"

namespace {

using kelvane2::I2DBitPattern;
using kelvane2::I2DBitPatternModifiable;
using kelvane2::IObjectBase;
using kelvane2::IQrcodeResult;
using kelvane2::IUserData;
using kelvane2::Simple2DBitPattern;
using kelvane2::qrencode::QrResult;

// A width x width matrix with flag bits above bit 0 (bit 0 set on the diagonal).
std::uint8_t* flaggedMatrix(int width) {
    auto* matrix = new std::uint8_t[static_cast<std::size_t>(width) * width];
    for (int i = 0; i < width * width; ++i)
        matrix[i] = 0x82;
    for (int i = 0; i < width; ++i)
        matrix[i * width + i] = 0x83;
    return matrix;
}

// The handle of a new QrResult, as an encode function returns it.
IQrcodeResult* newHandle(int version, int level, int width) {
    auto* result = new QrResult(version, level, width, flaggedMatrix(width));
    void* view = nullptr;
    EXPECT_EQ(result->QueryInterface(kelvane2::IID_IQrcodeResult, &view), kelvane2::kStatusOk);
    return static_cast<IQrcodeResult*>(view);
}

TEST(QrResult, ViewsAndCounts) {
    IQrcodeResult* handle = newHandle(1, 2, 21);
    EXPECT_EQ(handle->getVersion(), 1);
    EXPECT_EQ(handle->getEcLevel(), 2);

    void* unknown = nullptr;
    void* pattern = nullptr;
    ASSERT_EQ(handle->QueryInterface(kelvane2::IID_IObjectBase, &unknown), kelvane2::kStatusOk);
    ASSERT_EQ(handle->QueryInterface(kelvane2::IID_I2DBitPattern, &pattern), kelvane2::kStatusOk);
    EXPECT_EQ(unknown, pattern) << "IUnknown is the I2DBitPattern view";
    auto* bits = static_cast<I2DBitPattern*>(pattern);
    EXPECT_EQ(bits->getRows(), 21);
    EXPECT_EQ(bits->getColumns(), 21);
    EXPECT_EQ(bits->getModule(3, 3), 1);
    EXPECT_EQ(bits->getModule(3, 4), 0) << "only bit 0 is the colour";
    EXPECT_EQ(static_cast<IObjectBase*>(unknown)->Release(), 2u);
    EXPECT_EQ(bits->Release(), 1u);

    void* out = reinterpret_cast<void*>(0x1234);
    const kelvane2::InterfaceId other = {0x12345678, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    EXPECT_EQ(handle->QueryInterface(other, &out), kelvane2::kNoInterface);
    EXPECT_EQ(out, reinterpret_cast<void*>(0x1234)) << "out is not written";
    EXPECT_EQ(handle->QueryInterface(kelvane2::IID_IUserData, nullptr), kelvane2::kInvalidPointer);

    EXPECT_EQ(DestroyQRCodeEncodeResult(handle), 0) << "a fresh handle holds one reference";
}

TEST(QrResult, SetModuleClearsFlags) {
    IQrcodeResult* handle = newHandle(1, 0, 21);
    kelvane2::ViewRef<I2DBitPatternModifiable> writable;
    kelvane2::ViewRef<I2DBitPattern> readable;
    ASSERT_EQ(writable.query(handle, kelvane2::IID_I2DBitPatternModifiable), kelvane2::kStatusOk);
    ASSERT_EQ(readable.query(handle, kelvane2::IID_I2DBitPattern), kelvane2::kStatusOk);
    writable->setModule(0, 5, true);
    writable->setModule(7, 7, false);
    EXPECT_EQ(readable->getModule(0, 5), 1);
    EXPECT_EQ(readable->getModule(7, 7), 0);
    auto* result = static_cast<QrResult*>(readable.get());
    EXPECT_EQ(result->matrix()[5], 1) << "setModule stores exactly 1";
    EXPECT_EQ(result->matrix()[7 * 21 + 7], 0) << "setModule stores exactly 0";
    writable.reset();
    readable.reset();
    EXPECT_EQ(DestroyQRCodeEncodeResult(handle), 0);
}

TEST(QrResult, DestroyFreesUserData) {
    IQrcodeResult* handle = newHandle(2, 1, 25);
    {
        kelvane2::ViewRef<IUserData> slot;
        ASSERT_EQ(slot.query(handle, kelvane2::IID_IUserData), kelvane2::kStatusOk);
        EXPECT_EQ(slot->getUserData(), nullptr);
        slot->setUserData(new char[16]);  // freed by DestroyQRCodeEncodeResult (a leak check catches it)
    }
    EXPECT_EQ(DestroyQRCodeEncodeResult(handle), 0);
}

TEST(QrResult, DestroyCountsReferencesLeft) {
    IQrcodeResult* handle = newHandle(1, 0, 21);
    handle->AddRef();
    EXPECT_EQ(DestroyQRCodeEncodeResult(handle), 1);
    EXPECT_EQ(QRCodeResultGetVersion(handle), 1);
    EXPECT_EQ(DestroyQRCodeEncodeResult(handle), 0);
}

TEST(QrResult, NullHandles) {
    EXPECT_EQ(DestroyQRCodeEncodeResult(nullptr), 0);
    EXPECT_EQ(QRCodeResultGetVersion(nullptr), 0);
}

TEST(Simple2DBitPattern, PackedRows) {
    auto* pattern = new Simple2DBitPattern(3, 10);
    kelvane2::ViewRef<I2DBitPattern> bits;
    ASSERT_EQ(bits.query(static_cast<I2DBitPattern*>(pattern), kelvane2::IID_I2DBitPattern),
              kelvane2::kStatusOk);
    EXPECT_EQ(pattern->bytesPerRow(), 2);
    EXPECT_EQ(bits->getRows(), 3);
    EXPECT_EQ(bits->getColumns(), 10);
    for (int j = 0; j < 3; ++j) {
        for (int k = 0; k < 10; ++k)
            EXPECT_EQ(bits->getModule(j, k), 0) << "starts light at " << j << "," << k;
    }

    kelvane2::ViewRef<I2DBitPatternModifiable> writable;
    ASSERT_EQ(writable.query(bits.get(), kelvane2::IID_I2DBitPatternModifiable), kelvane2::kStatusOk);
    writable->setModule(1, 8, true);
    EXPECT_EQ(bits->getModule(1, 8), 1);
    EXPECT_EQ(pattern->rowData(1)[1], 0x80) << "column 8 is bit 7 of the second byte";
    writable->setModule(2, 0, true);
    EXPECT_EQ(pattern->rowData(2)[0], 0x80);
    writable->setModule(2, 0, false);
    EXPECT_EQ(pattern->rowData(2)[0], 0x00);

    // Outside the matrix nothing changes.
    const int outside[][2] = {{-1, 0}, {3, 0}, {0, -1}, {0, 10}, {0, 15}};
    for (const auto& place : outside)
        writable->setModule(place[0], place[1], true);
    for (int j = 0; j < 3; ++j) {
        EXPECT_EQ(pattern->rowData(j)[0], 0) << "row " << j;
        EXPECT_EQ(pattern->rowData(j)[1], j == 1 ? 0x80 : 0) << "row " << j;
    }
}

TEST(Simple2DBitPattern, AnswersOnlyItsViews) {
    auto* pattern = new Simple2DBitPattern(2, 2);
    kelvane2::ViewRef<I2DBitPattern> bits;
    ASSERT_EQ(bits.query(static_cast<I2DBitPattern*>(pattern), kelvane2::IID_I2DBitPattern),
              kelvane2::kStatusOk);
    void* view = nullptr;
    EXPECT_EQ(bits->QueryInterface(kelvane2::IID_IQrcodeResult, &view), kelvane2::kNoInterface);
    EXPECT_EQ(bits->QueryInterface(kelvane2::IID_IUserData, &view), kelvane2::kNoInterface);
    EXPECT_EQ(view, nullptr);
    ASSERT_EQ(bits->QueryInterface(kelvane2::IID_IObjectBase, &view), kelvane2::kStatusOk);
    EXPECT_EQ(view, static_cast<void*>(bits.get()));
    EXPECT_EQ(static_cast<IObjectBase*>(view)->Release(), 1u);
}

}  // namespace
