#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

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
constexpr double g = standard_gravity;

// A planar double pendulum swinging about y: point masses m1, m2 at the ends of arms l1, l2
// along x, the second with rotational inertia Iyy about its centre of mass.
const double m1 = 1.5, m2 = 0.7, l1 = 0.9, l2 = 0.6, I2 = 0.05;
const std::string double_pendulum = robot(
    link("base") + link("upper", inertial("1.5", R"(ixx="0" ixy="0" ixz="0" iyy="0" iyz="0" izz="0")", R"(<origin xyz="0.9 0 0"/>)")) +
    link("lower", inertial("0.7", R"(ixx="0" ixy="0" ixz="0" iyy="0.05" iyz="0" izz="0")", R"(<origin xyz="0.6 0 0"/>)")) +
    joint("shoulder", "continuous", "base", "upper", R"(<axis xyz="0 1 0"/>)") +
    joint("elbow", "revolute", "upper", "lower", R"(<origin xyz="0.9 0 0"/><axis xyz="0 1 0"/>)"));

TEST(InverseDynamics, DoublePendulumClosedForm) {
    Robot r(load_ok(double_pendulum));
    Dyn dyn{&r};
    std::mt19937_64 rng(7);
    for (int trial = 0; trial < 5; ++trial) {
        const VectorXd q = random_vector(rng, 2, 3), qd = random_vector(rng, 2, 2), qdd = random_vector(rng, 2, 2);
        // angles about y turn x towards −z, so the heights are −l·sin q
        const double c2 = std::cos(q[1]), s2 = std::sin(q[1]);
        const double M11 = m1 * l1 * l1 + m2 * (l1 * l1 + l2 * l2 + 2 * l1 * l2 * c2) + I2;
        const double M12 = m2 * (l2 * l2 + l1 * l2 * c2) + I2, M22 = m2 * l2 * l2 + I2;
        const double h = m2 * l1 * l2 * s2;
        const VectorXd c{{-h * (2 * qd[0] * qd[1] + qd[1] * qd[1]), h * qd[0] * qd[0]}};
        const VectorXd grav{{-(m1 * l1 + m2 * l1) * g * std::cos(q[0]) - m2 * l2 * g * std::cos(q[0] + q[1]),
                             -m2 * l2 * g * std::cos(q[0] + q[1])}};
        const Eigen::Matrix2d M{{M11, M12}, {M12, M22}};
        EXPECT_TRUE(near(dyn.mass(q), M, 1e-12));
        EXPECT_TRUE(near(dyn.vpf(q, qd), c, 1e-12));
        EXPECT_TRUE(near(dyn.gravity(q), grav, 1e-12));
        EXPECT_TRUE(near(dyn.id(q, qd, qdd), M * qdd + c + grav, 1e-12));
    }
    // held horizontal, the shoulder carries both weights at their arms
    EXPECT_NEAR(dyn.gravity(VectorXd::Zero(2))[0], -(m1 * l1 + m2 * (l1 + l2)) * g, 1e-12);
}

// Link-frame Jacobian of `link` by central differences of forward kinematics: column k is the
// link's twist (angular; linear of its origin), in its own axes, per unit rate of DOF k.
Eigen::MatrixXd link_jacobian_fd(Robot& r, const VectorXd& q, LinkId link) {
    const std::size_t n = q.size();
    const double h = 1e-6;
    const Pose P = ok(r.forward_kinematics(test::view(q), link));
    const Matrix3d Rt = P.rotation.toRotationMatrix().transpose();
    Eigen::MatrixXd Jl(6, n);
    for (std::size_t k = 0; k < n; ++k) {
        VectorXd qp = q, qm = q;
        qp[k] += h;
        qm[k] -= h;
        const Pose Pp = ok(r.forward_kinematics(test::view(qp), link)), Pm = ok(r.forward_kinematics(test::view(qm), link));
        const Matrix3d W = Rt * (Pp.rotation.toRotationMatrix() - Pm.rotation.toRotationMatrix()) / (2 * h);
        Jl.col(k) << 0.5 * (W(2, 1) - W(1, 2)), 0.5 * (W(0, 2) - W(2, 0)), 0.5 * (W(1, 0) - W(0, 1)),
            Rt * (Pp.translation - Pm.translation) / (2 * h);
    }
    return Jl;
}

// A load is the transposed link Jacobian applied to (torque, force), in every entry point that
// takes loads, and loads on one link add up.
TEST(InverseDynamics, LoadsActThroughTheLinkJacobian) {
    for (const std::uint64_t seed : {1, 2, 3}) {
        auto model = load_ok(test::random_tree_urdf(seed, {.links = 10}));
        Robot r(model);
        Dyn dyn{&r};
        std::mt19937_64 rng(seed);
        const std::size_t n = model->dof_count();
        const VectorXd q = random_vector(rng, n, 2), qd = random_vector(rng, n), qdd = random_vector(rng, n);
        for (std::size_t l = 1; l < model->link_count(); ++l) {
            const LinkId id = *model->link(l);
            const Vector6d w1 = random_vector(rng, 6), w2 = random_vector(rng, 6);
            const Loads two{{id, w1.head<3>(), w1.tail<3>()}, {id, w2.head<3>(), w2.tail<3>()}};
            const VectorXd expected = link_jacobian_fd(r, q, id).transpose() * (w1 + w2);
            EXPECT_TRUE(near(dyn.gravity(q, two) - dyn.gravity(q), expected, 1e-8)) << "link " << l;
            EXPECT_TRUE(near(dyn.id(q, qd, qdd, two) - dyn.id(q, qd, qdd), expected, 1e-8)) << "link " << l;
        }
        // a fixed base absorbs whatever is put on the root
        const Loads root{{*model->link(0), Vector3d(1, 2, 3), Vector3d(4, 5, 6)}};
        EXPECT_TRUE(near(dyn.gravity(q, root), dyn.gravity(q), 0));
    }
}

// gravity is inverse dynamics at rest; velocity-product forces are inverse dynamics without
// acceleration, gravity or loads; a turned base is gravity turned the other way; the base
// translation changes nothing.
TEST(InverseDynamics, GravityAndVelocityProductsAreInverseDynamicsSpecialised) {
    for (const std::uint64_t seed : {11, 12, 13, 14}) {
        auto model = load_ok(test::random_tree_urdf(seed, {.links = 14}));
        Robot r(model);
        Dyn dyn{&r};
        std::mt19937_64 rng(seed);
        const std::size_t n = model->dof_count();
        const VectorXd q = random_vector(rng, n, 2), qd = random_vector(rng, n), zero = VectorXd::Zero(n);
        const Loads loads{{*model->link(n / 2 + 1), Vector3d(0.3, -0.2, 0.1), Vector3d(1, -2, 0.5)}};
        EXPECT_TRUE(near(dyn.gravity(q, loads), dyn.id(q, zero, zero, loads), 1e-11));
        EXPECT_TRUE(near(dyn.vpf(q, qd), dyn.id(q, qd, zero) - dyn.gravity(q), 1e-11));

        // gravity along R_baseᵀ·(0, 0, −g) on an upright base: hang the robot under a free
        // floating root that is accelerated upwards by R_baseᵀ·(0, 0, g) instead
        const Quaterniond R = test::random_rotation(rng);
        const VectorXd upright = dyn.gravity(q);
        ASSERT_TRUE(r.set_base_frame(Pose{R, Vector3d(5, -3, 2)}));
        const VectorXd turned = dyn.gravity(q);
        ASSERT_TRUE(r.set_base_frame(Pose{}));
        FloatingRobot f = ok(FloatingRobot::make(model));
        Dyn fdyn{nullptr, &f};
        const Vector3d up = R.conjugate() * Vector3d(0, 0, g);
        fdyn.base = ok(BaseState::make(Pose{}, Twist{}, Twist{Vector3d::Zero(), up - Vector3d(0, 0, g)}));
        EXPECT_TRUE(near(turned, fdyn.id(q, zero, zero).tail(n), 1e-11));
        EXPECT_FALSE(near(turned, upright, 1e-3));
    }
}

// Check order and exact messages of the fixed-base operations: length, then finiteness, input by
// input; then the output; then the loads.
TEST(InverseDynamics, ChecksInOrder) {
    auto model = load_ok(test::random_tree_urdf(5, {.links = 6, .with_fixed = false}));
    auto other = load_ok(test::random_tree_urdf(5, {.links = 6, .with_fixed = false}));
    Robot r(model);
    const std::vector<double> ok5(5, 0.1), short4(4, 0.1), nan5{0.1, NAN, 0.1, 0.1, 0.1};
    std::vector<double> out(5), out4(4);
    const Loads none, foreign{{*other->link(1), Vector3d::Zero(), Vector3d::Zero()}}, beyond{{LinkId{model->id, 6}, Vector3d::Zero(), Vector3d::Zero()}};
    using K = ErrorKind;
    struct Case {
        Result<void> result;
        K kind;
        const char* message;
    };
    const Case cases[] = {
        {r.inverse_dynamics(short4, short4, ok5, foreign, out4), K::WrongSliceLength, "expected 5 elements in q, found 4"},
        {r.inverse_dynamics(nan5, short4, ok5, foreign, out4), K::NonFiniteInput, "q contains a non-finite value"},
        {r.inverse_dynamics(ok5, short4, nan5, foreign, out4), K::WrongSliceLength, "expected 5 elements in qd, found 4"},
        {r.inverse_dynamics(ok5, nan5, short4, foreign, out4), K::NonFiniteInput, "qd contains a non-finite value"},
        {r.inverse_dynamics(ok5, ok5, short4, foreign, out4), K::WrongSliceLength, "expected 5 elements in qdd, found 4"},
        {r.inverse_dynamics(ok5, ok5, nan5, foreign, out4), K::NonFiniteInput, "qdd contains a non-finite value"},
        {r.inverse_dynamics(ok5, ok5, ok5, foreign, out4), K::WrongSliceLength, "expected 5 elements in inverse dynamics output, found 4"},
        {r.inverse_dynamics(ok5, ok5, ok5, foreign, out), K::InvalidLinkId, "link identifier does not belong to this robot model"},
        {r.gravity(short4, foreign, out4), K::WrongSliceLength, "expected 5 elements in q, found 4"},
        {r.gravity(nan5, foreign, out4), K::NonFiniteInput, "q contains a non-finite value"},
        {r.gravity(ok5, foreign, out4), K::WrongSliceLength, "expected 5 elements in gravity output, found 4"},
        {r.gravity(ok5, beyond, out), K::InvalidLinkId, "link identifier does not belong to this robot model"},
        {r.velocity_product_forces(nan5, short4, out4), K::NonFiniteInput, "q contains a non-finite value"},
        {r.velocity_product_forces(ok5, nan5, out4), K::NonFiniteInput, "qd contains a non-finite value"},
        {r.velocity_product_forces(ok5, ok5, out4), K::WrongSliceLength, "expected 5 elements in velocity product output, found 4"},
        {r.mass_matrix(short4, out4), K::WrongSliceLength, "expected 5 elements in q, found 4"},
        {r.mass_matrix(nan5, out4), K::NonFiniteInput, "q contains a non-finite value"},
        {r.mass_matrix(ok5, out), K::WrongSliceLength, "expected 25 elements in mass matrix output, found 5"},
        {r.forward_dynamics(nan5, short4, short4, foreign, out4), K::NonFiniteInput, "q contains a non-finite value"},
        {r.forward_dynamics(ok5, short4, short4, foreign, out4), K::WrongSliceLength, "expected 5 elements in qd, found 4"},
        {r.forward_dynamics(ok5, nan5, short4, foreign, out4), K::NonFiniteInput, "qd contains a non-finite value"},
        {r.forward_dynamics(ok5, ok5, short4, foreign, out4), K::WrongSliceLength, "expected 5 elements in forward dynamics generalized forces, found 4"},
        {r.forward_dynamics(ok5, ok5, ok5, foreign, out4), K::WrongSliceLength, "expected 5 elements in forward dynamics output, found 4"},
        {r.forward_dynamics(ok5, ok5, ok5, foreign, out), K::InvalidLinkId, "link identifier does not belong to this robot model"},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k)
        EXPECT_TRUE(fails_with(cases[k].result, cases[k].kind, cases[k].message)) << "case " << k;
    // nothing was written by any of them
    EXPECT_EQ(out, std::vector<double>(5, 0.0));
}

}  // namespace
}  // namespace vormek
