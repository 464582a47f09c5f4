// Composite-rigid-body mass matrix. Every link's inertia and every joint's motion column are
// first placed in one reference frame, the root origin with world axes (floating base) or root
// axes (fixed base); subtree inertias are then plain sums, and the entry of DOF i with an
// ancestor DOF is one six-value product of that ancestor's motion column with the force the
// subtree of i needs for a unit rate of its joint. Each such value is written to both mirror
// entries.

#include <algorithm>

#include "../../robot.hpp"
#include "../kinematics/checks.hpp"
#include "../workspace.hpp"
#include "spatial.hpp"

namespace vormek {

namespace {

// A link's mass, first moment and rotational inertia about the reference origin, from its pose
// (R, p) there: R·I_c·Rᵀ about its centre of mass x = p + R·c, shifted by m·(|x|²·1 − x·xᵀ).
// Both terms are symmetric, so only the upper triangle is computed and mirrored.
void place_inertia(const LinkInertial& in, const Matrix3d& R, const Vector3d& p, double& M, Vector3d& H,
                   Matrix3d& I) {
    const double m = in.mass;
    const Vector3d x = p + R * in.com;
    const Matrix3d B = R * in.inertia_com;
    M = m;
    H = m * x;
    const double xx = x.squaredNorm();
    for (int r = 0; r < 3; ++r)
        for (int k = r; k < 3; ++k)
            I(r, k) = I(k, r) = B.row(r).dot(R.row(k)) + m * ((r == k ? xx : 0.0) - x[r] * x[k]);
}

}  // namespace

Result<void> Model::mass_matrix(bool floating, const Quaterniond& base_rotation, std::span<const double> q,
                                Workspace& ws, std::span<double> out) const {
    const std::size_t J = joint_count(), n = dof_count();
    const std::size_t off = floating ? 6 : 0, N = n + off;
    VORMEK_CHECK(check_joint_vector(q, n, "q"));
    VORMEK_CHECK(check_length(out, N * N, "mass matrix output"));
    // T: link poses in the reference frame; S: motion columns there (the spatial-velocity
    // buffer, which only forward dynamics otherwise uses)
    std::span<Pose> T = ws.frames;
    std::span<Vector6d> S = ws.v;
    std::span<double> Mc = ws.composite_mass;
    std::span<Vector3d> Hc = ws.composite_first_moment;
    std::span<Matrix3d> Ic = ws.composite_inertia;
    if (T.size() != J || S.size() != J || Mc.size() != J || Hc.size() != J || Ic.size() != J)
        panic("mass matrix workspace does not fit the model");
    std::ranges::fill(out, 0.0);

    const Pose root{floating ? base_rotation : Quaterniond::Identity(), Vector3d::Zero()};
    double M0;
    Vector3d H0;
    Matrix3d I0;
    place_inertia(link_inertials[0], rotation_matrix(root.rotation), Vector3d::Zero(), M0, H0, I0);

    // root to leaf: each link's pose, inertia and motion column in the reference frame
    for (std::size_t j = 0; j < J; ++j) {
        const JointKinematics& joint = joint_kinematics[j];
        const std::size_t parent = joint_parents[j], i = joint_dofs[j];
        T[j] = compose(parent == 0 ? root : T[parent - 1], joint.frame(i == no_dof ? 0.0 : q[i]));
        const Matrix3d R = rotation_matrix(T[j].rotation);
        const Vector3d& p = T[j].translation;
        place_inertia(link_inertials[j + 1], R, p, Mc[j], Hc[j], Ic[j]);
        if (i == no_dof) continue;
        if (joint.kind == JointKind::Fixed)
            panic(floating ? "internal error: entered unreachable code: fixed joints were skipped"
                           : "internal error: entered unreachable code: fixed joints were skipped above");
        // turning about the axis through p, or sliding along it
        const Vector3d s = R * joint.axis;
        S[j] = joint.kind == JointKind::Revolute ? stack(s, p.cross(s)) : stack(Vector3d::Zero(), s);
    }

    // leaf to root: a subtree's inertia is its link's plus its children's subtrees
    for (std::size_t j = J; j-- > 0;) {
        const std::size_t parent = joint_parents[j];
        if (parent == 0 && !floating) continue;
        (parent == 0 ? M0 : Mc[parent - 1]) += Mc[j];
        (parent == 0 ? H0 : Hc[parent - 1]) += Hc[j];
        (parent == 0 ? I0 : Ic[parent - 1]) += Ic[j];
    }

    // one column per DOF: the force F = I_k·S_k that the subtree of joint k needs for a unit
    // rate of k, projected on the motion column of k and of every ancestor
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t k = dof_joints[i];
        if (joint_dofs[k] == no_dof) panic("active joint has a DOF index");
        const Vector3d w = angular(S[k]), v = linear(S[k]);
        const Vector6d F = stack(Ic[k] * w + Hc[k].cross(v), Mc[k] * v + w.cross(Hc[k]));
        const std::size_t col = off + i;
        for (std::size_t a = k;;) {
            if (const std::size_t d = joint_dofs[a]; d != no_dof) {
                const double value = S[a].dot(F);
                out[(off + d) * N + col] = value;
                out[col * N + off + d] = value;
            }
            const std::size_t parent = joint_parents[a];
            if (parent == 0) break;
            a = parent - 1;
        }
        // base rows: F is already about the base origin in world axes
        for (std::size_t r = 0; r < off; ++r) {
            out[r * N + col] = F[r];
            out[col * N + r] = F[r];
        }
    }

    if (floating) {
        // base block: the whole robot's spatial inertia about the base origin, world axes
        Matrix6d I;
        I << I0, skew(H0), skew(H0).transpose(), M0 * Matrix3d::Identity();
        for (std::size_t b = 0; b < 6; ++b)
            for (std::size_t r = 0; r < 6; ++r) out[b * N + r] = I(r, b);
    }
    return {};
}

Result<void> Robot::mass_matrix(std::span<const double> q, std::span<double> out) {
    return model_->mass_matrix(false, base_frame_.rotation, q, workspace_, out);
}

}  // namespace vormek
