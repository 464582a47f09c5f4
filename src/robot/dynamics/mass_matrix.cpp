// Composite-rigid-body mass matrix: subtree inertias accumulated leaf to root, then one walk to
// the root per DOF that fills its column and, with the same values, its row.

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
    std::span<Pose> X = ws.frames;
    std::span<double> Mc = ws.composite_mass;
    std::span<Vector3d> Hc = ws.composite_first_moment;
    std::span<Matrix3d> Ic = ws.composite_inertia;
    if (X.size() != J || Mc.size() != J || Hc.size() != J || Ic.size() != J)
        panic("mass matrix workspace does not fit the model");
    std::ranges::fill(out, 0.0);

    // every subtree starts as its own link
    for (std::size_t j = 0; j < J; ++j) {
        const std::size_t i = joint_dofs[j];
        X[j] = joint_kinematics[j].frame(i == no_dof ? 0.0 : q[i]);
        const LinkInertial& in = link_inertials[j + 1];
        Mc[j] = in.mass;
        Hc[j] = in.first_moment;
        Ic[j] = in.inertia_origin;
    }
    double M0 = link_inertials[0].mass;
    Vector3d H0 = link_inertials[0].first_moment;
    Matrix3d I0 = link_inertials[0].inertia_origin;

    // leaf to root: move each composite into its parent's frame and origin and add it there
    for (std::size_t j = J; j-- > 0;) {
        const std::size_t parent = joint_parents[j];
        if (parent == 0 && !floating) continue;
        const Matrix3d R = rotation_matrix(X[j].rotation);
        const Vector3d& p = X[j].translation;
        const Vector3d RH = R * Hc[j];
        // parallel-axis shift of a body whose first moment about the old origin is RH
        const Matrix3d shift = (Mc[j] * p.squaredNorm() + 2.0 * p.dot(RH)) * Matrix3d::Identity() -
                               Mc[j] * p * p.transpose() - p * RH.transpose() - RH * p.transpose();
        double& Mp = parent == 0 ? M0 : Mc[parent - 1];
        Vector3d& Hp = parent == 0 ? H0 : Hc[parent - 1];
        Matrix3d& Ip = parent == 0 ? I0 : Ic[parent - 1];
        Mp += Mc[j];
        Hp += RH + Mc[j] * p;
        Ip += R * Ic[j] * R.transpose() + shift;
    }

    // one column per DOF: the composite's wrench for a unit rate of its joint, carried to the
    // root and projected on every ancestor axis on the way
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t k = dof_joints[i];
        if (joint_dofs[k] == no_dof) panic("active joint has a DOF index");
        const JointKinematics& joint = joint_kinematics[k];
        if (joint.kind == JointKind::Fixed)
            panic(floating ? "internal error: entered unreachable code: fixed joints were skipped"
                           : "internal error: entered unreachable code: fixed joints were skipped above");
        // the composite's spatial inertia times the motion column: (I·s, s × H) turning, (H × s, M·s) sliding
        const bool revolute = joint.kind == JointKind::Revolute;
        const Vector3d& s = joint.axis;
        Vector3d torque = revolute ? Vector3d(Ic[k] * s) : Hc[k].cross(s);
        Vector3d force = revolute ? s.cross(Hc[k]) : Vector3d(Mc[k] * s);
        const std::size_t col = off + i;
        for (std::size_t a = k;;) {
            const std::size_t d = joint_dofs[a];
            if (d != no_dof) {
                const JointKinematics& ja = joint_kinematics[a];
                const double value = ja.kind == JointKind::Revolute ? ja.axis.dot(torque) : ja.axis.dot(force);
                out[(off + d) * N + col] = value;
                out[col * N + off + d] = value;
            }
            force = rotate(X[a].rotation, force);
            torque = rotate_add(X[a].rotation, torque, X[a].translation.cross(force));
            const std::size_t parent = joint_parents[a];
            if (parent == 0) break;
            a = parent - 1;
        }
        if (floating) {
            // base rows: the same wrench, now about the root origin, in world axes
            const Vector6d w = stack(rotate(base_rotation, torque), rotate(base_rotation, force));
            for (std::size_t r = 0; r < 6; ++r) {
                out[r * N + col] = w[r];
                out[col * N + r] = w[r];
            }
        }
    }

    if (floating) {
        // base block: the whole robot's inertia about the root origin, turned into world axes
        // one base direction at a time
        for (std::size_t b = 0; b < 6; ++b) {
            const Vector3d u = rotate_inverse(base_rotation, Vector3d::Unit(b % 3));
            const Vector3d torque = b < 3 ? Vector3d(I0 * u) : H0.cross(u);
            const Vector3d force = b < 3 ? u.cross(H0) : Vector3d(M0 * u);
            const Vector6d w = stack(rotate(base_rotation, torque), rotate(base_rotation, force));
            for (std::size_t r = 0; r < 6; ++r) out[b * N + r] = w[r];
        }
    }
    return {};
}

Result<void> Robot::mass_matrix(std::span<const double> q, std::span<double> out) {
    return model_->mass_matrix(false, base_frame_.rotation, q, workspace_, out);
}

}  // namespace vormek
