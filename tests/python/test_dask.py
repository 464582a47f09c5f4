"""vormek.dask on a local cluster of two worker processes gives the in-process batch's bits."""

import numpy as np
import pytest

distributed = pytest.importorskip("distributed")
da = pytest.importorskip("dask.array")

import vormek.dask as vd  # noqa: E402
from vormek.batch import FloatingRobotBatch, RobotBatch  # noqa: E402

from trees import random_tree_text  # noqa: E402

TREE = random_tree_text(seed=21, links=7)


def test_a_local_cluster_computes_what_the_batch_computes_in_process(write_urdf):
    path = write_urdf(TREE)
    rng = np.random.default_rng(0)
    with RobotBatch(path, threads=1) as b, FloatingRobotBatch(path, threads=1) as fb:
        n, B = b.joint_count, 97
        Q, QD, QDD = (rng.standard_normal((B, n)) for _ in range(3))
        frames = np.hstack([rng.standard_normal((B, 3)), rng.uniform(-1, 1, (B, 4))])
        expected = [b.inverse_dynamics(Q, QD, QDD), b.mass_matrix(Q), fb.gravity(frames, Q),
                    b.jacobian(Q, 4)]
    chunk = lambda a: da.from_array(a, chunks=(20, a.shape[1]))  # noqa: E731
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                                  silence_logs=40) as cluster, distributed.Client(cluster):
        # by path and by text, fixed and floating, matrices and vectors
        lazy = [vd.inverse_dynamics(path, chunk(Q), chunk(QD), chunk(QDD)), vd.mass_matrix(TREE, chunk(Q)),
                vd.gravity(path, chunk(frames), chunk(Q), floating=True), vd.jacobian(path, chunk(Q), target=4)]
        for got, want in zip(da.compute(*lazy), expected):
            assert np.array_equal(got, want)


def test_a_failing_row_is_named_as_in_the_whole_array(write_urdf):
    path = write_urdf(TREE)
    with RobotBatch(path, threads=1) as b:
        Q = np.zeros((700, b.joint_count))
        Q[567, 2] = np.nan
        with pytest.raises(ValueError) as whole:
            b.gravity(Q)
    # uneven chunks in the two inputs: Dask splits rows where either array does
    lazy = vd.velocity_product_forces(path, da.from_array(Q, chunks=(100, 3)), da.from_array(Q * 0, chunks=(70, 2)))
    with pytest.raises(ValueError) as dask:
        lazy.compute(scheduler="synchronous")
    assert str(dask.value) == str(whole.value) == "row 567: q contains a non-finite value"
