// Link poses: compose joint transforms from the root down the ancestor path.

#include "../../robot.hpp"
#include "checks.hpp"

namespace vormek {

Result<Pose> Model::forward_kinematics(const Pose& base, std::span<const double> q, LinkId link,
                                       std::span<std::size_t> path) const {
    if (auto r = check_joint_vector(q, dof_count(), "q"); !r) return fail(std::move(r.error()));
    VORMEK_TRY(index, check_link(link));
    const std::size_t m = prepare_ancestor_path(index, path);

    // root to leaf: the path is stored leaf first
    Pose M = Pose::identity();
    for (std::size_t k = m; k-- > 0;) {
        const std::size_t j = path[k];
        M = compose(M, joint_kinematics[j].frame(joint_position(*this, q, j)));
    }
    return compose(base, M);
}

Result<void> Model::target_frames_kernel(std::span<const double> q, std::span<const std::size_t> path,
                                         std::span<Pose> frames) const {
    if (auto r = check_joint_vector(q, dof_count(), "q"); !r) return r;
    if (auto r = check_length(frames, joint_count(), "frame workspace"); !r) return r;

    Pose M = Pose::identity();
    for (std::size_t k = path.size(); k-- > 0;) {
        const std::size_t j = path[k];
        M = compose(M, joint_kinematics[j].frame(joint_position(*this, q, j)));
        frames[j] = M;
    }
    return {};
}

Result<Pose> Robot::forward_kinematics(std::span<const double> q, LinkId target) {
    return model_->forward_kinematics(base_frame_, q, target, workspace_.ancestor_path);
}

Result<Pose> FloatingRobot::forward_kinematics(const BaseState& base, std::span<const double> q, LinkId target) {
    return model_->forward_kinematics(base.frame(), q, target, workspace_.ancestor_path);
}

}  // namespace vormek
