#pragma once
// Geometric Jacobian columns written during the chain walk itself, so a caller needs no pose
// per joint: the walk leaves each revolute column with its joint origin where the moment arm
// goes, and one pass after the walk, once the target origin p_t is known, finishes them.

#include <span>

#include "../../model/model.hpp"
#include "chain.hpp"

namespace vormek {

[[noreturn, gnu::cold, gnu::noinline]] inline void fixed_joint_with_dof() {
    panic("fixed joint holds a degree of freedom");
}

// From the pose X of the joint's child frame: revolute [a; p_j] (p_j = X's origin, on the axis),
// prismatic its final column [0; a], a the joint axis in X's axes. Written value by value:
// Eigen assembles small vectors in scalars and copies them out in pairs, and the reloads stall
// on those stores.
inline void start_joint_column(const JointKinematics& joint, const Pose& X, double* column) {
    if (joint.kind == JointKind::Fixed) [[unlikely]]
        fixed_joint_with_dof();
    const Vector3d a = rotate(X.rotation, joint.axis);
    if (joint.kind == JointKind::Revolute) {
        column[0] = a.x();
        column[1] = a.y();
        column[2] = a.z();
        column[3] = X.translation.x();
        column[4] = X.translation.y();
        column[5] = X.translation.z();
    } else {
        column[0] = column[1] = column[2] = 0.0;
        column[3] = a.x();
        column[4] = a.y();
        column[5] = a.z();
    }
}

// Revolute columns become [a; a × (p_t − p_j)]; prismatic ones are already final.
inline void finish_joint_columns(const Model& model, std::span<const std::size_t> path, const Vector3d& p_t,
                                 std::span<double> out, std::size_t column_offset) {
    for (const std::size_t j : path) {
        const std::size_t k = model.joint_dofs[j];
        if (k == Model::no_dof || model.joint_kinematics[j].kind != JointKind::Revolute) continue;
        double* column = &out[6 * (column_offset + k)];
        const double rx = p_t.x() - column[3], ry = p_t.y() - column[4], rz = p_t.z() - column[5];
        column[3] = column[1] * rz - column[2] * ry;
        column[4] = column[2] * rx - column[0] * rz;
        column[5] = column[0] * ry - column[1] * rx;
    }
}

// The same over the dynamics tree, from the pose X of the body that DOF k's joint moves. X's
// origin is copied the way place_body stored it, entries 0 and 1 as one 16-byte value and entry
// 2 alone: a 16-byte load of entries 1 and 2 would wait for both stores to retire.
inline void start_body_column(const BodyJoint& joint, const Transform& X, double* column) {
    if (joint.kind == JointKind::Revolute) {
        body_axis(joint, X, column);
        Eigen::Map<Eigen::Vector2d>(column + 3) = Eigen::Map<const Eigen::Vector2d>(&X.p[0]);
        column[5] = X.p[2];
    } else {
        column[0] = column[1] = column[2] = 0.0;
        body_axis(joint, X, column + 3);
    }
}

// The same from the rows the walk holds the pose in: a visitor that read the pose back from
// memory at once would wait for its stores to be forwarded. The axis goes out as the pose's
// rows do, rows 0 and 1 as a pair and row 2 alone.
inline void start_body_column(const BodyJoint& joint, const BodyRows& X, double* column) {
    const auto axis = [&](double* a) {
        Lanes a01;
        double a2;
        if (const int k = joint.coordinate; k >= 0) {
            const double s = joint.axis[k];
            a01 = (k == 0 ? X.R0 : k == 1 ? X.R1 : X.R2) * s;
            a2 = (k == 0 ? X.R0z : k == 1 ? X.R1z : X.R2z) * s;
        } else {
            const Vector3d& u = joint.axis;
            a01 = X.R0 * u[0] + X.R1 * u[1] + X.R2 * u[2];
            a2 = X.R0z * u[0] + X.R1z * u[1] + X.R2z * u[2];
        }
        __builtin_memcpy(a, &a01, sizeof a01);
        a[2] = a2;
    };
    if (joint.kind == JointKind::Revolute) {
        axis(column);
        __builtin_memcpy(column + 3, &X.p, sizeof X.p);
        column[5] = X.pz;
    } else {
        column[0] = column[1] = column[2] = 0.0;
        axis(column + 3);
    }
}

// finish_joint_columns over the DOFs of a body path; `out` starts at the column of DOF 0.
inline void finish_body_columns(const Model& model, std::span<const std::size_t> path, const double* p_t,
                                std::span<double> out) {
    for (const std::size_t k : path) {
        if (model.body_joints[k].kind != JointKind::Revolute) continue;
        double* column = &out[6 * k];
        const double rx = p_t[0] - column[3], ry = p_t[1] - column[4], rz = p_t[2] - column[5];
        column[3] = column[1] * rz - column[2] * ry;
        column[4] = column[2] * rx - column[0] * rz;
        column[5] = column[0] * ry - column[1] * rx;
    }
}

}  // namespace vormek
