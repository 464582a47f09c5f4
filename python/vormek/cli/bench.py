"""`vormek bench`: per-call times of every computation on one robot, from Python, with
Pinocchio's and MuJoCo's nearest calls beside it when `pin` and `mujoco` are installed."""

from __future__ import annotations

import argparse
import sys
from typing import Any, TextIO

import vormek

from . import timing


def add_parser(commands: Any) -> None:
    """Adds `vormek bench` and its options to the subcommands of the top-level parser."""
    p = commands.add_parser(
        "bench", help="per-call times of every computation (Pinocchio and MuJoCo beside when installed)",
        description="Time every computation on the robot at a seeded random state, from Python, "
                    "with preallocated out arrays; the median of five batches per computation.")
    p.add_argument("urdf", metavar="ROBOT.urdf")
    p.add_argument("--floating", action="store_true", help="FloatingRobot against Pinocchio's free flyer")
    p.add_argument("--massless-root", action="store_true",
                   help="with --floating: accept a massless root link whose fixed links give the root body mass")
    p.add_argument("--target", metavar="LINK",
                   help="link of the link-wise computations (default: the end of the longest chain of moving "
                        "joints)")
    p.add_argument("--budget", type=float, default=0.3, metavar="SECONDS",
                   help="time spent on each computation and library (default 0.3)")
    p.add_argument("--no-pinocchio", dest="pinocchio", action="store_false", help="leave Pinocchio out")
    p.add_argument("--no-mujoco", dest="mujoco", action="store_false", help="leave MuJoCo out")
    p.set_defaults(run=run)


def microseconds(seconds: float) -> str:
    """`seconds` as a short figure in µs, or in ms from a millisecond up."""
    return f"{seconds * 1e6:.3g} µs" if seconds < 1e-3 else f"{seconds * 1e3:.3g} ms"


class Progress:
    """One line on stderr, rewritten in place while the timings run."""

    def __init__(self, total: int, stream: TextIO | None = None) -> None:
        self.total, self.done, self.stream = total, 0, stream or sys.stderr

    def step(self, label: str) -> None:
        self.done += 1
        bar = "#" * (20 * self.done // self.total)
        self.stream.write(f"\r[{bar:20s}] {self.done}/{self.total} {label:48s}")
        self.stream.flush()

    def close(self) -> None:
        self.stream.write("\r" + " " * 80 + "\r")
        self.stream.flush()


def run(args: argparse.Namespace) -> int:
    """Times every computation and prints the table; 1 when the robot does not load, else 0."""
    try:
        bench = timing.prepare(args.urdf, floating=args.floating, target=args.target, pinocchio=args.pinocchio,
                               massless_root=args.massless_root, mujoco=args.mujoco)
    except (vormek.VormekError, ValueError, OSError) as error:
        print(f"vormek: {args.urdf}: {error}", file=sys.stderr)
        return 1
    robot = bench.robot
    rows: list[list[str]] = []
    failures: list[str] = []
    progress = Progress(len(bench.cases))
    for case in bench.cases:
        progress.step(case.name)
        peers = [fn for fn in (case.theirs, case.mujoco) if fn is not None]
        try:
            ours, *theirs = timing.per_call(case.ours, *peers, budget=args.budget)
        except (vormek.VormekError, ValueError) as error:
            rows.append([case.name, "failed"])
            failures.append(f"{case.name}: {type(error).__name__}: {error}")
            continue
        row, calls = [case.name, microseconds(ours)], []
        for version, fn, call in ((bench.pinocchio, case.theirs, case.their_call),
                                  (bench.mujoco, case.mujoco, case.mujoco_call)):
            if version is None:
                continue
            # a peer without a call of its own for this computation leaves its two cells blank
            seconds = theirs.pop(0) if fn is not None else None
            row += [microseconds(seconds), f"{ours / seconds:.2f}"] if seconds is not None else ["", ""]
            calls.append(call)
        rows.append(row + calls)
    progress.close()

    kind = "floating base" if args.floating else "fixed base"
    print(f"{robot.name}: {kind}, {robot.joint_count} degrees of freedom, link-wise computations on "
          f"{bench.target_name} (link {bench.target}); seconds per call from Python, out= preallocated")
    header = ["computation", "vormek"]
    for name, version, refused, wanted, package in (("pinocchio", bench.pinocchio, bench.pinocchio_refused,
                                                     args.pinocchio, "pin"),
                                                    ("mujoco", bench.mujoco, bench.mujoco_refused, args.mujoco,
                                                     "mujoco")):
        if version is not None:
            header += [name, "ratio"]
        elif refused is not None:
            print(f"({name} refused the file, so it is not timed: {refused})")
        elif wanted:
            print(f"({name} is not installed: pip install {package} to time it beside)")
    header += [f"{name} {version} call" for name, version in (("pinocchio", bench.pinocchio),
                                                              ("mujoco", bench.mujoco)) if version is not None]
    table = [header] + [row + [""] * (len(header) - len(row)) for row in rows]
    widths = [max(len(r[i]) for r in table) for i in range(len(header))]
    for r in table:
        print("  ".join(c.ljust(w) for c, w in zip(r, widths)).rstrip())
    for failure in failures:
        print(failure)
    robot.close()
    return 0
