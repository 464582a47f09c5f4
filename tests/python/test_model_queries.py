"""Model queries against the URDF's own text on real robots, loading from text, and robots that
pickle: the four classes tell the same story as the file, and a pickled robot computes the same
bits."""

import math
import pathlib
import pickle
import sysconfig
import xml.etree.ElementTree as ET

import numpy as np
import pytest

from conftest import link, robot_text
from trees import dof_joint_names, random_tree_text
from vormek import FloatingRobot, ModelError, Pose, Robot
from vormek.batch import FloatingRobotBatch, RobotBatch

ROBOTS = pathlib.Path(sysconfig.get_paths()["purelib"]) / "cmeel.prefix/share/example-robot-data/robots"
CORPUS = [ROBOTS / p for p in ("panda_description/urdf/panda.urdf", "talos_data/robots/talos_full_v2.urdf",
                               "solo_description/robots/solo12.urdf", "ur_description/urdf/ur5_robot.urdf")]


def _expected(text):
    """What the file says: joint -> (parent, child, kind, lower, upper), link masses, the q order."""
    root = ET.fromstring(text)
    joints = {}
    for j in root.findall("joint"):
        limit = j.find("limit")
        bound = (lambda k: float(limit.get(k, 0)) if limit is not None else 0.0)
        kind = j.get("type")
        joints[j.get("name")] = (j.find("parent").get("link"), j.find("child").get("link"), kind,
                                 -math.inf if kind == "continuous" else bound("lower"),
                                 math.inf if kind == "continuous" else bound("upper"))
    masses = [float(e.find("inertial/mass").get("value")) if e.find("inertial/mass") is not None else 0.0
              for e in root.findall("link")]
    return root.get("name"), joints, masses, dof_joint_names(text)


@pytest.mark.parametrize("path", CORPUS + [random_tree_text(3, links=20)], ids=lambda p: getattr(p, "stem", "random"))
def test_queries_tell_what_the_file_says(path):
    text = path.read_text() if isinstance(path, pathlib.Path) else path
    name, joints, masses, q_order = _expected(text)
    parent_of = {child: parent for parent, child, *_ in joints.values()}
    solo = "solo" in name
    objects = [Robot.from_urdf_text(text), RobotBatch.from_urdf_text(text, threads=1)]
    if solo or name.startswith("random"):
        objects += [FloatingRobot.from_urdf_text(text), FloatingRobotBatch.from_urdf_text(text, threads=1)]
    for robot in objects:
        with robot:
            assert robot.name == name
            links = robot.link_names
            assert [links[p] if p >= 0 else None for p in robot.link_parents] == [parent_of.get(n) for n in links]
            assert robot.joint_names == tuple(q_order)
            assert [robot.joint_index(j) for j in q_order] == list(range(len(q_order)))
            # the limits exactly as written, never rounded
            assert robot.lower_limits.tolist() == [joints[j][3] for j in q_order]
            assert robot.upper_limits.tolist() == [joints[j][4] for j in q_order]
            assert not robot.lower_limits.flags.writeable and robot.lower_limits is robot.lower_limits
            assert robot.total_mass == pytest.approx(sum(masses), rel=1e-14)
            fixed = next((j for j, v in joints.items() if v[2] == "fixed"), None)
            if fixed is not None:
                with pytest.raises(ValueError, match=f"^joint {fixed} is fixed and has no coordinate$"):
                    robot.joint_index(fixed)
            with pytest.raises(ValueError, match="^unknown joint nope$"):
                robot.joint_index("nope")
            assert repr(robot).startswith(f"<vormek.{'batch.' * ('Batch' in type(robot).__name__)}"
                                          f"{type(robot).__name__} '{name}': {len(links)} links, "
                                          f"{len(q_order)} joint coordinates")
        assert repr(robot).endswith("(closed)>")
        with pytest.raises(RuntimeError, match="robot is closed"):
            robot.joint_names


def test_loading_from_text_checks_and_refuses_as_a_file_does(write_urdf):
    massless = robot_text(link("world"), link("base", mass=2),
                          '<joint name="j" type="fixed"><parent link="world"/><child link="base"/></joint>')
    def outcome(load):
        try:
            load().close()
            return "loads"
        except ModelError as error:
            return str(error)

    for text in (robot_text(), "<robot><link name='a'/>", robot_text(link("a", mass=-1)), massless):
        for cls in (Robot, FloatingRobot):
            assert outcome(lambda: cls.from_urdf_text(text)) == outcome(lambda: cls(write_urdf(text)))
    assert outcome(lambda: FloatingRobot.from_urdf_text(massless)) == (
        "invalid robot model: floating-base root link world must have positive mass")
    # the opt-in: the root body (the root link with what is fixed to it) has the mass
    for loaded in (FloatingRobot.from_urdf_text(massless, massless_root=True),
                   FloatingRobotBatch(write_urdf(massless), massless_root=True)):
        assert loaded.total_mass == 2.0
    with pytest.raises(TypeError):
        FloatingRobot.from_urdf_text(massless, True)  # keyword-only


def test_robots_pickle_with_their_text_base_frame_and_gravity():
    text = random_tree_text(5, links=9)
    q = np.linspace(-1, 1, Robot.from_urdf_text(text).joint_count)
    robot = Robot.from_urdf_text(text)
    robot.set_base_frame(Pose((0.1, -0.2, 0.3), (0.3, -0.1, 0.2, 0.9)))
    robot.set_gravity((0.5, -1.0, -9.0))
    floating = FloatingRobot.from_urdf_text(text)
    floating.set_gravity((0.0, 3.0, -4.0))
    for original in (robot, floating):
        copy = pickle.loads(pickle.dumps(original))
        assert type(copy) is type(original) and copy.gravity_vector == original.gravity_vector
        if original is robot:
            assert robot.inverse_dynamics(q, q, q).tobytes() == copy.inverse_dynamics(q, q, q).tobytes()
            assert robot.forward_kinematics(q, 8) == copy.forward_kinematics(q, 8)
    robot.close()
    with pytest.raises(RuntimeError, match="robot is closed"):
        pickle.dumps(robot)
