// Link twists: carry the velocity of the root down the ancestor path, adding each joint's
// motion, then place the result in the world with the base's own motion.

#include "../../robot.hpp"
#include "chain.hpp"

namespace vormek {

Result<Twist> Model::forward_velocity_kinematics(const Pose& base, const Twist& base_velocity,
                                                 std::span<const double> q, std::span<const double> qd, LinkId link,
                                                 const Pose& tool, std::span<std::size_t> path) const {
    VORMEK_CHECK(check_joint_vector(q, dof_count(), "q"));
    VORMEK_CHECK(check_joint_vector(qd, dof_count(), "qd"));
    VORMEK_TRY(index, check_link(link));

    // root axes, relative to the root: ω of the current link, v and p of its origin
    Vector3d w = Vector3d::Zero(), v = Vector3d::Zero(), p = Vector3d::Zero();
    const Pose M = compose_path(*this, q, ancestor_path(*this, index, path), Pose::identity(),
                                [&](std::size_t j, const Pose& X) {
        // the parent's motion carried to the child origin
        v += w.cross(X.translation - p);
        p = X.translation;
        const JointKinematics& joint = joint_kinematics[j];
        if (joint.kind == JointKind::Fixed) return;
        const Vector3d z = rotate(X.rotation, joint.axis);
        const double qd_j = qd[joint_dofs[j]];
        if (joint.kind == JointKind::Revolute)
            w += z * qd_j;
        else
            v += z * qd_j;
    });

    // the tool point r = p + R·d moves with the link
    const Vector3d Rd = rotate(M.rotation, tool.translation);
    const Vector3d r = p + Rd;
    const Vector3d v_r = v + w.cross(Rd);
    const Quaterniond& R_b = base.rotation;
    const Vector3d& w_b = base_velocity.angular;
    return Twist{rotate(R_b, w) + w_b, rotate(R_b, v_r) + base_velocity.linear + w_b.cross(rotate(R_b, r))};
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
