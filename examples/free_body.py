"""A free-floating body tumbling under gravity: forward_dynamics integrated with semi-implicit
Euler steps. Spun mostly about its intermediate principal axis, the body flips over and over
(the tennis-racket effect). Gravity acts at the centre of mass, so the angular momentum about
it stays constant and the linear momentum falls by m·g per second; the printout shows how far
the integrated motion strays from both.

    python examples/free_body.py
"""

import os
import tempfile

import numpy as np
import numpy.typing as npt

import vormek

Vector = npt.NDArray[np.float64]

MASS = 2.0
COM = np.array([0.1, -0.05, 0.2])  # centre of mass in the body frame, away from its origin
URDF = f"""<robot name="brick"><link name="brick"><inertial>
  <origin xyz="{COM[0]} {COM[1]} {COM[2]}"/><mass value="{MASS}"/>
  <inertia ixx="0.05" ixy="0" ixz="0" iyy="0.1" iyz="0" izz="0.13"/></inertial></link></robot>"""
I_COM = np.diag([0.05, 0.1, 0.13])
G = 9.80665


def rotation(q: Vector) -> Vector:
    x, y, z, w = q
    return np.array([[1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)],
                     [2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)],
                     [2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)]])


def turn(q: Vector, omega: Vector, dt: float) -> Vector:
    """q advanced by the world angular velocity omega over dt (exact for constant omega)."""
    angle = np.linalg.norm(omega) * dt
    if angle == 0:
        return q
    axis = omega / np.linalg.norm(omega)
    s, c = np.sin(angle / 2), np.cos(angle / 2)
    ax, ay, az = axis * s
    x, y, z, w = q
    out = np.array([c * x + ax * w + ay * z - az * y,
                    c * y - ax * z + ay * w + az * x,
                    c * z + ax * y - ay * x + az * w,
                    c * w - ax * x - ay * y - az * z])
    unit: Vector = out / np.linalg.norm(out)
    return unit


def momenta(q: Vector, p_dot: Vector, omega: Vector) -> tuple[Vector, Vector]:
    """Linear momentum, and angular momentum about the centre of mass, world axes."""
    R = rotation(q)
    v_com = p_dot + np.cross(omega, R @ COM)
    return MASS * v_com, R @ I_COM @ R.T @ omega


def main(seconds: float = 4.0, dt: float = 1e-4) -> None:
    with tempfile.NamedTemporaryFile("w", suffix=".urdf", delete=False) as f:
        f.write(URDF)
    try:
        body = vormek.FloatingRobot(f.name)
    finally:
        os.unlink(f.name)

    q = np.array([0.0, 0.0, 0.0, 1.0])
    p, p_dot = np.zeros(3), np.array([1.0, 0.0, 4.0])
    omega = np.array([0.05, 6.0, 0.05])  # mostly about the intermediate axis
    linear0, angular0 = momenta(q, p_dot, omega)
    no_joints, no_forces, acceleration = np.empty(0), np.zeros(6), np.empty(6)
    steps = int(round(seconds / dt))
    worst_linear = worst_angular = 0.0
    for k in range(1, steps + 1):
        base = vormek.BaseState(vormek.Pose(tuple(p), tuple(q)), vormek.Twist(tuple(omega), tuple(p_dot)))
        body.forward_dynamics(base, no_joints, no_joints, no_forces, out=acceleration)
        # semi-implicit Euler: velocities first, then the pose with the new velocities
        omega = omega + dt * acceleration[:3]
        p_dot = p_dot + dt * acceleration[3:]
        p = p + dt * p_dot
        q = turn(q, omega, dt)
        linear, angular = momenta(q, p_dot, omega)
        expected_linear = linear0 - np.array([0.0, 0.0, MASS * G * k * dt])
        worst_linear = max(worst_linear, float(np.linalg.norm(linear - expected_linear) / np.linalg.norm(linear0)))
        worst_angular = max(worst_angular, float(np.linalg.norm(angular - angular0) / np.linalg.norm(angular0)))
        if k % int(round(0.5 / dt)) == 0:
            print(f"t = {k * dt:4.1f} s  body y axis in world: {np.round(rotation(q)[:, 1], 3)}  "
                  f"|L| = {np.linalg.norm(angular):.6f}")
    print(f"{steps} steps of {dt} s")
    print(f"largest relative drift of the linear momentum from p0 - m g t: {worst_linear:.2e}")
    print(f"largest relative drift of the angular momentum about the centre of mass: {worst_angular:.2e}")


if __name__ == "__main__":
    main()
