#include <gtest/gtest.h>

#include "dynamics_support.hpp"
#include "random_tree.hpp"
#include "robot/dynamics/fused.hpp"
#include "support.hpp"

namespace vormek {
namespace {

using test::Dyn;
using test::load_ok;
using test::Loads;
using test::MatrixXd;
using test::near;
using test::ok;
using test::random_vector;
using test::VectorXd;
using test::view;

// Everything the fused builds compute, fixed and floating, with loads where they are taken.
std::vector<MatrixXd> dynamics(Dyn& d, const VectorXd& q, const VectorXd& qd, const VectorXd& qdd, const Loads& loads) {
    const VectorXd forces = d.id(q, qd, qdd, loads);
    std::vector<MatrixXd> out{d.mass(q), forces, d.gravity(q, loads), d.vpf(q, qd), d.fd(q, qd, forces, loads)};
    // and the centre-of-mass Jacobian, the centroidal momentum matrix and the momentum pass
    const std::size_t m = d.size();
    VectorXd jc(3 * m), A(6 * m), cd(3), h(6), energy(1);
    const auto on = [&](auto f) { return d.fixed ? f(*d.fixed) : f(*d.floating, d.base); };
    ok(on([&](auto& r, const auto&... b) { return r.center_of_mass_jacobian(b..., view(q), {jc.data(), 3 * m}); }));
    ok(on([&](auto& r, const auto&... b) { return r.centroidal_momentum_matrix(b..., view(q), {A.data(), 6 * m}); }));
    ok(on([&](auto& r, const auto&... b) {
        return r.center_of_mass_velocity(b..., view(q), view(qd), {cd.data(), 3});
    }));
    const Twist t = ok(on([&](auto& r, const auto&... b) { return r.momentum(b..., view(q), view(qd)); }));
    h << t.angular, t.linear;
    energy[0] = ok(on([&](auto& r, const auto&... b) { return r.kinetic_energy(b..., view(q), view(qd)); }));
    for (const VectorXd& v : {jc, A, cd, h, energy}) out.push_back(v);
    // and the derivatives of inverse and forward dynamics, the latter with the inverse
    VectorXd dq(m * m), dv(m * m), tau(m), fq(m * m), fv(m * m), inverse(m * m);
    ok(on([&](auto& r, const auto&... b) {
        return r.inverse_dynamics_derivatives(b..., view(q), view(qd), view(qdd), loads, {dq.data(), m * m},
                                              {dv.data(), m * m}, {tau.data(), m});
    }));
    ok(on([&](auto& r, const auto&... b) {
        return r.forward_dynamics_derivatives(b..., view(q), view(qd), view(tau), loads, {fq.data(), m * m},
                                              {fv.data(), m * m}, {inverse.data(), m * m});
    }));
    for (const VectorXd& v : {dq, dv, fq, fv, inverse}) out.push_back(v);
    // and the kinematics' four-lane walks: every link's pose, and the last link's alone
    const Model& model = d.fixed ? d.fixed->model() : d.floating->model();
    const std::size_t L = model.link_count();
    VectorXd poses(7 * L), last(7);
    ok(on([&](auto& r, const auto&... b) { return r.link_poses(b..., view(q), {poses.data(), 7 * L}); }));
    const Pose P = ok(on([&](auto& r, const auto&... b) {
        return r.forward_kinematics(b..., view(q), *model.link(L - 1));
    }));
    last << P.translation, P.rotation.coeffs();
    for (const VectorXd& v : {poses, last}) out.push_back(v);
    return out;
}

// The builds with fused multiply-adds, which CPUs that have them run, agree with the portable
// builds to rounding on random trees with every joint kind, for both base kinds (absolute
// tolerance: the entries are of order one to a hundred).
TEST(Fused, BuildsAgreeWithThePortableOnes) {
    if (!fused_kernels()) GTEST_SKIP() << "this CPU runs the portable builds only";
    for (const std::uint64_t seed : {41, 42, 43}) {
        auto model = load_ok(test::random_tree_urdf(seed, {.links = 24}));
        Robot fixed(model);
        FloatingRobot floating = ok(FloatingRobot::make(model));
        std::mt19937_64 rng(seed);
        const std::size_t n = model->dof_count();
        const VectorXd q = random_vector(rng, n, 2), qd = random_vector(rng, n), qdd = random_vector(rng, n);
        const Loads loads{{*model->link(model->link_count() - 1), Vector3d(0.5, 0.1, 0), Vector3d(1, 2, 3)}};
        Dyn f{&fixed}, b{nullptr, &floating};
        b.base = test::random_base(rng);
        for (Dyn* d : {&f, &b}) {
            const std::vector<MatrixXd> fused = dynamics(*d, q, qd, qdd, loads);
            hold_back_fused_kernels(true);
            const std::vector<MatrixXd> portable = dynamics(*d, q, qd, qdd, loads);
            hold_back_fused_kernels(false);
            for (std::size_t i = 0; i < fused.size(); ++i)
                EXPECT_TRUE(near(fused[i], portable[i], 1e-11)) << "seed " << seed << ", result " << i;
        }
    }
}

}  // namespace
}  // namespace vormek
