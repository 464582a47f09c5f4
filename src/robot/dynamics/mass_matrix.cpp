// Composite-rigid-body mass matrix (Featherstone, RBDA table 6.2) in one reference frame: the
// root origin with world axes (floating base), or root axes and, for each subtree of the root,
// its first body's origin (fixed base). Every body's pose, inertia and motion column are placed
// there root to leaf; a
// subtree's inertia is then a plain sum of its bodies', and the entry of DOF k with an ancestor
// DOF is one six-value product of the ancestor's motion column with the force F_k the subtree
// of k needs for a unit rate of its joint. Each value is written to both mirror entries.
//
// In body frames the composites would be moved into their parents one after another, each move
// waiting for the one below it; here the only chain is the placement, root to leaf, and it is
// carried in registers.

#include <algorithm>

#include "../../robot.hpp"
#include "../checks.hpp"
#include "../kinematics/chain.hpp"
#include "../workspace.hpp"
#include "body_inertia.hpp"
#include "fused.hpp"
#include "spatial.hpp"

namespace vormek {

namespace {

// Subtree sums.
inline void add_inertia(double m, const Vector3d& h, const Matrix3d& I, double& M, Vector3d& H, Matrix3d& J) {
    M += m;
    for (int r = 0; r < 3; ++r) {
        H[r] += h[r];
        for (int k = 0; k < 3; ++k) J(r, k) += I(r, k);
    }
}

// The whole computation, inlined into its portable and fused builds.
[[gnu::always_inline]] inline Result<void> composite_mass_matrix(const Model& model, bool floating,
                                                                 const Quaterniond& base_rotation,
                                                                 std::span<const double> q, Workspace& ws,
                                                                 std::span<double> out) {
    const std::vector<BodyJoint>& body_joints = model.body_joints;
    const std::vector<std::size_t>& body_parents = model.body_parents;
    const std::vector<LinkInertial>& body_inertials = model.body_inertials;
    const std::size_t J = model.joint_count(), n = model.dof_count();
    const std::size_t off = floating ? 6 : 0, N = n + off;
    VORMEK_CHECK(check_joint_vector(q, n, "q"));
    VORMEK_CHECK(check_length(out, N * N, "mass matrix output"));
    // T: body poses in the reference frame; S: motion columns there (the spatial-velocity
    // buffer, which only forward dynamics otherwise uses); (Mc, Hc, Ic): each subtree's mass,
    // first moment and rotational inertia about the reference origin
    std::span<Transform> T = ws.transforms;
    std::span<Vector6d> S = ws.v;
    std::span<double> Mc = ws.composite_mass;
    std::span<Vector3d> Hc = ws.composite_first_moment;
    std::span<Matrix3d> Ic = ws.composite_inertia;
    if (T.size() != J || S.size() != J || Mc.size() != J || Hc.size() != J || Ic.size() != J)
        panic("mass matrix workspace does not fit the model");
    // the base rows are written whole below; a joint row holds zeros beside the entries of its
    // ancestors and descendants
    std::ranges::fill(out.subspan(off * N), 0.0);

    const Transform root = reference_root(floating, base_rotation);
    // the root body's inertia counts only when the base moves
    double M0 = 0;
    Vector3d H0 = Vector3d::Zero();
    Matrix3d I0 = Matrix3d::Zero();
    if (floating) place_body_inertia(body_inertials[0], body_rows(root), M0, H0, I0);

    // root to leaf: each body's pose (each subtree of a fixed root about its first body's origin,
    // reference_root), inertia and motion column
    walk_tree(
        model, q, root, T,
        [&](std::size_t k, const Transform& X, const BodyRows& pose) {
            place_body_inertia(body_inertials[k + 1], pose, Mc[k], Hc[k], Ic[k]);
            motion_column(body_joints[k], X, S[k].data());
        },
        !floating);

    // leaf to root: when body k comes, its children have added their subtrees to its inertia,
    // so the force F = I_k·S_k that the subtree needs for a unit rate of joint k is complete;
    // its projection on the motion column of k and of every ancestor is one entry and its mirror
    for (std::size_t k = n; k-- > 0;) {
        const Vector6d& Sk = S[k];
        const Matrix3d& I = Ic[k];
        const Vector3d& h = Hc[k];
        const double m = Mc[k];
        const double w0 = Sk[0], w1 = Sk[1], w2 = Sk[2], v0 = Sk[3], v1 = Sk[4], v2 = Sk[5];
        // F = (I·ω + h × v, m·v + ω × h)
        double F[6];
        F[0] = I(0, 0) * w0 + I(0, 1) * w1 + I(0, 2) * w2 + h[1] * v2 - h[2] * v1;
        F[1] = I(0, 1) * w0 + I(1, 1) * w1 + I(1, 2) * w2 + h[2] * v0 - h[0] * v2;
        F[2] = I(0, 2) * w0 + I(1, 2) * w1 + I(2, 2) * w2 + h[0] * v1 - h[1] * v0;
        F[3] = m * v0 + w1 * h[2] - w2 * h[1];
        F[4] = m * v1 + w2 * h[0] - w0 * h[2];
        F[5] = m * v2 + w0 * h[1] - w1 * h[0];
        const std::size_t col = off + k;
        for (std::size_t a = k;;) {
            const Vector6d& Sa = S[a];
            const double value =
                Sa[0] * F[0] + Sa[1] * F[1] + Sa[2] * F[2] + Sa[3] * F[3] + Sa[4] * F[4] + Sa[5] * F[5];
            out[(off + a) * N + col] = value;
            out[col * N + off + a] = value;
            const std::size_t parent = body_parents[a];
            if (parent == 0) break;
            a = parent - 1;
        }
        // base rows: F is already about the base origin in world axes
        for (std::size_t r = 0; r < off; ++r) {
            out[r * N + col] = F[r];
            out[col * N + r] = F[r];
        }
        const std::size_t parent = body_parents[k];
        if (parent == 0 && !floating) continue;
        if (parent == 0)
            add_inertia(m, h, I, M0, H0, I0);
        else
            add_inertia(m, h, I, Mc[parent - 1], Hc[parent - 1], Ic[parent - 1]);
    }

    if (floating) {
        // base block: the whole robot's spatial inertia about the base origin, world axes
        // (I0's lower triangle mirrored from its upper one)
        const double Ib[6][6] = {{I0(0, 0), I0(0, 1), I0(0, 2), 0, -H0[2], H0[1]},
                                 {I0(0, 1), I0(1, 1), I0(1, 2), H0[2], 0, -H0[0]},
                                 {I0(0, 2), I0(1, 2), I0(2, 2), -H0[1], H0[0], 0},
                                 {0, H0[2], -H0[1], M0, 0, 0},
                                 {-H0[2], 0, H0[0], 0, M0, 0},
                                 {H0[1], -H0[0], 0, 0, 0, M0}};
        for (std::size_t r = 0; r < 6; ++r)
            for (std::size_t b = 0; b < 6; ++b) out[r * N + b] = Ib[r][b];
    }
    return {};
}

#ifdef VORMEK_FUSED_KERNELS
VORMEK_FUSED Result<void> fused_mass_matrix(const Model& model, bool floating, const Quaterniond& base_rotation,
                                           std::span<const double> q, Workspace& ws, std::span<double> out) {
    return composite_mass_matrix(model, floating, base_rotation, q, ws, out);
}
#endif

}  // namespace

Result<void> Model::mass_matrix(bool floating, const Quaterniond& base_rotation, std::span<const double> q,
                                Workspace& ws, std::span<double> out) const {
#ifdef VORMEK_FUSED_KERNELS
    if (fused_kernels()) return fused_mass_matrix(*this, floating, base_rotation, q, ws, out);
#endif
    return composite_mass_matrix(*this, floating, base_rotation, q, ws, out);
}

Result<void> Robot::mass_matrix(std::span<const double> q, std::span<double> out) {
    return model_->mass_matrix(false, base_frame_.rotation, q, workspace_, out);
}

}  // namespace vormek
