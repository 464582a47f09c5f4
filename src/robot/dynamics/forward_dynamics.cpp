// Articulated-body forward dynamics (Featherstone, RBDA table 7.1), one routine for both base
// kinds: velocities and bias terms root to leaf, articulated inertias leaf to root, then the
// base solve and the accelerations root to leaf. Everything is expressed in one reference frame,
// the root origin with world axes (floating base) or root axes and, for each subtree of the root,
// its first body's origin (fixed base): a subtree's articulated inertia then joins its parent's
// by a plain sum, and motions pass from parent to child without a transform, which saves the
// 6×6 change of frame per joint that body-frame quantities would need.
//
// Each 6-vector and each column of a 6×6 matrix is worked on as three pairs of lanes, rows
// (0, 1), (2, 3) and (4, 5), and every pair is stored as it was computed: the next pass, or the
// next body, loads it back as the same pair, which store forwarding hands over at once, where a
// wider load of entries stored one by one would wait. Articulated inertias are kept whole,
// symmetric to the last bit (each entry and its mirror are computed by the same operations).

#include <Eigen/Eigenvalues>
#include <algorithm>
#include <cmath>

#include "../../robot.hpp"
#include "../checks.hpp"
#include "../kinematics/chain.hpp"
#include "../workspace.hpp"
#include "body_inertia.hpp"
#include "fused.hpp"
#include "pairs.hpp"
#include "spatial.hpp"

namespace vormek {

namespace {

// A body's bias force in the reference frame, v ×* (I·v) + f, from its mass m, first moment h
// and rotational inertia I about the reference origin and its load f = (n, f), if any, given in
// the body frame and turned into the reference frame as (R·n + p × R·f, R·f).
[[gnu::always_inline]] inline void place_bias_force(double m, const Vector3d& h, const Matrix3d& I, const double* v,
                                                    const Matrix3d& R, const Vector3d& p, const double* load,
                                                    double* pA) {
    std::fill_n(pA, 6, 0.0);
    if (load) {
        for (int r = 0; r < 3; ++r) {
            pA[r] = R(r, 0) * load[0] + R(r, 1) * load[1] + R(r, 2) * load[2];
            pA[3 + r] = R(r, 0) * load[3] + R(r, 1) * load[4] + R(r, 2) * load[5];
        }
        add_cross(p.data(), pA + 3, pA);
    }
    // I·v = (I·ω + h × v, m·v + ω × h)
    const double *w = v, *vl = v + 3;
    double Iv[6];
    for (int r = 0; r < 3; ++r) {
        // I's upper triangle, as place_articulated reads it
        Iv[r] = I(0, r) * w[0] + I(std::min(r, 1), std::max(r, 1)) * w[1] + I(r, 2) * w[2];
        Iv[3 + r] = m * vl[r];
    }
    add_cross(h.data(), vl, Iv);
    add_cross(w, h.data(), Iv + 3);
    // v ×* f = (ω × n + v × f, ω × f)
    add_cross(w, Iv, pA);
    add_cross(vl, Iv + 3, pA);
    add_cross(w, Iv + 3, pA + 3);
}

// The singular-base test: the 6×6 articulated inertia A of the root must be
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
        const Eigen::SelfAdjointEigenSolver<Matrix6d> eigen(A, Eigen::EigenvaluesOnly);
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
        double m;
        Vector3d h;
        Matrix3d I;
        place_body_inertia(body_inertials[0], body_rows(root), m, h, I);
        place_articulated(m, h, I, IA0);
        place_bias_force(m, h, I, v0, root.R, root.p, loads.empty() ? nullptr : root_load.data(), pA0);
    }

    // pass 1, root to leaf, in two loops: the walk places the bodies, their motion columns and
    // rigid-body inertias, as the mass matrix's does; then velocities, velocity-product
    // accelerations and bias forces. Kept apart, the walk's chain of poses is not held up by the
    // rest, which no body waits on but its children's velocities. The loads arrive in body
    // frames in the load slots, which take the motion columns; the bias slots hold the loads
    // until the second loop reads them. Each subtree of a fixed root is placed about its first
    // body's origin (reference_root).
    walk_tree(
        model, q, root, T,
        [&](std::size_t k, const Transform& X, const BodyRows& pose) __attribute__((always_inline)) {
            if (!loads.empty()) store_pairs(load_pairs(S[k].data()), pA[k].data());
            double Sk[6];
            motion_column(body_joints[k], X, Sk);
            store_pairs(pairs_of(Sk), S[k].data());
            double m;
            Vector3d h;
            Matrix3d I;
            place_body_inertia(body_inertials[k + 1], pose, m, h, I);
            place_articulated(m, h, I, IA[k]);
        },
        !floating);
    // the parent's velocity goes on in registers to its child on a chain
    Pairs vp = pairs_of(v0);
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t parent = body_parents[k];
        if (parent != k) vp = load_pairs(parent == 0 ? v0 : v[parent - 1].data());
        double load[6];
        if (!loads.empty())
            for (int r = 0; r < 6; ++r) load[r] = pA[k][r];
        const double* Sk = S[k].data();
        double vJ[6], vk[6], ck[6] = {};
        for (int r = 0; r < 6; ++r) vJ[r] = Sk[r] * qd[k], vk[r] = vp.r[r / 2][r % 2] + vJ[r];
        // in a fixed frame a column moves with its body: d(S)/dt = v × S, hence c = v × vJ,
        // (ω × ω′, ω × v′ + v × ω′)
        add_cross(vk, vJ, ck);
        add_cross(vk, vJ + 3, ck + 3);
        add_cross(vk + 3, vJ, ck + 3);
        vp = pairs_of(vk);
        store_pairs(vp, v[k].data());
        store_pairs(pairs_of(ck), c[k].data());
        // m, h and I read back from the spatial inertia the walk placed
        const Matrix6d& A = IA[k];
        const double m = A(3, 3);
        const Vector3d h(A(2, 4), A(0, 5), A(1, 3));
        const Matrix3d I = A.topLeftCorner<3, 3>();
        double bias[6];
        place_bias_force(m, h, I, vk, T[k].R, T[k].p, loads.empty() ? nullptr : load, bias);
        store_pairs(pairs_of(bias), pA[k].data());
    }

    // pass 2, leaf to root: articulate each subtree through its joint into its parent
    for (std::size_t k = n; k-- > 0;) {
        // IA[k] and pA[k] are complete, the children having joined: the book's I^A and p^A.
        // What joint k passes to its parent, I^a = I^A − U·Uᵀ/D and p^a = p^A + I^a·c + U·u/D,
        // goes straight into the parent's slots; pass 3 reads only c, U, D and u of this joint
        Pairs IAk[6];
        for (int col = 0; col < 6; ++col) IAk[col] = load_pairs(&IA[k](0, col));
        const double *Sk = S[k].data(), *ck = c[k].data();
        const Pairs Uk = times(IAk, Sk), IAc = times(IAk, ck);
        store_pairs(Uk, U[k].data());
        const double Dk = dot(load_pairs(Sk), Uk);
        D[k] = Dk;
        // no relative tolerance: anything finite and above zero articulates
        if (!(std::isfinite(Dk) && Dk > 0)) return fail(errors::ForwardDynamicsSingularJointInertia{k});
        const Pairs pAk = load_pairs(pA[k].data());
        const double uk = forces[off + k] - dot(load_pairs(Sk), pAk);
        u[k] = uk;
        const std::size_t parent = body_parents[k];
        if (parent == 0 && !floating) continue;
        const double inverse_D = 1.0 / Dk;
        double* Ip = parent == 0 ? IA0.data() : IA[parent - 1].data();
        double* pp = parent == 0 ? pA0 : pA[parent - 1].data();
        articulate_pairs(IAk, Uk, inverse_D, Ip);
        // I^a·c = I^A·c − U·(U·c)/D, hence p^a = p^A + I^A·c + U·(u − U·c)/D
        const double u_less_Uc_D = (uk - dot(Uk, load_pairs(ck))) * inverse_D;
        Pairs pp_pairs = load_pairs(pp);
        for (int i = 0; i < 3; ++i) pp_pairs.r[i] += pAk.r[i] + IAc.r[i] + Uk.r[i] * u_less_Uc_D;
        store_pairs(pp_pairs, pp);
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

    // pass 3, root to leaf: accelerations. The parent's goes on in registers to its child on a
    // chain, and only the product U·a_parent waits for it: u − U·c and 1/D are ready long before
    Pairs ap = pairs_of(a0);
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t parent = body_parents[k];
        if (parent != k) ap = load_pairs(parent == 0 ? a0 : a[parent - 1].data());
        const Pairs ck = load_pairs(c[k].data()), Uk = load_pairs(U[k].data());
        const double inverse_D = 1.0 / D[k], x = (u[k] - dot(Uk, ck)) - dot(Uk, ap);
        // the quotient decides only what the product cannot: a D so small that 1/D overflows
        double qdd = x * inverse_D;
        if (!std::isfinite(qdd)) qdd = x / D[k];
        if (!std::isfinite(qdd)) return fail(errors::ForwardDynamicsSingularJointInertia{k});
        out[off + k] = qdd;
        const Pairs Sk = load_pairs(S[k].data());
        for (int i = 0; i < 3; ++i) ap.r[i] = (ap.r[i] + ck.r[i]) + Sk.r[i] * qdd;
        store_pairs(ap, a[k].data());
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
