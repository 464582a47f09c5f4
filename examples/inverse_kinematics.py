"""Solve an inverse-kinematics problem on a small 7-DOF arm and print how far the solution is
from the goal.

    .venv/bin/python examples/inverse_kinematics.py
"""

import os
import tempfile

import numpy as np

import vormek

AXES = ["0 0 1", "0 1 0"] * 3 + ["0 0 1"]
ARM = '<robot name="arm7"><link name="base"/>' + "".join(
    f'<link name="link{i}"/><joint name="joint{i}" type="revolute">'
    f'<parent link="{"base" if i == 1 else f"link{i - 1}"}"/><child link="link{i}"/>'
    f'<origin xyz="0 0 0.2" rpy="0 0 0.1"/><axis xyz="{axis}"/>'
    '<limit lower="-2.9" upper="2.9" effort="80" velocity="2"/></joint>'
    for i, axis in enumerate(AXES, start=1)) + "</robot>"


def main() -> None:
    with tempfile.NamedTemporaryFile("w", suffix=".urdf", delete=False) as f:
        f.write(ARM)
    try:
        robot = vormek.Robot(f.name)
    finally:
        os.unlink(f.name)
    tip = robot.link_id("link7")

    # a reachable goal: where the tip is at some configuration, looked up once
    goal = robot.forward_kinematics([0.4, 0.8, -0.3, 1.1, 0.2, -0.6, 0.5], tip)
    q = robot.inverse_kinematics(np.zeros(robot.joint_count), tip, goal,
                                 vormek.IkOptions(translation_tolerance=1e-9, rotation_tolerance=1e-9))

    reached = robot.forward_kinematics(q, tip)
    residual = np.linalg.norm(np.subtract(reached.translation, goal.translation))
    # the angle between two unit quaternions, whichever sign each carries (atan2 keeps it
    # accurate near zero, where arccos of their dot product would not)
    a, b = np.array(reached.rotation_xyzw), np.array(goal.rotation_xyzw)
    b *= np.sign(np.dot(a, b)) or 1.0
    angle = 4 * np.arctan2(np.linalg.norm(a - b), np.linalg.norm(a + b))
    print("q =", np.array2string(q, precision=4))
    print(f"residual: translation {residual:.3e} m, rotation {angle:.3e} rad")

    # the Jacobian maps joint velocities to the tip's twist: angular first, then linear
    J = robot.jacobian(q, tip).reshape(robot.joint_count, 6).T
    qd = np.full(robot.joint_count, 0.1)
    twist = robot.forward_velocity_kinematics(q, qd, tip)
    print("J·qd  =", np.array2string(J @ qd, precision=4))
    print("twist =", np.array2string(np.r_[twist.angular, twist.linear], precision=4))


if __name__ == "__main__":
    main()
