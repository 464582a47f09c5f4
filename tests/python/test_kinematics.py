"""Robot and FloatingRobot kinematics from Python: `out` handling, the order of the binding
steps, Jacobians and their derivative against Pinocchio, and inverse kinematics."""

import pathlib
import sysconfig
import xml.etree.ElementTree as ET

import numpy as np
import pytest

from trees import FreeFlyerMap, PinocchioMap, dof_joint_names, random_tree_text, seven_dof_arm_text
from vormek import BaseState, FloatingRobot, IkOptions, ModelError, Pose, Robot, SolverError, Twist

NAN = float("nan")
ROBOTS = pathlib.Path(sysconfig.get_paths()["purelib"]) / "cmeel.prefix/share/example-robot-data/robots"


@pytest.fixture
def arm(write_urdf):
    return Robot(write_urdf(seven_dof_arm_text()))


# ---- out= ----------------------------------------------------------------------------------------

@pytest.mark.parametrize("floating", [False, True])
def test_link_poses_out_is_one_row_per_link(write_urdf, floating):
    massive_root = ('<link name="base"><inertial><mass value="2"/>'
                    '<inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial></link>')
    path = write_urdf(seven_dof_arm_text().replace('<link name="base"/>', massive_root))
    robot, base = (FloatingRobot(path), (BaseState(Pose((1, 2, 3), (0, 0, 1, 1))),)) if floating else (Robot(path), ())
    L, q = robot.link_count, np.linspace(-1, 1, 7)
    poses = robot.link_poses(*base, q)
    assert poses.shape == (L, 7) and poses.flags.c_contiguous
    out = np.full((L, 7), np.nan)
    assert robot.link_poses(*base, q, out=out) is out and np.array_equal(out, poses)
    read_only = np.zeros((L, 7))
    read_only.flags.writeable = False
    for bad, kind, message in [
            (np.zeros(7 * L), TypeError, "argument 'out': expected a two-dimensional float64 numpy.ndarray, got "
                                         "numpy.ndarray"),
            (np.zeros((L, 7), np.float32), TypeError, None), (np.zeros((L, 7), ">f8"), TypeError, None),
            (np.zeros((L + 1, 7)), ValueError, f"out must have shape ({L}, 7)"),
            (np.zeros((L, 6)), ValueError, f"out must have shape ({L}, 7)"),
            (read_only, ValueError, "The given array is not writeable"),
            (np.zeros((7, L)).T, ValueError, "out must be a C-contiguous float64 array"),
            (np.zeros((L, 14))[:, ::2], ValueError, "out must be a C-contiguous float64 array")]:
        with pytest.raises(kind) as caught:
            robot.link_poses(*base, q, out=bad)
        assert message is None or str(caught.value) == message
    with pytest.raises(ValueError, match="^expected 7 elements in q, found 6$"):
        robot.link_poses(*base, q[:6], out=out)


# method name -> (call(robot, q, target, out), result length)
METHODS = {
    "jacobian": (lambda r, q, target, out: r.jacobian(q, target, out=out), 42),
    "jacobian_derivative": (lambda r, q, target, out: r.jacobian_derivative(q, np.full(len(q), 0.3), target, out=out), 42),
    "inverse_kinematics": (lambda r, q, target, out: r.inverse_kinematics(q, target, Pose((0.1, 0.2, 1.0)), out=out), 7),
}


@pytest.mark.parametrize("method", METHODS)
@pytest.mark.parametrize("case, kind, message", [
    ("q itself or a view of it", ValueError, "The given array is already borrowed"),
    ("shifted over q", ValueError, "The given array is already borrowed"),
    ("read-only", ValueError, "The given array is not writeable"),
    ("one element short", ValueError, "out must contain exactly {length} elements"),
    ("float32", TypeError, "'out'"),
    ("strided", ValueError, "out must be a contiguous float64 array"),
    ("bad target", ValueError, "invalid link id 8"),
    ("q too long", ValueError, "expected 7 elements in {label}, found 8"),
])
def test_out_failures_leave_out_untouched(arm, method, case, kind, message):
    call, length = METHODS[method]
    q, target = np.linspace(-0.5, 0.5, 7), 7
    out = np.full(length, 7.0)
    if case == "q itself or a view of it":
        out = np.linspace(-0.5, 0.5, length)
        q = out[:7]
    elif case == "shifted over q":
        buffer = np.linspace(-0.5, 0.5, length + 1)
        q, out = buffer[1:8], buffer[:length]
    elif case == "read-only":
        out.flags.writeable = False
    elif case == "one element short":
        out = out[:-1]
    elif case == "float32":
        out = out.astype(np.float32)
    elif case == "strided":
        out = np.full(2 * length, 7.0)[::2]
    elif case == "bad target":
        target = 8
    elif case == "q too long":
        q = np.zeros(8)
    before = out.copy()
    with pytest.raises(kind) as info:
        call(arm, q, target, out)
    label = "initial_q" if method == "inverse_kinematics" else "q"
    assert message.format(length=length, label=label) in str(info.value)
    np.testing.assert_array_equal(out, before)


@pytest.mark.parametrize("method", METHODS)
def test_out_is_returned_and_filled(arm, method):
    call, length = METHODS[method]
    q = np.linspace(-0.5, 0.5, 7)
    out = np.full(length, 7.0)
    assert call(arm, q, 7, out) is out
    np.testing.assert_array_equal(out, call(arm, q, 7, None))


# ---- binding steps ---------------------------------------------------------------------------------

def _closed(robot):
    robot.close()
    return robot


# Which failure wins when several arguments are wrong shows where each step sits.
@pytest.mark.parametrize("call, kind, message", [
    # the tool is converted with the arguments and normalised before the qd length and the lock
    (lambda r: r.forward_velocity_kinematics(np.zeros(7), np.zeros(6), 7, tool=(0, 0, 0)), TypeError, "'tool'"),
    (lambda r: _closed(r).forward_velocity_kinematics(np.zeros(7), np.zeros(7), 7, tool=Pose(rotation_xyzw=(0, 0, 0, 0))),
     ValueError, "pose contains non-finite values or a zero quaternion"),
    (lambda r: _closed(r).forward_velocity_kinematics(np.zeros(7), np.zeros(6), 8), ValueError,
     "q and qd must have the same length"),
    (lambda r: _closed(r).forward_velocity_kinematics(np.zeros(7), np.zeros(7), 8), ValueError, "invalid link id 8"),
    # the others lock before they compare lengths or look at the target
    (lambda r: _closed(r).jacobian_derivative(np.zeros(7), np.zeros(6), 8), RuntimeError, "robot is closed"),
    (lambda r: r.jacobian_derivative(np.zeros(7), np.zeros(6), 8), ValueError, "q and qd must have the same length"),
    (lambda r: _closed(r).forward_acceleration_kinematics(np.zeros(7), np.zeros(7), np.zeros(6), 8), RuntimeError,
     "robot is closed"),
    (lambda r: r.forward_acceleration_kinematics(np.zeros(7), np.zeros(6), np.zeros(6), 8), ValueError,
     "q and qd must have the same length"),
    (lambda r: r.forward_acceleration_kinematics(np.zeros(7), np.zeros(7), np.zeros(6), 8), ValueError,
     "q and qdd must have the same length"),
    (lambda r: _closed(r).jacobian(np.zeros(7), 8), RuntimeError, "robot is closed"),
    # inverse kinematics: desired, then target, then options (the solver's), all before the lock
    (lambda r: _closed(r).inverse_kinematics(np.zeros(7), 8, Pose(rotation_xyzw=(0, 0, 0, 0))), ValueError,
     "pose contains non-finite values or a zero quaternion"),
    (lambda r: _closed(r).inverse_kinematics(np.zeros(7), 8, Pose(), IkOptions(damping=0)), ValueError,
     "invalid link id 8"),
    (lambda r: r.inverse_kinematics(np.zeros(7), 7, Pose(), options=Pose()), TypeError, "'options'"),
    (lambda r: r.inverse_kinematics(np.zeros(6), 7, Pose(), IkOptions(damping=0)), ValueError,
     "expected 7 elements in initial_q, found 6"),
    (lambda r: r.inverse_kinematics(np.zeros(7), 7, Pose(), IkOptions(damping=0, max_step_norm=-1)), ValueError,
     "invalid inverse-kinematics option damping: must be finite and greater than zero"),
    (lambda r: r.inverse_kinematics(np.zeros(7), 7, Pose((9, 9, 9)), IkOptions(max_iterations=2)), SolverError,
     "inverse kinematics did not converge after 2 iterations (translation error "),
])
def test_step_order(arm, call, kind, message):
    with pytest.raises(kind) as info:
        call(arm)
    assert message in str(info.value)


def test_floating_base_is_checked_before_everything(write_urdf):
    robot = FloatingRobot(write_urdf(seven_dof_arm_text().replace('<link name="base"/>', (
        '<link name="base"><inertial><mass value="2"/>'
        '<inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial></link>'))))
    bad = BaseState(velocity=Twist((NAN, 0, 0)))
    for call in (lambda: robot.jacobian(bad, np.zeros(3), 99, out=np.zeros(1)),
                 lambda: robot.jacobian_derivative(bad, np.zeros(3), np.zeros(2), 99),
                 lambda: robot.forward_velocity_kinematics(bad, np.zeros(3), np.zeros(2), 99),
                 lambda: robot.forward_acceleration_kinematics(bad, np.zeros(3), np.zeros(2), np.zeros(1), 99)):
        with pytest.raises(ValueError, match="invalid base velocity: must contain only finite values"):
            call()
    assert robot.jacobian(BaseState(), np.zeros(7), 7).shape == (6 * 13,)
    assert not hasattr(robot, "inverse_kinematics")


def test_default_options_are_ikoptions(arm):
    desired = arm.forward_kinematics(np.full(7, 0.4), 7)
    np.testing.assert_array_equal(arm.inverse_kinematics(np.zeros(7), 7, desired),
                                  arm.inverse_kinematics(np.zeros(7), 7, desired, IkOptions()))


# ---- against Pinocchio -----------------------------------------------------------------------------
#
# Pinocchio's LOCAL_WORLD_ALIGNED frame quantities are ours: world axes, reference point the
# frame (link) origin. Its six-vectors put the linear block first, ours the angular one, so its
# rows are swapped; its velocity coordinates are depth-first (a continuous joint takes two
# configuration entries), ours breadth-first, so its columns are taken in our DOF order
# (PinocchioMap). Its classical acceleration of a frame at zero joint acceleration is ours J̇·q̇;
# with a free flyer its base velocity is in the root's own axes, linear first, and FreeFlyerMap
# turns that into our world-axes base coordinates.

def _swap(six):
    six = np.asarray(six)
    return np.concatenate([six[3:], six[:3]])


def _pinocchio_case(text, floating):
    pin = pytest.importorskip("pinocchio")
    model = pin.buildModelFromXML(text, pin.JointModelFreeFlyer()) if floating else pin.buildModelFromXML(text)
    links = [element.get("name") for element in ET.fromstring(text).findall("link")]
    return pin, model, model.createData(), PinocchioMap(pin, model, dof_joint_names(text)), links


def _example_robot(relative):
    path = ROBOTS / relative
    if not path.exists():
        pytest.skip("example-robot-data is not installed")
    return path.read_text()


FIXED_CASES = {"random tree 0": lambda: random_tree_text(30), "random tree 1": lambda: random_tree_text(31, links=20),
               "panda": lambda: _example_robot("panda_description/urdf/panda.urdf"),
               "ur5": lambda: _example_robot("ur_description/urdf/ur5_robot.urdf")}


@pytest.mark.parametrize("case", FIXED_CASES)
def test_fixed_base_jacobians_match_pinocchio(write_urdf, case):
    text = FIXED_CASES[case]()
    _compare_fixed_base_with_pinocchio(Robot(write_urdf(text)), text, np.random.default_rng(len(case)))


def test_every_example_robot_matches_pinocchio_at_every_link():
    """Every robot example-robot-data ships that loads (test_dynamics pins the reasons of the
    ones refused)."""
    pytest.importorskip("pinocchio")
    compared = 0
    for path in sorted(ROBOTS.rglob("*.urdf")):
        try:
            robot = Robot(str(path))
        except ModelError:
            continue
        if robot.joint_count > 0:
            _compare_fixed_base_with_pinocchio(robot, path.read_text(), np.random.default_rng(compared))
            compared += 1
    if compared == 0:
        pytest.skip("example-robot-data is not installed")
    assert compared >= 50, compared


def _compare_fixed_base_with_pinocchio(robot, text, rng):
    """Jacobian, J̇·q̇ and twist of every link against Pinocchio's."""
    pin, model, data, jmap, links = _pinocchio_case(text, floating=False)
    n = robot.joint_count
    q, qd = rng.uniform(-2, 2, n), rng.uniform(-2, 2, n)
    q_pin, v_pin = jmap.q(q), jmap.v(qd)
    pin.forwardKinematics(model, data, q_pin, v_pin, np.zeros(model.nv))
    pin.updateFramePlacements(model, data)
    frame = pin.ReferenceFrame.LOCAL_WORLD_ALIGNED
    for name in links:
        target, fid = robot.link_id(name), model.getFrameId(name, pin.BODY)
        jacobian = robot.jacobian(q, target).reshape(n, 6).T
        jdot = robot.jacobian_derivative(q, qd, target).reshape(n, 6).T
        # on data of its own: computeFrameJacobian redoes the placements without velocities
        j_pin = pin.computeFrameJacobian(model, model.createData(), q_pin, fid, frame)
        np.testing.assert_allclose(jacobian, np.vstack([j_pin[3:], j_pin[:3]])[:, jmap.idx_v], rtol=0, atol=1e-10)
        classical = pin.getFrameClassicalAcceleration(model, data, fid, frame).vector
        np.testing.assert_allclose(jdot @ qd, _swap(classical), rtol=0, atol=1e-9)
        twist = robot.forward_velocity_kinematics(q, qd, target)
        np.testing.assert_allclose(np.r_[twist.angular, twist.linear],
                                   _swap(pin.getFrameVelocity(model, data, fid, frame).vector), rtol=0, atol=1e-10)


FLOATING_CASES = {"random tree": lambda: random_tree_text(40),
                  "solo12": lambda: _example_robot("solo_description/robots/solo12.urdf"),
                  "talos": lambda: _example_robot("talos_data/robots/talos_reduced.urdf")}


@pytest.mark.parametrize("case", FLOATING_CASES)
def test_floating_base_jacobians_match_pinocchio_free_flyer(write_urdf, case):
    text = FLOATING_CASES[case]()
    pin, model, data, jmap, links = _pinocchio_case(text, floating=True)
    robot = FloatingRobot(write_urdf(text))
    n = robot.joint_count
    rng = np.random.default_rng(len(case))
    q, qd = rng.uniform(-1, 1, n), rng.uniform(-1, 1, n)
    translation, rotation = rng.uniform(-1, 1, 3), rng.normal(size=4)
    velocity = rng.uniform(-1, 1, 6)
    flyer = FreeFlyerMap(jmap, translation, rotation)
    # Pinocchio at zero acceleration is our base acceleration flyer.acceleration(velocity, 0)
    acceleration = flyer.acceleration(velocity, np.zeros(model.nv))
    base = BaseState(Pose(tuple(translation), tuple(rotation)), Twist(velocity[:3], velocity[3:]),
                     Twist(acceleration[:3], acceleration[3:6]))
    u = np.concatenate([velocity, qd])
    pin.forwardKinematics(model, data, flyer.q(q), flyer.v(velocity, qd), np.zeros(model.nv))
    pin.updateFramePlacements(model, data)
    frame = pin.ReferenceFrame.LOCAL_WORLD_ALIGNED
    for name in links:
        target, fid = robot.link_id(name), model.getFrameId(name, pin.BODY)
        jacobian = robot.jacobian(base, q, target).reshape(n + 6, 6).T
        jdot = robot.jacobian_derivative(base, q, qd, target).reshape(n + 6, 6).T
        j_pin = pin.computeFrameJacobian(model, model.createData(), flyer.q(q), fid, frame)
        np.testing.assert_allclose(jacobian, flyer.jacobian(j_pin), rtol=0, atol=1e-10)
        classical = _swap(pin.getFrameClassicalAcceleration(model, data, fid, frame).vector)
        np.testing.assert_allclose(jdot @ u + jacobian[:, :6] @ acceleration[:6], classical, rtol=0, atol=1e-9)
        link_acceleration = robot.forward_acceleration_kinematics(base, q, qd, np.zeros(n), target)
        np.testing.assert_allclose(np.r_[link_acceleration.angular, link_acceleration.linear], classical,
                                   rtol=0, atol=1e-9)


# ---- inverse kinematics ----------------------------------------------------------------------------

def ik_statistics(robot, targets=1000, seed=7, spread=0.3):
    """Over seeded reachable targets of the 7-DOF arm, from the true solution perturbed by up to
    `spread` per joint and from zero: the share of solves that succeed, the share that converge
    (within the limits or not) and the mean step count of the successes. A solve's iterates do
    not depend on its budget, so its step count is the smallest max_iterations that succeeds."""
    rng = np.random.default_rng(seed)

    def solve(start, desired, budget):
        try:
            robot.inverse_kinematics(start, 7, desired, IkOptions(max_iterations=budget))
            return "solved"
        except SolverError as error:
            return "outside limits" if "outside URDF limits" in str(error) else "failed"

    def steps(start, desired):
        outcome = solve(start, desired, 100)
        if outcome != "solved":
            return outcome
        low, high = 1, 100
        while low < high:
            middle = (low + high) // 2
            low, high = (low, middle) if solve(start, desired, middle) == "solved" else (middle + 1, high)
        return low

    results = {"perturbed": [], "zero": []}
    for _ in range(targets):
        truth = rng.uniform(-2.5, 2.5, 7)
        desired = robot.forward_kinematics(truth, 7)
        results["perturbed"].append(steps(truth + rng.uniform(-spread, spread, 7), desired))
        results["zero"].append(steps(np.zeros(7), desired))
    stats = {}
    for start, found in results.items():
        solved = [s for s in found if isinstance(s, int)]
        stats[start] = {"success": len(solved) / targets,
                        "converged": (len(solved) + found.count("outside limits")) / targets,
                        "mean steps": float(np.mean(solved))}
    return stats


def test_inverse_kinematics_success_over_seeded_targets(arm):
    stats = ik_statistics(arm)
    assert stats["perturbed"]["success"] >= 0.99 and stats["perturbed"]["mean steps"] <= 10
    # from zero the solver may settle on another branch, beyond a joint's limits
    assert stats["zero"]["converged"] >= 0.95 and stats["zero"]["success"] >= 0.7


if __name__ == "__main__":
    # the figures the test above bounds: .venv/bin/python tests/python/test_kinematics.py
    import tempfile

    with tempfile.NamedTemporaryFile("w", suffix=".urdf") as f:
        f.write(seven_dof_arm_text())
        f.flush()
        for start, figures in ik_statistics(Robot(f.name)).items():
            print(f"from {start:9s}: " + ", ".join(f"{key} {value:.3g}" for key, value in figures.items()))
