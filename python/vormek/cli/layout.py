"""The tree as the library laid it out: link k in the library's order with the joint that leads
to it (joint k − 1), its parent's index, its depth and the joint's DOF index."""

from __future__ import annotations

import sys
from dataclasses import dataclass
from os import PathLike

import vormek

from .urdf import Description, Joint, Link


@dataclass(frozen=True)
class Row:
    index: int
    link: Link
    joint: Joint | None  # None for the root
    parent: int | None
    depth: int
    dof: int | None  # position in q; None for the root and fixed joints


def rows(robot: vormek.Robot | vormek.FloatingRobot, description: Description) -> list[Row]:
    """One Row per link, in the library's link order (the root first)."""
    # the library's link index is the truth for the order; the file only supplies the names
    ordered = sorted(description.links, key=lambda link: robot.link_id(link.name))
    result: list[Row] = []
    dof = 0
    for index, link in enumerate(ordered):
        joint = description.joint_to(link.name) if index > 0 else None
        parent = robot.link_id(joint.parent) if joint is not None else None
        depth = result[parent].depth + 1 if parent is not None else 0
        moving = joint is not None and joint.moves
        result.append(Row(index, link, joint, parent, depth, dof if moving else None))
        dof += moving
    return result


def load(path: str | PathLike[str], floating: bool = False) -> vormek.Robot | vormek.FloatingRobot | None:
    """The robot, or None after saying on stderr why it does not load."""
    try:
        return vormek.FloatingRobot(path) if floating else vormek.Robot(path)
    except (vormek.VormekError, OSError, TypeError) as error:
        print(f"vormek: {path}: {error}", file=sys.stderr)
        if isinstance(error, vormek.ModelError):
            print(f"(run `vormek check {path}` for what is wrong and how to mend it)", file=sys.stderr)
        return None
