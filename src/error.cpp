#include "error.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vormek {

void panic(const std::string& message) { throw Panic(message); }

Result<void> wrong_length(const char* label, std::size_t expected, std::size_t actual) {
    return fail(errors::WrongSliceLength{label, expected, actual});
}

Result<void> not_finite(const char* label) { return fail(errors::NonFiniteInput{label}); }

std::string format_sci(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6e", value);
    // printf writes e+03 / e-03; the house format wants e3 / e-3.
    std::string text(buf);
    const auto e = text.find('e');
    const long exponent = std::strtol(text.c_str() + e + 1, nullptr, 10);
    text.resize(e + 1);
    text += std::to_string(exponent);
    return text;
}

namespace {

using namespace errors;

std::string quoted(const std::string& s) { return "\"" + s + "\""; }
std::string quoted(const char* s) { return quoted(std::string(s)); }

struct MessageVisitor {
    std::string operator()(const Urdf& e) const { return "failed to parse URDF: " + e.description; }
    std::string operator()(const InvalidModel& e) const { return "invalid robot model: " + e.description; }
    std::string operator()(const UnsupportedJointType& e) const {
        return "joint " + e.joint + " uses unsupported type " + e.joint_type;
    }
    std::string operator()(const WrongSliceLength& e) const {
        return "expected " + std::to_string(e.expected) + " elements in " + e.slice + ", found " +
               std::to_string(e.actual);
    }
    std::string operator()(const NonFiniteInput& e) const {
        return std::string(e.input) + " contains a non-finite value";
    }
    std::string operator()(const InvalidJointAxis& e) const { return "joint " + e.joint + " has an invalid axis"; }
    std::string operator()(const UnknownLink& e) const { return "link " + e.name + " does not exist in the model"; }
    std::string operator()(const InvalidJointIndex& e) const {
        return "joint DOF index " + std::to_string(e.index) + " does not exist in the model";
    }
    std::string operator()(const InvalidLinkId&) const {
        return "link identifier does not belong to this robot model";
    }
    std::string operator()(const InvalidBaseState& e) const {
        return std::string("invalid base ") + e.field + ": " + e.reason;
    }
    std::string operator()(const InvalidIkOptions& e) const {
        return std::string("invalid inverse-kinematics option ") + e.option + ": " + e.reason;
    }
    std::string operator()(const NonFiniteIkInput& e) const {
        return std::string("inverse-kinematics ") + e.input + " contains a non-finite value";
    }
    std::string operator()(const IkNumericalFailure& e) const {
        return "inverse-kinematics linear solve failed at iteration " + std::to_string(e.iteration);
    }
    std::string operator()(const IkJointLimitViolation& e) const {
        return "inverse-kinematics solution " + format_sci(e.position) + " for joint " +
               std::to_string(e.joint_index) + " (" + e.joint + ") is outside URDF limits [" +
               format_sci(e.lower) + ", " + format_sci(e.upper) + "]";
    }
    std::string operator()(const IkNotConverged& e) const {
        return "inverse kinematics did not converge after " + std::to_string(e.iterations) +
               " iterations (translation error " + format_sci(e.translation_error) +
               ", rotation error " + format_sci(e.rotation_error) + ")";
    }
    std::string operator()(const ForwardDynamicsSingularJointInertia& e) const {
        return "forward dynamics found singular articulated inertia at joint DOF " +
               std::to_string(e.joint_index);
    }
    std::string operator()(const ForwardDynamicsSingularBaseInertia&) const {
        return "forward dynamics found singular floating-base articulated inertia";
    }
    std::string operator()(const IkNoSolution& e) const {
        return "inverse kinematics found no solution within the joint limits after " + std::to_string(e.restarts) +
               " restarts (best translation error " + format_sci(e.translation_error) + ", rotation error " +
               format_sci(e.rotation_error) + ")";
    }
};

// Debug form: Kind { field: value, ... }, Kind(value) or bare Kind.
struct DebugVisitor {
    template <class... Fields>
    static std::string named(const char* kind, Fields... fields) {
        std::string out = std::string(kind) + " { ";
        bool first = true;
        ((out += (first ? "" : ", ") + fields, first = false), ...);
        return out + " }";
    }
    static std::string field(const char* name, const std::string& value) { return std::string(name) + ": " + value; }

    std::string operator()(const Urdf& e) const { return "Urdf(" + quoted(e.description) + ")"; }
    std::string operator()(const InvalidModel& e) const { return "InvalidModel(" + quoted(e.description) + ")"; }
    std::string operator()(const UnsupportedJointType& e) const {
        return named("UnsupportedJointType", field("joint", quoted(e.joint)), field("joint_type", quoted(e.joint_type)));
    }
    std::string operator()(const WrongSliceLength& e) const {
        return named("WrongSliceLength", field("slice", quoted(e.slice)), field("expected", std::to_string(e.expected)),
                     field("actual", std::to_string(e.actual)));
    }
    std::string operator()(const NonFiniteInput& e) const { return named("NonFiniteInput", field("input", quoted(e.input))); }
    std::string operator()(const InvalidJointAxis& e) const { return named("InvalidJointAxis", field("joint", quoted(e.joint))); }
    std::string operator()(const UnknownLink& e) const { return named("UnknownLink", field("name", quoted(e.name))); }
    std::string operator()(const InvalidJointIndex& e) const {
        return named("InvalidJointIndex", field("index", std::to_string(e.index)));
    }
    std::string operator()(const InvalidLinkId&) const { return "InvalidLinkId"; }
    std::string operator()(const InvalidBaseState& e) const {
        return named("InvalidBaseState", field("field", quoted(e.field)), field("reason", quoted(e.reason)));
    }
    std::string operator()(const InvalidIkOptions& e) const {
        return named("InvalidIkOptions", field("option", quoted(e.option)), field("reason", quoted(e.reason)));
    }
    std::string operator()(const NonFiniteIkInput& e) const { return named("NonFiniteIkInput", field("input", quoted(e.input))); }
    std::string operator()(const IkNumericalFailure& e) const {
        return named("IkNumericalFailure", field("iteration", std::to_string(e.iteration)));
    }
    std::string operator()(const IkJointLimitViolation& e) const {
        return named("IkJointLimitViolation", field("joint_index", std::to_string(e.joint_index)),
                     field("joint", quoted(e.joint)), field("position", format_sci(e.position)),
                     field("lower", format_sci(e.lower)), field("upper", format_sci(e.upper)));
    }
    std::string operator()(const IkNotConverged& e) const {
        return named("IkNotConverged", field("iterations", std::to_string(e.iterations)),
                     field("translation_error", format_sci(e.translation_error)),
                     field("rotation_error", format_sci(e.rotation_error)));
    }
    std::string operator()(const ForwardDynamicsSingularJointInertia& e) const {
        return named("ForwardDynamicsSingularJointInertia", field("joint_index", std::to_string(e.joint_index)));
    }
    std::string operator()(const ForwardDynamicsSingularBaseInertia&) const {
        return "ForwardDynamicsSingularBaseInertia";
    }
    std::string operator()(const IkNoSolution& e) const {
        return named("IkNoSolution", field("restarts", std::to_string(e.restarts)),
                     field("translation_error", format_sci(e.translation_error)),
                     field("rotation_error", format_sci(e.rotation_error)));
    }
};

}  // namespace

std::string Error::message() const { return std::visit(MessageVisitor{}, value_); }
std::string Error::debug() const { return std::visit(DebugVisitor{}, value_); }

}  // namespace vormek
