// Link poses: one link's, down its ancestor path, or every link's, over the whole tree. Both walk
// the bodies from the base pose and carry each body's rotation as a quaternion beside its
// matrix (chain.hpp); a link is then its body's pose composed with the link's fixed placement.

#include "../../robot.hpp"
#include "chain.hpp"

namespace vormek {

namespace {

// The base pose as the walks start from it.
Transform base_transform(const Pose& base) { return {base.rotation.toRotationMatrix(), base.translation}; }

// link = body ∘ placement: (Q_B ⊗ Q_P, p_B + R_B·t_P), R_B and Q_B the same rotation.
inline void place_link(const Transform& X, const Quaterniond& Q, const Pose& P, double* out) {
    const Vector3d& t = P.translation;
    for (int r = 0; r < 3; ++r) out[r] = X.p[r] + X.R(r, 0) * t[0] + X.R(r, 1) * t[1] + X.R(r, 2) * t[2];
    const Quaterniond link = multiply(Q, P.rotation);
    out[3] = link.x(), out[4] = link.y(), out[5] = link.z(), out[6] = link.w();
}

}  // namespace

Result<Pose> Model::forward_kinematics(const Pose& base, std::span<const double> q, LinkId link,
                                       std::span<std::size_t> path) const {
    VORMEK_CHECK(check_joint_vector(q, dof_count(), "q"));
    VORMEK_TRY(index, check_link(link));
    Transform X[2];
    X[0] = base_transform(base);
    BodyQuaternion Q = body_quaternion(base.rotation);
    const Transform& B = walk_bodies<true>(*this, q, body_path(*this, link_bodies[index], path), X[0], X,
                                           [](std::size_t, const Transform&) {}, &Q);
    double pose[7];
    place_link(B, to_quaternion(Q), link_placements[index], pose);
    return Pose{Quaterniond(pose[6], pose[3], pose[4], pose[5]), Vector3d(pose[0], pose[1], pose[2])};
}

Result<void> Model::link_poses(const Pose& base, std::span<const double> q, Workspace& workspace,
                               std::span<double> out) const {
    VORMEK_CHECK(check_joint_vector(q, dof_count(), "q"));
    VORMEK_CHECK(check_length(out, 7 * link_count(), "link poses output"));
    const std::span<Transform> T(workspace.transforms);
    const std::span<Quaterniond> rotations(workspace.rotations);
    if (T.size() != joint_count() || rotations.size() != joint_count())
        panic("link poses workspace does not fit the model");
    // every body's pose in T, its rotation's quaternion beside it
    const Transform root = base_transform(base);
    walk_tree<true>(*this, q, root, body_quaternion(base.rotation), T, rotations, [](std::size_t, const Transform&) {});
    for (std::size_t l = 0; l < link_count(); ++l) {
        const std::size_t b = link_bodies[l];
        place_link(b == 0 ? root : T[b - 1], b == 0 ? base.rotation : rotations[b - 1], link_placements[l],
                   &out[7 * l]);
    }
    return {};
}

Result<Pose> Robot::forward_kinematics(std::span<const double> q, LinkId target) {
    return model_->forward_kinematics(base_frame_, q, target, workspace_.ancestor_path);
}

Result<Pose> FloatingRobot::forward_kinematics(const BaseState& base, std::span<const double> q, LinkId target) {
    return model_->forward_kinematics(base.frame(), q, target, workspace_.ancestor_path);
}

Result<void> Robot::link_poses(std::span<const double> q, std::span<double> out) {
    return model_->link_poses(base_frame_, q, workspace_, out);
}

Result<void> FloatingRobot::link_poses(const BaseState& base, std::span<const double> q, std::span<double> out) {
    return model_->link_poses(base.frame(), q, workspace_, out);
}

}  // namespace vormek
