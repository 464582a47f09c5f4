#pragma once
// Spatial conventions shared by every computation. Quaternions are (x, y, z, w), Hamilton
// product, q ⊗ p applies p first. Six-vectors put the angular (moment) block first.

#include <Eigen/Core>
#include <Eigen/Geometry>
#include <array>

#include "error.hpp"

namespace vormek {

using Eigen::Matrix3d;
using Eigen::Quaterniond;
using Eigen::Vector3d;
using Vector6d = Eigen::Matrix<double, 6, 1>;
using Matrix6d = Eigen::Matrix<double, 6, 6>;

// Gravity acts along world −z; the dynamics apply it as an upward base acceleration.
inline constexpr double standard_gravity = 9.80665;

// Pose of frame B in frame A: p_A = R(rotation)·p_B + translation.
struct Pose {
    Quaterniond rotation = Quaterniond::Identity();
    Vector3d translation = Vector3d::Zero();

    static Pose identity() { return {}; }
    // Storage order: quaternion x, y, z, w then translation x, y, z.
    static Pose from_array(const std::array<double, 7>& v);
    std::array<double, 7> to_array() const;
    bool all_finite() const;
};

// The quaternion and vector arithmetic below is written out in scalars: Eigen's packet path for
// quaternions mixes scalar stores with vector loads, and the stalls cost a fifth of a forward
// kinematics pass.

// Hamilton product a ⊗ b.
inline Quaterniond multiply(const Quaterniond& a, const Quaterniond& b) {
    return Quaterniond(a.w() * b.w() - a.x() * b.x() - a.y() * b.y() - a.z() * b.z(),
                       a.w() * b.x() + a.x() * b.w() + a.y() * b.z() - a.z() * b.y(),
                       a.w() * b.y() - a.x() * b.z() + a.y() * b.w() + a.z() * b.x(),
                       a.w() * b.z() + a.x() * b.y() - a.y() * b.x() + a.z() * b.w());
}

// offset + R(q)·v, with R(q)·v = v + 2w(u×v) + 2u×(u×v) for q = (u, w).
inline Vector3d rotate_add(const Quaterniond& q, const Vector3d& v, const Vector3d& offset) {
    const double x = q.x(), y = q.y(), z = q.z(), w = q.w();
    const double tx = 2.0 * (y * v.z() - z * v.y());
    const double ty = 2.0 * (z * v.x() - x * v.z());
    const double tz = 2.0 * (x * v.y() - y * v.x());
    return Vector3d(offset.x() + (v.x() + w * tx + (y * tz - z * ty)),
                    offset.y() + (v.y() + w * ty + (z * tx - x * tz)),
                    offset.z() + (v.z() + w * tz + (x * ty - y * tx)));
}

inline Vector3d rotate(const Quaterniond& q, const Vector3d& v) { return rotate_add(q, v, Vector3d::Zero()); }

// Composition a ∘ b: (qa ⊗ qb, ta + R(qa)·tb). Quaternions are never renormalised here.
inline Pose compose(const Pose& a, const Pose& b) {
    return Pose{multiply(a.rotation, b.rotation), rotate_add(a.rotation, b.translation, a.translation)};
}

inline Pose inverse(const Pose& p) {
    const Quaterniond qc = p.rotation.conjugate();
    return Pose{qc, -rotate(qc, p.translation)};
}

// (axis·sin(θ/2), cos(θ/2)); the axis is used as given.
inline Quaterniond quaternion_from_axis_angle(const Vector3d& axis, double angle) {
    const double s = std::sin(0.5 * angle);
    return Quaterniond(std::cos(0.5 * angle), axis.x() * s, axis.y() * s, axis.z() * s);
}

// Fixed-axis roll-pitch-yaw: R = Rz(yaw)·Ry(pitch)·Rx(roll).
Quaterniond quaternion_from_rpy(double roll, double pitch, double yaw);

// Axis times angle of q_t ⊗ q_c*, taken with w ≥ 0, in the axes the quaternions are given in.
Vector3d rotation_error(const Quaterniond& target, const Quaterniond& current);

// [first; second] as one six-vector.
inline Vector6d stack(const Vector3d& first, const Vector3d& second) {
    Vector6d out;
    out << first, second;
    return out;
}

// A spatial velocity or acceleration: angular block, then the linear motion of a named point,
// both in world axes.
struct Twist {
    Vector3d angular = Vector3d::Zero();
    Vector3d linear = Vector3d::Zero();

    bool all_finite() const { return angular.allFinite() && linear.allFinite(); }
};

// World pose, velocity and acceleration of a floating root link; immutable once built.
class BaseState {
public:
    static Result<BaseState> make(const Pose& frame, const Twist& velocity, const Twist& acceleration);

    const Pose& frame() const { return frame_; }
    const Twist& velocity() const { return velocity_; }
    const Twist& acceleration() const { return acceleration_; }

private:
    BaseState(const Pose& f, const Twist& v, const Twist& a) : frame_(f), velocity_(v), acceleration_(a) {}
    Pose frame_;
    Twist velocity_;
    Twist acceleration_;
};

inline constexpr const char* reason_finite = "must contain only finite values";

}  // namespace vormek
