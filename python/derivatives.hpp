#pragma once
// The derivative methods of Robot and FloatingRobot: of inverse and forward dynamics, and the
// inverse of the mass matrix.

#include "binding.hpp"

namespace vormek::py {

template <class Handle>
PyObject* inverse_dynamics_derivatives(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
template <class Handle>
PyObject* forward_dynamics_derivatives(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
template <class Handle>
PyObject* mass_matrix_inverse(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// Their docstrings after the text signature; the stubs carry the same text.
#define VORMEK_INVERSE_DYNAMICS_DERIVATIVES_DOC                                                                  \
    "The derivatives of inverse dynamics at (q, qd, qdd) with the loads, as the tuple (dtau_dq, dtau_dqd, "      \
    "tau): two m x m arrays, flat and row-major like mass_matrix (entry i * m + j is the derivative of tau_i "   \
    "by q_j or qd_j), and the generalized forces tau themselves, which come with them. The derivative by qdd "  \
    "is mass_matrix(q). A load is fixed in its link and turns with it. `out` is None or a tuple of three "      \
    "float64 arrays of m * m, m * m and m values. Raises as inverse_dynamics does."
#define VORMEK_FORWARD_DYNAMICS_DERIVATIVES_DOC                                                                  \
    "The derivatives of forward dynamics at (q, qd, forces) with the loads, as the tuple (dqdd_dq, dqdd_dqd, "   \
    "Minv): three m x m arrays, flat and row-major (entry i * m + j is the derivative of qdd_i by q_j, qd_j "    \
    "or forces_j), the last the inverse of the mass matrix. `out` is None or a tuple of three float64 arrays " \
    "of m * m values. Raises as forward_dynamics does."
#define VORMEK_FLOATING_DERIVATIVES_DOC                                                                          \
    " On FloatingRobot, m = n + 6 and the base comes first: the derivative by the base's position is by a "     \
    "small turn (about world x, y, z) and shift (along them) of the root about its origin, the derivative "    \
    "by its velocity is by u = [omega; pdot; qd], as the other generalized vectors; derivatives of the base "  \
    "wrench are taken about the moved origin."
#define VORMEK_MASS_MATRIX_INVERSE_DOC                                                                           \
    "The inverse of mass_matrix(q), m x m, flat and row-major, computed articulated-body style without forming " \
    "the mass matrix. Raises SolverError for a singular joint inertia, as forward_dynamics does."

}  // namespace vormek::py
