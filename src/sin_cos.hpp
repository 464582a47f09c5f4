#pragma once
// sin x and cos x from one argument reduction, for the joint angles of a chain walk. libm's
// sincos restores the rounding mode and takes a general path on every call, which made it a
// third of a Jacobian; this is the classic fdlibm scheme (Cody–Waite reduction by π/2, the
// k_sin/k_cos minimax polynomials on [−π/4, π/4]), within an ulp of libm. Arguments beyond
// the reduction's exact range, infinities and NaN go to libm.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vormek {

struct SinCos {
    double sin;
    double cos;
};

namespace sin_cos_detail {

// n·P1 and n·P2 are exact while n < 2^20 (P1, P2 hold 33 bits each)
constexpr double limit = 0x1p19;

// The constants of the evaluation, as doubles or as vectors of equal lanes.
template <class T>
struct Constants {
    T two_over_pi, shift, P1, P2, P3;
    T S1, S2, S3, S4, S5, S6;  // k_sin
    T C1, C2, C3, C4, C5, C6;  // k_cos
    T half, one;
};

inline constexpr Constants<double> constants{
    .two_over_pi = 0x1.45f306dc9c883p-1,
    // round to nearest by the 1.5·2^52 shift: no libm call, exact for |n| < 2^51, and the low
    // bits of the shifted value's mantissa are n's own, two's complement
    .shift = 0x1.8p52,
    .P1 = 0x1.921fb54400000p0,
    .P2 = 0x1.0b4611a600000p-34,
    .P3 = 0x1.3198a2e037073p-69,
    .S1 = -0x1.5555555555549p-3,
    .S2 = 0x1.111111110f8a6p-7,
    .S3 = -0x1.a01a019c161d5p-13,
    .S4 = 0x1.71de357b1fe7dp-19,
    .S5 = -0x1.ae5e68a2b9cebp-26,
    .S6 = 0x1.5d93a5acfd57cp-33,
    .C1 = 0x1.555555555554cp-5,
    .C2 = -0x1.6c16c16c15177p-10,
    .C3 = 0x1.a01a019cb1590p-16,
    .C4 = -0x1.27e4f809c52adp-22,
    .C5 = 0x1.1ee9ebdb4b1c4p-29,
    .C6 = -0x1.8fae9be8838d4p-37,
    .half = 0.5,
    .one = 1.0,
};

// The reduction and both polynomials, for one double or for a vector of them lane by lane: each
// lane does the scalar operations in the scalar order, so both give the same bits. Returns
// x·2/π + shift, which holds the quadrant n; s and c are sin r and cos r of r = x − n·π/2.
template <class T>
inline T reduce(T x, const Constants<T>& k, T& s, T& c) {
    const T shifted = x * k.two_over_pi + k.shift;
    const T n = shifted - k.shift;
    const T r = ((x - n * k.P1) - n * k.P2) - n * k.P3;  // |r| ≤ π/4 (plus rounding)

    const T z = r * r;
    s = r + r * z * (k.S1 + z * (k.S2 + z * (k.S3 + z * (k.S4 + z * (k.S5 + z * k.S6)))));
    // 1 − z/2 + z²·p(z), with the rounding of 1 − z/2 carried separately as in k_cos
    const T p = z * (k.C1 + z * (k.C2 + z * (k.C3 + z * (k.C4 + z * (k.C5 + z * k.C6)))));
    const T hz = k.half * z, w = k.one - hz;
    c = w + (((k.one - w) - hz) + z * p);
    return shifted;
}

}  // namespace sin_cos_detail

inline SinCos sin_cos(double x) {
    if (!(std::abs(x) <= sin_cos_detail::limit)) return {std::sin(x), std::cos(x)};
    double s, c;
    const double shifted = sin_cos_detail::reduce(x, sin_cos_detail::constants, s, c);
    // the quadrant of x: sin and cos rotate by n quarter turns
    switch (static_cast<long long>(shifted - sin_cos_detail::constants.shift) & 3) {
        case 0: return {s, c};
        case 1: return {c, -s};
        case 2: return {-s, -c};
        default: return {-c, s};
    }
}

// Two angles in the two lanes of one 16-byte register, which every x86-64 has: the evaluation
// is a long chain of dependent multiplications and additions, and two of them in one go cost
// little more than one.
using Lanes = double __attribute__((vector_size(16)));

struct SinCosLanes {
    Lanes sin;
    Lanes cos;
};

namespace sin_cos_detail {

inline constexpr Constants<Lanes> lane_constants = [] {
    const auto& d = constants;
    const auto l = [](double v) { return Lanes{v, v}; };
    return Constants<Lanes>{l(d.two_over_pi), l(d.shift), l(d.P1), l(d.P2), l(d.P3), l(d.S1), l(d.S2),
                            l(d.S3),          l(d.S4),    l(d.S5), l(d.S6), l(d.C1), l(d.C2), l(d.C3),
                            l(d.C4),          l(d.C5),    l(d.C6), l(d.half), l(d.one)};
}();

}  // namespace sin_cos_detail

// sin_cos of each lane, to the bit.
inline SinCosLanes sin_cos(Lanes x) {
    using Bits = std::int64_t __attribute__((vector_size(16)));
    constexpr std::int64_t sign = INT64_MIN;
    const Lanes magnitude = (Lanes)((Bits)x & ~sign);
    const Bits in_range = magnitude <= sin_cos_detail::limit;
    if (!(in_range[0] & in_range[1])) [[unlikely]] {
        const SinCos a = sin_cos(x[0]), b = sin_cos(x[1]);
        return {Lanes{a.sin, b.sin}, Lanes{a.cos, b.cos}};
    }
    // GCC builds a vector constant from one double and a shuffle; read through a pointer it
    // cannot see into, the constants are operands straight from memory
    const sin_cos_detail::Constants<Lanes>* k = &sin_cos_detail::lane_constants;
#if defined(__GNUC__) && !defined(__clang__)
    asm("" : "+r"(k));
#endif
    Lanes s, c;
    const Bits n = (Bits)sin_cos_detail::reduce(x, *k, s, c);
    // odd quadrants swap sin and cos (−(n & 1) is all ones there: SSE2 has no 64-bit compare);
    // sin changes sign in quadrants 2 and 3, cos in 1 and 2, and a sign flip is what unary minus
    // does, to the sign bit alone
    const Bits odd = -(n & 1), swapped = ((Bits)s ^ (Bits)c) & odd;
    const Bits sin_sign = (n & 2) << 62, cos_sign = ((n + 1) & 2) << 62;
    return {(Lanes)(((Bits)s ^ swapped) ^ sin_sign), (Lanes)(((Bits)c ^ swapped) ^ cos_sign)};
}

// sin and cos of the angles a recursion meets one after another, angle(0), angle(1), …,
// evaluated a block at a time, two to a register: the evaluations of a block do not depend on
// one another and overlap, where one evaluation inside each step of the recursion would hold
// that step up by its full latency.
template <class Angle>
class SinCosBlocks {
public:
    SinCosBlocks(std::size_t count, Angle angle) : count_(count), angle_(angle) {}

    // The m-th angle's; m must count up from 0 by one.
    SinCos operator[](std::size_t m) {
        const std::size_t i = m % block;
        if (i == 0)
            for (std::size_t j = 0; j < block && m + j < count_; j += 2) {
                // past the last angle the lane holds 0, evaluated and never read
                const SinCosLanes v = sin_cos(Lanes{angle_(m + j), m + j + 1 < count_ ? angle_(m + j + 1) : 0.0});
                __builtin_memcpy(&sin_[j], &v.sin, sizeof v.sin);
                __builtin_memcpy(&cos_[j], &v.cos, sizeof v.cos);
            }
        return {sin_[i], cos_[i]};
    }

private:
    static constexpr std::size_t block = 8;
    std::size_t count_;
    Angle angle_;
    alignas(16) double sin_[block];
    alignas(16) double cos_[block];
};

// The same for q[0], q[1], … in order.
inline auto sin_cos_blocks(std::span<const double> q) {
    return SinCosBlocks(q.size(), [q](std::size_t k) { return q[k]; });
}

}  // namespace vormek
