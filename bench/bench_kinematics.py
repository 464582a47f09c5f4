"""Per-call cost of the kinematics methods from Python on the 7-DOF arm, with preallocated
`out`, against numpy.add(a, b, out=c) on 7-element arrays and Pinocchio's computeJointJacobian,
all measured in the same run (medians of interleaved rounds; the machine is shared).

Inverse kinematics: a solve that converges in k steps should cost no more than the Python
overhead of one forward_kinematics call plus k core iterations. The core iteration is measured
here from Python as (t(200 iterations) − t(100 iterations)) / 100 on a goal out of reach.

    .venv/bin/python bench/bench_kinematics.py
"""

import os
import statistics
import tempfile

import numpy as np

import vormek
from bench_forward_kinematics import median_ns, seven_dof_arm


def rounds(cases, calls=20000, repeats=15, n=5):
    """Median over n interleaved rounds of each case's median ns per call."""
    runs = {name: [] for name in cases}
    for _ in range(n):
        for name, fn in cases.items():
            runs[name].append(median_ns(fn, calls, repeats))
    return {name: statistics.median(values) for name, values in runs.items()}


def main() -> None:
    text = seven_dof_arm()
    with tempfile.NamedTemporaryFile("w", suffix=".urdf", delete=False) as f:
        f.write(text)
        path = f.name
    robot = vormek.Robot(path)
    q = np.linspace(-1.0, 1.0, 7)
    qd = np.linspace(0.5, -0.5, 7)
    target = 7
    J, Jdot = np.empty(42), np.empty(42)
    a, b, c = np.ones(7), np.ones(7), np.empty(7)
    jacobian, jacobian_derivative = robot.jacobian, robot.jacobian_derivative
    velocity, fk, add = robot.forward_velocity_kinematics, robot.forward_kinematics, np.add

    cases = {
        "numpy.add(a, b, out=c)": lambda: add(a, b, out=c),
        "jacobian(q, target, out=J)": lambda: jacobian(q, target, out=J),
        "jacobian_derivative(q, qd, target, out=J)": lambda: jacobian_derivative(q, qd, target, out=Jdot),
        "forward_velocity_kinematics(q, qd, target)": lambda: velocity(q, qd, target),
        "forward_kinematics(q, target)": lambda: fk(q, target),
    }
    try:
        import pinocchio as pin

        model = pin.buildModelFromUrdf(path)
        data = model.createData()
        joint_jacobian, tip = pin.computeJointJacobian, model.njoints - 1
        cases["pinocchio computeJointJacobian(model, data, q, tip)"] = lambda: joint_jacobian(model, data, q, tip)
    except ImportError:
        print("pinocchio not installed: no peer figure")
    os.unlink(path)

    t = rounds(cases)
    t_add = t["numpy.add(a, b, out=c)"]
    for name, ns in t.items():
        print(f"{name:52s}: {ns:8.1f} ns/call  {ns / t_add:5.2f}× numpy.add")
    targets = [("jacobian(q, target, out=J)", "numpy.add(a, b, out=c)", 1.2),
               ("jacobian(q, target, out=J)", "pinocchio computeJointJacobian(model, data, q, tip)", 0.5),
               ("jacobian_derivative(q, qd, target, out=J)", "numpy.add(a, b, out=c)", 1.5),
               ("forward_velocity_kinematics(q, qd, target)", "numpy.add(a, b, out=c)", 1.5)]
    for ours, theirs, bound in targets:
        if theirs in t:
            ratio = t[ours] / t[theirs]
            print(f"{ours} / {theirs}: {ratio:.2f} (target ≤ {bound}) {'ok' if ratio <= bound else 'MISSED'}")

    # inverse kinematics: a reachable goal from a nearby guess, and the core cost of one iteration
    ik, options = robot.inverse_kinematics, vormek.IkOptions
    goal = fk(q, target)
    start = q + 0.05
    out = np.empty(7)
    steps = next(k for k in range(1, 101) if _solves(ik, start, target, goal, options(max_iterations=k), out))
    far = vormek.Pose(translation=(3.0, 1.0, 0.5))

    def unreachable(budget):
        o = options(max_iterations=budget)

        def call():
            try:
                ik(start, target, far, o, out)
            except vormek.SolverError:
                pass
        return call

    ik_times = rounds({"solve": lambda: ik(start, target, goal, None, out), "fk": lambda: fk(q, target),
                       "100": unreachable(100), "200": unreachable(200)}, calls=2000, repeats=9)
    t_iteration = (ik_times["200"] - ik_times["100"]) / 100
    budget = ik_times["fk"] + steps * t_iteration
    print(f"one inverse-kinematics iteration (from Python)  : {t_iteration:8.1f} ns")
    print(f"inverse_kinematics, converging in {steps} steps      : {ik_times['solve']:8.1f} ns/call")
    print(f"forward_kinematics call + {steps} core iterations    : {budget:8.1f} ns "
          f"-> ratio {ik_times['solve'] / budget:.2f} (target ≤ 1)")


def _solves(ik, start, target, goal, options, out):
    try:
        ik(start, target, goal, options, out)
        return True
    except vormek.SolverError:
        return False


if __name__ == "__main__":
    main()
