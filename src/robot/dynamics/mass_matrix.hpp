#pragma once
// The mass matrix kernel is built twice: portable, and on x86-64 with AVX2 and fused
// multiply-adds, which Model::mass_matrix takes wherever the CPU has them. Both are reachable
// here so that a test can hold them to each other on a machine that runs the fused one.

#include <span>

#include "../../model/model.hpp"
#include "../workspace.hpp"

namespace vormek {

bool fused_mass_matrix_available();

Result<void> portable_mass_matrix(const Model& model, bool floating, const Quaterniond& base_rotation,
                                  std::span<const double> q, Workspace& ws, std::span<double> out);

}  // namespace vormek
