#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "error.hpp"

namespace vormek {
namespace {

TEST(ErrorMessages, EveryKindRendersItsTextAndTag) {
    using namespace errors;
    struct Case {
        Error error;
        ErrorKind kind;
        std::string message;
    };
    const std::vector<Case> cases = {
        {Urdf{"bad xml"}, ErrorKind::Urdf, "failed to parse URDF: bad xml"},
        {InvalidModel{"link names must be unique"}, ErrorKind::InvalidModel,
         "invalid robot model: link names must be unique"},
        {UnsupportedJointType{"hip", "planar"}, ErrorKind::UnsupportedJointType, "joint hip uses unsupported type planar"},
        {WrongSliceLength{"q", 7, 6}, ErrorKind::WrongSliceLength, "expected 7 elements in q, found 6"},
        {NonFiniteInput{"qd"}, ErrorKind::NonFiniteInput, "qd contains a non-finite value"},
        {InvalidJointAxis{"wrist"}, ErrorKind::InvalidJointAxis, "joint wrist has an invalid axis"},
        {UnknownLink{"Tool"}, ErrorKind::UnknownLink, "link Tool does not exist in the model"},
        {InvalidJointIndex{12}, ErrorKind::InvalidJointIndex, "joint DOF index 12 does not exist in the model"},
        {InvalidLinkId{}, ErrorKind::InvalidLinkId, "link identifier does not belong to this robot model"},
        {InvalidBaseState{"velocity", "must contain only finite values"}, ErrorKind::InvalidBaseState,
         "invalid base velocity: must contain only finite values"},
        {InvalidIkOptions{"tolerance", "must be positive"}, ErrorKind::InvalidIkOptions,
         "invalid inverse-kinematics option tolerance: must be positive"},
        {NonFiniteIkInput{"target"}, ErrorKind::NonFiniteIkInput, "inverse-kinematics target contains a non-finite value"},
        {IkNumericalFailure{4}, ErrorKind::IkNumericalFailure, "inverse-kinematics linear solve failed at iteration 4"},
        {IkJointLimitViolation{2, "elbow", 3.2, -3.14, 3.14}, ErrorKind::IkJointLimitViolation,
         "inverse-kinematics solution 3.200000e0 for joint 2 (elbow) is outside URDF limits [-3.140000e0, 3.140000e0]"},
        {IkNotConverged{100, 0.0015, 2}, ErrorKind::IkNotConverged,
         "inverse kinematics did not converge after 100 iterations (translation error 1.500000e-3, rotation error "
         "2.000000e0)"},
        {ForwardDynamicsSingularJointInertia{5}, ErrorKind::ForwardDynamicsSingularJointInertia,
         "forward dynamics found singular articulated inertia at joint DOF 5"},
        {ForwardDynamicsSingularBaseInertia{}, ErrorKind::ForwardDynamicsSingularBaseInertia,
         "forward dynamics found singular floating-base articulated inertia"},
        {IkNoSolution{50, 0.0015, 2}, ErrorKind::IkNoSolution,
         "inverse kinematics found no solution within the joint limits after 50 restarts (best translation error "
         "1.500000e-3, rotation error 2.000000e0)"},
    };
    ASSERT_EQ(cases.size(), std::variant_size_v<Error::Value>);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(cases[i].error.message(), cases[i].message);
        EXPECT_EQ(cases[i].error.kind(), cases[i].kind);
        // the tag is the declaration position, which the binding exposes as a number
        EXPECT_EQ(static_cast<std::size_t>(cases[i].kind), i);
    }
}

TEST(ErrorMessages, FormatSci) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, const char*> cases[] = {
        {0.0015, "1.500000e-3"},
        {2, "2.000000e0"},
        {0, "0.000000e0"},
        {-250, "-2.500000e2"},
        {std::nan(""), "NaN"},
        {inf, "inf"},
        {-inf, "-inf"},
        // exact binary ties go to the even digit
        {1.2345675e10, "1.234568e10"},
        {1.2345665e10, "1.234566e10"},
        // 9.9999995 is stored just below the tie, so only a larger value carries into a new decade
        {9.9999995, "9.999999e0"},
        {9.9999996, "1.000000e1"},
        {1e300, "1.000000e300"},
        {-1.5e-300, "-1.500000e-300"},
        {5e-324, "4.940656e-324"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(format_sci(value), text) << value;
}

}  // namespace
}  // namespace vormek
