#pragma once
// The root-to-leaf walk down an ancestor path that every kinematics routine shares.

#include <cmath>
#include <span>
#include <type_traits>

#include "../../model/model.hpp"
#include "../../sin_cos.hpp"
#include "checks.hpp"

// For the functions that walk a chain and write its values one by one: GCC's straight-line
// vectorizer turns the copies of those values, read back at once, into 16-byte loads, and each
// such load waits for the two scalar stores to retire instead of being forwarded from them.
#if defined(__GNUC__) && !defined(__clang__)
#define VORMEK_SCALAR_WALK [[gnu::optimize("no-tree-slp-vectorize")]]
#else
#define VORMEK_SCALAR_WALK
#endif

namespace vormek {

// Composes the joints of `path` (stored leaf first) onto `start` from the root down, calling
// visit(joint, pose of its child link) after each one. The half-angle sines of a block of
// joints are evaluated before the block is composed: each composition depends on the one
// before, the sines do not, so they overlap instead of stalling the chain.
template <class Visit>
Pose compose_path(const Model& model, std::span<const double> q, std::span<const std::size_t> path, Pose start,
                  Visit visit) {
    constexpr std::size_t block = 8;
    double qj[block], s[block], c[block];
    Pose M = start;
    for (std::size_t end = path.size(); end > 0;) {
        const std::size_t begin = end > block ? end - block : 0;
        for (std::size_t k = begin; k < end; ++k) {
            // evaluated for every joint: a branch on the kind here costs more than the few
            // sines that prismatic and fixed joints do not need
            qj[k - begin] = joint_position(model, q, path[k]);
            const auto [sin_half, cos_half] = sin_cos(0.5 * qj[k - begin]);
            s[k - begin] = sin_half;
            c[k - begin] = cos_half;
        }
        for (std::size_t k = end; k-- > begin;) {
            const std::size_t j = path[k];
            M = compose(M, model.joint_kinematics[j].frame(qj[k - begin], s[k - begin], c[k - begin]));
            visit(j, M);
        }
        end = begin;
    }
    return M;
}

// The DOFs that move the bodies from `body` up to the root, leaf first (DOF k moves body k + 1):
// a walk over the dynamics tree, where the fixed joints on the way are already folded into
// their bodies.
inline std::span<const std::size_t> body_path(const Model& m, std::size_t body, std::span<std::size_t> buffer) {
    std::size_t count = 0;
    for (; body != 0; body = m.body_parents[body - 1]) buffer[count++] = body - 1;
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

// The child's rows of place_body for one kind of joint: Turn is k for a revolute joint about ±e_k,
// 3 for one about another axis and 4 for a prismatic joint; Turned says the origin rotation is
// not the identity. Known at compile time, they keep every branch out of the rows. Rows 0 and 1
// go as one pair of lanes and row 2 alone, through the same code: each lane does the scalar
// operations of its row in the same order.
template <int Turn, bool Turned>
[[gnu::always_inline]] inline BodyRows place_rows(const BodyJoint& joint, const BodyRows& parent, double q,
                                                  double sin_q, double cos_q) {
    const Vector3d& a = joint.axis;
    const double sk = Turn < 3 ? a[Turn < 3 ? Turn : 0] * sin_q : 0.0;
    // the rows of X's columns R0, R1, R2 and origin x from the same rows of the parent's
    // columns P0, P1, P2 and origin p
    const auto rows = [&]<class L>(const L& P0, const L& P1, const L& P2, const L& p, L& R0, L& R1, L& R2, L& x) {
        // the joint's constants, as pairs for the pairs of rows and as doubles for row 2
        const auto lane = [&](const Lanes& v) -> L {
            if constexpr (std::is_same_v<L, double>)
                return v[0];
            else
                return v;
        };
        const auto O = [&](int r, int c) { return lane(joint.origin_lanes[3 * r + c]); };
        const auto t = [&](int r) { return lane(joint.origin_lanes[9 + r]); };
        L e0 = P0, e1 = P1, e2 = P2;
        if constexpr (Turned) {
            e0 = P0 * O(0, 0) + P1 * O(1, 0) + P2 * O(2, 0);
            e1 = P0 * O(0, 1) + P1 * O(1, 1) + P2 * O(2, 1);
            e2 = P0 * O(0, 2) + P1 * O(1, 2) + P2 * O(2, 2);
        }
        x = p + P0 * t(0) + P1 * t(1) + P2 * t(2);
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
    BodyRows X;
    rows(parent.R0, parent.R1, parent.R2, parent.p, X.R0, X.R1, X.R2, X.p);
    rows(parent.R0z, parent.R1z, parent.R2z, parent.pz, X.R0z, X.R1z, X.R2z, X.pz);
    return X;
}

// The pose of a body from its parent's and the joint at q, sin q and cos q given (read by
// revolute joints only): each row of the parent's rotation is carried through the origin
// rotation and the joint's turn. The joint's kind is looked at once, here.
template <bool Turned>
[[gnu::always_inline]] inline BodyRows place_body_turned(const BodyJoint& joint, const BodyRows& parent, double q,
                                                         double sin_q, double cos_q) {
    if (joint.kind != JointKind::Revolute) return place_rows<4, Turned>(joint, parent, q, sin_q, cos_q);
    switch (joint.coordinate) {
        case 0: return place_rows<0, Turned>(joint, parent, q, sin_q, cos_q);
        case 1: return place_rows<1, Turned>(joint, parent, q, sin_q, cos_q);
        case 2: return place_rows<2, Turned>(joint, parent, q, sin_q, cos_q);
        default: return place_rows<3, Turned>(joint, parent, q, sin_q, cos_q);
    }
}

[[gnu::always_inline]] inline BodyRows place_body(const BodyJoint& joint, const BodyRows& parent, double q,
                                                  double sin_q, double cos_q) {
    if (joint.origin_turned) return place_body_turned<true>(joint, parent, q, sin_q, cos_q);
    return place_body_turned<false>(joint, parent, q, sin_q, cos_q);
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

// Places the bodies of `path` (leaf first) from the root down, starting from `start`, calling
// visit(DOF, pose of its body) after each one (or visit(DOF, pose, the pose's BodyRows), for a
// visitor that reads the pose at once: the rows are still in registers); the poses alternate between X[1] and X[0] (so
// `start` may be X[0], never X[1]), and the last one is returned. The sines come a block of
// joints ahead (SinCosBlocks): each placement depends on the one before, the sines do not. They
// go in the order of the placements, so that the first placement can start while the sines of
// the joints below it are still being evaluated.
template <class Visit>
const Transform& walk_bodies(const Model& model, std::span<const double> q, std::span<const std::size_t> path,
                             const Transform& start, Transform (&X)[2], Visit visit) {
    const std::size_t m = path.size();
    SinCosBlocks sin_cos_q(m, [&](std::size_t step) { return q[path[m - 1 - step]]; });
    const Transform* parent = &start;
    BodyRows pose = body_rows(start);
    int next = 1;
    for (std::size_t step = 0; step < m; ++step) {
        const std::size_t i = path[m - 1 - step];
        const auto [sin_q, cos_q] = sin_cos_q[step];
        pose = place_body(model.body_joints[i], pose, q[i], sin_q, cos_q);
        store_rows(pose, X[next]);
        parent = &X[next];
        next = 1 - next;
        if constexpr (std::is_invocable_v<Visit, std::size_t, const Transform&, const BodyRows&>)
            visit(i, *parent, pose);
        else
            visit(i, *parent);
    }
    return *parent;
}

// The same from X[0].
template <class Visit>
const Transform& walk_bodies(const Model& model, std::span<const double> q, std::span<const std::size_t> path,
                             Transform (&X)[2], Visit visit) {
    return walk_bodies(model, q, path, X[0], X, visit);
}

// The ancestor path of `link` written into `buffer`, as the span of the joints it holds.
inline std::span<const std::size_t> ancestor_path(const Model& model, std::size_t link, std::span<std::size_t> buffer) {
    return buffer.first(model.prepare_ancestor_path(link, buffer));
}

}  // namespace vormek
