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

inline Vector3d angular(const Vector6d& m) { return m.head<3>(); }
inline Vector3d linear(const Vector6d& m) { return m.tail<3>(); }

// The wrench (n, f) a link must be supplied with to move with angular velocity ω, angular
// acceleration α and origin acceleration a (all in its frame): Newton-Euler about its origin.
inline Vector6d body_wrench(const LinkInertial& in, const Vector3d& w, const Vector3d& alpha, const Vector3d& a) {
    const Vector3d a_c = a + alpha.cross(in.com) + w.cross(w.cross(in.com));
    const Vector3d f = in.mass * a_c;
    return stack(in.inertia_com * alpha + w.cross(in.inertia_com * w) + in.com.cross(f), f);
}

}  // namespace vormek
