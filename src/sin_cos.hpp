#pragma once
// sin x and cos x from one argument reduction, for the joint angles of a chain walk. libm's
// sincos restores the rounding mode and takes a general path on every call, which made it a
// third of a Jacobian; this is the classic fdlibm scheme (Cody–Waite reduction by π/2, the
// k_sin/k_cos minimax polynomials on [−π/4, π/4]), within an ulp of libm. Arguments beyond
// the reduction's exact range, infinities and NaN go to libm.

#include <cmath>
#include <cstddef>
#include <span>

namespace vormek {

struct SinCos {
    double sin;
    double cos;
};

inline SinCos sin_cos(double x) {
    // n·P1 and n·P2 are exact while n < 2^20 (P1, P2 hold 33 bits each)
    constexpr double limit = 0x1p19;
    if (!(std::abs(x) <= limit)) return {std::sin(x), std::cos(x)};

    constexpr double two_over_pi = 0x1.45f306dc9c883p-1;
    constexpr double P1 = 0x1.921fb54400000p0, P2 = 0x1.0b4611a600000p-34, P3 = 0x1.3198a2e037073p-69;
    // round to nearest by the 1.5·2^52 shift: no libm call, exact for |n| < 2^51
    constexpr double shift = 0x1.8p52;
    const double n = (x * two_over_pi + shift) - shift;
    const double r = ((x - n * P1) - n * P2) - n * P3;  // x − n·π/2, |r| ≤ π/4 (plus rounding)

    const double z = r * r;
    const double s = r + r * z *
                             (-0x1.5555555555549p-3 +
                              z * (0x1.111111110f8a6p-7 +
                                   z * (-0x1.a01a019c161d5p-13 +
                                        z * (0x1.71de357b1fe7dp-19 + z * (-0x1.ae5e68a2b9cebp-26 + z * 0x1.5d93a5acfd57cp-33)))));
    // 1 − z/2 + z²·p(z), with the rounding of 1 − z/2 carried separately as in k_cos
    const double p = z * (0x1.555555555554cp-5 +
                          z * (-0x1.6c16c16c15177p-10 +
                               z * (0x1.a01a019cb1590p-16 +
                                    z * (-0x1.27e4f809c52adp-22 + z * (0x1.1ee9ebdb4b1c4p-29 - z * 0x1.8fae9be8838d4p-37)))));
    const double hz = 0.5 * z, w = 1.0 - hz;
    const double c = w + (((1.0 - w) - hz) + z * p);

    // the quadrant of x: sin and cos rotate by n quarter turns
    switch (static_cast<long long>(n) & 3) {
        case 0: return {s, c};
        case 1: return {c, -s};
        case 2: return {-s, -c};
        default: return {-c, s};
    }
}

// sin and cos of the angles a recursion meets one after another, angle(0), angle(1), …,
// evaluated a block at a time: the evaluations of a block do not depend on one another and
// overlap, where one evaluation inside each step of the recursion would hold that step up by
// its full latency.
template <class Angle>
class SinCosBlocks {
public:
    SinCosBlocks(std::size_t count, Angle angle) : count_(count), angle_(angle) {}

    // The m-th angle's; m must count up from 0 by one.
    SinCos operator[](std::size_t m) {
        const std::size_t i = m % block;
        if (i == 0)
            for (std::size_t j = 0; j < block && m + j < count_; ++j) values_[j] = sin_cos(angle_(m + j));
        return values_[i];
    }

private:
    static constexpr std::size_t block = 8;
    std::size_t count_;
    Angle angle_;
    SinCos values_[block];
};

// The same for q[0], q[1], … in order.
inline auto sin_cos_blocks(std::span<const double> q) {
    return SinCosBlocks(q.size(), [q](std::size_t k) { return q[k]; });
}

}  // namespace vormek
