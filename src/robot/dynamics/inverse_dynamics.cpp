// Recursive Newton-Euler inverse dynamics, its static (gravity-only) pass, load preparation and
// the fixed-base operations built on them.

#include "../../robot.hpp"
#include "../kinematics/checks.hpp"
#include "spatial.hpp"

namespace vormek {

Result<Vector6d> Model::prepare_indexed_loads(std::span<const Load> loads, std::span<Vector6d> load_workspace) const {
    for (Vector6d& slot : load_workspace) slot.setZero();
    Vector6d root = Vector6d::Zero();
    for (const Load& load : loads) {
        VORMEK_TRY(link, check_link(load.link));
        // the wrench moves rigidly to its body's origin and axes: (R·n + p × R·f, R·f)
        const Pose& P = link_placements[link];
        const Vector3d f = rotate(P.rotation, load.force);
        const std::size_t body = link_bodies[link];
        Vector6d& slot = body == 0 ? root : load_workspace[body - 1];
        slot.head<3>() += rotate_add(P.rotation, load.torque, P.translation.cross(f));
        slot.tail<3>() += f;
    }
    return root;
}

Result<Vector6d> Model::inverse_dynamics_kernel_validated(
    bool floating, std::span<const double> q, std::span<const double> qd, std::span<const double> qdd,
    const Quaterniond& base_rotation, const Twist& base_velocity, const Twist& base_acceleration,
    const Vector3d& gravity, const Vector6d& root_load, std::span<Transform> X, std::span<Vector3d> omega,
    std::span<Vector3d> alpha, std::span<Vector3d> a, std::span<Vector3d> a_c, std::span<Vector6d> f,
    std::span<double> out) const {
    const std::size_t J = joint_count(), n = dof_count();
    VORMEK_CHECK(check_length(q, n, "q"));
    VORMEK_CHECK(check_length(qd, q.size(), "qd"));
    VORMEK_CHECK(check_length(qdd, q.size(), "qdd"));
    VORMEK_CHECK(check_length(X, J, "transform workspace"));
    VORMEK_CHECK(check_length(omega, J, "angular velocity workspace"));
    VORMEK_CHECK(check_length(alpha, J, "angular acceleration workspace"));
    VORMEK_CHECK(check_length(a, J, "origin acceleration workspace"));
    VORMEK_CHECK(check_length(a_c, J, "link acceleration workspace"));
    VORMEK_CHECK(check_length(f, J, "load workspace"));
    VORMEK_CHECK(check_length(out, q.size(), "inverse dynamics joint output"));

    // root motion in root axes; gravity rides on the base as an upward acceleration
    const Vector3d omega0 = rotate_inverse(base_rotation, base_velocity.angular);
    const Vector3d alpha0 = rotate_inverse(base_rotation, base_acceleration.angular);
    const Vector3d a0 = rotate_inverse(base_rotation, base_acceleration.linear + gravity);

    // forward pass: each body's motion from its parent's, in the body's own frame
    for (std::size_t k = 0; k < n; ++k) {
        const BodyJoint& joint = body_joints[k];
        const std::size_t parent = body_parents[k];
        const bool root = parent == 0;
        const Vector3d& wp = root ? omega0 : omega[parent - 1];
        const Vector3d& alphap = root ? alpha0 : alpha[parent - 1];
        const Vector3d& ap = root ? a0 : a[parent - 1];
        X[k] = joint.frame(q[k]);
        const auto Rt = X[k].R.transpose();
        const Vector3d& p = X[k].p;
        Vector3d w = Rt * wp;
        Vector3d wd = Rt * alphap;
        Vector3d ao = Rt * (ap + alphap.cross(p) + wp.cross(wp.cross(p)));
        const Vector3d& s = joint.axis;
        if (joint.kind == JointKind::Revolute) {
            // the joint's own rate, and the Coriolis term of the parent spin acting on it
            wd += s * qdd[k] + w.cross(s * qd[k]);
            w += s * qd[k];
        } else {
            // sliding in a spinning frame: relative acceleration plus the Coriolis term
            ao += s * qdd[k] + 2.0 * w.cross(s * qd[k]);
        }
        const Vector3d& c = body_inertials[k + 1].com;
        omega[k] = w;
        alpha[k] = wd;
        a[k] = ao;
        a_c[k] = ao + wd.cross(c) + w.cross(w.cross(c));
    }

    // a floating root supplies its own inertial wrench and carries the load put on it
    Vector6d root_wrench = Vector6d::Zero();
    if (floating) root_wrench = body_wrench(body_inertials[0], omega0, alpha0, a0) + root_load;

    // backward pass: each body's Newton-Euler wrench plus its loads and children's wrenches,
    // projected on the joint axis and handed to the parent
    for (std::size_t k = n; k-- > 0;) {
        const LinkInertial& in = body_inertials[k + 1];
        const Vector3d ma = in.mass * a_c[k];
        const Vector3d fl = ma + f[k].tail<3>();
        const Vector3d nk = in.inertia_com * alpha[k] + omega[k].cross(in.inertia_com * omega[k]) +
                            in.com.cross(ma) + f[k].head<3>();
        const BodyJoint& joint = body_joints[k];
        out[k] = joint.kind == JointKind::Revolute ? joint.axis.dot(nk) : joint.axis.dot(fl);
        const std::size_t parent = body_parents[k];
        if (parent == 0 && !floating) continue;
        const Vector3d fp = X[k].R * fl;
        const Vector3d np = X[k].R * nk + X[k].p.cross(fp);
        Vector6d& target = parent == 0 ? root_wrench : f[parent - 1];
        target.head<3>() += np;
        target.tail<3>() += fp;
    }
    return root_wrench;
}

Result<Vector6d> Model::gravity_kernel(std::span<const double> q, const Quaterniond& base_rotation,
                                       const Vector6d& root_load, std::span<Transform> X, std::span<Vector3d> g,
                                       std::span<Vector6d> f, std::span<double> out) const {
    const std::size_t J = joint_count(), n = dof_count();
    VORMEK_CHECK(check_joint_vector(q, n, "q"));
    VORMEK_CHECK(check_length(X, J, "transform workspace"));
    VORMEK_CHECK(check_length(g, J, "gravity workspace"));
    VORMEK_CHECK(check_length(f, J, "load workspace"));
    VORMEK_CHECK(check_length(out, q.size(), "gravity joint output"));

    // the upward acceleration that stands for gravity, in root axes
    const Vector3d g0 = rotate_inverse(base_rotation, Vector3d(0, 0, standard_gravity));

    // forward pass: only the gravity vector travels down the tree
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t parent = body_parents[k];
        X[k] = body_joints[k].frame(q[k]);
        g[k] = X[k].R.transpose() * (parent == 0 ? g0 : g[parent - 1]);
    }

    const LinkInertial& in0 = body_inertials[0];
    const Vector3d f0 = in0.mass * g0;
    Vector6d root_wrench = stack(in0.com.cross(f0), f0) + root_load;

    // backward pass: weight of each subtree about each joint, plus the loads
    for (std::size_t k = n; k-- > 0;) {
        const LinkInertial& in = body_inertials[k + 1];
        const Vector3d weight = in.mass * g[k];
        const Vector3d fl = weight + f[k].tail<3>();
        const Vector3d nk = in.com.cross(weight) + f[k].head<3>();
        const BodyJoint& joint = body_joints[k];
        out[k] = joint.kind == JointKind::Revolute ? joint.axis.dot(nk) : joint.axis.dot(fl);
        const std::size_t parent = body_parents[k];
        const Vector3d fp = X[k].R * fl;
        const Vector3d np = X[k].R * nk + X[k].p.cross(fp);
        Vector6d& target = parent == 0 ? root_wrench : f[parent - 1];
        target.head<3>() += np;
        target.tail<3>() += fp;
    }
    return root_wrench;
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
        false, q, qd, qdd, base_frame_.rotation, Twist{}, Twist{}, Vector3d(0, 0, standard_gravity), root_load,
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
    VORMEK_CHECK(m.gravity_kernel(q, base_frame_.rotation, root_load, ws.transforms, ws.angular_acceleration, ws.loads,
                                  out));
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
