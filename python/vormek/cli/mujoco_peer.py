"""MuJoCo's nearest calls beside ours in `vormek bench` and the benchmark report: the text vormek
read, compiled by MuJoCo's URDF reader into the same rigid-body model, the state carried over into
MuJoCo's coordinates, and every result checked against ours before anything is timed."""

from __future__ import annotations

import re
from collections.abc import Callable
from typing import Any

import numpy as np

import vormek


class Refused(Exception):
    """MuJoCo does not read the file, or reads it as another model; the message says how."""


def module() -> Any:
    try:
        import mujoco  # type: ignore[import-untyped]
    except ImportError:
        return None
    return mujoco


# Geometry is dropped before MuJoCo reads the text: it would load the mesh files, and its inertias
# would come from the geometry where a link has none of its own. So is mimic, which vormek ignores
# too (each such joint moves on its own) and MuJoCo would warn about into a log file.
_DROPPED = re.compile(r"<(visual|collision|mimic)\b(?:[^>]*/>|.*?</\1\s*>)", re.S)
# Inertias are taken as written.
_COMPILER = ('<mujoco><compiler fusestatic="{fuse}" discardvisual="true" balanceinertia="false" '
             'inertiafromgeom="false"/></mujoco>')


def compile_model(mj: Any, text: str, root: str, floating: bool, fuse: bool) -> Any:
    """The model MuJoCo builds from the URDF text, with a free joint on link `root` when floating, each
    link a body of its own or (fuse) those fixed to their parent fused into it, and everything beyond
    rigid bodies switched off: contacts and every constraint, springs and damping, armature."""
    compiler = _COMPILER.format(fuse=str(fuse).lower())
    text = re.sub(r"(<robot\b[^>]*>)", lambda match: match.group(1) + compiler, _DROPPED.sub("", text), count=1)
    try:
        editable = mj.MjSpec.from_string(text)
        if floating:
            body = editable.body(root)
            if body is None or body.name == editable.worldbody.name:
                # MuJoCo makes a link named world its fixed world body
                raise Refused(f"MuJoCo fixes the root link {root} to the world")
            body.add_freejoint()
        model = editable.compile()
    except (ValueError, mj.FatalError) as error:
        first = str(error).strip().removeprefix("Error: ").partition("\n")[0]
        raise Refused(first or type(error).__name__) from error
    bits = mj.mjtDisableBit
    model.opt.disableflags |= bits.mjDSBL_CONTACT | bits.mjDSBL_CONSTRAINT | bits.mjDSBL_SPRING | bits.mjDSBL_DAMPER
    model.dof_damping[:] = 0
    model.dof_armature[:] = 0
    model.dof_frictionloss[:] = 0
    return model


class Coordinates:
    """The orthogonal map P from our generalized velocities to MuJoCo's (u_mj = P u): its joints in
    its own depth-first order, and a free joint's velocity [dp/dt; R^T w] against our [w; dp/dt]. Forces
    map alike (P is orthogonal), masses as P M P^T and Jacobians as J P^T."""

    def __init__(self, mj: Any, model: Any, robot: vormek.Robot | vormek.FloatingRobot, rotation: np.ndarray | None):
        n, m = robot.joint_count, robot.generalized_count
        if model.nv != m:
            raise Refused(f"MuJoCo reads {model.nv} degrees of freedom, vormek {m}")
        first = m - n
        self.qpos_of, self.p = np.empty(n, dtype=np.intp), np.zeros((m, m))
        one_dof = {int(mj.mjtJoint.mjJNT_HINGE), int(mj.mjtJoint.mjJNT_SLIDE)}
        for k, name in enumerate(robot.joint_names):
            j = mj.mj_name2id(model, mj.mjtObj.mjOBJ_JOINT, name)
            if j < 0 or int(model.jnt_type[j]) not in one_dof:
                raise Refused(f"MuJoCo does not read joint {name} as one revolute or prismatic degree of freedom")
            self.qpos_of[k] = model.jnt_qposadr[j]
            self.p[model.jnt_dofadr[j], first + k] = 1.0
        if rotation is not None:
            self.p[0:3, 3:6] = np.eye(3)
            self.p[3:6, 0:3] = rotation.T


def _state(to: Coordinates, nq: int, base: vormek.BaseState | None, q: np.ndarray, qd: np.ndarray, qdd: np.ndarray,
           forces: np.ndarray) -> tuple[np.ndarray, np.ndarray, np.ndarray, np.ndarray]:
    """MuJoCo's qpos, qvel, qacc and generalized forces for our state (its quaternion w first)."""
    qpos = np.zeros(nq)
    qpos[to.qpos_of] = q
    if base is None:
        return qpos, to.p @ qd, to.p @ qdd, to.p @ forces
    frame, velocity, acceleration = base.frame, base.velocity, base.acceleration
    qpos[0:3] = frame.translation
    x, y, z, w = frame.rotation_xyzw
    qpos[3:7] = np.array([w, x, y, z]) / np.linalg.norm([w, x, y, z])
    return (qpos, to.p @ np.concatenate([velocity.angular, velocity.linear, qd]),
            to.p @ np.concatenate([acceleration.angular, acceleration.linear, qdd]), to.p @ forces)


def _agree(checks: dict[str, tuple[np.ndarray, np.ndarray]]) -> None:
    """Raises Refused unless each of MuJoCo's results equals ours to 1e-8 of ours (or of 1)."""
    for name, (theirs, ours) in checks.items():
        scale = max(1.0, float(np.max(np.abs(ours), initial=0.0)))
        error = float(np.max(np.abs(theirs - ours), initial=0.0)) / scale
        if not error <= 1e-8:
            raise Refused(f"MuJoCo's model differs from vormek's: its {name} is off by {error:.1e} relative")


def calls(robot: vormek.Robot | vormek.FloatingRobot, text: str, target: int, base: vormek.BaseState | None,
          q: np.ndarray, qd: np.ndarray, qdd: np.ndarray, forces: np.ndarray
          ) -> tuple[dict[str, tuple[Callable[[], object], str]], str]:
    """computation -> (a MuJoCo call from the same state, what it runs), and MuJoCo's version. Raises
    Refused when MuJoCo does not read the text, or reads another model: its results at this state
    must match ours to 1e-8 relative before any is timed."""
    mj = module()
    # Kinematics on one body per link, so that every link has its frame; dynamics on the model
    # MuJoCo's URDF reader builds by default, each link fixed to its parent fused into it: the same
    # rigid bodies, fewer of them to walk (a quarter less time on Talos)
    model = compile_model(mj, text, robot.link_names[0], base is not None, False)
    try:
        fused = compile_model(mj, text, robot.link_names[0], base is not None, True)
        return _checked(mj, model, fused, robot, target, base, q, qd, qdd, forces)
    except Refused:
        # fusing drops the rotational inertia of a link without mass (a foot of bolt has one)
        return _checked(mj, model, model, robot, target, base, q, qd, qdd, forces)


def _checked(mj: Any, model: Any, fused: Any, robot: vormek.Robot | vormek.FloatingRobot, target: int,
             base: vormek.BaseState | None, q: np.ndarray, qd: np.ndarray, qdd: np.ndarray, forces: np.ndarray
             ) -> tuple[dict[str, tuple[Callable[[], object], str]], str]:
    """calls' answer, kinematics on `model` and dynamics on `fused`."""
    r: Any = robot
    rotation = base.frame.rotation_matrix if base is not None else None
    model.opt.gravity[:] = fused.opt.gravity[:] = robot.gravity_vector
    to, to_fused = Coordinates(mj, model, robot, rotation), Coordinates(mj, fused, robot, rotation)
    body_name = robot.link_names[target]
    if mj.mj_name2id(model, mj.mjtObj.mjOBJ_BODY, body_name) < 0:
        raise Refused(f"MuJoCo has no body for link {body_name}")
    body = model.body(body_name).id

    qpos = _state(to, model.nq, base, q, qd, qdd, forces)[0]
    fused_qpos, qvel, qacc, applied = _state(to_fused, fused.nq, base, q, qd, qdd, forces)
    ours_args: tuple[Any, ...] = () if base is None else (base,)
    m = robot.generalized_count

    # one MjData per computation: each call writes its state and runs the stages it reads, so no
    # call leans on what another left behind
    fk_data, jac_data = mj.MjData(model), mj.MjData(model)
    id_data, m_data, fd_data, g_data = (mj.MjData(fused) for _ in range(4))
    jacp, jacr, full, tau = np.zeros((3, m)), np.zeros((3, m)), np.zeros((m, m)), np.zeros(m)
    kinematics, com_pos, com_vel, crb, rne = mj.mj_kinematics, mj.mj_comPos, mj.mj_comVel, mj.mj_crb, mj.mj_rne
    put = np.copyto
    fk_q, jac_q, m_q, g_q = fk_data.qpos, jac_data.qpos, m_data.qpos, g_data.qpos
    id_q, id_v, id_a = id_data.qpos, id_data.qvel, id_data.qacc
    fd_q, fd_v, fd_f = fd_data.qpos, fd_data.qvel, fd_data.qfrc_applied

    def fk() -> None:
        put(fk_q, qpos)
        kinematics(model, fk_data)

    def jacobian() -> None:
        put(jac_q, qpos)
        kinematics(model, jac_data)
        com_pos(model, jac_data)
        mj.mj_jacBody(model, jac_data, jacp, jacr, body)

    def inverse_dynamics() -> None:
        put(id_q, fused_qpos)
        put(id_v, qvel)
        put(id_a, qacc)
        kinematics(fused, id_data)
        com_pos(fused, id_data)
        com_vel(fused, id_data)
        rne(fused, id_data, 1, tau)

    def mass_matrix() -> None:
        put(m_q, fused_qpos)
        kinematics(fused, m_data)
        com_pos(fused, m_data)
        crb(fused, m_data)
        mj.mj_fullM(fused, m_data, full)

    def forward_dynamics() -> None:
        put(fd_q, fused_qpos)
        put(fd_v, qvel)
        put(fd_f, applied)
        mj.mj_forward(fused, fd_data)

    def gravity() -> None:
        put(g_q, fused_qpos)  # its qvel stays zero
        kinematics(fused, g_data)
        com_pos(fused, g_data)
        com_vel(fused, g_data)
        rne(fused, g_data, 0, tau)

    # every call once, its result held against ours
    p, pf = to.p, to_fused.p
    fk()
    pose = r.forward_kinematics(*ours_args, q, target)
    checks = {"forward_kinematics": (np.concatenate([fk_data.xpos[body], fk_data.xmat[body]]),
                                     np.concatenate([pose.translation, pose.rotation_matrix.ravel()]))}
    jacobian()
    checks["jacobian"] = (np.vstack([jacr, jacp]), r.jacobian(*ours_args, q, target).reshape(m, 6).T @ p.T)
    inverse_dynamics()
    checks["inverse_dynamics"] = (tau.copy(), pf @ r.inverse_dynamics(*ours_args, q, qd, qdd))
    mass_matrix()
    checks["mass_matrix"] = (full.copy(), pf @ r.mass_matrix(*ours_args, q).reshape(m, m) @ pf.T)
    forward_dynamics()
    checks["forward_dynamics"] = (fd_data.qacc.copy(), pf @ r.forward_dynamics(*ours_args, q, qd, forces))
    gravity()
    checks["gravity"] = (tau.copy(), pf @ r.gravity(*ours_args, q))
    _agree(checks)

    found: dict[str, tuple[Callable[[], object], str]] = {
        "forward_kinematics": (fk, "mj_kinematics (all bodies)"),
        "link_poses": (fk, "mj_kinematics"),
        "jacobian": (jacobian, "mj_kinematics, mj_comPos, mj_jacBody"),
        "inverse_dynamics": (inverse_dynamics, "mj_kinematics, mj_comPos, mj_comVel, mj_rne"),
        "mass_matrix": (mass_matrix, "mj_kinematics, mj_comPos, mj_crb, mj_fullM"),
        "forward_dynamics": (forward_dynamics, "mj_forward (contacts and constraints off)"),
        "gravity": (gravity, "mj_kinematics, mj_comPos, mj_comVel, mj_rne at zero velocity"),
    }
    return found, str(mj.__version__)
