#include "solve_ik_options.hpp"

#include "values.hpp"

namespace vormek::py {

bool convert_solve_ik_options(PyObject* const* values, SolveIkOptions& out) {
    static constexpr const char* names[solve_ik_option_count] = {VORMEK_SOLVE_IK_OPTION_NAMES};
    out = SolveIkOptions{};
    if (PyObject* tool = values[0]; tool && tool != Py_None) {
        const PoseValue* pose = value_of<PoseValue>(tool);
        if (!pose) {
            PyErr_Format(PyExc_TypeError, "argument '%s': expected Pose or None", names[0]);
            return false;
        }
        if (const Check failed = pose_intake(*pose, out.tool)) {
            failed->raise();
            return false;
        }
    }
    if (PyObject* flag = values[1]) {
        if (!PyBool_Check(flag)) {
            PyErr_Format(PyExc_TypeError, "argument '%s': expected bool, got %s", names[1], Py_TYPE(flag)->tp_name);
            return false;
        }
        out.position_only = flag == Py_True;
    }
    double* reals[] = {&out.orientation_weight, &out.tolerance};
    for (int k = 0; k < 2; ++k) {
        if (PyObject* value = values[2 + k]) {
            const double v = PyFloat_AsDouble(value);
            if (v == -1.0 && PyErr_Occurred()) {
                retag_type_error(names[2 + k]);
                return false;
            }
            *reals[k] = v;
        }
    }
    std::uint64_t* counts[] = {&out.max_iterations, &out.restarts, &out.seed};
    for (int k = 0; k < 3; ++k)
        if (PyObject* value = values[4 + k]; value && !convert_index(value, names[4 + k], *counts[k])) return false;
    return true;
}

bool keyword_only_options(const char* function, Py_ssize_t nargs, Py_ssize_t positional) {
    if (nargs <= positional) return true;
    PyErr_Format(PyExc_TypeError, "%s() takes %zd positional arguments but %zd were given", function, positional,
                 nargs);
    return false;
}

}  // namespace vormek::py
