// Damped least squares (Levenberg–Marquardt) on the 6-row geometric Jacobian of one link of a
// fixed-base robot: Δq = Jᵀ·(J·Jᵀ + λ²·I)⁻¹·e, the step's norm bounded, until both the
// translation and the rotation error are within tolerance.

#include <algorithm>
#include <cmath>

#include "../../robot.hpp"
#include "chain.hpp"
#include "columns.hpp"

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
    const auto path = ancestor_path(m, link, ws.ancestor_path);
    // columns off the path stay zero for the whole solve
    std::ranges::fill(J, 0.0);
    const double lambda2 = options.damping * options.damping;

    for (std::uint64_t k = 0;; ++k) {
        // evaluate: one walk gives the link's pose relative to the root and its Jacobian at q
        const Pose current = compose_path(m, q, path, Pose::identity(), [&](std::size_t j, const Pose& X) {
            if (const std::size_t i = m.joint_dofs[j]; i != Model::no_dof) start_joint_column(m.joint_kinematics[j], X, &J[6 * i]);
        });
        finish_joint_columns(m, path, current.translation, J, 0);
        const Vector3d e_t = target.translation - current.translation;
        const Vector3d e_r = rotation_error(target.rotation, current.rotation);
        const double translation_error = e_t.norm(), rotation_error_norm = e_r.norm();

        if (translation_error <= options.translation_tolerance && rotation_error_norm <= options.rotation_tolerance) {
            VORMEK_CHECK(m.validate_inverse_kinematics_solution(q));
            std::ranges::copy(q, out.begin());
            return {};
        }
        if (k == options.max_iterations)
            return fail(errors::IkNotConverged{k, translation_error, rotation_error_norm});

        // A = λ²·I + Σ J_k·J_kᵀ over the path columns (lower triangle), then A·y = e
        Vector6d y = stack(e_r, e_t);
        Matrix6d A = lambda2 * Matrix6d::Identity();
        for (const std::size_t j : path)
            if (const std::size_t i = m.joint_dofs[j]; i != Model::no_dof) {
                const double* Ji = &J[6 * i];
                for (int c = 0; c < 6; ++c)
                    for (int r = c; r < 6; ++r) A(r, c) += Ji[r] * Ji[c];
            }
        if (!ldlt_solve(A, y)) return fail(errors::IkNumericalFailure{k + 1});

        // Δq_i = J_iᵀ·y for the path joints, scaled as a whole down to max_step_norm
        double norm2 = 0;
        for (const std::size_t j : path)
            if (const std::size_t i = m.joint_dofs[j]; i != Model::no_dof) {
                dq[i] = Eigen::Map<const Vector6d>(&J[6 * i]).dot(y);
                norm2 += dq[i] * dq[i];
            }
        const double norm = std::sqrt(norm2);
        if (!std::isfinite(norm)) return fail(errors::IkNumericalFailure{k + 1});
        const double s = norm > options.max_step_norm ? options.max_step_norm / norm : 1.0;
        bool finite = true;
        for (const std::size_t j : path)
            if (const std::size_t i = m.joint_dofs[j]; i != Model::no_dof) {
                q[i] += s * dq[i];
                finite &= std::isfinite(q[i]);
            }
        // the next evaluation would refuse q as its input
        if (!finite) return fail(errors::NonFiniteInput{"q"});
    }
}

}  // namespace vormek
