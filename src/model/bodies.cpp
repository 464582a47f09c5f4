// The dynamics tree: links joined by fixed joints move as one rigid body, so their inertias are
// merged at load and the dynamics kernels never walk a fixed joint.

#include "model.hpp"

#include <array>
#include <cmath>
#include <limits>

namespace vormek {

namespace {

// `body` with `link` added, the link placed at (R, p) in the body's frame: masses and first
// moments add, rotational inertias add about the body origin.
LinkInertial merged(const LinkInertial& body, const LinkInertial& link, const Matrix3d& R, const Vector3d& p) {
    const double m = body.mass + link.mass;
    const Vector3d x = p + R * link.com;
    const Vector3d h = body.first_moment + link.mass * x;
    const Matrix3d I_o = body.inertia_origin + R * link.inertia_com * R.transpose() +
                         link.mass * (x.squaredNorm() * Matrix3d::Identity() - x * x.transpose());
    // a massless body keeps its rotational inertia about its origin, where its centre is put
    const Vector3d c = m > 0 ? Vector3d(h / m) : Vector3d::Zero();
    return LinkInertial::from_com(m, c, I_o - m * (c.squaredNorm() * Matrix3d::Identity() - c * c.transpose()));
}

int coordinate_axis(const Vector3d& s) {
    for (int k = 0; k < 3; ++k)
        if (std::abs(s[k]) == 1.0 && s[(k + 1) % 3] == 0.0 && s[(k + 2) % 3] == 0.0) return k;
    return -1;
}

// Takes a joint's origin rotation E that lies within rounding of a signed permutation of the
// axes for exactly that permutation, and records it. URDFs write quarter turns as rpy of
// ±π/2, whose cosine comes out as 6e-17 rather than 0; snapped, the turn costs no arithmetic.
void snap_quarter_turns(BodyJoint& joint) {
    constexpr double tolerance = 4 * std::numeric_limits<double>::epsilon();
    Matrix3d& E = joint.origin_rotation;
    Matrix3d snapped = Matrix3d::Zero();
    std::array<int, 3> columns{};
    std::array<double, 3> signs{};
    for (int c = 0; c < 3; ++c) {
        int found = -1;
        for (int r = 0; r < 3; ++r) {
            if (std::abs(E(r, c)) <= tolerance) continue;
            if (found >= 0 || std::abs(std::abs(E(r, c)) - 1.0) > tolerance) return;
            found = r;
        }
        if (found < 0) return;
        columns[c] = found;
        signs[c] = E(found, c) > 0 ? 1.0 : -1.0;
        snapped(found, c) = signs[c];
    }
    if (columns[0] == columns[1] || columns[1] == columns[2] || columns[0] == columns[2]) return;
    E = snapped;
    joint.origin_turned = E != Matrix3d::Identity();
    joint.origin_permutes = joint.origin_turned;
    joint.origin_columns = columns;
    joint.origin_signs = signs;
    for (std::size_t p = 0; p < rotation_permutations.size(); ++p)
        if (rotation_permutations[p] == columns) joint.origin_order = static_cast<std::uint8_t>(p);
}

// Sets BodyJoint::origin_lanes from the snapped origin.
void spread_origin(BodyJoint& joint) {
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) joint.origin_lanes[3 * r + c] = Lanes{} + joint.origin_rotation(r, c);
        joint.origin_lanes[9 + r] = Lanes{} + joint.origin_translation[r];
    }
}

// Sets BodyJoint::origin_quaternion and turned_quaternion from the origin's quaternion.
void spread_quaternion(BodyJoint& joint, const Quaterniond& O) {
    const Quaterniond A = multiply(O, Quaterniond(0, joint.axis.x(), joint.axis.y(), joint.axis.z()));
    joint.origin_quaternion = {Lanes{O.x(), O.y()}, Lanes{O.z(), O.w()}};
    joint.turned_quaternion = {Lanes{A.x(), A.y()}, Lanes{A.z(), A.w()}};
}

}  // namespace

void Model::fold_fixed_joints() {
    const std::size_t L = link_count(), n = dof_count();
    link_bodies.assign(L, 0);
    link_placements.assign(L, Pose::identity());
    body_joints.clear();
    body_joints.reserve(n);
    body_parents.clear();
    body_parents.reserve(n);
    body_inertials.assign(n + 1, LinkInertial{});
    body_inertials[0] = link_inertials[0];

    // parents first: a movable joint starts a body, a fixed one extends its parent's
    for (std::size_t j = 0; j < joint_count(); ++j) {
        const JointKinematics& joint = joint_kinematics[j];
        const std::size_t parent = joint_parents[j], child = j + 1;
        const Pose origin = compose(link_placements[parent], joint.origin());
        const std::size_t body = link_bodies[parent];
        if (const std::size_t k = joint_dofs[j]; k != no_dof) {
            const Matrix3d E = origin.rotation.toRotationMatrix();
            body_joints.push_back(BodyJoint{E, origin.translation, joint.axis, joint.kind,
                                            coordinate_axis(joint.axis), E != Matrix3d::Identity()});
            snap_quarter_turns(body_joints.back());
            spread_origin(body_joints.back());
            spread_quaternion(body_joints.back(), origin.rotation);
            body_parents.push_back(body);
            link_bodies[child] = k + 1;
            body_inertials[k + 1] = link_inertials[child];
        } else {
            link_bodies[child] = body;
            link_placements[child] = origin;
            body_inertials[body] = merged(body_inertials[body], link_inertials[child],
                                          origin.rotation.toRotationMatrix(), origin.translation);
        }
    }
}

}  // namespace vormek
