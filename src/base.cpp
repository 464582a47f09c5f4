#include "base.hpp"

#include <cmath>

namespace vormek {

Pose Pose::from_array(const std::array<double, 7>& v) {
    return Pose{Quaterniond(v[3], v[0], v[1], v[2]), Vector3d(v[4], v[5], v[6])};
}

std::array<double, 7> Pose::to_array() const {
    return {rotation.x(), rotation.y(), rotation.z(), rotation.w(), translation.x(), translation.y(),
            translation.z()};
}

bool Pose::all_finite() const { return rotation.coeffs().allFinite() && translation.allFinite(); }

Quaterniond quaternion_from_rpy(double roll, double pitch, double yaw) {
    const double sr = std::sin(0.5 * roll), cr = std::cos(0.5 * roll);
    const double sp = std::sin(0.5 * pitch), cp = std::cos(0.5 * pitch);
    const double sy = std::sin(0.5 * yaw), cy = std::cos(0.5 * yaw);
    return Quaterniond(cr * cp * cy + sr * sp * sy,   // w
                       sr * cp * cy - cr * sp * sy,   // x
                       cr * sp * cy + sr * cp * sy,   // y
                       cr * cp * sy - sr * sp * cy);  // z
}

Vector3d rotation_error(const Quaterniond& target, const Quaterniond& current) {
    Quaterniond e = multiply(target, current.conjugate());
    // q and −q are the same rotation; the short way round has w ≥ 0
    if (e.w() < 0) e.coeffs() = -e.coeffs();
    const double s = e.vec().squaredNorm();
    if (!(s > 0)) return Vector3d::Zero();
    const double n = std::sqrt(s);
    return e.vec() / n * (2.0 * std::atan2(n, std::abs(e.w())));
}

Result<BaseState> BaseState::make(const Pose& frame, const Twist& velocity, const Twist& acceleration) {
    if (!frame.all_finite()) return fail(errors::InvalidBaseState{"frame", reason_finite});
    if (!velocity.all_finite()) return fail(errors::InvalidBaseState{"velocity", reason_finite});
    if (!acceleration.all_finite()) return fail(errors::InvalidBaseState{"acceleration", reason_finite});
    return BaseState(frame, velocity, acceleration);
}

}  // namespace vormek
