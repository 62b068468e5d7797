// The NodeWeave class: constructor, the twenty methods and their calling convention.
//
// Every method: parse the arguments, take access to the object (exclusive for gates and
// measurements, shared for the two queries), convert the arguments in order, run one engine
// operation, convert its result. The access guards release on every path.
//
// The methods are the rows of one table: name, operation, parameter names, docstring and access.
// The rows of the gates and measurements are made from their entries (engine/gates/gates.h) and their
// docstrings (gate_docs.h); the queries are written out. The table makes the argument
// descriptions, the entry points and the method definitions; each entry point is a template on its row's position, so the operation it runs is known when it is
// compiled and nothing is looked up per call.

#include <array>
#include <cstddef>
#include <new>
#include <string>
#include <utility>

#include "bindings/args.h"
#include "bindings/convert.h"
#include "bindings/gate_docs.h"
#include "bindings/guard.h"
#include "bindings/owned_ref.h"
#include "bindings/simulator_object.h"
#include "bindings/value_types.h"
#include "engine/deferral/deferral.h"
#include "engine/graph/entangled_group.h"
#include "engine/gates/gates.h"
#include "measure/peek.h"
#include "measure/random_source.h"

namespace nodeweave {

namespace {

SimulatorObject* simulator(PyObject* self) { return reinterpret_cast<SimulatorObject*>(self); }

// ---- operations ----------------------------------------------------------------------------
// What a method does once it holds its access: convert its arguments in order (`names` are the
// parameter names, for the messages) and run one engine operation. The result is a new
// reference, or NULL with an exception set.

using Operation = PyObject* (*)(State& state, PyObject* const* arguments, const char* const* names);

template <vop_t GATE>
PyObject* single_qubit_gate(State& state, PyObject* const* arguments, const char* const* names) {
    Qubit qubit;
    if (!to_index(arguments[0], names[0], &qubit)) return nullptr;
    apply_gate(state, qubit, GATE);
    Py_RETURN_NONE;
}

template <Frame FRAME>
PyObject* two_qubit_gate(State& state, PyObject* const* arguments, const char* const* names) {
    Qubit control, target;
    if (!to_index(arguments[0], names[0], &control)) return nullptr;
    if (!to_index(arguments[1], names[1], &target)) return nullptr;
    // A vertex joined to itself would corrupt the graph: refuse before anything changes.
    if (control == target) {
        PyErr_SetString(PyExc_ValueError, "control and target must be different qubits");
        return nullptr;
    }
    apply_two_qubit_gate<FRAME>(state, control, target);
    Py_RETURN_NONE;
}

template <axis_t AXIS>
PyObject* measurement(State& state, PyObject* const* arguments, const char* const* names) {
    Qubit qubit;
    if (!to_index(arguments[0], names[0], &qubit)) return nullptr;
    // The result object exists before the state changes, so a failed allocation changes nothing.
    OwnedRef result(new_measurement_result(0));
    if (!result) return nullptr;
    set_measurement_result(result.get(), measure(state, qubit, AXIS, ThreadRandom{}));
    return result.release();
}

PyObject* entangled_group_query(State& state, PyObject* const* arguments,
                                const char* const* names) {
    Qubit qubit;
    if (!to_index(arguments[0], names[0], &qubit)) return nullptr;
    // The engine settles deferred gates into the graph first: the same state in another form,
    // changed under a shared borrow because no engine call runs beside this one (every call holds
    // the interpreter lock and nothing in the engine calls back into Python).
    const std::vector<Qubit> group = entangled_group(state, qubit);
    OwnedRef set(PySet_New(nullptr));
    if (!set) return nullptr;
    for (Qubit member : group) {
        OwnedRef number(PyLong_FromUnsignedLongLong(index_of(member)));
        if (!number || PySet_Add(set.get(), number.get()) < 0) return nullptr;
    }
    return set.release();
}

PyObject* peek_query(State& state, PyObject* const* arguments, const char* const* names) {
    std::vector<Qubit> qubits;
    if (!to_index_set(arguments[0], names[0], &qubits)) return nullptr;
    // Measured in ascending order, and the answer lists them in that order.
    const std::vector<PeekRecord> records = peek_measure(state, qubits, ThreadRandom{});
    OwnedRef dict(PyDict_New());
    if (!dict) return nullptr;
    for (const PeekRecord& record : records) {
        OwnedRef key(PyLong_FromUnsignedLongLong(index_of(record.qubit)));
        OwnedRef value(key ? new_outcome(record.result, record.axis) : nullptr);
        if (!value || PyDict_SetItem(dict.get(), key.get(), value.get()) < 0) return nullptr;
    }
    return dict.release();
}

// ---- the table -----------------------------------------------------------------------------

// Gates and measurements change the state; the queries only read it and may nest.
enum class Access { exclusive, shared };

struct Parameters {
    template <std::size_t N>
    constexpr Parameters(const char* const (&list)[N]) : names(list), count(N) {}
    const char* const* names;
    Py_ssize_t count;
};

struct Method {
    const char* name;
    Operation operation;
    Parameters parameters;
    const char* doc;  // the text after the signature line, which the table adds
    Access access;
};

const char* const QUBIT[] = {"qubit"};
const char* const CONTROL_TARGET[] = {"control", "target"};
const char* const QUBITS[] = {"qubits"};
const char* const QUBIT_AMOUNT[] = {"qubit_amount"};

constexpr Access EXCLUSIVE = Access::exclusive, SHARED = Access::shared;

// The row of entry I of GATES: its operation runs that very gate, chosen at compile time.
template <std::size_t I>
constexpr Method gate_method() {
    constexpr Gate gate = GATES[I];
    static_assert(doc_of(gate.name) != nullptr, "every entry of GATES needs a docstring");
    if constexpr (gate.kind == GateKind::single_qubit) {
        return {gate.name, single_qubit_gate<gate.vop>, QUBIT, doc_of(gate.name), EXCLUSIVE};
    } else if constexpr (gate.kind == GateKind::two_qubit) {
        return {gate.name, two_qubit_gate<gate.frame>, CONTROL_TARGET, doc_of(gate.name),
                EXCLUSIVE};
    } else {
        return {gate.name, measurement<gate.axis>, QUBIT, doc_of(gate.name), EXCLUSIVE};
    }
}

// The gates and measurements, then the two queries: the order of registration, which is the
// order of the class's attributes.
template <std::size_t... I>
constexpr auto make_methods(std::index_sequence<I...>) {
    return std::array<Method, sizeof...(I) + 2>{
        gate_method<I>()...,
        Method{"get_entangled_group", entangled_group_query, QUBIT,
               "Return the set of qubits that are entangled with `qubit`.\n\n"
               "This follows adjacency in the underlying graph.",
               SHARED},
        Method{"peek_measure_set", peek_query, QUBITS,
               "Simulate measurements on a set of `qubits` without modifying the real state.\n\n"
               "Returns a map from qubit index to `Outcome` (result and axis used).",
               SHARED},
    };
}

constexpr auto METHODS = make_methods(std::make_index_sequence<std::size(GATES)>{});

// ---- what the table makes ------------------------------------------------------------------

template <std::size_t I>
constexpr ArgSpec ARGUMENTS{"NodeWeave", METHODS[I].name, METHODS[I].parameters.names,
                            METHODS[I].parameters.count};

template <std::size_t I>
PyObject* method_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    constexpr const Method& method = METHODS[I];
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        PyObject* arguments[method.parameters.count];
        if (!parse_args(ARGUMENTS<I>, args, nargs, kwnames, arguments)) return nullptr;
        SimulatorObject* sim = simulator(self);
        if constexpr (method.access == Access::exclusive) {
            ExclusiveBorrow borrow(sim->borrow_flag);
            if (!borrow) return nullptr;
            return method.operation(sim->state, arguments, method.parameters.names);
        } else {
            SharedBorrow borrow(sim->borrow_flag);
            if (!borrow) return nullptr;
            return method.operation(sim->state, arguments, method.parameters.names);
        }
    });
}

// The docstring with the signature line the interpreter reads __text_signature__ from.
std::string documentation(const Method& method) {
    std::string doc = std::string(method.name) + "($self";
    for (Py_ssize_t i = 0; i < method.parameters.count; ++i) {
        doc += ", ";
        doc += method.parameters.names[i];
    }
    return doc + ")\n--\n\n" + method.doc;
}

using FastMethod = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

PyCFunction as_function(FastMethod method) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(method));
}

// The method definitions, made on first use and kept for the process (the class refers to them).
template <std::size_t... I>
PyMethodDef* method_definitions(std::index_sequence<I...>) {
    static const std::string docs[] = {documentation(METHODS[I])...};
    static PyMethodDef definitions[] = {
        {METHODS[I].name, as_function(method_entry<I>), METH_FASTCALL | METH_KEYWORDS,
         docs[I].c_str()}...,
        {nullptr, nullptr, 0, nullptr},
    };
    return definitions;
}

PyMethodDef* method_definitions() {
    return method_definitions(std::make_index_sequence<std::size(METHODS)>{});
}

// ---- the class -----------------------------------------------------------------------------

constexpr ArgSpec NEW{"NodeWeave", "__new__", QUBIT_AMOUNT, 1};

PyObject* simulator_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        PyObject* argument;
        if (!parse_args(NEW, args, kwargs, &argument)) return nullptr;
        Qubit qubit_amount;
        if (!to_index(argument, "qubit_amount", &qubit_amount)) return nullptr;
        State state = make_state(index_of(qubit_amount));
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
        {Py_tp_methods, method_definitions()},
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
