# Types of the extension module vormek._batch, re-exported by vormek.batch.
# tests/python/test_stubs.py holds these against the running module.

from collections.abc import Sequence
from os import PathLike
from typing import Self, SupportsFloat, SupportsIndex, final

from vormek._vormek import Pose

import numpy as np
import numpy.typing as npt

# batches in and out: float64 arrays with the batch axis first
_Batch = npt.NDArray[np.float64]
_Path = str | PathLike[str]
_Three = Sequence[SupportsFloat]
_Limits = npt.NDArray[np.float64]

__all__: list[str]

@final
class RobotBatch:
    """A fixed-base robot loaded once from a URDF file for many states per call: the methods of Robot with a leading
    batch axis, each row bit for bit Robot's result, spread over a pool of threads.

    threads: the worker count from 1 to 1024, None for every core this process may run on (ValueError otherwise).
    ModelError when the file cannot be loaded. The interpreter lock is released while rows are computed. Loads are
    not taken: apply them with Robot.
    """
    def __init__(self, path: _Path, threads: SupportsIndex | None = None) -> None: ...
    @classmethod
    def from_urdf_text(cls, text: str, threads: SupportsIndex | None = None) -> RobotBatch:
        """Loads the robot from the URDF document text (a str) instead of a file, with the same checks and messages
        (ModelError); threads as for the constructor.
        """
    def close(self) -> None:
        """Stops the worker threads and releases the model; later calls raise RuntimeError 'robot is closed'. Closing
        twice is harmless.
        """
    def __enter__(self) -> Self:
        """Returns the batch itself; RuntimeError 'robot is closed' after close()."""
    def __exit__(self, _exc_type: object, _exc_value: object, _traceback: object) -> None:
        """Closes the batch."""
    @property
    def name(self) -> str:
        """The robot's name, from the URDF's robot element."""
    @property
    def joint_count(self) -> int:
        """n: the number of non-fixed joints, the columns of Q, QD and QDD."""
    @property
    def generalized_count(self) -> int:
        """m: the columns of TAU and of the results, joint_count (fixed base) or joint_count + 6 (floating)."""
    @property
    def link_count(self) -> int:
        """The number of links, fixed-joint links included."""
    @property
    def threads(self) -> int:
        """The number of threads that compute rows, the calling thread included."""
    def link_id(self, name: str) -> int:
        """The index of the link called name (a str), for target=. ValueError when there is no such link."""
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
        Raises ValueError 'gravity contains a non-finite value', TypeError for anything but three numbers. Every
        worker takes it."""
    @property
    def gravity_vector(self) -> tuple[float, float, float]:
        """The gravitational acceleration (gx, gy, gz) in world axes, m/s^2 (a tuple; set it with set_gravity)."""
    def forward_kinematics(self, Q: _Batch, target: SupportsIndex,
                           out: tuple[_Batch, _Batch] | None = None) -> tuple[_Batch, _Batch]:
        """Returns (positions (B, 3), quaternions (B, 4) x, y, z, w) of link target's world frame, as
        Robot.forward_kinematics gives them row by row; out is a tuple of two such arrays.

        Q, QD, QDD: (B, n) joint positions, velocities, accelerations, n = joint_count.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by 'row i:
        ', with i the lowest failing row whatever the thread count; the output rows before i hold their results, row
        i and the rows after it are unspecified. After KeyboardInterrupt every output row is unspecified.
        RuntimeError 'robot is closed' after close().
        """
    def link_poses(self, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns every link's world pose (B, L, 7), L = link_count: per link its translation, then its
        quaternion x, y, z, w, as Robot.link_poses gives them row by row.

        Q, QD, QDD: (B, n) joint positions, velocities, accelerations, n = joint_count.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by 'row i:
        ', with i the lowest failing row whatever the thread count; the output rows before i hold their results, row
        i and the rows after it are unspecified. After KeyboardInterrupt every output row is unspecified.
        RuntimeError 'robot is closed' after close().
        """
    def jacobian(self, Q: _Batch, target: SupportsIndex, out: _Batch | None = None) -> _Batch:
        """Returns the geometric Jacobians (B, 6, m) of link target: rows angular x, y, z then linear x, y, z of the
        link origin, world axes; column k belongs to generalized coordinate k.

        Q, QD, QDD: (B, n) joint positions, velocities, accelerations, n = joint_count.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by 'row i:
        ', with i the lowest failing row whatever the thread count; the output rows before i hold their results, row
        i and the rows after it are unspecified. After KeyboardInterrupt every output row is unspecified.
        RuntimeError 'robot is closed' after close().
        """
    def mass_matrix(self, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns the mass matrices (B, m, m), symmetric.

        Q, QD, QDD: (B, n) joint positions, velocities, accelerations, n = joint_count.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by 'row i:
        ', with i the lowest failing row whatever the thread count; the output rows before i hold their results, row
        i and the rows after it are unspecified. After KeyboardInterrupt every output row is unspecified.
        RuntimeError 'robot is closed' after close().
        """
    def gravity(self, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns the generalized gravity forces (B, m) that hold each state still.

        Q, QD, QDD: (B, n) joint positions, velocities, accelerations, n = joint_count.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by 'row i:
        ', with i the lowest failing row whatever the thread count; the output rows before i hold their results, row
        i and the rows after it are unspecified. After KeyboardInterrupt every output row is unspecified.
        RuntimeError 'robot is closed' after close().
        """
    def velocity_product_forces(self, Q: _Batch, QD: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns the velocity-product (Coriolis and centrifugal) forces (B, m).

        Q, QD, QDD: (B, n) joint positions, velocities, accelerations, n = joint_count.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by 'row i:
        ', with i the lowest failing row whatever the thread count; the output rows before i hold their results, row
        i and the rows after it are unspecified. After KeyboardInterrupt every output row is unspecified.
        RuntimeError 'robot is closed' after close().
        """
    def inverse_dynamics(self, Q: _Batch, QD: _Batch, QDD: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns the generalized forces (B, m) that produce the accelerations: M qdd + c + g.

        Q, QD, QDD: (B, n) joint positions, velocities, accelerations, n = joint_count.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by 'row i:
        ', with i the lowest failing row whatever the thread count; the output rows before i hold their results, row
        i and the rows after it are unspecified. After KeyboardInterrupt every output row is unspecified.
        RuntimeError 'robot is closed' after close().
        """
    def forward_dynamics(self, Q: _Batch, QD: _Batch, TAU: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns the generalized accelerations (B, m) under the generalized forces TAU (B, m).

        Q, QD, QDD: (B, n) joint positions, velocities, accelerations, n = joint_count.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by 'row i:
        ', with i the lowest failing row whatever the thread count; the output rows before i hold their results, row
        i and the rows after it are unspecified. After KeyboardInterrupt every output row is unspecified.
        RuntimeError 'robot is closed' after close().
        """
    def solve_ik(self, Q: _Batch, target: SupportsIndex, desired: _Batch, *, tool: Pose | None = None,
                 position_only: bool = False, orientation_weight: SupportsFloat = 1.0,
                 tolerance: SupportsFloat = 1e-06, max_iterations: SupportsIndex = 50,
                 restarts: SupportsIndex = 200, seed: SupportsIndex = 0,
                 out: _Batch | None = None) -> tuple[_Batch, npt.NDArray[np.bool_]]:
        """Robot.solve_ik for B goals: Q (B, n) the starts, desired (B, 7) the world goals as translation x, y,
        z then quaternion x, y, z, w. Returns (solutions (B, n), solved (B,) bool); out, when given, is the
        (B, n) array of solutions. A row that finds no solution does not raise: its mask entry is False and
        its row holds the best configuration met, inside the limits. Each row is bit for bit what
        Robot.solve_ik gives with the same arguments, whatever the thread count.

        Every argument is checked before any row is computed. A row whose goal is refused (a non-finite
        value or a zero quaternion) raises ValueError, its message led by 'row i: ', with i the lowest such
        row; the output rows before it hold their results."""
    def center_of_mass(self, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns the world positions (B, 3) of the robot's centre of mass, every link counted.

        Q, QD, QDD: (B, n) joint positions, velocities, accelerations, n = joint_count.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by
        'row i: ', with i the lowest failing row whatever the thread count; the output rows before i hold their
        results, row i and the rows after it are unspecified. After KeyboardInterrupt every output row is
        unspecified. RuntimeError 'robot is closed' after close().
        """
    def center_of_mass_velocity(self, Q: _Batch, QD: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns the velocities (B, 3) of the centre of mass, world axes.

        Q, QD, QDD: (B, n) joint positions, velocities, accelerations, n = joint_count.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by
        'row i: ', with i the lowest failing row whatever the thread count; the output rows before i hold their
        results, row i and the rows after it are unspecified. After KeyboardInterrupt every output row is
        unspecified. RuntimeError 'robot is closed' after close().
        """
    def center_of_mass_jacobian(self, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns the Jacobians (B, 3, m) of the centre of mass, world axes; column k belongs to generalized
        coordinate k.

        Q, QD, QDD: (B, n) joint positions, velocities, accelerations, n = joint_count.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by
        'row i: ', with i the lowest failing row whatever the thread count; the output rows before i hold their
        results, row i and the rows after it are unspecified. After KeyboardInterrupt every output row is
        unspecified. RuntimeError 'robot is closed' after close().
        """
    def momentum(self, Q: _Batch, QD: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns the centroidal momenta (B, 6): the angular momentum about the centre of mass, then the linear
        momentum, world axes.

        Q, QD, QDD: (B, n) joint positions, velocities, accelerations, n = joint_count.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by
        'row i: ', with i the lowest failing row whatever the thread count; the output rows before i hold their
        results, row i and the rows after it are unspecified. After KeyboardInterrupt every output row is
        unspecified. RuntimeError 'robot is closed' after close().
        """
    def centroidal_momentum_matrix(self, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns the centroidal momentum matrices (B, 6, m), rows angular then linear, world axes: each row of
        momentum is A u.

        Q, QD, QDD: (B, n) joint positions, velocities, accelerations, n = joint_count.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by
        'row i: ', with i the lowest failing row whatever the thread count; the output rows before i hold their
        results, row i and the rows after it are unspecified. After KeyboardInterrupt every output row is
        unspecified. RuntimeError 'robot is closed' after close().
        """
    def kinetic_energy(self, Q: _Batch, QD: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns the kinetic energies (B,), joules.

        Q, QD, QDD: (B, n) joint positions, velocities, accelerations, n = joint_count.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by
        'row i: ', with i the lowest failing row whatever the thread count; the output rows before i hold their
        results, row i and the rows after it are unspecified. After KeyboardInterrupt every output row is
        unspecified. RuntimeError 'robot is closed' after close().
        """
    def potential_energy(self, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns the gravitational potential energies -m g.c (B,), joules.

        Q, QD, QDD: (B, n) joint positions, velocities, accelerations, n = joint_count.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by
        'row i: ', with i the lowest failing row whatever the thread count; the output rows before i hold their
        results, row i and the rows after it are unspecified. After KeyboardInterrupt every output row is
        unspecified. RuntimeError 'robot is closed' after close().
        """
    def inverse_dynamics_derivatives(self, Q: _Batch, QD: _Batch, QDD: _Batch,
                                     out: tuple[_Batch, _Batch, _Batch] | None = None) -> tuple[_Batch, _Batch, _Batch]:
        """Returns (dtau/dq (B, m, m), dtau/dqd (B, m, m), tau (B, m)), entry [b, i, j] the derivative of tau_i by q_j
        or qd_j, as inverse_dynamics_derivatives gives them; out is a tuple of the three.

        Q, QD, QDD: (B, n) joint positions, velocities, accelerations, n = joint_count.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked before
        any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a wrong type
        TypeError. When row i fails, the exception is the single-state call's, its message led by 'row i: ', with i
        the lowest failing row whatever the thread count; the output rows before i hold their results, row i and the
        rows after it are unspecified. After KeyboardInterrupt every output row is unspecified. RuntimeError 'robot is
        closed' after close().
        """
    def forward_dynamics_derivatives(self, Q: _Batch, QD: _Batch, TAU: _Batch,
                                     out: tuple[_Batch, _Batch, _Batch] | None = None) -> tuple[_Batch, _Batch, _Batch]:
        """Returns (dqdd/dq, dqdd/dqd, dqdd/dTAU), each (B, m, m), the last the inverse mass matrix, as
        forward_dynamics_derivatives gives them; out is a tuple of the three.

        Q, QD, QDD: (B, n) joint positions, velocities, accelerations, n = joint_count.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked before
        any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a wrong type
        TypeError. When row i fails, the exception is the single-state call's, its message led by 'row i: ', with i
        the lowest failing row whatever the thread count; the output rows before i hold their results, row i and the
        rows after it are unspecified. After KeyboardInterrupt every output row is unspecified. RuntimeError 'robot is
        closed' after close().
        """
    def mass_matrix_inverse(self, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns the inverse mass matrices (B, m, m), articulated-body style.

        Q, QD, QDD: (B, n) joint positions, velocities, accelerations, n = joint_count.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked before
        any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a wrong type
        TypeError. When row i fails, the exception is the single-state call's, its message led by 'row i: ', with i
        the lowest failing row whatever the thread count; the output rows before i hold their results, row i and the
        rows after it are unspecified. After KeyboardInterrupt every output row is unspecified. RuntimeError 'robot is
        closed' after close().
        """

@final
class FloatingRobotBatch:
    """A floating-base robot loaded once from a URDF file for many states per call: the methods of FloatingRobot with a
    leading batch axis, the base states given as arrays (frames, velocities, accelerations) before the joint arrays;
    each row bit for bit FloatingRobot's result.

    threads: the worker count from 1 to 1024, None for every core this process may run on (ValueError otherwise).
    massless_root=True accepts a massless root link when the links fixed to it give the root body mass. ModelError
    when the file cannot be loaded or its root link (root body) has no mass. The interpreter lock is released while
    rows are computed. Loads are not taken.
    """
    def __init__(self, path: _Path, threads: SupportsIndex | None = None, *, massless_root: bool = False) -> None: ...
    @classmethod
    def from_urdf_text(cls, text: str, threads: SupportsIndex | None = None, *,
                       massless_root: bool = False) -> FloatingRobotBatch:
        """Loads the robot from the URDF document text (a str) instead of a file, with the same checks and messages
        (ModelError); threads and massless_root as for the constructor.
        """
    def close(self) -> None:
        """Stops the worker threads and releases the model; later calls raise RuntimeError 'robot is closed'. Closing
        twice is harmless.
        """
    def __enter__(self) -> Self:
        """Returns the batch itself; RuntimeError 'robot is closed' after close()."""
    def __exit__(self, _exc_type: object, _exc_value: object, _traceback: object) -> None:
        """Closes the batch."""
    @property
    def name(self) -> str:
        """The robot's name, from the URDF's robot element."""
    @property
    def joint_count(self) -> int:
        """n: the number of non-fixed joints, the columns of Q, QD and QDD."""
    @property
    def generalized_count(self) -> int:
        """m: the columns of TAU and of the results, joint_count (fixed base) or joint_count + 6 (floating)."""
    @property
    def link_count(self) -> int:
        """The number of links, fixed-joint links included."""
    @property
    def threads(self) -> int:
        """The number of threads that compute rows, the calling thread included."""
    def link_id(self, name: str) -> int:
        """The index of the link called name (a str), for target=. ValueError when there is no such link."""
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
        Raises ValueError 'gravity contains a non-finite value', TypeError for anything but three numbers. Every
        worker takes it."""
    @property
    def gravity_vector(self) -> tuple[float, float, float]:
        """The gravitational acceleration (gx, gy, gz) in world axes, m/s^2 (a tuple; set it with set_gravity)."""
    def forward_kinematics(self, frames: _Batch, Q: _Batch, target: SupportsIndex,
                           out: tuple[_Batch, _Batch] | None = None) -> tuple[_Batch, _Batch]:
        """Returns (positions (B, 3), quaternions (B, 4) x, y, z, w) of link target's world frame, as
        Robot.forward_kinematics gives them row by row; out is a tuple of two such arrays.

        frames: (B, 7) root poses, translation then quaternion x, y, z, w (as Pose takes them); velocities and
        accelerations: (B, 6) root twists, angular then linear, world axes, as in BaseState. Q, QD, QDD: (B, n) joint
        vectors, n = joint_count; TAU and the results have m = n + 6 generalized entries, the base first.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by 'row i:
        ', with i the lowest failing row whatever the thread count; the output rows before i hold their results, row
        i and the rows after it are unspecified. After KeyboardInterrupt every output row is unspecified.
        RuntimeError 'robot is closed' after close().
        """
    def link_poses(self, frames: _Batch, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns every link's world pose (B, L, 7), L = link_count: per link its translation, then its
        quaternion x, y, z, w, as Robot.link_poses gives them row by row.

        frames: (B, 7) root poses, translation then quaternion x, y, z, w (as Pose takes them); velocities and
        accelerations: (B, 6) root twists, angular then linear, world axes, as in BaseState. Q, QD, QDD: (B, n) joint
        vectors, n = joint_count; TAU and the results have m = n + 6 generalized entries, the base first.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by 'row i:
        ', with i the lowest failing row whatever the thread count; the output rows before i hold their results, row
        i and the rows after it are unspecified. After KeyboardInterrupt every output row is unspecified.
        RuntimeError 'robot is closed' after close().
        """
    def jacobian(self, frames: _Batch, Q: _Batch, target: SupportsIndex, out: _Batch | None = None) -> _Batch:
        """Returns the geometric Jacobians (B, 6, m) of link target: rows angular x, y, z then linear x, y, z of the
        link origin, world axes; column k belongs to generalized coordinate k. The six base columns come first.

        frames: (B, 7) root poses, translation then quaternion x, y, z, w (as Pose takes them); velocities and
        accelerations: (B, 6) root twists, angular then linear, world axes, as in BaseState. Q, QD, QDD: (B, n) joint
        vectors, n = joint_count; TAU and the results have m = n + 6 generalized entries, the base first.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by 'row i:
        ', with i the lowest failing row whatever the thread count; the output rows before i hold their results, row
        i and the rows after it are unspecified. After KeyboardInterrupt every output row is unspecified.
        RuntimeError 'robot is closed' after close().
        """
    def mass_matrix(self, frames: _Batch, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns the mass matrices (B, m, m), symmetric.

        frames: (B, 7) root poses, translation then quaternion x, y, z, w (as Pose takes them); velocities and
        accelerations: (B, 6) root twists, angular then linear, world axes, as in BaseState. Q, QD, QDD: (B, n) joint
        vectors, n = joint_count; TAU and the results have m = n + 6 generalized entries, the base first.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by 'row i:
        ', with i the lowest failing row whatever the thread count; the output rows before i hold their results, row
        i and the rows after it are unspecified. After KeyboardInterrupt every output row is unspecified.
        RuntimeError 'robot is closed' after close().
        """
    def gravity(self, frames: _Batch, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns the generalized gravity forces (B, m) that hold each state still.

        frames: (B, 7) root poses, translation then quaternion x, y, z, w (as Pose takes them); velocities and
        accelerations: (B, 6) root twists, angular then linear, world axes, as in BaseState. Q, QD, QDD: (B, n) joint
        vectors, n = joint_count; TAU and the results have m = n + 6 generalized entries, the base first.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by 'row i:
        ', with i the lowest failing row whatever the thread count; the output rows before i hold their results, row
        i and the rows after it are unspecified. After KeyboardInterrupt every output row is unspecified.
        RuntimeError 'robot is closed' after close().
        """
    def velocity_product_forces(self, frames: _Batch, velocities: _Batch, Q: _Batch, QD: _Batch,
                                out: _Batch | None = None) -> _Batch:
        """Returns the velocity-product (Coriolis and centrifugal) forces (B, m).

        frames: (B, 7) root poses, translation then quaternion x, y, z, w (as Pose takes them); velocities and
        accelerations: (B, 6) root twists, angular then linear, world axes, as in BaseState. Q, QD, QDD: (B, n) joint
        vectors, n = joint_count; TAU and the results have m = n + 6 generalized entries, the base first.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by 'row i:
        ', with i the lowest failing row whatever the thread count; the output rows before i hold their results, row
        i and the rows after it are unspecified. After KeyboardInterrupt every output row is unspecified.
        RuntimeError 'robot is closed' after close().
        """
    def inverse_dynamics(self, frames: _Batch, velocities: _Batch, accelerations: _Batch, Q: _Batch, QD: _Batch,
                         QDD: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns the generalized forces (B, m) that produce the accelerations: M qdd + c + g.

        frames: (B, 7) root poses, translation then quaternion x, y, z, w (as Pose takes them); velocities and
        accelerations: (B, 6) root twists, angular then linear, world axes, as in BaseState. Q, QD, QDD: (B, n) joint
        vectors, n = joint_count; TAU and the results have m = n + 6 generalized entries, the base first.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by 'row i:
        ', with i the lowest failing row whatever the thread count; the output rows before i hold their results, row
        i and the rows after it are unspecified. After KeyboardInterrupt every output row is unspecified.
        RuntimeError 'robot is closed' after close().
        """
    def forward_dynamics(self, frames: _Batch, velocities: _Batch, Q: _Batch, QD: _Batch, TAU: _Batch,
                         out: _Batch | None = None) -> _Batch:
        """Returns the generalized accelerations (B, m) under the generalized forces TAU (B, m).

        frames: (B, 7) root poses, translation then quaternion x, y, z, w (as Pose takes them); velocities and
        accelerations: (B, 6) root twists, angular then linear, world axes, as in BaseState. Q, QD, QDD: (B, n) joint
        vectors, n = joint_count; TAU and the results have m = n + 6 generalized entries, the base first.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by 'row i:
        ', with i the lowest failing row whatever the thread count; the output rows before i hold their results, row
        i and the rows after it are unspecified. After KeyboardInterrupt every output row is unspecified.
        RuntimeError 'robot is closed' after close().
        """
    def center_of_mass(self, frames: _Batch, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns the world positions (B, 3) of the robot's centre of mass, every link counted.

        frames: (B, 7) root poses, translation then quaternion x, y, z, w (as Pose takes them); velocities and
        accelerations: (B, 6) root twists, angular then linear, world axes, as in BaseState. Q, QD, QDD: (B, n) joint
        vectors, n = joint_count; TAU and the results have m = n + 6 generalized entries, the base first.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by
        'row i: ', with i the lowest failing row whatever the thread count; the output rows before i hold their
        results, row i and the rows after it are unspecified. After KeyboardInterrupt every output row is
        unspecified. RuntimeError 'robot is closed' after close().
        """
    def center_of_mass_velocity(self, frames: _Batch, velocities: _Batch, Q: _Batch, QD: _Batch,
                                out: _Batch | None = None) -> _Batch:
        """Returns the velocities (B, 3) of the centre of mass, world axes.

        frames: (B, 7) root poses, translation then quaternion x, y, z, w (as Pose takes them); velocities and
        accelerations: (B, 6) root twists, angular then linear, world axes, as in BaseState. Q, QD, QDD: (B, n) joint
        vectors, n = joint_count; TAU and the results have m = n + 6 generalized entries, the base first.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by
        'row i: ', with i the lowest failing row whatever the thread count; the output rows before i hold their
        results, row i and the rows after it are unspecified. After KeyboardInterrupt every output row is
        unspecified. RuntimeError 'robot is closed' after close().
        """
    def center_of_mass_jacobian(self, frames: _Batch, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns the Jacobians (B, 3, m) of the centre of mass, world axes; column k belongs to generalized
        coordinate k.

        frames: (B, 7) root poses, translation then quaternion x, y, z, w (as Pose takes them); velocities and
        accelerations: (B, 6) root twists, angular then linear, world axes, as in BaseState. Q, QD, QDD: (B, n) joint
        vectors, n = joint_count; TAU and the results have m = n + 6 generalized entries, the base first.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by
        'row i: ', with i the lowest failing row whatever the thread count; the output rows before i hold their
        results, row i and the rows after it are unspecified. After KeyboardInterrupt every output row is
        unspecified. RuntimeError 'robot is closed' after close().
        """
    def momentum(self, frames: _Batch, velocities: _Batch, Q: _Batch, QD: _Batch,
                 out: _Batch | None = None) -> _Batch:
        """Returns the centroidal momenta (B, 6): the angular momentum about the centre of mass, then the linear
        momentum, world axes.

        frames: (B, 7) root poses, translation then quaternion x, y, z, w (as Pose takes them); velocities and
        accelerations: (B, 6) root twists, angular then linear, world axes, as in BaseState. Q, QD, QDD: (B, n) joint
        vectors, n = joint_count; TAU and the results have m = n + 6 generalized entries, the base first.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by
        'row i: ', with i the lowest failing row whatever the thread count; the output rows before i hold their
        results, row i and the rows after it are unspecified. After KeyboardInterrupt every output row is
        unspecified. RuntimeError 'robot is closed' after close().
        """
    def centroidal_momentum_matrix(self, frames: _Batch, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns the centroidal momentum matrices (B, 6, m), rows angular then linear, world axes: each row of
        momentum is A u.

        frames: (B, 7) root poses, translation then quaternion x, y, z, w (as Pose takes them); velocities and
        accelerations: (B, 6) root twists, angular then linear, world axes, as in BaseState. Q, QD, QDD: (B, n) joint
        vectors, n = joint_count; TAU and the results have m = n + 6 generalized entries, the base first.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by
        'row i: ', with i the lowest failing row whatever the thread count; the output rows before i hold their
        results, row i and the rows after it are unspecified. After KeyboardInterrupt every output row is
        unspecified. RuntimeError 'robot is closed' after close().
        """
    def kinetic_energy(self, frames: _Batch, velocities: _Batch, Q: _Batch, QD: _Batch,
                       out: _Batch | None = None) -> _Batch:
        """Returns the kinetic energies (B,), joules.

        frames: (B, 7) root poses, translation then quaternion x, y, z, w (as Pose takes them); velocities and
        accelerations: (B, 6) root twists, angular then linear, world axes, as in BaseState. Q, QD, QDD: (B, n) joint
        vectors, n = joint_count; TAU and the results have m = n + 6 generalized entries, the base first.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by
        'row i: ', with i the lowest failing row whatever the thread count; the output rows before i hold their
        results, row i and the rows after it are unspecified. After KeyboardInterrupt every output row is
        unspecified. RuntimeError 'robot is closed' after close().
        """
    def potential_energy(self, frames: _Batch, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns the gravitational potential energies -m g.c (B,), joules.

        frames: (B, 7) root poses, translation then quaternion x, y, z, w (as Pose takes them); velocities and
        accelerations: (B, 6) root twists, angular then linear, world axes, as in BaseState. Q, QD, QDD: (B, n) joint
        vectors, n = joint_count; TAU and the results have m = n + 6 generalized entries, the base first.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked
        before any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a
        wrong type TypeError. When row i fails, the exception is the single-state call's, its message led by
        'row i: ', with i the lowest failing row whatever the thread count; the output rows before i hold their
        results, row i and the rows after it are unspecified. After KeyboardInterrupt every output row is
        unspecified. RuntimeError 'robot is closed' after close().
        """
    def inverse_dynamics_derivatives(self, frames: _Batch, velocities: _Batch, accelerations: _Batch, Q: _Batch,
                                     QD: _Batch, QDD: _Batch, out: tuple[_Batch, _Batch, _Batch] | None = None
                                     ) -> tuple[_Batch, _Batch, _Batch]:
        """Returns (dtau/dq (B, m, m), dtau/dqd (B, m, m), tau (B, m)), entry [b, i, j] the derivative of tau_i by q_j
        or qd_j, as inverse_dynamics_derivatives gives them; out is a tuple of the three.

        frames: (B, 7) root poses, translation then quaternion x, y, z, w (as Pose takes them); velocities and
        accelerations: (B, 6) root twists, angular then linear, world axes, as in BaseState. Q, QD, QDD: (B, n) joint
        vectors, n = joint_count; TAU and the results have m = n + 6 generalized entries, the base first.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked before
        any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a wrong type
        TypeError. When row i fails, the exception is the single-state call's, its message led by 'row i: ', with i
        the lowest failing row whatever the thread count; the output rows before i hold their results, row i and the
        rows after it are unspecified. After KeyboardInterrupt every output row is unspecified. RuntimeError 'robot is
        closed' after close().
        """
    def forward_dynamics_derivatives(self, frames: _Batch, velocities: _Batch, Q: _Batch, QD: _Batch, TAU: _Batch,
                                     out: tuple[_Batch, _Batch, _Batch] | None = None
                                     ) -> tuple[_Batch, _Batch, _Batch]:
        """Returns (dqdd/dq, dqdd/dqd, dqdd/dTAU), each (B, m, m), the last the inverse mass matrix, as
        forward_dynamics_derivatives gives them; out is a tuple of the three.

        frames: (B, 7) root poses, translation then quaternion x, y, z, w (as Pose takes them); velocities and
        accelerations: (B, 6) root twists, angular then linear, world axes, as in BaseState. Q, QD, QDD: (B, n) joint
        vectors, n = joint_count; TAU and the results have m = n + 6 generalized entries, the base first.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked before
        any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a wrong type
        TypeError. When row i fails, the exception is the single-state call's, its message led by 'row i: ', with i
        the lowest failing row whatever the thread count; the output rows before i hold their results, row i and the
        rows after it are unspecified. After KeyboardInterrupt every output row is unspecified. RuntimeError 'robot is
        closed' after close().
        """
    def mass_matrix_inverse(self, frames: _Batch, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Returns the inverse mass matrices (B, m, m), articulated-body style.

        frames: (B, 7) root poses, translation then quaternion x, y, z, w (as Pose takes them); velocities and
        accelerations: (B, 6) root twists, angular then linear, world axes, as in BaseState. Q, QD, QDD: (B, n) joint
        vectors, n = joint_count; TAU and the results have m = n + 6 generalized entries, the base first.

        Inputs are float64 arrays with the batch axis first (B rows), C-contiguous or not; out is a C-contiguous
        float64 array of the result's shape, written and returned (None: a new one). Every argument is checked before
        any row is computed: a wrong shape raises ValueError ('Q must have shape (B, 9), got (4, 8)'), a wrong type
        TypeError. When row i fails, the exception is the single-state call's, its message led by 'row i: ', with i
        the lowest failing row whatever the thread count; the output rows before i hold their results, row i and the
        rows after it are unspecified. After KeyboardInterrupt every output row is unspecified. RuntimeError 'robot is
        closed' after close().
        """
