"""URDF text builders and a fixture that writes them to files the loaders can read."""

import pytest
from hypothesis import HealthCheck, settings

# Property tests: a short run that draws the same cases every time (CI), and many more cases,
# freshly drawn, with `pytest --hypothesis-profile=long`.
_QUIET = [HealthCheck.too_slow, HealthCheck.function_scoped_fixture]
settings.register_profile("short", max_examples=150, deadline=None, derandomize=True, suppress_health_check=_QUIET)
settings.register_profile("long", max_examples=20_000, deadline=None, suppress_health_check=_QUIET)
settings.load_profile("short")

INERTIAL = ('<inertial><mass value="{mass}"/>'
            '<inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial>')


def link(name, mass=None):
    body = INERTIAL.format(mass=mass) if mass is not None else ""
    return f'<link name="{name}">{body}</link>'


def joint(name, kind, parent, child, xyz=(0, 0, 0), rpy=(0, 0, 0), axis=None):
    """One joint element; numbers are written with repr so the file holds the exact doubles."""
    origin = (f'<origin xyz="{" ".join(repr(float(v)) for v in xyz)}" '
              f'rpy="{" ".join(repr(float(v)) for v in rpy)}"/>')
    extra = ""
    if axis is not None:
        extra += f'<axis xyz="{" ".join(repr(float(v)) for v in axis)}"/>'
    if kind in ("revolute", "prismatic"):
        extra += '<limit lower="-10" upper="10" effort="1" velocity="1"/>'
    return (f'<joint name="{name}" type="{kind}"><parent link="{parent}"/><child link="{child}"/>'
            f"{origin}{extra}</joint>")


def robot_text(*elements, name="test_robot"):
    return f'<robot name="{name}">' + "".join(elements) + "</robot>"


def chain_text(n, root_mass=None):
    """n revolute joints about z, each one unit along x from its parent."""
    parts = [link("l0", root_mass)]
    for i in range(1, n + 1):
        parts.append(link(f"l{i}"))
        parts.append(joint(f"j{i}", "revolute", f"l{i - 1}", f"l{i}", xyz=(1, 0, 0), axis=(0, 0, 1)))
    return robot_text(*parts, name="chain")


@pytest.fixture
def write_urdf(tmp_path):
    """write_urdf(text) -> path of a new file holding the text."""
    counter = iter(range(1_000_000))

    def write(text):
        path = tmp_path / f"robot{next(counter)}.urdf"
        path.write_text(text, encoding="utf-8")
        return path

    return write


@pytest.fixture
def two_link_path(write_urdf):
    """base -j1(revolute z, up 1)-> l1 -j2(revolute z, out 1)-> l2, and base -fixed-> tool."""
    return write_urdf(robot_text(
        link("base"), link("l1"), link("l2"), link("tool"),
        joint("j1", "revolute", "base", "l1", xyz=(0, 0, 1), axis=(0, 0, 1)),
        joint("j2", "revolute", "l1", "l2", xyz=(1, 0, 0), axis=(0, 0, 1)),
        joint("j3", "fixed", "base", "tool", xyz=(0, 1, 0)),
    ))


@pytest.fixture
def floating_path(write_urdf):
    """A massive root with one prismatic joint along x."""
    return write_urdf(robot_text(
        link("base", mass=2.0), link("l1"),
        joint("j1", "prismatic", "base", "l1", xyz=(0, 0, 1), axis=(1, 0, 0)),
    ))
