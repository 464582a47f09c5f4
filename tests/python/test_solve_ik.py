"""solve_ik on Panda: solutions confirmed by Pinocchio, the batch against single solves, failures."""

import pathlib
import re
import sysconfig

import numpy as np
import pytest

from trees import PinocchioMap, dof_joint_names
from vormek import Pose, Robot, SolverError
from vormek.batch import RobotBatch

PANDA = (pathlib.Path(sysconfig.get_paths()["purelib"])
         / "cmeel.prefix/share/example-robot-data/robots/panda_description/urdf/panda.urdf")
TOOL = Pose((0.02, -0.01, 0.1), (0.0, 0.0, np.sin(0.3), np.cos(0.3)))


@pytest.mark.parametrize("tool, position_only", [(Pose(), False), (TOOL, False), (TOOL, True)])
def test_solutions_reach_the_goal_by_pinocchio_inside_the_limits(tool, position_only):
    pin = pytest.importorskip("pinocchio")
    model = pin.buildModelFromXML(PANDA.read_text())
    data, joints = model.createData(), PinocchioMap(pin, model, dof_joint_names(PANDA.read_text()))
    x, y, z, w = tool.rotation_xyzw
    tool_placement = pin.SE3(pin.Quaternion(w, x, y, z).matrix(), np.array(tool.translation))

    def placement(q):  # of the tool frame on panda_hand, by Pinocchio
        pin.framesForwardKinematics(model, data, joints.q(q))
        return data.oMf[model.getFrameId("panda_hand")] * tool_placement

    lower, upper = (np.array([limit[i] for i in joints.idx_q]) for limit in (model.lowerPositionLimit,
                                                                             model.upperPositionLimit))
    with Robot(PANDA) as robot:
        for truth in np.random.default_rng(7).uniform(lower, upper, (15, len(lower))):
            goal = placement(truth)
            desired = Pose(goal.translation, tuple(pin.Quaternion(goal.rotation).coeffs()))
            q = robot.solve_ik((lower + upper) / 2, robot.link_id("panda_hand"), desired, tool=tool,
                               position_only=position_only)
            assert np.all((lower <= q) & (q <= upper))
            assert np.linalg.norm(placement(q).translation - goal.translation) <= 1.001e-6
            assert position_only or np.linalg.norm(pin.log3(placement(q).rotation.T @ goal.rotation)) <= 1.001e-6


def test_batch_rows_equal_single_solves_and_mark_failures():
    rng = np.random.default_rng(3)
    with Robot(PANDA) as robot, RobotBatch(PANDA, threads=2) as batch:
        hand, B = robot.link_id("panda_hand"), 40
        Q0 = rng.uniform(-1, 1, (B, robot.joint_count))
        desired = np.array([(*p.translation, *p.rotation_xyzw) for p in
                            (robot.forward_kinematics(q, hand) for q in rng.uniform(-1, 1, Q0.shape))])
        desired[5, :3] = (3.0, 0.0, 0.0)     # beyond the arm's reach
        solutions, solved = batch.solve_ik(Q0, hand, desired, restarts=3, seed=11)
        assert solved.dtype == np.bool_ and not solved[5] and solved.sum() >= B // 2
        for i in range(B):
            goal = Pose(desired[i, :3], desired[i, 3:])
            try:
                np.testing.assert_array_equal(solutions[i], robot.solve_ik(Q0[i], hand, goal, restarts=3, seed=11))
                assert solved[i]
            except SolverError:
                assert not solved[i]


def test_failure_reports_best_errors_and_arguments_are_checked():
    with Robot(PANDA) as robot:
        hand, zeros, far = robot.link_id("panda_hand"), np.zeros(robot.joint_count), Pose((3.0, 0.0, 0.0))
        with pytest.raises(SolverError, match=r"inverse kinematics found no solution within the joint limits after 2 "
                                              r"restarts \(best translation error \d\.\d{6}e0, rotation error "):
            robot.solve_ik(zeros, hand, far, restarts=2)
        for call, kind, text in [
            (lambda: robot.solve_ik(zeros, hand, far, None), TypeError, "takes 3 positional arguments but 4"),
            (lambda: robot.solve_ik(zeros, hand, far, tolerance=0.0), ValueError,
             "invalid inverse-kinematics option tolerance: must be finite and greater than zero"),
            (lambda: robot.solve_ik(zeros, hand, far, position_only=1), TypeError,
             "argument 'position_only': expected bool, got int"),
        ]:
            with pytest.raises(kind, match=re.escape(text)):
                call()
