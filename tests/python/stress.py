"""Threads under load: many threads make mixed calls on shared and on private robots while one
shared robot is closed under them. Every answer must equal, bit for bit, the answer the same call
gets in a serial run; a call on the robot being closed may instead fail with "robot is closed",
and once it has, no later call on that robot succeeds. Every thread must finish within a bound.

    python stress.py [--threads 8] [--calls 100000] [--throughput 1,2,4,8]

The pytest suite runs a short version (test_threads.py).
"""

import argparse
import struct
import sys
import threading
import time

import numpy as np

from trees import random_tree_text
from vormek import BaseState, FloatingRobot, IkOptions, Load, Pose, Robot, Twist

LINKS = 16
DISTINCT_CALLS = 48  # per thread and robot kind; the long run cycles through them in random order
JOIN_BOUND = 600.0  # seconds


def fingerprint(outcome):
    """The exact bits of a result, or the type and text of an exception."""
    if isinstance(outcome, BaseException):
        return ("raised", type(outcome).__name__, str(outcome))
    if isinstance(outcome, np.ndarray):
        return ("array", outcome.dtype.str, outcome.shape, outcome.tobytes())
    if isinstance(outcome, Pose):
        return ("pose", struct.pack("7d", *outcome.translation, *outcome.rotation_xyzw))
    if isinstance(outcome, Twist):
        return ("twist", struct.pack("6d", *outcome.angular, *outcome.linear))
    if isinstance(outcome, tuple):
        return ("tuple", tuple(fingerprint(x) for x in outcome))
    return ("value", outcome)


def outcome_of(call, robot):
    try:
        return fingerprint(call(robot))
    except Exception as error:  # noqa: BLE001 - the exception is the outcome being compared
        return fingerprint(error)


CLOSED = ("raised", "RuntimeError", "robot is closed")


def make_calls(rng, robot, floating):
    """Callables robot -> result: every computation the class has, mostly valid arguments,
    some argument errors; each with its own input arrays."""
    n, links = robot.joint_count, robot.link_count
    m = robot.generalized_count

    def vec(size=n, scale=1.0):
        return rng.uniform(-scale, scale, size)

    def base():
        return BaseState(Pose(tuple(vec(3)), tuple(vec(4) + 0.1)), Twist(tuple(vec(3)), tuple(vec(3))),
                         Twist(tuple(vec(3)), tuple(vec(3))))

    def loads():
        return [Load(int(rng.integers(links)), tuple(vec(3)), tuple(vec(3))) for _ in range(int(rng.integers(3)))]

    def b():
        return (base(),) if floating else ()

    def target():
        # one target in ten is out of range: the error path runs under load too
        return int(rng.integers(links + links // 10 + 1))

    makers = [
        lambda: (lambda a: lambda r: r.forward_kinematics(*a))((*b(), vec(), target())),
        lambda: (lambda a: lambda r: r.jacobian(*a))((*b(), vec(), target())),
        lambda: (lambda a: lambda r: r.jacobian_derivative(*a))((*b(), vec(), vec(), target())),
        lambda: (lambda a: lambda r: r.forward_velocity_kinematics(*a))(
            (*b(), vec(), vec(), target(), Pose(tuple(vec(3))))),
        lambda: (lambda a: lambda r: r.forward_acceleration_kinematics(*a))((*b(), vec(), vec(), vec(), target())),
        lambda: (lambda a: lambda r: r.gravity(*a))((*b(), vec(), loads())),
        lambda: (lambda a: lambda r: r.inverse_dynamics(*a))((*b(), vec(), vec(), vec(), loads())),
        lambda: (lambda a: lambda r: r.forward_dynamics(*a))((*b(), vec(), vec(), vec(m), loads())),
        lambda: (lambda a: lambda r: r.mass_matrix(*a))((*b(), vec())),
        lambda: (lambda a: lambda r: r.velocity_product_forces(*a))((*b(), vec(), vec())),
        lambda: (lambda a: lambda r: r.inverse_dynamics_derivatives(*a))((*b(), vec(), vec(), vec(), loads())),
        lambda: (lambda a: lambda r: r.forward_dynamics_derivatives(*a))((*b(), vec(), vec(), vec(m), loads())),
        lambda: (lambda a: lambda r: r.mass_matrix_inverse(*a))((*b(), vec())),
        # argument errors: a NaN the core finds, a short qd the binding finds
        lambda: (lambda a: lambda r: r.jacobian(*a))((*b(), np.full(n, np.nan), 0)),
        lambda: (lambda a: lambda r: r.mass_matrix(*a))((*b(), vec(n + 1))),
        lambda: (lambda name: lambda r: r.link_id(name))(f"l{int(rng.integers(links + 2))}"),
    ]
    if not floating:
        makers.append(lambda: (lambda a: lambda r: r.inverse_kinematics(*a))(
            (vec(), target(), Pose(tuple(vec(3, 2.0))), IkOptions(max_iterations=int(rng.integers(1, 20))))))
    name_of = ["forward_kinematics", "jacobian", "jacobian_derivative", "forward_velocity_kinematics",
               "forward_acceleration_kinematics", "gravity", "inverse_dynamics", "forward_dynamics", "mass_matrix",
               "velocity_product_forces", "inverse_dynamics_derivatives", "forward_dynamics_derivatives",
               "mass_matrix_inverse", "jacobian", "mass_matrix", "link_id", "inverse_kinematics"]
    # the classes may not have every method yet: use those they have
    makers = [mk for mk, name in zip(makers, name_of) if hasattr(robot, name)]
    return [makers[int(rng.integers(len(makers)))]() for _ in range(DISTINCT_CALLS)]


class Plan:
    """What each thread calls, and the outcome every call had in a serial run."""

    def __init__(self, threads, calls, fixed_path, floating_path, seed=2024):
        self.calls = calls
        self.paths = {False: fixed_path, True: floating_path}
        probe = {False: Robot(fixed_path), True: FloatingRobot(floating_path)}
        self.work = []  # per thread: list of (robot kind, callable, expected fingerprint)
        for k in range(threads):
            rng = np.random.default_rng([seed, k])
            menu = []
            for floating in (False, True):
                for call in make_calls(rng, probe[floating], floating):
                    menu.append((floating, call, outcome_of(call, probe[floating])))
            self.work.append(menu)
        self.order = [np.random.default_rng([seed, k, 1]).integers(len(self.work[k]), size=calls)
                      for k in range(threads)]

    def load(self, floating):
        return (FloatingRobot if floating else Robot)(self.paths[floating])


def run(plan, threads, close_race=True):
    """One run; returns (calls per second over all threads, list of failures)."""
    shared = {False: plan.load(False), True: plan.load(True)}
    doomed = {False: plan.load(False), True: plan.load(True)}
    failures = []
    start = threading.Barrier(threads + 1)
    progress = [0] * threads

    def worker(k):
        own = {False: plan.load(False), True: plan.load(True)}
        menu, order = plan.work[k], plan.order[k]
        closed_seen = {False: False, True: False}
        start.wait()
        for i, pick in enumerate(order):
            floating, call, expected = menu[pick]
            # every fourth call goes to the robot being closed, the rest alternate shared and own
            if close_race and i % 4 == 3:
                got = outcome_of(call, doomed[floating])
                if got == CLOSED:
                    closed_seen[floating] = True
                elif got != expected or (closed_seen[floating] and got[0] != "raised"):
                    failures.append((k, i, "closing robot", expected, got))
            else:
                robot = shared[floating] if i % 2 else own[floating]
                got = outcome_of(call, robot)
                if got != expected:
                    failures.append((k, i, "shared" if i % 2 else "own", expected, got))
            progress[k] = i + 1

    workers = [threading.Thread(target=worker, args=(k,), daemon=True) for k in range(threads)]
    for w in workers:
        w.start()
    start.wait()
    began = time.perf_counter()
    if close_race:
        # close the doomed robots once every thread is about a third of the way through
        while min(progress) < plan.calls // 3 and any(w.is_alive() for w in workers):
            time.sleep(0.001)
        doomed[False].close()
        doomed[True].close()
    deadline = began + JOIN_BOUND
    for w in workers:
        w.join(max(0.0, deadline - time.perf_counter()))
    elapsed = time.perf_counter() - began
    stuck = [k for k, w in enumerate(workers) if w.is_alive()]
    if stuck:
        failures.append(("threads still running after the bound", stuck, progress))
    return threads * plan.calls / elapsed, failures


def main(argv=None):
    import pathlib
    import tempfile

    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--threads", type=int, default=8)
    parser.add_argument("--calls", type=int, default=100_000, help="calls per thread")
    parser.add_argument("--throughput", default="1,2,4,8", help="thread counts to time, without the close race")
    args = parser.parse_args(argv)

    with tempfile.TemporaryDirectory() as tmp:
        fixed = pathlib.Path(tmp, "fixed.urdf")
        fixed.write_text(random_tree_text(11, links=LINKS))
        floating = pathlib.Path(tmp, "floating.urdf")
        floating.write_text(random_tree_text(12, links=LINKS))

        plan = Plan(args.threads, args.calls, fixed, floating)
        rate, failures = run(plan, args.threads)
        print(f"{args.threads} threads x {args.calls} calls with close() racing: "
              f"{len(failures)} mismatches, {rate:,.0f} calls/s")
        for f in failures[:10]:
            print("  ", f)

        counts = [int(c) for c in args.throughput.split(",") if c]
        if counts:
            print("threads  calls/s (shared and own robots, no close)")
        for count in counts:
            plan = Plan(count, args.calls, fixed, floating)
            rate, more = run(plan, count, close_race=False)
            failures += more
            print(f"{count:7d}  {rate:,.0f}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
