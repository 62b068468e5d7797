#pragma once
// The one way the binding layer includes the interpreter's headers.
#define PY_SSIZE_T_CLEAN
#include <Python.h>
