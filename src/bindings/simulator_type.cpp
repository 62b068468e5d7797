// The NodeWeave class: constructor, the twenty methods and their calling convention.
//
// Every method: parse the arguments, take access to the object (exclusive for gates and
// measurements, shared for the two queries), convert the arguments in order, run one engine
// operation, convert its result. The access guards release on every path.

#include <new>
#include <utility>

#include "bindings/args.h"
#include "bindings/convert.h"
#include "bindings/guard.h"
#include "bindings/owned_ref.h"
#include "bindings/simulator_object.h"
#include "bindings/value_types.h"
#include "engine/cz.h"
#include "engine/entangled_group.h"
#include "engine/two_qubit.h"
#include "measure/peek.h"
#include "measure/random_source.h"

namespace nodeweave {

namespace {

const char* const QUBIT[] = {"qubit"};
const char* const CONTROL_TARGET[] = {"control", "target"};
const char* const QUBITS[] = {"qubits"};
const char* const QUBIT_AMOUNT[] = {"qubit_amount"};

constexpr ArgSpec one_qubit(const char* name) { return ArgSpec{"NodeWeave", name, QUBIT, 1}; }
constexpr ArgSpec two_qubits(const char* name) {
    return ArgSpec{"NodeWeave", name, CONTROL_TARGET, 2};
}

SimulatorObject* simulator(PyObject* self) { return reinterpret_cast<SimulatorObject*>(self); }

using FastMethod = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

// ---- gates ---------------------------------------------------------------------------------

template <vop_t GATE, const ArgSpec& SPEC>
PyObject* single_qubit_gate(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        PyObject* argument;
        if (!parse_args(SPEC, args, nargs, kwnames, &argument)) return nullptr;
        SimulatorObject* sim = simulator(self);
        ExclusiveBorrow borrow(sim->borrow_flag);
        if (!borrow) return nullptr;
        qubit_t qubit;
        if (!to_index(argument, "qubit", &qubit)) return nullptr;
        apply_gate(sim->state, qubit, GATE);
        Py_RETURN_NONE;
    });
}

template <void (*GATE)(State&, qubit_t, qubit_t), const ArgSpec& SPEC>
PyObject* two_qubit_gate(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        PyObject* arguments[2];
        if (!parse_args(SPEC, args, nargs, kwnames, arguments)) return nullptr;
        SimulatorObject* sim = simulator(self);
        ExclusiveBorrow borrow(sim->borrow_flag);
        if (!borrow) return nullptr;
        qubit_t control, target;
        if (!to_index(arguments[0], "control", &control)) return nullptr;
        if (!to_index(arguments[1], "target", &target)) return nullptr;
        // A vertex joined to itself would corrupt the graph: refuse before anything changes.
        if (control == target) {
            PyErr_SetString(PyExc_ValueError, "control and target must be different qubits");
            return nullptr;
        }
        GATE(sim->state, control, target);
        Py_RETURN_NONE;
    });
}

// ---- measurements --------------------------------------------------------------------------

template <axis_t AXIS, const ArgSpec& SPEC>
PyObject* measure_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        PyObject* argument;
        if (!parse_args(SPEC, args, nargs, kwnames, &argument)) return nullptr;
        SimulatorObject* sim = simulator(self);
        ExclusiveBorrow borrow(sim->borrow_flag);
        if (!borrow) return nullptr;
        qubit_t qubit;
        if (!to_index(argument, "qubit", &qubit)) return nullptr;
        // The result object exists before the state changes, so a failed allocation changes nothing.
        OwnedRef result(new_measurement_result(0));
        if (!result) return nullptr;
        set_measurement_result(result.get(), measure(sim->state, qubit, AXIS, ThreadRandom{}));
        return result.release();
    });
}

// ---- queries -------------------------------------------------------------------------------

constexpr ArgSpec GET_ENTANGLED_GROUP = one_qubit("get_entangled_group");
constexpr ArgSpec PEEK_MEASURE_SET{"NodeWeave", "peek_measure_set", QUBITS, 1};

PyObject* get_entangled_group(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        PyObject* argument;
        if (!parse_args(GET_ENTANGLED_GROUP, args, nargs, kwnames, &argument)) return nullptr;
        SimulatorObject* sim = simulator(self);
        SharedBorrow borrow(sim->borrow_flag);
        if (!borrow) return nullptr;
        qubit_t qubit;
        if (!to_index(argument, "qubit", &qubit)) return nullptr;
        const std::vector<qubit_t> group = entangled_group(sim->state, qubit);
        OwnedRef set(PySet_New(nullptr));
        if (!set) return nullptr;
        for (qubit_t member : group) {
            OwnedRef number(PyLong_FromUnsignedLongLong(member));
            if (!number || PySet_Add(set.get(), number.get()) < 0) return nullptr;
        }
        return set.release();
    });
}

PyObject* peek_measure_set(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        PyObject* argument;
        if (!parse_args(PEEK_MEASURE_SET, args, nargs, kwnames, &argument)) return nullptr;
        SimulatorObject* sim = simulator(self);
        SharedBorrow borrow(sim->borrow_flag);
        if (!borrow) return nullptr;
        std::vector<qubit_t> qubits;
        if (!to_index_set(argument, "qubits", &qubits)) return nullptr;
        // Measured in ascending order, and the answer lists them in that order.
        const std::vector<PeekRecord> records = peek_measure(sim->state, qubits, ThreadRandom{});
        OwnedRef dict(PyDict_New());
        if (!dict) return nullptr;
        for (const PeekRecord& record : records) {
            OwnedRef key(PyLong_FromUnsignedLongLong(record.qubit));
            OwnedRef value(key ? new_outcome(record.result, record.axis) : nullptr);
            if (!value || PyDict_SetItem(dict.get(), key.get(), value.get()) < 0) return nullptr;
        }
        return dict.release();
    });
}

// ---- the class -----------------------------------------------------------------------------

constexpr ArgSpec X = one_qubit("x"), Y = one_qubit("y"), Z = one_qubit("z"), H = one_qubit("h"),
                  S = one_qubit("s"), SDAG = one_qubit("sdag");
constexpr ArgSpec CZ = two_qubits("cz"), CX = two_qubits("cx"), XCX = two_qubits("xcx"),
                  YCX = two_qubits("ycx"), XCZ = two_qubits("xcz"), YCZ = two_qubits("ycz"),
                  CY = two_qubits("cy"), XCY = two_qubits("xcy"), YCY = two_qubits("ycy");
constexpr ArgSpec MEASURE_X = one_qubit("measure_x"), MEASURE_Y = one_qubit("measure_y"),
                  MEASURE_Z = one_qubit("measure_z");
constexpr ArgSpec NEW{"NodeWeave", "__new__", QUBIT_AMOUNT, 1};

#define NODE_IS "\n\n`node` is the index of the qubit."
#define MEASURE_RETURNS "\n\nReturns `MeasurementResult.PlusOne` or `MeasurementResult.MinusOne`."

template <FastMethod METHOD>
constexpr PyMethodDef method(const char* name, const char* doc) {
    return PyMethodDef{name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(METHOD)),
                       METH_FASTCALL | METH_KEYWORDS, doc};
}

PyMethodDef methods[] = {
    method<single_qubit_gate<VOP_X, X>>(
        "x", "x($self, qubit)\n--\n\nApply an X (Pauli-X) gate to the given qubit." NODE_IS),
    method<single_qubit_gate<VOP_Y, Y>>(
        "y", "y($self, qubit)\n--\n\nApply a Y (Pauli-Y) gate to the given qubit." NODE_IS),
    method<single_qubit_gate<VOP_Z, Z>>(
        "z", "z($self, qubit)\n--\n\nApply a Z (Pauli-Z) gate to the given qubit." NODE_IS),
    method<single_qubit_gate<VOP_H, H>>(
        "h", "h($self, qubit)\n--\n\nApply an H (Hadamard) gate to the given qubit." NODE_IS),
    method<single_qubit_gate<VOP_S, S>>(
        "s", "s($self, qubit)\n--\n\nApply an S (phase) gate to the given qubit." NODE_IS),
    method<single_qubit_gate<VOP_SDAG, SDAG>>(
        "sdag",
        "sdag($self, qubit)\n--\n\nApply an S\u2020 (inverse phase) gate to the given qubit." NODE_IS),
    method<two_qubit_gate<cz, CZ>>(
        "cz", "cz($self, control, target)\n--\n\n"
              "Apply a controlled-Z (CZ) gate with `control` and `target` qubits."),
    method<two_qubit_gate<cx, CX>>(
        "cx", "cx($self, control, target)\n--\n\n"
              "Apply a controlled-X (CX) / CNOT gate with `control` and `target`."),
    method<two_qubit_gate<xcx, XCX>>(
        "xcx", "xcx($self, control, target)\n--\n\n"
               "Apply an X-controlled X gate (CX in the X basis)."),
    method<two_qubit_gate<ycx, YCX>>(
        "ycx", "ycx($self, control, target)\n--\n\n"
               "Apply a Y-controlled X gate (control qubit in the Y basis)."),
    method<two_qubit_gate<xcz, XCZ>>(
        "xcz", "xcz($self, control, target)\n--\n\n"
               "Apply an X-controlled Z gate (target in X basis)."),
    method<two_qubit_gate<ycz, YCZ>>(
        "ycz", "ycz($self, control, target)\n--\n\n"
               "Apply a Y-controlled Z gate (target in Y basis)."),
    method<two_qubit_gate<cy, CY>>(
        "cy", "cy($self, control, target)\n--\n\n"
              "Apply a controlled-Y (CY) gate with `control` and `target`."),
    method<two_qubit_gate<xcy, XCY>>(
        "xcy", "xcy($self, control, target)\n--\n\n"
               "Apply an X-controlled Y gate (control in X basis)."),
    method<two_qubit_gate<ycy, YCY>>(
        "ycy", "ycy($self, control, target)\n--\n\n"
               "Apply a Y-controlled Y gate (both in Y basis)."),
    method<measure_method<AXIS_X, MEASURE_X>>(
        "measure_x", "measure_x($self, qubit)\n--\n\n"
                     "Perform a projective measurement of `qubit` in the X basis." MEASURE_RETURNS),
    method<measure_method<AXIS_Y, MEASURE_Y>>(
        "measure_y", "measure_y($self, qubit)\n--\n\n"
                     "Perform a projective measurement of `qubit` in the Y basis." MEASURE_RETURNS),
    method<measure_method<AXIS_Z, MEASURE_Z>>(
        "measure_z", "measure_z($self, qubit)\n--\n\n"
                     "Perform a projective measurement of `qubit` in the Z basis." MEASURE_RETURNS),
    method<get_entangled_group>(
        "get_entangled_group",
        "get_entangled_group($self, qubit)\n--\n\n"
        "Return the set of qubits that are entangled with `qubit`.\n\n"
        "This follows adjacency in the underlying graph."),
    method<peek_measure_set>(
        "peek_measure_set",
        "peek_measure_set($self, qubits)\n--\n\n"
        "Simulate measurements on a set of `qubits` without modifying the real state.\n\n"
        "Returns a map from qubit index to `Outcome` (result and axis used)."),
    {nullptr, nullptr, 0, nullptr},
};

PyObject* simulator_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        PyObject* argument;
        if (!parse_args(NEW, args, kwargs, &argument)) return nullptr;
        qubit_t qubit_amount;
        if (!to_index(argument, "qubit_amount", &qubit_amount)) return nullptr;
        State state = make_state(qubit_amount);
        PyObject* self = type->tp_alloc(type, 0);
        if (self == nullptr) return nullptr;
        SimulatorObject* sim = simulator(self);
        new (&sim->state) State(std::move(state));
        new (&sim->borrow_flag) BorrowFlag(0);
        return self;
    });
}

void simulator_dealloc(PyObject* self) {
    SimulatorObject* sim = simulator(self);
    sim->state.~State();
    sim->borrow_flag.~BorrowFlag();
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);  // instances of heap types own a reference to their type
}

PyTypeObject* type_object = nullptr;

}  // namespace

PyTypeObject* simulator_type() {
    if (type_object != nullptr) return type_object;
    static PyType_Slot slots[] = {
        {Py_tp_dealloc, reinterpret_cast<void*>(simulator_dealloc)},
        {Py_tp_new, reinterpret_cast<void*>(simulator_new)},
        {Py_tp_methods, methods},
        {Py_tp_doc, const_cast<char*>(
                        "NodeWeave(qubit_amount)\n--\n\n"
                        "Simulator for graph states over a fixed number of qubits.\n\n"
                        "Use this class from Python to apply gates and perform measurements.")},
        {0, nullptr},
    };
    static PyType_Spec spec = {"nodeweave.NodeWeave", sizeof(SimulatorObject), 0,
                               Py_TPFLAGS_DEFAULT, slots};
    type_object = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
    return type_object;
}

}  // namespace nodeweave
