#pragma once
// The one boundary where C++ exceptions stop. Every entry point that the interpreter calls runs
// its work through `guarded`, which maps what escapes:
//   PythonError (an exception is already set)  -> the entry point fails with it
//   Panic (index out of bounds and the like)   -> PanicException with the panic's message
//   std::bad_alloc                             -> MemoryError
//   anything else                              -> PanicException with a fixed generic message
// except the forced unwind that ends a thread (pthread_exit; the interpreter ends daemon threads so
// at exit), which passes on untouched: it must reach the bottom of the thread, and the thread does
// not hold the interpreter lock then, so no Python exception may be set.

#include <cxxabi.h>

#include <new>

#include "bindings/python.h"
#include "engine/core/panic.h"

namespace nodeweave {

// Thrown by binding code after it has set a Python exception.
struct PythonError {};

// The class of this extension's PanicException (derived directly from BaseException); created on
// first need, once per process. Returns a borrowed reference, or NULL with an exception set.
PyObject* panic_exception_type();

// Sets PanicException with `message` (or the generic message when it is empty).
void set_panic(const char* message);

// Runs `work`; on any C++ exception sets the mapped Python exception and returns `failed`. Not
// noexcept, so that a forced unwind can pass through.
//
// The C++ runtime binds the forced unwind's handler to a null object (the exception is foreign),
// which UndefinedBehaviorSanitizer takes for an error: this function goes without its checks (the
// attribute changes nothing in a build without sanitizers).
template <class Result, class Work>
[[gnu::no_sanitize("undefined")]] Result guarded(Result failed, Work&& work) {
    try {
        return work();
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (const PythonError&) {
    } catch (const Panic& panic) {
        set_panic(panic.what());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (...) {
        set_panic("");
    }
    return failed;
}

}  // namespace nodeweave
