"""Many states per call, spread over the cores of this machine.

``RobotBatch(path, threads=None)`` and ``FloatingRobotBatch`` load a URDF once and keep one
workspace per worker thread (``threads=None``: every core this process may run on; RuntimeError
"could start only j of k threads" when the system refuses one). Their
methods are the single-state computations of ``Robot`` and ``FloatingRobot`` with a leading
batch axis: ``Q``, ``QD`` and ``QDD`` are (B, n) float64 arrays, ``TAU`` is (B, m), results are
(B, m), (B, m, m) or (B, 6, m), with n joints and m generalized coordinates (n, or n + 6 for a
floating base). The floating-base methods first take the base states as arrays: ``frames``
(B, 7), translation then quaternion x, y, z, w (the order ``Pose`` takes them, and the XYZQUAT
layout of other libraries), and, where the computation reads
them, ``velocities`` and ``accelerations`` (B, 6), angular then linear as in ``Twist``.

Inputs need not be C-contiguous; those that are not are copied a chunk of rows at a time, never
as a whole. ``out=`` takes a C-contiguous float64 array of the result's shape. The interpreter
lock is released while the rows are computed; Ctrl-C stops a long batch within a chunk. Loads
are not taken: apply them with the single-state methods.
"""

from ._batch import FloatingRobotBatch, RobotBatch

__all__ = ["RobotBatch", "FloatingRobotBatch"]
