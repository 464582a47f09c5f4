"""The tree as the library laid it out: link k in the library's order with the joint that leads
to it (joint k − 1), its parent's index, its depth and the joint's entry of q. Everything comes
from the loaded robot, never from a second reading of the file."""

from __future__ import annotations

import sys
from dataclasses import dataclass
from os import PathLike

import vormek


@dataclass(frozen=True)
class Joint:
    """The joint leading to a link, as the library loaded it."""

    name: str
    kind: str  # revolute, continuous, prismatic or fixed
    axis: tuple[float, float, float]  # unit, in the joint frame (the child link's frame)
    lower: float  # the limits the inverse-kinematics check uses (±inf for continuous joints)
    upper: float

    @property
    def moves(self) -> bool:
        """Whether the joint owns an entry of q."""
        return self.kind != "fixed"


@dataclass(frozen=True)
class Row:
    """One link of the tree with the joint that leads to it."""

    index: int
    name: str  # the link's
    mass: float  # the link's, kg
    joint: Joint | None  # None for the root
    parent: int | None
    depth: int
    dof: int | None  # entry of q; None for the root and fixed joints


def rows(robot: vormek.Robot | vormek.FloatingRobot) -> list[Row]:
    """One Row per link, in the library's link order (the root first)."""
    lower, upper = robot.lower_limits, robot.upper_limits
    dofs = {name: k for k, name in enumerate(robot.joint_names)}
    result: list[Row] = []
    for index, (name, parent, (joint_name, kind, axis, mass)) in enumerate(
            zip(robot.link_names, robot.link_parents, robot._tree())):
        if parent < 0:
            result.append(Row(index, name, mass, None, None, 0, None))
            continue
        dof = dofs.get(joint_name) if kind != "fixed" else None
        limits = (float(lower[dof]), float(upper[dof])) if dof is not None else (0.0, 0.0)
        joint = Joint(joint_name, kind, axis, *limits)
        result.append(Row(index, name, mass, joint, parent, result[parent].depth + 1, dof))
    return result


def floating(path: str | PathLike[str], massless_root: bool = False) -> vormek.FloatingRobot:
    """The file as a FloatingRobot; with massless_root, built from the text the library read for a
    fixed base (the file is read once either way)."""
    if not massless_root:
        return vormek.FloatingRobot(path)
    with vormek.Robot(path) as fixed:
        return vormek.FloatingRobot.from_urdf_text(fixed._urdf_text(), massless_root=True)


def load(path: str | PathLike[str], floating_base: bool = False,
         massless_root: bool = False) -> vormek.Robot | vormek.FloatingRobot | None:
    """The robot, or None after saying on stderr why it does not load."""
    try:
        return floating(path, massless_root) if floating_base else vormek.Robot(path)
    except (vormek.VormekError, OSError, TypeError) as error:
        print(f"vormek: {path}: {error}", file=sys.stderr)
        if isinstance(error, vormek.ModelError):
            print(f"(run `vormek check {'--floating ' if floating_base else ''}{path}` for what is wrong and how to "
                  "mend it)", file=sys.stderr)
        return None
