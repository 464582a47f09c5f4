// The core's own cost of one inverse_dynamics, mass_matrix and forward_dynamics call on a URDF,
// of each derivative call and of each centre-of-mass, momentum and energy call,
// with no Python around it: the figure a batch's per-state cost is held against. The states
// are drawn like bench_batch.py's (q uniform in [-1, 1], the rest standard normal) and cycled
// through 1,024 of them, as a batch walks through its rows.
//
//   bench_core_calls ROBOT.urdf   -> one line per method: name, CPU ns per call (median, best)

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

#include "robot.hpp"

namespace {

using namespace vormek;

// This thread's CPU time: the machine is shared, and time spent descheduled is not ours.
double cpu_ns() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return 1e9 * static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec);
}

struct Timing {
    double median, best;
};

// Median and minimum over `repeats` runs of the mean CPU time per call of `calls` calls, in
// nanoseconds; on a shared machine the minimum is the run least disturbed by others.
template <class F>
Timing time_ns(F&& f, int calls, int repeats = 15) {
    std::vector<double> samples;
    for (int r = 0; r < repeats; ++r) {
        const double t0 = cpu_ns();
        for (int i = 0; i < calls; ++i) f(static_cast<std::size_t>(i) % 1024);
        samples.push_back((cpu_ns() - t0) / calls);
    }
    std::ranges::sort(samples);
    return {samples[samples.size() / 2], samples.front()};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_core_calls ROBOT.urdf\n");
        return 2;
    }
    auto model = load_model(argv[1]);
    if (!model) {
        std::fprintf(stderr, "%s\n", model.error().message().c_str());
        return 1;
    }
    Robot robot(*model);
    const std::size_t n = robot.model().dof_count();
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::normal_distribution<double> normal;
    std::vector<double> q(1024 * n), qd(1024 * n), qdd(1024 * n), out(std::max(n * n, 6 * n + 6));
    for (std::size_t i = 0; i < q.size(); ++i) q[i] = uniform(rng), qd[i] = normal(rng), qdd[i] = normal(rng);
    const auto row = [n](const std::vector<double>& v, std::size_t i) { return std::span(v).subspan(i * n, n); };
    const std::span<double> vector_out = std::span(out).first(n);
    volatile double sink = 0;
    const int calls = std::max(2000, static_cast<int>(400000 / (n * n)));

    const Timing id = time_ns([&](std::size_t i) {
        sink = sink + (robot.inverse_dynamics(row(q, i), row(qd, i), row(qdd, i), {}, vector_out) ? out[0] : 0);
    }, calls);
    const Timing mm = time_ns([&](std::size_t i) {
        sink = sink + (robot.mass_matrix(row(q, i), std::span(out).first(n * n)) ? out[0] : 0);
    }, calls);
    const Timing fd = time_ns([&](std::size_t i) {
        sink = sink + (robot.forward_dynamics(row(q, i), row(qd, i), row(qdd, i), {}, vector_out) ? out[0] : 0);
    }, calls);
    std::printf("inverse_dynamics %.1f %.1f\nmass_matrix %.1f %.1f\nforward_dynamics %.1f %.1f\n", id.median, id.best,
                mm.median, mm.best, fd.median, fd.best);
    const auto report = [&](const char* name, auto call) {
        const Timing t = time_ns([&](std::size_t i) { sink = sink + (call(i) ? out[0] : 0); }, calls);
        std::printf("%s %.1f %.1f\n", name, t.median, t.best);
    };
    const auto value = [&](auto result) { return result ? (out[0] = *result, true) : false; };
    const auto linear = [&](auto result) { return result ? (out[0] = result->linear[0], true) : false; };
    std::vector<double> dq(n * n), dv(n * n);
    report("inverse_dynamics_derivatives", [&](std::size_t i) {
        return robot.inverse_dynamics_derivatives(row(q, i), row(qd, i), row(qdd, i), {}, dq, dv, vector_out);
    });
    report("forward_dynamics_derivatives", [&](std::size_t i) {
        return robot.forward_dynamics_derivatives(row(q, i), row(qd, i), row(qdd, i), {}, dq, dv,
                                                  std::span(out).first(n * n));
    });
    report("mass_matrix_inverse",
           [&](std::size_t i) { return robot.mass_matrix_inverse(row(q, i), std::span(out).first(n * n)); });
    report("center_of_mass", [&](std::size_t i) { return robot.center_of_mass(row(q, i), std::span(out).first(3)); });
    report("center_of_mass_velocity", [&](std::size_t i) {
        return robot.center_of_mass_velocity(row(q, i), row(qd, i), std::span(out).first(3));
    });
    report("center_of_mass_jacobian",
           [&](std::size_t i) { return robot.center_of_mass_jacobian(row(q, i), std::span(out).first(3 * n)); });
    report("momentum", [&](std::size_t i) { return linear(robot.momentum(row(q, i), row(qd, i))); });
    report("centroidal_momentum_matrix",
           [&](std::size_t i) { return robot.centroidal_momentum_matrix(row(q, i), std::span(out).first(6 * n)); });
    // the kinematics towards the link with the most moving joints above it (the last of equals)
    const Model& tree = robot.model();
    std::size_t deepest = 0, depth = 0;
    for (std::size_t l = 0; l < tree.link_count(); ++l) {
        std::size_t d = 0;
        for (std::size_t b = tree.link_bodies[l]; b != 0; b = tree.body_parents[b - 1]) ++d;
        if (d >= depth) deepest = l, depth = d;
    }
    const LinkId tip = *tree.link(deepest);
    std::vector<double> poses(7 * tree.link_count());
    const auto translation = [&](auto result) { return result ? (out[0] = result->translation[0], true) : false; };
    report("forward_kinematics", [&](std::size_t i) { return translation(robot.forward_kinematics(row(q, i), tip)); });
    report("link_poses", [&](std::size_t i) { return robot.link_poses(row(q, i), poses); });
    report("jacobian", [&](std::size_t i) { return robot.jacobian(row(q, i), tip, std::span(out).first(6 * n)); });
    report("jacobian_derivative", [&](std::size_t i) {
        return robot.jacobian_derivative(row(q, i), row(qd, i), tip, std::span(out).first(6 * n));
    });
    report("forward_acceleration_kinematics", [&](std::size_t i) {
        return linear(robot.forward_acceleration_kinematics(row(q, i), row(qd, i), row(qdd, i), tip));
    });
    report("kinetic_energy", [&](std::size_t i) { return value(robot.kinetic_energy(row(q, i), row(qd, i))); });
    report("potential_energy", [&](std::size_t i) { return value(robot.potential_energy(row(q, i))); });
    return 0;
}
