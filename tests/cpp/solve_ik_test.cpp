#include <gtest/gtest.h>

#include <algorithm>

#include "motion.hpp"

namespace vormek {
namespace {

using test::RandomRobots;

// Every iterate the solver shows, held to the box and to the clamped start off the path.
struct Watch {
    const Model* model;
    std::vector<double> clamped_start;
    std::vector<bool> on_path;
    std::size_t iterates = 0, faults = 0;

    static void see(void* self, std::span<const double> q) {
        auto& w = *static_cast<Watch*>(self);
        ++w.iterates;
        for (std::size_t i = 0; i < q.size(); ++i) {
            const Joint& j = w.model->joints[w.model->dof_joints[i]];
            w.faults += !(q[i] >= j.lower && q[i] <= j.upper) || (!w.on_path[i] && q[i] != w.clamped_start[i]);
        }
    }
};

// On random trees with every joint kind and a random base: goals placed by configurations inside
// the limits, starts partly outside them. Every iterate stays inside, joints off the path keep
// their clamped start, forward kinematics confirms each solution, and a second solve repeats
// it bit for bit.
TEST(SolveIk, StaysInsideTheLimitsAndReachesWhatIsReachable) {
    std::size_t solved = 0, goals = 0;
    for (std::uint64_t seed = 1; seed <= 12; ++seed) {
        RandomRobots r(seed);
        const Model& m = *r.model;
        const std::size_t n = r.n();
        for (std::size_t trial = 0; trial < 4; ++trial, ++goals) {
            const LinkId tip = r.link(1 + r.rng() % (m.link_count() - 1));
            std::vector<double> truth = r.vector(n, 3.0), start = r.vector(n, 4.0), out(n), again(n);
            Watch watch{&m, start, std::vector<bool>(n, false)};
            for (std::size_t i = 0; i < n; ++i) {
                const Joint& j = m.joints[m.dof_joints[i]];
                watch.clamped_start[i] = std::clamp(start[i], j.lower, j.upper);
            }
            // body k + 1 is moved by DOF k
            for (std::size_t b = m.link_bodies[tip.index]; b != 0; b = m.body_parents[b - 1])
                watch.on_path[b - 1] = true;
            SolveIkOptions options;
            options.seed = seed * 10 + trial;
            if (trial == 3) options.tool = Pose{Quaterniond(0.5, 0.5, -0.5, 0.5), Vector3d(0.1, -0.2, 0.3)};
            const Pose desired = compose(*r.fixed.forward_kinematics(truth, tip), options.tool);
            const auto result = r.fixed.solve_ik(start, tip, desired, options, out, {&Watch::see, &watch});
            EXPECT_GT(watch.iterates, 0u);
            EXPECT_EQ(watch.faults, 0u) << "seed " << seed << " trial " << trial;
            if (!result) {
                ADD_FAILURE() << "seed " << seed << " trial " << trial << ": " << result.error().message();
                continue;
            }
            ++solved;
            const Pose reached = compose(*r.fixed.forward_kinematics(out, tip), options.tool);
            EXPECT_LE((reached.translation - desired.translation).norm(), 1.001e-6);
            EXPECT_LE(rotation_error(reached.rotation, desired.rotation).norm(), 1.001e-6);
            ASSERT_TRUE(r.fixed.solve_ik(start, tip, desired, options, again));
            EXPECT_EQ(out, again);
        }
    }
    EXPECT_EQ(solved, goals);
}

// A goal beyond reach: IkNoSolution after every restart, reporting the errors of the
// configuration it leaves in `out`, which is inside the limits.
TEST(SolveIk, UnreachableGoalFailsWithItsBestErrors) {
    RandomRobots r(3, {.links = 8, .chain = true, .with_fixed = false});
    const std::size_t n = r.n();
    const LinkId tip = r.link(7);
    const Pose desired{Quaterniond::Identity(), Vector3d(100, 0, 0)};
    SolveIkOptions options;
    options.restarts = 5;
    options.position_only = true;
    std::vector<double> out(n);
    const auto result = r.fixed.solve_ik(std::vector<double>(n, 0.0), tip, desired, options, out);
    ASSERT_FALSE(result);
    const auto* e = result.error().get<errors::IkNoSolution>();
    ASSERT_NE(e, nullptr) << result.error().message();
    EXPECT_EQ(e->restarts, 5u);
    const Pose reached = *r.fixed.forward_kinematics(out, tip);
    EXPECT_NEAR(e->translation_error, (reached.translation - desired.translation).norm(), 1e-9);
    EXPECT_GT(e->translation_error, 90.0);
    Watch inside{r.model.get(), out, std::vector<bool>(n, true)};
    Watch::see(&inside, out);
    EXPECT_EQ(inside.faults, 0u);
}

}  // namespace
}  // namespace vormek
