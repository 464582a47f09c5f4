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
    def center_of_mass(self, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """World positions of the centre of mass of the whole robot (B, 3), every link counted.

        Every argument is checked before any row is computed. When row i fails, the exception is the single-state
        call's, its message led by 'row i: ', with i the lowest failing row whatever the thread count; the output
        rows before i hold their results, row i and the rows after it are unspecified. After KeyboardInterrupt
        every output row is unspecified.
        """
    def center_of_mass_velocity(self, Q: _Batch, QD: _Batch, out: _Batch | None = None) -> _Batch:
        """Velocities of the centre of mass (B, 3), world axes.

        Every argument is checked before any row is computed. When row i fails, the exception is the single-state
        call's, its message led by 'row i: ', with i the lowest failing row whatever the thread count; the output
        rows before i hold their results, row i and the rows after it are unspecified. After KeyboardInterrupt
        every output row is unspecified.
        """
    def center_of_mass_jacobian(self, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Jacobians of the centre of mass (B, 3, m), world axes.

        Every argument is checked before any row is computed. When row i fails, the exception is the single-state
        call's, its message led by 'row i: ', with i the lowest failing row whatever the thread count; the output
        rows before i hold their results, row i and the rows after it are unspecified. After KeyboardInterrupt
        every output row is unspecified.
        """
    def momentum(self, Q: _Batch, QD: _Batch, out: _Batch | None = None) -> _Batch:
        """Centroidal momenta (B, 6): the angular momentum about the centre of mass, then the linear one, world
        axes.

        Every argument is checked before any row is computed. When row i fails, the exception is the single-state
        call's, its message led by 'row i: ', with i the lowest failing row whatever the thread count; the output
        rows before i hold their results, row i and the rows after it are unspecified. After KeyboardInterrupt
        every output row is unspecified.
        """
    def centroidal_momentum_matrix(self, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Centroidal momentum matrices (B, 6, m), rows angular then linear, world axes: momentum = A·u.

        Every argument is checked before any row is computed. When row i fails, the exception is the single-state
        call's, its message led by 'row i: ', with i the lowest failing row whatever the thread count; the output
        rows before i hold their results, row i and the rows after it are unspecified. After KeyboardInterrupt
        every output row is unspecified.
        """
    def kinetic_energy(self, Q: _Batch, QD: _Batch, out: _Batch | None = None) -> _Batch:
        """Kinetic energies (B,), joules.

        Every argument is checked before any row is computed. When row i fails, the exception is the single-state
        call's, its message led by 'row i: ', with i the lowest failing row whatever the thread count; the output
        rows before i hold their results, row i and the rows after it are unspecified. After KeyboardInterrupt
        every output row is unspecified.
        """
    def potential_energy(self, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Gravitational potential energies -m·g·c (B,), joules.

        Every argument is checked before any row is computed. When row i fails, the exception is the single-state
        call's, its message led by 'row i: ', with i the lowest failing row whatever the thread count; the output
        rows before i hold their results, row i and the rows after it are unspecified. After KeyboardInterrupt
        every output row is unspecified.
        """
    def solve_ik(self, Q0: _Batch, target: SupportsIndex, desired: _Batch, *, tool: Pose | None = None,
                 position_only: bool = False, orientation_weight: SupportsFloat = 1.0,
                 tolerance: SupportsFloat = 1e-06, max_iterations: SupportsIndex = 50,
                 restarts: SupportsIndex = 200, seed: SupportsIndex = 0,
                 out: _Batch | None = None) -> tuple[_Batch, npt.NDArray[np.bool_]]:
        """Robot.solve_ik for B goals: Q0 (B, n) the starts, desired (B, 7) the world goals as translation x, y,
        z then quaternion x, y, z, w. Returns (solutions (B, n), solved (B,) bool); out, when given, is the
        (B, n) array of solutions. A row that finds no solution does not raise: its mask entry is False and
        its row holds the best configuration met, inside the limits. Each row is bit for bit what
        Robot.solve_ik gives with the same arguments, whatever the thread count.

        Every argument is checked before any row is computed. A row whose goal is refused (a non-finite
        value or a zero quaternion) raises ValueError, its message led by 'row i: ', with i the lowest such
        row; the output rows before it hold their results."""

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
    def center_of_mass(self, frames: _Batch, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """World positions of the centre of mass of the whole robot (B, 3), every link counted.

        Every argument is checked before any row is computed. When row i fails, the exception is the single-state
        call's, its message led by 'row i: ', with i the lowest failing row whatever the thread count; the output
        rows before i hold their results, row i and the rows after it are unspecified. After KeyboardInterrupt
        every output row is unspecified.
        """
    def center_of_mass_velocity(self, frames: _Batch, velocities: _Batch, Q: _Batch, QD: _Batch,
                                out: _Batch | None = None) -> _Batch:
        """Velocities of the centre of mass (B, 3), world axes.

        Every argument is checked before any row is computed. When row i fails, the exception is the single-state
        call's, its message led by 'row i: ', with i the lowest failing row whatever the thread count; the output
        rows before i hold their results, row i and the rows after it are unspecified. After KeyboardInterrupt
        every output row is unspecified.
        """
    def center_of_mass_jacobian(self, frames: _Batch, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Jacobians of the centre of mass (B, 3, m), world axes.

        Every argument is checked before any row is computed. When row i fails, the exception is the single-state
        call's, its message led by 'row i: ', with i the lowest failing row whatever the thread count; the output
        rows before i hold their results, row i and the rows after it are unspecified. After KeyboardInterrupt
        every output row is unspecified.
        """
    def momentum(self, frames: _Batch, velocities: _Batch, Q: _Batch, QD: _Batch, out: _Batch | None = None) -> _Batch:
        """Centroidal momenta (B, 6): the angular momentum about the centre of mass, then the linear one, world
        axes.

        Every argument is checked before any row is computed. When row i fails, the exception is the single-state
        call's, its message led by 'row i: ', with i the lowest failing row whatever the thread count; the output
        rows before i hold their results, row i and the rows after it are unspecified. After KeyboardInterrupt
        every output row is unspecified.
        """
    def centroidal_momentum_matrix(self, frames: _Batch, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Centroidal momentum matrices (B, 6, m), rows angular then linear, world axes: momentum = A·u.

        Every argument is checked before any row is computed. When row i fails, the exception is the single-state
        call's, its message led by 'row i: ', with i the lowest failing row whatever the thread count; the output
        rows before i hold their results, row i and the rows after it are unspecified. After KeyboardInterrupt
        every output row is unspecified.
        """
    def kinetic_energy(self, frames: _Batch, velocities: _Batch, Q: _Batch, QD: _Batch,
                       out: _Batch | None = None) -> _Batch:
        """Kinetic energies (B,), joules.

        Every argument is checked before any row is computed. When row i fails, the exception is the single-state
        call's, its message led by 'row i: ', with i the lowest failing row whatever the thread count; the output
        rows before i hold their results, row i and the rows after it are unspecified. After KeyboardInterrupt
        every output row is unspecified.
        """
    def potential_energy(self, frames: _Batch, Q: _Batch, out: _Batch | None = None) -> _Batch:
        """Gravitational potential energies -m·g·c (B,), joules.

        Every argument is checked before any row is computed. When row i fails, the exception is the single-state
        call's, its message led by 'row i: ', with i the lowest failing row whatever the thread count; the output
        rows before i hold their results, row i and the rows after it are unspecified. After KeyboardInterrupt
        every output row is unspecified.
        """
