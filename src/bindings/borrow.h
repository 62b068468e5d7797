#pragma once
// Access control for one simulator object. The flag is 0 when free, all-ones while one caller holds
// exclusive access, and k while k callers share it. Python code can run during argument
// conversion (a user's __index__) and call back into the same object; the flag turns such overlaps
// into RuntimeError instead of a data race. A guard releases on every path, exceptions included.

#include <atomic>
#include <cstdint>

#include "bindings/python.h"

namespace nodeweave {

using BorrowFlag = std::atomic<std::uint64_t>;
inline constexpr std::uint64_t EXCLUSIVE = ~std::uint64_t{0};

class ExclusiveBorrow {
public:
    explicit ExclusiveBorrow(BorrowFlag& flag) : flag_(flag) {
        std::uint64_t expected = 0;
        held_ = flag_.compare_exchange_strong(expected, EXCLUSIVE, std::memory_order_acquire);
        if (!held_) PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
    }
    ~ExclusiveBorrow() {
        if (held_) flag_.store(0, std::memory_order_release);
    }
    ExclusiveBorrow(const ExclusiveBorrow&) = delete;
    ExclusiveBorrow& operator=(const ExclusiveBorrow&) = delete;

    // False when refused; RuntimeError is then set.
    explicit operator bool() const { return held_; }

private:
    BorrowFlag& flag_;
    bool held_;
};

class SharedBorrow {
public:
    explicit SharedBorrow(BorrowFlag& flag) : flag_(flag) {
        std::uint64_t current = flag_.load(std::memory_order_relaxed);
        do {
            if (current == EXCLUSIVE) {
                PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
                return;
            }
        } while (!flag_.compare_exchange_weak(current, current + 1, std::memory_order_acquire,
                                              std::memory_order_relaxed));
        held_ = true;
    }
    ~SharedBorrow() {
        if (held_) flag_.fetch_sub(1, std::memory_order_release);
    }
    SharedBorrow(const SharedBorrow&) = delete;
    SharedBorrow& operator=(const SharedBorrow&) = delete;

    explicit operator bool() const { return held_; }

private:
    BorrowFlag& flag_;
    bool held_ = false;
};

}  // namespace nodeweave
