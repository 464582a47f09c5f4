#pragma once
// Robot handles: a shared, immutable Model paired with the workspace every computation writes.
// A handle is used by one thread at a time.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

#include "model/model.hpp"
#include "robot/kinematics/ik_options.hpp"
#include "robot/kinematics/solve_ik_options.hpp"
#include "robot/workspace.hpp"

namespace vormek {

// The gravity every handle starts with: standard gravity along world −z, m/s².
inline const Vector3d default_gravity{0.0, 0.0, -standard_gravity};

// A handle's gravity: the vector a user sets, and the upward acceleration −g that the dynamics
// kernels give the base in its place (so that no body needs a gravity term of its own).
class Gravity {
public:
    // World axes, m/s²; a non-finite entry keeps the old vector and reports "gravity".
    Result<void> set(const Vector3d& g);
    const Vector3d& vector() const { return g_; }
    const Vector3d& lift() const { return lift_; }

private:
    Vector3d g_ = default_gravity;
    Vector3d lift_{0.0, 0.0, standard_gravity};
};

// Which mass a floating root needs: that of the root link itself (the default), or that of the
// root body, the root link with every link fixed to it, which is what the dynamics move.
enum class RootMass : std::uint8_t { Link, Body };

// Fixed base: the root link sits in the world at a stored base frame.
class Robot {
public:
    explicit Robot(std::shared_ptr<const Model> model);
    static Result<Robot> from_urdf(const std::filesystem::path& path);

    const Model& model() const { return *model_; }
    const Pose& base_frame() const { return base_frame_; }
    Workspace& workspace() { return workspace_; }

    // Stores the pose as given (callers normalise the quaternion); a non-finite number keeps
    // the old frame and reports the base state error.
    Result<void> set_base_frame(const Pose& frame);

    // The gravitational acceleration in world axes, m/s², that every dynamics method uses.
    const Vector3d& gravity_vector() const { return gravity_.vector(); }
    Result<void> set_gravity(const Vector3d& g) { return gravity_.set(g); }

    Result<Pose> forward_kinematics(std::span<const double> q, LinkId target);
    // Every link's world pose in one walk: 7·L values, link l's translation then quaternion
    // (x, y, z, w) at 7·l.
    Result<void> link_poses(std::span<const double> q, std::span<double> out);

    // --- velocities, accelerations, Jacobians, inverse kinematics ---
    Result<Twist> forward_velocity_kinematics(std::span<const double> q, std::span<const double> qd, LinkId target,
                                              const Pose& tool = Pose::identity());
    Result<Twist> forward_acceleration_kinematics(std::span<const double> q, std::span<const double> qd,
                                                  std::span<const double> qdd, LinkId target);
    // 6·n values, column k the twist of the link origin per unit velocity of DOF k.
    Result<void> jacobian(std::span<const double> q, LinkId target, std::span<double> out);
    Result<void> jacobian_derivative(std::span<const double> q, std::span<const double> qd, LinkId target,
                                     std::span<double> out);
    // Joint positions that put `target` at the world pose `desired`, starting from `initial_q`;
    // `out` is written only on success.
    Result<void> inverse_kinematics(std::span<const double> initial_q, LinkId target, const Pose& desired,
                                    const IkOptions& options, std::span<double> out);
    // The same kept inside the joint limits at every iterate, with seeded restarts: `out` holds
    // the solution, or after IkNoSolution the best iterate met (also inside the limits).
    Result<void> solve_ik(std::span<const double> q0, LinkId target, const Pose& desired,
                          const SolveIkOptions& options, std::span<double> out, IterateObserver observe = {});

    // --- dynamics: joint-space vectors of n values, the mass matrix n × n row-major ---
    Result<void> inverse_dynamics(std::span<const double> q, std::span<const double> qd,
                                  std::span<const double> qdd, std::span<const Load> loads, std::span<double> out);
    Result<void> gravity(std::span<const double> q, std::span<const Load> loads, std::span<double> out);
    Result<void> velocity_product_forces(std::span<const double> q, std::span<const double> qd,
                                         std::span<double> out);
    Result<void> mass_matrix(std::span<const double> q, std::span<double> out);
    Result<void> forward_dynamics(std::span<const double> q, std::span<const double> qd,
                                  std::span<const double> forces, std::span<const Load> loads, std::span<double> out);
    // Derivatives: n × n row-major blocks, entry (i, j) the derivative of output i by input j.
    Result<void> inverse_dynamics_derivatives(std::span<const double> q, std::span<const double> qd,
                                              std::span<const double> qdd, std::span<const Load> loads,
                                              std::span<double> dq, std::span<double> dv, std::span<double> tau);
    Result<void> forward_dynamics_derivatives(std::span<const double> q, std::span<const double> qd,
                                              std::span<const double> forces, std::span<const Load> loads,
                                              std::span<double> dq, std::span<double> dv, std::span<double> inverse);
    Result<void> mass_matrix_inverse(std::span<const double> q, std::span<double> out);

    // --- centre of mass, momentum and energy of the whole robot (every link, the root and what
    // is fixed to it included), world axes; matrices column by column ---
    // c (3 values), ċ (3 values), J_c (3·n values); NaN for a robot without mass
    Result<void> center_of_mass(std::span<const double> q, std::span<double> out);
    Result<void> center_of_mass_velocity(std::span<const double> q, std::span<const double> qd,
                                         std::span<double> out);
    Result<void> center_of_mass_jacobian(std::span<const double> q, std::span<double> out);
    // [angular momentum about c; linear momentum], and A with that = A·q̇ (6·n values)
    Result<Twist> momentum(std::span<const double> q, std::span<const double> qd);
    Result<void> centroidal_momentum_matrix(std::span<const double> q, std::span<double> out);
    Result<double> kinetic_energy(std::span<const double> q, std::span<const double> qd);
    Result<double> potential_energy(std::span<const double> q);

private:
    Workspace workspace_;
    std::shared_ptr<const Model> model_;
    Pose base_frame_;
    Gravity gravity_;
};

// Free-floating root: every call takes the base pose, velocity and acceleration.
class FloatingRobot {
public:
    // The root link (or with RootMass::Body the root body) must have positive mass, or the
    // base dynamics would be singular.
    static Result<FloatingRobot> make(std::shared_ptr<const Model> model, RootMass root_mass = RootMass::Link);
    static Result<FloatingRobot> from_urdf(const std::filesystem::path& path, RootMass root_mass = RootMass::Link);

    const Model& model() const { return *model_; }
    Workspace& workspace() { return workspace_; }

    // The gravitational acceleration in world axes, m/s², that every dynamics method uses.
    const Vector3d& gravity_vector() const { return gravity_.vector(); }
    Result<void> set_gravity(const Vector3d& g) { return gravity_.set(g); }

    Result<Pose> forward_kinematics(const BaseState& base, std::span<const double> q, LinkId target);
    Result<void> link_poses(const BaseState& base, std::span<const double> q, std::span<double> out);

    // --- velocities, accelerations, Jacobians ---
    // Generalized velocities put the base first: ω_b about world x, y, z, then the base
    // origin's velocity along world x, y, z, then the n joints; so 6·(n + 6) Jacobian values.
    Result<Twist> forward_velocity_kinematics(const BaseState& base, std::span<const double> q,
                                              std::span<const double> qd, LinkId target,
                                              const Pose& tool = Pose::identity());
    Result<Twist> forward_acceleration_kinematics(const BaseState& base, std::span<const double> q,
                                                  std::span<const double> qd, std::span<const double> qdd,
                                                  LinkId target);
    Result<void> jacobian(const BaseState& base, std::span<const double> q, LinkId target, std::span<double> out);
    Result<void> jacobian_derivative(const BaseState& base, std::span<const double> q, std::span<const double> qd,
                                     LinkId target, std::span<double> out);

    // --- dynamics: force-like and acceleration-like vectors carry six base entries first
    // (angular then linear, world axes, about the base origin), then the n joint entries ---
    Result<void> inverse_dynamics(const BaseState& base, std::span<const double> q, std::span<const double> qd,
                                  std::span<const double> qdd, std::span<const Load> loads, std::span<double> out);
    Result<void> gravity(const BaseState& base, std::span<const double> q, std::span<const Load> loads,
                         std::span<double> out);
    Result<void> velocity_product_forces(const BaseState& base, std::span<const double> q,
                                         std::span<const double> qd, std::span<double> out);
    Result<void> mass_matrix(const BaseState& base, std::span<const double> q, std::span<double> out);
    Result<void> forward_dynamics(const BaseState& base, std::span<const double> q, std::span<const double> qd,
                                  std::span<const double> forces, std::span<const Load> loads,
                                  std::span<double> out);
    // Derivatives, (n + 6)² values each: by the base turn δθ and shift δp (world axes, about the
    // base origin) and the joints, and by u = [ω; ṗ; q̇].
    Result<void> inverse_dynamics_derivatives(const BaseState& base, std::span<const double> q,
                                              std::span<const double> qd, std::span<const double> qdd,
                                              std::span<const Load> loads, std::span<double> dq,
                                              std::span<double> dv, std::span<double> tau);
    Result<void> forward_dynamics_derivatives(const BaseState& base, std::span<const double> q,
                                              std::span<const double> qd, std::span<const double> forces,
                                              std::span<const Load> loads, std::span<double> dq,
                                              std::span<double> dv, std::span<double> inverse);
    Result<void> mass_matrix_inverse(const BaseState& base, std::span<const double> q, std::span<double> out);

    // --- centre of mass, momentum and energy, as for Robot; the Jacobian and A have the six base
    // columns first, and the base's velocity enters from `base` ---
    Result<void> center_of_mass(const BaseState& base, std::span<const double> q, std::span<double> out);
    Result<void> center_of_mass_velocity(const BaseState& base, std::span<const double> q,
                                         std::span<const double> qd, std::span<double> out);
    Result<void> center_of_mass_jacobian(const BaseState& base, std::span<const double> q, std::span<double> out);
    Result<Twist> momentum(const BaseState& base, std::span<const double> q, std::span<const double> qd);
    Result<void> centroidal_momentum_matrix(const BaseState& base, std::span<const double> q, std::span<double> out);
    Result<double> kinetic_energy(const BaseState& base, std::span<const double> q, std::span<const double> qd);
    Result<double> potential_energy(const BaseState& base, std::span<const double> q);

private:
    explicit FloatingRobot(std::shared_ptr<const Model> model);
    Workspace workspace_;
    std::shared_ptr<const Model> model_;
    Gravity gravity_;
};

}  // namespace vormek
