"""FloatingRobot: the root-mass rule, its counts, and forward kinematics placed by a BaseState."""

import math
import pathlib

import numpy as np
import pytest

from conftest import joint, link, robot_text
from vormek import BaseState, FloatingRobot, ModelError, Pose, Robot, Twist

NAN = float("nan")


@pytest.mark.parametrize("load", [FloatingRobot, FloatingRobot.from_urdf])
@pytest.mark.parametrize("as_path", [str, pathlib.Path])
def test_loads(floating_path, load, as_path):
    robot = load(as_path(floating_path))
    assert type(robot) is FloatingRobot
    assert (robot.joint_count, robot.generalized_count, robot.link_count) == (1, 7, 2)
    assert robot.link_id("l1") == 1


@pytest.mark.parametrize("mass", [None, 0.0])
def test_root_needs_positive_mass(write_urdf, mass):
    path = write_urdf(robot_text(link("base", mass=mass), link("a"), joint("j", "revolute", "base", "a",
                                                                             axis=(0, 0, 1))))
    assert Robot(path).link_count == 2
    with pytest.raises(ModelError) as info:
        FloatingRobot(path)
    assert str(info.value) == "invalid robot model: floating-base root link base must have positive mass"


def test_path_must_be_a_path():
    with pytest.raises(TypeError, match="'path'"):
        FloatingRobot(5)


def test_base_frame_places_the_tree(floating_path):
    robot = FloatingRobot(floating_path)
    s = math.sqrt(0.5)
    # a quarter turn about z, given unnormalised
    base = BaseState(Pose((1, 2, 3), (0, 0, 3, 3)), Twist((1, 2, 3), (4, 5, 6)), Twist((0, 0, 9.8)))
    root = robot.forward_kinematics(base, [0.5], 0)
    np.testing.assert_allclose(root.translation, (1, 2, 3), rtol=0, atol=1e-14)
    np.testing.assert_allclose(root.rotation_xyzw, (0, 0, s, s), rtol=0, atol=1e-14)
    # l1 sits one unit up and slides along the base x axis, which the base turns into y
    tip = robot.forward_kinematics(base=base, q=np.array([0.5]), target=1)
    np.testing.assert_allclose(tip.translation, (1, 2.5, 4), rtol=0, atol=1e-14)
    np.testing.assert_allclose(tip.rotation_xyzw, (0, 0, s, s), rtol=0, atol=1e-14)
    assert robot.forward_kinematics(BaseState(), [0.0], 1) == Pose((0, 0, 1))


@pytest.mark.parametrize("base, q, message", [
    (BaseState(Pose(rotation_xyzw=(0, 0, 0, 0))), [0.0, 0.0],
     "pose contains non-finite values or a zero quaternion"),
    (BaseState(Pose(translation=(0, NAN, 0))), [0.0], "pose contains non-finite values or a zero quaternion"),
    (BaseState(velocity=Twist(linear=(0, 0, NAN))), [0.0], "invalid base velocity: must contain only finite values"),
    (BaseState(acceleration=Twist((math.inf, 0, 0))), [0.0],
     "invalid base acceleration: must contain only finite values"),
    (BaseState(velocity=Twist((NAN, 0, 0)), acceleration=Twist((NAN, 0, 0))), [0.0],
     "invalid base velocity: must contain only finite values"),
    (BaseState(), [0.0, 0.0], "expected 1 elements in q, found 2"),
    (BaseState(), [NAN], "q contains a non-finite value"),
])
def test_value_errors(floating_path, base, q, message):
    with pytest.raises(ValueError) as info:
        FloatingRobot(floating_path).forward_kinematics(base, q, 1)
    assert str(info.value) == message


def test_argument_errors(floating_path):
    robot = FloatingRobot(floating_path)
    for base in (Pose(), None, BaseState):
        with pytest.raises(TypeError, match="'base'"):
            robot.forward_kinematics(base, [0.0], 1)
    with pytest.raises(TypeError, match="'target'"):
        robot.forward_kinematics(BaseState(), [0.0], 1.0)
    with pytest.raises(OverflowError):
        robot.forward_kinematics(BaseState(), [0.0], -1)
    with pytest.raises(ValueError) as info:
        robot.forward_kinematics(BaseState(), [0.0], 2)
    assert str(info.value) == "invalid link id 2"
    with pytest.raises(TypeError):
        robot.forward_kinematics([0.0], 1)
    with pytest.raises(TypeError):
        robot.forward_kinematics(BaseState(), [0.0], 1, base=BaseState())


def test_closed(floating_path):
    with FloatingRobot(floating_path) as robot:
        pass
    calls = [lambda: robot.link_count, lambda: robot.generalized_count, lambda: robot.name,
             lambda: robot.link_id("base"), lambda: robot.forward_kinematics(BaseState(), [0.0], 1)]
    for call in calls:
        with pytest.raises(RuntimeError) as info:
            call()
        assert str(info.value) == "robot is closed"
    # the floating forward kinematics checks the target before it takes the lock
    with pytest.raises(ValueError, match="^invalid link id 99$"):
        robot.forward_kinematics(BaseState(), [0.0], 99)
    assert robot.close() is None
