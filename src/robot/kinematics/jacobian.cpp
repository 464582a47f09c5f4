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
    std::ranges::fill(out, 0.0);
    // world rotations, positions from the base origin: only differences of positions enter
    // the columns, so the base translation is never needed. The walk goes over the bodies,
    // in rotation matrices: the joint axis is then a column of the rotation.
    const auto path = body_path(*this, link_bodies[link], workspace.ancestor_path);
    Transform X[2];
    X[0].R = base.rotation.toRotationMatrix();
    const Transform& B = walk_bodies(*this, q, path, X, [&](std::size_t k, const Transform&, const BodyRows& T) {
        start_body_column(body_joints[k], T, &out[6 * (column_offset + k)]);
    });
    // the link sits at P in its body; p_t is the base origin itself for the root link
    const Vector3d& t = link_placements[link].translation;
    double p_t[3];
    for (int r = 0; r < 3; ++r) p_t[r] = B.p[r] + B.R(r, 0) * t[0] + B.R(r, 1) * t[1] + B.R(r, 2) * t[2];
    finish_body_columns(*this, path, p_t, out.subspan(6 * column_offset));

    // floating base: ω_b about e_i moves the target by e_i × r, v_b along e_i by e_i
    for (std::size_t i = 0; i < 3 && column_offset != 0; ++i) {
        Eigen::Map<Vector6d> angular_column(&out[6 * i]), linear_column(&out[6 * (3 + i)]);
        angular_column << Vector3d::Unit(i), Vector3d::Unit(i).cross(Vector3d(p_t[0], p_t[1], p_t[2]));
        linear_column << Vector3d::Zero(), Vector3d::Unit(i);
    }
    return {};
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
