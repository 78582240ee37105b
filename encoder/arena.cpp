// The working memory of one parsed input.
#include "encoder/arena.h"

#include <cassert>
#include <cstdint>

namespace kelvane2::qrencode {

namespace {

// The bytes to skip at p for the alignment (a power of two).
std::size_t padding(const unsigned char* p, std::size_t alignment) {
    return (alignment - reinterpret_cast<std::uintptr_t>(p) % alignment) % alignment;
}

// A block's header: the link to the block before it.
constexpr std::size_t kHeaderBytes = sizeof(void*);

}  // namespace

Arena::~Arena() {
    while (blocks_ != nullptr) {
        Block* next = blocks_->next;
        ::operator delete(static_cast<void*>(blocks_));
        blocks_ = next;
    }
}

void* Arena::allocate(std::size_t bytes, std::size_t alignment) {
    assert(alignment != 0 && (alignment & (alignment - 1)) == 0 && alignment <= alignof(std::max_align_t));
    if (bytes == 0) bytes = 1;
    std::size_t skip = padding(cursor_, alignment);
    const std::size_t room = static_cast<std::size_t>(end_ - cursor_);
    if (room < skip || room - skip < bytes) {
        if (bytes > static_cast<std::size_t>(-1) / 4) throw std::bad_alloc();
        const std::size_t needed = kHeaderBytes + alignment + bytes;
        std::size_t size = nextBlock_;
        while (size < needed)
            size *= 2;
        unsigned char* memory = static_cast<unsigned char*>(::operator new(size));
        Block* block = reinterpret_cast<Block*>(memory);
        block->next = blocks_;
        blocks_ = block;
        ++heapBlocks_;
        nextBlock_ = size * 2;
        cursor_ = memory + kHeaderBytes;
        end_ = memory + size;
        skip = padding(cursor_, alignment);
    }
    unsigned char* start = cursor_ + skip;
    cursor_ = start + bytes;
    last_ = start;
    return start;
}

void Arena::deallocate(void* p, std::size_t bytes) {
    unsigned char* start = static_cast<unsigned char*>(p);
    if (start != nullptr && start == last_ && start + (bytes == 0 ? 1 : bytes) == cursor_) {
        cursor_ = start;
        last_ = nullptr;
    }
}

}  // namespace kelvane2::qrencode
