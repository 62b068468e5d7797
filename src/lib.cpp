// The module's entry point: initialisation and the registration of the four classes.

#include <atomic>
#include <cstdint>
#include <mutex>

#include "bindings/guard.h"
#include "bindings/owned_ref.h"
#include "bindings/python.h"
#include "bindings/simulator_object.h"
#include "bindings/value_types.h"

namespace nodeweave {
namespace {

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "nodeweave",
    "Graph-state based quantum circuit simulator exposed as the `nodeweave` Python module.",
    0,        // no per-module state
    nullptr,  // no module-level functions
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// The interpreter that loaded the module; the module supports one interpreter per process.
std::atomic<std::int64_t> owner_interpreter{-1};
std::mutex creation_mutex;
PyObject* module_object = nullptr;

// Adds one class: to `__all__` (created on first use) and as the module attribute of its name.
bool register_class(PyObject* module, const char* name, PyTypeObject* type) {
    if (type == nullptr) return false;
    OwnedRef all(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all = OwnedRef(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return false;
    }
    OwnedRef type_name(PyUnicode_FromString(name));
    return type_name && PyList_Append(all.get(), type_name.get()) == 0 &&
           PyModule_AddObjectRef(module, name, reinterpret_cast<PyObject*>(type)) == 0;
}

PyObject* create_module() {
    OwnedRef module(PyModule_Create2(&module_definition, 1013));
    if (!module) return nullptr;
    if (!register_class(module.get(), "MeasurementResult", measurement_result_type()) ||
        !register_class(module.get(), "Outcome", outcome_type()) ||
        !register_class(module.get(), "Axis", axis_type()) ||
        !register_class(module.get(), "NodeWeave", simulator_type())) {
        return nullptr;
    }
    return module.release();
}

PyObject* initialise() {
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) return nullptr;
    std::int64_t expected = -1;
    if (!owner_interpreter.compare_exchange_strong(expected, id) && expected != id) {
        PyErr_SetString(PyExc_ImportError,
                        "nodeweave can be loaded by only one interpreter per process");
        return nullptr;
    }
    if (module_object != nullptr) return Py_NewRef(module_object);

    // Two threads importing at once create one module; a waiting thread lets the other run.
    std::unique_lock<std::mutex> lock(creation_mutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        Py_BEGIN_ALLOW_THREADS
        lock.lock();
        Py_END_ALLOW_THREADS
    }
    if (module_object == nullptr) {
        module_object = create_module();
        if (module_object == nullptr) return nullptr;
    }
    return Py_NewRef(module_object);
}

}  // namespace
}  // namespace nodeweave

PyMODINIT_FUNC PyInit_nodeweave(void) {
    return nodeweave::guarded<PyObject*>(nullptr, nodeweave::initialise);
}
