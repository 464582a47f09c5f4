#include "robots.hpp"

#include <new>
#include <string>
#include <vector>

#include "call.hpp"
#include "centroidal.hpp"
#include "derivatives.hpp"
#include "docs.hpp"
#include "dynamics.hpp"
#include "kinematics.hpp"
#include "link_poses.hpp"
#include "model/urdf.hpp"
#include "solve_ik.hpp"

namespace vormek::py {

namespace {

// What differs between the two classes besides their computation methods.
template <class Handle>
struct Traits;

template <>
struct Traits<Robot> {
    static constexpr const char* class_name = "Robot";
    static constexpr std::uint64_t base_coordinates = 0;
    static PyTypeObject* type() { return robot_type(); }
    static Result<Robot> make(std::shared_ptr<const Model> model, RootMass) { return Robot(std::move(model)); }
};

template <>
struct Traits<FloatingRobot> {
    static constexpr const char* class_name = "FloatingRobot";
    static constexpr std::uint64_t base_coordinates = 6;  // base angular then linear velocity
    static PyTypeObject* type() { return floating_robot_type(); }
    static Result<FloatingRobot> make(std::shared_ptr<const Model> model, RootMass root_mass) {
        return FloatingRobot::make(std::move(model), root_mass);
    }
};

// A str or os.PathLike, taken as raw file-system bytes; a NUL byte is left for the loader to
// report.
bool convert_path(PyObject* obj, std::string& out) {
    Ref fs;
    if (PyUnicode_Check(obj)) {
        fs = Ref(Py_NewRef(obj));
    } else if (!PyBytes_Check(obj)) {
        fs = Ref(PyOS_FSPath(obj));
    }
    if (!fs) {
        // bytes are not a path here, so PyOS_FSPath's own message would mislead
        if (PyErr_Occurred() && !PyErr_ExceptionMatches(PyExc_TypeError)) return false;
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "argument 'path': expected str or os.PathLike object, not %s",
                     Py_TYPE(obj)->tp_name);
        return false;
    }
    Ref bytes(PyUnicode_Check(fs.get()) ? PyUnicode_EncodeFSDefault(fs.get()) : fs.release());
    if (!bytes) return false;
    out.assign(PyBytes_AS_STRING(bytes.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.get())));
    return true;
}

// Loads the model from the text (with the interpreter lock held) and builds the Python object
// around it; the text is kept, so that the robot can be pickled.
template <class Handle>
PyObject* construct(std::string text, RootMass root_mass) {
    auto model = load_model_from_string(text);
    if (!model) return core_error(std::move(model.error()));
    auto handle = Traits<Handle>::make(std::move(*model), root_mass);
    if (!handle) return core_error(std::move(handle.error()));

    PyTypeObject* type = Traits<Handle>::type();
    Ref self(type->tp_alloc(type, 0));
    if (!self) return nullptr;
    auto& st = *new (&state_of<Handle>(self.get())) RobotState<Handle>();
    const Model& m = handle->model();
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
    // the open flag stays down until the end: a failure here deallocates a closed robot
    if (!build_queries(m, st.queries)) return nullptr;
    st.urdf = std::move(text);
    st.root_mass = root_mass;
    st.slot.handle.emplace(std::move(*handle));
    st.slot.open.store(true, std::memory_order_release);
    return self.release();
}

// The file's text, read as loading a file does (the same checks and messages).
template <class Handle>
PyObject* construct_from_path(PyObject* path_arg, RootMass root_mass) {
    std::string path;
    if (!convert_path(path_arg, path)) return nullptr;
    auto text = urdf::read_file(std::filesystem::path(path));
    if (!text) return core_error(std::move(text.error()));
    return construct<Handle>(std::move(*text), root_mass);
}

template <class Handle>
PyObject* robot_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
    static Signature<1> sig(Traits<Handle>::class_name, {"path"}, 1);
    PyObject* argv[1];
    if (!sig.bind(args, kwargs, argv)) return nullptr;
    return construct_from_path<Handle>(argv[0], RootMass::Link);
}

// from_urdf always builds the base class, whichever class it is called on.
template <class Handle>
PyObject* robot_from_urdf(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static Signature<1> sig("from_urdf", {"path"}, 1);
    PyObject* argv[1];
    if (!sig.bind(args, nargs, kwnames, argv)) return nullptr;
    return construct_from_path<Handle>(argv[0], RootMass::Link);
}

// FloatingRobot's takes the keyword-only `massless_root` besides the text.
template <class Handle>
auto from_text_signature() {
    if constexpr (floating_base<Handle>) return Signature<2>("from_urdf_text", {"text", "massless_root"}, 1);
    else return Signature<1>("from_urdf_text", {"text"}, 1);
}

template <class Handle>
PyObject* robot_from_urdf_text(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = from_text_signature<Handle>();
    PyObject* argv[floating_base<Handle> ? 2 : 1];
    RootMass root_mass = RootMass::Link;
    std::string_view text;
    if (!positional_at_most(sig.function(), nargs, 1) || !sig.bind(args, nargs, kwnames, argv) ||
        !convert_text(argv[0], text))
        return nullptr;
    if constexpr (floating_base<Handle>)
        if (!convert_root_mass(argv[1], root_mass)) return nullptr;
    return construct<Handle>(std::string(text), root_mass);
}

template <class Handle>
void robot_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    state_of<Handle>(self).~RobotState<Handle>();
    type->tp_free(self);
    Py_DECREF(type);
}

template <class Handle>
PyObject* robot_close(PyObject* self, PyObject*) {
    auto& slot = state_of<Handle>(self).slot;
    slot.lock();
    slot.open.store(false, std::memory_order_release);
    slot.handle.reset();  // drops the workspace and this robot's share of the model
    slot.unlock();
    Py_RETURN_NONE;
}

template <class Handle>
PyObject* robot_enter(PyObject* self, PyObject*) {
    if (!require_open(state_of<Handle>(self).slot.open)) return nullptr;
    return Py_NewRef(self);
}

template <class Handle>
PyObject* robot_exit(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static Signature<3> sig("__exit__", {"_exc_type", "_exc_value", "_traceback"}, 3);
    PyObject* argv[3];
    if (!sig.bind(args, nargs, kwnames, argv)) return nullptr;
    return robot_close<Handle>(self, nullptr);
}

template <class Handle>
PyObject* robot_link_id(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static Signature<1> sig("link_id", {"name"}, 1);
    Call<Handle, false> c(self);
    if (!c.bind(sig, args, nargs, kwnames)) return nullptr;
    PyObject* name = c.arg(0);
    if (!PyUnicode_Check(name)) {
        PyErr_Format(PyExc_TypeError, "argument 'name': expected str, got %s", Py_TYPE(name)->tp_name);
        return nullptr;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(name, &size);
    if (!utf8) return nullptr;
    LinkId id;
    c.lock();
    c.compute(id, [&](Handle& h) {
        return h.model().link_by_name(std::string_view(utf8, static_cast<std::size_t>(size)));
    });
    const auto& ids = c.state().link_ids;
    if (id.index >= ids.size() || ids[id.index] != id)
        c.fail(Failure{PyExc_ValueError, "link does not belong to this robot"});
    return c.finish_with([&] { return PyLong_FromSize_t(id.index); });
}

// Properties: open check, then the value recorded at load.
template <class Handle, std::uint64_t RobotState<Handle>::*Count>
PyObject* robot_count(PyObject* self, void*) {
    const auto& st = state_of<Handle>(self);
    if (!require_open(st.slot.open)) return nullptr;
    return PyLong_FromUnsignedLongLong(st.*Count);
}

template <class Handle>
PyObject* robot_name(PyObject* self, void*) {
    const auto& st = state_of<Handle>(self);
    if (!require_open(st.slot.open)) return nullptr;
    return PyUnicode_DecodeUTF8(st.name.data(), static_cast<Py_ssize_t>(st.name.size()), "replace");
}

// ---- model queries, gravity, pickling ------------------------------------------------------

template <class Handle>
QueryView robot_queries(PyObject* self) {
    const auto& st = state_of<Handle>(self);
    return {st.queries, st.slot.open};
}

template <class Handle>
PyObject* robot_joint_index(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static Signature<1> sig("joint_index", {"name"}, 1);
    PyObject* argv[1];
    const auto& st = state_of<Handle>(self);
    if (!sig.bind(args, nargs, kwnames, argv) || !require_open(st.slot.open)) return nullptr;
    return joint_index(st.queries, argv[0]);
}

template <class Handle>
PyObject* robot_tree(PyObject* self, PyObject*) {
    const auto& st = state_of<Handle>(self);
    if (!require_open(st.slot.open)) return nullptr;
    return Py_NewRef(st.queries.tree.get());
}

template <class Handle>
PyObject* robot_urdf_text(PyObject* self, PyObject*) {
    const auto& st = state_of<Handle>(self);
    if (!require_open(st.slot.open)) return nullptr;
    return PyUnicode_DecodeUTF8(st.urdf.data(), static_cast<Py_ssize_t>(st.urdf.size()), nullptr);
}

template <class Handle>
PyObject* robot_set_gravity(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static Signature<1> sig("set_gravity", {"g"}, 1);
    PyObject* argv[1];
    Vector3d g;
    if (!sig.bind(args, nargs, kwnames, argv) || !convert_gravity(argv[0], g)) return nullptr;
    Call<Handle, false> c(self);
    c.lock();
    c.compute_holding_gil([&](Handle& h) { return h.set_gravity(g); });
    return c.finish_none();
}

template <class Handle>
PyObject* robot_gravity_vector(PyObject* self, void*) {
    Vector3d g;
    Call<Handle, false> c(self);
    c.lock();
    c.compute_holding_gil([&](Handle& h) -> Result<void> {
        g = h.gravity_vector();
        return {};
    });
    return c.finish_with([&] { return gravity_tuple(g); });
}

// The URDF text, the base frame (a fixed base's; None for a floating one), the gravity and the
// floating base's mass rule: what _restore needs to build the same robot in another process.
template <class Handle>
PyObject* robot_reduce(PyObject* self, PyObject*) {
    Pose frame;
    Vector3d g;
    Call<Handle, false> c(self);
    c.lock();
    c.compute_holding_gil([&](Handle& h) -> Result<void> {
        if constexpr (!floating_base<Handle>) frame = h.base_frame();
        g = h.gravity_vector();
        return {};
    });
    const auto& st = state_of<Handle>(self);
    return c.finish_with([&]() -> PyObject* {
        Ref restore(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(self)), "_restore"));
        Ref text(PyUnicode_DecodeUTF8(st.urdf.data(), static_cast<Py_ssize_t>(st.urdf.size()), nullptr));
        Ref base(floating_base<Handle> ? Py_NewRef(Py_None)
                                       : Py_BuildValue("((ddd)(dddd))", frame.translation.x(), frame.translation.y(),
                                                       frame.translation.z(), frame.rotation.x(), frame.rotation.y(),
                                                       frame.rotation.z(), frame.rotation.w()));
        Ref gravity(gravity_tuple(g));
        if (!restore || !text || !base || !gravity) return nullptr;
        return Py_BuildValue("(O(OOOO))", restore.get(), text.get(), base.get(), gravity.get(),
                             st.root_mass == RootMass::Body ? Py_True : Py_False);
    });
}

// The base frame as __reduce__ writes it, ((x, y, z), (qx, qy, qz, qw)) or None: checked as any
// pose, but kept as written (it was normalised when it was set), so that a round trip keeps
// every bit.
bool convert_pickled_frame(PyObject* obj, std::optional<Pose>& out) {
    if (obj == Py_None) return true;
    PoseValue v;
    if (!PyTuple_Check(obj) || PyTuple_GET_SIZE(obj) != 2) {
        PyErr_SetString(PyExc_TypeError, "argument 'base_frame': expected a tuple of two sequences or None");
        return false;
    }
    if (!convert_numbers(PyTuple_GET_ITEM(obj, 0), "base_frame", v.translation.data(), 3) ||
        !convert_numbers(PyTuple_GET_ITEM(obj, 1), "base_frame", v.rotation_xyzw.data(), 4))
        return false;
    Pose checked;
    if (auto failed = pose_intake(v, checked)) {
        failed->raise();
        return false;
    }
    const auto& t = v.translation;
    const auto& r = v.rotation_xyzw;
    out.emplace(Pose{Quaterniond(r[3], r[0], r[1], r[2]), Vector3d(t[0], t[1], t[2])});
    return true;
}

template <class Handle>
PyObject* robot_restore(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static Signature<4> sig("_restore", {"text", "base_frame", "gravity", "massless_root"}, 4);
    PyObject* argv[4];
    std::string_view text;
    std::optional<Pose> frame;
    Vector3d g;
    RootMass root_mass = RootMass::Link;
    if (!sig.bind(args, nargs, kwnames, argv) || !convert_text(argv[0], text) ||
        !convert_pickled_frame(argv[1], frame) || !convert_gravity(argv[2], g) ||
        !convert_root_mass(argv[3], root_mass))
        return nullptr;
    Ref robot(construct<Handle>(std::string(text), root_mass));
    if (!robot) return nullptr;
    // the object is not shared yet: its handle is set without the lock
    Handle& h = *state_of<Handle>(robot.get()).slot.handle;
    Result<void> set = h.set_gravity(g);
    if constexpr (!floating_base<Handle>)
        if (set && frame) set = h.set_base_frame(*frame);
    if (!set) return core_error(std::move(set.error()));
    return robot.release();
}

template <class Handle>
PyObject* robot_repr(PyObject* self) {
    const auto& st = state_of<Handle>(self);
    return describe_robot(self, st.name, st.slot.open.load(std::memory_order_acquire), st.link_count,
                          st.joint_count, floating_base<Handle>);
}

// ---- computations ----------------------------------------------------------------------------

PyObject* robot_set_base_frame(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static Signature<1> sig("set_base_frame", {"frame"}, 1);
    PoseArgument frame;
    Call<Robot> c(self);
    c.bind(sig, args, nargs, kwnames);
    c.pose(0, frame, false);
    c.normalise(frame);
    c.lock();
    c.compute_holding_gil([&](Robot& r) { return r.set_base_frame(frame.pose); });
    return c.finish_none();
}

template <class Handle>
PyObject* forward_kinematics(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static auto sig = signature<Handle>("forward_kinematics", {"q", "target"}, 2);
    InputVector q;
    std::uint64_t target = 0;
    LinkId link;
    Pose pose;
    Call<Handle> c(self);
    c.bind(sig, args, nargs, kwnames);
    c.input(0, q);
    c.index(1, target);
    c.read(q);
    // the fixed-base method locks before it checks the target, the floating-base one after
    if constexpr (Call<Handle>::floating) {
        c.target(target, link);
        c.lock();
    } else {
        c.lock();
        c.target(target, link);
    }
    c.compute(pose, [&](Handle& h, const auto&... base) { return h.forward_kinematics(base..., q.values(), link); });
    return c.finish(pose);
}

// ---- type specifications ---------------------------------------------------------------------

// Every fast-call method goes in behind the C++ exception boundary.
#define VORMEK_FASTCALL(f) \
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry<f>)), METH_FASTCALL | METH_KEYWORDS

template <class Handle>
PyMethodDef common_methods[] = {
    {"from_urdf", VORMEK_FASTCALL(robot_from_urdf<Handle>) | METH_CLASS, "from_urdf($cls, path)\n--\n\n"},
    {"close", robot_close<Handle>, METH_NOARGS, "close($self)\n--\n\n"},
    {"__enter__", robot_enter<Handle>, METH_NOARGS, "__enter__($self)\n--\n\n"},
    {"__exit__", VORMEK_FASTCALL(robot_exit<Handle>), "__exit__($self, _exc_type, _exc_value, _traceback)\n--\n\n"},
    {"link_id", VORMEK_FASTCALL(robot_link_id<Handle>), "link_id($self, name)\n--\n\n"},
    {"from_urdf_text", VORMEK_FASTCALL(robot_from_urdf_text<Handle>) | METH_CLASS,
     floating_base<Handle> ? doc::floating_robot_from_urdf_text : doc::robot_from_urdf_text},
    {"joint_index", VORMEK_FASTCALL(robot_joint_index<Handle>), VORMEK_JOINT_INDEX_DOC},
    {"set_gravity", VORMEK_FASTCALL(robot_set_gravity<Handle>), VORMEK_SET_GRAVITY_DOC},
    {"_tree", robot_tree<Handle>, METH_NOARGS, VORMEK_TREE_DOC},
    {"_urdf_text", robot_urdf_text<Handle>, METH_NOARGS,
     "_urdf_text($self)\n--\n\nFor the command line: the URDF text the robot was loaded from, so that a peer "
     "library reads the very same text."},
    {"__reduce__", robot_reduce<Handle>, METH_NOARGS,
     "__reduce__($self)\n--\n\nPickles the robot as its URDF text, base frame, gravity and massless_root."},
    {"_restore", VORMEK_FASTCALL(robot_restore<Handle>) | METH_CLASS,
     "_restore($cls, text, base_frame, gravity, massless_root)\n--\n\nUnpickles what __reduce__ gave."},
};

template <class Handle>
PyGetSetDef robot_getset[] = {
    {"name", robot_name<Handle>, nullptr, nullptr, nullptr},
    {"joint_count", robot_count<Handle, &RobotState<Handle>::joint_count>, nullptr, nullptr, nullptr},
    {"generalized_count", robot_count<Handle, &RobotState<Handle>::generalized_count>, nullptr, nullptr, nullptr},
    {"link_count", robot_count<Handle, &RobotState<Handle>::link_count>, nullptr, nullptr, nullptr},
    VORMEK_QUERY_GETSET(get_query<robot_queries<Handle>>),
    {"gravity_vector", robot_gravity_vector<Handle>, nullptr, VORMEK_GRAVITY_VECTOR_DOC, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

constexpr std::size_t common_count = std::size(common_methods<Robot>);

// Common methods first, then the class's own, then the sentinel.
template <class Handle, std::size_t N>
std::array<PyMethodDef, common_count + N + 1> method_table(const std::array<PyMethodDef, N>& own) {
    std::array<PyMethodDef, common_count + N + 1> out{};
    std::size_t k = 0;
    for (const PyMethodDef& m : common_methods<Handle>) out[k++] = m;
    for (const PyMethodDef& m : own) out[k++] = m;
    return out;
}

auto robot_methods = method_table<Robot>(std::array{
    PyMethodDef{"set_base_frame", VORMEK_FASTCALL(robot_set_base_frame), "set_base_frame($self, frame)\n--\n\n"},
    PyMethodDef{"forward_kinematics", VORMEK_FASTCALL(forward_kinematics<Robot>),
                "forward_kinematics($self, q, target)\n--\n\n"},
    PyMethodDef{"link_poses", VORMEK_FASTCALL(link_poses<Robot>), doc::robot_link_poses},
    // kinematics
    PyMethodDef{"jacobian", VORMEK_FASTCALL(jacobian<Robot>), "jacobian($self, q, target, out=None)\n--\n\n"},
    PyMethodDef{"jacobian_derivative", VORMEK_FASTCALL(jacobian_derivative<Robot>),
                "jacobian_derivative($self, q, qd, target, out=None)\n--\n\n"},
    PyMethodDef{"forward_velocity_kinematics", VORMEK_FASTCALL(forward_velocity_kinematics<Robot>),
                "forward_velocity_kinematics($self, q, qd, target, tool=None)\n--\n\n"},
    PyMethodDef{"forward_acceleration_kinematics", VORMEK_FASTCALL(forward_acceleration_kinematics<Robot>),
                "forward_acceleration_kinematics($self, q, qd, qdd, target)\n--\n\n"},
    PyMethodDef{"inverse_kinematics", VORMEK_FASTCALL(inverse_kinematics),
                "inverse_kinematics($self, q, target, desired, options=None, out=None)\n--\n\n"},
    PyMethodDef{"solve_ik", VORMEK_FASTCALL(solve_ik), VORMEK_SOLVE_IK_DOC},
    // dynamics
    PyMethodDef{"gravity", VORMEK_FASTCALL(gravity<Robot>), "gravity($self, q, loads=None, out=None)\n--\n\n"},
    PyMethodDef{"inverse_dynamics", VORMEK_FASTCALL(inverse_dynamics<Robot>),
                "inverse_dynamics($self, q, qd, qdd, loads=None, out=None)\n--\n\n"},
    PyMethodDef{"forward_dynamics", VORMEK_FASTCALL(forward_dynamics<Robot>),
                "forward_dynamics($self, q, qd, forces, loads=None, out=None)\n--\n\n"},
    PyMethodDef{"mass_matrix", VORMEK_FASTCALL(mass_matrix<Robot>), "mass_matrix($self, q, out=None)\n--\n\n"},
    PyMethodDef{"velocity_product_forces", VORMEK_FASTCALL(velocity_product_forces<Robot>),
                "velocity_product_forces($self, q, qd, out=None)\n--\n\n"},
    // centre of mass, momentum and energy
    PyMethodDef{"center_of_mass", VORMEK_FASTCALL(center_of_mass<Robot>), doc::robot_center_of_mass},
    PyMethodDef{"center_of_mass_velocity", VORMEK_FASTCALL(center_of_mass_velocity<Robot>),
                doc::robot_center_of_mass_velocity},
    PyMethodDef{"center_of_mass_jacobian", VORMEK_FASTCALL(center_of_mass_jacobian<Robot>),
                doc::robot_center_of_mass_jacobian},
    PyMethodDef{"momentum", VORMEK_FASTCALL(momentum<Robot>), doc::robot_momentum},
    PyMethodDef{"centroidal_momentum_matrix", VORMEK_FASTCALL(centroidal_momentum_matrix<Robot>),
                doc::robot_centroidal_momentum_matrix},
    PyMethodDef{"kinetic_energy", VORMEK_FASTCALL(kinetic_energy<Robot>), doc::robot_kinetic_energy},
    PyMethodDef{"potential_energy", VORMEK_FASTCALL(potential_energy<Robot>), doc::robot_potential_energy},
    // derivatives of the dynamics
    PyMethodDef{"inverse_dynamics_derivatives", VORMEK_FASTCALL(inverse_dynamics_derivatives<Robot>),
                doc::robot_inverse_dynamics_derivatives},
    PyMethodDef{"forward_dynamics_derivatives", VORMEK_FASTCALL(forward_dynamics_derivatives<Robot>),
                doc::robot_forward_dynamics_derivatives},
    PyMethodDef{"mass_matrix_inverse", VORMEK_FASTCALL(mass_matrix_inverse<Robot>), doc::robot_mass_matrix_inverse},
});

auto floating_methods = method_table<FloatingRobot>(std::array{
    PyMethodDef{"forward_kinematics", VORMEK_FASTCALL(forward_kinematics<FloatingRobot>),
                "forward_kinematics($self, base, q, target)\n--\n\n"},
    PyMethodDef{"link_poses", VORMEK_FASTCALL(link_poses<FloatingRobot>), doc::floating_link_poses},
    // kinematics
    PyMethodDef{"jacobian", VORMEK_FASTCALL(jacobian<FloatingRobot>),
                "jacobian($self, base, q, target, out=None)\n--\n\n"},
    PyMethodDef{"jacobian_derivative", VORMEK_FASTCALL(jacobian_derivative<FloatingRobot>),
                "jacobian_derivative($self, base, q, qd, target, out=None)\n--\n\n"},
    PyMethodDef{"forward_velocity_kinematics", VORMEK_FASTCALL(forward_velocity_kinematics<FloatingRobot>),
                "forward_velocity_kinematics($self, base, q, qd, target, tool=None)\n--\n\n"},
    PyMethodDef{"forward_acceleration_kinematics", VORMEK_FASTCALL(forward_acceleration_kinematics<FloatingRobot>),
                "forward_acceleration_kinematics($self, base, q, qd, qdd, target)\n--\n\n"},
    // dynamics
    PyMethodDef{"gravity", VORMEK_FASTCALL(gravity<FloatingRobot>),
                "gravity($self, base, q, loads=None, out=None)\n--\n\n"},
    PyMethodDef{"inverse_dynamics", VORMEK_FASTCALL(inverse_dynamics<FloatingRobot>),
                "inverse_dynamics($self, base, q, qd, qdd, loads=None, out=None)\n--\n\n"},
    PyMethodDef{"forward_dynamics", VORMEK_FASTCALL(forward_dynamics<FloatingRobot>),
                "forward_dynamics($self, base, q, qd, forces, loads=None, out=None)\n--\n\n"},
    PyMethodDef{"mass_matrix", VORMEK_FASTCALL(mass_matrix<FloatingRobot>),
                "mass_matrix($self, base, q, out=None)\n--\n\n"},
    PyMethodDef{"velocity_product_forces", VORMEK_FASTCALL(velocity_product_forces<FloatingRobot>),
                "velocity_product_forces($self, base, q, qd, out=None)\n--\n\n"},
    // centre of mass, momentum and energy
    PyMethodDef{"center_of_mass", VORMEK_FASTCALL(center_of_mass<FloatingRobot>), doc::floating_center_of_mass},
    PyMethodDef{"center_of_mass_velocity", VORMEK_FASTCALL(center_of_mass_velocity<FloatingRobot>),
                doc::floating_center_of_mass_velocity},
    PyMethodDef{"center_of_mass_jacobian", VORMEK_FASTCALL(center_of_mass_jacobian<FloatingRobot>),
                doc::floating_center_of_mass_jacobian},
    PyMethodDef{"momentum", VORMEK_FASTCALL(momentum<FloatingRobot>), doc::floating_momentum},
    PyMethodDef{"centroidal_momentum_matrix", VORMEK_FASTCALL(centroidal_momentum_matrix<FloatingRobot>),
                doc::floating_centroidal_momentum_matrix},
    PyMethodDef{"kinetic_energy", VORMEK_FASTCALL(kinetic_energy<FloatingRobot>), doc::floating_kinetic_energy},
    PyMethodDef{"potential_energy", VORMEK_FASTCALL(potential_energy<FloatingRobot>), doc::floating_potential_energy},
    // derivatives of the dynamics
    PyMethodDef{"inverse_dynamics_derivatives", VORMEK_FASTCALL(inverse_dynamics_derivatives<FloatingRobot>),
                doc::floating_inverse_dynamics_derivatives},
    PyMethodDef{"forward_dynamics_derivatives", VORMEK_FASTCALL(forward_dynamics_derivatives<FloatingRobot>),
                doc::floating_forward_dynamics_derivatives},
    PyMethodDef{"mass_matrix_inverse", VORMEK_FASTCALL(mass_matrix_inverse<FloatingRobot>), doc::floating_mass_matrix_inverse},
});

#undef VORMEK_FASTCALL

template <class Handle>
PyTypeObject* create_type(const char* name, const char* doc, PyMethodDef* methods) {
    PyType_Slot slots[] = {
        {Py_tp_doc, const_cast<char*>(doc)},
        {Py_tp_new, reinterpret_cast<void*>(&entry_new<robot_new<Handle>>)},
        {Py_tp_dealloc, reinterpret_cast<void*>(&robot_dealloc<Handle>)},
        {Py_tp_methods, methods},
        {Py_tp_getset, robot_getset<Handle>},
        {Py_tp_repr, reinterpret_cast<void*>(&robot_repr<Handle>)},
        {0, nullptr},
    };
    return create_heap_type(name, sizeof(RobotObject<Handle>), slots);
}

PyTypeObject* robot_type_object = nullptr;
PyTypeObject* floating_type_object = nullptr;

}  // namespace

PyTypeObject* robot_type() { return robot_type_object; }
PyTypeObject* floating_robot_type() { return floating_type_object; }

bool create_robot_types() {
    if (!robot_type_object)
        robot_type_object = create_type<Robot>("vormek.Robot", "Robot(path)\n--\n\n", robot_methods.data());
    if (!floating_type_object)
        floating_type_object = create_type<FloatingRobot>("vormek.FloatingRobot", "FloatingRobot(path)\n--\n\n",
                                                          floating_methods.data());
    return robot_type_object && floating_type_object;
}

}  // namespace vormek::py
