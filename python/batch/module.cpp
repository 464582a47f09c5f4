// The extension module vormek._batch. It raises _vormek's own exception classes, so that a
// failed row is caught by the same except clause as the single-state call.

#define VORMEK_IMPORT_ARRAY
#include "batch.hpp"

namespace vormek::py {

namespace {

PyObject* imported_classes[4] = {};  // _vormek's, in ExceptionClass order; held for the process

}  // namespace

PyObject* exception_class(ExceptionClass which) {
    PyObject* c = imported_classes[static_cast<int>(which)];
    if (!c) PyErr_SetString(PyExc_SystemError, "vormek._batch is not initialised");
    return c;
}

namespace batch {

unsigned long main_thread_ident = 0;

namespace {

int exec(PyObject* module) {
    if (_import_array() < 0 || !count_forks()) return -1;
    Ref threading(PyImport_ImportModule("threading"));
    Ref main_thread(threading ? PyObject_CallMethod(threading.get(), "main_thread", nullptr) : nullptr);
    Ref ident(main_thread ? PyObject_GetAttrString(main_thread.get(), "ident") : nullptr);
    if (!ident) return -1;
    main_thread_ident = PyLong_AsUnsignedLong(ident.get());
    if (PyErr_Occurred()) return -1;
    Ref vormek(PyImport_ImportModule("_vormek"));
    if (!vormek) return -1;
    Ref registry(PyObject_GetAttrString(vormek.get(), "_borrow_registry"));
    if (!registry || !adopt_borrow_registry(registry.get())) return -1;
    const char* const names[4] = {"VormekError", "ModelError", "SolverError", "PanicError"};
    for (int i = 0; i < 4; ++i)
        if (!imported_classes[i] && !(imported_classes[i] = PyObject_GetAttrString(vormek.get(), names[i])))
            return -1;
    if (!create_batch_types()) return -1;
    const std::pair<const char*, PyTypeObject*> classes[] = {
        {"RobotBatch", robot_batch_type()},
        {"FloatingRobotBatch", floating_robot_batch_type()},
    };
    Ref all(PyList_New(0));
    if (!all) return -1;
    for (const auto& [name, type] : classes) {
        Ref text(PyUnicode_FromString(name));
        if (!text || PyList_Append(all.get(), text.get()) < 0 ||
            PyModule_AddObjectRef(module, name, reinterpret_cast<PyObject*>(type)) < 0)
            return -1;
    }
    return PyModule_AddObjectRef(module, "__all__", all.get());
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
    .m_name = "vormek._batch",
    .m_doc = "",
    .m_size = 0,
    .m_methods = nullptr,
    .m_slots = slots,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

}  // namespace

}  // namespace batch

}  // namespace vormek::py

PyMODINIT_FUNC PyInit__batch() { return PyModuleDef_Init(&vormek::py::batch::definition); }
