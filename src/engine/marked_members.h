#pragma once
// The vertices an operation meets, each with a record of its own, found in constant time through
// the nodes' scratch marks (record index + 1). The marks are cleared when the set goes, on every
// path, so they are 0 between operations.

#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <vector>

#include "engine/state.h"

namespace nodeweave {

// Member: a record whose first field is `vertex_t vertex`.
template <class Member>
class MarkedMembers {
public:
    MarkedMembers(State& state, std::pmr::memory_resource* arena) : state_(state), members_(arena) {}
    ~MarkedMembers() {
        for (const Member& m : members_) state_.nodes[m.vertex].mark = 0;
    }
    MarkedMembers(const MarkedMembers&) = delete;
    MarkedMembers& operator=(const MarkedMembers&) = delete;

    void reserve(std::size_t n) { members_.reserve(n); }

    // The record of v, made if v is new. References stay valid only while nothing is added.
    Member& add(vertex_t v) {
        std::uint32_t& mark = state_.nodes[v].mark;
        if (mark == 0) {
            members_.push_back(Member{v});
            mark = static_cast<std::uint32_t>(members_.size());
        }
        return members_[mark - 1];
    }
    Member* find(vertex_t v) {
        const std::uint32_t mark = state_.nodes[v].mark;
        return mark == 0 ? nullptr : &members_[mark - 1];
    }
    Member& at(vertex_t v) { return members_[state_.nodes[v].mark - 1]; }  // v is a member
    std::pmr::vector<Member>& all() { return members_; }

private:
    State& state_;
    std::pmr::vector<Member> members_;
};

}  // namespace nodeweave
