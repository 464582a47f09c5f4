"""A dataset of a million (q, qd, qdd, tau) samples of the Panda arm: joint positions drawn
inside the joint limits, velocities and accelerations standard normal, tau = inverse dynamics,
computed chunk by chunk with vormek.dask on a local Dask cluster and written to q.npy, qd.npy,
qdd.npy and tau.npy (each (N, 9) float64; np.load(..., mmap_mode="r") reads them lazily).
Each worker writes its own rows into the files, so on a real cluster the output folder must be
shared; pass --scheduler to use one instead of the local cluster.

    python examples/dataset.py [--samples 1000000] [--chunk 50000] [--out build/dataset]
"""

import argparse
import pathlib
import sysconfig
from typing import Any

import dask.array as da
import distributed
import numpy as np
import numpy.typing as npt

import vormek
import vormek.dask as vd

ROBOTS = pathlib.Path(sysconfig.get_paths()["purelib"]) / "cmeel.prefix/share/example-robot-data/robots"
PANDA = ROBOTS / "panda_description/urdf/panda.urdf"
Vector = npt.NDArray[np.float64]


def write_rows(block: Vector, path: str, block_info: Any = None) -> Vector:
    """Writes one chunk into its rows of the .npy file; returns a token of one value."""
    start, stop = block_info[0]["array-location"][0]
    target = np.load(path, mmap_mode="r+")
    target[start:stop] = block
    target.flush()
    return np.zeros((1, 1))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--samples", type=int, default=1_000_000)
    parser.add_argument("--chunk", type=int, default=50_000)
    parser.add_argument("--out", type=pathlib.Path, default=pathlib.Path("build/dataset"))
    parser.add_argument("--scheduler", help="address of a running Dask scheduler")
    args = parser.parse_args()

    text = PANDA.read_text()
    with vormek.Robot.from_urdf_text(text) as robot:  # the limits as the library reads them, in q's order
        lower, upper = robot.lower_limits, robot.upper_limits
    n, N = len(lower), args.samples
    rng = da.random.default_rng(7)  # type: ignore[no-untyped-call]
    rows = (N, n)
    # drawn in [0, 1) and scaled: limits given to uniform() would be broadcast to (N, n) in the graph
    arrays = {"q": lower + (upper - lower) * rng.random(size=rows, chunks=(args.chunk, n)),
              "qd": rng.standard_normal(size=rows, chunks=(args.chunk, n)),
              "qdd": rng.standard_normal(size=rows, chunks=(args.chunk, n))}
    arrays["tau"] = vd.inverse_dynamics(text, arrays["q"], arrays["qd"], arrays["qdd"])

    args.out.mkdir(parents=True, exist_ok=True)
    writes = []
    for name, array in arrays.items():
        path = args.out / f"{name}.npy"
        np.lib.format.open_memmap(path, mode="w+", dtype=np.float64, shape=array.shape).flush()
        writes.append(array.map_blocks(write_rows, str(path), chunks=(1, 1), dtype=np.float64))

    # Dask's cluster API has no type annotations
    cluster = None if args.scheduler else distributed.LocalCluster(  # type: ignore[no-untyped-call]
        processes=True, dashboard_address=None)
    with distributed.Client(args.scheduler or cluster) as client:  # type: ignore[no-untyped-call]
        futures = client.compute(writes)
        distributed.progress(futures)  # type: ignore[no-untyped-call]
        client.gather(futures)
    if cluster is not None:
        cluster.close()
    tau = np.load(args.out / "tau.npy", mmap_mode="r")
    print(f"\n{N:,} samples of {n} joints in {args.out}/{{q,qd,qdd,tau}}.npy; tau[0] = {np.round(tau[0], 3)}")


if __name__ == "__main__":
    main()
