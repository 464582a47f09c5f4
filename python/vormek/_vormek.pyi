# Types of the extension module _vormek, re-exported by the vormek package.
# tests/python/test_stubs.py holds these against the running module.

from collections.abc import Sequence
from os import PathLike
from typing import ClassVar, Self, SupportsFloat, SupportsIndex, final

import numpy as np
import numpy.typing as npt

# q, qd, qdd and forces: anything that converts to a one-dimensional float64 array
_JointVector = npt.ArrayLike
# results, the out= arrays they are written into (one-dimensional) and Pose matrices: float64
_Array = npt.NDArray[np.float64]
_Three = Sequence[SupportsFloat]
_Path = str | PathLike[str]
_Limits = npt.NDArray[np.float64]

__all__: list[str]

@final
class Pose:
    """A rigid transform: the pose of a frame B in a frame A, mapping B's coordinates to A's as p_A = R p_B + t.

    translation: t in metres (default (0, 0, 0)). rotation_xyzw: the quaternion of R, vector part x, y, z first and
    scalar w last (default (0, 0, 0, 1)); kept as given, normalised where the pose is used. A non-finite entry or a
    zero quaternion raises ValueError there, not here.

    a * b composes: with b the pose of C in B and a the pose of B in A, a * b is the pose of C in A.

    Immutable; compares by value, field by field (IEEE equality).
    """
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __init__(self, translation: _Three = ..., rotation_xyzw: Sequence[SupportsFloat] = ...) -> None: ...
    @property
    def translation(self) -> tuple[float, float, float]:
        """The translation t (x, y, z) in metres, as a tuple of floats."""
    @property
    def rotation_xyzw(self) -> tuple[float, float, float, float]:
        """The quaternion (x, y, z, w) as given to the constructor, not normalised, as a tuple of floats."""
    @property
    def rotation_matrix(self) -> _Array:
        """The 3 x 3 rotation matrix R (a new float64 array) of the normalised quaternion. ValueError for a non-finite
        pose or a zero quaternion.
        """
    @property
    def matrix(self) -> _Array:
        """The 4 x 4 homogeneous matrix [[R, t], [0, 0, 0, 1]] (a new float64 array), so that T @ [p_B, 1] = [p_A, 1].
        ValueError for a non-finite pose or a zero quaternion.
        """
    @classmethod
    def from_matrix(cls, T: npt.ArrayLike) -> Pose:
        """The Pose of a 4 x 4 homogeneous matrix T (anything that converts to float64): the inverse of Pose.matrix,
        with the rotation as a unit quaternion of either sign.

        ValueError unless T is 4 x 4 and finite, its last row is (0, 0, 0, 1) and its upper-left block R is a
        rotation: every entry of R^T R - I within 1e-6 and det R > 0 (a slightly inexact R is accepted and its
        quaternion normalised; a scaled, sheared or reflecting one is refused).
        """
    def inverse(self) -> Pose:
        """The inverse transform: for the pose of B in A, the pose of A in B (R^T, -R^T t), with a unit quaternion.
        ValueError for a non-finite pose or a zero quaternion.
        """
    def __mul__(self, other: Pose) -> Pose: ...
    def __eq__(self, other: object) -> bool: ...
    def __ne__(self, other: object) -> bool: ...

@final
class Twist:
    """A spatial velocity or acceleration in world axes: angular (rad/s or rad/s^2) then linear (m/s or m/s^2) part,
    each (x, y, z), default zero. Which point the linear part belongs to is stated by the method that returns or
    takes it (a link origin, a tool point, the root origin).

    Immutable; compares by value, field by field (IEEE equality).
    """
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __init__(self, angular: _Three = ..., linear: _Three = ...) -> None: ...
    @property
    def angular(self) -> tuple[float, float, float]:
        """The angular part (x, y, z) in world axes, as a tuple of floats."""
    @property
    def linear(self) -> tuple[float, float, float]:
        """The linear part (x, y, z) in world axes, as a tuple of floats."""
    def __eq__(self, other: object) -> bool: ...
    def __ne__(self, other: object) -> bool: ...

@final
class BaseState:
    """The state of a FloatingRobot's root link, passed first to each of its methods, all in world axes at the root
    link origin p.

    frame: the root's world Pose (default identity). velocity: Twist(angular=omega, linear=dp/dt) (default zero).
    acceleration: Twist(angular=alpha, linear=d2p/dt2), the classical second derivative of p, not the spatial
    acceleration (default zero). Values are copied; a wrong type raises TypeError naming the argument, a non-finite
    value raises ValueError where the state is used.

    Immutable; compares by value, field by field (IEEE equality).
    """
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __init__(self, frame: Pose | None = None, velocity: Twist | None = None,
                 acceleration: Twist | None = None) -> None: ...
    @property
    def frame(self) -> Pose:
        """The root link's world Pose (a new copy on each read)."""
    @property
    def velocity(self) -> Twist:
        """The root's Twist: angular velocity and the velocity of its origin, world axes."""
    @property
    def acceleration(self) -> Twist:
        """The root's Twist of accelerations: angular, and the classical acceleration of its origin, world axes."""
    def __eq__(self, other: object) -> bool: ...
    def __ne__(self, other: object) -> bool: ...

@final
class Load:
    """An external wrench on one link, for the loads= argument of the dynamics methods: torque (N m, about the link
    origin) and force (N), both in the link's own frame, default zero. The joints supply it in addition to the
    link's weight and inertia.

    link_id: a link index (robot.link_id(name)), checked against the robot it is given to (ValueError 'invalid link
    id N' there); a negative or too large integer raises OverflowError here.

    Immutable; compares by value, field by field (IEEE equality).
    """
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __init__(self, link_id: SupportsIndex, torque: _Three = ..., force: _Three = ...) -> None: ...
    @property
    def link_id(self) -> int:
        """The index of the link the wrench acts on."""
    @property
    def torque(self) -> tuple[float, float, float]:
        """The torque (x, y, z) in N m about the link origin, link axes."""
    @property
    def force(self) -> tuple[float, float, float]:
        """The force (x, y, z) in N, link axes."""
    def __eq__(self, other: object) -> bool: ...
    def __ne__(self, other: object) -> bool: ...

@final
class IkOptions:
    """Settings of Robot.inverse_kinematics, damped least squares: dq = J^T (J J^T + damping^2 I)^-1 e.

    max_iterations: a positive integer, None for 100 (TypeError if not an integer, ValueError if not positive).
    translation_tolerance (m) and rotation_tolerance (rad): the solve has converged when the position error norm and
    the rotation error angle are both within them. damping: lambda of the step above. max_step_norm: the largest
    norm of one step dq (rad or m), longer steps are scaled down. The four reals are stored as given;
    inverse_kinematics raises ValueError unless each is finite and positive.

    Immutable; compares by value, field by field (IEEE equality).
    """
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __init__(self, max_iterations: SupportsIndex | None = None, translation_tolerance: SupportsFloat = 1.0e-6,
                 rotation_tolerance: SupportsFloat = 1.0e-6, damping: SupportsFloat = 1.0e-3,
                 max_step_norm: SupportsFloat = 0.5) -> None: ...
    @property
    def max_iterations(self) -> int:
        """The largest number of solver iterations."""
    @property
    def translation_tolerance(self) -> float:
        """Converged when the position error is at most this (metres)."""
    @property
    def rotation_tolerance(self) -> float:
        """Converged when the orientation error is at most this (radians)."""
    @property
    def damping(self) -> float:
        """lambda of the damped least-squares step dq = J^T (J J^T + lambda^2 I)^-1 e."""
    @property
    def max_step_norm(self) -> float:
        """The largest norm of one joint step; longer steps are scaled down to it."""
    def __eq__(self, other: object) -> bool: ...
    def __ne__(self, other: object) -> bool: ...

@final
class Robot:
    """A fixed-base robot loaded from a URDF file (str or os.PathLike); the root link is fixed to the world at the base
    frame (identity until set_base_frame).

    Units are SI (m, rad, kg, s); gravity is 9.80665 m/s^2 along world -z unless set_gravity sets another. Links are
    numbered breadth-first from the root (link 0); q has one entry per non-fixed joint in that order. Methods
    release the interpreter lock while they compute; calls on one robot are serialised. Use as a context manager,
    or call close().

    Raises ModelError when the file cannot be read or does not describe one supported tree (vormek check explains
    why).
    """
    def __init__(self, path: _Path) -> None: ...
    @classmethod
    def from_urdf(cls, path: _Path) -> Robot:
        """Loads a robot from a URDF file, as the constructor does; ModelError when it cannot."""
    @classmethod
    def from_urdf_text(cls, text: str) -> Robot:
        """Loads a robot from URDF text (a str), with the checks and messages of loading a file (ModelError)."""
    def close(self) -> None:
        """Releases the model and workspace; later calls raise RuntimeError 'robot is closed'. Closing twice is
        harmless; a call running in another thread finishes first.
        """
    def __enter__(self) -> Self:
        """Returns the robot itself; RuntimeError 'robot is closed' after close()."""
    def __exit__(self, _exc_type: object, _exc_value: object, _traceback: object) -> None:
        """Closes the robot."""
    @property
    def name(self) -> str:
        """The robot's name, from the URDF's robot element."""
    @property
    def joint_count(self) -> int:
        """n: the number of non-fixed joints, the length of q, qd and qdd."""
    @property
    def generalized_count(self) -> int:
        """The length of the generalized vectors and results: joint_count for a Robot, joint_count + 6 for a
        FloatingRobot (the base first).
        """
    @property
    def link_count(self) -> int:
        """The number of links, fixed-joint links included."""
    def link_id(self, name: str) -> int:
        """The index of the link called name (a str): the target of the kinematics methods and the link_id of a Load.
        ValueError when the robot has no such link.
        """
    @property
    def link_names(self) -> tuple[str, ...]:
        """The link names, in link-index order (a tuple of str)."""
    @property
    def link_parents(self) -> tuple[int, ...]:
        """The parent link index of each link, in link-index order (a tuple of int, -1 for the root)."""
    @property
    def joint_names(self) -> tuple[str, ...]:
        """The names of the joints that own the entries of q, in q's order (a tuple of str; fixed joints own
        none). A FloatingRobot's generalized vectors put six base entries before them."""
    @property
    def lower_limits(self) -> _Limits:
        """Lower position limits in q's order (a read-only float64 array; rad or m; -inf for continuous
        joints), exactly the values the inverse-kinematics check uses."""
    @property
    def upper_limits(self) -> _Limits:
        """Upper position limits in q's order (a read-only float64 array; rad or m; +inf for continuous
        joints), exactly the values the inverse-kinematics check uses."""
    @property
    def total_mass(self) -> float:
        """The sum of the link masses, kg."""
    def joint_index(self, name: str) -> int:
        """The entry of q that the joint called `name` owns (add 6 for a FloatingRobot's generalized vectors).
        Raises ValueError 'unknown joint {name}' or 'joint {name} is fixed and has no coordinate', TypeError
        when name is not a str."""
    def set_gravity(self, g: _Three) -> None:
        """Sets the gravitational acceleration (gx, gy, gz), world axes, m/s^2, that every dynamics method uses
        from now on (gravity, inverse and forward dynamics; the default is 9.80665 along -z).
        Raises ValueError 'gravity contains a non-finite value', TypeError for anything but three numbers."""
    @property
    def gravity_vector(self) -> tuple[float, float, float]:
        """The gravitational acceleration (gx, gy, gz) in world axes, m/s^2 (a tuple; set it with set_gravity)."""
    def _tree(self) -> tuple[tuple[str, str, tuple[float, float, float], float], ...]:
        """For the command line: per link, in link-index order, (name of the joint leading to it, its kind, its
        unit axis in the joint frame, the link's mass); the root's joint is '' of kind 'root'."""
    def _urdf_text(self) -> str:
        """For the command line: the URDF text the robot was loaded from, so that a peer library reads the very
        same text."""
    def set_base_frame(self, frame: Pose) -> None:
        """Places the root link at frame, a Pose in world coordinates; every later result is in the world frame so
        defined (gravity stays along world -z). ValueError for a non-finite pose or a zero quaternion, TypeError if
        frame is not a Pose.
        """
    def forward_kinematics(self, q: _JointVector, target: SupportsIndex) -> Pose:
        """Returns the world Pose of link target's frame (a unit quaternion, sign not normalised).

        Joint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional float64 array of
        joint_count entries, in the order of q: one per non-fixed joint, breadth-first from the root. target: a link
        index (link_id(name)).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def link_poses(self, q: _JointVector, out: _Array | None = None) -> _Array:
        """Returns every link's world pose from one walk of the tree: an (L, 7) float64 array, L = link_count, row l
        holding link l's translation (m), then its quaternion x, y, z, w, what forward_kinematics(q, l) returns, to the
        bit (sign not normalised).

        Joint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional float64 array of joint_count
        entries, in the order of q: one per non-fixed joint, breadth-first from the root.

        out: None for a new array, or a writable C-contiguous (L, 7) float64 array, written and returned (ValueError
        otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def jacobian(self, q: _JointVector, target: SupportsIndex, out: _Array | None = None) -> _Array:
        """Returns the geometric Jacobian of link target in world axes, reference point the link origin, as a flat
        array of 6 m values (m = generalized_count): column k, the twist [angular; linear] per unit velocity of
        coordinate k, fills elements 6k to 6k + 5, so J = result.reshape(m, 6).T is 6 x m and twist = J @
        velocities. Joints off the path to target give zero columns.

        Joint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional float64 array of
        joint_count entries, in the order of q: one per non-fixed joint, breadth-first from the root. target: a link
        index (link_id(name)).

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the result's
        size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def jacobian_derivative(self, q: _JointVector, qd: _JointVector, target: SupportsIndex,
                            out: _Array | None = None) -> _Array:
        """Returns dJ/dt, the time derivative of jacobian() along the motion qd, in the same flat layout of 6 m values
        (column k at elements 6k to 6k + 5): link acceleration = J qdd + dJ/dt qd.

        Joint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional float64 array of
        joint_count entries, in the order of q: one per non-fixed joint, breadth-first from the root. target: a link
        index (link_id(name)).

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the result's
        size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def forward_velocity_kinematics(self, q: _JointVector, qd: _JointVector, target: SupportsIndex,
                                    tool: Pose | None = None) -> Twist:
        """Returns the Twist of link target in world axes: its angular velocity omega and the velocity v of its origin,
        or with tool (a Pose in the link frame, only its translation d is used) the velocity of that point, v +
        omega x (R d). Equals J qd.

        Joint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional float64 array of
        joint_count entries, in the order of q: one per non-fixed joint, breadth-first from the root. target: a link
        index (link_id(name)).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def forward_acceleration_kinematics(self, q: _JointVector, qd: _JointVector, qdd: _JointVector,
                                        target: SupportsIndex) -> Twist:
        """Returns a Twist of link target's accelerations in world axes: angular acceleration and the classical
        (ordinary time-derivative) acceleration of its origin, centripetal and Coriolis terms included. Equals J qdd
        + dJ/dt qd.

        Joint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional float64 array of
        joint_count entries, in the order of q: one per non-fixed joint, breadth-first from the root. target: a link
        index (link_id(name)).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def gravity(self, q: _JointVector, loads: Sequence[Load] | None = None, out: _Array | None = None) -> _Array:
        """Returns g, the generalized forces that hold the robot still against gravity at q (N m or N), loads included.

        Joint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional float64 array of
        joint_count entries, in the order of q: one per non-fixed joint, breadth-first from the root.

        loads: None or a sequence of Load, each a wrench in its link's frame that the joints supply in addition
        (TypeError for another item, ValueError for an invalid link or a non-finite wrench).

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the result's
        size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def inverse_dynamics(self, q: _JointVector, qd: _JointVector, qdd: _JointVector,
                         loads: Sequence[Load] | None = None, out: _Array | None = None) -> _Array:
        """Returns the generalized forces tau = M qdd + c + g that produce the accelerations qdd at (q, qd), loads
        included (recursive Newton-Euler).

        Joint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional float64 array of
        joint_count entries, in the order of q: one per non-fixed joint, breadth-first from the root.

        loads: None or a sequence of Load, each a wrench in its link's frame that the joints supply in addition
        (TypeError for another item, ValueError for an invalid link or a non-finite wrench).

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the result's
        size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def forward_dynamics(self, q: _JointVector, qd: _JointVector, forces: _JointVector,
                         loads: Sequence[Load] | None = None, out: _Array | None = None) -> _Array:
        """Returns the generalized accelerations qdd = M^-1 (forces - c - g) under the applied forces at (q, qd), loads
        included (articulated-body algorithm); it undoes inverse_dynamics. SolverError when an articulated inertia
        is singular (a joint whose subtree has no inertia about its axis).

        Joint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional float64 array of
        joint_count entries, in the order of q: one per non-fixed joint, breadth-first from the root.

        loads: None or a sequence of Load, each a wrench in its link's frame that the joints supply in addition
        (TypeError for another item, ValueError for an invalid link or a non-finite wrench).

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the result's
        size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def mass_matrix(self, q: _JointVector, out: _Array | None = None) -> _Array:
        """Returns the joint-space mass matrix M (m x m, m = generalized_count, symmetric) flat, m * m values: M =
        result.reshape(m, m) (row- and column-major alike).

        Joint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional float64 array of
        joint_count entries, in the order of q: one per non-fixed joint, breadth-first from the root.

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the result's
        size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def velocity_product_forces(self, q: _JointVector, qd: _JointVector, out: _Array | None = None) -> _Array:
        """Returns c, the Coriolis and centrifugal generalized forces at (q, qd): inverse_dynamics with qdd = 0 and no
        gravity.

        Joint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional float64 array of
        joint_count entries, in the order of q: one per non-fixed joint, breadth-first from the root.

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the result's
        size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def inverse_kinematics(self, q: _JointVector, target: SupportsIndex, desired: Pose,
                           options: IkOptions | None = None, out: _Array | None = None) -> _Array:
        """Returns joint positions at which link target reaches the world Pose desired, by damped least squares from
        the start q; only the joints between the root and target move.

        options: an IkOptions, None for the defaults. Steps are not clamped to the joint limits, so start inside
        them.

        Joint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional float64 array of
        joint_count entries, in the order of q: one per non-fixed joint, breadth-first from the root. target: a link
        index (link_id(name)).

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the result's
        size, written and returned (ValueError otherwise).

        Raises SolverError when the solve does not converge within options.max_iterations, fails numerically or ends
        outside the joint limits; ValueError for a wrong length, a non-finite input, an invalid link id, a
        non-finite desired pose or zero quaternion, or invalid options; TypeError for an argument of the wrong type;
        RuntimeError 'robot is closed' after close().
        """
    def solve_ik(self, q: _JointVector, target: SupportsIndex, desired: Pose, *, tool: Pose | None = None,
                 position_only: bool = False, orientation_weight: SupportsFloat = 1.0,
                 tolerance: SupportsFloat = 1e-06, max_iterations: SupportsIndex = 50,
                 restarts: SupportsIndex = 200, seed: SupportsIndex = 0, out: _Array | None = None) -> _Array:
        """Joint positions (n,) that put the target link's tool frame (the link frame, or `tool`, a Pose in
        the link frame) at the world pose `desired`, every coordinate inside its URDF limits at every
        iterate. Only the joints between the root and the target move; the others keep their values in q,
        clamped into their limits. A damped least-squares descent starts from q (clamped); when it
        stalls, it starts again from joint positions drawn from the limits by a generator seeded with
        `seed`, up to `restarts` times, so the same arguments always give the same answer. Solved means
        a translation error (metres) and a rotation error (radians) both within `tolerance` (the
        translation alone with position_only=True); `orientation_weight` is the metres one radian counts
        for while iterating. `max_iterations` bounds each descent.

        Raises SolverError naming the best translation and rotation errors reached and the restarts when
        no solution is found; ValueError or TypeError for bad arguments, before any work."""
    def center_of_mass(self, q: _JointVector, out: _Array | None = None) -> _Array:
        """Returns c, the world position of the robot's centre of mass (3 values, metres). Every link counts, the
        root link and those fixed to it included. NaN for a robot without mass.

        Joint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional float64 array of
        joint_count entries, in the order of q: one per non-fixed joint, breadth-first from the root.

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the
        result's size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an
        invalid link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after
        close(). Everything is checked before anything is written.
        """
    def center_of_mass_velocity(self, q: _JointVector, qd: _JointVector, out: _Array | None = None) -> _Array:
        """Returns the velocity of the centre of mass, J_c u in world axes (3 values, m/s), u = qd. NaN for a robot
        without mass.

        Joint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional float64 array of
        joint_count entries, in the order of q: one per non-fixed joint, breadth-first from the root.

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the
        result's size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an
        invalid link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after
        close(). Everything is checked before anything is written.
        """
    def center_of_mass_jacobian(self, q: _JointVector, out: _Array | None = None) -> _Array:
        """Returns J_c, the 3 x m Jacobian of the centre of mass in world axes (m = generalized_count), flat column
        by column like jacobian: column k, the velocity of c per unit velocity of coordinate k, is elements 3k
        to 3k + 2, so J_c = result.reshape(m, 3).T. NaN for a robot without mass.

        Joint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional float64 array of
        joint_count entries, in the order of q: one per non-fixed joint, breadth-first from the root.

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the
        result's size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an
        invalid link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after
        close(). Everything is checked before anything is written.
        """
    def momentum(self, q: _JointVector, qd: _JointVector) -> Twist:
        """Returns the centroidal momentum h = A u as a Twist in world axes: angular, the angular momentum about
        the centre of mass (kg m^2/s); linear, the linear momentum m c-dot (kg m/s). Every link counts, the root
        link and those fixed to it included. u = qd.

        Joint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional float64 array of
        joint_count entries, in the order of q: one per non-fixed joint, breadth-first from the root.

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an
        invalid link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after
        close(). Everything is checked before anything is written.
        """
    def centroidal_momentum_matrix(self, q: _JointVector, out: _Array | None = None) -> _Array:
        """Returns A, the 6 x m centroidal momentum matrix in world axes (m = generalized_count), so that
        momentum() = A u; flat column by column like jacobian, angular rows first: A = result.reshape(m, 6).T.
        The angular rows are about the centre of mass c; the linear ones are the robot's mass times J_c. Every
        link counts, the root link and those fixed to it included.

        Joint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional float64 array of
        joint_count entries, in the order of q: one per non-fixed joint, breadth-first from the root.

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the
        result's size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an
        invalid link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after
        close(). Everything is checked before anything is written.
        """
    def kinetic_energy(self, q: _JointVector, qd: _JointVector) -> float:
        """Returns the kinetic energy 1/2 u^T M u in joules, a float; u = qd.

        Joint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional float64 array of
        joint_count entries, in the order of q: one per non-fixed joint, breadth-first from the root.

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an
        invalid link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after
        close(). Everything is checked before anything is written.
        """
    def potential_energy(self, q: _JointVector) -> float:
        """Returns the gravitational potential energy -m g.c in joules, a float: zero with the centre of mass c at
        the world origin, g the gravity of the dynamics. Every link counts, the root link and those fixed to it
        included.

        Joint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional float64 array of
        joint_count entries, in the order of q: one per non-fixed joint, breadth-first from the root.

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an
        invalid link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after
        close(). Everything is checked before anything is written.
        """
    def inverse_dynamics_derivatives(self, q: _JointVector, qd: _JointVector, qdd: _JointVector,
                                     loads: Sequence[Load] | None = None,
                                     out: tuple[_Array, _Array, _Array] | None = None) -> tuple[_Array, _Array, _Array]:
        """Returns (dtau_dq, dtau_dqd, tau): the derivatives of inverse_dynamics at (q, qd, qdd) by q and by qd, each m
        x m flat and row-major (entry i * m + j is d tau_i / d q_j), and tau itself, which comes with them. The
        derivative by qdd is mass_matrix(q). A load is fixed in its link and turns with it.

        Joint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional float64 array of
        joint_count entries, in the order of q: one per non-fixed joint, breadth-first from the root.

        loads: None or a sequence of Load, each a wrench in its link's frame that the joints supply in addition
        (TypeError for another item, ValueError for an invalid link or a non-finite wrench).

        out: None for new arrays, or a tuple of that many writable contiguous one-dimensional float64 arrays of
        exactly the results' sizes, written and returned (TypeError for another object, ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def forward_dynamics_derivatives(self, q: _JointVector, qd: _JointVector, forces: _JointVector,
                                     loads: Sequence[Load] | None = None,
                                     out: tuple[_Array, _Array, _Array] | None = None) -> tuple[_Array, _Array, _Array]:
        """Returns (dqdd_dq, dqdd_dqd, Minv): the derivatives of forward_dynamics at (q, qd, forces) by q, by qd and by
        forces, the last the inverse of the mass matrix, each m x m flat and row-major (entry i * m + j is d qdd_i / d
        q_j). SolverError when an articulated inertia is singular.

        Joint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional float64 array of
        joint_count entries, in the order of q: one per non-fixed joint, breadth-first from the root.

        loads: None or a sequence of Load, each a wrench in its link's frame that the joints supply in addition
        (TypeError for another item, ValueError for an invalid link or a non-finite wrench).

        out: None for new arrays, or a tuple of that many writable contiguous one-dimensional float64 arrays of
        exactly the results' sizes, written and returned (TypeError for another object, ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def mass_matrix_inverse(self, q: _JointVector, out: _Array | None = None) -> _Array:
        """Returns the inverse of mass_matrix(q), m x m flat and row-major, computed articulated-body style without
        forming M. SolverError when an articulated inertia is singular.

        Joint vectors (q, qd, qdd, forces) take anything that converts to a one-dimensional float64 array of
        joint_count entries, in the order of q: one per non-fixed joint, breadth-first from the root.

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the result's
        size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """

@final
class FloatingRobot:
    """A robot whose root link floats freely, loaded from a URDF file (str or os.PathLike); its root link must have
    mass (from_urdf_text(text, massless_root=True) accepts a massless one when the links fixed to it give the root
    body mass). Every method takes the root's BaseState first; generalized vectors put six base entries (angular,
    then linear, world axes) before the joints.

    Units are SI (m, rad, kg, s); gravity is 9.80665 m/s^2 along world -z unless set_gravity sets another. Links are
    numbered breadth-first from the root (link 0); q has one entry per non-fixed joint in that order. Methods
    release the interpreter lock while they compute; calls on one robot are serialised. Use as a context manager,
    or call close().

    Raises ModelError when the file cannot be read, does not describe one supported tree, or its root link has no
    mass.
    """
    def __init__(self, path: _Path) -> None: ...
    @classmethod
    def from_urdf(cls, path: _Path) -> FloatingRobot:
        """Loads a robot from a URDF file, as the constructor does; ModelError when it cannot."""
    @classmethod
    def from_urdf_text(cls, text: str, *, massless_root: bool = False) -> FloatingRobot:
        """Loads a robot from URDF text (a str), with the checks and messages of loading a file (ModelError). The
        root link must have mass, as for the constructor; with massless_root=True a massless root link is accepted
        when the links fixed to it give the root body mass (ModelError 'invalid robot model: floating-base root link
        {name} must have positive mass' when neither has)."""
    def close(self) -> None:
        """Releases the model and workspace; later calls raise RuntimeError 'robot is closed'. Closing twice is
        harmless; a call running in another thread finishes first.
        """
    def __enter__(self) -> Self:
        """Returns the robot itself; RuntimeError 'robot is closed' after close()."""
    def __exit__(self, _exc_type: object, _exc_value: object, _traceback: object) -> None:
        """Closes the robot."""
    @property
    def name(self) -> str:
        """The robot's name, from the URDF's robot element."""
    @property
    def joint_count(self) -> int:
        """n: the number of non-fixed joints, the length of q, qd and qdd."""
    @property
    def generalized_count(self) -> int:
        """The length of the generalized vectors and results: joint_count for a Robot, joint_count + 6 for a
        FloatingRobot (the base first).
        """
    @property
    def link_count(self) -> int:
        """The number of links, fixed-joint links included."""
    def link_id(self, name: str) -> int:
        """The index of the link called name (a str): the target of the kinematics methods and the link_id of a Load.
        ValueError when the robot has no such link.
        """
    @property
    def link_names(self) -> tuple[str, ...]:
        """The link names, in link-index order (a tuple of str)."""
    @property
    def link_parents(self) -> tuple[int, ...]:
        """The parent link index of each link, in link-index order (a tuple of int, -1 for the root)."""
    @property
    def joint_names(self) -> tuple[str, ...]:
        """The names of the joints that own the entries of q, in q's order (a tuple of str; fixed joints own
        none). A FloatingRobot's generalized vectors put six base entries before them."""
    @property
    def lower_limits(self) -> _Limits:
        """Lower position limits in q's order (a read-only float64 array; rad or m; -inf for continuous
        joints), exactly the values the inverse-kinematics check uses."""
    @property
    def upper_limits(self) -> _Limits:
        """Upper position limits in q's order (a read-only float64 array; rad or m; +inf for continuous
        joints), exactly the values the inverse-kinematics check uses."""
    @property
    def total_mass(self) -> float:
        """The sum of the link masses, kg."""
    def joint_index(self, name: str) -> int:
        """The entry of q that the joint called `name` owns (add 6 for a FloatingRobot's generalized vectors).
        Raises ValueError 'unknown joint {name}' or 'joint {name} is fixed and has no coordinate', TypeError
        when name is not a str."""
    def set_gravity(self, g: _Three) -> None:
        """Sets the gravitational acceleration (gx, gy, gz), world axes, m/s^2, that every dynamics method uses
        from now on (gravity, inverse and forward dynamics; the default is 9.80665 along -z).
        Raises ValueError 'gravity contains a non-finite value', TypeError for anything but three numbers."""
    @property
    def gravity_vector(self) -> tuple[float, float, float]:
        """The gravitational acceleration (gx, gy, gz) in world axes, m/s^2 (a tuple; set it with set_gravity)."""
    def _tree(self) -> tuple[tuple[str, str, tuple[float, float, float], float], ...]:
        """For the command line: per link, in link-index order, (name of the joint leading to it, its kind, its
        unit axis in the joint frame, the link's mass); the root's joint is '' of kind 'root'."""
    def _urdf_text(self) -> str:
        """For the command line: the URDF text the robot was loaded from, so that a peer library reads the very
        same text."""
    def forward_kinematics(self, base: BaseState, q: _JointVector, target: SupportsIndex) -> Pose:
        """Returns the world Pose of link target's frame (a unit quaternion, sign not normalised). Only base.frame is
        read.

        base: the root link's BaseState (TypeError otherwise). Joint vectors take anything that converts to a
        one-dimensional float64 array of joint_count entries, in the order of q: one per non-fixed joint,
        breadth-first from the root. Generalized vectors and results have generalized_count = joint_count + 6
        entries, the base first: angular then linear (world axes, about or at the root origin), then the joints.
        target: a link index (link_id(name)).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def link_poses(self, base: BaseState, q: _JointVector, out: _Array | None = None) -> _Array:
        """Returns every link's world pose from one walk of the tree: an (L, 7) float64 array, L = link_count, row l
        holding link l's translation (m), then its quaternion x, y, z, w, what forward_kinematics(q, l) returns, to the
        bit (sign not normalised). Only base.frame is read.

        base: the root link's BaseState (TypeError otherwise). Joint vectors take anything that converts to a
        one-dimensional float64 array of joint_count entries, in the order of q: one per non-fixed joint, breadth-first
        from the root. Generalized vectors and results have generalized_count = joint_count + 6 entries, the base first:
        angular then linear (world axes, about or at the root origin), then the joints.

        out: None for a new array, or a writable C-contiguous (L, 7) float64 array, written and returned (ValueError
        otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def jacobian(self, base: BaseState, q: _JointVector, target: SupportsIndex,
                 out: _Array | None = None) -> _Array:
        """Returns the geometric Jacobian of link target in world axes, reference point the link origin, as a flat
        array of 6 m values (m = generalized_count): column k, the twist [angular; linear] per unit velocity of
        coordinate k, fills elements 6k to 6k + 5, so J = result.reshape(m, 6).T is 6 x m and twist = J @
        velocities. Joints off the path to target give zero columns. The six base columns come first: base angular
        velocity about world x, y, z, then base origin velocity along them; only base.frame is read.

        base: the root link's BaseState (TypeError otherwise). Joint vectors take anything that converts to a
        one-dimensional float64 array of joint_count entries, in the order of q: one per non-fixed joint,
        breadth-first from the root. Generalized vectors and results have generalized_count = joint_count + 6
        entries, the base first: angular then linear (world axes, about or at the root origin), then the joints.
        target: a link index (link_id(name)).

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the result's
        size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def jacobian_derivative(self, base: BaseState, q: _JointVector, qd: _JointVector, target: SupportsIndex,
                            out: _Array | None = None) -> _Array:
        """Returns dJ/dt, the time derivative of jacobian() along the motion qd, in the same flat layout of 6 m values
        (column k at elements 6k to 6k + 5): link acceleration = J qdd + dJ/dt qd. The motion includes the base's:
        base.frame and base.velocity are read.

        base: the root link's BaseState (TypeError otherwise). Joint vectors take anything that converts to a
        one-dimensional float64 array of joint_count entries, in the order of q: one per non-fixed joint,
        breadth-first from the root. Generalized vectors and results have generalized_count = joint_count + 6
        entries, the base first: angular then linear (world axes, about or at the root origin), then the joints.
        target: a link index (link_id(name)).

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the result's
        size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def forward_velocity_kinematics(self, base: BaseState, q: _JointVector, qd: _JointVector,
                                    target: SupportsIndex, tool: Pose | None = None) -> Twist:
        """Returns the Twist of link target in world axes: its angular velocity omega and the velocity v of its origin,
        or with tool (a Pose in the link frame, only its translation d is used) the velocity of that point, v +
        omega x (R d). Equals J qd. The base's motion is included: base.frame and base.velocity are read.

        base: the root link's BaseState (TypeError otherwise). Joint vectors take anything that converts to a
        one-dimensional float64 array of joint_count entries, in the order of q: one per non-fixed joint,
        breadth-first from the root. Generalized vectors and results have generalized_count = joint_count + 6
        entries, the base first: angular then linear (world axes, about or at the root origin), then the joints.
        target: a link index (link_id(name)).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def forward_acceleration_kinematics(self, base: BaseState, q: _JointVector, qd: _JointVector,
                                        qdd: _JointVector, target: SupportsIndex) -> Twist:
        """Returns a Twist of link target's accelerations in world axes: angular acceleration and the classical
        (ordinary time-derivative) acceleration of its origin, centripetal and Coriolis terms included. Equals J qdd
        + dJ/dt qd. The base's motion is included: every field of base is read.

        base: the root link's BaseState (TypeError otherwise). Joint vectors take anything that converts to a
        one-dimensional float64 array of joint_count entries, in the order of q: one per non-fixed joint,
        breadth-first from the root. Generalized vectors and results have generalized_count = joint_count + 6
        entries, the base first: angular then linear (world axes, about or at the root origin), then the joints.
        target: a link index (link_id(name)).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def gravity(self, base: BaseState, q: _JointVector, loads: Sequence[Load] | None = None,
                out: _Array | None = None) -> _Array:
        """Returns g, the generalized forces that hold the robot still against gravity at q (N m or N), loads included.
        The base entries are the wrench on the root, torque about its origin; only base.frame's rotation is read.

        base: the root link's BaseState (TypeError otherwise). Joint vectors take anything that converts to a
        one-dimensional float64 array of joint_count entries, in the order of q: one per non-fixed joint,
        breadth-first from the root. Generalized vectors and results have generalized_count = joint_count + 6
        entries, the base first: angular then linear (world axes, about or at the root origin), then the joints.

        loads: None or a sequence of Load, each a wrench in its link's frame that the joints supply in addition
        (TypeError for another item, ValueError for an invalid link or a non-finite wrench).

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the result's
        size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def inverse_dynamics(self, base: BaseState, q: _JointVector, qd: _JointVector, qdd: _JointVector,
                         loads: Sequence[Load] | None = None, out: _Array | None = None) -> _Array:
        """Returns the generalized forces tau = M qdd + c + g that produce the accelerations qdd at (q, qd), loads
        included (recursive Newton-Euler). The base's accelerations come from base.acceleration (classical
        acceleration of the root origin); the base entries are the wrench that must act on the root, world axes,
        torque about its origin.

        base: the root link's BaseState (TypeError otherwise). Joint vectors take anything that converts to a
        one-dimensional float64 array of joint_count entries, in the order of q: one per non-fixed joint,
        breadth-first from the root. Generalized vectors and results have generalized_count = joint_count + 6
        entries, the base first: angular then linear (world axes, about or at the root origin), then the joints.

        loads: None or a sequence of Load, each a wrench in its link's frame that the joints supply in addition
        (TypeError for another item, ValueError for an invalid link or a non-finite wrench).

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the result's
        size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def forward_dynamics(self, base: BaseState, q: _JointVector, qd: _JointVector, forces: _JointVector,
                         loads: Sequence[Load] | None = None, out: _Array | None = None) -> _Array:
        """Returns the generalized accelerations qdd = M^-1 (forces - c - g) under the applied forces at (q, qd), loads
        included (articulated-body algorithm); it undoes inverse_dynamics. SolverError when an articulated inertia
        is singular (a joint whose subtree has no inertia about its axis). forces has generalized_count entries, the
        wrench applied to the root first; the result starts with the root's angular and classical linear
        acceleration. base.frame's rotation and base.velocity are read.

        base: the root link's BaseState (TypeError otherwise). Joint vectors take anything that converts to a
        one-dimensional float64 array of joint_count entries, in the order of q: one per non-fixed joint,
        breadth-first from the root. Generalized vectors and results have generalized_count = joint_count + 6
        entries, the base first: angular then linear (world axes, about or at the root origin), then the joints.

        loads: None or a sequence of Load, each a wrench in its link's frame that the joints supply in addition
        (TypeError for another item, ValueError for an invalid link or a non-finite wrench).

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the result's
        size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def mass_matrix(self, base: BaseState, q: _JointVector, out: _Array | None = None) -> _Array:
        """Returns the joint-space mass matrix M (m x m, m = generalized_count, symmetric) flat, m * m values: M =
        result.reshape(m, m) (row- and column-major alike). Its 6 x 6 base block is the whole robot's spatial
        inertia about the root origin in world axes; only base.frame's rotation is read.

        base: the root link's BaseState (TypeError otherwise). Joint vectors take anything that converts to a
        one-dimensional float64 array of joint_count entries, in the order of q: one per non-fixed joint,
        breadth-first from the root. Generalized vectors and results have generalized_count = joint_count + 6
        entries, the base first: angular then linear (world axes, about or at the root origin), then the joints.

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the result's
        size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def velocity_product_forces(self, base: BaseState, q: _JointVector, qd: _JointVector,
                                out: _Array | None = None) -> _Array:
        """Returns c, the Coriolis and centrifugal generalized forces at (q, qd): inverse_dynamics with qdd = 0 and no
        gravity. base.frame's rotation and base.velocity's angular part are read.

        base: the root link's BaseState (TypeError otherwise). Joint vectors take anything that converts to a
        one-dimensional float64 array of joint_count entries, in the order of q: one per non-fixed joint,
        breadth-first from the root. Generalized vectors and results have generalized_count = joint_count + 6
        entries, the base first: angular then linear (world axes, about or at the root origin), then the joints.

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the result's
        size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def center_of_mass(self, base: BaseState, q: _JointVector, out: _Array | None = None) -> _Array:
        """Returns c, the world position of the robot's centre of mass (3 values, metres). Every link counts, the
        root link and those fixed to it included. Only base.frame is read.

        base: the root link's BaseState (TypeError otherwise). Joint vectors take anything that converts to a
        one-dimensional float64 array of joint_count entries, in the order of q: one per non-fixed joint,
        breadth-first from the root. Generalized vectors and results have generalized_count = joint_count + 6
        entries, the base first: angular then linear (world axes, about or at the root origin), then the joints.

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the
        result's size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an
        invalid link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after
        close(). Everything is checked before anything is written.
        """
    def center_of_mass_velocity(self, base: BaseState, q: _JointVector, qd: _JointVector,
                                out: _Array | None = None) -> _Array:
        """Returns the velocity of the centre of mass, J_c u in world axes (3 values, m/s), u = [base.velocity;
        qd]; base.frame's rotation and base.velocity are read.

        base: the root link's BaseState (TypeError otherwise). Joint vectors take anything that converts to a
        one-dimensional float64 array of joint_count entries, in the order of q: one per non-fixed joint,
        breadth-first from the root. Generalized vectors and results have generalized_count = joint_count + 6
        entries, the base first: angular then linear (world axes, about or at the root origin), then the joints.

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the
        result's size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an
        invalid link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after
        close(). Everything is checked before anything is written.
        """
    def center_of_mass_jacobian(self, base: BaseState, q: _JointVector, out: _Array | None = None) -> _Array:
        """Returns J_c, the 3 x m Jacobian of the centre of mass in world axes (m = generalized_count), flat column
        by column like jacobian: column k, the velocity of c per unit velocity of coordinate k, is elements 3k
        to 3k + 2, so J_c = result.reshape(m, 3).T. The six base columns come first; only base.frame's rotation
        is read.

        base: the root link's BaseState (TypeError otherwise). Joint vectors take anything that converts to a
        one-dimensional float64 array of joint_count entries, in the order of q: one per non-fixed joint,
        breadth-first from the root. Generalized vectors and results have generalized_count = joint_count + 6
        entries, the base first: angular then linear (world axes, about or at the root origin), then the joints.

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the
        result's size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an
        invalid link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after
        close(). Everything is checked before anything is written.
        """
    def momentum(self, base: BaseState, q: _JointVector, qd: _JointVector) -> Twist:
        """Returns the centroidal momentum h = A u as a Twist in world axes: angular, the angular momentum about
        the centre of mass (kg m^2/s); linear, the linear momentum m c-dot (kg m/s). Every link counts, the root
        link and those fixed to it included. u = [base.velocity; qd]; base.frame's rotation and base.velocity
        are read.

        base: the root link's BaseState (TypeError otherwise). Joint vectors take anything that converts to a
        one-dimensional float64 array of joint_count entries, in the order of q: one per non-fixed joint,
        breadth-first from the root. Generalized vectors and results have generalized_count = joint_count + 6
        entries, the base first: angular then linear (world axes, about or at the root origin), then the joints.

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an
        invalid link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after
        close(). Everything is checked before anything is written.
        """
    def centroidal_momentum_matrix(self, base: BaseState, q: _JointVector, out: _Array | None = None) -> _Array:
        """Returns A, the 6 x m centroidal momentum matrix in world axes (m = generalized_count), so that
        momentum() = A u; flat column by column like jacobian, angular rows first: A = result.reshape(m, 6).T.
        The angular rows are about the centre of mass c; the linear ones are the robot's mass times J_c. Every
        link counts, the root link and those fixed to it included. The base columns come first: A is the mass
        matrix's six base rows with their torque moved from the root origin p to c, A = [[1, -[c - p]x], [0, 1]]
        M[:6]. Only base.frame's rotation is read.

        base: the root link's BaseState (TypeError otherwise). Joint vectors take anything that converts to a
        one-dimensional float64 array of joint_count entries, in the order of q: one per non-fixed joint,
        breadth-first from the root. Generalized vectors and results have generalized_count = joint_count + 6
        entries, the base first: angular then linear (world axes, about or at the root origin), then the joints.

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the
        result's size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an
        invalid link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after
        close(). Everything is checked before anything is written.
        """
    def kinetic_energy(self, base: BaseState, q: _JointVector, qd: _JointVector) -> float:
        """Returns the kinetic energy 1/2 u^T M u in joules, a float; u = [base.velocity; qd]; base.frame's
        rotation and base.velocity are read.

        base: the root link's BaseState (TypeError otherwise). Joint vectors take anything that converts to a
        one-dimensional float64 array of joint_count entries, in the order of q: one per non-fixed joint,
        breadth-first from the root. Generalized vectors and results have generalized_count = joint_count + 6
        entries, the base first: angular then linear (world axes, about or at the root origin), then the joints.

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an
        invalid link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after
        close(). Everything is checked before anything is written.
        """
    def potential_energy(self, base: BaseState, q: _JointVector) -> float:
        """Returns the gravitational potential energy -m g.c in joules, a float: zero with the centre of mass c at
        the world origin, g the gravity of the dynamics. Every link counts, the root link and those fixed to it
        included. Only base.frame is read.

        base: the root link's BaseState (TypeError otherwise). Joint vectors take anything that converts to a
        one-dimensional float64 array of joint_count entries, in the order of q: one per non-fixed joint,
        breadth-first from the root. Generalized vectors and results have generalized_count = joint_count + 6
        entries, the base first: angular then linear (world axes, about or at the root origin), then the joints.

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an
        invalid link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after
        close(). Everything is checked before anything is written.
        """
    def inverse_dynamics_derivatives(self, base: BaseState, q: _JointVector, qd: _JointVector, qdd: _JointVector,
                                     loads: Sequence[Load] | None = None,
                                     out: tuple[_Array, _Array, _Array] | None = None) -> tuple[_Array, _Array, _Array]:
        """Returns (dtau_dq, dtau_dqd, tau): the derivatives of inverse_dynamics at (q, qd, qdd) by q and by qd, each m
        x m flat and row-major (entry i * m + j is d tau_i / d q_j), and tau itself, which comes with them. The
        derivative by qdd is mass_matrix(q). A load is fixed in its link and turns with it. On the floating base the
        derivative by the base's position is along a small turn (about world x, y, z) and shift (along them) of the
        root about its origin, R <- exp([dtheta]x) R, p <- p + dp, and the one by its velocity is by u = [omega;
        pdot; qd]; the base rows stay about the moved origin.

        base: the root link's BaseState (TypeError otherwise). Joint vectors take anything that converts to a
        one-dimensional float64 array of joint_count entries, in the order of q: one per non-fixed joint,
        breadth-first from the root. Generalized vectors and results have generalized_count = joint_count + 6 entries,
        the base first: angular then linear (world axes, about or at the root origin), then the joints.

        loads: None or a sequence of Load, each a wrench in its link's frame that the joints supply in addition
        (TypeError for another item, ValueError for an invalid link or a non-finite wrench).

        out: None for new arrays, or a tuple of that many writable contiguous one-dimensional float64 arrays of
        exactly the results' sizes, written and returned (TypeError for another object, ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def forward_dynamics_derivatives(self, base: BaseState, q: _JointVector, qd: _JointVector, forces: _JointVector,
                                     loads: Sequence[Load] | None = None,
                                     out: tuple[_Array, _Array, _Array] | None = None) -> tuple[_Array, _Array, _Array]:
        """Returns (dqdd_dq, dqdd_dqd, Minv): the derivatives of forward_dynamics at (q, qd, forces) by q, by qd and by
        forces, the last the inverse of the mass matrix, each m x m flat and row-major (entry i * m + j is d qdd_i / d
        q_j). SolverError when an articulated inertia is singular. On the floating base the derivative by the base's
        position is along a small turn (about world x, y, z) and shift (along them) of the root about its origin, R <-
        exp([dtheta]x) R, p <- p + dp, and the one by its velocity is by u = [omega; pdot; qd]; the base rows stay
        about the moved origin.

        base: the root link's BaseState (TypeError otherwise). Joint vectors take anything that converts to a
        one-dimensional float64 array of joint_count entries, in the order of q: one per non-fixed joint,
        breadth-first from the root. Generalized vectors and results have generalized_count = joint_count + 6 entries,
        the base first: angular then linear (world axes, about or at the root origin), then the joints.

        loads: None or a sequence of Load, each a wrench in its link's frame that the joints supply in addition
        (TypeError for another item, ValueError for an invalid link or a non-finite wrench).

        out: None for new arrays, or a tuple of that many writable contiguous one-dimensional float64 arrays of
        exactly the results' sizes, written and returned (TypeError for another object, ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """
    def mass_matrix_inverse(self, base: BaseState, q: _JointVector, out: _Array | None = None) -> _Array:
        """Returns the inverse of mass_matrix(q), m x m flat and row-major, computed articulated-body style without
        forming M. SolverError when an articulated inertia is singular. Only base.frame's rotation is read.

        base: the root link's BaseState (TypeError otherwise). Joint vectors take anything that converts to a
        one-dimensional float64 array of joint_count entries, in the order of q: one per non-fixed joint,
        breadth-first from the root. Generalized vectors and results have generalized_count = joint_count + 6 entries,
        the base first: angular then linear (world axes, about or at the root origin), then the joints.

        out: None for a new array, or a writable contiguous one-dimensional float64 array of exactly the result's
        size, written and returned (ValueError otherwise).

        Raises ValueError for a wrong length ('expected 7 elements in q, found 6'), a non-finite input or an invalid
        link index, TypeError for an argument of the wrong type, RuntimeError 'robot is closed' after close().
        Everything is checked before anything is written.
        """

class VormekError(RuntimeError):
    """The base of vormek's own errors (a RuntimeError); bad argument values raise the built-in ValueError and
    TypeError instead.
    """
class ModelError(VormekError):
    """A URDF file that cannot be read or does not describe a supported robot; the message says what (vormek check FILE
    explains it and how to mend it).
    """
class SolverError(VormekError):
    """A computation that found no answer: inverse kinematics that did not converge or left the joint limits, or
    forward dynamics with a singular articulated inertia.
    """
class PanicError(VormekError):
    """An internal invariant broke (a bug in vormek; please report it). The robot stays usable."""
