#include "bindings/convert.h"

#include <algorithm>

#include "bindings/owned_ref.h"

namespace nodeweave {

void prefix_type_error(const char* name) {
    if (!PyErr_Occurred() || PyErr_Occurred() != PyExc_TypeError) return;
    PyObject *raw_type, *raw_value, *raw_traceback;
    PyErr_Fetch(&raw_type, &raw_value, &raw_traceback);
    PyErr_NormalizeException(&raw_type, &raw_value, &raw_traceback);
    OwnedRef type(raw_type), value(raw_value), traceback(raw_traceback);
    OwnedRef message(PyUnicode_FromFormat("argument '%s': %S", name, value.get()));
    OwnedRef replacement(message ? PyObject_CallOneArg(PyExc_TypeError, message.get()) : nullptr);
    if (!replacement) {  // could not build it: report the original error
        PyErr_Restore(type.release(), value.release(), traceback.release());
        return;
    }
    PyObject* cause = PyException_GetCause(value.get());  // new reference or NULL
    if (cause != nullptr) PyException_SetCause(replacement.get(), cause);  // steals cause
    PyErr_SetObject(PyExc_TypeError, replacement.get());
}

bool to_index_slow(PyObject* object, const char* name, Qubit* out) {
    OwnedRef index(PyLong_Check(object) ? Py_NewRef(object) : PyNumber_Index(object));
    if (!index) {
        prefix_type_error(name);
        return false;
    }
    const unsigned long long value = PyLong_AsUnsignedLongLong(index.get());
    index.reset();
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        prefix_type_error(name);
        return false;
    }
    *out = static_cast<Qubit>(value);
    return true;
}

bool to_index_set(PyObject* object, const char* name, std::vector<Qubit>* out) {
    if (!PySet_Check(object) && !PyFrozenSet_Check(object)) {
        OwnedRef type_name(PyType_GetQualName(Py_TYPE(object)));
        if (!type_name) return false;
        PyErr_Format(PyExc_TypeError, "argument '%s': '%U' object cannot be cast as 'set'", name,
                     type_name.get());
        return false;
    }
    // The iterator keeps the set alive: it is given back on every path, a failed growth of `out`
    // included.
    OwnedRef iterator(PyObject_GetIter(object));
    if (!iterator) return false;
    out->clear();
    while (OwnedRef item{PyIter_Next(iterator.get())}) {
        Qubit index;
        if (!to_index(item.get(), name, &index)) return false;
        out->push_back(index);
    }
    if (PyErr_Occurred()) return false;
    std::sort(out->begin(), out->end());
    out->erase(std::unique(out->begin(), out->end()), out->end());
    return true;
}

}  // namespace nodeweave
