"""What the extension module and the package expose: names, classes, exceptions, signatures."""

import _vormek
import pytest

import vormek

NAMES = ["Pose", "Twist", "BaseState", "Load", "IkOptions", "Robot", "FloatingRobot",
         "VormekError", "ModelError", "SolverError", "PanicError"]
CLASSES = NAMES[:7]
EXCEPTIONS = NAMES[7:]


def test_module_and_package_export_the_same_objects():
    assert _vormek.__all__ == NAMES
    assert vormek.__all__ == NAMES
    assert _vormek.__doc__ == ""
    for name in NAMES:
        assert getattr(vormek, name) is getattr(_vormek, name)
    assert vormek.Robot is _vormek.Robot


@pytest.mark.parametrize("name", CLASSES)
def test_classes_live_in_the_package(name):
    cls = getattr(_vormek, name)
    assert cls.__module__ == "vormek"
    assert cls.__doc__ is None


def test_exception_hierarchy():
    for name in EXCEPTIONS:
        assert getattr(_vormek, name).__module__ == "_vormek"
    assert issubclass(vormek.VormekError, RuntimeError)
    for name in EXCEPTIONS[1:]:
        assert getattr(vormek, name).__bases__ == (vormek.VormekError,)
    assert not issubclass(ValueError, vormek.VormekError)
    assert vormek.VormekError.__doc__ is None


@pytest.mark.parametrize("cls, signature", [
    (vormek.Pose, "(translation=..., rotation_xyzw=...)"),
    (vormek.Twist, "(angular=..., linear=...)"),
    (vormek.BaseState, "(frame=None, velocity=None, acceleration=None)"),
    (vormek.Load, "(link_id, torque=..., force=...)"),
    (vormek.IkOptions, "(max_iterations=None, translation_tolerance=1.0e-6, rotation_tolerance=1.0e-6, "
                       "damping=1.0e-3, max_step_norm=0.5)"),
    (vormek.Robot, "(path)"),
    (vormek.FloatingRobot, "(path)"),
])
def test_constructor_signatures(cls, signature):
    assert cls.__text_signature__ == signature


COMMON_METHODS = {
    "from_urdf": "($cls, path)",
    "close": "($self)",
    "__enter__": "($self)",
    "__exit__": "($self, _exc_type, _exc_value, _traceback)",
    "link_id": "($self, name)",
}


@pytest.mark.parametrize("cls, methods", [
    (vormek.Robot, {**COMMON_METHODS, "set_base_frame": "($self, frame)",
                    "forward_kinematics": "($self, q, target)"}),
    (vormek.FloatingRobot, {**COMMON_METHODS, "forward_kinematics": "($self, base, q, target)"}),
])
def test_method_signatures(cls, methods):
    for name, signature in methods.items():
        method = getattr(cls, name)
        assert method.__text_signature__ == signature, name
        assert method.__doc__ is None, name
    for name in ("name", "joint_count", "generalized_count", "link_count"):
        assert isinstance(cls.__dict__[name], type(vormek.Pose.translation)), name


def test_floating_robot_has_no_base_frame_setter():
    assert not hasattr(vormek.FloatingRobot, "set_base_frame")
