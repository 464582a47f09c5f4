#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <span>
#include <vector>

#include "robot.hpp"
#include "support.hpp"

namespace vormek {
namespace {

using test::fails_with;
using test::inertial;
using test::joint;
using test::link;
using test::load_ok;
using test::near;
using test::robot;
constexpr double pi = std::numbers::pi;

Matrix3d Rx(double a) { return Eigen::AngleAxisd(a, Vector3d::UnitX()).toRotationMatrix(); }
Matrix3d Ry(double a) { return Eigen::AngleAxisd(a, Vector3d::UnitY()).toRotationMatrix(); }
Matrix3d Rz(double a) { return Eigen::AngleAxisd(a, Vector3d::UnitZ()).toRotationMatrix(); }

::testing::AssertionResult pose_is(const Result<Pose>& pose, const Matrix3d& R, const Vector3d& p) {
    if (!pose) return ::testing::AssertionFailure() << pose.error().message();
    if (auto r = near(pose->rotation.toRotationMatrix(), R); !r) return r;
    return near(pose->translation, p);
}

// base ─j1 (revolute z, at x = 1)→ l1 ─j2 (prismatic x of a frame turned a quarter about z, at y = 2)→ l2
//      ─j3 (fixed, z + 0.5, rolled a quarter)→ tool
// base ─k1 (fixed, z = 1, pitched a quarter)→ f1 ─k2 (fixed, x = 1)→ f2
const std::string tree = robot(
    link("base", inertial("3")) + link("l1") + link("l2") + link("tool") + link("f1") + link("f2") +
    joint("j1", "revolute", "base", "l1", R"(<origin xyz="1 0 0"/><axis xyz="0 0 1"/>)") +
    joint("j2", "prismatic", "l1", "l2", R"(<origin xyz="0 2 0" rpy="0 0 1.5707963267948966"/><axis xyz="1 0 0"/>)") +
    joint("j3", "fixed", "l2", "tool", R"(<origin xyz="0 0 0.5" rpy="1.5707963267948966 0 0"/>)") +
    joint("k1", "fixed", "base", "f1", R"(<origin xyz="0 0 1" rpy="0 1.5707963267948966 0"/>)") +
    joint("k2", "fixed", "f1", "f2", R"(<origin xyz="1 0 0"/>)"));

class ForwardKinematics : public ::testing::Test {
protected:
    std::shared_ptr<const Model> model = load_ok(tree);
    Robot robot{model};
    LinkId id(const char* name) const { return *model->link_by_name(name); }
};

TEST_F(ForwardKinematics, PosesOfAChainAndAFixedBranch) {
    ASSERT_EQ(model->dof_count(), 2u);
    const double d = 0.3;
    // l1 turns θ about its origin at (1, 0, 0); l2 sits at (0, 2 + d, 0) in l1's frame
    for (const double theta : {pi / 2, 0.4, -2.0}) {
        const std::vector<double> q{theta, d};
        const Vector3d l2(1 - (2 + d) * std::sin(theta), (2 + d) * std::cos(theta), 0);
        EXPECT_TRUE(pose_is(robot.forward_kinematics(q, id("l1")), Rz(theta), Vector3d(1, 0, 0)));
        EXPECT_TRUE(pose_is(robot.forward_kinematics(q, id("l2")), Rz(theta + pi / 2), l2));
        EXPECT_TRUE(pose_is(robot.forward_kinematics(q, id("tool")), Rz(theta + pi / 2) * Rx(pi / 2),
                            l2 + Vector3d(0, 0, 0.5)));
        // the fixed branch ignores q: x of f1 points down, so f2 lands back on the base origin
        EXPECT_TRUE(pose_is(robot.forward_kinematics(q, id("f1")), Ry(pi / 2), Vector3d(0, 0, 1)));
        EXPECT_TRUE(pose_is(robot.forward_kinematics(q, id("f2")), Ry(pi / 2), Vector3d::Zero()));
    }

    // a moved base carries every link with it
    const Pose base{Quaterniond(Eigen::AngleAxisd(pi / 2, Vector3d::UnitZ())), Vector3d(0, 0, 10)};
    ASSERT_TRUE(robot.set_base_frame(base));
    const std::vector<double> q{pi / 2, d};
    EXPECT_TRUE(pose_is(robot.forward_kinematics(q, id("l2")), Rz(3 * pi / 2), Vector3d(0, -1.3, 10)));
    const auto root = robot.forward_kinematics(q, id("base"));
    ASSERT_TRUE(root);
    EXPECT_EQ(root->to_array(), base.to_array());

    const auto floating = FloatingRobot::make(model);
    ASSERT_TRUE(floating);
    auto floating_robot = *floating;
    const auto state = BaseState::make(base, Twist{}, Twist{});
    EXPECT_TRUE(pose_is(floating_robot.forward_kinematics(*state, q, id("l2")), Rz(3 * pi / 2), Vector3d(0, -1.3, 10)));
}

TEST(ForwardKinematicsJoints, PrismaticAlongATurnedAxisAndRevoluteSign) {
    const auto model = load_ok(robot(
        link("base") + link("slider") + link("wheel") +
        joint("s", "prismatic", "base", "slider", R"(<origin xyz="1 2 3" rpy="0 0 1.5707963267948966"/><axis xyz="0 1 1"/>)") +
        joint("w", "continuous", "base", "wheel", R"(<axis xyz="0 0 1"/>)")));
    const Pose identity;
    std::vector<std::size_t> path(model->joint_count());
    // (0, 1, 1)/√2 in the joint frame is (−1, 0, 1)/√2 after the quarter turn
    const auto slid = model->forward_kinematics(identity, std::vector<double>{2 * std::sqrt(2.0), 0}, *model->link(1), path);
    EXPECT_TRUE(pose_is(slid, Rz(pi / 2), Vector3d(-1, 2, 5)));

    // a full turn is the same rotation, reached as the other quaternion of the pair
    const auto turned = model->forward_kinematics(identity, std::vector<double>{0, 2 * pi}, *model->link(2), path);
    ASSERT_TRUE(turned);
    EXPECT_TRUE(near(turned->rotation.coeffs(), Eigen::Vector4d(0, 0, 0, -1), 1e-15));
}

TEST_F(ForwardKinematics, RejectsBadInputInOrder) {
    // a second model of the same tree, kept alive: its identifiers must be refused
    const auto other = load_ok(tree);
    EXPECT_TRUE(fails_with(robot.forward_kinematics(std::vector<double>{0, 0, 0}, id("l1")), ErrorKind::WrongSliceLength,
                           "expected 2 elements in q, found 3"));
    EXPECT_TRUE(fails_with(robot.forward_kinematics(std::vector<double>{NAN}, id("l1")), ErrorKind::WrongSliceLength,
                           "expected 2 elements in q, found 1"));
    const LinkId foreign = *other->link(1);
    EXPECT_TRUE(fails_with(robot.forward_kinematics(std::vector<double>{0, NAN}, foreign), ErrorKind::NonFiniteInput,
                           "q contains a non-finite value"));
    EXPECT_TRUE(fails_with(robot.forward_kinematics(std::vector<double>{0, 0}, foreign), ErrorKind::InvalidLinkId,
                           "link identifier does not belong to this robot model"));
    EXPECT_TRUE(fails_with(robot.forward_kinematics(std::vector<double>{0, 0}, LinkId{model->id, 6}),
                           ErrorKind::InvalidLinkId, "link identifier does not belong to this robot model"));
}

TEST_F(ForwardKinematics, LinkPosesAreEveryLinksForwardKinematics) {
    // rows as forward_kinematics gives them, to the bit (the same placements in the same order),
    // for a moved fixed base and a floating one; a full turn keeps its negated quaternion
    const Pose base{Quaterniond(0.1, 0.7, -0.3, 0.6).normalized(), Vector3d(1, -2, 3)};
    ASSERT_TRUE(robot.set_base_frame(base));
    auto floating = *FloatingRobot::make(model);
    const auto state = *BaseState::make(base, Twist{}, Twist{});
    std::vector<double> poses(7 * model->link_count());
    for (const std::vector<double>& q : {std::vector<double>{0.4, -0.3}, std::vector<double>{2 * pi, 1.5}}) {
        for (const bool floats : {false, true}) {
            ASSERT_TRUE(floats ? floating.link_poses(state, q, poses) : robot.link_poses(q, poses));
            for (std::size_t l = 0; l < model->link_count(); ++l) {
                const Pose pose = *(floats ? floating.forward_kinematics(state, q, *model->link(l))
                                           : robot.forward_kinematics(q, *model->link(l)));
                const std::array<double, 7> row{pose.translation.x(), pose.translation.y(), pose.translation.z(),
                                                pose.rotation.x(),    pose.rotation.y(),    pose.rotation.z(),
                                                pose.rotation.w()};
                EXPECT_TRUE(std::ranges::equal(row, std::span(poses).subspan(7 * l, 7))) << "link " << l;
            }
        }
    }
    EXPECT_TRUE(fails_with(robot.link_poses(std::vector<double>{0, 0, 0}, poses), ErrorKind::WrongSliceLength,
                           "expected 2 elements in q, found 3"));
    poses.pop_back();
    EXPECT_TRUE(fails_with(robot.link_poses(std::vector<double>{NAN, 0}, poses), ErrorKind::NonFiniteInput,
                           "q contains a non-finite value"));
    EXPECT_TRUE(fails_with(robot.link_poses(std::vector<double>{0, 0}, poses), ErrorKind::WrongSliceLength,
                           "expected 42 elements in link poses output, found 41"));
}

TEST(Handles, WorkspaceIsSizedFromJointsAndDofs) {
    // J = 4 joints, one of them fixed, so n = 3
    Robot robot(load_ok(vormek::test::robot(
        link("base") + link("a") + link("b") + link("c") + link("d") + joint("ja", "revolute", "base", "a") +
        joint("jb", "prismatic", "a", "b") + joint("jc", "fixed", "base", "c") + joint("jd", "continuous", "c", "d"))));
    const Workspace& w = robot.workspace();
    const std::size_t per_joint[] = {
        w.frames.size(), w.angular_velocity.size(), w.angular_acceleration.size(), w.origin_acceleration.size(),
        w.link_acceleration.size(), w.loads.size(), w.composite_mass.size(), w.composite_first_moment.size(),
        w.composite_inertia.size(), w.v.size(), w.c.size(), w.a.size(), w.IA.size(), w.pA.size(), w.U.size(),
        w.D.size(), w.u.size(), w.jdot_linear_velocity.size(), w.ancestor_path.size(), w.transforms.size(),
        w.rotations.size()};
    for (const std::size_t size : per_joint) EXPECT_EQ(size, 4u);
    EXPECT_EQ(w.jacobian.size(), 18u);
    EXPECT_EQ(w.jacobian_derivative.size(), 18u);
    EXPECT_EQ(w.ik_q.size(), 3u);
    EXPECT_EQ(w.ik_step.size(), 3u);
    for (const Pose& p : w.frames) EXPECT_EQ(p.to_array(), Pose::identity().to_array());

    Robot single(load_ok(vormek::test::robot(link("only"))));
    const Workspace& e = single.workspace();
    EXPECT_TRUE(e.frames.empty() && e.IA.empty() && e.D.empty() && e.jacobian.empty() && e.ik_q.empty() &&
                e.ancestor_path.empty());
    const auto root = single.forward_kinematics(std::span<const double>{}, *single.model().link(0));
    ASSERT_TRUE(root);
    EXPECT_EQ(root->to_array(), Pose::identity().to_array());
}

TEST_F(ForwardKinematics, RejectedBaseFrameKeepsThePreviousOne) {
    EXPECT_EQ(robot.base_frame().to_array(), Pose::identity().to_array());
    const Pose lifted{Quaterniond::Identity(), Vector3d(0, 0, 2)};
    ASSERT_TRUE(robot.set_base_frame(lifted));
    Pose broken = lifted;
    broken.rotation.x() = NAN;
    EXPECT_TRUE(fails_with(robot.set_base_frame(broken), ErrorKind::InvalidBaseState,
                           "invalid base frame: must contain only finite values"));
    EXPECT_EQ(robot.base_frame().to_array(), lifted.to_array());
    EXPECT_TRUE(pose_is(robot.forward_kinematics(std::vector<double>{0, 0}, id("l1")), Matrix3d::Identity(),
                        Vector3d(1, 0, 2)));
}

TEST(Handles, FloatingBaseNeedsAMassiveRoot) {
    const auto massless = load_ok(robot(link("base") + link("arm", inertial("5")) + joint("j", "fixed", "base", "arm")));
    EXPECT_TRUE(fails_with(FloatingRobot::make(massless), ErrorKind::InvalidModel,
                           "invalid robot model: floating-base root link base must have positive mass"));
    Robot fixed_base(massless);
    EXPECT_EQ(fixed_base.model().id, massless->id);
    EXPECT_FALSE(FloatingRobot::make(load_ok(robot(link("base", inertial("0"))))));
    EXPECT_TRUE(FloatingRobot::make(load_ok(robot(link("base", inertial("1e-300"))))));
}

}  // namespace
}  // namespace vormek
