#include <gtest/gtest.h>

#include "motion.hpp"

namespace vormek {
namespace {

using test::as_vector;
using test::joint;
using test::link;
using test::load_ok;
using test::near;
using test::RandomRobots;

Vector6d six(double a, double b, double c, double d, double e, double f) { return (Vector6d() << a, b, c, d, e, f).finished(); }

// A link turning about z at the root origin, with the target one metre out along its x axis.
TEST(VelocityKinematics, ALinkSwungAboutTheRoot) {
    Robot robot(load_ok(test::robot(link("base") + link("arm") + link("tip") +
                                    joint("swing", "continuous", "base", "arm", R"(<axis xyz="0 0 1"/>)") +
                                    joint("out", "fixed", "arm", "tip", R"(<origin xyz="1 0 0"/>)"))));
    const LinkId tip = *robot.model().link(2);
    const std::vector<double> q{0}, qd{2}, qdd{0};
    EXPECT_TRUE(near(as_vector(*robot.forward_velocity_kinematics(q, qd, tip)), six(0, 0, 2, 0, 2, 0)));
    // centripetal, towards the axis
    EXPECT_TRUE(near(as_vector(*robot.forward_acceleration_kinematics(q, qd, qdd, tip)), six(0, 0, 0, -4, 0, 0)));
    std::vector<double> J(6), Jdot(6);
    ASSERT_TRUE(robot.jacobian(q, tip, J));
    ASSERT_TRUE(robot.jacobian_derivative(q, qd, tip, Jdot));
    EXPECT_TRUE(near(Eigen::Map<Vector6d>(J.data()), six(0, 0, 1, 0, 1, 0)));
    EXPECT_TRUE(near(Eigen::Map<Vector6d>(Jdot.data()), six(0, 0, 0, -2, 0, 0)));
}

// A tool offset d moves the reference point only: the linear velocity gains ω × (R·d), the
// angular velocity stays; the root link moves with the base alone.
TEST(VelocityKinematics, ToolOffsetAndRootLink) {
    RandomRobots r(21);
    const std::size_t n = r.n();
    const std::vector<double> q = r.vector(n), qd = r.vector(n), qdd = r.vector(n);
    const BaseState base = r.base_state();
    for (std::size_t l = 0; l < r.model->link_count(); ++l) {
        SCOPED_TRACE(testing::Message() << "link " << l);
        const LinkId link = r.link(l);
        const Pose tool = r.pose();
        const Twist at_origin = *r.fixed.forward_velocity_kinematics(q, qd, link);
        const Twist at_tool = *r.fixed.forward_velocity_kinematics(q, qd, link, tool);
        const Vector3d Rd = rotate(r.fixed.forward_kinematics(q, link)->rotation, tool.translation);
        EXPECT_TRUE(near(at_tool.angular, at_origin.angular, 0));
        EXPECT_TRUE(near(at_tool.linear - at_origin.linear, at_origin.angular.cross(Rd), 1e-12));

        const Twist f_origin = *r.floating.forward_velocity_kinematics(base, q, qd, link);
        const Twist f_tool = *r.floating.forward_velocity_kinematics(base, q, qd, link, tool);
        const Vector3d Rd_f = rotate(r.floating.forward_kinematics(base, q, link)->rotation, tool.translation);
        EXPECT_TRUE(near(f_tool.angular, f_origin.angular, 0));
        EXPECT_TRUE(near(f_tool.linear - f_origin.linear, f_origin.angular.cross(Rd_f), 1e-12));
    }

    const LinkId root = r.link(0);
    const Pose tool = r.pose();
    EXPECT_TRUE(near(as_vector(*r.fixed.forward_velocity_kinematics(q, qd, root, tool)), Vector6d::Zero(), 0));
    EXPECT_TRUE(near(as_vector(*r.fixed.forward_acceleration_kinematics(q, qd, qdd, root)), Vector6d::Zero(), 0));
    const Twist& v_b = base.velocity();
    const Vector3d lever = v_b.angular.cross(rotate(base.frame().rotation, tool.translation));
    EXPECT_TRUE(near(as_vector(*r.floating.forward_velocity_kinematics(base, q, qd, root, tool)),
                     stack(v_b.angular, v_b.linear + lever), 1e-15));
    EXPECT_TRUE(near(as_vector(*r.floating.forward_acceleration_kinematics(base, q, qd, qdd, root)),
                     as_vector(base.acceleration()), 0));
}

}  // namespace
}  // namespace vormek
