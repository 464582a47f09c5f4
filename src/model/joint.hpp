#pragma once

#include <cmath>
#include <cstdint>
#include <string>

#include "../base.hpp"

namespace vormek {

// Revolute covers URDF revolute and continuous joints; they differ only in their limits.
enum class JointKind : std::uint8_t { Revolute = 0, Prismatic = 1, Fixed = 2 };

struct JointKinematics {
    Quaterniond origin_rotation = Quaterniond::Identity();  // joint frame at q = 0, in the parent link frame
    Vector3d origin_translation = Vector3d::Zero();
    Vector3d axis = Vector3d::UnitX();  // unit length, joint frame; (1, 0, 0) and unused for fixed joints
    JointKind kind = JointKind::Fixed;

    Pose origin() const { return Pose{origin_rotation, origin_translation}; }

    // Pose of the child link frame in the parent link frame at joint coordinate q
    // (callers pass 0 for joints without a DOF).
    Pose frame(double q) const {
        return kind == JointKind::Revolute ? frame(q, std::sin(0.5 * q), std::cos(0.5 * q)) : frame(q, 0.0, 1.0);
    }

    // The same with sin(q/2) and cos(q/2) supplied (read by revolute joints only), so that a
    // chain walk can evaluate its sines together, off the chain's dependency path.
    Pose frame(double q, double sin_half, double cos_half) const {
        switch (kind) {
            case JointKind::Revolute:
                return Pose{multiply(origin_rotation, Quaterniond(cos_half, axis.x() * sin_half, axis.y() * sin_half,
                                                                  axis.z() * sin_half)),
                            origin_translation};
            case JointKind::Prismatic:
                return Pose{origin_rotation, rotate_add(origin_rotation, q * axis, origin_translation)};
            case JointKind::Fixed:
                break;
        }
        return origin();
    }
};

struct Joint {
    std::string name;
    JointKinematics kinematics;
    double lower = 0.0;  // position limits; read only by the inverse-kinematics solution check
    double upper = 0.0;
};

}  // namespace vormek
