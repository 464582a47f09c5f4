#pragma once
// Scratch memory of one robot handle, sized once from the joint count J and DOF count n so
// that no computation allocates. Per-joint slot j holds a quantity of joint j's child link; the
// dynamics kernels use the first n slots for the bodies of the dynamics tree (slot k: body k + 1).
// Nothing is cleared between calls: every kernel writes each slot before it reads it.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "../base.hpp"
#include "../model/joint.hpp"

namespace vormek {

struct Workspace {
    Workspace(std::size_t joint_count, std::size_t dof_count);

    std::vector<Pose> frames;                      //  0, J: poses relative to the root; local transforms in dynamics
    std::vector<Vector3d> angular_velocity;        //  1, J: ω per link
    std::vector<Vector3d> angular_acceleration;    //  2, J: α per link; also the gravity term
    std::vector<Vector3d> origin_acceleration;     //  3, J: linear acceleration of each link origin
    std::vector<Vector3d> link_acceleration;       //  4, J: linear acceleration of each centre of mass
    std::vector<Vector6d> loads;                   //  5, J: applied loads in, transmitted wrenches out
    std::vector<double> composite_mass;            //  6, J: subtree mass
    std::vector<Vector3d> composite_first_moment;  //  7, J: subtree first moment of mass
    std::vector<Matrix3d> composite_inertia;       //  8, J: subtree rotational inertia
    std::vector<Vector6d> v;                       //  9, J: spatial velocity
    std::vector<Vector6d> c;                       // 10, J: velocity-product acceleration
    std::vector<Vector6d> a;                       // 11, J: spatial acceleration
    std::vector<Matrix6d> IA;                      // 12, J: articulated inertia
    std::vector<Vector6d> pA;                      // 13, J: articulated bias force
    std::vector<Vector6d> U;                       // 14, J: IA·S
    std::vector<double> D;                         // 15, J: Sᵀ·U
    std::vector<double> u;                         // 16, J: joint-space bias force
    std::vector<Vector3d> jdot_linear_velocity;    // 17, J: per-joint linear velocities of J̇
    std::vector<double> jacobian;                  // 18, 6n: 6 × n Jacobian
    std::vector<double> jacobian_derivative;       // 19, 6n: 6 × n Jacobian derivative
    std::vector<double> ik_q;                      // 20, n: inverse-kinematics iterate
    std::vector<double> ik_step;                   // 21, n: inverse-kinematics step; n-value scratch
    std::vector<std::size_t> ancestor_path;        // 22, J: room for the longest chain
    std::vector<Transform> transforms;             // 23, J: dynamics, slot k: body k + 1 in its parent body
    std::vector<Quaterniond> rotations;            // 24, J: link poses, slot k: body k + 1's rotation
    std::vector<double> ik_best;                   // 25, n: solve_ik, best iterate met
    std::vector<double> ik_lower;                  // 26, n: solve_ik, lower joint limits
    std::vector<double> ik_upper;                  // 27, n: solve_ik, upper joint limits
    std::vector<std::uint8_t> ik_bound;            // 28, n: solve_ik, the bound a joint is held on
    // the derivatives of the dynamics (reference frame as the mass matrix's); the subtree
    // inertias go in 6 to 8
    std::vector<Vector6d> motion_columns;          // 29, J: S per body
    std::vector<Vector6d> velocity_columns;        // 30, J: V = v_λ × S
    std::vector<Vector6d> acceleration_columns;    // 31, J: A = a_λ × S + v_λ × V
    std::vector<Vector6d> subtree_force;           // 32, J: F, the subtree's Newton-Euler force
    std::vector<Vector6d> subtree_momentum;        // 33, J: Σ I·v over the subtree
    std::vector<Matrix3d> inertia_rate;            // 34, J: rotational block of the subtree's İ (upper)
    std::vector<Vector3d> inertia_rate_moment;     // 35, J: its first-moment part
    std::vector<Vector6d> derivative_loads;        // 36, J: loads per body, beside forward dynamics' columns
    std::vector<double> articulated_block;         // 37, 6·(n+6)·(n+1): 6 × (n+6) blocks, one per leaf and the root
    std::vector<unsigned char> block_started;      // 38, J: whether a child has written the block
    std::vector<double> derivative_qdd;            // 39, n + 6: accelerations of forward dynamics
    std::vector<double> derivative_scratch;        // 40, (2n+12)·(n+7): a copy of two derivative blocks
    // depth-first positions of the bodies, in which a subtree and the part of the robot on one
    // child of a fixed root are runs of positions
    std::vector<std::size_t> dfs_order;            // 41, n: body at each position
    std::vector<std::size_t> dfs_position;         // 42, n: position of each body
    std::vector<std::size_t> subtree_end;          // 43, n: position after each body's subtree
    std::vector<std::size_t> component_begin;      // 44, n: first position of each body's part
    std::vector<std::size_t> component_end;        // 45, n: position after it
    // the derivatives of inverse dynamics on a tree numbered depth-first, written row by row
    std::vector<double> derivative_columns;        // 46, 36n: S, V, A and the column sums of ∂τ, six rows of n each;
                                                   //     on the pair walk, 36 lanes per body
    std::vector<std::size_t> ancestor_runs;        // 47, 3n: per body, the first of its run of parents, the one above, its subtree's end
    std::vector<std::size_t> block_slot;           // 48, n + 1: the root's and each body's block (37)
    // 41 to 45, 47 and 48 depend on the tree alone: written once, by the first call that needs
    // them (a workspace serves one model)
    bool depth_first_ready = false;
    bool ancestor_runs_ready = false;
    bool numbered_depth_first = false;             // whether 47 holds runs: the tree is numbered depth-first
};

}  // namespace vormek
