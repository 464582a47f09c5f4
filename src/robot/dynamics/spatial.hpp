#pragma once
// Spatial algebra the dynamics files share (Featherstone's notation). A motion is (ω, v) and a
// force (n, f), both in one frame and referred to its origin. X = (R, p) is a frame's pose in
// another: forces go from the first to the second.

#include "../../base.hpp"
#include "../../model/joint.hpp"
#include "../../model/link.hpp"
#include "../kinematics/chain.hpp"

namespace vormek {

// R(q) written out in scalars, like the quaternion arithmetic of base.hpp.
inline Matrix3d rotation_matrix(const Quaterniond& q) {
    const double x = q.x(), y = q.y(), z = q.z(), w = q.w();
    const double tx = 2 * x, ty = 2 * y, tz = 2 * z;
    const double twx = tx * w, twy = ty * w, twz = tz * w;
    const double txx = tx * x, txy = ty * x, txz = tz * x;
    const double tyy = ty * y, tyz = tz * y, tzz = tz * z;
    Matrix3d R;
    R << 1 - (tyy + tzz), txy - twz, txz + twy,
         txy + twz, 1 - (txx + tzz), tyz - twx,
         txz - twy, tyz + twx, 1 - (txx + tyy);
    return R;
}

// Rᵀ·v for the rotation of q: R(q̄)·v, the conjugate spelt out in scalars (Eigen's packet
// negation of it was read back as scalars, and the call was not inlined).
inline Vector3d rotate_inverse(const Quaterniond& q, const Vector3d& v) {
    return rotate(Quaterniond(q.w(), -q.x(), -q.y(), -q.z()), v);
}

// The root's pose in the reference frame of the mass matrix and forward dynamics: world axes
// about the root origin for a floating base, whose rows are about that origin; root axes for a
// fixed one, whose subtrees then each take their own origin.
//
// A fixed root neither moves nor takes in the subtrees that hang from it: their blocks of the
// mass matrix and their accelerations are independent of each other and the same about any
// fixed point. Each is computed about its first body's origin where it is now (that body is
// placed at the origin, translation zero), which keeps the moment arms the size of the subtree.
// About one origin for all, a subtree far from it (a second arm on a world link, an arm at the
// end of a long base rail) would hold entries of order m·d² that cancel down to its own and take
// the rounding of d² with them.
inline Transform reference_root(bool floating, const Quaterniond& base_rotation) {
    if (floating) return {rotation_matrix(base_rotation), Vector3d::Zero()};
    return {Matrix3d::Identity(), Vector3d::Zero()};
}

// The motion column S of a body's joint in the reference frame, from the body's pose X there:
// turning about the axis s through X's origin p, [s; p × s]; sliding along it, [0; s]. A
// coordinate axis is a column of X's rotation.
inline void motion_column(const BodyJoint& joint, const Transform& X, double* S) {
    const Matrix3d& R = X.R;
    const Vector3d& p = X.p;
    const Vector3d& a = joint.axis;
    const int e = joint.coordinate;
    double s[3];
    for (int r = 0; r < 3; ++r) s[r] = e >= 0 ? a[e] * R(r, e) : R(r, 0) * a[0] + R(r, 1) * a[1] + R(r, 2) * a[2];
    if (joint.kind == JointKind::Revolute) {
        S[0] = s[0], S[1] = s[1], S[2] = s[2];
        S[3] = p[1] * s[2] - p[2] * s[1], S[4] = p[2] * s[0] - p[0] * s[2], S[5] = p[0] * s[1] - p[1] * s[0];
    } else {
        S[0] = S[1] = S[2] = 0.0;
        S[3] = s[0], S[4] = s[1], S[5] = s[2];
    }
}

// A body's mass m, first moment h and rotational inertia I about the reference origin, from its
// pose X there as the walk holds it (I whole, so that each column's rows 0 and 1 load as a pair):
// R·I_c·Rᵀ about the centre of mass x = p + R·c, shifted by m·(|x|²·1 − x·xᵀ), h = m·x. In pairs
// of lanes, rows 0 and 1 side by side and row 2 alone, as the pose comes.
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

// The wrench (n, f) a link must be supplied with to move with angular velocity ω, angular
// acceleration α and origin acceleration a (all in its frame): Newton-Euler about its origin.
inline Vector6d body_wrench(const LinkInertial& in, const Vector3d& w, const Vector3d& alpha, const Vector3d& a) {
    const Vector3d a_c = a + alpha.cross(in.com) + w.cross(w.cross(in.com));
    const Vector3d f = in.mass * a_c;
    return stack(in.inertia_com * alpha + w.cross(in.inertia_com * w) + in.com.cross(f), f);
}

}  // namespace vormek
