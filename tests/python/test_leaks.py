"""Repeated calls leave no references or memory behind, on success and on error paths."""

import gc
import sys
import tracemalloc

import numpy as np
import pytest

from conftest import chain_text
from vormek import BaseState, FloatingRobot, IkOptions, Load, ModelError, Pose, Robot, Twist


def growth(work, repeats, *watched):
    """Bytes still held after `repeats` more runs, and the change in each watched refcount."""
    work()  # the first run may fill caches
    gc.collect()
    refs = [sys.getrefcount(w) for w in watched]
    tracemalloc.start()
    try:
        before = tracemalloc.get_traced_memory()[0]
        for _ in range(repeats):
            work()
        gc.collect()
        after = tracemalloc.get_traced_memory()[0]
    finally:
        tracemalloc.stop()
    later = [sys.getrefcount(w) for w in watched]
    return after - before, [b - a for a, b in zip(refs, later)]


def test_forward_kinematics(two_link_path):
    robot = Robot(two_link_path)
    q_list = [0.1, 0.2]
    q_array = np.array([0.1, 0.2])
    q_view = np.arange(4.0)[::2]
    bad = [0.1, float("nan")]
    target = 3

    def work():
        for _ in range(100):
            robot.forward_kinematics(q_list, target)
            robot.forward_kinematics(q_array, target)
            robot.forward_kinematics(q_view, target)
            with pytest.raises(ValueError):
                robot.forward_kinematics(bad, target)
            with pytest.raises(TypeError):
                robot.forward_kinematics(q_array, 1.5)

    held, refs = growth(work, 250, robot, q_list, q_array, q_view, bad, Pose)
    assert held < 64 * 1024
    assert refs == [0] * 6


def test_floating_forward_kinematics(floating_path):
    robot = FloatingRobot(floating_path)
    base = BaseState(Pose((1, 2, 3)), Twist((1, 0, 0)))
    bad_base = BaseState(velocity=Twist((float("nan"), 0, 0)))
    q = np.array([0.3])

    def work():
        for _ in range(100):
            robot.forward_kinematics(base, q, 1)
            with pytest.raises(ValueError):
                robot.forward_kinematics(bad_base, q, 1)
            with pytest.raises(ValueError):
                robot.forward_kinematics(base, [0.0, 0.0], 1)

    held, refs = growth(work, 100, robot, base, bad_base, q, Pose)
    assert held < 64 * 1024
    assert refs == [0] * 5


def test_values_and_robots(write_urdf, two_link_path):
    broken = write_urdf(chain_text(3).replace("l3", "l2"))
    translation = (1.0, 2.0, 3.0)
    state = BaseState(Pose(translation))

    def work():
        for _ in range(20):
            Pose(translation, (0, 0, 0, 1)).rotation_xyzw
            state.frame.translation
            Load(3, force=translation).force
            IkOptions(5, damping=0.1)
            with pytest.raises(TypeError):
                IkOptions(damping="x")
            with pytest.raises(ValueError):
                Pose(translation[:2])
        with Robot(two_link_path) as robot:
            robot.link_id("l2")
            with pytest.raises(ValueError):
                robot.link_id("nope")
        with pytest.raises(ModelError):
            Robot(broken)

    held, refs = growth(work, 200, translation, state, Pose, Robot, BaseState)
    assert held < 64 * 1024
    assert refs == [0] * 5


def resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * 4096


def under_address_sanitizer():
    with open("/proc/self/maps") as f:
        return "libasan" in f.read()


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc")
@pytest.mark.skipif(sys.platform.startswith("linux") and under_address_sanitizer(),
                    reason="AddressSanitizer holds freed memory in quarantine; its leak checker covers the core")
def test_dropped_robots_free_their_models(write_urdf):
    # native memory is invisible to tracemalloc: a model that outlived its robot would show in
    # the resident size, at a few hundred kilobytes for each of these
    path = write_urdf(chain_text(300, root_mass=1.0))
    q = np.zeros(300)

    def load_and_drop(count):
        for k in range(count):
            robot = (Robot if k % 2 else FloatingRobot)(path)
            if k % 3 == 0:
                robot.close()
            else:
                robot.forward_kinematics(*((q,) if type(robot) is Robot else (BaseState(), q)), 300)

    load_and_drop(20)
    gc.collect()
    before = resident_bytes()
    load_and_drop(150)
    gc.collect()
    assert resident_bytes() - before < 8 * 2**20


def test_every_entry_point(tmp_path):
    """A short run of the leak run (leaks.py, `make leaks`) over every public entry point."""
    import leaks

    for name, function, watched in leaks.entry_points(tmp_path):
        traced, _, refs, result_refs = leaks.growth(function, watched, 300)
        assert traced < 64 * 1024 and not any(refs) and result_refs == 2, (name, traced, refs, result_refs)
