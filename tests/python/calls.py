"""Every computation of Robot and FloatingRobot described once, by the kinds of its arguments, for
the runs that call all of them: the property tests, the leak run and the stress run."""

import numpy as np

from vormek import BaseState, IkOptions, Load, Pose, Twist

# Arguments after `base` (FloatingRobot), in signature order. Vectors are named for themselves;
# "out" is the optional output array (or tuple of arrays), whose length OUT gives from n (joint
# count) and m (generalized count).
METHODS = {
    "forward_kinematics": ("q", "target"),
    "jacobian": ("q", "target", "out"),
    "jacobian_derivative": ("q", "qd", "target", "out"),
    "forward_velocity_kinematics": ("q", "qd", "target", "tool"),
    "forward_acceleration_kinematics": ("q", "qd", "qdd", "target"),
    "gravity": ("q", "loads", "out"),
    "inverse_dynamics": ("q", "qd", "qdd", "loads", "out"),
    "forward_dynamics": ("q", "qd", "forces", "loads", "out"),
    "mass_matrix": ("q", "out"),
    "velocity_product_forces": ("q", "qd", "out"),
    "inverse_kinematics": ("q", "target", "desired", "options", "out"),
    "solve_ik": ("q", "target", "desired", "out"),
    "inverse_dynamics_derivatives": ("q", "qd", "qdd", "loads", "out"),
    "forward_dynamics_derivatives": ("q", "qd", "forces", "loads", "out"),
    "mass_matrix_inverse": ("q", "out"),
}

OUT = {
    "jacobian": lambda n, m: 6 * m,
    "jacobian_derivative": lambda n, m: 6 * m,
    "gravity": lambda n, m: m,
    "inverse_dynamics": lambda n, m: m,
    "forward_dynamics": lambda n, m: m,
    "mass_matrix": lambda n, m: m * m,
    "velocity_product_forces": lambda n, m: m,
    "inverse_kinematics": lambda n, m: n,
    "solve_ik": lambda n, m: n,
    # a tuple of lengths for a method that fills a tuple of arrays
    "inverse_dynamics_derivatives": lambda n, m: (m * m, m * m, m),
    "forward_dynamics_derivatives": lambda n, m: (m * m, m * m, m * m),
    "mass_matrix_inverse": lambda n, m: m * m,
}

VECTORS = ("q", "qd", "qdd", "forces")


def methods_of(robot):
    """The computations this robot's class has, in table order."""
    return [name for name in METHODS if hasattr(robot, name)]


def floating(robot):
    return robot.generalized_count != robot.joint_count


def out_length(method, robot):
    return OUT[method](robot.joint_count, robot.generalized_count)


def empty_out(method, robot):
    """A fresh `out` for the method: one array, or a tuple of them."""
    size = out_length(method, robot)
    return tuple(np.empty(k) for k in size) if isinstance(size, tuple) else np.empty(size)


def out_arrays(out):
    """The arrays an `out` argument holds (none for None)."""
    return () if out is None else out if isinstance(out, tuple) else (out,)


def vector_length(name, robot):
    return robot.generalized_count if name == "forces" else robot.joint_count


def random_base(rng):
    return BaseState(Pose(tuple(rng.uniform(-1, 1, 3)), tuple(rng.uniform(0.1, 1, 4))),
                     Twist(tuple(rng.uniform(-1, 1, 3)), tuple(rng.uniform(-1, 1, 3))),
                     Twist(tuple(rng.uniform(-1, 1, 3)), tuple(rng.uniform(-1, 1, 3))))


def valid_arguments(method, robot, rng, with_out=False):
    """(positional arguments, keyword arguments) of a call that succeeds, apart from solver
    outcomes such as inverse kinematics not converging."""
    args, kwargs = [], {}
    if floating(robot):
        args.append(random_base(rng))
    for kind in METHODS[method]:
        if kind in VECTORS:
            args.append(rng.uniform(-1, 1, vector_length(kind, robot)))
        elif kind == "target":
            args.append(int(rng.integers(robot.link_count)))
        elif kind == "desired":
            # a pose the target reaches from near the initial guess, so that the solver converges
            q, target = args[-2], args[-1]
            args.append(robot.forward_kinematics(q + rng.uniform(-0.05, 0.05, q.size), target))
        elif kind == "tool":
            args.append(Pose(tuple(rng.uniform(-1, 1, 3)), tuple(rng.uniform(0.1, 1, 4))))
        elif kind == "options":
            args.append(IkOptions(max_iterations=20))
        elif kind == "loads":
            args.append([Load(int(rng.integers(robot.link_count)), tuple(rng.uniform(-1, 1, 3)),
                              tuple(rng.uniform(-1, 1, 3)))])
        elif kind == "out" and with_out:
            kwargs["out"] = empty_out(method, robot)
    return args, kwargs
