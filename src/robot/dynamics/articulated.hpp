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
#include "body_inertia.hpp"
#include "spatial.hpp"

namespace vormek {

// B ← scale·M⁻¹·B for the n × n row-major B, fixed base. Needs the depth-first positions.
void articulated_solve(const Model& model, std::span<const Vector6d> S, std::span<const Vector6d> U,
                       std::span<const double> D, Workspace& ws, std::span<double> B, double scale);

// out ← M⁻¹, N × N row-major: the upper triangle in depth-first order computed, the lower
// mirrored. `root` is a floating root's articulated inertia (upper triangle), null for a fixed
// base; false when it cannot be inverted. Leaves the depth-first positions in the workspace.
bool articulated_inverse(const Model& model, std::span<const Vector6d> S, std::span<const Vector6d> U,
                         std::span<const double> D, const Matrix6d* root, Workspace& ws, std::span<double> out);

// The depth-first positions and blocks of the workspace, from the model's tree, once.
void depth_first(const Model& model, Workspace& ws);

// B ← −M⁻¹·X and C ← −M⁻¹·Y for X and Y one after the other in `from` (2·N·N values and three
// more that are read, not used), as one product with the inverse, which on a fixed base only
// mixes rows of one child's part. Needs the depth-first positions.
void articulated_product(const Model& model, bool floating, const Workspace& ws, std::span<const double> inverse,
                         std::span<const double> from, std::span<double> B, std::span<double> C);

// Whether articulated_product costs less than articulated_solve on this tree.
bool product_is_cheaper(const Model& model, bool floating, const Workspace& ws);

// I^A − U·Uᵀ/D added into a parent's articulated inertia (upper triangles).
inline void articulate_into(const Matrix6d& IA, const double* U, double D, Matrix6d& parent) {
    const double inverse_D = 1.0 / D;
    for (int c = 0; c < 6; ++c)
        for (int r = 0; r <= c; ++r) parent(r, c) += IA(r, c) - U[r] * U[c] * inverse_D;
}

}  // namespace vormek
