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

// Under the interpreter lock every access to a flag happens while the lock is held, so reading and
// then writing it cannot be interleaved with another taker: a plain load and store suffice there,
// and save the locked instruction of a compare-and-swap on every call. A free-threaded build
// (Py_GIL_DISABLED) needs the compare-and-swap.
#ifdef Py_GIL_DISABLED
inline bool try_take(BorrowFlag& flag, std::uint64_t expected, std::uint64_t desired) {
    return flag.compare_exchange_strong(expected, desired, std::memory_order_acquire);
}
#else
inline bool try_take(BorrowFlag& flag, std::uint64_t expected, std::uint64_t desired) {
    if (flag.load(std::memory_order_acquire) != expected) return false;
    flag.store(desired, std::memory_order_relaxed);
    return true;
}
#endif

class ExclusiveBorrow {
public:
    explicit ExclusiveBorrow(BorrowFlag& flag) : flag_(flag) {
        held_ = try_take(flag_, 0, EXCLUSIVE);
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
        std::uint64_t current;
        do {
            current = flag_.load(std::memory_order_relaxed);
            if (current == EXCLUSIVE) {
                PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
                return;
            }
        } while (!try_take(flag_, current, current + 1));
        held_ = true;
    }
    // An atomic decrement: a thread ended by a forced unwind releases without the lock.
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
