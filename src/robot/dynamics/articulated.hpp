#pragma once
// M⁻¹ applied articulated-body style (mass_matrix_inverse.cpp), shared with the derivatives of
// forward dynamics: the articulated-body algorithm without bias terms, run on every column of a
// right-hand side at once. S (motion columns), U = I^A·S and D = Sᵀ·U per body come from a pass
// that articulated the bodies in the reference frame (forward dynamics leaves them behind); the
// per-body 6 × n blocks of the workspace carry the bias forces leaf to root and then the
// accelerations root to leaf.

#include <span>

#include "../../model/model.hpp"
#include "../workspace.hpp"

namespace vormek {

// B ← scale·M⁻¹·B for the n × n row-major B, fixed base.
void articulated_solve(const Model& model, std::span<const Vector6d> S, std::span<const Vector6d> U,
                       std::span<const double> D, Workspace& ws, std::span<double> B, double scale);

// out ← M⁻¹, n × n row-major, fixed base: the upper triangle computed, the lower mirrored.
void articulated_inverse(const Model& model, std::span<const Vector6d> S, std::span<const Vector6d> U,
                         std::span<const double> D, Workspace& ws, std::span<double> out);

}  // namespace vormek
