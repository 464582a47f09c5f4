#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "base.hpp"
#include "sin_cos.hpp"
#include "support.hpp"

namespace vormek {
namespace {

using test::near;
constexpr double pi = std::numbers::pi;

Quaterniond random_rotation(std::mt19937& rng) {
    std::normal_distribution<double> g;
    return Quaterniond(g(rng), g(rng), g(rng), g(rng)).normalized();
}

Eigen::Matrix4d homogeneous(const Pose& p) {
    Eigen::Matrix4d m = Eigen::Matrix4d::Identity();
    m.topLeftCorner<3, 3>() = p.rotation.toRotationMatrix();
    m.topRightCorner<3, 1>() = p.translation;
    return m;
}

TEST(Spatial, PoseAlgebraMatchesHomogeneousMatrices) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-2, 2);
    for (int trial = 0; trial < 20; ++trial) {
        const Pose a{random_rotation(rng), Vector3d(u(rng), u(rng), u(rng))};
        const Pose b{random_rotation(rng), Vector3d(u(rng), u(rng), u(rng))};
        const Vector3d v(u(rng), u(rng), u(rng));
        EXPECT_TRUE(near(rotate(a.rotation, v), a.rotation.toRotationMatrix() * v));
        EXPECT_TRUE(near(homogeneous(compose(a, b)), homogeneous(a) * homogeneous(b)));
        EXPECT_TRUE(near(homogeneous(compose(a, inverse(a))), Eigen::Matrix4d::Identity()));
        EXPECT_TRUE(near(homogeneous(compose(inverse(a), a)), Eigen::Matrix4d::Identity()));
    }
}

TEST(Spatial, PoseArrayIsVectorPartThenScalarThenTranslation) {
    const Pose p = Pose::from_array({0.1, 0.2, 0.3, 0.9, 4, 5, 6});
    EXPECT_EQ(p.rotation.coeffs(), Eigen::Vector4d(0.1, 0.2, 0.3, 0.9));
    EXPECT_EQ(p.translation, Vector3d(4, 5, 6));
    EXPECT_EQ(p.to_array(), (std::array<double, 7>{0.1, 0.2, 0.3, 0.9, 4, 5, 6}));
}

TEST(Spatial, RpyIsYawAfterPitchAfterRoll) {
    const double angles[][3] = {{0.3, -0.4, 1.2}, {pi, 0, 0}, {0.2, pi / 2, -0.7}, {-2.5, 1.0, 3.0}};
    for (const auto& [r, p, y] : angles) {
        const Matrix3d expected = (Eigen::AngleAxisd(y, Vector3d::UnitZ()) * Eigen::AngleAxisd(p, Vector3d::UnitY()) *
                                   Eigen::AngleAxisd(r, Vector3d::UnitX()))
                                      .toRotationMatrix();
        const Quaterniond q = quaternion_from_rpy(r, p, y);
        EXPECT_NEAR(q.norm(), 1.0, 1e-15);
        EXPECT_TRUE(near(q.toRotationMatrix(), expected));
    }
}

TEST(Spatial, AxisAngleTurnsRightHanded) {
    const Vector3d axis = Vector3d(1, -2, 0.5).normalized();
    for (const double angle : {0.0, 0.7, -2.0, 2 * pi}) {
        const Quaterniond q = quaternion_from_axis_angle(axis, angle);
        EXPECT_TRUE(near(q.toRotationMatrix(), Eigen::AngleAxisd(angle, axis).toRotationMatrix()));
    }
    // a full turn is the same rotation with the opposite sign, which is kept
    EXPECT_NEAR(quaternion_from_axis_angle(axis, 2 * pi).w(), -1.0, 1e-15);
}

TEST(Spatial, RotationError) {
    std::mt19937 rng(3);
    const Quaterniond current = random_rotation(rng);
    EXPECT_EQ(rotation_error(Quaterniond::Identity(), Quaterniond::Identity()), Vector3d::Zero());
    EXPECT_TRUE(near(rotation_error(current, current), Vector3d::Zero(), 1e-15));

    const Vector3d axis = Vector3d(1, -2, 2) / 3.0;
    const auto turned = [&](double angle) { return Quaterniond(Eigen::AngleAxisd(angle, axis)) * current; };
    EXPECT_TRUE(near(rotation_error(turned(0.7), current), 0.7 * axis));
    // the same target written as −q is the same rotation
    Quaterniond negated = turned(0.7);
    negated.coeffs() = -negated.coeffs();
    EXPECT_TRUE(near(rotation_error(negated, current), 0.7 * axis));
    // 1.5π one way is 0.5π the other
    EXPECT_TRUE(near(rotation_error(turned(1.5 * pi), current), -0.5 * pi * axis));
}

TEST(Spatial, SinCosWithinTwoUlpsOfLibm) {
    // uniform draws at growing scales, the neighbours of every quarter turn up to the reduction
    // limit's order, and the arguments handed to libm (beyond the limit, infinities, NaN)
    std::mt19937 rng(11);
    std::vector<double> xs{0.0, -0.0, 1e-300, pi / 4, -pi / 4, 0x1p19, -0x1p19, 0x1p19 * 1.5, 1e300};
    for (const double scale : {1e-6, 1.0, 4.0, 1e3, 1e5}) {
        std::uniform_real_distribution<double> u(-scale, scale);
        for (int i = 0; i < 20000; ++i) xs.push_back(u(rng));
    }
    for (int k = -4000; k <= 4000; ++k)
        for (const double x : {k * (pi / 2), k * 131.0 * (pi / 2)})
            xs.insert(xs.end(), {x, std::nextafter(x, 1e300), std::nextafter(x, -1e300)});
    const auto ulp = [](double v) { return std::nextafter(std::abs(v), INFINITY) - std::abs(v); };
    for (const double x : xs) {
        const auto [s, c] = sin_cos(x);
        ASSERT_LE(std::abs(s - std::sin(x)), 2 * ulp(std::sin(x))) << x;
        ASSERT_LE(std::abs(c - std::cos(x)), 2 * ulp(std::cos(x))) << x;
    }
    for (const double x : {INFINITY, -INFINITY, NAN}) {
        EXPECT_TRUE(std::isnan(sin_cos(x).sin));
        EXPECT_TRUE(std::isnan(sin_cos(x).cos));
        xs.insert(xs.begin() + 3, x);  // beside arguments in range, each lane on its own path
    }
    // a block at a time, in each width the machine has, to the bit of one at a time
    const auto bits = [](double v) { return std::bit_cast<std::uint64_t>(v); };
    for (std::size_t i = 0; i + 8 <= xs.size(); i += 8) {
        for (const auto block : {&sin_cos_block, &sin_cos_detail::sin_cos_block_pairs}) {
            double s[8], c[8];
            block(&xs[i], 8, s, c);
            for (std::size_t k = 0; k < 8; ++k) {
                const SinCos one = sin_cos(xs[i + k]);
                ASSERT_EQ(bits(s[k]), bits(one.sin)) << xs[i + k];
                ASSERT_EQ(bits(c[k]), bits(one.cos)) << xs[i + k];
            }
        }
    }
}

TEST(Spatial, BaseStateReportsTheFirstNonFiniteField) {
    const double nan = std::nan("");
    Pose bad_frame;
    bad_frame.translation.y() = std::numeric_limits<double>::infinity();
    Twist bad;
    bad.linear.z() = nan;
    Twist bad_angular;
    bad_angular.angular.x() = nan;
    const auto message = [](const char* field) {
        return std::string("invalid base ") + field + ": must contain only finite values";
    };
    EXPECT_TRUE(test::fails_with(BaseState::make(bad_frame, bad, bad), ErrorKind::InvalidBaseState, message("frame")));
    EXPECT_TRUE(test::fails_with(BaseState::make(Pose{}, bad, bad), ErrorKind::InvalidBaseState, message("velocity")));
    EXPECT_TRUE(test::fails_with(BaseState::make(Pose{}, Twist{}, bad_angular), ErrorKind::InvalidBaseState,
                                 message("acceleration")));
    EXPECT_TRUE(BaseState::make(Pose{}, Twist{}, Twist{}));
}

}  // namespace
}  // namespace vormek
