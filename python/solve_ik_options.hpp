#pragma once
// The keyword options that Robot.solve_ik and RobotBatch.solve_ik share: their names, defaults
// (the text signature's) and conversion.

#include <cstddef>

#include "binding.hpp"
#include "robot/kinematics/solve_ik_options.hpp"

namespace vormek::py {

inline constexpr std::size_t solve_ik_option_count = 7;
#define VORMEK_SOLVE_IK_OPTION_NAMES \
    "tool", "position_only", "orientation_weight", "tolerance", "max_iterations", "restarts", "seed"
#define VORMEK_SOLVE_IK_OPTIONS                                                                            \
    "*, tool=None, position_only=False, orientation_weight=1.0, tolerance=1e-06, max_iterations=50, " \
    "restarts=200, seed=0"

// The options from their values in the order of the names (nullptr: omitted, the default), each
// converted in turn: TypeError naming the argument for a tool that is not a Pose or None, a
// position_only that is not a bool, a real that is not a number, a count that is not an integer
// (OverflowError when negative or too large); ValueError for a tool the pose intake refuses.
// Raises at once, so it runs before anything is locked. The values are the core's to check.
bool convert_solve_ik_options(PyObject* const* values, SolveIkOptions& out);

// TypeError "name() takes 3 positional arguments but 4 were given": the options are keyword-only.
bool keyword_only_options(const char* function, Py_ssize_t nargs, Py_ssize_t positional);

}  // namespace vormek::py
