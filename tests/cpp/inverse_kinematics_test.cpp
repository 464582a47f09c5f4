#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "motion.hpp"

namespace vormek {
namespace {

using test::fails_with;
using test::joint;
using test::link;
using test::load_ok;
using test::near;
using test::RandomRobots;

// A random 7-DOF chain (revolute, continuous and prismatic joints, limits ±3).
RandomRobots arm() { return RandomRobots(7, {.links = 8, .chain = true, .with_fixed = false}); }

struct PoseErrors {
    double translation, rotation;
};
PoseErrors errors_between(const Pose& desired, const Pose& reached) {
    return {(desired.translation - reached.translation).norm(),
            rotation_error(desired.rotation, reached.rotation).norm()};
}

TEST(InverseKinematics, ReachesPosesOfASevenDofArmFromNearbyGuesses) {
    RandomRobots r = arm();
    Robot& robot = r.fixed;
    const LinkId tip = r.link(7);
    std::normal_distribution<double> noise(0.0, 0.1);
    int solved = 0;
    for (int trial = 0; trial < 50; ++trial) {
        const std::vector<double> truth = r.vector(7);
        const Pose desired = *robot.forward_kinematics(truth, tip);
        std::vector<double> guess = truth, out(7);
        for (double& x : guess) x += noise(r.rng);
        if (!robot.inverse_kinematics(guess, tip, desired, IkOptions{}, out)) continue;
        ++solved;
        const PoseErrors e = errors_between(desired, *robot.forward_kinematics(out, tip));
        EXPECT_LE(e.translation, 1e-6);
        EXPECT_LE(e.rotation, 1e-6);
    }
    EXPECT_GE(solved, 48);
}

// One step from a guess far from the goal: scaled to max_step_norm when longer, otherwise the
// damped least-squares step (JᵀJ + λ²I)⁻¹·Jᵀ·e, solved here the other way round.
TEST(InverseKinematics, StepIsDampedLeastSquaresBoundedInNorm) {
    RandomRobots r = arm();
    Robot& robot = r.fixed;
    const LinkId tip = r.link(7);
    const std::vector<double> start = r.vector(7), goal = r.vector(7);
    const Pose desired = *robot.forward_kinematics(goal, tip);
    const Pose reached = *robot.forward_kinematics(start, tip);
    std::vector<double> J(42), out(7, -7.0);
    ASSERT_TRUE(robot.jacobian(start, tip, J));
    const Eigen::MatrixXd Jm = test::as_matrix(J);
    const Vector6d e = stack(rotation_error(desired.rotation, reached.rotation), desired.translation - reached.translation);
    const double damping = 0.05;
    const Eigen::VectorXd step =
        (Jm.transpose() * Jm + damping * damping * Eigen::MatrixXd::Identity(7, 7)).ldlt().solve(Jm.transpose() * e);
    ASSERT_GT(step.norm(), 0.5);

    // a solve of one iteration ends on the first step's iterate, left in the workspace
    const auto taken = [&](double max_step_norm) {
        const auto result = robot.inverse_kinematics(
            start, tip, desired, IkOptions{.max_iterations = 1, .damping = damping, .max_step_norm = max_step_norm}, out);
        EXPECT_EQ(result.error().kind(), ErrorKind::IkNotConverged);
        return Eigen::VectorXd(test::as_vector(robot.workspace().ik_q) - test::as_vector(start));
    };
    EXPECT_NEAR(taken(0.5).norm(), 0.5, 1e-15);
    EXPECT_TRUE(near(taken(0.5), 0.5 * step.normalized(), 1e-12));
    EXPECT_TRUE(near(taken(1e3), step, 1e-12));
    EXPECT_EQ(out, std::vector<double>(7, -7.0));
}

// The solver's rotation error takes other routes than rotation_error(): by the angle's tangent
// below 120°, from the largest diagonal entry of the error rotation above. Over random pairs of
// poses, which turn by any angle about any axis, its first step is the one e gives.
TEST(InverseKinematics, FirstStepFollowsTheRotationErrorAtEveryAngle) {
    RandomRobots r = arm();
    Robot& robot = r.fixed;
    const LinkId tip = r.link(7);
    std::vector<double> J(42), out(7);
    int beyond_120 = 0;
    for (int trial = 0; trial < 300; ++trial) {
        const std::vector<double> start = r.vector(7);
        const Pose desired = *robot.forward_kinematics(r.vector(7), tip);
        const Pose reached = *robot.forward_kinematics(start, tip);
        ASSERT_TRUE(robot.jacobian(start, tip, J));
        const Eigen::MatrixXd Jm = test::as_matrix(J);
        const Vector3d e_r = rotation_error(desired.rotation, reached.rotation);
        beyond_120 += e_r.norm() >= 2 * M_PI / 3;
        const Vector6d e = stack(e_r, desired.translation - reached.translation);
        const Eigen::VectorXd step =
            (Jm.transpose() * Jm + 0.01 * Eigen::MatrixXd::Identity(7, 7)).ldlt().solve(Jm.transpose() * e);
        (void)robot.inverse_kinematics(start, tip, desired,
                                       IkOptions{.max_iterations = 1, .damping = 0.1, .max_step_norm = 1e6}, out);
        const Eigen::VectorXd taken = test::as_vector(robot.workspace().ik_q) - test::as_vector(start);
        EXPECT_LE((taken - step).norm(), 1e-9 * (1 + step.norm())) << "trial " << trial << ", angle " << e_r.norm();
    }
    EXPECT_GE(beyond_120, 30);
}

TEST(InverseKinematics, NonConvergenceReportsTheLastIterate) {
    RandomRobots r = arm();
    Robot& robot = r.fixed;
    const LinkId tip = r.link(7);
    const Pose desired = *robot.forward_kinematics(r.vector(7), tip);
    std::vector<double> out(7, -7.0);
    const auto result = robot.inverse_kinematics(r.vector(7), tip, desired, IkOptions{.max_iterations = 3}, out);
    ASSERT_FALSE(result);
    const auto* failure = result.error().get<errors::IkNotConverged>();
    ASSERT_NE(failure, nullptr);
    EXPECT_EQ(failure->iterations, 3u);
    const PoseErrors last = errors_between(desired, *robot.forward_kinematics(robot.workspace().ik_q, tip));
    EXPECT_NEAR(failure->translation_error, last.translation, 1e-12);
    EXPECT_NEAR(failure->rotation_error, last.rotation, 1e-12);
    EXPECT_GT(last.translation, 1e-3);
    EXPECT_EQ(out, std::vector<double>(7, -7.0));
}

TEST(InverseKinematics, RejectsOptionsInOrderAfterTheLinkAndBeforeTheTarget) {
    RandomRobots r = arm();
    Robot& robot = r.fixed;
    const std::vector<double> q(7, 0.0);
    std::vector<double> out(7);
    const double nan = NAN, inf = INFINITY;
    const Pose desired = *robot.forward_kinematics(q, r.link(7));
    const struct {
        IkOptions options;
        const char* message;
    } cases[] = {
        {{.max_iterations = 0, .damping = 0}, "invalid inverse-kinematics option max_iterations: must be greater than zero"},
        {{.translation_tolerance = -1, .rotation_tolerance = nan},
         "invalid inverse-kinematics option translation_tolerance: must be finite and greater than zero"},
        {{.rotation_tolerance = -0.0, .damping = inf},
         "invalid inverse-kinematics option rotation_tolerance: must be finite and greater than zero"},
        {{.damping = 0}, "invalid inverse-kinematics option damping: must be finite and greater than zero"},
        {{.damping = inf}, "invalid inverse-kinematics option damping: must be finite and greater than zero"},
        {{.max_step_norm = nan}, "invalid inverse-kinematics option max_step_norm: must be finite and greater than zero"},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(fails_with(robot.inverse_kinematics(q, r.link(7), desired, c.options, out),
                               ErrorKind::InvalidIkOptions, c.message));
    // a positive subnormal is a valid tolerance, if one no solve can meet
    EXPECT_EQ(robot.inverse_kinematics(q, r.link(7), desired, {.max_iterations = 1, .translation_tolerance = 5e-324}, out)
                  .error()
                  .kind(),
              ErrorKind::IkNotConverged);

    const IkOptions bad{.max_iterations = 0};
    EXPECT_TRUE(fails_with(robot.inverse_kinematics(q, LinkId{r.model->id, 8}, desired, bad, out),
                           ErrorKind::InvalidLinkId, "link identifier does not belong to this robot model"));
    Pose broken = desired;
    broken.translation.x() = inf;
    EXPECT_TRUE(fails_with(robot.inverse_kinematics(q, r.link(7), broken, bad, out), ErrorKind::InvalidIkOptions,
                           "invalid inverse-kinematics option max_iterations: must be greater than zero"));
    EXPECT_TRUE(fails_with(robot.inverse_kinematics(q, r.link(7), broken, {}, out), ErrorKind::NonFiniteIkInput,
                           "inverse-kinematics target frame contains a non-finite value"));
}

// Only the path moves; every DOF, on the path or not, must end within its limits.
TEST(InverseKinematics, LimitsCoverEveryJointAndOffPathJointsKeepTheirValues) {
    const auto model = load_ok(test::robot(
        link("base") + link("arm") + link("side") + link("wheel") + link("tip") +
        joint("lift", "revolute", "base", "arm", R"(<axis xyz="0 0 1"/><limit lower="-1" upper="1" effort="1" velocity="1"/>)") +
        joint("side", "revolute", "base", "side", R"(<axis xyz="0 1 0"/><limit lower="-0.5" upper="0.5" effort="1" velocity="1"/>)") +
        joint("wheel", "continuous", "base", "wheel", R"(<axis xyz="1 0 0"/>)") +
        joint("reach", "fixed", "arm", "tip", R"(<origin xyz="1 0 0"/>)")));
    Robot robot(model);
    const LinkId tip = *model->link_by_name("tip");
    const auto solve = [&](double lift, double side, std::vector<double>& out) {
        const Pose desired = *robot.forward_kinematics(std::vector<double>{lift, 0, 0}, tip);
        return robot.inverse_kinematics(std::vector<double>{0, side, 40.0}, tip, desired, IkOptions{}, out);
    };
    std::vector<double> out(3);
    ASSERT_TRUE(solve(0.3, 0.25, out));
    EXPECT_NEAR(out[0], 0.3, 1e-6);
    EXPECT_EQ(out[1], 0.25);
    EXPECT_EQ(out[2], 40.0);

    EXPECT_TRUE(fails_with(solve(0.3, 0.7, out), ErrorKind::IkJointLimitViolation,
                           "inverse-kinematics solution 7.000000e-1 for joint 1 (side) is outside URDF limits "
                           "[-5.000000e-1, 5.000000e-1]"));
    EXPECT_EQ(solve(1.2, 0.0, out).error().get<errors::IkJointLimitViolation>()->joint, "lift");

    // already at the goal: no step is taken, even with a budget of one
    const std::vector<double> there{0.3, 0.1, -2.0};
    ASSERT_TRUE(robot.inverse_kinematics(there, tip, *robot.forward_kinematics(there, tip), {.max_iterations = 1}, out));
    EXPECT_EQ(out, there);

    // the limits allow 1e-12 of rounding on either side
    EXPECT_TRUE(model->validate_inverse_kinematics_solution(std::vector<double>{1 + 5e-13, -0.5 - 5e-13, 1e300}));
    EXPECT_FALSE(model->validate_inverse_kinematics_solution(std::vector<double>{1 + 2e-12, 0, 0}));
    EXPECT_FALSE(model->validate_inverse_kinematics_solution(std::vector<double>{0, -0.5 - 2e-12, 0}));
}

}  // namespace
}  // namespace vormek
