#pragma once
// An ordered list of neighbours, stored compactly: 32-bit vertex indices, up to four of them inline
// in the record itself, more in a heap block that grows geometrically. Most vertices of sparse
// graph states (chains, lattices) have four neighbours or fewer and never touch the heap.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

namespace nodeweave {

using vertex_t = std::uint32_t;

class AdjacencyList {
public:
    static constexpr std::uint32_t INLINE_CAPACITY = 4;

    AdjacencyList() noexcept : size_(0), capacity_(INLINE_CAPACITY) {}
    AdjacencyList(const AdjacencyList& other) : AdjacencyList() { assign(other.begin(), other.end()); }
    AdjacencyList(AdjacencyList&& other) noexcept : AdjacencyList() { swap(other); }
    AdjacencyList& operator=(const AdjacencyList& other) {
        if (this != &other) assign(other.begin(), other.end());
        return *this;
    }
    AdjacencyList& operator=(AdjacencyList&& other) noexcept {
        swap(other);
        return *this;
    }
    ~AdjacencyList() {
        if (on_heap()) ::operator delete(storage_.heap);
    }

    std::uint32_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    std::uint32_t capacity() const noexcept { return capacity_; }

    const vertex_t* begin() const noexcept { return data(); }
    const vertex_t* end() const noexcept { return data() + size_; }
    vertex_t* begin() noexcept { return data(); }
    vertex_t* end() noexcept { return data() + size_; }
    vertex_t operator[](std::size_t i) const noexcept { return data()[i]; }
    vertex_t& operator[](std::size_t i) noexcept { return data()[i]; }
    vertex_t front() const noexcept { return data()[0]; }

    // Makes room for `wanted` entries; the only operation that allocates. Contents are unchanged,
    // also when it throws std::bad_alloc.
    void reserve(std::size_t wanted) {
        if (wanted <= capacity_) return;
        std::size_t grown = std::max<std::size_t>(wanted, 2 * static_cast<std::size_t>(capacity_));
        if (grown > UINT32_MAX) grown = UINT32_MAX;
        if (wanted > grown) throw std::bad_alloc();
        auto* block = static_cast<vertex_t*>(::operator new(grown * sizeof(vertex_t)));
        std::memcpy(block, data(), size_ * sizeof(vertex_t));
        if (on_heap()) ::operator delete(storage_.heap);
        storage_.heap = block;
        capacity_ = static_cast<std::uint32_t>(grown);
    }

    void push_back(vertex_t v) {
        if (size_ == capacity_) reserve(static_cast<std::size_t>(size_) + 1);
        data()[size_++] = v;
    }
    // Appends without a capacity check; the caller has reserved.
    void push_back_reserved(vertex_t v) noexcept { data()[size_++] = v; }

    template <class It>
    void assign(It first, It last) {
        const std::size_t count = static_cast<std::size_t>(last - first);
        reserve(count);
        std::copy(first, last, data());
        size_ = static_cast<std::uint32_t>(count);
    }

    void clear() noexcept { size_ = 0; }

    // Gives back memory after a list has shrunk a lot: back inline when the entries fit there,
    // otherwise into a smaller block when the list uses under a quarter of a large one. A failed
    // allocation just keeps the block.
    void compact() noexcept {
        if (!on_heap()) return;
        if (size_ <= INLINE_CAPACITY) {
            vertex_t* block = storage_.heap;
            std::memcpy(storage_.inline_entries, block, size_ * sizeof(vertex_t));
            ::operator delete(block);
            capacity_ = INLINE_CAPACITY;
        } else if (capacity_ >= 64 && size_ < capacity_ / 4) {
            auto* block = static_cast<vertex_t*>(
                ::operator new(2 * static_cast<std::size_t>(size_) * sizeof(vertex_t), std::nothrow));
            if (block == nullptr) return;
            std::memcpy(block, storage_.heap, size_ * sizeof(vertex_t));
            ::operator delete(storage_.heap);
            storage_.heap = block;
            capacity_ = 2 * size_;
        }
    }

    // Keeps the first `count` entries.
    void truncate(std::uint32_t count) noexcept { size_ = std::min(size_, count); }

    void swap(AdjacencyList& other) noexcept {
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
        std::swap(storage_, other.storage_);
    }

private:
    bool on_heap() const noexcept { return capacity_ > INLINE_CAPACITY; }
    vertex_t* data() noexcept { return on_heap() ? storage_.heap : storage_.inline_entries; }
    const vertex_t* data() const noexcept {
        return on_heap() ? storage_.heap : storage_.inline_entries;
    }

    std::uint32_t size_;
    std::uint32_t capacity_;
    union Storage {
        vertex_t inline_entries[INLINE_CAPACITY];
        vertex_t* heap;
    } storage_;
};

}  // namespace nodeweave
