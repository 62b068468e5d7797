// PanicException for the public module.
#include "bindings/guard.h"

namespace nodeweave {

static const char PANIC_DOC[] =
    "Raised when nodeweave meets an internal failure, such as a qubit index outside the "
    "simulator.\n\n"
    "Like SystemExit, it derives from BaseException rather than Exception, so that it usually "
    "propagates to the top instead of being swallowed by a broad `except Exception`.";

PyObject* panic_exception_type() {
    // Created under the interpreter lock, once per process.
    static PyObject* type = nullptr;
    if (type == nullptr) {
        type = PyErr_NewExceptionWithDoc("nodeweave.PanicException", PANIC_DOC,
                                         PyExc_BaseException, nullptr);
    }
    return type;
}

}  // namespace nodeweave
