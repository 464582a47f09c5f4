#include <gtest/gtest.h>

#include "dynamics_support.hpp"
#include "random_tree.hpp"
#include "support.hpp"

namespace vormek {
namespace {

using test::Dyn;
using test::load_ok;
using test::Loads;
using test::MatrixXd;
using test::ok;
using test::random_vector;
using test::VectorXd;

// Row-major n × n results read back as matrices.
struct Derivatives {
    MatrixXd dq, dv, third;
    VectorXd tau;
    explicit Derivatives(std::size_t n) : dq(n, n), dv(n, n), third(n, n), tau(n) {}
    std::span<double> s(MatrixXd& m) { return {m.data(), static_cast<std::size_t>(m.size())}; }
    void transpose() { dq.transposeInPlace(), dv.transposeInPlace(), third.transposeInPlace(); }
};

// Central differences of f along each coordinate of x, one column each.
template <class F>
MatrixXd differences(const VectorXd& x, F&& f) {
    const double h = 1e-6;
    MatrixXd out(f(x).size(), x.size());
    for (Eigen::Index j = 0; j < x.size(); ++j) {
        VectorXd up = x, down = x;
        up[j] += h, down[j] -= h;
        out.col(j) = (f(up) - f(down)) / (2 * h);
    }
    return out;
}

::testing::AssertionResult relative(const MatrixXd& actual, const MatrixXd& expected, double tol) {
    return test::near(actual, expected, tol * std::max(1.0, expected.cwiseAbs().maxCoeff()));
}

// Every derivative against central differences of our own inverse and forward dynamics, loads
// included (a load turns with its link), on random trees and chains with every joint kind (the
// chains long enough to be written row by row); and the identities that tie them: τ is inverse
// dynamics, M⁻¹·M = 1, ∂q̈/∂q = −M⁻¹·∂τ/∂q at the same state, and ∂τ/∂q̇ vanishes at rest.
TEST(Derivatives, MatchDifferencesAndIdentities) {
    for (const std::uint64_t seed : {61, 62, 63, 64, 65, 66}) {
        const bool chain = seed % 3 == 0;
        auto model = load_ok(test::random_tree_urdf(seed, {.links = chain ? 80 : 14, .chain = chain}));
        Robot fixed(model);
        std::mt19937_64 rng(seed);
        ASSERT_TRUE(fixed.set_base_frame(Pose{test::random_rotation(rng), Vector3d(1, 2, 3)}));
        const std::size_t n = model->dof_count();
        const VectorXd q = random_vector(rng, n, 2), qd = random_vector(rng, n), qdd = random_vector(rng, n);
        const VectorXd tau = random_vector(rng, n, 5);
        const Loads loads{{*model->link(2), Vector3d(0.5, 0.1, 0), Vector3d(1, 2, 3)},
                          {*model->link(5), Vector3d(-0.2, 0.4, 1), Vector3d(0, 0, -2)}};
        Dyn f{&fixed};

        Derivatives id(n), fd(n);
        ok(fixed.inverse_dynamics_derivatives(test::view(q), test::view(qd), test::view(qdd), loads, id.s(id.dq),
                                              id.s(id.dv), {id.tau.data(), n}));
        ok(fixed.forward_dynamics_derivatives(test::view(q), test::view(qd), test::view(tau), loads, fd.s(fd.dq),
                                              fd.s(fd.dv), fd.s(fd.third)));
        MatrixXd inverse(n, n);
        ok(fixed.mass_matrix_inverse(test::view(q), {inverse.data(), n * n}));
        id.transpose(), fd.transpose();

        const double tol = 1e-6;
        EXPECT_TRUE(relative(id.dq, differences(q, [&](const VectorXd& x) { return f.id(x, qd, qdd, loads); }), tol));
        EXPECT_TRUE(relative(id.dv, differences(qd, [&](const VectorXd& x) { return f.id(q, x, qdd, loads); }), tol));
        EXPECT_TRUE(relative(fd.dq, differences(q, [&](const VectorXd& x) { return f.fd(x, qd, tau, loads); }), tol));
        EXPECT_TRUE(relative(fd.dv, differences(qd, [&](const VectorXd& x) { return f.fd(q, x, tau, loads); }), tol));
        EXPECT_TRUE(relative(fd.third, differences(tau, [&](const VectorXd& x) { return f.fd(q, qd, x, loads); }), tol));

        EXPECT_TRUE(relative(id.tau, f.id(q, qd, qdd, loads), 1e-12));
        EXPECT_TRUE(relative(inverse.transpose(), fd.third, 1e-12));
        EXPECT_TRUE(relative(inverse * f.mass(q), MatrixXd::Identity(n, n), 1e-9));
        // at the accelerations forward dynamics gives, the two derivatives are one relation
        Derivatives at(n);
        const VectorXd acc = f.fd(q, qd, tau, loads);
        ok(fixed.inverse_dynamics_derivatives(test::view(q), test::view(qd), test::view(acc), loads, at.s(at.dq),
                                              at.s(at.dv), {at.tau.data(), n}));
        at.transpose();
        EXPECT_TRUE(relative(fd.dq, -fd.third * at.dq, 1e-9));
        ok(fixed.inverse_dynamics_derivatives(test::view(q), test::view(VectorXd::Zero(n)), test::view(qdd), {},
                                              at.s(at.dq), at.s(at.dv), {at.tau.data(), n}));
        EXPECT_EQ(at.dv.cwiseAbs().maxCoeff(), 0.0);
    }
}

// The floating base, by exactly the perturbation its derivatives are defined for: the root
// turned by exp([δθ]×) and shifted by δp in world axes about its origin, and u = [ω; ṗ; q̇].
TEST(Derivatives, FloatingBaseMatchesDifferences) {
    for (const std::uint64_t seed : {71, 72, 73}) {
        auto model = load_ok(test::random_tree_urdf(seed, {.links = seed == 73 ? 80 : 10, .chain = seed == 73}));
        FloatingRobot floating = ok(FloatingRobot::make(model));
        std::mt19937_64 rng(seed);
        const std::size_t n = model->dof_count(), N = n + 6;
        const BaseState base = test::random_base(rng);
        const VectorXd q = random_vector(rng, n, 2), qd = random_vector(rng, n), qdd = random_vector(rng, n);
        const VectorXd tau = random_vector(rng, N, 5);
        const Loads loads{{*model->link(0), Vector3d(1, 0, 2), Vector3d(0, -1, 1)},
                          {*model->link(4), Vector3d(0.5, 0.1, 0), Vector3d(1, 2, 3)}};
        Dyn f{nullptr, &floating};
        // x = [δθ; δp; q] and u = [ω; ṗ; q̇] into a state
        VectorXd x(N), u(N);
        x << VectorXd::Zero(6), q;
        u << base.velocity().angular, base.velocity().linear, qd;
        const auto at = [&](const VectorXd& xs, const VectorXd& us) {
            const Vector3d turn = xs.head<3>();
            const Quaterniond R = turn.norm() == 0 ? base.frame().rotation
                                                   : Quaterniond(Eigen::AngleAxisd(turn.norm(), turn.normalized())) *
                                                         base.frame().rotation;
            f.base = ok(BaseState::make(Pose{R, base.frame().translation + xs.segment<3>(3)},
                                        Twist{us.head<3>(), us.segment<3>(3)}, base.acceleration()));
            return VectorXd(xs.tail(n));
        };
        const auto id = [&](const VectorXd& xs, const VectorXd& us) { return f.id(at(xs, us), us.tail(n), qdd, loads); };
        const auto fd = [&](const VectorXd& xs, const VectorXd& us) { return f.fd(at(xs, us), us.tail(n), tau, loads); };

        Derivatives idd(N), fdd(N);
        ok(floating.inverse_dynamics_derivatives(base, test::view(q), test::view(qd), test::view(qdd), loads,
                                                 idd.s(idd.dq), idd.s(idd.dv), {idd.tau.data(), N}));
        ok(floating.forward_dynamics_derivatives(base, test::view(q), test::view(qd), test::view(tau), loads,
                                                 fdd.s(fdd.dq), fdd.s(fdd.dv), fdd.s(fdd.third)));
        MatrixXd inverse(N, N);
        ok(floating.mass_matrix_inverse(base, test::view(q), {inverse.data(), N * N}));
        idd.transpose(), fdd.transpose();
        const double tol = 1e-6;
        EXPECT_TRUE(relative(idd.dq, differences(x, [&](const VectorXd& xs) { return id(xs, u); }), tol));
        EXPECT_TRUE(relative(idd.dv, differences(u, [&](const VectorXd& us) { return id(x, us); }), tol));
        EXPECT_TRUE(relative(fdd.dq, differences(x, [&](const VectorXd& xs) { return fd(xs, u); }), tol));
        EXPECT_TRUE(relative(fdd.dv, differences(u, [&](const VectorXd& us) { return fd(x, us); }), tol));
        at(x, u);
        EXPECT_TRUE(relative(idd.tau, f.id(q, qd, qdd, loads), 1e-12));
        EXPECT_TRUE(relative(inverse.transpose(), fdd.third, 1e-12));
        EXPECT_TRUE(relative(inverse * f.mass(q), MatrixXd::Identity(N, N), 1e-9));
    }
}

// A long chain applies M⁻¹ by the articulated solve rather than by the product with M⁻¹ (the
// trees above): the two derivative blocks are still −M⁻¹ times those of inverse dynamics.
TEST(Derivatives, LongChainSolve) {
    auto model = load_ok(test::random_tree_urdf(67, {.links = 121, .chain = true, .with_fixed = false}));
    Robot fixed(model);
    std::mt19937_64 rng(67);
    const std::size_t n = model->dof_count();
    const VectorXd q = random_vector(rng, n), qd = random_vector(rng, n), tau = random_vector(rng, n);
    Derivatives fd(n), id(n);
    ok(fixed.forward_dynamics_derivatives(test::view(q), test::view(qd), test::view(tau), {}, fd.s(fd.dq),
                                          fd.s(fd.dv), fd.s(fd.third)));
    const VectorXd qdd = Dyn{&fixed}.fd(q, qd, tau);
    ok(fixed.inverse_dynamics_derivatives(test::view(q), test::view(qd), test::view(qdd), {}, id.s(id.dq),
                                          id.s(id.dv), {id.tau.data(), n}));
    fd.transpose(), id.transpose();
    EXPECT_TRUE(relative(fd.dq, -fd.third * id.dq, 1e-9));
    EXPECT_TRUE(relative(fd.dv, -fd.third * id.dv, 1e-9));
}

}  // namespace
}  // namespace vormek
