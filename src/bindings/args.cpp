#include "bindings/args.h"

#include <string>

namespace nodeweave {

static bool too_many_positional(const ArgSpec& spec, Py_ssize_t given) {
    PyErr_Format(PyExc_TypeError, "%s.%s() takes %zd positional arguments but %zd %s given",
                 spec.class_name, spec.function_name, spec.count, given,
                 given == 1 ? "was" : "were");
    return false;
}

// Places one keyword argument; false with TypeError set when it repeats or names no parameter.
static bool place_keyword(const ArgSpec& spec, PyObject* keyword, PyObject* value, PyObject** out) {
    for (Py_ssize_t i = 0; i < spec.count; ++i) {
        if (PyUnicode_CompareWithASCIIString(keyword, spec.names[i]) == 0) {
            if (out[i] != nullptr) {
                PyErr_Format(PyExc_TypeError, "%s.%s() got multiple values for argument '%s'",
                             spec.class_name, spec.function_name, spec.names[i]);
                return false;
            }
            out[i] = value;
            return true;
        }
    }
    PyErr_Format(PyExc_TypeError, "%s.%s() got an unexpected keyword argument '%S'",
                 spec.class_name, spec.function_name, keyword);
    return false;
}

static bool check_missing(const ArgSpec& spec, PyObject** out) {
    Py_ssize_t missing = 0;
    for (Py_ssize_t i = 0; i < spec.count; ++i) missing += out[i] == nullptr;
    if (missing == 0) return true;

    // 'a'; 'a' and 'b'; 'a', 'b', and 'c'
    std::string names;
    Py_ssize_t listed = 0;
    for (Py_ssize_t i = 0; i < spec.count; ++i) {
        if (out[i] != nullptr) continue;
        if (listed > 0) {
            if (listed == missing - 1) {
                names += missing > 2 ? ", and " : " and ";
            } else {
                names += ", ";
            }
        }
        names += "'";
        names += spec.names[i];
        names += "'";
        ++listed;
    }
    PyErr_Format(PyExc_TypeError, "%s.%s() missing %zd required positional %s: %s",
                 spec.class_name, spec.function_name, missing,
                 missing == 1 ? "argument" : "arguments", names.c_str());
    return false;
}

bool parse_args_slow(const ArgSpec& spec, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames, PyObject** out) {
    if (nargs > spec.count) return too_many_positional(spec, nargs);
    for (Py_ssize_t i = 0; i < spec.count; ++i) out[i] = i < nargs ? args[i] : nullptr;
    if (kwnames != nullptr) {
        const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < nkw; ++k) {
            if (!place_keyword(spec, PyTuple_GET_ITEM(kwnames, k), args[nargs + k], out)) {
                return false;
            }
        }
    }
    return nargs == spec.count || check_missing(spec, out);
}

bool parse_args(const ArgSpec& spec, PyObject* args, PyObject* kwargs, PyObject** out) {
    const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    if (nargs > spec.count) return too_many_positional(spec, nargs);
    for (Py_ssize_t i = 0; i < spec.count; ++i) {
        out[i] = i < nargs ? PyTuple_GET_ITEM(args, i) : nullptr;
    }
    if (kwargs != nullptr) {
        Py_ssize_t position = 0;
        PyObject* keyword;
        PyObject* value;
        while (PyDict_Next(kwargs, &position, &keyword, &value)) {
            if (!place_keyword(spec, keyword, value, out)) return false;
        }
    }
    return check_missing(spec, out);
}

}  // namespace nodeweave
