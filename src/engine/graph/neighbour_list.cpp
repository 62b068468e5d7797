#include "engine/graph/neighbour_list.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace nodeweave {

// A scan of a few hundred entries streams through cache lines the prefetcher already has, which
// is cheaper than keeping a hash index up to date.
std::uint32_t scan_entries(const Slot* entries, std::uint32_t count, Slot v) noexcept {
    std::uint32_t i = 0;
#ifdef __SSE2__
    const __m128i key = _mm_set1_epi32(static_cast<int>(index_of(v)));
    // One bit per entry of the four entries from entries + at.
    const auto hits = [&](std::uint32_t at) -> unsigned {
        const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(entries + at));
        const __m128i equal = _mm_cmpeq_epi32(four, key);
        return static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(equal)));
    };
    static_assert(SCAN_WIDTH == 16, "four compares of four entries each");
    for (; i + SCAN_WIDTH <= count; i += SCAN_WIDTH) {
        const unsigned found = hits(i) | hits(i + 4) << 4 | hits(i + 8) << 8 | hits(i + 12) << 12;
        if (found != 0) return i + static_cast<std::uint32_t>(std::countr_zero(found));
    }
    for (; i + 4 <= count; i += 4) {
        if (const unsigned found = hits(i)) return i + static_cast<std::uint32_t>(std::countr_zero(found));
    }
#endif
    for (; i < count; ++i) {
        if (entries[i] == v) return i;
    }
    return NO_POSITION;
}

NeighbourList::HeapList* NeighbourList::allocate_heap(std::size_t capacity, bool may_fail) {
    const std::size_t bytes = sizeof(HeapList) + capacity * sizeof(Slot);
    void* memory = may_fail ? ::operator new(bytes, std::nothrow) : ::operator new(bytes);
    if (memory == nullptr) return nullptr;
    auto* heap = static_cast<HeapList*>(memory);
    heap->capacity = static_cast<std::uint32_t>(capacity);
    heap->padding = 0;
    heap->index = nullptr;
    return heap;
}

NeighbourList::NeighbourList(const NeighbourList& other) {
    if (other.on_heap_) {
        HeapList* heap = allocate_heap(std::max<std::uint32_t>(other.size_, INLINE_CAPACITY + 1), false);
        std::memcpy(heap->entries(), other.data(), other.size_ * sizeof(Slot));
        storage_.heap = heap;
        on_heap_ = true;
    } else {
        storage_ = other.storage_;
    }
    size_ = other.size_;
}

void NeighbourList::swap(NeighbourList& other) noexcept {
    std::swap(storage_, other.storage_);
    std::swap(size_, other.size_);
    std::swap(on_heap_, other.on_heap_);
}

void NeighbourList::drop_index() noexcept {
    if (on_heap_ && storage_.heap->index != nullptr) {
        HubIndex::destroy(storage_.heap->index);
        storage_.heap->index = nullptr;
    }
}

void NeighbourList::release_heap() noexcept {
    if (on_heap_) {
        drop_index();
        ::operator delete(storage_.heap);
    }
}

void NeighbourList::grow(std::size_t wanted) {
    std::size_t grown = std::max<std::size_t>(wanted, 2 * static_cast<std::size_t>(capacity()));
    grown = std::min<std::size_t>(grown, UINT32_MAX);
    if (wanted > grown) throw std::bad_alloc();
    HeapList* heap = allocate_heap(grown, false);
    std::memcpy(heap->entries(), data(), size_ * sizeof(Slot));
    if (on_heap_) {
        heap->index = storage_.heap->index;  // positions are unchanged
        ::operator delete(storage_.heap);
    }
    storage_.heap = heap;
    on_heap_ = true;
}

void NeighbourList::shrink(std::uint32_t index_from) noexcept {
    HeapList* heap = storage_.heap;
    if (size_ <= INLINE_CAPACITY) {
        drop_index();
        std::memcpy(storage_.inline_entries, heap->entries(), size_ * sizeof(Slot));
        ::operator delete(heap);
        on_heap_ = false;
        return;
    }
    HeapList* smaller = allocate_heap(2 * static_cast<std::size_t>(size_), true);
    if (smaller == nullptr) return;
    std::memcpy(smaller->entries(), heap->entries(), size_ * sizeof(Slot));
    smaller->index = size_ >= index_from ? heap->index : nullptr;
    if (smaller->index == nullptr) drop_index();
    ::operator delete(heap);
    storage_.heap = smaller;
}

}  // namespace nodeweave
