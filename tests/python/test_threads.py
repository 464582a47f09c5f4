"""Robots used from several threads: the interpreter lock is let go during computations, one robot
serves many threads with serial results, and closing under load fails calls cleanly."""

import sys
import threading
import time

import numpy as np
import pytest

from conftest import chain_text
from vormek import Pose, Robot

DEPTH = 500


@pytest.fixture
def chain_path(write_urdf):
    return write_urdf(chain_text(DEPTH))


def run_threads(target, count):
    threads = [threading.Thread(target=target, args=(k,)) for k in range(count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()


def test_computations_let_other_threads_run(chain_path):
    robots = [Robot(chain_path), Robot(chain_path)]
    q = np.full(DEPTH, 0.01)
    # the other thread has to wake within one call to take the lock: on a loaded machine that
    # takes longer than a call of a few microseconds, so the calls are many
    wanted, limit = 20, 50_000
    tags, switches = [], [0]
    barrier = threading.Barrier(2)

    def work(k):
        barrier.wait()
        for _ in range(limit):
            if switches[0] >= wanted:
                break
            robots[k].forward_kinematics(q, DEPTH)
            switches[0] += bool(tags) and tags[-1] != k
            tags.append(k)

    # with no switching on a timer, the tags can only interleave when the extension lets the
    # interpreter lock go around each call; without that one thread would finish all its calls
    # before the other made one
    previous = sys.getswitchinterval()
    sys.setswitchinterval(1000)
    try:
        run_threads(work, 2)
    finally:
        sys.setswitchinterval(previous)
    assert sum(a != b for a, b in zip(tags, tags[1:])) >= wanted, tags


def test_one_robot_many_threads_matches_serial(chain_path):
    robot = Robot(chain_path)
    rng = np.random.default_rng(7)
    shared = np.zeros(2 * DEPTH)
    shared[::2] = rng.uniform(-1, 1, DEPTH)
    queries = [(rng.uniform(-1, 1, DEPTH), int(rng.integers(DEPTH + 1))) for _ in range(8)]
    # half the threads read the same strided view at once
    queries[::2] = [(shared[::2], t) for _, t in queries[::2]]
    expected = [robot.forward_kinematics(q, t) for q, t in queries]
    same = robot.forward_kinematics(shared[::2], DEPTH)
    results = [[] for _ in queries]
    barrier = threading.Barrier(len(queries))

    def work(k):
        q, target = queries[k]
        barrier.wait()
        for _ in range(150):
            results[k].append(robot.forward_kinematics(q, target))
            results[k].append(robot.forward_kinematics(shared[::2], DEPTH))

    run_threads(work, len(queries))
    for k, got in enumerate(results):
        assert got[0::2] == [expected[k]] * 150, k
        assert got[1::2] == [same] * 150, k


def test_close_under_load(chain_path):
    robot = Robot(chain_path)
    q = np.full(DEPTH, 0.02)
    expected = robot.forward_kinematics(q, DEPTH)
    workers = 4
    outcomes = [[] for _ in range(workers)]
    barrier = threading.Barrier(workers + 1)

    def work(k):
        barrier.wait()
        failures = 0
        while failures < 20:
            try:
                outcomes[k].append(robot.forward_kinematics(q, DEPTH))
            except Exception as error:  # noqa: BLE001 - every kind of failure is checked below
                outcomes[k].append(error)
                failures += 1

    threads = [threading.Thread(target=work, args=(k,)) for k in range(workers)]
    for t in threads:
        t.start()
    barrier.wait()
    while min(len(o) for o in outcomes) < 50 and all(t.is_alive() for t in threads):
        time.sleep(0.001)
    robot.close()
    for t in threads:
        t.join()
    for got in outcomes:
        first = next(i for i, r in enumerate(got) if not isinstance(r, Pose))
        assert first >= 50
        assert got[:first] == [expected] * first
        assert all(type(e) is RuntimeError and str(e) == "robot is closed" for e in got[first:])


def test_mixed_calls_with_close_racing_match_serial(tmp_path):
    """A short run of the stress run (stress.py, `make stress`): every computation, shared and
    private robots, one robot closed under the threads."""
    from stress import LINKS, Plan, run
    from trees import random_tree_text

    fixed, floating = tmp_path / "fixed.urdf", tmp_path / "floating.urdf"
    fixed.write_text(random_tree_text(11, links=LINKS))
    floating.write_text(random_tree_text(12, links=LINKS))
    _, failures = run(Plan(4, 1500, fixed, floating), 4)
    assert failures == []
