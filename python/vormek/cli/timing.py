"""Per-call timing of every computation on one robot, with Pinocchio's and MuJoCo's nearest calls
beside it when `pin` and `mujoco` are installed. Shared by `vormek bench` and the benchmark report."""

from __future__ import annotations

import functools
import statistics
import time
from collections.abc import Callable
from dataclasses import dataclass, replace
from os import PathLike
from typing import Any

import numpy as np

import vormek

from . import layout, mujoco_peer


@dataclass(frozen=True)
class Case:
    name: str  # our method
    ours: Callable[[], object]
    theirs: Callable[[], object] | None = None
    their_call: str = ""  # what the Pinocchio call computes, for the reader
    mujoco: Callable[[], object] | None = None
    mujoco_call: str = ""  # the MuJoCo calls it runs


@dataclass(frozen=True)
class Bench:
    robot: vormek.Robot | vormek.FloatingRobot
    target: int
    target_name: str
    cases: list[Case]
    pinocchio: str | None  # its version, when it takes part
    pinocchio_refused: str | None = None  # why Pinocchio could not build the model, when it could not
    mujoco: str | None = None  # its version, when it takes part
    mujoco_refused: str | None = None  # why MuJoCo could not build the same model, when it could not


def _batch(fn: Callable[[], object], seconds: float) -> int:
    """How many calls of fn take about `seconds`."""
    calls, start = 0, time.perf_counter()
    while time.perf_counter() - start < 0.01 or calls < 3:
        fn()
        calls += 1
    return max(1, int(seconds / ((time.perf_counter() - start) / calls)))


def _seconds_per_call(fn: Callable[[], object], calls: int) -> float:
    start = time.perf_counter()
    for _ in range(calls):
        fn()
    return (time.perf_counter() - start) / calls


def per_call(*fns: Callable[[], object], budget: float = 0.3, repeats: int = 5) -> list[float]:
    """Median seconds per call of each function over `repeats` batches, the functions' batches
    interleaved so that the noise of a shared machine falls on all of them alike; each function
    gets `budget` seconds in all."""
    sizes = [_batch(fn, budget / repeats) for fn in fns]
    samples: list[list[float]] = [[] for _ in fns]
    for _ in range(repeats):
        for fn, calls, times in zip(fns, sizes, samples):
            times.append(_seconds_per_call(fn, calls))
    return [statistics.median(times) for times in samples]


def _pinocchio() -> Any:
    try:
        import pinocchio  # type: ignore[import-untyped]
    except ImportError:
        return None
    return pinocchio


# the computations both robot classes time, in the order of the cases
COMPUTATIONS = ("forward_kinematics", "link_poses", "jacobian", "jacobian_derivative", "forward_velocity_kinematics",
                "forward_acceleration_kinematics", "inverse_dynamics", "gravity", "velocity_product_forces",
                "mass_matrix", "forward_dynamics")


def default_target(robot: vormek.Robot | vormek.FloatingRobot) -> int:
    """The link with the most revolute joints between it and the root, the fewest prismatic ones
    among those, and the last in link order among equals (a tool frame fixed to the last moving
    link), leaving out links behind a joint that its limits pin in place: the tool of an arm rather
    than a finger that slides on it, so that the timed inverse-kinematics solve is well posed."""
    entry = {name: k for k, name in enumerate(robot.joint_names)}
    lower, upper = robot.lower_limits, robot.upper_limits
    turns, slides, free = [0] * robot.link_count, [0] * robot.link_count, [True] * robot.link_count
    for k, (parent, (joint, kind, _, _)) in enumerate(zip(robot.link_parents, robot._tree())):
        if parent < 0:
            continue
        dof = entry.get(joint) if kind != "fixed" else None
        turns[k] = turns[parent] + (kind in ("revolute", "continuous"))
        slides[k] = slides[parent] + (kind == "prismatic")
        free[k] = free[parent] and (dof is None or bool(lower[dof] < upper[dof]))
    return max(range(robot.link_count), key=lambda k: (free[k], turns[k], -slides[k], k))


def prepare(path: str | PathLike[str], floating: bool = False, target: str | None = None,
            pinocchio: bool = True, seed: int = 0, massless_root: bool = False, mujoco: bool = True) -> Bench:
    """The robot and one case per computation at a seeded random state; the target link is the
    named one or default_target's. The file is read once, by vormek; Pinocchio and MuJoCo get the
    same text."""
    robot = layout.floating(path, massless_root) if floating else vormek.Robot(path)
    n, m = robot.joint_count, robot.generalized_count
    link = robot.link_id(target) if target is not None else default_target(robot)
    link_name = robot.link_names[link]
    rng = np.random.default_rng(seed)
    # positions inside the middle of each joint's range, taken within ±π where it reaches there
    # (an open range, or 1e16 written for one): a solution must keep every joint within its
    # limits, so a joint pinned by equal limits stays at them
    lo, hi = robot.lower_limits, robot.upper_limits
    lower, upper = np.fmax(lo, -np.pi), np.fmin(hi, np.pi)
    beyond = lower > upper
    lower, upper = np.where(beyond, lo, lower), np.where(beyond, hi, upper)
    q = lower + (upper - lower) * rng.uniform(0.2, 0.8, n)
    qd, qdd = rng.uniform(-1, 1, n), rng.uniform(-1, 1, n)
    forces = rng.uniform(-1, 1, m)
    vector, square, jacobian = np.empty(m), np.empty(m * m), np.empty(6 * m)

    # the base state goes first on a floating robot, bound to each method once: a call through
    # an unpacked tuple, f(*base, ...), costs ~0.4 µs more than the plain call a user writes
    r: Any = robot
    if floating:
        base = vormek.BaseState(vormek.Pose((0.1, 0.2, 0.3), (0.1, 0.2, 0.3, 0.9)),
                                vormek.Twist((0.3, -0.2, 0.1), (0.5, 0.1, -0.4)))
        methods = {name: functools.partial(getattr(r, name), base) for name in COMPUTATIONS}
    else:
        methods = {name: getattr(r, name) for name in COMPUTATIONS}
    fk, poses, jac, jdot, fvk, fak, id_, grav, vpf, mm, fd = (methods[name] for name in COMPUTATIONS)
    every_link = np.empty((robot.link_count, 7))
    cases = [
        Case("forward_kinematics", lambda: fk(q, link)),
        Case("link_poses", lambda: poses(q, out=every_link)),
        Case("jacobian", lambda: jac(q, link, out=jacobian)),
        Case("jacobian_derivative", lambda: jdot(q, qd, link, out=jacobian)),
        Case("forward_velocity_kinematics", lambda: fvk(q, qd, link)),
        Case("forward_acceleration_kinematics", lambda: fak(q, qd, qdd, link)),
        Case("inverse_dynamics", lambda: id_(q, qd, qdd, out=vector)),
        Case("gravity", lambda: grav(q, out=vector)),
        Case("velocity_product_forces", lambda: vpf(q, qd, out=vector)),
        Case("mass_matrix", lambda: mm(q, out=square)),
        Case("forward_dynamics", lambda: fd(q, qd, forces, out=vector)),
    ]
    if not floating:
        # a solve from a guess near a reachable goal
        goal = r.forward_kinematics(q, link)
        start, out = q + 0.02 * (upper - lower), np.empty(n)
        cases.append(Case("inverse_kinematics", lambda: r.inverse_kinematics(start, link, goal, out=out)))
        # the same goal and start, kept inside the limits
        cases.append(Case("solve_ik", lambda: r.solve_ik(start, link, goal, out=out)))

    text = robot._urdf_text()
    bench = Bench(robot, link, link_name, cases, None)
    if pinocchio:
        bench = _with_pinocchio(bench, text, floating, rng)
    if not mujoco or mujoco_peer.module() is None:
        return bench
    try:
        found, version = mujoco_peer.calls(robot, text, link, base if floating else None, q, qd, qdd, forces)
    except mujoco_peer.Refused as error:
        return replace(bench, mujoco_refused=str(error))
    cases = [replace(c, mujoco=found[c.name][0], mujoco_call=found[c.name][1]) if c.name in found else c
             for c in bench.cases]
    return replace(bench, cases=cases, mujoco=version)


def _with_pinocchio(bench: Bench, text: str, floating: bool, rng: np.random.Generator) -> Bench:
    """The bench with Pinocchio's nearest calls beside ours, when it is installed and builds the model."""
    pin = _pinocchio()
    if pin is None:
        return bench
    try:
        model = pin.buildModelFromXML(text, pin.JointModelFreeFlyer()) if floating else pin.buildModelFromXML(text)
        frame = model.getFrameId(bench.target_name, pin.BODY)
    except (ValueError, RuntimeError) as error:
        # a file vormek reads and Pinocchio does not (a robot without a name, say): time ours alone
        return replace(bench, pinocchio_refused=str(error) or type(error).__name__)
    data = model.createData()
    # a configuration of Pinocchio's own kind (continuous joints take cos and sin), as random as ours
    q_pin = pin.integrate(model, pin.neutral(model), rng.uniform(-1, 1, model.nv))
    v, a, tau = (rng.uniform(-1, 1, model.nv) for _ in range(3))
    world = pin.ReferenceFrame.LOCAL_WORLD_ALIGNED
    theirs: dict[str, tuple[Callable[[], object], str]] = {
        "forward_kinematics": (lambda: pin.forwardKinematics(model, data, q_pin), "forwardKinematics (all joints)"),
        "link_poses": (lambda: pin.framesForwardKinematics(model, data, q_pin), "framesForwardKinematics"),
        "jacobian": (lambda: pin.computeFrameJacobian(model, data, q_pin, frame, world), "computeFrameJacobian"),
        "forward_velocity_kinematics": (lambda: pin.forwardKinematics(model, data, q_pin, v),
                                        "forwardKinematics(q, v) (all joints)"),
        "forward_acceleration_kinematics": (lambda: pin.forwardKinematics(model, data, q_pin, v, a),
                                            "forwardKinematics(q, v, a) (all joints)"),
        "inverse_dynamics": (lambda: pin.rnea(model, data, q_pin, v, a), "rnea"),
        "gravity": (lambda: pin.computeGeneralizedGravity(model, data, q_pin), "computeGeneralizedGravity"),
        "velocity_product_forces": (lambda: pin.nonLinearEffects(model, data, q_pin, v),
                                    "nonLinearEffects (with gravity)"),
        "mass_matrix": (lambda: pin.crba(model, data, q_pin), "crba (upper triangle)"),
        "forward_dynamics": (lambda: pin.aba(model, data, q_pin, v, tau), "aba"),
    }
    cases = [replace(c, theirs=theirs[c.name][0], their_call=theirs[c.name][1]) if c.name in theirs else c
             for c in bench.cases]
    return replace(bench, cases=cases, pinocchio=str(pin.__version__))

