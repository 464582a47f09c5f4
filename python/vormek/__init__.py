"""Rigid-body kinematics and dynamics for tree-structured robots described in URDF files."""

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
