"""The `vormek` command: info, check and draw on a corpus robot and on broken files."""

import pathlib
import re
import subprocess
import sys
import sysconfig

import numpy as np
import pytest

from conftest import joint, link, robot_text
from trees import dof_joint_names
from vormek import ModelError, Robot
from vormek.cli import main

ROBOTS = pathlib.Path(sysconfig.get_paths()["purelib"]) / "cmeel.prefix/share/example-robot-data/robots"
PANDA = ROBOTS / "panda_description/urdf/panda.urdf"
SOLO12 = ROBOTS / "solo_description/robots/solo12.urdf"
UR5 = ROBOTS / "ur_description/urdf/ur5_robot.urdf"
MOVING = ("revolute", "continuous", "prismatic")


def run(capsys, *argv):
    status = main([str(a) for a in argv])
    out, err = capsys.readouterr()
    return status, out, err


def _rows(out):
    """(link index, link name, joint name, q[, gen]) of the moving rows of the info table."""
    rows = []
    for line in out.splitlines():
        cells = line.split()
        if len(cells) > 5 and cells[5] in MOVING:
            indices = [int(c) for c in cells[-2:] if c.isdigit()]
            rows.append((int(cells[0]), cells[1], cells[4], *indices))
    return rows


def test_info_shows_the_tree_in_the_order_q_is_taken(capsys):
    status, out, _ = run(capsys, "info", PANDA)
    assert status == 0
    assert out.startswith("panda: 13 links, 12 joints, 9 degrees of freedom, total mass 17.4519 kg\n")
    rows = _rows(out)
    with Robot(PANDA) as robot:
        assert all(robot.link_id(name) == index for index, name, *_ in rows)
    # the q column against an independent breadth-first walk of the file
    assert [name for _, _, name, q in sorted(rows, key=lambda r: r[3])] == dof_joint_names(PANDA.read_text())
    assert "  panda_finger_joint2   prismatic  (0, -1, 0)  [0, 0.04]" in out

    status, out, _ = run(capsys, "info", "--floating", SOLO12)
    assert status == 0 and "forces and results hold 18 values" in out
    rows = _rows(out)
    assert [q for *_, q, _ in rows] == list(range(12))
    assert [gen for *_, gen in rows] == list(range(6, 18))


def test_info_says_why_a_robot_does_not_load(capsys, write_urdf):
    status, _, err = run(capsys, "info", "--floating", UR5)
    assert status == 1
    assert "floating-base root link world must have positive mass" in err
    status, _, err = run(capsys, "info", write_urdf(robot_text()))
    assert status == 1 and "expected one root link, found 0" in err and "vormek check" in err


INDEFINITE = ('<link name="base"><inertial><mass value="1"/>'
              '<inertia ixx="1" ixy="2" ixz="0" iyy="1" iyz="0" izz="1"/></inertial></link>')


# broken file, the library's message, lines the explanation must hold
BROKEN = {
    "indefinite inertia": (
        robot_text(INDEFINITE),
        "invalid robot model: link base inertia must be positive semi-definite",
        ["has eigenvalues -1, 1, 3", "|ixy| = 2 exceeds sqrt(ixx*iyy) = 1"]),
    "negative moment": (
        robot_text('<link name="base"><inertial><mass value="1"/>'
                   '<inertia ixx="-1e-3" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial></link>'),
        "invalid robot model: link base inertia must be positive semi-definite",
        ["ixx = -0.001 is negative"]),
    "negative mass": (
        robot_text(link("base", mass=-2)),
        "invalid robot model: link base mass must be finite and non-negative",
        ["link base has mass -2"]),
    "two roots": (
        robot_text(link("a"), link("b"), link("c"), joint("j", "fixed", "a", "b")),
        "invalid robot model: expected one root link, found 2",
        ["could be the root): a (1 links below), c (0 links below)"]),
    "every link a child": (
        robot_text(link("a"), link("b"), joint("ab", "fixed", "a", "b"), joint("ba", "fixed", "b", "a")),
        "invalid robot model: expected one root link, found 0",
        ["close a cycle: a -ab-> b -ba-> a"]),
    "cycle beside the root": (
        robot_text(link("r"), link("a"), link("b"), link("c"), joint("ra", "fixed", "r", "a"),
                   joint("bc", "fixed", "b", "c"), joint("cb", "fixed", "c", "b")),
        "invalid robot model: joint graph is disconnected or cyclic",
        ["not reached from the root r: b, c", "cycle of joints: b -bc-> c -cb-> b"]),
    "link reached twice": (
        robot_text(link("r"), link("a"), joint("j1", "fixed", "r", "a"), joint("j2", "fixed", "r", "a")),
        "invalid robot model: link a is reached more than once",
        ["link a is the child of joints j1, j2"]),
    "misspelt parent": (
        robot_text(link("base_link"), link("arm"), joint("j", "fixed", "base_lnk", "arm")),
        "invalid robot model: joint j references a missing parent link",
        ["names parent link 'base_lnk', which no <link> defines; did you mean base_link?"]),
    "duplicate link": (
        robot_text(link("a"), link("a")),
        "invalid robot model: link names must be unique",
        ["link names used more than once: a"]),
    "floating joint": (
        robot_text(link("world"), link("body"), joint("free", "floating", "world", "body")),
        "joint free uses unsupported type floating",
        ["load the robot as FloatingRobot"]),
    "zero axis": (
        robot_text(link("a"), link("b"), joint("j", "revolute", "a", "b", axis=(0, 0, 0))),
        "joint j has an invalid axis",
        ["joint j has axis 0 0 0"]),
}


@pytest.mark.parametrize("case", BROKEN)
def test_check_explains_each_common_defect(capsys, write_urdf, case):
    text, message, explanation = BROKEN[case]
    path = write_urdf(text)
    status, out, _ = run(capsys, "check", PANDA, path)
    assert status == 1
    lines = out.splitlines()
    assert lines[0] == f"{PANDA}: OK (13 links, 9 degrees of freedom)"
    assert lines[1] == f"{path}: ModelError: {message}"
    assert lines[-1] == "1 of 2 files load"
    for expected in explanation:
        assert expected in out


def test_check_proposes_an_inertia_that_loads(capsys, write_urdf):
    for inertia in ('ixx="1" ixy="2" ixz="0" iyy="1" iyz="0" izz="1"',
                    'ixx="0.0564204" ixy="7.26322e-05" ixz="-0.0575115" iyy="0.0521042" iyz="-3.39086e-05" izz="0.021185"',
                    'ixx="-5.42101e-20" ixy="0" ixz="0" iyy="-5.42101e-20" iyz="0" izz="0"'):
        text = robot_text(f'<link name="base"><inertial><mass value="1"/><inertia {inertia}/></inertial></link>')
        status, out, _ = run(capsys, "check", write_urdf(text))
        assert status == 1
        (mended,) = re.findall(r"<inertia [^>]*/>", out)
        status, out, _ = run(capsys, "check", write_urdf(re.sub(r"<inertia [^>]*/>", mended, text)))
        assert status == 0, out


def test_draw_writes_a_picture(capsys, tmp_path):
    plt = pytest.importorskip("matplotlib.pyplot")
    png = tmp_path / "ur5.png"
    status, out, _ = run(capsys, "draw", UR5, "--q", 0, -1, 1.5, 0, 0.5, 0, "-o", png, "--labels")
    assert status == 0 and out == f"wrote {png}\n"
    image = plt.imread(png)
    assert image.shape[0] > 400 and image.shape[1] > 400
    # something besides the white page: the skeleton's dark grey and the triads' colours
    assert np.any(image[..., :3].std(axis=2) > 0.3)

    status, _, err = run(capsys, "draw", UR5, "--q", 0, 1, "-o", png)
    assert status == 1 and "expected 6 elements in q, found 2" in err


def test_draw_without_matplotlib_says_how_to_install_it(capsys, monkeypatch, tmp_path):
    monkeypatch.setitem(sys.modules, "matplotlib", None)
    status, _, err = run(capsys, "draw", UR5, "-o", tmp_path / "x.png")
    assert status == 2
    assert "pip install 'vormek[plot]'" in err
    assert not (tmp_path / "x.png").exists()


COMPUTATIONS = ["forward_kinematics", "link_poses", "jacobian", "jacobian_derivative", "forward_velocity_kinematics",
                "forward_acceleration_kinematics", "inverse_dynamics", "gravity", "velocity_product_forces",
                "mass_matrix", "forward_dynamics"]


def test_bench_times_every_computation(capsys, monkeypatch, write_urdf):
    pytest.importorskip("pinocchio")
    pytest.importorskip("mujoco")
    status, out, err = run(capsys, "bench", UR5, "--budget", 0.005)
    assert status == 0
    lines = out.splitlines()
    assert lines[0].startswith("ur5: fixed base, 6 degrees of freedom, link-wise computations on tool0 (link 10)")
    rows = {line.split()[0]: line.split() for line in lines[2:]}
    assert list(rows) == COMPUTATIONS + ["inverse_kinematics", "solve_ik"]
    for name in ("jacobian", "inverse_dynamics", "mass_matrix", "forward_dynamics"):
        ours, _, pinocchio, _, ratio, mujoco, _, mujoco_ratio = rows[name][1:9]
        assert min(float(ours), float(pinocchio), float(ratio), float(mujoco), float(mujoco_ratio)) > 0
    assert lines[1].split()[2:6] == ["pinocchio", "ratio", "mujoco", "ratio"]
    assert "[####################] 13/13 solve_ik" in err

    # without MuJoCo the bench says so and times the rest
    monkeypatch.setitem(sys.modules, "mujoco", None)
    status, out, _ = run(capsys, "bench", "--floating", "--no-pinocchio", SOLO12, "--budget", 0.005)
    assert status == 0 and "solo: floating base, 12 degrees of freedom" in out
    lines = out.splitlines()
    assert lines[1] == "(mujoco is not installed: pip install mujoco to time it beside)"
    assert [line.split()[0] for line in lines[3:]] == COMPUTATIONS
    assert "pinocchio" not in out

    status, _, err = run(capsys, "bench", write_urdf(robot_text()))
    assert status == 1 and "expected one root link, found 0" in err


def test_installed_command_and_module(write_urdf):
    script = pathlib.Path(sys.executable).parent / "vormek"
    done = subprocess.run([script, "check", UR5], capture_output=True, text=True)
    assert done.returncode == 0 and done.stdout == f"{UR5}: OK (11 links, 6 degrees of freedom)\n"
    broken = write_urdf(robot_text())
    done = subprocess.run([sys.executable, "-m", "vormek", "check", broken], capture_output=True, text=True)
    assert done.returncode == 1 and "expected one root link, found 0" in done.stdout


# ---- what the library loaded, read once ----------------------------------------------------------

# files the library loads and Python's XML parser refuses (tip link name, its content): the tools
# must not read them a second time
UNUSUAL = {
    "repeated attribute in a visual": ("tip", '<visual a="1" a="2"/>'),
    "undefined entity in a visual": ("tip", "<visual>&nothing;</visual>"),
    "character reference in a name": ("odd&#1;name", ""),
}


@pytest.mark.parametrize("case", UNUSUAL)
def test_info_draw_and_bench_describe_what_the_library_loaded(capsys, write_urdf, tmp_path, case):
    tip, content = UNUSUAL[case]
    text = robot_text(link("base", mass=1), f'<link name="{tip}">{content}</link>',
                      joint("j", "revolute", "base", tip, axis=(0, 0, 2))) + " trailing text"
    path = write_urdf(text)
    status, out, _ = run(capsys, "info", path)
    assert status == 0 and re.search(r"\n +1 +\S+ +0 +0 +j +revolute +\(0, 0, 1\) +\[-10, 10\] +0\n", out), out
    status, out, _ = run(capsys, "bench", path, "--budget", 0.001, "--no-pinocchio")
    assert status == 0 and "inverse_kinematics" in out
    if pytest.importorskip("matplotlib"):
        status, out, _ = run(capsys, "draw", path, "-o", tmp_path / "x.png")
        assert status == 0
    # a pipe reads once: the library's reading is the only one
    done = subprocess.run([sys.executable, "-m", "vormek", "info", "/dev/stdin"], input=text,
                          capture_output=True, text=True)
    assert done.returncode == 0 and done.stdout.startswith("test_robot: 2 links, 1 joints"), done.stderr


def test_the_command_line_reports_without_tracebacks(capsys, write_urdf, tmp_path):
    pytest.importorskip("matplotlib")
    for output in (tmp_path / "missing" / "x.png", tmp_path / "x.xyz"):
        status, out, err = run(capsys, "draw", UR5, "-o", output)
        assert status == 1 and err.startswith(f"vormek: -o {output}: ") and err.count("\n") == 1
    # a NaN limit loads, and shows as such
    nan_limit = robot_text(link("a"), link("b"), '<joint name="j" type="revolute"><parent link="a"/>'
                           '<child link="b"/><limit lower="nan" upper="1" velocity="1"/></joint>')
    status, out, _ = run(capsys, "info", write_urdf(nan_limit))
    assert status == 0 and "[nan, 1]" in out
    # Pinocchio refuses a robot without a name: vormek is timed alone
    nameless = nan_limit.replace(' name="test_robot"', "").replace("nan", "-1")
    if pytest.importorskip("pinocchio"):
        status, out, _ = run(capsys, "bench", write_urdf(nameless), "--budget", 0.001)
        assert status == 0 and "(pinocchio refused the file, so it is not timed" in out


def test_check_warns_and_advises_on_floating_bases(capsys, write_urdf):
    swapped = robot_text(link("a"), link("b"), '<joint name="j" type="prismatic"><parent link="a"/>'
                         '<child link="b"/><limit lower="1" upper="-1" velocity="1"/></joint>')
    status, out, _ = run(capsys, "check", write_urdf(swapped))
    assert status == 0 and "warning: joint j has lower limit 1 above its upper limit -1" in out
    mid_tree = robot_text(link("world"), link("base", 1), link("object", 1), link("handle"),
                          joint("fix", "fixed", "world", "base"), joint("free", "floating", "base", "object"),
                          joint("grip", "fixed", "object", "handle"))
    status, out, _ = run(capsys, "check", write_urdf(mid_tree))
    assert status == 1 and "makes object (and the 1 links below it) a second free body" in out
    assert "link above it" not in out
    massless = robot_text(link("world"), link("base", 1), joint("fix", "fixed", "world", "base"))
    status, out, _ = run(capsys, "check", "--floating", write_urdf(massless))
    assert status == 1 and "FloatingRobot.from_urdf_text(text, massless_root=True)" in out


def test_mujoco_in_the_bench_computes_what_vormek_computes():
    """Before MuJoCo is timed its results must equal ours (forward kinematics, Jacobian, inverse and
    forward dynamics, mass matrix, gravity): on the corpus, fixed and floating, it either agrees or
    refuses the file itself; a model that differs from ours, here by one link's mass, is caught."""
    pytest.importorskip("mujoco")
    from test_corpus import LOADING
    from vormek.cli import mujoco_peer, timing

    agreed, refusals = 0, set()
    for path in LOADING:
        for floating in (False, True):
            try:
                bench = timing.prepare(path, floating=floating, pinocchio=False)
            except ModelError:  # a root without mass does not float
                continue
            with bench.robot:
                agreed += bench.mujoco is not None
                refusals.add(bench.mujoco_refused or "")
    assert agreed >= 70
    assert refusals <= {"", "inertia must satisfy A + B >= C; use 'balanceinertia' to fix",
                        "error 'inertia must have positive eigenvalues' in fullinertia",
                        "mass and inertia of moving bodies must be larger than mjMINVAL"}, refusals

    with Robot(PANDA) as robot:
        n, m = robot.joint_count, robot.generalized_count
        text = robot._urdf_text().replace('<mass value="0.646926"', '<mass value="0.65"', 1)
        with pytest.raises(mujoco_peer.Refused, match="MuJoCo's model differs from vormek's: its inverse_dynamics"):
            mujoco_peer.calls(robot, text, 9, None, np.full(n, 0.3), np.ones(n), np.ones(n), np.ones(m))


def test_the_bench_solve_succeeds_on_every_corpus_robot():
    from test_corpus import LOADING
    from vormek.cli import timing

    for path in LOADING:
        bench = timing.prepare(path, pinocchio=False)
        with bench.robot:
            (solve,) = [case.ours for case in bench.cases if case.name == "inverse_kinematics"]
            solve()
