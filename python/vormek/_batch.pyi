# Types of the extension module vormek._batch, re-exported by vormek.batch.
# tests/python/test_stubs.py holds these against the running module.

from os import PathLike
from typing import Self, SupportsFloat, SupportsIndex, final

from vormek._vormek import Pose

import numpy as np
import numpy.typing as npt

# batches in and out: float64 arrays with the batch axis first
_Batch = npt.NDArray[np.float64]
_Path = str | PathLike[str]

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
    def inverse_dynamics_derivatives(self, Q: _Batch, QD: _Batch, QDD: _Batch,
                                     out: tuple[_Batch, _Batch, _Batch] | None = None) -> tuple[_Batch, _Batch, _Batch]:
        """Derivatives of inverse dynamics dtau/dq and dtau/dqd (B, m, m), entry [b, i, j] the derivative of
        tau_i by q_j or qd_j, and tau itself (B, m); out is a tuple of the three.

        Every argument is checked before any row is computed. When row i fails, the exception is the single-state
        call's, its message led by 'row i: ', with i the lowest failing row whatever the thread count; the output
        rows before i hold their results, row i and the rows after it are unspecified. After KeyboardInterrupt
        every output row is unspecified."""
    def forward_dynamics_derivatives(self, Q: _Batch, QD: _Batch, TAU: _Batch,
                                     out: tuple[_Batch, _Batch, _Batch] | None = None) -> tuple[_Batch, _Batch, _Batch]:
        """Derivatives of forward dynamics dqdd/dq, dqdd/dqd and dqdd/dTAU, the inverse mass matrix, each (B, m,
        m); out is a tuple of the three.

        Every argument is checked before any row is computed. When row i fails, the exception is the single-state
        call's, its message led by 'row i: ', with i the lowest failing row whatever the thread count; the output
        rows before i hold their results, row i and the rows after it are unspecified. After KeyboardInterrupt
        every output row is unspecified."""
    def mass_matrix_inverse(self, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Inverse mass matrices (B, m, m), articulated-body style.

        Every argument is checked before any row is computed. When row i fails, the exception is the single-state
        call's, its message led by 'row i: ', with i the lowest failing row whatever the thread count; the output
        rows before i hold their results, row i and the rows after it are unspecified. After KeyboardInterrupt
        every output row is unspecified."""

@final
class FloatingRobotBatch:
    def __init__(self, path: _Path, threads: SupportsIndex | None = None) -> None: ...
    @classmethod
    def from_urdf_text(cls, text: str, threads: SupportsIndex | None = None) -> FloatingRobotBatch: ...
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
    def inverse_dynamics_derivatives(self, frames: _Batch, velocities: _Batch, accelerations: _Batch, Q: _Batch,
                                     QD: _Batch, QDD: _Batch, out: tuple[_Batch, _Batch, _Batch] | None = None
                                     ) -> tuple[_Batch, _Batch, _Batch]:
        """Derivatives of inverse dynamics dtau/dq and dtau/dqd (B, m, m), entry [b, i, j] the derivative of
        tau_i by q_j or qd_j, and tau itself (B, m); out is a tuple of the three.

        Every argument is checked before any row is computed. When row i fails, the exception is the single-state
        call's, its message led by 'row i: ', with i the lowest failing row whatever the thread count; the output
        rows before i hold their results, row i and the rows after it are unspecified. After KeyboardInterrupt
        every output row is unspecified."""
    def forward_dynamics_derivatives(self, frames: _Batch, velocities: _Batch, Q: _Batch, QD: _Batch, TAU: _Batch,
                                     out: tuple[_Batch, _Batch, _Batch] | None = None
                                     ) -> tuple[_Batch, _Batch, _Batch]:
        """Derivatives of forward dynamics dqdd/dq, dqdd/dqd and dqdd/dTAU, the inverse mass matrix, each (B, m,
        m); out is a tuple of the three.

        Every argument is checked before any row is computed. When row i fails, the exception is the single-state
        call's, its message led by 'row i: ', with i the lowest failing row whatever the thread count; the output
        rows before i hold their results, row i and the rows after it are unspecified. After KeyboardInterrupt
        every output row is unspecified."""
    def mass_matrix_inverse(self, frames: _Batch, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Inverse mass matrices (B, m, m), articulated-body style.

        Every argument is checked before any row is computed. When row i fails, the exception is the single-state
        call's, its message led by 'row i: ', with i the lowest failing row whatever the thread count; the output
        rows before i hold their results, row i and the rows after it are unspecified. After KeyboardInterrupt
        every output row is unspecified."""
