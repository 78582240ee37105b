#include "formula/class_factory.h"

#include <new>

#include "formula/com_server.h"
#include "formula/qrcode_obj.h"

namespace kelvane2::formula {

ClassFactory::ClassFactory() {
    objectCount().increment();
}

ClassFactory::~ClassFactory() {
    objectCount().decrement();
}

HRESULT STDMETHODCALLTYPE ClassFactory::QueryInterface(REFIID id, void** out) {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IClassFactory)) {
        AddRef();
        *out = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE ClassFactory::AddRef() {
    return static_cast<ULONG>(references_.increment());
}

ULONG STDMETHODCALLTYPE ClassFactory::Release() {
    const LONG count = references_.decrement();
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE ClassFactory::CreateInstance(IUnknown* outer, REFIID id, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* object = new (std::nothrow) QRCodeObj;
    if (object == nullptr) return E_OUTOFMEMORY;
    // The query takes the object's first reference; an object nobody could take is freed at once.
    object->AddRef();
    const HRESULT status = object->QueryInterface(id, out);
    object->Release();
    return status;
}

HRESULT STDMETHODCALLTYPE ClassFactory::LockServer(BOOL lock) {
    if (lock)
        lockCount().increment();
    else
        lockCount().decrement();
    return S_OK;
}

}  // namespace kelvane2::formula
