// The in-process server: the library's entry point, its four exports (DllRegisterServer 1,
// DllUnregisterServer 2, DllCanUnloadNow 3, DllGetClassObject 4) and self-registration.
#include "formula/com_server.h"

#include <new>
#include <string>

#include "formula/class_factory.h"
#include "formula/formula_object.h"

namespace kelvane2::formula {

namespace {

HMODULE ownModule = nullptr;
platform::InterlockedCount objects;
platform::InterlockedCount locks;

// The longest path LoadTypeLib takes, with its NUL; and the buffer of the path that is registered.
constexpr DWORD kTypeLibraryPathSize = MAX_PATH;
constexpr DWORD kRegisteredPathSize = 512;
// The name buffer for enumerating subkeys.
constexpr DWORD kSubkeyNameSize = 256;

// The library's full path into buffer (capacity characters with the NUL). False on failure and when
// the path does not fit.
bool ownPath(wchar_t* buffer, DWORD capacity) {
    const DWORD length = ::GetModuleFileNameW(ownModule, buffer, capacity);
    return length != 0 && length < capacity;
}

// The registry form of a GUID, braces and upper-case hexadecimal; empty when it cannot be made.
HRESULT registryForm(REFGUID id, std::wstring* text) {
    LPOLESTR form = nullptr;
    const HRESULT status = ::StringFromCLSID(id, &form);
    if (FAILED(status)) return status;
    try {
        text->assign(form);
    } catch (...) {
        ::CoTaskMemFree(form);
        return E_OUTOFMEMORY;
    }
    ::CoTaskMemFree(form);
    return S_OK;
}

// Creates or opens HKEY_CLASSES_ROOT\subkey and sets the value name (null: the default value) to data
// with its terminating NUL. Returns the registry error of the first failing call.
LONG writeValue(const std::wstring& subkey, const wchar_t* name, const wchar_t* data) {
    HKEY key = nullptr;
    LONG error = ::RegCreateKeyExW(HKEY_CLASSES_ROOT, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (error != ERROR_SUCCESS) return error;
    const DWORD bytes = static_cast<DWORD>((std::wcslen(data) + 1) * sizeof(wchar_t));
    error = ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), bytes);
    ::RegCloseKey(key);
    return error;
}

// Deletes parent\name with all its subkeys, deepest first. Returns the first registry error.
LONG deleteTree(HKEY parent, const wchar_t* name) {
    HKEY key = nullptr;
    LONG error = ::RegOpenKeyExW(parent, name, 0, KEY_ALL_ACCESS, &key);
    if (error != ERROR_SUCCESS) return error;
    for (;;) {
        wchar_t subkey[kSubkeyNameSize];
        DWORD length = kSubkeyNameSize;
        error = ::RegEnumKeyExW(key, 0, subkey, &length, nullptr, nullptr, nullptr, nullptr);
        if (error == ERROR_NO_MORE_ITEMS) break;
        if (error == ERROR_SUCCESS) error = deleteTree(key, subkey);
        if (error != ERROR_SUCCESS) {
            ::RegCloseKey(key);
            return error;
        }
    }
    ::RegCloseKey(key);
    return ::RegDeleteKeyW(parent, name);
}

HRESULT registerServer() {
    wchar_t path[kRegisteredPathSize];
    if (!ownPath(path, kRegisteredPathSize)) return E_FAIL;
    std::wstring classId;
    HRESULT status = registryForm(kClassId, &classId);
    if (FAILED(status)) return status;
    std::wstring libraryId;
    status = registryForm(kLibraryId, &libraryId);
    if (FAILED(status)) return status;

    const std::wstring classKey = L"CLSID\\" + classId;
    const std::wstring serverKey = classKey + L"\\InprocServer32";
    const std::wstring progIdKey = kProgId;
    // The class key decides the outcome; the later writes may fail without changing it.
    if (writeValue(classKey, nullptr, kDescription) != ERROR_SUCCESS) return E_FAIL;
    writeValue(serverKey, nullptr, path);
    writeValue(classKey + L"\\TypeLib", nullptr, libraryId.c_str());

    ITypeLib* library = nullptr;
    wchar_t libraryPath[kTypeLibraryPathSize];
    if (ownPath(libraryPath, kTypeLibraryPathSize) && SUCCEEDED(::LoadTypeLib(libraryPath, &library))) {
        ::RegisterTypeLib(library, libraryPath, nullptr);
        library->Release();
    }

    writeValue(progIdKey, nullptr, kDescription);
    writeValue(progIdKey + L"\\CLSID", nullptr, classId.c_str());
    writeValue(serverKey, L"ThreadingModel", L"Apartment");
    return S_OK;
}

HRESULT unregisterServer() {
    std::wstring classId;
    const HRESULT status = registryForm(kClassId, &classId);
    if (FAILED(status)) return status;
    const std::wstring classKey = L"CLSID\\" + classId;
    // A missing class key is fine; any other registry error is the result, as its plain number.
    const LONG error = deleteTree(HKEY_CLASSES_ROOT, classKey.c_str());
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return static_cast<HRESULT>(error);

    ITypeLib* library = nullptr;
    if (SUCCEEDED(loadOwnTypeLibrary(&library))) {
        TLIBATTR* attributes = nullptr;
        if (SUCCEEDED(library->GetLibAttr(&attributes))) {
            ::UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                                attributes->lcid, attributes->syskind);
            library->ReleaseTLibAttr(attributes);
        }
        library->Release();
    }

    deleteTree(HKEY_CLASSES_ROOT, kProgId);
    return S_OK;
}

}  // namespace

HMODULE moduleHandle() {
    return ownModule;
}

platform::InterlockedCount& objectCount() {
    return objects;
}

platform::InterlockedCount& lockCount() {
    return locks;
}

HRESULT loadOwnTypeLibrary(ITypeLib** library) {
    wchar_t path[kTypeLibraryPathSize];
    if (!ownPath(path, kTypeLibraryPathSize)) return E_FAIL;
    return ::LoadTypeLib(path, library);
}

}  // namespace kelvane2::formula

using kelvane2::formula::ClassFactory;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            kelvane2::formula::ownModule = instance;
            if (!kelvane2::platform::threadSlotOpen()) return FALSE;
            kelvane2::formula::currentThreadRecord();
            break;
        case DLL_THREAD_ATTACH:
            // A failed allocation leaves the slot empty; the record is then made on the thread's first use.
            kelvane2::formula::currentThreadRecord();
            break;
        case DLL_THREAD_DETACH:
            kelvane2::platform::threadSlotReleaseCurrent();
            break;
        case DLL_PROCESS_DETACH:
            kelvane2::platform::threadSlotReleaseCurrent();
            kelvane2::platform::threadSlotClose();
            break;
        default:
            break;
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID id, LPVOID* out) {
    if (!IsEqualCLSID(classId, kelvane2::formula::kClassId)) return CLASS_E_CLASSNOTAVAILABLE;
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(id, IID_IUnknown) && !IsEqualIID(id, IID_IClassFactory)) return E_NOINTERFACE;
    auto* factory = new (std::nothrow) ClassFactory;
    if (factory == nullptr) return E_OUTOFMEMORY;
    return factory->QueryInterface(id, out);
}

STDAPI DllCanUnloadNow() {
    return kelvane2::formula::objectCount().value() == 0 && kelvane2::formula::lockCount().value() == 0
               ? S_OK
               : S_FALSE;
}

STDAPI DllRegisterServer() {
    try {
        return kelvane2::formula::registerServer();
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

STDAPI DllUnregisterServer() {
    try {
        return kelvane2::formula::unregisterServer();
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}
