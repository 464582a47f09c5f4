// Times load_model on a generated random tree: reading, XML parsing, validation and layout.
// The headline figure is the 10,000-link file; 1,000 and 100,000 links show whether the cost
// stays linear in the size of the file.
//
//   bench_load_model              1k, 10k and 100k links
//   bench_load_model 10000 ...    only the given link counts

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "model/model.hpp"

namespace {

constexpr std::uint32_t seed = 20240611;

// A URDF shaped like an exported robot: every link has an inertial and geometry the loader must
// skip, and parents are drawn among earlier links, so the tree mixes long chains with wide fans.
std::string random_tree(std::size_t links) {
    std::mt19937_64 rng(seed + links);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_real_distribution<double> positive(0.1, 2.0);
    const char* types[] = {"revolute", "prismatic", "fixed", "continuous"};
    char buf[512];

    std::string out = "<?xml version=\"1.0\"?>\n<robot name=\"random_tree\">\n";
    out.reserve(links * 900);
    for (std::size_t i = 0; i < links; ++i) {
        // principal moments satisfying the triangle inequality, turned by the inertial origin
        const double a = positive(rng), b = positive(rng), c = std::min(a + b, positive(rng));
        std::snprintf(buf, sizeof buf,
                      "  <link name=\"link_%zu\">\n"
                      "    <inertial>\n"
                      "      <origin xyz=\"%.6f %.6f %.6f\" rpy=\"%.6f %.6f %.6f\"/>\n"
                      "      <mass value=\"%.6f\"/>\n"
                      "      <inertia ixx=\"%.6f\" ixy=\"0\" ixz=\"0\" iyy=\"%.6f\" iyz=\"0\" izz=\"%.6f\"/>\n"
                      "    </inertial>\n",
                      i, unit(rng), unit(rng), unit(rng), unit(rng), unit(rng), unit(rng), positive(rng), a, b, c);
        out += buf;
        std::snprintf(buf, sizeof buf,
                      "    <visual>\n"
                      "      <origin xyz=\"0 0 %.6f\"/>\n"
                      "      <geometry><mesh filename=\"package://random_tree/meshes/link_%zu.stl\"/></geometry>\n"
                      "      <material name=\"grey\"><color rgba=\"0.5 0.5 0.5 1\"/></material>\n"
                      "    </visual>\n"
                      "    <collision><geometry><cylinder radius=\"0.05\" length=\"%.6f\"/></geometry></collision>\n"
                      "  </link>\n",
                      unit(rng), i, positive(rng));
        out += buf;
    }
    for (std::size_t i = 1; i < links; ++i) {
        const std::size_t parent = std::uniform_int_distribution<std::size_t>(0, i - 1)(rng);
        const char* type = types[rng() % 4];
        std::snprintf(buf, sizeof buf,
                      "  <joint name=\"joint_%zu\" type=\"%s\">\n"
                      "    <parent link=\"link_%zu\"/>\n"
                      "    <child link=\"link_%zu\"/>\n"
                      "    <origin xyz=\"%.6f %.6f %.6f\" rpy=\"%.6f %.6f %.6f\"/>\n"
                      "    <axis xyz=\"%.6f %.6f %.6f\"/>\n"
                      "    <limit lower=\"-1.5\" upper=\"1.5\" effort=\"10\" velocity=\"2\"/>\n"
                      "    <dynamics damping=\"0.1\" friction=\"0.01\"/>\n"
                      "  </joint>\n",
                      i, type, parent, i, unit(rng), unit(rng), unit(rng), unit(rng), unit(rng), unit(rng),
                      unit(rng), unit(rng), 1.0 + unit(rng) * 0.5);
        out += buf;
    }
    out += "</robot>\n";
    return out;
}

struct TempFile {
    std::filesystem::path path;
    explicit TempFile(const std::string& text) {
        std::string pattern = (std::filesystem::temp_directory_path() / "bench_load_model_XXXXXX.urdf").string();
        const int fd = ::mkstemps(pattern.data(), 5);
        if (fd < 0) throw std::runtime_error("mkstemps failed");
        ::close(fd);
        path = pattern;
        std::ofstream(path, std::ios::binary) << text;
    }
    ~TempFile() { std::filesystem::remove(path); }
};

// Returns false when the generated file does not load as expected.
bool run(std::size_t links, int repetitions) {
    const TempFile file(random_tree(links));
    std::vector<double> ms;
    for (int r = 0; r < repetitions; ++r) {
        const auto start = std::chrono::steady_clock::now();
        const auto model = vormek::load_model(file.path);
        const auto stop = std::chrono::steady_clock::now();
        if (!model || (*model)->link_count() != links) {
            std::fprintf(stderr, "%zu links: %s\n", links,
                         model ? "wrong link count" : model.error().message().c_str());
            return false;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    std::ranges::sort(ms);
    const double median = ms[ms.size() / 2];
    const double size_mb = static_cast<double>(std::filesystem::file_size(file.path)) / 1e6;
    std::printf("%8zu links  %7.2f MB  median %9.3f ms  min %9.3f ms  %6.3f us/link  (%d runs)\n", links, size_mb,
                median, ms.front(), 1e3 * median / static_cast<double>(links), repetitions);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::size_t> sizes;
    for (int i = 1; i < argc; ++i) sizes.push_back(std::stoul(argv[i]));
    if (sizes.empty()) sizes = {1'000, 10'000, 100'000};
    std::printf("load_model on random trees (seed %u)\n", seed);
    bool ok = true;
    for (const std::size_t n : sizes) ok = run(n, n > 20'000 ? 7 : 21) && ok;
    return ok ? 0 : 1;
}
