#pragma once
// The immutable value classes: Axis (X, Y, Z), MeasurementResult (PlusOne, MinusOne) and Outcome
// (a result with the axis measured). Python code cannot construct them; the simulator makes new
// instances at the boundary, and the members are shared class attributes.

#include <cstdint>

#include "bindings/python.h"

namespace nodeweave {

// The type objects, created on first use once per process (with their class attributes).
// Borrowed references, or NULL with an exception set.
PyTypeObject* measurement_result_type();
PyTypeObject* outcome_type();
PyTypeObject* axis_type();

// New objects (new references, or NULL with an exception set).
PyObject* new_measurement_result(std::uint8_t result);
PyObject* new_axis(std::uint8_t axis);
PyObject* new_outcome(std::uint8_t result, std::uint8_t axis);

// Sets the value of a MeasurementResult made by new_measurement_result that no one else has seen
// yet, so that a result object can be allocated before the state changes.
void set_measurement_result(PyObject* fresh_result, std::uint8_t result);

}  // namespace nodeweave
