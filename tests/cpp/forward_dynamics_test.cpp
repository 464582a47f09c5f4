#include <gtest/gtest.h>

#include <cmath>

#include "dynamics_support.hpp"
#include "random_tree.hpp"
#include "support.hpp"

namespace vormek {
namespace {

using test::Dyn;
using test::fails_with;
using test::inertial;
using test::joint;
using test::link;
using test::load_ok;
using test::Loads;
using test::near;
using test::ok;
using test::random_vector;
using test::robot;
using test::VectorXd;

// Forward dynamics undoes inverse dynamics, loads included, for both base kinds: the
// articulated-body and Newton-Euler recursions share no code beyond the joint transforms.
TEST(ForwardDynamics, UndoesInverseDynamics) {
    for (const std::uint64_t seed : {41, 42, 43, 44, 45, 46}) {
        auto model = load_ok(test::random_tree_urdf(seed, {.links = 16, .chain = seed % 3 == 0}));
        Robot fixed(model);
        FloatingRobot floating = ok(FloatingRobot::make(model));
        std::mt19937_64 rng(seed);
        const std::size_t n = model->dof_count();
        const VectorXd q = random_vector(rng, n, 2), qd = random_vector(rng, n), qdd = random_vector(rng, n);
        const Loads loads{{*model->link(0), Vector3d(1, 0, 2), Vector3d(0, -1, 1)},
                          {*model->link(3), Vector3d(0.5, 0.1, 0), Vector3d(1, 2, 3)},
                          {*model->link(3), Vector3d(-0.2, 0.4, 1), Vector3d(0, 0, -2)}};

        Dyn f{&fixed};
        ASSERT_TRUE(fixed.set_base_frame(Pose{test::random_rotation(rng), Vector3d(1, 2, 3)}));
        EXPECT_TRUE(near(f.fd(q, qd, f.id(q, qd, qdd, loads), loads), qdd, 1e-10));

        Dyn b{nullptr, &floating};
        b.base = test::random_base(rng);
        VectorXd acc(n + 6);
        acc << b.base.acceleration().angular, b.base.acceleration().linear, qdd;
        EXPECT_TRUE(near(b.fd(q, qd, b.id(q, qd, qdd, loads), loads), acc, 1e-10));
    }
}

// A pendulum held horizontal at rest falls at g/l; a free body falls at g for any orientation,
// without turning.
TEST(ForwardDynamics, PendulumAndFreeFall) {
    const double l = 0.8;
    Robot pendulum(load_ok(robot(
        link("base") + link("bob", inertial("2.5", R"(ixx="0" ixy="0" ixz="0" iyy="0" iyz="0" izz="0")", R"(<origin xyz="0.8 0 0"/>)")) +
        joint("hinge", "revolute", "base", "bob", R"(<axis xyz="0 1 0"/>)"))));
    EXPECT_NEAR(Dyn{&pendulum}.fd(VectorXd::Zero(1), VectorXd::Zero(1), VectorXd::Zero(1))[0],
                standard_gravity / l, 1e-12);  // about +y, x tips down

    FloatingRobot body = ok(FloatingRobot::make(load_ok(robot(link(
        "body", inertial("3", R"(ixx="0.2" ixy="0.01" ixz="0" iyy="0.3" iyz="0.02" izz="0.4")",
                         R"(<origin xyz="0.1 -0.2 0.3" rpy="0.3 0.2 0.1"/>)"))))));
    Dyn b{nullptr, &body};
    std::mt19937_64 rng(5);
    for (int trial = 0; trial < 6; ++trial) {
        b.base = ok(BaseState::make(Pose{test::random_rotation(rng), Vector3d(1, 2, 3)}, Twist{}, Twist{}));
        const VectorXd expected{{0, 0, 0, 0, 0, -standard_gravity}};
        EXPECT_TRUE(near(b.fd(VectorXd(0), VectorXd(0), VectorXd::Zero(6)), expected, 1e-12));
    }
}

// Singular articulated inertias are reported with the DOF where they appear, NaN forces as the
// first DOF whose acceleration they spoil, and a degenerate free body as a singular base.
TEST(ForwardDynamics, SingularInertiasAndNonFiniteForces) {
    const std::string massive = inertial("1", R"(ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1")", R"(<origin xyz="0.3 0 0"/>)");
    // DOF 0 carries a massive link; DOF 1 (revolute) and DOF 2 (prismatic) carry only massless ones
    Robot r(load_ok(robot(link("base") + link("a", massive) + link("b") + link("c") +
                          joint("ja", "revolute", "base", "a", R"(<axis xyz="0 0 1"/>)") +
                          joint("jb", "revolute", "a", "b", R"(<axis xyz="0 0.6 0.8"/>)") +
                          joint("jc", "prismatic", "a", "c", R"(<axis xyz="1 0 0"/>)"))));
    std::vector<double> zero(3, 0.0), out(3, 7.0);
    const char* singular = "forward dynamics found singular articulated inertia at joint DOF ";
    // the backward pass meets DOF 2 first and writes nothing
    EXPECT_TRUE(fails_with(r.forward_dynamics(zero, zero, zero, {}, out), ErrorKind::ForwardDynamicsSingularJointInertia,
                           std::string(singular) + "2"));
    EXPECT_EQ(out, std::vector<double>(3, 7.0));

    // a NaN force on the last joint of a chain spoils every acceleration above it
    Robot chain(load_ok(test::random_tree_urdf(3, {.links = 6, .chain = true, .with_fixed = false})));
    std::vector<double> z5(5, 0.0), forces{0, 0, 0, 0, NAN}, out5(5);
    EXPECT_TRUE(fails_with(chain.forward_dynamics(z5, z5, forces, {}, out5),
                           ErrorKind::ForwardDynamicsSingularJointInertia, std::string(singular) + "0"));

    // a point mass has no rotational inertia: three zero eigenvalues
    FloatingRobot point = ok(FloatingRobot::make(load_ok(robot(link("p", inertial("2"))))));
    BaseState rest = ok(BaseState::make(Pose{}, Twist{}, Twist{}));
    std::vector<double> f6(6, 0.0), out6(6);
    const char* base_message = "forward dynamics found singular floating-base articulated inertia";
    EXPECT_TRUE(fails_with(point.forward_dynamics(rest, {}, {}, f6, {}, out6),
                           ErrorKind::ForwardDynamicsSingularBaseInertia, base_message));
    // and a NaN base force spoils the base solve of a sound body
    FloatingRobot body = ok(FloatingRobot::make(load_ok(robot(link("p", massive)))));
    f6[4] = NAN;
    EXPECT_TRUE(fails_with(body.forward_dynamics(rest, {}, {}, f6, {}, out6),
                           ErrorKind::ForwardDynamicsSingularBaseInertia, base_message));
}

}  // namespace
}  // namespace vormek
