#include "support/alloc_failure.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::int64_t> gLive{0};
std::atomic<std::int64_t> gMade{0};
std::atomic<std::int64_t> gBytes{0};
std::atomic<std::int64_t> gCountdown{-1};
std::atomic<bool> gFailed{false};

void* allocate(std::size_t size) {
    if (gCountdown.load(std::memory_order_relaxed) >= 0 && gCountdown.fetch_sub(1) == 0) {
        gFailed = true;
        throw std::bad_alloc();
    }
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    gLive.fetch_add(1, std::memory_order_relaxed);
    gMade.fetch_add(1, std::memory_order_relaxed);
    gBytes.fetch_add(static_cast<std::int64_t>(size), std::memory_order_relaxed);
    return block;
}

void release(void* block) noexcept {
    if (block == nullptr) return;
    gLive.fetch_sub(1, std::memory_order_relaxed);
    std::free(block);
}

}  // namespace

namespace qrkit_test {

std::int64_t liveAllocations() {
    return gLive.load();
}

std::int64_t allocationsMade() {
    return gMade.load();
}

std::int64_t bytesAllocated() {
    return gBytes.load();
}

void failAllocationAfter(std::int64_t n) {
    gFailed = false;
    gCountdown = n;
}

void disarmAllocationFailure() {
    gCountdown = -1;
}

bool allocationFailureHappened() {
    return gFailed.load();
}

}  // namespace qrkit_test

// The replaceable allocation functions of the whole test binary (and of the libraries it loads).
void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* block) noexcept {
    release(block);
}
void operator delete[](void* block) noexcept {
    release(block);
}
void operator delete(void* block, std::size_t) noexcept {
    release(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    release(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    release(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    release(block);
}
