"""Robot and FloatingRobot kinematics from Python: `out` handling, the order of the binding
steps, Jacobians and their derivative against Pinocchio, and inverse kinematics."""

import math
import pathlib
import xml.etree.ElementTree as ET

import numpy as np
import pytest

from trees import FreeFlyerMap, PinocchioMap, dof_joint_names, random_tree_text, seven_dof_arm_text
from vormek import BaseState, FloatingRobot, IkOptions, Pose, Robot, SolverError, Twist

NAN = float("nan")
ROBOTS = pathlib.Path(__file__).resolve().parents[2] / ".venv/lib/python3.11/site-packages/cmeel.prefix/share/example-robot-data/robots"


@pytest.fixture
def arm(write_urdf):
    return Robot(write_urdf(seven_dof_arm_text()))


# ---- out= ----------------------------------------------------------------------------------------

# method name -> (call(robot, q, target, out), result length)
METHODS = {
    "jacobian": (lambda r, q, target, out: r.jacobian(q, target, out=out), 42),
    "jacobian_derivative": (lambda r, q, target, out: r.jacobian_derivative(q, np.full(len(q), 0.3), target, out=out), 42),
    "inverse_kinematics": (lambda r, q, target, out: r.inverse_kinematics(q, target, Pose((0.1, 0.2, 1.0)), out=out), 7),
}


@pytest.mark.parametrize("method", METHODS)
@pytest.mark.parametrize("case, kind, message", [
    ("q itself or a view of it", ValueError, "The given array is already borrowed"),
    ("shifted over q", ValueError, "The given array is already borrowed"),
    ("read-only", ValueError, "The given array is not writeable"),
    ("one element short", ValueError, "out must contain exactly {length} elements"),
    ("float32", TypeError, "'out'"),
    ("strided", ValueError, "out must be a contiguous float64 array"),
    ("bad target", ValueError, "invalid link id 8"),
    ("q too long", ValueError, "expected 7 elements in {label}, found 8"),
])
def test_out_failures_leave_out_untouched(arm, method, case, kind, message):
    call, length = METHODS[method]
    q, target = np.linspace(-0.5, 0.5, 7), 7
    out = np.full(length, 7.0)
    if case == "q itself or a view of it":
        out = np.linspace(-0.5, 0.5, length)
        q = out[:7]
    elif case == "shifted over q":
        buffer = np.linspace(-0.5, 0.5, length + 1)
        q, out = buffer[1:8], buffer[:length]
    elif case == "read-only":
        out.flags.writeable = False
    elif case == "one element short":
        out = out[:-1]
    elif case == "float32":
        out = out.astype(np.float32)
    elif case == "strided":
        out = np.full(2 * length, 7.0)[::2]
    elif case == "bad target":
        target = 8
    elif case == "q too long":
        q = np.zeros(8)
    before = out.copy()
    with pytest.raises(kind) as info:
        call(arm, q, target, out)
    label = "initial_q" if method == "inverse_kinematics" else "q"
    assert message.format(length=length, label=label) in str(info.value)
    np.testing.assert_array_equal(out, before)


@pytest.mark.parametrize("method", METHODS)
def test_out_is_returned_and_filled(arm, method):
    call, length = METHODS[method]
    q = np.linspace(-0.5, 0.5, 7)
    out = np.full(length, 7.0)
    assert call(arm, q, 7, out) is out
    np.testing.assert_array_equal(out, call(arm, q, 7, None))
