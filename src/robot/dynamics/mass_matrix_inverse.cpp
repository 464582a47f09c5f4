// The inverse of the mass matrix, articulated-body style, and its application to a block of
// right-hand sides. M·q̈ = τ with no velocity and no gravity is what the articulated-body
// algorithm solves; its bias terms then come from τ alone, and every step is linear in τ, so
// it runs on all columns of τ = B at once. Leaf to root, joint i leaves
//     u_i = B_i − S_iᵀ·P_i  (a row over the columns),   row i ← u_i / D_i,
//     P_λ(i) += P_i + U_i·(u_i / D_i)
// (P the bias forces, a 6 × n block per body); root to leaf, with A the accelerations,
//     row i ← row i − U_iᵀ·A_λ(i) / D_i,   A_i = A_λ(i) + S_i·(row i).
// For B = 1 the block of body i is non-zero only in the columns of its subtree, and row i
// needs A_λ(i) only in the columns from i on in depth-first order: the upper triangle alone is
// computed, over runs of depth-first positions. A floating root ends the first pass with its
// own 6 × 6 articulated inertia, rows 0..5 ← (I^A_0)⁻¹·(B_0 − P_0), and its block A_0 is
// then those rows.
//
// Each pass has a fused build (fused.hpp), as the mass matrix and inverse dynamics have.

#include <algorithm>
#include <cmath>

#include "../../robot.hpp"
#include "../../sin_cos.hpp"
#include "../checks.hpp"
#include "../kinematics/chain.hpp"
#include "articulated.hpp"
#include "fused.hpp"
#include "pairs.hpp"
#include "spatial.hpp"

namespace vormek {

namespace {

// x + y·s
inline Pairs plus_scaled(const Pairs& x, const Pairs& y, double s) {
    return {{x.r[0] + y.r[0] * s, x.r[1] + y.r[1] * s, x.r[2] + y.r[2] * s}};
}

}  // namespace

namespace {

[[gnu::always_inline]] inline void solve_body(const Model& model, std::span<const Vector6d> S,
    std::span<const Vector6d> U, std::span<const double> D, Workspace& ws, std::span<double> B, double scale) {
    const std::size_t n = model.dof_count(), width = 6 * n;
    const std::vector<std::size_t>& parents = model.body_parents;
    const std::span<const std::size_t> slot = ws.block_slot;
    double* block = ws.articulated_block.data();
    std::span<unsigned char> started = ws.block_started;
    if (B.size() != n * n || ws.articulated_block.size() < width * (n + 1) || started.size() < n ||
        slot.size() != n + 1)
        panic("articulated solve does not fit the model");
    std::fill_n(started.begin(), n, 0);

    // leaf to root: each row from its bias forces, which then join the parent's; the first
    // child to arrive writes the parent's block (in place when it is its own), the others add
    for (std::size_t i = n; i-- > 0;) {
        double* row = B.data() + i * n;
        const double* P = block + slot[i + 1] * width;
        const Pairs Si = load_pairs(S[i].data());
        const double inverse_D = 1.0 / D[i];
        if (started[i])
            for (std::size_t j = 0; j < n; ++j)
                row[j] = (scale * row[j] - dot(Si, load_pairs(P + 6 * j))) * inverse_D;
        else
            for (std::size_t j = 0; j < n; ++j) row[j] = scale * row[j] * inverse_D;
        const std::size_t parent = parents[i];
        if (parent == 0) continue;
        double* Pp = block + slot[parent] * width;
        const Pairs Ui = load_pairs(U[i].data());
        const bool own = started[i], first = !started[parent - 1];
        started[parent - 1] = 1;
        for (std::size_t j = 0; j < n; ++j) {
            const Pairs x = plus_scaled(own ? load_pairs(P + 6 * j) : Pairs{}, Ui, row[j]);
            store_pairs(first ? x : plus_scaled(load_pairs(Pp + 6 * j), x, 1.0), Pp + 6 * j);
        }
    }

    // root to leaf: what the parent's acceleration takes from each row; the block now holds
    // the accelerations (a child of the fixed root starts from rest), the last child's over
    // its parent's once its siblings have read them
    for (std::size_t i = 0; i < n; ++i) {
        double* row = B.data() + i * n;
        double* Ai = block + slot[i + 1] * width;
        const Pairs Si = load_pairs(S[i].data());
        const std::size_t parent = parents[i];
        // a leaf's accelerations nobody reads
        const bool leaf = ws.subtree_end[i] == ws.dfs_position[i] + 1;
        if (parent == 0) {
            if (!leaf)
                for (std::size_t j = 0; j < n; ++j) store_pairs(plus_scaled(Pairs{}, Si, row[j]), Ai + 6 * j);
            continue;
        }
        const double* Ap = block + slot[parent] * width;
        const Pairs Ui = load_pairs(U[i].data());
        const double inverse_D = 1.0 / D[i];
        for (std::size_t j = 0; j < n; ++j) {
            const Pairs Aj = load_pairs(Ap + 6 * j);
            row[j] -= dot(Ui, Aj) * inverse_D;
            if (!leaf) store_pairs(plus_scaled(Aj, Si, row[j]), Ai + 6 * j);
        }
    }
}

#ifdef VORMEK_FUSED_KERNELS
VORMEK_FUSED void fused_solve(const Model& model, std::span<const Vector6d> S, std::span<const Vector6d> U,
    std::span<const double> D, Workspace& ws, std::span<double> B, double scale) {
    return solve_body(model, S, U, D, ws, B, scale);
}
#endif

}  // namespace

void articulated_solve(const Model& model, std::span<const Vector6d> S, std::span<const Vector6d> U,
                       std::span<const double> D, Workspace& ws, std::span<double> B, double scale) {
#ifdef VORMEK_FUSED_KERNELS
    if (fused_kernels()) return fused_solve(model, S, U, D, ws, B, scale);
#endif
    return solve_body(model, S, U, D, ws, B, scale);
}

void depth_first(const Model& model, Workspace& ws) {
    const std::size_t n = model.dof_count();
    const std::vector<std::size_t>& parents = model.body_parents;
    std::span<std::size_t> order = ws.dfs_order, position = ws.dfs_position, end = ws.subtree_end,
                           begin = ws.component_begin, reach = ws.component_end;
    if (order.size() != n || position.size() != n || end.size() != n || begin.size() != n || reach.size() != n)
        panic("depth-first workspace does not fit the model");
    if (ws.depth_first_ready) return;
    // subtree sizes, leaf to root
    std::ranges::fill(end, 1);
    for (std::size_t k = n; k-- > 0;)
        if (parents[k] != 0) end[parents[k] - 1] += end[k];
    // root to leaf, each body takes the next free position in its parent's run (reach holds
    // the next free position inside each body's own run meanwhile); end becomes a position
    std::size_t next_root = 0;
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t& next = parents[k] == 0 ? next_root : reach[parents[k] - 1];
        position[k] = next;
        next += end[k];
        reach[k] = position[k] + 1;
        end[k] += position[k];
        order[position[k]] = k;
    }
    // each body's part: the run of the root's child it hangs from
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t parent = parents[k];
        begin[k] = parent == 0 ? position[k] : begin[parent - 1];
        reach[k] = parent == 0 ? end[k] : reach[parent - 1];
    }
    // a body's block goes on to its last child, which of its children comes first leaf to root
    // and last root to leaf, and which may therefore overwrite it in place: one block serves a
    // whole path, one per leaf is in use, and a chain's stays in cache
    std::span<std::size_t> slot = ws.block_slot;
    if (slot.size() != n + 1) panic("depth-first workspace does not fit the model");
    const std::size_t none = n + 1;
    std::ranges::fill(slot, none);
    std::size_t slots = 0;
    for (std::size_t k = n; k-- > 0;) {
        if (slot[k + 1] == none) slot[k + 1] = slots++;
        if (slot[parents[k]] == none) slot[parents[k]] = slot[k + 1];
    }
    if (slot[0] == none) slot[0] = slots;
    ws.depth_first_ready = true;
}

namespace {

// K = A⁻¹ for a symmetric positive definite 6 × 6 A kept in its upper triangle, by Cholesky;
// false when a pivot is not positive or a value not finite.
bool invert_spd6(const Matrix6d& A, double K[6][6]) {
    double L[6][6] = {};
    for (int j = 0; j < 6; ++j) {
        double x = A(j, j);
        for (int i = 0; i < j; ++i) x -= L[j][i] * L[j][i];
        if (!(x > 0)) return false;
        L[j][j] = std::sqrt(x);
        for (int r = j + 1; r < 6; ++r) {
            double y = A(j, r);
            for (int i = 0; i < j; ++i) y -= L[r][i] * L[j][i];
            L[r][j] = y / L[j][j];
        }
    }
    // column c of A⁻¹: L·y = e_c, then Lᵀ·k = y
    bool finite = true;
    for (int c = 0; c < 6; ++c) {
        double y[6];
        for (int r = 0; r < 6; ++r) {
            double t = r == c ? 1.0 : 0.0;
            for (int i = 0; i < r; ++i) t -= L[r][i] * y[i];
            y[r] = t / L[r][r];
        }
        for (int r = 6; r-- > 0;) {
            double t = y[r];
            for (int i = r + 1; i < 6; ++i) t -= L[i][r] * K[i][c];
            K[r][c] = t / L[r][r];
            finite = finite && std::isfinite(K[r][c]);
        }
    }
    return finite;
}

}  // namespace

namespace {

[[gnu::always_inline]] inline bool inverse_body(const Model& model, std::span<const Vector6d> S,
    std::span<const Vector6d> U, std::span<const double> D, const Matrix6d* root, Workspace& ws,
    std::span<double> out) {
    const std::size_t n = model.dof_count(), off = root ? 6 : 0, N = n + off, width = 6 * N;
    const std::vector<std::size_t>& parents = model.body_parents;
    if (out.size() != N * N || ws.articulated_block.size() < width * (n + 1))
        panic("articulated inverse does not fit the model");
    depth_first(model, ws);
    const std::span<const std::size_t> order = ws.dfs_order, position = ws.dfs_position, end = ws.subtree_end,
                                       reach = ws.component_end, slot = ws.block_slot;
    double* block = ws.articulated_block.data();
    double* root_block = block + slot[0] * width;
    // bodies on different children of a fixed root do not move each other
    std::ranges::fill(out, 0.0);

    // leaf to root over the subtree's columns (block columns are the base's, then depth-first
    // positions, so a subtree's are one run, and each child writes its own part of its
    // parent's block): row i is (e_i − S_iᵀ·P_i) / D_i
    for (std::size_t i = n; i-- > 0;) {
        double* row = out.data() + (off + i) * N;
        const double* P = block + slot[i + 1] * width;
        const Pairs Si = load_pairs(S[i].data()), Ui = load_pairs(U[i].data());
        const double inverse_D = 1.0 / D[i];
        const std::size_t a = off + position[i], e = off + end[i], parent = parents[i];
        row[off + i] = inverse_D;
        if (parent == 0 && !root) {
            for (std::size_t t = a + 1; t < e; ++t)
                row[off + order[t - off]] = -dot(Si, load_pairs(P + 6 * t)) * inverse_D;
            continue;
        }
        double* Pp = block + slot[parent] * width;
        store_pairs(plus_scaled(Pairs{}, Ui, inverse_D), Pp + 6 * a);
        for (std::size_t t = a + 1; t < e; ++t) {
            const Pairs Pt = load_pairs(P + 6 * t);
            const double x = -dot(Si, Pt) * inverse_D;
            row[off + order[t - off]] = x;
            store_pairs(plus_scaled(Pt, Ui, x), Pp + 6 * t);
        }
    }

    // a floating root: its rows are (I^A_0)⁻¹·(e_b − P_0), and then its block the same values
    if (root) {
        double K[6][6];
        if (!invert_spd6(*root, K)) return false;
        for (int b = 0; b < 6; ++b)
            for (int c = 0; c < 6; ++c) out[b * N + c] = K[b][c], root_block[6 * c + b] = K[b][c];
        for (std::size_t t = off; t < N; ++t) {
            double* P = root_block + 6 * t;
            double x[6];
            for (int b = 0; b < 6; ++b) x[b] = -dot6(K[b], P);
            for (int b = 0; b < 6; ++b) out[b * N + off + order[t - off]] = x[b], P[b] = x[b];
        }
    }

    // root to leaf over the columns from body i's position to the end of its part (the upper
    // triangle in depth-first order), each value mirrored; the last child's block over its
    // parent's once its siblings have read it, a leaf's not at all: nobody reads it
    for (std::size_t i = 0; i < n; ++i) {
        double* row = out.data() + (off + i) * N;
        double* Ai = block + slot[i + 1] * width;
        const Pairs Si = load_pairs(S[i].data());
        const std::size_t parent = parents[i], a = off + position[i], e = root ? N : off + reach[i];
        const bool leaf = end[i] == position[i] + 1;
        if (parent != 0 || root) {
            const double* Ap = block + slot[parent] * width;
            const Pairs Ui = load_pairs(U[i].data());
            const double inverse_D = 1.0 / D[i];
            for (std::size_t t = a; t < e; ++t) {
                const Pairs At = load_pairs(Ap + 6 * t);
                double& x = row[off + order[t - off]];
                x -= dot(Ui, At) * inverse_D;
                if (!leaf) store_pairs(plus_scaled(At, Si, x), Ai + 6 * t);
            }
            // the base columns of a floating robot's joint rows come from the base rows
            for (std::size_t b = 0; b < off; ++b) row[b] = out[b * N + off + i];
        } else if (!leaf) {
            for (std::size_t t = a; t < e; ++t) store_pairs(plus_scaled(Pairs{}, Si, row[off + order[t - off]]), Ai + 6 * t);
        }
        for (std::size_t t = a + 1; t < e; ++t) out[(off + order[t - off]) * N + off + i] = row[off + order[t - off]];
    }
    return true;
}

#ifdef VORMEK_FUSED_KERNELS
VORMEK_FUSED bool fused_inverse(const Model& model, std::span<const Vector6d> S, std::span<const Vector6d> U,
    std::span<const double> D, const Matrix6d* root, Workspace& ws, std::span<double> out) {
    return inverse_body(model, S, U, D, root, ws, out);
}
#endif

}  // namespace

bool articulated_inverse(const Model& model, std::span<const Vector6d> S, std::span<const Vector6d> U,
                         std::span<const double> D, const Matrix6d* root, Workspace& ws, std::span<double> out) {
#ifdef VORMEK_FUSED_KERNELS
    if (fused_kernels()) return fused_inverse(model, S, U, D, root, ws, out);
#endif
    return inverse_body(model, S, U, D, root, ws, out);
}

namespace {

// G quads summed at once: eight in the sixteen registers of the fused build; 0 for the
// portable one's loops.
template <std::size_t G>
[[gnu::always_inline]] inline void product_body(const Model& model, bool floating, const Workspace& ws,
    std::span<const double> inverse, std::span<const double> from, std::span<double> B, std::span<double> C) {
    const std::size_t n = model.dof_count(), off = floating ? 6 : 0, N = n + off;
    if (B.size() != N * N || C.size() != N * N || inverse.size() != N * N || from.size() < 2 * N * N + 3)
        panic("articulated product does not fit the model");
    const std::span<const std::size_t> order = ws.dfs_order, begin = ws.component_begin, reach = ws.component_end;
    // row i of −M⁻¹·X sums the rows of X in i's part (a floating robot is one part), four
    // columns at a time and G such quads at once held in registers over the whole sum: a
    // row of a small robot is a few quads, a sum kept in memory would store and load it again
    // for every term, and fewer sums would wait on each other's multiply-adds. A group short
    // of G repeats its last quad, which is not stored again; the last quad of a row reads up to three values past it (the next row's, or the
    // room `from` keeps after its last row), which are never stored.
    if constexpr (G == 0) {
        // the portable build: quads of registers it does not have cost more than a sum kept
        // in the output row, which it vectorises by pairs
        for (std::size_t i = 0; i < N; ++i) {
            const double* m = inverse.data() + i * N;
            const std::size_t first = floating ? 0 : begin[i], last = floating ? N : reach[i];
            for (std::size_t b = 0; b < 2; ++b) {
                double* __restrict y = (b ? C : B).data() + i * N;
                const double* x = from.data() + b * N * N;
                std::fill_n(y, N, 0.0);
                for (std::size_t t = first; t < last; ++t) {
                    const std::size_t k = floating ? t : order[t];
                    const double mk = m[k];
                    for (std::size_t j = 0; j < N; ++j) y[j] -= mk * x[k * N + j];
                }
            }
        }
    } else {
        const std::size_t quads = (N + 3) / 4, all = 2 * quads;
        for (std::size_t g = 0; g < all; g += G) {
            // the group's quads: of X (b = 0) or Y (b = 1), from column j, the last one repeated
            std::size_t b[G], j[G];
            const double* x[G];
            for (std::size_t h = 0, quad = g; h < G; ++h, quad = std::min(quad + 1, all - 1)) {
                b[h] = quad >= quads;
                j[h] = 4 * (quad - b[h] * quads);
                x[h] = from.data() + b[h] * N * N + j[h];
            }
            const std::size_t count = std::min(G, all - g);
            for (std::size_t i = 0; i < N; ++i) {
                const double* m = inverse.data() + i * N;
                const std::size_t first = floating ? 0 : begin[i], last = floating ? N : reach[i];
                Lanes4 sum[G] = {};
                for (std::size_t t = first; t < last; ++t) {
                    const std::size_t k = floating ? t : order[t];
                    const double mk = m[k];
                    for (std::size_t h = 0; h < G; ++h) {
                        Lanes4 xk;
                        __builtin_memcpy(&xk, x[h] + k * N, sizeof xk);
                        sum[h] -= mk * xk;
                    }
                }
                for (std::size_t h = 0; h < count; ++h) {
                    double* y = (b[h] ? C : B).data() + i * N + j[h];
                    if (j[h] + 4 <= N)
                        __builtin_memcpy(y, &sum[h], sizeof sum[h]);
                    else
                        for (std::size_t r = 0; r < N - j[h]; ++r) y[r] = sum[h][r];
                }
            }
        }
    }
}

#ifdef VORMEK_FUSED_KERNELS
VORMEK_FUSED void fused_product(const Model& model, bool floating, const Workspace& ws,
    std::span<const double> inverse, std::span<const double> from, std::span<double> B, std::span<double> C) {
    return product_body<8>(model, floating, ws, inverse, from, B, C);
}
#endif

}  // namespace

void articulated_product(const Model& model, bool floating, const Workspace& ws, std::span<const double> inverse,
                         std::span<const double> from, std::span<double> B, std::span<double> C) {
#ifdef VORMEK_FUSED_KERNELS
    if (fused_kernels()) return fused_product(model, floating, ws, inverse, from, B, C);
#endif
    return product_body<0>(model, floating, ws, inverse, from, B, C);
}

bool product_is_cheaper(const Model& model, bool floating, const Workspace& ws) {
    // the product costs Σ (part size)² · n multiply-adds, four at a time, the solve some 24·n²
    // operations per block, two at a time; measured on chains, the product is the cheaper at
    // 64 bodies and costs 1.7 times the solve's at 128 (a floating base has the product only)
    if (floating) return true;
    const std::size_t n = model.dof_count();
    std::size_t work = 0;
    for (std::size_t k = 0; k < n; ++k) work += ws.component_end[k] - ws.component_begin[k];
    return work <= 64 * n;
}

namespace {

[[gnu::always_inline]] inline Result<void> articulated_inertias_body(const Model& model, bool floating,
    const Quaterniond& base_rotation, std::span<const double> q, Workspace& ws, std::span<double> out) {
    const std::size_t J = model.joint_count(), n = model.dof_count(), N = n + (floating ? 6 : 0);
    VORMEK_CHECK(check_joint_vector(q, n, "q"));
    VORMEK_CHECK(check_length(out, N * N, "mass matrix inverse output"));
    std::span<Transform> T = ws.transforms;
    std::span<Vector6d> S = ws.motion_columns, U = ws.U;
    std::span<Matrix6d> IA = ws.IA;
    std::span<double> D = ws.D;
    if (T.size() != J || S.size() != J || U.size() != J || IA.size() != J || D.size() != J)
        panic("mass matrix inverse workspace does not fit the model");
    const Transform root = reference_root(floating, base_rotation);
    // the articulated inertias whole, in pairs of lanes, as forward dynamics keeps them
    Matrix6d IA0;
    if (floating) {
        double m;
        Vector3d h;
        Matrix3d I;
        place_body_inertia(model.body_inertials[0], body_rows(root), m, h, I);
        place_articulated(m, h, I, IA0);
    }

    // root to leaf: poses (each subtree of a fixed root about its first body's origin,
    // reference_root), motion columns and each body's own spatial inertia
    walk_tree(
        model, q, root, T,
        [&](std::size_t k, const Transform& X, const BodyRows& pose) __attribute__((always_inline)) {
            double Sk[6];
            motion_column(model.body_joints[k], X, Sk);
            store_pairs(pairs_of(Sk), S[k].data());
            double m;
            Vector3d h;
            Matrix3d I;
            place_body_inertia(model.body_inertials[k + 1], pose, m, h, I);
            place_articulated(m, h, I, IA[k]);
        },
        !floating);

    // leaf to root: articulate each subtree through its joint into its parent
    for (std::size_t k = n; k-- > 0;) {
        Pairs IAk[6];
        for (int col = 0; col < 6; ++col) IAk[col] = load_pairs(&IA[k](0, col));
        const double* Sk = S[k].data();
        const Pairs Uk = times(IAk, Sk);
        store_pairs(Uk, U[k].data());
        const double Dk = dot(load_pairs(Sk), Uk);
        if (!(std::isfinite(Dk) && Dk > 0)) return fail(errors::ForwardDynamicsSingularJointInertia{k});
        D[k] = Dk;
        const std::size_t parent = model.body_parents[k];
        if (parent == 0 && !floating) continue;
        articulate_pairs(IAk, Uk, 1.0 / Dk, parent == 0 ? IA0.data() : IA[parent - 1].data());
    }

    if (!articulated_inverse(model, S, U, D, floating ? &IA0 : nullptr, ws, out))
        return fail(errors::ForwardDynamicsSingularBaseInertia{});
    return {};
}

#ifdef VORMEK_FUSED_KERNELS
VORMEK_FUSED Result<void> fused_articulated_inertias(const Model& model, bool floating,
    const Quaterniond& base_rotation, std::span<const double> q, Workspace& ws, std::span<double> out) {
    return articulated_inertias_body(model, floating, base_rotation, q, ws, out);
}
#endif

}  // namespace

Result<void> Model::mass_matrix_inverse(bool floating, const Quaterniond& base_rotation, std::span<const double> q,
                                        Workspace& ws, std::span<double> out) const {
#ifdef VORMEK_FUSED_KERNELS
    if (fused_kernels()) return fused_articulated_inertias(*this, floating, base_rotation, q, ws, out);
#endif
    return articulated_inertias_body(*this, floating, base_rotation, q, ws, out);
}

Result<void> Robot::mass_matrix_inverse(std::span<const double> q, std::span<double> out) {
    return model_->mass_matrix_inverse(false, base_frame_.rotation, q, workspace_, out);
}

Result<void> FloatingRobot::mass_matrix_inverse(const BaseState& base, std::span<const double> q,
                                                std::span<double> out) {
    return model_->mass_matrix_inverse(true, base.frame().rotation, q, workspace_, out);
}

}  // namespace vormek
