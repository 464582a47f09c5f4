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
    std::vector<double> ik_best;                   // 24, n: solve_ik, best iterate met
    std::vector<double> ik_lower;                  // 25, n: solve_ik, lower joint limits
    std::vector<double> ik_upper;                  // 26, n: solve_ik, upper joint limits
    std::vector<std::uint8_t> ik_bound;            // 27, n: solve_ik, the bound a joint is held on
};

}  // namespace vormek
