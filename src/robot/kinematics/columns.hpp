#pragma once
// Geometric Jacobian columns written during the chain walk itself, so a caller needs no pose
// per joint: the walk leaves each revolute column with its joint origin where the moment arm
// goes, and one pass after the walk, once the target origin p_t is known, finishes them.

#include <span>

#include "../../model/model.hpp"
#include "chain.hpp"

namespace vormek {

// From the pose X of the body that DOF k's joint moves, as the walk holds it in registers (a
// visitor that read the pose back from memory at once would wait for its stores to be
// forwarded): revolute [a; p_j] (p_j = X's origin, on the axis), prismatic its final column
// [0; a], a the joint axis in X's axes, a column of X's rotation when the axis is a coordinate
// axis. The values go out as the pose's rows do, rows 0 and 1 as a pair and row 2 alone.
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

// Revolute columns become [a; a × (p_t − p_j)], prismatic ones are already final, for the DOFs
// of a body path; `out` starts at the column of DOF 0.
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
