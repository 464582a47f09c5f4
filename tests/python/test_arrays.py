"""Joint-space input vectors, seen through Robot.forward_kinematics."""

import array

import numpy as np
import pytest

from conftest import link, robot_text
from vormek import BaseState, FloatingRobot, Pose, Robot

Q = [0.4, -1.1]


@pytest.fixture
def robot(two_link_path):
    return Robot(two_link_path)


def unaligned(values):
    raw = np.zeros(len(values) * 8 + 1, dtype=np.uint8)
    view = raw[1:].view(np.float64)
    view[:] = values
    assert not view.flags.aligned
    return view


def strided(values):
    longer = np.zeros(2 * len(values))
    longer[::2] = values
    longer[1::2] = 99.0
    return longer[::2]


def reversed_view(values):
    return np.array(values[::-1])[::-1]


def read_only(values):
    a = np.array(values)
    a.flags.writeable = False
    return a


@pytest.mark.parametrize("make", [
    list,
    tuple,
    lambda v: [np.float32(v[0]), v[1]],
    lambda v: np.array(v, dtype=np.float32),
    lambda v: np.array(v, dtype=">f8"),
    lambda v: array.array("d", v),
    lambda v: memoryview(np.array(v)),
    strided,
    reversed_view,
    unaligned,
    read_only,
    lambda v: np.asfortranarray(np.array([v, v]))[0],
], ids=["list", "tuple", "numpy scalars", "float32", "big endian", "array.array", "memoryview", "strided",
        "reversed", "unaligned", "read only", "row of fortran"])
def test_layouts_give_the_contiguous_answer(robot, make):
    q = make(Q)
    before = np.array(q, copy=True)
    expected = robot.forward_kinematics(np.ascontiguousarray(before, dtype=np.float64), 3)
    assert robot.forward_kinematics(q, 3) == expected
    np.testing.assert_array_equal(np.asarray(q), before)


def test_integers_and_broadcast_views(robot):
    assert robot.forward_kinematics([1, -2], 3) == robot.forward_kinematics(np.array([1.0, -2.0]), 3)
    assert robot.forward_kinematics(np.array([1, -2], dtype=np.int64), 3) == robot.forward_kinematics([1.0, -2.0], 3)
    assert robot.forward_kinematics(np.broadcast_to(0.3, (2,)), 3) == robot.forward_kinematics([0.3, 0.3], 3)


def test_inputs_are_left_unchanged_on_errors(robot):
    q = np.array([0.5, np.nan])
    with pytest.raises(ValueError):
        robot.forward_kinematics(q, 3)
    assert q[0] == 0.5 and np.isnan(q[1])
    view = np.arange(6.0)[::3]
    robot.forward_kinematics(view, 3)
    np.testing.assert_array_equal(view, [0.0, 3.0])


@pytest.mark.parametrize("q", [
    np.zeros((2, 2)),
    np.zeros((1, 2)),
    [[0.0, 0.0], [0.0, 0.0]],
    5,
    None,
    np.float64(0.5),
    {0: 1.0, 1: 2.0},
    {1.0, 2.0},
    object(),
    (x for x in (0.0, 1.0)),
    "1.5",
], ids=["2x2", "1x2", "nested list", "int", "None", "numpy scalar", "dict", "set", "object", "generator",
        "numeric str"])
def test_wrong_types_name_q(robot, q):
    with pytest.raises(TypeError, match="'q'"):
        robot.forward_kinematics(q, 3)


def test_text_is_not_a_sequence_of_numbers(robot):
    # a str goes to NumPy whole, which refuses it; bytes are a sequence of small integers
    with pytest.raises(ValueError, match="could not convert string to float"):
        robot.forward_kinematics("ab", 3)
    assert robot.forward_kinematics(b"\x00\x00", 3) == robot.forward_kinematics([0.0, 0.0], 3)


def test_items_that_are_not_numbers(robot):
    with pytest.raises((TypeError, ValueError)):
        robot.forward_kinematics([0.0, "x"], 3)
    with pytest.raises((TypeError, ValueError, OverflowError)):
        robot.forward_kinematics([0.0, 10**400], 3)


@pytest.mark.parametrize("q", [[], (), np.empty(0), np.empty(0, dtype=np.int8), np.zeros(4)[::-1][:0]])
def test_empty_vectors_for_a_robot_without_joints(write_urdf, q):
    path = write_urdf(robot_text(link("only", mass=1.0)))
    assert Robot(path).forward_kinematics(q, 0) == Pose()
    base = BaseState(Pose((1, 2, 3)))
    assert FloatingRobot(path).forward_kinematics(base, q, 0) == Pose((1, 2, 3))


def test_sequence_changed_while_it_is_read(robot):
    # an item whose float() empties the list it sits in must not make the reader step past
    # the end of the list
    q = []

    class Shrinking:
        def __float__(self):
            q.clear()
            return 0.0

    q.extend([Shrinking(), 0.0])
    with pytest.raises(ValueError, match="^expected 2 elements in q, found 0$"):
        robot.forward_kinematics(q, 3)
