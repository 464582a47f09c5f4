// Link twists: carry the velocity of the root down the body path, adding each joint's motion,
// then add the base's own motion.

#include "../../robot.hpp"
#include "chain.hpp"

namespace vormek {

// One walk over the bodies in world axes (chain.hpp): each joint's axis is a column of its
// body's rotation, and the fixed joints are already folded into the bodies. Scalars throughout,
// as in derivative_walk: each value is read back at once from where the walk left it.
Result<Twist> Model::forward_velocity_kinematics(const Pose& base, const Twist& base_velocity,
                                                 std::span<const double> q, std::span<const double> qd, LinkId link,
                                                 const Pose& tool, std::span<std::size_t> path) const {
    VORMEK_CHECK(check_joint_vector(q, dof_count(), "q"));
    VORMEK_CHECK(check_joint_vector(qd, dof_count(), "qd"));
    VORMEK_TRY(index, check_link(link));

    // world axes, relative to the root (positions from the base origin): ω of the current body,
    // v and p of its origin
    double w[3] = {0, 0, 0}, v[3] = {0, 0, 0}, p[3] = {0, 0, 0};
    Transform X[2];
    X[0].R = base.rotation.toRotationMatrix();
    const Transform& B =
        walk_bodies(*this, q, body_path(*this, link_bodies[index], path), X, [&](std::size_t k, const Transform& T) {
            // the parent's motion carried to the child origin: v += ω × (p_k − p)
            const double dx = T.p[0] - p[0], dy = T.p[1] - p[1], dz = T.p[2] - p[2];
            v[0] += w[1] * dz - w[2] * dy;
            v[1] += w[2] * dx - w[0] * dz;
            v[2] += w[0] * dy - w[1] * dx;
            p[0] = T.p[0], p[1] = T.p[1], p[2] = T.p[2];
            double z[3];
            body_axis(body_joints[k], T, z);
            double* moved = body_joints[k].kind == JointKind::Revolute ? w : v;
            for (int r = 0; r < 3; ++r) moved[r] += z[r] * qd[k];
        });

    // the tool point sits at d in the link, the link at P in its body: r = p + R_B·(t + R_P·d),
    // and it moves with the body, v_r = v + ω × (r − p); a moving base adds ω_b, and v_b plus
    // ω_b × r at the point
    const Pose& P = link_placements[index];
    const Vector3d offset = rotate_add(P.rotation, tool.translation, P.translation);
    double d[3], r[3];
    for (int i = 0; i < 3; ++i) d[i] = B.R(i, 0) * offset[0] + B.R(i, 1) * offset[1] + B.R(i, 2) * offset[2];
    for (int i = 0; i < 3; ++i) r[i] = p[i] + d[i];
    const Vector3d& w_b = base_velocity.angular;
    const Vector3d omega(w[0], w[1], w[2]), point(r[0], r[1], r[2]);
    const Vector3d v_r(v[0] + (w[1] * d[2] - w[2] * d[1]), v[1] + (w[2] * d[0] - w[0] * d[2]),
                       v[2] + (w[0] * d[1] - w[1] * d[0]));
    return Twist{omega + w_b, v_r + base_velocity.linear + w_b.cross(point)};
}

Result<Twist> Robot::forward_velocity_kinematics(std::span<const double> q, std::span<const double> qd,
                                                 LinkId target, const Pose& tool) {
    return model_->forward_velocity_kinematics(base_frame_, Twist{}, q, qd, target, tool, workspace_.ancestor_path);
}

Result<Twist> FloatingRobot::forward_velocity_kinematics(const BaseState& base, std::span<const double> q,
                                                         std::span<const double> qd, LinkId target,
                                                         const Pose& tool) {
    return model_->forward_velocity_kinematics(base.frame(), base.velocity(), q, qd, target, tool,
                                               workspace_.ancestor_path);
}

}  // namespace vormek
