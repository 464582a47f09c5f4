"""The batch classes against the single-state ones: the same kernels, so the same bits, row by
row, whatever the thread count, batch size or memory layout; the first failing row named with
the single-state exception; bad outputs refused before anything is written; Ctrl-C obeyed."""

import os
import signal
import threading
import time

import numpy as np
import pytest

import vormek
from vormek.batch import FloatingRobotBatch, RobotBatch

from conftest import joint, link, robot_text
from trees import random_tree_text

CHUNK = 64  # rows per chunk in the batch layer; 131 is a prime above it
TREE = random_tree_text(seed=12, links=9)


def _layout(a, strided):
    """The values of `a` as a C-contiguous array or as a non-contiguous view."""
    if not strided:
        return np.ascontiguousarray(a)
    wide = np.full((a.shape[0], 2 * a.shape[1]), np.nan)
    wide[:, ::2] = a
    return wide[:, ::2] if a.shape[0] % 2 else np.asfortranarray(a)


def _states(B, n, m, rng):
    frames = np.hstack([rng.uniform(-2, 2, (B, 3)), rng.uniform(-1, 1, (B, 4))])
    return dict(frames=frames, velocities=rng.standard_normal((B, 6)), accelerations=rng.standard_normal((B, 6)),
                Q=rng.uniform(-3, 3, (B, n)), QD=rng.standard_normal((B, n)), QDD=rng.standard_normal((B, n)),
                TAU=rng.standard_normal((B, m)))


def _base(s, i, velocity=False, acceleration=False):
    twist = lambda a: vormek.Twist(a[i, :3], a[i, 3:])  # noqa: E731
    return vormek.BaseState(vormek.Pose(s["frames"][i, :3], s["frames"][i, 3:]),
                            twist(s["velocities"]) if velocity else None,
                            twist(s["accelerations"]) if acceleration else None)


# name -> (batch arguments, single-state call of row i); base arrays come first when floating
def _calls(robot, floating, s, target):
    m = robot.generalized_count
    def base(i, *needs):
        return (_base(s, i, *needs),) if floating else ()
    def fk(i):
        pose = robot.forward_kinematics(*base(i), s["Q"][i], target)
        return np.array(pose.translation), np.array(pose.rotation_xyzw)
    return {
        "forward_kinematics": (["frames", "Q"], [target], fk),
        "link_poses": (["frames", "Q"], [], lambda i: robot.link_poses(*base(i), s["Q"][i])),
        "jacobian": (["frames", "Q"], [target],
                     lambda i: robot.jacobian(*base(i), s["Q"][i], target).reshape(m, 6).T),
        "mass_matrix": (["frames", "Q"], [], lambda i: robot.mass_matrix(*base(i), s["Q"][i]).reshape(m, m)),
        "gravity": (["frames", "Q"], [], lambda i: robot.gravity(*base(i), s["Q"][i])),
        "velocity_product_forces": (["frames", "velocities", "Q", "QD"], [],
                                    lambda i: robot.velocity_product_forces(*base(i, True), s["Q"][i], s["QD"][i])),
        "inverse_dynamics": (["frames", "velocities", "accelerations", "Q", "QD", "QDD"], [],
                             lambda i: robot.inverse_dynamics(*base(i, True, True), s["Q"][i], s["QD"][i],
                                                              s["QDD"][i])),
        "forward_dynamics": (["frames", "velocities", "Q", "QD", "TAU"], [],
                             lambda i: robot.forward_dynamics(*base(i, True), s["Q"][i], s["QD"][i], s["TAU"][i])),
        "center_of_mass": (["frames", "Q"], [], lambda i: robot.center_of_mass(*base(i), s["Q"][i])),
        "center_of_mass_velocity": (["frames", "velocities", "Q", "QD"], [], lambda i: robot.center_of_mass_velocity(
            *base(i, True), s["Q"][i], s["QD"][i])),
        "center_of_mass_jacobian": (["frames", "Q"], [], lambda i: robot.center_of_mass_jacobian(
            *base(i), s["Q"][i]).reshape(m, 3).T),
        "momentum": (["frames", "velocities", "Q", "QD"], [],
                     lambda i: _six(robot.momentum(*base(i, True), s["Q"][i], s["QD"][i]))),
        "centroidal_momentum_matrix": (["frames", "Q"], [], lambda i: robot.centroidal_momentum_matrix(
            *base(i), s["Q"][i]).reshape(m, 6).T),
        "kinetic_energy": (["frames", "velocities", "Q", "QD"], [],
                           lambda i: robot.kinetic_energy(*base(i, True), s["Q"][i], s["QD"][i])),
        "potential_energy": (["frames", "Q"], [], lambda i: robot.potential_energy(*base(i), s["Q"][i])),
    }


def _six(twist):
    return np.concatenate([twist.angular, twist.linear])


def _arguments(names, floating, s, strided):
    return [_layout(s[k], strided) for k in names if floating or k not in ("frames", "velocities", "accelerations")]


@pytest.mark.parametrize("floating", [False, True])
@pytest.mark.parametrize("threads", [1, 2, 7])
@pytest.mark.parametrize("B", [0, 1, 131])
@pytest.mark.parametrize("strided", [False, True])
def test_every_row_is_the_single_state_call_bit_for_bit(write_urdf, floating, threads, B, strided):
    path = write_urdf(TREE)
    single, Batch = (vormek.FloatingRobot, FloatingRobotBatch) if floating else (vormek.Robot, RobotBatch)
    with single(path) as robot, Batch(path, threads=threads) as batch:
        assert batch.threads == threads and batch.generalized_count == robot.generalized_count
        s = _states(B, robot.joint_count, robot.generalized_count, np.random.default_rng(B + threads))
        target = batch.link_id("l8")
        for name, (names, extra, row) in _calls(robot, floating, s, target).items():
            got = getattr(batch, name)(*_arguments(names, floating, s, strided), *extra)
            for part, expected in zip(got if isinstance(got, tuple) else (got,),
                                      zip(*[row(i) if isinstance(row(i), tuple) else (row(i),) for i in range(B)])
                                      if B else ()):
                assert np.array_equal(part, np.array(expected)), name
            if B == 0:
                assert all(p.shape[0] == 0 for p in (got if isinstance(got, tuple) else (got,))), name
            # into the caller's arrays: the same values, the same objects back
            out = tuple(np.full_like(p, np.nan) for p in got) if isinstance(got, tuple) else np.full_like(got, np.nan)
            again = getattr(batch, name)(*_arguments(names, floating, s, strided), *extra, out=out)
            assert again is out or all(a is o for a, o in zip(again, out))
            assert all(np.array_equal(a, g) for a, g in zip(again, got)) if isinstance(got, tuple) \
                else np.array_equal(again, got)


MASSLESS = robot_text(link("base", mass=1.0), link("l1"), link("l2"),
                      joint("j1", "revolute", "base", "l1", axis=(0, 0, 1)),
                      joint("j2", "revolute", "l1", "l2", xyz=(1, 0, 0), axis=(0, 0, 1)))


@pytest.mark.parametrize("threads", [1, 3])
def test_the_lowest_failing_row_is_raised_as_the_single_state_call_raises_it(write_urdf, threads):
    tree, massless = write_urdf(TREE), write_urdf(MASSLESS)
    B = 4 * CHUNK + 1
    with vormek.Robot(tree) as r, RobotBatch(tree, threads) as b, vormek.FloatingRobot(tree) as fr, \
            FloatingRobotBatch(tree, threads) as fb, vormek.Robot(massless) as mr, \
            RobotBatch(massless, threads) as mb:
        n = r.joint_count
        s = _states(B, n, n, np.random.default_rng(5))
        bad = s["Q"].copy()
        bad[[200, 70, 250], [1, 3, 0]] = [np.inf, np.nan, np.nan]  # rows 70 and 200 run on different chunks
        frames = s["frames"].copy()
        frames[[9, 130], 3:] = 0.0
        cases = [
            (lambda: b.gravity(bad), lambda: r.gravity(bad[70]), 70),
            (lambda: b.inverse_dynamics(s["Q"], s["QD"], bad), lambda: r.inverse_dynamics(s["Q"][70], s["QD"][70],
                                                                                         bad[70]), 70),
            (lambda: fb.mass_matrix(frames, s["Q"]), lambda: fr.mass_matrix(
                vormek.BaseState(vormek.Pose(frames[9, :3], frames[9, 3:])), s["Q"][9]), 9),
            # no inertia to move at all: every row fails, so row 0 is named
            (lambda: mb.forward_dynamics(np.zeros((B, 2)), np.zeros((B, 2)), np.zeros((B, 2))),
             lambda: mr.forward_dynamics([0, 0], [0, 0], [0, 0]), 0),
        ]
        for batch_call, single_call, row in cases:
            with pytest.raises(vormek.VormekError if row == 0 else ValueError) as single:
                single_call()
            with pytest.raises(type(single.value)) as batch:
                batch_call()
            assert type(batch.value) is type(single.value)
            assert str(batch.value) == f"row {row}: {single.value}"
        # the rows before the failing one hold their results
        out = np.full((B, n), np.nan)
        with pytest.raises(ValueError):
            b.gravity(bad, out=out)
        assert np.array_equal(out[:70], b.gravity(s["Q"][:70]))


def test_bad_arguments_are_refused_before_anything_is_written(write_urdf):
    path = write_urdf(TREE)
    Q = np.random.default_rng(2).standard_normal((4, 5))  # 4 states of the tree's 5 joints
    with RobotBatch(path, threads=2) as b:
        readonly = np.zeros((4, 5))
        readonly.flags.writeable = False
        cases = [
            (lambda o: b.gravity(Q, out=o), np.zeros((4, 6)), ValueError, "out must have shape (4, 5), got (4, 6)"),
            (lambda o: b.gravity(Q, out=o), np.zeros((4, 5), np.float32), TypeError,
             "argument 'out': expected a float64 numpy.ndarray, got array of float32"),
            (lambda o: b.mass_matrix(Q, out=o), np.zeros((4, 5, 5), order="F"), ValueError,
             "out must be a C-contiguous float64 array"),
            (lambda o: b.gravity(Q, out=o[:, ::2]), np.zeros((4, 10)), ValueError,
             "out must be a C-contiguous float64 array"),
            (lambda o: b.gravity(Q, out=o), readonly, ValueError, "The given array is not writeable"),
            (lambda o: b.inverse_dynamics(Q, o, Q, out=o), np.zeros((4, 5)), ValueError,
             "The given array is already borrowed"),
            (lambda o: b.forward_kinematics(Q, 3, out=(np.zeros((4, 3)), o)), np.zeros((4, 3)), ValueError,
             "out[1] must have shape (4, 4), got (4, 3)"),
            (lambda o: b.velocity_product_forces(Q, Q[:3], out=o), np.zeros((4, 5)), ValueError,
             "QD must have shape (4, 5), got (3, 5)"),
            (lambda o: b.gravity(Q[:, :4], out=o), np.zeros((4, 5)), ValueError,
             "Q must have shape (B, 5), got (4, 4)"),
            (lambda o: b.gravity(Q.tolist(), out=o), np.zeros((4, 5)), TypeError,
             "argument 'Q': expected a float64 numpy.ndarray, got list"),
            (lambda o: b.jacobian(Q, 99, out=o), np.zeros((4, 6, 5)), ValueError, "invalid link id 99"),
        ]
        for call, out, error, message in cases:
            before = out.copy()
            with pytest.raises(error) as e:
                call(out)
            assert str(e.value) == message
            assert np.array_equal(out, before)
        b.close()
        with pytest.raises(RuntimeError, match="robot is closed"):
            b.gravity(Q)


def test_an_array_a_batch_writes_is_refused_to_a_single_call_meanwhile(write_urdf):
    """The two extension modules keep one registry of borrowed arrays: while a batch holds `out`,
    a single-state call on another thread cannot read a row of it."""
    path = write_urdf(random_tree_text(seed=3, links=151, chain=True, with_fixed=False))
    Q = np.broadcast_to(np.linspace(0, 1, 150), (5_000, 150))
    out = np.zeros((5_000, 150))
    robot, stop, refused = vormek.Robot(path), threading.Event(), []
    with RobotBatch(path, threads=2) as b:
        def batches():
            while not stop.is_set():
                try:
                    b.forward_dynamics(Q, Q, Q, out=out)
                except ValueError:  # the single call held its row at that moment: start again
                    pass
        worker = threading.Thread(target=batches)
        worker.start()
        try:
            deadline = time.monotonic() + 30
            while not refused and time.monotonic() < deadline:
                try:
                    robot.gravity(out[0])
                except ValueError as e:
                    refused.append(str(e))
        finally:
            stop.set()
            worker.join()
    assert refused == ["The given array is already borrowed"]


def test_ctrl_c_stops_a_long_batch_within_a_chunk(write_urdf):
    path = write_urdf(random_tree_text(seed=3, links=151, chain=True, with_fixed=False))
    B = 200_000  # about ten seconds of forward dynamics on 150 joints; `out` is touched only where written
    Q = np.broadcast_to(np.linspace(0, 1, 150), (B, 150))  # a view without memory, copied chunk by chunk
    # a process started in the background by a shell without job control ignores SIGINT from
    # the start, and Python then installs no handler of its own
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    with RobotBatch(path, threads=2) as b:
        timer = threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT))
        start = time.monotonic()
        timer.start()
        try:
            with pytest.raises(KeyboardInterrupt):
                b.forward_dynamics(Q, Q, Q)
        finally:
            timer.cancel()
            signal.signal(signal.SIGINT, previous)
        assert time.monotonic() - start < 1.5
        assert b.gravity(Q[:3]).shape == (3, 150)  # still usable


def test_a_forked_child_starts_threads_of_its_own(write_urdf):
    Q = np.random.default_rng(4).standard_normal((3 * CHUNK, 5))
    with RobotBatch(write_urdf(TREE), threads=2) as b:
        expected = b.gravity(Q)
        pid = os.fork()
        if pid == 0:  # the child: killed by the alarm if it waits for the parent's helpers
            signal.alarm(20)
            os._exit(0 if np.array_equal(b.gravity(Q), expected) else 1)
        _, status = os.waitpid(pid, 0)
        assert os.waitstatus_to_exitcode(status) == 0
