"""Throughput of vormek.batch against the core's own single call, against Python loops over
Robot and over Pinocchio's bindings, against the thread count, and the cost Dask adds per
chunk on a local cluster; Panda and Talos (fixed base), B = 100,000 states.

  - per-state cost with one thread: the calling thread's CPU time (with threads=1 the caller
    computes every row), against bench_core_calls (C++, the same states drawn the same way);
  - throughput against the thread count: wall time, thread counts interleaved, with the load
    average printed beside it (the 2-thread figure means something only on a quiet machine);
  - Python loops: the calling thread's CPU time per state over 20,000 states, every result kept
    as the batch keeps it (`out=OUT[i]`, Pinocchio's copied into OUT[i]): a loop that overwrites
    one buffer would write a few kilobytes where the batch writes megabytes, and for Talos' mass
    matrix that alone put such a loop ahead of the batch;
  - Dask: LocalCluster of 2 worker processes with 1 thread each; per-chunk overhead is the wall
    time beyond the work itself (1-thread CPU time per state × B / 2 workers), per chunk and
    worker; beside it the time to pickle and unpickle one chunk's arrays.

Writes build/report/batch.md and build/report/batch_threads.png.

    make build-cpp install && .venv/bin/python bench/bench_batch.py [--quick]
"""

import argparse
import os
import pathlib
import pickle
import statistics
import subprocess
import sysconfig
import time

import numpy as np

import vormek
from vormek.batch import RobotBatch

ROBOTS = pathlib.Path(sysconfig.get_paths()["purelib"]) / "cmeel.prefix/share/example-robot-data/robots"
CASES = [("Panda", "panda_description/urdf/panda.urdf"), ("Talos", "talos_data/robots/talos_reduced.urdf")]
METHODS = [("inverse_dynamics", "rnea"), ("mass_matrix", "crba"), ("forward_dynamics", "aba")]
CORE = pathlib.Path("build/cpp/bench/bench_core_calls")
REPORT = pathlib.Path("build/report")
THREADS = (1, 2, 3, 4)
LOOP = 20_000


def states(B, n, rng):
    return dict(Q=rng.uniform(-1, 1, (B, n)), QD=rng.standard_normal((B, n)), QDD=rng.standard_normal((B, n)))


def arguments(method, s):
    return {"inverse_dynamics": (s["Q"], s["QD"], s["QDD"]), "mass_matrix": (s["Q"],),
            "forward_dynamics": (s["Q"], s["QD"], s["QDD"])}[method]


def median(fn, repeats, clock):
    samples = []
    for _ in range(repeats):
        t0 = clock()
        fn()
        samples.append(clock() - t0)
    return statistics.median(samples)


def core_ns(path):
    lines = subprocess.run([str(CORE), path], check=True, capture_output=True, text=True).stdout.split("\n")
    return {name: (float(median_), float(best)) for name, median_, best in (line.split() for line in lines if line)}


def python_loops(path, method, pin_name, s):
    """CPU ns per state of a loop over Robot.<method> and over pin.<pin_name>, each keeping every
    result in a (LOOP, ...) array as the batch does."""
    import pinocchio as pin

    robot = vormek.Robot(path)
    m = robot.generalized_count
    kept = np.empty((LOOP, m * m if method == "mass_matrix" else m))
    call = getattr(robot, method)
    rows = list(zip(*[a[:LOOP] for a in arguments(method, s)]))
    ours = median(lambda: [call(*row, out=kept[i]) for i, row in enumerate(rows)], 3, time.thread_time_ns) / LOOP
    model = pin.buildModelFromUrdf(path)
    assert model.nq == model.nv == m, "revolute and prismatic joints only: q rows serve Pinocchio as they are"
    data = model.createData()
    fn = getattr(pin, pin_name)
    kept = kept.reshape(LOOP, *((m, m) if method == "mass_matrix" else (m,)))

    def pinocchio_loop():
        for i, row in enumerate(rows):
            kept[i] = fn(model, data, *row)
    theirs = median(pinocchio_loop, 3, time.thread_time_ns) / LOOP
    robot.close()
    return ours, theirs


def _same_shape(q, qd, qdd):
    """Dask's own cost for a chunk: the inputs and a result of the same size, no computation."""
    return q + 0.0


def dask_overhead(path, s, chunks):
    """Wall times, by chunk size, of inverse_dynamics over inputs already held by the workers and
    of the same graph with a task that computes nothing; the latter, fitted over the chunk counts
    (wall = fixed + per_chunk · chunks / 2 workers), is what Dask adds per compute and per chunk.
    Beside them, the pickle round trip of one chunk's arrays, the least that moving its inputs and
    result between processes costs."""
    import dask.array as da
    import distributed

    import vormek.dask as vd

    B = s["Q"].shape[0]
    rows = []
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                                  silence_logs=40) as cluster, distributed.Client(cluster) as client:
        for c in chunks:
            inputs = client.persist([da.from_array(a, chunks=(c, a.shape[1]))
                                     for a in arguments("inverse_dynamics", s)])
            distributed.wait(inputs)
            tau = vd.inverse_dynamics(path, *inputs)
            empty = da.map_blocks(_same_shape, *inputs, dtype=np.float64, meta=np.empty((0, 0)))
            tau.compute()  # each worker builds its batch once
            walls = {"tau": [], "empty": []}
            for _ in range(5):  # in turns, so that a change of load hits both
                walls["tau"].append(median(tau.compute, 1, time.perf_counter_ns))
                walls["empty"].append(median(empty.compute, 1, time.perf_counter_ns))
            block = [a[:c] for a in arguments("inverse_dynamics", s)] + [np.empty_like(s["Q"][:c])]
            serial = median(lambda: pickle.loads(pickle.dumps(block, protocol=5)), 9, time.perf_counter_ns)
            rows.append((c, -(-B // c), statistics.median(walls["tau"]) / 1e6, statistics.median(walls["empty"]) / 1e6,
                         serial / 1e3))
    per_chunk, fixed = np.polyfit([r[1] / 2 for r in rows], [r[3] * 1e6 for r in rows], 1)
    return rows, per_chunk, fixed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quick", action="store_true", help="B = 20,000 and fewer repeats")
    parser.add_argument("--no-dask", action="store_true")
    parser.add_argument("--dask-only", action="store_true")
    parser.add_argument("--scan-only", action="store_true", help="only the throughput against the thread count")
    args = parser.parse_args()
    B = 20_000 if args.quick else 100_000
    repeats = 1 if args.quick else 3
    load = os.getloadavg()[0]
    lines = [f"B = {B:,}; load average {load:.2f} at the start; {os.cpu_count()} cores", "",
             "| robot | method | core ns | batch 1T ns | ratio | best ratio | 2T / 1T | 2T CPU ns | loop Robot ns "
             "| × | loop pin ns | × |", "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
    scans = {}
    rng = np.random.default_rng(1)
    for robot_name, relative in [] if args.dask_only else CASES:
        path = str(ROBOTS / relative)
        batches = {t: RobotBatch(path, threads=t) for t in THREADS}
        s = states(B, batches[1].joint_count, rng)
        # the core binary and the one-thread batch in turns, so that both see the same machine;
        # with one thread every row runs on this thread, so its CPU time is the whole cost
        core_runs, batch_runs = [], []
        for _ in range(0 if args.scan_only else 5):
            core_runs.append(core_ns(path))
            batch_runs.append({})
            for method, _ in METHODS:
                a = arguments(method, s)
                one = getattr(batches[1], method)
                out = one(*a)
                batch_runs[-1][method] = median(lambda: one(*a, out=out), 1, time.thread_time_ns) / B
        for method, pin_name in METHODS:
            a = arguments(method, s)
            out = getattr(batches[1], method)(*a)
            # thread counts interleaved, so that a change of load hits them alike
            walls = {t: [] for t in THREADS}
            for _ in range(repeats):
                for t in THREADS:
                    f = getattr(batches[t], method)
                    walls[t].append(median(lambda: f(*a, out=out), 1, time.perf_counter_ns))
            throughput = {t: B / statistics.median(w) * 1e9 for t, w in walls.items()}
            # the process's CPU time per state with two threads: what the pair costs in all,
            # which a loaded machine leaves intact where it spoils the wall time
            two = getattr(batches[2], method)
            cpu2 = median(lambda: two(*a, out=out), repeats, time.process_time_ns) / B
            scans[(robot_name, method)] = throughput
            if args.scan_only:
                print(robot_name, method, f"2 threads / 1: {throughput[2] / throughput[1]:.2f}", flush=True)
                continue
            core = statistics.median(r[method][0] for r in core_runs)
            t1 = statistics.median(r[method] for r in batch_runs)
            # the least disturbed run of each: the ratio a quiet machine would show
            best_ratio = min(r[method] for r in batch_runs) / min(r[method][1] for r in core_runs)
            loop_ours, loop_pin = python_loops(path, method, pin_name, s)
            best = max(throughput.values())
            lines.append(
                f"| {robot_name} | {method} | {core:.0f} | {t1:.0f} | {t1 / core:.2f} | {best_ratio:.2f} | "
                f"{throughput[2] / throughput[1]:.2f} | {cpu2:.0f} | {loop_ours:.0f} | {loop_ours * best / 1e9:.1f} | "
                f"{loop_pin:.0f} | {loop_pin * best / 1e9:.1f} |")
            print(lines[-1], flush=True)
        for b in batches.values():
            b.close()
    lines += ["", "core ns: bench_core_calls, CPU time per call; batch 1T ns: CPU time per state with one thread",
              "(medians of five runs each, in turns); best ratio: the fastest batch run over the fastest core run;",
              "2T / 1T: wall-time throughput of 2 threads over 1; 2T CPU ns: process CPU time per state with 2",
              "threads, both together (batch 1T ns when the threads do not slow each other); loop columns: CPU",
              "time per state of a Python loop, × = the batch's best throughput (any thread count) over the loop's.",
              "",
              "Throughput, states per second, by thread count:", "",
              "| robot | method | " + " | ".join(f"{t} threads" for t in THREADS) + " |",
              "|---|---|" + "---:|" * len(THREADS)]
    for (robot_name, method), tp in scans.items():
        lines.append(f"| {robot_name} | {method} | " + " | ".join(f"{tp[t]:,.0f}" for t in THREADS) + " |")
    lines.append(f"\nload average {os.getloadavg()[0]:.2f} at the end")

    if not (args.no_dask or args.scan_only):
        path = str(ROBOTS / CASES[0][1])
        with RobotBatch(path, threads=1) as b:
            s = states(B, b.joint_count, np.random.default_rng(2))
            a = arguments("inverse_dynamics", s)
            t_state = median(lambda: b.inverse_dynamics(*a), repeats, time.thread_time_ns) / B
        rows, per_chunk, fixed = dask_overhead(path, s, (500, 1_000, 2_500, 10_000, 50_000))
        lines += ["", f"Dask, LocalCluster(2 processes × 1 thread), Panda inverse_dynamics, B = {B:,}, inputs held "
                      f"by the workers, results gathered; {t_state:.0f} ns per state on one thread, so "
                      f"{t_state * B / 2e6:.0f} ms of work per worker:", "",
                  "| chunk | chunks | wall ms | wall ms, no computation | pickle round trip of a chunk µs |",
                  "|---:|---:|---:|---:|---:|"]
        lines += [f"| {c:,} | {k} | {w:.0f} | {e:.0f} | {p:.0f} |" for c, k, w, e, p in rows]
        lines.append(f"\nDask's own cost, fitted: {fixed / 1e6:.0f} ms per compute plus {per_chunk / 1e3:.0f} µs per "
                     f"chunk and worker; chunks of at least {per_chunk / (0.05 * t_state):,.0f} states keep the "
                     f"per-chunk cost under 5% of the work")
    text = "\n".join(lines) + "\n"
    print(text)
    REPORT.mkdir(parents=True, exist_ok=True)
    (REPORT / "batch.md").write_text(text)

    if not scans:
        return
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, ax = plt.subplots(figsize=(6, 4))
    for (robot_name, method), tp in scans.items():
        ax.plot(THREADS, [tp[t] for t in THREADS], marker="o", label=f"{robot_name} {method}")
    ax.set_xlabel("threads")
    ax.set_ylabel("states per second")
    ax.set_yscale("log")
    ax.set_xticks(THREADS)
    ax.set_title(f"vormek.batch throughput, B = {B:,} ({os.cpu_count()} cores)")
    ax.legend(fontsize=7)
    fig.tight_layout()
    fig.savefig(REPORT / "batch_threads.png", dpi=120)


if __name__ == "__main__":
    main()
