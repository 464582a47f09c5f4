#pragma once
// The one walk of the body tree that every kinematics routine shares: the bodies placed root to
// leaf in rotation matrices (a joint about a coordinate axis turns two columns), their sines
// evaluated a block of joints ahead, down an ancestor path or over the whole tree.

#include <cmath>
#include <cstdint>
#include <span>
#include <type_traits>

#include "../../model/model.hpp"
#include "../../sin_cos.hpp"
#include "../checks.hpp"

namespace vormek {

// The DOFs that move the bodies from `body` up to the root, leaf first (DOF k moves body k + 1):
// a walk over the dynamics tree, where the fixed joints on the way are already folded into
// their bodies. Down a run of bodies each the child of the one before (every arm), the next
// body is taken as the one before it and checked: each parent read then waits for no other,
// where following the parents one read at a time put their latencies end to end before the
// first placement.
inline std::span<const std::size_t> body_path(const Model& m, std::size_t body, std::span<std::size_t> buffer) {
    std::size_t count = 0;
    while (body != 0) {
        buffer[count++] = body - 1;
        while (body > 1 && m.body_parents[body - 1] == body - 1) buffer[count++] = --body - 1;
        body = m.body_parents[body - 1];
    }
    return buffer.first(count);
}

// A body's pose as the walk carries it from one placement to the next, in registers: rows 0 and
// 1 of each column of the rotation and of the origin as pairs of lanes (each column holds them
// side by side), row 2 alone. A pose passed on through memory would make every placement wait
// for the stores of the one before to be forwarded to its loads.
struct BodyRows {
    Lanes R0, R1, R2, p;
    double R0z, R1z, R2z, pz;
};

inline BodyRows body_rows(const Transform& X) {
    const auto pair = [](const double* v) {
        Lanes l;
        __builtin_memcpy(&l, v, sizeof l);
        return l;
    };
    return {pair(&X.R(0, 0)), pair(&X.R(0, 1)), pair(&X.R(0, 2)), pair(&X.p[0]),
            X.R(2, 0),        X.R(2, 1),        X.R(2, 2),        X.p[2]};
}

// Written entry by entry into its final place, as the pairs and the singles it is held in: the
// visitors read X back at once, and a pose copied over in other widths stalls those reads on
// store forwarding.
inline void store_rows(const BodyRows& b, Transform& X) {
    __builtin_memcpy(&X.R(0, 0), &b.R0, sizeof b.R0);
    __builtin_memcpy(&X.R(0, 1), &b.R1, sizeof b.R1);
    __builtin_memcpy(&X.R(0, 2), &b.R2, sizeof b.R2);
    __builtin_memcpy(&X.p[0], &b.p, sizeof b.p);
    X.R(2, 0) = b.R0z, X.R(2, 1) = b.R1z, X.R(2, 2) = b.R2z, X.p[2] = b.pz;
}

// A body's pose for the walks built for AVX: each column of the rotation, and the origin, in
// one 32-byte register, rows 0, 1 and 2 and a fourth lane that stays 0. Each lane does the
// scalar operations of its row in BodyRows' order, so both give the same bits, in half the
// instructions.
struct BodyColumns {
    Lanes4 R0, R1, R2, p;
};

inline void load_pose(const Transform& X, BodyRows& b) { b = body_rows(X); }

// Each column from a pair and a single, joined in registers: built lane by lane, GCC writes the
// lanes to the stack and reads them back whole, a load that waits for four stores to drain (and
// a 32-byte vector is never returned by value, which would change the ABI where AVX is off).
inline void load_pose(const Transform& X, BodyColumns& b) {
    const auto column = [](const double* v, Lanes4& c) {
        Lanes rows01;
        __builtin_memcpy(&rows01, v, sizeof rows01);
        c = __builtin_shufflevector(rows01, Lanes{v[2], 0.0}, 0, 1, 2, 3);
    };
    column(&X.R(0, 0), b.R0), column(&X.R(0, 1), b.R1), column(&X.R(0, 2), b.R2), column(&X.p[0], b.p);
}

// Column by column in index order, each store's fourth lane overwritten by the next column's
// first; the origin's three entries alone, the pose's last.
inline void store_rows(const BodyColumns& b, Transform& X) {
    __builtin_memcpy(&X.R(0, 0), &b.R0, sizeof b.R0);
    __builtin_memcpy(&X.R(0, 1), &b.R1, sizeof b.R1);
    __builtin_memcpy(&X.R(0, 2), &b.R2, sizeof b.R2);
    __builtin_memcpy(&X.p[0], &b.p, 3 * sizeof(double));
}

// The origin rotation of a joint, as place_rows takes it: the identity, a quarter-turn
// permutation of the axes (its index in rotation_permutations), or any other.
inline constexpr int identity_origin = -1, general_origin = 6;

// The child's pose of place_body for one kind of joint: Turn is k for a revolute joint about
// ±e_k, 3 for one about another axis and 4 for a prismatic joint; Order is the kind of origin
// rotation. Known at compile time, they keep every branch out of the arithmetic. The pose's
// pairs of rows and its row 2 (BodyRows), or its columns (BodyColumns), go through the same
// code: each lane does the scalar operations of its row in the same order.
template <int Turn, int Order, class Rows>
[[gnu::always_inline]] inline void place_rows(const BodyJoint& joint, const Rows& parent, double q, double sin_q,
                                              double cos_q, Rows& X) {
    const Vector3d& a = joint.axis;
    const double sk = Turn < 3 ? a[Turn < 3 ? Turn : 0] * sin_q : 0.0;
    // the rows of X's columns R0, R1, R2 and origin x from the same rows of the parent's
    // columns P0, P1, P2 and origin p
    const auto rows = [&]<class L>(const L& P0, const L& P1, const L& P2, const L& p, L& R0, L& R1, L& R2, L& x) {
        // the joint's constants, as pairs for the pairs of rows and as doubles otherwise
        const auto lane = [&](const Lanes& v) {
            if constexpr (std::is_same_v<L, Lanes>)
                return v;
            else
                return v[0];
        };
        const auto O = [&](int r, int c) { return lane(joint.origin_lanes[3 * r + c]); };
        const auto t = [&](int r) { return lane(joint.origin_lanes[9 + r]); };
        L e0 = P0, e1 = P1, e2 = P2;
        if constexpr (Order == general_origin) {
            e0 = P0 * O(0, 0) + P1 * O(1, 0) + P2 * O(2, 0);
            e1 = P0 * O(0, 1) + P1 * O(1, 1) + P2 * O(2, 1);
            e2 = P0 * O(0, 2) + P1 * O(1, 2) + P2 * O(2, 2);
        } else if constexpr (Order != identity_origin) {
            // a quarter turn's product reorders the parent's columns with their signs: each of
            // its columns is one ±1 term and two zeros, and this is that term alone
            constexpr std::array<int, 3> c = rotation_permutations[Order];
            const L* P[3] = {&P0, &P1, &P2};
            e0 = *P[c[0]] * O(c[0], 0), e1 = *P[c[1]] * O(c[1], 1), e2 = *P[c[2]] * O(c[2], 2);
        }
        // the parent's origin added last: the rotation's terms are ready sooner, and a left-to-
        // right sum would put three additions between one origin and the next
        x = p + (P0 * t(0) + P1 * t(1) + P2 * t(2));
        // a turn about ±e_k mixes the other two columns, i and j, and keeps column k
        const auto mix = [&](L& ei, L& ej) {
            const L i0 = ei, j0 = ej;
            ei = cos_q * i0 + sk * j0;
            ej = cos_q * j0 - sk * i0;
        };
        if constexpr (Turn == 4) {
            x += q * (e0 * a[0] + e1 * a[1] + e2 * a[2]);
        } else if constexpr (Turn == 0) {
            mix(e1, e2);
        } else if constexpr (Turn == 1) {
            mix(e2, e0);
        } else if constexpr (Turn == 2) {
            mix(e0, e1);
        } else {
            // times Rodrigues' c·1 + s·[a]× + (1 − c)·a·aᵀ, for an axis off the coordinate axes
            const L ea = (1 - cos_q) * (e0 * a[0] + e1 * a[1] + e2 * a[2]);
            const L f0 = cos_q * e0 + sin_q * (e1 * a[2] - e2 * a[1]) + ea * a[0];
            const L f1 = cos_q * e1 + sin_q * (e2 * a[0] - e0 * a[2]) + ea * a[1];
            const L f2 = cos_q * e2 + sin_q * (e0 * a[1] - e1 * a[0]) + ea * a[2];
            e0 = f0, e1 = f1, e2 = f2;
        }
        R0 = e0, R1 = e1, R2 = e2;
    };
    rows(parent.R0, parent.R1, parent.R2, parent.p, X.R0, X.R1, X.R2, X.p);
    if constexpr (std::is_same_v<Rows, BodyRows>)
        rows(parent.R0z, parent.R1z, parent.R2z, parent.pz, X.R0z, X.R1z, X.R2z, X.pz);
}

// place_rows for a joint of kind Turn, its origin looked at here: a quarter turn (as URDFs
// write ±π/2, snapped at load) only when the joint turns about a coordinate axis, and only in
// the four-lane walks: the pairs-and-singles walks of the visiting kernels ran a fifth slower
// with the extra branches (acceleration kinematics), for products they do in few instructions.
template <int Turn, class Rows>
[[gnu::always_inline]] inline void place_turn(const BodyJoint& joint, const Rows& parent, double q, double sin_q,
                                              double cos_q, Rows& X) {
    if (!joint.origin_turned) return place_rows<Turn, identity_origin>(joint, parent, q, sin_q, cos_q, X);
    if constexpr (Turn < 3 && std::is_same_v<Rows, BodyColumns>) {
        if (joint.origin_permutes) {
            switch (joint.origin_order) {
                case 0: return place_rows<Turn, 0>(joint, parent, q, sin_q, cos_q, X);
                case 1: return place_rows<Turn, 1>(joint, parent, q, sin_q, cos_q, X);
                case 2: return place_rows<Turn, 2>(joint, parent, q, sin_q, cos_q, X);
                case 3: return place_rows<Turn, 3>(joint, parent, q, sin_q, cos_q, X);
                case 4: return place_rows<Turn, 4>(joint, parent, q, sin_q, cos_q, X);
                default: return place_rows<Turn, 5>(joint, parent, q, sin_q, cos_q, X);
            }
        }
    }
    place_rows<Turn, general_origin>(joint, parent, q, sin_q, cos_q, X);
}

// The pose of a body from its parent's and the joint at q, sin q and cos q given (read by
// revolute joints only): each row of the parent's rotation is carried through the origin
// rotation and the joint's turn. The joint's kind is looked at once, here.
template <class Rows>
[[gnu::always_inline]] inline void place_body(const BodyJoint& joint, const Rows& parent, double q, double sin_q,
                                              double cos_q, Rows& X) {
    if (joint.kind != JointKind::Revolute) return place_turn<4>(joint, parent, q, sin_q, cos_q, X);
    switch (joint.coordinate) {
        case 0: return place_turn<0>(joint, parent, q, sin_q, cos_q, X);
        case 1: return place_turn<1>(joint, parent, q, sin_q, cos_q, X);
        case 2: return place_turn<2>(joint, parent, q, sin_q, cos_q, X);
        default: return place_turn<3>(joint, parent, q, sin_q, cos_q, X);
    }
}

// The joint axis of `joint` in the axes of X, its child body's pose: a column of X.R when the
// axis is a coordinate axis.
inline void body_axis(const BodyJoint& joint, const Transform& X, double* a) {
    if (const int k = joint.coordinate; k >= 0) {
        for (int r = 0; r < 3; ++r) a[r] = joint.axis[k] * X.R(r, k);
    } else {
        for (int r = 0; r < 3; ++r)
            a[r] = X.R(r, 0) * joint.axis[0] + X.R(r, 1) * joint.axis[1] + X.R(r, 2) * joint.axis[2];
    }
}

// Both lanes of a pair set to its lane i.
template <int i>
inline Lanes spread(Lanes v) {
    return __builtin_shufflevector(v, v, i, i);
}

// A body's rotation as a quaternion, (x, y) and (z, w) as two pairs of lanes, carried beside its
// matrix for the callers that return quaternions: one read off the matrix would take a sign of
// its own choosing, where the product of the joints' quaternions has the sign of the turns
// taken (a full turn of one joint negates it).
struct BodyQuaternion {
    Lanes xy, zw;
};

inline BodyQuaternion body_quaternion(const Quaterniond& Q) {
    BodyQuaternion b;
    __builtin_memcpy(&b, Q.coeffs().data(), sizeof b);
    return b;
}

inline Quaterniond to_quaternion(const BodyQuaternion& b) {
    Quaterniond Q;
    __builtin_memcpy(Q.coeffs().data(), &b, sizeof b);
    return Q;
}

// The same quaternion as the four-lane walks carry it, (x, y, z, w) in one 32-byte register:
// a product in four lanes takes half the instructions of one in two pairs.
struct BodyQuaternion4 {
    Lanes4 xyzw;
};

// The walk's quaternion from the pairs, and back (the four lanes joined and split in registers).
inline void load_quaternion(const BodyQuaternion& from, BodyQuaternion& to) { to = from; }
inline void load_quaternion(const BodyQuaternion& from, BodyQuaternion4& to) {
    to.xyzw = __builtin_shufflevector(from.xy, from.zw, 0, 1, 2, 3);
}
// The same from and to a stored quaternion, the four lanes read and written whole.
inline void load_quaternion(const Quaterniond& from, BodyQuaternion& to) { to = body_quaternion(from); }
inline void load_quaternion(const Quaterniond& from, BodyQuaternion4& to) {
    __builtin_memcpy(&to.xyzw, from.coeffs().data(), sizeof to.xyzw);
}
inline void store_quaternion(const BodyQuaternion& from, Quaterniond& to) { to = to_quaternion(from); }
inline void store_quaternion(const BodyQuaternion4& from, Quaterniond& to) {
    __builtin_memcpy(to.coeffs().data(), &from.xyzw, sizeof from.xyzw);
}
inline void store_quaternion(const BodyQuaternion& from, BodyQuaternion& to) { to = from; }
inline void store_quaternion(const BodyQuaternion4& from, BodyQuaternion& to) {
    to = {__builtin_shufflevector(from.xyzw, from.xyzw, 0, 1), __builtin_shufflevector(from.xyzw, from.xyzw, 2, 3)};
}

// Q ⊗ F for F the rotation of the joint's pose at q, from sin(q/2) and cos(q/2): with O its
// origin rotation and a its axis, F = O ⊗ (cos(q/2) + sin(q/2)·a) = cos(q/2)·O + sin(q/2)·(O ⊗ a),
// both kept by the joint; a prismatic joint's is O. Each lane sums the four products of the
// scalar product (multiply in base.hpp) in two pairs, the signs folded into F's lanes: each
// placement's quaternion then waits on the one before through two additions, not three.
[[gnu::always_inline]] inline void turn_quaternion(const BodyJoint& joint, const BodyQuaternion& Q, SinCos half,
                                                   BodyQuaternion& out) {
    Lanes f01 = joint.origin_quaternion[0], f23 = joint.origin_quaternion[1];
    if (joint.kind == JointKind::Revolute) {
        f01 = half.cos * f01 + half.sin * joint.turned_quaternion[0];
        f23 = half.cos * f23 + half.sin * joint.turned_quaternion[1];
    }
    const Lanes wz = __builtin_shufflevector(f23, f23, 1, 0) * Lanes{1.0, -1.0};  // (F_w, −F_z)
    const Lanes yx = __builtin_shufflevector(f01, f01, 1, 0);
    const Lanes Qx = spread<0>(Q.xy), Qy = spread<1>(Q.xy), Qz = spread<0>(Q.zw), Qw = spread<1>(Q.zw);
    out = {(Qw * f01 + Qx * wz) + (Qy * f23 + Qz * (yx * Lanes{-1.0, 1.0})),
           (Qw * f23 + Qx * (yx * Lanes{1.0, -1.0})) + (Qy * -f01 + Qz * wz)};
}

// The same in four lanes, each lane the operations of the pairs' in their order: Q's four
// entries, each in every lane, times F with its entries reordered and signed.
[[gnu::always_inline]] inline void turn_quaternion(const BodyJoint& joint, const BodyQuaternion4& Q, SinCos half,
                                                   BodyQuaternion4& out) {
    Lanes4 F;
    __builtin_memcpy(&F, joint.origin_quaternion.data(), sizeof F);
    if (joint.kind == JointKind::Revolute) {
        Lanes4 T;
        __builtin_memcpy(&T, joint.turned_quaternion.data(), sizeof T);
        F = half.cos * F + half.sin * T;
    }
    // a sign flipped is the multiplication by −1 of the pairs, to the bit
    using Bits = sin_cos_detail::Lane4Bits;
    constexpr std::int64_t s = INT64_MIN;
    const Lanes4 A = (Lanes4)((Bits)__builtin_shufflevector(F, F, 3, 2, 1, 0) ^ Bits{0, s, 0, s});  // w, −z, y, −x
    const Lanes4 B = (Lanes4)((Bits)__builtin_shufflevector(F, F, 2, 3, 0, 1) ^ Bits{0, 0, s, s});  // z, w, −x, −y
    const Lanes4 C = (Lanes4)((Bits)__builtin_shufflevector(F, F, 1, 0, 3, 2) ^ Bits{s, 0, 0, s});  // −y, x, w, −z
    const Lanes4& q = Q.xyzw;
    const Lanes4 Qx = __builtin_shufflevector(q, q, 0, 0, 0, 0), Qy = __builtin_shufflevector(q, q, 1, 1, 1, 1);
    const Lanes4 Qz = __builtin_shufflevector(q, q, 2, 2, 2, 2), Qw = __builtin_shufflevector(q, q, 3, 3, 3, 3);
    out.xyzw = (Qw * F + Qx * A) + (Qy * B + Qz * C);
}

// The quaternion a walk in Rows carries.
template <class Rows>
using WalkQuaternion = std::conditional_t<std::is_same_v<Rows, BodyColumns>, BodyQuaternion4, BodyQuaternion>;

// One placement of either walk: the child's pose from its parent's, in place, with the sines of
// its joint's q; when the quaternion is carried, `sines` are those of q/2 and `doubled` those
// of q.
template <bool Quaternion, class Rows>
[[gnu::always_inline]] inline void place_step(const BodyJoint& joint, double q, SinCos sines, SinCos doubled,
                                              Rows& pose, WalkQuaternion<Rows>& Q) {
    if constexpr (Quaternion) {
        turn_quaternion(joint, Q, sines, Q);
        sines = doubled;
    }
    const Rows parent = pose;
    place_body(joint, parent, q, sines.sin, sines.cos, pose);
}

template <class Visit, class Rows>
[[gnu::always_inline]] inline void visit_body(Visit& visit, std::size_t k, const Transform& X, const Rows& rows) {
    if constexpr (std::is_invocable_v<Visit, std::size_t, const Transform&, const Rows&>)
        visit(k, X, rows);
    else
        visit(k, X);
}

// Places the bodies of `path` (leaf first) from the root down, from `pose` to the last body's
// pose in `pose` (and from Q, the quaternion of its rotation, to the last one's, when
// Quaternion), calling visit(DOF, its body's pose) after each placement. The sines come a
// block of joints ahead (SinCosBlocks): each placement depends on the one before, the sines do
// not. They go in the order of the placements, so that the first placement can start while
// the sines of the joints below it are still being evaluated.
template <bool Quaternion, class Rows, class Visit>
[[gnu::always_inline]] inline void walk_path(const Model& model, std::span<const double> q,
                                             std::span<const std::size_t> path, Rows& pose, BodyQuaternion& Q,
                                             Visit visit) {
    const std::size_t m = path.size();
    const auto angle = [&](std::size_t step) { return (Quaternion ? 0.5 : 1.0) * q[path[m - 1 - step]]; };
    using Sines = SinCosBlocks<decltype(angle), std::is_same_v<Rows, BodyColumns>, Quaternion>;
    Sines sines(m, angle);
    WalkQuaternion<Rows> rotation;
    load_quaternion(Q, rotation);
    if constexpr (Quaternion) {
        // a block at a time, the evaluation out of the steps' loop: the pose and the quaternion
        // then stay in registers from step to step (forward kinematics' walk ran 7% faster)
        for (std::size_t start = 0; start < m; start += Sines::block) {
            sines.evaluate(start);
            const std::size_t end = m - start < Sines::block ? m : start + Sines::block;
            for (std::size_t step = start; step < end; ++step) {
                const std::size_t i = path[m - 1 - step];
                place_step<true>(model.body_joints[i], q[i], sines.at(step), sines.doubled(step), pose, rotation);
                visit(i, pose);
            }
        }
        store_quaternion(rotation, Q);
    } else {
        // one loop, for the walks that visit each body: acceleration kinematics ran 10% slower
        // in the two above
        for (std::size_t step = 0; step < m; ++step) {
            const std::size_t i = path[m - 1 - step];
            place_step<false>(model.body_joints[i], q[i], sines[step], SinCos{}, pose, rotation);
            visit(i, pose);
        }
    }
}

// walk_path from `start`, the poses alternating between X[1] and X[0] (so `start` may be X[0],
// never X[1]) for visit(DOF, pose of its body) (or visit(DOF, pose, the pose's BodyRows), for a
// visitor that reads the pose at once: the rows are still in registers); the last one is
// returned.
template <class Visit>
const Transform& walk_bodies(const Model& model, std::span<const double> q, std::span<const std::size_t> path,
                             const Transform& start, Transform (&X)[2], Visit visit) {
    const Transform* parent = &start;
    BodyRows pose = body_rows(start);
    BodyQuaternion unused{};
    int next = 1;
    walk_path<false>(model, q, path, pose, unused, [&](std::size_t i, const BodyRows& rows) {
        store_rows(rows, X[next]);
        parent = &X[next];
        next = 1 - next;
        visit_body(visit, i, *parent, rows);
    });
    return *parent;
}

// The same from X[0].
template <class Visit>
const Transform& walk_bodies(const Model& model, std::span<const double> q, std::span<const std::size_t> path,
                             Transform (&X)[2], Visit visit) {
    return walk_bodies(model, q, path, X[0], X, visit);
}

// Places every body, parents first, from the root body's pose `root` (and its rotation's
// quaternion root_Q, when Quaternion): body k + 1's pose goes to T[k] (its quaternion to Q[k])
// and is visited as walk_bodies visits. The pose goes on to the next body in registers when that
// body is a child of this one, as on every chain, and is read back from T where a branch starts.
// With subtree_origins, each body hanging from the root is placed with its origin at the
// reference origin, so that its subtree is reckoned about it (a fixed base's dynamics). Rows is
// BodyRows, or BodyColumns in a function built for AVX.
template <bool Quaternion, class Rows = BodyRows, class Visit>
[[gnu::always_inline]] inline void walk_tree(const Model& model, std::span<const double> q, const Transform& root,
                                             const BodyQuaternion& root_Q, std::span<Transform> T,
                                             std::span<Quaterniond> Q, Visit visit, bool subtree_origins = false) {
    const std::size_t n = model.dof_count();
    if (T.size() < n || (Quaternion && Q.size() < n)) panic("body pose workspace does not fit the model");
    const auto angle = [&](std::size_t k) { return (Quaternion ? 0.5 : 1.0) * q[k]; };
    SinCosBlocks<decltype(angle), std::is_same_v<Rows, BodyColumns>, Quaternion> sines(n, angle);
    Rows pose;
    load_pose(root, pose);
    WalkQuaternion<Rows> rotation;
    load_quaternion(root_Q, rotation);
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t parent = model.body_parents[k];
        if (parent != k) {
            load_pose(parent == 0 ? root : T[parent - 1], pose);
            if constexpr (Quaternion) {
                if (parent == 0) load_quaternion(root_Q, rotation);
                else load_quaternion(Q[parent - 1], rotation);
            }
        }
        const SinCos sines_k = sines[k];
        place_step<Quaternion>(model.body_joints[k], q[k], sines_k, Quaternion ? sines.doubled(k) : SinCos{}, pose,
                               rotation);
        if (subtree_origins && parent == 0) {
            if constexpr (std::is_same_v<Rows, BodyRows>)
                pose.p = Lanes{}, pose.pz = 0.0;
            else
                pose.p = Lanes4{};
        }
        store_rows(pose, T[k]);
        if constexpr (Quaternion) store_quaternion(rotation, Q[k]);
        visit_body(visit, k, T[k], pose);
    }
}

// The same in rotation matrices alone.
template <class Visit>
[[gnu::always_inline]] inline void walk_tree(const Model& model, std::span<const double> q, const Transform& root,
                                             std::span<Transform> T, Visit visit, bool subtree_origins = false) {
    walk_tree<false>(model, q, root, BodyQuaternion{}, T, {}, visit, subtree_origins);
}

}  // namespace vormek
