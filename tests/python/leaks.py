"""Every public entry point called many times, on its success path and on an error path: the
memory Python tracks (tracemalloc) and the resident set must not grow, and the reference counts
of the arguments, and of the results, must come back to what they were.

    python leaks.py [--repeats 1000000] [--only NAME]

The pytest suite runs a short version (test_leaks.py).
"""

import argparse
import gc
import sys
import tracemalloc

import numpy as np

from calls import methods_of, out_arrays, valid_arguments
from trees import random_tree_text
from vormek import BaseState, FloatingRobot, IkOptions, Load, ModelError, Pose, Robot, Twist

NAN = float("nan")


def entry_points(directory):
    """(name, function of no arguments, objects whose reference counts must not change)."""
    good = directory / "tree.urdf"
    good.write_text(random_tree_text(3, links=8))
    broken = directory / "broken.urdf"
    broken.write_text(random_tree_text(3, links=8).replace('name="l7"', 'name="l6"', 1))
    rng = np.random.default_rng(9)
    points = []

    def expect(error, call):
        def run():
            try:
                call()
            except error:
                return
            raise AssertionError(f"{call} did not raise {error.__name__}")
        return run

    for cls in (Robot, FloatingRobot):
        robot = cls(good)
        for method in methods_of(robot):
            function = getattr(robot, method)
            args, kwargs = valid_arguments(method, robot, rng, with_out=True)
            plain_args, _ = valid_arguments(method, robot, rng)
            points.append((f"{cls.__name__}.{method}", lambda f=function, a=plain_args: f(*a), plain_args))
            if kwargs:
                points.append((f"{cls.__name__}.{method}(out=)", lambda f=function, a=args, k=kwargs: f(*a, **k),
                               [*args, kwargs["out"], *out_arrays(kwargs["out"])]))
            # a NaN the core rejects, after every conversion has run
            bad = list(plain_args)
            at = 1 if cls is FloatingRobot else 0
            bad[at] = np.full_like(bad[at], NAN)
            points.append((f"{cls.__name__}.{method} error",
                           expect((ValueError, RuntimeError), lambda f=function, a=bad: f(*a)), bad))
        points.append((f"{cls.__name__}.link_id", lambda r=robot: r.link_id("l3"), []))
        points.append((f"{cls.__name__}.link_id error", expect(ValueError, lambda r=robot: r.link_id("nope")), []))
        points.append((f"{cls.__name__} properties",
                       lambda r=robot: (r.name, r.joint_count, r.generalized_count, r.link_count), []))
        points.append((f"{cls.__name__}()", lambda c=cls: c(good).close(), [good]))
        points.append((f"{cls.__name__}() error", expect(ModelError, lambda c=cls: c(broken)), [broken]))
        points.append((f"{cls.__name__} with", lambda c=cls: c.__exit__(c.from_urdf(good), None, None, None), []))
        closed = cls(good)
        closed.close()
        points.append((f"{cls.__name__} closed", expect(RuntimeError, lambda r=closed: r.link_count), []))

    robot = Robot(good)
    frame = Pose((1, 2, 3), (0, 0, 1, 1))
    points.append(("Robot.set_base_frame", lambda: robot.set_base_frame(frame), [frame]))
    zero = Pose(rotation_xyzw=(0, 0, 0, 0))
    points.append(("Robot.set_base_frame error", expect(ValueError, lambda: robot.set_base_frame(zero)), [zero]))

    triple = (1.0, 2.0, 3.0)
    points += [
        ("Pose", lambda: Pose(triple, (0, 0, 0, 1)).rotation_xyzw, [triple]),
        ("Pose error", expect(ValueError, lambda: Pose(triple[:2])), [triple]),
        ("Twist", lambda: Twist(triple, triple).linear, [triple]),
        ("Twist error", expect(TypeError, lambda: Twist(5)), []),
        ("BaseState", lambda: BaseState(frame, Twist(), Twist()).frame, [frame]),
        ("BaseState error", expect(TypeError, lambda: BaseState(triple)), [triple]),
        ("Load", lambda: Load(2, triple, triple).force, [triple]),
        ("Load error", expect(OverflowError, lambda: Load(-1)), []),
        ("IkOptions", lambda: IkOptions(7, 1e-3, 1e-3, 0.1, 0.2).damping, []),
        ("IkOptions error", expect(ValueError, lambda: IkOptions(0)), []),
        ("equality", lambda: (frame == Pose(), Twist() != Twist()), [frame]),
    ]
    return points


def resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * 4096


def growth(function, watched, repeats):
    """(traced bytes, resident bytes, refcount changes, result refcount) over `repeats` calls."""
    for _ in range(min(repeats, 1000)):
        function()  # caches, interned names and free lists settle first
    gc.collect()
    # small ints are shared by everything and their counts move with any code that runs
    watched = [w for w in watched if not isinstance(w, int)]
    refs = [sys.getrefcount(w) for w in watched]
    rss = resident_bytes()
    tracemalloc.start()
    try:
        traced = tracemalloc.get_traced_memory()[0]
        for _ in range(repeats):
            result = function()
        result = function()
        gc.collect()
        traced = tracemalloc.get_traced_memory()[0] - traced
    finally:
        tracemalloc.stop()
    rss = resident_bytes() - rss
    # a new result object is referenced by `result` and by getrefcount's argument only
    fresh = type(result) in (np.ndarray, Pose, Twist, BaseState, tuple) and not any(result is w for w in watched)
    result_refs = sys.getrefcount(result) if fresh else 2
    del result  # an `out` array comes back as the result
    later = [sys.getrefcount(w) for w in watched]
    return traced, rss, [b - a for a, b in zip(refs, later)], result_refs


def main(argv=None):
    import pathlib
    import tempfile
    import time

    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--repeats", type=int, default=1_000_000)
    parser.add_argument("--only", default="", help="run the entry points whose name contains this")
    args = parser.parse_args(argv)
    bad = 0
    with tempfile.TemporaryDirectory() as tmp:
        points = [p for p in entry_points(pathlib.Path(tmp)) if args.only in p[0]]
        print(f"{len(points)} entry points x {args.repeats} calls; limits: 1 MiB traced, 1 MiB resident")
        print(f"{'entry point':44s} {'traced B':>10s} {'resident B':>11s}  refs  seconds")
        for name, function, watched in points:
            start = time.perf_counter()
            traced, rss, refs, result_refs = growth(function, watched, args.repeats)
            ok = traced < 2**20 and rss < 2**20 and not any(refs) and result_refs == 2
            bad += not ok
            print(f"{name:44s} {traced:10d} {rss:11d}  {'ok' if not any(refs) and result_refs == 2 else refs}"
                  f"  {time.perf_counter() - start:7.1f}{'' if ok else '  FAIL'}")
    print(f"{len(points) - bad} passed, {bad} failed")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
