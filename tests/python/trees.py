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
