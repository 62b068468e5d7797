#include <cstring>

#include "bindings/guard.h"

namespace nodeweave {

static const char GENERIC_PANIC_MESSAGE[] = "internal failure in nodeweave";

void set_panic(const char* message) {
    PyObject* type = panic_exception_type();
    if (type == nullptr) return;  // the failure to create the class is the exception now
    PyErr_SetString(type, message[0] != '\0' ? message : GENERIC_PANIC_MESSAGE);
}

}  // namespace nodeweave
