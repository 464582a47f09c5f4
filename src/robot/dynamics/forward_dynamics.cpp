// Articulated-body forward dynamics (Featherstone, RBDA table 7.1), one routine for both base
// kinds: velocities and bias terms root to leaf, articulated inertias leaf to root, then the
// base solve and the accelerations root to leaf. Everything is expressed in one reference frame,
// the root origin with world axes (floating base) or root axes (fixed base), as in the mass
// matrix: a subtree's articulated inertia then joins its parent's by a plain sum, and motions
// pass from parent to child without a transform, which saves the 6×6 change of frame per joint
// that body-frame quantities would need.

#include <Eigen/Cholesky>
#include <Eigen/Eigenvalues>
#include <algorithm>
#include <cmath>

#include "../../robot.hpp"
#include "../kinematics/checks.hpp"
#include "../workspace.hpp"
#include "spatial.hpp"

namespace vormek {

namespace {

// The singular-base test: the symmetrised 6×6 articulated inertia A of the root must be well
// conditioned (λmin > λmax·√ε, both finite, λmax > 0) and admit a Cholesky solve. The
// eigenvalues are bounded first from the factor, λmin ≥ 1/‖L⁻¹‖²_F and λmax ≤ trace(A); only
// when the bounds do not settle the test (a base within a few orders of magnitude of the
// threshold) is the symmetric eigen-decomposition run.
bool solve_base(const Matrix6d& IA0, const Vector6d& b, Vector6d& a0) {
    constexpr double sqrt_eps = 1.4901161193847656e-8;
    const Matrix6d A = 0.5 * (IA0 + IA0.transpose());
    const Eigen::LLT<Matrix6d> llt(A);
    if (llt.info() != Eigen::Success) return false;
    const Matrix6d Linv = llt.matrixL().solve(Matrix6d::Identity());
    const double lmin_bound = 1.0 / Linv.squaredNorm(), lmax_bound = A.trace();
    if (!(std::isfinite(lmax_bound) && lmin_bound > lmax_bound * sqrt_eps)) {
        const Eigen::SelfAdjointEigenSolver<Matrix6d> eigen(A, Eigen::EigenvaluesOnly);
        const double lmin = eigen.eigenvalues().minCoeff(), lmax = eigen.eigenvalues().maxCoeff();
        if (!(lmin > lmax * sqrt_eps && std::isfinite(lmax) && lmax > 0 && std::isfinite(lmin))) return false;
    }
    a0 = llt.solve(b);
    return a0.allFinite();
}

}  // namespace

Result<void> Model::forward_dynamics(bool floating, const Quaterniond& base_rotation, const Twist& base_velocity,
                                     std::span<const double> q, std::span<const double> qd,
                                     std::span<const double> forces, std::span<const Load> loads,
                                     Workspace& ws, std::span<double> out) const {
    const std::size_t J = joint_count(), n = dof_count();
    const std::size_t off = floating ? 6 : 0;
    VORMEK_CHECK(check_joint_vector(q, n, "q"));
    VORMEK_CHECK(check_joint_vector(qd, q.size(), "qd"));
    VORMEK_CHECK(check_length(forces, n + off, "forward dynamics generalized forces"));
    VORMEK_CHECK(check_length(out, forces.size(), "forward dynamics output"));
    VORMEK_TRY(root_load, prepare_indexed_loads(loads, ws.loads));
    if (ws.transforms.size() != J || ws.v.size() != J || ws.c.size() != J || ws.a.size() != J ||
        ws.IA.size() != J || ws.pA.size() != J || ws.U.size() != J || ws.D.size() != J || ws.u.size() != J || ws.loads.size() != J)
        panic("forward dynamics workspace does not fit the model");
    // T: body poses in the reference frame; S: motion columns there, each written over its
    // body's load once pass 1 has read it
    std::span<Transform> T = ws.transforms;
    std::span<Vector6d> v = ws.v, c = ws.c, a = ws.a, pA = ws.pA, U = ws.U, S = ws.loads;
    std::span<Matrix6d> IA = ws.IA;
    std::span<double> D = ws.D, u = ws.u;

    // root values in the reference frame; g is the upward acceleration that stands for gravity
    const Transform root{floating ? rotation_matrix(base_rotation) : Matrix3d::Identity(), Vector3d::Zero()};
    const Vector6d v0 = floating ? stack(base_velocity.angular, base_velocity.linear) : Vector6d::Zero();
    const Vector3d g = floating ? Vector3d(0, 0, standard_gravity)
                                : rotate_inverse(base_rotation, Vector3d(0, 0, standard_gravity));
    Matrix6d IA0;
    Vector6d pA0;
    if (floating) {
        IA0 = placed_spatial_inertia(body_inertials[0], root);
        pA0 = force_cross(v0, IA0 * v0) + force_to_parent(root.R, root.p, root_load);
    }

    // pass 1, root to leaf: poses, motion columns, velocities, velocity-product accelerations,
    // rigid-body inertias and bias forces. The loads arrive in body frames in the load slots,
    // which then take the motion columns.
    for (std::size_t k = 0; k < n; ++k) {
        const BodyJoint& joint = body_joints[k];
        const std::size_t parent = body_parents[k];
        T[k] = joint.placed(parent == 0 ? root : T[parent - 1], q[k]);
        const Vector6d load = force_to_parent(T[k].R, T[k].p, S[k]);
        // turning about the axis through p, or sliding along it; a coordinate axis is a column
        const int e = joint.coordinate;
        const Vector3d s = e >= 0 ? Vector3d(joint.axis[e] * T[k].R.col(e)) : Vector3d(T[k].R * joint.axis);
        S[k] = joint.kind == JointKind::Revolute ? stack(s, T[k].p.cross(s)) : stack(Vector3d::Zero(), s);
        const Vector6d vJ = S[k] * qd[k];
        // in a fixed frame a column moves with its body: d(S)/dt = v × S, hence c = v × vJ
        v[k] = (parent == 0 ? v0 : v[parent - 1]) + vJ;
        c[k] = motion_cross(v[k], vJ);
        IA[k] = placed_spatial_inertia(body_inertials[k + 1], T[k]);
        pA[k] = force_cross(v[k], IA[k] * v[k]) + load;
    }

    // pass 2, leaf to root: articulate each subtree through its joint into its parent
    for (std::size_t k = n; k-- > 0;) {
        // articulated in place: pass 3 reads only c, U, D and u of this joint
        Matrix6d& Ia = IA[k];
        Vector6d& pa = pA[k];
        U[k] = Ia * S[k];
        D[k] = S[k].dot(U[k]);
        // no relative tolerance: anything finite and above zero articulates
        if (!(std::isfinite(D[k]) && D[k] > 0)) return fail(errors::ForwardDynamicsSingularJointInertia{k});
        u[k] = forces[off + k] - S[k].dot(pa);
        const Vector6d U_D = U[k] / D[k];
        Ia.noalias() -= U_D * U[k].transpose();
        pa.noalias() += Ia * c[k] + U_D * u[k];
        const std::size_t parent = body_parents[k];
        if (parent == 0 && !floating) continue;
        (parent == 0 ? IA0 : IA[parent - 1]) += Ia;
        (parent == 0 ? pA0 : pA[parent - 1]) += pa;
    }

    std::ranges::fill(out, 0.0);

    // the root's spatial acceleration, gravity included: fixed, the base itself; floating, the
    // solve of the root's articulated equation against the applied base wrench
    Vector6d a0 = stack(Vector3d::Zero(), g);
    if (floating) {
        const Vector6d b = Eigen::Map<const Vector6d>(forces.data()) - pA0;
        if (!solve_base(IA0, b, a0)) return fail(errors::ForwardDynamicsSingularBaseInertia{});
        // the classical acceleration of the base origin is the spatial one plus ω × v, less
        // the fictitious gravity
        const Vector3d lin = linear(a0) - g + angular(v0).cross(linear(v0));
        for (int r = 0; r < 3; ++r) {
            out[r] = a0[r];
            out[3 + r] = lin[r];
        }
    }

    // pass 3, root to leaf: accelerations
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t parent = body_parents[k];
        const Vector6d ak = (parent == 0 ? a0 : a[parent - 1]) + c[k];
        const double qdd = (u[k] - U[k].dot(ak)) / D[k];
        if (!std::isfinite(qdd)) return fail(errors::ForwardDynamicsSingularJointInertia{k});
        out[off + k] = qdd;
        a[k] = ak + S[k] * qdd;
    }
    return {};
}

Result<void> Robot::forward_dynamics(std::span<const double> q, std::span<const double> qd,
                                     std::span<const double> forces, std::span<const Load> loads,
                                     std::span<double> out) {
    return model_->forward_dynamics(false, base_frame_.rotation, Twist{}, q, qd, forces, loads, workspace_, out);
}

}  // namespace vormek
