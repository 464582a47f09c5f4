// The inverse of the mass matrix, articulated-body style, and its application to a block of
// right-hand sides. M·q̈ = τ with no velocity and no gravity is what the articulated-body
// algorithm solves; its bias terms then come from τ alone, and every step is linear in τ, so
// it runs on all columns of τ = B at once. Leaf to root, joint i leaves
//     u_i = B_i − S_iᵀ·P_i  (a row over the columns),   row i ← u_i / D_i,
//     P_λ(i) += P_i + U_i·(u_i / D_i)
// (P the bias forces, a 6 × n block per body); root to leaf, with A the accelerations,
//     row i ← row i − U_iᵀ·A_λ(i) / D_i,   A_i = A_λ(i) + S_i·(row i).
// For B = 1 the block of body i is non-zero only in the columns of its subtree, all after i,
// and row i needs A_λ(i) in the columns from i on: the upper triangle alone is computed.

#include <algorithm>
#include <cmath>

#include "../../robot.hpp"
#include "../kinematics/checks.hpp"
#include "articulated.hpp"
#include "spatial.hpp"

namespace vormek {

namespace {

inline double dot6(const double* x, const double* y) {
    return x[0] * y[0] + x[1] * y[1] + x[2] * y[2] + x[3] * y[3] + x[4] * y[4] + x[5] * y[5];
}

// Entry (r, c) of a symmetric 6×6 matrix kept in its upper triangle.
inline double upper6(const Matrix6d& A, int r, int c) { return r <= c ? A(r, c) : A(c, r); }

}  // namespace

void articulated_solve(const Model& model, std::span<const Vector6d> S, std::span<const Vector6d> U,
                       std::span<const double> D, Workspace& ws, std::span<double> B, double scale) {
    const std::size_t n = model.dof_count(), width = 6 * n;
    const std::vector<std::size_t>& parents = model.body_parents;
    double* block = ws.articulated_block.data();
    std::span<unsigned char> started = ws.block_started;
    if (B.size() != n * n || ws.articulated_block.size() != width * n || started.size() < n)
        panic("articulated solve does not fit the model");
    std::fill_n(started.begin(), n, 0);

    // leaf to root: each row from its bias forces, which then join the parent's; the first
    // child to arrive writes the parent's block, the others add to it
    for (std::size_t i = n; i-- > 0;) {
        double* row = B.data() + i * n;
        const double* P = block + i * width;
        const double* Si = S[i].data();
        const double inverse_D = 1.0 / D[i];
        if (started[i])
            for (std::size_t j = 0; j < n; ++j) row[j] = (scale * row[j] - dot6(Si, P + 6 * j)) * inverse_D;
        else
            for (std::size_t j = 0; j < n; ++j) row[j] = scale * row[j] * inverse_D;
        const std::size_t parent = parents[i];
        if (parent == 0) continue;
        double* Pp = block + (parent - 1) * width;
        const double* Ui = U[i].data();
        const bool own = started[i], first = !started[parent - 1];
        started[parent - 1] = 1;
        for (std::size_t j = 0; j < n; ++j)
            for (int r = 0; r < 6; ++r) {
                const double x = (own ? P[6 * j + r] : 0.0) + Ui[r] * row[j];
                Pp[6 * j + r] = first ? x : Pp[6 * j + r] + x;
            }
    }

    // root to leaf: what the parent's acceleration takes from each row; the block now holds
    // the accelerations (a child of the fixed root starts from rest)
    for (std::size_t i = 0; i < n; ++i) {
        double* row = B.data() + i * n;
        double* Ai = block + i * width;
        const double* Si = S[i].data();
        const std::size_t parent = parents[i];
        if (parent == 0) {
            for (std::size_t j = 0; j < n; ++j)
                for (int r = 0; r < 6; ++r) Ai[6 * j + r] = Si[r] * row[j];
            continue;
        }
        const double* Ap = block + (parent - 1) * width;
        const double* Ui = U[i].data();
        const double inverse_D = 1.0 / D[i];
        for (std::size_t j = 0; j < n; ++j) {
            row[j] -= dot6(Ui, Ap + 6 * j) * inverse_D;
            for (int r = 0; r < 6; ++r) Ai[6 * j + r] = Ap[6 * j + r] + Si[r] * row[j];
        }
    }
}

void articulated_inverse(const Model& model, std::span<const Vector6d> S, std::span<const Vector6d> U,
                         std::span<const double> D, Workspace& ws, std::span<double> out) {
    const std::size_t n = model.dof_count(), width = 6 * n;
    const std::vector<std::size_t>& parents = model.body_parents;
    double* block = ws.articulated_block.data();
    std::span<unsigned char> started = ws.block_started;
    if (out.size() != n * n || ws.articulated_block.size() != width * n || started.size() < n)
        panic("articulated inverse does not fit the model");
    std::fill_n(started.begin(), n, 0);

    // leaf to root over the columns j ≥ i: row i is (e_i − S_iᵀ·P_i) / D_i. A parent's block
    // is read from the column after it: its first child clears the columns before its own
    for (std::size_t i = n; i-- > 0;) {
        double* row = out.data() + i * n;
        const double* P = block + i * width;
        const double* Si = S[i].data();
        const double inverse_D = 1.0 / D[i];
        row[i] = inverse_D;
        if (started[i])
            for (std::size_t j = i + 1; j < n; ++j) row[j] = -dot6(Si, P + 6 * j) * inverse_D;
        else
            for (std::size_t j = i + 1; j < n; ++j) row[j] = 0.0;
        const std::size_t parent = parents[i];
        if (parent == 0) continue;
        double* Pp = block + (parent - 1) * width;
        const double* Ui = U[i].data();
        if (!started[parent - 1]) {
            std::fill(Pp + 6 * parent, Pp + 6 * i, 0.0);
            for (int r = 0; r < 6; ++r) Pp[6 * i + r] = Ui[r] * row[i];
            for (std::size_t j = i + 1; j < n; ++j)
                for (int r = 0; r < 6; ++r) Pp[6 * j + r] = (started[i] ? P[6 * j + r] : 0.0) + Ui[r] * row[j];
            started[parent - 1] = 1;
        } else {
            for (int r = 0; r < 6; ++r) Pp[6 * i + r] += Ui[r] * row[i];
            if (started[i])
                for (std::size_t j = i + 1; j < n; ++j)
                    for (int r = 0; r < 6; ++r) Pp[6 * j + r] += P[6 * j + r] + Ui[r] * row[j];
            else
                for (std::size_t j = i + 1; j < n; ++j)
                    for (int r = 0; r < 6; ++r) Pp[6 * j + r] += Ui[r] * row[j];
        }
    }

    // root to leaf over the same columns, each value mirrored below the diagonal
    for (std::size_t i = 0; i < n; ++i) {
        double* row = out.data() + i * n;
        double* Ai = block + i * width;
        const double* Si = S[i].data();
        const std::size_t parent = parents[i];
        if (parent != 0) {
            const double* Ap = block + (parent - 1) * width;
            const double* Ui = U[i].data();
            const double inverse_D = 1.0 / D[i];
            for (std::size_t j = i; j < n; ++j) {
                row[j] -= dot6(Ui, Ap + 6 * j) * inverse_D;
                for (int r = 0; r < 6; ++r) Ai[6 * j + r] = Ap[6 * j + r] + Si[r] * row[j];
            }
        } else {
            for (std::size_t j = i; j < n; ++j)
                for (int r = 0; r < 6; ++r) Ai[6 * j + r] = Si[r] * row[j];
        }
        for (std::size_t j = i + 1; j < n; ++j) out[j * n + i] = row[j];
    }
}

Result<void> Model::mass_matrix_inverse(bool floating, const Quaterniond& base_rotation, std::span<const double> q,
                                        Workspace& ws, std::span<double> out) const {
    const std::size_t J = joint_count(), n = dof_count();
    VORMEK_CHECK(check_joint_vector(q, n, "q"));
    VORMEK_CHECK(check_length(out, n * n, "mass matrix inverse output"));
    if (floating) panic("floating-base inverse goes through its own entry");
    std::span<Transform> T = ws.transforms;
    std::span<Vector6d> S = ws.motion_columns, U = ws.U;
    std::span<Matrix6d> IA = ws.IA;
    std::span<double> D = ws.D;
    if (T.size() != J || S.size() != J || U.size() != J || IA.size() != J || D.size() != J)
        panic("mass matrix inverse workspace does not fit the model");
    const Transform root = reference_root(false, base_rotation, body_joints);

    // root to leaf: poses, motion columns and each body's own spatial inertia (upper
    // triangle of [Ī, [h]×; [h]×ᵀ, m·1])
    auto sin_cos_q = sin_cos_blocks(q);
    for (std::size_t k = 0; k < n; ++k) {
        const BodyJoint& joint = body_joints[k];
        const std::size_t parent = body_parents[k];
        joint.place(parent == 0 ? root : T[parent - 1], q[k], sin_cos_q[k], T[k]);
        motion_column(joint, T[k], S[k].data());
        Matrix6d& I = IA[k];
        double m, h[3];
        place_inertia(body_inertials[k + 1], T[k].R, T[k].p, m, h, I);
        for (int r = 0; r < 3; ++r)
            for (int c = 3; c < 6; ++c) I(r, c) = 0.0;
        I(0, 4) = -h[2], I(0, 5) = h[1], I(1, 3) = h[2], I(1, 5) = -h[0], I(2, 3) = -h[1], I(2, 4) = h[0];
        for (int r = 3; r < 6; ++r)
            for (int c = r; c < 6; ++c) I(r, c) = r == c ? m : 0.0;
    }

    // leaf to root: articulate each subtree through its joint into its parent
    for (std::size_t k = n; k-- > 0;) {
        const Matrix6d& I = IA[k];
        const double* Sk = S[k].data();
        double Uk[6];
        for (int r = 0; r < 6; ++r)
            Uk[r] = upper6(I, r, 0) * Sk[0] + upper6(I, r, 1) * Sk[1] + upper6(I, r, 2) * Sk[2] +
                    upper6(I, r, 3) * Sk[3] + upper6(I, r, 4) * Sk[4] + upper6(I, r, 5) * Sk[5];
        const double Dk = dot6(Sk, Uk);
        if (!(std::isfinite(Dk) && Dk > 0)) return fail(errors::ForwardDynamicsSingularJointInertia{k});
        D[k] = Dk;
        for (int r = 0; r < 6; ++r) U[k][r] = Uk[r];
        const std::size_t parent = body_parents[k];
        if (parent == 0) continue;
        Matrix6d& Ip = IA[parent - 1];
        for (int c = 0; c < 6; ++c)
            for (int r = 0; r <= c; ++r) Ip(r, c) += I(r, c) - Uk[r] * Uk[c] / Dk;
    }

    articulated_inverse(*this, S, U, D, ws, out);
    return {};
}

Result<void> Robot::mass_matrix_inverse(std::span<const double> q, std::span<double> out) {
    return model_->mass_matrix_inverse(false, base_frame_.rotation, q, workspace_, out);
}

}  // namespace vormek
