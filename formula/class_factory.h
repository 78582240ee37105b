// The class factory of Tessolink4CR: makes QRCodeObj objects and holds LockServer locks.
#ifndef QRKIT_FORMULA_CLASS_FACTORY_H
#define QRKIT_FORMULA_CLASS_FACTORY_H

#include "platform/automation.h"

namespace kelvane2::formula {

class ClassFactory final : public IClassFactory {
  public:
    // Reference count 0; the library's object count rises by one until the factory is freed.
    ClassFactory();
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    // QueryInterface answers IUnknown and IClassFactory.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // A new QRCodeObj queried for id; no aggregation.
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID id, void** out) override;
    // Raises (lock non-zero) or lowers the library's lock count.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

  private:
    ~ClassFactory();

    platform::InterlockedCount references_;
};

}  // namespace kelvane2::formula

#endif
