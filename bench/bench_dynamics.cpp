// The dynamics core beside Pinocchio's C++ core, both compiled here with the same flags: inverse
// dynamics vs rnea, mass matrix vs crba, forward dynamics vs aba, gravity vs
// computeGeneralizedGravity, and the derivatives: inverse_dynamics_derivatives vs
// computeRNEADerivatives, forward_dynamics_derivatives vs computeABADerivatives and
// mass_matrix_inverse vs computeMinverse (with the multiple of our own inverse dynamics that the
// first costs), on Panda, Solo12 and Talos from example-robot-data, fixed and free base; then the
// time per DOF of inverse and forward dynamics on chains of 8 to 512 links.
// Times are this thread's CPU time, median of 15 runs, per call (for the chains, the least of
// five such medians); ratios are ours / Pinocchio's.
//
//   bench_dynamics [robots directory]

#include <pinocchio/algorithm/aba-derivatives.hpp>
#include <pinocchio/algorithm/aba.hpp>
#include <pinocchio/algorithm/crba.hpp>
#include <pinocchio/algorithm/joint-configuration.hpp>
#include <pinocchio/algorithm/rnea-derivatives.hpp>
#include <pinocchio/algorithm/rnea.hpp>
#include <pinocchio/parsers/urdf.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "robot.hpp"
#include "robot/dynamics/fused.hpp"

namespace {

using namespace vormek;

double cpu_ns() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return 1e9 * static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec);
}

// Median over 15 runs of the mean CPU time per call, in nanoseconds; a run lasts about 20 ms.
template <class F>
double median_ns(F&& f) {
    int calls = 1;
    for (double t0 = cpu_ns(); cpu_ns() - t0 < 2e7; calls *= 2)
        for (int i = 0; i < calls; ++i) f();
    std::vector<double> samples;
    for (int r = 0; r < 15; ++r) {
        const double t0 = cpu_ns();
        for (int i = 0; i < calls; ++i) f();
        samples.push_back((cpu_ns() - t0) / calls);
    }
    std::ranges::sort(samples);
    return samples[samples.size() / 2];
}

std::vector<double> random_values(std::mt19937_64& rng, std::size_t n) {
    std::uniform_real_distribution<double> d(-1.0, 1.0);
    std::vector<double> v(n);
    for (double& x : v) x = d(rng);
    return v;
}

// A Pinocchio configuration with the same kind of values: angles in [−1, 1], (cos, sin) for
// continuous joints, a random unit quaternion for the free flyer.
Eigen::VectorXd pinocchio_q(const pinocchio::Model& m, std::mt19937_64& rng) {
    Eigen::VectorXd q = pinocchio::neutral(m);
    std::uniform_real_distribution<double> d(-1.0, 1.0);
    for (std::size_t j = 1; j < m.joints.size(); ++j) {
        const int iq = m.joints[j].idx_q(), nq = m.joints[j].nq();
        if (nq == 1) q[iq] = d(rng);
        if (nq == 2) {
            const double a = d(rng);
            q[iq] = std::cos(a), q[iq + 1] = std::sin(a);
        }
        if (nq == 7) {
            Eigen::Vector4d r(d(rng), d(rng), d(rng), d(rng));
            q.segment<3>(iq) << d(rng), d(rng), d(rng);
            q.segment<4>(iq + 3) = r.normalized();
        }
    }
    return q;
}

struct Row {
    double ours, theirs;
};

void print(const char* robot, const char* base, const char* op, Row r) {
    std::printf("%-8s %-9s %-11s %9.0f %9.0f %7.2f\n", robot, base, op, r.ours, r.theirs, r.ours / r.theirs);
}

void compare(const std::string& dir, const char* name, const char* file) {
    const std::string path = dir + "/" + file;
    auto model = load_model(path);
    if (!model) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), model.error().message().c_str());
        std::exit(1);
    }
    std::mt19937_64 rng(42);
    const std::size_t n = (*model)->dof_count();
    const std::vector<double> q = random_values(rng, n), qd = random_values(rng, n), qdd = random_values(rng, n);
    const std::vector<double> forces6 = random_values(rng, n + 6);
    const std::vector<double> forces(forces6.begin(), forces6.begin() + n);
    std::vector<double> out(n + 6), mass((n + 6) * (n + 6)), dq(mass.size()), dv(mass.size());

    for (const bool floating : {false, true}) {
        pinocchio::Model pm;
        if (floating)
            pinocchio::urdf::buildModel(path, pinocchio::JointModelFreeFlyer(), pm);
        else
            pinocchio::urdf::buildModel(path, pm);
        pinocchio::Data pd(pm);
        const Eigen::VectorXd pq = pinocchio_q(pm, rng);
        const Eigen::VectorXd pv = Eigen::VectorXd::Random(pm.nv), pa = Eigen::VectorXd::Random(pm.nv),
                              ptau = Eigen::VectorXd::Random(pm.nv);
        const char* base = floating ? "floating" : "fixed";
        std::printf("%-8s %-9s (%zu DOF)\n", name, base, n);

        const std::size_t N = n + (floating ? 6 : 0);
        std::span<double> o(out.data(), N), M(mass.data(), N * N);
        const std::span<const double> f = floating ? std::span<const double>(forces6) : std::span<const double>(forces);
        Robot fixed(*model);
        auto fb = FloatingRobot::make(*model);
        if (!fb) {
            std::fprintf(stderr, "%s\n", fb.error().message().c_str());
            std::exit(1);
        }
        FloatingRobot& fr = *fb;
        const BaseState bs = *BaseState::make(
            Pose{Quaterniond(0.3, -0.2, 0.5, 0.8).normalized(), Vector3d(0.1, 0.2, 0.3)},
            Twist{Vector3d(0.1, -0.2, 0.3), Vector3d(0.4, 0.5, -0.6)}, Twist{Vector3d(0.2, 0.1, 0.0), Vector3d(-0.1, 0.3, 0.2)});
        auto ok = [](const Result<void>& r) {
            if (!r) {
                std::fprintf(stderr, "%s\n", r.error().message().c_str());
                std::exit(1);
            }
        };
        ok(floating ? fr.inverse_dynamics(bs, q, qd, qdd, {}, o) : fixed.inverse_dynamics(q, qd, qdd, {}, o));
        ok(floating ? fr.forward_dynamics(bs, q, qd, f, {}, o) : fixed.forward_dynamics(q, qd, f, {}, o));

        print(name, base, "ID/rnea",
              {median_ns([&] { (void)(floating ? fr.inverse_dynamics(bs, q, qd, qdd, {}, o) : fixed.inverse_dynamics(q, qd, qdd, {}, o)); }),
               median_ns([&] { pinocchio::rnea(pm, pd, pq, pv, pa); })});
        print(name, base, "M/crba",
              {median_ns([&] { (void)(floating ? fr.mass_matrix(bs, q, M) : fixed.mass_matrix(q, M)); }),
               median_ns([&] { pinocchio::crba(pm, pd, pq); })});
        print(name, base, "FD/aba",
              {median_ns([&] { (void)(floating ? fr.forward_dynamics(bs, q, qd, f, {}, o) : fixed.forward_dynamics(q, qd, f, {}, o)); }),
               median_ns([&] { pinocchio::aba(pm, pd, pq, pv, ptau); })});
        print(name, base, "gravity",
              {median_ns([&] { (void)(floating ? fr.gravity(bs, q, {}, o) : fixed.gravity(q, {}, o)); }),
               median_ns([&] { pinocchio::computeGeneralizedGravity(pm, pd, pq); })});
        // the derivatives; Pinocchio's forward-dynamics derivatives leave M⁻¹ in its data too
        const std::span<double> Dq(dq.data(), N * N), Dv(dv.data(), N * N);
        const auto our_idd = [&] {
            (void)(floating ? fr.inverse_dynamics_derivatives(bs, q, qd, qdd, {}, Dq, Dv, o)
                            : fixed.inverse_dynamics_derivatives(q, qd, qdd, {}, Dq, Dv, o));
        };
        const auto our_fdd = [&] {
            (void)(floating ? fr.forward_dynamics_derivatives(bs, q, qd, f, {}, Dq, Dv, M)
                            : fixed.forward_dynamics_derivatives(q, qd, f, {}, Dq, Dv, M));
        };
        const auto our_minv = [&] { (void)(floating ? fr.mass_matrix_inverse(bs, q, M) : fixed.mass_matrix_inverse(q, M)); };
        const auto derivative_rows = [&](const char* idd_op, const char* fdd_op, const char* minv_op) {
            const Row idd{median_ns(our_idd), median_ns([&] { pinocchio::computeRNEADerivatives(pm, pd, pq, pv, pa); })};
            print(name, base, idd_op, idd);
            print(name, base, fdd_op,
                  {median_ns(our_fdd), median_ns([&] { pinocchio::computeABADerivatives(pm, pd, pq, pv, ptau); })});
            print(name, base, minv_op, {median_ns(our_minv), median_ns([&] { pinocchio::computeMinverse(pm, pd, pq); })});
            return idd.ours;
        };
        // the last row's second column is our own inverse dynamics, not Pinocchio's
        const double idd_ns = derivative_rows("ID'/rneaD", "FD'/abaD", "Minv");
        print(name, base, "ID'/our ID",
              {idd_ns, median_ns([&] {
                   (void)(floating ? fr.inverse_dynamics(bs, q, qd, qdd, {}, o) : fixed.inverse_dynamics(q, qd, qdd, {}, o));
               })});
        if (fused_kernels()) {
            // the rows above ran the AVX2 and FMA builds; Pinocchio here is compiled without
            // them, as are the portable builds of the same kernels
            hold_back_fused_kernels(true);
            print(name, base, "ID portable",
                  {median_ns([&] { (void)(floating ? fr.inverse_dynamics(bs, q, qd, qdd, {}, o) : fixed.inverse_dynamics(q, qd, qdd, {}, o)); }),
                   median_ns([&] { pinocchio::rnea(pm, pd, pq, pv, pa); })});
            print(name, base, "M portable",
                  {median_ns([&] { (void)(floating ? fr.mass_matrix(bs, q, M) : fixed.mass_matrix(q, M)); }),
                   median_ns([&] { pinocchio::crba(pm, pd, pq); })});
            print(name, base, "g portable",
                  {median_ns([&] { (void)(floating ? fr.gravity(bs, q, {}, o) : fixed.gravity(q, {}, o)); }),
                   median_ns([&] { pinocchio::computeGeneralizedGravity(pm, pd, pq); })});
            derivative_rows("ID' portab", "FD' portab", "Minv portab");
            hold_back_fused_kernels(false);
        }
    }
}

// A chain of revolute joints with turned axes and offset inertias.
std::string chain(int links) {
    std::mt19937_64 rng(links);
    std::uniform_real_distribution<double> d(-1.0, 1.0);
    std::string s = "<robot name=\"chain\"><link name=\"l0\"/>";
    char buf[600];
    for (int i = 1; i < links; ++i) {
        std::snprintf(buf, sizeof buf,
                      "<link name=\"l%d\"><inertial><origin xyz=\"%g %g %g\"/><mass value=\"1\"/><inertia ixx=\"0.1\" "
                      "ixy=\"0\" ixz=\"0\" iyy=\"0.2\" iyz=\"0\" izz=\"0.25\"/></inertial></link><joint name=\"j%d\" "
                      "type=\"revolute\"><parent link=\"l%d\"/><child link=\"l%d\"/><origin xyz=\"0 0 0.1\" rpy=\"%g %g "
                      "%g\"/><axis xyz=\"%g %g %g\"/></joint>",
                      i, 0.1 * d(rng), 0.1 * d(rng), 0.1 * d(rng), i, i - 1, i, d(rng), d(rng), d(rng), d(rng), d(rng),
                      1.5 + d(rng));
        s += buf;
    }
    return s + "</robot>";
}

// The sizes go round in turn, five times, and each keeps its least median: a shared machine
// slows down for a second or more at a time, and a size measured in one such spell would
// show a growth that is not the kernels'.
void growth() {
    struct Chain {
        int links;
        std::shared_ptr<const Model> model;
        std::vector<double> q, qd, qdd, out, mass;
        double id = INFINITY, fd = INFINITY, mm = INFINITY;
    };
    std::vector<Chain> chains;
    for (const int links : {9, 33, 129, 513}) {
        auto model = load_model_from_string(chain(links));
        if (!model) std::exit(1);
        const std::size_t n = (*model)->dof_count();
        std::mt19937_64 rng(1);
        chains.push_back({links, *model, random_values(rng, n), random_values(rng, n), random_values(rng, n),
                          std::vector<double>(n), std::vector<double>(n * n)});
    }
    for (int round = 0; round < 5; ++round)
        for (Chain& c : chains) {
            Robot r(c.model);
            c.id = std::min(c.id, median_ns([&] { (void)r.inverse_dynamics(c.q, c.qd, c.qdd, {}, c.out); }));
            c.fd = std::min(c.fd, median_ns([&] { (void)r.forward_dynamics(c.q, c.qd, c.qdd, {}, c.out); }));
            c.mm = std::min(c.mm, median_ns([&] { (void)r.mass_matrix(c.q, c.mass); }));
        }
    std::printf("\nchain    DOF    ID ns/DOF  FD ns/DOF  M ns/DOF\n");
    for (const Chain& c : chains) {
        const double n = static_cast<double>(c.q.size());
        std::printf("%-8d %-6zu %9.1f  %9.1f  %8.1f\n", c.links - 1, c.q.size(), c.id / n, c.fd / n, c.mm / n);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : VORMEK_ROBOTS_DIR;
    std::printf("%-8s %-9s %-11s %9s %9s %7s\n", "robot", "base", "op", "ours ns", "pin ns", "ratio");
    compare(dir, "panda", "panda_description/urdf/panda.urdf");
    compare(dir, "solo12", "solo_description/robots/solo12.urdf");
    compare(dir, "talos", "talos_data/robots/talos_reduced.urdf");
    growth();
}
