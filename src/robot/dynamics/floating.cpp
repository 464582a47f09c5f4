// Floating-base operations: the shared kernels with the floating flag set, the root wrench
// turned into world axes ahead of the joint entries. Each reads only the base-state fields it
// needs (the inverse-dynamics kernel reads the angular velocity only; the base linear velocity
// does not enter because the base acceleration is the classical one of the base origin).

#include <algorithm>

#include "../../robot.hpp"
#include "../checks.hpp"
#include "spatial.hpp"

namespace vormek {

namespace {

// out[0..6] = (R_base·n, R_base·f): the root wrench in world axes, still about the base origin.
// The kernel's result is read where it lies, entry by entry: it was just written that way.
void write_base_wrench(const Quaterniond& base_rotation, const Result<Vector6d>& root, std::span<double> out) {
    const Vector6d& w = *root;
    const Vector3d n = rotate(base_rotation, Vector3d(w[0], w[1], w[2]));
    const Vector3d f = rotate(base_rotation, Vector3d(w[3], w[4], w[5]));
    for (int r = 0; r < 3; ++r) {
        out[r] = n[r];
        out[3 + r] = f[r];
    }
}

}  // namespace

Result<void> FloatingRobot::inverse_dynamics(const BaseState& base, std::span<const double> q,
                                             std::span<const double> qd, std::span<const double> qdd,
                                             std::span<const Load> loads, std::span<double> out) {
    const Model& m = *model_;
    const std::size_t n = m.dof_count();
    VORMEK_CHECK(check_joint_vector(q, n, "q"));
    VORMEK_CHECK(check_joint_vector(qd, n, "qd"));
    VORMEK_CHECK(check_joint_vector(qdd, n, "qdd"));
    VORMEK_CHECK(check_length(out, n + 6, "inverse dynamics output"));
    Workspace& ws = workspace_;
    VORMEK_TRY(root_load, m.prepare_indexed_loads(loads, ws.loads));
    std::ranges::fill(out, 0.0);
    const Quaterniond& R = base.frame().rotation;
    const Result<Vector6d> root = m.inverse_dynamics_kernel_validated(
                         true, q, qd, qdd, R, base.velocity(), base.acceleration(), gravity_.lift(),
                         root_load, ws.transforms, ws.angular_velocity, ws.angular_acceleration, ws.origin_acceleration,
                         ws.link_acceleration, ws.loads, out.subspan(6));
    if (!root) return fail(root.error());
    write_base_wrench(R, root, out);
    return {};
}

Result<void> FloatingRobot::gravity(const BaseState& base, std::span<const double> q, std::span<const Load> loads,
                                    std::span<double> out) {
    const Model& m = *model_;
    VORMEK_CHECK(check_joint_vector(q, m.dof_count(), "q"));
    VORMEK_CHECK(check_length(out, m.dof_count() + 6, "gravity output"));
    Workspace& ws = workspace_;
    VORMEK_TRY(root_load, m.prepare_indexed_loads(loads, ws.loads));
    std::ranges::fill(out, 0.0);
    const Quaterniond& R = base.frame().rotation;
    const Result<Vector6d> root = m.gravity_kernel(q, R, gravity_.lift(), root_load, ws.transforms,
                                                   ws.angular_acceleration, ws.loads, out.subspan(6));
    if (!root) return fail(root.error());
    write_base_wrench(R, root, out);
    return {};
}

Result<void> FloatingRobot::velocity_product_forces(const BaseState& base, std::span<const double> q,
                                                    std::span<const double> qd, std::span<double> out) {
    const Model& m = *model_;
    const std::size_t n = m.dof_count();
    VORMEK_CHECK(check_joint_vector(q, n, "q"));
    VORMEK_CHECK(check_joint_vector(qd, n, "qd"));
    VORMEK_CHECK(check_length(out, n + 6, "velocity product output"));
    Workspace& ws = workspace_;
    // no accelerations, no gravity, no loads: the base moves only with its velocity
    std::ranges::fill(ws.ik_step, 0.0);
    for (Vector6d& slot : ws.loads) slot.setZero();
    std::ranges::fill(out, 0.0);
    const Quaterniond& R = base.frame().rotation;
    const Result<Vector6d> root = m.inverse_dynamics_kernel_validated(true, q, qd, ws.ik_step, R, base.velocity(), Twist{},
                                                         Vector3d::Zero(), Vector6d::Zero(), ws.transforms,
                                                         ws.angular_velocity, ws.angular_acceleration,
                                                         ws.origin_acceleration, ws.link_acceleration, ws.loads,
                                                         out.subspan(6));
    if (!root) return fail(root.error());
    write_base_wrench(R, root, out);
    return {};
}

Result<void> FloatingRobot::mass_matrix(const BaseState& base, std::span<const double> q, std::span<double> out) {
    return model_->mass_matrix(true, base.frame().rotation, q, workspace_, out);
}

Result<void> FloatingRobot::forward_dynamics(const BaseState& base, std::span<const double> q,
                                             std::span<const double> qd, std::span<const double> forces,
                                             std::span<const Load> loads, std::span<double> out) {
    return model_->forward_dynamics(true, base.frame().rotation, base.velocity(), gravity_.lift(), q, qd, forces,
                                    loads, workspace_, out);
}

}  // namespace vormek
