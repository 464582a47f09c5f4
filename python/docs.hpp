#pragma once
// The docstrings of the _vormek members that explain themselves at run time, one constant per
// method or property, so that the method tables change only by a pointer. Each callable's text
// opens with its text signature ("name($self, ...)\n--\n\n"), which is what inspect.signature
// reads; the stubs in python/vormek/_vormek.pyi carry the same text (tests/python/test_docs.py).
// The classes, their constructors and the first methods and properties publish only their
// signature; their explanations live in the stubs alone.

namespace vormek::py::doc {

// ---- Pose algebra ----------------------------------------------------------------------------

inline constexpr const char pose_rotation_matrix[] =
    "The 3 x 3 rotation matrix R (a new float64 array) of the normalised quaternion. ValueError for a "
    "non-finite pose or a zero quaternion.";
inline constexpr const char pose_matrix[] =
    "The 4 x 4 homogeneous matrix [[R, t], [0, 0, 0, 1]] (a new float64 array), so that "
    "T @ [p_B, 1] = [p_A, 1]. ValueError for a non-finite pose or a zero quaternion.";
inline constexpr const char pose_from_matrix[] =
    "from_matrix($cls, T)\n--\n\n"
    "The Pose of a 4 x 4 homogeneous matrix T (anything that converts to float64): the inverse of "
    "Pose.matrix, with the rotation as a unit quaternion of either sign.\n\n"
    "ValueError unless T is 4 x 4 and finite, its last row is (0, 0, 0, 1) and its upper-left block R "
    "is a rotation: every entry of R^T R - I within 1e-6 and det R > 0 (a slightly inexact R is "
    "accepted and its quaternion normalised; a scaled, sheared or reflecting one is refused).";
inline constexpr const char pose_inverse[] =
    "inverse($self)\n--\n\n"
    "The inverse transform: for the pose of B in A, the pose of A in B (R^T, -R^T t), with a unit "
    "quaternion. ValueError for a non-finite pose or a zero quaternion.";

// ---- robots ----------------------------------------------------------------------------------
// A text shared by Robot and FloatingRobot is a macro; the floating class appends its base.

#define VORMEK_SIG(signature) signature "\n--\n\n"
#define VORMEK_ARRAYS                                                                              \
    "\n\nJoint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional "     \
    "float64 array of joint_count entries, in the order of q: one per non-fixed joint, "           \
    "breadth-first from the root."
#define VORMEK_FLOATING_ARRAYS                                                                      \
    "\n\nbase: the root link's BaseState (TypeError otherwise). Joint vectors take anything that "  \
    "converts to a one-dimensional float64 array of joint_count entries, in the order of q: one per " \
    "non-fixed joint, breadth-first from the root. Generalized vectors and results have "          \
    "generalized_count = joint_count + 6 entries, the base first: angular then linear (world axes, " \
    "about or at the root origin), then the joints."
#define VORMEK_OUT                                                                                   \
    "\n\nout: None for a new array, or a writable contiguous one-dimensional float64 array of exactly " \
    "the result's size, written and returned (ValueError otherwise)."
#define VORMEK_ERRORS                                                                                  \
    "\n\nRaises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite "    \
    "input or an invalid link index, TypeError for an argument of the wrong type, RuntimeError "   \
    "'robot is closed' after close(). Everything is checked before anything is written."

// loading from text
#define VORMEK_FROM_TEXT                                                                                \
    "Loads a robot from URDF text (a str), with the checks and messages of loading a file "            \
    "(ModelError)."
inline constexpr const char robot_from_urdf_text[] = VORMEK_SIG("from_urdf_text($cls, text)") VORMEK_FROM_TEXT;
inline constexpr const char floating_robot_from_urdf_text[] =
    VORMEK_SIG("from_urdf_text($cls, text, *, massless_root=False)") VORMEK_FROM_TEXT
    " The root link must have mass, as for the constructor; with massless_root=True a massless root "
    "link is accepted when the links fixed to it give the root body mass (ModelError 'invalid robot "
    "model: floating-base root link {name} must have positive mass' when neither has).";
#undef VORMEK_FROM_TEXT
// every link's pose
#define VORMEK_LINK_POSES                                                                              \
    "Returns every link's world pose from one walk of the tree: an (L, 7) float64 array, L = "        \
    "link_count, row l holding link l's translation (m), then its quaternion x, y, z, w, what "       \
    "forward_kinematics(q, l) returns, to the bit (sign not normalised)."
#define VORMEK_ROWS_OUT                                                                               \
    "\n\nout: None for a new array, or a writable C-contiguous (L, 7) float64 array, written and "    \
    "returned (ValueError otherwise)."
inline constexpr const char robot_link_poses[] =
    VORMEK_SIG("link_poses($self, q, out=None)") VORMEK_LINK_POSES VORMEK_ARRAYS VORMEK_ROWS_OUT VORMEK_ERRORS;
inline constexpr const char floating_link_poses[] =
    VORMEK_SIG("link_poses($self, base, q, out=None)") VORMEK_LINK_POSES " Only base.frame is read."
    VORMEK_FLOATING_ARRAYS VORMEK_ROWS_OUT VORMEK_ERRORS;
#undef VORMEK_LINK_POSES
#undef VORMEK_ROWS_OUT

// centre of mass, momentum and energy: the whole robot, every link counted
#define VORMEK_WHOLE " Every link counts, the root link and those fixed to it included."
#define VORMEK_COM                                                                                  \
    "Returns c, the world position of the robot's centre of mass (3 values, metres)." VORMEK_WHOLE
inline constexpr const char robot_center_of_mass[] =
    VORMEK_SIG("center_of_mass($self, q, out=None)") VORMEK_COM " NaN for a robot without mass." VORMEK_ARRAYS
    VORMEK_OUT VORMEK_ERRORS;
inline constexpr const char floating_center_of_mass[] =
    VORMEK_SIG("center_of_mass($self, base, q, out=None)") VORMEK_COM " Only base.frame is read."
    VORMEK_FLOATING_ARRAYS VORMEK_OUT VORMEK_ERRORS;
#undef VORMEK_COM

#define VORMEK_COM_VELOCITY "Returns the velocity of the centre of mass, J_c u in world axes (3 values, m/s)"
inline constexpr const char robot_center_of_mass_velocity[] =
    VORMEK_SIG("center_of_mass_velocity($self, q, qd, out=None)") VORMEK_COM_VELOCITY ", u = qd. NaN for a robot "
    "without mass." VORMEK_ARRAYS VORMEK_OUT VORMEK_ERRORS;
inline constexpr const char floating_center_of_mass_velocity[] =
    VORMEK_SIG("center_of_mass_velocity($self, base, q, qd, out=None)") VORMEK_COM_VELOCITY
    ", u = [base.velocity; qd]; base.frame's rotation and base.velocity are read." VORMEK_FLOATING_ARRAYS
    VORMEK_OUT VORMEK_ERRORS;
#undef VORMEK_COM_VELOCITY

#define VORMEK_COM_JACOBIAN                                                                            \
    "Returns J_c, the 3 x m Jacobian of the centre of mass in world axes (m = generalized_count), flat " \
    "column by column like jacobian: column k, the velocity of c per unit velocity of coordinate k, is " \
    "elements 3k to 3k + 2, so J_c = result.reshape(m, 3).T."
inline constexpr const char robot_center_of_mass_jacobian[] =
    VORMEK_SIG("center_of_mass_jacobian($self, q, out=None)") VORMEK_COM_JACOBIAN " NaN for a robot without "
    "mass." VORMEK_ARRAYS VORMEK_OUT VORMEK_ERRORS;
inline constexpr const char floating_center_of_mass_jacobian[] =
    VORMEK_SIG("center_of_mass_jacobian($self, base, q, out=None)") VORMEK_COM_JACOBIAN
    " The six base columns come first; only base.frame's rotation is read." VORMEK_FLOATING_ARRAYS VORMEK_OUT
    VORMEK_ERRORS;
#undef VORMEK_COM_JACOBIAN

#define VORMEK_MOMENTUM                                                                                   \
    "Returns the centroidal momentum h = A u as a Twist in world axes: angular, the angular momentum " \
    "about the centre of mass (kg m^2/s); linear, the linear momentum m c-dot (kg m/s)." VORMEK_WHOLE
inline constexpr const char robot_momentum[] =
    VORMEK_SIG("momentum($self, q, qd)") VORMEK_MOMENTUM " u = qd." VORMEK_ARRAYS VORMEK_ERRORS;
inline constexpr const char floating_momentum[] =
    VORMEK_SIG("momentum($self, base, q, qd)") VORMEK_MOMENTUM
    " u = [base.velocity; qd]; base.frame's rotation and base.velocity are read." VORMEK_FLOATING_ARRAYS
    VORMEK_ERRORS;
#undef VORMEK_MOMENTUM

#define VORMEK_MOMENTUM_MATRIX                                                                         \
    "Returns A, the 6 x m centroidal momentum matrix in world axes (m = generalized_count), so that " \
    "momentum() = A u; flat column by column like jacobian, angular rows first: A = "                 \
    "result.reshape(m, 6).T. The angular rows are about the centre of mass c; the linear ones are "     \
    "the robot's mass times J_c." VORMEK_WHOLE
inline constexpr const char robot_centroidal_momentum_matrix[] =
    VORMEK_SIG("centroidal_momentum_matrix($self, q, out=None)") VORMEK_MOMENTUM_MATRIX VORMEK_ARRAYS VORMEK_OUT
    VORMEK_ERRORS;
inline constexpr const char floating_centroidal_momentum_matrix[] =
    VORMEK_SIG("centroidal_momentum_matrix($self, base, q, out=None)") VORMEK_MOMENTUM_MATRIX
    " The base columns come first: A is the mass matrix's six base rows with their torque moved from the "
    "root origin p to c, A = [[1, -[c - p]x], [0, 1]] M[:6]. Only base.frame's rotation is read."
    VORMEK_FLOATING_ARRAYS VORMEK_OUT VORMEK_ERRORS;
#undef VORMEK_MOMENTUM_MATRIX

#define VORMEK_KINETIC "Returns the kinetic energy 1/2 u^T M u in joules, a float;"
inline constexpr const char robot_kinetic_energy[] =
    VORMEK_SIG("kinetic_energy($self, q, qd)") VORMEK_KINETIC " u = qd." VORMEK_ARRAYS VORMEK_ERRORS;
inline constexpr const char floating_kinetic_energy[] =
    VORMEK_SIG("kinetic_energy($self, base, q, qd)") VORMEK_KINETIC
    " u = [base.velocity; qd]; base.frame's rotation and base.velocity are read." VORMEK_FLOATING_ARRAYS
    VORMEK_ERRORS;
#undef VORMEK_KINETIC

#define VORMEK_POTENTIAL                                                                                 \
    "Returns the gravitational potential energy -m g.c in joules, a float: zero with the centre of mass " \
    "c at the world origin, g the gravity of the dynamics." VORMEK_WHOLE
inline constexpr const char robot_potential_energy[] =
    VORMEK_SIG("potential_energy($self, q)") VORMEK_POTENTIAL VORMEK_ARRAYS VORMEK_ERRORS;
inline constexpr const char floating_potential_energy[] =
    VORMEK_SIG("potential_energy($self, base, q)") VORMEK_POTENTIAL " Only base.frame is read."
    VORMEK_FLOATING_ARRAYS VORMEK_ERRORS;
#undef VORMEK_POTENTIAL
#undef VORMEK_WHOLE

// derivatives of the dynamics: tuples of flat arrays, `out` a tuple of as many
#define VORMEK_DERIVATIVE_LOADS                                                                        \
    "\n\nloads: None or a sequence of Load, each a wrench in its link's frame that the joints supply " \
    "in addition (TypeError for another item, ValueError for an invalid link or a non-finite wrench)."
#define VORMEK_DERIVATIVE_OUT                                                                          \
    "\n\nout: None for new arrays, or a tuple of that many writable contiguous one-dimensional float64 " \
    "arrays of exactly the results' sizes, written and returned (TypeError for another object, "       \
    "ValueError otherwise)."
#define VORMEK_FLOATING_DERIVATIVES                                                                    \
    " On the floating base the derivative by the base's position is along a small turn (about world x, " \
    "y, z) and shift (along them) of the root about its origin, R <- exp([dtheta]x) R, p <- p + dp, and " \
    "the one by its velocity is by u = [omega; pdot; qd]; the base rows stay about the moved origin."
#define VORMEK_ID_DERIVATIVES                                                                           \
    "Returns (dtau_dq, dtau_dqd, tau): the derivatives of inverse_dynamics at (q, qd, qdd) by q and by " \
    "qd, each m x m flat and row-major (entry i * m + j is d tau_i / d q_j), and tau itself, which "     \
    "comes with them. The derivative by qdd is mass_matrix(q). A load is fixed in its link and turns "  \
    "with it."
inline constexpr const char robot_inverse_dynamics_derivatives[] =
    VORMEK_SIG("inverse_dynamics_derivatives($self, q, qd, qdd, loads=None, out=None)") VORMEK_ID_DERIVATIVES
    VORMEK_ARRAYS VORMEK_DERIVATIVE_LOADS VORMEK_DERIVATIVE_OUT VORMEK_ERRORS;
inline constexpr const char floating_inverse_dynamics_derivatives[] =
    VORMEK_SIG("inverse_dynamics_derivatives($self, base, q, qd, qdd, loads=None, out=None)") VORMEK_ID_DERIVATIVES
    VORMEK_FLOATING_DERIVATIVES VORMEK_FLOATING_ARRAYS VORMEK_DERIVATIVE_LOADS VORMEK_DERIVATIVE_OUT VORMEK_ERRORS;
#undef VORMEK_ID_DERIVATIVES

#define VORMEK_FD_DERIVATIVES                                                                          \
    "Returns (dqdd_dq, dqdd_dqd, Minv): the derivatives of forward_dynamics at (q, qd, forces) by q, "  \
    "by qd and by forces, the last the inverse of the mass matrix, each m x m flat and row-major "     \
    "(entry i * m + j is d qdd_i / d q_j). SolverError when an articulated inertia is singular."
inline constexpr const char robot_forward_dynamics_derivatives[] =
    VORMEK_SIG("forward_dynamics_derivatives($self, q, qd, forces, loads=None, out=None)") VORMEK_FD_DERIVATIVES
    VORMEK_ARRAYS VORMEK_DERIVATIVE_LOADS VORMEK_DERIVATIVE_OUT VORMEK_ERRORS;
inline constexpr const char floating_forward_dynamics_derivatives[] =
    VORMEK_SIG("forward_dynamics_derivatives($self, base, q, qd, forces, loads=None, out=None)")
    VORMEK_FD_DERIVATIVES VORMEK_FLOATING_DERIVATIVES VORMEK_FLOATING_ARRAYS VORMEK_DERIVATIVE_LOADS VORMEK_DERIVATIVE_OUT
    VORMEK_ERRORS;
#undef VORMEK_FD_DERIVATIVES
#undef VORMEK_FLOATING_DERIVATIVES
#undef VORMEK_DERIVATIVE_OUT
#undef VORMEK_DERIVATIVE_LOADS

#define VORMEK_MASS_MATRIX_INVERSE                                                                    \
    "Returns the inverse of mass_matrix(q), m x m flat and row-major, computed articulated-body style " \
    "without forming M. SolverError when an articulated inertia is singular."
inline constexpr const char robot_mass_matrix_inverse[] =
    VORMEK_SIG("mass_matrix_inverse($self, q, out=None)") VORMEK_MASS_MATRIX_INVERSE VORMEK_ARRAYS VORMEK_OUT
    VORMEK_ERRORS;
inline constexpr const char floating_mass_matrix_inverse[] =
    VORMEK_SIG("mass_matrix_inverse($self, base, q, out=None)") VORMEK_MASS_MATRIX_INVERSE
    " Only base.frame's rotation is read." VORMEK_FLOATING_ARRAYS VORMEK_OUT VORMEK_ERRORS;
#undef VORMEK_MASS_MATRIX_INVERSE

#undef VORMEK_SIG
#undef VORMEK_ARRAYS
#undef VORMEK_FLOATING_ARRAYS
#undef VORMEK_OUT
#undef VORMEK_ERRORS

}  // namespace vormek::py::doc
