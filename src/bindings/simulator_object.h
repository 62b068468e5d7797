#pragma once
// The layout of a NodeWeave instance: the interpreter's header, the simulator state it owns, and
// the access word that arbitrates between overlapping calls.

#include "bindings/borrow.h"
#include "bindings/python.h"
#include "engine/core/state.h"

namespace nodeweave {

struct SimulatorObject {
    PyObject_HEAD
    State state;
    BorrowFlag borrow_flag;
};

// The NodeWeave type, created on first use once per process. Borrowed reference, or NULL with an
// exception set.
PyTypeObject* simulator_type();

}  // namespace nodeweave
