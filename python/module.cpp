// The extension module _vormek: multi-phase initialisation, registration of the classes and the
// exception hierarchy. The module keeps no state of its own.

#define VORMEK_IMPORT_ARRAY
#include "arrays.hpp"
#include "binding.hpp"
#include "robots.hpp"
#include "values.hpp"

namespace vormek::py {

namespace {

// Binds `object` under `name` and appends the name to __all__ (created on first use).
int add(PyObject* module, const char* name, PyObject* object) {
    if (!object) return -1;
    Ref all(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        PyErr_Clear();
        all = Ref(PyList_New(0));
        if (!all || PyModule_AddObjectRef(module, "__all__", all.get()) < 0) return -1;
    }
    Ref text(PyUnicode_FromString(name));
    if (!text || PyList_Append(all.get(), text.get()) < 0) return -1;
    return PyModule_AddObjectRef(module, name, object);
}

int exec(PyObject* module) {
    if (_import_array() < 0) return -1;
    if (!count_forks() || !carry_borrow_registry_across_fork()) return -1;
    if (!create_value_types() || !create_robot_types()) return -1;
    const std::pair<const char*, PyTypeObject*> classes[] = {
        {"Pose", value_type<PoseValue>()},
        {"Twist", value_type<TwistValue>()},
        {"BaseState", value_type<BaseStateValue>()},
        {"Load", value_type<LoadValue>()},
        {"IkOptions", value_type<IkOptionsValue>()},
        {"Robot", robot_type()},
        {"FloatingRobot", floating_robot_type()},
    };
    for (const auto& [name, type] : classes)
        if (add(module, name, reinterpret_cast<PyObject*>(type)) < 0) return -1;
    const std::pair<const char*, ExceptionClass> exceptions[] = {
        {"VormekError", ExceptionClass::VormekError},
        {"ModelError", ExceptionClass::ModelError},
        {"SolverError", ExceptionClass::SolverError},
        {"PanicError", ExceptionClass::PanicError},
    };
    for (const auto& [name, which] : exceptions)
        if (add(module, name, exception_class(which)) < 0) return -1;
    // private, outside __all__: for vormek._batch, whose borrows must meet this module's
    Ref registry(borrow_registry_capsule());
    return registry ? PyModule_AddObjectRef(module, "_borrow_registry", registry.get()) : -1;
}

PyModuleDef_Slot slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec)},
#ifdef Py_mod_gil
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
    {0, nullptr},
};

PyModuleDef definition = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "_vormek",
    .m_doc = "",
    .m_size = 0,
    .m_methods = nullptr,
    .m_slots = slots,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

}  // namespace

}  // namespace vormek::py

PyMODINIT_FUNC PyInit__vormek() { return PyModuleDef_Init(&vormek::py::definition); }
