"""Gravity a user sets: Pinocchio with the same vector on real robots, fixed and floating; a
turned gravity is a turned base; every batch worker follows it."""

import numpy as np
import pytest

from test_corpus import LOADING, ROBOTS, _fixed_agrees, _floating_agrees
from trees import PinocchioMap, dof_joint_names, random_tree_text
from vormek import BaseState, FloatingRobot, Pose, Robot
from vormek.batch import FloatingRobotBatch, RobotBatch

G = (1.5, -2.0, -7.5)
REAL = ["panda_description/urdf/panda.urdf", "ur_description/urdf/ur5_robot.urdf",
        "solo_description/robots/solo12.urdf"]


@pytest.mark.parametrize("name", REAL)
def test_gravity_agrees_with_pinocchio_given_the_same_vector(name):
    pin = pytest.importorskip("pinocchio")
    path = ROBOTS / name
    assert path in LOADING
    text = path.read_text()
    links = list(Robot(path).link_names)
    rng = np.random.default_rng(7)
    fixed, floating = Robot(path), FloatingRobot.from_urdf_text(text, massless_root=True)
    for robot in (fixed, floating):
        robot.set_gravity(G)
        assert robot.gravity_vector == G
    model = pin.buildModelFromUrdf(str(path))
    model.gravity = pin.Motion(np.array([*G, 0, 0, 0]))
    _fixed_agrees(pin, fixed, model, PinocchioMap(pin, model, dof_joint_names(text)), links, rng)
    model = pin.buildModelFromUrdf(str(path), pin.JointModelFreeFlyer())
    model.gravity = pin.Motion(np.array([*G, 0, 0, 0]))
    _floating_agrees(pin, floating, model, PinocchioMap(pin, model, dof_joint_names(text)), links, rng)
    with pytest.raises(ValueError, match="^gravity contains a non-finite value$"):
        fixed.set_gravity((0, np.nan, 0))
    assert fixed.gravity_vector == G


def test_a_turned_gravity_is_a_turned_base():
    text = random_tree_text(11, links=10)
    n = Robot.from_urdf_text(text).joint_count
    rng = np.random.default_rng(3)
    q, qd, qdd, tau = (rng.uniform(-1, 1, n) for _ in range(4))
    rotation_xyzw = rng.normal(size=4)
    x, y, z, w = rotation_xyzw / np.linalg.norm(rotation_xyzw)
    R = np.array([[1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)],
                  [2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)],
                  [2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)]])
    turned_base, turned_gravity = Robot.from_urdf_text(text), Robot.from_urdf_text(text)
    turned_base.set_base_frame(Pose((0.3, 0.1, -0.2), tuple(rotation_xyzw)))
    turned_base.set_gravity(G)
    turned_gravity.set_gravity(tuple(R.T @ G))
    # the potential energy follows the same gravity: V = −m g·c
    assert turned_gravity.potential_energy(q) == pytest.approx(
        -turned_gravity.total_mass * (R.T @ G) @ turned_gravity.center_of_mass(q), rel=1e-12)
    for method, args in (("gravity", (q,)), ("inverse_dynamics", (q, qd, qdd)), ("forward_dynamics", (q, qd, tau))):
        expected = getattr(turned_base, method)(*args)
        np.testing.assert_allclose(getattr(turned_gravity, method)(*args), expected, rtol=0,
                                   atol=1e-12 * np.max(np.abs(expected)))
    # and so do the derivatives, which carry τ or q̈ along
    for method, args in (("inverse_dynamics_derivatives", (q, qd, qdd)), ("forward_dynamics_derivatives", (q, qd, tau))):
        for ours, expected in zip(getattr(turned_gravity, method)(*args), getattr(turned_base, method)(*args)):
            np.testing.assert_allclose(ours, expected, rtol=0, atol=1e-11 * np.max(np.abs(expected)))


def test_every_batch_worker_takes_the_gravity():
    text = random_tree_text(4, links=8)
    B, rng = 300, np.random.default_rng(1)
    robot, floating = Robot.from_urdf_text(text), FloatingRobot.from_urdf_text(text)
    Q = rng.uniform(-1, 1, (B, robot.joint_count))
    frames = np.hstack([rng.uniform(-1, 1, (B, 3)), rng.normal(size=(B, 4))])
    with RobotBatch.from_urdf_text(text, threads=3) as batch, \
            FloatingRobotBatch.from_urdf_text(text, threads=3) as floating_batch:
        for handle in (robot, floating, batch, floating_batch):
            handle.set_gravity(G)
        assert batch.gravity_vector == floating_batch.gravity_vector == G
        ours, theirs = batch.gravity(Q), floating_batch.gravity(frames, Q)
    for i in range(B):
        assert ours[i].tobytes() == robot.gravity(Q[i]).tobytes()
        base = BaseState(Pose(frames[i, :3], frames[i, 3:]))
        assert theirs[i].tobytes() == floating.gravity(base, Q[i]).tobytes()
