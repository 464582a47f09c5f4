"""Per-call cost of the dynamics methods from Python against Pinocchio's Python bindings on the
same URDFs, measured side by side in one run: inverse_dynamics vs rnea, mass_matrix vs crba,
forward_dynamics vs aba, gravity vs computeGeneralizedGravity; fixed base on Panda and Talos,
free flyer on Solo12 and Talos. Every call writes into a preallocated `out` on our side;
Pinocchio writes into its data. Ratios are ours / Pinocchio's.
Times are this thread's CPU time (the machines are shared), medians per call.

    .venv/bin/python bench/bench_dynamics.py
"""

import pathlib
import statistics
import sys
import sysconfig
import time

import numpy as np

import vormek

ROBOTS = pathlib.Path(sysconfig.get_paths()["purelib"]) / "cmeel.prefix/share/example-robot-data/robots"
CASES = [("panda", "panda_description/urdf/panda.urdf", False, 0.5),
         ("talos", "talos_data/robots/talos_reduced.urdf", False, 0.8),
         ("solo12", "solo_description/robots/solo12.urdf", True, 0.5),
         ("talos", "talos_data/robots/talos_reduced.urdf", True, 0.8)]


def median_ns(fn, calls=20000, repeats=15):
    samples = []
    for _ in range(repeats):
        t0 = time.thread_time_ns()
        for _ in range(calls):
            fn()
        samples.append((time.thread_time_ns() - t0) / calls)
    return statistics.median(samples)


def side_by_side(ours, theirs):
    """Medians of both, interleaved five times so that machine noise hits both alike."""
    a, b = [], []
    for _ in range(5):
        a.append(median_ns(ours))
        b.append(median_ns(theirs))
    return statistics.median(a), statistics.median(b)


def pinocchio_q(pin, model, rng):
    """A configuration with the same kind of values as ours: angles in [-1, 1], (cos, sin) pairs
    for continuous joints, a random unit quaternion for the free flyer."""
    q = pin.neutral(model)
    for joint in model.joints[1:]:
        i = joint.idx_q
        if joint.nq == 1:
            q[i] = rng.uniform(-1, 1)
        elif joint.nq == 2:
            angle = rng.uniform(-1, 1)
            q[i:i + 2] = np.cos(angle), np.sin(angle)
        elif joint.nq == 7:
            quaternion = rng.normal(size=4)
            q[i:i + 3], q[i + 3:i + 7] = rng.uniform(-1, 1, 3), quaternion / np.linalg.norm(quaternion)
    return q


def main():
    try:
        import pinocchio as pin
    except ImportError:
        sys.exit("pinocchio is not installed (pip install pin)")
    print(f"{'robot':8s} {'base':9s} {'ours':28s} {'ours ns':>8s} {'pin ns':>8s} {'ratio':>6s} {'target':>6s}")
    for name, relative, floating, target in CASES:
        path = str(ROBOTS / relative)
        rng = np.random.default_rng(1)
        if floating:
            robot = vormek.FloatingRobot(path)
            model = pin.buildModelFromUrdf(path, pin.JointModelFreeFlyer())
            base = vormek.BaseState(vormek.Pose((0.1, 0.2, 0.3), (0.1, -0.2, 0.3, 0.9)),
                                    vormek.Twist((0.1, 0.2, 0.3), (0.3, 0.2, 0.1)),
                                    vormek.Twist((0.0, 0.1, 0.2), (0.2, 0.1, 0.0)))
        else:
            robot = vormek.Robot(path)
            model = pin.buildModelFromUrdf(path)
        data = model.createData()
        n, m = robot.joint_count, robot.generalized_count
        q, qd, qdd = rng.uniform(-1, 1, n), rng.uniform(-1, 1, n), rng.uniform(-1, 1, n)
        forces, out, mass = rng.uniform(-1, 1, m), np.empty(m), np.empty(m * m)
        q_pin = pinocchio_q(pin, model, rng)
        v_pin, a_pin, tau_pin = rng.uniform(-1, 1, model.nv), rng.uniform(-1, 1, model.nv), rng.uniform(-1, 1, model.nv)
        id_, mm, fd, gr = robot.inverse_dynamics, robot.mass_matrix, robot.forward_dynamics, robot.gravity
        # Called as a user writes them: unpacking an argument tuple (f(*front, ...)) would cost
        # each of our calls ~0.4 µs of interpreter work that Pinocchio's positional calls don't pay.
        if floating:
            calls = [lambda: id_(base, q, qd, qdd, out=out), lambda: mm(base, q, out=mass),
                    lambda: fd(base, q, qd, forces, out=out), lambda: gr(base, q, out=out)]
        else:
            calls = [lambda: id_(q, qd, qdd, out=out), lambda: mm(q, out=mass),
                    lambda: fd(q, qd, forces, out=out), lambda: gr(q, out=out)]
        rows = [
            ("inverse_dynamics", calls[0], "rnea", lambda: pin.rnea(model, data, q_pin, v_pin, a_pin)),
            ("mass_matrix", calls[1], "crba", lambda: pin.crba(model, data, q_pin)),
            ("forward_dynamics", calls[2], "aba", lambda: pin.aba(model, data, q_pin, v_pin, tau_pin)),
            ("gravity", calls[3], "computeGeneralizedGravity",
             lambda: pin.computeGeneralizedGravity(model, data, q_pin)),
        ]
        kind = "floating" if floating else "fixed"
        for ours_name, ours, pin_name, theirs in rows:
            t_ours, t_pin = side_by_side(ours, theirs)
            print(f"{name:8s} {kind:9s} {ours_name + ' / ' + pin_name:28s} {t_ours:8.0f} {t_pin:8.0f} "
                  f"{t_ours / t_pin:6.2f} {target:6.1f}")


if __name__ == "__main__":
    main()
