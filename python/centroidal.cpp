// Each method names its arguments and its core call; they come in three shapes, written once
// below: an array from q, an array from q and qd, a value from q (and qd).

#include "centroidal.hpp"

#include "call.hpp"

namespace vormek::py {

namespace {

// An array of `per_coordinate` values per generalized coordinate, or of `fixed` values, from q
// alone: read q; lock; prepare out.
template <class Handle, class Sig, class Core>
PyObject* array_of_q(Sig& sig, PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     std::uint64_t fixed, std::uint64_t per_coordinate, Core core) {
    InputVector q;
    OutputVector out;
    Call<Handle> c(self);
    c.bind(sig, args, nargs, kwnames);
    c.input(0, q);
    c.output(1, out, fixed + per_coordinate * c.state().generalized_count);
    c.read(q);
    c.lock();
    c.prepare(out);
    c.compute([&](Handle& h, const auto&... base) { return core(h, base..., q.values(), out.values()); });
    return c.finish(out);
}

// A value from q and, with `velocities`, qd: read q (qd); qd length; lock. The value is a Twist
// or a float.
template <class Handle, class Value, bool Velocities, class Sig, class Core>
PyObject* value_of(Sig& sig, PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, Core core) {
    InputVector q, qd;
    Value value{};
    Call<Handle> c(self);
    c.bind(sig, args, nargs, kwnames);
    c.input(0, q);
    if constexpr (Velocities) {
        c.input(1, qd);
        c.read(q, qd);
        c.same_length(q, qd, "qd");
    } else {
        c.read(q);
    }
    c.lock();
    c.compute(value, [&](Handle& h, const auto&... base) {
        if constexpr (Velocities) return core(h, base..., q.values(), qd.values());
        else return core(h, base..., q.values());
    });
    if constexpr (std::is_same_v<Value, double>) return c.finish_with([&] { return PyFloat_FromDouble(value); });
    else return c.finish(value);
}

}  // namespace

template <class Handle>
PyObject* center_of_mass(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = signature<Handle>("center_of_mass", {"q", "out"}, 1);
    return array_of_q<Handle>(sig, self, args, nargs, kwnames, 3, 0,
                              [](Handle& h, const auto&... a) { return h.center_of_mass(a...); });
}

template <class Handle>
PyObject* center_of_mass_jacobian(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = signature<Handle>("center_of_mass_jacobian", {"q", "out"}, 1);
    return array_of_q<Handle>(sig, self, args, nargs, kwnames, 0, 3,
                              [](Handle& h, const auto&... a) { return h.center_of_mass_jacobian(a...); });
}

template <class Handle>
PyObject* centroidal_momentum_matrix(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = signature<Handle>("centroidal_momentum_matrix", {"q", "out"}, 1);
    return array_of_q<Handle>(sig, self, args, nargs, kwnames, 0, 6,
                              [](Handle& h, const auto&... a) { return h.centroidal_momentum_matrix(a...); });
}

template <class Handle>
PyObject* center_of_mass_velocity(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = signature<Handle>("center_of_mass_velocity", {"q", "qd", "out"}, 2);
    InputVector q, qd;
    OutputVector out;
    Call<Handle> c(self);
    c.bind(sig, args, nargs, kwnames);
    c.input(0, q);
    c.input(1, qd);
    c.output(2, out, 3);
    // read q, qd; qd length; lock; prepare out
    c.read(q, qd);
    c.same_length(q, qd, "qd");
    c.lock();
    c.prepare(out);
    c.compute([&](Handle& h, const auto&... base) {
        return h.center_of_mass_velocity(base..., q.values(), qd.values(), out.values());
    });
    return c.finish(out);
}

template <class Handle>
PyObject* momentum(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = signature<Handle>("momentum", {"q", "qd"}, 2);
    return value_of<Handle, Twist, true>(sig, self, args, nargs, kwnames,
                                         [](Handle& h, const auto&... a) { return h.momentum(a...); });
}

template <class Handle>
PyObject* kinetic_energy(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = signature<Handle>("kinetic_energy", {"q", "qd"}, 2);
    return value_of<Handle, double, true>(sig, self, args, nargs, kwnames,
                                          [](Handle& h, const auto&... a) { return h.kinetic_energy(a...); });
}

template <class Handle>
PyObject* potential_energy(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = signature<Handle>("potential_energy", {"q"}, 1);
    return value_of<Handle, double, false>(sig, self, args, nargs, kwnames,
                                           [](Handle& h, const auto&... a) { return h.potential_energy(a...); });
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

}  // namespace vormek::py
