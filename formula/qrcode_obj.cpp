#include "formula/qrcode_obj.h"

#include "formula/com_server.h"
#include "formula/formula_object.h"

namespace kelvane2::formula {

QRCodeObj::QRCodeObj() {
    objectCount().increment();
}

QRCodeObj::~QRCodeObj() {
    if (typeInfo_ != nullptr) typeInfo_->Release();
    objectCount().decrement();
}

HRESULT STDMETHODCALLTYPE QRCodeObj::QueryInterface(REFIID id, void** out) {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IDispatch) || IsEqualIID(id, IID_ITessolink4CR)) {
        AddRef();
        *out = static_cast<ITessolink4CR*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE QRCodeObj::AddRef() {
    return static_cast<ULONG>(references_.increment());
}

ULONG STDMETHODCALLTYPE QRCodeObj::Release() {
    const LONG count = references_.decrement();
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE QRCodeObj::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT QRCodeObj::typeInfo(ITypeInfo** out) {
    if (typeInfo_ == nullptr) {
        ITypeLib* library = nullptr;
        HRESULT status = loadOwnTypeLibrary(&library);
        if (FAILED(status)) return status;
        status = library->GetTypeInfoOfGuid(IID_ITessolink4CR, &typeInfo_);
        library->Release();
        if (FAILED(status)) {
            typeInfo_ = nullptr;
            return status;
        }
    }
    *out = typeInfo_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QRCodeObj::GetTypeInfo(UINT index, LCID, ITypeInfo** out) {
    if (index != 0 || out == nullptr) return E_POINTER;
    platform::SectionLock hold(lock_);
    ITypeInfo* info = nullptr;
    const HRESULT status = typeInfo(&info);
    if (FAILED(status)) return status;
    info->AddRef();
    *out = info;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE QRCodeObj::GetIDsOfNames(REFIID id, LPOLESTR* names, UINT count, LCID,
                                                   DISPID* ids) {
    platform::SectionLock hold(lock_);
    if (!IsEqualIID(id, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = nullptr;
    const HRESULT status = typeInfo(&info);
    if (FAILED(status)) return status;
    return DispGetIDsOfNames(info, names, count, ids);
}

HRESULT STDMETHODCALLTYPE QRCodeObj::Invoke(DISPID member, REFIID id, LCID, WORD flags,
                                            DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                            UINT* argumentError) {
    platform::SectionLock hold(lock_);
    if (!IsEqualIID(id, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    ITypeInfo* info = nullptr;
    const HRESULT status = typeInfo(&info);
    if (FAILED(status)) return status;
    return info->Invoke(static_cast<ITessolink4CR*>(this), member, flags, parameters, result, exception,
                        argumentError);
}

HRESULT STDMETHODCALLTYPE QRCodeObj::get_UFErrorText(BSTR* value) {
    return getErrorText(value);
}

HRESULT STDMETHODCALLTYPE QRCodeObj::put_UFErrorText(BSTR value) {
    return putErrorText(value);
}

HRESULT STDMETHODCALLTYPE QRCodeObj::get_UFPrefixFunctions(VARIANT_BOOL* value) {
    return getPrefixFunctions(value);
}

HRESULT STDMETHODCALLTYPE QRCodeObj::QRCodeEncodeSet(BSTR data, LONG version, LONG ecLevel, LONG* chunks) {
    return encodeSet(SymbolKind::kQrCode, data, version, ecLevel, chunks);
}

HRESULT STDMETHODCALLTYPE QRCodeObj::HIBC_QRCodeEncodeSet(BSTR data, LONG version, LONG ecLevel,
                                                          LONG* chunks) {
    return encodeSet(SymbolKind::kHibc, data, version, ecLevel, chunks);
}

HRESULT STDMETHODCALLTYPE QRCodeObj::QRCodeEncodeGet(LONG trunkNo, BSTR* chunk) {
    return encodeGet(trunkNo, chunk);
}

HRESULT STDMETHODCALLTYPE QRCodeObj::MicroQRCodeEncodeSet(BSTR data, LONG version, LONG ecLevel,
                                                          LONG* chunks) {
    return encodeSet(SymbolKind::kMicroQrCode, data, version, ecLevel, chunks);
}

HRESULT STDMETHODCALLTYPE QRCodeObj::QRCodeGetParity(BSTR data, LONG* parity) {
    return formula::parity(data, parity);
}

}  // namespace kelvane2::formula
