// The module's entry point: initialisation and the registration of the four classes.

#include <atomic>
#include <cstdint>
#include <mutex>

#include "bindings/guard.h"
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
    PyObject* all = PyObject_GetAttrString(module, "__all__");
    if (all == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
        PyErr_Clear();
        all = PyList_New(0);
        if (all == nullptr || PyObject_SetAttrString(module, "__all__", all) < 0) {
            Py_XDECREF(all);
            return false;
        }
    }
    PyObject* type_name = PyUnicode_FromString(name);
    const bool ok = type_name != nullptr && PyList_Append(all, type_name) == 0 &&
                    PyModule_AddObjectRef(module, name, reinterpret_cast<PyObject*>(type)) == 0;
    Py_XDECREF(type_name);
    Py_DECREF(all);
    return ok;
}

PyObject* create_module() {
    PyObject* module = PyModule_Create2(&module_definition, 1013);
    if (module == nullptr) return nullptr;
    if (!register_class(module, "MeasurementResult", measurement_result_type()) ||
        !register_class(module, "Outcome", outcome_type()) ||
        !register_class(module, "Axis", axis_type()) ||
        !register_class(module, "NodeWeave", simulator_type())) {
        Py_DECREF(module);
        return nullptr;
    }
    return module;
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
