#pragma once
// The dynamics methods of Robot and FloatingRobot: gravity, inverse and forward dynamics, the
// mass matrix and velocity-product forces.

#include "binding.hpp"

namespace vormek::py {

template <class Handle>
PyObject* gravity(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
template <class Handle>
PyObject* inverse_dynamics(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
template <class Handle>
PyObject* forward_dynamics(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
template <class Handle>
PyObject* mass_matrix(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
template <class Handle>
PyObject* velocity_product_forces(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace vormek::py
