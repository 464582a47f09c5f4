// Each method lists its binding steps in the documented order; the two classes share them.

#include "kinematics.hpp"

#include "call.hpp"

namespace vormek::py {

template <class Handle>
PyObject* jacobian(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = signature<Handle>("jacobian", {"q", "target", "out"}, 2);
    InputVector q;
    std::uint64_t target = 0;
    OutputVector out;
    LinkId link;
    Call<Handle> c(self);
    c.bind(sig, args, nargs, kwnames);
    c.input(0, q);
    c.index(1, target);
    c.output(2, out, 6 * c.state().generalized_count);
    // read q; lock; check target; prepare out
    c.read(q);
    c.lock();
    c.target(target, link);
    c.prepare(out);
    c.compute([&](Handle& h, const auto&... base) { return h.jacobian(base..., q.values(), link, out.values()); });
    return c.finish(out);
}

template <class Handle>
PyObject* jacobian_derivative(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = signature<Handle>("jacobian_derivative", {"q", "qd", "target", "out"}, 3);
    InputVector q, qd;
    std::uint64_t target = 0;
    OutputVector out;
    LinkId link;
    Call<Handle> c(self);
    c.bind(sig, args, nargs, kwnames);
    c.input(0, q);
    c.input(1, qd);
    c.index(2, target);
    c.output(3, out, 6 * c.state().generalized_count);
    // read q, qd; lock; qd length; check target; prepare out
    c.read(q, qd);
    c.lock();
    c.same_length(q, qd, "qd");
    c.target(target, link);
    c.prepare(out);
    c.compute([&](Handle& h, const auto&... base) {
        return h.jacobian_derivative(base..., q.values(), qd.values(), link, out.values());
    });
    return c.finish(out);
}

template <class Handle>
PyObject* forward_velocity_kinematics(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = signature<Handle>("forward_velocity_kinematics", {"q", "qd", "target", "tool"}, 3);
    InputVector q, qd;
    std::uint64_t target = 0;
    PoseArgument tool;
    LinkId link;
    Twist twist;
    Call<Handle> c(self);
    c.bind(sig, args, nargs, kwnames);
    c.input(0, q);
    c.input(1, qd);
    c.index(2, target);
    c.pose(3, tool, true);
    // read q, qd; check and normalise tool; qd length; check target; lock
    c.read(q, qd);
    c.normalise(tool);
    c.same_length(q, qd, "qd");
    c.target(target, link);
    c.lock();
    c.compute(twist, [&](Handle& h, const auto&... base) {
        return h.forward_velocity_kinematics(base..., q.values(), qd.values(), link, tool.pose);
    });
    return c.finish(twist);
}

template <class Handle>
PyObject* forward_acceleration_kinematics(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                          PyObject* kwnames) {
    static auto sig = signature<Handle>("forward_acceleration_kinematics", {"q", "qd", "qdd", "target"}, 4);
    InputVector q, qd, qdd;
    std::uint64_t target = 0;
    LinkId link;
    Twist acceleration;
    Call<Handle> c(self);
    c.bind(sig, args, nargs, kwnames);
    c.input(0, q);
    c.input(1, qd);
    c.input(2, qdd);
    c.index(3, target);
    // read q, qd, qdd; lock; qd then qdd length; check target
    c.read(q, qd, qdd);
    c.lock();
    c.same_length(q, qd, "qd");
    c.same_length(q, qdd, "qdd");
    c.target(target, link);
    c.compute(acceleration, [&](Handle& h, const auto&... base) {
        return h.forward_acceleration_kinematics(base..., q.values(), qd.values(), qdd.values(), link);
    });
    return c.finish(acceleration);
}

PyObject* inverse_kinematics(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = signature<Robot>("inverse_kinematics", {"q", "target", "desired", "options", "out"}, 3);
    InputVector q;
    std::uint64_t target = 0;
    PoseArgument desired;
    OptionsArgument options;
    OutputVector out;
    LinkId link;
    Call<Robot> c(self);
    c.bind(sig, args, nargs, kwnames);
    c.input(0, q);
    c.index(1, target);
    c.pose(2, desired, false);
    c.options(3, options);
    c.output(4, out, c.state().generalized_count);
    // read q; check and normalise desired; check target; resolve options; lock; prepare out
    c.read(q);
    c.normalise(desired);
    c.target(target, link);
    c.resolve(options);
    c.lock();
    c.prepare(out);
    const IkOptionsValue& o = options.value;
    const IkOptions solver{o.max_iterations, o.translation_tolerance, o.rotation_tolerance, o.damping,
                           o.max_step_norm};
    c.compute([&](Robot& r) { return r.inverse_kinematics(q.values(), link, desired.pose, solver, out.values()); });
    return c.finish(out);
}

#define VORMEK_BOTH_BASES(method)                                                                             \
    template PyObject* method<Robot>(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);                    \
    template PyObject* method<FloatingRobot>(PyObject*, PyObject* const*, Py_ssize_t, PyObject*)
VORMEK_BOTH_BASES(jacobian);
VORMEK_BOTH_BASES(jacobian_derivative);
VORMEK_BOTH_BASES(forward_velocity_kinematics);
VORMEK_BOTH_BASES(forward_acceleration_kinematics);
#undef VORMEK_BOTH_BASES

}  // namespace vormek::py
