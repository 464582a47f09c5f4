"""Per-call cost of the centre-of-mass, momentum and energy methods from Python against Pinocchio's
nearest calls on the same URDFs, side by side in one run (Panda and Talos fixed base, Talos on a
free flyer); then each batch method at one thread per state against the core's own single call
(bench_core_calls, C++). Ours write into preallocated `out` arrays where they return arrays;
Pinocchio writes into its data. Times are this thread's CPU time, medians; ratios are ours over
Pinocchio's (target 0.5) and batch over core (target 1.2).

    make build-cpp install && .venv/bin/python bench/bench_centroidal.py
"""

import pathlib
import statistics
import subprocess
import sys
import time

import numpy as np

import vormek
from bench_dynamics import ROBOTS, pinocchio_q, side_by_side
from vormek.batch import RobotBatch

CASES = [("panda", "panda_description/urdf/panda.urdf", False),
         ("talos", "talos_data/robots/talos_reduced.urdf", False),
         ("talos", "talos_data/robots/talos_reduced.urdf", True)]
CORE = pathlib.Path("build/cpp/bench/bench_core_calls")
BATCH = 20_000


def rows(pin, robot, model, data, floating, rng):
    """(our method, our call, Pinocchio's name, its call) for every method."""
    n, m = robot.joint_count, robot.generalized_count
    q, qd = rng.uniform(-1, 1, n), rng.uniform(-1, 1, n)
    q_pin, v_pin = pinocchio_q(pin, model, rng), rng.uniform(-1, 1, model.nv)
    three, jc, a = np.empty(3), np.empty(3 * m), np.empty(6 * m)
    com, vcom, jcom, h, A, ke, pe = (robot.center_of_mass, robot.center_of_mass_velocity,
                                     robot.center_of_mass_jacobian, robot.momentum,
                                     robot.centroidal_momentum_matrix, robot.kinetic_energy, robot.potential_energy)
    # written out per base kind, as a user calls them: unpacking (*front, ...) costs more than the call
    if floating:
        base = vormek.BaseState(vormek.Pose((0.1, 0.2, 0.3), (0.1, -0.2, 0.3, 0.9)),
                                vormek.Twist((0.1, 0.2, 0.3), (0.3, 0.2, 0.1)))
        ours = [lambda: com(base, q, out=three), lambda: vcom(base, q, qd, out=three), lambda: jcom(base, q, out=jc),
                lambda: h(base, q, qd), lambda: A(base, q, out=a), lambda: ke(base, q, qd), lambda: pe(base, q)]
    else:
        ours = [lambda: com(q, out=three), lambda: vcom(q, qd, out=three), lambda: jcom(q, out=jc),
                lambda: h(q, qd), lambda: A(q, out=a), lambda: ke(q, qd), lambda: pe(q)]
    theirs = [("centerOfMass", lambda: pin.centerOfMass(model, data, q_pin)),
              ("centerOfMass(q, v)", lambda: pin.centerOfMass(model, data, q_pin, v_pin)),
              ("jacobianCenterOfMass", lambda: pin.jacobianCenterOfMass(model, data, q_pin)),
              ("computeCentroidalMomentum", lambda: pin.computeCentroidalMomentum(model, data, q_pin, v_pin)),
              ("computeCentroidalMap", lambda: pin.computeCentroidalMap(model, data, q_pin)),
              ("computeKineticEnergy", lambda: pin.computeKineticEnergy(model, data, q_pin, v_pin)),
              ("computePotentialEnergy", lambda: pin.computePotentialEnergy(model, data, q_pin))]
    names = ["center_of_mass", "center_of_mass_velocity", "center_of_mass_jacobian", "momentum",
             "centroidal_momentum_matrix", "kinetic_energy", "potential_energy"]
    return [(name, call, pin_name, pin_call) for name, call, (pin_name, pin_call) in zip(names, ours, theirs)]


def batch_ns(path, name, rng):
    """CPU ns per state of one batch call at one thread (the caller computes every row)."""
    with RobotBatch(path, threads=1) as batch:
        n = batch.joint_count
        Q, QD = rng.uniform(-1, 1, (BATCH, n)), rng.standard_normal((BATCH, n))
        args = (Q, QD) if name in ("center_of_mass_velocity", "momentum", "kinetic_energy") else (Q,)
        method = getattr(batch, name)
        out = method(*args)
        samples = []
        for _ in range(7):
            t0 = time.thread_time_ns()
            method(*args, out=out)
            samples.append((time.thread_time_ns() - t0) / BATCH)
        return statistics.median(samples)


def main():
    try:
        import pinocchio as pin
    except ImportError:
        sys.exit("pinocchio is not installed (pip install pin)")
    print(f"{'robot':6s} {'base':9s} {'ours / Pinocchio':54s} {'ours ns':>8s} {'pin ns':>8s} {'ratio':>6s}")
    for name, relative, floating in CASES:
        path = str(ROBOTS / relative)
        robot = (vormek.FloatingRobot if floating else vormek.Robot)(path)
        model = pin.buildModelFromUrdf(path, pin.JointModelFreeFlyer()) if floating else pin.buildModelFromUrdf(path)
        for ours_name, ours, pin_name, theirs in rows(pin, robot, model, model.createData(), floating,
                                                      np.random.default_rng(1)):
            t_ours, t_pin = side_by_side(ours, theirs)
            print(f"{name:6s} {'floating' if floating else 'fixed':9s} {ours_name + ' / ' + pin_name:54s} "
                  f"{t_ours:8.0f} {t_pin:8.0f} {t_ours / t_pin:6.2f}")
        robot.close()
    if not CORE.exists():
        sys.exit(f"{CORE} is missing: make build-cpp")
    print(f"\n{'robot':6s} {'batch, 1 thread':28s} {'ns/state':>9s} {'core ns':>8s} {'ratio':>6s}")
    for name, relative, floating in CASES:
        if floating:
            continue
        path = str(ROBOTS / relative)
        lines = subprocess.run([str(CORE), path], check=True, capture_output=True, text=True).stdout.split("\n")
        core = {fields[0]: float(fields[1]) for fields in (line.split() for line in lines if line)}
        for method in ("center_of_mass", "center_of_mass_velocity", "center_of_mass_jacobian", "momentum",
                       "centroidal_momentum_matrix", "kinetic_energy", "potential_energy"):
            per_state = batch_ns(path, method, np.random.default_rng(7))
            print(f"{name:6s} {method:28s} {per_state:9.0f} {core[method]:8.0f} {per_state / core[method]:6.2f}")


if __name__ == "__main__":
    main()
