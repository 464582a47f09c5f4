#pragma once
// A small generator whose stream depends on its seed alone, on every platform and standard
// library (std::uniform_real_distribution does not promise that): splitmix64, 53-bit uniforms.

#include <algorithm>
#include <cstdint>

namespace vormek {

class SeededDraws {
public:
    explicit SeededDraws(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    // Uniform in [lower, upper]; the rounding of lower + u·(upper − lower) may reach upper, never
    // pass it.
    double uniform(double lower, double upper) {
        const double u = static_cast<double>(next() >> 11) * 0x1p-53;
        return std::min(upper, lower + u * (upper - lower));
    }

private:
    std::uint64_t state_;
};

}  // namespace vormek
