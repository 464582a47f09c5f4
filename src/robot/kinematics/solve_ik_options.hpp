#pragma once

#include <cstdint>
#include <span>

#include "../../base.hpp"

namespace vormek {

// Settings of the limit-respecting solver (Robot::solve_ik); the solver validates them.
struct SolveIkOptions {
    Pose tool = Pose::identity();        // the frame solved for, in the target link's frame
    bool position_only = false;          // reach the tool point, any orientation
    double orientation_weight = 1.0;     // metres of error one radian counts for while iterating
    double tolerance = 1e-6;             // metres on ‖e_t‖ and radians on ‖e_r‖
    std::uint64_t max_iterations = 50;   // steps of one local solve
    std::uint64_t restarts = 200;        // local solves from drawn starts after the first
    std::uint64_t seed = 0;              // of the draws: same inputs, same answer
};

// Sees every iterate of solve_ik, the starts included (tests hold each one to the limits).
struct IterateObserver {
    void (*see)(void* context, std::span<const double> q) = nullptr;
    void* context = nullptr;
};

}  // namespace vormek
