"""Time per link of the linear-time computations on chains of 1,000 to 5,000 links: a cost that
grew with the square of the depth would show as a per-link time rising with the length.

    python bench/bench_long_chains.py
"""

import pathlib
import statistics
import sys
import tempfile
import time

import numpy as np

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests" / "python"))
from test_extremes import robot_text  # noqa: E402
from vormek import Robot  # noqa: E402


def median_seconds(call, repeats=31):
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        call()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    lengths = (1000, 2000, 5000)
    print("ns per link, median of 31 calls")
    print(f"{'computation':24s}" + "".join(f"{n:>10d}" for n in lengths))
    rows = {}
    with tempfile.TemporaryDirectory() as tmp:
        for links in lengths:
            path = pathlib.Path(tmp, f"chain{links}.urdf")
            path.write_text(robot_text(links, seed=links, chain=True))
            robot = Robot(path)
            n, tip = robot.joint_count, robot.link_count - 1
            q, qd = np.full(n, 0.1), np.full(n, 0.2)
            tau = robot.inverse_dynamics(q, qd, qd)
            jac, out = np.empty(6 * n), np.empty(n)
            calls = {
                "forward_kinematics": lambda: robot.forward_kinematics(q, tip),
                "jacobian": lambda: robot.jacobian(q, tip, out=jac),
                "gravity": lambda: robot.gravity(q, out=out),
                "inverse_dynamics": lambda: robot.inverse_dynamics(q, qd, qd, out=out),
                "forward_dynamics": lambda: robot.forward_dynamics(q, qd, tau, out=out),
            }
            for name, call in calls.items():
                rows.setdefault(name, []).append(1e9 * median_seconds(call) / links)
    for name, per_link in rows.items():
        print(f"{name:24s}" + "".join(f"{v:10.1f}" for v in per_link))


if __name__ == "__main__":
    main()
