#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <string>

#include "../base.hpp"
#include "../sin_cos.hpp"

namespace vormek {

// Revolute covers URDF revolute and continuous joints; they differ only in their limits.
enum class JointKind : std::uint8_t { Revolute = 0, Prismatic = 1, Fixed = 2 };

struct JointKinematics {
    Quaterniond origin_rotation = Quaterniond::Identity();  // joint frame at q = 0, in the parent link frame
    Vector3d origin_translation = Vector3d::Zero();
    Vector3d axis = Vector3d::UnitX();  // unit length, joint frame; (1, 0, 0) and unused for fixed joints
    JointKind kind = JointKind::Fixed;

    Pose origin() const { return Pose{origin_rotation, origin_translation}; }
};

// The six orderings of the axes, as origin_columns lists them.
inline constexpr std::array<std::array<int, 3>, 6> rotation_permutations{
    {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}}};

// A pose as a rotation matrix and a translation: what the dynamics kernels hold per body, since
// they turn several vectors with each one.
struct Transform {
    Matrix3d R = Matrix3d::Identity();
    Vector3d p = Vector3d::Zero();
};

// A movable joint of the dynamics tree, its origin placed in the frame of its parent body (the
// fixed joints between the two folded in).
struct BodyJoint {
    Matrix3d origin_rotation = Matrix3d::Identity();
    Vector3d origin_translation = Vector3d::Zero();
    Vector3d axis = Vector3d::UnitX();
    JointKind kind = JointKind::Revolute;  // Revolute or Prismatic
    int coordinate = -1;                   // k when the axis is ±e_k, else −1

    bool origin_turned = true;             // false when the origin rotation is the identity
    // true when the origin rotation is a signed permutation of the axes (a turn by multiples of
    // 90°): its column c is origin_signs[c]·e_{origin_columns[c]}, and composing with it only
    // reorders columns, bit for bit what the full product would give
    bool origin_permutes = false;
    std::array<int, 3> origin_columns{0, 1, 2};
    std::array<double, 3> origin_signs{1.0, 1.0, 1.0};
    // The index of origin_columns in rotation_permutations, when origin_permutes: the walks keep
    // one placement per ordering, so that the permutation costs no arithmetic.
    std::uint8_t origin_order = 0;
    // O(r, c) at 3·r + c and the origin translation t_r at 9 + r, each in both lanes of a pair:
    // a walk that carries two rows of a pose side by side multiplies by them straight from
    // memory, where a double would first be copied into both lanes, one more instruction and
    // one more register per constant and placement
    std::array<Lanes, 12> origin_lanes{};
    // The origin rotation as a quaternion O, and O ⊗ (axis, 0), each as the pairs (x, y) and
    // (z, w): the rotation of the pose at q is cos(q/2)·O + sin(q/2)·O ⊗ (axis, 0), for the walks
    // that carry quaternions (chain.hpp). O has the sign that composing the joint origins gives.
    std::array<Lanes, 2> origin_quaternion{};
    std::array<Lanes, 2> turned_quaternion{};

    // out = pose of the child body in the parent body at joint coordinate q, written entry by
    // entry and straight from the origin rotation: inverse dynamics reads it back at once, and
    // a pose built in a temporary and copied in 16-byte moves (or turned in place after an
    // entry-wise copy) stalls those reads on store forwarding.
    void place(double q, Transform& out) const {
        const Matrix3d& O = origin_rotation;
        const Vector3d& t = origin_translation;
        Matrix3d& R = out.R;
        if (kind == JointKind::Prismatic) {
            for (int c = 0; c < 3; ++c)
                for (int r = 0; r < 3; ++r) R(r, c) = O(r, c);
            for (int r = 0; r < 3; ++r)
                out.p[r] = t[r] + q * (O(r, 0) * axis[0] + O(r, 1) * axis[1] + O(r, 2) * axis[2]);
            return;
        }
        for (int r = 0; r < 3; ++r) out.p[r] = t[r];
        const auto [s, c] = sin_cos(q);
        if (coordinate < 0) {
            R = turned_about_axis(O, s, c);
            return;
        }
        // a turn about ±e_k mixes the other two columns of the origin rotation and keeps column k
        const int k = coordinate, i = k == 2 ? 0 : k + 1, j = k == 0 ? 2 : k - 1;
        const double sk = axis[k] * s;
        for (int r = 0; r < 3; ++r) {
            R(r, i) = c * O(r, i) + sk * O(r, j);
            R(r, j) = c * O(r, j) - sk * O(r, i);
            R(r, k) = O(r, k);
        }
    }

private:
    // E·(Rodrigues: c·1 + s·[a]× + (1 − c)·a·aᵀ) for an axis off the coordinate axes
    [[gnu::noinline]] Matrix3d turned_about_axis(const Matrix3d& E, double s, double c) const {
        Matrix3d A = (1 - c) * axis * axis.transpose();
        A.diagonal().array() += c;
        A(0, 1) -= s * axis.z(), A(1, 0) += s * axis.z();
        A(0, 2) += s * axis.y(), A(2, 0) -= s * axis.y();
        A(1, 2) -= s * axis.x(), A(2, 1) += s * axis.x();
        return E * A;
    }
};

struct Joint {
    std::string name;
    JointKinematics kinematics;
    double lower = 0.0;  // position limits; read only by the inverse-kinematics solution check
    double upper = 0.0;
    bool continuous = false;  // a URDF continuous joint (Revolute, limits ±inf), for describing the model
};

}  // namespace vormek
