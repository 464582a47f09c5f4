#pragma once
// link_poses of Robot and FloatingRobot: every link's world pose in one call.

#include "binding.hpp"

namespace vormek::py {

template <class Handle>
PyObject* link_poses(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace vormek::py
