#pragma once
// Seeded random URDF trees for identity tests: every joint kind, random origins, axes and
// inertias (with a rotated inertial frame and an offset centre of mass), branching at random.

#include <cmath>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>

namespace vormek::test {

struct RandomTreeOptions {
    int links = 12;           // including the root
    bool root_mass = true;    // a floating base needs a massive root
    bool chain = false;       // every link hangs from the previous one
    bool with_fixed = true;   // allow fixed joints
};

inline std::string random_tree_urdf(std::uint64_t seed, RandomTreeOptions opt = {}) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> unit(-1.0, 1.0), pos(0.1, 1.0);
    std::ostringstream out;
    out.precision(17);
    auto triple = [&](double scale) {
        std::ostringstream s;
        s.precision(17);
        s << scale * unit(rng) << ' ' << scale * unit(rng) << ' ' << scale * unit(rng);
        return s.str();
    };
    auto inertial = [&]() {
        // Principal moments that satisfy the triangle inequality strictly.
        const double a = pos(rng), b = pos(rng);
        const double c = std::abs(a - b) + (a + b - std::abs(a - b)) * (0.1 + 0.8 * (0.5 + 0.5 * unit(rng)));
        std::ostringstream s;
        s.precision(17);
        s << "<inertial><origin xyz=\"" << triple(0.3) << "\" rpy=\"" << triple(3.0) << "\"/><mass value=\""
          << pos(rng) * 3.0 << "\"/><inertia ixx=\"" << a << "\" ixy=\"0\" ixz=\"0\" iyy=\"" << b
          << "\" iyz=\"0\" izz=\"" << c << "\"/></inertial>";
        return s.str();
    };
    out << "<robot name=\"random" << seed << "\">";
    out << "<link name=\"l0\">" << (opt.root_mass ? inertial() : "") << "</link>";
    static const char* kinds[] = {"revolute", "continuous", "prismatic", "fixed"};
    for (int i = 1; i < opt.links; ++i) {
        const int parent = opt.chain ? i - 1 : std::uniform_int_distribution<int>(0, i - 1)(rng);
        const char* kind = kinds[std::uniform_int_distribution<int>(0, opt.with_fixed ? 3 : 2)(rng)];
        out << "<link name=\"l" << i << "\">" << inertial() << "</link>";
        out << "<joint name=\"j" << i << "\" type=\"" << kind << "\"><parent link=\"l" << parent
            << "\"/><child link=\"l" << i << "\"/><origin xyz=\"" << triple(0.5) << "\" rpy=\"" << triple(3.0)
            << "\"/><axis xyz=\"" << triple(1.0) << "\"/>"
            << "<limit lower=\"-3\" upper=\"3\" effort=\"10\" velocity=\"10\"/></joint>";
    }
    out << "</robot>";
    return out.str();
}

}  // namespace vormek::test
