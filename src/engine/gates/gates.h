#pragma once
// The gates and measurements a simulator offers, one entry each, in the order the simulator class
// lists its methods. An entry is all the engine needs to run the operation; the Python methods and
// the test-support module are made from these entries, so a new gate is a new entry (and its
// docstring in the bindings).

#include <cstdint>

#include "clifford/tables.h"
#include "engine/gates/two_qubit.h"

namespace nodeweave {

enum class GateKind : std::uint8_t { single_qubit, two_qubit, measurement };

struct Gate {
    const char* name;  // the method name
    GateKind kind;
    vop_t vop = VOP_IDENTITY;  // a single-qubit gate: the VOP it multiplies in from the left
    axis_t axis = AXIS_Z;      // a measurement: the axis measured
    Frame frame = {};          // a two-qubit gate: the rotations around the controlled-Z
};

// Index arguments: the qubit, or the control and the target.
constexpr int operand_count(GateKind kind) { return kind == GateKind::two_qubit ? 2 : 1; }

namespace gate_list {

constexpr Gate single_qubit(const char* name, vop_t vop) {
    return {name, GateKind::single_qubit, vop};
}
constexpr Gate measurement(const char* name, axis_t axis) {
    return {name, GateKind::measurement, VOP_IDENTITY, axis};
}
// The rotations before the controlled-Z in their order, then the operand it takes first.
constexpr Gate two_qubit(const char* name, std::initializer_list<Rotation> before, Operand first) {
    return {name, GateKind::two_qubit, VOP_IDENTITY, AXIS_Z, Frame(before, first)};
}
constexpr Rotation h(Operand qubit) { return {qubit, VOP_H}; }
constexpr Rotation sdag(Operand qubit) { return {qubit, VOP_SDAG}; }

// xcz, ycz and xcy are cx, cy and ycx with the operands exchanged, step for step: they hand the
// controlled-Z the target first.
inline constexpr Gate GATES[] = {
    single_qubit("x", VOP_X),
    single_qubit("y", VOP_Y),
    single_qubit("z", VOP_Z),
    single_qubit("h", VOP_H),
    single_qubit("s", VOP_S),
    single_qubit("sdag", VOP_SDAG),
    two_qubit("cz", {}, CONTROL),
    two_qubit("cx", {h(TARGET)}, CONTROL),
    two_qubit("xcx", {h(CONTROL), h(TARGET)}, CONTROL),
    two_qubit("ycx", {sdag(CONTROL), h(CONTROL), h(TARGET)}, CONTROL),
    two_qubit("xcz", {h(CONTROL)}, TARGET),
    two_qubit("ycz", {sdag(CONTROL), h(CONTROL)}, TARGET),
    two_qubit("cy", {sdag(TARGET), h(TARGET)}, CONTROL),
    two_qubit("xcy", {sdag(TARGET), h(TARGET), h(CONTROL)}, TARGET),
    two_qubit("ycy", {sdag(TARGET), sdag(CONTROL), h(CONTROL), h(TARGET)}, CONTROL),
    measurement("measure_x", AXIS_X),
    measurement("measure_y", AXIS_Y),
    measurement("measure_z", AXIS_Z),
};

}  // namespace gate_list

using gate_list::GATES;

}  // namespace nodeweave
