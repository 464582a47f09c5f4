#pragma once
// The derivative methods of RobotBatch and FloatingRobotBatch: one state per row, as the
// single-state methods compute it.

#include "binding.hpp"

namespace vormek::py::batch {

template <class Handle>
PyObject* inverse_dynamics_derivatives(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
template <class Handle>
PyObject* forward_dynamics_derivatives(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
template <class Handle>
PyObject* mass_matrix_inverse(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace vormek::py::batch
