#include "platform/automation.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace kelvane2::platform {

#if defined(_WIN32)

namespace {

DWORD slotIndex = TLS_OUT_OF_INDEXES;
// The function that frees a slot value. Every value of the slot is freed by the same function.
std::atomic<void (*)(void*)> slotRelease{nullptr};

}  // namespace

bool threadSlotOpen() {
    slotIndex = ::TlsAlloc();
    return slotIndex != TLS_OUT_OF_INDEXES;
}

void threadSlotClose() {
    if (slotIndex == TLS_OUT_OF_INDEXES) return;
    ::TlsFree(slotIndex);
    slotIndex = TLS_OUT_OF_INDEXES;
}

void* threadSlotGet() {
    if (slotIndex == TLS_OUT_OF_INDEXES) return nullptr;
    return ::TlsGetValue(slotIndex);
}

bool threadSlotSet(void* value, void (*release)(void*)) {
    if (slotIndex == TLS_OUT_OF_INDEXES || ::TlsGetValue(slotIndex) != nullptr) return false;
    slotRelease = release;
    return ::TlsSetValue(slotIndex, value) != 0;
}

void threadSlotReleaseCurrent() {
    void* value = threadSlotGet();
    if (value == nullptr) return;
    ::TlsSetValue(slotIndex, nullptr);
    if (auto release = slotRelease.load()) release(value);
}

CriticalSection::CriticalSection() {
    ::InitializeCriticalSectionAndSpinCount(&section_, 1024);
}
CriticalSection::~CriticalSection() {
    ::DeleteCriticalSection(&section_);
}
void CriticalSection::lock() {
    ::EnterCriticalSection(&section_);
}
void CriticalSection::unlock() {
    ::LeaveCriticalSection(&section_);
}

#else

namespace {

// The byte length of a BSTR lies in the 4 bytes before its first unit.
constexpr std::size_t kPrefix = sizeof(std::uint32_t);
// The longest BSTR whose byte length still fits the prefix.
constexpr UINT kMaxUnits = 0x7FFFFFFEu / sizeof(OLECHAR);

std::size_t unitCount(const OLECHAR* text) {
    std::size_t n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

// The calling thread's slot value; freed when the thread ends.
struct SlotHolder {
    void* value = nullptr;
    void (*release)(void*) = nullptr;
    ~SlotHolder() { threadSlotReleaseCurrent(); }
};
thread_local SlotHolder slot;

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (length > kMaxUnits) return nullptr;
    const std::size_t bytes = static_cast<std::size_t>(length) * sizeof(OLECHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR)));
    if (block == nullptr) return nullptr;
    const auto byteLength = static_cast<std::uint32_t>(bytes);
    std::memcpy(block, &byteLength, kPrefix);
    auto* units = reinterpret_cast<OLECHAR*>(block + kPrefix);
    if (text != nullptr)
        std::memcpy(units, text, bytes);
    else
        std::memset(units, 0, bytes);
    units[length] = 0;
    return units;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (text == nullptr) return nullptr;
    const std::size_t n = unitCount(text);
    if (n > kMaxUnits) return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(n));
}

void SysFreeString(BSTR text) {
    if (text != nullptr) std::free(reinterpret_cast<unsigned char*>(text) - kPrefix);
}

INT SysReAllocString(BSTR* target, const OLECHAR* text) {
    if (target == nullptr) return 0;
    BSTR copy = SysAllocString(text != nullptr ? text : u"");
    if (copy == nullptr) return 0;
    SysFreeString(*target);
    *target = copy;
    return 1;
}

UINT SysStringLen(BSTR text) {
    if (text == nullptr) return 0;
    std::uint32_t byteLength;
    std::memcpy(&byteLength, reinterpret_cast<unsigned char*>(text) - kPrefix, kPrefix);
    return byteLength / sizeof(OLECHAR);
}

bool threadSlotOpen() {
    return true;
}

void threadSlotClose() {}

void* threadSlotGet() {
    return slot.value;
}

bool threadSlotSet(void* value, void (*release)(void*)) {
    if (slot.value != nullptr) return false;
    slot.value = value;
    slot.release = release;
    return true;
}

void threadSlotReleaseCurrent() {
    void* value = slot.value;
    if (value == nullptr) return;
    slot.value = nullptr;
    if (slot.release != nullptr) slot.release(value);
}

CriticalSection::CriticalSection() = default;
CriticalSection::~CriticalSection() = default;
void CriticalSection::lock() {
    mutex_.lock();
}
void CriticalSection::unlock() {
    mutex_.unlock();
}

#endif

}  // namespace kelvane2::platform
