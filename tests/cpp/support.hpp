#pragma once
// Fixture builders and assertions shared by the core test files.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "model/model.hpp"

namespace vormek::test {

inline std::string robot(std::string_view body) { return "<robot name=\"r\">" + std::string(body) + "</robot>"; }

inline std::string link(std::string_view name, std::string_view inner = "") {
    return "<link name=\"" + std::string(name) + "\">" + std::string(inner) + "</link>";
}

inline std::string joint(std::string_view name, std::string_view type, std::string_view parent,
                         std::string_view child, std::string_view inner = "") {
    return "<joint name=\"" + std::string(name) + "\" type=\"" + std::string(type) + "\"><parent link=\"" +
           std::string(parent) + "\"/><child link=\"" + std::string(child) + "\"/>" + std::string(inner) +
           "</joint>";
}

inline std::string inertial(std::string_view mass, std::string_view inertia = R"(ixx="0" ixy="0" ixz="0" iyy="0" iyz="0" izz="0")",
                            std::string_view origin = "") {
    return "<inertial>" + std::string(origin) + "<mass value=\"" + std::string(mass) + "\"/><inertia " +
           std::string(inertia) + "/></inertial>";
}

// Loads a fixture the test relies on; a failure aborts the test with the core's message.
inline std::shared_ptr<const Model> load_ok(std::string_view urdf) {
    auto model = load_model_from_string(urdf);
    if (!model) throw std::runtime_error("fixture failed to load: " + model.error().message());
    return *model;
}

template <class T>
::testing::AssertionResult fails_with(const Result<T>& r, ErrorKind kind, std::string_view message) {
    if (r) return ::testing::AssertionFailure() << "succeeded, expected \"" << message << "\"";
    if (r.error().kind() != kind || r.error().message() != message)
        return ::testing::AssertionFailure() << "got " << r.error().debug() << " / \"" << r.error().message()
                                             << "\", expected \"" << message << "\"";
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult near(const Eigen::MatrixXd& actual, const Eigen::MatrixXd& expected,
                                       double tol = 1e-12) {
    if (actual.rows() == expected.rows() && actual.cols() == expected.cols() &&
        (actual - expected).cwiseAbs().maxCoeff() <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\n" << actual << "\nis not\n" << expected;
}

}  // namespace vormek::test
