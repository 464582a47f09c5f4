"""Derivatives of the dynamics against Pinocchio's on every robot of example-robot-data that
loads (fixed base), and the batch against the single-state calls."""

import zlib

import numpy as np
import pytest

from test_corpus import LOADING, RELATIVE, _name, _with_our_gravity, close
from trees import PinocchioMap, dof_joint_names, random_tree_text
from vormek import Robot, SolverError
from vormek.batch import RobotBatch


@pytest.mark.parametrize("path", LOADING, ids=_name)
def test_fixed_base_agrees_with_pinocchio(path):
    pin = pytest.importorskip("pinocchio")
    model = _with_our_gravity(pin, pin.buildModelFromUrdf(str(path)))
    jmap = PinocchioMap(pin, model, dof_joint_names(path.read_text()))
    rng = np.random.default_rng(zlib.crc32(_name(path).encode()))
    with Robot(path) as robot:
        n = robot.joint_count
        if n == 0:
            return
        q, qd, qdd, tau = (rng.uniform(-1, 1, n) for _ in range(4))
        q_pin, v_pin, a_pin, tau_pin = jmap.q(q), jmap.v(qd), jmap.v(qdd), jmap.v(tau)
        index = np.ix_(jmap.idx_v, jmap.idx_v)
        data = model.createData()
        dq, dv, _ = pin.computeRNEADerivatives(model, data, q_pin, v_pin, a_pin)
        dtau_dq, dtau_dqd, tau_ours = robot.inverse_dynamics_derivatives(q, qd, qdd)
        # both at once, and at least on the scale of M·g: where gravity and the motion exert no
        # torque (symmetric rotors) every entry is rounding
        error = np.abs(np.hstack([dtau_dq.reshape(n, n) - dq[index], dtau_dqd.reshape(n, n) - dv[index]])).max()
        scale = max(np.abs(dq).max(), np.abs(dv).max(), 9.81 * np.abs(robot.mass_matrix(q)).max())
        assert error <= RELATIVE * scale, f"dtau/dq, dtau/dqd: error {error:.3e} against scale {scale:.3e}"
        close(tau_ours, robot.inverse_dynamics(q, qd, qdd), "tau")
        minv = pin.computeMinverse(model, data, q_pin)
        minv = np.triu(minv) + np.triu(minv, 1).T
        try:
            inverse = robot.mass_matrix_inverse(q)
        except SolverError:  # a joint with nothing to move: Pinocchio's inverse is not finite
            assert not np.all(np.isfinite(minv))
            return
        close(inverse.reshape(n, n), minv[index], "mass matrix inverse")
        ddq_dq, ddq_dv, ddq_dtau = pin.computeABADerivatives(model, data, q_pin, v_pin, tau_pin)
        ours = robot.forward_dynamics_derivatives(q, qd, tau)
        close(np.hstack([a.reshape(n, n) for a in ours]), np.hstack([ddq_dq[index], ddq_dv[index], ddq_dtau[index]]),
              "dqdd/dq, dqdd/dqd, dqdd/dtau")


def test_batch_rows_are_single_calls(write_urdf):
    path = write_urdf(random_tree_text(7, links=10))
    rng = np.random.default_rng(7)
    with RobotBatch(path, 2) as batch, Robot(path) as robot:
        Q, QD, X = (rng.uniform(-1, 1, (5, robot.joint_count)) for _ in range(3))
        for name, arguments in (("inverse_dynamics_derivatives", (Q, QD, X)),
                                ("forward_dynamics_derivatives", (Q, QD, X)), ("mass_matrix_inverse", (Q,))):
            rows = getattr(batch, name)(*arguments)
            for b in range(len(Q)):
                single = getattr(robot, name)(*(a[b] for a in arguments))
                for got, want in zip(rows if isinstance(rows, tuple) else (rows,),
                                     single if isinstance(single, tuple) else (single,)):
                    np.testing.assert_array_equal(got[b].ravel(), want)
