#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "model/urdf.hpp"
#include "robot.hpp"
#include "support.hpp"

namespace vormek {
namespace {

using test::fails_with;
using test::joint;
using test::link;
using test::robot;
namespace fs = std::filesystem;

// A private directory that disappears with the test.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "urdf_test_XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() { fs::remove_all(path_); }
    fs::path write(const std::string& name, std::string_view bytes) const {
        std::ofstream(path_ / name, std::ios::binary) << bytes;
        return path_ / name;
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

const std::string two_links = robot(link("base") + link("arm") + joint("j", "continuous", "base", "arm"));

TEST(UrdfFile, ReadsFilesAndReportsReadFailures) {
    TempDir dir;
    const auto good = dir.write("good.urdf", two_links);
    auto loaded = load_model(good);
    ASSERT_TRUE(loaded) << loaded.error().message();
    EXPECT_EQ((*loaded)->dof_count(), 1u);
    EXPECT_TRUE(Robot::from_urdf(good));

    const fs::path with_nul(good.string() + std::string("\0x", 2));
    EXPECT_TRUE(fails_with(load_model(with_nul), ErrorKind::Urdf,
                           "failed to parse URDF: file name contained an unexpected NUL byte"));
    EXPECT_TRUE(fails_with(load_model(dir.path() / "missing.urdf"), ErrorKind::Urdf,
                           std::string("failed to parse URDF: ") + std::strerror(ENOENT)));
    EXPECT_TRUE(fails_with(load_model(dir.path()), ErrorKind::Urdf,
                           std::string("failed to parse URDF: ") + std::strerror(EISDIR)));
}

// Files have a size bound, found from the size a regular file announces or, for an endless
// stream, while reading; a stream within it reads like a file.
TEST(UrdfFile, SizeBoundAndStreams) {
    TempDir dir;
    const auto huge = dir.write("huge.urdf", "");
    fs::resize_file(huge, urdf::max_file_bytes + 1);  // sparse: no disk, no memory
    const std::string refusal = "failed to parse URDF: file is larger than 1073741824 bytes, the most a URDF may hold";
    EXPECT_TRUE(fails_with(load_model(huge), ErrorKind::Urdf, refusal));
    const auto endless = urdf::read_file("/dev/zero", 1 << 20);
    ASSERT_FALSE(endless);
    EXPECT_EQ(endless.error().message(), "failed to parse URDF: file is larger than 1048576 bytes, the most a URDF may hold");

    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], two_links.data(), two_links.size()), static_cast<ssize_t>(two_links.size()));
    ::close(fds[1]);
    const auto piped = load_model("/proc/self/fd/" + std::to_string(fds[0]));
    ::close(fds[0]);
    ASSERT_TRUE(piped) << piped.error().message();
    EXPECT_EQ((*piped)->dof_count(), 1u);
}

TEST(UrdfFile, TextMustBeStrictUtf8) {
    TempDir dir;
    // multi-byte names survive untouched
    auto names = load_model(dir.write("names.urdf", robot(link("b\xC3\xA4se") + link("\xE2\x82\xAC\xF0\x9F\xA4\x96") +
                                                          joint("j", "fixed", "b\xC3\xA4se", "\xE2\x82\xAC\xF0\x9F\xA4\x96"))));
    ASSERT_TRUE(names) << names.error().message();
    EXPECT_EQ((*names)->links[1].name, "\xE2\x82\xAC\xF0\x9F\xA4\x96");

    const char* bad[] = {
        "\xC0\xAF",          // overlong '/'
        "\xE0\x80\xAF",      // overlong, three bytes
        "\xED\xA0\x80",      // UTF-16 surrogate
        "\xF4\x90\x80\x80",  // above U+10FFFF
        "\x80",              // lone continuation byte
        "\xFF",
        "\xE2\x82",          // truncated before the closing tag
    };
    for (const char* bytes : bad) {
        // the broken bytes sit in a comment and the XML is broken too: the encoding is checked first
        const auto file = dir.write("bad.urdf", robot(link("base") + "<!--" + bytes + "-->") + "<unclosed>");
        EXPECT_TRUE(fails_with(load_model(file), ErrorKind::Urdf,
                               "failed to parse URDF: stream did not contain valid UTF-8"))
            << fs::file_size(file);
    }
}

// Each reader failure is Error::Urdf naming what is wrong and where; the faulty element sits on
// line 3 of every fixture.
TEST(UrdfReader, SyntaxAndStructureErrorsNameTheirPlace) {
    struct Case {
        std::string body;
        std::vector<std::string> mentions;
    };
    const std::string j_head = R"(<joint name="j1" type="revolute">)";
    const std::string pc = R"(<parent link="a"/><child link="b"/>)";
    const std::string lim = R"(<limit velocity="1"/>)";
    const Case cases[] = {
        {"<link name=\"a\"></robot>", {"malformed XML", "line 3"}},
        {"<link/>", {"<link>", "missing required attribute \"name\""}},
        {R"(<joint name="j1">)" + pc + "</joint>", {"<joint name=\"j1\">", "missing required attribute \"type\""}},
        {j_head + R"(<child link="b"/></joint>)", {"missing required element <parent>"}},
        {j_head + R"(<parent/><child link="b"/></joint>)", {"<parent>", "missing required attribute \"link\""}},
        {R"(<link name="a"><inertial><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial></link>)",
         {"missing required element <mass>"}},
        {R"(<link name="a"><inertial><mass value="1"/><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0"/></inertial></link>)",
         {"<inertia>", "missing required attribute \"izz\""}},
        {R"(<link name="a"><inertial><mass value="1"/><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial><inertial/></link>)",
         {"duplicate <inertial>", "<link name=\"a\">"}},
        {j_head + R"(<origin/><origin xyz="1 0 0"/>)" + pc + "</joint>", {"duplicate <origin>", "<joint name=\"j1\">"}},
        {j_head + pc + lim + lim + "</joint>", {"duplicate <limit>"}},
        {j_head + pc + R"(<axis xyz="0 0 1"/><axis xyz="0 1 0"/></joint>)", {"duplicate <axis>"}},
        {R"(<link name="a"><inertial><mass value="heavy"/></inertial></link>)", {"<mass>", "\"value\"", "\"heavy\"", "not a number"}},
        {R"(<link name="a"><inertial><mass value="1.5x"/></inertial></link>)", {"\"1.5x\"", "not a number"}},
        {j_head + R"(<origin xyz="1 2"/>)" + pc + "</joint>", {"<origin>", "\"xyz\"", "exactly three numbers"}},
        {j_head + R"(<origin rpy="1 2 3 4"/>)" + pc + "</joint>", {"\"rpy\"", "exactly three numbers"}},
        {j_head + pc + R"(<axis xyz="0 0 one"/></joint>)", {"<axis>", "\"xyz\"", "exactly three numbers"}},
        {R"(<joint name="j1" type="ball">)" + pc + "</joint>", {"unknown joint type \"ball\""}},
        {j_head + pc + R"(<limit lower="0" upper="1" effort="1"/></joint>)", {"<limit>", "missing required attribute \"velocity\""}},
        {R"(<link name="a" name="b"/>)", {"repeated attribute \"name\""}},
    };
    for (const Case& c : cases) {
        const auto result = load_model_from_string("<robot name=\"r\">\n<link name=\"z\"/>\n" + c.body + "\n</robot>");
        ASSERT_FALSE(result) << c.body;
        EXPECT_EQ(result.error().kind(), ErrorKind::Urdf) << c.body;
        const std::string message = result.error().message();
        EXPECT_TRUE(message.starts_with("failed to parse URDF: ")) << message;
        for (const std::string& m : c.mentions) EXPECT_NE(message.find(m), std::string::npos) << message << " lacks " << m;
        EXPECT_NE(message.find("line 3"), std::string::npos) << message;
    }
}

// Past a few attributes the repeat check changes method; both must find a repeat wherever it is.
TEST(UrdfReader, RepeatedAttributeOnWideElements) {
    for (const std::size_t width : {3, 17, 40'000}) {
        std::string attributes;
        for (std::size_t i = 0; i < width; ++i) attributes += " a" + std::to_string(i) + "=\"\"";
        EXPECT_TRUE(load_model_from_string(robot("<link name=\"w\"" + attributes + "/>"))) << width;
        const std::string last = " a" + std::to_string(width - 1) + "=\"\"";
        const auto repeated = load_model_from_string(robot("<link name=\"w\"" + attributes + last + "/>"));
        ASSERT_FALSE(repeated) << width;
        EXPECT_NE(repeated.error().message().find("repeated attribute \"a" + std::to_string(width - 1) + "\""),
                  std::string::npos)
            << repeated.error().message();
    }
}

TEST(UrdfReader, DocumentShape) {
    EXPECT_EQ(load_model_from_string("").error().kind(), ErrorKind::Urdf);
    EXPECT_EQ(load_model_from_string("<model><link name=\"a\"/></model>").error().kind(), ErrorKind::Urdf);
    EXPECT_EQ(load_model_from_string(robot(link("a")) + "<robot/>").error().kind(), ErrorKind::Urdf);
    // the whole text is read before any model check: a syntax error late in the file wins
    // over duplicate links early in it
    const auto late = load_model_from_string(robot(link("a") + link("a") + R"(<joint name="j" type="fixed"/>)"));
    ASSERT_FALSE(late);
    EXPECT_EQ(late.error().kind(), ErrorKind::Urdf);
}

// What a robot description exported by real tools carries beside kinematics and inertia.
TEST(UrdfReader, IgnoresEverythingOutsideTheKinematicSubset) {
    const auto model = test::load_ok(R"(<?xml version="1.0" encoding="utf-8"?>
<!-- <link name="commented_out"/> -->
<?some-tool hint="x"?>
<robot name="arm" xmlns:xacro="http://www.ros.org/wiki/xacro">
  <material name="blue"><color rgba="not a colour"/></material>
  <link name="base">
    <visual><origin xyz="a b"/><geometry><mesh filename="base.stl"/></geometry><material name="blue"/></visual>
    <collision><origin xyz="9 9 9" rpy="1 2"/><geometry><box size="1"/></geometry></collision>
    <inertial>
      <origin xyz="0.5 0 0"/>
      <mass value="2"/>
      <inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/>
    </inertial>
    <visual><origin xyz="7 7 7"/></visual>
  </link>
  <link name="arm"><visual><geometry><cylinder radius="x"/></geometry></visual></link>
  <joint name="shoulder" type="revolute">
    <dynamics damping="lots" friction="0"/>
    <parent link="base"/><child link="arm"/>
    <origin xyz="0 0 1"/>
    <axis xyz="0 1 0"/>
    <limit lower="-1" upper="1" effort="10" velocity="2"/>
    <safety_controller k_velocity="?"/>
    <calibration rising="?"/>
    <mimic joint="nowhere" multiplier="x"/>
    <unknown><origin xyz="1"/></unknown>
  </joint>
  <transmission name="t1">
    <type>transmission_interface/SimpleTransmission</type>
    <joint name="shoulder"><hardwareInterface>EffortJointInterface</hardwareInterface></joint>
    <joint name="ghost"/>
    <actuator name="motor"><mechanicalReduction>1</mechanicalReduction></actuator>
  </transmission>
  <gazebo reference="arm"><joint name="also_ghost" type="weird"/><link/></gazebo>
  <xacro:property name="p" value="1"/>
  <sensor name="cam"/>
</robot>)");
    EXPECT_EQ(model->name, "arm");
    EXPECT_EQ(model->link_count(), 2u);
    EXPECT_EQ(model->joint_count(), 1u);
    EXPECT_EQ(model->joints[0].name, "shoulder");
    EXPECT_EQ(model->links[0].inertial.com, Vector3d(0.5, 0, 0));
    EXPECT_EQ(model->joints[0].kinematics.origin_translation, Vector3d(0, 0, 1));
    EXPECT_EQ(model->joints[0].kinematics.axis, Vector3d(0, 1, 0));
    EXPECT_EQ(model->joints[0].lower, -1);
    EXPECT_EQ(model->joints[0].upper, 1);
}

TEST(UrdfNumbers, ParseLikeStrtodWithNothingTrailing) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<const char*, double> good[] = {
        {"1.5", 1.5}, {"+1.5", 1.5}, {"-2", -2}, {".5", 0.5}, {"3.", 3}, {"1e3", 1000}, {"-1.25E-2", -0.0125},
        {"inf", inf}, {"-inf", -inf}, {"+inf", inf}, {"1e999", inf}, {"-1e999", -inf}, {"1e-999", 0},
    };
    for (const auto& [text, value] : good) {
        const auto parsed = urdf::parse_number(text);
        ASSERT_TRUE(parsed) << text;
        EXPECT_EQ(*parsed, value) << text;
    }
    EXPECT_TRUE(std::isnan(urdf::parse_number("nan").value_or(0)));
    EXPECT_TRUE(std::signbit(urdf::parse_number("-1e-999").value_or(1)));
    for (const char* bad : {"", "+", "-", "1.5x", "x1", "1e", "1 2", "+-1", "++1", "--1", "0x10", "1,5", "e5"})
        EXPECT_FALSE(urdf::parse_number(bad)) << '"' << bad << '"';

    // the same numbers as attribute values, padding included
    const auto model = test::load_ok(robot(link("a", test::inertial(" +1.5 ")) + link("b") +
                                           joint("j", "fixed", "a", "b", R"(<origin xyz=" 1e-999   2	-0 "/>)")));
    EXPECT_EQ(model->links[0].inertial.mass, 1.5);
    EXPECT_EQ(model->joints[0].kinematics.origin_translation, Vector3d(0, 2, 0));
}

}  // namespace
}  // namespace vormek
