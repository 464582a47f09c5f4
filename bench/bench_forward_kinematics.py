"""Per-call cost of forward kinematics from Python on a 7-DOF arm, against numpy.add on
7-element arrays as the yardstick, measured in the same run. Also checks that a million calls
leave no memory behind.

    .venv/bin/python bench/bench_forward_kinematics.py
"""

import gc
import os
import statistics
import tempfile
import time
import tracemalloc

import numpy as np

import vormek


def seven_dof_arm() -> str:
    joints, links = [], ['<link name="base"><inertial><mass value="4"/>'
                         '<inertia ixx="0.1" ixy="0" ixz="0" iyy="0.1" iyz="0" izz="0.1"/></inertial></link>']
    axes = ["0 0 1", "0 1 0", "0 0 1", "0 1 0", "0 0 1", "0 1 0", "0 0 1"]
    parent = "base"
    for i, axis in enumerate(axes, start=1):
        links.append(f'<link name="link{i}"><inertial><origin xyz="0 0 0.1"/><mass value="{3 - 0.3 * i}"/>'
                     '<inertia ixx="0.02" ixy="0" ixz="0" iyy="0.02" iyz="0" izz="0.01"/></inertial></link>')
        joints.append(f'<joint name="joint{i}" type="revolute"><parent link="{parent}"/><child link="link{i}"/>'
                      f'<origin xyz="0 0 0.2" rpy="0 0 0.1"/><axis xyz="{axis}"/>'
                      '<limit lower="-2.9" upper="2.9" effort="80" velocity="2"/></joint>')
        parent = f"link{i}"
    return '<robot name="arm7">' + "".join(links) + "".join(joints) + "</robot>"


def median_ns(fn, calls: int, repeats: int) -> float:
    samples = []
    for _ in range(repeats):
        t0 = time.perf_counter_ns()
        for _ in range(calls):
            fn()
        samples.append((time.perf_counter_ns() - t0) / calls)
    return statistics.median(samples)


def main() -> None:
    with tempfile.NamedTemporaryFile("w", suffix=".urdf", delete=False) as f:
        f.write(seven_dof_arm())
        path = f.name
    robot = vormek.Robot(path)
    os.unlink(path)
    q = np.linspace(-1.0, 1.0, 7)
    a, b, c = np.ones(7), np.ones(7), np.empty(7)
    target = robot.link_count - 1
    fk = robot.forward_kinematics
    add = np.add

    calls, repeats = 20000, 25
    # interleave the two so that machine noise hits both alike
    fk_runs, add_runs = [], []
    for _ in range(5):
        fk_runs.append(median_ns(lambda: fk(q, target), calls, repeats))
        add_runs.append(median_ns(lambda: add(a, b, out=c), calls, repeats))
    t_fk, t_add = statistics.median(fk_runs), statistics.median(add_runs)
    t_list = median_ns(lambda: fk([0.1] * 7, target), calls, repeats)
    print(f"forward_kinematics(q, target), 7 DOF, float64 q : {t_fk:8.1f} ns/call")
    print(f"forward_kinematics(list, target)                 : {t_list:8.1f} ns/call")
    print(f"numpy.add(a, b, out=c), 7 elements               : {t_add:8.1f} ns/call")
    print(f"ratio forward_kinematics / numpy.add             : {t_fk / t_add:8.2f}")

    peer_line(path_text=seven_dof_arm(), q=q, calls=calls, repeats=repeats)

    # a million calls (in place, through a copy, and failing) must not leave memory behind:
    # tracemalloc sees Python objects, the resident set size sees native allocations too
    strided = np.linspace(-1.0, 1.0, 14)[::2]
    cases = [("float64 q", lambda: fk(q, target)), ("strided q", lambda: fk(strided, target))]

    def failing():
        try:
            fk(q[:6], target)
        except ValueError:
            pass

    cases.append(("error path", failing))
    for label, call in cases:
        for _ in range(10000):
            call()
        gc.collect()
        tracemalloc.start()
        rss_before = resident_kib()
        traced_before = tracemalloc.get_traced_memory()[0]
        for _ in range(1_000_000):
            call()
        gc.collect()
        traced = tracemalloc.get_traced_memory()[0] - traced_before
        rss = resident_kib() - rss_before
        tracemalloc.stop()
        print(f"1e6 calls, {label:10s}: traced memory {traced:+d} B, resident set {rss:+d} KiB")


def peer_line(path_text: str, q: np.ndarray, calls: int, repeats: int) -> None:
    """The same query through Pinocchio (PyPI `pin`), when it is installed."""
    try:
        import pinocchio as pin
    except ImportError:
        print("pinocchio not installed: no peer figure")
        return
    with tempfile.NamedTemporaryFile("w", suffix=".urdf", delete=False) as f:
        f.write(path_text)
        path = f.name
    model = pin.buildModelFromUrdf(path)
    os.unlink(path)
    data = model.createData()
    tip = model.njoints - 1
    fk = pin.forwardKinematics

    def pose():
        fk(model, data, q)
        return data.oMi[tip]

    print(f"pinocchio forwardKinematics(model, data, q)      : {median_ns(lambda: fk(model, data, q), calls, repeats):8.1f} ns/call")
    print(f"pinocchio forwardKinematics + data.oMi[tip]      : {median_ns(pose, calls, repeats):8.1f} ns/call")


def resident_kib() -> int:
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024


if __name__ == "__main__":
    main()
