// link_poses of RobotBatch and FloatingRobotBatch: every link's pose for every row.

#include "batch.hpp"
#include "methods.hpp"

namespace vormek::py::batch {

template <class Handle>
PyObject* link_poses(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = method_signature<Handle, 1>("link_poses", {"Q", "out"}, 1);
    Method<Handle, 1> c(self);
    BatchInput q;
    BatchOutput out;
    const auto links = static_cast<npy_intp>(c.link_count());
    if (!c.bind(sig, args, nargs, kwnames) || !c.input(0, q) || !c.output(1, out, {c.rows(), links, 7}))
        return nullptr;
    const std::size_t n = c.joint_count(), size = 7 * c.link_count();
    return c.run(std::array{&q}, std::array{&out}, [&](Handle& h, const Row& r, const auto&... base) {
        return lift(h.link_poses(base..., r.in(0, n), r.out(0, size)));
    });
}

template PyObject* link_poses<Robot>(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
template PyObject* link_poses<FloatingRobot>(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

}  // namespace vormek::py::batch
