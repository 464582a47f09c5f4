"""Rigid-body kinematics and dynamics for tree-structured robots described in URDF files."""

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
