// The switches of the failing operator new of qrkit_memtest.dll, exported for the Windows tests.
#include <cstdint>

#include "support/alloc_failure.h"

extern "C" {

void QrkitTestFailAllocationAfter(std::int64_t n) {
    qrkit_test::failAllocationAfter(n);
}

void QrkitTestDisarmAllocationFailure() {
    qrkit_test::disarmAllocationFailure();
}

int QrkitTestAllocationFailureHappened() {
    return qrkit_test::allocationFailureHappened() ? 1 : 0;
}

std::int64_t QrkitTestLiveAllocations() {
    return qrkit_test::liveAllocations();
}

}  // extern "C"
