// Articulated-body forward dynamics (Featherstone, RBDA table 7.1), one routine for both base
// kinds: velocities and bias terms root to leaf, articulated inertias leaf to root, then the
// base solve and the accelerations root to leaf. Everything is expressed in one reference frame,
// the root origin with world axes (floating base) or root axes and, for each subtree of the root,
// its first body's origin (fixed base): a subtree's articulated inertia then joins its parent's
// by a plain sum, and motions pass from parent to child without a transform, which saves the
// 6×6 change of frame per joint that body-frame quantities would need.
//
// Scalar code throughout, every value written entry by entry into its final slot: most operands
// were written that way moments before, and Eigen's 16-byte loads of them, or structs returned
// by value and copied in, would wait on store forwarding. Articulated inertias are symmetric and
// only their upper triangle is computed and kept.

#include <Eigen/Eigenvalues>
#include <algorithm>
#include <cmath>

#include "../../robot.hpp"
#include "../checks.hpp"
#include "../kinematics/chain.hpp"
#include "../workspace.hpp"
#include "body_inertia.hpp"
#include "fused.hpp"
#include "spatial.hpp"

namespace vormek {

namespace {

// Entry (r, c) of a symmetric 6×6 matrix kept in its upper triangle.
inline double upper(const Matrix6d& A, int r, int c) { return r <= c ? A(r, c) : A(c, r); }

// y = A·x and z = A·w for a symmetric A kept in its upper triangle, in one sweep over its
// entries (unrolled, so the choice of entry is made at compile time).
inline void symmetric_times(const Matrix6d& A, const double* x, const double* w, double* y, double* z) {
#pragma GCC unroll 6
    for (int r = 0; r < 6; ++r) y[r] = A(r, r) * x[r], z[r] = A(r, r) * w[r];
#pragma GCC unroll 6
    for (int col = 1; col < 6; ++col)
#pragma GCC unroll 5
        for (int r = 0; r < col; ++r) {
            const double e = A(r, col);
            y[r] += e * x[col], y[col] += e * x[r];
            z[r] += e * w[col], z[col] += e * w[r];
        }
}

inline double dot6(const double* x, const double* y) {
    return x[0] * y[0] + x[1] * y[1] + x[2] * y[2] + x[3] * y[3] + x[4] * y[4] + x[5] * y[5];
}

// out += a × b
inline void add_cross(const double* a, const double* b, double* out) {
    out[0] += a[1] * b[2] - a[2] * b[1];
    out[1] += a[2] * b[0] - a[0] * b[2];
    out[2] += a[0] * b[1] - a[1] * b[0];
}

// A body's bias force in the reference frame, v ×* (I·v) + f, from its spatial inertia I as
// placed above and its load f = (n, f), if any, given in the body frame and turned into the
// reference frame as (R·n + p × R·f, R·f).
[[gnu::always_inline]] inline void place_bias_force(const Matrix6d& I, const double* v, const Matrix3d& R, const Vector3d& p,
                             const double* load, double* pA) {
    std::fill_n(pA, 6, 0.0);
    if (load) {
        for (int r = 0; r < 3; ++r) {
            pA[r] = R(r, 0) * load[0] + R(r, 1) * load[1] + R(r, 2) * load[2];
            pA[3 + r] = R(r, 0) * load[3] + R(r, 1) * load[4] + R(r, 2) * load[5];
        }
        add_cross(p.data(), pA + 3, pA);
    }
    // I·v = (I_r·ω + h × v, m·v + ω × h), I_r the rotational block, h and m read back from
    // their entries
    const double h[3] = {I(2, 4), I(0, 5), I(1, 3)}, m = I(3, 3);
    const double *w = v, *vl = v + 3;
    double Iv[6];
    for (int r = 0; r < 3; ++r) {
        Iv[r] = upper(I, r, 0) * w[0] + upper(I, r, 1) * w[1] + upper(I, r, 2) * w[2];
        Iv[3 + r] = m * vl[r];
    }
    add_cross(h, vl, Iv);
    add_cross(w, h, Iv + 3);
    // v ×* f = (ω × n + v × f, ω × f)
    add_cross(w, Iv, pA);
    add_cross(vl, Iv + 3, pA);
    add_cross(w, Iv + 3, pA + 3);
}

// The singular-base test: the 6×6 articulated inertia A of the root (upper triangle) must be
// well conditioned (λmin > λmax·√ε, both finite, λmax > 0) and admit a Cholesky solve. The
// eigenvalues are bounded first from the factor, λmin ≥ 1/‖L⁻¹‖²_F and λmax ≤ trace(A); only
// when the bounds do not settle the test (a base within a few orders of magnitude of the
// threshold) is the symmetric eigen-decomposition run.
bool solve_base(const Matrix6d& A, const double* b, double* a0) {
    constexpr double sqrt_eps = 1.4901161193847656e-8;
    // A = L·Lᵀ column by column; a pivot that is not above zero fails, a NaN one passes on to
    // the finiteness tests
    double L[6][6];
    for (int j = 0; j < 6; ++j) {
        double x = A(j, j);
        for (int i = 0; i < j; ++i) x -= L[j][i] * L[j][i];
        if (x <= 0) return false;
        L[j][j] = std::sqrt(x);
        for (int r = j + 1; r < 6; ++r) {
            double y = A(j, r);
            for (int i = 0; i < j; ++i) y -= L[r][i] * L[j][i];
            L[r][j] = y / L[j][j];
        }
    }
    // ‖L⁻¹‖²_F column by column, column j of L⁻¹ by forward substitution on e_j
    double inverse_norm2 = 0, trace = 0;
    for (int j = 0; j < 6; ++j) {
        trace += A(j, j);
        double y[6];
        for (int r = j; r < 6; ++r) {
            double t = r == j ? 1.0 : 0.0;
            for (int i = j; i < r; ++i) t -= L[r][i] * y[i];
            y[r] = t / L[r][r];
            inverse_norm2 += y[r] * y[r];
        }
    }
    const double lmin_bound = 1.0 / inverse_norm2, lmax_bound = trace;
    if (!(std::isfinite(lmax_bound) && lmin_bound > lmax_bound * sqrt_eps)) {
        Matrix6d full;
        for (int r = 0; r < 6; ++r)
            for (int c = 0; c < 6; ++c) full(r, c) = upper(A, r, c);
        const Eigen::SelfAdjointEigenSolver<Matrix6d> eigen(full, Eigen::EigenvaluesOnly);
        const double lmin = eigen.eigenvalues().minCoeff(), lmax = eigen.eigenvalues().maxCoeff();
        if (!(lmin > lmax * sqrt_eps && std::isfinite(lmax) && lmax > 0 && std::isfinite(lmin))) return false;
    }
    // L·y = b, then Lᵀ·a0 = y
    double y[6];
    for (int r = 0; r < 6; ++r) {
        double t = b[r];
        for (int i = 0; i < r; ++i) t -= L[r][i] * y[i];
        y[r] = t / L[r][r];
    }
    bool finite = true;
    for (int r = 6; r-- > 0;) {
        double t = y[r];
        for (int i = r + 1; i < 6; ++i) t -= L[i][r] * a0[i];
        a0[r] = t / L[r][r];
        finite = finite && std::isfinite(a0[r]);
    }
    return finite;
}

// The whole computation, inlined into its portable and fused builds.
[[gnu::always_inline]] inline Result<void> articulated_body(const Model& model, bool floating,
                                                            const Quaterniond& base_rotation,
                                                            const Twist& base_velocity, const Vector3d& lift,
                                                            std::span<const double> q, std::span<const double> qd,
                                                            std::span<const double> forces,
                                                            std::span<const Load> loads, Workspace& ws,
                                                            std::span<double> out) {
    const std::vector<BodyJoint>& body_joints = model.body_joints;
    const std::vector<std::size_t>& body_parents = model.body_parents;
    const std::vector<LinkInertial>& body_inertials = model.body_inertials;
    const std::size_t J = model.joint_count(), n = model.dof_count();
    const std::size_t off = floating ? 6 : 0;
    VORMEK_CHECK(check_joint_vector(q, n, "q"));
    VORMEK_CHECK(check_joint_vector(qd, q.size(), "qd"));
    VORMEK_CHECK(check_length(forces, n + off, "forward dynamics generalized forces"));
    VORMEK_CHECK(check_length(out, forces.size(), "forward dynamics output"));
    VORMEK_TRY(root_load, model.prepare_indexed_loads(loads, ws.loads));
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
    const Transform root = reference_root(floating, base_rotation);
    double v0[6] = {};
    if (floating)
        for (int r = 0; r < 3; ++r) v0[r] = base_velocity.angular[r], v0[3 + r] = base_velocity.linear[r];
    const Vector3d g = floating ? lift : rotate_inverse(base_rotation, lift);
    Matrix6d IA0;
    double pA0[6];
    if (floating) {
        place_spatial_inertia(body_inertials[0], body_rows(root), IA0);
        place_bias_force(IA0, v0, root.R, root.p, loads.empty() ? nullptr : root_load.data(), pA0);
    }

    // pass 1, root to leaf: poses, motion columns, velocities, velocity-product accelerations,
    // rigid-body inertias and bias forces. The loads arrive in body frames in the load slots,
    // which then take the motion columns.
    // Each subtree of a fixed root is placed about its first body's origin (reference_root).
    walk_tree(
        model, q, root, T,
        [&](std::size_t k, const Transform& X, const BodyRows& pose) __attribute__((always_inline)) {
            const BodyJoint& joint = body_joints[k];
            const std::size_t parent = body_parents[k];
            const Matrix3d& R = X.R;
            const Vector3d& p = X.p;
            // the load, if any, is read before its slot takes the motion column
            double load[6];
            if (!loads.empty())
                for (int r = 0; r < 6; ++r) load[r] = S[k][r];
            double Sk[6];
            motion_column(joint, X, Sk);
            const double* vp = parent == 0 ? v0 : v[parent - 1].data();
            double vJ[6], vk[6], ck[6] = {};
            for (int r = 0; r < 6; ++r) vJ[r] = Sk[r] * qd[k], vk[r] = vp[r] + vJ[r];
            // in a fixed frame a column moves with its body: d(S)/dt = v × S, hence c = v × vJ,
            // (ω × ω′, ω × v′ + v × ω′)
            add_cross(vk, vJ, ck);
            add_cross(vk, vJ + 3, ck + 3);
            add_cross(vk + 3, vJ, ck + 3);
            for (int r = 0; r < 6; ++r) S[k][r] = Sk[r], v[k][r] = vk[r], c[k][r] = ck[r];
            place_spatial_inertia(body_inertials[k + 1], pose, IA[k]);
            double bias[6];
            place_bias_force(IA[k], vk, R, p, loads.empty() ? nullptr : load, bias);
            for (int r = 0; r < 6; ++r) pA[k][r] = bias[r];
        },
        !floating);

    // pass 2, leaf to root: articulate each subtree through its joint into its parent
    for (std::size_t k = n; k-- > 0;) {
        // IA[k] and pA[k] are complete, the children having joined: the book's I^A and p^A.
        // What joint k passes to its parent, I^a = I^A − U·Uᵀ/D and p^a = p^A + I^a·c + U·u/D,
        // goes straight into the parent's slots; pass 3 reads only c, U, D and u of this joint
        const Matrix6d& IAk = IA[k];
        const double *Sk = S[k].data(), *ck = c[k].data();
        double Uk[6], IAc[6];
        symmetric_times(IAk, Sk, ck, Uk, IAc);
        for (int r = 0; r < 6; ++r) U[k][r] = Uk[r];
        const double Dk = dot6(Sk, Uk);
        D[k] = Dk;
        // no relative tolerance: anything finite and above zero articulates
        if (!(std::isfinite(Dk) && Dk > 0)) return fail(errors::ForwardDynamicsSingularJointInertia{k});
        const double uk = forces[off + k] - dot6(Sk, pA[k].data());
        u[k] = uk;
        const std::size_t parent = body_parents[k];
        if (parent == 0 && !floating) continue;
        const double inverse_D = 1.0 / Dk;
        double U_D[6];
        for (int r = 0; r < 6; ++r) U_D[r] = Uk[r] * inverse_D;
        Matrix6d& Ip = parent == 0 ? IA0 : IA[parent - 1];
        double* pp = parent == 0 ? pA0 : pA[parent - 1].data();
#pragma GCC unroll 6
        for (int col = 0; col < 6; ++col)
#pragma GCC unroll 6
            for (int r = 0; r <= col; ++r) Ip(r, col) += IAk(r, col) - U_D[r] * Uk[col];
        // I^a·c = I^A·c − U·(U·c)/D, hence p^a = p^A + I^A·c + U·(u − U·c)/D
        const double u_less_Uc = uk - dot6(Uk, ck);
        for (int r = 0; r < 6; ++r) pp[r] += pA[k][r] + IAc[r] + U_D[r] * u_less_Uc;
    }

    std::ranges::fill(out, 0.0);

    // the root's spatial acceleration, gravity included: fixed, the base itself; floating, the
    // solve of the root's articulated equation against the applied base wrench
    double a0[6] = {0, 0, 0, g[0], g[1], g[2]};
    if (floating) {
        double b[6];
        for (int r = 0; r < 6; ++r) b[r] = forces[r] - pA0[r];
        if (!solve_base(IA0, b, a0)) return fail(errors::ForwardDynamicsSingularBaseInertia{});
        // the classical acceleration of the base origin is the spatial one plus ω × v, less
        // the fictitious gravity
        double lin[3] = {a0[3] - g[0], a0[4] - g[1], a0[5] - g[2]};
        add_cross(v0, v0 + 3, lin);
        for (int r = 0; r < 3; ++r) {
            out[r] = a0[r];
            out[3 + r] = lin[r];
        }
    }

    // pass 3, root to leaf: accelerations
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t parent = body_parents[k];
        const double* ap = parent == 0 ? a0 : a[parent - 1].data();
        double ak[6];
        for (int r = 0; r < 6; ++r) ak[r] = ap[r] + c[k][r];
        const double qdd = (u[k] - dot6(U[k].data(), ak)) / D[k];
        if (!std::isfinite(qdd)) return fail(errors::ForwardDynamicsSingularJointInertia{k});
        out[off + k] = qdd;
        for (int r = 0; r < 6; ++r) a[k][r] = ak[r] + S[k][r] * qdd;
    }
    return {};
}

#ifdef VORMEK_FUSED_KERNELS
VORMEK_FUSED Result<void> fused_forward_dynamics(const Model& model, bool floating, const Quaterniond& base_rotation,
                                                 const Twist& base_velocity, const Vector3d& lift,
                                                 std::span<const double> q, std::span<const double> qd,
                                                 std::span<const double> forces, std::span<const Load> loads,
                                                 Workspace& ws, std::span<double> out) {
    return articulated_body(model, floating, base_rotation, base_velocity, lift, q, qd, forces, loads, ws, out);
}
#endif

}  // namespace

Result<void> Model::forward_dynamics(bool floating, const Quaterniond& base_rotation, const Twist& base_velocity,
                                     const Vector3d& lift, std::span<const double> q, std::span<const double> qd,
                                     std::span<const double> forces, std::span<const Load> loads,
                                     Workspace& ws, std::span<double> out) const {
#ifdef VORMEK_FUSED_KERNELS
    if (fused_kernels())
        return fused_forward_dynamics(*this, floating, base_rotation, base_velocity, lift, q, qd, forces, loads, ws,
                                      out);
#endif
    return articulated_body(*this, floating, base_rotation, base_velocity, lift, q, qd, forces, loads, ws, out);
}

Result<void> Robot::forward_dynamics(std::span<const double> q, std::span<const double> qd,
                                     std::span<const double> forces, std::span<const Load> loads,
                                     std::span<double> out) {
    return model_->forward_dynamics(false, base_frame_.rotation, Twist{}, gravity_.lift(), q, qd, forces, loads,
                                    workspace_, out);
}

}  // namespace vormek
