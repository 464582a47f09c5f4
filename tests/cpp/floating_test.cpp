#include <gtest/gtest.h>

#include "dynamics_support.hpp"
#include "random_tree.hpp"
#include "support.hpp"

namespace vormek {
namespace {

using test::Dyn;
using test::fails_with;
using test::inertial;
using test::link;
using test::load_ok;
using test::Loads;
using test::near;
using test::ok;
using test::random_vector;
using test::robot;
using test::VectorXd;
constexpr double g = standard_gravity;

// One free body: the Newton-Euler wrench about its origin, computed here from the base state.
TEST(FloatingDynamics, SingleBodyClosedForm) {
    auto model = load_ok(robot(link("body", inertial("2.5", R"(ixx="0.3" ixy="0.02" ixz="-0.01" iyy="0.4" iyz="0.03" izz="0.5")",
                                                     R"(<origin xyz="0.2 -0.1 0.4" rpy="0.5 -0.3 0.9"/>)"))));
    const LinkInertial& in = model->link_inertials[0];
    FloatingRobot robot = ok(FloatingRobot::make(model));
    Dyn b{nullptr, &robot};
    std::mt19937_64 rng(3);
    for (int trial = 0; trial < 5; ++trial) {
        b.base = test::random_base(rng);
        const Matrix3d R = b.base.frame().rotation.toRotationMatrix();
        const Vector3d w = R.transpose() * b.base.velocity().angular, alpha = R.transpose() * b.base.acceleration().angular;
        const Vector3d a = R.transpose() * b.base.acceleration().linear;
        const Vector3d& c = in.com;
        const Vector3d f = in.mass * (a + R.transpose() * Vector3d(0, 0, g) + alpha.cross(c) + w.cross(w.cross(c)));
        const Vector3d n = in.inertia_com * alpha + w.cross(in.inertia_com * w) + c.cross(f);
        VectorXd expected(6);
        expected << R * n, R * f;
        EXPECT_TRUE(near(b.id(VectorXd(0), VectorXd(0), VectorXd(0)), expected, 1e-12));
    }
}

// Invariances of the floating base on random trees: the base position never matters, the base
// linear velocity does not enter the velocity products, gravity at rest weighs the whole robot,
// and loads on the root move only the base entries, by the load in world axes.
TEST(FloatingDynamics, Invariances) {
    for (const std::uint64_t seed : {51, 52, 53}) {
        auto model = load_ok(test::random_tree_urdf(seed, {.links = 12}));
        double total = 0;
        for (const Link& l : model->links) total += l.inertial.mass;
        FloatingRobot robot = ok(FloatingRobot::make(model));
        Dyn b{nullptr, &robot};
        std::mt19937_64 rng(seed);
        const std::size_t n = model->dof_count();
        const VectorXd q = random_vector(rng, n, 2), qd = random_vector(rng, n), qdd = random_vector(rng, n);
        b.base = test::random_base(rng);
        const VectorXd id = b.id(q, qd, qdd), vpf = b.vpf(q, qd), grav = b.gravity(q);
        VectorXd acc(n + 6);
        acc << b.base.acceleration().angular, b.base.acceleration().linear, qdd;
        const VectorXd fd = b.fd(q, qd, id);
        EXPECT_TRUE(near(fd, acc, 1e-10));

        const BaseState original = b.base;
        b.base = test::with_frame(original, Pose{original.frame().rotation, Vector3d(-4, 7, 1)});
        EXPECT_TRUE(near(b.id(q, qd, qdd), id, 0));
        EXPECT_TRUE(near(b.gravity(q), grav, 0));
        EXPECT_TRUE(near(b.fd(q, qd, id), fd, 0));
        b.base = test::with_velocity(original, Twist{original.velocity().angular, Vector3d(3, -1, 2)});
        EXPECT_TRUE(near(b.vpf(q, qd), vpf, 0));
        EXPECT_TRUE(near(b.id(q, qd, qdd), id, 0));

        // at rest, inverse dynamics is gravity, and the base carries the total weight upright
        b.base = test::with_acceleration(test::with_velocity(original, Twist{}), Twist{});
        const VectorXd zero = VectorXd::Zero(n);
        EXPECT_TRUE(near(b.id(q, zero, zero), b.gravity(q), 1e-11));
        EXPECT_TRUE(near(b.gravity(q).segment<3>(3), Vector3d(0, 0, total * g), 1e-11));

        b.base = original;
        const Vector3d t(0.4, -1.2, 0.7), f(2, 0.5, -1);
        const Loads root{{*model->link(0), t, f}};
        const Matrix3d R = original.frame().rotation.toRotationMatrix();
        VectorXd shift = VectorXd::Zero(n + 6);
        shift << R * t, R * f, zero;
        EXPECT_TRUE(near(b.id(q, qd, qdd, root), id + shift, 1e-11));
        EXPECT_TRUE(near(b.gravity(q, root), grav + shift, 1e-11));
    }
}

// The floating operations check like the fixed ones, against n + 6 outputs.
TEST(FloatingDynamics, OutputsCarryTheBase) {
    auto model = load_ok(test::random_tree_urdf(5, {.links = 4, .with_fixed = false}));
    FloatingRobot r = ok(FloatingRobot::make(model));
    const BaseState base = ok(BaseState::make(Pose{}, Twist{}, Twist{}));
    const std::vector<double> q(3, 0.1), nan3{0.1, NAN, 0.1};
    std::vector<double> out3(3), out9(9);
    using K = ErrorKind;
    EXPECT_TRUE(fails_with(r.inverse_dynamics(base, q, q, nan3, {}, out3), K::NonFiniteInput, "qdd contains a non-finite value"));
    EXPECT_TRUE(fails_with(r.inverse_dynamics(base, q, q, q, {}, out3), K::WrongSliceLength, "expected 9 elements in inverse dynamics output, found 3"));
    EXPECT_TRUE(fails_with(r.gravity(base, q, {}, out3), K::WrongSliceLength, "expected 9 elements in gravity output, found 3"));
    EXPECT_TRUE(fails_with(r.velocity_product_forces(base, q, q, out3), K::WrongSliceLength, "expected 9 elements in velocity product output, found 3"));
    EXPECT_TRUE(fails_with(r.mass_matrix(base, q, out9), K::WrongSliceLength, "expected 81 elements in mass matrix output, found 9"));
    EXPECT_TRUE(fails_with(r.forward_dynamics(base, q, q, q, {}, out9), K::WrongSliceLength, "expected 9 elements in forward dynamics generalized forces, found 3"));
    // a floating robot without joints still answers with its base block
    FloatingRobot body = ok(FloatingRobot::make(load_ok(robot(link("b", inertial("1", R"(ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1")"))))));
    std::vector<double> m36(36);
    ASSERT_TRUE(body.mass_matrix(base, {}, m36));
    EXPECT_EQ(m36[0], 1.0);
    EXPECT_EQ(m36[3 * 6 + 3], 1.0);
}

}  // namespace
}  // namespace vormek
