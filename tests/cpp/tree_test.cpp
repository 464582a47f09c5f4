#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "support.hpp"

namespace vormek {
namespace {

using test::fails_with;
using test::inertial;
using test::joint;
using test::link;
using test::load_ok;
using test::robot;

::testing::AssertionResult invalid(const std::string& urdf, const std::string& description) {
    return fails_with(load_model_from_string(urdf), ErrorKind::InvalidModel, "invalid robot model: " + description);
}

const std::string z_axis = R"(<axis xyz="0 0 1"/>)";
const std::string bad_axis = R"(<axis xyz="0 0 0"/>)";

TEST(TreeChecks, NamesAndEdgesInDocumentOrder) {
    EXPECT_TRUE(invalid(robot(link("a") + link("b") + link("a") + joint("j", "fixed", "a", "nowhere")),
                        "link names must be unique"));
    EXPECT_TRUE(invalid(robot(link("a") + link("b") + link("c") + joint("j", "fixed", "a", "b") +
                              joint("j", "fixed", "nowhere", "c")),
                        "joint names must be unique"));
    EXPECT_TRUE(invalid(robot(link("a") + link("b") + joint("j", "fixed", "A", "b")),
                        "joint j references a missing parent link"));
    EXPECT_TRUE(invalid(robot(link("a") + link("b") + joint("j", "fixed", "a", "c")),
                        "joint j references a missing child link"));
    EXPECT_TRUE(invalid(robot(link("a") + link("b") + link("c") + joint("j1", "fixed", "a", "c") +
                              joint("j2", "fixed", "b", "c")),
                        "link c is reached more than once"));
    // the first bad joint in the file decides, whatever is wrong with later ones
    EXPECT_TRUE(invalid(robot(link("a") + link("b") + link("c") + joint("j1", "fixed", "a", "x") +
                              joint("j2", "fixed", "y", "b") + joint("j1", "fixed", "a", "c")),
                        "joint j1 references a missing child link"));
    EXPECT_TRUE(invalid(robot(link("a") + link("b") + joint("j1", "fixed", "a", "b") + joint("j2", "fixed", "a", "b") +
                              joint("j3", "fixed", "a", "nowhere")),
                        "link b is reached more than once"));
}

TEST(TreeChecks, ExactlyOneRoot) {
    EXPECT_TRUE(invalid("<robot/>", "expected one root link, found 0"));
    EXPECT_TRUE(invalid(robot(link("a") + link("b")), "expected one root link, found 2"));
    EXPECT_TRUE(invalid(robot(link("a") + joint("j", "fixed", "a", "a")), "expected one root link, found 0"));
}

// Content is validated while walking breadth-first from the root, so only reachable parts are
// checked and the shallowest fault wins.
TEST(TreeChecks, ContentIsCheckedBreadthFirstThenConnectivity) {
    const std::string cycle = link("c1") + link("c2") + joint("k1", "fixed", "c1", "c2") + joint("k2", "fixed", "c2", "c1");
    EXPECT_TRUE(invalid(robot(link("root") + cycle), "joint graph is disconnected or cyclic"));
    EXPECT_TRUE(invalid(robot(link("root") + link("c1") + link("c2") + joint("k1", "floating", "c1", "c2") +
                              joint("k2", "fixed", "c2", "c1")),
                        "joint graph is disconnected or cyclic"));
    // a reachable fault is reported before the unreachable cycle
    EXPECT_TRUE(fails_with(load_model_from_string(robot(link("root") + link("arm") + cycle +
                                                        joint("j", "revolute", "root", "arm", bad_axis))),
                           ErrorKind::InvalidJointAxis, "joint j has an invalid axis"));
    // the child link is converted before the joint reaching it
    EXPECT_TRUE(invalid(robot(link("a") + link("b", inertial("-1")) + joint("j", "revolute", "a", "b", bad_axis)),
                        "link b mass must be finite and non-negative"));
    // the root link comes first of all
    EXPECT_TRUE(invalid(robot(link("b", inertial("-1")) + link("a", inertial("-1")) + joint("j", "fixed", "a", "b")),
                        "link a mass must be finite and non-negative"));
    // depth 1 before depth 2, though the deeper fault is written first
    EXPECT_TRUE(invalid(robot(link("a") + link("b") + link("c", inertial("nan")) + link("d", inertial("-2")) +
                              joint("deep", "fixed", "b", "c") + joint("j1", "fixed", "a", "b") +
                              joint("j2", "fixed", "a", "d")),
                        "link d mass must be finite and non-negative"));
}

TEST(TreeChecks, LinkContent) {
    const auto with = [](const std::string& inert) { return robot(link("l", inert)); };
    const std::string unit = R"(ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1")";
    const std::string mass_msg = "link l mass must be finite and non-negative";
    for (const char* m : {"-1e-300", "-1", "1e999", "inf", "nan"}) EXPECT_TRUE(invalid(with(inertial(m, unit)), mass_msg)) << m;
    EXPECT_TRUE(load_model_from_string(with(inertial("-0", unit))));

    const std::string origin_msg = "link l inertial origin must contain only finite values";
    EXPECT_TRUE(invalid(with(inertial("1", unit, R"(<origin xyz="0 inf 0"/>)")), origin_msg));
    EXPECT_TRUE(invalid(with(inertial("1", unit, R"(<origin rpy="0 0 nan"/>)")), origin_msg));
    // mass before origin
    EXPECT_TRUE(invalid(with(inertial("-1", unit, R"(<origin rpy="0 0 nan"/>)")), mass_msg));

    const std::string finite_msg = "link l inertia must contain only finite values";
    EXPECT_TRUE(invalid(with(inertial("1", R"(ixx="1" ixy="0" ixz="0" iyy="1" iyz="nan" izz="1")")), finite_msg));
    EXPECT_TRUE(invalid(with(inertial("1", R"(ixx="1e999" ixy="0" ixz="0" iyy="1" iyz="0" izz="1")")), finite_msg));
    EXPECT_TRUE(invalid(with(inertial("1", R"(ixx="1" ixy="nan" ixz="0" iyy="1" iyz="0" izz="1")", R"(<origin xyz="nan 0 0"/>)")),
                        origin_msg));

    const std::string psd_msg = "link l inertia must be positive semi-definite";
    EXPECT_TRUE(invalid(with(inertial("1", R"(ixx="1" ixy="2" ixz="0" iyy="1" iyz="0" izz="1")")), psd_msg));
    EXPECT_TRUE(invalid(with(inertial("1", R"(ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="-1e-9")")), psd_msg));
    EXPECT_TRUE(load_model_from_string(with(inertial("1", R"(ixx="1" ixy="0" ixz="0" iyy="0" iyz="0" izz="0")"))));
    // Singular inertias whose zero eigenvalues round slightly negative still load: rank one
    // (all entries equal, as real robot files write it), rotated rank one, rotated rank two.
    for (const char* psd : {R"(ixx="1e-6" ixy="1e-6" ixz="1e-6" iyy="1e-6" iyz="1e-6" izz="1e-6")",
                            R"(ixx="0.25" ixy="0.4330127018922193" ixz="0" iyy="0.75" iyz="0" izz="0")",
                            R"(ixx="0.6786847861423038" ixy="0.19321229439316806" ixz="-0.03211316005221129" iyy="0.238572005796359" iyz="-0.4546498724292677" izz="1.0827432080613377")"}) {
        EXPECT_TRUE(load_model_from_string(with(inertial("1", psd)))) << psd;
    }
    // A negative eigenvalue is still refused at any scale, however tiny.
    EXPECT_TRUE(invalid(with(inertial("1", R"(ixx="-1e-300" ixy="0" ixz="0" iyy="0" iyz="0" izz="0")")), psd_msg));
    EXPECT_TRUE(invalid(with(inertial("1", R"(ixx="-1" ixy="0" ixz="0" iyy="2" iyz="0" izz="2")")), psd_msg));
    // Near the largest double an eigenvalue, and with it the rounding allowance, can overflow.
    EXPECT_TRUE(invalid(with(inertial("1", R"(ixx="-1e308" ixy="1e308" ixz="1e308" iyy="0" iyz="0" izz="0")")), psd_msg));
    EXPECT_TRUE(invalid(with(inertial("1", R"(ixx="-1.7e308" ixy="1.7e308" ixz="0" iyy="1.7e308" iyz="0" izz="1")")), psd_msg));
}

TEST(TreeChecks, JointContent) {
    const auto with = [](const std::string& type, const std::string& inner) {
        return robot(link("a") + link("b") + joint("j", type, "a", "b", inner));
    };
    for (const char* type : {"floating", "planar", "spherical"}) {
        const auto r = load_model_from_string(with(type, R"(<origin xyz="nan 0 0"/>)"));
        EXPECT_TRUE(fails_with(r, ErrorKind::UnsupportedJointType, std::string("joint j uses unsupported type ") + type));
        ASSERT_NE(r.error().get<errors::UnsupportedJointType>(), nullptr);
        EXPECT_EQ(r.error().get<errors::UnsupportedJointType>()->joint, "j");
        EXPECT_EQ(r.error().get<errors::UnsupportedJointType>()->joint_type, type);
    }
    const std::string origin_msg = "joint j origin must contain only finite values";
    for (const char* origin : {R"(xyz="nan 0 0")", R"(xyz="0 0 1e999")", R"(rpy="0 -inf 0")", R"(rpy="nan 0 0")"}) {
        EXPECT_TRUE(invalid(with("fixed", std::string("<origin ") + origin + "/>"), origin_msg)) << origin;
        // origin before axis
        EXPECT_TRUE(invalid(with("revolute", std::string("<origin ") + origin + "/>" + bad_axis), origin_msg));
    }
    for (const char* type : {"revolute", "continuous", "prismatic"})
        for (const char* axis : {"0 0 0", "0 0 1e-13", "nan 0 1", "inf 0 0", "0 0 -inf"})
            EXPECT_TRUE(fails_with(load_model_from_string(with(type, std::string("<axis xyz=\"") + axis + "\"/>")),
                                   ErrorKind::InvalidJointAxis, "joint j has an invalid axis"))
                << type << " " << axis;
}

TEST(TreeConversion, AxesAreStoredAsUnitVectors) {
    const auto axis_of = [](const std::string& type, const std::string& inner) {
        return load_ok(robot(link("a") + link("b") + joint("j", type, "a", "b", inner)))->joints[0].kinematics.axis;
    };
    const double h = std::sqrt(0.5);
    EXPECT_EQ(axis_of("revolute", ""), Vector3d(1, 0, 0));
    EXPECT_EQ(axis_of("revolute", R"(<axis xyz="0 0 2"/>)"), Vector3d(0, 0, 1));
    EXPECT_EQ(axis_of("prismatic", R"(<axis xyz="0 0 1e-11"/>)"), Vector3d(0, 0, 1));
    EXPECT_TRUE(test::near(axis_of("continuous", R"(<axis xyz="0 -3 4"/>)"), Vector3d(0, -0.6, 0.8), 1e-15));
    // squaring these overflows, yet the direction is plain
    EXPECT_TRUE(test::near(axis_of("revolute", R"(<axis xyz="1e200 0 1e200"/>)"), Vector3d(h, 0, h), 1e-15));
    // a fixed joint never moves along its axis, so whatever is written is not checked
    EXPECT_EQ(axis_of("fixed", R"(<axis xyz="0 0 0"/>)"), Vector3d(1, 0, 0));
    EXPECT_EQ(axis_of("fixed", R"(<axis xyz="0 1 0"/>)"), Vector3d(1, 0, 0));
}

TEST(TreeConversion, Limits) {
    const double inf = std::numeric_limits<double>::infinity();
    const auto limits_of = [](const std::string& type, const std::string& inner) {
        const Joint j = load_ok(robot(link("a") + link("b") + joint("j", type, "a", "b", inner)))->joints[0];
        return std::pair(j.lower, j.upper);
    };
    EXPECT_EQ(limits_of("continuous", ""), std::pair(-inf, inf));
    EXPECT_EQ(limits_of("continuous", R"(<limit lower="-1" upper="1" velocity="1"/>)"), std::pair(-inf, inf));
    EXPECT_EQ(limits_of("revolute", ""), std::pair(0.0, 0.0));
    EXPECT_EQ(limits_of("revolute", R"(<limit velocity="1"/>)"), std::pair(0.0, 0.0));
    EXPECT_EQ(limits_of("revolute", R"(<limit upper="2" velocity="1"/>)"), std::pair(0.0, 2.0));
    EXPECT_EQ(limits_of("prismatic", R"(<limit lower="-0.5" upper="0.25" effort="3" velocity="1"/>)"),
              std::pair(-0.5, 0.25));
}

// base ─j1→ l1 ─j2→ l2, base ─j3→ tool, written in that order: breadth-first puts tool
// (depth 1) before l2 (depth 2).
TEST(TreeLayout, BreadthFirstFromTheRoot) {
    const auto model = load_ok(robot(link("base") + link("l1") + link("l2") + link("tool") +
                                     joint("j1", "revolute", "base", "l1", z_axis) +
                                     joint("j2", "prismatic", "l1", "l2", z_axis) + joint("j3", "fixed", "base", "tool")));
    std::vector<std::string> links, joints;
    for (const auto& l : model->links) links.push_back(l.name);
    for (const auto& j : model->joints) joints.push_back(j.name);
    EXPECT_EQ(links, (std::vector<std::string>{"base", "l1", "tool", "l2"}));
    EXPECT_EQ(joints, (std::vector<std::string>{"j1", "j3", "j2"}));
    EXPECT_EQ(model->joint_parents, (std::vector<std::size_t>{0, 0, 1}));
    // DOFs follow the joint order, not the file
    EXPECT_EQ(model->joint_dofs, (std::vector<std::size_t>{0, Model::no_dof, 1}));
    EXPECT_EQ(model->dof_joints, (std::vector<std::size_t>{0, 2}));
    EXPECT_EQ(model->joint_dof(1), std::nullopt);
    EXPECT_EQ(model->joint_dof(2), 1u);
    ASSERT_EQ(model->joint_kinematics.size(), 3u);
    EXPECT_EQ(model->joint_kinematics[2].kind, JointKind::Prismatic);
    EXPECT_EQ(model->link_inertials.size(), 4u);
}

TEST(TreeLayout, SmallShapes) {
    const auto names = [](const Model& m) {
        std::vector<std::string> out;
        for (const auto& l : m.links) out.push_back(l.name);
        return out;
    };
    const auto fixed_then_revolute = load_ok(robot(link("root") + link("a") + link("b") + joint("f", "fixed", "root", "a") +
                                                   joint("r", "revolute", "a", "b", z_axis)));
    EXPECT_EQ(fixed_then_revolute->joint_dofs, (std::vector<std::size_t>{Model::no_dof, 0}));
    EXPECT_EQ(fixed_then_revolute->dof_joints, (std::vector<std::size_t>{1}));

    const auto single = load_ok(robot(link("only")));
    EXPECT_EQ(single->link_count(), 1u);
    EXPECT_EQ(single->joint_count(), 0u);
    EXPECT_EQ(single->dof_count(), 0u);

    const auto bottom_up = load_ok(robot(joint("j3", "fixed", "l2", "l3") + link("l3") + joint("j2", "fixed", "l1", "l2") +
                                         link("l2") + joint("j1", "fixed", "base", "l1") + link("l1") + link("base")));
    EXPECT_EQ(names(*bottom_up), (std::vector<std::string>{"base", "l1", "l2", "l3"}));
    EXPECT_EQ(bottom_up->joints[0].name, "j1");
    EXPECT_EQ(bottom_up->joint_parents, (std::vector<std::size_t>{0, 1, 2}));

    const auto star = load_ok(robot(link("c") + link("hub") + link("a") + link("b") + joint("jc", "fixed", "hub", "c") +
                                    joint("ja", "fixed", "hub", "a") + joint("jb", "fixed", "hub", "b")));
    EXPECT_EQ(names(*star), (std::vector<std::string>{"hub", "c", "a", "b"}));
    EXPECT_EQ(star->joint_parents, (std::vector<std::size_t>{0, 0, 0}));
}

}  // namespace
}  // namespace vormek
