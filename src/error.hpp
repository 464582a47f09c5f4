#pragma once
// The core's error vocabulary: every fallible operation returns a value or one Error.
// Only broken internal invariants are thrown, as Panic.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <stdexcept>
#include <string>
#include <variant>

namespace vormek {

// Kinds in tag order; the tag doubles as the index into Error's variant.
enum class ErrorKind : std::uint8_t {
    Urdf,
    InvalidModel,
    UnsupportedJointType,
    WrongSliceLength,
    NonFiniteInput,
    InvalidJointAxis,
    UnknownLink,
    InvalidJointIndex,
    InvalidLinkId,
    InvalidBaseState,
    InvalidIkOptions,
    NonFiniteIkInput,
    IkNumericalFailure,
    IkJointLimitViolation,
    IkNotConverged,
    ForwardDynamicsSingularJointInertia,
    ForwardDynamicsSingularBaseInertia,
    IkNoSolution,
};

namespace errors {
// Static-text fields point at string literals of the core and own nothing.
struct Urdf { std::string description; };
struct InvalidModel { std::string description; };
struct UnsupportedJointType { std::string joint; std::string joint_type; };
struct WrongSliceLength { const char* slice; std::uint64_t expected; std::uint64_t actual; };
struct NonFiniteInput { const char* input; };
struct InvalidJointAxis { std::string joint; };
struct UnknownLink { std::string name; };
struct InvalidJointIndex { std::uint64_t index; };
struct InvalidLinkId {};
struct InvalidBaseState { const char* field; const char* reason; };
struct InvalidIkOptions { const char* option; const char* reason; };
struct NonFiniteIkInput { const char* input; };
struct IkNumericalFailure { std::uint64_t iteration; };
struct IkJointLimitViolation {
    std::uint64_t joint_index;
    std::string joint;
    double position;
    double lower;
    double upper;
};
struct IkNotConverged { std::uint64_t iterations; double translation_error; double rotation_error; };
struct ForwardDynamicsSingularJointInertia { std::uint64_t joint_index; };
struct ForwardDynamicsSingularBaseInertia {};
// solve_ik ran out of restarts; the errors are those of the best iterate it met
struct IkNoSolution { std::uint64_t restarts; double translation_error; double rotation_error; };
}  // namespace errors

class Error {
public:
    using Value = std::variant<errors::Urdf, errors::InvalidModel, errors::UnsupportedJointType,
                               errors::WrongSliceLength, errors::NonFiniteInput,
                               errors::InvalidJointAxis, errors::UnknownLink,
                               errors::InvalidJointIndex, errors::InvalidLinkId,
                               errors::InvalidBaseState, errors::InvalidIkOptions,
                               errors::NonFiniteIkInput, errors::IkNumericalFailure,
                               errors::IkJointLimitViolation, errors::IkNotConverged,
                               errors::ForwardDynamicsSingularJointInertia,
                               errors::ForwardDynamicsSingularBaseInertia,
                               errors::IkNoSolution>;

    template <class Kind>
        requires std::is_constructible_v<Value, Kind&&>
    Error(Kind&& kind) : value_(std::forward<Kind>(kind)) {}  // NOLINT: implicit by design

    ErrorKind kind() const { return static_cast<ErrorKind>(value_.index()); }
    const Value& value() const { return value_; }
    template <class Kind>
    const Kind* get() const { return std::get_if<Kind>(&value_); }

    // The user-facing message: the whole text, no prefix naming the kind.
    std::string message() const;
    // Kind name plus fields; only used inside panic messages.
    std::string debug() const;

private:
    Value value_;
};

// Shorthand for the return type of every fallible core operation.
template <class T>
using Result = std::expected<T, Error>;

inline std::unexpected<Error> fail(Error e) { return std::unexpected<Error>(std::move(e)); }

// A broken internal invariant. Never used for bad input; the binding turns it into PanicError.
class Panic : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Binds `var` to the value of a Result expression, or returns its error from the enclosing
// function (which must itself return a Result).
#define VORMEK_TRY(var, expr)                                          \
    auto var##_result = (expr);                                        \
    if (!var##_result) return ::vormek::fail(std::move(var##_result.error())); \
    auto var = std::move(*var##_result)

[[noreturn]] void panic(const std::string& message);

// The failures of the length and finiteness checks every computation makes, built out of line
// so that the checks themselves inline.
[[gnu::cold]] Result<void> wrong_length(const char* label, std::size_t expected, std::size_t actual);
[[gnu::cold]] Result<void> not_finite(const char* label);

// `{:.6e}`: six decimals, lowercase e, exponent without sign padding or leading zeros
// (0.0015 -> 1.500000e-3), NaN as "NaN", infinities as "inf" and "-inf".
std::string format_sci(double value);

}  // namespace vormek
