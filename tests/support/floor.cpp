// _nodeweave_testing.Floor(n): the cheapest method of the same calling convention as nodeweave's
// gates, so that the benchmarks can show what a gate call costs beyond CPython's own call cost.
// gate(qubit) converts one positional index, checks it, updates one byte through the 24x24
// product table and returns None: no borrow flag, no keyword parsing, no engine.

#include <cstdint>
#include <cstring>

#include "bindings/owned_ref.h"
#include "bindings/python.h"
#include "clifford/tables.h"

namespace nodeweave {
namespace {

struct FloorObject {
    PyObject_HEAD
    std::uint8_t* bytes;
    unsigned long long size;
};

PyObject* floor_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    unsigned long long n = 0;
    if (kwargs != nullptr && PyDict_GET_SIZE(kwargs) != 0) {
        PyErr_SetString(PyExc_TypeError, "Floor() takes no keyword arguments");
        return nullptr;
    }
    if (PyTuple_GET_SIZE(args) != 1) {
        PyErr_SetString(PyExc_TypeError, "Floor() takes exactly one argument");
        return nullptr;
    }
    n = PyLong_AsUnsignedLongLong(PyTuple_GET_ITEM(args, 0));
    if (n == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return nullptr;
    OwnedRef object(type->tp_alloc(type, 0));
    if (!object) return nullptr;
    auto* self = reinterpret_cast<FloorObject*>(object.get());
    self->size = n;
    self->bytes = static_cast<std::uint8_t*>(PyMem_Malloc(n == 0 ? 1 : n));
    if (self->bytes == nullptr) return PyErr_NoMemory();
    std::memset(self->bytes, VOP_H, n);
    return object.release();
}

void floor_dealloc(PyObject* object) {
    auto* self = reinterpret_cast<FloorObject*>(object);
    PyTypeObject* type = Py_TYPE(object);
    PyMem_Free(self->bytes);
    type->tp_free(object);
    Py_DECREF(type);
}

PyObject* floor_gate(PyObject* object, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    if (nargs != 1 || (kwnames != nullptr && PyTuple_GET_SIZE(kwnames) != 0)) {
        PyErr_SetString(PyExc_TypeError, "gate() takes exactly one positional argument");
        return nullptr;
    }
    const unsigned long long qubit = PyLong_AsUnsignedLongLong(args[0]);
    if (qubit == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return nullptr;
    auto* self = reinterpret_cast<FloorObject*>(object);
    if (qubit >= self->size) {
        PyErr_SetString(PyExc_IndexError, "index out of bounds");
        return nullptr;
    }
    self->bytes[qubit] = VOP_PRODUCT[VOP_H][self->bytes[qubit]];
    Py_RETURN_NONE;
}

// The same with two indices: the floor of a two-qubit gate call.
PyObject* floor_gate2(PyObject* object, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    if (nargs != 2 || (kwnames != nullptr && PyTuple_GET_SIZE(kwnames) != 0)) {
        PyErr_SetString(PyExc_TypeError, "gate2() takes exactly two positional arguments");
        return nullptr;
    }
    auto* self = reinterpret_cast<FloorObject*>(object);
    unsigned long long qubits[2];
    for (int i = 0; i < 2; ++i) {
        qubits[i] = PyLong_AsUnsignedLongLong(args[i]);
        if (qubits[i] == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return nullptr;
        if (qubits[i] >= self->size) {
            PyErr_SetString(PyExc_IndexError, "index out of bounds");
            return nullptr;
        }
    }
    for (unsigned long long q : qubits) self->bytes[q] = VOP_PRODUCT[VOP_H][self->bytes[q]];
    Py_RETURN_NONE;
}

PyMethodDef floor_methods[] = {
    {"gate", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(floor_gate)),
     METH_FASTCALL | METH_KEYWORDS, "gate($self, qubit)\n--\n\nApply H to one byte: the call floor."},
    {"gate2", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(floor_gate2)),
     METH_FASTCALL | METH_KEYWORDS,
     "gate2($self, control, target)\n--\n\nApply H to two bytes: the floor of a two-qubit call."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot floor_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(floor_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(floor_dealloc)},
    {Py_tp_methods, floor_methods},
    {Py_tp_doc, const_cast<char*>("Floor(n)\n--\n\nn bytes and the cheapest gate-shaped method.")},
    {0, nullptr},
};

PyType_Spec floor_spec = {
    "_nodeweave_testing.Floor", sizeof(FloorObject), 0, Py_TPFLAGS_DEFAULT, floor_slots,
};

}  // namespace
}  // namespace nodeweave

// Adds the Floor type to the module; returns -1 with an exception set on failure.
int add_floor_type(PyObject* module) {
    const nodeweave::OwnedRef type(PyType_FromSpec(&nodeweave::floor_spec));
    if (!type) return -1;
    return PyModule_AddObjectRef(module, "Floor", type.get());
}
