#pragma once
// The root-to-leaf walk down an ancestor path that every kinematics routine shares.

#include <cmath>
#include <span>

#include "../../model/model.hpp"
#include "../../sin_cos.hpp"
#include "checks.hpp"

namespace vormek {

// Composes the joints of `path` (stored leaf first) onto `start` from the root down, calling
// visit(joint, pose of its child link) after each one. The half-angle sines of a block of
// joints are evaluated before the block is composed: each composition depends on the one
// before, the sines do not, so they overlap instead of stalling the chain.
template <class Visit>
Pose compose_path(const Model& model, std::span<const double> q, std::span<const std::size_t> path, Pose start,
                  Visit visit) {
    constexpr std::size_t block = 8;
    double qj[block], s[block], c[block];
    Pose M = start;
    for (std::size_t end = path.size(); end > 0;) {
        const std::size_t begin = end > block ? end - block : 0;
        for (std::size_t k = begin; k < end; ++k) {
            // evaluated for every joint: a branch on the kind here costs more than the few
            // sines that prismatic and fixed joints do not need
            qj[k - begin] = joint_position(model, q, path[k]);
            const auto [sin_half, cos_half] = sin_cos(0.5 * qj[k - begin]);
            s[k - begin] = sin_half;
            c[k - begin] = cos_half;
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

// The ancestor path of `link` written into `buffer`, as the span of the joints it holds.
inline std::span<const std::size_t> ancestor_path(const Model& model, std::size_t link, std::span<std::size_t> buffer) {
    return buffer.first(model.prepare_ancestor_path(link, buffer));
}

}  // namespace vormek
