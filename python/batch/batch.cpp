// The two batch classes: loading, the worker pool, closing, the properties, and the row-level
// pieces every method shares.

#include "batch.hpp"

#include <sched.h>

#include <cstdio>
#include <new>

#include "centroidal.hpp"
#include "derivatives.hpp"
#include "docs.hpp"
#include "methods.hpp"
#include "solve_ik.hpp"
#include "values.hpp"

namespace vormek::py::batch {

RowResult base_state(const double* frame, const double* velocity, const double* acceleration,
                     std::optional<BaseState>& out) {
    PoseValue value;
    value.translation = {frame[0], frame[1], frame[2]};
    value.rotation_xyzw = {frame[3], frame[4], frame[5], frame[6]};
    Pose pose;
    if (auto failed = pose_intake(value, pose)) return std::unexpected(RowError(*failed));
    const auto twist = [](const double* v) {
        return v ? Twist{Vector3d(v[0], v[1], v[2]), Vector3d(v[3], v[4], v[5])} : Twist{};
    };
    auto state = BaseState::make(pose, twist(velocity), twist(acceleration));
    if (!state) return std::unexpected(RowError(std::move(state.error())));
    out.emplace(*state);
    return {};
}

bool start_pool(std::unique_ptr<Pool>& pool, std::size_t threads) {
    pool = std::make_unique<Pool>(threads - 1);
    const std::size_t started = pool->helpers();
    if (started == threads - 1) return true;
    pool.reset();
    PyErr_Format(PyExc_RuntimeError, "could start only %zu of %zu threads", started + 1, threads);
    return false;
}

PyObject* raise_row(std::size_t row, RowError&& error) {
    const auto raise = [row](PyObject* type, PyObject* message) -> PyObject* {
        if (!type || !message) return nullptr;
        Ref text(PyUnicode_FromFormat("row %zu: %U", row, message));
        if (text) PyErr_SetObject(type, text.get());
        return nullptr;
    };
    const auto utf8 = [](const std::string& s) {
        return Ref(PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "replace"));
    };
    if (auto* e = std::get_if<Error>(&error)) return raise(error_class(e->kind()), utf8(e->message()).get());
    if (auto* f = std::get_if<Failure>(&error)) {
        Ref message(f->label ? PyUnicode_FromFormat(f->format, f->label) : PyUnicode_FromFormat(f->format, f->number));
        return raise(f->type, message.get());
    }
    if (auto* text = std::get_if<std::string>(&error))
        return raise(exception_class(ExceptionClass::PanicError),
                     utf8(text->empty() ? std::string("native vormek panic") : *text).get());
    return PyErr_NoMemory();
}

namespace {

template <class Handle>
struct Traits;

template <>
struct Traits<Robot> {
    static constexpr const char* class_name = "RobotBatch";
    static constexpr std::uint64_t base_coordinates = 0;
    static constexpr std::size_t base_inputs = 0;
    static PyTypeObject* type() { return robot_batch_type(); }
    static Result<Robot> make(std::shared_ptr<const Model> model, RootMass) { return Robot(std::move(model)); }
};

template <>
struct Traits<FloatingRobot> {
    static constexpr const char* class_name = "FloatingRobotBatch";
    static constexpr std::uint64_t base_coordinates = 6;
    static constexpr std::size_t base_inputs = 7 + 6 + 6;  // frames, velocities, accelerations
    static PyTypeObject* type() { return floating_robot_batch_type(); }
    static Result<FloatingRobot> make(std::shared_ptr<const Model> model, RootMass root_mass) {
        return FloatingRobot::make(std::move(model), root_mass);
    }
};

// The cores this process may run on, as os.sched_getaffinity counts them.
std::size_t usable_cores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof(set), &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<std::size_t>(CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

inline constexpr std::size_t max_threads = 1024;

// None for every usable core, or a count from 1 to 1024.
bool convert_threads(PyObject* obj, std::size_t& out) {
    if (!obj || obj == Py_None) {
        out = usable_cores();
        return true;
    }
    std::uint64_t n = 0;
    if (!convert_index(obj, "threads", n)) {
        if (!PyErr_ExceptionMatches(PyExc_OverflowError)) return false;
        PyErr_Clear();
        n = 0;
    }
    if (n < 1 || n > max_threads) {
        PyErr_Format(PyExc_ValueError, "threads must be between 1 and %zu", max_threads);
        return false;
    }
    out = static_cast<std::size_t>(n);
    return true;
}

template <class Handle>
PyObject* construct(Result<std::shared_ptr<const Model>> model, std::size_t threads, RootMass root_mass) {
    if (!model) return core_error(std::move(model.error()));
    std::vector<Handle> handles;
    handles.reserve(threads);
    for (std::size_t w = 0; w < threads; ++w) {
        auto handle = Traits<Handle>::make(*model, root_mass);
        if (!handle) return core_error(std::move(handle.error()));
        handles.push_back(std::move(*handle));
    }

    PyTypeObject* type = Traits<Handle>::type();
    Ref self(type->tp_alloc(type, 0));
    if (!self) return nullptr;
    auto& st = *new (&batch_of<Handle>(self.get())) BatchState<Handle>();
    const Model& m = **model;
    // built before the pool starts: a failure deallocates a batch that has no helpers yet
    if (!build_queries(m, st.queries)) return nullptr;
    st.name = m.name;
    st.link_ids.reserve(m.link_count());
    for (std::size_t i = 0; i < m.link_count(); ++i) {
        auto id = m.link(i);
        if (!id) panic("enumerated link is valid");
        st.link_ids.push_back(*id);
    }
    st.joint_count = m.dof_count();
    st.generalized_count = m.dof_count() + Traits<Handle>::base_coordinates;
    st.link_count = m.link_count();
    st.threads = threads;
    st.handles = std::move(handles);
    // the widest method reads three joint vectors besides the base, and one row of a Jacobian
    // waits in the row scratch before it is turned into the output
    st.scratch_per_worker = chunk_rows * (Traits<Handle>::base_inputs + 3 * st.generalized_count) +
                            6 * st.generalized_count;
    st.scratch.assign(threads * st.scratch_per_worker, 0.0);
    st.faults.resize(threads);
    st.pid = getpid();
    if (!start_pool(st.pool, threads)) return nullptr;  // deallocated by `self`, as a closed batch
    st.open.store(true, std::memory_order_release);
    return self.release();
}

// A str or os.PathLike, as file-system bytes.
bool convert_path(PyObject* obj, std::string& out) {
    PyObject* converted = nullptr;
    if (!PyUnicode_FSConverter(obj, &converted)) {
        if (PyErr_ExceptionMatches(PyExc_TypeError)) {
            PyErr_Clear();
            PyErr_Format(PyExc_TypeError, "argument 'path': expected str or os.PathLike object, not %s",
                         Py_TYPE(obj)->tp_name);
        }
        return false;
    }
    Ref bytes(converted);
    out.assign(PyBytes_AS_STRING(bytes.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.get())));
    return true;
}

// Every loader takes a path or a text and a thread count, and FloatingRobotBatch's a keyword-only
// `massless_root`.
template <class Handle>
auto loader_signature(const char* function, const char* first) {
    if constexpr (floating_base<Handle>) return Signature<3>(function, {first, "threads", "massless_root"}, 1);
    else return Signature<2>(function, {first, "threads"}, 1);
}

template <class Handle>
inline constexpr std::size_t loader_arguments = floating_base<Handle> ? 3 : 2;

template <class Handle>
bool convert_loader_options(PyObject* const* argv, std::size_t& threads, RootMass& root_mass) {
    if (!convert_threads(argv[1], threads)) return false;
    if constexpr (floating_base<Handle>) return convert_root_mass(argv[2], root_mass);
    else return true;
}

template <class Handle>
PyObject* batch_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
    static auto sig = loader_signature<Handle>(Traits<Handle>::class_name, "path");
    PyObject* argv[loader_arguments<Handle>];
    std::string path;
    std::size_t threads = 0;
    RootMass root_mass = RootMass::Link;
    if (!positional_at_most(sig.function(), PyTuple_GET_SIZE(args), 2) || !sig.bind(args, kwargs, argv) ||
        !convert_path(argv[0], path) || !convert_loader_options<Handle>(argv, threads, root_mass))
        return nullptr;
    return construct<Handle>(load_model(std::filesystem::path(path)), threads, root_mass);
}

template <class Handle>
PyObject* batch_from_urdf_text(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = loader_signature<Handle>("from_urdf_text", "text");
    PyObject* argv[loader_arguments<Handle>];
    std::string_view text;
    std::size_t threads = 0;
    RootMass root_mass = RootMass::Link;
    if (!positional_at_most(sig.function(), nargs, 2) || !sig.bind(args, nargs, kwnames, argv) ||
        !convert_text(argv[0], text) || !convert_loader_options<Handle>(argv, threads, root_mass))
        return nullptr;
    return construct<Handle>(load_model_from_string(text), threads, root_mass);
}

template <class Handle>
void batch_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    // joins the helpers, idle here: a batch keeps its object alive while it runs; a forked
    // child never joins its parent's
    auto& st = batch_of<Handle>(self);
    if (st.pid != getpid()) (void)st.pool.release();
    st.~BatchState<Handle>();
    type->tp_free(self);
    Py_DECREF(type);
}

template <class Handle>
PyObject* batch_close(PyObject* self, PyObject*) {
    auto& st = batch_of<Handle>(self);
    if (running_here(st)) {
        PyErr_SetString(PyExc_RuntimeError, "a batch of this robot is already running on this thread");
        return nullptr;
    }
    Py_BEGIN_ALLOW_THREADS
    st.mutex.lock();
    st.open.store(false, std::memory_order_release);
    if (st.pid != getpid()) (void)st.pool.release();
    st.pool.reset();
    st.handles.clear();
    st.handles.shrink_to_fit();
    st.scratch = {};
    st.mutex.unlock();
    Py_END_ALLOW_THREADS
    Py_RETURN_NONE;
}

template <class Handle>
PyObject* batch_enter(PyObject* self, PyObject*) {
    if (!require_open(batch_of<Handle>(self).open)) return nullptr;
    return Py_NewRef(self);
}

template <class Handle>
PyObject* batch_exit(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static Signature<3> sig("__exit__", {"_exc_type", "_exc_value", "_traceback"}, 3);
    PyObject* argv[3];
    if (!sig.bind(args, nargs, kwnames, argv)) return nullptr;
    return batch_close<Handle>(self, nullptr);
}

template <class Handle>
PyObject* batch_link_id(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static Signature<1> sig("link_id", {"name"}, 1);
    PyObject* argv[1];
    auto& st = batch_of<Handle>(self);
    if (!sig.bind(args, nargs, kwnames, argv)) return nullptr;
    if (!PyUnicode_Check(argv[0])) {
        PyErr_Format(PyExc_TypeError, "argument 'name': expected str, got %s", Py_TYPE(argv[0])->tp_name);
        return nullptr;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(argv[0], &size);
    if (!utf8 || !lock_batch(st)) return nullptr;
    // the model is shared by every handle and never changes
    auto id = st.handles[0].model().link_by_name(std::string_view(utf8, static_cast<std::size_t>(size)));
    unlock_batch(st);
    if (!id) return core_error(std::move(id.error()));
    return PyLong_FromSize_t(id->index);
}

template <class Handle, std::uint64_t BatchState<Handle>::*Count>
PyObject* batch_count(PyObject* self, void*) {
    const auto& st = batch_of<Handle>(self);
    if (!require_open(st.open)) return nullptr;
    return PyLong_FromUnsignedLongLong(st.*Count);
}

template <class Handle>
PyObject* batch_threads(PyObject* self, void*) {
    const auto& st = batch_of<Handle>(self);
    if (!require_open(st.open)) return nullptr;
    return PyLong_FromSize_t(st.threads);
}

template <class Handle>
PyObject* batch_name(PyObject* self, void*) {
    const auto& st = batch_of<Handle>(self);
    if (!require_open(st.open)) return nullptr;
    return PyUnicode_DecodeUTF8(st.name.data(), static_cast<Py_ssize_t>(st.name.size()), "replace");
}

template <class Handle>
QueryView batch_queries(PyObject* self) {
    const auto& st = batch_of<Handle>(self);
    return {st.queries, st.open};
}

template <class Handle>
PyObject* batch_joint_index(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static Signature<1> sig("joint_index", {"name"}, 1);
    PyObject* argv[1];
    const auto& st = batch_of<Handle>(self);
    if (!sig.bind(args, nargs, kwnames, argv) || !require_open(st.open)) return nullptr;
    return joint_index(st.queries, argv[0]);
}

// Every worker's handle takes the new gravity, checked once by the first.
template <class Handle>
PyObject* batch_set_gravity(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static Signature<1> sig("set_gravity", {"g"}, 1);
    PyObject* argv[1];
    Vector3d g;
    auto& st = batch_of<Handle>(self);
    if (!sig.bind(args, nargs, kwnames, argv) || !convert_gravity(argv[0], g) || !lock_batch(st)) return nullptr;
    Result<void> set;
    for (Handle& h : st.handles)
        if (!(set = h.set_gravity(g))) break;
    unlock_batch(st);
    if (!set) return core_error(std::move(set.error()));
    Py_RETURN_NONE;
}

template <class Handle>
PyObject* batch_gravity_vector(PyObject* self, void*) {
    auto& st = batch_of<Handle>(self);
    if (!lock_batch(st)) return nullptr;
    const Vector3d g = st.handles[0].gravity_vector();
    unlock_batch(st);
    return gravity_tuple(g);
}

template <class Handle>
PyObject* batch_repr(PyObject* self) {
    const auto& st = batch_of<Handle>(self);
    char threads[48];
    std::snprintf(threads, sizeof threads, ", %zu thread%s", st.threads, st.threads == 1 ? "" : "s");
    return describe_robot(self, st.name, st.open.load(std::memory_order_acquire), st.link_count, st.joint_count,
                          floating_base<Handle>, threads);
}

// ---- type specifications ---------------------------------------------------------------------

#define VORMEK_FASTCALL(f) \
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry<f>)), METH_FASTCALL | METH_KEYWORDS

template <class Handle>
PyGetSetDef batch_getset[] = {
    {"name", batch_name<Handle>, nullptr, doc::name, nullptr},
    {"joint_count", batch_count<Handle, &BatchState<Handle>::joint_count>, nullptr, doc::joint_count, nullptr},
    {"generalized_count", batch_count<Handle, &BatchState<Handle>::generalized_count>, nullptr, doc::generalized_count,
     nullptr},
    {"link_count", batch_count<Handle, &BatchState<Handle>::link_count>, nullptr, doc::link_count, nullptr},
    {"threads", batch_threads<Handle>, nullptr, doc::threads, nullptr},
    VORMEK_QUERY_GETSET(get_query<batch_queries<Handle>>),
    {"gravity_vector", batch_gravity_vector<Handle>, nullptr, VORMEK_GRAVITY_VECTOR_DOC, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef robot_batch_methods[] = {
    {"from_urdf_text", VORMEK_FASTCALL(batch_from_urdf_text<Robot>) | METH_CLASS,
     doc::from_urdf_text},
    {"joint_index", VORMEK_FASTCALL(batch_joint_index<Robot>), VORMEK_JOINT_INDEX_DOC},
    {"set_gravity", VORMEK_FASTCALL(batch_set_gravity<Robot>), VORMEK_SET_GRAVITY_DOC " Every worker takes it."},
    {"close", batch_close<Robot>, METH_NOARGS, doc::close},
    {"__enter__", batch_enter<Robot>, METH_NOARGS, doc::enter},
    {"__exit__", VORMEK_FASTCALL(batch_exit<Robot>), doc::exit},
    {"link_id", VORMEK_FASTCALL(batch_link_id<Robot>), doc::link_id},
    {"forward_kinematics", VORMEK_FASTCALL(forward_kinematics<Robot>),
     doc::robot_forward_kinematics},
    {"link_poses", VORMEK_FASTCALL(link_poses<Robot>), doc::robot_link_poses},
    {"jacobian", VORMEK_FASTCALL(jacobian<Robot>), doc::robot_jacobian},
    {"mass_matrix", VORMEK_FASTCALL(mass_matrix<Robot>), doc::robot_mass_matrix},
    {"gravity", VORMEK_FASTCALL(gravity<Robot>), doc::robot_gravity},
    {"velocity_product_forces", VORMEK_FASTCALL(velocity_product_forces<Robot>),
     doc::robot_velocity_product_forces},
    {"inverse_dynamics", VORMEK_FASTCALL(inverse_dynamics<Robot>),
     doc::robot_inverse_dynamics},
    {"forward_dynamics", VORMEK_FASTCALL(forward_dynamics<Robot>),
     doc::robot_forward_dynamics},
    {"center_of_mass", VORMEK_FASTCALL(center_of_mass<Robot>), doc::robot_center_of_mass},
    {"center_of_mass_velocity", VORMEK_FASTCALL(center_of_mass_velocity<Robot>), doc::robot_center_of_mass_velocity},
    {"center_of_mass_jacobian", VORMEK_FASTCALL(center_of_mass_jacobian<Robot>), doc::robot_center_of_mass_jacobian},
    {"momentum", VORMEK_FASTCALL(momentum<Robot>), doc::robot_momentum},
    {"centroidal_momentum_matrix", VORMEK_FASTCALL(centroidal_momentum_matrix<Robot>),
     doc::robot_centroidal_momentum_matrix},
    {"kinetic_energy", VORMEK_FASTCALL(kinetic_energy<Robot>), doc::robot_kinetic_energy},
    {"potential_energy", VORMEK_FASTCALL(potential_energy<Robot>), doc::robot_potential_energy},
    {"inverse_dynamics_derivatives", VORMEK_FASTCALL(inverse_dynamics_derivatives<Robot>),
     doc::robot_inverse_dynamics_derivatives},
    {"forward_dynamics_derivatives", VORMEK_FASTCALL(forward_dynamics_derivatives<Robot>),
     doc::robot_forward_dynamics_derivatives},
    {"mass_matrix_inverse", VORMEK_FASTCALL(mass_matrix_inverse<Robot>), doc::robot_mass_matrix_inverse},
    {"solve_ik", VORMEK_FASTCALL(solve_ik), VORMEK_BATCH_SOLVE_IK_DOC},
    {nullptr, nullptr, 0, nullptr},
};

PyMethodDef floating_batch_methods[] = {
    {"from_urdf_text", VORMEK_FASTCALL(batch_from_urdf_text<FloatingRobot>) | METH_CLASS,
     doc::floating_from_urdf_text},
    {"joint_index", VORMEK_FASTCALL(batch_joint_index<FloatingRobot>), VORMEK_JOINT_INDEX_DOC},
    {"set_gravity", VORMEK_FASTCALL(batch_set_gravity<FloatingRobot>),
     VORMEK_SET_GRAVITY_DOC " Every worker takes it."},
    {"close", batch_close<FloatingRobot>, METH_NOARGS, doc::close},
    {"__enter__", batch_enter<FloatingRobot>, METH_NOARGS, doc::enter},
    {"__exit__", VORMEK_FASTCALL(batch_exit<FloatingRobot>),
     doc::exit},
    {"link_id", VORMEK_FASTCALL(batch_link_id<FloatingRobot>), doc::link_id},
    {"forward_kinematics", VORMEK_FASTCALL(forward_kinematics<FloatingRobot>),
     doc::floating_forward_kinematics},
    {"link_poses", VORMEK_FASTCALL(link_poses<FloatingRobot>), doc::floating_link_poses},
    {"jacobian", VORMEK_FASTCALL(jacobian<FloatingRobot>),
     doc::floating_jacobian},
    {"mass_matrix", VORMEK_FASTCALL(mass_matrix<FloatingRobot>),
     doc::floating_mass_matrix},
    {"gravity", VORMEK_FASTCALL(gravity<FloatingRobot>),
     doc::floating_gravity},
    {"velocity_product_forces", VORMEK_FASTCALL(velocity_product_forces<FloatingRobot>),
     doc::floating_velocity_product_forces},
    {"inverse_dynamics", VORMEK_FASTCALL(inverse_dynamics<FloatingRobot>),
     doc::floating_inverse_dynamics},
    {"forward_dynamics", VORMEK_FASTCALL(forward_dynamics<FloatingRobot>),
     doc::floating_forward_dynamics},
    {"center_of_mass", VORMEK_FASTCALL(center_of_mass<FloatingRobot>), doc::floating_center_of_mass},
    {"center_of_mass_velocity", VORMEK_FASTCALL(center_of_mass_velocity<FloatingRobot>),
     doc::floating_center_of_mass_velocity},
    {"center_of_mass_jacobian", VORMEK_FASTCALL(center_of_mass_jacobian<FloatingRobot>),
     doc::floating_center_of_mass_jacobian},
    {"momentum", VORMEK_FASTCALL(momentum<FloatingRobot>), doc::floating_momentum},
    {"centroidal_momentum_matrix", VORMEK_FASTCALL(centroidal_momentum_matrix<FloatingRobot>),
     doc::floating_centroidal_momentum_matrix},
    {"kinetic_energy", VORMEK_FASTCALL(kinetic_energy<FloatingRobot>), doc::floating_kinetic_energy},
    {"potential_energy", VORMEK_FASTCALL(potential_energy<FloatingRobot>), doc::floating_potential_energy},
    {"inverse_dynamics_derivatives", VORMEK_FASTCALL(inverse_dynamics_derivatives<FloatingRobot>),
     doc::floating_inverse_dynamics_derivatives},
    {"forward_dynamics_derivatives", VORMEK_FASTCALL(forward_dynamics_derivatives<FloatingRobot>),
     doc::floating_forward_dynamics_derivatives},
    {"mass_matrix_inverse", VORMEK_FASTCALL(mass_matrix_inverse<FloatingRobot>), doc::floating_mass_matrix_inverse},
    {nullptr, nullptr, 0, nullptr},
};

#undef VORMEK_FASTCALL

template <class Handle>
PyTypeObject* create_type(const char* name, const char* doc, PyMethodDef* methods) {
    PyType_Slot slots[] = {
        {Py_tp_doc, const_cast<char*>(doc)},
        {Py_tp_new, reinterpret_cast<void*>(&entry_new<batch_new<Handle>>)},
        {Py_tp_dealloc, reinterpret_cast<void*>(&batch_dealloc<Handle>)},
        {Py_tp_methods, methods},
        {Py_tp_getset, batch_getset<Handle>},
        {Py_tp_repr, reinterpret_cast<void*>(&batch_repr<Handle>)},
        {0, nullptr},
    };
    return create_heap_type(name, sizeof(BatchObject<Handle>), slots);
}

PyTypeObject* robot_batch_type_object = nullptr;
PyTypeObject* floating_batch_type_object = nullptr;

}  // namespace

PyTypeObject* robot_batch_type() { return robot_batch_type_object; }
PyTypeObject* floating_robot_batch_type() { return floating_batch_type_object; }

bool create_batch_types() {
    if (!robot_batch_type_object)
        robot_batch_type_object = create_type<Robot>("vormek.batch.RobotBatch",
                                                     doc::robot_batch, robot_batch_methods);
    if (!floating_batch_type_object)
        floating_batch_type_object = create_type<FloatingRobot>(
            "vormek.batch.FloatingRobotBatch", doc::floating_robot_batch,
            floating_batch_methods);
    return robot_batch_type_object && floating_batch_type_object;
}

}  // namespace vormek::py::batch
