#include "link_poses.hpp"

#include "call.hpp"

namespace vormek::py {

template <class Handle>
PyObject* link_poses(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = signature<Handle>("link_poses", {"q", "out"}, 1);
    InputVector q;
    OutputVector out(7, "out must have shape (%llu, 7)");
    Call<Handle> c(self);
    c.bind(sig, args, nargs, kwnames);
    c.input(0, q);
    c.output(1, out, 7 * c.state().link_count);
    // read q; lock; prepare out
    c.read(q);
    c.lock();
    c.prepare(out);
    c.compute([&](Handle& h, const auto&... base) { return h.link_poses(base..., q.values(), out.values()); });
    return c.finish(out);
}

template PyObject* link_poses<Robot>(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
template PyObject* link_poses<FloatingRobot>(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

}  // namespace vormek::py
