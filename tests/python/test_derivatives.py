"""Derivatives of the dynamics against Pinocchio's on every robot of example-robot-data that
loads (fixed base and free flyer), and the batch against the single-state calls."""

import zlib

import numpy as np
import pytest

from test_corpus import LOADING, RELATIVE, _name, _with_our_gravity, close
from trees import FreeFlyerMap, PinocchioMap, dof_joint_names, random_tree_text
from vormek import BaseState, FloatingRobot, ModelError, Pose, Robot, SolverError, Twist
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


def _skew(x):
    return np.array([[0, -x[2], x[1]], [x[2], 0, -x[0]], [-x[1], x[0], 0]])


def _free_flyer_derivatives(pin, model, flyer, q_pin, velocity, acceleration, qd, qdd):
    """Pinocchio's inverse-dynamics derivatives and M⁻¹ in our floating layout.

    Pinocchio moves the base by M·exp(ξ), ξ = [Rᵀδp; Rᵀδθ] = Tᵀ·δx for our turn δθ and shift δp
    (world axes, root origin), holding its local ν = Tᵀ·u and ν̇. Ours hold u and [α; p̈], so a
    turn also moves what Pinocchio is given, ν (Rᵀω, Rᵀṗ) and ν̇ (Rᵀα, Rᵀ(p̈ − ω × ṗ)), with
    δ(Rᵀy) = Rᵀ[y]×·δθ, and turns what it returns, τ = T·τ_pin, by −[τ]×·δθ; ṗ and ω enter ν̇.
    """
    R, T, nv = flyer.R, flyer.T, model.nv
    w, pd, alpha, pdd = velocity[:3], velocity[3:], acceleration[:3], acceleration[3:]
    data = model.createData()
    v_pin, a_pin = flyer.v(velocity, qd), flyer.a(velocity, acceleration, qdd)
    dq, dv, mass = (np.array(x) for x in pin.computeRNEADerivatives(model, data, q_pin, v_pin, a_pin))
    mass = np.triu(mass) + np.triu(mass, 1).T
    tau = flyer.force(pin.rnea(model, data, q_pin, v_pin, a_pin))
    dnu, da, da_u = (np.zeros((nv, T.shape[0])) for _ in range(3))
    dnu[:3, :3], dnu[3:6, :3] = R.T @ _skew(pd), R.T @ _skew(w)
    da[:3, :3], da[3:6, :3] = R.T @ _skew(pdd - np.cross(w, pd)), R.T @ _skew(alpha)
    da_u[:3, :3], da_u[:3, 3:6] = R.T @ _skew(pd), -R.T @ _skew(w)
    dtau_dx = T @ (dq @ T.T + dv @ dnu + mass @ da)
    dtau_dx[:3, :3] -= _skew(tau[:3])
    dtau_dx[3:6, :3] -= _skew(tau[3:6])
    return dtau_dx, T @ (dv @ T.T + mass @ da_u), tau, T @ np.linalg.inv(mass) @ T.T


@pytest.mark.parametrize("path", LOADING, ids=_name)
def test_floating_base_agrees_with_pinocchio_free_flyer(path):
    pin = pytest.importorskip("pinocchio")
    try:
        robot = FloatingRobot(path)
    except ModelError:  # a massless root: Pinocchio's free flyer has no inertia to invert either
        return
    model = _with_our_gravity(pin, pin.buildModelFromUrdf(str(path), pin.JointModelFreeFlyer()))
    jmap = PinocchioMap(pin, model, dof_joint_names(path.read_text()))
    rng = np.random.default_rng(zlib.crc32(_name(path).encode()) + 1)
    with robot:
        n, m = robot.joint_count, robot.generalized_count
        q, qd, qdd = (rng.uniform(-1, 1, n) for _ in range(3))
        translation, rotation = rng.uniform(-1, 1, 3), rng.normal(size=4)
        velocity, acceleration, forces = rng.uniform(-1, 1, 6), rng.uniform(-1, 1, 6), rng.uniform(-1, 1, m)
        flyer = FreeFlyerMap(jmap, translation, rotation)
        q_pin = flyer.q(q)

        def state(base_acceleration):
            return BaseState(Pose(tuple(translation), tuple(rotation)), Twist(velocity[:3], velocity[3:]),
                             Twist(base_acceleration[:3], base_acceleration[3:]))

        dx, du, tau, inverse = _free_flyer_derivatives(pin, model, flyer, q_pin, velocity, acceleration, qd, qdd)
        ours = robot.inverse_dynamics_derivatives(state(acceleration), q, qd, qdd)
        # on the scale of the base's weight times the largest reach of M, as on the fixed base
        scale = max(np.abs(dx).max(), np.abs(du).max(), 9.81 * np.abs(robot.mass_matrix(state(acceleration), q)).max())
        error = np.abs(np.hstack([ours[0].reshape(m, m) - dx, ours[1].reshape(m, m) - du])).max()
        assert error <= RELATIVE * scale, f"dtau/dx, dtau/du: error {error:.3e} against scale {scale:.3e}"
        close(ours[2], tau, "tau")
        close(robot.mass_matrix_inverse(state(acceleration), q).reshape(m, m), inverse, "mass matrix inverse")
        # forward dynamics: −M⁻¹ times Pinocchio's ∂τ at the accelerations it returns
        qdd_all = robot.forward_dynamics(state(acceleration), q, qd, forces)
        dx, du, _, inverse = _free_flyer_derivatives(pin, model, flyer, q_pin, velocity, qdd_all[:6], qd, qdd_all[6:])
        ours = robot.forward_dynamics_derivatives(state(acceleration), q, qd, forces)
        close(np.hstack([a.reshape(m, m) for a in ours]), np.hstack([-inverse @ dx, -inverse @ du, inverse]),
              "dqdd/dx, dqdd/du, dqdd/dtau")


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
