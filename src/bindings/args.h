#pragma once
// The argument parser shared by the constructor and every method. Every parameter is required and
// positional-or-keyword; the messages match the interpreter's own wording for such signatures.

#include "bindings/python.h"

namespace nodeweave {

struct ArgSpec {
    const char* class_name;
    const char* function_name;
    const char* const* names;
    Py_ssize_t count;
};

// Vectorcall arguments: fills out[0 .. spec.count) with borrowed references.
// Returns false with TypeError set when the call does not fit the signature.
bool parse_args_slow(const ArgSpec& spec, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames, PyObject** out);

inline bool parse_args(const ArgSpec& spec, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames, PyObject** out) {
    if (kwnames == nullptr && nargs == spec.count) [[likely]] {
        for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
        return true;
    }
    return parse_args_slow(spec, args, nargs, kwnames, out);
}

// The same for an argument tuple and an optional keyword dict (the constructor).
bool parse_args(const ArgSpec& spec, PyObject* args, PyObject* kwargs, PyObject** out);

}  // namespace nodeweave
