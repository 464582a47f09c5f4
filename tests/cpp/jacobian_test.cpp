#include <gtest/gtest.h>

#include "motion.hpp"

namespace vormek {
namespace {

using test::as_matrix;
using test::as_vector;
using test::near;
using test::pose_differences;
using test::RandomRobots;

// The base rotated by a small angle about a world axis, about its own origin.
Pose turned(const Pose& frame, std::size_t axis, double angle) {
    return Pose{multiply(quaternion_from_axis_angle(Vector3d::Unit(axis), angle), frame.rotation), frame.translation};
}

// Every column against central differences of forward kinematics, and twist = J·q̇, for every
// link of random trees with every joint kind, on both base kinds.
TEST(Jacobian, MatchesDifferencesOfPosesAndMapsVelocitiesToTwists) {
    for (std::uint64_t seed = 1; seed <= 6; ++seed) {
        RandomRobots r(seed);
        const std::size_t n = r.n();
        for (std::size_t l = 0; l < r.model->link_count(); ++l) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << ", link " << l);
            const LinkId link = r.link(l);
            const std::vector<double> q = r.vector(n), qd = r.vector(n);
            auto q_moved = [&](std::size_t k, double h) {
                std::vector<double> x = q;
                x[k] += h;
                return x;
            };

            std::vector<double> J(6 * n);
            ASSERT_TRUE(r.fixed.jacobian(q, link, J));
            EXPECT_TRUE(near(as_matrix(J), pose_differences(n, [&](std::size_t k, double h) {
                                 return *r.fixed.forward_kinematics(q_moved(k, h), link);
                             }), 1e-8));
            EXPECT_TRUE(near(as_vector(*r.fixed.forward_velocity_kinematics(q, qd, link)), as_matrix(J) * as_vector(qd),
                             1e-11));

            // floating: three base rotations about world axes, three base translations, then q
            const BaseState base = r.base_state();
            std::vector<double> Jf(6 * n + 36);
            ASSERT_TRUE(r.floating.jacobian(base, q, link, Jf));
            EXPECT_TRUE(near(as_matrix(Jf), pose_differences(n + 6, [&](std::size_t k, double h) {
                                 Pose frame = base.frame();
                                 if (k < 3) frame = turned(frame, k, h);
                                 else if (k < 6) frame.translation[k - 3] += h;
                                 const BaseState moved = *BaseState::make(frame, Twist{}, Twist{});
                                 return *r.floating.forward_kinematics(moved, k < 6 ? q : q_moved(k - 6, h), link);
                             }), 1e-8));
            EXPECT_TRUE(near(as_vector(*r.floating.forward_velocity_kinematics(base, q, qd, link)),
                             as_matrix(Jf) * test::stacked(base.velocity(), qd), 1e-11));
        }
    }
}

}  // namespace
}  // namespace vormek
