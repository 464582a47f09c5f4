// Link poses: one link's, down its ancestor path, or every link's, over the whole tree. Both walk
// the bodies from the base pose and carry each body's rotation as a quaternion beside its
// matrix (chain.hpp); a link is then its body's pose composed with the link's fixed placement.
// Each is built twice, in pairs of lanes for any x86-64 and in columns of four where AVX2 runs
// (the same operations lane for lane, so the same bits): half the instructions, and the walk
// is bound by how many it issues, not by how long each waits. The four-lane build runs where the
// fused dynamics builds run, so that holding those back tests the pairs of lanes on this CPU too.

#include "../../robot.hpp"
#include "../dynamics/fused.hpp"
#include "chain.hpp"

namespace vormek {

namespace {

// The base pose as the walks start from it.
Transform base_transform(const Pose& base) { return {base.rotation.toRotationMatrix(), base.translation}; }

// Whether a link's placement is the identity, as for the link that starts each body: its pose
// is its body's, copied, the values the composition would give.
inline bool unplaced(const Pose& P) {
    return P.translation == Vector3d::Zero() && P.rotation.coeffs() == Eigen::Vector4d(0, 0, 0, 1);
}

inline void copy_quaternion(const Quaterniond& Q, double* out) {
    out[3] = Q.x(), out[4] = Q.y(), out[5] = Q.z(), out[6] = Q.w();
}

// link = body ∘ placement: (Q_B ⊗ Q_P, p_B + R_B·t_P), R_B and Q_B the same rotation.
inline void place_link(const Transform& X, const Quaterniond& Q, const Pose& P, double* out) {
    const Vector3d& t = P.translation;
    if (unplaced(P)) {
        for (int r = 0; r < 3; ++r) out[r] = X.p[r];
        return copy_quaternion(Q, out);
    }
    for (int r = 0; r < 3; ++r) out[r] = X.p[r] + X.R(r, 0) * t[0] + X.R(r, 1) * t[1] + X.R(r, 2) * t[2];
    copy_quaternion(multiply(Q, P.rotation), out);
}

// The same from a body's pose as the walk holds it.
inline void place_link(const BodyRows& X, const Quaterniond& Q, const Pose& P, double* out) {
    Transform B;
    store_rows(X, B);
    place_link(B, Q, P, out);
}

[[gnu::always_inline]] inline void place_link(const BodyColumns& X, const Quaterniond& Q, const Pose& P, double* out) {
    const Vector3d& t = P.translation;
    const Lanes4 x = unplaced(P) ? X.p : X.p + X.R0 * t[0] + X.R1 * t[1] + X.R2 * t[2];
    __builtin_memcpy(out, &x, 3 * sizeof(double));
    copy_quaternion(unplaced(P) ? Q : multiply(Q, P.rotation), out);
}

// One link's pose, its body's path walked in Rows (BodyRows, or BodyColumns under AVX2).
template <class Rows>
[[gnu::always_inline]] inline Pose link_pose(const Model& m, const Pose& base, std::span<const double> q,
                                             std::size_t index, std::span<std::size_t> path) {
    Rows pose;
    load_pose(base_transform(base), pose);
    BodyQuaternion Q = body_quaternion(base.rotation);
    walk_path<true>(m, q, body_path(m, m.link_bodies[index], path), pose, Q, [](std::size_t, const Rows&) {});
    double out[7];
    place_link(pose, to_quaternion(Q), m.link_placements[index], out);
    return Pose{Quaterniond(out[6], out[3], out[4], out[5]), Vector3d(out[0], out[1], out[2])};
}

// Every body's pose in T, its rotation's quaternion beside it, then every link's row.
template <class Rows>
[[gnu::always_inline]] inline void every_link_pose(const Model& m, const Pose& base, std::span<const double> q,
                                                   std::span<Transform> T, std::span<Quaterniond> rotations,
                                                   std::span<double> out) {
    const Transform root = base_transform(base);
    walk_tree<true, Rows>(m, q, root, body_quaternion(base.rotation), T, rotations,
                          [](std::size_t, const Transform&) {});
    for (std::size_t l = 0; l < m.link_count(); ++l) {
        const std::size_t b = m.link_bodies[l];
        place_link(b == 0 ? root : T[b - 1], b == 0 ? base.rotation : rotations[b - 1], m.link_placements[l],
                   &out[7 * l]);
    }
}

#if defined(__x86_64__)
[[gnu::target("avx2"), gnu::flatten]] Pose link_pose_avx2(const Model& m, const Pose& base, std::span<const double> q,
                                                          std::size_t index, std::span<std::size_t> path) {
    return link_pose<BodyColumns>(m, base, q, index, path);
}

[[gnu::target("avx2"), gnu::flatten]] void every_link_pose_avx2(const Model& m, const Pose& base,
                                                               std::span<const double> q, std::span<Transform> T,
                                                               std::span<Quaterniond> rotations, std::span<double> out) {
    every_link_pose<BodyColumns>(m, base, q, T, rotations, out);
}
#endif

}  // namespace

Result<Pose> Model::forward_kinematics(const Pose& base, std::span<const double> q, LinkId link,
                                       std::span<std::size_t> path) const {
    VORMEK_CHECK(check_joint_vector(q, dof_count(), "q"));
    VORMEK_TRY(index, check_link(link));
#if defined(__x86_64__)
    if (fused_kernels()) return link_pose_avx2(*this, base, q, index, path);
#endif
    return link_pose<BodyRows>(*this, base, q, index, path);
}

Result<void> Model::link_poses(const Pose& base, std::span<const double> q, Workspace& workspace,
                               std::span<double> out) const {
    VORMEK_CHECK(check_joint_vector(q, dof_count(), "q"));
    VORMEK_CHECK(check_length(out, 7 * link_count(), "link poses output"));
    const std::span<Transform> T(workspace.transforms);
    const std::span<Quaterniond> rotations(workspace.rotations);
    if (T.size() != joint_count() || rotations.size() != joint_count())
        panic("link poses workspace does not fit the model");
#if defined(__x86_64__)
    if (fused_kernels()) return every_link_pose_avx2(*this, base, q, T, rotations, out), Result<void>{};
#endif
    every_link_pose<BodyRows>(*this, base, q, T, rotations, out);
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
