// The velocity pass behind the centre of mass's velocity, the centroidal momentum and the kinetic
// energy: each body's spatial velocity in world axes at the root origin, v_k = v_parent + S_k·q̇_k
// (Featherstone, RBDA eq. 2.12, with no transform between the two since both sit in the one
// frame), and each body's momentum and energy summed from it.

#include "../../robot.hpp"
#include "../checks.hpp"
#include "centroidal.hpp"
#include "fused.hpp"

namespace vormek {

namespace {

// What a pass sums: the velocity of the centre of mass needs the linear momentum alone, the
// momentum the angular one too, the energy neither but its own sum.
enum class Sums { linear, momentum, energy };

// The whole robot's momentum about the root origin and twice its kinetic energy.
struct MotionSums {
    MassSum mass;
    double linear[3] = {0, 0, 0};   // Σ mᵢ·ẋᵢ
    double angular[3] = {0, 0, 0};  // Σ Rᵢ·I_cᵢ·Rᵢᵀ·ωᵢ + xᵢ × mᵢ·ẋᵢ
    double twice_kinetic = 0.0;     // Σ ωᵢ·Rᵢ·I_cᵢ·Rᵢᵀ·ωᵢ + mᵢ·|ẋᵢ|²
};

// Adds a body of rotation R and centre of mass x, moving with (ω; v), v that of the point at the
// root origin: its centre of mass moves with ẋ = v + ω × x, and it spins with R·I_c·Rᵀ·ω about
// it. Scalar code on values still in registers.
template <Sums What>
[[gnu::always_inline]] inline void add_body(const LinkInertial& in, const double (&R)[3][3], const Vector3d& x,
                                            const double* w, const double* v, MotionSums& sums) {
    const double m = in.mass;
    const double xd[3] = {v[0] + w[1] * x[2] - w[2] * x[1], v[1] + w[2] * x[0] - w[0] * x[2],
                          v[2] + w[0] * x[1] - w[1] * x[0]};
    const double p[3] = {m * xd[0], m * xd[1], m * xd[2]};
    for (int r = 0; r < 3; ++r) sums.linear[r] += p[r];
    if constexpr (What == Sums::linear) return;
    // the spin in the body's axes: b = Rᵀ·ω, I_c·b
    const Matrix3d& I = in.inertia_com;
    double b[3], Ib[3];
    for (int c = 0; c < 3; ++c) b[c] = R[0][c] * w[0] + R[1][c] * w[1] + R[2][c] * w[2];
    for (int r = 0; r < 3; ++r) Ib[r] = I(r, 0) * b[0] + I(r, 1) * b[1] + I(r, 2) * b[2];
    if constexpr (What == Sums::energy) {
        // ω·R·I_c·Rᵀ·ω + ẋ·m·ẋ
        sums.twice_kinetic += b[0] * Ib[0] + b[1] * Ib[1] + b[2] * Ib[2] + (xd[0] * p[0] + xd[1] * p[1] + xd[2] * p[2]);
    } else {
        sums.angular[0] += R[0][0] * Ib[0] + R[0][1] * Ib[1] + R[0][2] * Ib[2] + (x[1] * p[2] - x[2] * p[1]);
        sums.angular[1] += R[1][0] * Ib[0] + R[1][1] * Ib[1] + R[1][2] * Ib[2] + (x[2] * p[0] - x[0] * p[2]);
        sums.angular[2] += R[2][0] * Ib[0] + R[2][1] * Ib[1] + R[2][2] * Ib[2] + (x[0] * p[1] - x[1] * p[0]);
    }
}

// base_velocity: the root's (ω; ṗ), zero on a fixed base; q and qd checked by the caller. The
// whole pass, inlined into its portable and fused builds.
template <Sums What>
[[gnu::always_inline]] inline MotionSums motion_pass(const Model& model, bool floating,
                                                     const Quaterniond& base_rotation, const Twist& base_velocity,
                                                     std::span<const double> q, std::span<const double> qd,
                                                     Workspace& ws) {
    const std::size_t n = model.dof_count();
    std::span<Vector6d> V = ws.v;
    if (V.size() < n) panic("body velocity workspace does not fit the model");
    const Matrix3d R0 = rotation_matrix(base_rotation);
    double v0[6];
    for (int r = 0; r < 3; ++r) v0[r] = base_velocity.angular[r], v0[3 + r] = base_velocity.linear[r];
    MotionSums sums;
    // root to leaf: the body's velocity from its parent's, then its momentum and energy
    const auto visit = [&](std::size_t k, const BodyRows& X, const Vector3d& x) __attribute__((always_inline)) {
        const double R[3][3] = {{X.R0[0], X.R1[0], X.R2[0]}, {X.R0[1], X.R1[1], X.R2[1]}, {X.R0z, X.R1z, X.R2z}};
        const double p[3] = {X.p[0], X.p[1], X.pz};
        // the joint axis in world axes: turning about it through p, S = (s; p × s); sliding, (0; s)
        const BodyJoint& joint = model.body_joints[k];
        double s[3];
        const Vector3d& a = joint.axis;
        for (int r = 0; r < 3; ++r)
            s[r] = joint.coordinate >= 0 ? a[joint.coordinate] * R[r][joint.coordinate]
                                         : R[r][0] * a[0] + R[r][1] * a[1] + R[r][2] * a[2];
        const std::size_t parent = model.body_parents[k];
        const double* vp = parent == 0 ? v0 : V[parent - 1].data();
        double* v = V[k].data();
        const double rate = qd[k];
        if (joint.kind == JointKind::Revolute) {
            for (int r = 0; r < 3; ++r) v[r] = vp[r] + rate * s[r];
            v[3] = vp[3] + rate * (p[1] * s[2] - p[2] * s[1]);
            v[4] = vp[4] + rate * (p[2] * s[0] - p[0] * s[2]);
            v[5] = vp[5] + rate * (p[0] * s[1] - p[1] * s[0]);
        } else {
            for (int r = 0; r < 3; ++r) v[r] = vp[r], v[3 + r] = vp[3 + r] + rate * s[r];
        }
        add_body<What>(model.body_inertials[k + 1], R, x, v, v + 3, sums);
    };
    sums.mass = place_masses(model, R0, q, ws.transforms, visit);
    // the root body, which moves only with a floating base
    if (floating) {
        const LinkInertial& in0 = model.body_inertials[0];
        const double R[3][3] = {{R0(0, 0), R0(0, 1), R0(0, 2)}, {R0(1, 0), R0(1, 1), R0(1, 2)},
                                {R0(2, 0), R0(2, 1), R0(2, 2)}};
        add_body<What>(in0, R, R0 * in0.com, v0, v0 + 3, sums);
    }
    return sums;
}

#ifdef VORMEK_FUSED_KERNELS
template <Sums What>
VORMEK_FUSED MotionSums fused_motion_pass(const Model& model, bool floating, const Quaterniond& base_rotation,
                                          const Twist& base_velocity, std::span<const double> q,
                                          std::span<const double> qd, Workspace& ws) {
    return motion_pass<What>(model, floating, base_rotation, base_velocity, q, qd, ws);
}
#endif

template <Sums What>
MotionSums motion_sums(const Model& model, bool floating, const Quaterniond& base_rotation,
                       const Twist& base_velocity, std::span<const double> q, std::span<const double> qd,
                       Workspace& ws) {
#ifdef VORMEK_FUSED_KERNELS
    if (fused_kernels()) return fused_motion_pass<What>(model, floating, base_rotation, base_velocity, q, qd, ws);
#endif
    return motion_pass<What>(model, floating, base_rotation, base_velocity, q, qd, ws);
}

Result<void> center_of_mass_velocity(const Model& model, bool floating, const Quaterniond& base_rotation,
                                     const Twist& base_velocity, std::span<const double> q,
                                     std::span<const double> qd, Workspace& ws, std::span<double> out) {
    VORMEK_CHECK(check_joint_vector(q, model.dof_count(), "q"));
    VORMEK_CHECK(check_joint_vector(qd, model.dof_count(), "qd"));
    VORMEK_CHECK(check_length(out, 3, "center of mass velocity output"));
    const MotionSums sums = motion_sums<Sums::linear>(model, floating, base_rotation, base_velocity, q, qd, ws);
    for (int r = 0; r < 3; ++r) out[r] = sums.linear[r] / sums.mass.mass;
    return {};
}

// [k; p]: the angular momentum about the centre of mass c, k = k_o − c × p, and the linear one.
Result<Twist> momentum(const Model& model, bool floating, const Quaterniond& base_rotation,
                       const Twist& base_velocity, std::span<const double> q, std::span<const double> qd,
                       Workspace& ws) {
    VORMEK_CHECK(check_joint_vector(q, model.dof_count(), "q"));
    VORMEK_CHECK(check_joint_vector(qd, model.dof_count(), "qd"));
    const MotionSums sums = motion_sums<Sums::momentum>(model, floating, base_rotation, base_velocity, q, qd, ws);
    const Vector3d p(sums.linear[0], sums.linear[1], sums.linear[2]);
    const Vector3d k_o(sums.angular[0], sums.angular[1], sums.angular[2]);
    return Twist{k_o - sums.mass.momentum_point().cross(p), p};
}

Result<double> kinetic_energy(const Model& model, bool floating, const Quaterniond& base_rotation,
                              const Twist& base_velocity, std::span<const double> q, std::span<const double> qd,
                              Workspace& ws) {
    VORMEK_CHECK(check_joint_vector(q, model.dof_count(), "q"));
    VORMEK_CHECK(check_joint_vector(qd, model.dof_count(), "qd"));
    return 0.5 * motion_sums<Sums::energy>(model, floating, base_rotation, base_velocity, q, qd, ws).twice_kinetic;
}

}  // namespace

Result<void> Robot::center_of_mass_velocity(std::span<const double> q, std::span<const double> qd,
                                            std::span<double> out) {
    return vormek::center_of_mass_velocity(*model_, false, base_frame_.rotation, Twist{}, q, qd, workspace_, out);
}

Result<void> FloatingRobot::center_of_mass_velocity(const BaseState& base, std::span<const double> q,
                                                    std::span<const double> qd, std::span<double> out) {
    return vormek::center_of_mass_velocity(*model_, true, base.frame().rotation, base.velocity(), q, qd, workspace_,
                                           out);
}

Result<Twist> Robot::momentum(std::span<const double> q, std::span<const double> qd) {
    return vormek::momentum(*model_, false, base_frame_.rotation, Twist{}, q, qd, workspace_);
}

Result<Twist> FloatingRobot::momentum(const BaseState& base, std::span<const double> q, std::span<const double> qd) {
    return vormek::momentum(*model_, true, base.frame().rotation, base.velocity(), q, qd, workspace_);
}

Result<double> Robot::kinetic_energy(std::span<const double> q, std::span<const double> qd) {
    return vormek::kinetic_energy(*model_, false, base_frame_.rotation, Twist{}, q, qd, workspace_);
}

Result<double> FloatingRobot::kinetic_energy(const BaseState& base, std::span<const double> q,
                                             std::span<const double> qd) {
    return vormek::kinetic_energy(*model_, true, base.frame().rotation, base.velocity(), q, qd, workspace_);
}

}  // namespace vormek
