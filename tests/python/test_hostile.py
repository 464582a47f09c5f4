"""A caller that fights back: user code run during conversion, absurd lengths, finalizers that
close the robot. Each case must end in a documented exception or a correct result, promptly."""

import numpy as np
import pytest

from conftest import chain_text
from vormek import BaseState, FloatingRobot, IkOptions, Load, Pose, Robot


class Boom(Exception):
    pass


class Raises:
    """A number whose __index__ and __float__ raise whatever it was given."""

    def __init__(self, error):
        self.error = error

    def __index__(self):
        raise self.error

    def __float__(self):
        raise self.error


@pytest.fixture
def chain(write_urdf):
    return Robot(write_urdf(chain_text(2)))


@pytest.mark.parametrize("error", [Boom("mine"), KeyboardInterrupt(), MemoryError()])
def test_only_type_errors_are_renamed(chain, error):
    calls = [
        lambda: chain.forward_kinematics([0.0, 0.0], Raises(error)),
        lambda: chain.forward_kinematics([0.0, Raises(error)], 0),
        lambda: Pose(translation=(0.0, Raises(error), 0.0)),
        lambda: Load(Raises(error)),
        lambda: Load(0, force=(Raises(error), 0, 0)),
        lambda: IkOptions(max_iterations=Raises(error)),
        lambda: IkOptions(damping=Raises(error)),
    ]
    for call in calls:
        with pytest.raises(type(error)) as caught:
            call()
        assert caught.value is error


def test_lengths_beyond_any_robot_are_measured_not_copied(chain, write_urdf):
    floating = FloatingRobot(write_urdf(chain_text(2, root_mass=1.0)))
    huge = 10**15
    for q in [np.broadcast_to(0.0, (huge,)), np.broadcast_to(np.float32(0), (huge,)), range(huge)]:
        with pytest.raises(ValueError, match=f"^expected 2 elements in q, found {huge}$"):
            chain.forward_kinematics(q, 0)
        with pytest.raises(ValueError, match=f"^expected 2 elements in q, found {huge}$"):
            floating.forward_kinematics(BaseState(), q, 0)
    with pytest.raises(ValueError, match=f"found {10**18}$"):
        chain.forward_kinematics(range(10**18), 0)


def test_what_is_read_is_what_was_checked(write_urdf):
    robot = Robot(write_urdf(chain_text(64)))
    q = np.zeros(8)

    class Retypes:
        def __init__(self, change):
            self.change = change

        def __index__(self):
            self.change()
            return 64

    def to_int8():
        q.dtype = np.int8  # the same 64 bytes, now 64 elements

    def to_matrix():
        q.shape = (2, 4)

    for change in [to_int8, to_matrix]:
        q = np.zeros(8)
        with pytest.raises(TypeError, match="'q'"):
            robot.forward_kinematics(q, Retypes(change))


FINALIZER_CLOSES_THE_ROBOT = """
import gc, sys
import numpy as np
import vormek

robot = vormek.Robot(sys.argv[1])
q = np.zeros(2)


class Closer:
    def __init__(self):
        self.cycle = self  # only the collector frees it, and it may run at any allocation

    def __del__(self):
        robot.close()


def attempt(call):
    try:
        raise KeyError("an exception being handled makes the next one chain to it")
    except KeyError:
        Closer()
        gc.set_threshold(1)
        try:
            call()
        except (ValueError, RuntimeError) as e:
            print(type(e).__name__, e)
        finally:
            gc.set_threshold(700)
    try:
        robot.name
        print("still open")
    except RuntimeError as e:
        print(e)  # the finalizer ran during the call


attempt(lambda: robot.forward_kinematics(q, 99))
robot = vormek.Robot(sys.argv[1])
attempt(lambda: robot.link_id("nope"))
"""


def test_errors_are_raised_after_the_lock_is_released(write_urdf, tmp_path):
    """A finalizer run by the collector while the error is being created closes the robot: it
    must find the lock free, not wait for itself."""
    import subprocess
    import sys

    script = tmp_path / "closer.py"
    script.write_text(FINALIZER_CLOSES_THE_ROBOT)
    done = subprocess.run([sys.executable, str(script), str(write_urdf(chain_text(2)))], capture_output=True,
                          text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    assert done.stdout.splitlines() == ["ValueError invalid link id 99", "robot is closed",
                                        "ValueError link nope does not exist in the model", "robot is closed"]


@pytest.mark.skipif(not hasattr(Robot, "jacobian"), reason="needs a method with out=")
def test_out_is_checked_where_it_is_written(chain):
    out = np.zeros(12)

    class Wrapped:
        """NumPy takes this for a new array, but it is a view of out."""

        def __array__(self, dtype=None, copy=None):
            return out[:2]

    with pytest.raises(ValueError, match="^The given array is already borrowed$"):
        chain.jacobian(Wrapped(), 2, out=out)

    def retype_out():
        out.dtype = np.int8

    class Retypes:
        def __index__(self):
            retype_out()
            return 2

    with pytest.raises(TypeError, match="'out'"):
        chain.jacobian(np.zeros(2), Retypes(), out=out)
