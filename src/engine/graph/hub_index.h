#pragma once
// Where each neighbour stands in a long neighbour list: an open-addressing hash table from vertex
// to position, at most half full, with linear probing and backward-shift deletion. It is a cache:
// when memory for it cannot be had, the list simply goes without one and is scanned, so none of
// its operations throws.

#include <cstdint>

#include "engine/core/index.h"

namespace nodeweave {

inline constexpr std::uint32_t NO_POSITION = UINT32_MAX;

class HubIndex {
public:
    // An index of entries[0 .. count), or nullptr when memory is short.
    static HubIndex* build(const Slot* entries, std::uint32_t count) noexcept;
    static void destroy(HubIndex* index) noexcept;

    std::uint32_t find(Slot key) const noexcept {
        for (std::uint32_t i = home(key);; i = (i + 1) & mask_) {
            if (table()[i].key == key) return table()[i].position;
            if (table()[i].key == NO_SLOT) return NO_POSITION;
        }
    }
    // Records that `key` (present) now stands at `position`.
    void move(Slot key, std::uint32_t position) noexcept {
        for (std::uint32_t i = home(key);; i = (i + 1) & mask_) {
            if (table()[i].key == key) {
                table()[i].position = position;
                return;
            }
        }
    }
    void erase(Slot key) noexcept;
    std::uint32_t size() const noexcept { return count_; }
    std::uint32_t capacity() const noexcept { return mask_ + 1; }
    // Adds `key` (absent) at `position`. Returns the index to use from now on: this one, a larger
    // copy, or nullptr (this one freed) when the larger copy could not be made.
    static HubIndex* insert(HubIndex* index, Slot key, std::uint32_t position) noexcept;

private:
    struct Entry {
        Slot key;
        std::uint32_t position;
    };
    Entry* table() noexcept { return reinterpret_cast<Entry*>(this + 1); }
    const Entry* table() const noexcept { return reinterpret_cast<const Entry*>(this + 1); }
    std::uint32_t home(Slot key) const noexcept {
        return static_cast<std::uint32_t>((index_of(key) * 0x9E3779B97F4A7C15ull) >> 32) & mask_;
    }
    static HubIndex* allocate(std::uint32_t capacity) noexcept;
    void place(Slot key, std::uint32_t position) noexcept;

    std::uint32_t mask_;   // capacity - 1; the capacity is a power of two
    std::uint32_t count_;
};

}  // namespace nodeweave
