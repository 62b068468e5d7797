#include "bindings/convert.h"

#include <algorithm>

namespace nodeweave {

void prefix_type_error(const char* name) {
    if (!PyErr_Occurred() || PyErr_Occurred() != PyExc_TypeError) return;
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    PyObject* replacement = nullptr;
    PyObject* message = PyUnicode_FromFormat("argument '%s': %S", name, value);
    if (message != nullptr) {
        replacement = PyObject_CallOneArg(PyExc_TypeError, message);
        Py_DECREF(message);
    }
    if (replacement == nullptr) {  // could not build it: report the original error
        PyErr_Restore(type, value, traceback);
        return;
    }
    PyObject* cause = PyException_GetCause(value);  // new reference or NULL
    if (cause != nullptr) PyException_SetCause(replacement, cause);  // steals cause
    Py_DECREF(type);
    Py_DECREF(value);
    Py_XDECREF(traceback);
    PyErr_SetObject(PyExc_TypeError, replacement);
    Py_DECREF(replacement);
}

bool to_index_slow(PyObject* object, const char* name, qubit_t* out) {
    PyObject* index = PyLong_Check(object) ? Py_NewRef(object) : PyNumber_Index(object);
    if (index == nullptr) {
        prefix_type_error(name);
        return false;
    }
    const unsigned long long value = PyLong_AsUnsignedLongLong(index);
    Py_DECREF(index);
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        prefix_type_error(name);
        return false;
    }
    *out = static_cast<qubit_t>(value);
    return true;
}

bool to_index_set(PyObject* object, const char* name, std::vector<qubit_t>* out) {
    if (!PySet_Check(object) && !PyFrozenSet_Check(object)) {
        PyObject* type_name = PyType_GetQualName(Py_TYPE(object));
        if (type_name == nullptr) return false;
        PyErr_Format(PyExc_TypeError, "argument '%s': '%U' object cannot be cast as 'set'", name,
                     type_name);
        Py_DECREF(type_name);
        return false;
    }
    PyObject* iterator = PyObject_GetIter(object);
    if (iterator == nullptr) return false;
    out->clear();
    while (PyObject* item = PyIter_Next(iterator)) {
        qubit_t index;
        const bool ok = to_index(item, name, &index);
        Py_DECREF(item);
        if (!ok) {
            Py_DECREF(iterator);
            return false;
        }
        out->push_back(index);
    }
    Py_DECREF(iterator);
    if (PyErr_Occurred()) return false;
    std::sort(out->begin(), out->end());
    out->erase(std::unique(out->begin(), out->end()), out->end());
    return true;
}

}  // namespace nodeweave
