// Link accelerations: the velocity walk of the twist plus the derivative of every term it adds,
// so the linear part is the classical acceleration of the link origin.

#include "../../robot.hpp"
#include "chain.hpp"

namespace vormek {

Result<Twist> Model::forward_acceleration_kinematics(const Pose& base, const Twist& base_velocity,
                                                     const Twist& base_acceleration, std::span<const double> q,
                                                     std::span<const double> qd, std::span<const double> qdd,
                                                     LinkId link, std::span<std::size_t> path) const {
    VORMEK_CHECK(check_joint_vector(q, dof_count(), "q"));
    VORMEK_CHECK(check_joint_vector(qd, dof_count(), "qd"));
    VORMEK_CHECK(check_joint_vector(qdd, dof_count(), "qdd"));
    VORMEK_TRY(index, check_link(link));

    // root axes, relative to the root: ω and α of the current link, p, v and a of its origin
    Vector3d w = Vector3d::Zero(), alpha = Vector3d::Zero();
    Vector3d p = Vector3d::Zero(), v = Vector3d::Zero(), a = Vector3d::Zero();
    compose_path(*this, q, ancestor_path(*this, index, path), Pose::identity(), [&](std::size_t j, const Pose& X) {
        // the parent's motion carried to the child origin, centripetal term included
        const Vector3d delta = X.translation - p;
        a += alpha.cross(delta) + w.cross(w.cross(delta));
        v += w.cross(delta);
        p = X.translation;
        const JointKinematics& joint = joint_kinematics[j];
        if (joint.kind == JointKind::Fixed) return;
        // joint motion against the parent's ω: the axis turns with the parent
        const Vector3d z = rotate(X.rotation, joint.axis);
        const Vector3d wz = w.cross(z);
        const double qd_j = qd[joint_dofs[j]], qdd_j = qdd[joint_dofs[j]];
        if (joint.kind == JointKind::Revolute) {
            alpha += wz * qd_j + z * qdd_j;
            w += z * qd_j;
        } else {
            // Coriolis, twice: once as the sliding axis turns with the parent, once as the
            // lever arm it lengthens turns too
            a += 2.0 * wz * qd_j + z * qdd_j;
            v += z * qd_j;
        }
    });

    // a rotating, accelerating base adds its own terms at r, the link origin from the base origin
    const Quaterniond& R_b = base.rotation;
    const Vector3d &w_b = base_velocity.angular, &alpha_b = base_acceleration.angular;
    const Vector3d r = rotate(R_b, p);
    return Twist{rotate(R_b, alpha) + alpha_b + w_b.cross(rotate(R_b, w)),
                 rotate(R_b, a) + base_acceleration.linear + alpha_b.cross(r) + w_b.cross(w_b.cross(r)) +
                     2.0 * w_b.cross(rotate(R_b, v))};
}

Result<Twist> Robot::forward_acceleration_kinematics(std::span<const double> q, std::span<const double> qd,
                                                     std::span<const double> qdd, LinkId target) {
    return model_->forward_acceleration_kinematics(base_frame_, Twist{}, Twist{}, q, qd, qdd, target,
                                                   workspace_.ancestor_path);
}

Result<Twist> FloatingRobot::forward_acceleration_kinematics(const BaseState& base, std::span<const double> q,
                                                             std::span<const double> qd,
                                                             std::span<const double> qdd, LinkId target) {
    return model_->forward_acceleration_kinematics(base.frame(), base.velocity(), base.acceleration(), q, qd, qdd,
                                                   target, workspace_.ancestor_path);
}

}  // namespace vormek
