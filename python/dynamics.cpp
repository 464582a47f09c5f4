// Each method lists its binding steps in the documented order; the two classes share them and
// branch where their orders differ.

#include "dynamics.hpp"

#include "call.hpp"

namespace vormek::py {

template <class Handle>
PyObject* gravity(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = signature<Handle>("gravity", {"q", "loads", "out"}, 1);
    InputVector q;
    LoadList loads;
    OutputVector out;
    Call<Handle> c(self);
    c.bind(sig, args, nargs, kwnames);
    c.input(0, q);
    c.loads(1, loads);
    c.output(2, out, c.state().generalized_count);
    // read q; convert loads; lock; prepare out
    c.read(q);
    c.resolve(loads);
    c.lock();
    c.prepare(out);
    c.compute([&](Handle& h, const auto&... base) {
        return h.gravity(base..., q.values(), loads.loads(), out.values());
    });
    return c.finish(out);
}

template <class Handle>
PyObject* inverse_dynamics(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = signature<Handle>("inverse_dynamics", {"q", "qd", "qdd", "loads", "out"}, 3);
    InputVector q, qd, qdd;
    LoadList loads;
    OutputVector out;
    Call<Handle> c(self);
    c.bind(sig, args, nargs, kwnames);
    c.input(0, q);
    c.input(1, qd);
    c.input(2, qdd);
    c.loads(3, loads);
    c.output(4, out, c.state().generalized_count);
    // read q, qd, qdd; convert loads; qd then qdd length; lock; prepare out
    c.read(q, qd, qdd);
    c.resolve(loads);
    c.same_length(q, qd, "qd");
    c.same_length(q, qdd, "qdd");
    c.lock();
    c.prepare(out);
    c.compute([&](Handle& h, const auto&... base) {
        return h.inverse_dynamics(base..., q.values(), qd.values(), qdd.values(), loads.loads(), out.values());
    });
    return c.finish(out);
}

template <class Handle>
PyObject* forward_dynamics(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = signature<Handle>("forward_dynamics", {"q", "qd", "forces", "loads", "out"}, 3);
    InputVector q, qd, forces;
    LoadList loads;
    OutputVector out;
    Call<Handle> c(self);
    c.bind(sig, args, nargs, kwnames);
    c.input(0, q);
    c.input(1, qd);
    c.input(2, forces);
    c.loads(3, loads);
    c.output(4, out, c.state().generalized_count);
    // read q, qd, forces; fixed base: qd length, convert loads; floating base: the other way
    // round; then lock; prepare out
    c.read(q, qd, forces);
    if constexpr (Call<Handle>::floating) {
        c.resolve(loads);
        c.same_length(q, qd, "qd");
    } else {
        c.same_length(q, qd, "qd");
        c.resolve(loads);
    }
    c.lock();
    c.prepare(out);
    c.compute([&](Handle& h, const auto&... base) {
        return h.forward_dynamics(base..., q.values(), qd.values(), forces.values(), loads.loads(), out.values());
    });
    return c.finish(out);
}

template <class Handle>
PyObject* mass_matrix(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = signature<Handle>("mass_matrix", {"q", "out"}, 1);
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
    c.compute([&](Handle& h, const auto&... base) { return h.mass_matrix(base..., q.values(), out.values()); });
    return c.finish(out);
}

template <class Handle>
PyObject* velocity_product_forces(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = signature<Handle>("velocity_product_forces", {"q", "qd", "out"}, 2);
    InputVector q, qd;
    OutputVector out;
    Call<Handle> c(self);
    c.bind(sig, args, nargs, kwnames);
    c.input(0, q);
    c.input(1, qd);
    c.output(2, out, c.state().generalized_count);
    // read q, qd; fixed base: lock, then qd length; floating base: qd length, then lock;
    // prepare out
    c.read(q, qd);
    if constexpr (Call<Handle>::floating) {
        c.same_length(q, qd, "qd");
        c.lock();
    } else {
        c.lock();
        c.same_length(q, qd, "qd");
    }
    c.prepare(out);
    c.compute([&](Handle& h, const auto&... base) {
        return h.velocity_product_forces(base..., q.values(), qd.values(), out.values());
    });
    return c.finish(out);
}

#define VORMEK_BOTH_BASES(method)                                                                             \
    template PyObject* method<Robot>(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);                    \
    template PyObject* method<FloatingRobot>(PyObject*, PyObject* const*, Py_ssize_t, PyObject*)
VORMEK_BOTH_BASES(gravity);
VORMEK_BOTH_BASES(inverse_dynamics);
VORMEK_BOTH_BASES(forward_dynamics);
VORMEK_BOTH_BASES(mass_matrix);
VORMEK_BOTH_BASES(velocity_product_forces);
#undef VORMEK_BOTH_BASES

}  // namespace vormek::py
