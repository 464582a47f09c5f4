// Link accelerations: the velocity walk of the twist plus the derivative of every term it adds,
// so the linear part is the classical acceleration of the link origin.

#include "../../robot.hpp"
#include "chain.hpp"

namespace vormek {

// One walk over the bodies in world axes, as velocity kinematics': each joint's axis is a column
// of its body's rotation, and the fixed joints are already folded into the bodies.
Result<Twist> Model::forward_acceleration_kinematics(
    const Pose& base, const Twist& base_velocity, const Twist& base_acceleration, std::span<const double> q,
    std::span<const double> qd, std::span<const double> qdd, LinkId link, std::span<std::size_t> path) const {
    VORMEK_CHECK(check_joint_vector(q, dof_count(), "q"));
    VORMEK_CHECK(check_joint_vector(qd, dof_count(), "qd"));
    VORMEK_CHECK(check_joint_vector(qdd, dof_count(), "qdd"));
    VORMEK_TRY(index, check_link(link));

    // world axes, relative to the root (positions from the base origin): ω and α of the current
    // body, p, v and a of its origin
    Vector3d w = Vector3d::Zero(), alpha = Vector3d::Zero();
    Vector3d p = Vector3d::Zero(), v = Vector3d::Zero(), a = Vector3d::Zero();
    // the parent's motion carried to the point x, centripetal term included
    const auto carry = [&](const Vector3d& x) {
        const Vector3d delta = x - p;
        a += alpha.cross(delta) + w.cross(w.cross(delta));
        v += w.cross(delta);
        p = x;
    };
    Transform X[2];
    X[0].R = base.rotation.toRotationMatrix();
    const Transform& B =
        walk_bodies(*this, q, body_path(*this, link_bodies[index], path), X, [&](std::size_t k, const Transform& T) {
            carry(T.p);
            // joint motion against the parent's ω: the axis turns with the parent
            Vector3d z;
            body_axis(body_joints[k], T, z.data());
            const Vector3d wz = w.cross(z);
            if (body_joints[k].kind == JointKind::Revolute) {
                alpha += wz * qd[k] + z * qdd[k];
                w += z * qd[k];
            } else {
                // Coriolis, twice: once as the sliding axis turns with the parent, once as the
                // lever arm it lengthens turns too
                a += 2.0 * wz * qd[k] + z * qdd[k];
                v += z * qd[k];
            }
        });
    // the link sits at t in its body
    carry(B.p + B.R * link_placements[index].translation);

    // a rotating, accelerating base adds its own terms at p, the link origin from the base origin
    const Vector3d &w_b = base_velocity.angular, &alpha_b = base_acceleration.angular;
    return Twist{alpha + alpha_b + w_b.cross(w),
                 a + base_acceleration.linear + alpha_b.cross(p) + w_b.cross(w_b.cross(p)) + 2.0 * w_b.cross(v)};
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
