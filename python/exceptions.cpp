// The exception classes of _vormek, created on first use; _batch raises the same classes,
// looked up from this module.

#include "binding.hpp"

namespace vormek::py {

PyObject* exception_class(ExceptionClass which) {
    static PyObject* classes[4] = {};
    static constexpr const char* names[4] = {"_vormek.VormekError", "_vormek.ModelError", "_vormek.SolverError",
                                             "_vormek.PanicError"};
    const int i = static_cast<int>(which);
    if (!classes[i]) {
        PyObject* base = which == ExceptionClass::VormekError ? PyExc_RuntimeError
                                                              : exception_class(ExceptionClass::VormekError);
        if (!base) return nullptr;
        classes[i] = PyErr_NewException(names[i], base, nullptr);
        if (!classes[i]) PyErr_SetString(PyExc_SystemError, "Failed to initialize new exception type.");
    }
    return classes[i];
}

}  // namespace vormek::py
