// The automation services the formula library relies on, named and typed like the Windows ones: BSTR
// strings, a per-thread slot for the thread records, a critical section and interlocked counters. On
// Windows this header stands for <windows.h> and <ole2.h> and the calls are the system's; elsewhere a
// small layer keeps the same contracts:
//
// - A BSTR points at the first of its UTF-16 units; the 32-bit byte length lies just before it and a 0
//   unit just after the last one, so a BSTR may itself hold 0 units. A null BSTR reads as empty.
//   Allocation failures give null (or FALSE), never an exception.
// - The thread slot holds one pointer per thread; what it holds is freed by the release function given
//   with it when the thread ends (natively at thread exit; on Windows the library's entry point calls
//   threadSlotReleaseCurrent at thread detach).
#ifndef QRKIT_PLATFORM_AUTOMATION_H
#define QRKIT_PLATFORM_AUTOMATION_H

#if defined(_WIN32)
#include <ole2.h>
#include <windows.h>
#else
#include <atomic>
#include <cstdint>
#include <mutex>
#endif

namespace kelvane2::platform {

#if defined(_WIN32)

using ::BSTR;
using ::HRESULT;
using ::INT;
using ::LONG;
using ::OLECHAR;
using ::UINT;
using ::VARIANT_BOOL;

using ::SysAllocString;
using ::SysAllocStringLen;
using ::SysFreeString;
using ::SysReAllocString;
using ::SysStringLen;

#else

using OLECHAR = char16_t;
using BSTR = OLECHAR*;
using HRESULT = std::int32_t;
using INT = int;
using LONG = std::int32_t;
using UINT = std::uint32_t;
using VARIANT_BOOL = std::int16_t;

// A new BSTR holding text up to its first 0 unit; null for a null text or when memory runs out.
BSTR SysAllocString(const OLECHAR* text);
// A new BSTR of length units copied from text (which may hold 0 units), or of length 0 units when text
// is null; null when memory runs out.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// Frees a BSTR; null is fine.
void SysFreeString(BSTR text);
// Replaces *target by a new copy of text (up to its first 0 unit) and frees the old string. FALSE, with
// *target unchanged, when memory runs out.
INT SysReAllocString(BSTR* target, const OLECHAR* text);
// The number of units of a BSTR; 0 for null.
UINT SysStringLen(BSTR text);

#endif

// COM status codes, under names of our own (the Windows names are macros).
constexpr HRESULT kHrOk = 0;
constexpr HRESULT kHrFalse = 1;
constexpr HRESULT kHrFail = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT kHrPointer = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT kHrNoInterface = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT kHrOutOfMemory = static_cast<HRESULT>(0x8007000Eu);

// Opens the process's thread slot (Windows: a TLS index). False when no slot is available. Natively the
// slot always exists and this only returns true.
bool threadSlotOpen();
// Closes the slot opened by threadSlotOpen. Values still held by running threads are not freed.
void threadSlotClose();
// The calling thread's value, or null.
void* threadSlotGet();
// Stores value (with the function that frees it) for the calling thread, replacing an empty slot. False
// when the slot cannot take it; the value is then still the caller's.
bool threadSlotSet(void* value, void (*release)(void*));
// Frees the calling thread's value with its release function and empties the slot.
void threadSlotReleaseCurrent();

// A lock held by one thread at a time (Windows: a critical section with a spin count of 1024).
class CriticalSection {
  public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void lock();
    void unlock();

  private:
#if defined(_WIN32)
    CRITICAL_SECTION section_;
#else
    std::mutex mutex_;
#endif
};

// Holds a critical section for its own lifetime.
class SectionLock {
  public:
    explicit SectionLock(CriticalSection& section) : section_(section) { section_.lock(); }
    ~SectionLock() { section_.unlock(); }
    SectionLock(const SectionLock&) = delete;
    SectionLock& operator=(const SectionLock&) = delete;

  private:
    CriticalSection& section_;
};

// A 32-bit counter changed with interlocked operations; each change returns the new value.
class InterlockedCount {
  public:
    explicit InterlockedCount(LONG start = 0) : value_(start) {}
    InterlockedCount(const InterlockedCount&) = delete;
    InterlockedCount& operator=(const InterlockedCount&) = delete;

#if defined(_WIN32)
    LONG increment() {
        return ::InterlockedIncrement(&value_);
    }
    LONG decrement() {
        return ::InterlockedDecrement(&value_);
    }
    LONG value() const {
        return ::InterlockedCompareExchange(const_cast<volatile LONG*>(&value_), 0, 0);
    }

  private:
    volatile LONG value_;
#else
    LONG increment() {
        return ++value_;
    }
    LONG decrement() {
        return --value_;
    }
    LONG value() const {
        return value_.load();
    }

  private:
    std::atomic<LONG> value_;
#endif
};

}  // namespace kelvane2::platform

#endif
