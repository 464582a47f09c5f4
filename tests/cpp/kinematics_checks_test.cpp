#include <gtest/gtest.h>

#include <functional>

#include "motion.hpp"

namespace vormek {
namespace {

using test::joint;
using test::link;
using test::load_ok;

template <class T>
std::string message_of(const Result<T>& r) {
    return r ? "succeeded" : r.error().message();
}

// Every kinematics entry point checks its arrays and the link in one order, length before
// finiteness, and names the array in its message.
TEST(KinematicsChecks, MessagesForLengthFinitenessAndLink) {
    const auto model = load_ok(test::robot(link("base", test::inertial("1")) + link("a") + link("b") +
                                           joint("ja", "revolute", "base", "a", R"(<axis xyz="0 0 1"/>)") +
                                           joint("jb", "prismatic", "a", "b", R"(<axis xyz="1 0 0"/>)")));
    Robot robot(model);
    FloatingRobot floating = *FloatingRobot::make(model);
    const BaseState base = *BaseState::make(Pose::identity(), Twist{}, Twist{});
    const LinkId b = *model->link(2), foreign = *load_ok(test::robot(link("x") + link("y") + link("z") +
                                                                     joint("j", "fixed", "x", "y") +
                                                                     joint("k", "fixed", "y", "z")))
                                                   ->link(2);
    using V = std::vector<double>;
    const V ok{0.1, 0.2}, one{0.1}, three{1, 2, 3}, nan{0, NAN}, inf{INFINITY, 0};
    V J(12), J11(11), Jf(48), out2(2), out1(1);
    const Pose pose = Pose::identity();

    const std::pair<std::function<std::string()>, const char*> cases[] = {
        {[&] { return message_of(robot.jacobian(one, b, J)); }, "expected 2 elements in q, found 1"},
        {[&] { return message_of(robot.jacobian(nan, foreign, J11)); }, "q contains a non-finite value"},
        {[&] { return message_of(robot.jacobian(ok, foreign, J11)); }, "expected 12 elements in jacobian output, found 11"},
        {[&] { return message_of(robot.jacobian(ok, foreign, J)); }, "link identifier does not belong to this robot model"},
        {[&] { return message_of(floating.jacobian(base, ok, b, J)); }, "expected 48 elements in jacobian output, found 12"},
        {[&] { return message_of(floating.jacobian(base, inf, b, J)); }, "q contains a non-finite value"},
        {[&] { return message_of(robot.jacobian_derivative(ok, three, b, J)); }, "expected 2 elements in qd, found 3"},
        {[&] { return message_of(robot.jacobian_derivative(ok, inf, b, J11)); }, "qd contains a non-finite value"},
        {[&] { return message_of(robot.jacobian_derivative(ok, ok, foreign, J11)); },
         "expected 12 elements in jacobian derivative output, found 11"},
        {[&] { return message_of(robot.jacobian_derivative(ok, ok, foreign, J)); },
         "link identifier does not belong to this robot model"},
        {[&] { return message_of(floating.jacobian_derivative(base, ok, ok, b, J)); },
         "expected 48 elements in jacobian derivative output, found 12"},
        {[&] { return message_of(floating.jacobian_derivative(base, three, ok, b, Jf)); }, "expected 2 elements in q, found 3"},
        {[&] { return message_of(robot.forward_velocity_kinematics(nan, one, foreign)); }, "q contains a non-finite value"},
        {[&] { return message_of(robot.forward_velocity_kinematics(ok, one, b)); }, "expected 2 elements in qd, found 1"},
        {[&] { return message_of(floating.forward_velocity_kinematics(base, ok, nan, b, pose)); },
         "qd contains a non-finite value"},
        {[&] { return message_of(floating.forward_velocity_kinematics(base, ok, ok, foreign)); },
         "link identifier does not belong to this robot model"},
        {[&] { return message_of(robot.forward_acceleration_kinematics(ok, inf, one, b)); }, "qd contains a non-finite value"},
        {[&] { return message_of(robot.forward_acceleration_kinematics(ok, ok, three, b)); },
         "expected 2 elements in qdd, found 3"},
        {[&] { return message_of(floating.forward_acceleration_kinematics(base, ok, ok, nan, foreign)); },
         "qdd contains a non-finite value"},
        {[&] { return message_of(floating.forward_acceleration_kinematics(base, ok, ok, ok, LinkId{model->id, 3})); },
         "link identifier does not belong to this robot model"},
        {[&] { return message_of(robot.inverse_kinematics(three, b, pose, {}, out1)); },
         "expected 2 elements in initial_q, found 3"},
        {[&] { return message_of(robot.inverse_kinematics(nan, foreign, pose, {}, out1)); },
         "initial_q contains a non-finite value"},
        {[&] { return message_of(robot.inverse_kinematics(ok, foreign, pose, {}, out1)); },
         "expected 2 elements in inverse kinematics output, found 1"},
        {[&] { return message_of(robot.inverse_kinematics(ok, foreign, pose, {}, out2)); },
         "link identifier does not belong to this robot model"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].first(), cases[i].second) << "case " << i;
}

}  // namespace
}  // namespace vormek
