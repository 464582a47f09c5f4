"""Numbers at the edges: chains of thousands of links, masses across fifteen decades on one robot,
and configurations at or near a singularity. Results are finite and agree with Pinocchio to a
relative 1e-8 where it computes the same quantity, or the call raises the documented singular
error; forward dynamics, whose conditioning grows with the chain, is judged by its backward
error through Pinocchio's inverse dynamics. Pinocchio's data for a tree of n joints holds
second-order derivative tensors of n³ values (8 GB each at n = 1,000), so it is the reference
up to 150 links; the chains of 1,000 and 5,000 links are held to our own identities instead."""

import numpy as np
import pytest

from trees import PinocchioMap, dof_joint_names
from vormek import Robot, SolverError

pin = pytest.importorskip("pinocchio")

GRAVITY = 9.80665


def _triple(values):
    return " ".join(repr(float(v)) for v in values)


def robot_text(links, seed, chain, mass_exponents=(0.0, 0.0), planar=False):
    """`links` links with revolute and prismatic joints about random axes (`planar`: a chain of
    revolute joints about z, each 0.3 m along x from the last); link masses are 10**u with u
    uniform in `mass_exponents`, and rotational inertias scale with them."""
    rng = np.random.default_rng(seed)
    parts = [f'<robot name="extreme{seed}">']
    for i in range(links):
        mass = float(10.0 ** rng.uniform(*mass_exponents))
        a, b = (float(v) for v in rng.uniform(0.2, 1.0, 2))
        c = abs(a - b) + (a + b - abs(a - b)) * float(rng.uniform(0.1, 0.9))
        ixx, iyy, izz = (0.01 * mass * v for v in (a, b, c))
        parts.append(f'<link name="l{i}"><inertial><origin xyz="{_triple(rng.uniform(-0.05, 0.05, 3))}" '
                     f'rpy="{_triple(rng.uniform(-3, 3, 3))}"/><mass value="{mass!r}"/>'
                     f'<inertia ixx="{ixx!r}" ixy="0" ixz="0" iyy="{iyy!r}" iyz="0" izz="{izz!r}"/>'
                     '</inertial></link>')
        if i:
            parent = i - 1 if chain or planar else int(rng.integers(0, i))
            kind = "prismatic" if rng.uniform() < 0.2 and not planar else "revolute"
            xyz, rpy, axis = rng.uniform(-0.1, 0.1, 3), rng.uniform(-3, 3, 3), rng.uniform(-1, 1, 3)
            if planar:
                xyz, rpy, axis = (0.3, 0, 0), (0, 0, 0), (0, 0, 1)
            parts.append(f'<joint name="j{i}" type="{kind}"><parent link="l{parent}"/><child link="l{i}"/>'
                         f'<origin xyz="{_triple(xyz)}" rpy="{_triple(rpy)}"/><axis xyz="{_triple(axis)}"/>'
                         '<limit lower="-3" upper="3" effort="1" velocity="1"/></joint>')
    parts.append("</robot>")
    return "".join(parts)


def relative(ours, theirs):
    ours, theirs = np.asarray(ours), np.asarray(theirs)
    assert np.all(np.isfinite(ours)), "non-finite result"
    return float(np.linalg.norm(ours - theirs) / max(np.linalg.norm(theirs), 1e-300))


def against_pinocchio(tmp_path, text, mass_matrix=True, stretched=False):
    """Every computation of `text` at one random state (`stretched`: every joint at zero), each
    as a relative difference."""
    path = tmp_path / "robot.urdf"
    path.write_text(text)
    robot = Robot(path)
    model = pin.buildModelFromXML(text)
    model.gravity.linear = np.array([0.0, 0.0, -GRAVITY])
    data = model.createData()
    pmap = PinocchioMap(pin, model, dof_joint_names(text))
    # the last link in the file: in a tree, link indices are breadth-first, not document order
    name = f"l{robot.link_count - 1}"
    n, tip = robot.joint_count, robot.link_id(name)
    rng = np.random.default_rng(n)
    q, qd, qdd = rng.uniform(-1, 1, n), rng.uniform(-1, 1, n), rng.uniform(-1, 1, n)
    if stretched:
        q[:] = 0.0
    q_pin, v_pin, a_pin = pmap.q(q), pmap.v(qd), pmap.v(qdd)

    errors = {}
    pin.framesForwardKinematics(model, data, q_pin)
    placement = data.oMf[model.getFrameId(name, pin.BODY)]
    errors["forward_kinematics"] = relative(robot.forward_kinematics(q, tip).translation, placement.translation)
    j_pin = pin.computeFrameJacobian(model, data, q_pin, model.getFrameId(name, pin.BODY),
                                     pin.ReferenceFrame.LOCAL_WORLD_ALIGNED)
    ours = robot.jacobian(q, tip).reshape(n, 6).T  # column k is DOF k: angular, then linear
    errors["jacobian"] = relative(ours, np.vstack([j_pin[3:], j_pin[:3]])[:, pmap.idx_v])
    errors["gravity"] = relative(robot.gravity(q), pmap.joint_part(pin.computeGeneralizedGravity(model, data, q_pin)))
    tau_pin = pin.rnea(model, data, q_pin, v_pin, a_pin)
    errors["inverse_dynamics"] = relative(robot.inverse_dynamics(q, qd, qdd), pmap.joint_part(tau_pin))
    if mass_matrix:
        m_pin = pin.crba(model, data, q_pin)
        m_pin = np.triu(m_pin) + np.triu(m_pin, 1).T
        errors["mass_matrix"] = relative(robot.mass_matrix(q).reshape(n, n), m_pin[np.ix_(pmap.idx_v, pmap.idx_v)])
    # forward dynamics: the forces Pinocchio needs for our accelerations are the forces given
    forces = pmap.joint_part(tau_pin)
    accelerations = robot.forward_dynamics(q, qd, forces)
    back = pin.rnea(model, data, q_pin, v_pin, pmap.v(accelerations))
    errors["forward_dynamics (backward)"] = relative(pmap.joint_part(back), forces)
    return errors


def test_long_chains(tmp_path):
    errors = against_pinocchio(tmp_path, robot_text(150, seed=150, chain=True))
    assert max(errors.values()) < 1e-8, errors

    for links in (1000, 5000):
        path = tmp_path / f"chain{links}.urdf"
        path.write_text(robot_text(links, seed=links, chain=True))
        robot = Robot(path)
        n, tip = robot.joint_count, robot.link_count - 1
        rng = np.random.default_rng(links)
        q, qd, qdd = rng.uniform(-1, 1, n), rng.uniform(-1, 1, n), rng.uniform(-1, 1, n)
        pose = robot.forward_kinematics(q, tip)
        assert np.all(np.isfinite(pose.translation)) and np.all(np.isfinite(robot.jacobian(q, tip)))
        # gravity is inverse dynamics at rest; forward dynamics undoes inverse dynamics
        tau = robot.inverse_dynamics(q, qd, qdd)
        assert relative(robot.gravity(q), robot.inverse_dynamics(q, np.zeros(n), np.zeros(n))) < 1e-12
        assert relative(robot.inverse_dynamics(q, qd, robot.forward_dynamics(q, qd, tau)), tau) < 1e-8, links


def test_masses_across_fifteen_decades(tmp_path):
    for seed in range(3):
        errors = against_pinocchio(tmp_path, robot_text(40, seed=seed, chain=False, mass_exponents=(-9.0, 6.0)))
        assert max(errors.values()) < 1e-8, (seed, errors)


def test_singular_and_nearly_singular(tmp_path):
    # a massless, inertia-free link beyond a revolute joint: the articulated inertia is zero
    body = ('<robot name="s"><link name="l0"><inertial><mass value="1"/><inertia ixx="1" ixy="0" ixz="0" '
            'iyy="1" iyz="0" izz="1"/></inertial></link><link name="l1">{inertial}</link>'
            '<joint name="j1" type="revolute"><parent link="l0"/><child link="l1"/><axis xyz="0 0 1"/>'
            '<limit lower="-1" upper="1" effort="1" velocity="1"/></joint>'
            '<link name="l2">{inertial}</link><joint name="j2" type="revolute"><parent link="l1"/><child link="l2"/>'
            '<origin xyz="1 0 0"/><axis xyz="0 0 1"/><limit lower="-1" upper="1" effort="1" velocity="1"/>'
            '</joint></robot>')
    empty = tmp_path / "empty.urdf"
    empty.write_text(body.format(inertial=""))
    with pytest.raises(SolverError, match="^forward dynamics found singular articulated inertia at joint DOF 1$"):
        Robot(empty).forward_dynamics([0.1, 0.2], [0.0, 0.0], [1.0, 1.0])

    # the same links with a trace of mass and inertia compute, and agree with Pinocchio
    for mass in (1e-9, 1e-12):
        inertial = (f'<inertial><origin xyz="0.5 0 0"/><mass value="{mass!r}"/><inertia ixx="{mass!r}" '
                    f'ixy="0" ixz="0" iyy="{mass!r}" iyz="0" izz="{mass!r}"/></inertial>')
        errors = against_pinocchio(tmp_path, body.format(inertial=inertial))
        assert max(errors.values()) < 1e-8, (mass, errors)

    # a stretched planar chain: every axis parallel and every link on one line, so the
    # Jacobian has rank two
    errors = against_pinocchio(tmp_path, robot_text(30, seed=7, chain=True, planar=True), stretched=True)
    assert max(errors.values()) < 1e-8, errors
