#pragma once
// One vertex record of the graph, 32 bytes: the vertex operator (VOP), the vertex's place in a
// dense block when it has one, a scratch mark, and its list of neighbours outside that block.
//
// The list holds slot numbers in no particular order. Up to four entries live inline in the
// record; longer lists live in a heap block that grows geometrically and, once long, carries a
// position index so that a look-up or removal costs O(1) instead of a scan.

#include <cassert>
#include <cstdint>
#include <cstring>
#include <new>

#include "clifford/tables.h"
#include "engine/hub_index.h"
#include "engine/thresholds.h"

namespace nodeweave {

inline constexpr std::uint16_t NO_BLOCK = UINT16_MAX;

class Node {
public:
    static constexpr std::uint32_t INLINE_CAPACITY = 4;

    explicit Node(vop_t initial_vop = VOP_H) noexcept : vop(initial_vop) {}
    Node(const Node& other);  // copies the list, not its index
    Node(Node&& other) noexcept : Node(other.vop) { swap(other); }
    Node& operator=(const Node& other) {
        Node copy(other);
        swap(copy);
        return *this;
    }
    Node& operator=(Node&& other) noexcept {
        swap(other);
        return *this;
    }
    ~Node() { release_heap(); }
    void swap(Node& other) noexcept;

    // ---- the neighbour list ----
    std::uint32_t list_size() const noexcept { return size_; }
    const slot_t* list_begin() const noexcept { return data(); }
    const slot_t* list_end() const noexcept { return data() + size_; }
    slot_t list_at(std::uint32_t i) const noexcept { return data()[i]; }
    bool list_indexed() const noexcept { return on_heap_ && storage_.heap->index != nullptr; }
    std::uint32_t list_capacity() const noexcept {
        return on_heap_ ? storage_.heap->capacity : INLINE_CAPACITY;
    }
    bool list_on_heap() const noexcept { return on_heap_ != 0; }
    const HubIndex* list_index() const noexcept { return on_heap_ ? storage_.heap->index : nullptr; }

    // Makes room for `wanted` entries. Throws std::bad_alloc with the list unchanged.
    void reserve_list(std::size_t wanted) {
        if (wanted > list_capacity()) grow_list(wanted);
    }
    // Appends v; room has been reserved.
    void append(slot_t v) noexcept {
        assert(size_ < list_capacity());
        slot_t* entries = data();
        entries[size_] = v;
        if (on_heap_ && storage_.heap->index != nullptr) {
            storage_.heap->index = HubIndex::insert(storage_.heap->index, v, size_);
        }
        ++size_;
    }
    // The position of v, or NO_POSITION. A long list builds its index on the way.
    std::uint32_t find(slot_t v) noexcept {
        if (on_heap_) {
            HubIndex* index = storage_.heap->index;
            if (index == nullptr && size_ >= thresholds.index_min) {
                index = storage_.heap->index = HubIndex::build(data(), size_);
            }
            if (index != nullptr) return index->find(v);
        }
        return scan(v);
    }
    // Whether v is listed, without building an index.
    bool contains(slot_t v) const noexcept {
        if (on_heap_ && storage_.heap->index != nullptr) {
            return storage_.heap->index->find(v) != NO_POSITION;
        }
        return scan(v) != NO_POSITION;
    }
    // Removes the entry at `position`; the last entry takes its place.
    void erase_at(std::uint32_t position) noexcept {
        slot_t* entries = data();
        const slot_t gone = entries[position];
        const slot_t last = entries[--size_];
        entries[position] = last;
        if (on_heap_ && storage_.heap->index != nullptr) {
            storage_.heap->index->erase(gone);
            if (position != size_) storage_.heap->index->move(last, position);
        }
    }
    bool erase(slot_t v) noexcept {
        const std::uint32_t position = find(v);
        if (position == NO_POSITION) return false;
        erase_at(position);
        return true;
    }
    void clear_list() noexcept {
        size_ = 0;
        drop_index();
    }
    // Gives memory back after the list has shrunk a lot: inline again when the entries fit,
    // otherwise a smaller block when under a quarter of a large one is used. Never fails: when
    // the smaller block cannot be had, the list keeps the one it has.
    void compact_list() noexcept;

private:
    struct HeapList {
        std::uint32_t capacity;
        std::uint32_t padding;
        HubIndex* index;
        slot_t* entries() noexcept { return reinterpret_cast<slot_t*>(this + 1); }
    };

    slot_t* data() noexcept { return on_heap_ ? storage_.heap->entries() : storage_.inline_entries; }
    const slot_t* data() const noexcept {
        return on_heap_ ? storage_.heap->entries() : storage_.inline_entries;
    }
    std::uint32_t scan(slot_t v) const noexcept {
        const slot_t* entries = data();
        for (std::uint32_t i = 0; i < size_; ++i) {
            if (entries[i] == v) return i;
        }
        return NO_POSITION;
    }
    void grow_list(std::size_t wanted);
    void drop_index() noexcept {
        if (on_heap_ && storage_.heap->index != nullptr) {
            HubIndex::destroy(storage_.heap->index);
            storage_.heap->index = nullptr;
        }
    }
    void release_heap() noexcept {
        if (on_heap_) {
            drop_index();
            ::operator delete(storage_.heap);
        }
    }
    static HeapList* allocate_heap(std::size_t capacity, bool may_fail) noexcept(false);

    union Storage {
        slot_t inline_entries[INLINE_CAPACITY];
        HeapList* heap;
    } storage_;
    std::uint32_t size_ = 0;

public:
    // Scratch for operations on many vertices at once; 0 between operations.
    std::uint32_t mark = 0;
    // Local index + 1 in the dense block `block`; 0 when the vertex is in no block.
    std::uint32_t member = 0;
    vop_t vop;

private:
    std::uint8_t on_heap_ = 0;

public:
    std::uint16_t block = NO_BLOCK;
};
static_assert(sizeof(Node) == 32);

}  // namespace nodeweave
