#pragma once
// Random robots in random states, and central differences, for the kinematics identity tests.

#include <functional>
#include <random>
#include <vector>

#include "random_tree.hpp"
#include "robot.hpp"
#include "support.hpp"

namespace vormek::test {

// One random tree seen as both base kinds, with a random state for each call.
struct RandomRobots {
    explicit RandomRobots(std::uint64_t seed, RandomTreeOptions opt = {})
        : model(load_ok(random_tree_urdf(seed, opt))), fixed(model), floating(*FloatingRobot::make(model)), rng(seed) {
        if (!fixed.set_base_frame(pose())) throw std::runtime_error("random base frame rejected");
    }

    std::size_t n() const { return model->dof_count(); }
    LinkId link(std::size_t index) const { return *model->link(index); }

    std::vector<double> vector(std::size_t size, double scale = 2.0) {
        std::uniform_real_distribution<double> u(-scale, scale);
        std::vector<double> v(size);
        for (double& x : v) x = u(rng);
        return v;
    }
    Vector3d vector3() { return Eigen::Map<const Vector3d>(vector(3).data()); }
    Pose pose() {
        std::normal_distribution<double> g;
        return Pose{Quaterniond(g(rng), g(rng), g(rng), g(rng)).normalized(), vector3()};
    }
    BaseState base_state() { return *BaseState::make(pose(), Twist{vector3(), vector3()}, Twist{vector3(), vector3()}); }

    std::shared_ptr<const Model> model;
    Robot fixed;
    FloatingRobot floating;
    std::mt19937_64 rng;
};

// Central differences of a pose along N coordinates, one 6-value column per coordinate:
// angular rows from the quaternion difference (world axes), linear rows from the translations.
inline Eigen::MatrixXd pose_differences(std::size_t N, const std::function<Pose(std::size_t, double)>& moved,
                                        double h = 1e-6) {
    Eigen::MatrixXd J(6, N);
    for (std::size_t k = 0; k < N; ++k) {
        const Pose plus = moved(k, h), minus = moved(k, -h);
        J.col(k) << rotation_error(plus.rotation, minus.rotation) / (2 * h),
            (plus.translation - minus.translation) / (2 * h);
    }
    return J;
}

// A flat column-major 6·N buffer read as the 6 × N matrix it stores.
inline Eigen::MatrixXd as_matrix(const std::vector<double>& flat) {
    return Eigen::Map<const Eigen::MatrixXd>(flat.data(), 6, static_cast<Eigen::Index>(flat.size() / 6));
}

inline Vector6d as_vector(const Twist& t) { return stack(t.angular, t.linear); }

// [base six; joints] as one generalized vector.
inline Eigen::VectorXd stacked(const Twist& base, const std::vector<double>& joints) {
    Eigen::VectorXd x(6 + joints.size());
    x << as_vector(base), Eigen::Map<const Eigen::VectorXd>(joints.data(), static_cast<Eigen::Index>(joints.size()));
    return x;
}

inline Eigen::Map<const Eigen::VectorXd> as_vector(const std::vector<double>& v) {
    return Eigen::Map<const Eigen::VectorXd>(v.data(), static_cast<Eigen::Index>(v.size()));
}

}  // namespace vormek::test
