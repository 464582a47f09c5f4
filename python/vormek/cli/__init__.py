"""The `vormek` command: what the library made of a URDF file, why it refuses one, how the robot
looks at a configuration and how fast the computations run on it."""

from __future__ import annotations

import argparse
import sys
from collections.abc import Sequence

from . import bench, check, draw, info


def parser() -> argparse.ArgumentParser:
    """The argument parser of the `vormek` command: one subcommand per module (info, check, draw, bench)."""
    top = argparse.ArgumentParser(
        prog="vormek",
        description="Inspect, check, draw and time URDF robots with vormek.")
    commands = top.add_subparsers(dest="command", required=True, metavar="COMMAND")
    for module in (info, check, draw, bench):
        module.add_parser(commands)
    return top


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command on argv (sys.argv[1:] when None) and returns its exit status, 0 on success;
    a usage error exits through argparse (SystemExit 2)."""
    args = parser().parse_args(argv)
    try:
        status: int = args.run(args)
    except BrokenPipeError:
        # `vormek info big.urdf | head` closes our output early: not an error of ours
        sys.stderr.close()
        return 0
    return status
