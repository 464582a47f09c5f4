"""Rigid-body kinematics and dynamics for tree-structured robots described in URDF files.

``Robot(path)`` (fixed base) and ``FloatingRobot(path)`` (free root, a ``BaseState`` first in
every call) load a URDF; their methods take NumPy arrays and return new float64 arrays or write
into ``out=``. Units are SI (m, rad, kg, s), gravity 9.80665 m/s^2 along world -z. Links are
numbered breadth-first from the root; ``q`` has one entry per non-fixed joint in that order.
Poses are ``Pose(translation, rotation_xyzw)`` (quaternion scalar last); six-vectors put the
angular part first, in world axes. Bad arguments raise ``ValueError`` or ``TypeError``; files
``ModelError``, failed solves ``SolverError``, both ``VormekError`` subclasses. ``vormek.batch``
computes many states per call; ``vormek.dask`` spreads them over a cluster.
"""

from typing import TYPE_CHECKING

# The extension is the top-level module _vormek; its types are described beside this file in
# _vormek.pyi, which type checkers read as vormek._vormek.
if TYPE_CHECKING:
    from ._vormek import (
        BaseState,
        FloatingRobot,
        IkOptions,
        Load,
        ModelError,
        PanicError,
        Pose,
        Robot,
        SolverError,
        Twist,
        VormekError,
    )
else:
    from _vormek import (
        BaseState,
        FloatingRobot,
        IkOptions,
        Load,
        ModelError,
        PanicError,
        Pose,
        Robot,
        SolverError,
        Twist,
        VormekError,
    )

__all__ = [
    "Pose",
    "Twist",
    "BaseState",
    "Load",
    "IkOptions",
    "Robot",
    "FloatingRobot",
    "VormekError",
    "ModelError",
    "SolverError",
    "PanicError",
]
