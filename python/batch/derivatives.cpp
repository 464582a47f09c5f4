// Each method names its arguments and the core call of one row, as methods.cpp does; a row of
// each output is one state's matrix (or vector) in the single-state layout.

#include "derivatives.hpp"

#include "batch.hpp"

namespace vormek::py::batch {

template <class Handle>
PyObject* inverse_dynamics_derivatives(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = method_signature<Handle, 3>("inverse_dynamics_derivatives", {"Q", "QD", "QDD", "out"}, 3);
    Method<Handle, 3> c(self);
    BatchInput q, qd, qdd;
    BatchOutput dq, dv, tau;
    const auto m = static_cast<npy_intp>(c.generalized_count());
    if (!c.bind(sig, args, nargs, kwnames) || !c.input(0, q) || !c.input(1, qd) || !c.input(2, qdd) ||
        !c.outputs(3, dq, {c.rows(), m, m}, dv, {c.rows(), m, m}, tau, {c.rows(), m}))
        return nullptr;
    const std::size_t n = c.joint_count(), size = c.generalized_count();
    return c.run(std::array{&q, &qd, &qdd}, std::array{&dq, &dv, &tau},
                 [&](Handle& h, const Row& r, const auto&... base) {
                     return lift(h.inverse_dynamics_derivatives(base..., r.in(0, n), r.in(1, n), r.in(2, n), {},
                                                                r.out(0, size * size), r.out(1, size * size),
                                                                r.out(2, size)));
                 });
}

template <class Handle>
PyObject* forward_dynamics_derivatives(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = method_signature<Handle, 2>("forward_dynamics_derivatives", {"Q", "QD", "TAU", "out"}, 3);
    Method<Handle, 2> c(self);
    BatchInput q, qd, tau;
    BatchOutput dq, dv, inverse;
    const auto m = static_cast<npy_intp>(c.generalized_count());
    if (!c.bind(sig, args, nargs, kwnames) || !c.input(0, q) || !c.input(1, qd) ||
        !c.input(2, tau, c.generalized_count()) ||
        !c.outputs(3, dq, {c.rows(), m, m}, dv, {c.rows(), m, m}, inverse, {c.rows(), m, m}))
        return nullptr;
    const std::size_t n = c.joint_count(), size = c.generalized_count();
    return c.run(std::array{&q, &qd, &tau}, std::array{&dq, &dv, &inverse},
                 [&](Handle& h, const Row& r, const auto&... base) {
                     return lift(h.forward_dynamics_derivatives(base..., r.in(0, n), r.in(1, n), r.in(2, size), {},
                                                                r.out(0, size * size), r.out(1, size * size),
                                                                r.out(2, size * size)));
                 });
}

template <class Handle>
PyObject* mass_matrix_inverse(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = method_signature<Handle, 1>("mass_matrix_inverse", {"Q", "out"}, 1);
    Method<Handle, 1> c(self);
    BatchInput q;
    BatchOutput out;
    const auto m = static_cast<npy_intp>(c.generalized_count());
    if (!c.bind(sig, args, nargs, kwnames) || !c.input(0, q) || !c.output(1, out, {c.rows(), m, m})) return nullptr;
    const std::size_t n = c.joint_count(), size = c.generalized_count() * c.generalized_count();
    return c.run(std::array{&q}, std::array{&out}, [&](Handle& h, const Row& r, const auto&... base) {
        return lift(h.mass_matrix_inverse(base..., r.in(0, n), r.out(0, size)));
    });
}

#define VORMEK_BOTH_BASES(method)                                                          \
    template PyObject* method<Robot>(PyObject*, PyObject* const*, Py_ssize_t, PyObject*); \
    template PyObject* method<FloatingRobot>(PyObject*, PyObject* const*, Py_ssize_t, PyObject*)
VORMEK_BOTH_BASES(inverse_dynamics_derivatives);
VORMEK_BOTH_BASES(forward_dynamics_derivatives);
VORMEK_BOTH_BASES(mass_matrix_inverse);
#undef VORMEK_BOTH_BASES

}  // namespace vormek::py::batch
