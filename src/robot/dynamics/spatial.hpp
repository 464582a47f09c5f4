#pragma once
// Spatial algebra the dynamics files share (Featherstone's notation). A motion is (ω, v) and a
// force (n, f), both in one frame and referred to its origin. X = (R, p) is a frame's pose in
// another: forces go from the first to the second.

#include "../../base.hpp"
#include "../../model/joint.hpp"
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

// A force in the frame X places, moved to the frame X is given in: (R·n + p × R·f, R·f).
inline Vector6d force_to_parent(const Matrix3d& R, const Vector3d& p, const Vector6d& f) {
    const Vector3d fp = R * linear(f);
    return stack(R * angular(f) + p.cross(fp), fp);
}

// A link's mass, first moment and rotational inertia about the reference origin, from its pose
// (R, p) there: R·I_c·Rᵀ about its centre of mass x = p + R·c, shifted by m·(|x|²·1 − x·xᵀ).
// Both terms are symmetric, so only the upper triangle is computed and mirrored.
inline void place_inertia(const LinkInertial& in, const Matrix3d& R, const Vector3d& p, double& M, Vector3d& H,
                   Matrix3d& I) {
    const double m = in.mass;
    const Vector3d x = p + R * in.com;
    const Matrix3d B = R * in.inertia_com;
    M = m;
    H = m * x;
    const double xx = x.squaredNorm();
    for (int r = 0; r < 3; ++r)
        for (int k = r; k < 3; ++k)
            I(r, k) = I(k, r) = B.row(r).dot(R.row(k)) + m * ((r == k ? xx : 0.0) - x[r] * x[k]);
}

// The same as one 6×6 spatial inertia about the reference origin: [I, [h]; [h]ᵀ, m·1].
inline Matrix6d placed_spatial_inertia(const LinkInertial& in, const Transform& X) {
    double m;
    Vector3d h;
    Matrix3d I;
    place_inertia(in, X.R, X.p, m, h, I);
    const Matrix3d H = skew(h);
    Matrix6d S;
    S << I, H, H.transpose(), m * Matrix3d::Identity();
    return S;
}

// The wrench (n, f) a link must be supplied with to move with angular velocity ω, angular
// acceleration α and origin acceleration a (all in its frame): Newton-Euler about its origin.
inline Vector6d body_wrench(const LinkInertial& in, const Vector3d& w, const Vector3d& alpha, const Vector3d& a) {
    const Vector3d a_c = a + alpha.cross(in.com) + w.cross(w.cross(in.com));
    const Vector3d f = in.mass * a_c;
    return stack(in.inertia_com * alpha + w.cross(in.inertia_com * w) + in.com.cross(f), f);
}

}  // namespace vormek
