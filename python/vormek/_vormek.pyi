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
_LIMITS = npt.NDArray[np.float64]

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
    @classmethod
    def from_urdf_text(cls, text: str) -> Robot:
        """Loads the robot from URDF text, with the same checks and messages as loading a file (ModelError)."""
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
    def lower_limits(self) -> _LIMITS:
        """Lower position limits in q's order (a read-only float64 array; rad or m; -inf for continuous
        joints), exactly the values the inverse-kinematics check uses."""
    @property
    def upper_limits(self) -> _LIMITS:
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

@final
class FloatingRobot:
    def __init__(self, path: _Path, *, massless_root: bool = False) -> None: ...
    @classmethod
    def from_urdf(cls, path: _Path, *, massless_root: bool = False) -> FloatingRobot:
        """With massless_root=True a root link of mass 0 is accepted when the links fixed to it give the root body
        mass; otherwise ModelError 'invalid robot model: floating-base root link {name} must have positive mass'."""
    @classmethod
    def from_urdf_text(cls, text: str, *, massless_root: bool = False) -> FloatingRobot:
        """Loads the robot from URDF text, with the same checks and messages as loading a file (ModelError). With massless_root=True a root link of mass 0 is accepted when the links fixed to it give the root body
        mass; otherwise ModelError 'invalid robot model: floating-base root link {name} must have positive mass'."""
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
    def lower_limits(self) -> _LIMITS:
        """Lower position limits in q's order (a read-only float64 array; rad or m; -inf for continuous
        joints), exactly the values the inverse-kinematics check uses."""
    @property
    def upper_limits(self) -> _LIMITS:
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

class VormekError(RuntimeError): ...
class ModelError(VormekError): ...
class SolverError(VormekError): ...
class PanicError(VormekError): ...
