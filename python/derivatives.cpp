// Each method lists its binding steps in the documented order, as the dynamics methods do;
// the results are tuples of flat arrays, and `out` a tuple of as many.

#include "derivatives.hpp"

#include "call.hpp"

namespace vormek::py {

template <class Handle>
PyObject* inverse_dynamics_derivatives(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = signature<Handle>("inverse_dynamics_derivatives", {"q", "qd", "qdd", "loads", "out"}, 3);
    InputVector q, qd, qdd;
    LoadList loads;
    std::array<OutputVector, 3> out;
    Call<Handle> c(self);
    const std::size_t m = c.state().generalized_count;
    c.bind(sig, args, nargs, kwnames);
    c.input(0, q);
    c.input(1, qd);
    c.input(2, qdd);
    c.loads(3, loads);
    c.outputs(4, out, {m * m, m * m, m});
    // read q, qd, qdd; convert loads; qd then qdd length; lock; prepare out
    c.read(q, qd, qdd);
    c.resolve(loads);
    c.same_length(q, qd, "qd");
    c.same_length(q, qdd, "qdd");
    c.lock();
    c.prepare(out);
    c.compute([&](Handle& h, const auto&... base) {
        return h.inverse_dynamics_derivatives(base..., q.values(), qd.values(), qdd.values(), loads.loads(),
                                              out[0].values(), out[1].values(), out[2].values());
    });
    return c.finish(out);
}

template <class Handle>
PyObject* forward_dynamics_derivatives(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = signature<Handle>("forward_dynamics_derivatives", {"q", "qd", "forces", "loads", "out"}, 3);
    InputVector q, qd, forces;
    LoadList loads;
    std::array<OutputVector, 3> out;
    Call<Handle> c(self);
    const std::size_t m = c.state().generalized_count;
    c.bind(sig, args, nargs, kwnames);
    c.input(0, q);
    c.input(1, qd);
    c.input(2, forces);
    c.loads(3, loads);
    c.outputs(4, out, {m * m, m * m, m * m});
    // read q, qd, forces; convert loads; qd length; lock; prepare out
    c.read(q, qd, forces);
    c.resolve(loads);
    c.same_length(q, qd, "qd");
    c.lock();
    c.prepare(out);
    c.compute([&](Handle& h, const auto&... base) {
        return h.forward_dynamics_derivatives(base..., q.values(), qd.values(), forces.values(), loads.loads(),
                                              out[0].values(), out[1].values(), out[2].values());
    });
    return c.finish(out);
}

template <class Handle>
PyObject* mass_matrix_inverse(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = signature<Handle>("mass_matrix_inverse", {"q", "out"}, 1);
    InputVector q;
    OutputVector out;
    Call<Handle> c(self);
    const std::uint64_t m = c.state().generalized_count;
    c.bind(sig, args, nargs, kwnames);
    c.input(0, q);
    c.output(1, out, m * m);
    // read q; lock; prepare out
    c.read(q);
    c.lock();
    c.prepare(out);
    c.compute([&](Handle& h, const auto&... base) { return h.mass_matrix_inverse(base..., q.values(), out.values()); });
    return c.finish(out);
}

#define VORMEK_BOTH_BASES(method)                                                                             \
    template PyObject* method<Robot>(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);                    \
    template PyObject* method<FloatingRobot>(PyObject*, PyObject* const*, Py_ssize_t, PyObject*)
VORMEK_BOTH_BASES(inverse_dynamics_derivatives);
VORMEK_BOTH_BASES(forward_dynamics_derivatives);
VORMEK_BOTH_BASES(mass_matrix_inverse);
#undef VORMEK_BOTH_BASES

}  // namespace vormek::py
