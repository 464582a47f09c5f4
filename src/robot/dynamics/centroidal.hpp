#pragma once
// The pass that the centre of mass, the momentum and the energies start from: every body of the
// dynamics tree placed root to leaf in one reference frame, world axes with the origin at the
// root origin (the base translation is added to positions at the end, so the numbers stay the
// size of the robot), and the whole robot's mass and first moment summed on the way. The whole
// robot is every body, the root with what is fixed to it included, on a fixed base too.

#include <span>

#include "../kinematics/chain.hpp"
#include "../workspace.hpp"
#include "spatial.hpp"

namespace vormek {

// The mass m and first moment h = Σ mᵢ·xᵢ of the whole robot about the reference origin.
struct MassSum {
    double mass = 0.0;
    Vector3d first_moment = Vector3d::Zero();

    // c relative to the root origin: NaN for a robot without mass, which has no centre of mass.
    Vector3d center() const { return first_moment / mass; }
    // The point momenta are taken about: c, or the root origin for a robot without mass, whose
    // momentum (all zero but for rotational inertia) is the same about every point.
    Vector3d momentum_point() const { return mass > 0 ? center() : Vector3d::Zero(); }
};

// A body's centre of mass x = p + R·c, from the rows the walk holds its pose in.
inline Vector3d body_center(const BodyRows& X, const LinkInertial& in) {
    const std::array<Lanes, 10>& c = in.lanes;  // I_c: 00 01 02 11 12 22; c; m
    const Lanes x = X.p + X.R0 * c[6] + X.R1 * c[7] + X.R2 * c[8];
    return {x[0], x[1], X.pz + X.R0z * c[6][0] + X.R1z * c[7][0] + X.R2z * c[8][0]};
}

// Places body k + 1 into X[k] for every DOF k, the root body at (R0, 0), calling
// visit(k, pose, centre of mass) after each, the pose still in the rows the walk holds it in (a
// visitor that read X[k] back at once would wait for its stores); returns the sums over every
// body, the root's included. (walk_tree). q is checked by the caller; X holds a slot per DOF.
template <class Visit>
[[gnu::always_inline]] inline MassSum place_masses(const Model& model, const Matrix3d& R0, std::span<const double> q,
                                                   std::span<Transform> X, Visit visit) {
    const Transform root{R0, Vector3d::Zero()};
    const LinkInertial& in0 = model.body_inertials[0];
    MassSum sum{in0.mass, in0.mass * (R0 * in0.com)};
    walk_tree(model, q, root, X, [&](std::size_t k, const Transform&, const BodyRows& pose) {
        const LinkInertial& in = model.body_inertials[k + 1];
        const Vector3d x = body_center(pose, in);
        sum.mass += in.mass;
        sum.first_moment += in.mass * x;
        visit(k, pose, x);
    });
    return sum;
}

}  // namespace vormek
