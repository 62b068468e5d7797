#pragma once
// An owned reference: holds one new reference and gives it back when it goes out of scope, on every
// path, exceptions included. Move-only; `release()` hands the reference on (to the interpreter, as
// a return value) without giving it back.
//
// Binding code runs under the interpreter lock, with one exception that the destructor must allow
// for. At interpreter exit a daemon thread that waits for the lock inside a call (in an argument's
// __index__, a set element's, a comparison operand's) is ended by the interpreter with a forced
// unwind, which runs the destructors of the frames it leaves on a thread that does not hold the
// lock. Touching a reference count there races with the finalizing thread and may deallocate
// objects of an interpreter that is being torn down. Such a destructor therefore leaves its
// reference alone: the thread is ending and the interpreter with its objects is going away, so
// nothing is lost.

#include <utility>

#include "bindings/python.h"

namespace nodeweave {

// Whether the calling thread holds the interpreter lock, for the one question above. Outside
// finalization every caller does (binding code is entered only from the interpreter), so the
// common case is one load. During finalization the answer is exact for the lock holder, and never
// yes for a thread that waits for the lock.
inline bool may_touch_references() {
#if PY_VERSION_HEX >= 0x030D0000
    if (!Py_IsFinalizing()) [[likely]] return true;
    // The current thread state is per thread and unset while the thread waits for the lock.
    return PyThreadState_GetUnchecked() != nullptr;
#elif PY_VERSION_HEX >= 0x030C0000
    if (!_Py_IsFinalizing()) [[likely]] return true;
    return _PyThreadState_UncheckedGet() != nullptr;
#else
    if (!_Py_IsFinalizing()) [[likely]] return true;
    // The current thread state is the lock holder's, whichever thread asks; this thread's own is
    // the one registered for it. Pointers are compared, never followed: the holder's may be freed.
    PyThreadState* const holder = _PyThreadState_UncheckedGet();
    return holder != nullptr && holder == PyGILState_GetThisThreadState();
#endif
}

class OwnedRef {
public:
    OwnedRef() = default;
    // Takes over a new reference, or NULL (an empty OwnedRef) from a call that failed.
    explicit OwnedRef(PyObject* object) noexcept : object_(object) {}
    OwnedRef(OwnedRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    OwnedRef& operator=(OwnedRef&& other) noexcept {
        if (this != &other) {
            reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    OwnedRef(const OwnedRef&) = delete;
    OwnedRef& operator=(const OwnedRef&) = delete;
    [[gnu::always_inline]] ~OwnedRef() { reset(); }

    PyObject* get() const noexcept { return object_; }
    explicit operator bool() const noexcept { return object_ != nullptr; }

    // Hands the reference to the caller, who now owns it; the OwnedRef is left empty.
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }

    // Gives the reference back now; the OwnedRef is left empty. Inline down to the test for an
    // empty OwnedRef, so that one whose reference was released costs nothing when it goes.
    [[gnu::always_inline]] void reset() noexcept {
        if (object_ != nullptr) give_back(std::exchange(object_, nullptr));
    }

private:
    static void give_back(PyObject* object) noexcept {
        if (may_touch_references()) [[likely]] Py_DECREF(object);
    }

    PyObject* object_ = nullptr;
};

}  // namespace nodeweave
