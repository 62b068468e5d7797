#include "engine/node.h"

#include <algorithm>
#include <utility>

namespace nodeweave {

Node::HeapList* Node::allocate_heap(std::size_t capacity, bool may_fail) {
    const std::size_t bytes = sizeof(HeapList) + capacity * sizeof(slot_t);
    void* memory = may_fail ? ::operator new(bytes, std::nothrow) : ::operator new(bytes);
    if (memory == nullptr) return nullptr;
    auto* heap = static_cast<HeapList*>(memory);
    heap->capacity = static_cast<std::uint32_t>(capacity);
    heap->padding = 0;
    heap->index = nullptr;
    return heap;
}

Node::Node(const Node& other)
    : mark(0), member(other.member), vop(other.vop), block(other.block) {
    if (other.on_heap_) {
        HeapList* heap = allocate_heap(std::max<std::uint32_t>(other.size_, INLINE_CAPACITY + 1), false);
        std::memcpy(heap->entries(), other.data(), other.size_ * sizeof(slot_t));
        storage_.heap = heap;
        on_heap_ = 1;
    } else {
        storage_ = other.storage_;
    }
    size_ = other.size_;
}

void Node::swap(Node& other) noexcept {
    std::swap(storage_, other.storage_);
    std::swap(size_, other.size_);
    std::swap(mark, other.mark);
    std::swap(member, other.member);
    std::swap(vop, other.vop);
    std::swap(on_heap_, other.on_heap_);
    std::swap(block, other.block);
}

void Node::grow_list(std::size_t wanted) {
    std::size_t grown = std::max<std::size_t>(wanted, 2 * static_cast<std::size_t>(list_capacity()));
    grown = std::min<std::size_t>(grown, UINT32_MAX);
    if (wanted > grown) throw std::bad_alloc();
    HeapList* heap = allocate_heap(grown, false);
    std::memcpy(heap->entries(), data(), size_ * sizeof(slot_t));
    if (on_heap_) {
        heap->index = storage_.heap->index;  // positions are unchanged
        ::operator delete(storage_.heap);
    }
    storage_.heap = heap;
    on_heap_ = 1;
}

void Node::compact_list() noexcept {
    if (!on_heap_) return;
    HeapList* heap = storage_.heap;
    if (size_ <= INLINE_CAPACITY) {
        drop_index();
        std::memcpy(storage_.inline_entries, heap->entries(), size_ * sizeof(slot_t));
        ::operator delete(heap);
        on_heap_ = 0;
        return;
    }
    if (heap->capacity < 64 || size_ >= heap->capacity / 4) return;
    HeapList* smaller = allocate_heap(2 * static_cast<std::size_t>(size_), true);
    if (smaller == nullptr) return;
    std::memcpy(smaller->entries(), heap->entries(), size_ * sizeof(slot_t));
    smaller->index = size_ >= thresholds.index_min ? heap->index : nullptr;
    if (smaller->index == nullptr) drop_index();
    ::operator delete(heap);
    storage_.heap = smaller;
}

}  // namespace nodeweave
