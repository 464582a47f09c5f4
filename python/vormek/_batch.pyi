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
_LIMITS = npt.NDArray[np.float64]

__all__: list[str]

@final
class RobotBatch:
    def __init__(self, path: _Path, threads: SupportsIndex | None = None) -> None: ...
    @classmethod
    def from_urdf_text(cls, text: str, threads: SupportsIndex | None = None) -> RobotBatch: ...
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
    @property
    def threads(self) -> int: ...
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
        Raises ValueError 'gravity contains a non-finite value', TypeError for anything but three numbers. Every worker takes it."""
    @property
    def gravity_vector(self) -> tuple[float, float, float]:
        """The gravitational acceleration (gx, gy, gz) in world axes, m/s^2 (a tuple; set it with set_gravity)."""
    def forward_kinematics(self, Q: _Batch, target: SupportsIndex,
                           out: tuple[_Batch, _Batch] | None = None) -> tuple[_Batch, _Batch]: ...
    def jacobian(self, Q: _Batch, target: SupportsIndex, out: _Batch | None = None) -> _Batch: ...
    def mass_matrix(self, Q: _Batch, out: _Batch | None = None) -> _Batch: ...
    def gravity(self, Q: _Batch, out: _Batch | None = None) -> _Batch: ...
    def velocity_product_forces(self, Q: _Batch, QD: _Batch, out: _Batch | None = None) -> _Batch: ...
    def inverse_dynamics(self, Q: _Batch, QD: _Batch, QDD: _Batch, out: _Batch | None = None) -> _Batch: ...
    def forward_dynamics(self, Q: _Batch, QD: _Batch, TAU: _Batch, out: _Batch | None = None) -> _Batch: ...
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

@final
class FloatingRobotBatch:
    def __init__(self, path: _Path, threads: SupportsIndex | None = None, *, massless_root: bool = False) -> None: ...
    @classmethod
    def from_urdf_text(cls, text: str, threads: SupportsIndex | None = None, *,
                       massless_root: bool = False) -> FloatingRobotBatch:
        """With massless_root=True a root link of mass 0 is accepted when the links fixed to it give the root body
        mass."""
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
    @property
    def threads(self) -> int: ...
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
        Raises ValueError 'gravity contains a non-finite value', TypeError for anything but three numbers. Every worker takes it."""
    @property
    def gravity_vector(self) -> tuple[float, float, float]:
        """The gravitational acceleration (gx, gy, gz) in world axes, m/s^2 (a tuple; set it with set_gravity)."""
    def forward_kinematics(self, frames: _Batch, Q: _Batch, target: SupportsIndex,
                           out: tuple[_Batch, _Batch] | None = None) -> tuple[_Batch, _Batch]: ...
    def jacobian(self, frames: _Batch, Q: _Batch, target: SupportsIndex, out: _Batch | None = None) -> _Batch: ...
    def mass_matrix(self, frames: _Batch, Q: _Batch, out: _Batch | None = None) -> _Batch: ...
    def gravity(self, frames: _Batch, Q: _Batch, out: _Batch | None = None) -> _Batch: ...
    def velocity_product_forces(self, frames: _Batch, velocities: _Batch, Q: _Batch, QD: _Batch,
                                out: _Batch | None = None) -> _Batch: ...
    def inverse_dynamics(self, frames: _Batch, velocities: _Batch, accelerations: _Batch, Q: _Batch, QD: _Batch,
                         QDD: _Batch, out: _Batch | None = None) -> _Batch: ...
    def forward_dynamics(self, frames: _Batch, velocities: _Batch, Q: _Batch, QD: _Batch, TAU: _Batch,
                         out: _Batch | None = None) -> _Batch: ...
