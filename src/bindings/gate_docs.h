#pragma once
// The docstring of each gate and measurement of NodeWeave, by the name of its entry in GATES
// (engine/gates/gates.h). A missing or stray docstring does not compile.

#include <string_view>

#include "engine/gates/gates.h"

namespace nodeweave {

#define NODE_IS "\n\n`node` is the index of the qubit."
#define MEASURE_RETURNS "\n\nReturns `MeasurementResult.PlusOne` or `MeasurementResult.MinusOne`."

struct GateDoc {
    std::string_view name;
    const char* text;  // the text after the signature line, which the table adds
};

inline constexpr GateDoc GATE_DOCS[] = {
    {"x", "Apply an X (Pauli-X) gate to the given qubit." NODE_IS},
    {"y", "Apply a Y (Pauli-Y) gate to the given qubit." NODE_IS},
    {"z", "Apply a Z (Pauli-Z) gate to the given qubit." NODE_IS},
    {"h", "Apply an H (Hadamard) gate to the given qubit." NODE_IS},
    {"s", "Apply an S (phase) gate to the given qubit." NODE_IS},
    {"sdag", "Apply an S\u2020 (inverse phase) gate to the given qubit." NODE_IS},
    {"cz", "Apply a controlled-Z (CZ) gate with `control` and `target` qubits."},
    {"cx", "Apply a controlled-X (CX) / CNOT gate with `control` and `target`."},
    {"xcx", "Apply an X-controlled X gate (CX in the X basis)."},
    {"ycx", "Apply a Y-controlled X gate (control qubit in the Y basis)."},
    {"xcz", "Apply an X-controlled Z gate (target in X basis)."},
    {"ycz", "Apply a Y-controlled Z gate (target in Y basis)."},
    {"cy", "Apply a controlled-Y (CY) gate with `control` and `target`."},
    {"xcy", "Apply an X-controlled Y gate (control in X basis)."},
    {"ycy", "Apply a Y-controlled Y gate (both in Y basis)."},
    {"measure_x", "Perform a projective measurement of `qubit` in the X basis." MEASURE_RETURNS},
    {"measure_y", "Perform a projective measurement of `qubit` in the Y basis." MEASURE_RETURNS},
    {"measure_z", "Perform a projective measurement of `qubit` in the Z basis." MEASURE_RETURNS},
};

#undef NODE_IS
#undef MEASURE_RETURNS

constexpr const char* doc_of(std::string_view name) {
    for (const GateDoc& doc : GATE_DOCS) {
        if (doc.name == name) return doc.text;
    }
    return nullptr;
}

// Whether every docstring belongs to an entry, so that none is left behind by a renamed gate.
constexpr bool every_doc_names_a_gate() {
    for (const GateDoc& doc : GATE_DOCS) {
        bool found = false;
        for (const Gate& gate : GATES) found = found || doc.name == gate.name;
        if (!found) return false;
    }
    return true;
}
static_assert(every_doc_names_a_gate(), "a docstring names no entry of GATES");

}  // namespace nodeweave
