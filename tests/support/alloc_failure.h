// Memory exhaustion on demand: the test binary's global operator new can be told to fail the n-th
// allocation from now on. It also counts live allocations, so a test can see that a failed call freed
// everything it had allocated. Only one thread should arm it at a time.
#ifndef QRKIT_TESTS_SUPPORT_ALLOC_FAILURE_H
#define QRKIT_TESTS_SUPPORT_ALLOC_FAILURE_H

#include <cstdint>

namespace qrkit_test {

// Allocations made with operator new and not yet deleted, over the whole process.
std::int64_t liveAllocations();
// Allocations made with operator new since the process started, and the bytes they asked for.
std::int64_t allocationsMade();
std::int64_t bytesAllocated();

// The allocation after n more successful ones throws std::bad_alloc (once). Disarmed by disarm or by
// the failure itself.
void failAllocationAfter(std::int64_t n);
void disarmAllocationFailure();
// True once the armed failure has been thrown (reset by failAllocationAfter).
bool allocationFailureHappened();

}  // namespace qrkit_test

#endif
