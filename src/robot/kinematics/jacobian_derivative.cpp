// The time derivative of the world Jacobian along q̇: for a fixed base one walk straight in world
// axes; for a floating base a kernel in root axes, then a writer that turns it into world axes
// and adds what the turning base contributes.

#include <algorithm>

#include "../../robot.hpp"
#include "chain.hpp"
#include "columns.hpp"

namespace vormek {

namespace {

// The three values of a flat six-value column layout starting at `at`.
Eigen::Map<Vector3d> block(std::span<double> s, std::size_t at) { return Eigen::Map<Vector3d>(&s[at]); }
Eigen::Map<const Vector3d> block(std::span<const double> s, std::size_t at) {
    return Eigen::Map<const Vector3d>(&s[at]);
}

// J and J̇ of `link` from one walk over the bodies, in the axes of X[0].R, the rotation the
// walk starts from: root axes for the kernel, world axes for a fixed base, whose J̇ is J̇ in
// root axes turned by the constant base rotation. The path columns of J and J̇ are written
// (the others left as they are) and J's revolute columns are left as [z; p_j] for
// finish_body_columns. Returns the pose of the link's body; p_t and v_t are the link origin
// and its velocity, root-relative. Scalar code writing each value in its final place: what it
// writes it reads back at once.
const Transform& derivative_walk(const Model& m, std::span<const double> q, std::span<const double> qd,
                                 std::size_t link, std::span<const std::size_t> path, Transform (&X)[2],
                                 std::span<double> J, std::span<double> Jdot, double (&p_t)[3], double (&v_t)[3]) {
    // ω of the current body, v of its origin
    double w[3] = {0, 0, 0}, v[3] = {0, 0, 0}, p[3] = {0, 0, 0};
    const Transform& B = walk_bodies(m, q, path, X, [&](std::size_t k, const Transform& T, const BodyRows& rows) {
        // the parent's motion carried to the child origin: v += ω × (p_k − p)
        const double dx = T.p[0] - p[0], dy = T.p[1] - p[1], dz = T.p[2] - p[2];
        v[0] += w[1] * dz - w[2] * dy;
        v[1] += w[2] * dx - w[0] * dz;
        v[2] += w[0] * dy - w[1] * dx;
        p[0] = T.p[0], p[1] = T.p[1], p[2] = T.p[2];
        double* Jk = &J[6 * k];
        double* Jdotk = &Jdot[6 * k];
        start_body_column(m.body_joints[k], rows, Jk);
        const double qd_k = qd[k];
        if (m.body_joints[k].kind == JointKind::Revolute) {
            const double* z = Jk;
            for (int r = 0; r < 3; ++r) w[r] += z[r] * qd_k;
            // ż = ω × z (the joint's own turn adds nothing: z × z = 0); v_k waits in the linear
            // block for the column pass, which needs v_t
            Jdotk[0] = w[1] * z[2] - w[2] * z[1];
            Jdotk[1] = w[2] * z[0] - w[0] * z[2];
            Jdotk[2] = w[0] * z[1] - w[1] * z[0];
            Jdotk[3] = v[0], Jdotk[4] = v[1], Jdotk[5] = v[2];
        } else {
            // d/dt [0; z] = [0; ω × z], final at once
            const double* z = Jk + 3;
            for (int r = 0; r < 3; ++r) v[r] += z[r] * qd_k;
            Jdotk[0] = Jdotk[1] = Jdotk[2] = 0.0;
            Jdotk[3] = w[1] * z[2] - w[2] * z[1];
            Jdotk[4] = w[2] * z[0] - w[0] * z[2];
            Jdotk[5] = w[0] * z[1] - w[1] * z[0];
        }
    });
    // the link sits at P in its body: p_t = p + R·t, v_t = v + ω × (R·t)
    const Vector3d& t = m.link_placements[link].translation;
    double d[3];
    for (int r = 0; r < 3; ++r) d[r] = B.R(r, 0) * t[0] + B.R(r, 1) * t[1] + B.R(r, 2) * t[2];
    for (int r = 0; r < 3; ++r) p_t[r] = p[r] + d[r];
    v_t[0] = v[0] + (w[1] * d[2] - w[2] * d[1]);
    v_t[1] = v[1] + (w[2] * d[0] - w[0] * d[2]);
    v_t[2] = v[2] + (w[0] * d[1] - w[1] * d[0]);

    // column pass: d/dt [z; z × (p_t − p_j)] = [ż; ż × (p_t − p_j) + z × (v_t − v_j)]
    for (const std::size_t k : path) {
        if (m.body_joints[k].kind != JointKind::Revolute) continue;
        const double* Jk = &J[6 * k];
        double* Jdotk = &Jdot[6 * k];
        const double rx = p_t[0] - Jk[3], ry = p_t[1] - Jk[4], rz = p_t[2] - Jk[5];
        const double ux = v_t[0] - Jdotk[3], uy = v_t[1] - Jdotk[4], uz = v_t[2] - Jdotk[5];
        Jdotk[3] = (Jdotk[1] * rz - Jdotk[2] * ry) + (Jk[1] * uz - Jk[2] * uy);
        Jdotk[4] = (Jdotk[2] * rx - Jdotk[0] * rz) + (Jk[2] * ux - Jk[0] * uz);
        Jdotk[5] = (Jdotk[0] * ry - Jdotk[1] * rx) + (Jk[0] * uy - Jk[1] * ux);
    }
    return B;
}

// Checks the workspace of the derivative, in the kernel's order, up to the Jacobian's own.
Result<void> check_derivative_workspace(const Model& m, Workspace& workspace) {
    VORMEK_CHECK(
        check_length(std::span(workspace.jacobian_derivative), 6 * m.dof_count(), "jacobian derivative output"));
    VORMEK_CHECK(check_length(std::span(workspace.angular_velocity), m.joint_count(), "angular velocity workspace"));
    if (workspace.jdot_linear_velocity.size() != m.joint_count()) panic("workspace does not fit the model");
    return {};
}

}  // namespace

Result<Pose> Model::jacobian_derivative_kernel(std::span<const double> q, std::span<const double> qd,
                                               std::size_t link, Workspace& workspace) const {
    VORMEK_CHECK(check_derivative_workspace(*this, workspace));
    const std::span<double> Jdot(workspace.jacobian_derivative);
    std::ranges::fill(Jdot, 0.0);
    // the root does not move relative to itself: no columns, J̇ = 0
    if (link == 0) {
        std::ranges::fill(workspace.jacobian, 0.0);
        return Pose::identity();
    }
    const std::span<double> J(workspace.jacobian);
    VORMEK_CHECK(check_length(J, 6 * dof_count(), "jacobian output"));
    std::ranges::fill(J, 0.0);
    const auto path = body_path(*this, link_bodies[link], workspace.ancestor_path);
    Transform X[2];
    double p_t[3], v_t[3];
    const Transform& B = derivative_walk(*this, q, qd, link, path, X, J, Jdot, p_t, v_t);
    finish_body_columns(*this, path, p_t, J);
    // the link's rotation is R_B·R_P; the walk keeps matrices, a caller wants a quaternion
    return Pose{multiply(Quaterniond(B.R), link_placements[link].rotation), Vector3d(p_t[0], p_t[1], p_t[2])};
}

void Model::write_floating_jacobian_derivative(const BaseState& base, std::span<const double> qd, const Pose& target,
                                               std::span<const double> J, std::span<const double> Jdot,
                                               std::span<double> out) const {
    const std::size_t n = dof_count();
    const Quaterniond& R_b = base.frame().rotation;
    const Vector3d& w_b = base.velocity().angular;
    std::ranges::fill(out, 0.0);

    // velocity of the target origin relative to the root, then of r = R_b·p_t in the world
    Vector3d v_rel = Vector3d::Zero();
    for (std::size_t k = 0; k < n; ++k) v_rel += block(J, 6 * k + 3) * qd[k];
    const Vector3d r = rotate(R_b, target.translation);
    const Vector3d r_dot = w_b.cross(r) + rotate(R_b, v_rel);

    // base columns: d/dt [e_i; e_i × r] = [0; e_i × ṙ]; the linear base columns are constant
    for (std::size_t i = 0; i < 3; ++i) block(out, 6 * i + 3) = Vector3d::Unit(i).cross(r_dot);
    // joint columns: d/dt (R_b·B) = R_b·Ḃ + ω_b × (R_b·B) for each block B
    for (std::size_t i = 0; i < 2 * n; ++i)
        block(out, 36 + 3 * i) = rotate(R_b, block(Jdot, 3 * i)) + w_b.cross(rotate(R_b, block(J, 3 * i)));
}

Result<void> Robot::jacobian_derivative(std::span<const double> q, std::span<const double> qd, LinkId target,
                                        std::span<double> out) {
    const Model& m = *model_;
    VORMEK_CHECK(check_joint_vector(q, m.dof_count(), "q"));
    VORMEK_CHECK(check_joint_vector(qd, m.dof_count(), "qd"));
    VORMEK_CHECK(check_length(out, 6 * m.dof_count(), "jacobian derivative output"));
    VORMEK_TRY(index, m.check_link(target));
    VORMEK_CHECK(check_derivative_workspace(m, workspace_));
    const std::span<double> J(workspace_.jacobian);
    if (index != 0) {
        VORMEK_CHECK(check_length(J, 6 * m.dof_count(), "jacobian output"));
    }
    // the base does not move, so J̇ in world axes is J̇ in root axes turned by the base
    // rotation: the walk starts from it and writes the columns of J̇ straight into `out`
    std::ranges::fill(out, 0.0);
    if (index == 0) return {};
    const auto path = body_path(m, m.link_bodies[index], workspace_.ancestor_path);
    Transform X[2];
    X[0].R = base_frame_.rotation.toRotationMatrix();
    double p_t[3], v_t[3];
    derivative_walk(m, q, qd, index, path, X, J, out, p_t, v_t);
    return {};
}

Result<void> FloatingRobot::jacobian_derivative(const BaseState& base, std::span<const double> q,
                                                std::span<const double> qd, LinkId target, std::span<double> out) {
    const Model& m = *model_;
    VORMEK_CHECK(check_joint_vector(q, m.dof_count(), "q"));
    VORMEK_CHECK(check_joint_vector(qd, m.dof_count(), "qd"));
    VORMEK_CHECK(check_length(out, 6 * m.dof_count() + 36, "jacobian derivative output"));
    VORMEK_TRY(index, m.check_link(target));
    VORMEK_TRY(target_pose, m.jacobian_derivative_kernel(q, qd, index, workspace_));
    m.write_floating_jacobian_derivative(base, qd, target_pose, workspace_.jacobian, workspace_.jacobian_derivative,
                                         out);
    return {};
}

}  // namespace vormek
