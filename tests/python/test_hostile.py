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
