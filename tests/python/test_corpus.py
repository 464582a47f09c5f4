"""Every robot of example-robot-data: it loads, or it is refused for a defect the file really has."""

import pathlib
import sysconfig
import xml.etree.ElementTree as ET

import numpy as np
import pytest

from vormek import ModelError, Robot

ROBOTS = pathlib.Path(sysconfig.get_paths()["purelib"]) / "cmeel.prefix/share/example-robot-data/robots"
URDFS = sorted(ROBOTS.rglob("*.urdf"))
EPSILON = 2.220446049250313e-16


def _name(path):
    return str(path.relative_to(ROBOTS))


def _indefinite(link):
    """The file's own inertia of `link` has an eigenvalue below zero beyond rounding."""
    def check(root):
        (inertia,) = [e.find("inertial/inertia") for e in root.findall("link") if e.get("name") == link]
        i = {k: float(inertia.get(k)) for k in ("ixx", "ixy", "ixz", "iyy", "iyz", "izz")}
        eigenvalues = np.linalg.eigvalsh([[i["ixx"], i["ixy"], i["ixz"]],
                                          [i["ixy"], i["iyy"], i["iyz"]],
                                          [i["ixz"], i["iyz"], i["izz"]]])
        return eigenvalues[0] < -16 * EPSILON * np.max(np.abs(eigenvalues))
    return check


# file -> (the message after "invalid robot model: ", the defect, a test of the defect on the XML)
REFUSED = {
    "icub_description/robots/icub.urdf": (
        "link r_hip_2 inertia must be positive semi-definite",
        "ixx = iyy = -5.42101e-20: two negative principal moments (with izz = 0)",
        _indefinite("r_hip_2")),
    "icub_description/robots/icub_reduced.urdf": (
        "link r_hip_2 inertia must be positive semi-definite",
        "the same r_hip_2 inertia as icub.urdf",
        _indefinite("r_hip_2")),
    "romeo_description/urdf/romeo_laas_small.urdf": (
        "link body inertia must be positive semi-definite",
        "|ixz| = 0.0575 exceeds sqrt(ixx*izz) = 0.0346: eigenvalue -0.0213",
        _indefinite("body")),
    "tiago_description/robots/tiago.urdf": (
        "link base_antenna_left_link inertia must be positive semi-definite",
        "|ixy| = 6.119e-08 exceeds sqrt(ixx*iyy) = 2.59e-08: eigenvalue -3.5e-08",
        _indefinite("base_antenna_left_link")),
    "tiago_description/robots/tiago_dual.urdf": (
        "link base_antenna_left_link inertia must be positive semi-definite",
        "the same antenna inertia as tiago.urdf",
        _indefinite("base_antenna_left_link")),
    "tiago_description/robots/tiago_no_hand.urdf": (
        "link base_antenna_left_link inertia must be positive semi-definite",
        "the same antenna inertia as tiago.urdf",
        _indefinite("base_antenna_left_link")),
    "ur_description/urdf/ur3.urdf": (
        "expected one root link, found 0",
        "an empty <robot> element: the xacro output holds only a comment, no link or joint",
        lambda root: not root.findall("link") and not root.findall("joint")),
}


def test_the_corpus_is_all_there():
    assert len(URDFS) == 69
    assert {_name(p) for p in URDFS} >= set(REFUSED)


@pytest.mark.parametrize("path", URDFS, ids=_name)
def test_loads_or_is_refused_for_a_real_defect(path):
    root = ET.parse(path).getroot()
    refusal = REFUSED.get(_name(path))
    if refusal is None:
        with Robot(path) as robot:
            assert robot.link_count == len(root.findall("link"))
        return
    message, _, has_defect = refusal
    with pytest.raises(ModelError) as caught:
        Robot(path)
    assert str(caught.value) == f"invalid robot model: {message}"
    assert has_defect(root)
