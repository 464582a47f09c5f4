#pragma once
// The docstrings of vormek._batch, one constant per class, method or property, so that the
// method tables change only by a pointer. Each callable's text opens with its text signature;
// the stubs in python/vormek/_batch.pyi carry the same text (tests/python/test_docs.py).

namespace vormek::py::batch::doc {

#define VORMEK_SIG(signature) signature "\n--\n\n"
// How every computation reads its arrays and reports a failing row.
#define VORMEK_ROWS                                                                                      \
    "\n\nInputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a "  \
    "C-contiguous float64 array of the result's shape, written and returned (None: a new one). "       \
    "Every argument is checked before any row is computed: a wrong shape raises ValueError ('Q must "   \
    "have shape (B, 9), got (4, 8)'), a wrong type TypeError. When row i fails, the exception is the "  \
    "single-state call's, its message led by 'row i: ', with i the lowest failing row whatever the "   \
    "thread count; the output rows before i hold their results, row i and the rows after it are "      \
    "unspecified. After KeyboardInterrupt every output row is unspecified. RuntimeError 'robot is "    \
    "closed' after close()."
#define VORMEK_FIXED "\n\nQ, QD, QDD: (B, n) joint positions, velocities, accelerations, n = joint_count."
#define VORMEK_FLOATING                                                                                    \
    "\n\nframes: (B, 7) root poses, translation then quaternion x, y, z, w (as Pose takes them); "       \
    "velocities and accelerations: "                                                                        \
    "(B, 6) root twists, angular then linear, world axes, as in BaseState. Q, QD, QDD: (B, n) joint "    \
    "vectors, n = joint_count; TAU and the results have m = n + 6 generalized entries, the base first."

#define VORMEK_FK                                                                                        \
    "Returns (positions (B, 3), quaternions (B, 4) x, y, z, w) of link target's world frame, as "        \
    "Robot.forward_kinematics gives them row by row; out is a tuple of two such arrays."
#define VORMEK_JACOBIAN                                                                                  \
    "Returns the geometric Jacobians (B, 6, m) of link target: rows angular x, y, z then linear x, y, z " \
    "of the link origin, world axes; column k belongs to generalized coordinate k."
#define VORMEK_LINK_POSES                                                                              \
    "Returns every link's world pose (B, L, 7), L = link_count: per link its translation, then its "  \
    "quaternion x, y, z, w, as Robot.link_poses gives them row by row."
#define VORMEK_MASS "Returns the mass matrices (B, m, m), symmetric."
#define VORMEK_GRAVITY "Returns the generalized gravity forces (B, m) that hold each state still."
#define VORMEK_VELOCITY_PRODUCT "Returns the velocity-product (Coriolis and centrifugal) forces (B, m)."
#define VORMEK_INVERSE "Returns the generalized forces (B, m) that produce the accelerations: M qdd + c + g."
#define VORMEK_FORWARD "Returns the generalized accelerations (B, m) under the generalized forces TAU (B, m)."

inline constexpr const char robot_batch[] =
    VORMEK_SIG("RobotBatch(path, threads=None)")
    "A fixed-base robot loaded once from a URDF file for many states per call: the methods of Robot "
    "with a leading batch axis, each row bit for bit Robot's result, spread over a pool of threads.\n\n"
    "threads: the worker count from 1 to 1024, None for every core this process may run on "
    "(ValueError otherwise). ModelError when the file cannot be loaded. The interpreter lock is "
    "released while rows are computed. Loads are not taken: apply them with Robot.";
inline constexpr const char floating_robot_batch[] =
    VORMEK_SIG("FloatingRobotBatch(path, threads=None, *, massless_root=False)")
    "A floating-base robot loaded once from a URDF file for many states per call: the methods of "
    "FloatingRobot with a leading batch axis, the base states given as arrays (frames, velocities, "
    "accelerations) before the joint arrays; each row bit for bit FloatingRobot's result.\n\n"
    "threads: the worker count from 1 to 1024, None for every core this process may run on "
    "(ValueError otherwise). massless_root=True accepts a massless root link when the links fixed to it "
    "give the root body mass. ModelError when the file cannot be loaded or its root link (root body) has "
    "no mass. The interpreter lock is released while rows are computed. Loads are not taken.";

inline constexpr const char from_urdf_text[] =
    VORMEK_SIG("from_urdf_text($cls, text, threads=None)")
    "Loads the robot from the URDF document text (a str) instead of a file, with the same checks and "
    "messages (ModelError); threads as for the constructor.";
inline constexpr const char floating_from_urdf_text[] =
    VORMEK_SIG("from_urdf_text($cls, text, threads=None, *, massless_root=False)")
    "Loads the robot from the URDF document text (a str) instead of a file, with the same checks and "
    "messages (ModelError); threads and massless_root as for the constructor.";
inline constexpr const char close[] =
    VORMEK_SIG("close($self)")
    "Stops the worker threads and releases the model; later calls raise RuntimeError 'robot is "
    "closed'. Closing twice is harmless.";
inline constexpr const char enter[] =
    VORMEK_SIG("__enter__($self)") "Returns the batch itself; RuntimeError 'robot is closed' after close().";
inline constexpr const char exit[] =
    VORMEK_SIG("__exit__($self, _exc_type, _exc_value, _traceback)") "Closes the batch.";
inline constexpr const char link_id[] =
    VORMEK_SIG("link_id($self, name)")
    "The index of the link called name (a str), for target=. ValueError when there is no such link.";
inline constexpr const char name[] = "The robot's name, from the URDF's robot element.";
inline constexpr const char joint_count[] = "n: the number of non-fixed joints, the columns of Q, QD and QDD.";
inline constexpr const char generalized_count[] =
    "m: the columns of TAU and of the results, joint_count (fixed base) or joint_count + 6 (floating).";
inline constexpr const char link_count[] = "The number of links, fixed-joint links included.";
inline constexpr const char threads[] = "The number of threads that compute rows, the calling thread included.";

inline constexpr const char robot_forward_kinematics[] =
    VORMEK_SIG("forward_kinematics($self, Q, target, out=None)") VORMEK_FK VORMEK_FIXED VORMEK_ROWS;
inline constexpr const char robot_link_poses[] =
    VORMEK_SIG("link_poses($self, Q, out=None)") VORMEK_LINK_POSES VORMEK_FIXED VORMEK_ROWS;
inline constexpr const char robot_jacobian[] =
    VORMEK_SIG("jacobian($self, Q, target, out=None)") VORMEK_JACOBIAN VORMEK_FIXED VORMEK_ROWS;
inline constexpr const char robot_mass_matrix[] =
    VORMEK_SIG("mass_matrix($self, Q, out=None)") VORMEK_MASS VORMEK_FIXED VORMEK_ROWS;
inline constexpr const char robot_gravity[] =
    VORMEK_SIG("gravity($self, Q, out=None)") VORMEK_GRAVITY VORMEK_FIXED VORMEK_ROWS;
inline constexpr const char robot_velocity_product_forces[] =
    VORMEK_SIG("velocity_product_forces($self, Q, QD, out=None)") VORMEK_VELOCITY_PRODUCT VORMEK_FIXED VORMEK_ROWS;
inline constexpr const char robot_inverse_dynamics[] =
    VORMEK_SIG("inverse_dynamics($self, Q, QD, QDD, out=None)") VORMEK_INVERSE VORMEK_FIXED VORMEK_ROWS;
inline constexpr const char robot_forward_dynamics[] =
    VORMEK_SIG("forward_dynamics($self, Q, QD, TAU, out=None)") VORMEK_FORWARD VORMEK_FIXED VORMEK_ROWS;

inline constexpr const char floating_forward_kinematics[] =
    VORMEK_SIG("forward_kinematics($self, frames, Q, target, out=None)") VORMEK_FK VORMEK_FLOATING VORMEK_ROWS;
inline constexpr const char floating_link_poses[] =
    VORMEK_SIG("link_poses($self, frames, Q, out=None)") VORMEK_LINK_POSES VORMEK_FLOATING VORMEK_ROWS;
inline constexpr const char floating_jacobian[] =
    VORMEK_SIG("jacobian($self, frames, Q, target, out=None)") VORMEK_JACOBIAN
    " The six base columns come first." VORMEK_FLOATING VORMEK_ROWS;
inline constexpr const char floating_mass_matrix[] =
    VORMEK_SIG("mass_matrix($self, frames, Q, out=None)") VORMEK_MASS VORMEK_FLOATING VORMEK_ROWS;
inline constexpr const char floating_gravity[] =
    VORMEK_SIG("gravity($self, frames, Q, out=None)") VORMEK_GRAVITY VORMEK_FLOATING VORMEK_ROWS;
inline constexpr const char floating_velocity_product_forces[] =
    VORMEK_SIG("velocity_product_forces($self, frames, velocities, Q, QD, out=None)") VORMEK_VELOCITY_PRODUCT
    VORMEK_FLOATING VORMEK_ROWS;
inline constexpr const char floating_inverse_dynamics[] =
    VORMEK_SIG("inverse_dynamics($self, frames, velocities, accelerations, Q, QD, QDD, out=None)") VORMEK_INVERSE
    VORMEK_FLOATING VORMEK_ROWS;
inline constexpr const char floating_forward_dynamics[] =
    VORMEK_SIG("forward_dynamics($self, frames, velocities, Q, QD, TAU, out=None)") VORMEK_FORWARD
    VORMEK_FLOATING VORMEK_ROWS;

// centre of mass, momentum and energy: the whole robot, every link counted
inline constexpr const char robot_center_of_mass[] =
    VORMEK_SIG("center_of_mass($self, Q, out=None)")
    "Returns the world positions (B, 3) of the robot's centre of mass, every link counted." VORMEK_FIXED VORMEK_ROWS;
inline constexpr const char floating_center_of_mass[] =
    VORMEK_SIG("center_of_mass($self, frames, Q, out=None)")
    "Returns the world positions (B, 3) of the robot's centre of mass, every link counted." VORMEK_FLOATING VORMEK_ROWS;
inline constexpr const char robot_center_of_mass_velocity[] =
    VORMEK_SIG("center_of_mass_velocity($self, Q, QD, out=None)")
    "Returns the velocities (B, 3) of the centre of mass, world axes." VORMEK_FIXED VORMEK_ROWS;
inline constexpr const char floating_center_of_mass_velocity[] =
    VORMEK_SIG("center_of_mass_velocity($self, frames, velocities, Q, QD, out=None)")
    "Returns the velocities (B, 3) of the centre of mass, world axes." VORMEK_FLOATING VORMEK_ROWS;
inline constexpr const char robot_center_of_mass_jacobian[] =
    VORMEK_SIG("center_of_mass_jacobian($self, Q, out=None)")
    "Returns the Jacobians (B, 3, m) of the centre of mass, world axes; column k belongs to "
    "generalized coordinate k." VORMEK_FIXED VORMEK_ROWS;
inline constexpr const char floating_center_of_mass_jacobian[] =
    VORMEK_SIG("center_of_mass_jacobian($self, frames, Q, out=None)")
    "Returns the Jacobians (B, 3, m) of the centre of mass, world axes; column k belongs to "
    "generalized coordinate k." VORMEK_FLOATING VORMEK_ROWS;
inline constexpr const char robot_momentum[] =
    VORMEK_SIG("momentum($self, Q, QD, out=None)")
    "Returns the centroidal momenta (B, 6): the angular momentum about the centre of mass, then the "
    "linear momentum, world axes." VORMEK_FIXED VORMEK_ROWS;
inline constexpr const char floating_momentum[] =
    VORMEK_SIG("momentum($self, frames, velocities, Q, QD, out=None)")
    "Returns the centroidal momenta (B, 6): the angular momentum about the centre of mass, then the "
    "linear momentum, world axes." VORMEK_FLOATING VORMEK_ROWS;
inline constexpr const char robot_centroidal_momentum_matrix[] =
    VORMEK_SIG("centroidal_momentum_matrix($self, Q, out=None)")
    "Returns the centroidal momentum matrices (B, 6, m), rows angular then linear, world axes: each "
    "row of momentum is A u." VORMEK_FIXED VORMEK_ROWS;
inline constexpr const char floating_centroidal_momentum_matrix[] =
    VORMEK_SIG("centroidal_momentum_matrix($self, frames, Q, out=None)")
    "Returns the centroidal momentum matrices (B, 6, m), rows angular then linear, world axes: each "
    "row of momentum is A u." VORMEK_FLOATING VORMEK_ROWS;
inline constexpr const char robot_kinetic_energy[] =
    VORMEK_SIG("kinetic_energy($self, Q, QD, out=None)")
    "Returns the kinetic energies (B,), joules." VORMEK_FIXED VORMEK_ROWS;
inline constexpr const char floating_kinetic_energy[] =
    VORMEK_SIG("kinetic_energy($self, frames, velocities, Q, QD, out=None)")
    "Returns the kinetic energies (B,), joules." VORMEK_FLOATING VORMEK_ROWS;
inline constexpr const char robot_potential_energy[] =
    VORMEK_SIG("potential_energy($self, Q, out=None)")
    "Returns the gravitational potential energies -m g.c (B,), joules." VORMEK_FIXED VORMEK_ROWS;
inline constexpr const char floating_potential_energy[] =
    VORMEK_SIG("potential_energy($self, frames, Q, out=None)")
    "Returns the gravitational potential energies -m g.c (B,), joules." VORMEK_FLOATING VORMEK_ROWS;

// derivatives of the dynamics, as the single-state methods give them row by row
#define VORMEK_ID_DERIVATIVES                                                                          \
    "Returns (dtau/dq (B, m, m), dtau/dqd (B, m, m), tau (B, m)), entry [b, i, j] the derivative of "   \
    "tau_i by q_j or qd_j, as inverse_dynamics_derivatives gives them; out is a tuple of the three."
#define VORMEK_FD_DERIVATIVES                                                                           \
    "Returns (dqdd/dq, dqdd/dqd, dqdd/dTAU), each (B, m, m), the last the inverse mass matrix, as "     \
    "forward_dynamics_derivatives gives them; out is a tuple of the three."
#define VORMEK_MASS_INVERSE "Returns the inverse mass matrices (B, m, m), articulated-body style."
inline constexpr const char robot_inverse_dynamics_derivatives[] =
    VORMEK_SIG("inverse_dynamics_derivatives($self, Q, QD, QDD, out=None)") VORMEK_ID_DERIVATIVES VORMEK_FIXED
    VORMEK_ROWS;
inline constexpr const char floating_inverse_dynamics_derivatives[] =
    VORMEK_SIG("inverse_dynamics_derivatives($self, frames, velocities, accelerations, Q, QD, QDD, out=None)")
    VORMEK_ID_DERIVATIVES VORMEK_FLOATING VORMEK_ROWS;
inline constexpr const char robot_forward_dynamics_derivatives[] =
    VORMEK_SIG("forward_dynamics_derivatives($self, Q, QD, TAU, out=None)") VORMEK_FD_DERIVATIVES VORMEK_FIXED
    VORMEK_ROWS;
inline constexpr const char floating_forward_dynamics_derivatives[] =
    VORMEK_SIG("forward_dynamics_derivatives($self, frames, velocities, Q, QD, TAU, out=None)")
    VORMEK_FD_DERIVATIVES VORMEK_FLOATING VORMEK_ROWS;
inline constexpr const char robot_mass_matrix_inverse[] =
    VORMEK_SIG("mass_matrix_inverse($self, Q, out=None)") VORMEK_MASS_INVERSE VORMEK_FIXED VORMEK_ROWS;
inline constexpr const char floating_mass_matrix_inverse[] =
    VORMEK_SIG("mass_matrix_inverse($self, frames, Q, out=None)") VORMEK_MASS_INVERSE VORMEK_FLOATING VORMEK_ROWS;
#undef VORMEK_ID_DERIVATIVES
#undef VORMEK_FD_DERIVATIVES
#undef VORMEK_MASS_INVERSE

#undef VORMEK_SIG
#undef VORMEK_ROWS
#undef VORMEK_FIXED
#undef VORMEK_FLOATING
#undef VORMEK_FK
#undef VORMEK_LINK_POSES
#undef VORMEK_JACOBIAN
#undef VORMEK_MASS
#undef VORMEK_GRAVITY
#undef VORMEK_VELOCITY_PRODUCT
#undef VORMEK_INVERSE
#undef VORMEK_FORWARD

}  // namespace vormek::py::batch::doc
