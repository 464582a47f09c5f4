// Damped least squares (Levenberg–Marquardt) on the 6-row geometric Jacobian of one link of a
// fixed-base robot: Δq = Jᵀ·(J·Jᵀ + λ²·I)⁻¹·e, the step's norm bounded, until both the
// translation and the rotation error are within tolerance.

#include <algorithm>
#include <cmath>
#include <numbers>

#include "../../robot.hpp"
#include "../../sin_cos.hpp"
#include "../checks.hpp"
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
// pivot fails the test too. Each pivot is inverted once, so the rest is multiplications but
// for one division that shortens the path from one pivot to the next.
// Unrolled whole, so that every index is known and the values stay in registers, and written
// for its critical path, from one pivot to the next: each column is also kept
// unscaled, U(r, c) = L(r, c)·d_c, so only the last term of the next pivot,
// U(c + 1, c)²/d_c, waits for the pivot; L⁻¹·e is reduced beside the factorisation; and every
// sum takes the term that is ready last, last.
bool ldlt_solve(Matrix6d& A, Vector6d& e) {
    double U[6][6], d[6], inv_d[6], z[6];
#pragma GCC unroll 6
    for (int c = 0; c < 6; ++c) {
        // d_c = A(c, c) − Σ_k L(c, k)²·d_k = A(c, c) − Σ_k U(c, k)²/d_k; the last term divides
        // by the pivot before instead of multiplying by its inverse, which is one multiplication
        // later
        double pivot = A(c, c);
        for (int k = 0; k < c; ++k) pivot -= k + 1 < c ? U[c][k] * U[c][k] * inv_d[k] : U[c][k] * U[c][k] / d[k];
        if (!(pivot > 0)) return false;
        d[c] = pivot;
        inv_d[c] = 1.0 / pivot;
        // L(r, c)·d_c = A(r, c) − Σ_k L(r, k)·d_k·L(c, k)
        for (int r = c + 1; r < 6; ++r) {
            double s = A(r, c);
            for (int k = 0; k < c; ++k) s -= A(r, k) * U[c][k];
            U[r][c] = s;
            A(r, c) = s * inv_d[c];
        }
        // z = D⁻¹·L⁻¹·e, where L(c, k)·(L⁻¹·e)_k = U(c, k)·z_k; the last, which the back
        // substitution starts from, by a division too
        double x = e[c];
        for (int k = 0; k < c; ++k) x -= U[c][k] * z[k];
        z[c] = c == 5 ? x / pivot : x * inv_d[c];
    }
    // Lᵀ·y = z
#pragma GCC unroll 6
    for (int r = 5; r >= 0; --r) {
        double y = z[r];
        for (int k = 5; k > r; --k) y -= A(k, r) * e[k];
        e[r] = y;
    }
    return true;
}

// The lower triangle of A = λ²·I + Σ K_i·K_iᵀ over the path columns i, where K_i is J_i with its
// linear rows first, K_i = (J_i[3..5], J_i[0..2]): the solve reads the rows of e in order, and the
// rotation error, whose atan is the last value of an iterate to be ready, then enters it last.
// The 21 sums stay in registers for the whole path, most as pairs of rows of a column of A
// (0–1, 2–3, 4–5 of column 0; 1–2, 3–4 of column 1; ...), the three left over alone; each is
// summed in path order as entry-wise code would. The pairs on the diagonal start at `diagonal`,
// (λ², 0), built once by the caller: built here, it is two 8-byte stores that the first 16-byte
// read of the sums waits on, every iteration.
void lower_gram(std::span<const double> J, std::span<const std::size_t> path, const Eigen::Vector2d& diagonal,
                Matrix6d& A) {
    using Pair = Eigen::Vector2d;
    Pair a00 = diagonal, a20(0, 0), a40(0, 0), a11 = diagonal, a31(0, 0), a22 = diagonal, a42(0, 0), a33 = diagonal,
         a44 = diagonal;
    double a51 = 0, a53 = 0, a55 = diagonal[0];
    for (const std::size_t i : path) {
        const double* Ji = &J[6 * i];
        // the linear rows were just written one by one (finish_body_columns), and a 16-byte load
        // across two such stores waits for both to retire: pairs holding them are built in
        // registers, the angular rows (written during the walk) are loaded as pairs
        const double K0 = Ji[3], K1 = Ji[4], K2 = Ji[5], K3 = Ji[0], K4 = Ji[1], K5 = Ji[2];
        const Pair k01(K0, K1), k12(K1, K2), k23(K2, K3), k34 = Eigen::Map<const Pair>(Ji),
            k45 = Eigen::Map<const Pair>(Ji + 1);
        a00 += k01 * K0, a20 += k23 * K0, a40 += k45 * K0;
        a11 += k12 * K1, a31 += k34 * K1, a51 += K5 * K1;
        a22 += k23 * K2, a42 += k45 * K2;
        a33 += k34 * K3, a53 += K5 * K3;
        a44 += k45 * K4;
        a55 += K5 * K5;
    }
    const auto put = [&](int r, int c, const Pair& a) { Eigen::Map<Pair>(&A(r, c)) = a; };
    put(0, 0, a00), put(2, 0, a20), put(4, 0, a40);
    put(1, 1, a11), put(3, 1, a31), A(5, 1) = a51;
    put(2, 2, a22), put(4, 2, a42);
    put(3, 3, a33), A(5, 3) = a53;
    put(4, 4, a44);
    A(5, 5) = a55;
}

// The rotation error log(G·Rᵀ) of a body at R against the goal G of its rotation, from the
// matrices the walk holds. R_e = G·Rᵀ turns by θ about u, so R_e − R_eᵀ = 2·sin θ·[u]× gives
// d = 2·sin θ·u and tr R_e = 1 + 2·cos θ, so tan(θ/2) = sin θ/(1 + cos θ) = |d|/(1 + tr R_e) and
// the error is θ·u = d·2·atan(tan(θ/2))/|d|: no quaternion, and an atan, which costs half of an
// atan2. The axis is lost where sin θ vanishes near θ = π, so from θ ≥ 120° (tr R_e ≤ 0) the
// quaternion (w, v) of R_e takes over, in Shepperd's way from the largest diagonal entry
// R_e(i, i), which makes v_i the largest part of it: scaled by 4·v_i > 0 it is
// w = d_i, v_i = 1 + R_e(i, i) − R_e(j, j) − R_e(k, k), v_j = R_e(i, j) + R_e(j, i),
// v_k = R_e(i, k) + R_e(k, i), with no root and no division, and the error is the short way
// round, v/|v|·2·atan2(|v|, |w|) with v's sign turned where w < 0.
// Kept in scalars, here and by the caller: a Vector3d of them would be stored entry by entry and
// its norm would read it back as a pair, waiting on those stores.
// `angle` is the error's norm, θ, known before the error is.
struct RotationError {
    double x, y, z, angle;
};

RotationError body_rotation_error(const Matrix3d& G, const Matrix3d& R) {
    const auto R_e = [&](int r, int c) { return G(r, 0) * R(c, 0) + G(r, 1) * R(c, 1) + G(r, 2) * R(c, 2); };
    const double e00 = R_e(0, 0), e01 = R_e(0, 1), e02 = R_e(0, 2), e10 = R_e(1, 0), e11 = R_e(1, 1),
                 e12 = R_e(1, 2), e20 = R_e(2, 0), e21 = R_e(2, 1), e22 = R_e(2, 2);
    const double trace = e00 + e11 + e22, d0 = e21 - e12, d1 = e02 - e20, d2 = e10 - e01;
    if (!(trace > 0)) {
        double w, v0, v1, v2;
        if (e00 >= e11 && e00 >= e22)
            w = d0, v0 = 1 + e00 - e11 - e22, v1 = e01 + e10, v2 = e02 + e20;
        else if (e11 >= e22)
            w = d1, v0 = e01 + e10, v1 = 1 + e11 - e22 - e00, v2 = e12 + e21;
        else
            w = d2, v0 = e02 + e20, v1 = e12 + e21, v2 = 1 + e22 - e00 - e11;
        const double norm = std::sqrt(v0 * v0 + v1 * v1 + v2 * v2);
        if (!(norm > 0)) return {0.0, 0.0, 0.0, 0.0};
        // half the angle is atan2(|v|, |w|) = π/2 − atan(|w|/|v|), as |w| ≤ |v| past 90°
        const double half = std::numbers::pi / 2 - std::atan(std::abs(w) / norm);
        const double turn = 2 * half / norm, scale = w < 0 ? -turn : turn;
        return {v0 * scale, v1 * scale, v2 * scale, 2 * half};
    }
    const double norm = std::sqrt(d0 * d0 + d1 * d1 + d2 * d2);
    if (!(norm > 0)) return {0.0, 0.0, 0.0, 0.0};
    const double angle = 2 * std::atan(norm / (1 + trace)), scale = angle / norm;
    return {d0 * scale, d1 * scale, d2 * scale, angle};
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
    // the goal in root coordinates: base⁻¹ ∘ desired = (q_b* ⊗ q_d, R_bᵀ·(t_d − t_b)), one rotation
    const Quaterniond base_conjugate = base_frame_.rotation.conjugate();
    const Pose target{multiply(base_conjugate, desired.rotation),
                      rotate(base_conjugate, desired.translation - base_frame_.translation)};
    VORMEK_CHECK(check_length(std::span(ws.ik_q), n, "IK joint workspace"));
    VORMEK_CHECK(check_length(std::span(ws.ik_step), n, "IK step workspace"));
    VORMEK_CHECK(check_options(options));
    if (!target.all_finite()) return fail(errors::NonFiniteIkInput{"target frame"});

    // what the evaluation of an iterate checks, checked once: q keeps n values, the
    // workspaces their sizes, and a step that overflows q is caught where q changes
    VORMEK_CHECK(check_length(std::span(ws.jacobian), 6 * n, "jacobian output"));
    const std::span<double> q(ws.ik_q), dq(ws.ik_step), J(ws.jacobian);
    std::ranges::copy(initial_q, q.begin());
    // only the path's columns of J are written and read
    const auto path = body_path(m, m.link_bodies[link], ws.ancestor_path);
    const double lambda2 = options.damping * options.damping;
    const Eigen::Vector2d gram_diagonal(lambda2, 0);
    // the link sits at P in its body B, so link = B ∘ P and the rotation error
    // q_t ⊗ (q_B ⊗ q_P)* = (q_t ⊗ q_P*) ⊗ q_B*: the body's rotation is compared with a fixed goal
    const Pose& P = m.link_placements[link];
    const Quaterniond body_goal = multiply(target.rotation, P.rotation.conjugate());
    const Matrix3d G = body_goal.toRotationMatrix();
    // every walk starts from the root's own pose, written once here: the walk reads its start
    // at once, and a pose rewritten just before would hold that read up on store forwarding
    const Transform root;
    Transform X[2];

    for (std::uint64_t k = 0;; ++k) {
        // evaluate: one walk over the bodies, in rotation matrices (the joint axis in root axes is
        // then a column of the rotation), gives the link's pose relative to the root and starts
        // its Jacobian at q
        const Transform& B = walk_bodies(m, q, path, root, X, [&](std::size_t i, const Transform&, const BodyRows& T) {
            start_body_column(m.body_joints[i], T, &J[6 * i]);
        });
        const Vector3d p_link = B.p + B.R * P.translation;
        const Vector3d e_t = target.translation - p_link;
        const RotationError e_r = body_rotation_error(G, B.R);
        const double translation_error = e_t.norm();
        const double rotation_error_norm = e_r.angle;

        if (translation_error <= options.translation_tolerance && rotation_error_norm <= options.rotation_tolerance) {
            VORMEK_CHECK(m.validate_inverse_kinematics_solution(q));
            std::ranges::copy(q, out.begin());
            return {};
        }
        if (k == options.max_iterations)
            return fail(errors::IkNotConverged{k, translation_error, rotation_error_norm});

        // the moment arms need the link origin, and only an iterate that takes a step needs them
        finish_body_columns(m, path, p_link.data(), J);

        // A·y = e in the row order of K
        Vector6d y;
        y << e_t, e_r.x, e_r.y, e_r.z;
        Matrix6d A;
        lower_gram(J, path, gram_diagonal, A);
        if (!ldlt_solve(A, y)) return fail(errors::IkNumericalFailure{k + 1});

        // Δq_i = K_iᵀ·y for the path joints, scaled as a whole down to max_step_norm. Summed
        // from y_5 to y_0, the order the back substitution delivers them in, so that the last
        // term waits for the last value; the squares go to two sums, which halves the chain of
        // additions between Δq and its norm.
        double norm2[2] = {0, 0};
        for (std::size_t k = 0; k < path.size(); ++k) {
            // entry by entry: the solve wrote y so, and 16-byte loads of it would wait on those stores
            const std::size_t i = path[k];
            const double* Ji = &J[6 * i];
            dq[i] = Ji[2] * y[5] + Ji[1] * y[4] + Ji[0] * y[3] + Ji[5] * y[2] + Ji[4] * y[1] + Ji[3] * y[0];
            norm2[k & 1] += dq[i] * dq[i];
        }
        const double norm = std::sqrt(norm2[0] + norm2[1]);
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
