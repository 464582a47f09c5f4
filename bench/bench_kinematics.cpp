// Core cost of the Jacobian and of one inverse-kinematics iteration on a 7-DOF arm (the arm of
// bench_forward_kinematics.py). The goal of the solves is out of reach, so no solve stops early.
// An iteration is (t(200) − t(100))/100, t(N) the least mean CPU time of ten solves of N
// iterations over 400 rounds that alternate the two: the checks and copies of a call cancel,
// and the least time of each is the run least disturbed by the other work of a shared machine
// (a difference of medians swung by tens of percent). t(200)/200, beside it, bounds it from above.
//
//   bench_kinematics

#include <algorithm>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <string>
#include <vector>

#include "robot.hpp"

namespace {

using namespace vormek;

std::string seven_dof_arm() {
    const char* axes[] = {"0 0 1", "0 1 0", "0 0 1", "0 1 0", "0 0 1", "0 1 0", "0 0 1"};
    std::string links = R"(<link name="base"/>)", joints;
    for (int i = 1; i <= 7; ++i) {
        const std::string name = "link" + std::to_string(i), parent = i == 1 ? "base" : "link" + std::to_string(i - 1);
        links += "<link name=\"" + name + "\"/>";
        joints += "<joint name=\"joint" + std::to_string(i) + "\" type=\"revolute\"><parent link=\"" + parent +
                  "\"/><child link=\"" + name + "\"/><origin xyz=\"0 0 0.2\" rpy=\"0 0 0.1\"/><axis xyz=\"" +
                  axes[i - 1] + "\"/><limit lower=\"-2.9\" upper=\"2.9\" effort=\"80\" velocity=\"2\"/></joint>";
    }
    return "<robot name=\"arm7\">" + links + joints + "</robot>";
}

// This thread's CPU time: the machine is shared, and time spent descheduled is not ours.
double cpu_ns() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return 1e9 * static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec);
}

// Median over `repeats` runs of the mean CPU time per call of `calls` calls, in nanoseconds.
template <class F>
double median_ns(F&& f, int calls, int repeats = 15) {
    std::vector<double> samples;
    for (int r = 0; r < repeats; ++r) {
        const double t0 = cpu_ns();
        for (int i = 0; i < calls; ++i) f();
        samples.push_back((cpu_ns() - t0) / calls);
    }
    std::ranges::sort(samples);
    return samples[samples.size() / 2];
}

}  // namespace

int main() {
    auto model = load_model_from_string(seven_dof_arm());
    if (!model) {
        std::fprintf(stderr, "%s\n", model.error().message().c_str());
        return 1;
    }
    Robot robot(*model);
    const LinkId tip = *robot.model().link(7);
    const std::vector<double> q{-1.0, -0.6, -0.3, 0.1, 0.4, 0.7, 1.0};
    std::vector<double> J(42), out(7);
    volatile double sink = 0;

    const double t_fk = median_ns([&] { sink = sink + robot.forward_kinematics(q, tip)->translation.x(); }, 200000);
    const double t_jacobian = median_ns([&] { sink = sink + (robot.jacobian(q, tip, J) ? J[40] : 0); }, 200000);

    const std::vector<double> qd{0.5, 0.3, 0.2, 0.0, -0.2, -0.3, -0.5};
    const double t_derivative =
        median_ns([&] { sink = sink + (robot.jacobian_derivative(q, qd, tip, J) ? J[40] : 0); }, 200000);

    std::vector<double> poses(7 * robot.model().link_count());
    const double t_poses = median_ns([&] { sink = sink + (robot.link_poses(q, poses) ? poses[50] : 0); }, 200000);

    // out of reach, so that every solve runs its whole budget
    const Pose goal{Quaterniond::Identity(), Vector3d(3.0, 1.0, 0.5)};
    const auto solve = [&](std::uint64_t iterations) {
        const IkOptions options{.max_iterations = iterations};
        constexpr int calls = 10;
        const double t0 = cpu_ns();
        for (int i = 0; i < calls; ++i)
            sink = sink + (robot.inverse_kinematics(q, tip, goal, options, out) ? 1 : 0);
        return (cpu_ns() - t0) / calls;
    };
    double t100 = INFINITY, t200 = INFINITY;
    for (int round = 0; round < 400; ++round) {
        t100 = std::min(t100, solve(100));
        t200 = std::min(t200, solve(200));
    }
    const double t_iteration = (t200 - t100) / 100;

    std::printf("Robot::forward_kinematics, 7 DOF               : %7.1f ns\n", t_fk);
    std::printf("Robot::jacobian, 7 DOF                         : %7.1f ns\n", t_jacobian);
    std::printf("Robot::jacobian_derivative, 7 DOF              : %7.1f ns\n", t_derivative);
    std::printf("Robot::link_poses, 7 DOF, 8 links              : %7.1f ns\n", t_poses);
    std::printf("inverse kinematics, one iteration, 7 DOF       : %7.1f ns  (target 300 ns)\n", t_iteration);
    std::printf("inverse kinematics, solve of 200 iterations/200: %7.1f ns\n", t200 / 200);
    return 0;
}
