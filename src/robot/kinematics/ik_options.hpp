#pragma once

#include <cstdint>

namespace vormek {

// Settings of the damped least-squares solver; the solver validates them, not the constructor.
struct IkOptions {
    std::uint64_t max_iterations = 100;
    double translation_tolerance = 1e-6;  // metres, on ‖e_t‖
    double rotation_tolerance = 1e-6;     // radians, on ‖e_r‖
    double damping = 1e-3;                // λ: λ² is added to the diagonal of J·Jᵀ
    double max_step_norm = 0.5;           // longest joint step, Euclidean norm
};

}  // namespace vormek
