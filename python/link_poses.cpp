#include "link_poses.hpp"

#include "call.hpp"

namespace vormek::py {

#define VORMEK_LINK_POSES_DOC                                                                                 \
    "Every link's world pose in one walk of the tree: an (L, 7) float64 array, row l holding link l's\n"     \
    "translation (m, world frame), then its rotation as a quaternion x, y, z, w, exactly what\n"             \
    "forward_kinematics returns for target l (not sign-normalised). q: the n joint positions (rad,\n"        \
    "m). out: an optional C-contiguous (L, 7) float64 array, written and returned.\n"                         \
    "ValueError: q of the wrong length or with a non-finite value, an out of the wrong shape,\n"             \
    "read-only, borrowed or not contiguous; TypeError: an argument of the wrong type."

const char robot_link_poses_doc[] = "link_poses($self, q, out=None)\n--\n\n" VORMEK_LINK_POSES_DOC;
const char floating_link_poses_doc[] =
    "link_poses($self, base, q, out=None)\n--\n\n" VORMEK_LINK_POSES_DOC
    "\nThe root link is placed at base.frame; the rest of the base state is checked, not read.";
#undef VORMEK_LINK_POSES_DOC

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
