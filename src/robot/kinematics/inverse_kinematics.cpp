// Damped least squares (Levenberg–Marquardt) on the 6-row geometric Jacobian of one link of a
// fixed-base robot: Δq = Jᵀ·(J·Jᵀ + λ²·I)⁻¹·e, the step's norm bounded, until both the
// translation and the rotation error are within tolerance.

#include <algorithm>
#include <cmath>

#include "../../robot.hpp"
#include "../../sin_cos.hpp"
#include "chain.hpp"
#include "checks.hpp"

namespace vormek {

namespace {

Result<void> check_options(const IkOptions& o) {
    if (o.max_iterations == 0) return fail(errors::InvalidIkOptions{"max_iterations", "must be greater than zero"});
    const std::pair<const char*, double> reals[] = {{"translation_tolerance", o.translation_tolerance},
                                                    {"rotation_tolerance", o.rotation_tolerance},
                                                    {"damping", o.damping},
                                                    {"max_step_norm", o.max_step_norm}};
    for (const auto& [name, value] : reals)
        if (!(std::isfinite(value) && value > 0))
            return fail(errors::InvalidIkOptions{name, "must be finite and greater than zero"});
    return {};
}

// Solves A·y = e in place of e by the square-root-free Cholesky factorisation A = L·D·Lᵀ of the
// symmetric 6×6 A (unit L below the diagonal, read and written in the lower triangle only).
// False when A is not positive definite, which is when a pivot d_c is not positive; a NaN
// pivot fails the test too. Each pivot is inverted once, so the rest is multiplications.
bool ldlt_solve(Matrix6d& A, Vector6d& e) {
    double d[6], inv_d[6];
    for (int c = 0; c < 6; ++c) {
        // w_k = L(c, k)·d_k, shared by the pivot and the column below it
        double w[6];
        double pivot = A(c, c);
        for (int k = 0; k < c; ++k) {
            w[k] = A(c, k) * d[k];
            pivot -= w[k] * A(c, k);
        }
        if (!(pivot > 0)) return false;
        d[c] = pivot;
        inv_d[c] = 1.0 / pivot;
        for (int r = c + 1; r < 6; ++r) {
            double s = A(r, c);
            for (int k = 0; k < c; ++k) s -= A(r, k) * w[k];
            A(r, c) = s * inv_d[c];
        }
    }
    // L·x = e, D·z = x, Lᵀ·y = z
    for (int r = 1; r < 6; ++r)
        for (int k = 0; k < r; ++k) e[r] -= A(r, k) * e[k];
    for (int r = 0; r < 6; ++r) e[r] *= inv_d[r];
    for (int r = 4; r >= 0; --r)
        for (int k = r + 1; k < 6; ++k) e[r] -= A(k, r) * e[k];
    return true;
}

// The target body's pose relative to the root, in rotation matrices: a turn about a coordinate
// axis touches two columns where a quaternion composition costs a full product, and the joint
// axis in root axes is then a column of the rotation. Each column of `J` is started as
// [a; p_j] (revolute, p_j on the axis) or [0; a] (prismatic) for finish_columns. The sines of a
// block of joints are evaluated before the block is composed: they do not depend on the chain.
Transform walk(const Model& m, std::span<const double> q, std::span<const std::size_t> path, std::span<double> J) {
    constexpr std::size_t block = 8;
    double s[block], c[block];
    Transform X;
    for (std::size_t end = path.size(); end > 0;) {
        const std::size_t begin = end > block ? end - block : 0;
        for (std::size_t k = begin; k < end; ++k) {
            const auto [sin_q, cos_q] = sin_cos(q[path[k]]);
            s[k - begin] = sin_q;
            c[k - begin] = cos_q;
        }
        for (std::size_t k = end; k-- > begin;) {
            const std::size_t i = path[k];
            const BodyJoint& joint = m.body_joints[i];
            X = joint.placed(X, q[i], s[k - begin], c[k - begin]);
            const Vector3d a = joint.coordinate >= 0 ? Vector3d(joint.axis[joint.coordinate] * X.R.col(joint.coordinate))
                                                     : Vector3d(X.R * joint.axis);
            double* column = &J[6 * i];
            if (joint.kind == JointKind::Revolute) {
                column[0] = a.x(), column[1] = a.y(), column[2] = a.z();
                column[3] = X.p.x(), column[4] = X.p.y(), column[5] = X.p.z();
            } else {
                column[0] = column[1] = column[2] = 0.0;
                column[3] = a.x(), column[4] = a.y(), column[5] = a.z();
            }
        }
        end = begin;
    }
    return X;
}

// Revolute columns become [a; a × (p_t − p_j)]; prismatic ones are already final.
void finish_columns(const Model& m, std::span<const std::size_t> path, const Vector3d& p_t, std::span<double> J) {
    for (const std::size_t i : path) {
        if (m.body_joints[i].kind != JointKind::Revolute) continue;
        double* column = &J[6 * i];
        const double rx = p_t.x() - column[3], ry = p_t.y() - column[4], rz = p_t.z() - column[5];
        column[3] = column[1] * rz - column[2] * ry;
        column[4] = column[2] * rx - column[0] * rz;
        column[5] = column[0] * ry - column[1] * rx;
    }
}

}  // namespace

Result<void> Model::validate_inverse_kinematics_solution(std::span<const double> q) const {
    constexpr double slack = 1e-12;
    for (std::size_t i = 0; i < dof_count(); ++i) {
        const std::size_t j = dof_joints[i];
        const Joint& joint = joints[j];
        if (q[i] > joint.upper + slack || q[i] < joint.lower - slack)
            return fail(errors::IkJointLimitViolation{j, joint.name, q[i], joint.lower, joint.upper});
    }
    return {};
}

Result<void> Robot::inverse_kinematics(std::span<const double> initial_q, LinkId target_link, const Pose& desired,
                                       const IkOptions& options, std::span<double> out) {
    const Model& m = *model_;
    const std::size_t n = m.dof_count();
    Workspace& ws = workspace_;
    VORMEK_CHECK(check_joint_vector(initial_q, n, "initial_q"));
    VORMEK_CHECK(check_length(out, n, "inverse kinematics output"));
    VORMEK_TRY(link, m.check_link(target_link));
    // the goal in root coordinates: base⁻¹ ∘ desired
    const Pose target = compose(inverse(base_frame_), desired);
    VORMEK_CHECK(check_length(std::span(ws.ik_q), n, "IK joint workspace"));
    VORMEK_CHECK(check_length(std::span(ws.ik_step), n, "IK step workspace"));
    VORMEK_CHECK(check_options(options));
    if (!target.all_finite()) return fail(errors::NonFiniteIkInput{"target frame"});

    // what the evaluation of an iterate checks, checked once: q keeps n values, the
    // workspaces their sizes, and a step that overflows q is caught where q changes
    VORMEK_CHECK(check_length(std::span(ws.jacobian), 6 * n, "jacobian output"));
    const std::span<double> q(ws.ik_q), dq(ws.ik_step), J(ws.jacobian);
    std::ranges::copy(initial_q, q.begin());
    const auto path = body_path(m, m.link_bodies[link], ws.ancestor_path);
    // columns off the path stay zero for the whole solve
    std::ranges::fill(J, 0.0);
    const double lambda2 = options.damping * options.damping;
    // the link sits at P in its body B, so link = B ∘ P and the rotation error
    // q_t ⊗ (q_B ⊗ q_P)* = (q_t ⊗ q_P*) ⊗ q_B*: the body's rotation is compared with a fixed goal
    const Pose& P = m.link_placements[link];
    const Quaterniond body_goal = multiply(target.rotation, P.rotation.conjugate());

    for (std::uint64_t k = 0;; ++k) {
        // evaluate: one walk gives the link's pose relative to the root and starts its Jacobian at q
        const Transform B = walk(m, q, path, J);
        const Vector3d p_link = B.p + B.R * P.translation;
        const Vector3d e_t = target.translation - p_link;
        const Vector3d e_r = rotation_error(body_goal, Quaterniond(B.R));
        const double translation_error = e_t.norm(), rotation_error_norm = e_r.norm();

        if (translation_error <= options.translation_tolerance && rotation_error_norm <= options.rotation_tolerance) {
            VORMEK_CHECK(m.validate_inverse_kinematics_solution(q));
            std::ranges::copy(q, out.begin());
            return {};
        }
        if (k == options.max_iterations)
            return fail(errors::IkNotConverged{k, translation_error, rotation_error_norm});

        // the moment arms need the link origin, and only an iterate that takes a step needs them
        finish_columns(m, path, p_link, J);

        // A = λ²·I + Σ J_i·J_iᵀ over the path columns (lower triangle), then A·y = e
        Vector6d y = stack(e_r, e_t);
        Matrix6d A = lambda2 * Matrix6d::Identity();
        for (const std::size_t i : path) {
            const double* Ji = &J[6 * i];
            for (int c = 0; c < 6; ++c)
                for (int r = c; r < 6; ++r) A(r, c) += Ji[r] * Ji[c];
        }
        if (!ldlt_solve(A, y)) return fail(errors::IkNumericalFailure{k + 1});

        // Δq_i = J_iᵀ·y for the path joints, scaled as a whole down to max_step_norm
        double norm2 = 0;
        for (const std::size_t i : path) {
            dq[i] = Eigen::Map<const Vector6d>(&J[6 * i]).dot(y);
            norm2 += dq[i] * dq[i];
        }
        const double norm = std::sqrt(norm2);
        if (!std::isfinite(norm)) return fail(errors::IkNumericalFailure{k + 1});
        const double s = norm > options.max_step_norm ? options.max_step_norm / norm : 1.0;
        bool finite = true;
        for (const std::size_t i : path) {
            q[i] += s * dq[i];
            finite &= std::isfinite(q[i]);
        }
        // the next evaluation would refuse q as its input
        if (!finite) return fail(errors::NonFiniteInput{"q"});
    }
}

}  // namespace vormek
