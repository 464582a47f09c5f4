// Each method names its arguments and the core call of one row, as in methods.cpp; a floating
// batch takes `frames` first, and `velocities` too where the computation reads the base's motion.

#include "centroidal.hpp"

#include "batch.hpp"

namespace vormek::py::batch {

namespace {

// A row of (rows, m) in row order from the core's matrix, column by column in the row scratch.
template <std::size_t Rows>
RowResult transpose(RowResult done, std::span<const double> columns, double* out) {
    if (!done) return done;
    const std::size_t m = columns.size() / Rows;
    // row by row, so that the writes into the batch array run in order
    for (std::size_t a = 0; a < Rows; ++a)
        for (std::size_t k = 0; k < m; ++k) out[a * m + k] = columns[Rows * k + a];
    return {};
}

}  // namespace

template <class Handle>
PyObject* center_of_mass(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = method_signature<Handle, 1>("center_of_mass", {"Q", "out"}, 1);
    Method<Handle, 1> c(self);
    BatchInput q;
    BatchOutput out;
    if (!c.bind(sig, args, nargs, kwnames) || !c.input(0, q) || !c.output(1, out, {c.rows(), 3})) return nullptr;
    const std::size_t n = c.joint_count();
    return c.run(std::array{&q}, std::array{&out}, [&](Handle& h, const Row& r, const auto&... base) {
        return lift(h.center_of_mass(base..., r.in(0, n), r.out(0, 3)));
    });
}

template <class Handle>
PyObject* center_of_mass_velocity(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = method_signature<Handle, 2>("center_of_mass_velocity", {"Q", "QD", "out"}, 2);
    Method<Handle, 2> c(self);
    BatchInput q, qd;
    BatchOutput out;
    if (!c.bind(sig, args, nargs, kwnames) || !c.input(0, q) || !c.input(1, qd) || !c.output(2, out, {c.rows(), 3}))
        return nullptr;
    const std::size_t n = c.joint_count();
    return c.run(std::array{&q, &qd}, std::array{&out}, [&](Handle& h, const Row& r, const auto&... base) {
        return lift(h.center_of_mass_velocity(base..., r.in(0, n), r.in(1, n), r.out(0, 3)));
    });
}

template <class Handle>
PyObject* center_of_mass_jacobian(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = method_signature<Handle, 1>("center_of_mass_jacobian", {"Q", "out"}, 1);
    Method<Handle, 1> c(self);
    BatchInput q;
    BatchOutput out;
    const auto m = static_cast<npy_intp>(c.generalized_count());
    if (!c.bind(sig, args, nargs, kwnames) || !c.input(0, q) || !c.output(1, out, {c.rows(), 3, m})) return nullptr;
    const std::size_t n = c.joint_count(), size = 3 * c.generalized_count();
    return c.run(std::array{&q}, std::array{&out}, [&](Handle& h, const Row& r, const auto&... base) {
        const std::span<double> J = r.scratch(size);
        return transpose<3>(lift(h.center_of_mass_jacobian(base..., r.in(0, n), J)), J, r.out(0));
    });
}

template <class Handle>
PyObject* momentum(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = method_signature<Handle, 2>("momentum", {"Q", "QD", "out"}, 2);
    Method<Handle, 2> c(self);
    BatchInput q, qd;
    BatchOutput out;
    if (!c.bind(sig, args, nargs, kwnames) || !c.input(0, q) || !c.input(1, qd) || !c.output(2, out, {c.rows(), 6}))
        return nullptr;
    const std::size_t n = c.joint_count();
    return c.run(std::array{&q, &qd}, std::array{&out}, [&](Handle& h, const Row& r, const auto&... base) {
        auto h_ = h.momentum(base..., r.in(0, n), r.in(1, n));
        if (!h_) return lift(std::move(h_));
        double* row = r.out(0);
        for (int i = 0; i < 3; ++i) row[i] = h_->angular[i], row[3 + i] = h_->linear[i];
        return RowResult{};
    });
}

template <class Handle>
PyObject* centroidal_momentum_matrix(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = method_signature<Handle, 1>("centroidal_momentum_matrix", {"Q", "out"}, 1);
    Method<Handle, 1> c(self);
    BatchInput q;
    BatchOutput out;
    const auto m = static_cast<npy_intp>(c.generalized_count());
    if (!c.bind(sig, args, nargs, kwnames) || !c.input(0, q) || !c.output(1, out, {c.rows(), 6, m})) return nullptr;
    const std::size_t n = c.joint_count(), size = 6 * c.generalized_count();
    return c.run(std::array{&q}, std::array{&out}, [&](Handle& h, const Row& r, const auto&... base) {
        const std::span<double> A = r.scratch(size);
        return transpose<6>(lift(h.centroidal_momentum_matrix(base..., r.in(0, n), A)), A, r.out(0));
    });
}

template <class Handle>
PyObject* kinetic_energy(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = method_signature<Handle, 2>("kinetic_energy", {"Q", "QD", "out"}, 2);
    Method<Handle, 2> c(self);
    BatchInput q, qd;
    BatchOutput out;
    if (!c.bind(sig, args, nargs, kwnames) || !c.input(0, q) || !c.input(1, qd) || !c.output(2, out, {c.rows()}))
        return nullptr;
    const std::size_t n = c.joint_count();
    return c.run(std::array{&q, &qd}, std::array{&out}, [&](Handle& h, const Row& r, const auto&... base) {
        auto energy = h.kinetic_energy(base..., r.in(0, n), r.in(1, n));
        if (!energy) return lift(std::move(energy));
        *r.out(0) = *energy;
        return RowResult{};
    });
}

template <class Handle>
PyObject* potential_energy(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = method_signature<Handle, 1>("potential_energy", {"Q", "out"}, 1);
    Method<Handle, 1> c(self);
    BatchInput q;
    BatchOutput out;
    if (!c.bind(sig, args, nargs, kwnames) || !c.input(0, q) || !c.output(1, out, {c.rows()})) return nullptr;
    const std::size_t n = c.joint_count();
    return c.run(std::array{&q}, std::array{&out}, [&](Handle& h, const Row& r, const auto&... base) {
        auto energy = h.potential_energy(base..., r.in(0, n));
        if (!energy) return lift(std::move(energy));
        *r.out(0) = *energy;
        return RowResult{};
    });
}

#define VORMEK_BOTH_BASES(method)                                                                             \
    template PyObject* method<Robot>(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);                    \
    template PyObject* method<FloatingRobot>(PyObject*, PyObject* const*, Py_ssize_t, PyObject*)
VORMEK_BOTH_BASES(center_of_mass);
VORMEK_BOTH_BASES(center_of_mass_velocity);
VORMEK_BOTH_BASES(center_of_mass_jacobian);
VORMEK_BOTH_BASES(momentum);
VORMEK_BOTH_BASES(centroidal_momentum_matrix);
VORMEK_BOTH_BASES(kinetic_energy);
VORMEK_BOTH_BASES(potential_energy);
#undef VORMEK_BOTH_BASES

}  // namespace vormek::py::batch
