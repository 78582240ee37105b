// The working memory of one parsed input: segment lists, segment bytes and bit texts are carved from a
// buffer inside the input object, and from a few larger blocks when that is used up, all given back
// together when the input goes. An encode then makes no heap allocation per segment.
#ifndef QRKIT_ENCODER_ARENA_H
#define QRKIT_ENCODER_ARENA_H

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>

namespace kelvane2::qrencode {

class Arena {
  public:
    // Bytes inside the object, before the first block from the heap: what the segments of a symbol up
    // to about version 25 need.
    static constexpr std::size_t kInlineBytes = 16 * 1024;
    // The first block from the heap; every further block is twice the one before (or as large as the
    // request that needs it).
    static constexpr std::size_t kFirstBlockBytes = 64 * 1024;

    Arena() = default;
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    ~Arena();

    // bytes with the alignment given (a power of two, at most alignof(std::max_align_t)); throws
    // std::bad_alloc when the heap has no room.
    void* allocate(std::size_t bytes, std::size_t alignment);
    // Takes the memory back only when it is the last allocation (a string growing at the end); the
    // rest is freed with the arena.
    void deallocate(void* p, std::size_t bytes);

    // Blocks taken from the heap so far (for tests).
    int heapBlocks() const { return heapBlocks_; }

  private:
    struct Block {
        Block* next;
    };

    alignas(std::max_align_t) unsigned char inline_[kInlineBytes];
    unsigned char* cursor_ = inline_;
    unsigned char* end_ = inline_ + kInlineBytes;
    unsigned char* last_ = nullptr;  // start of the last allocation
    Block* blocks_ = nullptr;
    std::size_t nextBlock_ = kFirstBlockBytes;
    int heapBlocks_ = 0;
};

// A standard allocator over an arena, or over the heap (operator new) when it has none. Copies of a
// container go to the heap, so that nothing built from an input's containers outlives the input's
// memory; moving keeps the arena.
template <typename T>
class ArenaAllocator {
  public:
    using value_type = T;
    using propagate_on_container_copy_assignment = std::false_type;
    using propagate_on_container_move_assignment = std::false_type;
    using propagate_on_container_swap = std::false_type;
    using is_always_equal = std::false_type;

    ArenaAllocator() noexcept = default;
    explicit ArenaAllocator(Arena* arena) noexcept : arena_(arena) {}
    template <typename U>
    ArenaAllocator(const ArenaAllocator<U>& other) noexcept : arena_(other.arena()) {}

    T* allocate(std::size_t n) {
        if (arena_ == nullptr) return std::allocator<T>().allocate(n);
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        return static_cast<T*>(arena_->allocate(n * sizeof(T), alignof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept {
        if (arena_ == nullptr) {
            std::allocator<T>().deallocate(p, n);
        } else {
            arena_->deallocate(p, n * sizeof(T));
        }
    }
    ArenaAllocator select_on_container_copy_construction() const noexcept { return ArenaAllocator(); }

    Arena* arena() const noexcept { return arena_; }

  private:
    Arena* arena_ = nullptr;
};

template <typename T, typename U>
bool operator==(const ArenaAllocator<T>& a, const ArenaAllocator<U>& b) noexcept {
    return a.arena() == b.arena();
}
template <typename T, typename U>
bool operator!=(const ArenaAllocator<T>& a, const ArenaAllocator<U>& b) noexcept {
    return !(a == b);
}

}  // namespace kelvane2::qrencode

#endif
