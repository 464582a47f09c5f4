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
# would come from the geometry where a link has none of its own.
_GEOMETRY = re.compile(r"<(visual|collision)\b(?:[^>]*/>|.*?</\1\s*>)", re.S)
# Every link stays a body of its own, inertias are taken as written.
_COMPILER = ('<mujoco><compiler fusestatic="false" discardvisual="true" balanceinertia="false" '
             'inertiafromgeom="false"/></mujoco>')


def compile_model(mj: Any, text: str, root: str, floating: bool) -> Any:
    """The model MuJoCo builds from the URDF text, with a free joint on link `root` when floating, and
    everything beyond rigid bodies switched off: contacts and every constraint, passive forces,
    damping, armature and friction loss."""
    text = re.sub(r"(<robot\b[^>]*>)", lambda match: match.group(1) + _COMPILER, _GEOMETRY.sub("", text), count=1)
    try:
        spec = mj.MjSpec.from_string(text)
        if floating:
            body = spec.body(root)
            if body is None or body.name == spec.worldbody.name:
                # MuJoCo makes a link named world its fixed world body
                raise Refused(f"MuJoCo fixes the root link {root} to the world")
            body.add_freejoint()
        model = spec.compile()
    except ValueError as error:
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
    r: Any = robot
    model = compile_model(mj, text, robot.link_names[0], base is not None)
    model.opt.gravity[:] = robot.gravity_vector
    to = Coordinates(mj, model, robot, base.frame.rotation_matrix if base is not None else None)
    body_name = robot.link_names[target]
    if mj.mj_name2id(model, mj.mjtObj.mjOBJ_BODY, body_name) < 0:
        raise Refused(f"MuJoCo has no body for link {body_name}")
    body = model.body(body_name).id

    qpos, qvel, qacc, applied = _state(to, model.nq, base, q, qd, qdd, forces)
    ours_args: tuple[Any, ...] = () if base is None else (base,)
    m = robot.generalized_count

    # one MjData per computation: each call writes its state and runs the stages it reads, so no
    # call leans on what another left behind
    fk_data, jac_data, id_data, m_data, fd_data, g_data = (mj.MjData(model) for _ in range(6))
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
        put(id_q, qpos)
        put(id_v, qvel)
        put(id_a, qacc)
        kinematics(model, id_data)
        com_pos(model, id_data)
        com_vel(model, id_data)
        rne(model, id_data, 1, tau)

    def mass_matrix() -> None:
        put(m_q, qpos)
        kinematics(model, m_data)
        com_pos(model, m_data)
        crb(model, m_data)
        mj.mj_fullM(model, m_data, full)

    def forward_dynamics() -> None:
        put(fd_q, qpos)
        put(fd_v, qvel)
        put(fd_f, applied)
        mj.mj_forward(model, fd_data)

    def gravity() -> None:
        put(g_q, qpos)  # its qvel stays zero
        kinematics(model, g_data)
        com_pos(model, g_data)
        com_vel(model, g_data)
        rne(model, g_data, 0, tau)

    # every call once, its result held against ours
    p = to.p
    fk()
    pose = r.forward_kinematics(*ours_args, q, target)
    checks = {"forward_kinematics": (np.concatenate([fk_data.xpos[body], fk_data.xmat[body]]),
                                     np.concatenate([pose.translation, pose.rotation_matrix.ravel()]))}
    jacobian()
    checks["jacobian"] = (np.vstack([jacr, jacp]), r.jacobian(*ours_args, q, target).reshape(m, 6).T @ p.T)
    inverse_dynamics()
    checks["inverse_dynamics"] = (tau.copy(), p @ r.inverse_dynamics(*ours_args, q, qd, qdd))
    mass_matrix()
    checks["mass_matrix"] = (full.copy(), p @ r.mass_matrix(*ours_args, q).reshape(m, m) @ p.T)
    forward_dynamics()
    checks["forward_dynamics"] = (fd_data.qacc.copy(), p @ r.forward_dynamics(*ours_args, q, qd, forces))
    gravity()
    checks["gravity"] = (tau.copy(), p @ r.gravity(*ours_args, q))
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
