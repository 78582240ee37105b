// qrkitufl.dll as a report writer meets it: self-registration and the registry keys, creation through
// the ProgID, every member called by name through IDispatch, per-thread results, the class factory and
// the unload counts.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <thread>
#include <vector>

#include "formula/qrcode4cr.h"
#include "platform/automation.h"

namespace {

constexpr wchar_t kClassIdText[] = L"{ED74FB83-C9AB-46D5-A012-7EF982DF38BF}";
constexpr wchar_t kLibraryIdText[] = L"{1358CE4C-CF96-4735-8E87-11E5680863C7}";
constexpr wchar_t kInterfaceIdText[] = L"{902B165C-C832-46F2-B17F-BC6BFE11CC1A}";
constexpr wchar_t kProgId[] = L"cruflVostrel.QRCode5";
constexpr wchar_t kDescription[] = L"QRCode Encoder for Crystal Reports";
constexpr HRESULT kClassNotAvailable = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT kNoAggregation = static_cast<HRESULT>(0x80040110u);

GUID guidOf(const wchar_t* text) {
    GUID id{};
    EXPECT_EQ(::CLSIDFromString(text, &id), S_OK) << "bad GUID text";
    return id;
}

std::wstring besideProgram(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.erase(folder.find_last_of(L"\\/") + 1);
    return folder + name;
}

std::string narrow(const std::wstring& text) {
    std::string bytes;
    for (wchar_t c : text)
        bytes.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return bytes;
}

// An export of module as a function of type F (through void (*)(), the generic function pointer type).
template <class F>
F exported(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

// The four exports of one loaded copy of the library.
struct Server {
    using Status = HRESULT(STDAPICALLTYPE*)();
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

    HMODULE module = nullptr;
    Status registerServer = nullptr;
    Status unregisterServer = nullptr;
    Status canUnloadNow = nullptr;
    GetClassObject getClassObject = nullptr;

    static Server load(const std::wstring& path) {
        Server server;
        server.module = ::LoadLibraryW(path.c_str());
        if (server.module == nullptr) return server;
        server.registerServer = exported<Status>(server.module, "DllRegisterServer");
        server.unregisterServer = exported<Status>(server.module, "DllUnregisterServer");
        server.canUnloadNow = exported<Status>(server.module, "DllCanUnloadNow");
        server.getClassObject = exported<GetClassObject>(server.module, "DllGetClassObject");
        return server;
    }
};

// The library as the COM run time loads it (same file, so the same module).
Server& mainServer() {
    static Server server = Server::load(besideProgram(L"qrkitufl.dll"));
    return server;
}

class ComEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_NE(mainServer().module, nullptr) << "qrkitufl.dll not found beside the test program";
    }
    void TearDown() override { ::CoUninitialize(); }
};
const auto* const comEnvironment = ::testing::AddGlobalTestEnvironment(new ComEnvironment);

// A COM interface pointer released at the end of its scope.
template <class T>
class Ref {
  public:
    Ref() = default;
    ~Ref() { reset(); }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    void reset() {
        if (p_ != nullptr) p_->Release();
        p_ = nullptr;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T** out() {
        reset();
        return &p_;
    }
    void** outVoid() { return reinterpret_cast<void**>(out()); }

  private:
    T* p_ = nullptr;
};

// A BSTR released at the end of its scope.
class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(const std::wstring& text)
        : text_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { ::SysFreeString(text_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return text_; }
    BSTR* out() { return &text_; }
    std::wstring text() const { return std::wstring(text_, ::SysStringLen(text_)); }

  private:
    BSTR text_ = nullptr;
};

// ---- Calls by name through IDispatch, as a report formula makes them ---------------------------------

// One argument of a dispatched call.
struct Argument {
    std::wstring text;
    LONG number = 0;
    bool isText = false;
};
Argument text(const std::wstring& value) {
    return Argument{value, 0, true};
}
Argument number(LONG value) {
    return Argument{L"", value, false};
}

struct Outcome {
    HRESULT status = E_UNEXPECTED;  // what Invoke returned
    SCODE scode = 0;                // the member's failure status, when Invoke reports an exception
    VARIANT result;
    Outcome() { ::VariantInit(&result); }
    ~Outcome() { ::VariantClear(&result); }
    Outcome(const Outcome&) = delete;
    Outcome& operator=(const Outcome&) = delete;
};

DISPID dispatchId(IDispatch* object, const wchar_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK) << narrow(name);
    return id;
}

// Looks name up and invokes it with arguments in their declared order.
void invoke(IDispatch* object, const wchar_t* name, WORD flags, const std::vector<Argument>& arguments,
            Outcome* outcome) {
    const DISPID id = dispatchId(object, name);
    std::vector<VARIANT> values(arguments.size());
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        VARIANT& value = values[arguments.size() - 1 - i];  // rgvarg holds the last argument first
        ::VariantInit(&value);
        if (arguments[i].isText) {
            value.vt = VT_BSTR;
            value.bstrVal =
                ::SysAllocStringLen(arguments[i].text.data(), static_cast<UINT>(arguments[i].text.size()));
        } else {
            value.vt = VT_I4;
            value.lVal = arguments[i].number;
        }
    }
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS parameters{values.data(), nullptr, static_cast<UINT>(values.size()), 0};
    if (flags == DISPATCH_PROPERTYPUT) {
        parameters.rgdispidNamedArgs = &putId;
        parameters.cNamedArgs = 1;
    }
    EXCEPINFO exception{};
    UINT argumentError = 0;
    outcome->status = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters,
                                     flags == DISPATCH_PROPERTYPUT ? nullptr : &outcome->result, &exception,
                                     &argumentError);
    outcome->scode = exception.scode;
    ::SysFreeString(exception.bstrSource);
    ::SysFreeString(exception.bstrDescription);
    ::SysFreeString(exception.bstrHelpFile);
    for (VARIANT& value : values)
        ::VariantClear(&value);
}

// The member's own status as the report writer learns it: S_OK, or the failure carried by
// DISP_E_EXCEPTION.
HRESULT memberStatus(const Outcome& outcome) {
    return outcome.status == DISP_E_EXCEPTION ? outcome.scode : outcome.status;
}

// A Set method by name; the number of chunks, or -1 when it failed (*status says why).
LONG set(IDispatch* object, const wchar_t* method, const std::wstring& data, LONG version, LONG ecLevel,
         HRESULT* status = nullptr) {
    Outcome outcome;
    invoke(object, method, DISPATCH_METHOD, {text(data), number(version), number(ecLevel)}, &outcome);
    if (status != nullptr) *status = memberStatus(outcome);
    if (memberStatus(outcome) != S_OK) return -1;
    EXPECT_EQ(outcome.result.vt, VT_I4);
    return outcome.result.lVal;
}

std::wstring getChunk(IDispatch* object, LONG trunk) {
    Outcome outcome;
    invoke(object, L"QRCodeEncodeGet", DISPATCH_METHOD, {number(trunk)}, &outcome);
    EXPECT_EQ(memberStatus(outcome), S_OK);
    EXPECT_EQ(outcome.result.vt, VT_BSTR);
    if (outcome.result.vt != VT_BSTR) return L"";
    return std::wstring(outcome.result.bstrVal, ::SysStringLen(outcome.result.bstrVal));
}

// The chunks 0 to chunks - 1 joined, as the report formula joins them; the chunk after them is empty.
std::wstring readChunks(IDispatch* object, LONG chunks) {
    std::wstring whole;
    for (LONG k = 0; k < chunks; ++k) {
        const std::wstring piece = getChunk(object, k);
        EXPECT_LE(piece.size(), 250u);
        EXPECT_TRUE(k + 1 == chunks || piece.size() == 250u) << "chunk " << k << " of " << chunks;
        whole += piece;
    }
    EXPECT_EQ(getChunk(object, chunks), L"");
    return whole;
}

std::wstring errorText(IDispatch* object) {
    Outcome outcome;
    invoke(object, L"UFErrorText", DISPATCH_PROPERTYGET, {}, &outcome);
    EXPECT_EQ(outcome.status, S_OK);
    EXPECT_EQ(outcome.result.vt, VT_BSTR);
    if (outcome.result.vt != VT_BSTR) return L"?";
    return std::wstring(outcome.result.bstrVal, ::SysStringLen(outcome.result.bstrVal));
}

void putErrorText(IDispatch* object, const std::wstring& value) {
    Outcome outcome;
    invoke(object, L"UFErrorText", DISPATCH_PROPERTYPUT, {text(value)}, &outcome);
    EXPECT_EQ(outcome.status, S_OK);
}

std::vector<std::wstring> lines(const std::wstring& fontString) {
    std::vector<std::wstring> result;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = fontString.find(L"\r\n", from);
        result.push_back(fontString.substr(from, at - from));
        if (at == std::wstring::npos) return result;
        from = at + 2;
    }
}

// ---- Registration ------------------------------------------------------------------------------------

// The REG_SZ value of HKEY_CLASSES_ROOT\key (name null: the default value); *found false when the key or
// value is missing.
std::wstring readValue(const std::wstring& key, const wchar_t* name, bool* found) {
    *found = false;
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return L"";
    wchar_t data[600] = {};
    DWORD type = 0;
    DWORD bytes = sizeof(data) - sizeof(wchar_t);
    const LONG error =
        ::RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes);
    ::RegCloseKey(handle);
    if (error != ERROR_SUCCESS) return L"";
    *found = true;
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ)) << narrow(key);
    const std::wstring value(data);
    EXPECT_EQ(bytes, (value.size() + 1) * sizeof(wchar_t)) << narrow(key) << ": stored with its NUL";
    return value;
}

bool keyExists(const std::wstring& key) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    ::RegCloseKey(handle);
    return true;
}

bool typeLibraryRegistered() {
    ITypeLib* library = nullptr;
    if (FAILED(::LoadRegTypeLib(guidOf(kLibraryIdText), 5, 0, 1033, &library))) return false;
    library->Release();
    return true;
}

const std::wstring kClassKey = std::wstring(L"CLSID\\") + kClassIdText;

TEST(Registration, WritesItsKeysAndRemovesThem) {
    Server& server = mainServer();
    // Twice: the second call certainly finds nothing registered.
    EXPECT_EQ(server.unregisterServer(), S_OK);
    EXPECT_EQ(server.unregisterServer(), S_OK);
    EXPECT_FALSE(keyExists(kClassKey));
    EXPECT_FALSE(keyExists(kProgId));

    ASSERT_EQ(server.registerServer(), S_OK);
    const std::wstring path = besideProgram(L"qrkitufl.dll");
    const struct {
        std::wstring key;
        const wchar_t* name;
        std::wstring data;
    } values[] = {
        {kClassKey, nullptr, kDescription},
        {kClassKey + L"\\InprocServer32", nullptr, path},
        {kClassKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {kClassKey + L"\\TypeLib", nullptr, kLibraryIdText},
        {kProgId, nullptr, kDescription},
        {std::wstring(kProgId) + L"\\CLSID", nullptr, kClassIdText},
    };
    for (const auto& v : values) {
        SCOPED_TRACE(narrow(v.key) + " " + (v.name != nullptr ? narrow(v.name) : "(default)"));
        bool found = false;
        const std::wstring data = readValue(v.key, v.name, &found);
        EXPECT_TRUE(found);
        EXPECT_EQ(::CompareStringOrdinal(data.c_str(), -1, v.data.c_str(), -1, TRUE), CSTR_EQUAL)
            << narrow(data) << " is not " << narrow(v.data);
    }
    EXPECT_TRUE(typeLibraryRegistered());
    // Registering again over the keys succeeds too.
    EXPECT_EQ(server.registerServer(), S_OK);

    EXPECT_EQ(server.unregisterServer(), S_OK);
    EXPECT_FALSE(keyExists(kClassKey));
    EXPECT_FALSE(keyExists(kProgId));
    EXPECT_FALSE(typeLibraryRegistered());
    CLSID classId{};
    EXPECT_NE(::CLSIDFromProgID(kProgId, &classId), S_OK);
}

TEST(Registration, ExportsAtTheirOrdinals) {
    const HMODULE module = mainServer().module;
    const char* names[] = {"DllRegisterServer", "DllUnregisterServer", "DllCanUnloadNow",
                           "DllGetClassObject"};
    for (int ordinal = 1; ordinal <= 4; ++ordinal) {
        const FARPROC byOrdinal = ::GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
        EXPECT_NE(byOrdinal, nullptr) << ordinal;
        EXPECT_EQ(byOrdinal, ::GetProcAddress(module, names[ordinal - 1])) << names[ordinal - 1];
    }
}

// The type library embedded in the library's file.
TEST(TypeLibrary, EmbeddedWithItsLibraryClassAndInterface) {
    Ref<ITypeLib> library;
    ASSERT_EQ(::LoadTypeLib(besideProgram(L"qrkitufl.dll").c_str(), library.out()), S_OK);
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_TRUE(::IsEqualGUID(attributes->guid, guidOf(kLibraryIdText)));
    EXPECT_EQ(attributes->wMajorVerNum, 5);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    EXPECT_EQ(attributes->lcid, 1033u);
    EXPECT_EQ(attributes->syskind, SYS_WIN64);
    library->ReleaseTLibAttr(attributes);

    // Name and doc string of the library (index -1), the class and the interface.
    const struct {
        const char* what;
        std::wstring id;
        TYPEKIND kind;
        WORD flags;
        const wchar_t* name;
        const wchar_t* doc;
    } entries[] = {
        {"library", L"", TKIND_MAX, 0, L"QRCode4CR", kDescription},
        {"class", kClassIdText, TKIND_COCLASS, TYPEFLAG_FCANCREATE, L"Tessolink4CR",
         L"Vostrel Tessolink Class"},
        {"interface", kInterfaceIdText, TKIND_DISPATCH, TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE,
         L"ITessolink4CR", L"ITessolink4CR Interface for Crystal Reports"},
    };
    for (const auto& e : entries) {
        SCOPED_TRACE(e.what);
        Bstr name;
        Bstr doc;
        if (e.id.empty()) {
            ASSERT_EQ(library->GetDocumentation(-1, name.out(), doc.out(), nullptr, nullptr), S_OK);
        } else {
            Ref<ITypeInfo> info;
            ASSERT_EQ(library->GetTypeInfoOfGuid(guidOf(e.id.c_str()), info.out()), S_OK);
            TYPEATTR* type = nullptr;
            ASSERT_EQ(info->GetTypeAttr(&type), S_OK);
            EXPECT_EQ(type->typekind, e.kind);
            EXPECT_EQ(type->wTypeFlags & e.flags, e.flags);
            info->ReleaseTypeAttr(type);
            if (e.kind == TKIND_DISPATCH) {
                // The vtable half of the dual interface is the OLE-automation one.
                HREFTYPE reference = 0;
                ASSERT_EQ(info->GetRefTypeOfImplType(-1, &reference), S_OK);
                Ref<ITypeInfo> vtable;
                ASSERT_EQ(info->GetRefTypeInfo(reference, vtable.out()), S_OK);
                ASSERT_EQ(vtable->GetTypeAttr(&type), S_OK);
                EXPECT_EQ(type->typekind, TKIND_INTERFACE);
                EXPECT_EQ(type->wTypeFlags & TYPEFLAG_FOLEAUTOMATION, TYPEFLAG_FOLEAUTOMATION);
                vtable->ReleaseTypeAttr(type);
            }
            ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, name.out(), doc.out(), nullptr, nullptr), S_OK);
        }
        EXPECT_EQ(name.text(), e.name);
        EXPECT_EQ(doc.text(), e.doc);
    }
}

// ---- The formula object through the COM run time -------------------------------------------------------

// Registers the server for the tests of the suite and creates objects by ProgID.
class FormulaObject : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ASSERT_EQ(mainServer().registerServer(), S_OK); }
    static void TearDownTestSuite() { EXPECT_EQ(mainServer().unregisterServer(), S_OK); }

    // A new object's IDispatch, made as a report writer makes it.
    static void create(Ref<IDispatch>* object) {
        CLSID classId{};
        ASSERT_EQ(::CLSIDFromProgID(kProgId, &classId), S_OK);
        ASSERT_TRUE(::IsEqualCLSID(classId, guidOf(kClassIdText)));
        ASSERT_EQ(
            ::CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object->outVoid()),
            S_OK);
    }
};

TEST_F(FormulaObject, MembersHaveTheirDispatchIds) {
    Ref<IDispatch> object;
    create(&object);
    const struct {
        const wchar_t* name;
        DISPID id;
    } members[] = {
        {L"UFErrorText", 4},          {L"UFPrefixFunctions", 5}, {L"QRCodeEncodeSet", 6},
        {L"HIBC_QRCodeEncodeSet", 7}, {L"QRCodeEncodeGet", 8},   {L"MicroQRCodeEncodeSet", 9},
        {L"QRCodeGetParity", 20},
    };
    for (const auto& m : members)
        EXPECT_EQ(dispatchId(object.get(), m.name), m.id) << narrow(m.name);

    UINT count = 0;
    EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    Ref<ITypeInfo> info;
    ASSERT_EQ(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.out()), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_TRUE(::IsEqualGUID(attributes->guid, guidOf(kInterfaceIdText)));
    EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FDUAL);
    info->ReleaseTypeAttr(attributes);
    Ref<ITypeInfo> second;
    EXPECT_EQ(object->GetTypeInfo(1, LOCALE_USER_DEFAULT, second.out()), E_POINTER);

    // Dispatch with an interface id other than IID_NULL.
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"QRCodeEncodeSet")};
    DISPID id = 0;
    EXPECT_EQ(object->GetIDsOfNames(IID_IUnknown, names, 1, LOCALE_USER_DEFAULT, &id),
              DISP_E_UNKNOWNINTERFACE);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT result;
    ::VariantInit(&result);
    EXPECT_EQ(object->Invoke(5, IID_IUnknown, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result,
                             nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"NoSuchMember")};
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, unknown, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
}

TEST_F(FormulaObject, SetMethodsHandOutFontStringsInChunks) {
    Ref<IDispatch> object;
    create(&object);
    const struct {
        const char* name;
        const wchar_t* method;
        std::wstring data;
        LONG version;
        LONG chunks;
        std::size_t length;
        std::size_t lineLength;
    } cases[] = {
        {"12345: version 1, 136 characters in one chunk", L"QRCodeEncodeSet", L"12345", 0, 1, 136, 21},
        {"version 3: 246 characters, one chunk", L"QRCodeEncodeSet", L"A", 3, 1, 246, 29},
        {"version 4: 313 characters, a full chunk and 63", L"QRCodeEncodeSet", L"A", 4, 2, 313, 33},
        {"version 40: 8053 characters in 33 chunks", L"QRCodeEncodeSet", L"1", 40, 33, 8053, 177},
        {"HIBC of lower-case data", L"HIBC_QRCodeEncodeSet", L"a1b2", 0, 1, 136, 21},
        {"Micro QR Code version 3: an M3 symbol, lines of 15", L"MicroQRCodeEncodeSet", L"12345", 3, 1, 66,
         15},
        {"Micro QR Code chosen automatically: five digits fit M1", L"MicroQRCodeEncodeSet", L"12345", 0, 1,
         37, 11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HRESULT status = E_UNEXPECTED;
        const LONG chunks = set(object.get(), c.method, c.data, c.version, 0, &status);
        ASSERT_EQ(status, S_OK);
        EXPECT_EQ(chunks, c.chunks);
        const std::wstring whole = readChunks(object.get(), chunks);
        EXPECT_EQ(whole.size(), c.length);
        for (const std::wstring& line : lines(whole)) {
            EXPECT_EQ(line.size(), c.lineLength);
            EXPECT_EQ(line.find_first_not_of(L"0123456789ABCDEF"), std::wstring::npos) << narrow(line);
        }
    }

    // HIBC data is upper-cased and given its check character before it is encoded as QR Code.
    const std::wstring hibc =
        readChunks(object.get(), set(object.get(), L"HIBC_QRCodeEncodeSet", L"a1b2", 0, 1));
    EXPECT_EQ(readChunks(object.get(), set(object.get(), L"QRCodeEncodeSet", L"+A1B2M", 0, 1)), hibc);
}

TEST_F(FormulaObject, ZeroUnitEncodesLikeItsEscape) {
    Ref<IDispatch> object;
    create(&object);
    const std::wstring withZero(L"AB\0CD", 5);
    const LONG chunks = set(object.get(), L"QRCodeEncodeSet", withZero, 0, 0);
    ASSERT_EQ(chunks, 1);
    const std::wstring fromZero = readChunks(object.get(), chunks);
    EXPECT_EQ(readChunks(object.get(), set(object.get(), L"QRCodeEncodeSet", L"AB~d000CD", 0, 0)), fromZero);
    EXPECT_NE(readChunks(object.get(), set(object.get(), L"QRCodeEncodeSet", L"ABCD", 0, 0)), fromZero);
}

TEST_F(FormulaObject, FailureSetsTheErrorTextAndKeepsTheLastResult) {
    Ref<IDispatch> object;
    create(&object);
    putErrorText(object.get(), L"");
    const LONG chunks = set(object.get(), L"QRCodeEncodeSet", L"12345", 0, 0);
    const std::wstring kept = readChunks(object.get(), chunks);

    const struct {
        const char* name;
        const wchar_t* method;
        std::wstring data;
        LONG version;
        const wchar_t* message;
    } cases[] = {
        {"data that fits no version", L"QRCodeEncodeSet", std::wstring(7091, L'1'), 0, L"Input is too long"},
        {"a Kanji block holding no Kanji", L"QRCodeEncodeSet", L"~4[AB]", 0, L"Invalid Kanji block"},
        {"HIBC data outside its set", L"HIBC_QRCodeEncodeSet", L"AB*", 0, L"Input is too long"},
        {"Micro QR data beyond M4", L"MicroQRCodeEncodeSet", std::wstring(40, L'A'), 0, L"Input is too long"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HRESULT status = S_OK;
        EXPECT_EQ(set(object.get(), c.method, c.data, c.version, 0, &status), -1);
        EXPECT_EQ(status, E_FAIL);
        EXPECT_EQ(errorText(object.get()), c.message);
        EXPECT_EQ(readChunks(object.get(), chunks), kept);
    }

    // A success leaves the error text until the host clears it.
    ASSERT_EQ(set(object.get(), L"QRCodeEncodeSet", L"67890", 0, 0), 1);
    EXPECT_EQ(errorText(object.get()), L"Input is too long");
    putErrorText(object.get(), L"");
    EXPECT_EQ(errorText(object.get()), L"");

    // The texts belong to the thread: a second object on this thread sees them.
    Ref<IDispatch> other;
    create(&other);
    putErrorText(other.get(), L"written through the other object");
    EXPECT_EQ(errorText(object.get()), L"written through the other object");
    EXPECT_EQ(getChunk(other.get(), 0).size(), 136u);
}

TEST_F(FormulaObject, ParityAndPrefixFunctions) {
    Ref<IDispatch> object;
    create(&object);
    const struct {
        std::wstring data;
        LONG parity;
    } cases[] = {{L"AB", 3}, {L"", 0}, {std::wstring(L"A\0B", 3), 3}, {L"~d065", 0x41}};
    for (const auto& c : cases) {
        Outcome outcome;
        invoke(object.get(), L"QRCodeGetParity", DISPATCH_METHOD, {text(c.data)}, &outcome);
        EXPECT_EQ(outcome.status, S_OK) << narrow(c.data);
        EXPECT_EQ(outcome.result.vt, VT_I4);
        EXPECT_EQ(outcome.result.lVal, c.parity) << narrow(c.data);
    }
    Outcome prefix;
    invoke(object.get(), L"UFPrefixFunctions", DISPATCH_PROPERTYGET, {}, &prefix);
    EXPECT_EQ(prefix.status, S_OK);
    EXPECT_EQ(prefix.result.vt, VT_BOOL);
    EXPECT_EQ(prefix.result.boolVal, VARIANT_FALSE);
}

// The members called directly through the vtable, where S_FALSE and the pointer checks show.
TEST_F(FormulaObject, DirectCallsReportPastTheEndAndNullPointers) {
    Ref<IDispatch> object;
    create(&object);
    Ref<ITessolink4CR> direct;
    ASSERT_EQ(object->QueryInterface(guidOf(kInterfaceIdText), direct.outVoid()), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(direct.get()), static_cast<IUnknown*>(object.get()));

    LONG chunks = 0;
    ASSERT_EQ(direct->QRCodeEncodeSet(Bstr(L"12345").get(), 0, 0, &chunks), S_OK);
    ASSERT_EQ(chunks, 1);
    Bstr first;
    EXPECT_EQ(direct->QRCodeEncodeGet(0, first.out()), S_OK);
    EXPECT_EQ(first.text().size(), 136u);
    // Past the end, negative, or so large that chunk x 250 overflows 32 bits: an empty string with S_FALSE,
    // after the string the argument held is freed.
    const LONG outside[] = {1, 2, -1, INT_MIN, INT_MAX / 250 + 1, INT_MAX};
    for (LONG trunk : outside) {
        Bstr chunk(L"held before the call");
        EXPECT_EQ(direct->QRCodeEncodeGet(trunk, chunk.out()), S_FALSE) << trunk;
        ASSERT_NE(chunk.get(), nullptr);
        EXPECT_EQ(::SysStringLen(chunk.get()), 0u);
    }

    EXPECT_EQ(direct->QRCodeEncodeGet(0, nullptr), E_POINTER);
    EXPECT_EQ(direct->get_UFErrorText(nullptr), E_POINTER);
    EXPECT_EQ(direct->get_UFPrefixFunctions(nullptr), E_POINTER);
    EXPECT_EQ(direct->put_UFErrorText(nullptr), S_OK);
    EXPECT_EQ(direct->QRCodeEncodeSet(Bstr(std::wstring(7091, L'1')).get(), 0, 0, &chunks), E_FAIL);
    EXPECT_EQ(chunks, 1);
    LONG parity = -1;
    EXPECT_EQ(direct->QRCodeGetParity(nullptr, &parity), S_OK);
    EXPECT_EQ(parity, 0);

    Ref<IUnknown> unknown;
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, unknown.outVoid()), S_OK);
    EXPECT_EQ(unknown.get(), static_cast<IUnknown*>(object.get()));
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(object->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(FormulaObject, EachThreadHasItsOwnResultAndErrorText) {
    Ref<IDispatch> object;
    create(&object);
    struct Seen {
        std::wstring before;
        std::wstring errorBefore;
        std::wstring text;
        std::wstring error;
    };
    // Both threads share one object; each starts with empty texts, then makes its own result and failure.
    auto work = [&object](const wchar_t* data, LONG version, const wchar_t* failing, Seen* seen) {
        seen->before = getChunk(object.get(), 0);
        seen->errorBefore = errorText(object.get());
        for (int round = 0; round < 10; ++round) {
            const LONG chunks = set(object.get(), L"QRCodeEncodeSet", data, version, 0);
            HRESULT status = S_OK;
            set(object.get(), L"QRCodeEncodeSet", failing, 0, 0, &status);
            EXPECT_EQ(status, E_FAIL);
            seen->text = readChunks(object.get(), chunks);
            seen->error = errorText(object.get());
        }
    };
    putErrorText(object.get(), L"the main thread's");
    Seen one, two;
    std::thread a(work, L"12345", 1, L"~4[AB]", &one);
    const std::wstring tooLong(7091, L'1');
    std::thread b(work, L"HELLO", 4, tooLong.c_str(), &two);
    a.join();
    b.join();
    for (const Seen* seen : {&one, &two}) {
        EXPECT_EQ(seen->before, L"");
        EXPECT_EQ(seen->errorBefore, L"");
    }
    EXPECT_EQ(one.text.size(), 136u);
    EXPECT_EQ(one.error, L"Invalid Kanji block");
    EXPECT_EQ(two.text.size(), 313u);
    EXPECT_EQ(two.error, L"Input is too long");
    EXPECT_EQ(errorText(object.get()), L"the main thread's");
}

// ---- Class factory and unload counts ---------------------------------------------------------------------

TEST(ClassFactory, GetClassObjectAnswersOnlyItsClassAndFactoryInterfaces) {
    Server& server = mainServer();
    const GUID classId = guidOf(kClassIdText);
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(server.getClassObject(guidOf(kInterfaceIdText), IID_IClassFactory, &out), kClassNotAvailable);
    EXPECT_EQ(server.getClassObject(IID_IUnknown, IID_IClassFactory, &out), kClassNotAvailable);
    EXPECT_EQ(server.getClassObject(classId, IID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(server.getClassObject(classId, IID_IClassFactory, nullptr), E_POINTER);

    Ref<IUnknown> unknown;
    EXPECT_EQ(server.getClassObject(classId, IID_IUnknown, unknown.outVoid()), S_OK);
    Ref<IClassFactory> factory;
    ASSERT_EQ(server.getClassObject(classId, IID_IClassFactory, factory.outVoid()), S_OK);

    // Aggregation is refused and leaves out null; so is an interface the object does not answer.
    IUnknown* outer = unknown.get();
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, &object), kNoAggregation);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, nullptr), E_POINTER);
    Ref<IDispatch> made;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, made.outVoid()), S_OK);

    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->QueryInterface(IID_IDispatch, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
}

TEST(ClassFactory, CanUnloadOnlyWithoutObjectsAndLocks) {
    Server& server = mainServer();
    const GUID classId = guidOf(kClassIdText);
    EXPECT_EQ(server.canUnloadNow(), S_OK) << "no object of an earlier test may be left";

    Ref<IClassFactory> factory;
    ASSERT_EQ(server.getClassObject(classId, IID_IClassFactory, factory.outVoid()), S_OK);
    EXPECT_EQ(server.canUnloadNow(), S_FALSE) << "a factory";
    Ref<IDispatch> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.outVoid()), S_OK);
    factory.reset();
    EXPECT_EQ(server.canUnloadNow(), S_FALSE) << "an object";
    // A failed creation leaves no object behind.
    ASSERT_EQ(server.getClassObject(classId, IID_IClassFactory, factory.outVoid()), S_OK);
    void* refused = nullptr;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &refused), E_NOINTERFACE);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.reset();
    object.reset();
    EXPECT_EQ(server.canUnloadNow(), S_FALSE) << "a server lock";
    ASSERT_EQ(server.getClassObject(classId, IID_IClassFactory, factory.outVoid()), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(server.canUnloadNow(), S_FALSE) << "the factory again";
    factory.reset();
    EXPECT_EQ(server.canUnloadNow(), S_OK);
}

// A thread that was already running when a copy of the library was loaded gets its record when it first
// calls.
TEST(ThreadRecords, ThreadRunningBeforeTheLibraryLoadsGetsItsRecordOnFirstUse) {
    const std::wstring copy = besideProgram(L"qrkitufl_late.dll");
    ASSERT_TRUE(::CopyFileW(besideProgram(L"qrkitufl.dll").c_str(), copy.c_str(), FALSE));
    HANDLE go = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(go, nullptr);
    IClassFactory* factory = nullptr;
    HRESULT setStatus = E_UNEXPECTED;
    HRESULT getStatus = E_UNEXPECTED;
    std::wstring chunk;
    std::thread early([&] {
        ::WaitForSingleObject(go, INFINITE);
        Ref<ITessolink4CR> object;
        if (factory == nullptr ||
            FAILED(factory->CreateInstance(nullptr, guidOf(kInterfaceIdText), object.outVoid())))
            return;
        LONG chunks = 0;
        setStatus = object->QRCodeEncodeSet(Bstr(L"12345").get(), 0, 0, &chunks);
        Bstr text;
        getStatus = object->QRCodeEncodeGet(0, text.out());
        chunk = text.text();
    });
    Server late = Server::load(copy);
    ASSERT_NE(late.module, nullptr);
    EXPECT_EQ(
        late.getClassObject(guidOf(kClassIdText), IID_IClassFactory, reinterpret_cast<void**>(&factory)),
        S_OK);
    ::SetEvent(go);
    early.join();
    ::CloseHandle(go);
    EXPECT_EQ(setStatus, S_OK);
    EXPECT_EQ(getStatus, S_OK);
    EXPECT_EQ(chunk.size(), 136u);
    if (factory != nullptr) factory->Release();
    EXPECT_EQ(late.canUnloadNow(), S_OK);
    ::FreeLibrary(late.module);
    ::DeleteFileW(copy.c_str());
}

}  // namespace
