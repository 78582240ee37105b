// QRCodeObj: the formula object a report writer creates and calls through IDispatch by name. The
// dispatch goes through the type information of ITessolink4CR from the library's own type library; the
// members run the formula object's logic on the calling thread's record.
#ifndef QRKIT_FORMULA_QRCODE_OBJ_H
#define QRKIT_FORMULA_QRCODE_OBJ_H

#include "formula/qrcode4cr.h"
#include "platform/automation.h"

namespace kelvane2::formula {

class QRCodeObj final : public ITessolink4CR {
  public:
    // Reference count 0; the library's object count rises by one until the object is freed.
    QRCodeObj();
    QRCodeObj(const QRCodeObj&) = delete;
    QRCodeObj& operator=(const QRCodeObj&) = delete;

    // IUnknown. QueryInterface answers IUnknown, IDispatch and ITessolink4CR.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch, over the type information of ITessolink4CR (loaded on first use and kept). Each call
    // holds the object's lock throughout.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** out) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID id, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID id, LCID locale, WORD flags,
                                     DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override;

    // ITessolink4CR.
    HRESULT STDMETHODCALLTYPE get_UFErrorText(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE put_UFErrorText(BSTR value) override;
    HRESULT STDMETHODCALLTYPE get_UFPrefixFunctions(VARIANT_BOOL* value) override;
    HRESULT STDMETHODCALLTYPE QRCodeEncodeSet(BSTR data, LONG version, LONG ecLevel, LONG* chunks) override;
    HRESULT STDMETHODCALLTYPE HIBC_QRCodeEncodeSet(BSTR data, LONG version, LONG ecLevel,
                                                   LONG* chunks) override;
    HRESULT STDMETHODCALLTYPE QRCodeEncodeGet(LONG trunkNo, BSTR* chunk) override;
    HRESULT STDMETHODCALLTYPE MicroQRCodeEncodeSet(BSTR data, LONG version, LONG ecLevel,
                                                   LONG* chunks) override;
    HRESULT STDMETHODCALLTYPE QRCodeGetParity(BSTR data, LONG* parity) override;

  private:
    // Releases the type information and lowers the library's object count.
    ~QRCodeObj();
    // The kept type information, loaded first if need be; the lock must be held.
    HRESULT typeInfo(ITypeInfo** out);

    platform::InterlockedCount references_;
    ITypeInfo* typeInfo_ = nullptr;
    platform::CriticalSection lock_;
};

}  // namespace kelvane2::formula

#endif
