"""Per-call cost of the derivative methods from Python beside Pinocchio's Python bindings, in one
run: inverse_dynamics_derivatives vs computeRNEADerivatives, forward_dynamics_derivatives vs
computeABADerivatives, mass_matrix_inverse vs computeMinverse, on Panda and Talos (fixed base),
with our own inverse_dynamics for the multiple; then time / n² on chains of 8 to 512 links, and
a batch at one thread against the single-state call per state.
Times are this thread's CPU time, medians per call; ratios are ours / Pinocchio's.

    .venv/bin/python bench/bench_derivatives.py
"""

import pathlib
import sys
import tempfile

import numpy as np

import vormek
from vormek.batch import RobotBatch

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests" / "python"))
from bench_dynamics import ROBOTS, median_ns, pinocchio_q, side_by_side  # noqa: E402
from test_extremes import robot_text  # noqa: E402

CASES = [("panda", "panda_description/urdf/panda.urdf"), ("talos", "talos_data/robots/talos_reduced.urdf")]


def peers(pin):
    print(f"{'robot':6s} {'ours / pinocchio':58s} {'ours ns':>8s} {'pin ns':>8s} {'ratio':>6s}")
    for name, relative in CASES:
        path = str(ROBOTS / relative)
        rng = np.random.default_rng(1)
        robot, model = vormek.Robot(path), pin.buildModelFromUrdf(path)
        data = model.createData()
        n = robot.joint_count
        q, qd, qdd, tau = (rng.uniform(-1, 1, n) for _ in range(4))
        square = [np.empty(n * n) for _ in range(3)]
        vector = np.empty(n)
        q_pin = pinocchio_q(pin, model, rng)
        v_pin, a_pin = rng.uniform(-1, 1, model.nv), rng.uniform(-1, 1, model.nv)
        idd, fdd, minv, id_ = (robot.inverse_dynamics_derivatives, robot.forward_dynamics_derivatives,
                               robot.mass_matrix_inverse, robot.inverse_dynamics)
        id_out, fd_out = (square[0], square[1], vector), (square[0], square[1], square[2])
        rows = [
            ("inverse_dynamics_derivatives", lambda: idd(q, qd, qdd, out=id_out), "computeRNEADerivatives",
             lambda: pin.computeRNEADerivatives(model, data, q_pin, v_pin, a_pin)),
            ("forward_dynamics_derivatives", lambda: fdd(q, qd, tau, out=fd_out), "computeABADerivatives",
             lambda: pin.computeABADerivatives(model, data, q_pin, v_pin, a_pin)),
            ("mass_matrix_inverse", lambda: minv(q, out=square[2]), "computeMinverse",
             lambda: pin.computeMinverse(model, data, q_pin)),
            ("inverse_dynamics_derivatives", lambda: idd(q, qd, qdd, out=id_out), "our inverse_dynamics",
             lambda: id_(q, qd, qdd, out=vector)),
        ]
        for ours_name, ours, pin_name, theirs in rows:
            t_ours, t_pin = side_by_side(ours, theirs)
            print(f"{name:6s} {ours_name + ' / ' + pin_name:58s} {t_ours:8.0f} {t_pin:8.0f} {t_ours / t_pin:6.2f}")

        # one thread's batch against the single call, per state
        states = 256
        Q, QD, X = (rng.uniform(-1, 1, (states, n)) for _ in range(3))
        with RobotBatch(path, 1) as batch:
            out = (np.empty((states, n, n)), np.empty((states, n, n)), np.empty((states, n)))
            t_batch = median_ns(lambda: batch.inverse_dynamics_derivatives(Q, QD, X, out=out), 20, 7) / states
        t_single = median_ns(lambda: idd(q, qd, qdd, out=id_out), 5000, 7)
        print(f"{name:6s} {'batch (1 thread) per state / single call':58s} {t_batch:8.0f} {t_single:8.0f} "
              f"{t_batch / t_single:6.2f}")


def chains():
    lengths = (8, 16, 32, 64, 128, 256, 512)
    print("\nns / n² on chains, median per call")
    print(f"{'computation':30s}" + "".join(f"{n:>8d}" for n in lengths))
    rows = {}
    with tempfile.TemporaryDirectory() as tmp:
        for links in lengths:
            path = pathlib.Path(tmp, f"chain{links}.urdf")
            path.write_text(robot_text(links + 1, seed=links, chain=True))
            robot = vormek.Robot(path)
            n = robot.joint_count
            q, qd = np.full(n, 0.1), np.full(n, 0.2)
            tau = robot.inverse_dynamics(q, qd, qd)
            square = [np.empty(n * n) for _ in range(3)]
            calls = {
                "inverse_dynamics_derivatives": lambda: robot.inverse_dynamics_derivatives(
                    q, qd, qd, out=(square[0], square[1], np.empty(n))),
                "forward_dynamics_derivatives": lambda: robot.forward_dynamics_derivatives(
                    q, qd, tau, out=tuple(square)),
                "mass_matrix_inverse": lambda: robot.mass_matrix_inverse(q, out=square[2]),
            }
            count = max(3, 200000 // (n * n))
            for name, call in calls.items():
                rows.setdefault(name, []).append(median_ns(call, count, 7) / (n * n))
    for name, per in rows.items():
        print(f"{name:30s}" + "".join(f"{v:8.2f}" for v in per))


def main():
    try:
        import pinocchio as pin
    except ImportError:
        sys.exit("pinocchio is not installed (pip install pin)")
    peers(pin)
    chains()


if __name__ == "__main__":
    main()
