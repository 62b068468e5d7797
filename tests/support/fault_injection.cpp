// Allocation failures on demand, for the tests of what a failed allocation leaves behind.
//
// This module replaces the global operator new and operator new[] for its own code only: the
// replacements are hidden symbols, so the engine code linked into this module calls them, while
// nodeweave itself and every other library keep the allocator they had. Each replacement counts
// down and, when armed, throws std::bad_alloc instead of allocating; otherwise it forwards to the
// allocator the process would have used (the C++ runtime's, or a sanitizer's when one is preloaded),
// so every block still goes back through the matching, unreplaced operator delete.

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "bindings/python.h"

namespace {

// Allocations still allowed before the injected failure; -1 when disarmed. One-shot: the failure
// disarms it, so the code that handles the failure can allocate again.
std::atomic<long long> allowed{-1};

using Allocator = void* (*)(std::size_t);

Allocator underlying(const char* symbol) {
    // The lookup from this module never finds the hidden replacements below.
    return reinterpret_cast<Allocator>(dlsym(RTLD_DEFAULT, symbol));
}

void* allocate(std::size_t size, Allocator forward) {
    long long left = allowed.load(std::memory_order_relaxed);
    while (left >= 0) {
        if (allowed.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
            if (left == 0) throw std::bad_alloc();
            break;
        }
    }
    if (forward != nullptr) return forward(size);
    void* block = std::malloc(size != 0 ? size : 1);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

}  // namespace

// <new> declares the global operators with default visibility, and an attribute here cannot
// override that declaration, so the hiding is asked of the assembler.
asm(".hidden _Znwm\n.hidden _Znam");

void* operator new(std::size_t size) {
    static const Allocator forward = underlying("_Znwm");
    return allocate(size, forward);
}

void* operator new[](std::size_t size) {
    static const Allocator forward = underlying("_Znam");
    return allocate(size, forward);
}

namespace nodeweave {

// fail_allocation_after(n): the (n+1)-th allocation made from now on by this module's code throws
// std::bad_alloc (n = -1 disarms). Returns how many allocations the previous setting still
// allowed: -1 when its failure fired (or it was disarmed), so a caller can tell whether an
// operation that succeeded ever met the failure.
PyObject* fail_allocation_after(PyObject*, PyObject* count) {
    const long long n = PyLong_AsLongLong(count);
    if (n == -1 && PyErr_Occurred()) return nullptr;
    if (n < -1) {
        PyErr_SetString(PyExc_ValueError, "the count must be -1 or more");
        return nullptr;
    }
    const long long previous = allowed.exchange(n);
    return PyLong_FromLongLong(previous < 0 ? -1 : previous);
}

}  // namespace nodeweave
