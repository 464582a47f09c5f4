// Recursive Newton-Euler inverse dynamics, its static (gravity-only) pass, load preparation and
// the fixed-base operations built on them.

#include "../../robot.hpp"
#include "../checks.hpp"
#include "fused.hpp"
#include "spatial.hpp"

namespace vormek {

namespace {

// out = a × b on plain arrays (out must not alias a or b).
inline void cross(const double* a, const double* b, double* out) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

// target += the wrench (n, f) of a body whose pose in its parent is X, moved into the parent's
// frame: (R·n + p × R·f, R·f).
inline void add_to_parent(const Transform& X, const double* n, const double* f, double* target) {
    const Matrix3d& R = X.R;
    double fp[3], pxfp[3];
    for (int r = 0; r < 3; ++r) fp[r] = R(r, 0) * f[0] + R(r, 1) * f[1] + R(r, 2) * f[2];
    cross(X.p.data(), fp, pxfp);
    for (int r = 0; r < 3; ++r) {
        target[r] += R(r, 0) * n[0] + R(r, 1) * n[1] + R(r, 2) * n[2] + pxfp[r];
        target[3 + r] += fp[r];
    }
}

}  // namespace

Result<Vector6d> Model::prepare_indexed_loads(std::span<const Load> loads, std::span<Vector6d> load_workspace) const {
    for (Vector6d& slot : load_workspace) slot.setZero();
    // built in the result itself and returned without a copy, as in the kernels below
    Result<Vector6d> result(std::in_place, Vector6d::Zero());
    Vector6d& root = *result;
    for (const Load& load : loads) {
        const Result<std::size_t> checked = check_link(load.link);
        if (!checked) {
            result = fail(checked.error());
            return result;
        }
        const std::size_t link = *checked;
        // the wrench moves rigidly to its body's origin and axes: (R·n + p × R·f, R·f)
        const Pose& P = link_placements[link];
        const Vector3d f = rotate(P.rotation, load.force);
        const std::size_t body = link_bodies[link];
        Vector6d& slot = body == 0 ? root : load_workspace[body - 1];
        slot.head<3>() += rotate_add(P.rotation, load.torque, P.translation.cross(f));
        slot.tail<3>() += f;
    }
    return result;
}

namespace {

// Newton-Euler, inlined into its portable and fused builds.
[[gnu::always_inline]] inline Result<Vector6d> newton_euler(
    const Model& model, bool floating, std::span<const double> q, std::span<const double> qd,
    std::span<const double> qdd, const Quaterniond& base_rotation, const Twist& base_velocity,
    const Twist& base_acceleration, const Vector3d& gravity, const Vector6d& root_load, std::span<Transform> X,
    std::span<Vector3d> omega, std::span<Vector3d> alpha, std::span<Vector3d> a, std::span<Vector3d> a_c,
    std::span<Vector6d> f, std::span<double> out) {
    const std::vector<BodyJoint>& body_joints = model.body_joints;
    const std::vector<std::size_t>& body_parents = model.body_parents;
    const std::vector<LinkInertial>& body_inertials = model.body_inertials;
    const std::size_t J = model.joint_count(), n = model.dof_count();
    const Result<void> checked = [&]() -> Result<void> {
        VORMEK_CHECK(check_length(q, n, "q"));
        VORMEK_CHECK(check_length(qd, q.size(), "qd"));
        VORMEK_CHECK(check_length(qdd, q.size(), "qdd"));
        VORMEK_CHECK(check_length(X, J, "transform workspace"));
        VORMEK_CHECK(check_length(omega, J, "angular velocity workspace"));
        VORMEK_CHECK(check_length(alpha, J, "angular acceleration workspace"));
        VORMEK_CHECK(check_length(a, J, "origin acceleration workspace"));
        VORMEK_CHECK(check_length(a_c, J, "link acceleration workspace"));
        VORMEK_CHECK(check_length(f, J, "load workspace"));
        return check_length(out, q.size(), "inverse dynamics joint output");
    }();
    // the root wrench is built in the result itself; every return names it, so it is returned
    // without a copy
    Result<Vector6d> result(std::in_place);
    if (!checked) {
        result = fail(checked.error());
        return result;
    }

    // root motion in root axes; gravity rides on the base as an upward acceleration
    const Vector3d omega0 = rotate_inverse(base_rotation, base_velocity.angular);
    const Vector3d alpha0 = rotate_inverse(base_rotation, base_acceleration.angular);
    const Vector3d a0 = rotate_inverse(base_rotation, base_acceleration.linear + gravity);

    // each body's pose in its parent, in a pass of its own: the poses do not depend on one
    // another, so the sines of several joints are evaluated at once rather than each one
    // holding up the motion recursion below
    for (std::size_t k = 0; k < n; ++k) body_joints[k].place(q[k], X[k]);

    // forward pass: each body's motion from its parent's, in the body's own frame. Scalar code
    // throughout: each value is read back soon after it is written, and Eigen's 16-byte loads of
    // entries stored one by one would wait on store forwarding.
    for (std::size_t k = 0; k < n; ++k) {
        const BodyJoint& joint = body_joints[k];
        const std::size_t parent = body_parents[k];
        const bool root = parent == 0;
        const double* wp = (root ? omega0 : omega[parent - 1]).data();
        const double* alphap = (root ? alpha0 : alpha[parent - 1]).data();
        const double* ap = (root ? a0 : a[parent - 1]).data();
        const Matrix3d& R = X[k].R;
        const double* p = X[k].p.data();
        // the parent's origin acceleration carried to the joint origin: + αp × p + ωp × (ωp × p)
        double wxp[3], at[3];
        cross(wp, p, wxp);
        cross(alphap, p, at);
        double wwxp[3];
        cross(wp, wxp, wwxp);
        for (int r = 0; r < 3; ++r) at[r] += ap[r] + wwxp[r];
        // into the body's axes: Rᵀ·v takes column r of R for entry r
        double w[3], wd[3], ao[3];
        for (int r = 0; r < 3; ++r) {
            w[r] = R(0, r) * wp[0] + R(1, r) * wp[1] + R(2, r) * wp[2];
            wd[r] = R(0, r) * alphap[0] + R(1, r) * alphap[1] + R(2, r) * alphap[2];
            ao[r] = R(0, r) * at[0] + R(1, r) * at[1] + R(2, r) * at[2];
        }
        const double* s = joint.axis.data();
        double wxs[3];
        cross(w, s, wxs);
        if (joint.kind == JointKind::Revolute) {
            // the joint's own rate, and the Coriolis term of the parent spin acting on it
            for (int r = 0; r < 3; ++r) {
                wd[r] += s[r] * qdd[k] + wxs[r] * qd[k];
                w[r] += s[r] * qd[k];
            }
        } else {
            // sliding in a spinning frame: relative acceleration plus the Coriolis term
            for (int r = 0; r < 3; ++r) ao[r] += s[r] * qdd[k] + 2.0 * wxs[r] * qd[k];
        }
        // the centre of mass's acceleration: + α × c + ω × (ω × c)
        const double* c = body_inertials[k + 1].com.data();
        double wxc[3], axc[3], wwxc[3];
        cross(w, c, wxc);
        cross(wd, c, axc);
        cross(w, wxc, wwxc);
        for (int r = 0; r < 3; ++r) {
            omega[k][r] = w[r];
            alpha[k][r] = wd[r];
            a[k][r] = ao[r];
            a_c[k][r] = ao[r] + axc[r] + wwxc[r];
        }
    }

    // a floating root supplies its own inertial wrench and carries the load put on it
    Vector6d& root_wrench = *result;
    if (floating) root_wrench = body_wrench(body_inertials[0], omega0, alpha0, a0) + root_load;
    else for (int r = 0; r < 6; ++r) root_wrench[r] = 0.0;

    // backward pass: each body's Newton-Euler wrench about its origin plus its loads and
    // children's wrenches, projected on the joint axis and handed to the parent
    for (std::size_t k = n; k-- > 0;) {
        const LinkInertial& in = body_inertials[k + 1];
        const Matrix3d& Ic = in.inertia_com;
        const double* w = omega[k].data();
        const double* wd = alpha[k].data();
        const double* fk = f[k].data();
        // f = m·a_c + loads; n = I_c·α + ω × (I_c·ω) + c × m·a_c + loads
        double fl[3], ma[3], Iw[3], nk[3];
        for (int r = 0; r < 3; ++r) {
            ma[r] = in.mass * a_c[k][r];
            fl[r] = ma[r] + fk[3 + r];
            Iw[r] = Ic(r, 0) * w[0] + Ic(r, 1) * w[1] + Ic(r, 2) * w[2];
        }
        double wxIw[3], cxma[3];
        cross(w, Iw, wxIw);
        cross(in.com.data(), ma, cxma);
        for (int r = 0; r < 3; ++r)
            nk[r] = Ic(r, 0) * wd[0] + Ic(r, 1) * wd[1] + Ic(r, 2) * wd[2] + wxIw[r] + cxma[r] + fk[r];
        const BodyJoint& joint = body_joints[k];
        const double* s = joint.axis.data();
        const double* load = joint.kind == JointKind::Revolute ? nk : fl;
        out[k] = s[0] * load[0] + s[1] * load[1] + s[2] * load[2];
        const std::size_t parent = body_parents[k];
        if (parent == 0 && !floating) continue;
        add_to_parent(X[k], nk, fl, (parent == 0 ? root_wrench : f[parent - 1]).data());
    }
    return result;
}

// The static pass, inlined into its portable and fused builds.
[[gnu::always_inline]] inline Result<Vector6d> gravity_pass(const Model& model, std::span<const double> q,
                                                            const Quaterniond& base_rotation,
                                                            const Vector3d& lift, const Vector6d& root_load, std::span<Transform> X,
                                                            std::span<Vector3d> g, std::span<Vector6d> f,
                                                            std::span<double> out) {
    const std::vector<BodyJoint>& body_joints = model.body_joints;
    const std::vector<std::size_t>& body_parents = model.body_parents;
    const std::vector<LinkInertial>& body_inertials = model.body_inertials;
    const std::size_t J = model.joint_count(), n = model.dof_count();
    const Result<void> checked = [&]() -> Result<void> {
        VORMEK_CHECK(check_joint_vector(q, n, "q"));
        VORMEK_CHECK(check_length(X, J, "transform workspace"));
        VORMEK_CHECK(check_length(g, J, "gravity workspace"));
        VORMEK_CHECK(check_length(f, J, "load workspace"));
        return check_length(out, q.size(), "gravity joint output");
    }();
    Result<Vector6d> result(std::in_place);  // returned without a copy, as in the kernel above
    if (!checked) {
        result = fail(checked.error());
        return result;
    }

    // the upward acceleration that stands for gravity, in root axes
    const Vector3d g0 = rotate_inverse(base_rotation, lift);

    // forward pass: only the gravity vector travels down the tree, into each body's axes
    // (scalar code, and the poses placed first, as in inverse dynamics above)
    for (std::size_t k = 0; k < n; ++k) body_joints[k].place(q[k], X[k]);
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t parent = body_parents[k];
        const Matrix3d& R = X[k].R;
        const double* gp = (parent == 0 ? g0 : g[parent - 1]).data();
        for (int r = 0; r < 3; ++r) g[k][r] = R(0, r) * gp[0] + R(1, r) * gp[1] + R(2, r) * gp[2];
    }

    const LinkInertial& in0 = body_inertials[0];
    const Vector3d f0 = in0.mass * g0;
    Vector6d& root_wrench = *result;
    root_wrench = stack(in0.com.cross(f0), f0) + root_load;

    // backward pass: weight of each subtree about each joint, plus the loads
    for (std::size_t k = n; k-- > 0;) {
        const LinkInertial& in = body_inertials[k + 1];
        const double* fk = f[k].data();
        double weight[3], fl[3], nk[3];
        for (int r = 0; r < 3; ++r) {
            weight[r] = in.mass * g[k][r];
            fl[r] = weight[r] + fk[3 + r];
        }
        cross(in.com.data(), weight, nk);
        for (int r = 0; r < 3; ++r) nk[r] += fk[r];
        const BodyJoint& joint = body_joints[k];
        const double* s = joint.axis.data();
        const double* load = joint.kind == JointKind::Revolute ? nk : fl;
        out[k] = s[0] * load[0] + s[1] * load[1] + s[2] * load[2];
        const std::size_t parent = body_parents[k];
        add_to_parent(X[k], nk, fl, (parent == 0 ? root_wrench : f[parent - 1]).data());
    }
    return result;
}

#ifdef VORMEK_FUSED_KERNELS
VORMEK_FUSED Result<Vector6d> fused_newton_euler(
    const Model& model, bool floating, std::span<const double> q, std::span<const double> qd,
    std::span<const double> qdd, const Quaterniond& base_rotation, const Twist& base_velocity,
    const Twist& base_acceleration, const Vector3d& gravity, const Vector6d& root_load, std::span<Transform> X,
    std::span<Vector3d> omega, std::span<Vector3d> alpha, std::span<Vector3d> a, std::span<Vector3d> a_c,
    std::span<Vector6d> f, std::span<double> out) {
    return newton_euler(model, floating, q, qd, qdd, base_rotation, base_velocity, base_acceleration, gravity,
                        root_load, X, omega, alpha, a, a_c, f, out);
}

VORMEK_FUSED Result<Vector6d> fused_gravity_pass(const Model& model, std::span<const double> q,
                                                 const Quaterniond& base_rotation, const Vector3d& lift,
                                                 const Vector6d& root_load, std::span<Transform> X,
                                                 std::span<Vector3d> g, std::span<Vector6d> f,
                                                 std::span<double> out) {
    return gravity_pass(model, q, base_rotation, lift, root_load, X, g, f, out);
}
#endif

}  // namespace

Result<Vector6d> Model::inverse_dynamics_kernel_validated(
    bool floating, std::span<const double> q, std::span<const double> qd, std::span<const double> qdd,
    const Quaterniond& base_rotation, const Twist& base_velocity, const Twist& base_acceleration,
    const Vector3d& gravity, const Vector6d& root_load, std::span<Transform> X, std::span<Vector3d> omega,
    std::span<Vector3d> alpha, std::span<Vector3d> a, std::span<Vector3d> a_c, std::span<Vector6d> f,
    std::span<double> out) const {
#ifdef VORMEK_FUSED_KERNELS
    if (fused_kernels())
        return fused_newton_euler(*this, floating, q, qd, qdd, base_rotation, base_velocity, base_acceleration,
                                  gravity, root_load, X, omega, alpha, a, a_c, f, out);
#endif
    return newton_euler(*this, floating, q, qd, qdd, base_rotation, base_velocity, base_acceleration, gravity,
                        root_load, X, omega, alpha, a, a_c, f, out);
}

Result<Vector6d> Model::gravity_kernel(std::span<const double> q, const Quaterniond& base_rotation,
                                       const Vector3d& lift, const Vector6d& root_load, std::span<Transform> X,
                                       std::span<Vector3d> g, std::span<Vector6d> f, std::span<double> out) const {
#ifdef VORMEK_FUSED_KERNELS
    if (fused_kernels()) return fused_gravity_pass(*this, q, base_rotation, lift, root_load, X, g, f, out);
#endif
    return gravity_pass(*this, q, base_rotation, lift, root_load, X, g, f, out);
}

Result<void> Robot::inverse_dynamics(std::span<const double> q, std::span<const double> qd,
                                     std::span<const double> qdd, std::span<const Load> loads,
                                     std::span<double> out) {
    const Model& m = *model_;
    const std::size_t n = m.dof_count();
    VORMEK_CHECK(check_joint_vector(q, n, "q"));
    VORMEK_CHECK(check_joint_vector(qd, n, "qd"));
    VORMEK_CHECK(check_joint_vector(qdd, n, "qdd"));
    VORMEK_CHECK(check_length(out, n, "inverse dynamics output"));
    Workspace& ws = workspace_;
    VORMEK_TRY(root_load, m.prepare_indexed_loads(loads, ws.loads));
    std::ranges::fill(out, 0.0);
    VORMEK_CHECK(m.inverse_dynamics_kernel_validated(
        false, q, qd, qdd, base_frame_.rotation, Twist{}, Twist{}, gravity_.lift(), root_load,
        ws.transforms, ws.angular_velocity, ws.angular_acceleration, ws.origin_acceleration, ws.link_acceleration,
        ws.loads, out));
    return {};
}

Result<void> Robot::gravity(std::span<const double> q, std::span<const Load> loads, std::span<double> out) {
    const Model& m = *model_;
    VORMEK_CHECK(check_joint_vector(q, m.dof_count(), "q"));
    VORMEK_CHECK(check_length(out, m.dof_count(), "gravity output"));
    Workspace& ws = workspace_;
    VORMEK_TRY(root_load, m.prepare_indexed_loads(loads, ws.loads));
    std::ranges::fill(out, 0.0);
    VORMEK_CHECK(m.gravity_kernel(q, base_frame_.rotation, gravity_.lift(), root_load, ws.transforms,
                                  ws.angular_acceleration, ws.loads, out));
    return {};
}

Result<void> Robot::velocity_product_forces(std::span<const double> q, std::span<const double> qd,
                                            std::span<double> out) {
    const Model& m = *model_;
    const std::size_t n = m.dof_count();
    VORMEK_CHECK(check_joint_vector(q, n, "q"));
    VORMEK_CHECK(check_joint_vector(qd, n, "qd"));
    VORMEK_CHECK(check_length(out, n, "velocity product output"));
    Workspace& ws = workspace_;
    // no acceleration, no gravity, no loads: what remains is the velocity-product part
    std::ranges::fill(ws.ik_step, 0.0);
    for (Vector6d& slot : ws.loads) slot.setZero();
    std::ranges::fill(out, 0.0);
    VORMEK_CHECK(m.inverse_dynamics_kernel_validated(false, q, qd, ws.ik_step, base_frame_.rotation, Twist{},
                                                     Twist{}, Vector3d::Zero(), Vector6d::Zero(), ws.transforms,
                                                     ws.angular_velocity, ws.angular_acceleration,
                                                     ws.origin_acceleration, ws.link_acceleration, ws.loads, out));
    return {};
}

}  // namespace vormek
