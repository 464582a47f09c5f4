"""Centre of mass, momentum and energy held to the other computations by the identities between
them, on random trees with every joint kind, fixed base (turned and moved) and floating base.
tests/python/test_corpus.py holds them against Pinocchio on real robots."""

import xml.etree.ElementTree as ET

import numpy as np
import pytest

from trees import _rotation, random_tree_text
from vormek import BaseState, FloatingRobot, Pose, Robot, Twist

GRAVITY = np.array([0.0, 0.0, -9.80665])
STEP = 1e-6  # central differences: errors of order STEP² and of rounding / STEP


class Case:
    """A random tree loaded with one base kind, a random state, and its methods with the base
    state put in front on a floating robot."""

    def __init__(self, path, text, seed, floating):
        rng = np.random.default_rng(seed)
        self.floating = floating
        self.robot = (FloatingRobot if floating else Robot)(path)
        self.n, self.m = self.robot.joint_count, self.robot.generalized_count
        self.q, self.qd = rng.uniform(-2, 2, self.n), rng.uniform(-1, 1, self.n)
        self.frame = Pose(tuple(rng.uniform(-1, 1, 3)), tuple(rng.normal(size=4)))
        velocity = rng.uniform(-1, 1, 6) if floating else np.zeros(6)
        self.base = BaseState(self.frame, Twist(velocity[:3], velocity[3:]))
        self.u = np.concatenate([velocity, self.qd]) if floating else self.qd
        if not floating:
            self.robot.set_base_frame(self.frame)
        # (link index, mass, centre of mass in the link frame) of every link with an inertial
        self.links = []
        for element in ET.fromstring(text).findall("link"):
            inertial = element.find("inertial")
            if inertial is not None:
                com = [float(v) for v in inertial.find("origin").get("xyz").split()]
                self.links.append((self.robot.link_id(element.get("name")), float(inertial.find("mass").get("value")),
                                   np.array(com)))

    def __call__(self, method, *args, base=None):
        front = (base or self.base,) if self.floating else ()
        return getattr(self.robot, method)(*front, *args)

    def mass(self):
        return sum(m for _, m, _ in self.links)

    def gradient(self, f, x):
        return np.array([(f(x + STEP * e) - f(x - STEP * e)) / (2 * STEP) for e in np.eye(len(x))]).T


@pytest.fixture(params=[(seed, floating) for seed in range(4) for floating in (False, True)],
                ids=lambda p: f"seed{p[0]}-{'floating' if p[1] else 'fixed'}")
def case(request, tmp_path):
    seed, floating = request.param
    text = random_tree_text(seed, links=10)
    path = tmp_path / "tree.urdf"
    path.write_text(text)
    c = Case(path, text, seed, floating)
    with c.robot:
        yield c


def test_center_of_mass_is_the_mass_weighted_mean_of_the_links(case):
    weighted = np.zeros(3)
    for link, mass, com in case.links:
        pose = case("forward_kinematics", case.q, link)
        weighted += mass * (np.array(pose.translation) + _rotation(pose.rotation_xyzw) @ com)
    c = case("center_of_mass", case.q)
    np.testing.assert_allclose(case.mass() * c, weighted, rtol=0, atol=1e-12 * np.abs(weighted).max())
    assert case("potential_energy", case.q) == pytest.approx(-case.mass() * GRAVITY @ c, rel=1e-13)


def test_jacobian_maps_velocities_and_differentiates_the_center_of_mass(case):
    J = case("center_of_mass_jacobian", case.q).reshape(case.m, 3).T
    np.testing.assert_allclose(J @ case.u, case("center_of_mass_velocity", case.q, case.qd), rtol=0, atol=1e-12)
    joint_columns = case.gradient(lambda q: case("center_of_mass", q), case.q)
    np.testing.assert_allclose(J[:, case.m - case.n:], joint_columns, rtol=0, atol=1e-8)


def test_momentum_matrix_maps_velocities_and_its_linear_rows_are_mass_times_jacobian(case):
    A = case("centroidal_momentum_matrix", case.q).reshape(case.m, 6).T
    h = case("momentum", case.q, case.qd)
    np.testing.assert_allclose(A @ case.u, np.concatenate([h.angular, h.linear]), rtol=0, atol=1e-11)
    J = case("center_of_mass_jacobian", case.q).reshape(case.m, 3).T
    np.testing.assert_allclose(A[3:], case.mass() * J, rtol=0, atol=1e-12)


def test_kinetic_energy_is_half_u_m_u(case):
    M = case("mass_matrix", case.q).reshape(case.m, case.m)
    assert case("kinetic_energy", case.q, case.qd) == pytest.approx(0.5 * case.u @ M @ case.u, rel=1e-12)


def test_free_fall_from_rest_changes_momentum_by_the_weight_alone(case):
    """At rest h = A·u and u = 0, so ḣ = A·u̇: a robot dropped with no joint forces gains linear
    momentum m·g and no angular momentum about its centre of mass."""
    if not case.floating:
        pytest.skip("a fixed base is held by a wrench no method reports")
    at_rest = BaseState(case.frame)
    udot = case("forward_dynamics", case.q, np.zeros(case.n), np.zeros(case.m), base=at_rest)
    rate = case("momentum", case.q, udot[6:], base=BaseState(case.frame, Twist(udot[:3], udot[3:6])))
    np.testing.assert_allclose(rate.angular, 0, atol=1e-10)
    np.testing.assert_allclose(rate.linear, case.mass() * GRAVITY, rtol=1e-10)


def test_potential_energy_gradient_is_the_gravity_forces(case):
    gravity = case("gravity", case.q)
    joints = case.gradient(lambda q: case("potential_energy", q), case.q)
    np.testing.assert_allclose(joints, gravity[case.m - case.n:], rtol=0, atol=1e-7)
    if not case.floating:
        return
    # the base: a small turn about each world axis through the base origin, then a small shift
    p = np.array(case.frame.translation)
    f = np.array(case.frame.rotation_xyzw) / np.linalg.norm(case.frame.rotation_xyzw)

    def energy(x):
        angle = np.linalg.norm(x[:3])
        axis = x[:3] / angle if angle else np.zeros(3)
        w, v = np.cos(angle / 2), np.sin(angle / 2) * axis  # the turn, applied after the frame's own
        turned = np.append(w * f[:3] + f[3] * v + np.cross(v, f[:3]), w * f[3] - v @ f[:3])
        return case("potential_energy", case.q, base=BaseState(Pose(tuple(p + x[3:]), tuple(turned))))

    np.testing.assert_allclose(case.gradient(energy, np.zeros(6)), gravity[:6], rtol=0, atol=1e-7)
