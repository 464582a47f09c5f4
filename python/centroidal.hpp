#pragma once
// The centre-of-mass, momentum and energy methods of Robot and FloatingRobot (their docstrings
// are in docs.hpp).

#include "binding.hpp"

namespace vormek::py {

#define VORMEK_CENTROIDAL_METHOD(name) \
    template <class Handle>            \
    PyObject* name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
VORMEK_CENTROIDAL_METHOD(center_of_mass);
VORMEK_CENTROIDAL_METHOD(center_of_mass_velocity);
VORMEK_CENTROIDAL_METHOD(center_of_mass_jacobian);
VORMEK_CENTROIDAL_METHOD(momentum);
VORMEK_CENTROIDAL_METHOD(centroidal_momentum_matrix);
VORMEK_CENTROIDAL_METHOD(kinetic_energy);
VORMEK_CENTROIDAL_METHOD(potential_energy);
#undef VORMEK_CENTROIDAL_METHOD

}  // namespace vormek::py
