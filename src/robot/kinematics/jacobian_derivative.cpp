// The time derivative of the world Jacobian along q̇: a kernel in root axes shared by both
// base kinds, then one writer per base kind that turns it into world axes.

#include <algorithm>

#include "../../robot.hpp"
#include "chain.hpp"
#include "columns.hpp"

namespace vormek {

namespace {

// The three values of a flat six-value column layout starting at `at`.
Eigen::Map<Vector3d> block(std::span<double> s, std::size_t at) { return Eigen::Map<Vector3d>(&s[at]); }
Eigen::Map<const Vector3d> block(std::span<const double> s, std::size_t at) {
    return Eigen::Map<const Vector3d>(&s[at]);
}

}  // namespace

Result<Pose> Model::jacobian_derivative_kernel(std::span<const double> q, std::span<const double> qd,
                                               std::size_t link, Workspace& workspace) const {
    const std::span<double> Jdot(workspace.jacobian_derivative);
    VORMEK_CHECK(check_length(Jdot, 6 * dof_count(), "jacobian derivative output"));
    VORMEK_CHECK(check_length(std::span(workspace.angular_velocity), joint_count(), "angular velocity workspace"));
    if (workspace.jdot_linear_velocity.size() != joint_count()) panic("workspace does not fit the model");
    std::ranges::fill(Jdot, 0.0);
    // the root does not move relative to itself: no columns, J̇ = 0
    if (link == 0) {
        std::ranges::fill(workspace.jacobian, 0.0);
        return Pose::identity();
    }
    const std::span<double> J(workspace.jacobian);
    VORMEK_CHECK(check_length(J, 6 * dof_count(), "jacobian output"));
    std::ranges::fill(J, 0.0);
    const auto path = ancestor_path(*this, link, workspace.ancestor_path);

    // one walk, root end first: ω_j of each child frame and v_j of its origin, and the columns
    // of J started (axis z_j, and p_j in place of the moment arm of a revolute column)
    auto& w_j = workspace.angular_velocity;
    auto& v_j = workspace.jdot_linear_velocity;
    Vector3d w = Vector3d::Zero(), v = Vector3d::Zero(), p = Vector3d::Zero();
    const Pose target = compose_path(*this, q, path, Pose::identity(), [&](std::size_t j, const Pose& X) {
        v += w.cross(X.translation - p);
        p = X.translation;
        if (const std::size_t k = joint_dofs[j]; k != no_dof) {
            start_joint_column(joint_kinematics[j], X, &J[6 * k]);
            if (joint_kinematics[j].kind == JointKind::Revolute) w += block(J, 6 * k) * qd[k];
            else v += block(J, 6 * k + 3) * qd[k];
        }
        w_j[j] = w;
        v_j[j] = v;
    });
    const Vector3d &p_t = p, &v_t = v;

    // column pass: differentiate [z; z × (p_t − p_j)] and [0; z], where ż = ω_j × z
    for (const std::size_t j : path) {
        const std::size_t k = joint_dofs[j];
        if (k == no_dof) continue;
        if (joint_kinematics[j].kind == JointKind::Revolute) {
            const Vector3d z = block(J, 6 * k), p_j = block(J, 6 * k + 3);
            const Vector3d zdot = w_j[j].cross(z);
            block(Jdot, 6 * k) = zdot;
            block(Jdot, 6 * k + 3) = zdot.cross(p_t - p_j) + z.cross(v_t - v_j[j]);
        } else {
            block(Jdot, 6 * k + 3) = w_j[j].cross(block(J, 6 * k + 3));
        }
    }
    finish_joint_columns(*this, path, p_t, J, 0);
    return target;
}

void Model::write_fixed_jacobian_derivative(const Pose& base, std::span<const double> Jdot,
                                            std::span<double> out) const {
    std::ranges::fill(out, 0.0);
    // the base does not move: rotating each block into world axes is all there is, by the
    // matrix, which costs half a quaternion rotation per block once it is built
    const Matrix3d R_b = base.rotation.toRotationMatrix();
    for (std::size_t i = 0; i < 2 * dof_count(); ++i) block(out, 3 * i).noalias() = R_b * block(Jdot, 3 * i);
}

void Model::write_floating_jacobian_derivative(const BaseState& base, std::span<const double> qd, const Pose& target,
                                               std::span<const double> J, std::span<const double> Jdot,
                                               std::span<double> out) const {
    const std::size_t n = dof_count();
    const Quaterniond& R_b = base.frame().rotation;
    const Vector3d& w_b = base.velocity().angular;
    std::ranges::fill(out, 0.0);

    // velocity of the target origin relative to the root, then of r = R_b·p_t in the world
    Vector3d v_rel = Vector3d::Zero();
    for (std::size_t k = 0; k < n; ++k) v_rel += block(J, 6 * k + 3) * qd[k];
    const Vector3d r = rotate(R_b, target.translation);
    const Vector3d r_dot = w_b.cross(r) + rotate(R_b, v_rel);

    // base columns: d/dt [e_i; e_i × r] = [0; e_i × ṙ]; the linear base columns are constant
    for (std::size_t i = 0; i < 3; ++i) block(out, 6 * i + 3) = Vector3d::Unit(i).cross(r_dot);
    // joint columns: d/dt (R_b·B) = R_b·Ḃ + ω_b × (R_b·B) for each block B
    for (std::size_t i = 0; i < 2 * n; ++i)
        block(out, 36 + 3 * i) = rotate(R_b, block(Jdot, 3 * i)) + w_b.cross(rotate(R_b, block(J, 3 * i)));
}

Result<void> Robot::jacobian_derivative(std::span<const double> q, std::span<const double> qd, LinkId target,
                                        std::span<double> out) {
    const Model& m = *model_;
    VORMEK_CHECK(check_joint_vector(q, m.dof_count(), "q"));
    VORMEK_CHECK(check_joint_vector(qd, m.dof_count(), "qd"));
    VORMEK_CHECK(check_length(out, 6 * m.dof_count(), "jacobian derivative output"));
    VORMEK_TRY(index, m.check_link(target));
    VORMEK_CHECK(m.jacobian_derivative_kernel(q, qd, index, workspace_));
    m.write_fixed_jacobian_derivative(base_frame_, workspace_.jacobian_derivative, out);
    return {};
}

Result<void> FloatingRobot::jacobian_derivative(const BaseState& base, std::span<const double> q,
                                                std::span<const double> qd, LinkId target, std::span<double> out) {
    const Model& m = *model_;
    VORMEK_CHECK(check_joint_vector(q, m.dof_count(), "q"));
    VORMEK_CHECK(check_joint_vector(qd, m.dof_count(), "qd"));
    VORMEK_CHECK(check_length(out, 6 * m.dof_count() + 36, "jacobian derivative output"));
    VORMEK_TRY(index, m.check_link(target));
    VORMEK_TRY(target_pose, m.jacobian_derivative_kernel(q, qd, index, workspace_));
    m.write_floating_jacobian_derivative(base, qd, target_pose, workspace_.jacobian, workspace_.jacobian_derivative,
                                         out);
    return {};
}

}  // namespace vormek
