#pragma once
// A body's inertia placed in a reference frame from the rows the body walk holds its pose in
// (chain.hpp), for the kernels that sum composite inertias there: the mass matrix and the
// centroidal momentum matrix, and the articulated-body passes, which spread it into a spatial
// inertia.

#include <array>

#include "../kinematics/chain.hpp"

namespace vormek {

// A body's mass m, first moment h and rotational inertia I about the reference origin, from its
// pose X there, into the composite slots (I whole, so that each column's rows 0 and 1 load as a
// pair): R·I_c·Rᵀ about the centre of mass x = p + R·c, shifted by m·(|x|²·1 − x·xᵀ), h = m·x.
// In pairs of lanes, rows 0 and 1 side by side and row 2 alone, as the pose comes.
inline void place_body_inertia(const LinkInertial& in, const BodyRows& X, double& M, Vector3d& H, Matrix3d& I) {
    const std::array<Lanes, 10>& c = in.lanes;  // I_c: 00 01 02 11 12 22; c; m
    const Lanes x = X.p + X.R0 * c[6] + X.R1 * c[7] + X.R2 * c[8];
    const double xz = X.pz + X.R0z * c[6][0] + X.R1z * c[7][0] + X.R2z * c[8][0];
    // B = R·I_c, column by column
    const Lanes B0 = X.R0 * c[0] + X.R1 * c[1] + X.R2 * c[2], B1 = X.R0 * c[1] + X.R1 * c[3] + X.R2 * c[4],
                B2 = X.R0 * c[2] + X.R1 * c[4] + X.R2 * c[5];
    const double B0z = X.R0z * c[0][0] + X.R1z * c[1][0] + X.R2z * c[2][0],
                 B1z = X.R0z * c[1][0] + X.R1z * c[3][0] + X.R2z * c[4][0],
                 B2z = X.R0z * c[2][0] + X.R1z * c[4][0] + X.R2z * c[5][0];
    const double m = c[9][0];
    const Lanes h = x * c[9];
    const double hz = xz * m;
    // column j of B·Rᵀ − h·xᵀ has rows 0 and 1 Σ_i B_i·R(j, i) − h·x_j; R(j, i) is lane j of
    // the pair R_i for j < 2
    const Lanes I0 = B0 * spread<0>(X.R0) + B1 * spread<0>(X.R1) + B2 * spread<0>(X.R2) - h * spread<0>(x);
    const Lanes I1 = B0 * spread<1>(X.R0) + B1 * spread<1>(X.R1) + B2 * spread<1>(X.R2) - h * spread<1>(x);
    const Lanes I2 = B0 * X.R0z + B1 * X.R1z + B2 * X.R2z - h * xz;
    const double xh = x[0] * h[0] + x[1] * h[1] + xz * hz;  // m·|x|², on the diagonal
    M = m;
    __builtin_memcpy(&H[0], &h, sizeof h);
    H[2] = hz;
    const Lanes d0 = I0 + Lanes{xh, 0.0}, d1 = I1 + Lanes{0.0, xh};
    __builtin_memcpy(&I(0, 0), &d0, sizeof d0);
    __builtin_memcpy(&I(0, 1), &d1, sizeof d1);
    __builtin_memcpy(&I(0, 2), &I2, sizeof I2);
    I(2, 0) = I2[0], I(2, 1) = I2[1];
    I(2, 2) = B0z * X.R0z + B1z * X.R1z + B2z * X.R2z - hz * xz + xh;
}

// A body's spatial inertia about the reference origin from its pose there as the walk holds it,
// the upper triangle of [I, [h]×; [h]×ᵀ, m·1], I, h and m as place_body_inertia gives them (the
// articulated-body passes).
inline void place_spatial_inertia(const LinkInertial& in, const BodyRows& X, Matrix6d& IA) {
    double m;
    Vector3d h;
    Matrix3d I;
    place_body_inertia(in, X, m, h, I);
    for (int col = 0; col < 3; ++col)
        for (int r = 0; r <= col; ++r) IA(r, col) = I(r, col);
    IA(0, 3) = 0, IA(0, 4) = -h[2], IA(0, 5) = h[1];
    IA(1, 3) = h[2], IA(1, 4) = 0, IA(1, 5) = -h[0];
    IA(2, 3) = -h[1], IA(2, 4) = h[0], IA(2, 5) = 0;
    IA(3, 3) = m, IA(3, 4) = 0, IA(3, 5) = 0;
    IA(4, 4) = m, IA(4, 5) = 0;
    IA(5, 5) = m;
}

}  // namespace vormek
