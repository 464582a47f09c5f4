"""`vormek draw`: the skeleton at a configuration, so a user can see that the file was read the
way they meant. Every position, name and axis comes from the robot the library loaded."""

from __future__ import annotations

import argparse
import sys
from typing import Any

import numpy as np

import vormek

from . import layout

INSTALL_HINT = "vormek draw needs matplotlib: pip install 'vormek[plot]' (or pip install matplotlib)"


def add_parser(commands: Any) -> None:
    """Adds `vormek draw` and its options to the subcommands of the top-level parser."""
    p = commands.add_parser(
        "draw", help="picture of the skeleton at a configuration (needs vormek[plot])",
        description="Draw joint origins joined parent to child, joint axes as short arrows and "
                    "link frames as small triads (x red, y green, z blue) at configuration q.")
    p.add_argument("urdf", metavar="ROBOT.urdf")
    p.add_argument("--q", nargs="+", type=float, metavar="Q",
                   help="joint positions in the order `vormek info` shows (default: all zero)")
    p.add_argument("-o", "--output", default="robot.png", metavar="PNG", help="default: robot.png")
    p.add_argument("--labels", action="store_true", help="write link names beside their frames")
    p.set_defaults(run=run)


def _rotation(x: float, y: float, z: float, w: float) -> np.ndarray:
    return np.array([[1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)],
                     [2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)],
                     [2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)]])


def run(args: argparse.Namespace) -> int:
    """Draws the skeleton to args.output; 2 without matplotlib, 1 when the robot does not load or
    --q does not fit it, else 0."""
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print(INSTALL_HINT, file=sys.stderr)
        return 2
    robot = layout.load(args.urdf)
    if robot is None:
        return 1
    with robot:
        assert isinstance(robot, vormek.Robot)
        rows = layout.rows(robot)
        name = robot.name or args.urdf
        q = np.zeros(robot.joint_count) if args.q is None else np.array(args.q)
        try:
            poses = [robot.forward_kinematics(q, row.index) for row in rows]
        except ValueError as error:
            print(f"vormek: --q: {error}", file=sys.stderr)
            return 1

    origins = np.array([pose.translation for pose in poses])
    rotations = [_rotation(*pose.rotation_xyzw) for pose in poses]
    lo, hi = origins.min(axis=0), origins.max(axis=0)
    size = float(np.max(hi - lo)) or 1.0
    triad, arrow = 0.06 * size, 0.12 * size

    figure = plt.figure(figsize=(8, 8))
    ax: Any = figure.add_subplot(projection="3d")
    for row in rows:
        if row.parent is not None:
            ax.plot(*zip(origins[row.parent], origins[row.index]), color="0.25", linewidth=2)
    moving = [row.index for row in rows if row.joint is not None and row.joint.moves]
    still = [row.index for row in rows if row.index not in moving]
    ax.scatter(*origins[still].T, color="0.4", s=12, depthshade=False)
    ax.scatter(*origins[moving].T, color="darkorange", s=30, depthshade=False, label="moving joint")
    for row in rows:
        o, r = origins[row.index], rotations[row.index]
        for column, colour in enumerate(("red", "green", "blue")):
            ax.plot(*zip(o, o + triad * r[:, column]), color=colour, linewidth=1)
        if row.joint is not None and row.joint.moves:
            # the axis is written in the joint frame, which is the child link's frame
            direction = r @ np.array(row.joint.axis)
            colour = "purple" if row.joint.kind == "prismatic" else "darkorange"
            ax.quiver(*o, *(arrow * direction), color=colour, linewidth=1.5, arrow_length_ratio=0.3)
        if args.labels:
            ax.text(*o, f" {row.name}", fontsize=7)
    centre = (lo + hi) / 2
    half = 0.6 * size
    ax.set_xlim(centre[0] - half, centre[0] + half)
    ax.set_ylim(centre[1] - half, centre[1] + half)
    ax.set_zlim(centre[2] - half, centre[2] + half)
    ax.set_box_aspect((1, 1, 1))
    ax.set_xlabel("x [m]")
    ax.set_ylabel("y [m]")
    ax.set_zlabel("z [m]")
    shown = ", ".join(f"{v:.3g}" for v in q) if len(q) <= 12 else f"{len(q)} values"
    ax.set_title(f"{name}  q = [{shown}]")
    try:
        figure.savefig(args.output, dpi=110, bbox_inches="tight")
    except (OSError, ValueError) as error:
        # a folder that does not exist, no permission, a format matplotlib cannot write
        print(f"vormek: -o {args.output}: {error}", file=sys.stderr)
        return 1
    finally:
        plt.close(figure)
    print(f"wrote {args.output}")
    return 0

