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
// (6) A floating base moves by a small turn δθ and shift δp in world axes about the root origin
//     O, with u = [ω; ṗ; q̇] held. The reference frame is world axes at O; the root moves with
//     v_0 = (ω, ṗ) and a_0 = (α, p̈ + g − ω × ṗ), and its rows are F_0 itself. A turn θ_c has
//     column S = (e_c, 0) and, v_0 and a_0 not turning, V = v_0 × S, A = a_0 × S + v_0 × V,
//     the root's own motion in place of the parent's; a shift changes nothing but its own
//     reference point: its V and A vanish, and so do the base rows' derivatives by it. By ω_c
//     and ṗ_c, with ∂a_0/∂ω_c = (0, ṗ × e_c) and ∂a_0/∂ṗ_c = (0, e_c × ω), the 2V of (2)
//     becomes ∂a_0/∂u_c + v_0 × S: (ω × e_c, 2ṗ × e_c) and 0. The base rows take the k ⪯ j
//     formulas with the whole robot as the subtree.

#include <algorithm>
#include <type_traits>

#include "../../robot.hpp"
#include "../checks.hpp"
#include "../kinematics/chain.hpp"
#include "../workspace.hpp"
#include "body_inertia.hpp"
#include "fused.hpp"
#include "spatial.hpp"

namespace vormek {

namespace {

// out += I·x for the spatial inertia (m, h, Ī upper): (Ī·x_ω + h × x_ν, m·x_ν + x_ω × h)
[[gnu::always_inline]] inline void add_inertia_times(double m, const Vector3d& h, const Matrix3d& I, const double* x, double* out) {
    out[0] += I(0, 0) * x[0] + I(0, 1) * x[1] + I(0, 2) * x[2];
    out[1] += I(0, 1) * x[0] + I(1, 1) * x[1] + I(1, 2) * x[2];
    out[2] += I(0, 2) * x[0] + I(1, 2) * x[1] + I(2, 2) * x[2];
    add_cross(h.data(), x + 3, out);
    for (int r = 0; r < 3; ++r) out[3 + r] += m * x[3 + r];
    add_cross(x, h.data(), out + 3);
}

// out += the rate part of İ times x: (T·x_ω + w × x_ν, x_ω × w), T upper
[[gnu::always_inline]] inline void add_rate_times(const Matrix3d& T, const Vector3d& w, const double* x, double* out) {
    add_inertia_times(0.0, w, T, x, out);
}

// The same products on four six-vectors at once, one in each lane: x and out are six rows of
// lanes, row r holding entry r of each. out += I·x for the spatial inertia (m, h, Ī upper).
template <class L>
[[gnu::always_inline]] inline void add_inertia_lanes(double m, const Vector3d& h, const Matrix3d& I, const L* x, L* out) {
    out[0] += I(0, 0) * x[0] + I(0, 1) * x[1] + I(0, 2) * x[2] + (h[1] * x[5] - h[2] * x[4]);
    out[1] += I(0, 1) * x[0] + I(1, 1) * x[1] + I(1, 2) * x[2] + (h[2] * x[3] - h[0] * x[5]);
    out[2] += I(0, 2) * x[0] + I(1, 2) * x[1] + I(2, 2) * x[2] + (h[0] * x[4] - h[1] * x[3]);
    out[3] += m * x[3] + (h[2] * x[1] - h[1] * x[2]);
    out[4] += m * x[4] + (h[0] * x[2] - h[2] * x[0]);
    out[5] += m * x[5] + (h[1] * x[0] - h[0] * x[1]);
}

// out += the rate part of İ times x, (T·x_ω + w × x_ν, x_ω × w), T upper, in lanes.
[[gnu::always_inline]] inline void add_rate_lanes(const Matrix3d& T, const Vector3d& w, const Lanes4* x, Lanes4* out) {
    out[0] += T(0, 0) * x[0] + T(0, 1) * x[1] + T(0, 2) * x[2] + (w[1] * x[5] - w[2] * x[4]);
    out[1] += T(0, 1) * x[0] + T(1, 1) * x[1] + T(1, 2) * x[2] + (w[2] * x[3] - w[0] * x[5]);
    out[2] += T(0, 2) * x[0] + T(1, 2) * x[1] + T(2, 2) * x[2] + (w[0] * x[4] - w[1] * x[3]);
    out[3] += w[2] * x[1] - w[1] * x[2];
    out[4] += w[0] * x[2] - w[2] * x[0];
    out[5] += w[1] * x[0] - w[0] * x[1];
}

// out += x ×* f in lanes, for motions x and a force f given per lane (six rows of lanes).
[[gnu::always_inline]] inline void add_force_cross_lanes(const Lanes4* x, const Lanes4* f, Lanes4* out) {
    out[0] += (x[1] * f[2] - x[2] * f[1]) + (x[4] * f[5] - x[5] * f[4]);
    out[1] += (x[2] * f[0] - x[0] * f[2]) + (x[5] * f[3] - x[3] * f[5]);
    out[2] += (x[0] * f[1] - x[1] * f[0]) + (x[3] * f[4] - x[4] * f[3]);
    out[3] += x[1] * f[5] - x[2] * f[4];
    out[4] += x[2] * f[3] - x[0] * f[5];
    out[5] += x[0] * f[4] - x[1] * f[3];
}

// Six rows of lanes (a_r, b_r, c_r, d_r) from four six-vectors, put together in registers two
// rows at a time: lanes written one by one go through the stack, and their loads then wait on
// store forwarding.
[[gnu::always_inline]] inline void lane_rows(const double* a, const double* b, const double* c, const double* d,
                                             Lanes4* out) {
    for (int p = 0; p < 3; ++p) {
        Lanes A, B, C, D;
        __builtin_memcpy(&A, a + 2 * p, sizeof A);
        __builtin_memcpy(&B, b + 2 * p, sizeof B);
        __builtin_memcpy(&C, c + 2 * p, sizeof C);
        __builtin_memcpy(&D, d + 2 * p, sizeof D);
        const Lanes ab0 = __builtin_shufflevector(A, B, 0, 2), cd0 = __builtin_shufflevector(C, D, 0, 2);
        const Lanes ab1 = __builtin_shufflevector(A, B, 1, 3), cd1 = __builtin_shufflevector(C, D, 1, 3);
        out[2 * p] = __builtin_shufflevector(ab0, cd0, 0, 1, 2, 3);
        out[2 * p + 1] = __builtin_shufflevector(ab1, cd1, 0, 1, 2, 3);
    }
}

// Entry (r, c) of a symmetric 3 × 3 matrix kept in its upper triangle.
[[gnu::always_inline]] inline double upper3(const Matrix3d& A, int r, int c) { return r <= c ? A(r, c) : A(c, r); }

// to += from over `count` values, two at a time: a subtree's sums joining its parent's.
[[gnu::always_inline]] inline void add_entries(const double* from, double* to, int count) {
    for (int i = 0; i + 1 < count; i += 2) {
        Lanes x, y;
        __builtin_memcpy(&x, from + i, sizeof x);
        __builtin_memcpy(&y, to + i, sizeof y);
        y += x;
        __builtin_memcpy(to + i, &y, sizeof y);
    }
    if (count % 2) to[count - 1] += from[count - 1];
}

// A body's own sums and terms in the reference frame, from its pose (R, p), its motion v, a
// and its load (n, f) in its own frame, if any: inertia (m, h, Ī upper), momentum μ = I·v,
// force f = I·a + v ×* μ + L and the rate of its inertia (T upper, w), as in (5).
[[gnu::always_inline]] inline void place_body_terms(const LinkInertial& in, const Transform& X, const BodyRows& pose, const double* vk,
                             const double* ak, const double* load, double& m, Vector3d& h, Matrix3d& I,
                             double* muk, double* fk, Matrix3d& Tk, Vector3d& Wk) {
    const Matrix3d& R = X.R;
    const Vector3d& p = X.p;
    place_body_inertia(in, pose, m, h, I);
    // I·v and I·a side by side in two lanes
    Lanes va[6], Iva[6] = {};
    for (int r = 0; r < 6; ++r) va[r] = Lanes{vk[r], ak[r]};
    add_inertia_lanes(m, h, I, va, Iva);
    for (int r = 0; r < 6; ++r) muk[r] = Iva[r][0], fk[r] = Iva[r][1];
    add_force_cross(vk, muk, fk);
    if (load) {
        // (R·n + p × R·f, R·f)
        double Ln[3], Lf[3];
        for (int r = 0; r < 3; ++r) {
            Ln[r] = R(r, 0) * load[0] + R(r, 1) * load[1] + R(r, 2) * load[2];
            Lf[r] = R(r, 0) * load[3] + R(r, 1) * load[4] + R(r, 2) * load[5];
        }
        add_cross(p.data(), Lf, Ln);
        for (int r = 0; r < 3; ++r) fk[r] += Ln[r], fk[3 + r] += Lf[r];
    }
    // T = C + Cᵀ − h·νᵀ − ν·hᵀ + 2(ν·h)·1 with C = [ω]×·Ī, and w = ω × h + m·ν
    const double *w = vk, *nu = vk + 3;
    double C[3][3];
    for (int c = 0; c < 3; ++c) {
        const double col[3] = {upper3(I, 0, c), upper3(I, 1, c), upper3(I, 2, c)};
        C[0][c] = w[1] * col[2] - w[2] * col[1];
        C[1][c] = w[2] * col[0] - w[0] * col[2];
        C[2][c] = w[0] * col[1] - w[1] * col[0];
    }
    const double nh = nu[0] * h[0] + nu[1] * h[1] + nu[2] * h[2];
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r <= c; ++r)
            Tk(r, c) = C[r][c] + C[c][r] - h[r] * nu[c] - nu[r] * h[c] + (r == c ? 2 * nh : 0.0);
    for (int r = 0; r < 3; ++r) Wk[r] = m * nu[r];
    add_cross(w, h.data(), Wk.data());
}

// İ·x with the rate (T, w) and momentum μ of a subtree: rate·x + x ×* μ (transposed: − x ×* μ).
[[gnu::always_inline]] inline void add_rate_action(const Matrix3d& T, const Vector3d& w, const double* mu, const double* x, double sign,
                            double* out) {
    double xmu[6] = {};
    add_force_cross(x, mu, xmu);
    add_rate_times(T, w, x, out);
    for (int r = 0; r < 6; ++r) out[r] += sign * xmu[r];
}

// Row entries of body k over the columns [b, e) of its subtree (off before the bodies'
// indices): S_k · dF and S_k · dF_v of each body there, its column sums. The columns come as
// six rows of n, entry r of body x at r·n + x, so that a run of bodies is a run of memory and
// the loop is widened by the compiler; the rows are restrict: the outputs are the caller's.
[[gnu::always_inline]] inline void descendant_entries(const double* S, const double* dF, const double* dFv,
                                                      std::size_t n, std::size_t b, std::size_t e, std::size_t off,
                                                      double* __restrict dq_row, double* __restrict dv_row) {
    for (std::size_t col = b; col < e; ++col) {
        const std::size_t x = col - off;
        double q = 0.0, v = 0.0;
        for (int r = 0; r < 6; ++r) {
            q += S[r] * dF[r * n + x];
            v += S[r] * dFv[r * n + x];
        }
        dq_row[col] = q;
        dv_row[col] = v;
    }
}

// Row entries of body k over the columns [b, e) of a run of its ancestors j (off before the
// bodies' indices): I^c_k·S_k · A_j + İ^cᵀ_k·S_k · V_j and I^c_k·S_k · 2V_j + İ^cᵀ_k·S_k · S_j.
[[gnu::always_inline]] inline void ancestor_entries(const double* IS, const double* IS2, const double* ITS,
                                                    const double* S, const double* V, const double* A, std::size_t n,
                                                    std::size_t b, std::size_t e, std::size_t off,
                                                    double* __restrict dq_row, double* __restrict dv_row) {
    for (std::size_t col = b; col < e; ++col) {
        const std::size_t x = col - off;
        double q = 0.0, v = 0.0;
        for (int r = 0; r < 6; ++r) {
            q += IS[r] * A[r * n + x] + ITS[r] * V[r * n + x];
            v += IS2[r] * V[r * n + x] + ITS[r] * S[r * n + x];
        }
        dq_row[col] = q;
        dv_row[col] = v;
    }
}

// The pair walk in lanes. Per body, as the ancestor j of the rows below it: six rows of
// (S, S, A, V) and six of (V, S), 36 values from `at`. Against the lanes (dF, dFv, I^c·S, İ^cᵀ·S)
// of the row body k and (2·I^c·S, İ^cᵀ·S), one product summed over the six rows gives S_j·dF and
// S_j·dFv, k's column entries for j, and the two halves of each of k's row entries.
[[gnu::always_inline]] inline void put_pair_lanes(const double* S, const double* V, const double* A, double* at) {
    Lanes4 rows[6];
    lane_rows(S, S, A, V, rows);
    __builtin_memcpy(at, rows, sizeof rows);
    for (int p = 0; p < 3; ++p) {
        Lanes v, s;
        __builtin_memcpy(&v, V + 2 * p, sizeof v);
        __builtin_memcpy(&s, S + 2 * p, sizeof s);
        const Lanes first = __builtin_shufflevector(v, s, 0, 2), second = __builtin_shufflevector(v, s, 1, 3);
        __builtin_memcpy(at + 24 + 4 * p, &first, sizeof first);
        __builtin_memcpy(at + 26 + 4 * p, &second, sizeof second);
    }
}

// Column entries (∂τ_j/∂q_k, ∂τ_j/∂q̇_k) and row entries (∂τ_k/∂q_j, ∂τ_k/∂q̇_j) of one pair,
// each lane row loaded where it is used.
[[gnu::always_inline]] inline void pair_entries(const Lanes4* K, const Lanes* K2, const double* at, double& column_q,
                                                double& column_v, double& row_q, double& row_v) {
    Lanes4 g = {}, w;
    Lanes h = {}, u;
    for (int r = 0; r < 6; ++r) {
        __builtin_memcpy(&w, at + 4 * r, sizeof w);
        __builtin_memcpy(&u, at + 24 + 2 * r, sizeof u);
        g += K[r] * w;
        h += K2[r] * u;
    }
    column_q = g[0], column_v = g[1], row_q = g[2] + g[3], row_v = h[0] + h[1];
}

// Zeros into the columns [b, e) of both rows, if any (most rows of a chain have none).
[[gnu::always_inline]] inline void zero_between(double* dq_row, double* dv_row, std::size_t b, std::size_t e) {
    if (b >= e) return;
    std::fill(dq_row + b, dq_row + e, 0.0);
    std::fill(dv_row + b, dv_row + e, 0.0);
}

// A tree numbered depth-first (a chain among them) has each subtree as the run of indices
// from its root, and a body's ancestors as runs of indices, each the parent of the next; each
// row of the derivatives is then written whole, in runs of its own memory, which keeps a long
// chain's n × n outputs out of a column-by-column walk. Per body: the end of its subtree, the
// first of its run and the body above that first (n for none), so that the walk up a row's
// ancestors reads one pair per run. False when the tree is not numbered so: the subtree of k
// lies in [k, end) for every k when each child's does inside its parent's, the sizes then
// leaving no room for a gap.
inline bool runs_of_ancestors(const std::vector<std::size_t>& parents, std::span<std::size_t> first,
                              std::span<std::size_t> above, std::span<std::size_t> end) {
    const std::size_t n = parents.size();
    std::ranges::fill(end, 1);
    for (std::size_t k = n; k-- > 0;)
        if (parents[k] != 0) end[parents[k] - 1] += end[k];
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t parent = parents[k];
        end[k] += k;
        if (parent != 0 && end[k] > end[parent - 1]) return false;
        const bool continues = k > 0 && parent == k;
        first[k] = continues ? first[k - 1] : k;
        above[k] = continues ? above[k - 1] : parent == 0 ? n : parent - 1;
    }
    return true;
}

// The whole computation, inlined into its portable and fused builds; after forward dynamics a
// build of its own, so that the plain call is not compiled around the other's loop.
template <bool after_forward_dynamics>
[[gnu::always_inline]] inline Result<void> newton_euler_derivatives(
    const Model& model, bool floating, const Quaterniond& base_rotation, const Twist& base_velocity,
    const Twist& base_acceleration, const Vector3d& lift, std::span<const double> q, std::span<const double> qd,
    std::span<const double> qdd, std::span<const Load> loads, Workspace& ws, std::span<double> dq,
    std::span<double> dv, std::span<double> tau) {
    const std::vector<BodyJoint>& body_joints = model.body_joints;
    const std::vector<std::size_t>& body_parents = model.body_parents;
    const std::vector<LinkInertial>& body_inertials = model.body_inertials;
    const std::size_t J = model.joint_count(), n = model.dof_count();
    const std::size_t off = floating ? 6 : 0, N = n + off;
    VORMEK_CHECK(check_joint_vector(q, n, "q"));
    VORMEK_CHECK(check_joint_vector(qd, n, "qd"));
    VORMEK_CHECK(check_joint_vector(qdd, n, "qdd"));
    VORMEK_CHECK(check_length(dq, N * N, "inverse dynamics derivative output"));
    VORMEK_CHECK(check_length(dv, N * N, "inverse dynamics derivative output"));
    VORMEK_CHECK(check_length(tau, N, "inverse dynamics output"));
    // the loads per body, when there are any (the kernel reads them only then)
    Vector6d root_load = Vector6d::Zero();
    if (!loads.empty()) {
        VORMEK_TRY(prepared, model.prepare_indexed_loads(loads, ws.derivative_loads));
        root_load = prepared;
    }
    std::span<Transform> T = ws.transforms;
    // forward dynamics leaves its motion columns in the load slots
    std::span<Vector6d> S = after_forward_dynamics ? ws.loads : ws.motion_columns;
    std::span<Vector6d> V = ws.velocity_columns, A = ws.acceleration_columns;
    std::span<Vector6d> v = ws.v, a = ws.a, F = ws.subtree_force, mu = ws.subtree_momentum, L = ws.derivative_loads;
    std::span<double> Mc = ws.composite_mass;
    std::span<Vector3d> Hc = ws.composite_first_moment, Wc = ws.inertia_rate_moment;
    std::span<Matrix3d> Ic = ws.composite_inertia, Tc = ws.inertia_rate;
    std::span<std::size_t> runs = ws.ancestor_runs;
    if (T.size() != J || S.size() != J || V.size() != J || A.size() != J || v.size() != J || a.size() != J || F.size() != J || mu.size() != J || Mc.size() != J ||
        Ic.size() != J || Tc.size() != J || Wc.size() != J || runs.size() != 3 * n ||
        ws.derivative_columns.size() != 36 * n)
        panic("derivative workspace does not fit the model");

    // a loop per run costs more than it saves on short rows (the pair walk in lanes was the
    // faster on chains up to 32 bodies, as fast at 48, 2% slower at 64), and a tree numbered
    // breadth-first interleaves its branches into runs of one: there each pair is written where
    // the walk up meets it, column and row
    const std::span<std::size_t> first = runs.first(n), above = runs.subspan(n, n), end = runs.subspan(2 * n);
    if (!ws.ancestor_runs_ready) {
        ws.numbered_depth_first = runs_of_ancestors(body_parents, first, above, end);
        ws.ancestor_runs_ready = true;
    }
    const bool by_rows = n >= 48 && ws.numbered_depth_first;
    if (!by_rows) {
        std::ranges::fill(dq, 0.0);
        std::ranges::fill(dv, 0.0);
    }
    double* const columns = ws.derivative_columns.data();
    double *const S_at = columns, *const V_at = columns + 6 * n, *const A_at = columns + 12 * n;
    double *const dF_at = columns + 18 * n, *const dFv_at = columns + 24 * n;

    // the root's motion, gravity its upward acceleration: a fixed root rests (root axes), a
    // floating one moves as its base state says (world axes at its origin)
    const Transform root = reference_root(floating, base_rotation);
    double v0[6] = {}, a0[6] = {};
    if (floating) {
        const Vector3d &w = base_velocity.angular, &pd = base_velocity.linear;
        const Vector3d lin = base_acceleration.linear + lift - w.cross(pd);
        for (int r = 0; r < 3; ++r) {
            v0[r] = w[r], v0[3 + r] = pd[r];
            a0[r] = base_acceleration.angular[r], a0[3 + r] = lin[r];
        }
    } else {
        const Vector3d g = rotate_inverse(base_rotation, lift);
        for (int r = 0; r < 3; ++r) a0[3 + r] = g[r];
    }
    // a floating root's own sums, which the whole robot joins
    double M0 = 0.0, mu0[6] = {}, F0[6] = {};
    Vector3d H0 = Vector3d::Zero(), W0 = Vector3d::Zero();
    Matrix3d I0 = Matrix3d::Zero(), T0 = Matrix3d::Zero();
    if (floating)
        place_body_terms(body_inertials[0], root, body_rows(root), v0, a0, loads.empty() ? nullptr : root_load.data(),
                         M0, H0, I0, mu0, F0, T0, W0);

    // root to leaf: poses, columns, motion, and each body's inertia, momentum, force and rate;
    // each subtree of a fixed root about its first body's origin (reference_root): the root
    // rests, and gravity is the same about any point. After forward dynamics at the same state
    // the poses, columns, v and a are there already, and only the rest is computed
    const auto place = [&](std::size_t k, const Transform& X, const BodyRows& pose, const double* Sk, auto moved)
                           __attribute__((always_inline)) {
        constexpr bool ready = decltype(moved)::value;
        const std::size_t parent = body_parents[k];
        const double* vp = parent == 0 ? v0 : v[parent - 1].data();
        const double* ap = parent == 0 ? a0 : a[parent - 1].data();
        // V = v_λ × S; v = v_λ + S·q̇; a = a_λ + S·q̈ + V·q̇; A = a_λ × S + v_λ × V
        double Vk[6] = {}, Ak[6] = {}, vk[6], ak[6];
        add_motion_cross(vp, Sk, Vk);
        add_motion_cross(ap, Sk, Ak);
        add_motion_cross(vp, Vk, Ak);
        for (int r = 0; r < 6; ++r) {
            vk[r] = ready ? v[k][r] : vp[r] + Sk[r] * qd[k];
            ak[r] = ready ? a[k][r] : ap[r] + Sk[r] * qdd[k] + Vk[r] * qd[k];
        }
        // the body's own terms start its subtree's sums
        double muk[6], fk[6];
        place_body_terms(body_inertials[k + 1], X, pose, vk, ak, loads.empty() ? nullptr : L[k].data(), Mc[k],
                         Hc[k], Ic[k], muk, fk, Tc[k], Wc[k]);
        for (int r = 0; r < 6; ++r) {
            if constexpr (!ready) S[k][r] = Sk[r];
            V[k][r] = Vk[r], A[k][r] = Ak[r];
            if constexpr (!ready) v[k][r] = vk[r], a[k][r] = ak[r];
            mu[k][r] = muk[r], F[k][r] = fk[r];
        }
    };
    if constexpr (after_forward_dynamics)
        for (std::size_t k = 0; k < n; ++k) place(k, T[k], body_rows(T[k]), S[k].data(), std::true_type{});
    else
        walk_tree(
            model, q, root, T,
            [&](std::size_t k, const Transform& X, const BodyRows& pose) __attribute__((always_inline)) {
                double Sk[6];
                motion_column(body_joints[k], X, Sk);
                place(k, X, pose, Sk, std::false_type{});
            },
            !floating);

    // the columns that rows written whole read a run at a time, or the pair walk a body at a
    // time (a body with no child is nobody's ancestor)
    if (by_rows)
        for (std::size_t k = 0; k < n; ++k)
            for (int r = 0; r < 6; ++r) S_at[r * n + k] = S[k][r], V_at[r * n + k] = V[k][r], A_at[r * n + k] = A[k][r];
    else
        for (std::size_t k = 0; k + 1 < n; ++k) put_pair_lanes(S[k].data(), V[k].data(), A[k].data(), columns + 36 * k);

    // the base's own columns: a turn θ_c about e_c (V, A from the root's motion; ∂a/∂ω_c in
    // place of 2V), a shift along e_c (nothing but S); set only for a floating root, which
    // alone reads them
    double Sb[6][6], Vb[3][6], Ab[3][6], Wb[3][6];
    if (floating) {
        std::fill_n(&Sb[0][0], 36, 0.0);
        for (double(*block)[6] : {Vb, Ab, Wb}) std::fill_n(&block[0][0], 18, 0.0);
        for (int c = 0; c < 6; ++c) {
            Sb[c][c] = 1.0;
            if (c >= 3) continue;
            add_motion_cross(v0, Sb[c], Vb[c]);
            add_motion_cross(a0, Sb[c], Ab[c]);
            add_motion_cross(v0, Vb[c], Ab[c]);
            const double e[3] = {c == 0 ? 1.0 : 0.0, c == 1 ? 1.0 : 0.0, c == 2 ? 1.0 : 0.0};
            add_cross(v0, e, Wb[c]);
            add_cross(v0 + 3, e, Wb[c] + 3);
            add_cross(v0 + 3, e, Wb[c] + 3);
        }
    }

    // leaf to root: when body k comes, its subtree sums are complete, and so are the columns
    // of every body below it, so its row is written whole, from left to right. One loop for
    // each way of writing, so that the pair walk of a short robot is not compiled around the
    // rows' bookkeeping
    const auto leaf_to_root = [&](auto rows) __attribute__((always_inline)) {
        for (std::size_t k = n; k-- > 0;) {
            const std::size_t parent = body_parents[k];
            const double *Sk = S[k].data(), *Vk = V[k].data(), *Ak = A[k].data();
            const double *Fk = F[k].data(), *muk = mu[k].data();
            const double m = Mc[k];
            const Vector3d &h = Hc[k], &Wk = Wc[k];
            const Matrix3d &I = Ic[k], &Tk = Tc[k];
            const std::size_t row = off + k;
            tau[row] = dot6(Sk, Fk);
            // I^c·S and İ^cᵀ·S = rate·S − S ×* μ, for the row of k; S ×* F + I^c·A + İ^c·V and
            // I^c·2V + İ^c·S = I^c·2V + rate·S + S ×* μ, for its column. The products of I^c and
            // of its rate go in four lanes, (I^c·A + İ^c·V, I^c·2V + İ^c·S, I^c·S, İ^cᵀ·S): I^c
            // times (A, 2V, S, 0) and the rate times Y = (V, S, 0, S), plus Y ×* μ with the last
            // lane's μ negated; a quarter of the multiplications, and no six-vector on the stack
            constexpr double none[6] = {};
            Lanes4 Z[6], X[6], Y[6], Mu[6], P[6] = {};
            lane_rows(Sk, Vk, Ak, none, Z);  // (S, V, A, 0), reordered within each row
            for (int r = 0; r < 6; ++r) {
                X[r] = __builtin_shufflevector(Z[r], Z[r], 2, 1, 0, 3) * Lanes4{1.0, 2.0, 1.0, 1.0};
                Y[r] = __builtin_shufflevector(Z[r], Z[r], 1, 0, 3, 0);
                Mu[r] = muk[r] * Lanes4{1.0, 1.0, 1.0, -1.0};
            }
            add_inertia_lanes(m, h, I, X, P);
            add_rate_lanes(Tk, Wk, Y, P);
            add_force_cross_lanes(Y, Mu, P);
            // and S ×* F into the first lane: P holds (dF, dFv, I^c·S, İ^cᵀ·S)
            {
                double SF[6] = {};
                add_force_cross(Sk, Fk, SF);
                for (int r = 0; r < 6; ++r) P[r] += Lanes4{SF[r], 0.0, 0.0, 0.0};
            }
            double* const dq_row = dq.data() + row * N;
            double* const dv_row = dv.data() + row * N;
            Lanes4 diagonal = {};
            for (int r = 0; r < 6; ++r) diagonal += Sk[r] * P[r];
            dq_row[row] = diagonal[0];
            dv_row[row] = diagonal[1];
            if constexpr (rows) {
                // row k whole: the bodies of its subtree (the columns of k's ancestor rows, found
                // by S_k), then its ancestors a run at a time, and zeros between the runs
                double IS[6], IS2[6], ITS[6];
                for (int r = 0; r < 6; ++r) {
                    dF_at[r * n + k] = P[r][0], dFv_at[r * n + k] = P[r][1];
                    IS[r] = P[r][2], IS2[r] = 2.0 * P[r][2], ITS[r] = P[r][3];
                }
                descendant_entries(Sk, dF_at, dFv_at, n, row + 1, off + end[k], off, dq_row, dv_row);
                zero_between(dq_row, dv_row, off + end[k], N);
                std::size_t below = row;
                for (std::size_t last = parent == 0 ? n : parent - 1; last != n; last = above[last]) {
                    ancestor_entries(IS, IS2, ITS, S_at, V_at, A_at, n, off + first[last], off + last + 1, off, dq_row,
                                     dv_row);
                    zero_between(dq_row, dv_row, off + last + 1, below);
                    below = off + first[last];
                }
                zero_between(dq_row, dv_row, 0, below);
            } else {
                // the column of k for each ancestor, and the row of k for each, from the lanes
                Lanes P2[6];
                for (int r = 0; r < 6; ++r) P2[r] = __builtin_shufflevector(P[r], P[r], 2, 3) * Lanes{2.0, 1.0};
                for (std::size_t j = parent; j != 0; j = body_parents[j - 1]) {
                    const std::size_t i = j - 1, other = off + i;
                    pair_entries(P, P2, columns + 36 * i, dq[other * N + row], dv[other * N + row], dq_row[other],
                                 dv_row[other]);
                }
            }
            // and with the base's: its rows are the reference frame's own axes (a loop of fixed
            // length, so that the lanes stay in registers, not on the stack)
            if (floating) {
                double IS[6], ITS[6];
                for (int r = 0; r < 6; ++r) IS[r] = P[r][2], ITS[r] = P[r][3];
                for (std::size_t c = 0; c < 6; ++c) {
                    dq[c * N + row] = P[c][0];
                    dv[c * N + row] = P[c][1];
                    dv_row[c] = ITS[c];
                    if (c >= 3) continue;
                    dq_row[c] = dot6(IS, Ab[c]) + dot6(ITS, Vb[c]);
                    dv_row[c] += dot6(IS, Wb[c]);
                }
            }
            // the subtree joins its parent's sums
            if (parent == 0 && !floating) continue;
            double& Mp = parent == 0 ? M0 : Mc[parent - 1];
            Mp += m;
            (parent == 0 ? H0 : Hc[parent - 1]) += h;
            // whole matrices: I is kept whole, and the rate's lower triangle stays zero
            add_entries(I.data(), (parent == 0 ? I0 : Ic[parent - 1]).data(), 9);
            add_entries(Tk.data(), (parent == 0 ? T0 : Tc[parent - 1]).data(), 9);
            (parent == 0 ? W0 : Wc[parent - 1]) += Wk;
            add_entries(muk, parent == 0 ? mu0 : mu[parent - 1].data(), 6);
            add_entries(Fk, parent == 0 ? F0 : F[parent - 1].data(), 6);
        }
    };
    if (by_rows)
        leaf_to_root(std::true_type{});
    else
        leaf_to_root(std::false_type{});
    if (!floating) return {};

    // the base block, the whole robot one subtree: its rows are F_0; by a turn, S ×* F_0 +
    // I^c·A + İ^c·V; by a shift, nothing; by u_c, I^c·(∂a_0/∂u_c + v_0 × S) + İ^c·S
    for (int r = 0; r < 6; ++r) tau[r] = F0[r];
    for (int c = 0; c < 6; ++c) {
        double dFv[6] = {};
        add_rate_action(T0, W0, mu0, Sb[c], 1.0, dFv);
        if (c < 3) {
            double dF[6] = {};
            add_force_cross(Sb[c], F0, dF);
            add_inertia_times(M0, H0, I0, Ab[c], dF);
            add_rate_action(T0, W0, mu0, Vb[c], 1.0, dF);
            add_inertia_times(M0, H0, I0, Wb[c], dFv);
            for (int r = 0; r < 6; ++r) dq[r * N + c] = dF[r];
        } else {
            for (int r = 0; r < 6; ++r) dq[r * N + c] = 0.0;
        }
        for (int r = 0; r < 6; ++r) dv[r * N + c] = dFv[r];
    }
    return {};
}

#ifdef VORMEK_FUSED_KERNELS
template <bool after_forward_dynamics>
VORMEK_FUSED Result<void> fused_newton_euler_derivatives(
    const Model& model, bool floating, const Quaterniond& base_rotation, const Twist& base_velocity,
    const Twist& base_acceleration, const Vector3d& lift, std::span<const double> q, std::span<const double> qd,
    std::span<const double> qdd, std::span<const Load> loads, Workspace& ws, std::span<double> dq,
    std::span<double> dv, std::span<double> tau) {
    return newton_euler_derivatives<after_forward_dynamics>(model, floating, base_rotation, base_velocity,
                                                            base_acceleration, lift, q, qd, qdd, loads, ws, dq, dv,
                                                            tau);
}
#endif

}  // namespace

Result<void> Model::inverse_dynamics_derivatives(bool floating, const Quaterniond& base_rotation,
                                                 const Twist& base_velocity, const Twist& base_acceleration,
                                                 const Vector3d& lift, std::span<const double> q,
                                                 std::span<const double> qd,
                                                 std::span<const double> qdd, std::span<const Load> loads,
                                                 Workspace& ws, std::span<double> dq, std::span<double> dv,
                                                 std::span<double> tau, bool after_forward_dynamics) const {
#ifdef VORMEK_FUSED_KERNELS
    if (fused_kernels())
        return after_forward_dynamics
                   ? fused_newton_euler_derivatives<true>(*this, floating, base_rotation, base_velocity,
                                                          base_acceleration, lift, q, qd, qdd, loads, ws, dq, dv, tau)
                   : fused_newton_euler_derivatives<false>(*this, floating, base_rotation, base_velocity,
                                                           base_acceleration, lift, q, qd, qdd, loads, ws, dq, dv, tau);
#endif
    return after_forward_dynamics
               ? newton_euler_derivatives<true>(*this, floating, base_rotation, base_velocity, base_acceleration, lift,
                                                q, qd, qdd, loads, ws, dq, dv, tau)
               : newton_euler_derivatives<false>(*this, floating, base_rotation, base_velocity, base_acceleration,
                                                 lift, q, qd, qdd, loads, ws, dq, dv, tau);
}

Result<void> Robot::inverse_dynamics_derivatives(std::span<const double> q, std::span<const double> qd,
                                                 std::span<const double> qdd, std::span<const Load> loads,
                                                 std::span<double> dq, std::span<double> dv,
                                                 std::span<double> tau) {
    return model_->inverse_dynamics_derivatives(false, base_frame_.rotation, Twist{}, Twist{}, gravity_.lift(), q, qd,
                                                qdd, loads, workspace_, dq, dv, tau);
}

Result<void> FloatingRobot::inverse_dynamics_derivatives(const BaseState& base, std::span<const double> q,
                                                         std::span<const double> qd, std::span<const double> qdd,
                                                         std::span<const Load> loads, std::span<double> dq,
                                                         std::span<double> dv, std::span<double> tau) {
    return model_->inverse_dynamics_derivatives(true, base.frame().rotation, base.velocity(), base.acceleration(),
                                                gravity_.lift(), q, qd, qdd, loads, workspace_, dq, dv, tau);
}

}  // namespace vormek
