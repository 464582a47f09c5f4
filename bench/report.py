"""The peer benchmark report: per-call times from Python of forward kinematics, every link's pose,
the Jacobian, inverse dynamics, the mass matrix, forward dynamics and gravity for vormek, Pinocchio
and MuJoCo (where it reads the robot) on real robots and on generated chains, written as Markdown
with PNG plots.

    .venv/bin/python bench/report.py [OUTPUT_DIR]      (default build/report)

Each figure is the median of five batches; vormek writes into preallocated `out` arrays,
Pinocchio into its Data, MuJoCo into its MjData (and into preallocated arrays for its Jacobian,
dense mass matrix and joint forces). All run in this one process, their batches interleaved per
computation, so that the noise of a shared machine falls on all alike. MuJoCo is optional: without
it, or where it refuses a robot, its cells read "–"."""

from __future__ import annotations

import datetime
import os
import pathlib
import platform
import sys
import sysconfig
import tempfile

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import vormek  # noqa: E402
from bench_forward_kinematics import seven_dof_arm  # noqa: E402
from vormek.cli import mujoco_peer, timing  # noqa: E402

ROBOTS = pathlib.Path(sysconfig.get_paths()["purelib"]) / "cmeel.prefix/share/example-robot-data/robots"
COMPUTATIONS = ["forward_kinematics", "link_poses", "jacobian", "inverse_dynamics", "mass_matrix",
                "forward_dynamics", "gravity"]
SHORT = {"forward_kinematics": "FK", "link_poses": "poses", "jacobian": "Jacobian", "inverse_dynamics": "ID",
         "mass_matrix": "M", "forward_dynamics": "FD", "gravity": "gravity"}
CHAIN_LINKS = [8, 16, 32, 64, 128, 256, 512]
BUDGET = 0.2


def chain_text(links: int) -> str:
    """`links` links joined by revolute joints about alternating z and y, 0.1 m apart."""
    parts = [f'<robot name="chain{links}">']
    for i in range(links):
        parts.append(f'<link name="l{i}"><inertial><origin xyz="0 0 0.05"/><mass value="1"/>'
                     '<inertia ixx="0.01" ixy="0" ixz="0" iyy="0.01" iyz="0" izz="0.005"/></inertial></link>')
        if i:
            parts.append(f'<joint name="j{i}" type="revolute"><parent link="l{i - 1}"/><child link="l{i}"/>'
                         f'<origin xyz="0 0 0.1" rpy="0 0 0.1"/><axis xyz="{"0 0 1" if i % 2 else "0 1 0"}"/>'
                         '<limit lower="-3" upper="3" effort="10" velocity="2"/></joint>')
    return "".join(parts) + "</robot>"


Times = dict[str, tuple[float, float, float | None]]


def measure(path: str | os.PathLike[str], floating: bool = False) -> tuple[Times, str | None]:
    """computation -> (vormek, Pinocchio, MuJoCo or None) seconds per call, and why MuJoCo is left
    out when it refuses the robot."""
    bench = timing.prepare(path, floating=floating)
    times: Times = {}
    with bench.robot:
        for case in bench.cases:
            if case.name in COMPUTATIONS and case.theirs is not None:
                peers = [case.theirs] + ([case.mujoco] if case.mujoco is not None else [])
                ours, theirs, *mujoco = timing.per_call(case.ours, *peers, budget=BUDGET)
                times[case.name] = (ours, theirs, mujoco[0] if mujoco else None)
    return times, bench.mujoco_refused


def ratio(ours: float, theirs: float | None) -> str:
    return "–" if theirs is None else f"{ours / theirs:.2f}×"


def us(seconds: float) -> str:
    return f"{seconds * 1e6:.2f}" if seconds < 1e-4 else f"{seconds * 1e6:.0f}"


def machine() -> str:
    cpu = platform.processor() or platform.machine()
    try:
        with open("/proc/cpuinfo") as f:
            cpu = next(line.split(":", 1)[1].strip() for line in f if line.startswith("model name"))
    except (OSError, StopIteration):
        pass
    import pinocchio

    mujoco = mujoco_peer.module()
    return (f"{cpu}, {os.cpu_count()} cores, Python {platform.python_version()}, NumPy {np.__version__}, "
            f"Pinocchio {pinocchio.__version__}, " + (f"MuJoCo {mujoco.__version__}" if mujoco else "no MuJoCo"))


def main() -> None:
    out = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build/report")
    load = os.getloadavg()[0]
    out.mkdir(parents=True, exist_ok=True)
    scratch = pathlib.Path(tempfile.mkdtemp())
    arm = scratch / "arm7.urdf"
    arm.write_text(seven_dof_arm())
    robots = [("Panda", ROBOTS / "panda_description/urdf/panda.urdf", False),
              ("UR5", ROBOTS / "ur_description/urdf/ur5_robot.urdf", False),
              ("7-DOF arm", arm, False),
              ("Solo12", ROBOTS / "solo_description/robots/solo12.urdf", False),
              ("Talos", ROBOTS / "talos_data/robots/talos_reduced.urdf", False),
              ("Solo12", ROBOTS / "solo_description/robots/solo12.urdf", True),
              ("Talos", ROBOTS / "talos_data/robots/talos_reduced.urdf", True)]
    results, refusals = [], []
    for i, (label, path, floating) in enumerate(robots, 1):
        print(f"[{i}/{len(robots)}] {label}{' floating' if floating else ''}", file=sys.stderr)
        with vormek.Robot(path) as robot:
            dof = robot.joint_count
        times, refused = measure(path, floating)
        results.append((label, floating, dof, times))
        if refused is not None:
            refusals.append(f"- {label}{' (floating)' if floating else ''}: {refused}")

    chains = {}
    for links in CHAIN_LINKS:
        print(f"chain of {links} links", file=sys.stderr)
        path = scratch / f"chain{links}.urdf"
        path.write_text(chain_text(links))
        chains[links - 1] = measure(path)[0]

    when = datetime.date.today().isoformat()
    lines = [f"# vormek against Pinocchio and MuJoCo, per call from Python ({when})", "",
             f"Machine: {machine()}.", "",
             f"Load average when the run began: {load:.1f}. "
             "Each figure is the median of five batches, vormek's, Pinocchio's and MuJoCo's interleaved; vormek "
             "writes into preallocated `out` arrays. "
             "Pinocchio's calls: forwardKinematics (placements of all joints) against our pose of the last "
             "link, framesForwardKinematics against every link's pose, computeFrameJacobian (LOCAL_WORLD_ALIGNED), rnea, crba (upper triangle), aba, "
             "computeGeneralizedGravity; floating rows use its free-flyer model. "
             "MuJoCo reads the same URDF text (geometry dropped, inertias as written, a free joint on the root "
             "link for floating rows; contacts, constraints, springs, damping and armature off): the kinematics "
             "with every link a body of its own, the dynamics on its default model, where links fixed to their "
             "parent are fused into it (same rigid bodies, fewer to walk). Each call writes the state into its "
             "MjData and runs the stages the result needs: "
             "mj_kinematics for FK and every link's pose; then mj_comPos and mj_jacBody for the Jacobian; "
             "mj_comPos, mj_comVel and mj_rne for inverse dynamics and (at zero velocity) gravity; mj_comPos, "
             "mj_crb and mj_fullM for the dense mass matrix; mj_forward for forward dynamics (the fastest of the "
             "routes through its public calls, measured). Its results equal ours at the timed state to 1e-8 "
             "relative before it is timed. Ratio = vormek / peer (below 1: vormek is faster).", "",
             "## Headline: µs per call (ratio to Pinocchio, ratio to MuJoCo)", "",
             "| robot | DOF | " + " | ".join(SHORT[c] for c in COMPUTATIONS) + " |",
             "|---|---:|" + "---:|" * len(COMPUTATIONS)]
    for label, floating, dof, times in results:
        cells = [f"{us(times[c][0])} ({ratio(times[c][0], times[c][1])}, {ratio(times[c][0], times[c][2])})"
                 for c in COMPUTATIONS]
        lines.append(f"| {label}{' (floating)' if floating else ''} | {dof}{' + 6' if floating else ''} | "
                     + " | ".join(cells) + " |")
    if refusals:
        lines += ["", "MuJoCo refused:", *refusals]
    lines += ["", "## Every figure", "",
              "| robot | computation | vormek [µs] | Pinocchio [µs] | ratio | MuJoCo [µs] | ratio |",
              "|---|---|---:|---:|---:|---:|---:|"]
    for label, floating, dof, times in results:
        for c in COMPUTATIONS:
            ours, theirs, mujoco = times[c]
            lines.append(f"| {label}{' (floating)' if floating else ''} | {c} | {us(ours)} | {us(theirs)} | "
                         f"{ratio(ours, theirs)} | {'–' if mujoco is None else us(mujoco)} | {ratio(ours, mujoco)} |")
    lines += ["", "## Generated chains", "", "![time per call against DOF](chains.png)", "",
              "| DOF | " + " | ".join(f"{SHORT[c]} vormek / Pinocchio / MuJoCo [µs]" for c in COMPUTATIONS) + " |",
              "|---:|" + "---:|" * len(COMPUTATIONS)]
    for dof, times in chains.items():
        lines.append(f"| {dof} | " + " | ".join(" / ".join("–" if t is None else us(t) for t in times[c])
                                                  for c in COMPUTATIONS) + " |")
    lines += ["", "![per-call times on the robots](robots.png)", ""]
    (out / "report.md").write_text("\n".join(lines))

    figure, axes = plt.subplots(2, 4, figsize=(17, 8), sharex=True)
    dofs = list(chains)
    for ax, c in zip(axes.flat, COMPUTATIONS):
        ax.loglog(dofs, [chains[d][c][0] * 1e6 for d in dofs], "o-", label="vormek")
        ax.loglog(dofs, [chains[d][c][1] * 1e6 for d in dofs], "s--", label="Pinocchio")
        mujoco = [(d, chains[d][c][2]) for d in dofs if chains[d][c][2] is not None]
        if mujoco:
            ax.loglog([d for d, _ in mujoco], [t * 1e6 for _, t in mujoco], "^:", label="MuJoCo")
        ax.set_title(c)
        ax.set_xlabel("DOF")
        ax.set_ylabel("µs per call")
        ax.grid(True, which="both", alpha=0.3)
        ax.legend()
    for ax in axes.flat[len(COMPUTATIONS):]:
        ax.set_visible(False)
    figure.suptitle(f"Generated chains: time per call from Python ({when})")
    figure.tight_layout()
    figure.savefig(out / "chains.png", dpi=100)
    plt.close(figure)

    figure, ax = plt.subplots(figsize=(13, 5))
    width = 0.8 / len(results)
    for k, (label, floating, _, times) in enumerate(results):
        x = np.arange(len(COMPUTATIONS)) + k * width
        ax.bar(x, [times[c][0] / times[c][1] for c in COMPUTATIONS], width,
               label=f"{label}{' (floating)' if floating else ''}")
    ax.axhline(1.0, color="black", linewidth=0.8)
    ax.set_xticks(np.arange(len(COMPUTATIONS)) + 0.4 - width / 2, [SHORT[c] for c in COMPUTATIONS])
    ax.set_ylabel("vormek time / Pinocchio time")
    ax.set_title(f"Per-call time ratio on the robots ({when}); below 1: vormek is faster")
    ax.legend(fontsize=8)
    figure.tight_layout()
    figure.savefig(out / "robots.png", dpi=100)
    plt.close(figure)
    for path in scratch.iterdir():
        path.unlink()
    scratch.rmdir()
    print(f"wrote {out / 'report.md'}, {out / 'chains.png'}, {out / 'robots.png'}")


if __name__ == "__main__":
    main()
