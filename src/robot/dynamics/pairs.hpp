#pragma once
// 6-vectors and the columns of 6 × 6 matrices as three pairs of lanes, rows (0, 1), (2, 3) and
// (4, 5), for the articulated-inertia passes of forward dynamics and of M⁻¹, and M⁻¹'s column
// sums. Every pair is stored as it was computed: the next pass, or the next body, loads it back
// as the same pair, which store forwarding hands over at once, where a wider load of entries
// stored one by one would wait. Articulated inertias are kept whole, symmetric to the last bit
// (each entry and its mirror are computed by the same operations).

#include "../../base.hpp"
#include "../../sin_cos.hpp"

namespace vormek {

// A 6-vector as three pairs of lanes, rows (0, 1), (2, 3), (4, 5).
struct Pairs {
    Lanes r[3];
};

// Loaded and stored pair by pair (never wider: a wider load would straddle the pair stores).
inline Pairs load_pairs(const double* x) {
    Pairs v;
    for (int i = 0; i < 3; ++i) __builtin_memcpy(&v.r[i], x + 2 * i, sizeof(Lanes));
    return v;
}

inline void store_pairs(const Pairs& v, double* x) {
    for (int i = 0; i < 3; ++i) __builtin_memcpy(x + 2 * i, &v.r[i], sizeof(Lanes));
}

inline Pairs pairs_of(const double* x) { return {{Lanes{x[0], x[1]}, Lanes{x[2], x[3]}, Lanes{x[4], x[5]}}}; }

// x·y, its products summed in pairs of pairs.
inline double dot(const Pairs& x, const Pairs& y) {
    const Lanes t = (x.r[0] * y.r[0] + x.r[1] * y.r[1]) + x.r[2] * y.r[2];
    return t[0] + t[1];
}

// A·x for a 6×6 A held as its columns' pairs, the six columns summed in pairs, so that a chain
// of bodies waits on three additions rather than six.
inline Pairs times(const Pairs (&A)[6], const double* x) {
    Pairs y;
    for (int i = 0; i < 3; ++i)
        y.r[i] = ((A[0].r[i] * x[0] + A[1].r[i] * x[1]) + (A[2].r[i] * x[2] + A[3].r[i] * x[3])) +
                 (A[4].r[i] * x[4] + A[5].r[i] * x[5]);
    return y;
}

// A body's spatial inertia [I, [h]×; [h]×ᵀ, m·1] about the reference origin, whole, column by
// column in pairs, from m, h and I as place_body_inertia gives them.
inline void place_articulated(double m, const Vector3d& h, const Matrix3d& I, Matrix6d& IA) {
    // I's upper triangle for both mirror entries
    const double columns[6][6] = {{I(0, 0), I(0, 1), I(0, 2), 0, -h[2], h[1]}, {I(0, 1), I(1, 1), I(1, 2), h[2], 0, -h[0]},
                                  {I(0, 2), I(1, 2), I(2, 2), -h[1], h[0], 0}, {0, h[2], -h[1], m, 0, 0},
                                  {-h[2], 0, h[0], 0, m, 0},                   {h[1], -h[0], 0, 0, 0, m}};
    for (int col = 0; col < 6; ++col) store_pairs(pairs_of(columns[col]), &IA(0, col));
}

// I^A − U·Uᵀ/D added into the parent's whole articulated inertia Ip (column-major). The sums
// and the products U·Uᵀ do not wait for 1/D, so the chain of bodies waits on one multiply-add
// per entry after it.
inline void articulate_pairs(const Pairs (&IA)[6], const Pairs& U, double inverse_D, double* Ip) {
    for (int col = 0; col < 6; ++col) {
        const Lanes Ucol{U.r[col / 2][col % 2], U.r[col / 2][col % 2]};
        Pairs Ipc = load_pairs(Ip + 6 * col);
        for (int i = 0; i < 3; ++i) Ipc.r[i] = (Ipc.r[i] + IA[col].r[i]) - (U.r[i] * Ucol) * inverse_D;
        store_pairs(Ipc, Ip + 6 * col);
    }
}

}  // namespace vormek
