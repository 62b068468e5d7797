// Allocation failures on demand, for the tests of what a failed allocation leaves behind.
//
// This module replaces the global operator new and operator new[], throwing and non-throwing, and
// calloc (the engine takes zeroed memory from it), for its own code only: the replacements are
// hidden symbols, so the engine code linked into this module calls them, while nodeweave itself and
// every other library keep the allocator they had. Each replacement counts down and, when armed,
// fails instead of allocating (std::bad_alloc, or a null pointer from the non-throwing forms);
// otherwise it forwards to the allocator the process would have used (the C++ runtime's, or a
// sanitizer's when one is preloaded), so every block still goes back through the matching,
// unreplaced operator delete. The engine's scratch vectors that outgrow their stack buffer take
// memory from the default memory resource, which allocates inside the C++ runtime where the
// replacements do not reach: while a failure is armed, the default resource is one that counts too.
// The invariant checker's own allocations are not counted: it runs after operations, and the
// failure is meant for them.

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <memory_resource>
#include <new>

#include "bindings/python.h"
#include "engine/check/check.h"

namespace {

// Allocations still allowed before the injected failure; -1 when disarmed. One-shot: the failure
// disarms it, so the code that handles the failure can allocate again.
std::atomic<long long> allowed{-1};

// Whether this allocation is the one to fail.
bool fails_now() {
    if (nodeweave::checking()) return false;
    long long left = allowed.load(std::memory_order_relaxed);
    while (left >= 0) {
        if (allowed.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) return left == 0;
    }
    return false;
}

using Allocator = void* (*)(std::size_t);
using NothrowAllocator = void* (*)(std::size_t, const std::nothrow_t&);

template <class Function>
Function underlying(const char* symbol) {
    // The lookup from this module never finds the hidden replacements below.
    return reinterpret_cast<Function>(dlsym(RTLD_DEFAULT, symbol));
}

void* allocate(std::size_t size, Allocator forward) {
    if (fails_now()) throw std::bad_alloc();
    if (forward != nullptr) return forward(size);
    void* block = std::malloc(size != 0 ? size : 1);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

void* allocate(std::size_t size, NothrowAllocator forward) noexcept {
    if (fails_now()) return nullptr;
    if (forward != nullptr) return forward(size, std::nothrow);
    return std::malloc(size != 0 ? size : 1);
}

class CountingResource : public std::pmr::memory_resource {
    void* do_allocate(std::size_t bytes, std::size_t alignment) override {
        if (fails_now()) throw std::bad_alloc();
        return std::pmr::new_delete_resource()->allocate(bytes, alignment);
    }
    void do_deallocate(void* memory, std::size_t bytes, std::size_t alignment) override {
        std::pmr::new_delete_resource()->deallocate(memory, bytes, alignment);
    }
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override { return this == &other; }
};

CountingResource counting_resource;

}  // namespace

// <new> declares the global operators with default visibility, and an attribute here cannot
// override that declaration, so the hiding is asked of the assembler.
asm(".hidden _Znwm\n.hidden _Znam\n.hidden _ZnwmRKSt9nothrow_t\n.hidden _ZnamRKSt9nothrow_t\n.hidden calloc");

extern "C" void* calloc(std::size_t count, std::size_t size) noexcept {
    using Zeroed = void* (*)(std::size_t, std::size_t);
    static const Zeroed forward = underlying<Zeroed>("calloc");
    return fails_now() ? nullptr : forward(count, size);
}

void* operator new(std::size_t size) {
    static const Allocator forward = underlying<Allocator>("_Znwm");
    return allocate(size, forward);
}

void* operator new[](std::size_t size) {
    static const Allocator forward = underlying<Allocator>("_Znam");
    return allocate(size, forward);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    static const NothrowAllocator forward = underlying<NothrowAllocator>("_ZnwmRKSt9nothrow_t");
    return allocate(size, forward);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    static const NothrowAllocator forward = underlying<NothrowAllocator>("_ZnamRKSt9nothrow_t");
    return allocate(size, forward);
}

namespace nodeweave {

// fail_allocation_after(n): the (n+1)-th allocation made from now on by this module's code fails
// (n = -1 disarms). Returns how many allocations the previous setting still allowed: -1 when its
// failure fired (or it was disarmed), so a caller can tell whether an operation that succeeded
// ever met the failure.
PyObject* fail_allocation_after(PyObject*, PyObject* count) {
    const long long n = PyLong_AsLongLong(count);
    if (n == -1 && PyErr_Occurred()) return nullptr;
    if (n < -1) {
        PyErr_SetString(PyExc_ValueError, "the count must be -1 or more");
        return nullptr;
    }
    const long long previous = allowed.exchange(n);
    // Installed while armed only, so that nodeweave's own scratch memory is left alone otherwise.
    std::pmr::set_default_resource(n >= 0 ? &counting_resource : nullptr);
    return PyLong_FromLongLong(previous < 0 ? -1 : previous);
}

}  // namespace nodeweave
