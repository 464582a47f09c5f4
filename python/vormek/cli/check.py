"""`vormek check`: load each file, print OK or the library's exact error, and for the common
defects say what is wrong in the file and how to mend it."""

from __future__ import annotations

import argparse
import difflib
import math
import re
import xml.etree.ElementTree as ET
from collections import Counter
from collections.abc import Callable
from typing import Any

import numpy as np

import vormek

from . import layout, urdf

EPSILON = 2.220446049250313e-16


def add_parser(commands: Any) -> None:
    """Adds `vormek check` and its options to the subcommands of the top-level parser."""
    p = commands.add_parser(
        "check", help="load files; print OK or the error and how to mend it",
        description="Load each file as a Robot. Print OK or the exact error; for common defects "
                    "explain what is wrong and how to mend it; warn of limits no configuration meets. "
                    "Exits with 1 if any file failed.")
    p.add_argument("urdf", nargs="+", metavar="FILE")
    p.add_argument("--floating", action="store_true", help="load each file as a FloatingRobot instead")
    p.set_defaults(run=run)


def _load(path: str, floating: bool) -> vormek.Robot | vormek.FloatingRobot:
    """The file as a Robot, or as a FloatingRobot with --floating; VormekError when it does not load."""
    return vormek.FloatingRobot(path) if floating else vormek.Robot(path)


def run(args: argparse.Namespace) -> int:
    """Checks each file and prints OK or the error with advice; 1 when any file failed, else 0."""
    failed = 0
    for path in args.urdf:
        try:
            with _load(path, args.floating) as robot:
                print(f"{path}: OK ({robot.link_count} links, {robot.joint_count} degrees of freedom)")
                for line in warnings(robot):
                    print(f"  warning: {line}")
        except vormek.VormekError as error:
            failed += 1
            print(f"{path}: {type(error).__name__}: {error}")
            for line in explain(path, str(error)):
                print(f"  {line}")
    if len(args.urdf) > 1:
        print(f"{len(args.urdf) - failed} of {len(args.urdf)} files load")
    return 1 if failed else 0


def warnings(robot: vormek.Robot | vormek.FloatingRobot) -> list[str]:
    """What loads but cannot be what the file meant: a joint whose lower limit is above its upper
    one, which every inverse-kinematics solution then violates."""
    return [f"joint {name} has lower limit {_g(lower)} above its upper limit {_g(upper)}; every "
            "inverse-kinematics solution will be refused for it; mend: swap the two"
            for name, lower, upper in zip(robot.joint_names, robot.lower_limits, robot.upper_limits)
            if lower > upper]


def explain(path: str, message: str) -> list[str]:
    """Lines that say what is wrong in the file and how to mend it; empty when we cannot tell more
    than the message does."""
    if re.search(r"floating-base root link (.+) must have positive mass", message):
        return _massless_root(path)
    try:
        description = urdf.read(path)
    except (OSError, ET.ParseError):
        return []
    for pattern, explainer in EXPLAINERS:
        match = re.search(pattern, message)
        if match:
            return explainer(description, match)
    return []


def _g(value: float) -> str:
    return f"{value:.6g}"


# inertia

def _inertia(description: urdf.Description, match: re.Match[str]) -> list[str]:
    link = description.link(match.group(1))
    if link is None or link.inertial is None:
        return []
    i = link.inertial.inertia
    matrix = np.array(link.inertial.matrix())
    eigenvalues = np.linalg.eigvalsh(matrix)
    lines = [f"the inertia of link {link.name} (ixx ixy ixz iyy iyz izz = "
             f"{' '.join(_g(i[k]) for k in urdf.INERTIA_NAMES)}) has eigenvalues "
             f"{', '.join(_g(float(v)) for v in eigenvalues)}; a physical inertia has none below zero "
             f"(rounding down to -{_g(16 * EPSILON)} times the largest is allowed)"]
    causes = [f"{k} = {_g(i[k])} is negative" for k in ("ixx", "iyy", "izz") if i[k] < 0]
    for a, b, c in (("ixx", "iyy", "ixy"), ("ixx", "izz", "ixz"), ("iyy", "izz", "iyz")):
        if i[a] >= 0 and i[b] >= 0 and i[c] * i[c] > i[a] * i[b]:
            causes.append(f"|{c}| = {_g(abs(i[c]))} exceeds sqrt({a}*{b}) = {_g(math.sqrt(i[a] * i[b]))}")
    if not causes:
        causes.append(f"the off-diagonal entries together make the determinant "
                      f"{_g(float(np.linalg.det(matrix)))} negative")
    lines += ["the offending entries: " + "; ".join(causes)]
    # the nearest semi-definite matrix, with the negative eigenvalues raised to a millionth of the
    # largest rather than to zero, so that the rounding of the printed digits cannot undo the mend
    values, vectors = np.linalg.eigh(matrix)
    floor = 1e-6 * max(float(values[-1]), 0.0)
    mended = vectors @ np.diag(np.maximum(values, floor)) @ vectors.T
    entries = {"ixx": mended[0, 0], "ixy": mended[0, 1], "ixz": mended[0, 2],
               "iyy": mended[1, 1], "iyz": mended[1, 2], "izz": mended[2, 2]}
    written = " ".join(f'{k}="{float(v):.9g}"' for k, v in entries.items())
    lines.append("mend: recompute the inertia from the link's geometry and mass, or use the nearest "
                 f"valid one (negative eigenvalues raised to a millionth of the largest): <inertia {written}/>")
    return lines


def _mass(description: urdf.Description, match: re.Match[str]) -> list[str]:
    link = description.link(match.group(1))
    if link is None:
        return []
    return [f"link {link.name} has mass {_g(link.mass)}; mend: give a finite mass of zero or more"]


def _inertial_values(description: urdf.Description, match: re.Match[str]) -> list[str]:
    link = description.link(match.group(1))
    if link is None or link.inertial is None:
        return []
    inertial = link.inertial
    return [f"link {link.name}: origin xyz {inertial.xyz} rpy {inertial.rpy}, inertia "
            f"{' '.join(f'{k}={_g(inertial.inertia[k])}' for k in urdf.INERTIA_NAMES)}; "
            "mend: replace the inf or nan values (or out-of-range numbers such as 1e999) by finite ones"]


# tree

def _children(description: urdf.Description) -> dict[str, list[urdf.Joint]]:
    children: dict[str, list[urdf.Joint]] = {}
    for joint in description.joints:
        children.setdefault(joint.parent, []).append(joint)
    return children


def _subtree_size(name: str, children: dict[str, list[urdf.Joint]]) -> int:
    seen, stack = {name}, [name]
    while stack:
        for joint in children.get(stack.pop(), []):
            if joint.child not in seen:
                seen.add(joint.child)
                stack.append(joint.child)
    return len(seen) - 1


def _cycles(description: urdf.Description, start: list[str]) -> list[str]:
    """Each cycle reached by walking up from the links in `start`, as 'a -j1-> b -j2-> a'."""
    parent_joint: dict[str, urdf.Joint] = {}
    for joint in description.joints:
        parent_joint.setdefault(joint.child, joint)
    order = {link.name: i for i, link in enumerate(description.links)}
    found: list[str] = []
    on_a_cycle: set[str] = set()
    for name in start:
        path: list[str] = []
        while name in parent_joint and name not in path and name not in on_a_cycle:
            path.append(name)
            name = parent_joint[name].parent
        if name in path:
            loop = path[path.index(name):][::-1]  # parent before child
            on_a_cycle.update(loop)
            first = loop.index(min(loop, key=order.__getitem__))  # start where the file does
            loop = loop[first:] + loop[:first]
            steps = [f"{link} -{parent_joint[nxt].name}->" for link, nxt in zip(loop, loop[1:] + loop[:1])]
            found.append(" ".join(steps) + f" {loop[0]}")
    return found


def _roots(description: urdf.Description, match: re.Match[str]) -> list[str]:
    if not description.links:
        return ["the file defines no links (an empty robot, or a xacro file that was never expanded); "
                "mend: add the links and joints, or run xacro on the source file"]
    children = _children(description)
    has_parent = {joint.child for joint in description.joints}
    roots = [link.name for link in description.links if link.name not in has_parent]
    if not roots:
        cycles = _cycles(description, [link.name for link in description.links])
        return ["every link is some joint's child, so the joints close a cycle: " + "; ".join(cycles),
                "mend: remove one joint of the cycle, or make the link that should be the base "
                "nobody's child"]
    sizes = ", ".join(f"{root} ({_subtree_size(root, children)} links below)" for root in roots)
    return [f"links that are no joint's child (each could be the root): {sizes}",
            "mend: keep one root and attach the others to the tree with a joint (a fixed joint "
            "if they do not move), or remove the links that belong to nothing"]


def _disconnected(description: urdf.Description, match: re.Match[str]) -> list[str]:
    has_parent = {joint.child for joint in description.joints}
    roots = [link.name for link in description.links if link.name not in has_parent]
    reached: set[str] = set()
    if len(roots) == 1:
        children = _children(description)
        stack = [roots[0]]
        reached.add(roots[0])
        while stack:
            for joint in children.get(stack.pop(), []):
                if joint.child not in reached:
                    reached.add(joint.child)
                    stack.append(joint.child)
    unreached = [link.name for link in description.links if link.name not in reached]
    cycles = _cycles(description, unreached)
    lines = [f"links not reached from the root {roots[0] if roots else ''}: {', '.join(unreached)}"]
    if cycles:
        lines.append("they hang on a cycle of joints: " + "; ".join(cycles))
    lines.append("mend: break the cycle by removing one of its joints, and attach its links to the "
                 "tree with a joint from a reached link")
    return lines


def _reached_twice(description: urdf.Description, match: re.Match[str]) -> list[str]:
    name = match.group(1)
    joints = [joint.name for joint in description.joints if joint.child == name]
    return [f"link {name} is the child of joints {', '.join(joints)}; a tree gives each link one "
            "parent joint",
            "mend: keep one of these joints; a closed chain cannot be written as a tree"]


def _missing(description: urdf.Description, match: re.Match[str]) -> list[str]:
    joint = next((j for j in description.joints if j.name == match.group(1)), None)
    if joint is None:
        return []
    side = match.group(2)
    name = joint.parent if side == "parent" else joint.child
    names = [link.name for link in description.links]
    close = difflib.get_close_matches(name, names, n=3)
    hint = f"; did you mean {', '.join(close)}?" if close else ""
    return [f"joint {joint.name} names {side} link {name!r}, which no <link> defines{hint}"]


def _duplicates(kind: str) -> Callable[[urdf.Description, re.Match[str]], list[str]]:
    def explain_duplicates(description: urdf.Description, match: re.Match[str]) -> list[str]:
        names = [x.name for x in (description.links if kind == "link" else description.joints)]
        repeated = [name for name, count in Counter(names).items() if count > 1]
        return [f"{kind} names used more than once: {', '.join(repeated)}; mend: rename all but one"]
    return explain_duplicates


def _massless_root(path: str) -> list[str]:
    """Whether massless_root=True would load the file as a FloatingRobot, and so what to do."""
    try:
        layout.floating(path, massless_root=True).close()
    except vormek.VormekError:
        return ["neither the root link nor any link fixed to it has mass, so nothing carries the free "
                "base; mend: give the root link its mass, or load the robot as a fixed-base Robot"]
    return ["the links fixed to the root link have mass, so the root body is a proper rigid body; "
            "mend: load it with FloatingRobot.from_urdf_text(text, massless_root=True) (vormek info and bench: "
            "--floating --massless-root)"]


def _unsupported(description: urdf.Description, match: re.Match[str]) -> list[str]:
    joint, kind = match.group(1), match.group(2)
    if kind == "floating":
        return _floating_joint(description, joint)
    replacement = ("two prismatic joints and a revolute joint" if kind == "planar"
                   else "three revolute joints with perpendicular axes")
    return [f"joint {joint} is {kind}; mend: write it as {replacement} joined by massless links"]


def _axis(description: urdf.Description, match: re.Match[str]) -> list[str]:
    joint = next((j for j in description.joints if j.name == match.group(1)), None)
    if joint is None:
        return []
    return [f"joint {joint.name} has axis {' '.join(_g(a) for a in joint.axis)}; a moving joint needs "
            "a finite, non-zero direction; mend: write the axis as xyz=\"x y z\", e.g. \"0 0 1\""]


def _floating_joint(description: urdf.Description, name: str) -> list[str]:
    """What a floating joint means where it sits: under a root that holds nothing else, a free base
    (remove the joint and that root); anywhere else, a second free body a tree cannot hold."""
    joint = next((j for j in description.joints if j.name == name), None)
    if joint is None:
        return []
    has_parent = {j.child for j in description.joints}
    children = _children(description)
    parent_is_root = joint.parent not in has_parent
    if parent_is_root and len(children.get(joint.parent, [])) == 1:
        # the usual world -> base free joint: the parent stands for the world and holds nothing else
        return [f"joint {name} makes {joint.child} a free body under {joint.parent}, which holds nothing else; "
                f"mend: remove the joint and link {joint.parent}, so that {joint.child} is the root, and load "
                "the robot as FloatingRobot, whose root link is free"]
    below = _subtree_size(joint.child, children)
    return [f"joint {name} makes {joint.child} (and the {below} links below it) a second free body inside the "
            f"tree, which one robot cannot hold: a tree has one free body at most, its root",
            f"mend: if {joint.child} does not move on its own, make the joint fixed; else remove the joint, "
            f"and describe {joint.child} and the links below it as a robot of its own (a FloatingRobot)"]


EXPLAINERS: list[tuple[str, Callable[[urdf.Description, re.Match[str]], list[str]]]] = [
    (r"link (.+) inertia must be positive semi-definite", _inertia),
    (r"link (.+) mass must be finite and non-negative", _mass),
    (r"link (.+) (?:inertial origin|inertia) must contain only finite values", _inertial_values),
    (r"expected one root link, found \d+", _roots),
    (r"joint graph is disconnected or cyclic", _disconnected),
    (r"link (.+) is reached more than once", _reached_twice),
    (r"joint (.+) references a missing (parent|child) link", _missing),
    (r"link names must be unique", _duplicates("link")),
    (r"joint names must be unique", _duplicates("joint")),
    (r"joint (.+) uses unsupported type (\w+)", _unsupported),
    (r"joint (.+) has an invalid axis", _axis),
]
