#pragma once
// A vertex's list of neighbours: slots in no particular order, with a small-vector layout. Up to
// four entries live inline; longer lists live in a heap block that grows geometrically and, once
// long (hundreds of entries: shorter ones are scanned SCAN_WIDTH entries at a time faster than an
// index is kept up to date), may carry a position index (`HubIndex`) so that a look-up or removal
// costs O(1) instead of a scan. The list knows nothing of graphs: when to index and when to shrink are
// the caller's choices, passed in.

#include <cassert>
#include <cstddef>
#include <cstdint>

#include "engine/graph/hub_index.h"
#include "engine/core/index.h"

namespace nodeweave {

// Entries a vectorised scan compares at a time; shorter lists are scanned by a plain loop.
inline constexpr std::uint32_t SCAN_WIDTH = 16;

// The position of v among entries[0 .. count), or NO_POSITION.
std::uint32_t scan_entries(const Slot* entries, std::uint32_t count, Slot v) noexcept;

class NeighbourList {
public:
    static constexpr std::uint32_t INLINE_CAPACITY = 4;

    NeighbourList() noexcept = default;
    NeighbourList(const NeighbourList& other);  // copies the entries, not the index
    NeighbourList(NeighbourList&& other) noexcept { swap(other); }
    NeighbourList& operator=(const NeighbourList& other) {
        NeighbourList copy(other);
        swap(copy);
        return *this;
    }
    NeighbourList& operator=(NeighbourList&& other) noexcept {
        swap(other);
        return *this;
    }
    ~NeighbourList() { release_heap(); }
    void swap(NeighbourList& other) noexcept;

    std::uint32_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    const Slot* begin() const noexcept { return data(); }
    const Slot* end() const noexcept { return data() + size_; }
    Slot operator[](std::uint32_t i) const noexcept { return data()[i]; }
    bool on_heap() const noexcept { return on_heap_; }
    const HubIndex* index() const noexcept { return on_heap_ ? storage_.heap->index : nullptr; }
    std::uint32_t capacity() const noexcept {
        return on_heap_ ? storage_.heap->capacity : INLINE_CAPACITY;
    }

    // Makes room for `wanted` entries. Throws std::bad_alloc with the list unchanged.
    void reserve(std::size_t wanted) {
        if (wanted > capacity()) grow(wanted);
    }
    // Appends v; room has been reserved.
    void append(Slot v) noexcept {
        assert(size_ < capacity());
        data()[size_] = v;
        if (HubIndex* index = mutable_index()) storage_.heap->index = HubIndex::insert(index, data(), size_);
        ++size_;
    }
    // The position of v, or NO_POSITION. A list of at least `index_from` entries builds its index on
    // the way (when memory for it can be had).
    std::uint32_t find(Slot v, std::uint32_t index_from) noexcept {
        if (on_heap_) {
            HubIndex*& index = storage_.heap->index;
            if (index == nullptr && size_ >= index_from) index = HubIndex::build(data(), size_);
            if (index != nullptr) return index->find(data(), v);
        }
        return scan(v);
    }
    // Whether v is listed, without building an index.
    bool contains(Slot v) const noexcept {
        if (const HubIndex* index = this->index()) return index->find(data(), v) != NO_POSITION;
        return scan(v) != NO_POSITION;
    }
    // Removes the entry at `position`; the last entry takes its place.
    void erase_at(std::uint32_t position) noexcept {
        Slot* entries = data();
        const std::uint32_t last = --size_;
        // The index reads its keys from the entries: it forgets the erased one before it is overwritten.
        if (HubIndex* index = mutable_index()) {
            index->erase(entries, position);
            if (position != last) index->move(entries[last], last, position);
        }
        entries[position] = entries[last];
    }
    bool erase(Slot v, std::uint32_t index_from) noexcept {
        const std::uint32_t position = find(v, index_from);
        if (position == NO_POSITION) return false;
        erase_at(position);
        return true;
    }
    void clear() noexcept {
        size_ = 0;
        drop_index();
    }
    // Keeps the entries v for which keep(v) holds, in one pass; the index is dropped (a list that
    // is rewritten in bulk is rebuilt faster than it is updated).
    template <class Keep>
    void retain(Keep&& keep) noexcept {
        drop_index();
        Slot* entries = data();
        std::uint32_t kept = 0;
        for (std::uint32_t i = 0; i < size_; ++i) {
            if (keep(entries[i])) entries[kept++] = entries[i];
        }
        size_ = kept;
    }
    // Gives memory back after the list has shrunk a lot: inline again once it is down to half the
    // inline room (a list that hovers about the inline size does not allocate and free by turns),
    // otherwise a smaller block when under a quarter of a large one is used; the index is kept only
    // while the list has at least `index_from` entries. Never fails: when the smaller block cannot
    // be had, the list keeps the one it has.
    void compact(std::uint32_t index_from) noexcept {
        if (on_heap_ && (size_ <= INLINE_CAPACITY / 2 || worth_shrinking(*storage_.heap))) shrink(index_from);
    }

private:
    struct HeapList {
        std::uint32_t capacity;
        std::uint32_t padding;
        HubIndex* index;
        Slot* entries() noexcept { return reinterpret_cast<Slot*>(this + 1); }
    };

    Slot* data() noexcept { return on_heap_ ? storage_.heap->entries() : storage_.inline_entries; }
    const Slot* data() const noexcept {
        return on_heap_ ? storage_.heap->entries() : storage_.inline_entries;
    }
    HubIndex* mutable_index() noexcept { return on_heap_ ? storage_.heap->index : nullptr; }
    std::uint32_t scan(Slot v) const noexcept {
        const Slot* entries = data();
        if (size_ >= SCAN_WIDTH) return scan_entries(entries, size_, v);
        for (std::uint32_t i = 0; i < size_; ++i) {
            if (entries[i] == v) return i;
        }
        return NO_POSITION;
    }
    // Whether a heap block is large and under a quarter used.
    bool worth_shrinking(const HeapList& heap) const noexcept {
        return heap.capacity >= 64 && size_ < heap.capacity / 4;
    }
    void shrink(std::uint32_t index_from) noexcept;
    void grow(std::size_t wanted);
    void drop_index() noexcept;
    void release_heap() noexcept;
    static HeapList* allocate_heap(std::size_t capacity, bool may_fail);

    union Storage {
        Slot inline_entries[INLINE_CAPACITY];
        HeapList* heap;
    } storage_{};
    std::uint32_t size_ = 0;
    bool on_heap_ = false;
};
static_assert(sizeof(NeighbourList) == 24);

}  // namespace nodeweave
