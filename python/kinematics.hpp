#pragma once
// The kinematics methods of Robot and FloatingRobot: Jacobians, their derivative, link twists
// and accelerations, and (Robot only) inverse kinematics.

#include "binding.hpp"

namespace vormek::py {

template <class Handle>
PyObject* jacobian(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
template <class Handle>
PyObject* jacobian_derivative(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
template <class Handle>
PyObject* forward_velocity_kinematics(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
template <class Handle>
PyObject* forward_acceleration_kinematics(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                          PyObject* kwnames);
PyObject* inverse_kinematics(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace vormek::py
