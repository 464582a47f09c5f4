// The velocity pass behind the centre of mass's velocity, the centroidal momentum and the kinetic
// energy: each body's spatial velocity in world axes at the root origin, v_k = v_parent + S_k·q̇_k
// (Featherstone, RBDA eq. 2.12, with no transform between the two since both sit in the one
// frame), and each body's momentum and energy summed from it.

#include "../../robot.hpp"
#include "../kinematics/checks.hpp"
#include "centroidal.hpp"

namespace vormek {

namespace {

// The whole robot's momentum about the root origin and twice its kinetic energy.
struct MotionSums {
    MassSum mass;
    Vector3d linear = Vector3d::Zero();   // Σ mᵢ·ẋᵢ
    Vector3d angular = Vector3d::Zero();  // Σ Rᵢ·I_cᵢ·Rᵢᵀ·ωᵢ + xᵢ × mᵢ·ẋᵢ
    double twice_kinetic = 0.0;           // Σ ωᵢ·Rᵢ·I_cᵢ·Rᵢᵀ·ωᵢ + mᵢ·|ẋᵢ|²
};

// Adds a body of rotation R and centre of mass x, moving with (ω; v), v that of the point at
// the root origin: its centre of mass moves with ẋ = v + ω × x.
inline void add_body(const LinkInertial& in, const Matrix3d& R, const Vector3d& x, const Vector3d& w,
                     const Vector3d& v, MotionSums& sums) {
    const Vector3d xd = v + w.cross(x);
    const Vector3d spin = R * (in.inertia_com * (R.transpose() * w));  // about its centre of mass
    const Vector3d p = in.mass * xd;
    sums.linear += p;
    sums.angular += spin + x.cross(p);
    sums.twice_kinetic += w.dot(spin) + xd.dot(p);
}

// base_velocity: the root's (ω; ṗ), zero on a fixed base; q and qd checked by the caller.
MotionSums motion_sums(const Model& model, const Quaterniond& base_rotation, const Twist& base_velocity,
                       std::span<const double> q, std::span<const double> qd, Workspace& ws) {
    const std::size_t n = model.dof_count();
    std::span<Transform> X = ws.transforms;
    std::span<Vector6d> V = ws.v;
    if (V.size() < n) panic("body velocity workspace does not fit the model");
    const Matrix3d R0 = rotation_matrix(base_rotation);
    MotionSums sums;
    const Vector6d v0 = stack(base_velocity.angular, base_velocity.linear);
    // root to leaf: the body's velocity from its parent's, then its momentum and energy
    sums.mass = place_masses(model, R0, q, X, [&](std::size_t k, double, const Vector3d& x) {
        Vector6d S;
        motion_column(model.body_joints[k], X[k], S.data());
        const std::size_t parent = model.body_parents[k];
        V[k] = (parent == 0 ? v0 : V[parent - 1]) + S * qd[k];
        add_body(model.body_inertials[k + 1], X[k].R, x, V[k].head<3>(), V[k].tail<3>(), sums);
    });
    // the root body, which moves only with a floating base
    const LinkInertial& in0 = model.body_inertials[0];
    add_body(in0, R0, R0 * in0.com, base_velocity.angular, base_velocity.linear, sums);
    return sums;
}

Result<void> center_of_mass_velocity(const Model& model, const Quaterniond& base_rotation,
                                     const Twist& base_velocity, std::span<const double> q,
                                     std::span<const double> qd, Workspace& ws, std::span<double> out) {
    VORMEK_CHECK(check_joint_vector(q, model.dof_count(), "q"));
    VORMEK_CHECK(check_joint_vector(qd, model.dof_count(), "qd"));
    VORMEK_CHECK(check_length(out, 3, "center of mass velocity output"));
    const MotionSums sums = motion_sums(model, base_rotation, base_velocity, q, qd, ws);
    const Vector3d cd = sums.linear / sums.mass.mass;
    for (int r = 0; r < 3; ++r) out[r] = cd[r];
    return {};
}

// [k; p]: the angular momentum about the centre of mass c, k = k_o − c × p, and the linear one.
Result<Twist> momentum(const Model& model, const Quaterniond& base_rotation, const Twist& base_velocity,
                       std::span<const double> q, std::span<const double> qd, Workspace& ws) {
    VORMEK_CHECK(check_joint_vector(q, model.dof_count(), "q"));
    VORMEK_CHECK(check_joint_vector(qd, model.dof_count(), "qd"));
    const MotionSums sums = motion_sums(model, base_rotation, base_velocity, q, qd, ws);
    return Twist{sums.angular - sums.mass.momentum_point().cross(sums.linear), sums.linear};
}

Result<double> kinetic_energy(const Model& model, const Quaterniond& base_rotation, const Twist& base_velocity,
                              std::span<const double> q, std::span<const double> qd, Workspace& ws) {
    VORMEK_CHECK(check_joint_vector(q, model.dof_count(), "q"));
    VORMEK_CHECK(check_joint_vector(qd, model.dof_count(), "qd"));
    return 0.5 * motion_sums(model, base_rotation, base_velocity, q, qd, ws).twice_kinetic;
}

}  // namespace

Result<void> Robot::center_of_mass_velocity(std::span<const double> q, std::span<const double> qd,
                                            std::span<double> out) {
    return vormek::center_of_mass_velocity(*model_, base_frame_.rotation, Twist{}, q, qd, workspace_, out);
}

Result<void> FloatingRobot::center_of_mass_velocity(const BaseState& base, std::span<const double> q,
                                                    std::span<const double> qd, std::span<double> out) {
    return vormek::center_of_mass_velocity(*model_, base.frame().rotation, base.velocity(), q, qd, workspace_, out);
}

Result<Twist> Robot::momentum(std::span<const double> q, std::span<const double> qd) {
    return vormek::momentum(*model_, base_frame_.rotation, Twist{}, q, qd, workspace_);
}

Result<Twist> FloatingRobot::momentum(const BaseState& base, std::span<const double> q, std::span<const double> qd) {
    return vormek::momentum(*model_, base.frame().rotation, base.velocity(), q, qd, workspace_);
}

Result<double> Robot::kinetic_energy(std::span<const double> q, std::span<const double> qd) {
    return vormek::kinetic_energy(*model_, base_frame_.rotation, Twist{}, q, qd, workspace_);
}

Result<double> FloatingRobot::kinetic_energy(const BaseState& base, std::span<const double> q,
                                             std::span<const double> qd) {
    return vormek::kinetic_energy(*model_, base.frame().rotation, base.velocity(), q, qd, workspace_);
}

}  // namespace vormek
