"""Do computations on different robots really run in parallel? Times a fixed amount of forward
kinematics work on a 500-joint chain done by one thread, then split over two threads with one
robot each, and reports the speed-up (2.0 would be perfect on a machine with two free cores).

    .venv/bin/python bench/bench_threads.py
"""

import os
import statistics
import tempfile
import threading
import time

import numpy as np

import vormek

DEPTH, CALLS = 500, 4000


def chain() -> str:
    links = "".join(f'<link name="l{i}"/>' for i in range(DEPTH + 1))
    joints = "".join(
        f'<joint name="j{i}" type="revolute"><parent link="l{i}"/><child link="l{i + 1}"/>'
        f'<origin xyz="0 0 0.01" rpy="0.01 0 0"/><axis xyz="0 0 1"/><limit velocity="1"/></joint>'
        for i in range(DEPTH))
    return f'<robot name="chain">{links}{joints}</robot>'


def timed(robots) -> float:
    q = np.full(DEPTH, 0.01)
    per_thread = CALLS // len(robots)

    def work(robot):
        for _ in range(per_thread):
            robot.forward_kinematics(q, DEPTH)

    threads = [threading.Thread(target=work, args=(r,)) for r in robots]
    start = time.perf_counter()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return time.perf_counter() - start


def main() -> None:
    with tempfile.NamedTemporaryFile("w", suffix=".urdf", delete=False) as f:
        f.write(chain())
        path = f.name
    robots = [vormek.Robot(path), vormek.Robot(path)]
    os.unlink(path)
    one = statistics.median(timed(robots[:1]) for _ in range(7))
    two = statistics.median(timed(robots) for _ in range(7))
    print(f"{CALLS} calls, {DEPTH}-joint chain: one thread {one * 1e3:.1f} ms, two threads {two * 1e3:.1f} ms, "
          f"speed-up {one / two:.2f}")


if __name__ == "__main__":
    main()
