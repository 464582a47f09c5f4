#include "solve_ik.hpp"

#include "batch.hpp"
#include "values.hpp"

namespace vormek::py::batch {

namespace {

bool convert_options(const Method<Robot, 0>& c, SolveIkOptions& options) {
    PyObject* values[solve_ik_option_count];
    for (std::size_t k = 0; k < solve_ik_option_count; ++k) values[k] = c.arg(3 + k);
    return convert_solve_ik_options(values, options);
}

}  // namespace

PyObject* solve_ik(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig =
        method_signature<Robot, 0>("solve_ik", {"Q", "target", "desired", VORMEK_SOLVE_IK_OPTION_NAMES, "out"}, 3);
    constexpr std::size_t out_argument = 3 + solve_ik_option_count;
    if (!keyword_only_options("solve_ik", nargs, 3)) return nullptr;
    Method<Robot, 0> c(self);
    BatchInput q, desired;
    BatchOutput out, solved;
    LinkId link;
    SolveIkOptions options;
    if (!c.bind(sig, args, nargs, kwnames) || !c.input(0, q) || !c.target(1, link) || !c.input(2, desired, 7) ||
        !convert_options(c, options) ||
        !c.output(out_argument, out, {c.rows(), static_cast<npy_intp>(c.joint_count())}) ||
        !solved.convert(nullptr, "solved", {c.rows()}))
        return nullptr;
    const std::size_t n = c.joint_count();
    const auto row = [&](Robot& h, const Row& r) -> RowResult {
        // translation then quaternion, through the intake every pose from Python takes
        const double* d = r.in(1);
        PoseValue value;
        value.translation = {d[0], d[1], d[2]};
        value.rotation_xyzw = {d[3], d[4], d[5], d[6]};
        Pose goal;
        if (auto failed = pose_intake(value, goal)) return std::unexpected(RowError(*failed));
        auto solution = h.solve_ik(r.in(0, n), link, goal, options, r.out(0, n));
        const bool found = solution.has_value();
        *r.out(1) = found ? 1.0 : 0.0;
        // no solution is an answer here, its row the best configuration met
        if (found || solution.error().kind() == ErrorKind::IkNoSolution) return {};
        return lift(std::move(solution));
    };
    Ref result(c.run(std::array{&q, &desired}, std::array{&out, &solved}, row));
    if (!result) return nullptr;
    Ref mask(PyArray_Cast(reinterpret_cast<PyArrayObject*>(PyTuple_GET_ITEM(result.get(), 1)), NPY_BOOL));
    if (!mask) return nullptr;
    return PyTuple_Pack(2, PyTuple_GET_ITEM(result.get(), 0), mask.get());
}

}  // namespace vormek::py::batch
