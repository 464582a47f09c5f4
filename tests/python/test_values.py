"""The value classes: construction, conversion errors, immutability, equality and the Pose algebra."""

import math
import operator
import pickle

import numpy as np
import pytest

from vormek import BaseState, IkOptions, Load, Pose, Twist

NAN = float("nan")


def test_defaults():
    pose = Pose()
    assert pose.translation == (0.0, 0.0, 0.0)
    assert pose.rotation_xyzw == (0.0, 0.0, 0.0, 1.0)
    twist = Twist()
    assert twist.angular == (0.0, 0.0, 0.0) and twist.linear == (0.0, 0.0, 0.0)
    state = BaseState()
    assert state.frame == Pose() and state.velocity == Twist() and state.acceleration == Twist()
    load = Load(3)
    assert (load.link_id, load.torque, load.force) == (3, (0.0, 0.0, 0.0), (0.0, 0.0, 0.0))
    options = IkOptions()
    assert (options.max_iterations, options.translation_tolerance, options.rotation_tolerance,
            options.damping, options.max_step_norm) == (100, 1e-6, 1e-6, 1e-3, 0.5)


def test_fields_are_fresh_float_tuples_and_the_quaternion_is_kept_as_given():
    pose = Pose((1, 2, 3), np.array([0, 0, 0, 2], dtype=np.int32))
    assert pose.rotation_xyzw == (0.0, 0.0, 0.0, 2.0)
    assert all(type(v) is float for v in pose.translation + pose.rotation_xyzw)
    assert pose.translation is not pose.translation
    assert Pose(rotation_xyzw=(0, 0, 0, 0)).rotation_xyzw == (0.0, 0.0, 0.0, 0.0)
    twist = Twist(linear=[4, 5, 6], angular=(1.5, 2.5, 3.5))
    assert (twist.angular, twist.linear) == ((1.5, 2.5, 3.5), (4.0, 5.0, 6.0))
    load = Load(7, force=(1, 2, 3), torque=(4, 5, 6))
    assert (load.torque, load.force) == ((4.0, 5.0, 6.0), (1.0, 2.0, 3.0))


def test_base_state_keeps_copies_and_hands_out_new_poses():
    frame = Pose((1, 2, 3))
    velocity = Twist((1, 0, 0))
    state = BaseState(frame, acceleration=velocity)
    assert state.frame == frame and state.frame is not frame
    assert state.frame is not state.frame
    assert state.acceleration == velocity and state.velocity == Twist()


def test_values_made_after_others_were_dropped_leave_the_live_ones_alone():
    # dropped Poses and Twists are reused for later ones: more than are ever kept, dropped in between
    made = [(cls((i, 0, 0)), i) for i in range(60) for cls in (Pose, Twist)]
    del made[::3]
    made += [(cls((i, 0, 0)), i) for i in range(60, 120) for cls in (Pose, Twist)]
    assert all((v.translation if isinstance(v, Pose) else v.angular) == (i, 0, 0) for v, i in made)
    assert len({id(v) for v, _ in made}) == len(made)


@pytest.mark.parametrize("call, kind, message", [
    (lambda: Pose(rotation_xyzw=(0, 0, 1)), ValueError, "expected a sequence of length 4 (got 3)"),
    (lambda: Pose(translation=(0, 0)), ValueError, "expected a sequence of length 3 (got 2)"),
    (lambda: Twist(linear=(0, 0, 0, 0)), ValueError, "expected a sequence of length 3 (got 4)"),
    (lambda: Load(0, force=()), ValueError, "expected a sequence of length 3 (got 0)"),
])
def test_wrong_lengths(call, kind, message):
    with pytest.raises(kind) as info:
        call()
    assert str(info.value) == message


@pytest.mark.parametrize("call, argument", [
    (lambda: Pose(translation=5), "translation"),
    (lambda: Pose(rotation_xyzw={1, 2, 3, 4}), "rotation_xyzw"),
    (lambda: Pose(translation=(0, "1", 2)), "translation"),
    (lambda: Pose((0, 0, 0), (0, 0, None, 1)), "rotation_xyzw"),
    (lambda: Twist(angular=(0, [], 0)), "angular"),
    (lambda: Twist(linear=1.0), "linear"),
    (lambda: Load(0, torque=(0, 0, "x")), "torque"),
    (lambda: Load(0, force=None), "force"),
    (lambda: Load(1.0), "link_id"),
    (lambda: Load("1"), "link_id"),
    (lambda: BaseState(frame=Twist()), "frame"),
    (lambda: BaseState(velocity=Pose()), "velocity"),
    (lambda: BaseState(None, None, Pose()), "acceleration"),
    (lambda: IkOptions(translation_tolerance=None), "translation_tolerance"),
    (lambda: IkOptions(rotation_tolerance="x"), "rotation_tolerance"),
    (lambda: IkOptions(damping=[1.0]), "damping"),
    (lambda: IkOptions(max_step_norm=None), "max_step_norm"),
    # the reals are converted before the iteration count
    (lambda: IkOptions(max_iterations=0, damping="x"), "damping"),
    (lambda: IkOptions(max_iterations=True, max_step_norm="x"), "max_step_norm"),
])
def test_conversion_errors_name_the_argument(call, argument):
    with pytest.raises(TypeError, match=f"'{argument}'"):
        call()


@pytest.mark.parametrize("cls, args, kwargs, message", [
    (Pose, (), {"x": 1}, "Pose() got an unexpected keyword argument 'x'"),
    (Pose, ((0, 0, 0),), {"translation": (0, 0, 0)},
     "argument for Pose() given by name ('translation') and position (1)"),
    (Twist, ((0, 0, 0),) * 3, {}, "Twist() takes at most 2 arguments (3 given)"),
    (Load, (), {"force": (0, 0, 0)}, "Load() missing required argument 'link_id' (pos 1)"),
    (BaseState, (), {"frame": None, "velocity": None, "acceleration": None, "jerk": None},
     "BaseState() got an unexpected keyword argument 'jerk'"),
    (IkOptions, (1, 1, 1, 1, 1, 1), {}, "IkOptions() takes at most 5 arguments (6 given)"),
])
def test_binding_errors(cls, args, kwargs, message):
    with pytest.raises(TypeError) as info:
        cls(*args, **kwargs)
    assert str(info.value) == message


@pytest.mark.parametrize("link_id, kind", [(-1, OverflowError), (2**64, OverflowError),
                                           (np.uint8(9), None), (10**6, None)])
def test_load_link_id(link_id, kind):
    if kind is None:
        assert Load(link_id).link_id == int(link_id)
    else:
        with pytest.raises(kind):
            Load(link_id)


@pytest.mark.parametrize("value", [True, False, 2.0, "3", 2**70, [1]])
def test_max_iterations_must_be_an_integer(value):
    with pytest.raises(TypeError) as info:
        IkOptions(max_iterations=value)
    assert str(info.value) == "max_iterations must be an integer"


@pytest.mark.parametrize("value", [0, -1, -(2**62)])
def test_max_iterations_must_be_positive(value):
    with pytest.raises(ValueError) as info:
        IkOptions(value)
    assert str(info.value) == "max_iterations must be greater than zero"


def test_ik_options_conversions():
    assert IkOptions(None).max_iterations == 100
    assert IkOptions(np.int64(5)).max_iterations == 5
    assert IkOptions(2**63 - 1).max_iterations == 2**63 - 1
    options = IkOptions(translation_tolerance=-1, rotation_tolerance=np.float32(0.25), damping=2,
                        max_step_norm=NAN)
    assert options.translation_tolerance == -1.0 and type(options.translation_tolerance) is float
    assert options.rotation_tolerance == 0.25
    assert options.damping == 2.0
    assert math.isnan(options.max_step_norm)


SAMPLES = [
    lambda: Pose((1, 2, 3), (0, 0, 0, 1)),
    lambda: Twist((1, 2, 3), (4, 5, 6)),
    lambda: BaseState(Pose((1, 2, 3)), Twist((1, 0, 0))),
    lambda: Load(2, (1, 2, 3), (4, 5, 6)),
    lambda: IkOptions(7, 1e-3),
]


@pytest.mark.parametrize("make", SAMPLES)
def test_values_are_immutable_unhashable_and_unpicklable(make):
    value = make()
    fields = [name for name, attr in vars(type(value)).items() if type(attr).__name__ == "getset_descriptor"]
    assert fields
    for name in fields + ["other"]:
        with pytest.raises(AttributeError):
            setattr(value, name, getattr(value, name, 0))
        with pytest.raises(AttributeError):
            delattr(value, name)
    with pytest.raises(TypeError):
        hash(value)
    for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
        with pytest.raises(TypeError):
            pickle.dumps(value, protocol)
    assert repr(value) == object.__repr__(value)


@pytest.mark.parametrize("make", SAMPLES)
def test_equality_only(make):
    a, b = make(), make()
    assert a == b and not a != b
    assert not a == object() and a != object()
    for compare in (operator.lt, operator.le, operator.gt, operator.ge):
        with pytest.raises(TypeError):
            compare(a, b)


@pytest.mark.parametrize("a, b, equal", [
    (Pose((0, 0, 0)), Pose((-0.0, 0, 0)), True),
    (Pose((NAN, 0, 0)), Pose((NAN, 0, 0)), False),
    (Pose(rotation_xyzw=(0, 0, 0, 1)), Pose(rotation_xyzw=(0, 0, 0, -1)), False),
    (Pose(rotation_xyzw=(0, 0, 0, 2)), Pose(), False),
    (Twist((1, 0, 0)), Twist(linear=(1, 0, 0)), False),
    (Twist(linear=(0, 0, 1)), Twist(linear=(0, 0, 1.0000000000000002)), False),
    (BaseState(Pose((1, 0, 0))), BaseState(Pose((1.0, 0.0, 0.0))), True),
    (BaseState(acceleration=Twist((NAN, 0, 0))), BaseState(acceleration=Twist((NAN, 0, 0))), False),
    (BaseState(velocity=Twist((1, 0, 0))), BaseState(acceleration=Twist((1, 0, 0))), False),
    (Load(1), Load(2), False),
    (Load(1, force=(0, 0, -0.0)), Load(1), True),
    (Load(1, torque=(0, 0, 1)), Load(1, force=(0, 0, 1)), False),
    (IkOptions(), IkOptions(100, 1e-6, 1e-6, 1e-3, 0.5), True),
    (IkOptions(max_step_norm=NAN), IkOptions(max_step_norm=NAN), False),
    (IkOptions(max_iterations=99), IkOptions(), False),
    (IkOptions(damping=0.0), IkOptions(damping=-0.0), True),
])
def test_field_by_field_float_equality(a, b, equal):
    assert (a == b) is equal
    assert (a != b) is not equal
    assert (b == a) is equal


def test_equality_across_classes_is_false():
    assert (Pose() == Twist()) is False
    assert (Pose() != BaseState()) is True
    assert (Twist() == (0.0, 0.0, 0.0)) is False


def _random_transform(rng):
    rotation, upper = np.linalg.qr(rng.normal(size=(3, 3)))
    rotation = rotation * np.sign(np.diag(upper))
    if np.linalg.det(rotation) < 0:
        rotation[:, 0] *= -1
    T = np.eye(4)
    T[:3, :3], T[:3, 3] = rotation, rng.normal(size=3)
    return T


def test_pose_algebra_matches_homogeneous_matrices():
    rng = np.random.default_rng(7)
    for _ in range(50):
        A, B = _random_transform(rng), _random_transform(rng)
        a, b = Pose.from_matrix(A), Pose.from_matrix(B)
        np.testing.assert_allclose(a.matrix, A, rtol=0, atol=1e-14)
        np.testing.assert_allclose((a * b).matrix, A @ B, rtol=0, atol=1e-14)
        np.testing.assert_allclose(a.inverse().matrix, np.linalg.inv(A), rtol=0, atol=1e-14)
        np.testing.assert_array_equal(a.rotation_matrix, a.matrix[:3, :3])
        # a non-unit quaternion means the same rotation
        scaled = Pose(a.translation, 3 * np.array(a.rotation_xyzw))
        np.testing.assert_allclose(scaled.matrix, A, rtol=0, atol=1e-14)
    # the quaternion order is x, y, z, w: a quarter turn about z
    quarter = Pose((1, 2, 3), (0, 0, np.sqrt(0.5), np.sqrt(0.5))).matrix
    np.testing.assert_allclose(quarter, [[0, -1, 0, 1], [1, 0, 0, 2], [0, 0, 1, 3], [0, 0, 0, 1]], atol=1e-15)
    # a slightly inexact rotation is accepted, a non-rotation refused
    T = _random_transform(rng)
    T[:3, :3] += 1e-8
    np.testing.assert_allclose(Pose.from_matrix(T).matrix, T, atol=1e-7)


@pytest.mark.parametrize("T, message", [
    (np.diag([1.0, 1.0, -1.0, 1.0]), "the upper-left 3 x 3 block of T is not a rotation matrix"),
    (np.diag([1.0, 1.0, 1.00001, 1.0]), "the upper-left 3 x 3 block of T is not a rotation matrix"),
    (np.eye(4) + np.eye(4, k=1) * 1e-5, "the upper-left 3 x 3 block of T is not a rotation matrix"),
    (np.eye(4) + np.eye(4, k=-3), "the last row of T must be (0, 0, 0, 1)"),
    (np.eye(3), "T must be a 4 x 4 matrix"),
    (np.full((4, 4), np.nan), "T must contain only finite values"),
])
def test_from_matrix_refuses_what_is_no_rigid_transform(T, message):
    with pytest.raises(ValueError) as info:
        Pose.from_matrix(T)
    assert str(info.value) == message


def test_pose_algebra_refuses_unusable_poses():
    zero = Pose(rotation_xyzw=(0, 0, 0, 0))
    for call in (lambda: zero.inverse(), lambda: zero * Pose(), lambda: Pose() * zero, lambda: zero.matrix,
                 lambda: Pose((NAN, 0, 0)).rotation_matrix):
        with pytest.raises(ValueError, match="non-finite values or a zero quaternion"):
            call()
    with pytest.raises(TypeError):
        Pose() * Twist()
