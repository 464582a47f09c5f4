"""Seeded random URDF trees (every joint kind, rotated inertial frames, random branching) and the
map between our coordinates and Pinocchio's, for identity tests and cross-checks."""

import numpy as np

KINDS = ("revolute", "continuous", "prismatic", "fixed")


def _triple(rng, scale):
    return " ".join(repr(float(v)) for v in scale * rng.uniform(-1.0, 1.0, 3))


def _inertial(rng):
    # Principal moments that satisfy the triangle inequality strictly.
    a, b = (float(v) for v in rng.uniform(0.1, 1.0, 2))
    c = abs(a - b) + (a + b - abs(a - b)) * float(rng.uniform(0.1, 0.9))
    return (f'<inertial><origin xyz="{_triple(rng, 0.3)}" rpy="{_triple(rng, 3.0)}"/>'
            f'<mass value="{float(rng.uniform(0.3, 3.0))!r}"/>'
            f'<inertia ixx="{a!r}" ixy="0" ixz="0" iyy="{b!r}" iyz="0" izz="{c!r}"/></inertial>')


def random_tree_text(seed, links=12, root_mass=True, chain=False, with_fixed=True):
    """A URDF robot of `links` links (root included) named l0..l{links-1}, joints j1.."""
    rng = np.random.default_rng(seed)
    parts = [f'<robot name="random{seed}">',
             f'<link name="l0">{_inertial(rng) if root_mass else ""}</link>']
    for i in range(1, links):
        parent = i - 1 if chain else int(rng.integers(0, i))
        kind = KINDS[int(rng.integers(0, 4 if with_fixed else 3))]
        parts.append(f'<link name="l{i}">{_inertial(rng)}</link>')
        parts.append(
            f'<joint name="j{i}" type="{kind}"><parent link="l{parent}"/><child link="l{i}"/>'
            f'<origin xyz="{_triple(rng, 0.5)}" rpy="{_triple(rng, 3.0)}"/>'
            f'<axis xyz="{_triple(rng, 1.0)}"/>'
            '<limit lower="-3" upper="3" effort="10" velocity="10"/></joint>')
    parts.append("</robot>")
    return "".join(parts)


class PinocchioMap:
    """Coordinates of a Pinocchio model built from the same URDF, matched to ours by joint name.

    Pinocchio orders joints depth-first and gives a continuous joint two position entries
    (cos q, sin q) but one velocity entry; ours are breadth-first with one entry per joint.
    `idx_v[k]` is the Pinocchio velocity index of our DOF k, `joint_names` our DOF order.
    With `floating`, Pinocchio's first joint is the free flyer (7 positions, 6 velocities).
    """

    def __init__(self, pin, pmodel, joint_names):
        self.pin, self.model = pin, pmodel
        self.idx_q, self.idx_v, self.continuous = [], [], []
        for name in joint_names:
            jid = pmodel.getJointId(name)
            self.idx_q.append(pmodel.joints[jid].idx_q)
            self.idx_v.append(pmodel.joints[jid].idx_v)
            self.continuous.append(pmodel.joints[jid].nq == 2)
        self.idx_v = np.array(self.idx_v, dtype=int)

    def q(self, q, base_q=None):
        """Pinocchio configuration for our q (base_q: 7 free-flyer entries, if floating)."""
        out = self.pin.neutral(self.model)
        if base_q is not None:
            out[:7] = base_q
        for k, value in enumerate(q):
            i = self.idx_q[k]
            if self.continuous[k]:
                out[i], out[i + 1] = np.cos(value), np.sin(value)
            else:
                out[i] = value
        return out

    def v(self, v, base_v=None):
        """Pinocchio velocity-like vector for our joint-space vector (base_v: its 6 base entries)."""
        out = np.zeros(self.model.nv)
        if base_v is not None:
            out[:6] = base_v
        out[self.idx_v] = v
        return out

    def joint_part(self, x):
        """Our DOF order taken out of a Pinocchio velocity-like vector."""
        return np.asarray(x)[self.idx_v]


def dof_joint_names(urdf_text):
    """Names of the non-fixed joints in our DOF order: breadth-first from the root link, the
    children of a link in the document order of their joints."""
    import xml.etree.ElementTree as ET

    root = ET.fromstring(urdf_text)
    joints = root.findall("joint")
    children = {}
    child_links = set()
    for j in joints:
        parent, child = j.find("parent").get("link"), j.find("child").get("link")
        children.setdefault(parent, []).append(j)
        child_links.add(child)
    (root_link,) = [l.get("name") for l in root.findall("link") if l.get("name") not in child_links]
    names, queue = [], [root_link]
    while queue:
        link_name = queue.pop(0)
        for j in children.get(link_name, []):
            if j.get("type") != "fixed":
                names.append(j.get("name"))
            queue.append(j.find("child").get("link"))
    return names


def _rotation(quaternion_xyzw):
    x, y, z, w = np.asarray(quaternion_xyzw, dtype=float) / np.linalg.norm(quaternion_xyzw)
    return np.array([[1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)],
                     [2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)],
                     [2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)]])


class FreeFlyerMap:
    """Our floating-base layout against Pinocchio's free flyer, written once.

    Ours: base velocity u = [ω; ṗ] and acceleration [α; p̈] in world axes, p the root origin,
    p̈ its classical acceleration; base forces [n; f] in world axes, torque about the root origin.
    Pinocchio: configuration (p, quaternion x y z w); velocity in the root's own axes, linear
    first: ν = [Rᵀṗ; Rᵀω] = T·u with T = [[0, Rᵀ], [Rᵀ, 0]]; its acceleration is dν/dt, whose
    linear part is Rᵀp̈ − (Rᵀω) × (Rᵀṗ). Forces and matrices follow from power (τ·ν = ours·u):
    τ_ours = Tᵀ·τ_pin, M_ours = Tᵀ·M_pin·T, and a world Jacobian J_ours = P·J_pin·T where P
    swaps Pinocchio's [linear; angular] rows (LOCAL_WORLD_ALIGNED) into ours.
    Checked against Pinocchio itself: its root velocity and classical acceleration in
    LOCAL_WORLD_ALIGNED come out as ours, and kinetic energy agrees through `matrix`.
    """

    def __init__(self, joint_map, translation, rotation_xyzw):
        self.map = joint_map
        self.R = _rotation(rotation_xyzw)
        self.base_q = np.concatenate([translation, np.asarray(rotation_xyzw) / np.linalg.norm(rotation_xyzw)])
        n = len(joint_map.idx_v)
        # self.T is Tᵀ: it takes Pinocchio's velocities, forces and rows into ours (T is orthogonal).
        self.T = np.zeros((6 + n, joint_map.model.nv))
        self.T[:3, 3:6] = self.R    # ω = R·ω_local
        self.T[3:6, 0:3] = self.R   # ṗ = R·v_local
        self.T[6 + np.arange(n), joint_map.idx_v] = 1.0

    def q(self, q):
        return self.map.q(q, base_q=self.base_q)

    def v(self, base_velocity, qd):
        omega, pdot = np.asarray(base_velocity[:3]), np.asarray(base_velocity[3:])
        return self.map.v(qd, base_v=np.concatenate([self.R.T @ pdot, self.R.T @ omega]))

    def a(self, base_velocity, base_acceleration, qdd):
        omega_l, pdot_l = self.R.T @ np.asarray(base_velocity[:3]), self.R.T @ np.asarray(base_velocity[3:])
        alpha, pddot = np.asarray(base_acceleration[:3]), np.asarray(base_acceleration[3:])
        return self.map.v(qdd, base_v=np.concatenate([self.R.T @ pddot - np.cross(omega_l, pdot_l),
                                                      self.R.T @ alpha]))

    def force(self, tau_pin):
        """Pinocchio generalized force -> ours (base torque, base force, joints)."""
        return self.T @ np.asarray(tau_pin)

    def matrix(self, m_pin):
        return self.T @ np.asarray(m_pin) @ self.T.T

    def acceleration(self, base_velocity, a_pin):
        """Pinocchio generalized acceleration -> ours [α; p̈; qdd]."""
        a_pin = np.asarray(a_pin)
        omega_l, pdot_l = self.R.T @ np.asarray(base_velocity[:3]), self.R.T @ np.asarray(base_velocity[3:])
        return np.concatenate([self.R @ a_pin[3:6], self.R @ (a_pin[:3] + np.cross(omega_l, pdot_l)),
                               self.map.joint_part(a_pin)])

    def jacobian(self, j_pin):
        """Pinocchio LOCAL_WORLD_ALIGNED 6×nv frame Jacobian -> ours, 6×(6+n), angular rows first."""
        j_pin = np.asarray(j_pin)
        return np.vstack([j_pin[3:], j_pin[:3]]) @ self.T.T


def seven_dof_arm_text():
    """The arm of the benchmarks: seven revolute joints about alternating z and y axes, 0.2 m
    apart and each turned 0.1 rad about z, limits ±2.9; the tip is link 7."""
    axes = ["0 0 1", "0 1 0"] * 3 + ["0 0 1"]
    parts = ['<robot name="arm7"><link name="base"/>']
    for i, axis in enumerate(axes, start=1):
        parent = "base" if i == 1 else f"link{i - 1}"
        parts.append(f'<link name="link{i}"/><joint name="joint{i}" type="revolute"><parent link="{parent}"/>'
                     f'<child link="link{i}"/><origin xyz="0 0 0.2" rpy="0 0 0.1"/><axis xyz="{axis}"/>'
                     '<limit lower="-2.9" upper="2.9" effort="80" velocity="2"/></joint>')
    parts.append("</robot>")
    return "".join(parts)
