// Link poses: compose joint transforms from the root down the ancestor path.

#include <cmath>

#include "../../robot.hpp"
#include "checks.hpp"

namespace vormek {

namespace {

// Composes the joints of `path` (stored leaf first) from the root down, calling
// visit(joint, pose of its child link relative to the root) after each one. The half-angle
// sines of a block of joints are evaluated before the block is composed: each composition
// depends on the one before, the sines do not, so they overlap instead of stalling the chain.
template <class Visit>
Pose compose_path(const Model& model, std::span<const double> q, std::span<const std::size_t> path, Visit visit) {
    constexpr std::size_t block = 8;
    double qj[block], s[block], c[block];
    Pose M = Pose::identity();
    for (std::size_t end = path.size(); end > 0;) {
        const std::size_t begin = end > block ? end - block : 0;
        for (std::size_t k = begin; k < end; ++k) {
            // evaluated for every joint: a branch on the kind here costs more than the few
            // sines that prismatic and fixed joints do not need
            qj[k - begin] = joint_position(model, q, path[k]);
            s[k - begin] = std::sin(0.5 * qj[k - begin]);
            c[k - begin] = std::cos(0.5 * qj[k - begin]);
        }
        for (std::size_t k = end; k-- > begin;) {
            const std::size_t j = path[k];
            M = compose(M, model.joint_kinematics[j].frame(qj[k - begin], s[k - begin], c[k - begin]));
            visit(j, M);
        }
        end = begin;
    }
    return M;
}

}  // namespace

Result<Pose> Model::forward_kinematics(const Pose& base, std::span<const double> q, LinkId link,
                                       std::span<std::size_t> path) const {
    if (auto r = check_joint_vector(q, dof_count(), "q"); !r) return fail(std::move(r.error()));
    VORMEK_TRY(index, check_link(link));
    const std::size_t m = prepare_ancestor_path(index, path);
    const Pose M = compose_path(*this, q, path.first(m), [](std::size_t, const Pose&) {});
    return compose(base, M);
}

Result<void> Model::target_frames_kernel(std::span<const double> q, std::span<const std::size_t> path,
                                         std::span<Pose> frames) const {
    if (auto r = check_joint_vector(q, dof_count(), "q"); !r) return r;
    if (auto r = check_length(frames, joint_count(), "frame workspace"); !r) return r;
    compose_path(*this, q, path, [&](std::size_t j, const Pose& M) { frames[j] = M; });
    return {};
}

Result<Pose> Robot::forward_kinematics(std::span<const double> q, LinkId target) {
    return model_->forward_kinematics(base_frame_, q, target, workspace_.ancestor_path);
}

Result<Pose> FloatingRobot::forward_kinematics(const BaseState& base, std::span<const double> q, LinkId target) {
    return model_->forward_kinematics(base.frame(), q, target, workspace_.ancestor_path);
}

}  // namespace vormek
