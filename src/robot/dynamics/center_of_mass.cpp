// The whole robot's centre of mass c, its Jacobian J_c and the potential energy −m·g·c, from
// the bodies placed about the root origin in world axes (centroidal.hpp).

#include "../../robot.hpp"
#include "../checks.hpp"
#include "centroidal.hpp"
#include "fused.hpp"

namespace vormek {

namespace {

Result<void> center_of_mass(const Model& model, const Pose& base, std::span<const double> q, Workspace& ws,
                            std::span<double> out) {
    VORMEK_CHECK(check_joint_vector(q, model.dof_count(), "q"));
    VORMEK_CHECK(check_length(out, 3, "center of mass output"));
    const MassSum sum = place_masses(model, rotation_matrix(base.rotation), q, ws.transforms,
                                     [](std::size_t, const BodyRows&, const Vector3d&) {});
    const Vector3d c = base.translation + sum.center();
    for (int r = 0; r < 3; ++r) out[r] = c[r];
    return {};
}

// ċ = J_c·u, 3 values per column. A unit rate of joint k moves the subtree of body k + 1 as one
// rigid body with the motion S_k = (ω; v), v that of the point at the root origin; that moves
// each centre of mass in it by v + ω × xᵢ, so the subtree's first moment by M_k·v + ω × H_k
// and the robot's centre of mass by that over the robot's mass m.
// The whole computation, inlined into its portable and fused builds.
[[gnu::always_inline]] inline Result<void> com_jacobian(const Model& model, bool floating,
                                                        const Quaterniond& base_rotation, std::span<const double> q,
                                                        Workspace& ws, std::span<double> out) {
    const std::size_t n = model.dof_count(), off = floating ? 6 : 0;
    VORMEK_CHECK(check_joint_vector(q, n, "q"));
    VORMEK_CHECK(check_length(out, 3 * (n + off), "center of mass jacobian output"));
    // (Mc, Hc): mass and first moment of each subtree about the root origin
    std::span<Transform> X = ws.transforms;
    std::span<double> Mc = ws.composite_mass;
    std::span<Vector3d> Hc = ws.composite_first_moment;
    if (Mc.size() < n || Hc.size() < n) panic("subtree workspace does not fit the model");

    // root to leaf: each body starts its subtree's sums with its own mass and first moment
    const auto start = [&](std::size_t k, const BodyRows&, const Vector3d& x) __attribute__((always_inline)) {
        Mc[k] = model.body_inertials[k + 1].mass;
        Hc[k] = Mc[k] * x;
    };
    const MassSum total = place_masses(model, rotation_matrix(base_rotation), q, X, start);
    const double inverse_mass = 1.0 / total.mass;

    // leaf to root: a subtree is complete when its body comes; then it joins its parent's
    for (std::size_t k = n; k-- > 0;) {
        double S[6];
        motion_column(model.body_joints[k], X[k], S);
        const Vector3d w(S[0], S[1], S[2]), v(S[3], S[4], S[5]);
        const Vector3d column = inverse_mass * (Mc[k] * v + w.cross(Hc[k]));
        for (int r = 0; r < 3; ++r) out[3 * (off + k) + r] = column[r];
        if (const std::size_t parent = model.body_parents[k]; parent != 0) {
            Mc[parent - 1] += Mc[k];
            Hc[parent - 1] += Hc[k];
        }
    }

    // the base: turning about e_i through the root origin moves c by e_i × c, moving the root
    // origin along e_i moves c along e_i
    if (floating) {
        const Vector3d c = total.center();
        for (int i = 0; i < 3; ++i) {
            const Vector3d turned = Vector3d::Unit(i).cross(c);
            for (int r = 0; r < 3; ++r) {
                out[3 * i + r] = turned[r];
                out[3 * (3 + i) + r] = r == i ? 1.0 : 0.0;
            }
        }
    }
    return {};
}

#ifdef VORMEK_FUSED_KERNELS
VORMEK_FUSED Result<void> fused_com_jacobian(const Model& model, bool floating, const Quaterniond& base_rotation,
                                             std::span<const double> q, Workspace& ws, std::span<double> out) {
    return com_jacobian(model, floating, base_rotation, q, ws, out);
}
#endif

Result<void> center_of_mass_jacobian(const Model& model, bool floating, const Quaterniond& base_rotation,
                                     std::span<const double> q, Workspace& ws, std::span<double> out) {
#ifdef VORMEK_FUSED_KERNELS
    if (fused_kernels()) return fused_com_jacobian(model, floating, base_rotation, q, ws, out);
#endif
    return com_jacobian(model, floating, base_rotation, q, ws, out);
}

// V = −m·g·c, zero with c at the world origin; g is the handle's gravity, the one every
// dynamics kernel applies.
Result<double> potential_energy(const Model& model, const Pose& base, const Vector3d& g, std::span<const double> q,
                                Workspace& ws) {
    VORMEK_CHECK(check_joint_vector(q, model.dof_count(), "q"));
    const MassSum sum = place_masses(model, rotation_matrix(base.rotation), q, ws.transforms,
                                     [](std::size_t, const BodyRows&, const Vector3d&) {});
    return -g.dot(sum.mass * base.translation + sum.first_moment);
}

}  // namespace

Result<void> Robot::center_of_mass(std::span<const double> q, std::span<double> out) {
    return vormek::center_of_mass(*model_, base_frame_, q, workspace_, out);
}

Result<void> FloatingRobot::center_of_mass(const BaseState& base, std::span<const double> q, std::span<double> out) {
    return vormek::center_of_mass(*model_, base.frame(), q, workspace_, out);
}

Result<void> Robot::center_of_mass_jacobian(std::span<const double> q, std::span<double> out) {
    return vormek::center_of_mass_jacobian(*model_, false, base_frame_.rotation, q, workspace_, out);
}

Result<void> FloatingRobot::center_of_mass_jacobian(const BaseState& base, std::span<const double> q,
                                                    std::span<double> out) {
    return vormek::center_of_mass_jacobian(*model_, true, base.frame().rotation, q, workspace_, out);
}

Result<double> Robot::potential_energy(std::span<const double> q) {
    return vormek::potential_energy(*model_, base_frame_, gravity_.vector(), q, workspace_);
}

Result<double> FloatingRobot::potential_energy(const BaseState& base, std::span<const double> q) {
    return vormek::potential_energy(*model_, base.frame(), gravity_.vector(), q, workspace_);
}

}  // namespace vormek
