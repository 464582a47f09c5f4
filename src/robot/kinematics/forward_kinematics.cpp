// Link poses: one link's, down its ancestor path, or every link's, over the whole tree. Both walk
// the bodies from the base pose and carry each body's rotation as a quaternion beside its
// matrix (chain.hpp); a link is then its body's pose composed with the link's fixed placement.
// Each is built twice, in pairs of lanes for any x86-64 and in columns of four where AVX2 runs
// (the same operations lane for lane, so the same bits): half the instructions, and the walk
// is bound by how many it issues, not by how long each waits. The four-lane build runs where the
// fused dynamics builds run, so that holding those back tests the pairs of lanes on this CPU too.

#include <cstddef>

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

// The base pose as the walk starts from it, built in registers from Eigen's rotation matrix
// formula (base_transform's, to the bit): stored as a matrix and read back in pairs of rows,
// the reads wait for the stores to drain.
template <class Rows>
[[gnu::always_inline]] inline void load_base(const Pose& base, Rows& b) {
    const double x = base.rotation.x(), y = base.rotation.y(), z = base.rotation.z(), w = base.rotation.w();
    const double tx = 2 * x, ty = 2 * y, tz = 2 * z;
    const double twx = tx * w, twy = ty * w, twz = tz * w, txx = tx * x, txy = ty * x, txz = tz * x;
    const double tyy = ty * y, tyz = tz * y, tzz = tz * z;
    const double R[3][3] = {{1 - (tyy + tzz), txy - twz, txz + twy},
                            {txy + twz, 1 - (txx + tzz), tyz - twx},
                            {txz - twy, tyz + twx, 1 - (txx + tyy)}};
    const Vector3d& p = base.translation;
    if constexpr (std::is_same_v<Rows, BodyRows>) {
        b = {Lanes{R[0][0], R[1][0]}, Lanes{R[0][1], R[1][1]}, Lanes{R[0][2], R[1][2]}, Lanes{p[0], p[1]},
             R[2][0], R[2][1], R[2][2], p[2]};
    } else {
        const auto column = [](double r0, double r1, double r2, Lanes4& c) {
            c = __builtin_shufflevector(Lanes{r0, r1}, Lanes{r2, 0.0}, 0, 1, 2, 3);
        };
        column(R[0][0], R[1][0], R[2][0], b.R0), column(R[0][1], R[1][1], R[2][1], b.R1);
        column(R[0][2], R[1][2], R[2][2], b.R2), column(p[0], p[1], p[2], b.p);
    }
}

// place_link from a body's pose and quaternion as the walk holds them, into a Pose: the same
// operations as the one above in lanes, so that the same bits come out of either, without the
// round trip through memory of a pose stored in one width and read back in another.
template <class Rows>
[[gnu::always_inline]] inline Pose place_link(const Rows& X, const BodyQuaternion& Q, const Pose& P) {
    const bool placed = !unplaced(P);
    Pose out;
    Lanes xy = Q.xy, zw = Q.zw;
    if (placed) {
        // multiply(Q, P.rotation), lane by lane in its order
        const Quaterniond& F = P.rotation;
        const Lanes f01{F.x(), F.y()}, f23{F.z(), F.w()};
        const Lanes Qx = spread<0>(Q.xy), Qy = spread<1>(Q.xy), Qz = spread<0>(Q.zw), Qw = spread<1>(Q.zw);
        xy = Qw * f01 + Qx * Lanes{F.w(), -F.z()} + Qy * f23 + Qz * Lanes{-F.y(), F.x()};
        zw = Qw * f23 + Qx * Lanes{F.y(), -F.x()} + Qy * -f01 + Qz * Lanes{F.w(), -F.z()};
    }
    __builtin_memcpy(out.rotation.coeffs().data(), &xy, sizeof xy);
    __builtin_memcpy(out.rotation.coeffs().data() + 2, &zw, sizeof zw);
    const Vector3d& t = P.translation;
    if constexpr (std::is_same_v<Rows, BodyRows>) {
        Lanes p = X.p;
        double pz = X.pz;
        if (placed) {
            p = p + X.R0 * t[0] + X.R1 * t[1] + X.R2 * t[2];
            pz = pz + X.R0z * t[0] + X.R1z * t[1] + X.R2z * t[2];
        }
        out.translation = Vector3d(p[0], p[1], pz);
    } else {
        const Lanes4 x = placed ? X.p + X.R0 * t[0] + X.R1 * t[1] + X.R2 * t[2] : X.p;
        out.translation = Vector3d(x[0], x[1], x[2]);
    }
    return out;
}

// One link's pose, its body's path walked in Rows (BodyRows, or BodyColumns under AVX2).
template <class Rows>
[[gnu::always_inline]] inline Pose link_pose(const Model& m, const Pose& base, std::span<const double> q,
                                             std::size_t index, std::span<std::size_t> path) {
    Rows pose;
    load_base(base, pose);
    BodyQuaternion Q = body_quaternion(base.rotation);
    walk_path<true>(m, q, body_path(m, m.link_bodies[index], path), pose, Q, [](std::size_t, const Rows&) {});
    return place_link(pose, Q, m.link_placements[index]);
}

#if defined(__x86_64__)
// place_link in four lanes, for the build with AVX2: a link is its body's pose, read from memory,
// and its row is written as two overlapping stores. Each lane does the scalar operations of its
// entry in their order, so the rows are place_link's to the bit, in half its instructions: on
// Talos (60 links on 33 bodies) the rows took more of the time than the walk of the bodies.
[[gnu::always_inline]] inline void place_link_lanes(const Transform& X, const Quaterniond& Q, const Pose& P,
                                                    double* out) {
    static_assert(offsetof(Pose, translation) == 4 * sizeof(double));
    static_assert(offsetof(Transform, p) == 9 * sizeof(double));  // R's last column runs on into p
    // a 32-byte vector is never returned by value (that would change the ABI where AVX is off)
    const auto load = [](const double* v, Lanes4& l) { __builtin_memcpy(&l, v, sizeof l); };
    // the origin from the last four entries of X (R(2, 2), then p), turned into lanes 0 to 2
    Lanes4 tail, x, r, F, wt;
    load(&X.R(2, 2), tail), load(Q.coeffs().data(), r);
    x = __builtin_shufflevector(tail, tail, 1, 2, 3, 0);
    // unplaced(P), all lanes at once: (x, y, z, w) and (w, t) against the identity's
    load(P.rotation.coeffs().data(), F), load(P.rotation.coeffs().data() + 3, wt);
    auto same = (F == Lanes4{0, 0, 0, 1}) & (wt == Lanes4{1, 0, 0, 0});
    same &= __builtin_shufflevector(same, same, 2, 3, 0, 1);
    if (!(same[0] & same[1])) {
        // x + R·t, the columns read as four lanes (the fourth is the next column's first entry)
        const Vector3d& t = P.translation;
        Lanes4 R0, R1, R2;
        load(&X.R(0, 0), R0), load(&X.R(0, 1), R1), load(&X.R(0, 2), R2);
        x = x + R0 * t[0] + R1 * t[1] + R2 * t[2];
        // multiply(Q, F): Q's entries, each in every lane, times F reordered, signs flipped as
        // multiplications by −1 are, to the bit
        using Bits = sin_cos_detail::Lane4Bits;
        constexpr std::int64_t s = INT64_MIN;
        const Lanes4 A = (Lanes4)((Bits)__builtin_shufflevector(F, F, 3, 2, 1, 0) ^ Bits{0, s, 0, s});  // w, −z, y, −x
        const Lanes4 B = (Lanes4)((Bits)__builtin_shufflevector(F, F, 2, 3, 0, 1) ^ Bits{0, 0, s, s});  // z, w, −x, −y
        const Lanes4 C = (Lanes4)((Bits)__builtin_shufflevector(F, F, 1, 0, 3, 2) ^ Bits{s, 0, 0, s});  // −y, x, w, −z
        r = __builtin_shufflevector(r, r, 3, 3, 3, 3) * F + __builtin_shufflevector(r, r, 0, 0, 0, 0) * A +
            __builtin_shufflevector(r, r, 1, 1, 1, 1) * B + __builtin_shufflevector(r, r, 2, 2, 2, 2) * C;
    }
    __builtin_memcpy(out, &x, sizeof x);  // its fourth lane is overwritten by the quaternion's first
    __builtin_memcpy(out + 3, &r, sizeof r);
}
#endif

// Every body's pose in T, its rotation's quaternion beside it, then every link's row.
template <class Rows>
[[gnu::always_inline]] inline void every_link_pose(const Model& m, const Pose& base, std::span<const double> q,
                                                   std::span<Transform> T, std::span<Quaterniond> rotations,
                                                   std::span<double> out) {
    const Transform root = base_transform(base);
    walk_tree<true, Rows>(m, q, root, body_quaternion(base.rotation), T, rotations,
                          [](std::size_t, const Transform&) {});
    // read once: the stores to `out` could alias the model's tables, as far as the compiler knows
    const std::size_t L = m.link_count();
    const std::size_t* const link_bodies = m.link_bodies.data();
    const Pose* const placements = m.link_placements.data();
    for (std::size_t l = 0; l < L; ++l) {
        const std::size_t b = link_bodies[l];
        const Transform& X = b == 0 ? root : T[b - 1];
        const Quaterniond& Q = b == 0 ? base.rotation : rotations[b - 1];
#if defined(__x86_64__)
        if constexpr (std::is_same_v<Rows, BodyColumns>) {
            place_link_lanes(X, Q, placements[l], &out[7 * l]);
            continue;
        }
#endif
        place_link(X, Q, placements[l], &out[7 * l]);
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
