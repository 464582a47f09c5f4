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
    static Result<Robot> load(const std::filesystem::path& path) { return Robot::from_urdf(path); }
};

template <>
struct Traits<FloatingRobot> {
    static constexpr const char* class_name = "FloatingRobot";
    static constexpr std::uint64_t base_coordinates = 6;  // base angular then linear velocity
    static PyTypeObject* type() { return floating_robot_type(); }
    static Result<FloatingRobot> load(const std::filesystem::path& path) { return FloatingRobot::from_urdf(path); }
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

// Loads the model (with the interpreter lock held) and builds the Python object around it.
template <class Handle>
PyObject* construct(PyObject* path_arg) {
    std::string path;
    if (!convert_path(path_arg, path)) return nullptr;
    auto handle = Traits<Handle>::load(std::filesystem::path(path));
    if (!handle) return core_error(std::move(handle.error()));

    PyTypeObject* type = Traits<Handle>::type();
    PyObject* self = type->tp_alloc(type, 0);
    if (!self) return nullptr;
    auto& st = *new (&state_of<Handle>(self)) RobotState<Handle>();
    const Model& model = handle->model();
    st.name = model.name;
    st.link_ids.reserve(model.link_count());
    for (std::size_t i = 0; i < model.link_count(); ++i) {
        auto id = model.link(i);
        if (!id) panic("enumerated link is valid");
        st.link_ids.push_back(*id);
    }
    st.joint_count = model.dof_count();
    st.generalized_count = model.dof_count() + Traits<Handle>::base_coordinates;
    st.link_count = model.link_count();
    st.slot.handle.emplace(std::move(*handle));
    st.slot.open.store(true, std::memory_order_release);
    return self;
}

template <class Handle>
PyObject* robot_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
    static Signature<1> sig(Traits<Handle>::class_name, {"path"}, 1);
    PyObject* argv[1];
    if (!sig.bind(args, kwargs, argv)) return nullptr;
    return construct<Handle>(argv[0]);
}

// from_urdf always builds the base class, whichever class it is called on.
template <class Handle>
PyObject* robot_from_urdf(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static Signature<1> sig("from_urdf", {"path"}, 1);
    PyObject* argv[1];
    if (!sig.bind(args, nargs, kwnames, argv)) return nullptr;
    return construct<Handle>(argv[0]);
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
    slot.mutex.unlock();
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
};

template <class Handle>
PyGetSetDef robot_getset[] = {
    {"name", robot_name<Handle>, nullptr, nullptr, nullptr},
    {"joint_count", robot_count<Handle, &RobotState<Handle>::joint_count>, nullptr, nullptr, nullptr},
    {"generalized_count", robot_count<Handle, &RobotState<Handle>::generalized_count>, nullptr, nullptr, nullptr},
    {"link_count", robot_count<Handle, &RobotState<Handle>::link_count>, nullptr, nullptr, nullptr},
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
