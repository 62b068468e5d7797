#include "bindings/value_types.h"

#include <string>

#include "bindings/guard.h"
#include "bindings/owned_ref.h"

namespace nodeweave {

namespace {

struct ValueObject {
    PyObject_HEAD
    std::uint8_t value;
};

struct OutcomeObject {
    PyObject_HEAD
    std::uint8_t result;
    std::uint8_t axis;
};

// One enumeration-like class: its name, its members' names and their text inside an Outcome.
struct ValueClass {
    const char* name;
    const char* const* members;
    const char* const* reprs;
    const char* const* short_forms;
    std::uint8_t member_count;
    const char* doc;  // NULL: the class has no docstring
    PyTypeObject* type;
};

const char* const AXIS_MEMBERS[] = {"X", "Y", "Z"};
const char* const AXIS_REPRS[] = {"Axis.X", "Axis.Y", "Axis.Z"};
const char* const AXIS_SHORT[] = {"X", "Y", "Z"};
const char* const RESULT_MEMBERS[] = {"PlusOne", "MinusOne"};
const char* const RESULT_REPRS[] = {"MeasurementResult.PlusOne", "MeasurementResult.MinusOne"};
const char* const RESULT_SHORT[] = {"+1", "-1"};

ValueClass axis_class{"Axis", AXIS_MEMBERS, AXIS_REPRS, AXIS_SHORT, 3, nullptr, nullptr};
ValueClass result_class{"MeasurementResult", RESULT_MEMBERS, RESULT_REPRS, RESULT_SHORT, 2,
                        "Result of a single-qubit measurement.\n\n"
                        "Exposed to Python as `nodeweave.MeasurementResult`.",
                        nullptr};
PyTypeObject* outcome_type_object = nullptr;

PyObject* new_value(PyTypeObject* type, std::uint8_t value) {
    if (type == nullptr) return nullptr;
    auto* self = PyObject_New(ValueObject, type);
    if (self == nullptr) return nullptr;
    self->value = value;
    return reinterpret_cast<PyObject*>(self);
}

std::uint8_t value_of(PyObject* self) { return reinterpret_cast<ValueObject*>(self)->value; }

void dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);  // instances of heap types own a reference to their type
}

PyObject* refuse_new(PyTypeObject* type, PyObject*, PyObject*) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        static PyObject* module_name = PyUnicode_InternFromString("__module__");  // kept for good
        OwnedRef module(module_name ? PyObject_GetAttr(reinterpret_cast<PyObject*>(type), module_name)
                                    : nullptr);
        OwnedRef qualname(module ? PyType_GetQualName(type) : nullptr);
        if (qualname) {
            PyErr_Format(PyExc_TypeError, "cannot create '%S.%S' instances", module.get(),
                         qualname.get());
        }
        return nullptr;
    });
}

template <ValueClass& cls>
PyObject* value_repr(PyObject* self) {
    return guarded<PyObject*>(nullptr,
                              [&] { return PyUnicode_FromString(cls.reprs[value_of(self)]); });
}

PyObject* value_int(PyObject* self) {
    return guarded<PyObject*>(nullptr, [&] { return PyLong_FromLong(value_of(self)); });
}

// A failed conversion of the other operand is not an error of the comparison, which is then
// simply not implemented: clears an ordinary error (an Exception) and answers true. Anything else,
// KeyboardInterrupt, SystemExit, GeneratorExit or a PanicException, stays set and propagates.
bool forget_ordinary_error() {
    if (!PyErr_ExceptionMatches(PyExc_Exception)) return false;
    PyErr_Clear();
    return true;
}

// Equality with the same class or with anything that converts to a signed 64-bit integer; no
// ordering.
PyObject* value_richcompare(PyObject* self, PyObject* other, int op) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
        long long other_value;
        if (PyObject_TypeCheck(other, Py_TYPE(self))) {
            other_value = value_of(other);
        } else {
            OwnedRef index(PyLong_Check(other) ? Py_NewRef(other) : PyNumber_Index(other));
            if (!index) {
                if (!forget_ordinary_error()) return nullptr;
                Py_RETURN_NOTIMPLEMENTED;
            }
            other_value = PyLong_AsLongLong(index.get());
            if (other_value == -1 && PyErr_Occurred()) {
                if (!forget_ordinary_error()) return nullptr;
                Py_RETURN_NOTIMPLEMENTED;
            }
        }
        const bool equal = other_value == value_of(self);
        return PyBool_FromLong(op == Py_EQ ? equal : !equal);
    });
}

template <ValueClass& cls>
PyTypeObject* make_value_type() {
    if (cls.type != nullptr) return cls.type;
    static PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
        {Py_tp_new, reinterpret_cast<void*>(refuse_new)},
        {Py_tp_repr, reinterpret_cast<void*>(value_repr<cls>)},
        {Py_nb_int, reinterpret_cast<void*>(value_int)},
        {Py_tp_richcompare, reinterpret_cast<void*>(value_richcompare)},
        {cls.doc != nullptr ? Py_tp_doc : 0, const_cast<char*>(cls.doc)},
        {0, nullptr},
    };
    static std::string full_name = std::string("nodeweave.") + cls.name;
    static PyType_Spec spec = {full_name.c_str(), sizeof(ValueObject), 0, Py_TPFLAGS_DEFAULT, slots};
    OwnedRef type(PyType_FromSpec(&spec));
    if (!type) return nullptr;
    // The members: one object each, made once and kept as class attributes.
    for (std::uint8_t i = 0; i < cls.member_count; ++i) {
        OwnedRef member(new_value(reinterpret_cast<PyTypeObject*>(type.get()), i));
        if (!member || PyObject_SetAttrString(type.get(), cls.members[i], member.get()) < 0) {
            return nullptr;
        }
    }
    cls.type = reinterpret_cast<PyTypeObject*>(type.release());
    return cls.type;
}

PyObject* outcome_str(PyObject* self) {
    return guarded<PyObject*>(nullptr, [&] {
        auto* outcome = reinterpret_cast<OutcomeObject*>(self);
        return PyUnicode_FromFormat("(%s, %s)", AXIS_SHORT[outcome->axis],
                                    RESULT_SHORT[outcome->result]);
    });
}

PyObject* outcome_get_result(PyObject* self, void*) {
    return guarded<PyObject*>(nullptr, [&] {
        return new_measurement_result(reinterpret_cast<OutcomeObject*>(self)->result);
    });
}

PyObject* outcome_get_axis(PyObject* self, void*) {
    return guarded<PyObject*>(
        nullptr, [&] { return new_axis(reinterpret_cast<OutcomeObject*>(self)->axis); });
}

}  // namespace

PyTypeObject* measurement_result_type() { return make_value_type<result_class>(); }

PyTypeObject* axis_type() { return make_value_type<axis_class>(); }

PyTypeObject* outcome_type() {
    if (outcome_type_object != nullptr) return outcome_type_object;
    static PyGetSetDef getset[] = {
        {"result", outcome_get_result, nullptr, nullptr, nullptr},
        {"axis", outcome_get_axis, nullptr, nullptr, nullptr},
        {nullptr, nullptr, nullptr, nullptr, nullptr},
    };
    static PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
        {Py_tp_new, reinterpret_cast<void*>(refuse_new)},
        {Py_tp_str, reinterpret_cast<void*>(outcome_str)},
        {Py_tp_getset, getset},
        {Py_tp_doc, const_cast<char*>("Measurement outcome and the axis that was measured.\n\n"
                                      "Returned in the values of `peek_measure_set`.")},
        {0, nullptr},
    };
    static PyType_Spec spec = {"nodeweave.Outcome", sizeof(OutcomeObject), 0, Py_TPFLAGS_DEFAULT,
                               slots};
    outcome_type_object = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
    return outcome_type_object;
}

PyObject* new_measurement_result(std::uint8_t result) {
    return new_value(measurement_result_type(), result);
}

void set_measurement_result(PyObject* fresh_result, std::uint8_t result) {
    reinterpret_cast<ValueObject*>(fresh_result)->value = result;
}

PyObject* new_axis(std::uint8_t axis) { return new_value(axis_type(), axis); }

PyObject* new_outcome(std::uint8_t result, std::uint8_t axis) {
    PyTypeObject* type = outcome_type();
    if (type == nullptr) return nullptr;
    auto* self = PyObject_New(OutcomeObject, type);
    if (self == nullptr) return nullptr;
    self->result = result;
    self->axis = axis;
    return reinterpret_cast<PyObject*>(self);
}

}  // namespace nodeweave
