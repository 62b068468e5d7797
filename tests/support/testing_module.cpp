// _nodeweave_testing: engine internals exposed to the Python tests. Built from the same engine
// sources as nodeweave and working directly on the state of nodeweave.NodeWeave objects.

#include <array>
#include <atomic>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "bindings/convert.h"
#include "bindings/guard.h"
#include "bindings/owned_ref.h"
#include "bindings/python.h"
#include "bindings/simulator_object.h"
#include "clifford/tables.h"
#include "engine/check/check.h"
#include "engine/graph/complementation.h"
#include "engine/gates/cz.h"
#include "engine/gates/cz_lookup.h"
#include "engine/deferral/deferral.h"
#include "engine/graph/graph.h"
#include "engine/tableau/routing.h"
#include "engine/gates/gates.h"
#include "measure/chacha.h"
#include "measure/peek.h"
#include "measure/random_source.h"
#include "literal.h"
#include "state_access.h"

namespace nodeweave {

PyObject* fail_allocation_after(PyObject*, PyObject* count);  // fault_injection.cpp

PyObject* panic_exception_type() {
    static PyObject* type = nullptr;
    if (type == nullptr) {
        type = PyErr_NewExceptionWithDoc("_nodeweave_testing.PanicException",
                                         "An engine failure met through the test-support module.",
                                         PyExc_BaseException, nullptr);
    }
    return type;
}

namespace {

PyTypeObject* simulator_class = nullptr;  // nodeweave.NodeWeave, looked up at import

// A supplied list of words standing in for the random generator.
struct SuppliedWords {
    const std::vector<std::uint32_t>* words;
    std::size_t used = 0;
    std::uint32_t operator()() {
        if (used == words->size()) {
            PyErr_SetString(PyExc_ValueError, "the operation needs more words than were supplied");
            throw PythonError{};
        }
        return (*words)[used++];
    }
};

// The state as it stands, deferrals and all: for the operations, which meet held-back gates as the
// public methods do.
State& raw_state_of(PyObject* object) {
    if (!PyObject_TypeCheck(object, simulator_class)) {
        PyErr_SetString(PyExc_TypeError, "expected a nodeweave.NodeWeave object");
        throw PythonError{};
    }
    return reinterpret_cast<SimulatorObject*>(object)->state;
}

// The state in plain graph form: deferred gates join the graph first (the same state).
State& state_of(PyObject* object) {
    State& state = raw_state_of(object);
    settle_for_reading(state);
    return state;
}

std::uint64_t index_arg(PyObject* object) {
    Qubit value;
    if (!to_index(object, "index", &value)) throw PythonError{};
    return index_of(value);
}

Qubit qubit_arg(PyObject* object) { return Qubit(index_arg(object)); }

// Takes over a new reference; throws PythonError when the call that made it failed.
OwnedRef checked(PyObject* object) {
    if (object == nullptr) throw PythonError{};
    return OwnedRef(object);
}

void append(const OwnedRef& list, OwnedRef item) {
    if (PyList_Append(list.get(), item.get()) < 0) throw PythonError{};
}

// Fills slot i of a new list with a new reference (the list then owns it).
void set_item(const OwnedRef& list, std::size_t i, OwnedRef item) {
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());
}

std::vector<std::uint32_t> words_arg(PyObject* sequence) {
    const OwnedRef fast = checked(PySequence_Fast(sequence, "words must be a sequence of ints"));
    std::vector<std::uint32_t> words;
    for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(fast.get()); ++i) {
        const unsigned long value = PyLong_AsUnsignedLong(PySequence_Fast_GET_ITEM(fast.get(), i));
        if ((value == static_cast<unsigned long>(-1) && PyErr_Occurred()) || value > 0xFFFFFFFFul) {
            if (!PyErr_Occurred()) PyErr_SetString(PyExc_ValueError, "a word must be below 2**32");
            throw PythonError{};
        }
        words.push_back(static_cast<std::uint32_t>(value));
    }
    return words;
}

OwnedRef byte_list(const std::uint8_t* values, std::size_t count) {
    OwnedRef list = checked(PyList_New(static_cast<Py_ssize_t>(count)));
    for (std::size_t i = 0; i < count; ++i) set_item(list, i, checked(PyLong_FromLong(values[i])));
    return list;
}

template <std::size_t ROWS, std::size_t COLUMNS>
OwnedRef byte_rows(const std::uint8_t (&table)[ROWS][COLUMNS]) {
    OwnedRef rows = checked(PyList_New(ROWS));
    for (std::size_t r = 0; r < ROWS; ++r) set_item(rows, r, byte_list(table[r], COLUMNS));
    return rows;
}

PyObject* tables(PyObject*, PyObject*) {
    return guarded<PyObject*>(nullptr, []() -> PyObject* {
        OwnedRef words = checked(PyList_New(24));
        for (int v = 0; v < 24; ++v) {
            set_item(words, v, byte_list(REDUCTION_WORDS[v], REDUCTION_WORD_LENGTH[v]));
        }
        OwnedRef cz_table = checked(PyList_New(2));
        for (int e = 0; e < 2; ++e) {
            OwnedRef rows = checked(PyList_New(24));
            for (int a = 0; a < 24; ++a) {
                OwnedRef row = checked(PyList_New(24));
                for (int b = 0; b < 24; ++b) {
                    const CzEntry& entry = CZ_LOOKUP[e][a][b];
                    set_item(row, b, checked(Py_BuildValue("(iii)", entry.edge, entry.first,
                                                           entry.second)));
                }
                set_item(rows, a, std::move(row));
            }
            set_item(cz_table, e, std::move(rows));
        }
        OwnedRef product = byte_rows(VOP_PRODUCT), adjoint = byte_list(VOP_ADJOINT, 24),
                 axis = byte_rows(CONJUGATED_AXIS), sign = byte_rows(CONJUGATED_SIGN),
                 preimage = byte_list(X_PREIMAGE_AXIS, 24);
        return Py_BuildValue("{sNsNsNsNsNsNsN}", "VOP_PRODUCT", product.release(), "VOP_ADJOINT",
                             adjoint.release(), "CONJUGATED_AXIS", axis.release(),
                             "CONJUGATED_SIGN", sign.release(), "X_PREIMAGE_AXIS",
                             preimage.release(), "REDUCTION_WORDS", words.release(), "CZ_LOOKUP",
                             cz_table.release());
    });
}

OwnedRef graph_to_python(const literal::Graph& graph) {
    OwnedRef vops = checked(PyList_New(static_cast<Py_ssize_t>(graph.vop.size())));
    OwnedRef adjacency = checked(PyList_New(static_cast<Py_ssize_t>(graph.vop.size())));
    for (std::size_t i = 0; i < graph.vop.size(); ++i) {
        set_item(vops, i, checked(PyLong_FromLong(graph.vop[i])));
        OwnedRef list = checked(PyList_New(static_cast<Py_ssize_t>(graph.adjacency[i].size())));
        for (std::size_t j = 0; j < graph.adjacency[i].size(); ++j) {
            set_item(list, j, checked(PyLong_FromSize_t(graph.adjacency[i][j])));
        }
        set_item(adjacency, i, std::move(list));
    }
    return checked(Py_BuildValue("(NN)", vops.release(), adjacency.release()));
}

PyObject* dump(PyObject*, PyObject* sim) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        return graph_to_python(graph_of(state_of(sim))).release();
    });
}

[[noreturn]] void malformed(const char* why) {
    PyErr_SetString(PyExc_ValueError, why);
    throw PythonError{};
}

// A graph from Python lists, refusing anything that breaks the graph invariants.
literal::Graph graph_from(PyObject* vops, PyObject* adjacency, std::size_t n) {
    if (!PyList_Check(vops) || !PyList_Check(adjacency)) malformed("vops and adjacency must be lists");
    if (static_cast<std::size_t>(PyList_GET_SIZE(vops)) != n ||
        static_cast<std::size_t>(PyList_GET_SIZE(adjacency)) != n) {
        malformed("vops and adjacency must have one entry per qubit");
    }
    literal::Graph graph;
    graph.vop.resize(n);
    graph.adjacency.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t vop = index_arg(PyList_GET_ITEM(vops, i));
        if (vop >= 24) malformed("a VOP must be below 24");
        graph.vop[i] = static_cast<vop_t>(vop);
        PyObject* list = PyList_GET_ITEM(adjacency, i);
        if (!PyList_Check(list)) malformed("each adjacency must be a list");
        for (Py_ssize_t j = 0; j < PyList_GET_SIZE(list); ++j) {
            const std::uint64_t neighbour = index_arg(PyList_GET_ITEM(list, j));
            if (neighbour >= n) malformed("a neighbour index is out of range");
            graph.adjacency[i].push_back(neighbour);
        }
    }
    const std::string why = malformation(graph, n);
    if (!why.empty()) malformed(why.c_str());
    return graph;
}

PyObject* load(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        if (nargs != 3) malformed("load(sim, vops, adjacency)");
        State& state = state_of(args[0]);
        State loaded = state_of_graph(graph_from(args[1], args[2], state.size()));
        state = std::move(loaded);
        Py_RETURN_NONE;
    });
}

// deferrals(sim): how many controlled-Zs the state holds back.
PyObject* deferrals_function(PyObject*, PyObject* sim) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* { return PyLong_FromSize_t(raw_state_of(sim).deferrals.live); });
}

// check(sim): raises AssertionError naming the first internal invariant the state breaks.
PyObject* check_function(PyObject*, PyObject* sim) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        const std::string why = check(raw_state_of(sim));
        if (!why.empty()) {
            PyErr_SetString(PyExc_AssertionError, why.c_str());
            throw PythonError{};
        }
        Py_RETURN_NONE;
    });
}

// The qubits of each dense block, in local order.
OwnedRef block_members(const State& state) {
    OwnedRef blocks = checked(PyList_New(0));
    for (const Block& block : state.blocks) {
        if (block.members == 0) continue;
        OwnedRef members = checked(PyList_New(0));
        for (std::uint32_t local = 0; local < block.issued; ++local) {
            if (block.slot_at[local] != NO_SLOT) {
                append(members, checked(PyLong_FromUnsignedLongLong(index_of(state.qubit(block.slot_at[local])))));
            }
        }
        append(blocks, std::move(members));
    }
    return blocks;
}

// The qubits of each tableau, in column order.
OwnedRef tableau_members(const State& state) {
    OwnedRef tableaux = checked(PyList_New(0));
    for (const Tableau& tableau : state.tableaux) {
        if (tableau.qubits == 0) continue;
        OwnedRef qubits = checked(PyList_New(0));
        for (Slot s : tableau.slot_at) append(qubits, checked(PyLong_FromUnsignedLongLong(index_of(state.qubit(s)))));
        append(tableaux, std::move(qubits));
    }
    return tableaux;
}

// Each deferral's control mapped to the qubits of its R.
OwnedRef deferral_terms(const State& state) {
    OwnedRef deferrals = checked(PyDict_New());
    for (const Deferral& deferral : state.deferrals.by_id) {
        if (deferral.control == Deferral::NO_CONTROL) continue;
        OwnedRef qubits = checked(PyList_New(0));
        for (const DeferredTerm& term : deferral.terms) append(qubits, checked(PyLong_FromUnsignedLong(term.qubit)));
        const OwnedRef control = checked(PyLong_FromUnsignedLong(deferral.control));
        if (PyDict_SetItem(deferrals.get(), control.get(), qubits.get()) < 0) throw PythonError{};
    }
    return deferrals;
}

// The qubits whose neighbour list holds an edge, and those whose list carries a position index.
std::pair<OwnedRef, OwnedRef> list_holders(const State& state) {
    OwnedRef listed = checked(PyList_New(0)), indexed = checked(PyList_New(0));
    for (std::size_t q = 0; q < state.size(); ++q) {
        const NeighbourList& list = state.node(Qubit(q)).list;
        if (!list.empty()) append(listed, checked(PyLong_FromSize_t(q)));
        if (list.index() != nullptr) append(indexed, checked(PyLong_FromSize_t(q)));
    }
    return {std::move(listed), std::move(indexed)};
}

// layout(sim, *, settle=True): how the engine holds the state, after settling every deferral
// unless `settle` is false: the qubits of each dense block and of each tableau, whether qubits
// have moved to other vertex records, the qubits with list edges and those whose list carries a
// position index, and each deferral's control with the qubits of its R.
PyObject* layout(PyObject*, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"sim", "settle", nullptr};
    PyObject* sim = nullptr;
    int settle = 1;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "O|$p:layout", const_cast<char**>(keywords), &sim, &settle)) {
        return nullptr;
    }
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        const State& state = settle ? state_of(sim) : raw_state_of(sim);
        auto [listed, indexed] = list_holders(state);
        return Py_BuildValue("{sNsNsOsNsNsN}", "blocks", block_members(state).release(), "tableaux",
                             tableau_members(state).release(), "relabelled",
                             state.permutation.kept() ? Py_True : Py_False, "listed", listed.release(), "indexed",
                             indexed.release(), "deferrals", deferral_terms(state).release());
    });
}

// held(sim): what the graph's storage holds, in bytes (by capacity, not by use) and edges:
// {"blocks", "lists", "indexes", "tableaux", "edges"}, after settling every deferral.
PyObject* held(PyObject*, PyObject* sim) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        const State& state = state_of(sim);
        std::uint64_t blocks = 0, lists = 0, indexes = 0, tableaux = 0, ends = 0;
        for (const Block& block : state.blocks) {
            blocks += block.bits.capacity() * sizeof(row_word) + block.slot_at.capacity() * sizeof(Slot) +
                      (block.row_count.capacity() + block.free_locals.capacity()) * sizeof(std::uint32_t);
            for (std::uint32_t local = 0; local < block.issued; ++local) {
                if (block.slot_at[local] != NO_SLOT) ends += block.row_count[local];
            }
        }
        for (const Node& node : state.nodes) {
            ends += node.list.size();
            if (node.list.on_heap()) lists += std::uint64_t{node.list.capacity()} * sizeof(Slot);
            if (const HubIndex* index = node.list.index()) indexes += index->bytes();
        }
        for (const Tableau& tableau : state.tableaux) {
            tableaux += (tableau.xs.capacity() + tableau.zs.capacity() + tableau.signs.capacity()) * sizeof(row_word);
        }
        return Py_BuildValue("{sKsKsKsKsK}", "blocks", blocks, "lists", lists, "indexes", indexes, "tableaux",
                             tableaux, "edges", ends / 2);
    });
}

// The engine's thresholds by name, in the order they are declared.
constexpr std::pair<const char*, std::uint32_t Thresholds::*> THRESHOLD_NAMES[] = {
    {"index_min", &Thresholds::index_min},
    {"row_pairs", &Thresholds::row_pairs},
    {"relabel_min", &Thresholds::relabel_min},
    {"initial_row_words", &Thresholds::initial_row_words},
    {"star_max", &Thresholds::star_max},
    {"tableau_min", &Thresholds::tableau_min},
    {"tableau_sparsity", &Thresholds::tableau_sparsity},
    {"tableau_patience", &Thresholds::tableau_patience},
    {"tableau_max", &Thresholds::tableau_max},
    {"defer_min", &Thresholds::defer_min},
    {"release_words", &Thresholds::release_words},
};

OwnedRef thresholds_dict(const Thresholds& values) {
    OwnedRef dict = checked(PyDict_New());
    for (const auto& [name, field] : THRESHOLD_NAMES) {
        const OwnedRef value = checked(PyLong_FromUnsignedLong(values.*field));
        if (PyDict_SetItemString(dict.get(), name, value.get()) < 0) throw PythonError{};
    }
    return dict;
}

// Sets the threshold called `name` in `values`.
void set_threshold(Thresholds& values, PyObject* name, PyObject* value) {
    for (const auto& [known, field] : THRESHOLD_NAMES) {
        if (PyUnicode_CompareWithASCIIString(name, known) != 0) continue;
        const std::uint64_t number = index_arg(value);
        if (number > UINT32_MAX) malformed("thresholds must fit 32 bits");
        values.*field = static_cast<std::uint32_t>(number);
        return;
    }
    PyErr_Format(PyExc_TypeError, "no threshold is called %R", name);
    throw PythonError{};
}

// thresholds(**named): sets the named engine thresholds of this module (all or none are checked
// before any changes) and gives all of them as they were, as a dict.
PyObject* thresholds_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        if (nargs != 0) malformed("thresholds are set by keyword only");
        const Thresholds previous = thresholds;
        Thresholds values = previous;
        const Py_ssize_t named = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
        for (Py_ssize_t i = 0; i < named; ++i) set_threshold(values, PyTuple_GET_ITEM(kwnames, i), args[i]);
        if (values.initial_row_words == 0) malformed("initial_row_words must be at least 1");
        OwnedRef result = thresholds_dict(previous);
        thresholds = values;
        return result.release();
    });
}

template <void (*OPERATION)(State&, Qubit, Qubit)>
PyObject* pair_operation(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        if (nargs != 3) malformed("expected (sim, a, b)");
        State& state = state_of(args[0]);
        const Qubit a = qubit_arg(args[1]);
        const Qubit b = qubit_arg(args[2]);
        if (a == b) malformed("the two vertices must differ");
        OPERATION(state, a, b);
        Py_RETURN_NONE;
    });
}

// The graph rewrites work on graph form: a component held in a tableau leaves it first.
void local_complement_qubit(State& state, Qubit q) {
    ensure_graph_form(state, state.slot(q));
    local_complement(state, state.slot(q));
}

void pivot_qubits(State& state, Qubit p, Qubit r) {
    ensure_graph_form(state, state.slot(p));
    ensure_graph_form(state, state.slot(r));
    if (!has_edge(state, state.slot(p), state.slot(r))) malformed("a pivot needs an edge");
    pivot(state, state.slot(p), state.slot(r));
}

PyObject* local_complement_function(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        if (nargs != 2) malformed("expected (sim, v)");
        local_complement_qubit(state_of(args[0]), qubit_arg(args[1]));
        Py_RETURN_NONE;
    });
}

PyObject* measure_function(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        if (nargs != 4) malformed("expected (sim, qubit, axis, words)");
        State& state = raw_state_of(args[0]);
        const Qubit qubit = qubit_arg(args[1]);
        const std::uint64_t axis = index_arg(args[2]);
        if (axis > 2) malformed("axis must be 0, 1 or 2");
        const std::vector<std::uint32_t> words = words_arg(args[3]);
        SuppliedWords draw{&words};
        const std::uint8_t result = measure(state, qubit, static_cast<axis_t>(axis), draw);
        return Py_BuildValue("(in)", result, static_cast<Py_ssize_t>(draw.used));
    });
}

// The step-by-step reference operations work on the graph of `sim` and put the result back.
template <class Operation>
PyObject* on_literal_graph(PyObject* sim, Operation&& operation) {
    State& state = state_of(sim);
    literal::Graph graph = graph_of(state);
    OwnedRef result = checked(operation(graph));
    State rebuilt = state_of_graph(graph);
    state = std::move(rebuilt);
    return result.release();
}

PyObject* literal_local_complement(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        if (nargs != 2) malformed("expected (sim, v)");
        const std::uint64_t v = index_arg(args[1]);
        return on_literal_graph(args[0], [&](literal::Graph& graph) {
            if (v >= graph.vop.size()) throw_index_out_of_bounds(graph.vop.size(), v);
            literal::local_complement(graph, v);
            Py_RETURN_NONE;
        });
    });
}

template <void (*OPERATION)(literal::Graph&, std::size_t, std::size_t)>
PyObject* literal_pair(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        if (nargs != 3) malformed("expected (sim, a, b)");
        const std::uint64_t a = index_arg(args[1]);
        const std::uint64_t b = index_arg(args[2]);
        if (a == b) malformed("the two vertices must differ");
        return on_literal_graph(args[0], [&](literal::Graph& graph) {
            if (a >= graph.vop.size()) throw_index_out_of_bounds(graph.vop.size(), a);
            if (b >= graph.vop.size()) throw_index_out_of_bounds(graph.vop.size(), b);
            OPERATION(graph, a, b);
            Py_RETURN_NONE;
        });
    });
}

PyObject* literal_measure(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        if (nargs != 4) malformed("expected (sim, qubit, axis, words)");
        const std::uint64_t qubit = index_arg(args[1]);
        const std::uint64_t axis = index_arg(args[2]);
        if (axis > 2) malformed("axis must be 0, 1 or 2");
        const std::vector<std::uint32_t> words = words_arg(args[3]);
        return on_literal_graph(args[0], [&](literal::Graph& graph) {
            if (qubit >= graph.vop.size()) throw_index_out_of_bounds(graph.vop.size(), qubit);
            SuppliedWords draw{&words};
            const std::uint8_t result = literal::measure(graph, qubit, static_cast<axis_t>(axis), draw);
            return Py_BuildValue("(in)", result, static_cast<Py_ssize_t>(draw.used));
        });
    });
}

// The engine function of each two-qubit entry of GATES (null for the others), to call by name.
using PairGate = void (*)(State&, Qubit, Qubit);

template <std::size_t I>
constexpr PairGate pair_gate() {
    if constexpr (GATES[I].kind == GateKind::two_qubit) {
        return apply_two_qubit_gate<GATES[I].frame>;
    } else {
        return nullptr;
    }
}

template <std::size_t... I>
constexpr std::array<PairGate, sizeof...(I)> pair_gates(std::index_sequence<I...>) {
    return {pair_gate<I>()...};
}

constexpr auto PAIR_GATES = pair_gates(std::make_index_sequence<std::size(GATES)>{});

// apply(sim, name, qubit[, qubit]): a gate or measurement of the public interface, by its method
// name, run through this module's copy of the engine (with this module's thresholds). A
// measurement draws from this module's generator and returns its result bit.
PyObject* apply(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        if ((nargs != 3 && nargs != 4) || !PyUnicode_Check(args[1])) malformed("expected (sim, name, qubit[, qubit])");
        State& state = raw_state_of(args[0]);
        const char* utf8 = PyUnicode_AsUTF8(args[1]);
        if (utf8 == nullptr) throw PythonError{};  // a name that UTF-8 cannot encode
        const std::string name = utf8;
        const Qubit a = qubit_arg(args[2]);
        const Qubit b = nargs == 4 ? qubit_arg(args[3]) : a;
        if (nargs == 4 && a == b) malformed("control and target must be different qubits");
        for (std::size_t i = 0; i < std::size(GATES); ++i) {
            const Gate& gate = GATES[i];
            if (name != gate.name || operand_count(gate.kind) != nargs - 2) continue;
            switch (gate.kind) {
                case GateKind::single_qubit:
                    apply_gate(state, a, gate.vop);
                    Py_RETURN_NONE;
                case GateKind::two_qubit:
                    PAIR_GATES[i](state, a, b);
                    Py_RETURN_NONE;
                case GateKind::measurement:
                    return PyLong_FromLong(measure(state, a, gate.axis, ThreadRandom{}));
            }
        }
        malformed("no such gate or measurement");
    });
}

// gates(): the entries the gates and measurements of NodeWeave are made from, in their order:
// (name, "single_qubit", vop), (name, "measurement", axis) or (name, "two_qubit", (rotations,
// cz_first)), with the rotations before the controlled-Z as (operand, vop) pairs in the order
// made; operand 0 is the control, 1 the target.
OwnedRef gate_entry(const Gate& gate) {
    switch (gate.kind) {
        case GateKind::single_qubit:
            return checked(Py_BuildValue("(ssi)", gate.name, "single_qubit", gate.vop));
        case GateKind::measurement:
            return checked(Py_BuildValue("(ssi)", gate.name, "measurement", gate.axis));
        case GateKind::two_qubit:
            break;
    }
    OwnedRef rotations = checked(PyList_New(0));
    for (std::size_t r = 0; r < gate.frame.count; ++r) {
        const Rotation& rotation = gate.frame.before[r];
        append(rotations, checked(Py_BuildValue("(ii)", rotation.qubit, rotation.gate)));
    }
    return checked(Py_BuildValue("(ss(Ni))", gate.name, "two_qubit", rotations.release(),
                                 gate.frame.cz_first));
}

PyObject* gates(PyObject*, PyObject*) {
    return guarded<PyObject*>(nullptr, []() -> PyObject* {
        OwnedRef list = checked(PyList_New(0));
        for (const Gate& gate : GATES) append(list, gate_entry(gate));
        return list.release();
    });
}

PyObject* peek_function(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        if (nargs != 3) malformed("expected (sim, qubits, words)");
        const State& state = raw_state_of(args[0]);
        std::vector<Qubit> qubits;
        {
            const OwnedRef fast = checked(PySequence_Fast(args[1], "qubits must be a sequence"));
            for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(fast.get()); ++i) {
                Qubit q;
                if (!to_index(PySequence_Fast_GET_ITEM(fast.get(), i), "qubits", &q)) {
                    throw PythonError{};
                }
                qubits.push_back(q);
            }
        }
        const std::vector<std::uint32_t> words = words_arg(args[2]);
        SuppliedWords draw{&words};
        const std::vector<PeekRecord> records = peek_measure(state, qubits, draw);
        OwnedRef list = checked(PyList_New(static_cast<Py_ssize_t>(records.size())));
        for (std::size_t i = 0; i < records.size(); ++i) {
            set_item(list, i,
                     checked(Py_BuildValue("(Kii)", static_cast<unsigned long long>(index_of(records[i].qubit)),
                                           records[i].result, records[i].axis)));
        }
        return Py_BuildValue("(Nn)", list.release(), static_cast<Py_ssize_t>(draw.used));
    });
}

PyObject* chacha_block_function(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        if (nargs != 3 || !PyBytes_Check(args[0]) || PyBytes_GET_SIZE(args[0]) != 32) {
            malformed("expected (key: 32 bytes, words: 4 ints, rounds: int)");
        }
        std::array<std::uint32_t, 8> key;
        std::memcpy(key.data(), PyBytes_AS_STRING(args[0]), 32);
        const std::vector<std::uint32_t> tail_words = words_arg(args[1]);
        if (tail_words.size() != 4) malformed("words must hold four ints");
        std::array<std::uint32_t, 4> tail;
        std::copy(tail_words.begin(), tail_words.end(), tail.begin());
        const long rounds = PyLong_AsLong(args[2]);
        if (rounds == -1 && PyErr_Occurred()) throw PythonError{};
        if (rounds <= 0 || rounds % 2 != 0 || rounds > 40) malformed("rounds must be even");
        const auto block = chacha_block(key, tail, static_cast<int>(rounds));
        return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(block.data()), 64);
    });
}

PyObject* random_words(PyObject*, PyObject* count) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        const std::uint64_t n = index_arg(count);
        OwnedRef list = checked(PyList_New(static_cast<Py_ssize_t>(n)));
        for (std::uint64_t i = 0; i < n; ++i) {
            set_item(list, i, checked(PyLong_FromUnsignedLong(thread_random_word())));
        }
        return list.release();
    });
}

// index_set(qubits): the conversion of peek_measure_set's argument, as a list in ascending order.
PyObject* index_set(PyObject*, PyObject* qubits) {
    return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
        std::vector<Qubit> indices;
        if (!to_index_set(qubits, "qubits", &indices)) throw PythonError{};
        OwnedRef list = checked(PyList_New(static_cast<Py_ssize_t>(indices.size())));
        for (std::size_t i = 0; i < indices.size(); ++i) {
            set_item(list, i, checked(PyLong_FromUnsignedLongLong(index_of(indices[i]))));
        }
        return list.release();
    });
}

// This module's generators take their seeds through here: every attempt is counted, and
// fail_entropy makes the attempts fail.
std::atomic<long long> entropy_attempts{0};
std::atomic<bool> entropy_unreadable{false};

bool counted_entropy(std::array<std::uint32_t, 8>& key) {
    entropy_attempts.fetch_add(1, std::memory_order_relaxed);
    return !entropy_unreadable.load(std::memory_order_relaxed) && read_entropy(key);
}

// fail_entropy(flag): while set, this module's generators cannot read the system's entropy.
PyObject* fail_entropy(PyObject*, PyObject* flag) {
    const int failing = PyObject_IsTrue(flag);
    if (failing < 0) return nullptr;
    entropy_unreadable.store(failing != 0, std::memory_order_relaxed);
    Py_RETURN_NONE;
}

// entropy_reads(): how many times this module's generators have asked for entropy, in this
// process and (inherited through fork) its ancestors.
PyObject* entropy_reads(PyObject*, PyObject*) {
    return PyLong_FromLongLong(entropy_attempts.load(std::memory_order_relaxed));
}

template <auto FUNCTION>
constexpr PyMethodDef fast_function(const char* name) {
    return PyMethodDef{name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(FUNCTION)),
                       METH_FASTCALL, nullptr};
}

PyMethodDef functions[] = {
    {"tables", tables, METH_NOARGS, nullptr},
    {"dump", dump, METH_O, nullptr},
    fast_function<load>("load"),
    {"check", check_function, METH_O, nullptr},
    {"deferrals", deferrals_function, METH_O, nullptr},
    {"layout", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(layout)), METH_VARARGS | METH_KEYWORDS,
     nullptr},
    {"held", held, METH_O, nullptr},
    {"thresholds", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(thresholds_function)),
     METH_FASTCALL | METH_KEYWORDS, nullptr},
    fast_function<local_complement_function>("local_complement"),
    fast_function<pair_operation<pivot_qubits>>("pivot"),
    fast_function<pair_operation<cz>>("cz"),
    fast_function<measure_function>("measure"),
    fast_function<literal_local_complement>("literal_local_complement"),
    fast_function<literal_pair<literal::remove_vop>>("literal_remove_vop"),
    fast_function<literal_pair<literal::cz>>("literal_cz"),
    fast_function<literal_measure>("literal_measure"),
    fast_function<peek_function>("peek"),
    fast_function<apply>("apply"),
    {"gates", gates, METH_NOARGS, nullptr},
    fast_function<chacha_block_function>("chacha_block"),
    {"index_set", index_set, METH_O, nullptr},
    {"random_words", random_words, METH_O, nullptr},
    {"fail_entropy", fail_entropy, METH_O, nullptr},
    {"entropy_reads", entropy_reads, METH_NOARGS, nullptr},
    {"fail_allocation_after", fail_allocation_after, METH_O, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "_nodeweave_testing",
    "Engine internals of nodeweave, for its own tests only.", -1, functions,
    nullptr, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace nodeweave

int add_floor_type(PyObject* module);  // floor.cpp

PyMODINIT_FUNC PyInit__nodeweave_testing(void) {
    using namespace nodeweave;
    OwnedRef type;
    {
        const OwnedRef public_module(PyImport_ImportModule("nodeweave"));
        if (!public_module) return nullptr;
        type = OwnedRef(PyObject_GetAttrString(public_module.get(), "NodeWeave"));
    }
    if (!type) return nullptr;
    simulator_class = reinterpret_cast<PyTypeObject*>(type.release());  // kept for the process
    entropy_source = counted_entropy;
    OwnedRef module(PyModule_Create(&module_definition));
    if (!module) return nullptr;
    PyObject* panic = panic_exception_type();
    if (panic == nullptr || PyModule_AddObjectRef(module.get(), "PanicException", panic) < 0) {
        return nullptr;
    }
    if (add_floor_type(module.get()) < 0) return nullptr;
    return module.release();
}
