// Derivatives of recursive Newton-Euler with respect to q and q̇, from the recursion itself.
//
// Everything is in the one reference frame of the mass matrix and forward dynamics, fixed in
// the world (or the base) while q changes: body i has motion column S_i, velocity v_i,
// acceleration a_i (gravity included, as an upward acceleration of the root), spatial inertia
// I_i, load L_i; λ(j) is j's parent and i ⪰ j says that i lies in the subtree of j.
//
// (1) Turning joint j turns its whole subtree about S_j: for i ⪰ j
//         ∂S_i/∂q_j = S_j × S_i,   ∂I_i/∂q_j = S_j ×* I_i − I_i·(S_j ×),   ∂L_i/∂q_j = S_j ×* L_i
//     (a load is fixed in its link, so it turns too).
// (2) Velocities and accelerations also hold what comes from above j, which does not turn.
//     With Ṡ_j = v_j × S_j = v_λ(j) × S_j and the Jacobi identity on v_k × S_k, for i ⪰ j
//         ∂v_i/∂q_j = S_j × v_i + V_j,              V_j = v_λ(j) × S_j
//         ∂a_i/∂q_j = S_j × a_i + A_j + V_j × v_i,  A_j = a_λ(j) × S_j + v_λ(j) × V_j
//         ∂v_i/∂q̇_j = S_j,   ∂a_i/∂q̇_j = 2·V_j + S_j × v_i.
// (3) The body force f_i = I_i·a_i + v_i ×* I_i·v_i + L_i therefore turns, plus a remainder
//         ∂f_i/∂q_j = S_j ×* f_i + I_i·A_j + İ_i·V_j,   ∂f_i/∂q̇_j = I_i·2V_j + İ_i·S_j,
//     İ_i·x = v_i ×* I_i·x − I_i·(v_i × x) + x ×* μ_i with the momentum μ_i = I_i·v_i. Both
//     I and İ enter linearly, so a subtree's are sums: I^c_k = Σ I_i, İ^c_k = Σ İ_i.
// (4) τ_k = S_k · F_k, F_k the summed f of the subtree of k. A turn keeps a scalar product,
//     (S_j × S_k)·F + S_k·(S_j ×* F) = 0, so what turns with the subtree drops out below j:
//         k ⪯ j: ∂τ_k/∂q_j = S_k · (S_j ×* F_j + I^c_j·A_j + İ^c_j·V_j)
//                ∂τ_k/∂q̇_j = S_k · (I^c_j·2V_j + İ^c_j·S_j)
//         k ≻ j: ∂τ_k/∂q_j = (I^c_k·S_k)·A_j + (İ^cᵀ_k·S_k)·V_j
//                ∂τ_k/∂q̇_j = (I^c_k·S_k)·2V_j + (İ^cᵀ_k·S_k)·S_j
//     and every other entry is zero: one pass leaf to root fills the column of each joint for
//     its ancestors and its row for them.
// (5) İ is the rate of the inertia, symmetric, plus x ×* μ, skew. With I = [Ī, [h]×; [h]×ᵀ, m]
//     about the reference origin (h = m·c the first moment) and v = (ω, ν), by
//     [a]×[b]× = b·aᵀ − (a·b)·1 the rate is [T, [w]×; [w]×ᵀ, 0] with
//         T = [ω]×·Ī − Ī·[ω]× − h·νᵀ − ν·hᵀ + 2(ν·h)·1,   w = ω × h + m·ν,
//     so a subtree's İ is T (upper triangle), w and μ, each summed.

#include <algorithm>

#include "../../robot.hpp"
#include "../kinematics/checks.hpp"
#include "../workspace.hpp"
#include "spatial.hpp"

namespace vormek {

namespace {

inline double dot6(const double* x, const double* y) {
    return x[0] * y[0] + x[1] * y[1] + x[2] * y[2] + x[3] * y[3] + x[4] * y[4] + x[5] * y[5];
}

// out += a × b
inline void add_cross(const double* a, const double* b, double* out) {
    out[0] += a[1] * b[2] - a[2] * b[1];
    out[1] += a[2] * b[0] - a[0] * b[2];
    out[2] += a[0] * b[1] - a[1] * b[0];
}

// out += m × x for motions: (ω × x_ω, ω × x_ν + ν × x_ω)
inline void add_motion_cross(const double* m, const double* x, double* out) {
    add_cross(m, x, out);
    add_cross(m, x + 3, out + 3);
    add_cross(m + 3, x, out + 3);
}

// out += m ×* f for a motion and a force: (ω × n + ν × f, ω × f)
inline void add_force_cross(const double* m, const double* f, double* out) {
    add_cross(m, f, out);
    add_cross(m + 3, f + 3, out);
    add_cross(m, f + 3, out + 3);
}

// out += I·x for the spatial inertia (m, h, Ī upper): (Ī·x_ω + h × x_ν, m·x_ν + x_ω × h)
inline void add_inertia_times(double m, const Vector3d& h, const Matrix3d& I, const double* x, double* out) {
    out[0] += I(0, 0) * x[0] + I(0, 1) * x[1] + I(0, 2) * x[2];
    out[1] += I(0, 1) * x[0] + I(1, 1) * x[1] + I(1, 2) * x[2];
    out[2] += I(0, 2) * x[0] + I(1, 2) * x[1] + I(2, 2) * x[2];
    add_cross(h.data(), x + 3, out);
    for (int r = 0; r < 3; ++r) out[3 + r] += m * x[3 + r];
    add_cross(x, h.data(), out + 3);
}

// out += the rate part of İ times x: (T·x_ω + w × x_ν, x_ω × w), T upper
inline void add_rate_times(const Matrix3d& T, const Vector3d& w, const double* x, double* out) {
    add_inertia_times(0.0, w, T, x, out);
}

// Entry (r, c) of a symmetric 3 × 3 matrix kept in its upper triangle.
inline double upper3(const Matrix3d& A, int r, int c) { return r <= c ? A(r, c) : A(c, r); }

// Upper triangles and vectors of one subtree added into its parent's.
inline void add_upper(const Matrix3d& from, Matrix3d& to) {
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r <= c; ++r) to(r, c) += from(r, c);
}

}  // namespace

Result<void> Model::inverse_dynamics_derivatives(bool floating, const Quaterniond& base_rotation,
                                                 std::span<const double> q, std::span<const double> qd,
                                                 std::span<const double> qdd, std::span<const Load> loads,
                                                 Workspace& ws, std::span<double> dq, std::span<double> dv,
                                                 std::span<double> tau) const {
    const std::size_t J = joint_count(), n = dof_count();
    VORMEK_CHECK(check_joint_vector(q, n, "q"));
    VORMEK_CHECK(check_joint_vector(qd, n, "qd"));
    VORMEK_CHECK(check_joint_vector(qdd, n, "qdd"));
    VORMEK_CHECK(check_length(dq, n * n, "inverse dynamics derivative output"));
    VORMEK_CHECK(check_length(dv, n * n, "inverse dynamics derivative output"));
    VORMEK_CHECK(check_length(tau, n, "inverse dynamics output"));
    VORMEK_TRY(root_load, prepare_indexed_loads(loads, ws.derivative_loads));
    (void)root_load;  // the fixed base takes it
    if (floating) panic("floating-base derivatives go through their own entry");
    std::span<Transform> T = ws.transforms;
    std::span<Vector6d> S = ws.motion_columns, V = ws.velocity_columns, A = ws.acceleration_columns;
    std::span<Vector6d> v = ws.v, a = ws.a, F = ws.subtree_force, mu = ws.subtree_momentum, L = ws.derivative_loads;
    std::span<double> Mc = ws.composite_mass;
    std::span<Vector3d> Hc = ws.composite_first_moment, Wc = ws.inertia_rate_moment;
    std::span<Matrix3d> Ic = ws.composite_inertia, Tc = ws.inertia_rate;
    if (T.size() != J || S.size() != J || V.size() != J || A.size() != J || v.size() != J || a.size() != J ||
        F.size() != J || mu.size() != J || Mc.size() != J || Ic.size() != J || Tc.size() != J || Wc.size() != J)
        panic("derivative workspace does not fit the model");
    std::ranges::fill(dq, 0.0);
    std::ranges::fill(dv, 0.0);

    // the root rests; gravity is its upward acceleration, in root axes
    const Transform root = reference_root(false, base_rotation, body_joints);
    const Vector3d g = rotate_inverse(base_rotation, Vector3d(0, 0, standard_gravity));
    const double v0[6] = {}, a0[6] = {0, 0, 0, g[0], g[1], g[2]};

    // root to leaf: poses, columns, motion, and each body's inertia, momentum, force and rate
    auto sin_cos_q = sin_cos_blocks(q);
    for (std::size_t k = 0; k < n; ++k) {
        const BodyJoint& joint = body_joints[k];
        const std::size_t parent = body_parents[k];
        joint.place(parent == 0 ? root : T[parent - 1], q[k], sin_cos_q[k], T[k]);
        const Matrix3d& R = T[k].R;
        const Vector3d& p = T[k].p;
        double Sk[6];
        motion_column(joint, T[k], Sk);
        const double* vp = parent == 0 ? v0 : v[parent - 1].data();
        const double* ap = parent == 0 ? a0 : a[parent - 1].data();
        // V = v_λ × S; v = v_λ + S·q̇; a = a_λ + S·q̈ + V·q̇; A = a_λ × S + v_λ × V
        double Vk[6] = {}, Ak[6] = {}, vk[6], ak[6];
        add_motion_cross(vp, Sk, Vk);
        add_motion_cross(ap, Sk, Ak);
        add_motion_cross(vp, Vk, Ak);
        for (int r = 0; r < 6; ++r) {
            vk[r] = vp[r] + Sk[r] * qd[k];
            ak[r] = ap[r] + Sk[r] * qdd[k] + Vk[r] * qd[k];
        }
        // the body's inertia about the reference origin starts its subtree's
        double& m = Mc[k];
        Vector3d& h = Hc[k];
        Matrix3d& I = Ic[k];
        place_inertia(body_inertials[k + 1], R, p, m, h.data(), I);
        // μ = I·v; f = I·a + v ×* μ + L, the load turned into the reference frame
        double muk[6] = {}, fk[6] = {};
        add_inertia_times(m, h, I, vk, muk);
        add_inertia_times(m, h, I, ak, fk);
        add_force_cross(vk, muk, fk);
        if (!loads.empty()) {
            double Ln[3], Lf[3];
            for (int r = 0; r < 3; ++r) {
                Ln[r] = R(r, 0) * L[k][0] + R(r, 1) * L[k][1] + R(r, 2) * L[k][2];
                Lf[r] = R(r, 0) * L[k][3] + R(r, 1) * L[k][4] + R(r, 2) * L[k][5];
            }
            add_cross(p.data(), Lf, Ln);
            for (int r = 0; r < 3; ++r) fk[r] += Ln[r], fk[3 + r] += Lf[r];
        }
        // the rate of the inertia: T = C + Cᵀ − h·νᵀ − ν·hᵀ + 2(ν·h)·1 with C = [ω]×·Ī, and
        // w = ω × h + m·ν
        const double *w = vk, *nu = vk + 3;
        double C[3][3];
        for (int c = 0; c < 3; ++c) {
            const double col[3] = {upper3(I, 0, c), upper3(I, 1, c), upper3(I, 2, c)};
            C[0][c] = w[1] * col[2] - w[2] * col[1];
            C[1][c] = w[2] * col[0] - w[0] * col[2];
            C[2][c] = w[0] * col[1] - w[1] * col[0];
        }
        const double nh = nu[0] * h[0] + nu[1] * h[1] + nu[2] * h[2];
        Matrix3d& Tk = Tc[k];
        for (int c = 0; c < 3; ++c)
            for (int r = 0; r <= c; ++r)
                Tk(r, c) = C[r][c] + C[c][r] - h[r] * nu[c] - nu[r] * h[c] + (r == c ? 2 * nh : 0.0);
        Vector3d& Wk = Wc[k];
        for (int r = 0; r < 3; ++r) Wk[r] = m * nu[r];
        add_cross(w, h.data(), Wk.data());
        for (int r = 0; r < 6; ++r) {
            S[k][r] = Sk[r], V[k][r] = Vk[r], A[k][r] = Ak[r];
            v[k][r] = vk[r], a[k][r] = ak[r], mu[k][r] = muk[r], F[k][r] = fk[r];
        }
    }

    // leaf to root: when body k comes, its subtree sums are complete
    for (std::size_t k = n; k-- > 0;) {
        const double *Sk = S[k].data(), *Vk = V[k].data(), *Ak = A[k].data();
        const double *Fk = F[k].data(), *muk = mu[k].data();
        const double m = Mc[k];
        const Vector3d &h = Hc[k], &Wk = Wc[k];
        const Matrix3d &I = Ic[k], &Tk = Tc[k];
        tau[k] = dot6(Sk, Fk);
        // I^c·S and İ^cᵀ·S = rate·S − S ×* μ, for the row of k
        double IS[6] = {}, ITS[6] = {};
        add_inertia_times(m, h, I, Sk, IS);
        add_rate_times(Tk, Wk, Sk, ITS);
        double SxMu[6] = {};
        add_force_cross(Sk, muk, SxMu);
        // S ×* F + I^c·A + İ^c·V, and I^c·2V + İ^c·S (= rate·S + S ×* μ), for the column of k
        double dF[6] = {}, dFv[6] = {}, IV[6] = {};
        add_force_cross(Sk, Fk, dF);
        add_inertia_times(m, h, I, Ak, dF);
        add_rate_times(Tk, Wk, Vk, dF);
        add_force_cross(Vk, muk, dF);
        add_inertia_times(m, h, I, Vk, IV);
        add_rate_times(Tk, Wk, Sk, dFv);
        for (int r = 0; r < 6; ++r) {
            dFv[r] += SxMu[r] + 2.0 * IV[r];
            ITS[r] -= SxMu[r];
        }
        // the column of k for k and each ancestor, and the row of k for each strict ancestor
        const std::size_t col = k;
        dq[k * n + col] = dot6(Sk, dF);
        dv[k * n + col] = dot6(Sk, dFv);
        for (std::size_t j = body_parents[k]; j != 0; j = body_parents[j - 1]) {
            const std::size_t i = j - 1;
            const double *Si = S[i].data(), *Vi = V[i].data(), *Ai = A[i].data();
            dq[i * n + k] = dot6(Si, dF);
            dv[i * n + k] = dot6(Si, dFv);
            dq[k * n + i] = dot6(IS, Ai) + dot6(ITS, Vi);
            dv[k * n + i] = 2.0 * dot6(IS, Vi) + dot6(ITS, Si);
        }
        // the subtree joins its parent's sums
        const std::size_t parent = body_parents[k];
        if (parent == 0) continue;
        const std::size_t p = parent - 1;
        Mc[p] += m;
        Hc[p] += h;
        add_upper(I, Ic[p]);
        add_upper(Tk, Tc[p]);
        Wc[p] += Wk;
        for (int r = 0; r < 6; ++r) mu[p][r] += muk[r], F[p][r] += Fk[r];
    }
    return {};
}

Result<void> Robot::inverse_dynamics_derivatives(std::span<const double> q, std::span<const double> qd,
                                                 std::span<const double> qdd, std::span<const Load> loads,
                                                 std::span<double> dq, std::span<double> dv,
                                                 std::span<double> tau) {
    return model_->inverse_dynamics_derivatives(false, base_frame_.rotation, q, qd, qdd, loads, workspace_, dq, dv,
                                                tau);
}

}  // namespace vormek
