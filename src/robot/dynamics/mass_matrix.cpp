// Composite-rigid-body mass matrix (Featherstone, RBDA table 6.2), in body frames. Each body's
// composite inertia (mass, first moment and rotational inertia about its own origin, in its own
// axes) gathers its children's, moved in by their joint transforms, leaf to root; the wrench its
// subtree needs for a unit rate of its joint is then carried up the ancestors, and its
// generalized force at each is one entry, written to both mirror entries.
//
// Most joints of real robots turn about a coordinate axis behind an origin rotation that is a
// signed permutation of the axes (URDF quarter turns, snapped at load, or none). Their rotation
// R = O·Rot(q) has five non-zero entries at places its BodyJoint::rotation_layout names; the
// moves below are instantiated per layout, so that a move takes six products per vector and a
// 2×2 congruence per inertia, with every index fixed at compile time and every value in a
// register, where a full R would take nine products and a 3×3 congruence.

#include <algorithm>
#include <array>
#include <utility>

#include "../../robot.hpp"
#include "../kinematics/checks.hpp"
#include "../workspace.hpp"
#include "spatial.hpp"

namespace vormek {

namespace {

// Layout L < 18: R(C[a], a) ≠ 0 for the axes a = I, J of the turning plane and for its axis K,
// R(C[I], J) and R(C[J], I) ≠ 0; C the origin's permutation of the axes.
template <int L>
struct Layout {
    static constexpr int K = L / 6, I = K == 2 ? 0 : K + 1, J = K == 0 ? 2 : K - 1;
    static constexpr std::array<int, 3> C = rotation_permutations[L % 6];
};

// out = R·v
template <int L>
inline void rotate(const Matrix3d& R, const double* v, double* out) {
    if constexpr (L == BodyJoint::general_rotation) {
        for (int r = 0; r < 3; ++r) out[r] = R(r, 0) * v[0] + R(r, 1) * v[1] + R(r, 2) * v[2];
    } else {
        using P = Layout<L>;
        constexpr int I = P::I, J = P::J, K = P::K, ri = P::C[I], rj = P::C[J], rk = P::C[K];
        out[ri] = R(ri, I) * v[I] + R(ri, J) * v[J];
        out[rj] = R(rj, I) * v[I] + R(rj, J) * v[J];
        out[rk] = R(rk, K) * v[K];
    }
}

// out = R·I·Rᵀ, upper triangle, for a symmetric I
template <int L>
inline void congruence(const Matrix3d& R, const Matrix3d& I, double out[3][3]) {
    if constexpr (L == BodyJoint::general_rotation) {
        double B[3][3];  // R·I
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) B[r][c] = R(r, 0) * I(0, c) + R(r, 1) * I(1, c) + R(r, 2) * I(2, c);
        for (int r = 0; r < 3; ++r)
            for (int c = r; c < 3; ++c) out[r][c] = B[r][0] * R(c, 0) + B[r][1] * R(c, 1) + B[r][2] * R(c, 2);
    } else {
        using P = Layout<L>;
        constexpr int i = P::I, j = P::J, k = P::K, ri = P::C[i], rj = P::C[j], rk = P::C[k];
        const double b00 = R(ri, i), b01 = R(ri, j), b10 = R(rj, i), b11 = R(rj, j), sign = R(rk, k);
        // the 2×2 block of the turning plane, its coupling with the axis, and I_kk kept
        const double a00 = b00 * I(i, i) + b01 * I(j, i), a01 = b00 * I(i, j) + b01 * I(j, j);
        const double a10 = b10 * I(i, i) + b11 * I(j, i), a11 = b10 * I(i, j) + b11 * I(j, j);
        const double e_ij = a00 * b10 + a01 * b11, e_ik = sign * (b00 * I(i, k) + b01 * I(j, k)),
                     e_jk = sign * (b10 * I(i, k) + b11 * I(j, k));
        out[ri][ri] = a00 * b00 + a01 * b01;
        out[rj][rj] = a10 * b10 + a11 * b11;
        out[rk][rk] = I(k, k);
        out[std::min(ri, rj)][std::max(ri, rj)] = e_ij;
        out[std::min(ri, rk)][std::max(ri, rk)] = e_ik;
        out[std::min(rj, rk)][std::max(rj, rk)] = e_jk;
    }
}

// (M, H, I) += the composite (m, h, I_c) of a child whose frame is X = (R, p) in the parent
// frame: H += R·h + m·p and I += R·I_c·Rᵀ + m·(|p|²·1 − p·pᵀ) + 2·(p·R h)·1 − p·(R h)ᵀ − (R h)·pᵀ,
// which with g = R·h + m·p is I += R·I_c·Rᵀ + (p·(g + R h))·1 − p·gᵀ − (R h)·pᵀ.
// I is symmetric and kept whole, since a layout reads either of its triangles.
template <int L>
inline void add_moved_composite(const Transform& X, double m, const Vector3d& h, const Matrix3d& I_c, double& M,
                         Vector3d& H, Matrix3d& I) {
    const Vector3d& p = X.p;
    double hr[3], Ir[3][3];
    rotate<L>(X.R, h.data(), hr);
    congruence<L>(X.R, I_c, Ir);
    const double g[3] = {hr[0] + m * p[0], hr[1] + m * p[1], hr[2] + m * p[2]};
    const double alpha = p[0] * (g[0] + hr[0]) + p[1] * (g[1] + hr[1]) + p[2] * (g[2] + hr[2]);
    M += m;
    for (int r = 0; r < 3; ++r) {
        H[r] += g[r];
        for (int c = r; c < 3; ++c) {
            const double value = I(r, c) + Ir[r][c] + (r == c ? alpha : 0.0) - p[r] * g[c] - hr[r] * p[c];
            I(r, c) = value;
            I(c, r) = value;
        }
    }
}

// A wrench w = (torque n, force f) in a child frame X = (R, p) carried into the parent frame:
// f ← R·f, n ← R·n + p × f.
template <int L>
inline void move_wrench(const Transform& X, double* w) {
    const Vector3d& p = X.p;
    double n[3], f[3];
    rotate<L>(X.R, w, n);
    rotate<L>(X.R, w + 3, f);
    w[0] = n[0] + p[1] * f[2] - p[2] * f[1];
    w[1] = n[1] + p[2] * f[0] - p[0] * f[2];
    w[2] = n[2] + p[0] * f[1] - p[1] * f[0];
    w[3] = f[0], w[4] = f[1], w[5] = f[2];
}

// f(std::integral_constant<int, L>) for the layout L, so that each layout's moves are inlined
// with their indices fixed and the values they carry stay in registers.
template <class F>
inline void with_layout(std::uint8_t layout, F&& f) {
    using std::integral_constant;
    switch (layout) {
        case 0: return f(integral_constant<int, 0>{});
        case 1: return f(integral_constant<int, 1>{});
        case 2: return f(integral_constant<int, 2>{});
        case 3: return f(integral_constant<int, 3>{});
        case 4: return f(integral_constant<int, 4>{});
        case 5: return f(integral_constant<int, 5>{});
        case 6: return f(integral_constant<int, 6>{});
        case 7: return f(integral_constant<int, 7>{});
        case 8: return f(integral_constant<int, 8>{});
        case 9: return f(integral_constant<int, 9>{});
        case 10: return f(integral_constant<int, 10>{});
        case 11: return f(integral_constant<int, 11>{});
        case 12: return f(integral_constant<int, 12>{});
        case 13: return f(integral_constant<int, 13>{});
        case 14: return f(integral_constant<int, 14>{});
        case 15: return f(integral_constant<int, 15>{});
        case 16: return f(integral_constant<int, 16>{});
        case 17: return f(integral_constant<int, 17>{});
        default: return f(integral_constant<int, BodyJoint::general_rotation>{});
    }
}

// The generalized force of a joint under a wrench (n, f) in its child frame: s·n turning, s·f
// sliding.
inline double joint_force(const BodyJoint& joint, const double* w) {
    const Vector3d& s = joint.axis;
    if (joint.kind == JointKind::Revolute) return s[0] * w[0] + s[1] * w[1] + s[2] * w[2];
    return s[0] * w[3] + s[1] * w[4] + s[2] * w[5];
}

}  // namespace

Result<void> Model::mass_matrix(bool floating, const Quaterniond& base_rotation, std::span<const double> q,
                                Workspace& ws, std::span<double> out) const {
    const std::size_t J = joint_count(), n = dof_count();
    const std::size_t off = floating ? 6 : 0, N = n + off;
    VORMEK_CHECK(check_joint_vector(q, n, "q"));
    VORMEK_CHECK(check_length(out, N * N, "mass matrix output"));
    // X: each body's frame in its parent body's; (Mc, Hc, Ic): each body's composite inertia
    // about its own origin, in its own axes
    std::span<Transform> X = ws.transforms;
    std::span<double> Mc = ws.composite_mass;
    std::span<Vector3d> Hc = ws.composite_first_moment;
    std::span<Matrix3d> Ic = ws.composite_inertia;
    if (X.size() != J || Mc.size() != J || Hc.size() != J || Ic.size() != J)
        panic("mass matrix workspace does not fit the model");
    // the base rows are written whole below; a joint row holds zeros beside the entries of its
    // ancestors and descendants
    std::ranges::fill(out.subspan(off * N), 0.0);

    // the bodies do not depend on one another here, so their sines overlap
    for (std::size_t k = 0; k < n; ++k) {
        body_joints[k].place(q[k], X[k]);
        const LinkInertial& body = body_inertials[k + 1];
        Mc[k] = body.mass;
        Hc[k] = body.first_moment;
        Ic[k] = body.inertia_origin;
    }
    // the root body's inertia counts only when the base moves
    const LinkInertial& root = body_inertials[0];
    double M0 = root.mass;
    Vector3d H0 = root.first_moment;
    Matrix3d I0 = root.inertia_origin;
    const Matrix3d Rb = floating ? rotation_matrix(base_rotation) : Matrix3d::Identity();

    // leaf to root: when body k comes, its children have added their subtrees to its composite,
    // so the wrench the subtree needs for a unit rate of joint k is complete; carried up the
    // ancestors, its generalized force at each is one entry and its mirror
    for (std::size_t k = n; k-- > 0;) {
        const BodyJoint& joint = body_joints[k];
        const Vector3d& s = joint.axis;
        const Vector3d& h = Hc[k];
        const Matrix3d& I = Ic[k];
        const double m = Mc[k];
        // turning: n = I·s, f = s × h; sliding: n = h × s, f = m·s
        double w[6];
        if (joint.kind == JointKind::Revolute) {
            for (int r = 0; r < 3; ++r) w[r] = I(r, 0) * s[0] + I(r, 1) * s[1] + I(r, 2) * s[2];
            w[3] = s[1] * h[2] - s[2] * h[1], w[4] = s[2] * h[0] - s[0] * h[2], w[5] = s[0] * h[1] - s[1] * h[0];
        } else {
            w[0] = h[1] * s[2] - h[2] * s[1], w[1] = h[2] * s[0] - h[0] * s[2], w[2] = h[0] * s[1] - h[1] * s[0];
            for (int r = 0; r < 3; ++r) w[3 + r] = m * s[r];
        }
        const std::size_t col = off + k;
        std::size_t a = k;
        for (;;) {
            const BodyJoint& joint_a = body_joints[a];
            const double value = joint_force(joint_a, w);
            out[(off + a) * N + col] = value;
            out[col * N + off + a] = value;
            const std::size_t parent = body_parents[a];
            if (parent == 0) break;
            with_layout(joint_a.rotation_layout, [&](auto L) { move_wrench<L>(X[a], w); });
            a = parent - 1;
        }
        if (floating) {
            // base rows: the wrench about the root origin, turned into world axes
            with_layout(body_joints[a].rotation_layout, [&](auto L) { move_wrench<L>(X[a], w); });
            for (int r = 0; r < 3; ++r) {
                const double nw = Rb(r, 0) * w[0] + Rb(r, 1) * w[1] + Rb(r, 2) * w[2];
                const double fw = Rb(r, 0) * w[3] + Rb(r, 1) * w[4] + Rb(r, 2) * w[5];
                out[r * N + col] = out[col * N + r] = nw;
                out[(3 + r) * N + col] = out[col * N + 3 + r] = fw;
            }
        }
        const std::size_t parent = body_parents[k];
        if (parent != 0 || floating)
            with_layout(joint.rotation_layout, [&](auto L) {
                if (parent != 0)
                    add_moved_composite<L>(X[k], m, h, I, Mc[parent - 1], Hc[parent - 1], Ic[parent - 1]);
                else
                    add_moved_composite<L>(X[k], m, h, I, M0, H0, I0);
            });
    }

    if (floating) {
        // base block: the whole robot's spatial inertia about the root origin, in world axes,
        // its rotational part from the upper triangle so that the block is exactly symmetric
        double H[3], I[3][3];
        rotate<BodyJoint::general_rotation>(Rb, H0.data(), H);
        congruence<BodyJoint::general_rotation>(Rb, I0, I);
        const double Ib[6][6] = {{I[0][0], I[0][1], I[0][2], 0, -H[2], H[1]},
                                 {I[0][1], I[1][1], I[1][2], H[2], 0, -H[0]},
                                 {I[0][2], I[1][2], I[2][2], -H[1], H[0], 0},
                                 {0, H[2], -H[1], M0, 0, 0},
                                 {-H[2], 0, H[0], 0, M0, 0},
                                 {H[1], -H[0], 0, 0, 0, M0}};
        for (std::size_t r = 0; r < 6; ++r)
            for (std::size_t b = 0; b < 6; ++b) out[r * N + b] = Ib[r][b];
    }
    return {};
}

Result<void> Robot::mass_matrix(std::span<const double> q, std::span<double> out) {
    return model_->mass_matrix(false, base_frame_.rotation, q, workspace_, out);
}

}  // namespace vormek
