// Derivatives of forward dynamics. q̈ = FD(q, q̇, τ) is defined by ID(q, q̇, q̈) = τ, loads
// included on both sides; differentiating that identity at the q̈ forward dynamics returns,
//     ∂q̈/∂q = −M⁻¹·∂τ/∂q,   ∂q̈/∂q̇ = −M⁻¹·∂τ/∂q̇,   ∂q̈/∂τ = M⁻¹,
// where ∂τ/∂q and ∂τ/∂q̇ are those of inverse dynamics at (q, q̇, q̈). Forward dynamics leaves
// its articulated bodies (S, U, D) in the workspace, so M⁻¹ is applied to the two derivative
// blocks and to the identity without being formed first.

#include "../../robot.hpp"
#include "../kinematics/checks.hpp"
#include "articulated.hpp"

namespace vormek {

Result<void> Model::forward_dynamics_derivatives(bool floating, const Quaterniond& base_rotation,
                                                 std::span<const double> q, std::span<const double> qd,
                                                 std::span<const double> forces, std::span<const Load> loads,
                                                 Workspace& ws, std::span<double> dq, std::span<double> dv,
                                                 std::span<double> inverse) const {
    const std::size_t n = dof_count();
    if (floating) panic("floating-base derivatives go through their own entry");
    VORMEK_CHECK(check_joint_vector(q, n, "q"));
    VORMEK_CHECK(check_joint_vector(qd, n, "qd"));
    VORMEK_CHECK(check_length(forces, n, "forward dynamics generalized forces"));
    VORMEK_CHECK(check_length(dq, n * n, "forward dynamics derivative output"));
    VORMEK_CHECK(check_length(dv, n * n, "forward dynamics derivative output"));
    VORMEK_CHECK(check_length(inverse, n * n, "mass matrix inverse output"));
    // q̈ first: its articulated bodies stay in the workspace, the columns in the load slots
    const std::span<double> qdd = std::span(ws.derivative_qdd).first(n);
    VORMEK_CHECK(forward_dynamics(false, base_rotation, Twist{}, q, qd, forces, loads, ws, qdd));
    // ∂τ/∂q and ∂τ/∂q̇ at that q̈, straight into the outputs (τ itself into scratch)
    VORMEK_CHECK(inverse_dynamics_derivatives(false, base_rotation, q, qd, qdd, loads, ws, dq, dv,
                                              std::span(ws.ik_step).first(n)));
    const std::span<const Vector6d> S = ws.loads, U = ws.U;
    const std::span<const double> D = ws.D;
    articulated_solve(*this, S, U, D, ws, dq, -1.0);
    articulated_solve(*this, S, U, D, ws, dv, -1.0);
    articulated_inverse(*this, S, U, D, ws, inverse);
    return {};
}

Result<void> Robot::forward_dynamics_derivatives(std::span<const double> q, std::span<const double> qd,
                                                 std::span<const double> forces, std::span<const Load> loads,
                                                 std::span<double> dq, std::span<double> dv,
                                                 std::span<double> inverse) {
    return model_->forward_dynamics_derivatives(false, base_frame_.rotation, q, qd, forces, loads, workspace_, dq,
                                                dv, inverse);
}

}  // namespace vormek
