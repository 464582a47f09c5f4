"""What the command reads from a URDF file itself: names, joint kinds, axes, limits and inertial
blocks, for display and for explaining a refusal. Positions and the link order come from the
library; this reader is deliberately lenient so that it can describe files the library refuses."""

from __future__ import annotations

import math
import xml.etree.ElementTree as ET
from dataclasses import dataclass
from os import PathLike

INERTIA_NAMES = ("ixx", "ixy", "ixz", "iyy", "iyz", "izz")


@dataclass(frozen=True)
class Inertial:
    mass: float
    xyz: tuple[float, ...]
    rpy: tuple[float, ...]
    inertia: dict[str, float]  # the six URDF entries by name, as written

    def matrix(self) -> list[list[float]]:
        i = self.inertia
        return [[i["ixx"], i["ixy"], i["ixz"]],
                [i["ixy"], i["iyy"], i["iyz"]],
                [i["ixz"], i["iyz"], i["izz"]]]


@dataclass(frozen=True)
class Link:
    name: str
    inertial: Inertial | None

    @property
    def mass(self) -> float:
        return self.inertial.mass if self.inertial is not None else 0.0


@dataclass(frozen=True)
class Joint:
    name: str
    kind: str
    parent: str
    child: str
    axis: tuple[float, ...]  # as written, (1, 0, 0) when absent
    lower: float
    upper: float

    @property
    def moves(self) -> bool:
        return self.kind != "fixed"

    def unit_axis(self) -> tuple[float, ...]:
        norm = math.sqrt(sum(a * a for a in self.axis))
        return tuple(a / norm for a in self.axis) if norm > 0 else self.axis

    def limits(self) -> tuple[float, float]:
        if self.kind == "continuous":
            return -math.inf, math.inf
        return self.lower, self.upper


@dataclass(frozen=True)
class Description:
    name: str
    links: list[Link]
    joints: list[Joint]

    def link(self, name: str) -> Link | None:
        return next((link for link in self.links if link.name == name), None)

    def joint_to(self, child: str) -> Joint | None:
        """The first joint whose child is `child` (the one the library keeps)."""
        return next((joint for joint in self.joints if joint.child == child), None)


def _numbers(text: str | None, count: int, default: float = 0.0) -> tuple[float, ...]:
    if text is None:
        return (default,) * count
    try:
        values = tuple(float(v) for v in text.split())
    except ValueError:
        return (math.nan,) * count
    return values if len(values) == count else (math.nan,) * count


def _number(element: ET.Element | None, attribute: str, default: float = 0.0) -> float:
    if element is None or element.get(attribute) is None:
        return default
    try:
        return float(element.get(attribute, ""))
    except ValueError:
        return math.nan


def _inertial(element: ET.Element | None) -> Inertial | None:
    if element is None:
        return None
    origin = element.find("origin")
    inertia = element.find("inertia")
    return Inertial(
        mass=_number(element.find("mass"), "value"),
        xyz=_numbers(origin.get("xyz") if origin is not None else None, 3),
        rpy=_numbers(origin.get("rpy") if origin is not None else None, 3),
        inertia={name: _number(inertia, name) for name in INERTIA_NAMES},
    )


def _joint(element: ET.Element) -> Joint:
    parent, child = element.find("parent"), element.find("child")
    axis, limit = element.find("axis"), element.find("limit")
    axis_text = axis.get("xyz") if axis is not None else None
    return Joint(
        name=element.get("name", ""),
        kind=element.get("type", ""),
        parent=parent.get("link", "") if parent is not None else "",
        child=child.get("link", "") if child is not None else "",
        axis=_numbers(axis_text, 3) if axis_text is not None else (1.0, 0.0, 0.0),
        lower=_number(limit, "lower"),
        upper=_number(limit, "upper"),
    )


def read(path: str | PathLike[str]) -> Description:
    """The file's robot; raises OSError or ET.ParseError when it cannot be read as XML."""
    root = ET.parse(path).getroot()
    return Description(
        name=root.get("name", ""),
        links=[Link(e.get("name", ""), _inertial(e.find("inertial"))) for e in root.findall("link")],
        joints=[_joint(e) for e in root.findall("joint")],
    )
