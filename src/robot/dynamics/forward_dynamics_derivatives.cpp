// Derivatives of forward dynamics. q̈ = FD(q, q̇, τ) is defined by ID(q, q̇, q̈) = τ, loads
// included on both sides; differentiating that identity at the q̈ forward dynamics returns,
//     ∂q̈/∂q = −M⁻¹·∂τ/∂q,   ∂q̈/∂q̇ = −M⁻¹·∂τ/∂q̇,   ∂q̈/∂τ = M⁻¹,
// where ∂τ/∂q and ∂τ/∂q̇ are those of inverse dynamics at (q, q̇, q̈). Forward dynamics leaves
// its articulated bodies (S, U, D) in the workspace, from which M⁻¹ comes without M, and is
// applied to the two derivative blocks.

#include "../../robot.hpp"
#include "../checks.hpp"
#include "articulated.hpp"
#include "spatial.hpp"

namespace vormek {

Result<void> Model::forward_dynamics_derivatives(bool floating, const Quaterniond& base_rotation,
                                                 const Twist& base_velocity, const Vector3d& lift,
                                                 std::span<const double> q,
                                                 std::span<const double> qd, std::span<const double> forces,
                                                 std::span<const Load> loads, Workspace& ws, std::span<double> dq,
                                                 std::span<double> dv, std::span<double> inverse) const {
    const std::size_t n = dof_count(), N = n + (floating ? 6 : 0);
    VORMEK_CHECK(check_joint_vector(q, n, "q"));
    VORMEK_CHECK(check_joint_vector(qd, n, "qd"));
    VORMEK_CHECK(check_length(forces, N, "forward dynamics generalized forces"));
    VORMEK_CHECK(check_length(dq, N * N, "forward dynamics derivative output"));
    VORMEK_CHECK(check_length(dv, N * N, "forward dynamics derivative output"));
    VORMEK_CHECK(check_length(inverse, N * N, "mass matrix inverse output"));
    // q̈ first: its articulated bodies stay in the workspace, the columns in the load slots
    const std::span<double> qdd = std::span(ws.derivative_qdd).first(N);
    VORMEK_CHECK(forward_dynamics(floating, base_rotation, base_velocity, lift, q, qd, forces, loads, ws, qdd));
    // a tree of short parts takes the product with the inverse, from a copy of ∂τ/∂q and
    // ∂τ/∂q̇ (so that ∂τ goes there, τ after it); a long chain the solve in place, which grows
    // with n² where the product grows with n³
    depth_first(*this, ws);
    const bool product = product_is_cheaper(*this, floating, ws);
    const std::span<double> scratch = ws.derivative_scratch;
    const std::span<double> dtau_dq = product ? scratch.first(N * N) : dq,
                            dtau_dv = product ? scratch.subspan(N * N, N * N) : dv;
    const Twist base_acceleration{Vector3d(qdd[0], qdd[1], qdd[2]), Vector3d(qdd[3], qdd[4], qdd[5])};
    VORMEK_CHECK(inverse_dynamics_derivatives(floating, base_rotation, base_velocity,
                                              floating ? base_acceleration : Twist{}, lift, q, qd, qdd.subspan(N - n),
                                              loads, ws, dtau_dq, dtau_dv, scratch.subspan(2 * N * N, N), true));
    const std::span<const Vector6d> S = ws.loads, U = ws.U;
    const std::span<const double> D = ws.D;
    // a floating root's articulated inertia: its own, and each child subtree's through its joint
    Matrix6d IA0;
    if (floating) {
        place_spatial_inertia(body_inertials[0], body_rows(reference_root(true, base_rotation)), IA0);
        for (std::size_t k = 0; k < n; ++k)
            if (body_parents[k] == 0) articulate_into(ws.IA[k], U[k].data(), D[k], IA0);
    }
    if (!articulated_inverse(*this, S, U, D, floating ? &IA0 : nullptr, ws, inverse))
        return fail(errors::ForwardDynamicsSingularBaseInertia{});
    if (product) {
        articulated_product(*this, floating, ws, inverse, scratch, dq, dv);
    } else {
        articulated_solve(*this, S, U, D, ws, dq, -1.0);
        articulated_solve(*this, S, U, D, ws, dv, -1.0);
    }
    return {};
}

Result<void> Robot::forward_dynamics_derivatives(std::span<const double> q, std::span<const double> qd,
                                                 std::span<const double> forces, std::span<const Load> loads,
                                                 std::span<double> dq, std::span<double> dv,
                                                 std::span<double> inverse) {
    return model_->forward_dynamics_derivatives(false, base_frame_.rotation, Twist{}, gravity_.lift(), q, qd, forces,
                                                loads, workspace_, dq, dv, inverse);
}

Result<void> FloatingRobot::forward_dynamics_derivatives(const BaseState& base, std::span<const double> q,
                                                         std::span<const double> qd, std::span<const double> forces,
                                                         std::span<const Load> loads, std::span<double> dq,
                                                         std::span<double> dv, std::span<double> inverse) {
    return model_->forward_dynamics_derivatives(true, base.frame().rotation, base.velocity(), gravity_.lift(), q, qd,
                                                forces, loads, workspace_, dq, dv, inverse);
}

}  // namespace vormek
