#pragma once
// The robot classes Robot (fixed base) and FloatingRobot.

#include "binding.hpp"

namespace vormek::py {

// Creates both type objects once (module execution).
bool create_robot_types();
PyTypeObject* robot_type();
PyTypeObject* floating_robot_type();

}  // namespace vormek::py
