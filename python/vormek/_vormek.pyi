# Types of the extension module _vormek, re-exported by the vormek package.
# tests/python/test_stubs.py holds these against the running module.

from collections.abc import Sequence
from os import PathLike
from typing import ClassVar, Self, SupportsFloat, SupportsIndex, final

import numpy as np
import numpy.typing as npt

# q, qd, qdd and forces: anything that converts to a one-dimensional float64 array
_JointVector = npt.ArrayLike
# results, and the out= arrays they are written into: one-dimensional float64
_Array = npt.NDArray[np.float64]
_Three = Sequence[SupportsFloat]
_Path = str | PathLike[str]

__all__: list[str]

@final
class Pose:
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __init__(self, translation: _Three = ..., rotation_xyzw: Sequence[SupportsFloat] = ...) -> None: ...
    @property
    def translation(self) -> tuple[float, float, float]: ...
    @property
    def rotation_xyzw(self) -> tuple[float, float, float, float]: ...
    def __eq__(self, other: object) -> bool: ...
    def __ne__(self, other: object) -> bool: ...

@final
class Twist:
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __init__(self, angular: _Three = ..., linear: _Three = ...) -> None: ...
    @property
    def angular(self) -> tuple[float, float, float]: ...
    @property
    def linear(self) -> tuple[float, float, float]: ...
    def __eq__(self, other: object) -> bool: ...
    def __ne__(self, other: object) -> bool: ...

@final
class BaseState:
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __init__(self, frame: Pose | None = None, velocity: Twist | None = None,
                 acceleration: Twist | None = None) -> None: ...
    @property
    def frame(self) -> Pose: ...
    @property
    def velocity(self) -> Twist: ...
    @property
    def acceleration(self) -> Twist: ...
    def __eq__(self, other: object) -> bool: ...
    def __ne__(self, other: object) -> bool: ...

@final
class Load:
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __init__(self, link_id: SupportsIndex, torque: _Three = ..., force: _Three = ...) -> None: ...
    @property
    def link_id(self) -> int: ...
    @property
    def torque(self) -> tuple[float, float, float]: ...
    @property
    def force(self) -> tuple[float, float, float]: ...
    def __eq__(self, other: object) -> bool: ...
    def __ne__(self, other: object) -> bool: ...

@final
class IkOptions:
    __hash__: ClassVar[None]  # type: ignore[assignment]
    def __init__(self, max_iterations: SupportsIndex | None = None, translation_tolerance: SupportsFloat = 1.0e-6,
                 rotation_tolerance: SupportsFloat = 1.0e-6, damping: SupportsFloat = 1.0e-3,
                 max_step_norm: SupportsFloat = 0.5) -> None: ...
    @property
    def max_iterations(self) -> int: ...
    @property
    def translation_tolerance(self) -> float: ...
    @property
    def rotation_tolerance(self) -> float: ...
    @property
    def damping(self) -> float: ...
    @property
    def max_step_norm(self) -> float: ...
    def __eq__(self, other: object) -> bool: ...
    def __ne__(self, other: object) -> bool: ...

@final
class Robot:
    def __init__(self, path: _Path) -> None: ...
    @classmethod
    def from_urdf(cls, path: _Path) -> Robot: ...
    def close(self) -> None: ...
    def __enter__(self) -> Self: ...
    def __exit__(self, _exc_type: object, _exc_value: object, _traceback: object) -> None: ...
    @property
    def name(self) -> str: ...
    @property
    def joint_count(self) -> int: ...
    @property
    def generalized_count(self) -> int: ...
    @property
    def link_count(self) -> int: ...
    def link_id(self, name: str) -> int: ...
    def set_base_frame(self, frame: Pose) -> None: ...
    def forward_kinematics(self, q: _JointVector, target: SupportsIndex) -> Pose: ...
    def jacobian(self, q: _JointVector, target: SupportsIndex, out: _Array | None = None) -> _Array: ...
    def jacobian_derivative(self, q: _JointVector, qd: _JointVector, target: SupportsIndex,
                            out: _Array | None = None) -> _Array: ...
    def forward_velocity_kinematics(self, q: _JointVector, qd: _JointVector, target: SupportsIndex,
                                    tool: Pose | None = None) -> Twist: ...
    def forward_acceleration_kinematics(self, q: _JointVector, qd: _JointVector, qdd: _JointVector,
                                        target: SupportsIndex) -> Twist: ...
    def gravity(self, q: _JointVector, loads: Sequence[Load] | None = None, out: _Array | None = None) -> _Array: ...
    def inverse_dynamics(self, q: _JointVector, qd: _JointVector, qdd: _JointVector,
                         loads: Sequence[Load] | None = None, out: _Array | None = None) -> _Array: ...
    def forward_dynamics(self, q: _JointVector, qd: _JointVector, forces: _JointVector,
                         loads: Sequence[Load] | None = None, out: _Array | None = None) -> _Array: ...
    def mass_matrix(self, q: _JointVector, out: _Array | None = None) -> _Array: ...
    def velocity_product_forces(self, q: _JointVector, qd: _JointVector, out: _Array | None = None) -> _Array: ...
    def inverse_kinematics(self, q: _JointVector, target: SupportsIndex, desired: Pose,
                           options: IkOptions | None = None, out: _Array | None = None) -> _Array: ...
    def center_of_mass(self, q: _JointVector, out: _Array | None = None) -> _Array:
        """World position of the robot's centre of mass c, in metres: 3 values, written into out (a float64 array of
        3) when given. NaN for a robot without mass.

        The whole robot counts: every link, the root link and those fixed to it included. Raises ValueError for
        an array of the wrong length or with a non-finite entry and for an unsuitable out, TypeError for an
        argument of the wrong type, RuntimeError when the robot is closed.
        """
    def center_of_mass_velocity(self, q: _JointVector, qd: _JointVector, out: _Array | None = None) -> _Array:
        """Velocity of the centre of mass in world axes, m/s: 3 values, J_c·qd. NaN for a robot without mass.

        The whole robot counts: every link, the root link and those fixed to it included. Raises ValueError for
        an array of the wrong length or with a non-finite entry and for an unsuitable out, TypeError for an
        argument of the wrong type, RuntimeError when the robot is closed.
        """
    def center_of_mass_jacobian(self, q: _JointVector, out: _Array | None = None) -> _Array:
        """The 3 x n Jacobian J_c of the centre of mass in world axes, flat column by column like jacobian(): column
        k, the velocity of c per unit velocity of joint coordinate k, is elements 3k to 3k + 2, so J_c =
        result.reshape(n, 3).T. NaN for a robot without mass.

        The whole robot counts: every link, the root link and those fixed to it included. Raises ValueError for
        an array of the wrong length or with a non-finite entry and for an unsuitable out, TypeError for an
        argument of the wrong type, RuntimeError when the robot is closed.
        """
    def momentum(self, q: _JointVector, qd: _JointVector) -> Twist:
        """The centroidal momentum as a Twist, world axes: angular, the angular momentum about the centre of mass
        (kg m^2/s); linear, the linear momentum m·ċ (kg m/s).

        The whole robot counts: every link, the root link and those fixed to it included. Raises ValueError for
        an array of the wrong length or with a non-finite entry and for an unsuitable out, TypeError for an
        argument of the wrong type, RuntimeError when the robot is closed.
        """
    def centroidal_momentum_matrix(self, q: _JointVector, out: _Array | None = None) -> _Array:
        """The 6 x n centroidal momentum matrix A, world axes: [angular; linear] momentum about the centre of mass =
        A·qd. Flat column by column like jacobian() (elements 6k to 6k + 5, angular rows first), so A =
        result.reshape(n, 6).T; its linear rows are m·J_c.

        The whole robot counts: every link, the root link and those fixed to it included. Raises ValueError for
        an array of the wrong length or with a non-finite entry and for an unsuitable out, TypeError for an
        argument of the wrong type, RuntimeError when the robot is closed.
        """
    def kinetic_energy(self, q: _JointVector, qd: _JointVector) -> float:
        """The kinetic energy 1/2·qdᵀ·M·qd in joules, a float.

        The whole robot counts: every link, the root link and those fixed to it included. Raises ValueError for
        an array of the wrong length or with a non-finite entry and for an unsuitable out, TypeError for an
        argument of the wrong type, RuntimeError when the robot is closed.
        """
    def potential_energy(self, q: _JointVector) -> float:
        """The gravitational potential energy -m·g·c in joules, a float: zero with the centre of mass at the world
        origin, g the gravity of the dynamics (9.80665 m/s² along world -z).

        The whole robot counts: every link, the root link and those fixed to it included. Raises ValueError for
        an array of the wrong length or with a non-finite entry and for an unsuitable out, TypeError for an
        argument of the wrong type, RuntimeError when the robot is closed.
        """
    def solve_ik(self, q0: _JointVector, target: SupportsIndex, desired: Pose, *, tool: Pose | None = None,
                 position_only: bool = False, orientation_weight: SupportsFloat = 1.0,
                 tolerance: SupportsFloat = 1e-06, max_iterations: SupportsIndex = 50,
                 restarts: SupportsIndex = 200, seed: SupportsIndex = 0, out: _Array | None = None) -> _Array:
        """Joint positions (n,) that put the target link's tool frame (the link frame, or `tool`, a Pose in
        the link frame) at the world pose `desired`, every coordinate inside its URDF limits at every
        iterate. Only the joints between the root and the target move; the others keep their q0 values,
        clamped into their limits. A damped least-squares descent starts from q0 (clamped); when it
        stalls, it starts again from joint positions drawn from the limits by a generator seeded with
        `seed`, up to `restarts` times, so the same arguments always give the same answer. Solved means
        a translation error (metres) and a rotation error (radians) both within `tolerance` (the
        translation alone with position_only=True); `orientation_weight` is the metres one radian counts
        for while iterating. `max_iterations` bounds each descent.

        Raises SolverError naming the best translation and rotation errors reached and the restarts when
        no solution is found; ValueError or TypeError for bad arguments, before any work."""

@final
class FloatingRobot:
    def __init__(self, path: _Path) -> None: ...
    @classmethod
    def from_urdf(cls, path: _Path) -> FloatingRobot: ...
    def close(self) -> None: ...
    def __enter__(self) -> Self: ...
    def __exit__(self, _exc_type: object, _exc_value: object, _traceback: object) -> None: ...
    @property
    def name(self) -> str: ...
    @property
    def joint_count(self) -> int: ...
    @property
    def generalized_count(self) -> int: ...
    @property
    def link_count(self) -> int: ...
    def link_id(self, name: str) -> int: ...
    def forward_kinematics(self, base: BaseState, q: _JointVector, target: SupportsIndex) -> Pose: ...
    def jacobian(self, base: BaseState, q: _JointVector, target: SupportsIndex,
                 out: _Array | None = None) -> _Array: ...
    def jacobian_derivative(self, base: BaseState, q: _JointVector, qd: _JointVector, target: SupportsIndex,
                            out: _Array | None = None) -> _Array: ...
    def forward_velocity_kinematics(self, base: BaseState, q: _JointVector, qd: _JointVector,
                                    target: SupportsIndex, tool: Pose | None = None) -> Twist: ...
    def forward_acceleration_kinematics(self, base: BaseState, q: _JointVector, qd: _JointVector,
                                        qdd: _JointVector, target: SupportsIndex) -> Twist: ...
    def gravity(self, base: BaseState, q: _JointVector, loads: Sequence[Load] | None = None,
                out: _Array | None = None) -> _Array: ...
    def inverse_dynamics(self, base: BaseState, q: _JointVector, qd: _JointVector, qdd: _JointVector,
                         loads: Sequence[Load] | None = None, out: _Array | None = None) -> _Array: ...
    def forward_dynamics(self, base: BaseState, q: _JointVector, qd: _JointVector, forces: _JointVector,
                         loads: Sequence[Load] | None = None, out: _Array | None = None) -> _Array: ...
    def mass_matrix(self, base: BaseState, q: _JointVector, out: _Array | None = None) -> _Array: ...
    def velocity_product_forces(self, base: BaseState, q: _JointVector, qd: _JointVector,
                                out: _Array | None = None) -> _Array: ...
    def center_of_mass(self, base: BaseState, q: _JointVector, out: _Array | None = None) -> _Array:
        """World position of the robot's centre of mass c, in metres: 3 values, written into out (a float64 array of
        3) when given. base: the root link's BaseState, of which only the frame is read.

        The whole robot counts: every link, the root link and those fixed to it included. Raises ValueError for
        an array of the wrong length or with a non-finite entry and for an unsuitable out, TypeError for an
        argument of the wrong type, RuntimeError when the robot is closed.
        """
    def center_of_mass_velocity(self, base: BaseState, q: _JointVector, qd: _JointVector,
                                out: _Array | None = None) -> _Array:
        """Velocity of the centre of mass in world axes, m/s: 3 values, J_c·[ω; ṗ; qd] with the base's velocity (ω,
        ṗ). base: the root link's BaseState, of which the frame and the velocity are read.

        The whole robot counts: every link, the root link and those fixed to it included. Raises ValueError for
        an array of the wrong length or with a non-finite entry and for an unsuitable out, TypeError for an
        argument of the wrong type, RuntimeError when the robot is closed.
        """
    def center_of_mass_jacobian(self, base: BaseState, q: _JointVector, out: _Array | None = None) -> _Array:
        """The 3 x (n + 6) Jacobian J_c of the centre of mass in world axes, flat column by column like jacobian():
        six base columns (base angular velocity about world x, y, z, then base origin velocity along them), then
        one per joint coordinate, each 3 values, so J_c = result.reshape(n + 6, 3).T. base: the root link's
        BaseState, of which only the frame is read.

        The whole robot counts: every link, the root link and those fixed to it included. Raises ValueError for
        an array of the wrong length or with a non-finite entry and for an unsuitable out, TypeError for an
        argument of the wrong type, RuntimeError when the robot is closed.
        """
    def momentum(self, base: BaseState, q: _JointVector, qd: _JointVector) -> Twist:
        """The centroidal momentum as a Twist, world axes: angular, the angular momentum about the centre of mass
        (kg m^2/s); linear, the linear momentum m·ċ (kg m/s). base: the root link's BaseState, of which the frame
        and the velocity are read.

        The whole robot counts: every link, the root link and those fixed to it included. Raises ValueError for
        an array of the wrong length or with a non-finite entry and for an unsuitable out, TypeError for an
        argument of the wrong type, RuntimeError when the robot is closed.
        """
    def centroidal_momentum_matrix(self, base: BaseState, q: _JointVector, out: _Array | None = None) -> _Array:
        """The 6 x (n + 6) centroidal momentum matrix A, world axes: [angular; linear] momentum about the centre of
        mass = A·[ω; ṗ; qd]. Flat column by column like jacobian(), base columns first, angular rows first, so A
        = result.reshape(n + 6, 6).T. It is the mass matrix's six base rows with their torque moved from the base
        origin p to c: A = [[1, -[c - p]x], [0, 1]]·M[:6]; its linear rows are m·J_c. base: the root link's
        BaseState, of which only the frame is read.

        The whole robot counts: every link, the root link and those fixed to it included. Raises ValueError for
        an array of the wrong length or with a non-finite entry and for an unsuitable out, TypeError for an
        argument of the wrong type, RuntimeError when the robot is closed.
        """
    def kinetic_energy(self, base: BaseState, q: _JointVector, qd: _JointVector) -> float:
        """The kinetic energy 1/2·uᵀ·M·u in joules, a float, with u = [ω; ṗ; qd] and the base's velocity (ω, ṗ).
        base: the root link's BaseState, of which the frame and the velocity are read.

        The whole robot counts: every link, the root link and those fixed to it included. Raises ValueError for
        an array of the wrong length or with a non-finite entry and for an unsuitable out, TypeError for an
        argument of the wrong type, RuntimeError when the robot is closed.
        """
    def potential_energy(self, base: BaseState, q: _JointVector) -> float:
        """The gravitational potential energy -m·g·c in joules, a float: zero with the centre of mass at the world
        origin, g the gravity of the dynamics (9.80665 m/s² along world -z). base: the root link's BaseState, of
        which only the frame is read.

        The whole robot counts: every link, the root link and those fixed to it included. Raises ValueError for
        an array of the wrong length or with a non-finite entry and for an unsuitable out, TypeError for an
        argument of the wrong type, RuntimeError when the robot is closed.
        """

class VormekError(RuntimeError): ...
class ModelError(VormekError): ...
class SolverError(VormekError): ...
class PanicError(VormekError): ...
