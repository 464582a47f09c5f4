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
// included (a load turns with its link), on random trees and chains with every joint kind; and
// the identities that tie them: τ is inverse dynamics, M⁻¹·M = 1, ∂q̈/∂q = −M⁻¹·∂τ/∂q at the
// same state, and ∂τ/∂q̇ vanishes at rest.
TEST(Derivatives, MatchDifferencesAndIdentities) {
    for (const std::uint64_t seed : {61, 62, 63, 64, 65, 66}) {
        auto model = load_ok(test::random_tree_urdf(seed, {.links = 14, .chain = seed % 3 == 0}));
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

}  // namespace
}  // namespace vormek
