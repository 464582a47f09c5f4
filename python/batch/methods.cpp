// Each method names its arguments and the core call of one row; the floating-base versions
// take the base arrays first and hand the row's BaseState to the core call.

#include "methods.hpp"

#include "batch.hpp"

namespace vormek::py::batch {

namespace {

inline constexpr std::span<const Load> no_loads{};

}  // namespace

template <class Handle>
PyObject* forward_kinematics(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = method_signature<Handle, 1>("forward_kinematics", {"Q", "target", "out"}, 2);
    Method<Handle, 1> c(self);
    BatchInput q;
    BatchOutput positions, quaternions;
    LinkId link;
    if (!c.bind(sig, args, nargs, kwnames) || !c.input(0, q) || !c.target(1, link) ||
        !c.outputs(2, positions, {c.rows(), 3}, quaternions, {c.rows(), 4}))
        return nullptr;
    const std::size_t n = c.joint_count();
    return c.run(std::array{&q}, std::array{&positions, &quaternions},
                 [&](Handle& h, const Row& r, const auto&... base) -> RowResult {
                     auto pose = h.forward_kinematics(base..., r.in(0, n), link);
                     if (!pose) return lift(std::move(pose));
                     double* t = r.out(0);
                     double* x = r.out(1);
                     for (int i = 0; i < 3; ++i) t[i] = pose->translation[i];
                     x[0] = pose->rotation.x(), x[1] = pose->rotation.y(), x[2] = pose->rotation.z();
                     x[3] = pose->rotation.w();
                     return {};
                 });
}

template <class Handle>
PyObject* jacobian(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = method_signature<Handle, 1>("jacobian", {"Q", "target", "out"}, 2);
    Method<Handle, 1> c(self);
    BatchInput q;
    BatchOutput out;
    LinkId link;
    const auto m = static_cast<npy_intp>(c.generalized_count());
    if (!c.bind(sig, args, nargs, kwnames) || !c.input(0, q) || !c.target(1, link) ||
        !c.output(2, out, {c.rows(), 6, m}))
        return nullptr;
    const std::size_t n = c.joint_count(), columns = c.generalized_count();
    return c.run(std::array{&q}, std::array{&out}, [&](Handle& h, const Row& r, const auto&... base) -> RowResult {
        // the core writes column by column; a batch row is the 6 × m matrix in row order
        const std::span<double> J = r.scratch(6 * columns);
        if (RowResult done = lift(h.jacobian(base..., r.in(0, n), link, J)); !done) return done;
        double* row = r.out(0);
        for (std::size_t k = 0; k < columns; ++k)
            for (std::size_t a = 0; a < 6; ++a) row[a * columns + k] = J[6 * k + a];
        return {};
    });
}

template <class Handle>
PyObject* mass_matrix(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = method_signature<Handle, 1>("mass_matrix", {"Q", "out"}, 1);
    Method<Handle, 1> c(self);
    BatchInput q;
    BatchOutput out;
    const auto m = static_cast<npy_intp>(c.generalized_count());
    if (!c.bind(sig, args, nargs, kwnames) || !c.input(0, q) || !c.output(1, out, {c.rows(), m, m})) return nullptr;
    const std::size_t n = c.joint_count(), size = c.generalized_count() * c.generalized_count();
    return c.run(std::array{&q}, std::array{&out}, [&](Handle& h, const Row& r, const auto&... base) {
        return lift(h.mass_matrix(base..., r.in(0, n), r.out(0, size)));
    });
}

template <class Handle>
PyObject* gravity(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = method_signature<Handle, 1>("gravity", {"Q", "out"}, 1);
    Method<Handle, 1> c(self);
    BatchInput q;
    BatchOutput out;
    const auto m = static_cast<npy_intp>(c.generalized_count());
    if (!c.bind(sig, args, nargs, kwnames) || !c.input(0, q) || !c.output(1, out, {c.rows(), m})) return nullptr;
    const std::size_t n = c.joint_count();
    return c.run(std::array{&q}, std::array{&out}, [&](Handle& h, const Row& r, const auto&... base) {
        return lift(h.gravity(base..., r.in(0, n), no_loads, r.out(0, static_cast<std::size_t>(m))));
    });
}

template <class Handle>
PyObject* velocity_product_forces(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = method_signature<Handle, 2>("velocity_product_forces", {"Q", "QD", "out"}, 2);
    Method<Handle, 2> c(self);
    BatchInput q, qd;
    BatchOutput out;
    const auto m = static_cast<npy_intp>(c.generalized_count());
    if (!c.bind(sig, args, nargs, kwnames) || !c.input(0, q) || !c.input(1, qd) || !c.output(2, out, {c.rows(), m}))
        return nullptr;
    const std::size_t n = c.joint_count();
    return c.run(std::array{&q, &qd}, std::array{&out}, [&](Handle& h, const Row& r, const auto&... base) {
        return lift(h.velocity_product_forces(base..., r.in(0, n), r.in(1, n), r.out(0, static_cast<std::size_t>(m))));
    });
}

template <class Handle>
PyObject* inverse_dynamics(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = method_signature<Handle, 3>("inverse_dynamics", {"Q", "QD", "QDD", "out"}, 3);
    Method<Handle, 3> c(self);
    BatchInput q, qd, qdd;
    BatchOutput out;
    const auto m = static_cast<npy_intp>(c.generalized_count());
    if (!c.bind(sig, args, nargs, kwnames) || !c.input(0, q) || !c.input(1, qd) || !c.input(2, qdd) ||
        !c.output(3, out, {c.rows(), m}))
        return nullptr;
    const std::size_t n = c.joint_count();
    return c.run(std::array{&q, &qd, &qdd}, std::array{&out}, [&](Handle& h, const Row& r, const auto&... base) {
        return lift(h.inverse_dynamics(base..., r.in(0, n), r.in(1, n), r.in(2, n), no_loads,
                                       r.out(0, static_cast<std::size_t>(m))));
    });
}

template <class Handle>
PyObject* forward_dynamics(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = method_signature<Handle, 2>("forward_dynamics", {"Q", "QD", "TAU", "out"}, 3);
    Method<Handle, 2> c(self);
    BatchInput q, qd, tau;
    BatchOutput out;
    const auto m = static_cast<npy_intp>(c.generalized_count());
    if (!c.bind(sig, args, nargs, kwnames) || !c.input(0, q) || !c.input(1, qd) ||
        !c.input(2, tau, c.generalized_count()) || !c.output(3, out, {c.rows(), m}))
        return nullptr;
    const std::size_t n = c.joint_count();
    return c.run(std::array{&q, &qd, &tau}, std::array{&out}, [&](Handle& h, const Row& r, const auto&... base) {
        const auto size = static_cast<std::size_t>(m);
        return lift(h.forward_dynamics(base..., r.in(0, n), r.in(1, n), r.in(2, size), no_loads, r.out(0, size)));
    });
}

#define VORMEK_BOTH_BASES(method)                                                                             \
    template PyObject* method<Robot>(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);                    \
    template PyObject* method<FloatingRobot>(PyObject*, PyObject* const*, Py_ssize_t, PyObject*)
VORMEK_BOTH_BASES(forward_kinematics);
VORMEK_BOTH_BASES(jacobian);
VORMEK_BOTH_BASES(mass_matrix);
VORMEK_BOTH_BASES(gravity);
VORMEK_BOTH_BASES(velocity_product_forces);
VORMEK_BOTH_BASES(inverse_dynamics);
VORMEK_BOTH_BASES(forward_dynamics);
#undef VORMEK_BOTH_BASES

}  // namespace vormek::py::batch
