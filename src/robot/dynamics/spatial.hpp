#pragma once
// Spatial algebra the dynamics files share (Featherstone's notation). A motion is (ω, v) and a
// force (n, f), both in one frame and referred to its origin. X = (R, p) is a frame's pose in
// another: forces go from the first to the second.

#include "../../base.hpp"
#include "../../model/joint.hpp"
#include "../../model/link.hpp"

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

// Six-vectors as six doubles: the kernels keep motions and forces in plain arrays, written entry
// by entry into their final slots, so that no 16-byte load waits on values stored one by one.
// Always inlined: called out of line from a large kernel, they would run without its fused
// build's instructions.
[[gnu::always_inline]] inline double dot6(const double* x, const double* y) {
    return x[0] * y[0] + x[1] * y[1] + x[2] * y[2] + x[3] * y[3] + x[4] * y[4] + x[5] * y[5];
}

// out += a × b for three-vectors.
[[gnu::always_inline]] inline void add_cross(const double* a, const double* b, double* out) {
    out[0] += a[1] * b[2] - a[2] * b[1];
    out[1] += a[2] * b[0] - a[0] * b[2];
    out[2] += a[0] * b[1] - a[1] * b[0];
}

// out += m × x for two motions: (ω × x_ω, ω × x_ν + ν × x_ω).
[[gnu::always_inline]] inline void add_motion_cross(const double* m, const double* x, double* out) {
    add_cross(m, x, out);
    add_cross(m, x + 3, out + 3);
    add_cross(m + 3, x, out + 3);
}

// out += m ×* f for a motion and a force: (ω × n + ν × f, ω × f).
[[gnu::always_inline]] inline void add_force_cross(const double* m, const double* f, double* out) {
    add_cross(m, f, out);
    add_cross(m + 3, f + 3, out);
    add_cross(m, f + 3, out + 3);
}

// The motion column S of a body's joint in the reference frame, from the body's pose X there:
// turning about the axis s through X's origin p, [s; p × s]; sliding along it, [0; s]. A
// coordinate axis is a column of X's rotation.
[[gnu::always_inline]] inline void motion_column(const BodyJoint& joint, const Transform& X, double* S) {
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

// The wrench (n, f) a link must be supplied with to move with angular velocity ω, angular
// acceleration α and origin acceleration a (all in its frame): Newton-Euler about its origin.
inline Vector6d body_wrench(const LinkInertial& in, const Vector3d& w, const Vector3d& alpha, const Vector3d& a) {
    const Vector3d a_c = a + alpha.cross(in.com) + w.cross(w.cross(in.com));
    const Vector3d f = in.mass * a_c;
    return stack(in.inertia_com * alpha + w.cross(in.inertia_com * w) + in.com.cross(f), f);
}

}  // namespace vormek
