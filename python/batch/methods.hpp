#pragma once
// The computations of RobotBatch (Handle = Robot) and FloatingRobotBatch (FloatingRobot).

#include "binding.hpp"

namespace vormek::py::batch {

#define VORMEK_BATCH_METHOD(name) \
    template <class Handle>       \
    PyObject* name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
VORMEK_BATCH_METHOD(forward_kinematics);
VORMEK_BATCH_METHOD(link_poses);  // link_poses.cpp
VORMEK_BATCH_METHOD(jacobian);
VORMEK_BATCH_METHOD(mass_matrix);
VORMEK_BATCH_METHOD(gravity);
VORMEK_BATCH_METHOD(velocity_product_forces);
VORMEK_BATCH_METHOD(inverse_dynamics);
VORMEK_BATCH_METHOD(forward_dynamics);
#undef VORMEK_BATCH_METHOD

}  // namespace vormek::py::batch
