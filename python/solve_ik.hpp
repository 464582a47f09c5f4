#pragma once
// Robot.solve_ik: inverse kinematics inside the joint limits, with seeded restarts.

#include "binding.hpp"
#include "solve_ik_options.hpp"

namespace vormek::py {

PyObject* solve_ik(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

#define VORMEK_SOLVE_IK_DOC                                                                                 \
    "solve_ik($self, q, target, desired, " VORMEK_SOLVE_IK_OPTIONS ", out=None)\n--\n\n"                    \
    "Joint positions (n,) that put the target link's tool frame (the link frame, or `tool`, a Pose in "     \
    "the link frame) at the world pose `desired`, every coordinate inside its URDF limits at every "        \
    "iterate. Only the joints between the root and the target move; the others keep their values in q, "     \
    "clamped into their limits. A damped least-squares descent starts from q (clamped); when it "         \
    "stalls, it starts again from joint positions drawn from the limits by a generator seeded with "      \
    "`seed`, up to `restarts` times, so the same arguments always give the same answer. Solved means "     \
    "a translation error (metres) and a rotation error (radians) both within `tolerance` (the "           \
    "translation alone with position_only=True); `orientation_weight` is the metres one radian counts "   \
    "for while iterating. `max_iterations` bounds each descent.\n\n"                                       \
    "Raises SolverError naming the best translation and rotation errors reached and the restarts when "   \
    "no solution is found; ValueError or TypeError for bad arguments, before any work."

}  // namespace vormek::py
