#include "solve_ik.hpp"

#include "call.hpp"

namespace vormek::py {

PyObject* solve_ik(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = signature<Robot>(
        "solve_ik", {"q", "target", "desired", VORMEK_SOLVE_IK_OPTION_NAMES, "out"}, 3);
    constexpr std::size_t out_argument = 3 + solve_ik_option_count;
    if (!keyword_only_options("solve_ik", nargs, 3)) return nullptr;
    InputVector q;
    std::uint64_t target = 0;
    PoseArgument desired;
    SolveIkOptions options;
    OutputVector out;
    LinkId link;
    Call<Robot> c(self);
    if (c.bind(sig, args, nargs, kwnames) && c.input(0, q) && c.index(1, target) && c.pose(2, desired, false)) {
        PyObject* values[solve_ik_option_count];
        for (std::size_t k = 0; k < solve_ik_option_count; ++k) values[k] = c.arg(3 + k);
        if (!convert_solve_ik_options(values, options)) return nullptr;
    }
    c.output(out_argument, out, c.state().generalized_count);
    // read q; check and normalise desired; check target; lock; prepare out
    c.read(q);
    c.normalise(desired);
    c.target(target, link);
    c.lock();
    c.prepare(out);
    c.compute([&](Robot& r) { return r.solve_ik(q.values(), link, desired.pose, options, out.values()); });
    return c.finish(out);
}

}  // namespace vormek::py
