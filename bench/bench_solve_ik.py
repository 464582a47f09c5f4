"""solve_ik on goal sets of real robots: success rate and time per goal from Python, beside the
inverse_kinematics solver on the same goals and starts, and the batch's thread scaling.

For each robot and target, GOALS goals, each the target's pose at a configuration drawn uniformly
from the limits ([−π, π] for continuous joints), seeded; every goal is solved from the middle of
the limits (column "middle") and from a random configuration inside them (column "random").
A solve counts when forward kinematics of its answer is within 1e-6 m and 1e-6 rad of the goal
(1e-6 m for position only) and every coordinate is inside its limits. Times are per call from
Python, `out=` preallocated, default options: the calling thread's CPU time
(time.thread_time_ns around the call, which also counts the clock's own system call, about
0.3 µs), so that a machine shared with other work does not charge its waits to the solver, and
the mean wall time (time.perf_counter_ns) beside it.
The batch part solves the Panda goals with 1 and 2 threads (wall time, the two interleaved, best
of three) and compares every row with the single solve bit for bit.

    make install && .venv/bin/python bench/bench_solve_ik.py [--goals 10000] [--robots Panda,UR5]

Writes build/report/solve_ik.md."""

import argparse
import datetime
import os
import pathlib
import platform
import subprocess
import sysconfig
import tempfile
import time

import numpy as np

import vormek
from bench_forward_kinematics import seven_dof_arm
from vormek.batch import RobotBatch
from vormek.cli import layout, urdf

ROBOTS = pathlib.Path(sysconfig.get_paths()["purelib"]) / "cmeel.prefix/share/example-robot-data/robots"
# name, file (None: the benchmarks' 7-DOF arm), target link, position only
CASES = [
    ("Panda", "panda_description/urdf/panda.urdf", "panda_hand", False),
    ("UR5", "ur_description/urdf/ur5_robot.urdf", "tool0", False),
    ("7-DOF arm", None, "link7", False),
    ("Kinova", "kinova_description/robots/kinova.urdf", "j2s6s200_end_effector", False),
    ("PR2 left arm", "pr2_description/urdf/pr2.urdf", "l_gripper_tool_frame", False),
    ("Talos left arm", "talos_data/robots/talos_reduced.urdf", "gripper_left_base_link", False),
    ("Talos left leg", "talos_data/robots/talos_reduced.urdf", "left_sole_link", False),
    ("Solo12 front-left foot", "solo_description/robots/solo12.urdf", "FL_FOOT", True),
]
TOLERANCE = 1e-6


def limits(robot, path):
    """Lower and upper limits in DOF order, from the file (continuous joints unbounded)."""
    rows = layout.rows(robot, urdf.read(path))
    pairs = [row.joint.limits() for row in rows if row.joint is not None and row.dof is not None]
    return np.array([lo for lo, _ in pairs]), np.array([hi for _, hi in pairs])


def draw(lower, upper, rng, count):
    lo = np.where(np.isfinite(lower), lower, -np.pi)
    hi = np.where(np.isfinite(upper), upper, np.pi)
    return lo + (hi - lo) * rng.random((count, len(lower)))


def rotation_angle(a, b):
    """Angle between two unit quaternions (x, y, z, w)."""
    return 2 * np.arctan2(np.linalg.norm(np.cross(a[:3], b[:3]) + a[3] * b[:3] - b[3] * a[:3]),
                          abs(float(np.dot(a, b))))


def reached(robot, link, q, goal, lower, upper, position_only):
    if not np.all((lower <= q) & (q <= upper)):
        return False
    pose = robot.forward_kinematics(q, link)
    if np.linalg.norm(np.subtract(pose.translation, goal.translation)) > TOLERANCE:
        return False
    return position_only or rotation_angle(np.array(pose.rotation_xyzw), np.array(goal.rotation_xyzw)) <= TOLERANCE


def solve_all(robot, link, goals, starts, lower, upper, position_only, method):
    """(successes, per-goal CPU seconds, per-goal wall seconds) of `method` on every goal from its start."""
    n = robot.joint_count
    out = np.empty(n)
    times, walls = np.empty(len(goals)), np.empty(len(goals))
    solved = 0
    clock, wall = time.thread_time_ns, time.perf_counter_ns
    if method == "solve_ik":
        call = robot.solve_ik
        kwargs = {"position_only": True} if position_only else {}
    else:
        call, kwargs = robot.inverse_kinematics, {}
    for k, (goal, start) in enumerate(zip(goals, starts)):
        w0, t0 = wall(), clock()
        try:
            call(start, link, goal, out=out, **kwargs)
            ok = True
        except vormek.SolverError:
            ok = False
        times[k], walls[k] = (clock() - t0) * 1e-9, (wall() - w0) * 1e-9
        if ok:
            solved += reached(robot, link, out, goal, lower, upper, position_only)
    return solved, times, walls


def us(seconds):
    return f"{seconds * 1e6:.1f}"


def measure(name, path, target, position_only, count, rng, lines):
    robot = vormek.Robot(path)
    link = robot.link_id(target)
    lower, upper = limits(robot, path)
    truths = draw(lower, upper, rng, count)
    goals = [robot.forward_kinematics(q, link) for q in truths]
    bounded = np.isfinite(lower) & np.isfinite(upper)
    middle = np.zeros(robot.joint_count)
    middle[bounded] = (lower[bounded] + upper[bounded]) / 2
    columns = {"middle": np.tile(middle, (count, 1)), "random": draw(lower, upper, rng, count)}
    for column, starts in columns.items():
        solved, times, walls = solve_all(robot, link, goals, starts, lower, upper, position_only, "solve_ik")
        ik_solved, ik_times, _ = solve_all(robot, link, goals, starts, lower, upper, position_only,
                                           "inverse_kinematics")
        lines.append(f"| {name} | {column} | {100 * solved / count:.2f} | "
                     f"{us(times.mean())} | {us(np.median(times))} | {us(np.percentile(times, 99))} | "
                     f"{us(times.max())} | {us(walls.mean())} | {100 * ik_solved / count:.2f} | "
                     f"{us(ik_times.mean())} |")
        print(lines[-1], flush=True)
    robot.close()


def batch_scaling(path, target, count, rng, lines):
    with vormek.Robot(path) as robot:
        link = robot.link_id(target)
        lower, upper = limits(robot, path)
        truths = draw(lower, upper, rng, count)
        desired = np.array([(*p.translation, *p.rotation_xyzw)
                            for p in (robot.forward_kinematics(q, link) for q in truths)])
        Q0 = draw(lower, upper, rng, count)
        singles, single_ok = np.empty_like(Q0), np.empty(count, dtype=bool)
        for i in range(count):
            try:
                singles[i] = robot.solve_ik(Q0[i], link, vormek.Pose(desired[i, :3], desired[i, 3:]))
                single_ok[i] = True
            except vormek.SolverError:
                single_ok[i] = False
    walls = {1: [], 2: []}
    results = {}
    with RobotBatch(path, threads=1) as one, RobotBatch(path, threads=2) as two:
        for _ in range(3):
            for threads, batch in ((1, one), (2, two)):
                t0 = time.perf_counter()
                results[threads] = batch.solve_ik(Q0, link, desired)
                walls[threads].append(time.perf_counter() - t0)
    equal = all(np.array_equal(results[t][0][single_ok], singles[single_ok]) and
                np.array_equal(results[t][1], single_ok) for t in (1, 2))
    best = {t: min(w) for t, w in walls.items()}
    lines.append(f"Batch, Panda, {count} goals from random starts: 1 thread {best[1]:.3f} s, "
                 f"2 threads {best[2]:.3f} s, speed-up {best[1] / best[2]:.2f}×; "
                 f"rows equal to the single solves bit for bit (mask included): {equal}; "
                 f"load average {os.getloadavg()[0]:.1f} at the end")
    print(lines[-1], flush=True)


def cpu_name():
    try:
        text = subprocess.run(["lscpu"], capture_output=True, text=True).stdout
        return next(line.split(":", 1)[1].strip() for line in text.splitlines() if line.startswith("Model name"))
    except (OSError, StopIteration):
        return platform.processor()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--goals", type=int, default=10_000)
    parser.add_argument("--robots", default=None, help="comma-separated names (default: all)")
    parser.add_argument("--batch-goals", type=int, default=10_000)
    parser.add_argument("--output", default="build/report")
    args = parser.parse_args()
    wanted = None if args.robots is None else set(args.robots.split(","))
    rng = np.random.default_rng(2026)
    lines = [f"# solve_ik on goal sets ({datetime.date.today()})", "",
             f"CPU: {cpu_name()}; load average {os.getloadavg()[0]:.1f} at the start; {args.goals} goals "
             "per robot and start column; µs per goal from Python, CPU time of the calling thread "
             "but for the wall-time mean.", "",
             "| robot | start | solved % | mean | median | p99 | worst | wall mean | "
             "inverse_kinematics solved % | inverse_kinematics mean |",
             "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|"]
    print("\n".join(lines), flush=True)
    with tempfile.TemporaryDirectory() as tmp:
        arm = pathlib.Path(tmp) / "arm7.urdf"
        arm.write_text(seven_dof_arm())
        for name, file, target, position_only in CASES:
            if wanted is None or name in wanted:
                measure(name, arm if file is None else ROBOTS / file, target, position_only, args.goals, rng, lines)
    lines.append("")
    if args.batch_goals:
        batch_scaling(ROBOTS / CASES[0][1], CASES[0][2], args.batch_goals, rng, lines)
    lines.append(f"load average {os.getloadavg()[0]:.1f} at the end")
    out = pathlib.Path(args.output)
    out.mkdir(parents=True, exist_ok=True)
    (out / "solve_ik.md").write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
