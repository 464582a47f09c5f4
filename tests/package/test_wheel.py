"""The repaired wheel as a user gets it: installed into a new environment that holds NumPy at the
oldest release the wheel accepts and nothing to build with, it imports, runs the demo and the
command, and computes bit for bit what the in-tree build computes. Needs `make wheel` first."""

import os
import pathlib
import re
import subprocess
import sys
import sysconfig
import tarfile
import zipfile

import numpy as np
import pytest

import vormek

ROOT = pathlib.Path(__file__).resolve().parents[2]
DIST = ROOT / "dist"
ROBOTS = pathlib.Path(sysconfig.get_paths()["purelib"]) / "cmeel.prefix/share/example-robot-data/robots"
PANDA = ROBOTS / "panda_description/urdf/panda.urdf"
UR5 = ROBOTS / "ur_description/urdf/ur5_robot.urdf"

# one Panda mass matrix from the single-state and the batch class, as the bytes of the array
MASS_MATRIX = """
import sys
import numpy as np
import vormek
from vormek.batch import RobotBatch
q = np.array([float.fromhex(v) for v in sys.argv[2:]])
with vormek.Robot(sys.argv[1]) as robot, RobotBatch(sys.argv[1], threads=1) as batch:
    print(robot.mass_matrix(q).tobytes().hex(), batch.mass_matrix(q[None, :]).tobytes().hex())
"""


def _only(pattern):
    found = sorted(DIST.glob(pattern))
    assert len(found) == 1, f"expected one {pattern} in {DIST} (run make wheel), found {found}"
    return found[0]


@pytest.fixture(scope="module")
def wheel():
    return _only("vormek-*-manylinux_*_x86_64.whl")


@pytest.fixture(scope="module")
def fresh(tmp_path_factory, wheel):
    """run(*argv) in a new virtual environment holding only NumPy and the wheel, with nothing
    but that environment's bin/ on PATH, from a folder outside the source tree."""
    home = tmp_path_factory.mktemp("fresh")
    prefix = home / "venv"
    subprocess.run([sys.executable, "-m", "venv", prefix], check=True)
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "VIRTUAL_ENV", "PYTHONHOME")}
    env["PATH"] = str(prefix / "bin")

    def run(*argv):
        done = subprocess.run([str(a) for a in argv], cwd=home, env=env, capture_output=True, text=True)
        assert done.returncode == 0, done.stderr
        return done.stdout

    with zipfile.ZipFile(wheel) as z:
        (metadata,) = [z.read(n).decode() for n in z.namelist() if n.endswith(".dist-info/METADATA")]
    oldest = re.search(r"^Requires-Dist: numpy>=([\d.]+)$", metadata, re.M).group(1)
    pip = (prefix / "bin/python", "-m", "pip", "install", "-q", "--only-binary", ":all:")
    run(*pip, f"numpy=={oldest}.*")
    run(*pip, "--no-index", wheel)
    return run, prefix


def test_wheel_carries_modules_stubs_library_licence_and_command(wheel):
    with zipfile.ZipFile(wheel) as z:
        names = z.namelist()
        entry_points = next(z.read(n).decode() for n in names if n.endswith("dist-info/entry_points.txt"))
    expected = [r"_vormek\.cpython-.*\.so", r"vormek/_batch\.cpython-.*\.so", r"vormek/_vormek\.pyi",
                r"vormek/_batch\.pyi", r"vormek/py\.typed", r"vormek/cli/__init__\.py",
                r"vormek\.libs/libpugixml-.*\.so.*", r"vormek-.*\.dist-info/licenses/LICENSE"]
    for pattern in expected:
        assert any(re.fullmatch(pattern, n) for n in names), f"{pattern} is not in {wheel.name}"
    assert "vormek = vormek.cli:main" in entry_points


def test_sdist_holds_every_tracked_file_and_no_build_output():
    sdist = _only("vormek-*.tar.gz")
    with tarfile.open(sdist) as t:
        names = {n.split("/", 1)[1] for n in t.getnames() if "/" in n}
    tracked = subprocess.run(["git", "ls-files"], cwd=ROOT, capture_output=True, text=True, check=True).stdout.split()
    assert sorted(set(tracked) - names) == []
    assert [n for n in names if n.split("/")[0] in ("build", "dist", ".venv")] == []


def test_fresh_environment_has_numpy_and_no_compiler(fresh):
    run, prefix = fresh
    tools = run(prefix / "bin/python", "-c",
                "import shutil; print(*[t for t in ('cc', 'gcc', 'g++', 'c++', 'cmake', 'ninja') if shutil.which(t)])")
    assert tools.split() == []
    installed = {line.split("==")[0].lower() for line in run(prefix / "bin/python", "-m", "pip", "list",
                                                                "--format=freeze").split()}
    assert installed <= {"numpy", "vormek", "pip", "setuptools"}


def test_imports_demo_and_command_from_the_wheel(fresh):
    run, prefix = fresh
    paths = run(prefix / "bin/python", "-c",
                "import _vormek, vormek, vormek.batch; print(_vormek.__file__, vormek.batch.__file__)").split()
    assert all(pathlib.Path(p).is_relative_to(prefix) for p in paths), paths
    demo = ROOT / "examples/demo.py"
    in_tree = subprocess.run([sys.executable, demo], capture_output=True, text=True, check=True).stdout
    assert run(prefix / "bin/python", demo) == in_tree
    assert run(prefix / "bin/vormek", "check", UR5) == f"{UR5}: OK (11 links, 6 degrees of freedom)\n"


def test_mass_matrix_bit_for_bit_with_the_in_tree_build(fresh):
    run, prefix = fresh
    with vormek.Robot(PANDA) as robot:
        q = np.random.default_rng(30).uniform(-1, 1, robot.joint_count)
        expected = robot.mass_matrix(q).tobytes().hex()
    single, batch = run(prefix / "bin/python", "-c", MASS_MATRIX, PANDA, *(v.hex() for v in q)).split()
    assert single == expected and batch == expected
