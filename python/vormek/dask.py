"""Batches of states spread over a Dask cluster (``pip install vormek[dask]``).

Each function takes a URDF (a path, or the text itself) and Dask arrays chunked along the batch
axis, in the order of the ``vormek.batch`` method of the same name (with ``floating=True`` the
base arrays ``frames``, ``velocities``, ``accelerations`` first, as that method takes them), and
returns a lazy Dask array with the same row chunks. The URDF text is read here, on the client,
and travels to each worker once; every worker process builds its ``RobotBatch`` (or
``FloatingRobotBatch``) once per (URDF, floating, threads) and reuses it for every chunk.

Dask supplies the parallelism, so each chunk runs on one thread by default (``threads=1``);
with one Dask thread per worker process, ``threads=None`` lets each chunk use every core of its
worker. Without a ``distributed.Client`` the arrays compute on Dask's local scheduler; pointing
a Client at a cluster is all that changes for a cluster run.

The URDF is read and loaded once here, so a missing file raises OSError and a bad one
``vormek.ModelError`` at once; everything else is checked when the result is computed, where a
chunk raises what the batch method raises (shapes, ``row i:`` of the chunk for a failing row).
Results are float64 with m = the generalized count (joints, plus 6 with ``floating=True``).
"""

import hashlib
import os
import re
import threading
from typing import Any

import dask.array as da
import numpy as np
from dask.delayed import delayed
import numpy.typing as npt

from .batch import FloatingRobotBatch, RobotBatch

__all__ = ["forward_dynamics", "gravity", "inverse_dynamics", "jacobian", "mass_matrix",
           "velocity_product_forces"]

Urdf = str | os.PathLike[str]
_Robot = RobotBatch | FloatingRobotBatch

# per worker process: the batches built so far, by (URDF digest, floating, threads)
_batches: dict[tuple[str, bool, int | None], _Robot] = {}
_batches_lock = threading.Lock()


class _Model:
    """What a worker needs to build its batch: the URDF text and its digest, sent once."""

    def __init__(self, text: str, floating: bool, threads: int | None) -> None:
        self.text, self.floating, self.threads = text, floating, threads
        self.digest = hashlib.sha256(text.encode()).hexdigest()

    def batch(self) -> _Robot:
        key = (self.digest, self.floating, self.threads)
        with _batches_lock:
            robot = _batches.get(key)
            if robot is None:
                cls = FloatingRobotBatch if self.floating else RobotBatch
                robot = _batches[key] = cls.from_urdf_text(self.text, self.threads)
            return robot


def _urdf_text(urdf: Urdf) -> str:
    if isinstance(urdf, str) and urdf.lstrip().startswith("<"):
        return urdf
    with open(urdf, encoding="utf-8") as f:
        return f.read()


_ROW = re.compile(r"row (\d+): (.*)", re.DOTALL)


def _chunk(method: str, model: _Model, extra: tuple[Any, ...], start: npt.NDArray[np.int64] | None,
           *blocks: npt.NDArray[np.float64]) -> Any:
    try:
        return getattr(model.batch(), method)(*blocks, *extra)
    except Exception as e:
        # the batch counts rows within this chunk; the caller counts them in the whole array
        row = _ROW.fullmatch(e.args[0]) if start is not None and len(e.args) == 1 and isinstance(e.args[0], str) \
            else None
        if row:
            e.args = (f"row {int(start[0]) + int(row[1])}: {row[2]}",)  # type: ignore[index]
        raise


def _map(method: str, urdf: Urdf, arrays: tuple[da.Array, ...], floating: bool, threads: int | None,
         row_shape: tuple[int | None, ...], extra: tuple[Any, ...] = ()) -> da.Array:
    """The batch method over the row chunks; a None in row_shape stands for the generalized count."""
    text = _urdf_text(urdf)
    # the sizes of the result rows: one small batch on the client, from the same text
    probe = (FloatingRobotBatch if floating else RobotBatch).from_urdf_text(text, 1)
    m = probe.generalized_count
    probe.close()
    model = delayed(_Model(text, floating, threads), pure=True)
    out = "i" + "jkl"[:len(row_shape)]
    # whole rows in every block, and the same row chunks in every array
    indices = ["i" + "abcdefgh"[k] for k in range(len(arrays))]
    wholes = [a.astype(np.float64).rechunk({1: -1}) for a in arrays]  # type: ignore[no-untyped-call]
    chunks, aligned = da.core.unify_chunks(  # type: ignore[no-untyped-call]
        *(x for pair in zip(wholes, indices) for x in pair))
    # each block learns the first row it holds, so that a failing row is named as in the whole
    # array; rows of unknown count stay counted within their chunk
    rows = chunks.get("i", ())
    start: Any = None
    if rows and not any(np.isnan(rows)):
        start = da.from_array(np.cumsum((0,) + rows[:-1], dtype=np.int64), chunks=1)  # type: ignore[no-untyped-call]
    pairs: list[Any] = [method, None, model, None, extra, None, start, None if start is None else "i"]
    for a, index in zip(aligned, indices):
        pairs += [a, index]
    new_axes = {index: m if size is None else size for index, size in zip(out[1:], row_shape)}
    # meta given: Dask would otherwise call _chunk on empty arrays to learn the result type
    meta = np.empty((0,) * len(out), dtype=np.float64)
    result: da.Array = da.blockwise(  # type: ignore[no-untyped-call]
        _chunk, out, *pairs, new_axes=new_axes, dtype=np.float64, meta=meta, concatenate=True, align_arrays=False)
    return result


def jacobian(urdf: Urdf, *arrays: da.Array, target: int, floating: bool = False,
             threads: int | None = 1) -> da.Array:
    """(B, 6, m) Jacobians of the link `target` (rows angular then linear, world axes):
    ``jacobian(urdf, [frames,] Q, target=k)``."""
    return _map("jacobian", urdf, arrays, floating, threads, (6, None), (target,))


def mass_matrix(urdf: Urdf, *arrays: da.Array, floating: bool = False, threads: int | None = 1) -> da.Array:
    """(B, m, m) mass matrices: ``mass_matrix(urdf, [frames,] Q)``."""
    return _map("mass_matrix", urdf, arrays, floating, threads, (None, None))


def gravity(urdf: Urdf, *arrays: da.Array, floating: bool = False, threads: int | None = 1) -> da.Array:
    """(B, m) generalized gravity forces: ``gravity(urdf, [frames,] Q)``."""
    return _map("gravity", urdf, arrays, floating, threads, (None,))


def velocity_product_forces(urdf: Urdf, *arrays: da.Array, floating: bool = False,
                            threads: int | None = 1) -> da.Array:
    """(B, m) Coriolis and centrifugal forces: ``velocity_product_forces(urdf, [frames, velocities,] Q, QD)``."""
    return _map("velocity_product_forces", urdf, arrays, floating, threads, (None,))


def inverse_dynamics(urdf: Urdf, *arrays: da.Array, floating: bool = False, threads: int | None = 1) -> da.Array:
    """(B, m) generalized forces M qdd + c + g:
    ``inverse_dynamics(urdf, [frames, velocities, accelerations,] Q, QD, QDD)``."""
    return _map("inverse_dynamics", urdf, arrays, floating, threads, (None,))


def forward_dynamics(urdf: Urdf, *arrays: da.Array, floating: bool = False, threads: int | None = 1) -> da.Array:
    """(B, m) generalized accelerations under the forces TAU (B, m):
    ``forward_dynamics(urdf, [frames, velocities,] Q, QD, TAU)``."""
    return _map("forward_dynamics", urdf, arrays, floating, threads, (None,))
