// The result object model of qrkit: small reference-counted interfaces in the manner of COM, without
// any COM run time. Public for C++ callers (#include "qrkit/objectmodel.h"); C callers see handles as
// opaque pointers (qrkit/qrkit.h).
//
// Every interface starts with the three operations of IObjectBase. Objects are created with a reference
// count of 0; the creator takes its first reference with QueryInterface. Whoever obtains a view (from
// QueryInterface or from an encode function) releases it exactly once. Reference counts are plain
// integers: one result object is used by one thread at a time.
#ifndef QRKIT_OBJECTMODEL_H
#define QRKIT_OBJECTMODEL_H

#include <cstdint>
#include <cstring>

namespace kelvane2 {

// A 128-bit interface id, laid out like a Windows GUID.
struct InterfaceId {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};

inline bool operator==(const InterfaceId& a, const InterfaceId& b) {
    return std::memcmp(&a, &b, sizeof(InterfaceId)) == 0;
}
inline bool operator!=(const InterfaceId& a, const InterfaceId& b) {
    return !(a == b);
}

// Status codes of QueryInterface.
constexpr std::int32_t kStatusOk = 0;
constexpr std::int32_t kNoInterface = static_cast<std::int32_t>(0x80004002u);      // E_NOINTERFACE
constexpr std::int32_t kInvalidPointer = static_cast<std::int32_t>(0x80004003u);   // E_POINTER
constexpr std::int32_t kInvalidArgument = static_cast<std::int32_t>(0x80070057u);  // E_INVALIDARG

// {00000000-0000-0000-C000-000000000046}, the id of IUnknown: every object answers it.
inline constexpr InterfaceId IID_IObjectBase = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {E1760C02-8646-4F6F-B29E-F4949C56FFA1}
inline constexpr InterfaceId IID_I2DBitPattern = {
    0xE1760C02, 0x8646, 0x4F6F, {0xB2, 0x9E, 0xF4, 0x94, 0x9C, 0x56, 0xFF, 0xA1}};
// {4B6FD207-3746-46B5-9C7F-3D7FA27E27D4}
inline constexpr InterfaceId IID_I2DBitPatternModifiable = {
    0x4B6FD207, 0x3746, 0x46B5, {0x9C, 0x7F, 0x3D, 0x7F, 0xA2, 0x7E, 0x27, 0xD4}};
// {7B9D8B4D-6DE4-459B-BACD-97AB902AFC91}
inline constexpr InterfaceId IID_IQrcodeResult = {
    0x7B9D8B4D, 0x6DE4, 0x459B, {0xBA, 0xCD, 0x97, 0xAB, 0x90, 0x2A, 0xFC, 0x91}};
// {B670CAA1-4F82-475C-9EFB-FDE9C8904DD9}
inline constexpr InterfaceId IID_IUserData = {
    0xB670CAA1, 0x4F82, 0x475C, {0x9E, 0xFB, 0xFD, 0xE9, 0xC8, 0x90, 0x4D, 0xD9}};

class IObjectBase {
  public:
    // Stores the requested view in *out with one new reference and returns 0; kNoInterface (out not
    // written) when the object does not answer id; kInvalidPointer when out is null.
    virtual std::int32_t QueryInterface(const InterfaceId& id, void** out) = 0;
    // Returns the new reference count.
    virtual std::uint32_t AddRef() = 0;
    // Returns the new reference count; 0 when the object was destroyed.
    virtual std::uint32_t Release() = 0;

  protected:
    ~IObjectBase() = default;
};

// A read-only module matrix. getModule returns 1 for a dark module, 0 for a light one; row and column
// must lie inside the matrix.
class I2DBitPattern : public IObjectBase {
  public:
    virtual int getRows() = 0;
    virtual int getColumns() = 0;
    virtual int getModule(int row, int column) = 0;

  protected:
    ~I2DBitPattern() = default;
};

class I2DBitPatternModifiable : public IObjectBase {
  public:
    virtual void setModule(int row, int column, bool dark) = 0;

  protected:
    ~I2DBitPatternModifiable() = default;
};

class IQrcodeResult : public IObjectBase {
  public:
    // 1-40 for QR Code, 1-4 for Micro QR Code (M1-M4).
    virtual int getVersion() = 0;
    // 0 L, 1 M, 2 Q, 3 H.
    virtual int getEcLevel() = 0;

  protected:
    ~IQrcodeResult() = default;
};

// One untyped pointer slot. The library parks the font string of a result here.
class IUserData : public IObjectBase {
  public:
    virtual void setUserData(void* data) = 0;
    virtual void* getUserData() = 0;

  protected:
    ~IUserData() = default;
};

}  // namespace kelvane2

#endif
