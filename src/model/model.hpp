#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "joint.hpp"
#include "link.hpp"

namespace vormek {

struct Workspace;

// Names one link of one model; any other model rejects it, even one loaded from the same file.
struct LinkId {
    std::uint64_t model_id = 0;
    std::size_t index = 0;
    friend bool operator==(const LinkId&, const LinkId&) = default;
};

// An external wrench on one link, in that link's frame about its origin.
struct Load {
    LinkId link;
    Vector3d torque = Vector3d::Zero();
    Vector3d force = Vector3d::Zero();
};

// Process-wide source of model identifiers; 0 is never handed out.
extern std::atomic<std::uint64_t> NEXT_MODEL_ID;

// The immutable robot description. Links and joints are breadth-first from the root:
// link 0 is the root, joint i has child link i + 1 and a parent link p(i) ≤ i, so a forward
// loop over joints visits parents first and a reverse loop visits children first.
class Model {
public:
    static constexpr std::size_t no_dof = SIZE_MAX;

    std::string name;
    std::vector<Joint> joints;                       // J, joint order
    std::vector<Link> links;                         // L = J + 1, link order
    std::vector<JointKinematics> joint_kinematics;   // J, dense copy for the kernels
    std::vector<LinkInertial> link_inertials;        // L, dense copy for the kernels
    std::vector<std::size_t> dof_joints;             // n: joint owning each DOF
    std::vector<std::size_t> joint_dofs;             // J: DOF of each joint, or no_dof when fixed
    std::vector<std::size_t> joint_parents;          // J: parent link index p(i)
    // The dynamics tree: every link hanging from its parent by a fixed joint is folded into the
    // body of that parent, so the dynamics kernels walk the n movable joints only. Body 0 is the
    // root link with what is fixed to it; body k + 1 is moved by DOF k.
    std::vector<BodyJoint> body_joints;              // n: DOF k's joint in its parent body's frame
    std::vector<std::size_t> body_parents;           // n: parent body of body k + 1, ≤ k
    std::vector<LinkInertial> body_inertials;        // n + 1: merged inertia, body frame
    std::vector<std::size_t> link_bodies;            // L: body each link belongs to
    std::vector<Pose> link_placements;               // L: link frame in its body's frame
    std::uint64_t id = 0;

    std::size_t link_count() const { return links.size(); }
    std::size_t joint_count() const { return joints.size(); }
    std::size_t dof_count() const { return dof_joints.size(); }

    std::optional<std::size_t> joint_dof(std::size_t joint) const {
        const std::size_t d = joint_dofs[joint];
        return d == no_dof ? std::nullopt : std::optional<std::size_t>(d);
    }

    Result<LinkId> link(std::size_t index) const;
    Result<LinkId> link_by_name(std::string_view name) const;
    Result<std::size_t> check_link(LinkId link) const;

    // Joints from `link` up to the root: path[0] is the link's parent joint, path[m − 1] hangs
    // from the root. Returns m (0 for the root).
    std::size_t prepare_ancestor_path(std::size_t link, std::span<std::size_t> path) const;

    // World pose of `link` for joint positions q, placed by `base`.
    Result<Pose> forward_kinematics(const Pose& base, std::span<const double> q, LinkId link,
                                    std::span<std::size_t> path) const;

    // Every link's world pose for joint positions q, placed by `base`: 7 values a link in `out`,
    // translation then quaternion (x, y, z, w), in link order.
    Result<void> link_poses(const Pose& base, std::span<const double> q, Workspace& workspace,
                            std::span<double> out) const;

    // --- velocities, accelerations, Jacobians, inverse kinematics ---
    // Twist [ω; v] of the tool point (link origin + R_link·tool.translation) of `link`, world
    // axes, for a base at `base` moving with `base_velocity`.
    Result<Twist> forward_velocity_kinematics(const Pose& base, const Twist& base_velocity, std::span<const double> q,
                                              std::span<const double> qd, LinkId link, const Pose& tool,
                                              std::span<std::size_t> path) const;
    // [α; a] of `link`: angular acceleration and classical acceleration of its origin, world axes.
    Result<Twist> forward_acceleration_kinematics(const Pose& base, const Twist& base_velocity,
                                                  const Twist& base_acceleration, std::span<const double> q,
                                                  std::span<const double> qd, std::span<const double> qdd,
                                                  LinkId link, std::span<std::size_t> path) const;
    // World-axes Jacobian of `link` into `out` (6 values per column). A non-zero column offset
    // (6, floating base) also writes the six base columns in front of the joint columns.
    Result<void> direct_world_jacobian(std::span<const double> q, std::size_t link, const Pose& base,
                                       std::size_t column_offset, Workspace& workspace,
                                       std::span<double> out) const;
    // J̇ and J of `link` in root axes, left in the workspace; returns the link's pose relative
    // to the root.
    Result<Pose> jacobian_derivative_kernel(std::span<const double> q, std::span<const double> qd, std::size_t link,
                                            Workspace& workspace) const;
    void write_floating_jacobian_derivative(const BaseState& base, std::span<const double> qd, const Pose& target,
                                            std::span<const double> jacobian, std::span<const double> jdot,
                                            std::span<double> out) const;
    // Every DOF within its URDF limits (1e-12 of slack); names the first one that is not.
    Result<void> validate_inverse_kinematics_solution(std::span<const double> q) const;

    // --- dynamics (src/robot/dynamics/) ---
    // With `floating` set the root link is free: its own inertia and every wrench reaching it
    // are collected; unset, the fixed base absorbs them. Base quantities are in world axes.
    // `lift` (called `gravity` in inverse dynamics) is the upward acceleration −g, world axes,
    // that the base is given in place of gravity pulling on every body: (0, 0, 9.80665) for
    // standard gravity.

    // Builds the dynamics-tree tables from the joint and link tables (at load).
    void fold_fixed_joints();

    // Clears `load_workspace`, adds each load, moved to its link's body, to the slot of that body
    // (body k + 1 in slot k) and returns the summed load on the root body.
    Result<Vector6d> prepare_indexed_loads(std::span<const Load> loads, std::span<Vector6d> load_workspace) const;

    // Recursive Newton-Euler: joint forces for (q, qd, qdd) added into `out` (zeroed by the
    // caller); returns the wrench on the root link (root frame, about its origin), zero unless
    // floating. Only the angular part of `base_velocity` is read.
    Result<Vector6d> inverse_dynamics_kernel_validated(
        bool floating, std::span<const double> q, std::span<const double> qd, std::span<const double> qdd,
        const Quaterniond& base_rotation, const Twist& base_velocity, const Twist& base_acceleration,
        const Vector3d& gravity, const Vector6d& root_load, std::span<Transform> transforms,
        std::span<Vector3d> angular_velocity, std::span<Vector3d> angular_acceleration,
        std::span<Vector3d> origin_acceleration, std::span<Vector3d> link_acceleration,
        std::span<Vector6d> loads, std::span<double> out) const;

    // The static pass: joint forces that hold the robot at rest against gravity and the loads;
    // always returns the root link's wrench.
    Result<Vector6d> gravity_kernel(std::span<const double> q, const Quaterniond& base_rotation,
                                    const Vector3d& lift, const Vector6d& root_load,
                                    std::span<Transform> transforms,
                                    std::span<Vector3d> gravity, std::span<Vector6d> loads,
                                    std::span<double> out) const;

    // Composite-rigid-body mass matrix, N × N row-major, N = n (+ 6 base entries when floating).
    Result<void> mass_matrix(bool floating, const Quaterniond& base_rotation, std::span<const double> q,
                             Workspace& workspace, std::span<double> out) const;

    // Articulated-body accelerations for generalized forces `forces` (n, or n + 6 when floating).
    Result<void> forward_dynamics(bool floating, const Quaterniond& base_rotation, const Twist& base_velocity,
                                  const Vector3d& lift, std::span<const double> q, std::span<const double> qd,
                                  std::span<const double> forces, std::span<const Load> loads,
                                  Workspace& workspace, std::span<double> out) const;

    // --- derivatives of the dynamics: N × N row-major blocks, N = n (+ 6 base entries when
    // floating), the base perturbed by a turn and a shift in world axes about its origin ---
    // ∂τ/∂q and ∂τ/∂q̇ of inverse dynamics, and τ itself, which comes with them.
    // after_forward_dynamics: forward dynamics has just run in `workspace` at this q, q̇ and the
    // q̈ it returned, and its poses, motion columns, v and a are read rather than computed again.
    Result<void> inverse_dynamics_derivatives(bool floating, const Quaterniond& base_rotation,
                                              const Twist& base_velocity, const Twist& base_acceleration,
                                              const Vector3d& lift, std::span<const double> q, std::span<const double> qd,
                                              std::span<const double> qdd, std::span<const Load> loads,
                                              Workspace& workspace, std::span<double> dq, std::span<double> dv,
                                              std::span<double> tau, bool after_forward_dynamics = false) const;
    // ∂q̈/∂q, ∂q̈/∂q̇ and ∂q̈/∂τ = M⁻¹ of forward dynamics.
    Result<void> forward_dynamics_derivatives(bool floating, const Quaterniond& base_rotation,
                                              const Twist& base_velocity, const Vector3d& lift,
                                              std::span<const double> q,
                                              std::span<const double> qd, std::span<const double> forces,
                                              std::span<const Load> loads, Workspace& workspace,
                                              std::span<double> dq, std::span<double> dv,
                                              std::span<double> inverse) const;
    // M⁻¹, articulated-body style.
    Result<void> mass_matrix_inverse(bool floating, const Quaterniond& base_rotation, std::span<const double> q,
                                     Workspace& workspace, std::span<double> out) const;
};

// Reads, validates and lays out a URDF file. The only way a Model comes into being.
Result<std::shared_ptr<const Model>> load_model(const std::filesystem::path& path);
// The same from text already in memory (what load_model does after reading the file).
Result<std::shared_ptr<const Model>> load_model_from_string(std::string_view urdf);

}  // namespace vormek
