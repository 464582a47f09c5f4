"""Every robot of example-robot-data: it loads, or it is refused for a defect the file really has;
and every one that loads computes what Pinocchio computes, fixed and, where the root body has
mass, floating (with massless_root=True where only the links fixed to the root have it)."""

import pathlib
import re
import sysconfig
import xml.etree.ElementTree as ET
import zlib

import numpy as np
import pytest

from trees import FreeFlyerMap, PinocchioMap, dof_joint_names
from vormek import BaseState, FloatingRobot, ModelError, Pose, Robot, SolverError, Twist

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


# ---- agreement with Pinocchio ------------------------------------------------------------------

LOADING = [p for p in URDFS if _name(p) not in REFUSED]
STATES = 2
RELATIVE = 1e-9


def close(ours, theirs, what, floor=1e-300):
    """Agreement to RELATIVE of the larger of the two (or of `floor`), the quantity taken as a whole."""
    ours, theirs = np.asarray(ours, dtype=float), np.asarray(theirs, dtype=float)
    assert ours.shape == theirs.shape, what
    scale = max(np.max(np.abs(theirs), initial=0.0), np.max(np.abs(ours), initial=0.0), floor)
    error = np.max(np.abs(ours - theirs), initial=0.0)
    assert error <= RELATIVE * scale, f"{what}: error {error:.3e} against scale {scale:.3e}"


def _rotation(pin, rotation_xyzw):
    return pin.Quaternion(np.array(rotation_xyzw)).normalized().matrix()


def _swap(j_pin):
    """Pinocchio's [linear; angular] rows into ours."""
    return np.vstack([j_pin[3:], j_pin[:3]])


def _forward_dynamics_agrees(ours, theirs, mass_matrix, base):
    """Pinocchio's accelerations, or, where its answer is not finite, our refusal naming a joint
    with nothing to move (a zero diagonal entry of the mass matrix)."""
    if np.all(np.isfinite(theirs)):
        close(ours(), theirs, "forward dynamics")
        return
    with pytest.raises(SolverError) as caught:
        ours()
    dof = int(re.fullmatch(r"forward dynamics found singular articulated inertia at joint DOF (\d+)",
                           str(caught.value)).group(1))
    assert mass_matrix[base + dof, base + dof] == 0


def _centroidal_agrees(pin, call, model, q_pin, v_pin, columns):
    """Centre of mass, its velocity and Jacobian, the centroidal momentum and its matrix and the
    two energies. `call(name, velocities)` runs our method; `columns` maps a Pinocchio matrix of
    velocity columns to ours. Pinocchio leaves the bodies fixed to its universe (a fixed base's
    root link and what hangs on it by fixed joints) out of every sum: they are put back from its
    universe inertia, in world coordinates, which moves the centre of mass the momenta are taken
    about. Its six-vectors are [linear; angular]."""
    data = model.createData()
    m0, c0 = model.inertias[0].mass, model.inertias[0].lever
    c_pin = pin.centerOfMass(model, data, q_pin, v_pin).copy()
    m_pin = data.mass[0]
    c = (m_pin * c_pin + m0 * c0) / (m_pin + m0)
    share = m_pin / (m_pin + m0)
    close(call("center_of_mass", False), c, "centre of mass")
    # on a millimetre scale at least: joints that only spin a body about its own centre of mass
    # (a drone's rotors) leave J_c and ċ at rounding level
    close(call("center_of_mass_velocity", True), share * data.vcom[0], "centre of mass velocity", floor=1e-3)
    close(call("center_of_mass_jacobian", False).reshape(-1, 3).T,
          share * columns(pin.jacobianCenterOfMass(model, data, q_pin)), "centre of mass Jacobian", floor=1e-3)
    A = pin.computeCentroidalMap(model, data, q_pin)
    close(call("centroidal_momentum_matrix", False).reshape(-1, 6).T,
          columns(np.vstack([A[3:] + np.cross(c_pin - c, A[:3].T).T, A[:3]])), "centroidal momentum matrix")
    h, h_pin = call("momentum", True), pin.computeCentroidalMomentum(model, data, q_pin, v_pin)
    close(np.concatenate([h.angular, h.linear]),
          np.concatenate([h_pin.angular + np.cross(c_pin - c, h_pin.linear), h_pin.linear]), "centroidal momentum")
    close(call("kinetic_energy", True), pin.computeKineticEnergy(model, data, q_pin, v_pin), "kinetic energy")
    close(call("potential_energy", False),
          pin.computePotentialEnergy(model, data, q_pin) - m0 * model.gravity.linear @ c0, "potential energy")


def _fixed_agrees(pin, robot, model, jmap, links, rng):
    n = robot.joint_count
    q, qd, qdd, tau = (rng.uniform(-1, 1, n) for _ in range(4))
    q_pin, v_pin, a_pin, tau_pin = jmap.q(q), jmap.v(qd), jmap.v(qdd), jmap.v(tau)
    data = model.createData()
    if n:
        pin.computeJointJacobians(model, data, q_pin)  # and the joint placements
    pin.framesForwardKinematics(model, data, q_pin)  # (computeJointJacobians crashes on a model without joints)
    poses = robot.link_poses(q)
    for name in links:
        target, frame = robot.link_id(name), model.getFrameId(name, pin.BODY)
        pose = robot.forward_kinematics(q, target)
        # every link's row is what forward kinematics gives, which is checked against Pinocchio's frame
        assert poses[target].tolist() == [*pose.translation, *pose.rotation_xyzw], f"link pose of {name}"
        close(pose.translation, data.oMf[frame].translation, f"position of {name}")
        close(_rotation(pin, pose.rotation_xyzw), data.oMf[frame].rotation, f"orientation of {name}")
        if not n:
            continue
        j_pin = pin.getFrameJacobian(model, data, frame, pin.LOCAL_WORLD_ALIGNED)
        close(robot.jacobian(q, target).reshape(n, 6).T, _swap(j_pin)[:, jmap.idx_v], f"Jacobian of {name}")
    if n == 0:
        return
    index = np.ix_(jmap.idx_v, jmap.idx_v)
    m_pin = pin.crba(model, data, q_pin)
    m_pin = np.triu(m_pin) + np.triu(m_pin, 1).T
    close(robot.mass_matrix(q).reshape(n, n), m_pin[index], "mass matrix")
    gravity = pin.computeGeneralizedGravity(model, data, q_pin)
    close(robot.gravity(q), jmap.joint_part(gravity), "gravity")
    close(robot.inverse_dynamics(q, qd, qdd), jmap.joint_part(pin.rnea(model, data, q_pin, v_pin, a_pin)),
          "inverse dynamics")
    close(robot.velocity_product_forces(q, qd),
          jmap.joint_part(pin.nonLinearEffects(model, data, q_pin, v_pin) - gravity), "velocity-product forces")
    _forward_dynamics_agrees(lambda: robot.forward_dynamics(q, qd, tau),
                             jmap.joint_part(pin.aba(model, data, q_pin, v_pin, tau_pin)), m_pin[index], 0)
    _centroidal_agrees(pin, lambda name, velocities: getattr(robot, name)(q, *[qd][:velocities]), model, q_pin,
                       v_pin, lambda x: np.asarray(x)[:, jmap.idx_v])


def _floating_agrees(pin, robot, model, jmap, links, rng):
    n, m = robot.joint_count, robot.generalized_count
    q, qd, qdd = (rng.uniform(-1, 1, n) for _ in range(3))
    forces = rng.uniform(-1, 1, m)
    translation, rotation = rng.uniform(-1, 1, 3), rng.normal(size=4)
    velocity, acceleration = rng.uniform(-1, 1, 6), rng.uniform(-1, 1, 6)
    base = BaseState(Pose(tuple(translation), tuple(rotation)), Twist(velocity[:3], velocity[3:]),
                     Twist(acceleration[:3], acceleration[3:]))
    flyer = FreeFlyerMap(jmap, translation, rotation)
    q_pin, v_pin = flyer.q(q), flyer.v(velocity, qd)
    data = model.createData()
    pin.computeJointJacobians(model, data, q_pin)
    pin.updateFramePlacements(model, data)
    poses = robot.link_poses(base, q)
    for name in links:
        target, frame = robot.link_id(name), model.getFrameId(name, pin.BODY)
        pose = robot.forward_kinematics(base, q, target)
        assert poses[target].tolist() == [*pose.translation, *pose.rotation_xyzw], f"floating link pose of {name}"
        close(pose.translation, data.oMf[frame].translation, f"floating position of {name}")
        close(_rotation(pin, pose.rotation_xyzw), data.oMf[frame].rotation, f"floating orientation of {name}")
        j_pin = pin.getFrameJacobian(model, data, frame, pin.LOCAL_WORLD_ALIGNED)
        close(robot.jacobian(base, q, target).reshape(m, 6).T, flyer.jacobian(j_pin), f"floating Jacobian of {name}")
    m_pin = pin.crba(model, data, q_pin)
    m_pin = np.triu(m_pin) + np.triu(m_pin, 1).T
    close(robot.mass_matrix(base, q).reshape(m, m), flyer.matrix(m_pin), "floating mass matrix")
    gravity = pin.computeGeneralizedGravity(model, data, q_pin)
    close(robot.gravity(base, q), flyer.force(gravity), "floating gravity")
    a_pin = flyer.a(velocity, acceleration, qdd)
    close(robot.inverse_dynamics(base, q, qd, qdd), flyer.force(pin.rnea(model, data, q_pin, v_pin, a_pin)),
          "floating inverse dynamics")
    # our velocity-product forces hold the base's classical acceleration at zero, not Pinocchio's
    at_rest = flyer.a(velocity, np.zeros(6), np.zeros(n))
    close(robot.velocity_product_forces(base, q, qd),
          flyer.force(pin.rnea(model, data, q_pin, v_pin, at_rest) - gravity), "floating velocity-product forces")
    _forward_dynamics_agrees(lambda: robot.forward_dynamics(base, q, qd, forces),
                             flyer.acceleration(velocity, pin.aba(model, data, q_pin, v_pin, flyer.T.T @ forces)),
                             flyer.matrix(m_pin), 6)
    _centroidal_agrees(pin, lambda name, velocities: getattr(robot, name)(base, q, *[qd][:velocities]), model,
                       q_pin, v_pin, lambda x: np.asarray(x) @ flyer.T.T)


# files whose root link is massless but whose root body is not, loaded with massless_root=True
MASSLESS_ROOT_BODIES = {"a1_description/urdf/a1.urdf", "anymal_c_simple_description/urdf/anymal.urdf"}


def _with_our_gravity(pin, model):
    model.gravity = pin.Motion(np.array([0, 0, -9.80665, 0, 0, 0]))  # Pinocchio's own is 9.81
    return model


@pytest.mark.parametrize("path", LOADING, ids=_name)
def test_agrees_with_pinocchio(path):
    pin = pytest.importorskip("pinocchio")
    text = path.read_text()
    root = ET.fromstring(text)
    links = [element.get("name") for element in root.findall("link")]
    rng = np.random.default_rng(zlib.crc32(_name(path).encode()))
    model = _with_our_gravity(pin, pin.buildModelFromUrdf(str(path)))
    jmap = PinocchioMap(pin, model, dof_joint_names(text))
    with Robot(path) as robot:
        for _ in range(STATES):
            _fixed_agrees(pin, robot, model, jmap, links, rng)
    try:
        floating = FloatingRobot(path)
    except ModelError as error:
        assert str(error).endswith("must have positive mass")
        # a massless root link whose fixed links carry the mass: the opt-in takes the root body
        try:
            floating = FloatingRobot.from_urdf_text(text, massless_root=True)
        except ModelError as again:
            assert str(again) == str(error) and _name(path) not in MASSLESS_ROOT_BODIES
            return
    model = _with_our_gravity(pin, pin.buildModelFromUrdf(str(path), pin.JointModelFreeFlyer()))
    jmap = PinocchioMap(pin, model, dof_joint_names(text))
    with floating:
        for _ in range(STATES):
            _floating_agrees(pin, floating, model, jmap, links, rng)
