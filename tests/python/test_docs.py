"""Every public class, method and property of both extension modules is explained in its stub, so
that help() on the stubs and an IDE read alike. The classes of _vormek, their constructors and the
members they were first published with show only their text signature at run time (__doc__ None);
every member added since carries its stub's explanation at run time too."""

import ast
import inspect
import pathlib

import _vormek
import vormek
from vormek import _batch

STUBS = {_vormek: pathlib.Path(vormek.__file__).with_name("_vormek.pyi"),
         _batch: pathlib.Path(vormek.__file__).with_name("_batch.pyi")}
ROBOT = {"from_urdf", "close", "__enter__", "__exit__", "name", "joint_count", "generalized_count", "link_count",
         "link_id", "forward_kinematics", "jacobian", "jacobian_derivative", "forward_velocity_kinematics",
         "forward_acceleration_kinematics", "gravity", "inverse_dynamics", "forward_dynamics", "mass_matrix",
         "velocity_product_forces"}
SIGNATURE_ONLY = {
    "Pose": {"translation", "rotation_xyzw"},
    "Twist": {"angular", "linear"},
    "BaseState": {"frame", "velocity", "acceleration"},
    "Load": {"link_id", "torque", "force"},
    "IkOptions": {"max_iterations", "translation_tolerance", "rotation_tolerance", "damping", "max_step_norm"},
    "Robot": ROBOT | {"set_base_frame", "inverse_kinematics"},
    "FloatingRobot": ROBOT,
}


def _public(name):
    return not name.startswith("_") or name in ("__enter__", "__exit__")


def _same(runtime, stub):
    """The stub may wrap the lines differently."""
    return runtime is not None and " ".join(runtime.split()) == " ".join(stub.split())


def test_every_public_member_is_explained_in_its_stub_and_added_ones_at_run_time_too():
    explained = 0
    for module, stub in STUBS.items():
        classes = {node.name: node for node in ast.parse(stub.read_text()).body if isinstance(node, ast.ClassDef)}
        for name in module.__all__:
            cls, node = getattr(module, name), classes[name]
            text = ast.get_docstring(node)
            assert text, name
            assert cls.__doc__ is None if module is _vormek else _same(cls.__doc__, text), name
            members = {item.name: item for item in node.body if isinstance(item, ast.FunctionDef) and _public(item.name)}
            assert set(members) == {m for m in vars(cls) if _public(m)}, name
            for member, item in members.items():
                text = ast.get_docstring(item)
                assert text and text.strip(), f"{name}.{member}"
                runtime = inspect.getattr_static(cls, member).__doc__
                if module is _vormek and member in SIGNATURE_ONLY.get(name, ()):
                    assert runtime is None, f"{name}.{member}"
                else:
                    assert _same(runtime, text), f"{name}.{member}"
                    explained += 1
    assert explained > 30
