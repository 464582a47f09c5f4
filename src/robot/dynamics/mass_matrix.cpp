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

Result<void> Model::mass_matrix(bool floating, const Quaterniond& base_rotation, std::span<const double> q,
                                Workspace& ws, std::span<double> out) const {
    const std::size_t J = joint_count(), n = dof_count();
    const std::size_t off = floating ? 6 : 0, N = n + off;
    VORMEK_CHECK(check_joint_vector(q, n, "q"));
    VORMEK_CHECK(check_length(out, N * N, "mass matrix output"));
    // T: body poses in the reference frame; S: motion columns there (the spatial-velocity
    // buffer, which only forward dynamics otherwise uses)
    std::span<Transform> T = ws.transforms;
    std::span<Vector6d> S = ws.v;
    std::span<double> Mc = ws.composite_mass;
    std::span<Vector3d> Hc = ws.composite_first_moment;
    std::span<Matrix3d> Ic = ws.composite_inertia;
    if (T.size() != J || S.size() != J || Mc.size() != J || Hc.size() != J || Ic.size() != J)
        panic("mass matrix workspace does not fit the model");
    std::ranges::fill(out, 0.0);

    const Transform root{floating ? rotation_matrix(base_rotation) : Matrix3d::Identity(), Vector3d::Zero()};
    double M0;
    Vector3d H0;
    Matrix3d I0;
    place_inertia(body_inertials[0], root.R, root.p, M0, H0, I0);

    // root to leaf: each body's pose, inertia and motion column in the reference frame
    for (std::size_t k = 0; k < n; ++k) {
        const BodyJoint& joint = body_joints[k];
        const std::size_t parent = body_parents[k];
        T[k] = joint.placed(parent == 0 ? root : T[parent - 1], q[k]);
        const Matrix3d& R = T[k].R;
        const Vector3d& p = T[k].p;
        place_inertia(body_inertials[k + 1], R, p, Mc[k], Hc[k], Ic[k]);
        // turning about the axis through p, or sliding along it; a coordinate axis is a column
        const int e = joint.coordinate;
        const Vector3d s = e >= 0 ? Vector3d(joint.axis[e] * R.col(e)) : Vector3d(R * joint.axis);
        S[k] = joint.kind == JointKind::Revolute ? stack(s, p.cross(s)) : stack(Vector3d::Zero(), s);
    }

    // leaf to root: a subtree's inertia is its body's plus its children's subtrees
    for (std::size_t k = n; k-- > 0;) {
        const std::size_t parent = body_parents[k];
        if (parent == 0 && !floating) continue;
        (parent == 0 ? M0 : Mc[parent - 1]) += Mc[k];
        (parent == 0 ? H0 : Hc[parent - 1]) += Hc[k];
        (parent == 0 ? I0 : Ic[parent - 1]) += Ic[k];
    }

    // one column per DOF: the force F = I_k·S_k that the subtree of body k needs for a unit
    // rate of its joint, projected on the motion column of k and of every ancestor
    for (std::size_t k = 0; k < n; ++k) {
        const Vector3d w = angular(S[k]), v = linear(S[k]);
        const Vector6d F = stack(Ic[k] * w + Hc[k].cross(v), Mc[k] * v + w.cross(Hc[k]));
        const std::size_t col = off + k;
        for (std::size_t a = k;;) {
            const double value = S[a].dot(F);
            out[(off + a) * N + col] = value;
            out[col * N + off + a] = value;
            const std::size_t parent = body_parents[a];
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
