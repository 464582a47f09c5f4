"""Every computation under arguments drawn by Hypothesis: each argument of a call is either valid,
in one of the many forms the binding accepts, or broken in one of the ways a caller can break it.

With no broken argument the call must return, bit for bit, what it returns for plain contiguous
float64 copies of the same numbers. With one broken argument it must raise that argument's
documented exception and message; with several, the message of one of them. An `out` array is
left untouched by a failed argument check, and the robot answers the next plain call as before.

The default profile keeps CI short; `pytest --hypothesis-profile=long` runs many more cases.
"""

import math

import numpy as np
import pytest
from hypothesis import given
from hypothesis import strategies as st

from calls import (METHODS, VECTORS, empty_out, floating, methods_of, out_arrays, out_length, valid_arguments,
                   vector_length)
from trees import random_tree_text
from vormek import BaseState, FloatingRobot, IkOptions, Load, Pose, Robot, SolverError, Twist

NAN, INF = float("nan"), float("inf")
POSE_MESSAGE = "pose contains non-finite values or a zero quaternion"
# the core's name for each vector in its own messages
CORE_LABEL = {"q": "q", "qd": "qd", "qdd": "qdd", "forces": "forward dynamics generalized forces"}


@pytest.fixture(scope="module")
def robots(tmp_path_factory):
    path = tmp_path_factory.mktemp("any") / "tree.urdf"
    path.write_text(random_tree_text(5, links=6))
    return {"Robot": Robot(path), "FloatingRobot": FloatingRobot(path)}


def values(size):
    """Numbers a caller may pass: ordinary, huge, subnormal, signed zeros."""
    special = st.sampled_from([0.0, -0.0, 5e-324, -2.2e-308, 1e300, -1e300, 1e-300, math.pi])
    return st.lists(st.one_of(st.floats(-10, 10), special), min_size=size, max_size=size)


@st.composite
def vector_form(draw, numbers):
    """The same numbers as one of the array-likes the binding accepts."""
    a = np.array(numbers, dtype=np.float64)
    form = draw(st.sampled_from(["array", "list", "tuple", "strided", "reversed", "readonly", "byteswapped",
                                 "float32", "int", "broadcast"]))
    if form == "list":
        return list(numbers)
    if form == "tuple":
        return tuple(numbers)
    if form == "strided":
        wide = np.zeros(2 * len(a))
        wide[::2] = a
        return wide[::2]
    if form == "reversed":
        return a[::-1].copy()[::-1]
    if form == "readonly":
        a.flags.writeable = False
        return a
    if form == "byteswapped":
        return a.astype(">f8")
    if form == "float32":
        return np.clip(a, -1e30, 1e30).astype(np.float32)
    if form == "int":
        return np.clip(np.nan_to_num(a), -1e6, 1e6).astype(np.int64)
    if form == "broadcast" and len(a):
        return np.broadcast_to(a[:1], a.shape)
    return a


def plain(x):
    """A contiguous float64 copy of what the binding should have read."""
    return np.array(x, dtype=np.float64)


# A broken argument: (value, exception type, message or None for "names the argument").
@st.composite
def broken_vector(draw, name, length, method):
    kind = draw(st.sampled_from(["type", "length", "nonfinite"] if length else ["type", "length"]))
    if kind == "type":
        value = draw(st.sampled_from([None, object(), {}, np.zeros((max(length, 1), 2)), np.zeros(())]))
        return value, TypeError, None
    if kind == "length":
        k = draw(st.sampled_from([0, length - 1, length + 1, 3 * length + 2]).filter(lambda k: k >= 0 and k != length))
        value = draw(vector_form(draw(values(k))))
        return value, ValueError, ("length", name, k)
    numbers = draw(values(length))
    numbers[draw(st.integers(0, length - 1))] = draw(st.sampled_from([NAN, INF, -INF]))
    if name == "forces":
        # not an argument check: the articulated-body pass meets the non-finite acceleration
        # it leads to, after it has begun writing out
        return np.array(numbers), SolverError, ("prefix", "forward dynamics found singular")
    return np.array(numbers), ValueError, ("nonfinite", name)


def length_messages(method, name, k, robot):
    """The messages a vector of the wrong length may meet: first the one it meets alone, the
    binding's equal-length rule for qd and qdd (and for q when a qd follows), otherwise the
    core's count check; then the core's count check, which the vector meets when another
    broken vector has the same wrong length. A q broken alike with qd passes that pair's rule
    and meets the next one, against a sound qdd."""
    label = "initial_q" if method == "inverse_kinematics" else CORE_LABEL[name]
    core = f"expected {vector_length(name, robot)} elements in {label}, found {k}"
    if name in ("qd", "qdd"):
        return [f"q and {name} must have the same length", core]
    if name == "q":
        return [f"q and {other} must have the same length" for other in ("qd", "qdd") if other in METHODS[method]] + [core]
    return [core]


def nonfinite_message(method, name):
    label = "initial_q" if method == "inverse_kinematics" else CORE_LABEL[name]
    return f"{label} contains a non-finite value"


@st.composite
def broken_target(draw, robot):
    kind = draw(st.sampled_from(["range", "negative", "huge", "type"]))
    if kind == "range":
        t = draw(st.sampled_from([robot.link_count, robot.link_count + 1, 2**63]))
        return t, ValueError, f"invalid link id {t}"
    if kind == "negative":
        return draw(st.sampled_from([-1, -(2**70)])), OverflowError, "any"
    if kind == "huge":
        return 2**64 + draw(st.integers(0, 5)), OverflowError, "any"
    return draw(st.sampled_from([1.5, "0", None, np.float64(1.0)])), TypeError, None


def bad_pose(draw):
    t = draw(st.sampled_from([(NAN, 0, 0), (0, INF, 0), (0, 0, 0)]))
    r = draw(st.sampled_from([(0, 0, 0, 0), (0, 0, 0, NAN), (0, 0, 0, 1e-13), (1e300, 1e300, 0, 0), (0, 0, 0, 1)]))
    if t == (0, 0, 0) and r == (0, 0, 0, 1):
        r = (0, 0, 0, 0)
    return Pose(t, r)


@st.composite
def broken_other(draw, kind, robot):
    if kind in ("tool", "desired"):
        if draw(st.booleans()):
            return draw(st.sampled_from([(0, 0, 0), Twist(), "pose"])), TypeError, None
        return bad_pose(draw), ValueError, POSE_MESSAGE
    if kind == "options":
        if draw(st.booleans()):
            return draw(st.sampled_from([{}, Pose(), 5])), TypeError, None
        option = draw(st.sampled_from(["translation_tolerance", "rotation_tolerance", "damping", "max_step_norm"]))
        bad = draw(st.sampled_from([0.0, -1.0, NAN, INF]))
        return (IkOptions(**{option: bad}), ValueError,
                f"invalid inverse-kinematics option {option}: must be finite and greater than zero")
    if kind == "loads":
        which = draw(st.sampled_from(["str", "item", "link", "nonfinite"]))
        if which == "str":
            return "loads", TypeError, None
        if which == "item":
            return [Load(0), draw(st.sampled_from([0, None, Pose()]))], TypeError, None
        if which == "link":
            link = robot.link_count + draw(st.integers(0, 3))
            return [Load(0), Load(link)], ValueError, f"invalid link id {link}"
        component = [0.0] * 6
        component[draw(st.integers(0, 5))] = draw(st.sampled_from([NAN, INF, -INF]))
        return [Load(1, component[:3], component[3:])], ValueError, "load contains a non-finite value"
    if kind == "base":
        which = draw(st.sampled_from(["type", "frame", "velocity", "acceleration"]))
        if which == "type":
            return draw(st.sampled_from([None, Pose(), Twist(), 0])), TypeError, None
        if which == "frame":
            return BaseState(bad_pose(draw)), ValueError, POSE_MESSAGE
        twist = Twist((0, draw(st.sampled_from([NAN, INF])), 0))
        return (BaseState(**{which: twist}), ValueError, f"invalid base {which}: must contain only finite values")
    raise AssertionError(kind)


@st.composite
def broken_out(draw, method, robot, inputs):
    sizes = out_length(method, robot)
    if not isinstance(sizes, tuple):
        return draw(broken_out_array(sizes, inputs))
    # a tuple of arrays: the tuple itself, or one of its arrays
    k = len(sizes)
    if draw(st.integers(0, 3)) == 0:
        fine = list(empty_out(method, robot))
        shape = draw(st.sampled_from([fine[:-1], fine + fine[:1], [*fine[:-1], None], fine[0]]))
        return (tuple(shape) if isinstance(shape, list) else shape), TypeError, (
            f"argument 'out': expected None or a tuple of {k} arrays")
    i = draw(st.integers(0, k - 1))
    item, error, message = draw(broken_out_array(sizes[i], inputs))
    return tuple(item if j == i else np.empty(size) for j, size in enumerate(sizes)), error, message


@st.composite
def broken_out_array(draw, size, inputs):
    kind = draw(st.sampled_from(["dtype", "dims", "swapped", "length", "readonly", "strided", "aliased"]))
    if kind == "dtype":
        return np.zeros(size, dtype=np.float32), TypeError, None
    if kind == "dims":
        return np.zeros((size, 1)), TypeError, None
    if kind == "swapped":
        return np.zeros(size, dtype=">f8"), TypeError, None
    if kind == "length":
        k = draw(st.sampled_from([0, size - 1, size + 1]))
        return np.zeros(k), ValueError, f"out must contain exactly {size} elements"
    if kind == "readonly":
        out = np.zeros(size)
        out.flags.writeable = False
        return out, ValueError, "The given array is not writeable"
    if kind == "strided":
        return np.zeros(2 * size)[::2], ValueError, "out must be a contiguous float64 array"
    # overlap the memory of an input array the call also reads
    arrays = [x for x in inputs if isinstance(x, np.ndarray) and x.size and x.base is not None]
    if not arrays:
        return np.zeros(size)[::-1], ValueError, "out must be a contiguous float64 array"
    buffer = arrays[0].base
    start = draw(st.integers(0, max(0, buffer.size - 1)))
    stop = start + size
    if stop > buffer.size:
        return np.zeros(size)[::-1], ValueError, "out must be a contiguous float64 array"
    return buffer[start:stop], ValueError, "The given array is already borrowed"


def outcome(call):
    try:
        return call()
    except Exception as error:  # noqa: BLE001 - the exception is what is compared
        return error


def same(a, b):
    """Bit-for-bit equality of two results (or of two exceptions' types and texts)."""
    if isinstance(a, BaseException) or isinstance(b, BaseException):
        return type(a) is type(b) and str(a) == str(b)
    if isinstance(a, np.ndarray):
        return isinstance(b, np.ndarray) and a.dtype == b.dtype and a.tobytes() == b.tobytes()
    if isinstance(a, tuple):
        return isinstance(b, tuple) and len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, Pose):
        return np.array([*a.translation, *a.rotation_xyzw]).tobytes() == np.array(
            [*b.translation, *b.rotation_xyzw]).tobytes()
    if isinstance(a, Twist):
        return np.array([*a.angular, *a.linear]).tobytes() == np.array([*b.angular, *b.linear]).tobytes()
    return a == b


def expected_messages(expected, method, robot):
    """Every message a broken argument may raise, the one it raises alone first."""
    if isinstance(expected, tuple) and expected[0] == "length":
        return length_messages(method, expected[1], expected[2], robot)
    if isinstance(expected, tuple) and expected[0] == "nonfinite":
        return [nonfinite_message(method, expected[1])]
    return [expected]


@st.composite
def hostile_call(draw, robot):
    """(method, args, kwargs, plain args, plain kwargs, faults): faults lists, per broken argument,
    (argument name, exception type, message or None)."""
    method = draw(st.sampled_from(methods_of(robot)))
    seed = draw(st.integers(0, 2**32 - 1))
    good_args, _ = valid_arguments(method, robot, np.random.default_rng(seed))
    names = (["base"] if floating(robot) else []) + [k for k in METHODS[method] if k != "out"]
    # most calls break nothing or one argument; some break several
    breakable = names + (["out"] if "out" in METHODS[method] else [])
    broken = draw(st.sets(st.sampled_from(breakable), max_size=draw(st.sampled_from([0, 1, 1, 1, 3]))))
    args, plain_args, faults = [], [], []
    for name, good in zip(names, good_args):
        if name in broken:
            if name in VECTORS:
                value, error, message = draw(broken_vector(name, vector_length(name, robot), method))
            elif name == "target":
                value, error, message = draw(broken_target(robot))
            else:
                value, error, message = draw(broken_other(name, robot))
            faults.append((name, error, expected_messages(message, method, robot)))
            args.append(value)
            plain_args.append(value)
        elif name in VECTORS:
            q_at = names.index("q")
            if name in ("qd", "qdd") and "q" not in broken and draw(st.integers(0, 4)) == 0:
                args.append(args[q_at])  # the very object q is, read twice
                plain_args.append(plain_args[q_at])
                continue
            form = draw(vector_form(draw(values(len(good)))))
            args.append(form)
            plain_args.append(plain(form))
        elif name == "target":
            t = good
            args.append(draw(st.sampled_from([t, np.int64(t), np.uint8(t)])))
            plain_args.append(t)
        else:
            args.append(good)
            plain_args.append(good)
    kwargs, plain_kwargs = {}, {}
    if "out" in METHODS[method]:
        if "out" in broken:
            out, error, message = draw(broken_out(method, robot, args))
            faults.append(("out", error, [message]))
            kwargs["out"] = out
        elif draw(st.booleans()):
            kwargs["out"] = empty_out(method, robot)
            plain_kwargs["out"] = empty_out(method, robot)
    return method, args, kwargs, plain_args, plain_kwargs, faults


def check_call(robot, call):
    method, args, kwargs, plain_args, plain_kwargs, faults = call
    out = kwargs.get("out")
    # the arrays of `out` a failed check must leave as they were
    watched = [a for a in out_arrays(out) if isinstance(a, np.ndarray) and a.size]
    for a in watched:
        if a.flags.writeable:
            a[...] = np.arange(a.size, dtype=np.float64).reshape(a.shape) + 0.25
    before = [a.tobytes() for a in watched]
    got = outcome(lambda: getattr(robot, method)(*args, **kwargs))
    if not faults:
        reference = outcome(lambda: getattr(robot, method)(*plain_args, **plain_kwargs))
        assert same(got, reference), (method, got, reference)
        if out is not None and not isinstance(got, BaseException):
            assert all(g is o for g, o in zip(out_arrays(got), out_arrays(out), strict=True))
        return
    assert isinstance(got, Exception), (method, faults, got)

    def matches(name, error, messages):
        if type(got) is not error:
            return False
        for message in messages[:1] if len(faults) == 1 else messages:
            if message is None and f"'{name}'" in str(got):
                return True
            if isinstance(message, tuple) and str(got).startswith(message[1]):
                return True
            if message == "any" or str(got) == message:
                return True
        return False

    assert any(matches(*fault) for fault in faults), (method, faults, repr(got))
    if not isinstance(got, SolverError):
        assert [a.tobytes() for a in watched] == before, (method, faults, "out was written")


def still_usable(robot):
    args, _ = valid_arguments("forward_kinematics", robot, np.random.default_rng(0))
    return robot.forward_kinematics(*args)


@pytest.mark.parametrize("kind", ["Robot", "FloatingRobot"])
def test_any_argument(robots, kind):
    robot = robots[kind]
    reference = still_usable(robot)

    @given(call=hostile_call(robot))
    def run(call):
        check_call(robot, call)
        assert still_usable(robot) == reference

    run()


@pytest.mark.parametrize("kind", ["Robot", "FloatingRobot"])
def test_closed_robot(tmp_path, kind):
    path = tmp_path / "tree.urdf"
    path.write_text(random_tree_text(5, links=6))
    robot = {"Robot": Robot, "FloatingRobot": FloatingRobot}[kind](path)
    calls = [(m, valid_arguments(m, robot, np.random.default_rng(1), with_out=True)) for m in methods_of(robot)]
    robot.close()
    for method, (args, kwargs) in calls:
        outs = out_arrays(kwargs.get("out"))
        before = [a.tobytes() for a in outs]
        with pytest.raises(RuntimeError, match="^robot is closed$"):
            getattr(robot, method)(*args, **kwargs)
        assert [a.tobytes() for a in outs] == before
