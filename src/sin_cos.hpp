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
#include <type_traits>

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
// lane does the scalar operations in the scalar order, so both give the same bits. shifted is
// x·2/π + shift, which holds the quadrant n; s and c are sin r and cos r of r = x − n·π/2.
template <class T>
[[gnu::always_inline]] inline void reduce(const T& x, const Constants<T>& k, T& shifted, T& s, T& c) {
    shifted = x * k.two_over_pi + k.shift;
    const T n = shifted - k.shift;
    const T r = ((x - n * k.P1) - n * k.P2) - n * k.P3;  // |r| ≤ π/4 (plus rounding)

    const T z = r * r;
    // the polynomials in Estrin's scheme, powers of z beside pairs of terms: half the chain of
    // dependent operations of Horner's, which every walk waits for before its first placement
    const T z2 = z * z, z4 = z2 * z2;
    s = r + r * z * ((k.S1 + z * k.S2) + z2 * (k.S3 + z * k.S4) + z4 * (k.S5 + z * k.S6));
    // 1 − z/2 + z²·p(z), with the rounding of 1 − z/2 carried separately as in k_cos
    const T p = z * ((k.C1 + z * k.C2) + z2 * (k.C3 + z * k.C4) + z4 * (k.C5 + z * k.C6));
    const T hz = k.half * z, w = k.one - hz;
    c = w + (((k.one - w) - hz) + z * p);
}

}  // namespace sin_cos_detail

inline SinCos sin_cos(double x) {
    if (!(std::abs(x) <= sin_cos_detail::limit)) return {std::sin(x), std::cos(x)};
    double shifted, s, c;
    sin_cos_detail::reduce(x, sin_cos_detail::constants, shifted, s, c);
    // the quadrant of x: sin and cos rotate by n quarter turns
    switch (static_cast<long long>(shifted - sin_cos_detail::constants.shift) & 3) {
        case 0: return {s, c};
        case 1: return {c, -s};
        case 2: return {-s, -c};
        default: return {-c, s};
    }
}

// Two angles in the two lanes of one 16-byte register, which every x86-64 has, or four in a
// 32-byte one where AVX2 is found at run time: the evaluation is a long chain of dependent
// multiplications and additions, and two or four of them in one go cost little more than one.
using Lanes = double __attribute__((vector_size(16)));
using Lanes4 = double __attribute__((vector_size(32)));

namespace sin_cos_detail {

using LaneBits = std::int64_t __attribute__((vector_size(16)));
using Lane4Bits = std::int64_t __attribute__((vector_size(32)));

template <class V>
inline constexpr Constants<V> lane_constants = [] {
    const auto& d = constants;
    // each lane the double's; written in place, since a 32-byte vector returned by value would
    // take a different path where AVX is off
    const auto l = [](V& lanes, double v) {
        if constexpr (sizeof(V) == 16) lanes = V{v, v};
        else lanes = V{v, v, v, v};
    };
    Constants<V> k{};
    l(k.two_over_pi, d.two_over_pi), l(k.shift, d.shift), l(k.P1, d.P1), l(k.P2, d.P2), l(k.P3, d.P3);
    l(k.S1, d.S1), l(k.S2, d.S2), l(k.S3, d.S3), l(k.S4, d.S4), l(k.S5, d.S5), l(k.S6, d.S6);
    l(k.C1, d.C1), l(k.C2, d.C2), l(k.C3, d.C3), l(k.C4, d.C4), l(k.C5, d.C5), l(k.C6, d.C6);
    l(k.half, d.half), l(k.one, d.one);
    return k;
}();

// sin_cos of each lane of x, to the bit; always inlined, so that the caller's instruction set
// decides the width of the code (and no vector goes by value through a call).
template <class V>
[[gnu::always_inline]] inline void sin_cos_lanes(const V& x, V& sin, V& cos) {
    constexpr int lanes = sizeof(V) / sizeof(double);
    using Bits = std::conditional_t<sizeof(V) == 16, LaneBits, Lane4Bits>;
    constexpr std::int64_t sign = INT64_MIN;
    const Bits in_range = (V)((Bits)x & ~sign) <= limit;
    std::int64_t all = -1;
    for (int l = 0; l < lanes; ++l) all &= in_range[l];
    if (!all) [[unlikely]] {
        for (int l = 0; l < lanes; ++l) {
            const SinCos v = vormek::sin_cos(x[l]);
            sin[l] = v.sin, cos[l] = v.cos;
        }
        return;
    }
    // GCC builds a vector constant from one double and a shuffle; read through a pointer it
    // cannot see into, the constants are operands straight from memory
    const Constants<V>* k = &lane_constants<V>;
#if defined(__GNUC__) && !defined(__clang__)
    asm("" : "+r"(k));
#endif
    V shifted, s, c;
    reduce(x, *k, shifted, s, c);
    const Bits n = (Bits)shifted;
    // odd quadrants swap sin and cos (−(n & 1) is all ones there: SSE2 has no 64-bit compare);
    // sin changes sign in quadrants 2 and 3, cos in 1 and 2, and a sign flip is what unary minus
    // does, to the sign bit alone
    const Bits odd = -(n & 1), swapped = ((Bits)s ^ (Bits)c) & odd;
    const Bits sin_sign = (n & 2) << 62, cos_sign = ((n + 1) & 2) << 62;
    sin = (V)(((Bits)s ^ swapped) ^ sin_sign);
    cos = (V)(((Bits)c ^ swapped) ^ cos_sign);
}

// sin_cos_block's two builds: x, s and c hold 8 values, the first n of them wanted.
template <class V>
[[gnu::always_inline]] inline void sin_cos_block_of(const double* x, std::size_t n, double* s, double* c) {
    constexpr std::size_t lanes = sizeof(V) / sizeof(double);
    for (std::size_t j = 0; j < n; j += lanes) {
        V v, sin, cos;
        __builtin_memcpy(&v, x + j, sizeof v);
        sin_cos_lanes(v, sin, cos);
        __builtin_memcpy(s + j, &sin, sizeof sin);
        __builtin_memcpy(c + j, &cos, sizeof cos);
    }
}

[[gnu::noinline]] inline void sin_cos_block_pairs(const double* x, std::size_t n, double* s, double* c) {
    sin_cos_block_of<Lanes>(x, n, s, c);
}

#if defined(__x86_64__)
// no FMA among the features: a fused multiply-add would round differently from the scalar code
[[gnu::target("avx2"), gnu::noinline]] inline void sin_cos_block_quads(const double* x, std::size_t n, double* s,
                                                                     double* c) {
    sin_cos_block_of<Lanes4>(x, n, s, c);
}
#endif

}  // namespace sin_cos_detail

// Whether this CPU runs AVX2, for the code built for it beside the portable build.
inline bool has_avx2() {
#if defined(__x86_64__)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
#else
    return false;
#endif
}

// s[k], c[k] = sin_cos(x[k]) for k < n ≤ 8, to the bit; x, s and c hold 8 values each, and
// those of x beyond n are evaluated too.
inline void sin_cos_block(const double* x, std::size_t n, double* s, double* c) {
#if defined(__x86_64__)
    if (has_avx2()) return sin_cos_detail::sin_cos_block_quads(x, n, s, c);
#endif
    sin_cos_detail::sin_cos_block_pairs(x, n, s, c);
}

// sin and cos of the angles a recursion meets one after another, angle(0), angle(1), …,
// evaluated a block at a time, several to a register: the evaluations of a block do not depend
// on one another and overlap, where one evaluation inside each step of the recursion would hold
// that step up by its full latency. Wide is for code built for AVX2: the block's four-lane
// evaluation is inlined there, where a call inside the recursion would make the compiler keep
// the recursion's values in memory across it.
//
// Doubled is for the walks that evaluate half angles x = q/2: the block's sin 2x and cos 2x
// are made beside them, four (or two) at a time, where a step of the walk would make its own
// in four scalar operations and two copies into every lane, its costliest part after the turn.
template <class Angle, bool Wide = false, bool Doubled = false>
class SinCosBlocks {
public:
    SinCosBlocks(std::size_t count, Angle angle) : count_(count), angle_(angle) {}

    // The m-th angle's; m must count up from 0 by one.
    [[gnu::always_inline]] SinCos operator[](std::size_t m) {
        const std::size_t i = m % block;
        if (i == 0) evaluate(m);
        return {sin_[i], cos_[i]};
    }

    // The same for a recursion that goes a block at a time itself: evaluate(m) for each m that
    // starts a block, then at(m) for it and the rest of its block. Kept out of the recursion's
    // loop, the evaluation does not make the compiler keep the recursion's values in memory
    // across every step.
    static constexpr std::size_t block = 8;
    [[gnu::always_inline]] SinCos at(std::size_t m) const { return {sin_[m % block], cos_[m % block]}; }
    // sin 2x and cos 2x of the m-th angle x, when Doubled.
    [[gnu::always_inline]] SinCos doubled(std::size_t m) const { return {sin2_[m % block], cos2_[m % block]}; }

    // The block of angles from the m-th on.
    [[gnu::always_inline]] void evaluate(std::size_t m) {
        const std::size_t n = count_ - m < block ? count_ - m : block;
        if constexpr (Wide) {
            // four angles joined in registers: written out one by one and read back as four,
            // they would wait for the stores to drain, a wait every walk starts with
            for (std::size_t j = 0; j < n; j += 4) {
                const auto at = [&](std::size_t k) { return j + k < n ? angle_(m + j + k) : 0.0; };
                const Lanes4 x = __builtin_shufflevector(Lanes{at(0), at(1)}, Lanes{at(2), at(3)}, 0, 1, 2, 3);
                Lanes4 sin, cos;
                sin_cos_detail::sin_cos_lanes(x, sin, cos);
                __builtin_memcpy(sin_ + j, &sin, sizeof sin);
                __builtin_memcpy(cos_ + j, &cos, sizeof cos);
                if constexpr (Doubled) {
                    const Lanes4 sin2 = 2 * sin * cos, cos2 = (cos - sin) * (cos + sin);
                    __builtin_memcpy(sin2_ + j, &sin2, sizeof sin2);
                    __builtin_memcpy(cos2_ + j, &cos2, sizeof cos2);
                }
            }
        } else {
            alignas(32) double x[block] = {};
            for (std::size_t j = 0; j < n; ++j) x[j] = angle_(m + j);
            sin_cos_block(x, n, sin_, cos_);
            if constexpr (Doubled) {
                for (std::size_t j = 0; j < n; j += 2) {
                    Lanes sin, cos;
                    __builtin_memcpy(&sin, sin_ + j, sizeof sin);
                    __builtin_memcpy(&cos, cos_ + j, sizeof cos);
                    const Lanes sin2 = 2 * sin * cos, cos2 = (cos - sin) * (cos + sin);
                    __builtin_memcpy(sin2_ + j, &sin2, sizeof sin2);
                    __builtin_memcpy(cos2_ + j, &cos2, sizeof cos2);
                }
            }
        }
    }

private:
    std::size_t count_;
    Angle angle_;
    alignas(32) double sin_[block];
    alignas(32) double cos_[block];
    alignas(32) double sin2_[block];
    alignas(32) double cos2_[block];
};

// The same for q[0], q[1], … in order.
inline auto sin_cos_blocks(std::span<const double> q) {
    return SinCosBlocks(q.size(), [q](std::size_t k) { return q[k]; });
}

}  // namespace vormek
