"""Dynamics through the public methods: against Pinocchio on real robots and a random tree, fixed
and floating base, and the intake of loads."""

import pathlib
import sysconfig

import numpy as np
import pytest

from trees import FreeFlyerMap, PinocchioMap, dof_joint_names, random_tree_text
from vormek import BaseState, FloatingRobot, Load, Pose, Robot, Twist

ROBOTS = pathlib.Path(sysconfig.get_paths()["purelib"]) / "cmeel.prefix/share/example-robot-data/robots"


def _example_robot(relative):
    path = ROBOTS / relative
    if not path.exists():
        pytest.skip("example-robot-data is not installed")
    return path.read_text()


# ---- Pinocchio cross-check ---------------------------------------------------------------------
#
# Conventions mapped between the two libraries:
# - six-vectors: Pinocchio's twists and forces are [linear; angular], ours [angular; linear];
# - gravity: Pinocchio's default is 9.81, so its model gravity is set to our 9.80665 along −z;
# - loads: ours are wrenches the link must be supplied with, in the link frame about its origin,
#   entering like the link's own inertial wrench; Pinocchio's external forces act ON the body,
#   so they enter with the opposite sign, and they are expressed in the frame of the joint that
#   carries the body: a link hung on fixed joints is merged into its parent's body there, so the
#   load is moved by that link frame's placement in the joint frame;
# - continuous joints take (cos q, sin q) in Pinocchio's configuration, fixed joints become frames
#   and its joints are ordered depth-first, ours breadth-first (PinocchioMap);
# - its mass matrix holds the upper triangle only;
# - with a free flyer, FreeFlyerMap turns its base coordinates (root axes, linear first) into ours.

FIXED_CASES = {
    "panda": lambda: _example_robot("panda_description/urdf/panda.urdf"),
    "ur5": lambda: _example_robot("ur_description/urdf/ur5_robot.urdf"),
    "talos": lambda: _example_robot("talos_data/robots/talos_reduced.urdf"),
    "solo12": lambda: _example_robot("solo_description/robots/solo12.urdf"),
    "allegro hand": lambda: _example_robot("allegro_hand_description/urdf/allegro_right_hand.urdf"),
    "random tree": lambda: random_tree_text(2024, links=30),
}
FLOATING_CASES = {
    "solo12": FIXED_CASES["solo12"],
    "talos": FIXED_CASES["talos"],
    "go1": lambda: _example_robot("go1_description/urdf/go1.urdf"),
    "hyq": lambda: _example_robot("hyq_description/robots/hyq_no_sensors.urdf"),
    "random tree": FIXED_CASES["random tree"],
}


def _pinocchio(text, floating):
    pin = pytest.importorskip("pinocchio")
    model = pin.buildModelFromXML(text, pin.JointModelFreeFlyer()) if floating else pin.buildModelFromXML(text)
    model.gravity = pin.Motion(np.array([0, 0, -9.80665, 0, 0, 0]))
    return pin, model, model.createData(), PinocchioMap(pin, model, dof_joint_names(text))


def _loads(robot, pin, model, rng, count=4):
    """Seeded loads on random links (the root among them), ours and Pinocchio's."""
    links = [f.name for f in model.frames if f.type == pin.FrameType.BODY]
    ours, theirs = [], pin.StdVec_Force()
    for _ in range(model.njoints):
        theirs.append(pin.Force.Zero())
    for name in [links[0]] + list(rng.choice(links, count - 1)):
        torque, force = rng.uniform(-2, 2, 3), rng.uniform(-5, 5, 3)
        ours.append(Load(robot.link_id(name), torque=tuple(torque), force=tuple(force)))
        frame = model.frames[model.getFrameId(name, pin.BODY)]
        theirs[frame.parentJoint] += frame.placement.act(pin.Force(-force, -torque))
    return ours, theirs


def _close(ours, theirs):
    theirs = np.asarray(theirs)
    scale = np.abs(theirs).max()
    assert np.abs(np.asarray(ours) - theirs).max() <= 1e-9 * scale, np.abs(np.asarray(ours) - theirs).max() / scale


def _upper(pin, model, data, q_pin):
    m = pin.crba(model, data, q_pin)
    return np.triu(m) + np.triu(m, 1).T


@pytest.mark.parametrize("case", FIXED_CASES)
def test_fixed_base_dynamics_match_pinocchio(write_urdf, case):
    text = FIXED_CASES[case]()
    pin, model, data, jmap = _pinocchio(text, floating=False)
    robot = Robot(write_urdf(text))
    n = robot.joint_count
    rng = np.random.default_rng(len(case))
    q, qd, qdd = rng.uniform(-1.5, 1.5, n), rng.uniform(-2, 2, n), rng.uniform(-2, 2, n)
    q_pin, v_pin, a_pin = jmap.q(q), jmap.v(qd), jmap.v(qdd)
    loads, fext = _loads(robot, pin, model, rng)

    _close(robot.mass_matrix(q).reshape(n, n), _upper(pin, model, data, q_pin)[np.ix_(jmap.idx_v, jmap.idx_v)])
    _close(robot.inverse_dynamics(q, qd, qdd), jmap.joint_part(pin.rnea(model, data, q_pin, v_pin, a_pin)))
    tau_loaded = jmap.joint_part(pin.rnea(model, data, q_pin, v_pin, a_pin, fext))
    _close(robot.inverse_dynamics(q, qd, qdd, loads), tau_loaded)
    gravity = jmap.joint_part(pin.computeGeneralizedGravity(model, data, q_pin))
    _close(robot.gravity(q), gravity)
    zero = np.zeros(model.nv)
    _close(robot.gravity(q, loads), jmap.joint_part(pin.rnea(model, data, q_pin, zero, zero, fext)))
    _close(robot.velocity_product_forces(q, qd), jmap.joint_part(pin.rnea(model, data, q_pin, v_pin, zero)) - gravity)
    forces = rng.uniform(-10, 10, n)
    _close(robot.forward_dynamics(q, qd, forces, loads),
           jmap.joint_part(pin.aba(model, data, q_pin, v_pin, jmap.v(forces), fext)))


@pytest.mark.parametrize("case", FLOATING_CASES)
def test_floating_base_dynamics_match_pinocchio_free_flyer(write_urdf, case):
    text = FLOATING_CASES[case]()
    pin, model, data, jmap = _pinocchio(text, floating=True)
    robot = FloatingRobot(write_urdf(text))
    n = robot.joint_count
    rng = np.random.default_rng(len(case))
    q, qd, qdd = rng.uniform(-1, 1, n), rng.uniform(-1, 1, n), rng.uniform(-1, 1, n)
    translation, rotation = rng.uniform(-1, 1, 3), rng.normal(size=4)
    velocity, acceleration = rng.uniform(-1, 1, 6), rng.uniform(-1, 1, 6)
    flyer = FreeFlyerMap(jmap, translation, rotation)
    base = BaseState(Pose(tuple(translation), tuple(rotation)), Twist(velocity[:3], velocity[3:]),
                     Twist(acceleration[:3], acceleration[3:]))
    q_pin, v_pin, a_pin = flyer.q(q), flyer.v(velocity, qd), flyer.a(velocity, acceleration, qdd)
    loads, fext = _loads(robot, pin, model, rng)

    _close(robot.mass_matrix(base, q).reshape(n + 6, n + 6), flyer.matrix(_upper(pin, model, data, q_pin)))
    _close(robot.inverse_dynamics(base, q, qd, qdd, loads),
           flyer.force(pin.rnea(model, data, q_pin, v_pin, a_pin, fext)))
    gravity = flyer.force(pin.computeGeneralizedGravity(model, data, q_pin))
    _close(robot.gravity(base, q), gravity)
    # at zero generalized acceleration Pinocchio's base accelerates by its velocity alone
    rest = flyer.a(velocity, np.zeros(6), np.zeros(n))
    _close(robot.velocity_product_forces(base, q, qd),
           flyer.force(pin.rnea(model, data, q_pin, v_pin, rest)) - gravity)
    forces = rng.uniform(-10, 10, n + 6)
    a_fd = pin.aba(model, data, q_pin, v_pin, flyer.T.T @ forces, fext)
    _close(robot.forward_dynamics(base, q, qd, forces, loads), flyer.acceleration(velocity, a_fd))


# Every robot example-robot-data ships either loads and matches Pinocchio, fixed base, or is
# refused for the fault its file holds (ur3.urdf is an empty <robot/>; the others declare an
# inertia with a negative eigenvalue, e.g. icub's r_hip_2 ixx = iyy = −5.4e−20).
REFUSED = {
    "icub_description/robots/icub.urdf": "link r_hip_2 inertia must be positive semi-definite",
    "icub_description/robots/icub_reduced.urdf": "link r_hip_2 inertia must be positive semi-definite",
    "romeo_description/urdf/romeo_laas_small.urdf": "link body inertia must be positive semi-definite",
    "tiago_description/robots/tiago.urdf": "link base_antenna_left_link inertia must be positive semi-definite",
    "tiago_description/robots/tiago_dual.urdf": "link base_antenna_left_link inertia must be positive semi-definite",
    "tiago_description/robots/tiago_no_hand.urdf": "link base_antenna_left_link inertia must be positive semi-definite",
    "ur_description/urdf/ur3.urdf": "expected one root link, found 0",
}


def test_every_example_robot_matches_pinocchio_or_is_refused_for_its_fault():
    from vormek import ModelError, SolverError

    pin = pytest.importorskip("pinocchio")
    paths = sorted(ROBOTS.rglob("*.urdf"))
    if not paths:
        pytest.skip("example-robot-data is not installed")
    compared = 0
    for path in paths:
        relative = path.relative_to(ROBOTS).as_posix()
        if relative in REFUSED:
            with pytest.raises(ModelError, match=REFUSED[relative]):
                Robot(str(path))
            continue
        text = path.read_text()
        robot = Robot(str(path))
        n = robot.joint_count
        if n == 0:
            continue
        _, model, data, jmap = _pinocchio(text, floating=False)
        rng = np.random.default_rng(n)
        q, qd, qdd, forces = (rng.uniform(-1.5, 1.5, n) for _ in range(4))
        q_pin, v_pin = jmap.q(q), jmap.v(qd)
        _close(robot.mass_matrix(q).reshape(n, n), _upper(pin, model, data, q_pin)[np.ix_(jmap.idx_v, jmap.idx_v)])
        _close(robot.inverse_dynamics(q, qd, qdd), jmap.joint_part(pin.rnea(model, data, q_pin, v_pin, jmap.v(qdd))))
        _close(robot.gravity(q), jmap.joint_part(pin.computeGeneralizedGravity(model, data, q_pin)))
        try:
            accelerations = robot.forward_dynamics(q, qd, forces)
        except SolverError:
            # a massless leaf (romeo's RThumb3) leaves its joint without inertia: M is singular
            assert np.linalg.eigvalsh(robot.mass_matrix(q).reshape(n, n))[0] < 1e-12
            continue
        _close(accelerations, jmap.joint_part(pin.aba(model, data, q_pin, v_pin, jmap.v(forces))))
        compared += 1
    assert compared >= 50, compared


def test_every_example_robot_with_a_heavy_root_matches_pinocchio_free_flyer():
    """The floating base on every robot example-robot-data ships whose root link has mass (many
    hang their base's mass on a link fixed to a massless root, which a floating robot refuses)."""
    from vormek import ModelError

    pin = pytest.importorskip("pinocchio")
    compared = 0
    for path in sorted(ROBOTS.rglob("*.urdf")):
        try:
            robot = FloatingRobot(str(path))
        except ModelError:
            continue
        _, model, data, jmap = _pinocchio(path.read_text(), floating=True)
        n = robot.joint_count
        rng = np.random.default_rng(n)
        q, qd, qdd = (rng.uniform(-1, 1, n) for _ in range(3))
        translation, rotation = rng.uniform(-1, 1, 3), rng.normal(size=4)
        velocity, acceleration, forces = rng.uniform(-1, 1, 6), rng.uniform(-1, 1, 6), rng.uniform(-10, 10, n + 6)
        flyer = FreeFlyerMap(jmap, translation, rotation)
        base = BaseState(Pose(tuple(translation), tuple(rotation)), Twist(velocity[:3], velocity[3:]),
                         Twist(acceleration[:3], acceleration[3:]))
        q_pin, v_pin = flyer.q(q), flyer.v(velocity, qd)
        _close(robot.mass_matrix(base, q).reshape(n + 6, n + 6), flyer.matrix(_upper(pin, model, data, q_pin)))
        _close(robot.inverse_dynamics(base, q, qd, qdd),
               flyer.force(pin.rnea(model, data, q_pin, v_pin, flyer.a(velocity, acceleration, qdd))))
        _close(robot.gravity(base, q), flyer.force(pin.computeGeneralizedGravity(model, data, q_pin)))
        a_fd = pin.aba(model, data, q_pin, v_pin, flyer.T.T @ forces)
        _close(robot.forward_dynamics(base, q, qd, forces), flyer.acceleration(velocity, a_fd))
        compared += 1
    if compared == 0:
        pytest.skip("example-robot-data is not installed")
    assert compared >= 40, compared


# ---- loads through the public methods ------------------------------------------------------------

def test_loads_are_read_once_and_checked_in_order(write_urdf):
    from conftest import joint, link, robot_text
    text = robot_text(link("base"), link("arm", mass=2.0),
                      joint("j", "revolute", "base", "arm", xyz=(0, 0, 1), axis=(0, 1, 0)))
    robot = Robot(write_urdf(text))
    q = np.array([0.3])

    class Shifting:
        """A sequence that hands out a different load each time an item is read."""
        reads = 0

        def __len__(self):
            return 1

        def __getitem__(self, i):
            if i >= 1:
                raise IndexError(i)
            Shifting.reads += 1
            return Load(1, force=(Shifting.reads, 0, 0))

    np.testing.assert_array_equal(robot.gravity(q, Shifting()), robot.gravity(q, [Load(1, force=(1, 0, 0))]))
    assert Shifting.reads == 1
    np.testing.assert_array_equal(robot.gravity(q, []), robot.gravity(q))
    np.testing.assert_allclose(robot.gravity(q, [Load(1, force=(1, 0, 0))] * 2),
                               robot.gravity(q, (Load(1, force=(2, 0, 0)),)), rtol=0, atol=1e-15)

    with pytest.raises(ValueError, match="^invalid link id 2$"):
        robot.inverse_dynamics(q, q, q, [Load(1), Load(2)])
    with pytest.raises(ValueError, match="^load contains a non-finite value$"):
        robot.forward_dynamics(q, q, q, [Load(1, torque=(0, float("nan"), 0))])
    # a wrong type of loads is a conversion error: it comes before a qd length mismatch
    with pytest.raises(TypeError, match="loads"):
        robot.inverse_dynamics(q, [0.0, 0.0], q, 3)
    with pytest.raises(TypeError, match="loads"):
        robot.gravity(q, [Load(1), "not a load"])
    # a bad base is reported before a bad q
    floating = FloatingRobot(write_urdf(robot_text(link("base", mass=1.0), link("arm", mass=2.0),
                                                   joint("j", "revolute", "base", "arm", axis=(0, 1, 0)))))
    with pytest.raises(TypeError, match="base"):
        floating.gravity("not a base", [1.0, 2.0])
