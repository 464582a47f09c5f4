#pragma once
// Input checks shared by every kinematics and dynamics entry point. Each returns the first
// failure in the fixed order: length, then finiteness.

#include <cmath>
#include <span>

#include "../error.hpp"

namespace vormek {

// Returns the error of a failed check from the enclosing function (which returns a Result).
#define VORMEK_CHECK(expr)                                              \
    if (auto check_result_ = (expr); !check_result_) return ::vormek::fail(std::move(check_result_.error()))

template <class T>
inline Result<void> check_length(std::span<T> s, std::size_t expected, const char* label) {
    if (s.size() != expected) [[unlikely]] return wrong_length(label, expected, s.size());
    return {};
}

inline Result<void> check_finite(std::span<const double> s, const char* label) {
    for (const double v : s)
        if (!std::isfinite(v)) [[unlikely]] return not_finite(label);
    return {};
}

// A joint-space input: exactly `expected` finite values.
inline Result<void> check_joint_vector(std::span<const double> s, std::size_t expected, const char* label) {
    if (auto r = check_length(s, expected, label); !r) return r;
    return check_finite(s, label);
}

}  // namespace vormek
