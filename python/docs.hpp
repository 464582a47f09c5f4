#pragma once
// The docstrings of _vormek, one constant per class, method or property, so that the method
// tables change only by a pointer when methods are added. Each callable's text opens with its
// text signature ("name($self, ...)\n--\n\n"), which is what inspect.signature reads; the
// stubs in python/vormek/_vormek.pyi carry the same text (tests/python/test_docs.py).

namespace vormek::py::doc {

// ---- value classes ---------------------------------------------------------------------------

#define VORMEK_VALUE_NOTE                                                                          \
    "\n\nImmutable; compares and hashes by value (field by field, IEEE equality), pickles, and its " \
    "repr evaluates back to an equal object."

inline constexpr const char pose[] =
    "Pose(translation=..., rotation_xyzw=...)\n--\n\n"
    "A rigid transform: the pose of a frame B in a frame A, mapping B's coordinates to A's as "
    "p_A = R p_B + t.\n\n"
    "translation: t in metres (default (0, 0, 0)). rotation_xyzw: the quaternion of R, vector part "
    "x, y, z first and scalar w last (default (0, 0, 0, 1)); kept as given, normalised where the "
    "pose is used. A non-finite entry or a zero quaternion raises ValueError there, not here.\n\n"
    "a * b composes: with b the pose of C in B and a the pose of B in A, a * b is the pose of C in A."
    VORMEK_VALUE_NOTE;
inline constexpr const char pose_translation[] = "The translation t (x, y, z) in metres, as a tuple of floats.";
inline constexpr const char pose_rotation_xyzw[] =
    "The quaternion (x, y, z, w) as given to the constructor, not normalised, as a tuple of floats.";
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

inline constexpr const char twist[] =
    "Twist(angular=..., linear=...)\n--\n\n"
    "A spatial velocity or acceleration in world axes: angular (rad/s or rad/s^2) then linear (m/s "
    "or m/s^2) part, each (x, y, z), default zero. Which point the linear part belongs to is stated "
    "by the method that returns or takes it (a link origin, a tool point, the root origin)." VORMEK_VALUE_NOTE;
inline constexpr const char twist_angular[] = "The angular part (x, y, z) in world axes, as a tuple of floats.";
inline constexpr const char twist_linear[] = "The linear part (x, y, z) in world axes, as a tuple of floats.";

inline constexpr const char base_state[] =
    "BaseState(frame=None, velocity=None, acceleration=None)\n--\n\n"
    "The state of a FloatingRobot's root link, passed first to each of its methods, all in world axes "
    "at the root link origin p.\n\n"
    "frame: the root's world Pose (default identity). velocity: Twist(angular=omega, linear=dp/dt) "
    "(default zero). acceleration: Twist(angular=alpha, linear=d2p/dt2), the classical second "
    "derivative of p, not the spatial acceleration (default zero). Values are copied; a wrong type "
    "raises TypeError naming the argument, a non-finite value raises ValueError where the state is "
    "used." VORMEK_VALUE_NOTE;
inline constexpr const char base_state_frame[] = "The root link's world Pose (a new copy on each read).";
inline constexpr const char base_state_velocity[] =
    "The root's Twist: angular velocity and the velocity of its origin, world axes.";
inline constexpr const char base_state_acceleration[] =
    "The root's Twist of accelerations: angular, and the classical acceleration of its origin, world "
    "axes.";

inline constexpr const char load[] =
    "Load(link_id, torque=..., force=...)\n--\n\n"
    "An external wrench on one link, for the loads= argument of the dynamics methods: torque (N m, "
    "about the link origin) and force (N), both in the link's own frame, default zero. The joints "
    "supply it in addition to the link's weight and inertia.\n\n"
    "link_id: a link index (robot.link_id(name)), checked against the robot it is given to (ValueError "
    "'invalid link id N' there); a negative or too large integer raises OverflowError here." VORMEK_VALUE_NOTE;
inline constexpr const char load_link_id[] = "The index of the link the wrench acts on.";
inline constexpr const char load_torque[] = "The torque (x, y, z) in N m about the link origin, link axes.";
inline constexpr const char load_force[] = "The force (x, y, z) in N, link axes.";

inline constexpr const char ik_options[] =
    "IkOptions(max_iterations=None, translation_tolerance=1.0e-6, rotation_tolerance=1.0e-6, "
    "damping=1.0e-3, max_step_norm=0.5)\n--\n\n"
    "Settings of Robot.inverse_kinematics, damped least squares: dq = J^T (J J^T + damping^2 I)^-1 e.\n\n"
    "max_iterations: a positive integer, None for 100 (TypeError if not an integer, ValueError if not "
    "positive). translation_tolerance (m) and rotation_tolerance (rad): the solve has converged when "
    "the position error norm and the rotation error angle are both within them. damping: lambda of "
    "the step above. max_step_norm: the largest norm of one step dq (rad or m), longer steps are "
    "scaled down. The four reals are stored as given; inverse_kinematics raises ValueError unless "
    "each is finite and positive."
    VORMEK_VALUE_NOTE;
inline constexpr const char ik_options_max_iterations[] = "The largest number of solver iterations.";
inline constexpr const char ik_options_translation_tolerance[] =
    "Converged when the position error is at most this (metres).";
inline constexpr const char ik_options_rotation_tolerance[] =
    "Converged when the orientation error is at most this (radians).";
inline constexpr const char ik_options_damping[] =
    "lambda of the damped least-squares step dq = J^T (J J^T + lambda^2 I)^-1 e.";
inline constexpr const char ik_options_max_step_norm[] =
    "The largest norm of one joint step; longer steps are scaled down to it.";

#undef VORMEK_VALUE_NOTE

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
#define VORMEK_TARGET " target: a link index (link_id(name))."
#define VORMEK_OUT                                                                                   \
    "\n\nout: None for a new array, or a writable contiguous one-dimensional float64 array of exactly " \
    "the result's size, written and returned (ValueError otherwise)."
#define VORMEK_LOADS                                                                                   \
    "\n\nloads: None or a sequence of Load, each a wrench in its link's frame that the joints supply " \
    "in addition (TypeError for another item, ValueError for an invalid link or a non-finite wrench)."
#define VORMEK_ERRORS                                                                                  \
    "\n\nRaises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite "    \
    "input or an invalid link index, TypeError for an argument of the wrong type, RuntimeError "   \
    "'robot is closed' after close(). Everything is checked before anything is written."

inline constexpr const char robot[] =
    VORMEK_SIG("Robot(path)")
    "A fixed-base robot loaded from a URDF file (str or os.PathLike); the root link is fixed to the "
    "world at the base frame (identity until set_base_frame).\n\n"
    "Units are SI (m, rad, kg, s); gravity is 9.80665 m/s^2 along world -z unless set_gravity sets "
    "another. Links are numbered "
    "breadth-first from the root (link 0); q has one entry per non-fixed joint in that order. "
    "Methods release the interpreter lock while they compute; calls on one robot are serialised. "
    "Use as a context manager, or call close().\n\n"
    "Raises ModelError when the file cannot be read or does not describe one supported tree "
    "(vormek check explains why).";
inline constexpr const char floating_robot[] =
    VORMEK_SIG("FloatingRobot(path, *, massless_root=False)")
    "A robot whose root link floats freely, loaded from a URDF file (str or os.PathLike); its root "
    "link must have mass, or with massless_root=True the links fixed to it must give the root body "
    "mass. Every method takes the root's BaseState first; generalized vectors put "
    "six base entries (angular, then linear, world axes) before the joints.\n\n"
    "Units are SI (m, rad, kg, s); gravity is 9.80665 m/s^2 along world -z unless set_gravity sets "
    "another. Links are numbered "
    "breadth-first from the root (link 0); q has one entry per non-fixed joint in that order. "
    "Methods release the interpreter lock while they compute; calls on one robot are serialised. "
    "Use as a context manager, or call close().\n\n"
    "Raises ModelError when the file cannot be read, does not describe one supported tree, or its "
    "root link (root body) has no mass.";

inline constexpr const char robot_from_urdf[] =
    VORMEK_SIG("from_urdf($cls, path)")
    "Loads a robot from a URDF file, as the constructor does; ModelError when it cannot.";
inline constexpr const char floating_robot_from_urdf[] =
    VORMEK_SIG("from_urdf($cls, path, *, massless_root=False)")
    "Loads a robot from a URDF file, as the constructor does; ModelError when it cannot.";
#define VORMEK_FROM_TEXT                                                                                \
    "Loads a robot from URDF text (a str), with the checks and messages of loading a file "            \
    "(ModelError)."
inline constexpr const char robot_from_urdf_text[] = VORMEK_SIG("from_urdf_text($cls, text)") VORMEK_FROM_TEXT;
inline constexpr const char floating_robot_from_urdf_text[] =
    VORMEK_SIG("from_urdf_text($cls, text, *, massless_root=False)") VORMEK_FROM_TEXT
    " massless_root as for the constructor.";
#undef VORMEK_FROM_TEXT
inline constexpr const char robot_close[] =
    VORMEK_SIG("close($self)")
    "Releases the model and workspace; later calls raise RuntimeError 'robot is closed'. Closing "
    "twice is harmless; a call running in another thread finishes first.";
inline constexpr const char robot_enter[] =
    VORMEK_SIG("__enter__($self)") "Returns the robot itself; RuntimeError 'robot is closed' after close().";
inline constexpr const char robot_exit[] =
    VORMEK_SIG("__exit__($self, _exc_type, _exc_value, _traceback)") "Closes the robot.";
inline constexpr const char robot_link_id[] =
    VORMEK_SIG("link_id($self, name)")
    "The index of the link called name (a str): the target of the kinematics methods and the link_id "
    "of a Load. ValueError when the robot has no such link.";
inline constexpr const char robot_name[] = "The robot's name, from the URDF's robot element.";
inline constexpr const char robot_joint_count[] =
    "n: the number of non-fixed joints, the length of q, qd and qdd.";
inline constexpr const char robot_generalized_count[] =
    "The length of the generalized vectors and results: joint_count for a Robot, joint_count + 6 "
    "for a FloatingRobot (the base first).";
inline constexpr const char robot_link_count[] = "The number of links, fixed-joint links included.";

inline constexpr const char robot_set_base_frame[] =
    VORMEK_SIG("set_base_frame($self, frame)")
    "Places the root link at frame, a Pose in world coordinates; every later result is in the world "
    "frame so defined (gravity stays along world -z). ValueError for a non-finite pose or a zero "
    "quaternion, TypeError if frame is not a Pose.";

#define VORMEK_FK "Returns the world Pose of link target's frame (a unit quaternion, sign not normalised)."
inline constexpr const char robot_forward_kinematics[] =
    VORMEK_SIG("forward_kinematics($self, q, target)") VORMEK_FK VORMEK_ARRAYS VORMEK_TARGET VORMEK_ERRORS;
inline constexpr const char floating_forward_kinematics[] =
    VORMEK_SIG("forward_kinematics($self, base, q, target)") VORMEK_FK " Only base.frame is read."
    VORMEK_FLOATING_ARRAYS VORMEK_TARGET VORMEK_ERRORS;
#undef VORMEK_FK

#define VORMEK_JACOBIAN                                                                                 \
    "Returns the geometric Jacobian of link target in world axes, reference point the link origin, " \
    "as a flat array of 6 m values (m = generalized_count): column k, the twist [angular; linear] per " \
    "unit velocity of coordinate k, fills elements 6k to 6k + 5, so J = result.reshape(m, 6).T is "    \
    "6 x m and twist = J @ velocities. Joints off the path to target give zero columns."
inline constexpr const char robot_jacobian[] =
    VORMEK_SIG("jacobian($self, q, target, out=None)") VORMEK_JACOBIAN VORMEK_ARRAYS VORMEK_TARGET VORMEK_OUT
    VORMEK_ERRORS;
inline constexpr const char floating_jacobian[] =
    VORMEK_SIG("jacobian($self, base, q, target, out=None)") VORMEK_JACOBIAN
    " The six base columns come first: base angular velocity about world x, y, z, then base origin "
    "velocity along them; only base.frame is read." VORMEK_FLOATING_ARRAYS VORMEK_TARGET VORMEK_OUT VORMEK_ERRORS;
#undef VORMEK_JACOBIAN

#define VORMEK_JACOBIAN_DERIVATIVE                                                                     \
    "Returns dJ/dt, the time derivative of jacobian() along the motion qd, in the same flat layout of " \
    "6 m values (column k at elements 6k to 6k + 5): link acceleration = J qdd + dJ/dt qd."
inline constexpr const char robot_jacobian_derivative[] =
    VORMEK_SIG("jacobian_derivative($self, q, qd, target, out=None)") VORMEK_JACOBIAN_DERIVATIVE VORMEK_ARRAYS
    VORMEK_TARGET VORMEK_OUT VORMEK_ERRORS;
inline constexpr const char floating_jacobian_derivative[] =
    VORMEK_SIG("jacobian_derivative($self, base, q, qd, target, out=None)") VORMEK_JACOBIAN_DERIVATIVE
    " The motion includes the base's: base.frame and base.velocity are read." VORMEK_FLOATING_ARRAYS VORMEK_TARGET
    VORMEK_OUT VORMEK_ERRORS;
#undef VORMEK_JACOBIAN_DERIVATIVE

#define VORMEK_VELOCITY                                                                                \
    "Returns the Twist of link target in world axes: its angular velocity omega and the velocity v of " \
    "its origin, or with tool (a Pose in the link frame, only its translation d is used) the velocity " \
    "of that point, v + omega x (R d). Equals J qd."
inline constexpr const char robot_forward_velocity_kinematics[] =
    VORMEK_SIG("forward_velocity_kinematics($self, q, qd, target, tool=None)") VORMEK_VELOCITY VORMEK_ARRAYS
    VORMEK_TARGET VORMEK_ERRORS;
inline constexpr const char floating_forward_velocity_kinematics[] =
    VORMEK_SIG("forward_velocity_kinematics($self, base, q, qd, target, tool=None)") VORMEK_VELOCITY
    " The base's motion is included: base.frame and base.velocity are read." VORMEK_FLOATING_ARRAYS VORMEK_TARGET
    VORMEK_ERRORS;
#undef VORMEK_VELOCITY

#define VORMEK_ACCELERATION                                                                           \
    "Returns a Twist of link target's accelerations in world axes: angular acceleration and the "     \
    "classical (ordinary time-derivative) acceleration of its origin, centripetal and Coriolis terms " \
    "included. Equals J qdd + dJ/dt qd."
inline constexpr const char robot_forward_acceleration_kinematics[] =
    VORMEK_SIG("forward_acceleration_kinematics($self, q, qd, qdd, target)") VORMEK_ACCELERATION VORMEK_ARRAYS
    VORMEK_TARGET VORMEK_ERRORS;
inline constexpr const char floating_forward_acceleration_kinematics[] =
    VORMEK_SIG("forward_acceleration_kinematics($self, base, q, qd, qdd, target)") VORMEK_ACCELERATION
    " The base's motion is included: every field of base is read." VORMEK_FLOATING_ARRAYS VORMEK_TARGET VORMEK_ERRORS;
#undef VORMEK_ACCELERATION

inline constexpr const char robot_inverse_kinematics[] =
    VORMEK_SIG("inverse_kinematics($self, q, target, desired, options=None, out=None)")
    "Returns joint positions at which link target reaches the world Pose desired, by damped least "
    "squares from the start q; only the joints between the root and target move.\n\n"
    "options: an IkOptions, None for the defaults. Steps are not clamped to the joint limits, so "
    "start inside them." VORMEK_ARRAYS VORMEK_TARGET
    VORMEK_OUT
    "\n\nRaises SolverError when the solve does not converge within options.max_iterations, fails "
    "numerically or ends outside the joint limits; ValueError for a wrong length, a non-finite input, "
    "an invalid link id, a non-finite desired pose or zero quaternion, or invalid options; TypeError "
    "for an argument of the wrong type; RuntimeError 'robot is closed' after close().";

#define VORMEK_GRAVITY \
    "Returns g, the generalized forces that hold the robot still against gravity at q (N m or N), loads included."
inline constexpr const char robot_gravity[] =
    VORMEK_SIG("gravity($self, q, loads=None, out=None)") VORMEK_GRAVITY VORMEK_ARRAYS VORMEK_LOADS VORMEK_OUT
    VORMEK_ERRORS;
inline constexpr const char floating_gravity[] =
    VORMEK_SIG("gravity($self, base, q, loads=None, out=None)") VORMEK_GRAVITY
    " The base entries are the wrench on the root, torque about its origin; only base.frame's rotation "
    "is read." VORMEK_FLOATING_ARRAYS VORMEK_LOADS VORMEK_OUT VORMEK_ERRORS;
#undef VORMEK_GRAVITY

#define VORMEK_INVERSE_DYNAMICS                                                                         \
    "Returns the generalized forces tau = M qdd + c + g that produce the accelerations qdd at (q, qd), " \
    "loads included (recursive Newton-Euler)."
inline constexpr const char robot_inverse_dynamics[] =
    VORMEK_SIG("inverse_dynamics($self, q, qd, qdd, loads=None, out=None)") VORMEK_INVERSE_DYNAMICS VORMEK_ARRAYS
    VORMEK_LOADS VORMEK_OUT VORMEK_ERRORS;
inline constexpr const char floating_inverse_dynamics[] =
    VORMEK_SIG("inverse_dynamics($self, base, q, qd, qdd, loads=None, out=None)") VORMEK_INVERSE_DYNAMICS
    " The base's accelerations come from base.acceleration (classical acceleration of the root origin); "
    "the base entries are the wrench that must act on the root, world axes, torque about its origin."
    VORMEK_FLOATING_ARRAYS VORMEK_LOADS VORMEK_OUT VORMEK_ERRORS;
#undef VORMEK_INVERSE_DYNAMICS

#define VORMEK_FORWARD_DYNAMICS                                                                       \
    "Returns the generalized accelerations qdd = M^-1 (forces - c - g) under the applied forces at "  \
    "(q, qd), loads included (articulated-body algorithm); it undoes inverse_dynamics. SolverError "   \
    "when an articulated inertia is singular (a joint whose subtree has no inertia about its axis)."
inline constexpr const char robot_forward_dynamics[] =
    VORMEK_SIG("forward_dynamics($self, q, qd, forces, loads=None, out=None)") VORMEK_FORWARD_DYNAMICS
    VORMEK_ARRAYS VORMEK_LOADS VORMEK_OUT VORMEK_ERRORS;
inline constexpr const char floating_forward_dynamics[] =
    VORMEK_SIG("forward_dynamics($self, base, q, qd, forces, loads=None, out=None)") VORMEK_FORWARD_DYNAMICS
    " forces has generalized_count entries, the wrench applied to the root first; the result starts "
    "with the root's angular and classical linear acceleration. base.frame's rotation and "
    "base.velocity are read." VORMEK_FLOATING_ARRAYS VORMEK_LOADS VORMEK_OUT VORMEK_ERRORS;
#undef VORMEK_FORWARD_DYNAMICS

#define VORMEK_MASS_MATRIX                                                                          \
    "Returns the joint-space mass matrix M (m x m, m = generalized_count, symmetric) flat, m * m "   \
    "values: M = result.reshape(m, m) (row- and column-major alike)."
inline constexpr const char robot_mass_matrix[] =
    VORMEK_SIG("mass_matrix($self, q, out=None)") VORMEK_MASS_MATRIX VORMEK_ARRAYS VORMEK_OUT VORMEK_ERRORS;
inline constexpr const char floating_mass_matrix[] =
    VORMEK_SIG("mass_matrix($self, base, q, out=None)") VORMEK_MASS_MATRIX
    " Its 6 x 6 base block is the whole robot's spatial inertia about the root origin in world axes; "
    "only base.frame's rotation is read." VORMEK_FLOATING_ARRAYS VORMEK_OUT VORMEK_ERRORS;
#undef VORMEK_MASS_MATRIX

#define VORMEK_VELOCITY_PRODUCT                                                                        \
    "Returns c, the Coriolis and centrifugal generalized forces at (q, qd): inverse_dynamics with " \
    "qdd = 0 and no gravity."
inline constexpr const char robot_velocity_product_forces[] =
    VORMEK_SIG("velocity_product_forces($self, q, qd, out=None)") VORMEK_VELOCITY_PRODUCT VORMEK_ARRAYS VORMEK_OUT
    VORMEK_ERRORS;
inline constexpr const char floating_velocity_product_forces[] =
    VORMEK_SIG("velocity_product_forces($self, base, q, qd, out=None)") VORMEK_VELOCITY_PRODUCT
    " base.frame's rotation and base.velocity's angular part are read." VORMEK_FLOATING_ARRAYS VORMEK_OUT
    VORMEK_ERRORS;
#undef VORMEK_VELOCITY_PRODUCT

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

#undef VORMEK_SIG
#undef VORMEK_ARRAYS
#undef VORMEK_FLOATING_ARRAYS
#undef VORMEK_TARGET
#undef VORMEK_OUT
#undef VORMEK_LOADS
#undef VORMEK_ERRORS

// ---- exceptions ------------------------------------------------------------------------------

inline constexpr const char vormek_error[] =
    "The base of vormek's own errors (a RuntimeError); bad argument values raise the built-in "
    "ValueError and TypeError instead.";
inline constexpr const char model_error[] =
    "A URDF file that cannot be read or does not describe a supported robot; the message says what "
    "(vormek check FILE explains it and how to mend it).";
inline constexpr const char solver_error[] =
    "A computation that found no answer: inverse kinematics that did not converge or left the joint "
    "limits, or forward dynamics with a singular articulated inertia.";
inline constexpr const char panic_error[] =
    "An internal invariant broke (a bug in vormek; please report it). The robot stays usable.";

}  // namespace vormek::py::doc
