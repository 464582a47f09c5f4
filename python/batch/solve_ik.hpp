#pragma once
// RobotBatch.solve_ik: a goal per row, each solved as Robot.solve_ik solves it, with a success mask.

#include "binding.hpp"
#include "solve_ik_options.hpp"

namespace vormek::py::batch {

PyObject* solve_ik(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

#define VORMEK_BATCH_SOLVE_IK_DOC                                                                              \
    "solve_ik($self, Q, target, desired, " VORMEK_SOLVE_IK_OPTIONS ", out=None)\n--\n\n"                      \
    "Robot.solve_ik for B goals: Q (B, n) the starts, desired (B, 7) the world goals as translation x, y, "   \
    "z then quaternion x, y, z, w. Returns (solutions (B, n), solved (B,) bool); out, when given, is the "    \
    "(B, n) array of solutions. A row that finds no solution does not raise: its mask entry is False and "   \
    "its row holds the best configuration met, inside the limits. Each row is bit for bit what "            \
    "Robot.solve_ik gives with the same arguments, whatever the thread count.\n\n"                          \
    "Every argument is checked before any row is computed. A row whose goal is refused (a non-finite "       \
    "value or a zero quaternion) raises ValueError, its message led by 'row i: ', with i the lowest such "   \
    "row; the output rows before it hold their results."

}  // namespace vormek::py::batch
