#include <gtest/gtest.h>

#include "motion.hpp"

namespace vormek {
namespace {

using test::as_matrix;
using test::as_vector;
using test::near;
using test::RandomRobots;
using test::stacked;

// J̇ against central differences of J along the motion (q + t·q̇, the base turning at ω_b), and
// the link acceleration = J·q̈ + J̇·q̇, for every link of random trees on both base kinds.
TEST(JacobianDerivative, MatchesDifferencesOfJacobiansAndGivesLinkAccelerations) {
    const double h = 1e-6;
    for (std::uint64_t seed = 11; seed <= 16; ++seed) {
        RandomRobots r(seed);
        const std::size_t n = r.n();
        for (std::size_t l = 0; l < r.model->link_count(); ++l) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << ", link " << l);
            const LinkId link = r.link(l);
            const std::vector<double> q = r.vector(n), qd = r.vector(n), qdd = r.vector(n);
            auto q_at = [&](double t) {
                std::vector<double> x = q;
                for (std::size_t k = 0; k < n; ++k) x[k] += t * qd[k];
                return x;
            };

            std::vector<double> Jdot(6 * n), J(6 * n), Jp(6 * n), Jm(6 * n);
            ASSERT_TRUE(r.fixed.jacobian_derivative(q, qd, link, Jdot));
            ASSERT_TRUE(r.fixed.jacobian(q, link, J));
            ASSERT_TRUE(r.fixed.jacobian(q_at(h), link, Jp));
            ASSERT_TRUE(r.fixed.jacobian(q_at(-h), link, Jm));
            EXPECT_TRUE(near(as_matrix(Jdot), (as_matrix(Jp) - as_matrix(Jm)) / (2 * h), 1e-7));
            EXPECT_TRUE(near(as_vector(*r.fixed.forward_acceleration_kinematics(q, qd, qdd, link)),
                             as_matrix(J) * as_vector(qdd) + as_matrix(Jdot) * as_vector(qd), 1e-10));

            const BaseState base = r.base_state();
            const Vector3d& w_b = base.velocity().angular;
            auto base_at = [&](double t) {
                const Pose& f = base.frame();
                const Quaterniond turn = quaternion_from_axis_angle(w_b.normalized(), t * w_b.norm());
                return *BaseState::make(Pose{multiply(turn, f.rotation), f.translation}, Twist{}, Twist{});
            };
            std::vector<double> Jf(6 * n + 36), Jfdot(6 * n + 36), Jfp(6 * n + 36), Jfm(6 * n + 36);
            ASSERT_TRUE(r.floating.jacobian_derivative(base, q, qd, link, Jfdot));
            ASSERT_TRUE(r.floating.jacobian(base, q, link, Jf));
            ASSERT_TRUE(r.floating.jacobian(base_at(h), q_at(h), link, Jfp));
            ASSERT_TRUE(r.floating.jacobian(base_at(-h), q_at(-h), link, Jfm));
            EXPECT_TRUE(near(as_matrix(Jfdot), (as_matrix(Jfp) - as_matrix(Jfm)) / (2 * h), 1e-7));
            EXPECT_TRUE(near(as_vector(*r.floating.forward_acceleration_kinematics(base, q, qd, qdd, link)),
                             as_matrix(Jf) * stacked(base.acceleration(), qdd) +
                                 as_matrix(Jfdot) * stacked(base.velocity(), qd),
                             1e-10));
        }
    }
}

}  // namespace
}  // namespace vormek
