#pragma once
// The centre-of-mass, momentum and energy methods of RobotBatch (Handle = Robot) and
// FloatingRobotBatch (FloatingRobot); their docstrings are in docs.hpp.

#include "binding.hpp"

namespace vormek::py::batch {

#define VORMEK_BATCH_METHOD(name) \
    template <class Handle>       \
    PyObject* name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
VORMEK_BATCH_METHOD(center_of_mass);
VORMEK_BATCH_METHOD(center_of_mass_velocity);
VORMEK_BATCH_METHOD(center_of_mass_jacobian);
VORMEK_BATCH_METHOD(momentum);
VORMEK_BATCH_METHOD(centroidal_momentum_matrix);
VORMEK_BATCH_METHOD(kinetic_energy);
VORMEK_BATCH_METHOD(potential_energy);
#undef VORMEK_BATCH_METHOD

}  // namespace vormek::py::batch
