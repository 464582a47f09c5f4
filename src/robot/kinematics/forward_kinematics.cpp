// Link poses: compose joint transforms from the root down the ancestor path.

#include "../../robot.hpp"
#include "chain.hpp"

namespace vormek {

Result<Pose> Model::forward_kinematics(const Pose& base, std::span<const double> q, LinkId link,
                                       std::span<std::size_t> path) const {
    if (auto r = check_joint_vector(q, dof_count(), "q"); !r) return fail(std::move(r.error()));
    VORMEK_TRY(index, check_link(link));
    const std::size_t m = prepare_ancestor_path(index, path);
    const Pose M = compose_path(*this, q, path.first(m), Pose::identity(), [](std::size_t, const Pose&) {});
    return compose(base, M);
}

Result<void> Model::target_frames_kernel(std::span<const double> q, std::span<const std::size_t> path,
                                         std::span<Pose> frames) const {
    if (auto r = check_joint_vector(q, dof_count(), "q"); !r) return r;
    if (auto r = check_length(frames, joint_count(), "frame workspace"); !r) return r;
    compose_path(*this, q, path, Pose::identity(), [&](std::size_t j, const Pose& M) { frames[j] = M; });
    return {};
}

Result<Pose> Robot::forward_kinematics(std::span<const double> q, LinkId target) {
    return model_->forward_kinematics(base_frame_, q, target, workspace_.ancestor_path);
}

Result<Pose> FloatingRobot::forward_kinematics(const BaseState& base, std::span<const double> q, LinkId target) {
    return model_->forward_kinematics(base.frame(), q, target, workspace_.ancestor_path);
}

}  // namespace vormek
