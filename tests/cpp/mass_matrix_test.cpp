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
using test::near;
using test::ok;
using test::random_vector;
using test::VectorXd;

// Entries that involve a joint equal their mirror bit for bit; the base block is symmetric to
// rounding; the whole matrix is positive definite.
void expect_symmetric_positive_definite(const MatrixXd& M, std::size_t base) {
    for (Eigen::Index r = 0; r < M.rows(); ++r) {
        for (Eigen::Index k = 0; k < M.cols(); ++k) {
            if (r < Eigen::Index(base) && k < Eigen::Index(base)) continue;
            ASSERT_EQ(M(r, k), M(k, r)) << r << ", " << k;
        }
    }
    if (base > 0) {
        EXPECT_TRUE(near(M.topLeftCorner(base, base), M.topLeftCorner(base, base).transpose(), 1e-12));
    }
    EXPECT_EQ(Eigen::LLT<MatrixXd>(M).info(), Eigen::Success);
}

// inverse dynamics = M·(base acceleration; qdd) + velocity products + gravity, for both base
// kinds on random trees with every joint kind; loads enter the gravity forces alike.
TEST(MassMatrix, InverseDynamicsIsMassTimesAccelerationPlusTheRest) {
    for (const std::uint64_t seed : {21, 22, 23, 24, 25}) {
        auto model = load_ok(test::random_tree_urdf(seed, {.links = 16}));
        Robot fixed(model);
        FloatingRobot floating = ok(FloatingRobot::make(model));
        std::mt19937_64 rng(seed);
        const std::size_t n = model->dof_count();
        const VectorXd q = random_vector(rng, n, 2), qd = random_vector(rng, n), qdd = random_vector(rng, n);
        const Loads loads{{*model->link(0), Vector3d(1, 0, 2), Vector3d(0, -1, 1)},
                          {*model->link(model->link_count() - 1), Vector3d(0.5, 0.1, 0), Vector3d(1, 2, 3)}};

        Dyn f{&fixed};
        const MatrixXd M = f.mass(q);
        expect_symmetric_positive_definite(M, 0);
        EXPECT_TRUE(near(f.id(q, qd, qdd, loads), M * qdd + f.vpf(q, qd) + f.gravity(q, loads), 1e-10));

        Dyn b{nullptr, &floating};
        b.base = test::random_base(rng);
        const MatrixXd Mb = b.mass(q);
        expect_symmetric_positive_definite(Mb, 6);
        VectorXd acc(n + 6);
        acc << b.base.acceleration().angular, b.base.acceleration().linear, qdd;
        EXPECT_TRUE(near(b.id(q, qd, qdd, loads), Mb * acc + b.vpf(q, qd) + b.gravity(q, loads), 1e-10));
        // the joint block is the fixed-base matrix
        EXPECT_TRUE(near(Mb.bottomRightCorner(n, n), M, 1e-12));
    }
}

// The base block: total mass on the linear diagonal and no linear cross terms, whatever the
// orientation; turning the base turns the block and the couplings; moving it changes nothing.
TEST(MassMatrix, FloatingBaseBlock) {
    auto model = load_ok(test::random_tree_urdf(31, {.links = 9}));
    double total = 0;
    for (const Link& l : model->links) total += l.inertial.mass;
    FloatingRobot robot = ok(FloatingRobot::make(model));
    Dyn b{nullptr, &robot};
    std::mt19937_64 rng(31);
    const std::size_t n = model->dof_count();
    const VectorXd q = random_vector(rng, n, 2);
    const MatrixXd upright = b.mass(q);
    for (int trial = 0; trial < 4; ++trial) {
        b.base = test::random_base(rng);
        const MatrixXd M = b.mass(q);
        EXPECT_TRUE(near(M.block<3, 3>(3, 3), total * Eigen::Matrix3d::Identity(), 1e-12));
        Eigen::Matrix<double, 6, 6> T = Eigen::Matrix<double, 6, 6>::Zero();
        T.topLeftCorner<3, 3>() = T.bottomRightCorner<3, 3>() = b.base.frame().rotation.toRotationMatrix();
        EXPECT_TRUE(near(M.topLeftCorner(6, 6), T * upright.topLeftCorner(6, 6) * T.transpose(), 1e-11));
        EXPECT_TRUE(near(M.topRightCorner(6, n), T * upright.topRightCorner(6, n), 1e-11));
        b.base = test::with_frame(b.base, Pose{b.base.frame().rotation, Vector3d(10, -20, 30)});
        EXPECT_TRUE(near(b.mass(q), M, 0));
    }
}

// A fixed-base robot whose root link lies a kilometre from the rest (a world link, say) has the
// mass matrix and forward dynamics of the robot itself: the long moment arms, which both
// kernels' reference frame would otherwise hold, must not cost digits. (The turn about the
// vertical leaves gravity where it was in the robot's frame.)
TEST(MassMatrix, FarRootLinkLosesNoDigits) {
    for (const std::uint64_t seed : {51, 52}) {
        const std::string urdf = test::random_tree_urdf(seed, {.links = 16});
        std::string far = urdf;
        far.replace(far.rfind("</robot>"), 8,
                    "<link name=\"world\"/><joint name=\"placed\" type=\"fixed\"><parent link=\"world\"/>"
                    "<child link=\"l0\"/><origin xyz=\"1000 -700 300\" rpy=\"0 0 0.7\"/></joint></robot>");
        Robot here(load_ok(urdf)), there(load_ok(far));
        std::mt19937_64 rng(seed);
        const VectorXd q = random_vector(rng, here.model().dof_count(), 2);
        const VectorXd qd = random_vector(rng, q.size()), tau = random_vector(rng, q.size());
        Dyn a{&here}, b{&there};
        const MatrixXd M = a.mass(q);
        EXPECT_TRUE(near(b.mass(q), M, 1e-13 * M.cwiseAbs().maxCoeff())) << seed;
        const VectorXd qdd = a.fd(q, qd, tau);
        EXPECT_TRUE(near(b.fd(q, qd, tau), qdd, 1e-12 * qdd.cwiseAbs().maxCoeff())) << seed;
    }
}

// Two copies of one arm on a massless world link, the second D out along x, and the arm at the
// end of a base rail: each arm's block of the mass matrix and its accelerations are its own
// whatever D or the rail's stroke. About one origin for all, the far arm's entries would be
// differences of terms of order m·D².
TEST(MassMatrix, DistantSubtreesLoseNoDigits) {
    std::string arm = test::random_tree_urdf(61, {.links = 5, .with_fixed = false});
    arm = arm.substr(arm.find('>') + 1);
    arm.erase(arm.rfind("</robot>"));
    const auto renamed = [&arm](const std::string& prefix) {
        std::string u = arm;
        for (const std::string from : {"name=\"l", "link=\"l", "name=\"j"})
            for (std::size_t at = u.find(from); at != std::string::npos; at = u.find(from, at + 1))
                u.insert(at + from.size() - 1, prefix);
        return u;
    };
    const auto mount = [](const std::string& prefix, const char* kind, const std::string& x) {
        return "<joint name=\"" + prefix + "mount\" type=\"" + kind + "\"><parent link=\"world\"/><child link=\"" +
               prefix + "l0\"/><origin xyz=\"" + x + " 0 0\"/><axis xyz=\"1 0 0\"/>" +
               "<limit lower=\"-1e9\" upper=\"1e9\" effort=\"1\" velocity=\"1\"/></joint>";
    };
    const auto robot = [&](const std::string& joints) {
        return Robot(load_ok("<robot name=\"r\"><link name=\"world\"/>" + renamed("a") + renamed("b") + joints +
                             "</robot>"));
    };
    const auto expect_same = [](Robot&& far, Robot&& near_by, const VectorXd& q_far, const VectorXd& q) {
        std::mt19937_64 rng(61);
        const VectorXd qd = random_vector(rng, q.size()), tau = random_vector(rng, q.size());
        Dyn a{&near_by}, b{&far};
        const MatrixXd M = a.mass(q);
        const VectorXd qdd = a.fd(q, qd, tau);
        EXPECT_TRUE(near(b.mass(q_far), M, 1e-13 * M.cwiseAbs().maxCoeff()));
        EXPECT_TRUE(near(b.fd(q_far, qd, tau), qdd, 1e-13 * qdd.cwiseAbs().maxCoeff()));
    };
    std::mt19937_64 rng(62);
    const VectorXd q = random_vector(rng, 9, 2);
    for (const char* D : {"100", "1000"})
        expect_same(robot(mount("a", "fixed", "0") + mount("b", "fixed", D)),
                    robot(mount("a", "fixed", "0") + mount("b", "fixed", "0")), q.head(8), q.head(8));
    // arm a on a rail, 10 000 km out
    VectorXd out = q;
    out[0] = 1e7;
    expect_same(robot(mount("a", "prismatic", "0") + mount("b", "fixed", "0")),
                robot(mount("a", "prismatic", "0") + mount("b", "fixed", "0")), out, q);
}

}  // namespace
}  // namespace vormek
