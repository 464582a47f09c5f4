#pragma once
// Spatial algebra the dynamics files share (Featherstone's notation). A motion is (ω, v) and a
// force (n, f), both in one link frame and referred to its origin. X = (R, p) is a joint's
// child pose in its parent frame: motions go parent → child, forces and inertias child → parent.

#include "../../base.hpp"
#include "../../model/link.hpp"

namespace vormek {

inline Matrix3d skew(const Vector3d& v) {
    Matrix3d m;
    m << 0, -v.z(), v.y(), v.z(), 0, -v.x(), -v.y(), v.x(), 0;
    return m;
}

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

// Rᵀ·v for the rotation of q.
inline Vector3d rotate_inverse(const Quaterniond& q, const Vector3d& v) { return rotate(q.conjugate(), v); }

inline Vector3d angular(const Vector6d& m) { return m.head<3>(); }
inline Vector3d linear(const Vector6d& m) { return m.tail<3>(); }

// m1 × m2 = (ω × ω′, ω × v′ + v × ω′)
inline Vector6d motion_cross(const Vector6d& m1, const Vector6d& m2) {
    const Vector3d w = angular(m1), v = linear(m1), w2 = angular(m2), v2 = linear(m2);
    return stack(w.cross(w2), w.cross(v2) + v.cross(w2));
}

// m ×* f = (ω × n + v × f, ω × f)
inline Vector6d force_cross(const Vector6d& m, const Vector6d& f) {
    const Vector3d w = angular(m), v = linear(m), n = angular(f), fl = linear(f);
    return stack(w.cross(n) + v.cross(fl), w.cross(fl));
}

// The 6×6 spatial inertia of a link about its frame origin: [I_o, [h]; [h]ᵀ, m·1].
inline Matrix6d spatial_inertia(const LinkInertial& in) {
    Matrix6d I;
    const Matrix3d H = skew(in.first_moment);
    I << in.inertia_origin, H, H.transpose(), in.mass * Matrix3d::Identity();
    return I;
}

// The same inertia applied to a motion without forming the matrix: (I_o·ω + h × v, m·v + ω × h).
inline Vector6d apply_inertia(const LinkInertial& in, const Vector6d& m) {
    const Vector3d w = angular(m), v = linear(m);
    return stack(in.inertia_origin * w + in.first_moment.cross(v), in.mass * v + w.cross(in.first_moment));
}

// Parent → child: (Rᵀω, Rᵀ(v + ω × p)).
inline Vector6d motion_to_child(const Matrix3d& R, const Vector3d& p, const Vector6d& m) {
    const Vector3d w = angular(m);
    return stack(R.transpose() * w, R.transpose() * (linear(m) + w.cross(p)));
}

// Child → parent: (R·n + p × R·f, R·f).
inline Vector6d force_to_parent(const Matrix3d& R, const Vector3d& p, const Vector6d& f) {
    const Vector3d fp = R * linear(f);
    return stack(R * angular(f) + p.cross(fp), fp);
}

// parent += Xᵀ·I·X, X the parent → child motion transform [Rᵀ, 0; −Rᵀ[p], Rᵀ]. With the blocks
// [A, B; Bᵀ, C] of I first turned into parent axes, the shift by p gives
// A″ = A′ + [p]B′ᵀ + ([p]B′ᵀ)ᵀ − [p]C′[p], B″ = B′ + [p]C′, C″ = C′.
inline void add_inertia_to_parent(const Matrix3d& R, const Vector3d& p, const Matrix6d& I, Matrix6d& parent) {
    const Matrix3d A = R * I.topLeftCorner<3, 3>() * R.transpose();
    const Matrix3d B = R * I.topRightCorner<3, 3>() * R.transpose();
    const Matrix3d C = R * I.bottomRightCorner<3, 3>() * R.transpose();
    const Matrix3d P = skew(p);
    const Matrix3d PC = P * C;
    const Matrix3d PBt = P * B.transpose();
    const Matrix3d B2 = B + PC;
    parent.topLeftCorner<3, 3>() += A + PBt + PBt.transpose() - PC * P;
    parent.topRightCorner<3, 3>() += B2;
    parent.bottomLeftCorner<3, 3>() += B2.transpose();
    parent.bottomRightCorner<3, 3>() += C;
}

// The wrench (n, f) a link must be supplied with to move with angular velocity ω, angular
// acceleration α and origin acceleration a (all in its frame): Newton-Euler about its origin.
inline Vector6d body_wrench(const LinkInertial& in, const Vector3d& w, const Vector3d& alpha, const Vector3d& a) {
    const Vector3d a_c = a + alpha.cross(in.com) + w.cross(w.cross(in.com));
    const Vector3d f = in.mass * a_c;
    return stack(in.inertia_com * alpha + w.cross(in.inertia_com * w) + in.com.cross(f), f);
}

}  // namespace vormek
