#pragma once
// Conversion of Python arguments to qubit indices and index sets.

#include <vector>

#include "bindings/python.h"
#include "engine/core/state.h"

namespace nodeweave {

// Rewrites a pending TypeError (exactly TypeError, not a subclass) as
// TypeError("argument '<name>': <message>"), keeping its cause. Other errors pass unchanged.
void prefix_type_error(const char* name);

// Converts an int (or an object with __index__) to an unsigned 64-bit index. Returns false with
// the exception set: TypeError prefixed with the parameter name, OverflowError unprefixed.
[[gnu::always_inline]] inline bool to_index(PyObject* object, const char* name, Qubit* out) {
    if (PyLong_CheckExact(object)) [[likely]] {
        // A small non-negative int is read straight from the object, as the interpreter itself does.
#if PY_VERSION_HEX >= 0x030C0000
        if (PyUnstable_Long_IsCompact(reinterpret_cast<PyLongObject*>(object))) {
            const Py_ssize_t value = PyUnstable_Long_CompactValue(reinterpret_cast<PyLongObject*>(object));
            if (value >= 0) {
                *out = static_cast<Qubit>(value);
                return true;
            }
        }
#else
        const Py_ssize_t size = Py_SIZE(object);
        if (size == 0 || size == 1) {
            *out = size == 0 ? Qubit{0} : static_cast<Qubit>(reinterpret_cast<PyLongObject*>(object)->ob_digit[0]);
            return true;
        }
#endif
        const unsigned long long value = PyLong_AsUnsignedLongLong(object);
        if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
        *out = static_cast<Qubit>(value);
        return true;
    }
    bool to_index_slow(PyObject* object, const char* name, Qubit* out);
    return to_index_slow(object, name, out);
}

// Converts a set or frozenset of indices, in the set's own iteration order, into distinct
// indices in ascending order. Returns false with the exception set.
bool to_index_set(PyObject* object, const char* name, std::vector<Qubit>* out);

}  // namespace nodeweave
