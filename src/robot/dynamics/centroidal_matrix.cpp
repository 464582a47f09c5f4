// The centroidal momentum matrix A, h = A·u with h = [k; p] the angular momentum about the centre
// of mass and the linear momentum, world axes (Orin and Goswami's centroidal map). Column k is
// the momentum of the subtree of body k + 1 moving at a unit rate of joint k: the composite
// inertia of the subtree times its motion column, F_k = I_k^c·S_k, as in the composite-rigid-
// body algorithm (RBDA table 6.2) but with no projection onto the ancestors; then moved from
// the root origin, where everything is placed, to the centre of mass.

#include "../../robot.hpp"
#include "../checks.hpp"
#include "body_inertia.hpp"
#include "centroidal.hpp"
#include "fused.hpp"

namespace vormek {

namespace {

// The momentum (I·ω + h × v; m·v + ω × h) of a body of mass m, first moment h and rotational
// inertia I (upper triangle) about the root origin, moving with S = (ω; v), written about the
// point c: its angular part less c × the linear part.
inline void momentum_about(double m, const Vector3d& h, const Matrix3d& I, const double* S, const Vector3d& c,
                           double* out) {
    const double w0 = S[0], w1 = S[1], w2 = S[2], v0 = S[3], v1 = S[4], v2 = S[5];
    const double f0 = m * v0 + w1 * h[2] - w2 * h[1];
    const double f1 = m * v1 + w2 * h[0] - w0 * h[2];
    const double f2 = m * v2 + w0 * h[1] - w1 * h[0];
    out[0] = I(0, 0) * w0 + I(0, 1) * w1 + I(0, 2) * w2 + h[1] * v2 - h[2] * v1 - (c[1] * f2 - c[2] * f1);
    out[1] = I(0, 1) * w0 + I(1, 1) * w1 + I(1, 2) * w2 + h[2] * v0 - h[0] * v2 - (c[2] * f0 - c[0] * f2);
    out[2] = I(0, 2) * w0 + I(1, 2) * w1 + I(2, 2) * w2 + h[0] * v1 - h[1] * v0 - (c[0] * f1 - c[1] * f0);
    out[3] = f0, out[4] = f1, out[5] = f2;
}

// (M, H, J) += (m, h, I), upper triangles.
inline void add_subtree(double m, const Vector3d& h, const Matrix3d& I, double& M, Vector3d& H, Matrix3d& J) {
    M += m;
    H += h;
    for (int r = 0; r < 3; ++r)
        for (int k = r; k < 3; ++k) J(r, k) += I(r, k);
}

// The whole computation, inlined into its portable and fused builds.
[[gnu::always_inline]] inline Result<void> centroidal_map(const Model& model, bool floating,
                                                          const Quaterniond& base_rotation, std::span<const double> q,
                                                          Workspace& ws, std::span<double> out) {
    const std::size_t n = model.dof_count(), off = floating ? 6 : 0;
    VORMEK_CHECK(check_joint_vector(q, n, "q"));
    VORMEK_CHECK(check_length(out, 6 * (n + off), "centroidal momentum matrix output"));
    std::span<Transform> X = ws.transforms;
    std::span<double> Mc = ws.composite_mass;
    std::span<Vector3d> Hc = ws.composite_first_moment;
    std::span<Matrix3d> Ic = ws.composite_inertia;
    if (Mc.size() < n || Hc.size() < n || Ic.size() < n) panic("subtree workspace does not fit the model");

    // root to leaf: each body's inertia about the root origin starts its subtree's
    const Matrix3d R0 = rotation_matrix(base_rotation);
    const MassSum total = place_masses(model, R0, q, X, [&](std::size_t k, const BodyRows& pose, const Vector3d&) {
        place_body_inertia(model.body_inertials[k + 1], pose, Mc[k], Hc[k], Ic[k]);
    });
    const Vector3d c = total.momentum_point();
    // the whole robot's, for the base columns
    double M0 = 0.0;
    Vector3d H0 = Vector3d::Zero();
    Matrix3d I0 = Matrix3d::Zero();
    if (floating) place_body_inertia(model.body_inertials[0], body_rows(Transform{R0, Vector3d::Zero()}), M0, H0, I0);

    // leaf to root: when body k comes, its subtree is complete: its column, then it joins its
    // parent's
    for (std::size_t k = n; k-- > 0;) {
        double S[6];
        motion_column(model.body_joints[k], X[k], S);
        momentum_about(Mc[k], Hc[k], Ic[k], S, c, &out[6 * (off + k)]);
        const std::size_t parent = model.body_parents[k];
        if (parent != 0)
            add_subtree(Mc[k], Hc[k], Ic[k], Mc[parent - 1], Hc[parent - 1], Ic[parent - 1]);
        else if (floating)
            add_subtree(Mc[k], Hc[k], Ic[k], M0, H0, I0);
    }

    // the base: turning about e_i through the root origin, and moving the root origin along e_i
    // (no angular momentum about c, a linear one of m·e_i)
    for (std::size_t i = 0; i < 3 && floating; ++i) {
        const double turn[6] = {double(i == 0), double(i == 1), double(i == 2), 0.0, 0.0, 0.0};
        momentum_about(M0, H0, I0, turn, c, &out[6 * i]);
        double* column = &out[6 * (3 + i)];
        for (std::size_t r = 0; r < 6; ++r) column[r] = r == 3 + i ? total.mass : 0.0;
    }
    return {};
}

#ifdef VORMEK_FUSED_KERNELS
VORMEK_FUSED Result<void> fused_centroidal_map(const Model& model, bool floating, const Quaterniond& base_rotation,
                                               std::span<const double> q, Workspace& ws, std::span<double> out) {
    return centroidal_map(model, floating, base_rotation, q, ws, out);
}
#endif

Result<void> centroidal_momentum_matrix(const Model& model, bool floating, const Quaterniond& base_rotation,
                                        std::span<const double> q, Workspace& ws, std::span<double> out) {
#ifdef VORMEK_FUSED_KERNELS
    if (fused_kernels()) return fused_centroidal_map(model, floating, base_rotation, q, ws, out);
#endif
    return centroidal_map(model, floating, base_rotation, q, ws, out);
}

}  // namespace

Result<void> Robot::centroidal_momentum_matrix(std::span<const double> q, std::span<double> out) {
    return vormek::centroidal_momentum_matrix(*model_, false, base_frame_.rotation, q, workspace_, out);
}

Result<void> FloatingRobot::centroidal_momentum_matrix(const BaseState& base, std::span<const double> q,
                                                       std::span<double> out) {
    return vormek::centroidal_momentum_matrix(*model_, true, base.frame().rotation, q, workspace_, out);
}

}  // namespace vormek
