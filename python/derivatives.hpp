#pragma once
// The derivative methods of Robot and FloatingRobot: of inverse and forward dynamics, and the
// inverse of the mass matrix.

#include "binding.hpp"

namespace vormek::py {

template <class Handle>
PyObject* inverse_dynamics_derivatives(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
template <class Handle>
PyObject* forward_dynamics_derivatives(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
template <class Handle>
PyObject* mass_matrix_inverse(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace vormek::py
