#include "binding.hpp"

#include <pthread.h>

#include <cerrno>

namespace vormek::py {

namespace {

// Raises `type` with the message as its only argument (core texts are UTF-8, names included).
PyObject* raise(PyObject* type, std::string_view message) {
    if (!type) return nullptr;
    Ref text(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    if (text) PyErr_SetObject(type, text.get());
    return nullptr;
}

}  // namespace

PyObject* error_class(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Urdf:
        case ErrorKind::InvalidModel:
        case ErrorKind::UnsupportedJointType:
        case ErrorKind::InvalidJointAxis:
            return exception_class(ExceptionClass::ModelError);
        case ErrorKind::IkNumericalFailure:
        case ErrorKind::IkJointLimitViolation:
        case ErrorKind::IkNotConverged:
        case ErrorKind::ForwardDynamicsSingularJointInertia:
        case ErrorKind::ForwardDynamicsSingularBaseInertia:
        case ErrorKind::IkNoSolution:
            return exception_class(ExceptionClass::SolverError);
        default:
            return PyExc_ValueError;
    }
}

PyObject* core_error(Error error) { return raise(error_class(error.kind()), error.message()); }

PyObject* raise_panic(const char* text) {
    return raise(exception_class(ExceptionClass::PanicError), text && *text ? text : "native vormek panic");
}

PyObject* Failure::raise() const {
    if (label) return PyErr_Format(type, format, label);
    return PyErr_Format(type, format, number);
}

void retag_type_error(const char* argument) {
    // only a TypeError is about the argument's type; KeyboardInterrupt, MemoryError or whatever
    // user code raised keeps its class and text
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    Ref t(type), v(value), tb(traceback);
    Ref text(v ? PyObject_Str(v.get()) : nullptr);
    if (!text) {
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "argument '%s': invalid value", argument);
        return;
    }
    PyErr_Format(PyExc_TypeError, "argument '%s': %U", argument, text.get());
}

bool convert_index(PyObject* obj, const char* argument, std::uint64_t& out) {
    if (PyLong_CheckExact(obj)) {
        out = PyLong_AsUnsignedLongLong(obj);
        return !(out == static_cast<std::uint64_t>(-1) && PyErr_Occurred());
    }
    Ref index(PyNumber_Index(obj));
    if (!index) {
        retag_type_error(argument);
        return false;
    }
    out = PyLong_AsUnsignedLongLong(index.get());
    return !(out == static_cast<std::uint64_t>(-1) && PyErr_Occurred());
}

bool convert_numbers(PyObject* obj, const char* argument, double* out, std::size_t count) {
    if (!PySequence_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "argument '%s': expected a sequence of %zu numbers, got %s", argument, count,
                     Py_TYPE(obj)->tp_name);
        return false;
    }
    const Py_ssize_t n = PySequence_Size(obj);
    if (n < 0) return false;
    if (static_cast<std::size_t>(n) != count) {
        PyErr_Format(PyExc_ValueError, "expected a sequence of length %zu (got %zd)", count, n);
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        Ref item(PySequence_GetItem(obj, static_cast<Py_ssize_t>(i)));
        if (!item) return false;
        const double v = PyFloat_AsDouble(item.get());
        if (v == -1.0 && PyErr_Occurred()) {
            retag_type_error(argument);
            return false;
        }
        out[i] = v;
    }
    return true;
}

PyTypeObject* create_heap_type(const char* name, std::size_t basicsize, PyType_Slot* slots) {
    PyType_Spec type_spec = {
        .name = name,
        .basicsize = static_cast<int>(basicsize),
        .itemsize = 0,
        .flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
        .slots = slots,
    };
    PyObject* type = PyType_FromSpec(&type_spec);
    if (!type) return nullptr;
    auto* t = reinterpret_cast<PyTypeObject*>(type);
    // a docstring that is only the text signature leaves __doc__ None, not ""
    PyObject* doc = PyDict_GetItemString(t->tp_dict, "__doc__");
    if (doc && (!PyUnicode_Check(doc) || PyUnicode_GET_LENGTH(doc) > 0)) return t;
    if (PyDict_SetItemString(t->tp_dict, "__doc__", Py_None) < 0) {
        Py_DECREF(type);
        return nullptr;
    }
    PyType_Modified(t);
    return t;
}

bool count_forks() {
    // once per module: each has its own count, and a module executed again (a reload, another
    // interpreter) must not count every fork twice
    static const int registered = pthread_atfork(nullptr, nullptr, [] {
        fork_generation.fetch_add(1, std::memory_order_relaxed);
    });
    if (registered == 0) return true;
    errno = registered;
    PyErr_SetFromErrno(PyExc_OSError);
    return false;
}

void RobotLock::wait_holding_gil() {
    for (;;) {
        const std::uint32_t contended = generation() | contended_;
        std::uint32_t s = state_.load(std::memory_order_acquire);
        // free, or held in a process this one was forked from: take it, marked contended, as
        // others may still sleep on it
        if (s == free_ || (s & ~state_bits_) != generation()) {
            state_.store(contended, std::memory_order_relaxed);
            return;
        }
        // held here: ask the holder's release to wake a sleeper. A compare-exchange, as the
        // holder may be releasing without the interpreter lock, ended on its way back
        if (s != contended && !state_.compare_exchange_strong(s, contended, std::memory_order_relaxed)) continue;
        PyThreadState* saved = PyEval_SaveThread();
        state_.wait(contended, std::memory_order_relaxed);
        take_gil(saved);
    }
}

bool require_open(const std::atomic<bool>& open) {
    if (open.load(std::memory_order_acquire)) return true;
    PyErr_SetString(PyExc_RuntimeError, "robot is closed");
    return false;
}

}  // namespace vormek::py
