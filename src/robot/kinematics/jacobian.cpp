// Geometric Jacobians: one column per generalized velocity, the twist of the target link's
// origin that this velocity alone would cause.

#include <algorithm>

#include "../../robot.hpp"
#include "chain.hpp"
#include "columns.hpp"

namespace vormek {

Result<void> Model::direct_world_jacobian(std::span<const double> q, std::size_t link, const Pose& base,
                                          std::size_t column_offset, Workspace& workspace,
                                          std::span<double> out) const {
    VORMEK_CHECK(check_length(std::span(workspace.frames), joint_count(), "frame workspace"));
    VORMEK_CHECK(check_length(std::span(workspace.jacobian), 6 * dof_count(), "jacobian output"));
    const auto path = ancestor_path(*this, link, workspace.ancestor_path);

    std::ranges::fill(out, 0.0);
    // world rotations, positions from the base origin: only differences of positions enter
    // the columns, so the base translation is never needed
    const Pose M = compose_path(*this, q, path, Pose{base.rotation, Vector3d::Zero()}, [&](std::size_t j, const Pose& X) {
        if (const std::size_t k = joint_dofs[j]; k != no_dof)
            start_joint_column(joint_kinematics[j], X, &out[6 * (column_offset + k)]);
    });
    const Vector3d& p_t = M.translation;  // the base origin itself for the root link
    finish_joint_columns(*this, path, p_t, out, column_offset);

    // floating base: ω_b about e_i moves the target by e_i × r, v_b along e_i by e_i
    for (std::size_t i = 0; i < 3 && column_offset != 0; ++i) {
        Eigen::Map<Vector6d> angular_column(&out[6 * i]), linear_column(&out[6 * (3 + i)]);
        angular_column << Vector3d::Unit(i), Vector3d::Unit(i).cross(p_t);
        linear_column << Vector3d::Zero(), Vector3d::Unit(i);
    }
    return {};
}

Result<Pose> Model::jacobian_kernel(std::span<const Pose> frames, std::size_t link, std::span<const std::size_t> path,
                                    std::span<double> out, bool zero_first) const {
    VORMEK_CHECK(check_length(frames, joint_count(), "frame workspace"));
    VORMEK_CHECK(check_length(out, 6 * dof_count(), "jacobian output"));
    if (zero_first) std::ranges::fill(out, 0.0);
    const Pose target = link == 0 ? Pose::identity() : frames[link - 1];
    for (const std::size_t j : path)
        if (const std::size_t k = joint_dofs[j]; k != no_dof)
            start_joint_column(joint_kinematics[j], frames[j], &out[6 * k]);
    finish_joint_columns(*this, path, target.translation, out, 0);
    return target;
}

Result<void> Robot::jacobian(std::span<const double> q, LinkId target, std::span<double> out) {
    const Model& m = *model_;
    VORMEK_CHECK(check_joint_vector(q, m.dof_count(), "q"));
    VORMEK_CHECK(check_length(out, 6 * m.dof_count(), "jacobian output"));
    VORMEK_TRY(index, m.check_link(target));
    return m.direct_world_jacobian(q, index, base_frame_, 0, workspace_, out);
}

Result<void> FloatingRobot::jacobian(const BaseState& base, std::span<const double> q, LinkId target,
                                     std::span<double> out) {
    const Model& m = *model_;
    VORMEK_CHECK(check_joint_vector(q, m.dof_count(), "q"));
    VORMEK_CHECK(check_length(out, 6 * m.dof_count() + 36, "jacobian output"));
    VORMEK_TRY(index, m.check_link(target));
    return m.direct_world_jacobian(q, index, base.frame(), 6, workspace_, out);
}

}  // namespace vormek
