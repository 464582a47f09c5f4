"""`vormek info`: the robot as the library sees it, so a user sees in which order q is taken."""

from __future__ import annotations

import argparse
from typing import Any

import vormek

from . import layout


def add_parser(commands: Any) -> None:
    """Adds `vormek info` and its options to the subcommands of the top-level parser."""
    p = commands.add_parser(
        "info", help="name, counts, mass and the tree in the library's order",
        description="Show the robot's name, counts, total mass and its tree: each link and "
                    "the joint leading to it, with index, kind, axis, limits and DOF index.")
    p.add_argument("urdf", metavar="ROBOT.urdf")
    p.add_argument("--floating", action="store_true",
                   help="load as FloatingRobot: six base coordinates come before the joints")
    p.add_argument("--massless-root", action="store_true",
                   help="with --floating: accept a massless root link whose fixed links give the root body mass")
    p.set_defaults(run=run)


def _number(value: float) -> str:
    # inf, -inf and nan spelt as such: a NaN limit loads, and must not pass for an infinite one
    return f"{value:.6g}"


def _vector(values: tuple[float, ...]) -> str:
    return "(" + ", ".join(_number(v + 0.0) for v in values) + ")"


def run(args: argparse.Namespace) -> int:
    """Prints the robot's name, counts, mass and tree; 1 when the robot does not load, else 0."""
    robot = layout.load(args.urdf, floating_base=args.floating, massless_root=args.massless_root)
    if robot is None:
        return 1
    with robot:
        rows = layout.rows(robot)
        n = robot.joint_count
        print(f"{robot.name or '(unnamed robot)'}: {robot.link_count} links, {len(rows) - 1} joints, "
              f"{n} degrees of freedom, total mass {_number(robot.total_mass)} kg")
        floating = isinstance(robot, vormek.FloatingRobot)
        if floating:
            m = robot.generalized_count
            print(f"floating base: q and qd hold the {n} joint coordinates (column 'q'); forces and "
                  f"results hold {m} values: six base entries (angular 0-2, linear 3-5), then the joints "
                  f"(column 'gen')")
        else:
            print(f"fixed base: q, qd, qdd, forces and results hold {n} values, in the order of column 'q'")
        print()
        header = ["link", "name", "mass", "parent", "joint", "kind", "axis", "limits", "q"]
        if floating:
            header.append("gen")
        table = [header]
        for row in rows:
            name = "  " * row.depth + row.name
            cells = [str(row.index), name, _number(row.mass)]
            joint = row.joint
            if joint is None:
                cells += ["-", "-", "root", "", "", ""]
            else:
                cells += [str(row.parent), joint.name, joint.kind,
                          "" if not joint.moves else _vector(joint.axis),
                          "" if not joint.moves else f"[{_number(joint.lower)}, {_number(joint.upper)}]",
                          "" if row.dof is None else str(row.dof)]
            if floating:
                cells.append("" if row.dof is None else str(row.dof + 6))
            table.append(cells)
        widths = [max(len(r[i]) for r in table) for i in range(len(header))]
        numeric = {0, 2, 3, len(header) - 1, 8}
        for r in table:
            print("  ".join(c.rjust(w) if i in numeric else c.ljust(w)
                            for i, (c, w) in enumerate(zip(r, widths))).rstrip())
    return 0
