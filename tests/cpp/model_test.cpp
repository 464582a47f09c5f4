#include <gtest/gtest.h>

#include <array>

#include "support.hpp"

namespace vormek {
namespace {

using test::inertial;
using test::joint;
using test::link;
using test::load_ok;
using test::near;
using test::robot;

Matrix3d inertia_of(const std::string& inner) { return load_ok(robot(link("l", inner)))->links[0].inertial.inertia_com; }

TEST(ModelInertia, ExpressedInTheLinkFrame) {
    // a quarter turn about z swaps the x and y principal moments
    EXPECT_TRUE(near(inertia_of(inertial("1", R"(ixx="1" ixy="0" ixz="0" iyy="2" iyz="0" izz="3")",
                                         R"(<origin rpy="0 0 1.5707963267948966"/>)")),
                     Vector3d(2, 1, 3).asDiagonal().toDenseMatrix()));
    // an eighth turn about z puts the principal axis of moment 1 along (1, 1, 0)/√2:
    // I = 1·e₁e₁ᵀ + 2·e₂e₂ᵀ + 3·e₃e₃ᵀ with e₂ = (−1, 1, 0)/√2
    Matrix3d diagonal_axes;
    diagonal_axes << 1.5, -0.5, 0, -0.5, 1.5, 0, 0, 0, 3;
    EXPECT_TRUE(near(inertia_of(inertial("1", R"(ixx="1" ixy="0" ixz="0" iyy="2" iyz="0" izz="3")",
                                         R"(<origin rpy="0 0 0.7853981633974483"/>)")),
                     diagonal_axes));
    // off-diagonal entries fill both triangles
    Matrix3d symmetric;
    symmetric << 4, 0.1, 0.2, 0.1, 5, 0.3, 0.2, 0.3, 6;
    EXPECT_EQ(inertia_of(inertial("1", R"(ixx="4" ixy="0.1" ixz="0.2" iyy="5" iyz="0.3" izz="6")")), symmetric);
}

TEST(ModelInertia, MomentsAboutTheLinkOrigin) {
    // a point mass of 2 at x = 1: h = m·c, and only the y and z axes see it at distance 1
    const auto on_x = load_ok(robot(link("l", inertial("2", R"(ixx="0" ixy="0" ixz="0" iyy="0" iyz="0" izz="0")",
                                                        R"(<origin xyz="1 0 0"/>)"))));
    const LinkInertial& a = on_x->links[0].inertial;
    EXPECT_EQ(a.mass, 2);
    EXPECT_EQ(a.com, Vector3d(1, 0, 0));
    EXPECT_EQ(a.first_moment, Vector3d(2, 0, 0));
    EXPECT_TRUE(near(a.inertia_origin, Vector3d(0, 2, 2).asDiagonal().toDenseMatrix()));

    // unit point mass at (1, 2, 0) on top of I_c = E: Ixx = 1 + y², Iyy = 1 + x², Izz = 1 + x² + y²,
    // Ixy = −x·y
    const auto off_axis = load_ok(robot(link("l", inertial("1", R"(ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1")",
                                                            R"(<origin xyz="1 2 0" rpy="0.3 0.2 0.1"/>)"))));
    Matrix3d expected;
    expected << 5, -2, 0, -2, 2, 0, 0, 0, 6;
    EXPECT_TRUE(near(off_axis->links[0].inertial.inertia_origin, expected));
    EXPECT_EQ(off_axis->links[0].inertial.first_moment, Vector3d(1, 2, 0));

    const LinkInertial none = load_ok(robot(link("l", "<visual/>")))->links[0].inertial;
    EXPECT_EQ(none.mass, 0);
    EXPECT_EQ(none.com, Vector3d::Zero());
    EXPECT_EQ(none.first_moment, Vector3d::Zero());
    EXPECT_EQ(none.inertia_com, Matrix3d::Zero());
    EXPECT_EQ(none.inertia_origin, Matrix3d::Zero());
}

const std::string chain = robot(link("base") + link("Arm") + link("hand") + joint("j1", "continuous", "base", "Arm") +
                                joint("j2", "continuous", "Arm", "hand"));

TEST(ModelIdentity, EveryLoadIsItsOwnModel) {
    const auto a = load_ok(chain);
    const auto b = load_ok(chain);
    EXPECT_NE(a->id, 0u);
    EXPECT_LT(a->id, b->id);

    const std::uint64_t next = NEXT_MODEL_ID.load();
    EXPECT_FALSE(load_model_from_string(robot(link("a") + link("b"))));
    EXPECT_FALSE(load_model_from_string("<robot>"));
    EXPECT_EQ(NEXT_MODEL_ID.load(), next);
    EXPECT_EQ(load_ok(chain)->id, next);

    const LinkId from_a = *a->link(1);
    EXPECT_EQ(from_a, (LinkId{a->id, 1}));
    EXPECT_EQ(a->check_link(from_a), 1u);
    EXPECT_TRUE(test::fails_with(b->check_link(from_a), ErrorKind::InvalidLinkId,
                                 "link identifier does not belong to this robot model"));
    EXPECT_EQ(b->check_link(*b->link(1)), 1u);
    EXPECT_FALSE(a->check_link(LinkId{a->id, 3}));
    EXPECT_TRUE(test::fails_with(a->link(3), ErrorKind::InvalidLinkId,
                                 "link identifier does not belong to this robot model"));
}

TEST(ModelIdentity, LinksByName) {
    const auto m = load_ok(chain);
    EXPECT_EQ(*m->link_by_name("hand"), (LinkId{m->id, 2}));
    EXPECT_EQ(*m->link_by_name("Arm"), (LinkId{m->id, 1}));
    EXPECT_TRUE(test::fails_with(m->link_by_name("arm"), ErrorKind::UnknownLink, "link arm does not exist in the model"));
    ASSERT_NE(m->link_by_name("hand ").error().get<errors::UnknownLink>(), nullptr);
    EXPECT_EQ(m->link_by_name("hand ").error().get<errors::UnknownLink>()->name, "hand ");
}

TEST(ModelIdentity, AncestorPathRunsLeafToRoot) {
    // base → a → b, base → c: link order base, a, c, b
    const auto m = load_ok(robot(link("base") + link("a") + link("b") + link("c") + joint("ja", "fixed", "base", "a") +
                                 joint("jb", "fixed", "a", "b") + joint("jc", "fixed", "base", "c")));
    std::array<std::size_t, 3> path{};
    EXPECT_EQ(m->prepare_ancestor_path(0, path), 0u);
    ASSERT_EQ(m->prepare_ancestor_path(3, path), 2u);
    EXPECT_EQ(m->joints[path[0]].name, "jb");
    EXPECT_EQ(m->joints[path[1]].name, "ja");
    ASSERT_EQ(m->prepare_ancestor_path(2, path), 1u);
    EXPECT_EQ(m->joints[path[0]].name, "jc");
    std::array<std::size_t, 1> short_path{};
    EXPECT_THROW(m->prepare_ancestor_path(3, short_path), Panic);
}

}  // namespace
}  // namespace vormek
