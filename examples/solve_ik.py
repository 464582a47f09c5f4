"""Reach goals with a 7-DOF arm while every joint stays inside its limits: one goal, a tool point
to a position alone, then a thousand goals in one batch.

    .venv/bin/python examples/solve_ik.py
"""

import os
import tempfile

import numpy as np

import vormek
from inverse_kinematics import ARM
from vormek.batch import RobotBatch


def main() -> None:
    with tempfile.NamedTemporaryFile("w", suffix=".urdf", delete=False) as f:
        f.write(ARM)
    try:
        robot, batch = vormek.Robot(f.name), RobotBatch(f.name)
    finally:
        os.unlink(f.name)
    tip, n = robot.link_id("link7"), robot.joint_count
    limit = 2.9  # every joint of this arm turns within ±2.9 rad

    # a reachable goal; SolverError if no solution is found
    goal = robot.forward_kinematics([0.4, 0.8, -0.3, 1.1, 0.2, -0.6, 0.5], tip)
    q = robot.solve_ik(np.zeros(n), tip, goal)
    print("q =", np.array2string(q, precision=4), "inside the limits:", bool(np.all(np.abs(q) <= limit)))

    # a point 5 cm along the tip's z axis, to a position, any orientation
    pen = vormek.Pose((0, 0, 0.05))
    q = robot.solve_ik(q, tip, vormek.Pose((0.3, 0.2, 0.9)), tool=pen, position_only=True)
    print("q =", np.array2string(q, precision=4), "puts the pen at (0.3, 0.2, 0.9)")

    # a thousand goals at once: the solutions, and which of them were found
    rng = np.random.default_rng(0)
    poses = [robot.forward_kinematics(x, tip) for x in rng.uniform(-limit, limit, (1000, n))]
    desired = np.array([(*p.translation, *p.rotation_xyzw) for p in poses])
    Q, solved = batch.solve_ik(np.zeros((1000, n)), tip, desired)
    print(f"{solved.sum()} of {len(solved)} goals solved, all inside the limits:", bool(np.all(np.abs(Q) <= limit)))
    robot.close()
    batch.close()


if __name__ == "__main__":
    main()
