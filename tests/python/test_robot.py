"""Robot: loading, properties, link names, closing, the base frame and forward kinematics."""

import math
import pathlib

import numpy as np
import pytest

from conftest import chain_text, joint, link, robot_text
from vormek import ModelError, Pose, Robot

NAN = float("nan")


def assert_pose(pose, translation, rotation_xyzw, tol=1e-12):
    assert isinstance(pose, Pose)
    np.testing.assert_allclose(pose.translation, translation, rtol=0, atol=tol)
    np.testing.assert_allclose(pose.rotation_xyzw, rotation_xyzw, rtol=0, atol=tol)


def z_quaternion(angle):
    return (0.0, 0.0, math.sin(angle / 2), math.cos(angle / 2))


# ---- loading ----------------------------------------------------------------------------------

@pytest.mark.parametrize("load", [Robot, Robot.from_urdf])
@pytest.mark.parametrize("as_path", [str, pathlib.Path])
def test_loads_from_str_and_path(two_link_path, load, as_path):
    robot = load(as_path(two_link_path))
    assert type(robot) is Robot
    assert robot.name == "test_robot"


@pytest.mark.parametrize("call", [lambda: Robot(5), lambda: Robot.from_urdf(None), lambda: Robot(path=b"x.urdf")])
def test_path_must_be_a_path(call):
    with pytest.raises(TypeError, match="'path'"):
        call()


def test_loader_binding_errors(two_link_path):
    with pytest.raises(TypeError):
        Robot()
    with pytest.raises(TypeError):
        Robot(two_link_path, two_link_path)
    with pytest.raises(TypeError):
        Robot(two_link_path, path=two_link_path)
    with pytest.raises(TypeError):
        Robot.from_urdf(file=two_link_path)
    assert Robot(path=two_link_path).link_count == Robot.from_urdf(path=two_link_path).link_count == 4


def test_file_errors(tmp_path):
    with pytest.raises(ModelError) as info:
        Robot(tmp_path / "missing.urdf")
    assert str(info.value).startswith("failed to parse URDF: ")
    with pytest.raises(ModelError) as info:
        Robot(str(tmp_path) + "/a\0b.urdf")
    assert str(info.value) == "failed to parse URDF: file name contained an unexpected NUL byte"


@pytest.mark.parametrize("elements, message", [
    ((link("base", mass=-1.0),), "invalid robot model: link base mass must be finite and non-negative"),
    ((link("a"), link("a")), "invalid robot model: link names must be unique"),
    ((link("a"), link("b")), "invalid robot model: expected one root link, found 2"),
    ((link("a"), link("b"), joint("j", "fixed", "c", "b")),
     "invalid robot model: joint j references a missing parent link"),
    ((link("a"), link("b"), joint("j", "revolute", "a", "b", axis=(0, 0, 0))), "joint j has an invalid axis"),
    ((link("a"), link("b"), joint("j", "floating", "a", "b")), "joint j uses unsupported type floating"),
])
def test_model_errors(write_urdf, elements, message):
    with pytest.raises(ModelError) as info:
        Robot(write_urdf(robot_text(*elements)))
    assert str(info.value) == message


def test_malformed_xml(write_urdf):
    with pytest.raises(ModelError) as info:
        Robot(write_urdf("<robot><link name='a'></robot>"))
    assert str(info.value).startswith("failed to parse URDF: malformed XML")


# ---- properties and link names ---------------------------------------------------------------

def test_properties_count_links_and_joints(two_link_path):
    robot = Robot(two_link_path)
    assert (robot.joint_count, robot.generalized_count, robot.link_count) == (2, 2, 4)


def test_link_ids_follow_breadth_first_order(write_urdf):
    robot = Robot(write_urdf(robot_text(
        link("base"), link("l1"), link("l2"), link("tool"), link("gr\u00fc\u00dfe"),
        joint("j1", "revolute", "base", "l1", axis=(0, 0, 1)),
        joint("j2", "revolute", "l1", "l2", axis=(0, 0, 1)),
        joint("j3", "revolute", "base", "tool", axis=(0, 0, 1)),
        joint("j4", "fixed", "tool", "gr\u00fc\u00dfe"),
    )))
    assert [robot.link_id(n) for n in ("base", "l1", "tool", "l2", "gr\u00fc\u00dfe")] == [0, 1, 2, 3, 4]
    assert robot.link_id(name="l2") == 3


def test_link_id_errors(two_link_path):
    robot = Robot(two_link_path)
    with pytest.raises(ValueError) as info:
        robot.link_id("nope")
    assert str(info.value) == "link nope does not exist in the model"
    for bad in (5, None, b"base"):
        with pytest.raises(TypeError, match="'name'"):
            robot.link_id(bad)
    with pytest.raises(TypeError):
        robot.link_id()
    with pytest.raises(TypeError):
        robot.link_id("base", "l1")


# ---- closing ----------------------------------------------------------------------------------

def closed_calls(robot):
    return {
        "name": lambda: robot.name,
        "joint_count": lambda: robot.joint_count,
        "generalized_count": lambda: robot.generalized_count,
        "link_count": lambda: robot.link_count,
        "link_id": lambda: robot.link_id("base"),
        "set_base_frame": lambda: robot.set_base_frame(Pose()),
        "forward_kinematics": lambda: robot.forward_kinematics([0.0, 0.0], 0),
        "invalid target": lambda: robot.forward_kinematics([0.0, 0.0], 99),
        "__enter__": lambda: robot.__enter__(),
    }


def test_context_manager_closes(two_link_path):
    with Robot(two_link_path) as robot:
        assert isinstance(robot, Robot)
        assert robot.link_count == 4
    for name, call in closed_calls(robot).items():
        with pytest.raises(RuntimeError) as info:
            call()
        assert str(info.value) == "robot is closed", name
    assert robot.close() is None
    assert robot.__exit__(None, None, None) is None
    with pytest.raises(RuntimeError, match="^robot is closed$"):
        with robot:
            pass


def test_exceptions_pass_through_the_context_manager(two_link_path):
    with pytest.raises(KeyError):
        with Robot(two_link_path) as robot:
            raise KeyError("inside")
    with pytest.raises(RuntimeError):
        robot.link_count


def test_exit_takes_three_arguments(two_link_path):
    robot = Robot(two_link_path)
    with pytest.raises(TypeError):
        robot.__exit__(None, None)
    assert robot.link_count == 4
    robot.__exit__(_exc_type=None, _exc_value=None, _traceback=None)
    with pytest.raises(RuntimeError):
        robot.link_count


# ---- base frame -------------------------------------------------------------------------------

def test_base_frame_is_normalised_and_places_the_root(two_link_path):
    robot = Robot(two_link_path)
    assert robot.forward_kinematics([0, 0], 0) == Pose()
    assert robot.set_base_frame(Pose((1, 2, 3), (0, 0, 0, 2))) is None
    assert robot.forward_kinematics([0.3, 0.4], 0) == Pose((1, 2, 3), (0, 0, 0, 1))
    robot.set_base_frame(frame=Pose((-1, 0.5, 4), (1, 1, 1, 1)))
    assert robot.forward_kinematics([0, 0], 0) == Pose((-1, 0.5, 4), (0.5, 0.5, 0.5, 0.5))
    # the base rotation (a third of a turn about (1,1,1)) also moves every other link:
    # tool at (0,1,0) in the base goes to (0,0,1)
    assert_pose(robot.forward_kinematics([0, 0], 2), (-1, 0.5, 5), (0.5, 0.5, 0.5, 0.5))


@pytest.mark.parametrize("frame, kind, message", [
    (Pose(rotation_xyzw=(0, 0, 0, 0)), ValueError, "pose contains non-finite values or a zero quaternion"),
    (Pose(rotation_xyzw=(0, 0, 0, 1e-13)), ValueError, "pose contains non-finite values or a zero quaternion"),
    (Pose(translation=(NAN, 0, 0)), ValueError, "pose contains non-finite values or a zero quaternion"),
    (Pose(translation=(0, 0, -math.inf)), ValueError, "pose contains non-finite values or a zero quaternion"),
    (Pose(rotation_xyzw=(0, 0, math.inf, 1)), ValueError, "pose contains non-finite values or a zero quaternion"),
    (Pose(rotation_xyzw=(1e200, 1e200, 0, 0)), ValueError, "pose contains non-finite values or a zero quaternion"),
])
def test_rejected_base_frames_keep_the_previous_one(two_link_path, frame, kind, message):
    robot = Robot(two_link_path)
    robot.set_base_frame(Pose((1, 2, 3)))
    with pytest.raises(kind) as info:
        robot.set_base_frame(frame)
    assert str(info.value) == message
    assert robot.forward_kinematics([0, 0], 0) == Pose((1, 2, 3))


def test_base_frame_must_be_a_pose(two_link_path):
    robot = Robot(two_link_path)
    for bad in (None, (0, 0, 0), Pose):
        with pytest.raises(TypeError, match="'frame'"):
            robot.set_base_frame(bad)


def test_base_frames_are_per_robot(two_link_path):
    a, b = Robot(two_link_path), Robot(two_link_path)
    a.set_base_frame(Pose((1, 0, 0)))
    assert b.forward_kinematics([0, 0], 0) == Pose()


# ---- forward kinematics: arguments ------------------------------------------------------------

@pytest.mark.parametrize("q, target, kind, message", [
    ([0.0], 1, ValueError, "expected 2 elements in q, found 1"),
    ([], 0, ValueError, "expected 2 elements in q, found 0"),
    ([0.0, 0.0, 0.0], 0, ValueError, "expected 2 elements in q, found 3"),
    ([0.0, NAN], 1, ValueError, "q contains a non-finite value"),
    ([math.inf, 0.0], 0, ValueError, "q contains a non-finite value"),
    ([0.0, 0.0], 4, ValueError, "invalid link id 4"),
    ([0.0, 0.0], 2**64 - 1, ValueError, "invalid link id 18446744073709551615"),
])
def test_forward_kinematics_value_errors(two_link_path, q, target, kind, message):
    with pytest.raises(kind) as info:
        Robot(two_link_path).forward_kinematics(q, target)
    assert str(info.value) == message


def test_forward_kinematics_argument_errors(two_link_path):
    robot = Robot(two_link_path)
    for target in (-1, 2**64):
        with pytest.raises(OverflowError):
            robot.forward_kinematics([0, 0], target)
    for target in (1.0, "1", None):
        with pytest.raises(TypeError, match="'target'"):
            robot.forward_kinematics([0, 0], target)
    for call in (lambda: robot.forward_kinematics([0, 0]),
                 lambda: robot.forward_kinematics(target=1),
                 lambda: robot.forward_kinematics([0, 0], 1, 1),
                 lambda: robot.forward_kinematics([0, 0], 1, q=[0, 0]),
                 lambda: robot.forward_kinematics([0, 0], 1, base=None)):
        with pytest.raises(TypeError):
            call()
    assert robot.forward_kinematics(target=np.int16(3), q=(0, 0)) == robot.forward_kinematics([0, 0], 3)


# ---- forward kinematics: values ---------------------------------------------------------------

def test_two_revolute_joints_and_a_fixed_one(two_link_path):
    robot = Robot(two_link_path)
    a, b = 0.7, -1.9
    assert_pose(robot.forward_kinematics([a, b], 1), (0, 0, 1), z_quaternion(a))
    assert_pose(robot.forward_kinematics([a, b], 2), (0, 1, 0), (0, 0, 0, 1))
    assert_pose(robot.forward_kinematics([a, b], 3), (math.cos(a), math.sin(a), 1), z_quaternion(a + b))


def test_full_turn_negates_the_quaternion(two_link_path):
    robot = Robot(two_link_path)
    rest = robot.forward_kinematics([0.0, 0.25], 3)
    turned = robot.forward_kinematics([2 * math.pi, 0.25], 3)
    assert_pose(turned, rest.translation, [-v for v in rest.rotation_xyzw], tol=1e-15)
    assert turned.rotation_xyzw[3] < 0


def test_joint_order_is_breadth_first(write_urdf):
    robot = Robot(write_urdf(robot_text(
        link("base"), link("l1"), link("l2"), link("tool"),
        joint("j1", "revolute", "base", "l1", xyz=(0, 0, 1), axis=(0, 0, 1)),
        joint("j2", "prismatic", "l1", "l2", xyz=(1, 0, 0), axis=(0, 0, 1)),
        joint("j3", "prismatic", "base", "tool", axis=(1, 0, 0)),
    )))
    assert robot.joint_count == 3
    # q = (j1, j3, j2)
    q = [math.pi / 2, 5.0, 0.25]
    assert_pose(robot.forward_kinematics(q, 2), (5, 0, 0), (0, 0, 0, 1))
    assert_pose(robot.forward_kinematics(q, 3), (0, 1, 1.25), z_quaternion(math.pi / 2))


def test_origin_rotation_then_joint_motion(write_urdf):
    robot = Robot(write_urdf(robot_text(
        link("base"), link("a"), link("b"), link("c"), link("d"), link("e"),
        # yaw a quarter turn, then rotate about the new x axis
        joint("r", "revolute", "base", "a", xyz=(1, 0, 0), rpy=(0, 0, math.pi / 2), axis=(1, 0, 0)),
        joint("fa", "fixed", "a", "b", xyz=(0, 1, 0)),
        # a quarter roll turns a y-axis slide (given unnormalised) into a z-axis one
        joint("p", "prismatic", "base", "c", xyz=(0, 0, 0.5), rpy=(math.pi / 2, 0, 0), axis=(0, 2, 0)),
        # roll is applied before yaw: x stays x under the roll, then the yaw turns it into y
        joint("f", "fixed", "base", "d", rpy=(math.pi / 2, 0, math.pi / 2)),
        joint("fd", "fixed", "d", "e", xyz=(1, 0, 0)),
    )))
    q = 0.6
    s = math.sqrt(0.5)
    assert_pose(robot.forward_kinematics([q, 0.0], robot.link_id("a")),
                (1, 0, 0), (s * math.sin(q / 2), s * math.sin(q / 2), s * math.cos(q / 2), s * math.cos(q / 2)))
    assert_pose(robot.forward_kinematics([q, 0.0], robot.link_id("b")), (1 - math.cos(q), 0, math.sin(q)),
                robot.forward_kinematics([q, 0.0], robot.link_id("a")).rotation_xyzw)
    assert_pose(robot.forward_kinematics([q, 0.75], robot.link_id("c")), (0, 0, 1.25), (s, 0, 0, s))
    assert_pose(robot.forward_kinematics([q, 0.0], robot.link_id("e")), (0, 1, 0), (0.5, 0.5, 0.5, 0.5))


# ---- forward kinematics against independent implementations ----------------------------------

def rotation_rpy(roll, pitch, yaw):
    cr, sr, cp, sp, cy, sy = (math.cos(roll), math.sin(roll), math.cos(pitch), math.sin(pitch),
                              math.cos(yaw), math.sin(yaw))
    rx = np.array([[1, 0, 0], [0, cr, -sr], [0, sr, cr]])
    ry = np.array([[cp, 0, sp], [0, 1, 0], [-sp, 0, cp]])
    rz = np.array([[cy, -sy, 0], [sy, cy, 0], [0, 0, 1]])
    return rz @ ry @ rx


def rotation_axis_angle(axis, angle):
    k = np.asarray(axis, float) / np.linalg.norm(axis)
    kx = np.array([[0, -k[2], k[1]], [k[2], 0, -k[0]], [-k[1], k[0], 0]])
    return np.eye(3) + math.sin(angle) * kx + (1 - math.cos(angle)) * kx @ kx


def matrix_of(xyzw):
    x, y, z, w = xyzw
    return np.array([[1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)],
                     [2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)],
                     [2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)]])


def random_tree(seed, links=14):
    """The URDF text and its joints as dicts, in the (shuffled) order the file lists them."""
    rng = np.random.default_rng(seed)
    names = ["root"] + [f"link{i}" for i in range(1, links)]
    kinds = ["revolute", "continuous", "prismatic", "fixed"]
    joints = []
    for i in range(1, links):
        axis = rng.normal(size=3)
        joints.append(dict(name=f"joint{i}", kind=kinds[rng.integers(4)], parent=names[rng.integers(i)],
                           child=names[i], xyz=rng.uniform(-1, 1, 3), rpy=rng.uniform(-math.pi, math.pi, 3),
                           axis=axis * rng.uniform(0.2, 3) / np.linalg.norm(axis)))
    rng.shuffle(joints)
    link_order = list(names)
    rng.shuffle(link_order)
    elements = [link(n, mass=1.5 if n == "root" else None) for n in link_order]
    elements += [joint(j["name"], j["kind"], j["parent"], j["child"], j["xyz"], j["rpy"],
                       None if j["kind"] == "fixed" else j["axis"]) for j in joints]
    return robot_text(*elements, name=f"tree{seed}"), joints


def breadth_first(joints):
    """Link order and the DOF index of every movable joint: children in document order."""
    order, dofs = ["root"], {}
    for parent in order:
        for j in joints:
            if j["parent"] == parent:
                order.append(j["child"])
                if j["kind"] != "fixed":
                    dofs[j["name"]] = len(dofs)
    return order, dofs


def reference_poses(joints, dofs, q, base=np.eye(4)):
    """World transform of every link, by name."""
    world = {"root": base}
    pending = list(joints)
    while pending:
        j = next(j for j in pending if j["parent"] in world)
        pending.remove(j)
        local = np.eye(4)
        local[:3, :3] = rotation_rpy(*j["rpy"])
        local[:3, 3] = j["xyz"]
        motion = np.eye(4)
        if j["kind"] in ("revolute", "continuous"):
            motion[:3, :3] = rotation_axis_angle(j["axis"], q[dofs[j["name"]]])
        elif j["kind"] == "prismatic":
            motion[:3, 3] = q[dofs[j["name"]]] * j["axis"] / np.linalg.norm(j["axis"])
        world[j["child"]] = world[j["parent"]] @ local @ motion
    return world


def assert_matches(pose, transform, tol=1e-12):
    """Translation, and the rotation the quaternion stands for (so q and -q both match)."""
    np.testing.assert_allclose(pose.translation, transform[:3, 3], rtol=0, atol=tol)
    assert abs(np.linalg.norm(pose.rotation_xyzw) - 1) < tol
    np.testing.assert_allclose(matrix_of(pose.rotation_xyzw), transform[:3, :3], rtol=0, atol=tol)


@pytest.mark.parametrize("seed", range(4))
def test_random_tree_matches_numpy(write_urdf, seed):
    text, joints = random_tree(seed)
    robot = Robot(write_urdf(text))
    order, dofs = breadth_first(joints)
    assert robot.joint_count == len(dofs) and robot.link_count == len(order)
    assert [robot.link_id(n) for n in order] == list(range(len(order)))
    rng = np.random.default_rng(100 + seed)
    base = Pose(rng.uniform(-2, 2, 3), rng.normal(size=4))
    robot.set_base_frame(base)
    base_transform = np.eye(4)
    base_transform[:3, :3] = matrix_of(np.array(base.rotation_xyzw) / np.linalg.norm(base.rotation_xyzw))
    base_transform[:3, 3] = base.translation
    for _ in range(3):
        q = rng.uniform(-4, 4, len(dofs))
        world = reference_poses(joints, dofs, q, base_transform)
        for index, name in enumerate(order):
            assert_matches(robot.forward_kinematics(q, index), world[name], tol=1e-11)


@pytest.mark.parametrize("seed", range(2))
def test_random_tree_matches_pinocchio(write_urdf, seed):
    pin = pytest.importorskip("pinocchio")
    text, joints = random_tree(10 + seed)
    robot = Robot(write_urdf(text))
    order, dofs = breadth_first(joints)
    model = pin.buildModelFromXML(text)
    data = model.createData()
    rng = np.random.default_rng(seed)
    q = rng.uniform(-4, 4, len(dofs))
    q_pin = np.zeros(model.nq)
    kind = {j["name"]: j["kind"] for j in joints}
    for name, d in dofs.items():
        jm = model.joints[model.getJointId(name)]
        if kind[name] == "continuous":
            q_pin[jm.idx_q:jm.idx_q + 2] = (math.cos(q[d]), math.sin(q[d]))
        else:
            q_pin[jm.idx_q] = q[d]
    pin.framesForwardKinematics(model, data, q_pin)
    for index, name in enumerate(order):
        placement = data.oMf[model.getFrameId(name, pin.BODY)]
        transform = np.eye(4)
        transform[:3, :3], transform[:3, 3] = placement.rotation, placement.translation
        assert_matches(robot.forward_kinematics(q, index), transform, tol=1e-10)


def test_deep_chain_tip(write_urdf):
    # unit steps, each turned a 64th of a turn from the last: a closed regular polygon
    n = 64
    robot = Robot(write_urdf(chain_text(n)))
    tip = robot.forward_kinematics(np.full(n, 2 * math.pi / n), n)
    assert_pose(tip, (0, 0, 0), (0, 0, 0, -1), tol=1e-12)
