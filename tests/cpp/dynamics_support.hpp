#pragma once
// Calls of the dynamics operations that hand back Eigen values, for the identity tests. A
// failing call aborts the test with the core's message.

#include <Eigen/Dense>
#include <random>
#include <span>
#include <stdexcept>
#include <vector>

#include "robot.hpp"

namespace vormek::test {

using Eigen::MatrixXd;
using Eigen::VectorXd;
using Loads = std::vector<Load>;

inline std::span<const double> view(const VectorXd& v) { return {v.data(), static_cast<std::size_t>(v.size())}; }

template <class T>
T ok(Result<T> r) {
    if (!r) throw std::runtime_error("unexpected error: " + r.error().message());
    if constexpr (!std::is_void_v<T>) return *r;
}

inline VectorXd random_vector(std::mt19937_64& rng, std::size_t n, double scale = 1.0) {
    std::uniform_real_distribution<double> d(-scale, scale);
    VectorXd v(n);
    for (auto& x : v) x = d(rng);
    return v;
}

inline Quaterniond random_rotation(std::mt19937_64& rng) {
    return Quaterniond(Eigen::Vector4d(random_vector(rng, 4))).normalized();
}

inline BaseState random_base(std::mt19937_64& rng) {
    const VectorXd r = random_vector(rng, 15, 2.0);
    return ok(BaseState::make(Pose{random_rotation(rng), r.head<3>()}, Twist{r.segment<3>(3), r.segment<3>(6)},
                              Twist{r.segment<3>(9), r.segment<3>(12)}));
}

// The same state with another frame, velocity or acceleration.
inline BaseState with_frame(const BaseState& b, const Pose& f) { return ok(BaseState::make(f, b.velocity(), b.acceleration())); }
inline BaseState with_velocity(const BaseState& b, const Twist& v) { return ok(BaseState::make(b.frame(), v, b.acceleration())); }
inline BaseState with_acceleration(const BaseState& b, const Twist& a) { return ok(BaseState::make(b.frame(), b.velocity(), a)); }

// Fixed base: n entries; floating: n + 6, base first.
struct Dyn {
    Robot* fixed = nullptr;
    FloatingRobot* floating = nullptr;
    BaseState base = ok(BaseState::make(Pose{}, Twist{}, Twist{}));

    std::size_t size() const {
        const Model& m = fixed ? fixed->model() : floating->model();
        return m.dof_count() + (floating ? 6 : 0);
    }
    VectorXd id(const VectorXd& q, const VectorXd& qd, const VectorXd& qdd, const Loads& loads = {}) {
        VectorXd out(size());
        ok(fixed ? fixed->inverse_dynamics(view(q), view(qd), view(qdd), loads, {out.data(), size()})
                 : floating->inverse_dynamics(base, view(q), view(qd), view(qdd), loads, {out.data(), size()}));
        return out;
    }
    VectorXd gravity(const VectorXd& q, const Loads& loads = {}) {
        VectorXd out(size());
        ok(fixed ? fixed->gravity(view(q), loads, {out.data(), size()})
                 : floating->gravity(base, view(q), loads, {out.data(), size()}));
        return out;
    }
    VectorXd vpf(const VectorXd& q, const VectorXd& qd) {
        VectorXd out(size());
        ok(fixed ? fixed->velocity_product_forces(view(q), view(qd), {out.data(), size()})
                 : floating->velocity_product_forces(base, view(q), view(qd), {out.data(), size()}));
        return out;
    }
    // Row-major storage read into a column-major matrix gives Mᵀ; the tests compare both halves.
    MatrixXd mass(const VectorXd& q) {
        MatrixXd out(size(), size());
        ok(fixed ? fixed->mass_matrix(view(q), {out.data(), size() * size()})
                 : floating->mass_matrix(base, view(q), {out.data(), size() * size()}));
        return out.transpose();
    }
    VectorXd fd(const VectorXd& q, const VectorXd& qd, const VectorXd& forces, const Loads& loads = {}) {
        VectorXd out(size());
        ok(fixed ? fixed->forward_dynamics(view(q), view(qd), view(forces), loads, {out.data(), size()})
                 : floating->forward_dynamics(base, view(q), view(qd), view(forces), loads, {out.data(), size()}));
        return out;
    }
};

}  // namespace vormek::test
